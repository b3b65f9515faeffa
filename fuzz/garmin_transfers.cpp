// Fuzz harness of the Garmin transfers and the V2 files they write: a receiver on the
// simulated USB backend answers the transfer command with a data-available packet and
// then the input's packets over bulk, and unplugs. The first byte chooses the item and
// the protocols (A100; A200 or A201; A300 or A301), the second the waypoint D-type, the
// third the track point, track header and route header D-types; the rest is a run of
// bulk transfers, each a length byte and that many bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "fuzz/support/fuzz_env.h"
#include "gps/garmin/product.h"
#include "gps/garmin/transfers.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"

#include <unistd.h>

namespace {

constexpr int kWaypointTypes[] = {100, 101, 102, 103, 104, 105, 106, 107,
                                  108, 109, 110, 150, 151, 152, 154, 155};
constexpr int kPointTypes[] = {300, 301, 302, 303, 304};
constexpr int kHeaderTypes[] = {310, 311, 312, 310};
constexpr int kRouteTypes[] = {200, 201, 202, 201};

std::vector<std::string>& g_packets() {
  static std::vector<std::string> packets;
  return packets;
}

int add_receiver() {
  return plat::usb_sim_add(64, [](plat::usb_sim_link& link) {
    uint8_t buf[64];
    const long n = link.receive(buf, sizeof buf);
    if (n < 14) return;
    const uint8_t avail[12] = {0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    if (!link.send_interrupt(avail, sizeof avail)) return;
    for (const std::string& p : g_packets())
      if (!link.send_bulk(p.data(), p.size())) return;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int receiver = -1;
  static std::string base;
  if (receiver < 0) {
    tm_fuzz::init();
    garmin_init();
    plat::usb_sim_enable(true);
    receiver = add_receiver();
    // The files go to a folder of this process, removed at exit.
    static const std::string dir = "/dev/shm/tm_fuzz_garmin_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::atexit([] { std::filesystem::remove_all(dir); });
    base = dir + "/dl";
  }
  tm_fuzz::keep_budget();
  if (size < 3) return 0;
  g_packets().clear();
  for (size_t i = 3; i < size;) {
    const size_t n = data[i++];
    const size_t take = n < size - i ? n : size - i;
    g_packets().emplace_back(reinterpret_cast<const char*>(data + i), take);
    i += take;
  }
  const garmin_product_data pd{1, 1, "Fuzz"};
  garmin_product* entry = nullptr;
  garmin_product_from_array(&pd, &entry);
  const int item = data[0] % 5, types = data[2];
  garmin_apply_protocol('L', 1, entry, 1);
  garmin_apply_protocol('A', 10, entry, 1);
  garmin_apply_protocol('D', kWaypointTypes[data[1] % 16], entry, 1);
  garmin_apply_protocol('D', kPointTypes[(types & 7) % 5], entry, 1);
  garmin_apply_protocol('D', kHeaderTypes[(types >> 3) & 3], entry, 1);
  garmin_apply_protocol('D', kRouteTypes[(types >> 5) & 3], entry, 1);
  garmin_apply_protocol('D', 210, entry, 1);
  constexpr int kTransfers[] = {100, 200, 201, 300, 301};
  garmin_apply_protocol('A', kTransfers[item], entry, 1);
  char* path = nullptr;
  com_device* dev = nullptr;
  usb_find_device(receiver, &path, &dev);
  free_mem(&path);
  if (dev) {
    int32_t count = 0;
    if (item == 0) garmin_write_waypoints(dev, entry, &count, base.c_str(), "tmw");
    if (item == 1 || item == 2) garmin_write_routes(dev, entry, &count, base.c_str(), "tmr");
    if (item >= 3) garmin_write_tracklogs(dev, entry, &count, base.c_str(), "tmt");
    com_close(&dev);
  }
  set_gblerr(0);
  free_obj(&entry);
  return 0;
}

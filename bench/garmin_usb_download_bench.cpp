// Downloading a long Garmin track over USB.
//
// Figure guarded (Release, one core):
//   GarminUsbTrack/65535 - points per second (counter points_per_s) of a track download
//                          of 65,535 D304 points from a receiver on the simulated USB
//                          backend: the transfer command, the data-available packet,
//                          one bulk read per packet, the Records / Trk_Data / Xfer_Cmplt
//                          checks, unpacking through the D304 descriptor and writing the
//                          V2 tracklog file. Opening the device is outside the timing.
//                          No outside tool does the same transfer, so the figure has
//                          no peer in the comparison table of `make bench`.
//   GarminUsbTrackTransferOnly/65535 - the transfer alone (receive, checks, unpack) on
//                          the same receiver: the share of the link and the simulated
//                          backend; the rest of the figure above is the V2 file.
//
// Point i (time 2020-01-01 00:00:00 UTC + i s): lat = 45 + 0.5 sin(0.0137 i), lon = 6 +
// 0.5 sin(0.0219 i + 0.5) degrees as semicircles round(v * 2^31 / 180), altitude 1000 +
// 500 sin(0.001 i) m, distance 10 i m, heart rate 0, cadence 0xFF, sensor 0. The V2 file
// goes beside the benchmark program's folder (build/<tree>/tm_garmin_usb_bench.tmt;
// TM_BENCH_DATA names another folder).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "gps/garmin/dtypes.h"
#include "gps/garmin/product.h"
#include "gps/garmin/transfers.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"

namespace {

constexpr int kPoints = 65535;
constexpr uint32_t kGarmin2020 = 946598400u;  // 2020-01-01 00:00 UTC, receiver seconds

std::string bench_base() {
  const char* dir = std::getenv("TM_BENCH_DATA");
  if (dir && *dir) return std::string(dir) + "/tm_garmin_usb_bench";
  char exe[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string folder = n > 0 ? std::string(exe, size_t(n)) : std::string("./x");
  folder = folder.substr(0, folder.rfind('/'));  // build/<tree>/bin
  folder = folder.substr(0, folder.rfind('/'));  // build/<tree>
  return folder + "/tm_garmin_usb_bench";
}

std::string usb_packet(uint8_t type, uint16_t id, const std::string& data) {
  std::string p(12, '\0');
  p[0] = char(type);
  p[4] = char(id & 0xFF);
  p[5] = char(id >> 8);
  const uint32_t n = uint32_t(data.size());
  for (int i = 0; i < 4; ++i) p[8 + i] = char((n >> (8 * i)) & 0xFF);
  return p + data;
}

std::string word(int v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; }

int32_t semicircles(double degrees) { return int32_t(std::lround(degrees * 2147483648.0 / 180.0)); }

// The receiver's bulk packets of the track transfer: Records, the points, Xfer_Cmplt.
std::vector<std::string> track_packets() {
  std::vector<std::string> out;
  out.push_back(usb_packet(20, 27, word(kPoints)));
  const garmin_dtype* d304 = garmin_dtype_find(304);
  for (int i = 0; i < kPoints; ++i) {
    garmin_record r{};
    r.num[GN_LAT] = uint32_t(semicircles(45.0 + 0.5 * std::sin(0.0137 * i)));
    r.num[GN_LON] = uint32_t(semicircles(6.0 + 0.5 * std::sin(0.0219 * i + 0.5)));
    r.num[GN_TIME] = kGarmin2020 + uint32_t(i);
    r.flt[GF_ALT] = float(1000.0 + 500.0 * std::sin(0.001 * i));
    r.flt[GF_DIST] = float(10.0 * i);
    r.num[GN_CADENCE] = 0xFF;
    uint8_t buf[64];
    const size_t n = garmin_pack(d304, &r, buf, sizeof buf);
    out.push_back(usb_packet(20, 34, std::string(reinterpret_cast<char*>(buf), n)));
  }
  out.push_back(usb_packet(20, 12, word(6)));
  return out;
}

// The backend's pipe holds a limited number of transfers: a full pipe is waited on.
// The wait is a short sleep rather than a yield: the host empties a full pipe in a
// fraction of a millisecond, and on a busy machine a thread that yields may not run
// again for a whole time slice while a sleeper is woken in time.
bool send_paced(plat::usb_sim_link& link, const std::string& p) {
  while (!link.send_bulk(p.data(), p.size())) {
    if (link.host_closed()) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
  return true;
}

// Answers Transfer_Trk (6 in a Command_Data packet 10) with data available on the
// interrupt pipe and the packets on the bulk pipe.
void add_receiver(const std::vector<std::string>* packets) {
  plat::usb_sim_add(64, [packets](plat::usb_sim_link& link) {
    uint8_t buf[64];
    for (;;) {
      const long n = link.receive(buf, sizeof buf);
      if (n < 0) return;
      if (n < 14 || buf[0] != 20 || buf[4] != 10 || buf[12] != 6) continue;
      const std::string avail = usb_packet(0, 2, "");
      if (!link.send_interrupt(avail.data(), avail.size())) return;
      for (const std::string& p : *packets)
        if (!send_paced(link, p)) return;
      send_paced(link, std::string());
    }
  });
}

garmin_product* bench_entry() {
  static std::vector<std::string> packets;
  static garmin_product* entry = nullptr;
  if (!entry) {
    obj_store_init();
    obj_register_core_classes();
    garmin_init();
    packets = track_packets();
    const garmin_product_data data{999, 100, "Bench receiver"};
    garmin_product_from_array(&data, &entry);
    const uint8_t triples[] = {'L', 1, 0, 'A', 10, 0, 'A', 44, 1, 'D', 48, 1};  // A300 D304
    garmin_apply_protocol_array(triples, sizeof triples, entry, 1);
    plat::usb_sim_enable(true);
    add_receiver(&packets);
  }
  return entry;
}

// Runs `download` on a freshly opened receiver per iteration; it returns the points.
template <class Download> void run_downloads(benchmark::State& state, Download download) {
  int32_t count = 0;
  for (auto _ : state) {
    state.PauseTiming();
    char* path = nullptr;
    com_device* dev = nullptr;
    usb_find_device(0, &path, &dev);
    free_mem(&path);
    if (!dev) {
      state.SkipWithError("no simulated receiver");
      break;
    }
    state.ResumeTiming();
    count = download(dev);
    state.PauseTiming();
    com_close(&dev);
    if (get_gblerr() != 0 || count != kPoints) {
      state.SkipWithError("the download failed");
      set_gblerr(0);
      break;
    }
    state.ResumeTiming();
  }
  state.counters["points"] = count;
  state.counters["points_per_s"] =
      benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate);
}

void GarminUsbTrack(benchmark::State& state) {
  garmin_product* entry = bench_entry();
  const std::string base = bench_base();
  run_downloads(state, [&](com_device* dev) {
    int32_t count = 0;
    garmin_write_tracklogs(dev, entry, &count, base.c_str(), "tmt");
    return count;
  });
}
BENCHMARK(GarminUsbTrack)->Arg(kPoints)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void GarminUsbTrackTransferOnly(benchmark::State& state) {
  garmin_product* entry = bench_entry();
  run_downloads(state, [&](com_device* dev) {
    garmin_track_result t;
    entry->track_transfer(dev, entry, &t);
    const int32_t count = t.count;
    garmin_track_result_free(&t);
    return count;
  });
}
BENCHMARK(GarminUsbTrackTransferOnly)
    ->Arg(kPoints)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Shared by the GPS port tests: a pseudo-terminal standing for a serial receiver, stub
// receiver families whose routines record what they were asked (and can be told to
// find, fail or wait), a runner that advances the virtual clock while the call under
// test waits, and a fixture with a fresh store, configuration and driver table.
#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "gps/gpsport.h"
#include "gps/port_io.h"
#include "platform/net/net.h"
#include "platform/serial/port_wait.h"
#include "platform/serial/serial.h"
#include "platform/sys/clock.h"
#include "tests/core/config_fixture.h"
#include "tests/support/wait.h"

namespace gpsport_test {

// A pseudo-terminal: the slave is the receiver's serial device (kept open here so that
// the line stays up), the master is the receiver's side.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char* name = ptsname(master_);
    if (!name) return;
    path_ = name;
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
    make_raw(master_);
    make_raw(slave_);
  }
  ~Pty() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0 && !path_.empty(); }
  const std::string& path() const { return path_; }

  // Everything the device side sent so far (non-blocking).
  std::string drain() {
    std::string out;
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    char buf[512];
    for (;;) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    fcntl(master_, F_SETFL, flags);
    return out;
  }
  void send(const std::string& bytes) {
    if (::write(master_, bytes.data(), bytes.size()) < 0) ADD_FAILURE() << "pty write";
  }

 private:
  static void make_raw(int fd) {
    if (fd < 0) return;
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// Runs `call` on a thread with the virtual clock on, moving virtual time on by `step_ms`
// whenever the call waits (asleep on the clock, in a serial or network wait). Returns
// the virtual milliseconds it took, or -1 when it did not return within a generous real
// bound (it hung).
inline int64_t run_on_virtual_clock(const std::function<void()>& call, int64_t step_ms = 50) {
  plat::use_virtual_clock(true);
  std::atomic<bool> done{false};
  std::atomic<int64_t> elapsed{0};
  std::thread worker([&] {
    const int64_t start = plat::now_ms();
    call();
    elapsed = plat::now_ms() - start;
    done = true;
  });
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done && std::chrono::steady_clock::now() < bound) {
    if (plat::virtual_sleepers_waiting() > 0 || plat::port_waiters() > 0 || plat::net_waiters() > 0)
      plat::advance_virtual_ms(step_ms);
    tm_test::wait_for([&] { return done.load(); }, 1);
  }
  const bool finished = done;
  plat::use_virtual_clock(false);
  worker.join();
  return finished ? elapsed.load() : -1;
}

// ---- Stub families ------------------------------------------------------------------------
// What each stub family does when asked, per family (index 1..9).
struct FamilyPlay {
  int32_t identify_result = 0;   // what identify returns (after opening, for a found one)
  int identify_error = 0;        // gblerr identify leaves
  bool open_device = false;      // identify and connect open the port's serial device
  double listen_seconds = 0;     // identify listens this long through the timed read loop
  bool connect_fails = false;    // connect leaves no connection, gblerr 4
  int32_t item_counts[4] = {0, 0, 0, 0};
  int item_errors[4] = {0, 0, 0, 0};
  int32_t capabilities = 0;
};

struct StubWorld {
  std::mutex lock;
  std::vector<std::string> calls;
  FamilyPlay play[kGpsFamilyCount + 1];
  int drivers_alive = 0;
  std::string speaker;  // the device path given to identify
};

inline StubWorld& W() {
  static StubWorld world;
  return world;
}

inline void record(const std::string& call) {
  std::lock_guard<std::mutex> guard(W().lock);
  W().calls.push_back(call);
}

inline std::vector<std::string> calls() {
  std::lock_guard<std::mutex> guard(W().lock);
  return W().calls;
}

inline void reset_world() {
  std::lock_guard<std::mutex> guard(W().lock);
  W().calls.clear();
  for (FamilyPlay& p : W().play) p = FamilyPlay{};
  W().drivers_alive = 0;
}

// A driver context: the family it belongs to.
struct StubDriver {
  int family;
};

inline void* new_driver(int family) {
  StubDriver* d = nullptr;
  alloc_mem_zero(&d, sizeof *d);
  d->family = family;
  std::lock_guard<std::mutex> guard(W().lock);
  ++W().drivers_alive;
  return d;
}

inline int family_of(void* driver) { return driver ? static_cast<StubDriver*>(driver)->family : 0; }

// Listens on the device through the timed read loop until no byte came for `seconds`.
inline void listen(com_device* dev, double seconds) {
  port_reader reader{dev, nullptr, com_read_routine};
  port_read_ctx* ctx = nullptr;
  port_reader_create([](const uint8_t*, int, port_reader*) {}, &reader, &ctx);
  ctx->no_data_timeout_s = seconds;
  port_read_loop(ctx);
  port_reader_free(&ctx);
}

template <int F> int32_t stub_identify(const char* device_name, gpsport_t* port) {
  record("identify " + std::to_string(F));
  FamilyPlay play;
  {
    std::lock_guard<std::mutex> guard(W().lock);
    play = W().play[F];
    W().speaker = device_name ? device_name : "";
  }
  if (play.open_device) {
    com_device* dev = nullptr;
    com_open(device_name, 9600, &dev);
    if (!dev) return GPS_IDENTIFY_UNOPENABLE;
    if (play.listen_seconds > 0) listen(dev, play.listen_seconds);
    if (play.identify_result == 0) {
      com_close(&dev);
    } else {
      port->connection = dev;
    }
  }
  if (play.identify_error) set_gblerr(play.identify_error);
  if (play.identify_result != 0 && play.identify_result != -1) {
    port->family = F;
    port->kind = GPSPORT_SERIAL;
    port->driver = new_driver(F);
    port->capabilities = uint32_t(play.capabilities);
    const std::string name = "Stub" + std::to_string(F) + " receiver";
    str_set(name.c_str(), &port->display_name);
  }
  return play.identify_result;
}

template <int F> int32_t stub_connect(gpsport_t* port) {
  record("connect " + std::to_string(F));
  FamilyPlay play;
  {
    std::lock_guard<std::mutex> guard(W().lock);
    play = W().play[F];
  }
  if (play.connect_fails) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  com_device* dev = nullptr;
  com_open(port->device_path, 9600, &dev);
  if (!dev) {
    set_gblerr(ERR_COM_OPEN);
    return 0;
  }
  port->connection = dev;
  port->driver = new_driver(F);
  return 1;
}

template <int F, int Item> void stub_download(void* connection, void* driver, int32_t* count,
                                              const char* base, const char* extension) {
  record("download " + std::to_string(F) + " " + std::to_string(Item) + " " + base + "." +
         extension + (connection ? "" : " unconnected") +
         (family_of(driver) == F ? "" : " foreign driver"));
  std::lock_guard<std::mutex> guard(W().lock);
  *count = W().play[F].item_counts[Item];
  if (W().play[F].item_errors[Item]) set_gblerr(W().play[F].item_errors[Item]);
}

template <int F, int Slot> void stub_erase(void* connection, void* driver, int32_t* count) {
  record("erase " + std::to_string(F) + " " + (Slot == 0 ? "tracklogs" : "datalog") +
         (connection && family_of(driver) == F ? "" : " bad link"));
  *count = 0;
}

template <int F> void stub_switch_off(void* connection, void* driver, int32_t kind) {
  record("switch off " + std::to_string(F) + " kind " + std::to_string(kind) +
         (connection && family_of(driver) == F ? "" : " bad link"));
}

template <int F> void stub_close(void** driver) {
  record("close " + std::to_string(F));
  StubDriver* d = static_cast<StubDriver*>(*driver);
  free_mem(&d);
  *driver = nullptr;
  std::lock_guard<std::mutex> guard(W().lock);
  --W().drivers_alive;
}

// Fills every routine slot the family has extensions for (identify, connect and close
// always; the downloads of its items; both deletes and the switch-off when asked).
template <int F> void install_stub_family(bool erase, bool switch_off) {
  gps_device_column& c = gps_device_table[F];
  c.identify = stub_identify<F>;
  c.connect = stub_connect<F>;
  c.close = stub_close<F>;
  c.download[0] = c.extensions[0][0] ? stub_download<F, 0> : nullptr;
  c.download[1] = c.extensions[1][0] ? stub_download<F, 1> : nullptr;
  c.download[2] = c.extensions[2][0] ? stub_download<F, 2> : nullptr;
  c.download[3] = c.extensions[3][0] ? stub_download<F, 3> : nullptr;
  c.erase[0] = erase && c.download[1] ? stub_erase<F, 0> : nullptr;
  c.erase[1] = erase && c.download[3] ? stub_erase<F, 1> : nullptr;
  c.switch_off = switch_off ? stub_switch_off<F> : nullptr;
}

// Families 1..9 all stubbed, Navilink (5) with every slot, Garmin (1) with switch-off.
inline void install_stub_families() {
  install_stub_family<1>(false, true);
  install_stub_family<2>(true, false);
  install_stub_family<3>(true, false);
  install_stub_family<4>(true, false);
  install_stub_family<5>(true, true);
  install_stub_family<6>(true, false);
  install_stub_family<7>(true, false);
  install_stub_family<8>(true, false);
  install_stub_family<9>(true, false);
}

class GpsPortFixture : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    std::memcpy(saved_table_, gps_device_table, sizeof saved_table_);
    gpsport_register();
    reset_world();
  }
  void TearDown() override {
    set_gblerr(0);
    // Ports left by a test go with the store; their drivers are the stubs'.
    obj_t* cursor = nullptr;
    std::vector<obj_t*> ports;
    while (obj_class_next(CLS_GPSPORT, &cursor)) ports.push_back(cursor);
    for (obj_t* p : ports) free_obj(&p);
    std::memcpy(gps_device_table, saved_table_, sizeof saved_table_);
    ConfigFixture::TearDown();
  }

  gps_device_column saved_table_[kGpsFamilyCount + 1];
};

}  // namespace gpsport_test

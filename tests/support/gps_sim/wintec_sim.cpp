// The simulated Wintec logger: a thread that reads command lines from the pty master and
// answers them from the memory image, as the device does (block bytes raw, then the
// checksum line "@AL,CS,<xor>,<n>" and the echo of the command).
#include "tests/support/gps_sim/wintec_sim.h"
#include "tests/support/gps_sim/sim_common.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>

#include "tests/gps/pty_fixture.h"

namespace tm_test {

namespace {
// Bytes written on the master reach the slave a little later (the kernel passes them on
// from a worker): after a simulator's write the clock waits until they are there, or
// this much real time has passed.
constexpr auto kHandOverGrace = std::chrono::milliseconds(5);
std::atomic<int64_t> g_last_write_ns{0};

int64_t steady_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void sim_wrote() { g_last_write_ns = steady_ns(); }

// A poll waits for the kernel's hand-over of bytes written on the other side (a bare
// FIONREAD may not count them yet).
bool master_drained(const pty_pair& pty) {
  if (pty.master() < 0) return true;
  pollfd p{pty.master(), POLLIN, 0};
  return poll(&p, 1, 0) == 0;
}

namespace {
struct sim_entry {
  const void* owner;
  const pty_pair* pty;
  const std::atomic<bool>* busy;
  const std::atomic<bool>* writing;
};
std::mutex g_sims_lock;
std::vector<sim_entry> g_sims;
}  // namespace

void sim_register(const void* owner, const pty_pair* pty, const std::atomic<bool>* busy,
                  const std::atomic<bool>* writing) {
  std::lock_guard<std::mutex> guard(g_sims_lock);
  g_sims.push_back({owner, pty, busy, writing});
}

void sim_unregister(const void* owner) {
  std::lock_guard<std::mutex> guard(g_sims_lock);
  for (size_t i = 0; i < g_sims.size(); ++i)
    if (g_sims[i].owner == owner) {
      g_sims.erase(g_sims.begin() + long(i));
      return;
    }
}

bool sims_quiet() {
  std::lock_guard<std::mutex> guard(g_sims_lock);
  for (const sim_entry& e : g_sims) {
    // Blocked handing over a long answer (the line has no room): the driver reads in
    // its own time. A simulator that writes with room on the line is at work.
    if (e.writing->load()) {
      pollfd room{e.pty->master(), POLLOUT, 0};
      if (e.pty->master() >= 0 && poll(&room, 1, 0) == 0) continue;
      return false;
    }
    if (e.busy->load() || !master_drained(*e.pty)) return false;
    pollfd arrived{e.pty->slave(), POLLIN, 0};
    if (steady_ns() - g_last_write_ns.load() < std::chrono::nanoseconds(kHandOverGrace).count() &&
        e.pty->slave() >= 0 && poll(&arrived, 1, 0) == 0)
      return false;
  }
  return true;
}

int64_t run_paced(virtual_worker& w, const std::function<bool()>& quiet, int pace_us, int bound_ms) {
  using clock = std::chrono::steady_clock;
  const auto until = clock::now() + std::chrono::milliseconds(bound_ms);
  // Within a while after a simulator was at work, time goes no faster than the pace
  // given (none by default: the quiet test sees every byte on its way).
  constexpr auto kSettle = std::chrono::milliseconds(30);
  auto last_active = clock::now();
  while (!w.done()) {
    const auto now = clock::now();
    if (now > until) return -1;
    const bool sims_still = quiet ? quiet() : sims_quiet();
    if (!sims_still) last_active = now;
    if (sims_still && clock_idle()) {
      plat::advance_virtual_ms(1);
      if (pace_us > 0 && now - last_active < kSettle)
        std::this_thread::sleep_for(std::chrono::microseconds(pace_us));
    } else {
      std::this_thread::yield();
    }
  }
  w.finish();
  return w.elapsed();
}

namespace {
// The text between <tag> and </tag> inside [from, to), or "".
std::string element(const std::string& text, size_t from, size_t to, const std::string& tag) {
  const size_t open = text.find("<" + tag + ">", from);
  if (open == std::string::npos || open >= to) return "";
  const size_t start = open + tag.size() + 2;
  const size_t close = text.find("</" + tag + ">", start);
  return close == std::string::npos || close > to ? "" : text.substr(start, close - start);
}
double attribute(const std::string& head, const std::string& name) {
  const size_t at = head.find(" " + name + "=\"");
  return at == std::string::npos ? NAN : std::strtod(head.c_str() + at + name.size() + 3, nullptr);
}
}  // namespace

std::vector<host_gpx_point> host_gpx_points(const std::string& text) {
  std::vector<host_gpx_point> out;
  for (size_t at = 0; (at = text.find('<', at)) != std::string::npos; ++at) {
    const bool wpt = text.compare(at, 5, "<wpt ") == 0, trkpt = text.compare(at, 7, "<trkpt ") == 0;
    if (!wpt && !trkpt) continue;
    const std::string close = wpt ? "</wpt>" : "</trkpt>";
    const size_t head_end = text.find('>', at);
    if (head_end == std::string::npos) break;
    size_t end = text.find(close, head_end);
    if (end == std::string::npos) end = text.size();
    const std::string head = text.substr(at, head_end - at);
    const std::string ele = element(text, head_end, end, "ele");
    out.push_back({attribute(head, "lat"), attribute(head, "lon"),
                   ele.empty() ? NAN : std::strtod(ele.c_str(), nullptr),
                   element(text, head_end, end, "time"), element(text, head_end, end, "name")});
  }
  return out;
}

std::string wintec_record_bytes(const wintec_point& p) {
  const uint32_t t = uint32_t(p.year - 2000) << 26 | uint32_t(p.month) << 22 | uint32_t(p.day) << 17 |
                     uint32_t(p.hour) << 12 | uint32_t(p.minute) << 6 | uint32_t(p.second);
  const int32_t lat = int32_t(p.lat >= 0 ? p.lat * 1e7 + 0.5 : p.lat * 1e7 - 0.5);
  const int32_t lon = int32_t(p.lon >= 0 ? p.lon * 1e7 + 0.5 : p.lon * 1e7 - 0.5);
  const int16_t alt = int16_t(p.alt);
  std::string b(16, '\0');
  auto put = [&](int at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[size_t(at + i)] = char((v >> (8 * i)) & 0xFF);
  };
  put(0, p.flags, 2);
  put(2, t, 4);
  put(6, uint32_t(lat), 4);
  put(10, uint32_t(lon), 4);
  put(14, uint16_t(alt), 2);
  return b;
}

wintec_sim::wintec_sim(pty_pair& pty, std::string image, std::string name)
    : pty_(pty), image_(std::move(image)), name_(std::move(name)) {
  data_end_ = data_start_ + uint32_t(image_.size());
  sim_register(this, &pty_, &busy_, &writing_);
  thread_ = std::thread([this] { run(); });
}

wintec_sim::~wintec_sim() {
  sim_unregister(this);
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> wintec_sim::commands() {
  std::lock_guard<std::mutex> guard(lock_);
  return commands_;
}

void wintec_sim::set_range_override(uint32_t data_start, uint32_t data_end) {
  std::lock_guard<std::mutex> guard(lock_);
  data_start_ = data_start;
  data_end_ = data_end;

}

bool wintec_sim::line_speed_ok() const {
  return gps_sim::sim_line_at(pty_.slave(), B57600, gps_sim::SIM_OUTPUT);
}

// While a long answer waits for room on the line the simulator reads nothing: the driver
// reads, writes its acknowledgements and pauses, so the clock may move meanwhile.
void wintec_sim::put(const std::string& bytes) {
  if (bytes.empty()) return;
  writing_ = true;
  pty_.write_all(bytes);
  sim_wrote();
  writing_ = false;
}

void wintec_sim::run() {
  std::string pending;
  while (!stop_) {
    pollfd p{pty_.master(), POLLIN, 0};
    if (poll(&p, 1, 5) <= 0) continue;
    busy_ = true;
    // Only what is there now: a read that found the line emptied meanwhile (the test
    // drains it too) would block and keep the simulator from ever stopping.
    int queued = 0;
    if (ioctl(pty_.master(), FIONREAD, &queued) != 0 || queued <= 0) {
      busy_ = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    char buf[512];
    const ssize_t n = read(pty_.master(), buf, std::min(sizeof buf, size_t(queued)));
    if (n <= 0) {
      busy_ = false;
      continue;
    }
    pending.append(buf, size_t(n));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      while (!line.empty() && (line.back() == '\r')) line.pop_back();
      {
        std::lock_guard<std::mutex> guard(lock_);
        commands_.push_back(line);
      }
      if (line_speed_ok() && !faults.silent) answer(line);
    }
    if (pending.size() > 4096) pending.clear();
    busy_ = false;
  }
}

void wintec_sim::answer(const std::string& line) {
  if (faults.garbage) {
    put("\x13\xfe@A,\r\nzz@@ \x01\n");
    return;
  }
  if (line == "@AL") {
    put("@AL,LoginOK\r\n");
    return;
  }
  int cmd = -1, param = -1;
  unsigned address = 0;
  const int got = std::sscanf(line.c_str(), "@AL,%d,%d,%u", &cmd, &param, &address);
  if (got < 2) return;
  char text[96];
  if (cmd == 7 && param == 1) {
    put("@AL,7,1," + name_ + "\r\n");
  } else if (cmd == 8 && param >= 1 && param <= 3) {
    static const char* const kVersions[4] = {"", "1.27", "2.04", "1.4"};
    std::snprintf(text, sizeof text, "@AL,8,%d,%s\r\n", param, kVersions[param]);
    put(text);
  } else if (cmd == 5 && (param == 1 || param == 2 || param == 9 || param == 10)) {
    if (faults.no_ranges) return;
    uint32_t v = 0;
    {
      std::lock_guard<std::mutex> guard(lock_);
      v = param == 1 ? data_start_ : param == 2 ? data_end_ : param == 9 ? kAreaStart : kAreaEnd;
    }
    std::snprintf(text, sizeof text, "@AL,5,%d,%u\r\n", param, v);
    put(text);
  } else if (cmd == 5 && param == 3 && got == 3) {
    std::string block;
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (address >= kAreaStart && address < kAreaStart + image_.size()) {
        const size_t from = address - kAreaStart;
        const size_t limit = std::min<size_t>(4096, image_.size() - from);
        block = image_.substr(from, limit);
      }
    }
    uint8_t x = 0;
    for (char ch : block) x ^= uint8_t(ch);
    if (faults.bad_checksum > 0) {
      --faults.bad_checksum;
      x ^= 0x5A;
    }
    if (faults.short_block > 0 && block.size() > 5) {
      --faults.short_block;
      block.resize(block.size() - 5);
    }
    std::snprintf(text, sizeof text, "@AL,CS,%02X,%u\r\n", x, unsigned(block.size()));
    std::string reply = block + text;
    if (faults.lost_echo > 0) {
      --faults.lost_echo;
    } else {
      std::snprintf(text, sizeof text, "@AL,5,3,%u\r\n", address);
      reply += text;
    }
    ++blocks_;
    put(reply);
  } else if (cmd == 5 && param == 6) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      image_.clear();
      data_end_ = data_start_;
    }
    ++erases_;
    put("@AL,5,6\r\n");
  } else if (cmd == 2) {
    std::snprintf(text, sizeof text, "@AL,2,%d\r\n", param);
    put(text);
  }
}

}  // namespace tm_test

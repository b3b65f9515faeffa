// Relaying live NMEA from a UDP input to the diffusion program's destinations.
//
// Figure guarded (Release):
//   QuellixRelay - the highest rate, in sentence groups per second, at which every group
//                  sent into the UDP input reaches each of 9 loopback listeners (none
//                  lost). A group is three sentences (GGA, RMC, GSA) of 186 bytes, sent
//                  as one datagram. The relay under test is the live session's path: a
//                  reader thread reads the input through the live UDP reader
//                  (navig_udp_open, nmea_live_step: receive and parse) and hands each read
//                  to qx_nav_fix, which relays it through qx_diffuse to the sending list.
//                  Target: at least 3 times the rate of a python3 relay (recv, then 9
//                  sendto; scripts/bench/outside_quellix_relay.py) measured in the same
//                  run with the same sender and the same listeners.
//
// Method: for a rate R the sender sends R/2 groups (half a second) paced over time; the
// listeners count what each receives; a trial passes when all 9 got every group. R
// doubles from 1000 until a trial fails, then a bisection narrows the edge; the best of
// two passes is printed for each relay.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/object.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_parser.h"
#include "quellix/qx_destinations.h"
#include "quellix/qx_player.h"
#include "tests/support/run_tool.h"

namespace {

using clock_type = std::chrono::steady_clock;
constexpr int kListeners = 9;
constexpr int kListenerThreads = 3;
constexpr size_t kGroupBytes = 186;

std::string with_checksum(const std::string& body) {
  unsigned sum = 0;
  for (size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return body + tail;
}

// Group i, 186 bytes: the altitude (1, 10, 100 ...) fills it to size.
std::string group(int i) {
  char t[16];
  std::snprintf(t, sizeof t, "%02d%02d%02d", (i / 3600) % 24, (i / 60) % 60, i % 60);
  const std::string time(t);
  const std::string rmc = with_checksum("$GPRMC," + time + ",A,4500.1234,N,00600.5678,E,10.0,45.0,100324,,");
  const std::string gsa = with_checksum("$GPGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.5,0.9,1.2");
  std::string alt = "1";
  for (;;) {
    const std::string gga =
        with_checksum("$GPGGA," + time + ",4500.1234,N,00600.5678,E,1,08,0.9," + alt + ",M,48.0,M,,");
    const std::string g = gga + rmc + gsa;
    if (g.size() >= kGroupBytes) return g;
    alt += '0';
  }
}

int bound_udp(uint16_t* port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0)
    return -1;
  *port = ntohs(a.sin_port);
  return fd;
}

// The 9 listeners, three to a thread, read in batches (so that the listeners are not
// the bottleneck): each counts the groups (not the markers) it receives.
struct Listeners {
  int fds[kListeners];
  uint16_t ports[kListeners];
  std::atomic<long> counts[kListeners];
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;

  bool open() {
    for (int i = 0; i < kListeners; ++i) {
      fds[i] = bound_udp(&ports[i]);
      if (fds[i] < 0) return false;
      const int size = 8 << 20;
      setsockopt(fds[i], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
      counts[i] = 0;
    }
    for (int t = 0; t < kListenerThreads; ++t) threads.emplace_back([this, t] { run(t); });
    return true;
  }
  void run(int t) {
    constexpr int kBatch = 64;
    constexpr int kPer = kListeners / kListenerThreads;
    static thread_local char bufs[kBatch][256];
    mmsghdr msgs[kBatch];
    iovec iov[kBatch];
    pollfd p[kPer];
    for (int k = 0; k < kPer; ++k) p[k] = {fds[t * kPer + k], POLLIN, 0};
    while (!stop.load(std::memory_order_relaxed)) {
      if (::poll(p, kPer, 20) <= 0) continue;
      for (int k = 0; k < kPer; ++k) {
        if (!(p[k].revents & POLLIN)) continue;
        const int i = t * kPer + k;
        for (;;) {
          for (int b = 0; b < kBatch; ++b) {
            iov[b] = {bufs[b], sizeof bufs[b]};
            msgs[b] = {};
            msgs[b].msg_hdr.msg_iov = &iov[b];
            msgs[b].msg_hdr.msg_iovlen = 1;
          }
          const int n = ::recvmmsg(fds[i], msgs, kBatch, MSG_DONTWAIT, nullptr);
          if (n <= 0) break;
          long groups = 0;
          for (int b = 0; b < n; ++b) groups += msgs[b].msg_len == kGroupBytes;
          counts[i].fetch_add(groups, std::memory_order_relaxed);
        }
      }
    }
  }
  void reset() {
    for (auto& c : counts) c.store(0);
  }
  long least() const {
    long m = counts[0].load();
    for (const auto& c : counts) m = std::min(m, c.load());
    return m;
  }
  void close() {
    stop.store(true);
    for (auto& t : threads) t.join();
    for (int fd : fds) ::close(fd);
  }
};

// Sends `count` groups to the input port at `rate` per second.
void send_groups(int fd, uint16_t input, const std::vector<std::string>& groups, long count, long rate) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(input);
  const auto start = clock_type::now();
  long sent = 0;
  while (sent < count) {
    const double elapsed = std::chrono::duration<double>(clock_type::now() - start).count();
    const long due = std::min(count, long(elapsed * double(rate)) + 1);
    while (sent < due) {
      const std::string& g = groups[size_t(sent) % groups.size()];
      ::sendto(fd, g.data(), g.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
      ++sent;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

// One trial: true when every listener got all `count` groups.
bool trial(Listeners& l, int sender, uint16_t input, const std::vector<std::string>& groups, long rate) {
  const long count = std::max(1000L, rate / 2);
  l.reset();
  send_groups(sender, input, groups, count, rate);
  // Wait until the counts stop moving.
  long last = -1;
  for (int quiet = 0; quiet < 4;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const long now = l.least();
    if (now >= count) return true;
    quiet = now == last ? quiet + 1 : 0;
    last = now;
  }
  return false;
}

long highest_rate(Listeners& l, int sender, uint16_t input, const std::vector<std::string>& groups) {
  long good = 0, bad = 0;
  for (long r = 1000; r <= 4096000; r *= 2) {
    if (!trial(l, sender, input, groups, r)) {
      bad = r;
      break;
    }
    good = r;
  }
  if (bad == 0) return good;
  for (int i = 0; i < 5 && bad - good > good / 20; ++i) {
    const long mid = (good + bad) / 2;
    if (trial(l, sender, input, groups, mid)) good = mid;
    else bad = mid;
  }
  return good;
}

// The engine's relay: the live reader path on a thread of its own.
struct EngineRelay {
  gpsport_t* port = nullptr;
  std::atomic<bool> stop{false};
  std::thread thread;

  bool start(uint16_t input, const Listeners& l) {
    obj_store_init();
    obj_register_core_classes();
    gpsport_register();
    if (nmea_module_init() != 0) return false;
    qx_init_destination_lists();
    for (int i = 0; i < kListeners; ++i) {
      int index = -1;
      std::string text;
      qx_add_destination("127.0.0.1", l.ports[i], &index, &text, 0);
    }
    qx_reset_destinations();
    qx_set_diffusion_flag(1);
    if (!gpsport_create(input, GPSPORT_UDP, 0, GPS_MAGELLAN, nullptr, &port)) return false;
    if (!navig_udp_open(port)) return false;
    qx_nav_begin(nullptr);
    thread = std::thread([this] {
      nmea_fix* fix = nullptr;
      nmea_fix_new(&fix);
      auto* parser = static_cast<nmea_parser*>(port->reader);
      while (!stop.load(std::memory_order_relaxed)) {
        fix->raw_length = 0;
        if (nmea_live_step(parser, fix) < 0) break;
        if (fix->raw_length > 0) qx_nav_fix(fix);
      }
      nmea_fix_free(&fix);
    });
    return true;
  }
  void end() {
    stop.store(true);
    if (thread.joinable()) thread.join();
    if (port) gpsport_close(port);
  }
};

std::string script_path() {
  return std::string(TM_SOURCE_DIR) + "/scripts/bench/outside_quellix_relay.py";
}

}  // namespace

int main() {
  std::vector<std::string> groups;
  for (int i = 0; i < 3600; ++i) groups.push_back(group(i));
  if (groups[0].size() != kGroupBytes) {
    std::fprintf(stderr, "group of %zu bytes\n", groups[0].size());
    return 1;
  }
  Listeners l;
  if (!l.open()) return 1;
  uint16_t sender_port = 0;
  const int sender = bound_udp(&sender_port);

  // The engine.
  uint16_t input = 0;
  ::close(bound_udp(&input));  // a free port for the input
  EngineRelay engine;
  long engine_rate = 0;
  if (engine.start(input, l)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine_rate = std::max(highest_rate(l, sender, input, groups), highest_rate(l, sender, input, groups));
  }
  engine.end();

  // The python3 relay on another free port, started by the script itself.
  uint16_t py_input = 0;
  ::close(bound_udp(&py_input));
  std::vector<std::string> args{"/usr/bin/python3", script_path(), std::to_string(py_input)};
  for (uint16_t p : l.ports) args.push_back(std::to_string(p));
  std::atomic<bool> py_done{false};
  std::thread py([&] {
    std::string out;
    tm_test::run_tool(args, &out, 600000);
    py_done.store(true);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the interpreter starts
  long python_rate = 0;
  if (!py_done.load())
    python_rate = std::max(highest_rate(l, sender, py_input, groups), highest_rate(l, sender, py_input, groups));
  // A datagram "quit" ends the script.
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(py_input);
  ::sendto(sender, "quit", 4, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  py.join();
  l.close();
  ::close(sender);

  std::printf("QuellixRelay  groups/s with none lost (186-byte groups, 9 listeners)\n");
  std::printf("  engine relay   %8ld\n", engine_rate);
  std::printf("  python3 relay  %8ld\n", python_rate);
  if (python_rate > 0)
    std::printf("  ratio          %8.2f (target >= 3)\n", double(engine_rate) / double(python_rate));
  return 0;
}

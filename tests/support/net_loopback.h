// Loopback helpers for tests of network code: a TCP listener and UDP peers on
// 127.0.0.1 with ports the system chooses, and a runner that drives a blocking call
// on the virtual clock so that a long time-out passes in little real time.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/net/net.h"
#include "platform/sys/clock.h"
#include "tests/support/wait.h"

namespace tm_test {

inline uint32_t loopback_addr() {
  uint32_t a = 0;
  plat::net_parse_dotted("127.0.0.1", &a);
  return a;
}

// A socket bound to 127.0.0.1 on a port the system chose (TCP: listening).
struct loopback_socket {
  int fd = -1;
  uint16_t port = 0;
  explicit loopback_socket(bool tcp) {
    fd = plat::net_open(tcp);
    plat::net_addr at{loopback_addr(), 0};
    plat::net_addr bound;
    if (fd >= 0 && plat::net_bind(fd, at) == 0 && (!tcp || plat::net_listen(fd, 8) == 0) &&
        plat::net_local_addr(fd, &bound))
      port = bound.port;
  }
  ~loopback_socket() { plat::net_close(fd); }
  loopback_socket(const loopback_socket&) = delete;
  loopback_socket& operator=(const loopback_socket&) = delete;
  plat::net_addr addr() const { return {loopback_addr(), port}; }
};

// A loopback port that nothing listens on: a listener's port, freed again.
inline uint16_t unused_loopback_port() {
  loopback_socket s(true);
  return s.port;
}

// Runs `call` on a thread with the virtual clock on, advancing virtual time by `step_ms`
// whenever the call is waiting, until it returns. Gives the virtual time it took; the
// clock is switched off again at the end. -1 when the call did not return within a
// generous real bound (it hung).
template <class Call>
int64_t run_on_virtual_clock(Call call, int64_t step_ms = 100) {
  plat::use_virtual_clock(true);
  std::atomic<bool> done{false};
  std::atomic<int64_t> elapsed{0};
  std::thread worker([&] {
    const int64_t start = plat::now_ms();
    call();
    elapsed = plat::now_ms() - start;
    done = true;
  });
  const auto real_bound = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done && std::chrono::steady_clock::now() < real_bound) {
    if (plat::net_waiters() > 0 || plat::virtual_sleepers_waiting() > 0) plat::advance_virtual_ms(step_ms);
    // Let the waiter look at the clock (its real polls are a few ms, longer on a loaded
    // machine) before moving on, so that time does not run far past its deadline.
    wait_for([&] { return done.load(); }, 20);
  }
  const bool finished = done;
  plat::use_virtual_clock(false);  // releases a sleeper and lets a stuck poll end
  worker.join();
  return finished ? elapsed.load() : -1;
}

}  // namespace tm_test

// A bounded wait for tests that hand work to another thread: spins (yielding) until a
// condition holds or a generous real bound passes; the bound is reached only when the
// code under test is wrong, so no test ever sleeps.
#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace tm_test {

inline bool wait_for(const std::function<bool()>& done, int bound_ms = 10000) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace tm_test

// The busy count of the simulated loggers.
#include "tests/support/gps_sim/royaltek_sim_clock.h"

namespace tm_test {

std::atomic<int>& logger_sim_busy() {
  static std::atomic<int> count{0};
  return count;
}

std::atomic<uint64_t>& logger_sim_releases() {
  static std::atomic<uint64_t> count{0};
  return count;
}

}  // namespace tm_test

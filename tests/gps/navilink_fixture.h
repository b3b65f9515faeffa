// Shared by the Navilink and MediaTek driver tests: a call on a worker thread under the
// virtual clock whose time moves only while every port waiter is idle AND the simulated
// logger has no request in hand (so a reply on its way is never overtaken by a
// time-out; `pump` runs each turn, e.g. the user-interface messages), and a known truth for the simulated Navilink receiver.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/sys/clock.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/navilink_sim.h"

namespace lnav_test {

// Runs `call` on the virtual clock, moving it `step_ms` at a time while the simulator is
// idle too. Returns the virtual milliseconds the call took, -1 when it hung.
template <class Sim>
int64_t run_with(const Sim& sim, const std::function<void()>& call, int64_t step_ms = 10,
                 int bound_ms = 60000, const std::function<void()>& pump = nullptr) {
  tm_test::virtual_worker w(call);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
  while (!w.done()) {
    if (pump) pump();
    if (std::chrono::steady_clock::now() > until) return -1;
    if (tm_test::clock_idle() && sim.idle())
      plat::advance_virtual_ms(step_ms);
    else
      std::this_thread::yield();
  }
  w.finish();
  return w.elapsed();
}

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Three waypoints, five track points, four datalog records, two routes.
inline void navilink_truth(gps_sim::navilink_sim& sim) {
  using namespace gps_sim;
  sim.waypoints = {
      {5, "HOME", 451234567, -731234567, 1000, {2008, 7, 6, 5, 4, 3}, 9},
      {6, "CAMP", -338765432, 1512345678, 32, {2019, 12, 31, 23, 59, 58}, 0},
      {9, "PEAK", 5000001, -5000001, 65535, {2001, 1, 2, 3, 4, 5}, 77},
  };
  for (int i = 0; i < 5; ++i)
    sim.track.push_back({int32_t(481000000 + i * 1234), int32_t(-1230000000 - i * 4321),
                         uint16_t(100 + i), uint16_t(90 * i), uint8_t(10 + i),
                         {2010, 3, 4, 10, 20, i * 7}});
  for (int i = 0; i < 4; ++i)
    sim.datalog.push_back({int32_t(-10000000 - i * 11), int32_t(20000000 + i * 13),
                           int32_t(-250 + 1000 * i), uint16_t(1234 + i), uint16_t(35999 - i),
                           uint8_t(6 + i), uint8_t(7 + i), uint16_t(250 * i),
                           {2012, 2, 29, 23, 58, 10 + i}, uint8_t(i == 0 || i == 2)});
  sim.routes = {{0, "TO CAMP", {5, 6}}, {1, "ROUND TRIP", {6, 9, 5, 9}}};
}

}  // namespace lnav_test

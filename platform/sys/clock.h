// Clock services: every wait, time-out and clock reading of the system goes through
// here, so that a test can switch the process to a virtual clock and run minutes of
// protocol time in milliseconds.
#pragma once
#include <cstdint>
#include <ctime>

namespace plat {

// Milliseconds on a monotonic clock (real, or the virtual clock when it is on).
int64_t now_ms();

// Wall-clock time in seconds since 1970-01-01 UTC (virtual when the virtual clock is on:
// it starts at the wall time of the moment it was switched on).
std::time_t wall_time();

// Calendar fields of a wall time in the local time zone (thread-safe). False when
// the time cannot be converted.
bool local_time(std::time_t t, std::tm* out);

// Sleeps at least `ms` milliseconds (values below 1 sleep 1 ms). Under the virtual clock
// the caller blocks until virtual time has reached its deadline.
void sleep_ms(int64_t ms);

// Virtual clock (tests only): once on, time moves only through advance_virtual_ms, which
// wakes every sleeper whose deadline has passed.
void use_virtual_clock(bool on);
bool virtual_clock_on();
void advance_virtual_ms(int64_t ms);
// Number of threads currently blocked in sleep_ms on the virtual clock.
int virtual_sleepers();
// How many of them still wait for a deadline that virtual time has not reached. A
// sleeper whose deadline has passed counts as a sleeper until it has returned from
// sleep_ms, but not as waiting: it is about to run again, so a test that waits for the
// process to fall idle counts it as busy. Read in one step under the clock's lock.
int virtual_sleepers_waiting();

}  // namespace plat

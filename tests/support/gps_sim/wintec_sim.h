// A simulated Wintec data logger on the master side of a pseudo-terminal: it answers the
// "@AL" text commands (login, name, versions, memory ranges, block reads, erase, close)
// from a memory image of 16-byte log records built from known points, only while the
// line runs at 57600 baud, with fault switches for the error paths.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tm_test {

class pty_pair;
class virtual_worker;

// Runs the worker's call to its end on the virtual clock, one millisecond at a time while
// it waits and `quiet` (sims_quiet when not given) says yes; while it says no (a
// simulator has a command to read or is answering one) the clock stands still. Within
// 30 ms of real time after a simulator was last at work each step takes at least
// `pace_us` (none by default: the quiet tests poll the pty, which waits for the
// kernel's hand-over of bytes on their way, so no real-time margin is needed). The
// call's virtual duration, or -1 when it did not end within `bound_ms` of real time.
int64_t run_paced(virtual_worker& w, const std::function<bool()>& quiet = {}, int pace_us = 0,
                  int bound_ms = 60000);

// True when nothing waits to be read on the pty master (what the driver wrote has been
// taken by the simulator), bytes still on their way to it included.
bool master_drained(const pty_pair& pty);

// The simulators alive: each registers its pty and flags while it runs. sims_quiet is
// true when every one is blocked handing over an answer, or has drained its master and
// has no answer in hand; run_paced uses it when no predicate is given.
void sim_register(const void* owner, const pty_pair* pty, const std::atomic<bool>* busy,
                  const std::atomic<bool>* writing);
void sim_unregister(const void* owner);
bool sims_quiet();
// Called by a simulator after each write on its master.
void sim_wrote();

// A point of a GPX text as an outside host writes it (<wpt> or <trkpt>): coordinates,
// elevation (NAN when absent), time text ("" when absent) and name ("" when absent).
struct host_gpx_point {
  double lat, lon, ele;
  std::string time, name;
};
std::vector<host_gpx_point> host_gpx_points(const std::string& text);

// One known point of the log (the truth).
struct wintec_point {
  double lat, lon;  // degrees
  int alt;          // metres
  int year, month, day, hour, minute, second;
  uint16_t flags;   // bit 0 new track, bit 1 push-to-log
};

// The 16 little-endian bytes of a log record.
std::string wintec_record_bytes(const wintec_point& p);

// Fault switches (read by the simulator thread at each command).
struct wintec_faults {
  std::atomic<int> bad_checksum{0};   // the next n block answers carry a wrong checksum
  std::atomic<int> short_block{0};    // the next n block answers lack their last 5 bytes
  std::atomic<int> lost_echo{0};      // the next n block answers lack the closing echo
  std::atomic<bool> silent{false};    // answers nothing at all
  std::atomic<bool> garbage{false};   // answers every command with noise only
  std::atomic<bool> no_ranges{false}; // memory range queries get no answer
};

class wintec_sim {
 public:
  // Starts serving on the pty's master. `image` is the memory from the data start on.
  wintec_sim(pty_pair& pty, std::string image, std::string name = "WBT201");
  ~wintec_sim();
  wintec_sim(const wintec_sim&) = delete;
  wintec_sim& operator=(const wintec_sim&) = delete;

  wintec_faults faults;
  // Memory layout (bytes): log area and data start; the data end follows the image.
  static constexpr uint32_t kAreaStart = 4096;
  static constexpr uint32_t kAreaEnd = 4096 + 2 * 1024 * 1024;

  // Every command line received (without CR LF), in order.
  std::vector<std::string> commands();
  int erases() const { return erases_.load(); }
  int blocks_served() const { return blocks_.load(); }
  void set_range_override(uint32_t data_start, uint32_t data_end);

 private:
  void run();
  void answer(const std::string& line);
  bool line_speed_ok() const;
  void put(const std::string& bytes);

  pty_pair& pty_;
  std::mutex lock_;
  std::string image_;
  std::string name_;
  std::vector<std::string> commands_;
  uint32_t data_start_ = kAreaStart;
  uint32_t data_end_;
  std::atomic<int> erases_{0};
  std::atomic<int> blocks_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> busy_{false};     // a command read, its answer not yet handed over
  std::atomic<bool> writing_{false};  // waiting for room on the line
  std::thread thread_;
};

}  // namespace tm_test

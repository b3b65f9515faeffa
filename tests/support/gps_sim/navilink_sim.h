// A simulated Navilink receiver on the master side of a pseudo-terminal: a thread that
// reads framed requests (A0 A2, little-endian length, payload, 15-bit sum, B0 B3) and
// answers from a memory image built from known waypoints, track points, datalog records
// and routes (the truth). It answers only while the line is set to 115200 baud (read
// on the slave side), as a receiver on another speed hears noise.
//
// Fault switches (set before start, or at any time: they are atomics) make it answer
// with a bad checksum, stay silent, send garbage first, cut the answer short, answer a
// request with the records of the one before, drop the acknowledgements, give more
// records than asked, give a data answer without records, or send a route record cut
// inside its sub-routes. `fault_command` limits a fault to the requests of one id (0:
// every request).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tm_test {
class pty_pair;
}

namespace gps_sim {

struct nl_date {
  int year = 2008, month = 7, day = 6, hour = 5, minute = 4, second = 3;
};

struct nl_waypoint {
  uint16_t number;
  std::string name;  // at most 7 characters
  int32_t lat_e7, lon_e7;
  uint16_t alt_ft;
  nl_date date;
  uint8_t icon;
};

struct nl_trackpoint {
  int32_t lat_e7, lon_e7;
  uint16_t alt_ft;
  uint16_t heading;
  uint8_t speed;  // units of 2 km/h
  nl_date date;
};

struct nl_logrecord {
  int32_t lat_e7, lon_e7;
  int32_t alt_cm;
  uint16_t speed, heading;  // hundredths
  uint8_t pdop;             // units of 0.2
  uint8_t satellites;
  uint16_t ms;
  nl_date date;             // packed into the month-2000 word
  uint8_t start;
};

struct nl_route {
  uint8_t number;
  std::string name;  // at most 14 characters
  std::vector<uint16_t> points;
};

enum class nl_fault : int {
  none,
  bad_checksum,
  silence,
  garbage,
  short_frame,
  out_of_order,
  lost_ack,
  extra_records,
  empty_answer,
  cut_route,
};

class navilink_sim {
 public:
  explicit navilink_sim(tm_test::pty_pair& pty);
  ~navilink_sim();
  navilink_sim(const navilink_sim&) = delete;
  navilink_sim& operator=(const navilink_sim&) = delete;

  // The truth and the device, set before start.
  std::string name = "NAVSIM 1.0";
  uint32_t serial = 4242;
  uint32_t track_start = 0x1000;
  std::vector<nl_waypoint> waypoints;
  std::vector<nl_trackpoint> track;
  std::vector<nl_logrecord> datalog;
  std::vector<nl_route> routes;
  uint32_t log_start = 0x10000, log_size = 0x1000;
  uint32_t log_read_offset = 0;  // where the oldest datalog record lies in the area

  std::atomic<nl_fault> fault{nl_fault::none};
  std::atomic<int> fault_command{0};

  void start();
  void stop();
  // No request unread and none being answered.
  bool idle() const;

  // What happened, for the tests.
  std::vector<std::string> requests() const;  // hex of every request payload
  int switched_off() const { return switched_off_.load(); }
  int track_cleared() const { return track_cleared_.load(); }
  int log_cleared() const { return log_cleared_.load(); }

  // The encoded records, as the memory holds them.
  static std::string waypoint_record(const nl_waypoint& w);
  static std::string track_record(const nl_trackpoint& t, uint16_t index);
  static std::string log_record(const nl_logrecord& r);
  static std::string route_record(const nl_route& r);
  static std::string frame(const std::string& payload, bool bad_checksum = false);

 private:
  void run();
  void handle(const std::string& payload);
  void answer(const std::string& payload, uint8_t command);
  bool speed_ok() const;
  std::string info() const;
  std::string memory(uint32_t address, uint32_t size, uint8_t flag) const;

  tm_test::pty_pair& pty_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<int> busy_{0};
  std::atomic<int> switched_off_{0}, track_cleared_{0}, log_cleared_{0};
  mutable std::mutex lock_;
  std::vector<std::string> requests_;
  std::string last_records_;  // the records of the previous memory answer
  std::vector<uint8_t> area_;  // the datalog ring
  uint32_t log_read_ = 0, log_write_ = 0;
  std::string inbox_;
};

}  // namespace gps_sim

// A simulated Magellan receiver on the master side of a pseudo-terminal: it acknowledges
// every command with $PMGNCSM, answers VERSION, lists its waypoints, track and routes one
// line at a time (each waiting for the host's acknowledgement) ending with
// "$PMGNCMD,END", deletes its track, and answers only while the line runs at 4800 baud.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tm_test {

class pty_pair;

// "$" body "*" checksum CR LF.
std::string magellan_sentence(const std::string& body);

struct magellan_faults {
  std::atomic<int> bad_ack{0};         // the next n command acknowledgements are wrong
  std::atomic<bool> silent{false};     // answers nothing
  std::atomic<bool> garbage{false};    // answers every command with noise only
  std::atomic<bool> unable{false};     // refuses listings and deletes ("UNABLE")
  std::atomic<int> stall_after{-1};    // a listing stops after n lines (-1: never)
  std::atomic<bool> endless_line{false};  // a listing answers bytes without any LF
  std::atomic<bool> no_wait{false};    // lines do not wait for the host's acknowledgement
};

class magellan_sim {
 public:
  // Sentence bodies (without "$" and tail) of the receiver's memory.
  magellan_sim(pty_pair& pty, std::vector<std::string> waypoints, std::vector<std::string> track,
               std::vector<std::string> routes, std::string version = "PMGNVER,19,2.22,MERIDIAN GPS");
  ~magellan_sim();
  magellan_sim(const magellan_sim&) = delete;
  magellan_sim& operator=(const magellan_sim&) = delete;

  magellan_faults faults;
  // Every sentence received (without CR LF), in order.
  std::vector<std::string> received();
  int track_size();
  // Acknowledgements from the host that matched the line they answered.
  int good_acks() const { return good_acks_.load(); }

 private:
  void run();
  void answer(const std::string& body);
  void send_next();
  void put(const std::string& bytes);
  bool line_speed_ok() const;

  pty_pair& pty_;
  std::mutex lock_;
  std::vector<std::string> waypoints_, track_, routes_;
  std::string version_;
  std::vector<std::string> received_;
  std::vector<std::string> queue_;  // lines still to send in the listing
  std::string last_sent_;           // body of the last line sent
  int sent_in_listing_ = 0;
  std::atomic<int> good_acks_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> busy_{false};     // a command read, its answer not yet handed over
  std::atomic<bool> writing_{false};  // waiting for room on the line
  std::thread thread_;
};

}  // namespace tm_test

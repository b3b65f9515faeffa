// A simulated Emtac Trine logger on the master side of a pseudo-terminal, at 38400
// baud (at any other speed it hears nothing).
//
// It answers $PEMT163,0 with its version sentence, $PEMT161,0 with the record count,
// $PEMT161,4,1,<n> with n text records, $PEMT162,0 with "$PEMT162,0,1" and then an
// XMODEM transfer of its binary log (20-byte records), and $PEMT161,8 by clearing the
// log. The XMODEM phase is served by its own sender (CRC or sum mode as the receiver
// asks, 128- or 1024-byte blocks) or, in real-time tests, by lrzsz `sx` run on the
// master side.
//
// Fault switches (each for the next `times` occasions): silence, garbage before an
// answer, a block with a bad CRC or sum, a lost acknowledgement (the sender repeats the
// block it just had acknowledged), a sender that cancels, one that stops in a block.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tm_test {

struct emtac_record {
  bool empty;                      // time word negative: the logger skipped the slot
  int year, month, day, hour, minute, second;
  int32_t latitude, longitude;     // ddmm.mmmm x 10000, signed
  int altitude_dm;                 // 0.1 m, 0 .. 2^20-1
  int fix;                         // 0-3, +8 for DGPS
  int hdop_tenths;                 // 0 .. 511
  int heading;                     // 0 .. 359
  int speed_tenths;                // 0 .. 32767
};

enum class emtac_fault { silence, garbage, bad_check, lost_ack, cancel, stall };

class emtac_sim {
 public:
  emtac_sim(int master, int slave, std::string version = "TRINE_V1.10_2008");
  ~emtac_sim();
  emtac_sim(const emtac_sim&) = delete;
  emtac_sim& operator=(const emtac_sim&) = delete;

  void set_records(const std::vector<emtac_record>& records);
  // XMODEM blocks of 1024 bytes (STX) instead of 128.
  void set_large_blocks(bool on) { large_ = on; }
  // The XMODEM phase by lrzsz sx (with -k for 1024-byte blocks when large blocks are on).
  void use_sx(bool on) { sx_ = on; }
  void set_fault(emtac_fault fault, int times);
  void start();
  void stop();

  std::vector<std::string> commands();
  size_t record_count();
  // Blocks sent by the sender, the replies it heard (one character each: A ACK, N NAK,
  // C 'C', X CAN, other '?').
  std::string replies();

  static std::string image(const std::vector<emtac_record>& records);
  // The body of the text sentence of record i (from 1), as the logger sends it.
  static std::string text_body(int index, const emtac_record& r);
  static std::string sentence(const std::string& body);

 private:
  void run();
  void handle(const std::string& command);
  void send(const std::string& bytes);
  void serve_xmodem();
  void serve_sx();
  int read_reply(int wait_ms);
  bool take_fault(emtac_fault fault);
  bool at_speed() const;

  int master_, slave_;
  std::string version_;
  std::atomic<bool> running_{false};
  std::atomic<bool> large_{false};
  std::atomic<bool> sx_{false};
  std::thread thread_;
  int master_flags_ = 0;
  std::mutex lock_;
  std::vector<emtac_record> records_;
  std::vector<std::string> commands_;
  std::string replies_;
  int faults_[6] = {0, 0, 0, 0, 0, 0};
};

}  // namespace tm_test

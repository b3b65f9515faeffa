// A simulated RoyalTek data logger on the master side of a pseudo-terminal.
//
// A thread reads the $PROY commands the driver writes and answers with LOG1xx
// sentences, only while the line runs at the logger's speed (read back from the slave
// side): at any other speed it hears nothing. Its memory holds track subfiles built from
// known points (the truth), packed as the logger packs them (records of 12, 16 or 20
// bytes by log type) and sent as binary LOG102 blocks of whole records.
//
// Fault switches (each for the next `times` occasions): a LOG102 block with a wrong
// checksum, a block left out (the next one comes out of sequence), a block cut short
// (its head and part of its records, a pause, then the tail), garbage before every
// answer, silence (no answer at all), and a stream of position sentences that never
// pauses (real-time tests only).
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tm_test {

struct royaltek_point {
  int hour, minute, second;
  double latitude, longitude;  // degrees
  double altitude;             // metres (log types 1, 2)
  double speed;                // metres per second (log type 2)
};

struct royaltek_subfile {
  int log_type;
  std::vector<royaltek_point> points;
};

enum class royaltek_fault { bad_checksum, skip_block, short_block, garbage, silence, stream };

class royaltek_sim {
 public:
  royaltek_sim(int master, int slave, std::string name = "RoyalTek RBT-2300", int speed = 57600);
  ~royaltek_sim();
  royaltek_sim(const royaltek_sim&) = delete;
  royaltek_sim& operator=(const royaltek_sim&) = delete;

  void add_subfile(const royaltek_subfile& subfile);
  void set_logging(bool on) { logging_ = on; }
  void set_fault(royaltek_fault fault, int times);
  void start();
  void stop();

  // The commands heard, in order (without their tails).
  std::vector<std::string> commands();
  bool logging() const { return logging_; }
  size_t subfile_count();
  // Start address in the logger's memory of subfile i.
  static uint32_t base_address(int index) { return 0x10000u * uint32_t(index + 1); }
  // The float round trip of the logger's records (what a reader can give back).
  static double stored_degrees(double degrees);
  static double stored_value(double value);
  // One record as the logger packs it.
  static std::string pack(const royaltek_point& point, int log_type);
  // A whole sentence: "$", body, "*", checksum of the body, CR LF.
  static std::string sentence(const std::string& body);

 private:
  void run();
  void handle(const std::string& command);
  void send(const std::string& bytes);
  void send_records(uint32_t address, int log_type, int count);
  bool take_fault(royaltek_fault fault);
  int line_speed() const;

  int master_, slave_;
  std::string name_;
  int speed_;
  std::atomic<bool> logging_{false};
  std::atomic<bool> running_{false};
  std::thread thread_;
  int master_flags_ = 0;
  std::mutex lock_;
  std::vector<royaltek_subfile> subfiles_;
  std::vector<std::string> commands_;
  int faults_[6] = {0, 0, 0, 0, 0, 0};
};

}  // namespace tm_test

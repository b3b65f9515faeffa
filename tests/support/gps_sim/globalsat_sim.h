// A simulated Globalsat data logger on the master side of a pseudo-terminal: it answers
// frames A0 A2 / big-endian length / payload / 15-bit sum / B0 B3 only while the line
// is set to 115200 baud, serves track files built from known points, and can be told to
// misbehave (bad checksums, silence, garbage, cut answers, a lost or an extra packet, a
// list that does not move on).
//
// Answers: BC greeting; BF the 8-byte identifier with the product bytes 13, 0 at payload
// offsets 11 and 12; BB from an index: count, next page index (0 on the last page), then
// 12-byte entries (first time, first date, file number) and four bytes more (zero), as
// the logger sends them; B5 n: two packets of the id, 1024 bytes of records (unused
// slots all 0xFF, that is -1, -1) and four bytes more; BA: the erase, answered
// BA 00 00 00 01 and four bytes more.
//
// Every switch is atomic and the log is under a mutex: a test may change them while a
// driver talks to the simulator.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gps_sim {

struct globalsat_point {
  int32_t latitude, longitude;  // DDDMMmmmm
  int32_t time, date;           // hhmmss, ddmmyy
  int32_t speed;                // 0.01 units
  int32_t altitude;             // 0.0001 units
};

// A track file: its first record is of format 2 and names `format`, the format of the
// records that follow (a format-2 record names format 2 again).
struct globalsat_track {
  int format = 2;
  std::vector<globalsat_point> points;
};

// The two packets' records of a track file (2 x 1024 bytes, at most 125 records each),
// 0xFF after the points; points that do not fit are left out.
std::string globalsat_pack_track(const globalsat_track& track);
// Points of a track that fit in its two packets.
size_t globalsat_track_capacity(int format);

struct globalsat_faults {
  std::atomic<int> bad_checksum{0};   // the next n answers carry a wrong sum
  std::atomic<int> silent{0};         // the next n commands get no answer
  std::atomic<int> garbage{0};        // the next n answers are preceded by noise
  std::atomic<int> cut_answer{0};     // the next n answers stop halfway
  std::atomic<int> lost_packet{0};    // the next n track files lose their second packet
  std::atomic<int> extra_packets{0};  // the next n track files get two packets more
  std::atomic<int> short_packet{0};   // the next n track packets hold 1000 bytes only
  std::atomic<bool> stuck_list{false};  // the list names page 1 as the next, again and again
  std::atomic<bool> other_product{false};  // the identifier's product bytes differ
};

class globalsat_sim {
 public:
  globalsat_sim(int master, int slave);
  ~globalsat_sim();
  globalsat_sim(const globalsat_sim&) = delete;
  globalsat_sim& operator=(const globalsat_sim&) = delete;

  void start();
  void stop();

  void set_tracks(const std::vector<globalsat_track>& tracks);
  void set_page_size(int entries);
  void set_identifier(const uint8_t id[8]);

  globalsat_faults faults;

  std::vector<std::string> commands();
  bool erased() const { return erased_.load(); }

 private:
  void run();
  void on_payload(const std::string& payload);
  void send_frame(const std::string& payload);
  void write_raw(const std::string& bytes);
  bool line_at_speed() const;

  int master_;
  int slave_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> erased_{false};
  std::mutex lock_;
  std::vector<globalsat_track> tracks_;
  int page_size_ = 3;
  uint8_t id_[8] = {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
  std::vector<std::string> commands_;
  std::string in_;
};

}  // namespace gps_sim

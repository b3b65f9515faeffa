// A simulated SkyTraq data logger on the master side of a pseudo-terminal: it answers the
// binary protocol (A0 A1 / length / payload / XOR / 0D 0A) only while the line is set to
// 9600 baud, serves a log image of sectors built from known points, and can be told to
// misbehave (bad checksums, silence, garbage, cut answers, answers before their
// acknowledgement, lost acknowledgements, cut sectors).
//
// The image: records packed as the receiver stores them (18-byte full records, 8-byte
// compact records moving the last position), each sector starting with a full record.
// A sector is sent as its bytes, erased flash (0xFF) up to 4082 bytes, then
// "END\0CHECKSUM=" and one checksum byte, the XOR of the bytes before the tag: 4096
// bytes in all, the answer the outside host reads at once. A sector beyond the image is
// answered by the tag and its checksum byte alone.
//
// The simulator runs its own thread; every switch and counter is atomic or under its
// mutex, so a test may change them while a driver talks to it.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gps_sim {

// One known point: GPS time and an ECEF position in whole metres.
struct skytraq_point {
  int32_t week;       // full GPS week (1024 and above)
  uint32_t seconds;   // of the week
  int32_t x, y, z;    // ECEF metres
  uint8_t speed;      // km/h
  bool poi;           // a point the user marked (full record with bit 0x20)
};

// Record encoders.
std::string skytraq_full_record(const skytraq_point& p);
// Raw 10-bit delta field of a signed delta in -512..511.
uint32_t skytraq_delta_field(int d);
std::string skytraq_compact_record(uint16_t time_step, int dx, int dy, int dz, uint8_t speed);
// Packs points into sectors of at most sector_size bytes: each sector opens with a full
// record; a point follows as a compact record when its moves fit (and it is no POI).
std::vector<std::string> skytraq_pack(const std::vector<skytraq_point>& points,
                                      int sector_size = 4096);

struct skytraq_faults {
  std::atomic<int> bad_checksum{0};   // the next n answers carry a wrong XOR
  std::atomic<int> silent{0};         // the next n commands get no answer
  std::atomic<int> garbage{0};        // the next n answers are preceded by noise
  std::atomic<int> cut_answer{0};     // the next n answers stop halfway
  std::atomic<int> lost_ack{0};       // the next n sector requests get no acknowledgement
  std::atomic<int> cut_sector{0};     // the next n sectors stop before their tag
  std::atomic<int> split_tag{0};      // the next n sectors are written in small pieces
  std::atomic<int> bad_sector_checksum{0};  // the next n sectors end with a wrong checksum byte
  std::atomic<int> out_of_order{0};   // the next n answers come before their acknowledgement
  std::atomic<bool> refuse_all{false};  // every command is refused (0x84)
};

class skytraq_sim {
 public:
  // Serves on the pty master `master`, watching the line settings of `slave`.
  skytraq_sim(int master, int slave);
  ~skytraq_sim();
  skytraq_sim(const skytraq_sim&) = delete;
  skytraq_sim& operator=(const skytraq_sim&) = delete;

  void start();
  void stop();

  // The log: its sectors, and the status it reports (left and total; by default
  // total = sectors + 9, left = 10, so total - left + 1 = the sectors).
  void set_sectors(const std::vector<std::string>& sectors);
  void set_status(uint32_t left, uint32_t total);
  // Software version bytes: kernel X Y Z, version X Y Z, revision YY MM DD.
  void set_version(const uint8_t kernel[3], const uint8_t version[3], const uint8_t revision[3]);
  void set_software_type(uint8_t type);

  skytraq_faults faults;

  // What the driver asked: every command payload received, in order.
  std::vector<std::string> commands();
  // The sector numbers asked with 1B, in order.
  std::vector<int> sector_requests();
  bool erased() const { return erased_.load(); }
  int line_speed_refusals() const { return wrong_speed_.load(); }

 private:
  void run();
  void on_payload(const std::string& payload);
  void send_frame(const std::string& payload, bool allow_faults = true);
  // An acknowledgement and the answer it announces, in this order unless out_of_order.
  void send_acknowledged(const std::string& ack, const std::string& message);
  void write_raw(const std::string& bytes);
  bool line_at_speed() const;
  std::string sector_answer(int n);

  int master_;
  int slave_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> erased_{false};
  std::atomic<int> wrong_speed_{0};
  std::mutex lock_;
  std::vector<std::string> sectors_;
  uint32_t left_ = 0, total_ = 0;
  bool status_set_ = false;
  uint8_t type_ = 1;
  uint8_t version_[12] = {0, 1, 2, 3, 0, 1, 6, 4, 0, 22, 3, 15};
  std::vector<std::string> commands_;
  std::vector<int> sector_requests_;
  std::string in_;  // bytes received not yet framed
};

}  // namespace gps_sim

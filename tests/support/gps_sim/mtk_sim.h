// A simulated MediaTek data logger on the master side of a pseudo-terminal: a thread
// that reads $PMTK sentences and answers them from a log memory image built from known
// points (the truth) in the logger's binary layout: 64 KiB sectors, each opened by a
// 512-byte header (record count, format mask, ... four 0xBB), records with '*' and an
// XOR checksum byte, and separators (seven 0xAA, type, value, four 0xBB) where the
// format changes. It answers only at 115200 baud (read on the slave side).
//
// Fault switches: bad checksum, silence, garbage before each answer, memory lines cut
// short, memory lines of another address, lost acknowledgements, status 2 (failed) once
// or always.
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

struct mtk_sat {
  uint8_t prn;
  bool used;
  int16_t elevation;
  uint16_t azimuth, snr;
};

struct mtk_point {
  uint32_t utc = 0;
  uint16_t valid = 2;  // 1 no fix, 2 fix, 4 differential fix
  double lat = 0, lon = 0;
  float height = 0, speed = 0, heading = 0;
  uint16_t dsta = 0;
  float dage = 0;
  uint16_t pdop = 0, hdop = 0, vdop = 0;
  uint8_t in_view = 0, in_use = 0;
  std::vector<mtk_sat> sats;
  uint16_t rcr = 1;
  uint16_t ms = 0;
  double distance = 0;
  bool starred = true;      // followed by '*'
  uint32_t new_format = 0;  // non-zero: a separator that sets this format comes first
};

// The log image: the points under `format`, in sectors of 64 KiB.
std::string mtk_build_image(uint32_t format, const std::vector<mtk_point>& points);
// One record's bytes under a format (without '*' and checksum).
std::string mtk_record(uint32_t format, const mtk_point& p);

enum class mtk_fault : int {
  none,
  bad_checksum,
  silence,
  garbage,
  short_line,
  other_address,
  lost_ack,
  status2_once,
  status2_always,
};

class mtk_sim {
 public:
  explicit mtk_sim(tm_test::pty_pair& pty);
  ~mtk_sim();
  mtk_sim(const mtk_sim&) = delete;
  mtk_sim& operator=(const mtk_sim&) = delete;

  // Set before start.
  std::string firmware = "SIMFW_1.0,0001,,,";
  std::string release = "AXN_SIM,0002,SIM200,1.0";
  bool answer_firmware = true, answer_release = true;
  uint32_t status_word = 0x0102;  // log status word: bit 8 stop when full
  uint32_t format = 0;
  std::string image;         // the log memory; its size is the bytes used
  uint32_t record_count = 0;

  std::atomic<mtk_fault> fault{mtk_fault::none};
  std::atomic<int> fault_after{0};  // requests answered well before the fault starts

  void start();
  void stop();
  bool idle() const;
  std::vector<std::string> requests() const;  // every sentence received, without its tail
  int erased() const { return erased_.load(); }

  static std::string sentence(const std::string& body);  // body + "*XX\r\n"

 private:
  void run();
  void handle(const std::string& body);
  void say(const std::string& body, bool data = false);
  bool speed_ok() const;

  tm_test::pty_pair& pty_;
  std::thread thread_;
  std::atomic<bool> stop_{false}, running_{false};
  std::atomic<int> busy_{0}, erased_{0};
  mutable std::mutex lock_;
  std::vector<std::string> requests_;
  std::string inbox_;
  int handled_ = 0;
  bool failed_once_ = false;
};

}  // namespace gps_sim

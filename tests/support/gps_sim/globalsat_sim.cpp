// The simulated Globalsat data logger: track packing, framing, the answers to each
// command and the fault switches (see globalsat_sim.h).
#include "tests/support/gps_sim/globalsat_sim.h"
#include "tests/support/gps_sim/sim_common.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace gps_sim {

namespace {

constexpr int kPacket = 1024;
constexpr int kRecordsPerPacket = 125;
constexpr int kSize[3] = {8, 20, 32};

void put32(std::string* s, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int sh = 24; sh >= 0; sh -= 8) s->push_back(static_cast<char>(u >> sh & 0xFF));
}

std::string record(const globalsat_point& p, int format, int next) {
  std::string r;
  put32(&r, p.latitude);
  put32(&r, p.longitude);
  if (format >= 1) {
    put32(&r, p.time);
    put32(&r, p.date);
    put32(&r, p.speed);
  }
  if (format == 2) {
    put32(&r, p.altitude);
    put32(&r, 0);
    put32(&r, next);
  }
  return r;
}

uint16_t sum15(const std::string& s) {
  uint32_t sum = 0;
  for (char c : s) sum += static_cast<uint8_t>(c);
  return static_cast<uint16_t>(sum & 0x7FFF);
}

std::string frame_of(const std::string& payload, bool bad_sum) {
  std::string f = "\xA0\xA2";
  f.push_back(static_cast<char>(payload.size() >> 8));
  f.push_back(static_cast<char>(payload.size() & 0xFF));
  f += payload;
  const uint16_t s = static_cast<uint16_t>(sum15(payload) ^ (bad_sum ? 0x0101 : 0));
  f.push_back(static_cast<char>(s >> 8));
  f.push_back(static_cast<char>(s & 0xFF));
  f += "\xB0\xB3";
  return f;
}

bool take(std::atomic<int>& counter) {
  int n = counter.load();
  while (n > 0)
    if (counter.compare_exchange_weak(n, n - 1)) return true;
  return false;
}

}  // namespace

std::string globalsat_pack_track(const globalsat_track& track) {
  std::string out;
  size_t next_point = 0;
  int format = 2;
  for (int packet = 0; packet < 2; ++packet) {
    std::string body;
    int records = 0;
    while (records < kRecordsPerPacket && int(body.size()) + kSize[format] <= kPacket) {
      if (next_point < track.points.size()) {
        const int next = format == 2 ? track.format : format;
        body += record(track.points[next_point++], format, next);
        format = next;
      } else {
        break;
      }
      ++records;
    }
    // The logger's unused slots read -1, -1 whatever the format: erased flash.
    body.resize(kPacket, '\xFF');
    out += body;
  }
  return out;
}

size_t globalsat_track_capacity(int format) {
  globalsat_track t;
  t.format = format;
  t.points.assign(400, globalsat_point{48301234, 2171234, 120000, 10622, 100, 500000});
  // Count the non-empty records the packing kept: pack a full track and count slots.
  size_t n = 0;
  int f = 2;
  for (int packet = 0; packet < 2; ++packet) {
    int bytes = 0, records = 0;
    while (records < kRecordsPerPacket && bytes + kSize[f] <= kPacket) {
      bytes += kSize[f];
      f = f == 2 ? format : f;
      ++records;
      ++n;
    }
  }
  return n;
}

globalsat_sim::globalsat_sim(int master, int slave) : master_(master), slave_(slave) {}

globalsat_sim::~globalsat_sim() { stop(); }

void globalsat_sim::start() {
  if (running_.exchange(true)) return;
  thread_ = std::thread([this] { run(); });
}

void globalsat_sim::stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
}

void globalsat_sim::set_tracks(const std::vector<globalsat_track>& tracks) {
  std::lock_guard<std::mutex> g(lock_);
  tracks_ = tracks;
}

void globalsat_sim::set_page_size(int entries) {
  std::lock_guard<std::mutex> g(lock_);
  page_size_ = entries < 1 ? 1 : entries;
}

void globalsat_sim::set_identifier(const uint8_t id[8]) {
  std::lock_guard<std::mutex> g(lock_);
  for (int i = 0; i < 8; ++i) id_[i] = id[i];
}

std::vector<std::string> globalsat_sim::commands() {
  std::lock_guard<std::mutex> g(lock_);
  return commands_;
}

bool globalsat_sim::line_at_speed() const {
  return sim_line_at(slave_, B115200, SIM_BOTH);
}

void globalsat_sim::write_raw(const std::string& bytes) {
  sim_write_all(master_, bytes, running_);
}

void globalsat_sim::send_frame(const std::string& payload) {
  std::string out;
  if (take(faults.garbage)) out += std::string("\xA0\xA2\x00\x03\xB0\xB3noise\xB0", 12);
  std::string f = frame_of(payload, take(faults.bad_checksum));
  if (take(faults.cut_answer)) f.resize(f.size() / 2);
  out += f;
  write_raw(out);
}

void globalsat_sim::on_payload(const std::string& payload) {
  {
    std::lock_guard<std::mutex> g(lock_);
    commands_.push_back(payload);
  }
  if (take(faults.silent)) return;
  const uint8_t id = payload.empty() ? 0 : uint8_t(payload[0]);
  const int arg = payload.size() >= 3 ? (uint8_t(payload[1]) << 8 | uint8_t(payload[2])) : 0;
  switch (id) {
    case 0xBC:
      send_frame(std::string("\xBC", 1));
      return;
    case 0xBF: {
      std::string a = "\xBF";
      std::lock_guard<std::mutex> g(lock_);
      a.append(reinterpret_cast<const char*>(id_), 8);
      a += std::string("\x00\x00", 2);
      a.push_back(faults.other_product ? char(14) : char(13));
      a += std::string(4, '\0');
      send_frame(a);
      return;
    }
    case 0xBB: {
      std::string a = "\xBB";
      std::lock_guard<std::mutex> g(lock_);
      const int total = int(tracks_.size());
      const int first = arg < total ? arg : total;
      const int n = std::min(page_size_, total - first);
      const int next = faults.stuck_list ? std::max(arg, 1) : (first + n < total ? first + n : 0);
      a.push_back(char(n >> 8)), a.push_back(char(n & 0xFF));
      a.push_back(char(next >> 8)), a.push_back(char(next & 0xFF));
      for (int i = first; i < first + n; ++i) {
        const auto& pts = tracks_[size_t(i)].points;
        put32(&a, pts.empty() ? 0 : pts[0].time);
        put32(&a, pts.empty() ? 0 : pts[0].date);
        put32(&a, i);
      }
      put32(&a, 0);  // the logger ends a list page with four more bytes
      send_frame(a);
      return;
    }
    case 0xB5: {
      std::string body;
      {
        std::lock_guard<std::mutex> g(lock_);
        body = arg < int(tracks_.size()) ? globalsat_pack_track(tracks_[size_t(arg)])
                                         : std::string(2 * kPacket, '\0');
      }
      const bool lose = take(faults.lost_packet), extra = take(faults.extra_packets);
      const bool cut = take(faults.short_packet);
      // Each packet: the id, 1024 bytes of records and four bytes more, as the logger
      // sends them.
      const std::string tail(4, '\xFF');
      const size_t len = cut ? 1000 : kPacket;
      send_frame("\xB5" + body.substr(0, len) + (cut ? "" : tail));
      if (!lose) send_frame("\xB5" + body.substr(kPacket, len) + (cut ? "" : tail));
      if (extra) {
        send_frame("\xB5" + body.substr(0, kPacket) + tail);
        send_frame("\xB5" + body.substr(kPacket, kPacket) + tail);
      }
      return;
    }
    case 0xBA: {
      {
        std::lock_guard<std::mutex> g(lock_);
        tracks_.clear();
      }
      erased_ = true;
      send_frame(std::string("\xBA\x00\x00\x00\x01\x00\x00\x00\x00", 9));
      return;
    }
    default:
      return;
  }
}

void globalsat_sim::run() {
  while (running_) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 5) <= 0) continue;
    char buf[512];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) {
      usleep(1000);
      continue;
    }
    if (!line_at_speed()) {
      in_.clear();
      continue;
    }
    in_.append(buf, size_t(n));
    for (;;) {
      const size_t start = in_.find("\xA0\xA2");
      if (start == std::string::npos) {
        if (!in_.empty() && uint8_t(in_.back()) == 0xA0) in_.erase(0, in_.size() - 1);
        else in_.clear();
        break;
      }
      in_.erase(0, start);
      if (in_.size() < 4) break;
      const size_t len = size_t(uint8_t(in_[2])) << 8 | uint8_t(in_[3]);
      if (in_.size() < len + 8) break;
      const std::string payload = in_.substr(4, len);
      const uint16_t sum = uint16_t(uint8_t(in_[4 + len]) << 8 | uint8_t(in_[5 + len]));
      const bool good = sum == sum15(payload) && uint8_t(in_[6 + len]) == 0xB0 &&
                        uint8_t(in_[7 + len]) == 0xB3;
      in_.erase(0, good ? len + 8 : 2);
      if (good) on_payload(payload);
    }
  }
}

}  // namespace gps_sim

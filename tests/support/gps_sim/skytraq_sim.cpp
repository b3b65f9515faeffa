// The simulated SkyTraq data logger: record packing, the framing, the answers to each
// command and the fault switches (see skytraq_sim.h).
#include "tests/support/gps_sim/skytraq_sim.h"
#include "tests/support/gps_sim/sim_common.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace gps_sim {

namespace {

void put16(std::string* s, uint16_t v) {
  s->push_back(static_cast<char>(v >> 8));
  s->push_back(static_cast<char>(v & 0xFF));
}

uint8_t xor_of(const std::string& s) {
  uint8_t x = 0;
  for (char c : s) x ^= static_cast<uint8_t>(c);
  return x;
}

std::string frame_of(const std::string& payload, bool bad_checksum) {
  std::string f = "\xA0\xA1";
  put16(&f, static_cast<uint16_t>(payload.size()));
  f += payload;
  f.push_back(static_cast<char>(xor_of(payload) ^ (bad_checksum ? 0x5A : 0)));
  f += "\r\n";
  return f;
}

bool take(std::atomic<int>& counter) {
  int n = counter.load();
  while (n > 0)
    if (counter.compare_exchange_weak(n, n - 1)) return true;
  return false;
}

constexpr char kTag[] = "END\0CHECKSUM=";
constexpr size_t kAnswerData = 4096 - (sizeof kTag - 1) - 1;

}  // namespace

std::string skytraq_full_record(const skytraq_point& p) {
  std::string r;
  r.push_back(static_cast<char>(p.poi ? 0x60 : 0x40));
  r.push_back(static_cast<char>(p.speed));
  const uint32_t x = static_cast<uint32_t>(p.x), y = static_cast<uint32_t>(p.y),
                 z = static_cast<uint32_t>(p.z);
  put16(&r, static_cast<uint16_t>(((p.week - 1024) & 0x0FFF) | (p.seconds & 0xF) << 12));
  put16(&r, static_cast<uint16_t>(p.seconds >> 4));
  put16(&r, static_cast<uint16_t>(x & 0xFFFF));
  put16(&r, static_cast<uint16_t>(x >> 16));
  put16(&r, static_cast<uint16_t>(y & 0xFFFF));
  put16(&r, static_cast<uint16_t>(y >> 16));
  put16(&r, static_cast<uint16_t>(z & 0xFFFF));
  put16(&r, static_cast<uint16_t>(z >> 16));
  return r;
}

uint32_t skytraq_delta_field(int d) { return d >= 0 ? uint32_t(d) : uint32_t(511 - d); }

std::string skytraq_compact_record(uint16_t time_step, int dx, int dy, int dz, uint8_t speed) {
  const uint32_t fx = skytraq_delta_field(dx), fy = skytraq_delta_field(dy),
                 fz = skytraq_delta_field(dz);
  const uint32_t v = fx << 22 | (fy & 0x3F) << 16 | (fy >> 6) << 12 | fz;
  std::string r;
  r.push_back(static_cast<char>(0x80));
  r.push_back(static_cast<char>(speed));
  put16(&r, time_step);
  r.push_back(static_cast<char>(v >> 24));
  r.push_back(static_cast<char>(v >> 16 & 0xFF));
  r.push_back(static_cast<char>(v >> 8 & 0xFF));
  r.push_back(static_cast<char>(v & 0xFF));
  return r;
}

std::vector<std::string> skytraq_pack(const std::vector<skytraq_point>& points, int sector_size) {
  std::vector<std::string> sectors;
  std::string cur;
  const skytraq_point* last = nullptr;
  auto fits = [](int d) { return d >= -512 && d <= 511; };
  for (const skytraq_point& p : points) {
    std::string rec;
    if (last && !cur.empty() && !p.poi && p.week == last->week && p.seconds >= last->seconds &&
        p.seconds - last->seconds <= 0xFFFF && fits(p.x - last->x) && fits(p.y - last->y) &&
        fits(p.z - last->z) && int(cur.size()) + 8 <= sector_size) {
      rec = skytraq_compact_record(static_cast<uint16_t>(p.seconds - last->seconds), p.x - last->x,
                                   p.y - last->y, p.z - last->z, p.speed);
    } else {
      if (int(cur.size()) + 18 > sector_size) {
        sectors.push_back(cur);
        cur.clear();
      }
      rec = skytraq_full_record(p);
    }
    cur += rec;
    last = &p;
  }
  if (!cur.empty()) sectors.push_back(cur);
  return sectors;
}

skytraq_sim::skytraq_sim(int master, int slave) : master_(master), slave_(slave) {}

skytraq_sim::~skytraq_sim() { stop(); }

void skytraq_sim::start() {
  if (running_.exchange(true)) return;
  thread_ = std::thread([this] { run(); });
}

void skytraq_sim::stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
}

void skytraq_sim::set_sectors(const std::vector<std::string>& sectors) {
  std::lock_guard<std::mutex> g(lock_);
  sectors_ = sectors;
  if (!status_set_) {
    total_ = static_cast<uint32_t>(sectors.size()) + 9;
    left_ = 10;
    if (sectors.empty()) total_ = left_ = 0;
  }
}

void skytraq_sim::set_status(uint32_t left, uint32_t total) {
  std::lock_guard<std::mutex> g(lock_);
  left_ = left;
  total_ = total;
  status_set_ = true;
}

void skytraq_sim::set_version(const uint8_t kernel[3], const uint8_t version[3],
                              const uint8_t revision[3]) {
  std::lock_guard<std::mutex> g(lock_);
  for (int i = 0; i < 3; ++i) {
    version_[1 + i] = kernel[i];
    version_[5 + i] = version[i];
    version_[9 + i] = revision[i];
  }
}

void skytraq_sim::set_software_type(uint8_t type) {
  std::lock_guard<std::mutex> g(lock_);
  type_ = type;
}

std::vector<std::string> skytraq_sim::commands() {
  std::lock_guard<std::mutex> g(lock_);
  return commands_;
}

std::vector<int> skytraq_sim::sector_requests() {
  std::lock_guard<std::mutex> g(lock_);
  return sector_requests_;
}

bool skytraq_sim::line_at_speed() const {
  return sim_line_at(slave_, B9600, SIM_BOTH);
}

void skytraq_sim::write_raw(const std::string& bytes) {
  sim_write_all(master_, bytes, running_);
}

void skytraq_sim::send_frame(const std::string& payload, bool allow_faults) {
  std::string out;
  if (allow_faults && take(faults.garbage)) out += std::string("\xA0\x13\x37garbage\x0D", 11);
  std::string f = frame_of(payload, allow_faults && take(faults.bad_checksum));
  if (allow_faults && take(faults.cut_answer)) f.resize(f.size() / 2);
  out += f;
  write_raw(out);
}

void skytraq_sim::send_acknowledged(const std::string& ack, const std::string& message) {
  if (take(faults.out_of_order)) {
    send_frame(message);
    send_frame(ack);
    return;
  }
  send_frame(ack);
  send_frame(message);
}

std::string skytraq_sim::sector_answer(int n) {
  std::string data;
  {
    std::lock_guard<std::mutex> g(lock_);
    if (n >= 0 && size_t(n) < sectors_.size()) {
      // The receiver answers a sector request with 4096 bytes in all: the sector's
      // bytes, erased flash (0xFF) after its records, then the tag and the checksum
      // byte. A sector beyond the image is answered by the tag alone.
      data = sectors_[size_t(n)];
      if (data.size() < kAnswerData) data.resize(kAnswerData, '\xFF');
    }
  }
  if (take(faults.cut_sector)) return data.substr(0, data.size() / 2);
  std::string out = data + std::string(kTag, sizeof kTag - 1);
  out.push_back(static_cast<char>(xor_of(data) ^ (take(faults.bad_sector_checksum) ? 0x21 : 0)));
  return out;
}

void skytraq_sim::on_payload(const std::string& payload) {
  {
    std::lock_guard<std::mutex> g(lock_);
    commands_.push_back(payload);
    if (!payload.empty() && uint8_t(payload[0]) == 0x1B && payload.size() >= 2)
      sector_requests_.push_back(uint8_t(payload[1]));
  }
  if (take(faults.silent)) return;
  const uint8_t id = payload.empty() ? 0 : uint8_t(payload[0]);
  const std::string ack = std::string("\x83", 1) + char(id);
  if (faults.refuse_all) {
    send_frame(std::string("\x84", 1) + char(id));
    return;
  }
  switch (id) {
    case 0x02: {
      std::string v = "\x80";
      {
        std::lock_guard<std::mutex> g(lock_);
        v.push_back(static_cast<char>(type_));
        v.append(reinterpret_cast<const char*>(version_), 12);
      }
      send_acknowledged(ack, v);
      return;
    }
    case 0x09:
      send_frame(ack);
      return;
    case 0x17: {
      std::string s(35, '\0');
      s[0] = char(0x94);
      {
        std::lock_guard<std::mutex> g(lock_);
        const uint32_t wp = static_cast<uint32_t>(sectors_.size()) * 4096;
        for (int i = 0; i < 4; ++i) s[size_t(1 + i)] = char(wp >> (8 * i) & 0xFF);
        s[5] = char(left_ & 0xFF), s[6] = char(left_ >> 8 & 0xFF);
        s[7] = char(total_ & 0xFF), s[8] = char(total_ >> 8 & 0xFF);
      }
      s[33] = 1;
      send_acknowledged(ack, s);
      return;
    }
    case 0x19: {
      send_frame(ack);
      std::lock_guard<std::mutex> g(lock_);
      sectors_.clear();
      left_ = total_;
      erased_ = true;
      return;
    }
    case 0x1B: {
      const int n = payload.size() >= 2 ? uint8_t(payload[1]) : 0;
      if (take(faults.lost_ack)) return;
      const std::string data = sector_answer(n);
      if (take(faults.split_tag)) {
        write_raw(frame_of(ack, false));
        for (size_t at = 0; at < data.size(); at += 5) {
          write_raw(data.substr(at, 5));
          usleep(200);
        }
        return;
      }
      write_raw(frame_of(ack, false) + data);
      return;
    }
    default:
      send_frame(std::string("\x84", 1) + char(id));
      return;
  }
}

void skytraq_sim::run() {
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
      ++wrong_speed_;
      in_.clear();
      continue;
    }
    in_.append(buf, size_t(n));
    // Frames: A0 A1, length, payload, XOR, 0D 0A.
    for (;;) {
      const size_t start = in_.find("\xA0\xA1");
      if (start == std::string::npos) {
        if (!in_.empty() && uint8_t(in_.back()) == 0xA0) in_.erase(0, in_.size() - 1);
        else in_.clear();
        break;
      }
      in_.erase(0, start);
      if (in_.size() < 4) break;
      const size_t len = size_t(uint8_t(in_[2])) << 8 | uint8_t(in_[3]);
      if (in_.size() < len + 7) break;
      const std::string payload = in_.substr(4, len);
      const bool good = uint8_t(in_[4 + len]) == xor_of(payload) && in_[5 + len] == '\r' &&
                        in_[6 + len] == '\n';
      in_.erase(0, good ? len + 7 : 2);
      if (good) on_payload(payload);
    }
  }
}

}  // namespace gps_sim

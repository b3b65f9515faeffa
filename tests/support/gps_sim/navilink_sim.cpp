// The simulated Navilink receiver: request parsing, the memory image and the answers.
#include "tests/support/gps_sim/navilink_sim.h"
#include "tests/support/gps_sim/sim_common.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "tests/gps/pty_fixture.h"

namespace gps_sim {

namespace {

void put16(std::string& s, size_t at, uint32_t v) {
  s[at] = char(v & 0xFF);
  s[at + 1] = char(v >> 8 & 0xFF);
}
void put32(std::string& s, size_t at, uint32_t v) {
  put16(s, at, v);
  put16(s, at + 2, v >> 16);
}
uint32_t get16(const std::string& s, size_t at) {
  return uint8_t(s[at]) | uint32_t(uint8_t(s[at + 1])) << 8;
}
uint32_t get32(const std::string& s, size_t at) { return get16(s, at) | get16(s, at + 2) << 16; }

void put_date(std::string& s, size_t at, const nl_date& d) {
  s[at] = char(d.year % 100);
  s[at + 1] = char(d.month);
  s[at + 2] = char(d.day);
  s[at + 3] = char(d.hour);
  s[at + 4] = char(d.minute);
  s[at + 5] = char(d.second);
}

std::string hex(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace

std::string navilink_sim::frame(const std::string& payload, bool bad_checksum) {
  uint32_t sum = 0;
  for (unsigned char c : payload) sum += c;
  sum &= 0x7FFF;
  if (bad_checksum) sum ^= 0x55;
  std::string out("\xA0\xA2\0\0", 4);
  put16(out, 2, uint32_t(payload.size()));
  out += payload;
  out += std::string(2, '\0');
  put16(out, out.size() - 2, sum);
  out += "\xB0\xB3";
  return out;
}

std::string navilink_sim::waypoint_record(const nl_waypoint& w) {
  std::string r(32, '\0');
  put16(r, 0, 0x4000);
  put16(r, 2, w.number);
  r.replace(4, std::min<size_t>(7, w.name.size()), w.name.substr(0, 7));
  put32(r, 12, uint32_t(w.lat_e7));
  put32(r, 16, uint32_t(w.lon_e7));
  put16(r, 20, w.alt_ft);
  put_date(r, 22, w.date);
  r[28] = char(w.icon);
  return r;
}

std::string navilink_sim::track_record(const nl_trackpoint& t, uint16_t index) {
  std::string r(32, '\0');
  put16(r, 0, index);
  put16(r, 2, t.heading);
  put32(r, 12, uint32_t(t.lat_e7));
  put32(r, 16, uint32_t(t.lon_e7));
  put16(r, 20, t.alt_ft);
  put_date(r, 22, t.date);
  r[29] = char(t.speed);
  return r;
}

std::string navilink_sim::log_record(const nl_logrecord& l) {
  std::string r(32, '\0');
  r[0] = char(l.pdop);
  r[1] = char(l.satellites);
  put16(r, 2, uint32_t(l.date.second) * 1000 + l.ms);
  const uint32_t months = uint32_t((l.date.year - 2000) * 12 + l.date.month - 1);
  put32(r, 4, months << 22 | uint32_t(l.date.day) << 17 | uint32_t(l.date.hour) << 12 |
                  uint32_t(l.date.minute) << 6);
  put32(r, 12, uint32_t(l.lat_e7));
  put32(r, 16, uint32_t(l.lon_e7));
  put32(r, 20, uint32_t(l.alt_cm));
  put16(r, 24, l.speed);
  put16(r, 26, l.heading);
  r[30] = char(l.start);
  return r;
}

std::string navilink_sim::route_record(const nl_route& rt) {
  // Head of 32 bytes, then nine sub-routes of 32 bytes (type, 14 numbers, 2 spare).
  std::string r(32 + 9 * 32, '\xFF');
  put16(r, 0, 0x2000);
  r[2] = char(rt.number);
  r[3] = 0;
  r.replace(4, 14, std::string(14, '\0'));
  r.replace(4, std::min<size_t>(14, rt.name.size()), rt.name.substr(0, 14));
  r.replace(18, 14, std::string(14, '\0'));
  for (int s = 0; s < 9; ++s) put16(r, size_t(32 + 32 * s), 0x2010);
  for (size_t i = 0; i < rt.points.size() && i < 9 * 14; ++i)
    put16(r, 32 + 32 * (i / 14) + 2 + 2 * (i % 14), rt.points[i]);
  return r;
}

navilink_sim::navilink_sim(tm_test::pty_pair& pty) : pty_(pty) {}

navilink_sim::~navilink_sim() { stop(); }

void navilink_sim::start() {
  area_.assign(log_size, 0xFF);
  log_read_ = log_start + log_read_offset;
  uint32_t at = log_read_offset;
  for (const nl_logrecord& l : datalog) {
    const std::string r = log_record(l);
    for (size_t k = 0; k < r.size(); ++k) area_[(at + k) % log_size] = uint8_t(r[k]);
    at = (at + 32) % log_size;
  }
  log_write_ = log_start + at;
  stop_ = false;
  running_ = true;
  thread_ = std::thread([this] { run(); });
}

void navilink_sim::stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  running_ = false;
}

bool navilink_sim::idle() const {
  return sim_idle(running_.load(), busy_.load() != 0, pty_.master());
}

std::vector<std::string> navilink_sim::requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

bool navilink_sim::speed_ok() const {
  return sim_line_at(pty_.slave(), B115200, SIM_INPUT);
}

void navilink_sim::run() {
  while (!stop_) {
    const int fd = pty_.master();
    if (fd < 0) return;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5) <= 0) continue;
    busy_ = 1;
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) {
      busy_ = 0;
      if (n == 0) return;
      continue;
    }
    if (speed_ok()) inbox_.append(buf, size_t(n));
    for (;;) {
      const size_t head = inbox_.find("\xA0\xA2");
      if (head == std::string::npos) {
        inbox_.clear();
        break;
      }
      inbox_.erase(0, head);
      if (inbox_.size() < 4) break;
      const uint32_t length = get16(inbox_, 2);
      // No request this receiver takes is longer: such a head is line noise (or a frame
      // of another protocol), and waiting for its bytes would swallow the next requests.
      if (length > 64) {
        inbox_.erase(0, 2);
        continue;
      }
      if (inbox_.size() < 8 + length) break;
      const std::string payload = inbox_.substr(4, length);
      inbox_.erase(0, 8 + length);
      if (!payload.empty()) handle(payload);
    }
    busy_ = 0;
  }
}

std::string navilink_sim::info() const {
  std::string p(33, '\0');
  p[0] = 0x03;
  put16(p, 1, uint32_t(waypoints.size()));
  p[3] = char(routes.size());
  p[4] = 1;
  put32(p, 5, track_start);
  put32(p, 9, serial);
  put16(p, 13, uint32_t(track.size()));
  put16(p, 15, 2);
  p.replace(17, std::min<size_t>(16, name.size()), name.substr(0, 16));
  return p;
}

std::string navilink_sim::memory(uint32_t address, uint32_t size, uint8_t flag) const {
  std::string out;
  if (flag == 0) {
    for (uint32_t a = address; a + 32 <= address + size; a += 32) {
      if (a < track_start || (a - track_start) % 32) break;
      const uint32_t index = (a - track_start) / 32;
      if (index >= track.size()) break;
      out += track_record(track[index], uint16_t(index));
    }
  } else {
    for (uint32_t a = address; a + 32 <= address + size; a += 32) {
      if (a < log_start || a + 32 > log_start + log_size) break;
      out.append(reinterpret_cast<const char*>(area_.data()) + (a - log_start), 32);
    }
  }
  return out;
}

void navilink_sim::answer(const std::string& payload, uint8_t command) {
  const int only = fault_command.load();
  const nl_fault f = (only == 0 || only == command) ? fault.load() : nl_fault::none;
  std::string bytes;
  switch (f) {
    case nl_fault::silence: return;
    case nl_fault::bad_checksum: bytes = frame(payload, true); break;
    case nl_fault::garbage: bytes = std::string("\x13\xA0\xB0\xB3\x00\xFF", 6) + frame(payload); break;
    case nl_fault::short_frame:
      bytes = frame(payload.substr(0, payload.size() > 2 ? payload.size() / 2 : payload.size()));
      break;
    default: bytes = frame(payload); break;
  }
  pty_.write_all(bytes);
}

void navilink_sim::handle(const std::string& payload) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(hex(payload));
  }
  const uint8_t command = uint8_t(payload[0]);
  const int only = fault_command.load();
  const nl_fault f = (only == 0 || only == command) ? fault.load() : nl_fault::none;
  const std::string ack("\x0C", 1);
  switch (command) {
    case 0xD6:
      if (f != nl_fault::lost_ack) answer(ack, command);
      break;
    case 0xFE: answer(std::string("\x03", 1) + name + std::string(1, '\0'), command); break;
    case 0x20: answer(info(), command); break;
    case 0x1C: {
      std::string p(17, '\0');
      p[0] = 0x03;
      put32(p, 1, log_start);
      put32(p, 5, log_size);
      put32(p, 9, log_read_);
      put32(p, 13, log_write_);
      answer(p, command);
      break;
    }
    case 0x14: {
      if (payload.size() < 8) break;
      const uint32_t address = get32(payload, 1), size = get16(payload, 5);
      std::string records = memory(address, size, uint8_t(payload[7]));
      if (f == nl_fault::extra_records) records += memory(address, size, uint8_t(payload[7])) + records;
      if (f == nl_fault::empty_answer) records.clear();
      if (f == nl_fault::out_of_order && !last_records_.empty()) {
        const std::string previous = last_records_;
        last_records_ = records;
        records = previous;
      } else {
        last_records_ = records;
      }
      answer(std::string("\x03", 1) + records, command);
      break;
    }
    case 0x28: {
      if (payload.size() < 8) break;
      const uint32_t first = get32(payload, 1), count = get16(payload, 5);
      std::string records;
      for (uint32_t i = first; i < first + count && i < waypoints.size(); ++i)
        records += waypoint_record(waypoints[i]);
      if (f == nl_fault::extra_records)
        for (size_t i = 0; i < waypoints.size(); ++i) records += waypoint_record(waypoints[i]);
      if (f == nl_fault::empty_answer) records.clear();
      answer(std::string("\x03", 1) + records, command);
      break;
    }
    case 0x24: {
      if (payload.size() < 5) break;
      const uint32_t number = get32(payload, 1);
      if (number >= routes.size()) {
        answer(std::string("\xF4", 1), command);
        break;
      }
      std::string record = route_record(routes[number]);
      if (f == nl_fault::cut_route) record.resize(40);
      answer(std::string("\x03", 1) + record, command);
      break;
    }
    case 0x11:
      track.clear();
      track_cleared_ = track_cleared_ + 1;
      if (f != nl_fault::lost_ack) answer(ack, command);
      break;
    case 0x1B:
      log_read_ = log_write_;
      log_cleared_ = log_cleared_ + 1;
      if (f != nl_fault::lost_ack) answer(ack, command);
      break;
    case 0xF2: switched_off_ = switched_off_ + 1; break;
    default: break;  // 0x0C after each answer, and anything unknown
  }
}

}  // namespace gps_sim

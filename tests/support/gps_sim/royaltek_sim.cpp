// The simulated RoyalTek logger: command reading, answers, record packing and faults.
#include "tests/support/gps_sim/royaltek_sim.h"
#include "tests/support/gps_sim/royaltek_sim_clock.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/sys/clock.h"

namespace tm_test {

namespace {

speed_t speed_code(int speed) { return speed == 115200 ? B115200 : speed == 57600 ? B57600 : B0; }

int record_size(int log_type) { return log_type == 0 ? 12 : log_type == 1 ? 16 : 20; }

void put_u32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}
void put_float(std::string* out, float f) {
  uint32_t v;
  std::memcpy(&v, &f, sizeof v);
  put_u32(out, v);
}

std::string tail_of(const std::string& body, bool corrupt) {
  int sum = 0;
  for (unsigned char c : body) sum ^= c;
  if (corrupt) sum ^= 0x5A;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return tail;
}

}  // namespace

royaltek_sim::royaltek_sim(int master, int slave, std::string name, int speed)
    : master_(master), slave_(slave), name_(std::move(name)), speed_(speed) {}

royaltek_sim::~royaltek_sim() { stop(); }

std::string royaltek_sim::sentence(const std::string& body) {
  return "$" + body + tail_of(body, false);
}

double royaltek_sim::stored_degrees(double degrees) {
  const float radians = float(degrees * M_PI / 180.0);
  return double(radians) * 180.0 / M_PI;
}

double royaltek_sim::stored_value(double value) { return double(float(value)); }

std::string royaltek_sim::pack(const royaltek_point& p, int log_type) {
  std::string out;
  put_u32(&out, uint32_t(p.hour) << 8 | uint32_t(p.minute) << 16 | uint32_t(p.second) << 24);
  put_float(&out, float(p.latitude * M_PI / 180.0));
  put_float(&out, float(p.longitude * M_PI / 180.0));
  if (log_type >= 1) put_float(&out, float(p.altitude));
  if (log_type >= 2) put_float(&out, float(p.speed));
  return out;
}

void royaltek_sim::add_subfile(const royaltek_subfile& subfile) {
  std::lock_guard<std::mutex> guard(lock_);
  subfiles_.push_back(subfile);
}

void royaltek_sim::set_fault(royaltek_fault fault, int times) {
  std::lock_guard<std::mutex> guard(lock_);
  faults_[int(fault)] = times;
}

bool royaltek_sim::take_fault(royaltek_fault fault) {
  std::lock_guard<std::mutex> guard(lock_);
  if (faults_[int(fault)] <= 0) return false;
  --faults_[int(fault)];
  return true;
}

std::vector<std::string> royaltek_sim::commands() {
  std::lock_guard<std::mutex> guard(lock_);
  return commands_;
}

size_t royaltek_sim::subfile_count() {
  std::lock_guard<std::mutex> guard(lock_);
  return subfiles_.size();
}

// The master is non-blocking while the simulator runs: a write takes what the line
// has room for, and the simulator never blocks holding its busy count.
void royaltek_sim::start() {
  if (running_.exchange(true)) return;
  master_flags_ = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, master_flags_ | O_NONBLOCK);
  thread_ = std::thread([this] { run(); });
}

void royaltek_sim::stop() {
  if (!running_.exchange(false)) return;
  if (thread_.joinable()) thread_.join();
  fcntl(master_, F_SETFL, master_flags_);
}

int royaltek_sim::line_speed() const {
  termios t{};
  if (tcgetattr(slave_, &t) != 0) return 0;
  const speed_t s = cfgetospeed(&t);
  return s == speed_code(speed_) ? speed_ : 0;
}

void royaltek_sim::send(const std::string& bytes) { logger_sim_send(master_, bytes, running_, slave_); }

void royaltek_sim::run() {
  std::string pending;
  int stream_count = 0;
  while (running_) {
    bool streaming;
    {
      std::lock_guard<std::mutex> guard(lock_);
      streaming = faults_[int(royaltek_fault::stream)] > 0;
    }
    if (streaming) {
      // A receiver that never pauses: a position sentence whenever the line takes one.
      pollfd out{master_, POLLOUT, 0};
      if (poll(&out, 1, 0) > 0) {
        char body[80];
        std::snprintf(body, sizeof body, "GPGGA,0000%02d,4500.000,N,00600.000,E,1,05,1.0,10,M,,,,",
                      stream_count++ % 60);
        const std::string s = sentence(body);
        if (write(master_, s.data(), s.size()) < 0 && errno != EAGAIN) return;
      }
    }
    pollfd in{master_, POLLIN, 0};
    if (poll(&in, 1, streaming ? 0 : 5) <= 0) continue;
    logger_sim_busy_scope busy;
    char buf[512];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) {
      if (n < 0 && errno == EIO) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    // At another speed the logger hears only noise.
    if (line_speed() == 0) {
      pending.clear();
      continue;
    }
    pending.append(buf, size_t(n));
    for (;;) {
      const size_t start = pending.find('$');
      if (start == std::string::npos) {
        pending.clear();
        break;
      }
      const size_t end = pending.find("\r\n", start);
      if (end == std::string::npos) {
        pending.erase(0, start);
        break;
      }
      std::string line = pending.substr(start + 1, end - start - 1);
      pending.erase(0, end + 2);
      const size_t star = line.rfind('*');
      if (star != std::string::npos) line.resize(star);
      handle(line);
    }
  }
}

void royaltek_sim::send_records(uint32_t address, int log_type, int count) {
  const int size = record_size(log_type);
  std::vector<royaltek_point> points;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (size_t i = 0; i < subfiles_.size(); ++i) {
      const uint32_t base = base_address(int(i));
      if (subfiles_[i].log_type != log_type || address < base) continue;
      const size_t first = (address - base) / uint32_t(size);
      for (size_t k = first; k < subfiles_[i].points.size() && int(points.size()) < count; ++k)
        points.push_back(subfiles_[i].points[k]);
      if (!points.empty() || first == 0) break;
    }
  }
  const int per_block = 240 / size;
  const bool skip = take_fault(royaltek_fault::skip_block);
  const bool corrupt = take_fault(royaltek_fault::bad_checksum);
  const bool cut = take_fault(royaltek_fault::short_block);
  int block = 0;
  for (size_t at = 0; at < points.size(); at += size_t(per_block), ++block) {
    std::string records;
    for (size_t k = at; k < points.size() && k < at + size_t(per_block); ++k)
      records += pack(points[k], log_type);
    std::string body = "LOG102,";
    body.push_back(char(block & 0xFF));
    body.push_back(char(block >> 8));
    body.push_back(char(records.size()));
    if (skip && block == 0) continue;
    if (cut && block == 0) {
      // The head promises every record; half of them come, then the tail after a pause.
      const std::string part = body + records.substr(0, records.size() / 2);
      send("$" + part);
      // The tail comes once the driver has stopped waiting for the missing bytes: a
      // good checksum over a sentence shorter than its length byte says.
      logger_sim_release();
      const int64_t sent = plat::now_ms();
      const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (plat::now_ms() - sent < 500 && std::chrono::steady_clock::now() < bound)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      logger_sim_busy().fetch_add(1);
      send(tail_of(part, false));
      continue;
    }
    body += records;
    send("$" + body + tail_of(body, corrupt && block == 0));
  }
}

void royaltek_sim::handle(const std::string& command) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    commands_.push_back(command);
  }
  if (command.rfind("PROY", 0) != 0) return;
  if (take_fault(royaltek_fault::silence)) return;
  if (take_fault(royaltek_fault::garbage)) send(std::string("\x00\xff\x13#noise,1*00\r\n", 16));
  char body[160];
  if (command == "PROY100") {
    std::snprintf(body, sizeof body, "LOG100,%d", logging_ ? 1 : 0);
    send(sentence("PSRFTXT," + name_) + sentence(body));
  } else if (command == "PROY005") {
    logging_ = false;
    send(sentence("LOG100,0"));
  } else if (command == "PROY108") {
    std::lock_guard<std::mutex> guard(lock_);
    const int type = subfiles_.empty() ? 0 : subfiles_[0].log_type;
    std::snprintf(body, sizeof body, "LOG108,%d,1,2,3,4,5,6,%zu", type, subfiles_.size());
    send(sentence(body));
  } else if (command.rfind("PROY101,", 0) == 0) {
    const int index = std::atoi(command.c_str() + 8);
    std::lock_guard<std::mutex> guard(lock_);
    if (index < 0 || size_t(index) >= subfiles_.size()) return;
    std::snprintf(body, sizeof body, "LOG101,%d,%d,%zu,%u", index, subfiles_[size_t(index)].log_type,
                  subfiles_[size_t(index)].points.size(), base_address(index));
    send(sentence(body));
  } else if (command.rfind("PROY102,", 0) == 0) {
    unsigned address = 0;
    int type = 0, count = 0;
    if (std::sscanf(command.c_str() + 8, "%u,%d,%d", &address, &type, &count) != 3) return;
    if (type < 0 || type > 2) return;
    send_records(address, type, count);
  } else if (command == "PROY109,-1") {
    {
      std::lock_guard<std::mutex> guard(lock_);
      subfiles_.clear();
    }
    send(sentence("LOG109,1"));
  }
}

}  // namespace tm_test

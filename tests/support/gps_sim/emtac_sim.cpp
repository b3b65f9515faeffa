// The simulated Emtac Trine logger: commands, answers, the binary log, the XMODEM
// sender with its faults, and the XMODEM phase served by lrzsz sx.
#include "tests/support/gps_sim/emtac_sim.h"
#include "tests/support/gps_sim/royaltek_sim_clock.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace tm_test {

namespace {

constexpr uint8_t SOH = 1, STX = 2, EOT = 4, ACK = 6, NAK = 21, CAN = 24;

uint16_t crc16(const std::string& b) {
  uint16_t crc = 0;
  for (unsigned char c : b) {
    crc = uint16_t(crc ^ (c << 8));
    for (int k = 0; k < 8; ++k) crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

void put_u32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}

char reply_letter(int b) {
  switch (b) {
    case ACK: return 'A';
    case NAK: return 'N';
    case 'C': return 'C';
    case CAN: return 'X';
    default: return '?';
  }
}

}  // namespace

emtac_sim::emtac_sim(int master, int slave, std::string version)
    : master_(master), slave_(slave), version_(std::move(version)) {}

emtac_sim::~emtac_sim() { stop(); }

std::string emtac_sim::sentence(const std::string& body) {
  int sum = 0;
  for (unsigned char c : body) sum ^= c;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

std::string emtac_sim::image(const std::vector<emtac_record>& records) {
  std::string out;
  for (const emtac_record& r : records) {
    if (r.empty) {
      put_u32(&out, 0xFFFFFFFFu);
      out.append(16, char(0xFF));
      continue;
    }
    put_u32(&out, uint32_t(r.second) | uint32_t(r.minute) << 6 | uint32_t(r.hour) << 12 |
                      uint32_t(r.day) << 17 | uint32_t(r.month) << 22 | uint32_t(r.year) << 26);
    put_u32(&out, uint32_t(r.latitude));
    put_u32(&out, uint32_t(r.longitude));
    put_u32(&out, uint32_t(r.altitude_dm) | uint32_t(r.fix & 3) << 20 |
                      uint32_t(r.fix >= 8 ? 1 : 0) << 22 | uint32_t(r.hdop_tenths) << 23);
    put_u32(&out, uint32_t(r.heading) | uint32_t(r.speed_tenths) << 9);
  }
  return out;
}

std::string emtac_sim::text_body(int index, const emtac_record& r) {
  char body[200];
  std::snprintf(body, sizeof body,
                "PEMT161,4,%d,%02d%02d%02d,%02d%02d%02d,%d,%.1lf,%.4lf,%.4lf,%.1lf,%.1lf,%.1lf",
                index, r.year, r.month, r.day, r.hour, r.minute, r.second, r.fix,
                r.hdop_tenths / 10.0, r.latitude / 10000.0, r.longitude / 10000.0,
                r.altitude_dm / 10.0, double(r.heading), r.speed_tenths / 10.0);
  return body;
}

void emtac_sim::set_records(const std::vector<emtac_record>& records) {
  std::lock_guard<std::mutex> guard(lock_);
  records_ = records;
}

void emtac_sim::set_fault(emtac_fault fault, int times) {
  std::lock_guard<std::mutex> guard(lock_);
  faults_[int(fault)] = times;
}

bool emtac_sim::take_fault(emtac_fault fault) {
  std::lock_guard<std::mutex> guard(lock_);
  if (faults_[int(fault)] <= 0) return false;
  --faults_[int(fault)];
  return true;
}

std::vector<std::string> emtac_sim::commands() {
  std::lock_guard<std::mutex> guard(lock_);
  return commands_;
}

size_t emtac_sim::record_count() {
  std::lock_guard<std::mutex> guard(lock_);
  return records_.size();
}

std::string emtac_sim::replies() {
  std::lock_guard<std::mutex> guard(lock_);
  return replies_;
}

// The master is non-blocking while the simulator runs: a write takes what the line
// has room for, and the simulator never blocks holding its busy count.
void emtac_sim::start() {
  if (running_.exchange(true)) return;
  master_flags_ = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, master_flags_ | O_NONBLOCK);
  thread_ = std::thread([this] { run(); });
}

void emtac_sim::stop() {
  if (!running_.exchange(false)) return;
  if (thread_.joinable()) thread_.join();
  fcntl(master_, F_SETFL, master_flags_);
}

bool emtac_sim::at_speed() const {
  termios t{};
  if (tcgetattr(slave_, &t) != 0) return false;
  return cfgetospeed(&t) == B38400;
}

void emtac_sim::send(const std::string& bytes) { logger_sim_send(master_, bytes, running_, slave_); }

void emtac_sim::run() {
  std::string pending;
  while (running_) {
    pollfd in{master_, POLLIN, 0};
    if (poll(&in, 1, 5) <= 0) continue;
    logger_sim_busy_scope busy;
    char buf[512];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    if (!at_speed()) {
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

void emtac_sim::handle(const std::string& command) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    commands_.push_back(command);
  }
  if (command.rfind("PEMT16", 0) != 0) return;
  if (take_fault(emtac_fault::silence)) return;
  if (take_fault(emtac_fault::garbage)) send(std::string("\x01\xfe junk*\r\n$PEMT1", 17));
  std::vector<emtac_record> records;
  {
    std::lock_guard<std::mutex> guard(lock_);
    records = records_;
  }
  if (command == "PEMT163,0") {
    send(sentence("PEMT163,0," + version_));
  } else if (command == "PEMT161,0") {
    send(sentence("PEMT161,0," + std::to_string(records.size())));
  } else if (command.rfind("PEMT161,4,", 0) == 0) {
    int first = 0, count = 0;
    if (std::sscanf(command.c_str() + 10, "%d,%d", &first, &count) != 2) return;
    std::string out;
    for (int i = std::max(first, 1); i < first + count && size_t(i) <= records.size(); ++i) {
      if (records[size_t(i - 1)].empty) continue;
      out += sentence(text_body(i, records[size_t(i - 1)]));
    }
    send(out);
  } else if (command == "PEMT161,8") {
    {
      std::lock_guard<std::mutex> guard(lock_);
      records_.clear();
    }
    send(sentence("PEMT161,8"));
  } else if (command == "PEMT162,0") {
    send(sentence("PEMT162,0,1"));
    if (sx_)
      serve_sx();
    else
      serve_xmodem();
  }
}

// The wait lets the clock move (the driver answers in its own time); the sender is busy
// again once it has the reply or gives up.
int emtac_sim::read_reply(int wait_ms) {
  logger_sim_release();
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (running_ && std::chrono::steady_clock::now() < until) {
    pollfd in{master_, POLLIN, 0};
    if (poll(&in, 1, 5) <= 0) continue;
    // Busy again before the byte leaves the line: the clock never sees a gap.
    logger_sim_busy().fetch_add(1);
    unsigned char b;
    if (read(master_, &b, 1) != 1) {
      logger_sim_release();
      continue;
    }
    std::lock_guard<std::mutex> guard(lock_);
    replies_.push_back(reply_letter(b));
    return b;
  }
  logger_sim_busy().fetch_add(1);
  return -1;
}

// The sender: waits for 'C' (CRC) or NAK (sum), sends the blocks, then EOT twice.
void emtac_sim::serve_xmodem() {
  std::string data;
  {
    std::lock_guard<std::mutex> guard(lock_);
    data = image(records_);
  }
  int start = -1;
  while (running_ && start != 'C' && start != NAK) {
    start = read_reply(20000);
    if (start < 0) return;
  }
  const bool crc = start == 'C';
  const size_t size = large_ ? 1024 : 128;
  const size_t blocks = (data.size() + size - 1) / size;
  for (size_t i = 0; i < blocks && running_;) {
    std::string payload = data.substr(i * size, size);
    payload.resize(size, char(0x1A));
    const uint8_t number = uint8_t(i + 1);
    std::string frame;
    frame.push_back(char(size == 1024 ? STX : SOH));
    frame.push_back(char(number));
    frame.push_back(char(255 - number));
    frame += payload;
    const bool bad = i == 1 % std::max<size_t>(blocks, 1) && take_fault(emtac_fault::bad_check);
    if (crc) {
      uint16_t c = crc16(payload);
      if (bad) c ^= 0x0101;
      frame.push_back(char(c >> 8));
      frame.push_back(char(c & 0xFF));
    } else {
      uint8_t s = 0;
      for (unsigned char ch : payload) s = uint8_t(s + ch);
      if (bad) s ^= 0x55;
      frame.push_back(char(s));
    }
    if (take_fault(emtac_fault::cancel)) {
      send(std::string(2, char(CAN)));
      return;
    }
    if (take_fault(emtac_fault::stall)) {
      send(frame.substr(0, frame.size() / 2));
      return;
    }
    tcflush(master_, TCIFLUSH);
    send(frame);
    // A 'C' now is the receiver calling again while the block was on its way.
    int reply;
    do {
      reply = read_reply(20000);
    } while (reply == 'C');
    if (reply == ACK) {
      if (take_fault(emtac_fault::lost_ack)) continue;  // as if the ACK never came
      ++i;
    } else if (reply != NAK) {
      return;
    }
  }
  for (int tries = 0; tries < 5 && running_; ++tries) {
    send(std::string(1, char(EOT)));
    if (read_reply(20000) == ACK) return;
  }
}

// lrzsz sx on the master side: the image written to a file, sent with -k for
// 1024-byte blocks. Started when the receiver's first call is on the line (an XMODEM
// sender waits for it anyway): till then the clock runs virtual, through the driver's
// silences and pauses; while sx runs, the runner follows real time.
void emtac_sim::serve_sx() {
  std::string data;
  {
    std::lock_guard<std::mutex> guard(lock_);
    data = image(records_);
  }
  char path[] = "/tmp/emtac_sim_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return;
  if (write(fd, data.data(), data.size()) != ssize_t(data.size())) {
    close(fd);
    unlink(path);
    return;
  }
  close(fd);
  std::vector<std::string> args = {"sx"};
  if (large_) args.push_back("-k");
  args.push_back(path);
  logger_sim_release();
  logger_sim_run_outside(master_, args, running_);
  logger_sim_busy().fetch_add(1);
  unlink(path);
}

}  // namespace tm_test

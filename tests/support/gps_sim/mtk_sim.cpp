// The simulated MediaTek logger: the log image and the $PMTK dialogue.
#include "tests/support/gps_sim/mtk_sim.h"
#include "tests/support/gps_sim/sim_common.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tests/gps/pty_fixture.h"

namespace gps_sim {

namespace {

template <class T> void put(std::string& s, T v) { s.append(reinterpret_cast<const char*>(&v), sizeof v); }

std::string hex_bytes(const std::string& s) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

std::string hex8(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08X", v);
  return b;
}

constexpr size_t kSector = 0x10000, kHeader = 0x200;

std::string sector_header(uint16_t count, uint32_t format) {
  std::string h;
  put(h, count);
  put(h, format);
  h.resize(kHeader - 4, '\xFF');
  h += std::string(4, '\xBB');
  return h;
}

}  // namespace

std::string mtk_record(uint32_t f, const mtk_point& p) {
  std::string r;
  if (f & 0x1) put(r, p.utc);
  if (f & 0x2) put(r, p.valid);
  if (f & 0x4) put(r, p.lat);
  if (f & 0x8) put(r, p.lon);
  if (f & 0x10) put(r, p.height);
  if (f & 0x20) put(r, p.speed);
  if (f & 0x40) put(r, p.heading);
  if (f & 0x80) put(r, p.dsta);
  if (f & 0x100) put(r, p.dage);
  if (f & 0x200) put(r, p.pdop);
  if (f & 0x400) put(r, p.hdop);
  if (f & 0x800) put(r, p.vdop);
  if (f & 0x1000) put(r, uint16_t(p.in_view | p.in_use << 8));
  if (f & 0x2000) {
    if (p.sats.empty()) {
      put(r, uint32_t(0));
    } else {
      for (const mtk_sat& s : p.sats) {
        put(r, uint32_t(s.prn | (s.used ? 1u : 0u) << 8 | uint32_t(p.sats.size()) << 16));
        if (f & 0x4000) put(r, s.elevation);
        if (f & 0x8000) put(r, s.azimuth);
        if (f & 0x10000) put(r, s.snr);
      }
    }
  }
  if (f & 0x20000) put(r, p.rcr);
  if (f & 0x40000) put(r, p.ms);
  if (f & 0x80000) put(r, p.distance);
  return r;
}

std::string mtk_build_image(uint32_t format, const std::vector<mtk_point>& points) {
  std::string image;
  std::vector<size_t> heads;  // where each sector's header lies
  std::vector<uint16_t> counts;
  auto open_sector = [&](uint32_t f) {
    if (!image.empty()) image.resize((image.size() + kSector - 1) / kSector * kSector, '\xFF');
    heads.push_back(image.size());
    counts.push_back(0);
    image += sector_header(0, f);
  };
  open_sector(format);
  uint32_t f = format;
  for (const mtk_point& p : points) {
    std::string bytes;
    if (p.new_format) {
      std::string sep(7, '\xAA');
      sep += '\x02';
      put(sep, p.new_format);
      sep += std::string(4, '\xBB');
      bytes += sep;
      f = p.new_format;
    }
    const std::string rec = mtk_record(f, p);
    uint8_t sum = 0;
    for (unsigned char c : rec) sum ^= c;
    bytes += rec;
    bytes += p.starred ? '*' : '#';
    bytes += char(sum);
    if ((image.size() % kSector) + bytes.size() > kSector) open_sector(f);
    image += bytes;
    ++counts.back();
  }
  for (size_t i = 0; i < heads.size(); ++i) {
    std::memcpy(&image[heads[i]], &counts[i], 2);
  }
  return image;
}

std::string mtk_sim::sentence(const std::string& body) {
  uint8_t sum = 0;
  for (size_t i = 1; i < body.size(); ++i) sum ^= uint8_t(body[i]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return body + tail;
}

mtk_sim::mtk_sim(tm_test::pty_pair& pty) : pty_(pty) {}
mtk_sim::~mtk_sim() { stop(); }

void mtk_sim::start() {
  stop_ = false;
  running_ = true;
  handled_ = 0;
  failed_once_ = false;
  thread_ = std::thread([this] { run(); });
}

void mtk_sim::stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  running_ = false;
}

bool mtk_sim::idle() const {
  return sim_idle(running_.load(), busy_.load() != 0, pty_.master());
}

std::vector<std::string> mtk_sim::requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

bool mtk_sim::speed_ok() const {
  return sim_line_at(pty_.slave(), B115200, SIM_INPUT);
}

void mtk_sim::run() {
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
      const size_t start = inbox_.find('$');
      if (start == std::string::npos) {
        inbox_.clear();
        break;
      }
      const size_t end = inbox_.find("\r\n", start);
      if (end == std::string::npos) {
        inbox_.erase(0, start);
        break;
      }
      const std::string line = inbox_.substr(start, end - start);
      inbox_.erase(0, end + 2);
      const size_t star = line.rfind('*');
      if (star == std::string::npos) continue;
      const std::string body = line.substr(0, star);
      if (sentence(body).substr(0, line.size()) != line) continue;  // bad checksum
      handle(body);
    }
    busy_ = 0;
  }
}

void mtk_sim::say(const std::string& body, bool data) {
  const mtk_fault f = handled_ > fault_after.load() ? fault.load() : mtk_fault::none;
  if (f == mtk_fault::silence) return;
  std::string text = sentence(body);
  if (f == mtk_fault::bad_checksum) text[text.size() - 3] = text[text.size() - 3] == '0' ? '1' : '0';
  if (f == mtk_fault::garbage) text = "\x13$GPXX,1,2*00\r\n@@" + text;
  if (f == mtk_fault::short_line && data) text = text.substr(0, text.size() / 2) + "\r\n";
  pty_.write_all(text);
}

void mtk_sim::handle(const std::string& body) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(body);
  }
  ++handled_;
  const mtk_fault f = handled_ > fault_after.load() ? fault.load() : mtk_fault::none;
  int status = 3;
  if (f == mtk_fault::status2_always) status = 2;
  if (f == mtk_fault::status2_once && !failed_once_) {
    failed_once_ = true;
    status = 2;
  }
  auto ack = [&](const std::string& what) {
    if (f != mtk_fault::lost_ack) say("$PMTK001," + what + "," + std::to_string(status));
  };
  if (body == "$PMTK000") {
    say("$PMTK001,0,3");
  } else if (body == "$PMTK604") {
    if (answer_firmware) say("$PMTK704," + firmware);
  } else if (body == "$PMTK605") {
    if (answer_release) say("$PMTK705," + release);
  } else if (body == "$PMTK430") {
    say("$PMTK530,0");
  } else if (body == "$PMTK414") {
    say("$PMTK514,0,1,0,1,1,5,0,0,0,0,0,0,0,0,0,0,0,0,0");
  } else if (body.rfind("$PMTK314", 0) == 0) {
    say("$PMTK001,314,3");
  } else if (body.rfind("$PMTK182,2,", 0) == 0) {
    const std::string code = body.substr(11);
    uint32_t value = 0;
    if (code == "7") value = status_word;
    if (code == "10") value = record_count;
    if (code == "2") value = format;
    if (code == "8") value = uint32_t(image.size());
    if (status == 3) say("$PMTK182,3," + code + "," + hex8(value));
    ack("182,2");
  } else if (body == "$PMTK182,5" || body == "$PMTK182,4") {
    ack("182," + body.substr(9));
  } else if (body.rfind("$PMTK182,7,", 0) == 0 && body.size() >= 28) {
    const uint32_t address = uint32_t(std::stoul(body.substr(11, 8), nullptr, 16));
    const uint32_t size = uint32_t(std::stoul(body.substr(20, 8), nullptr, 16));
    if (status == 3) {
      const uint32_t at = f == mtk_fault::other_address ? address + 0x800 : address;
      // Flash past the log reads as erased bytes: every block comes whole.
      std::string bytes = at < image.size() ? image.substr(at, size) : std::string();
      bytes.resize(std::min<uint32_t>(size, 0x10000), '\xFF');
      say("$PMTK182,8," + hex8(at) + "," + hex_bytes(bytes), true);
    }
    ack("182,7");
  } else if (body == "$PMTK182,6,1") {
    image.clear();
    erased_ = erased_ + 1;
    ack("182,6");
  }
}

}  // namespace gps_sim

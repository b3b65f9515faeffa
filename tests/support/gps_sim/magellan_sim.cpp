// The simulated Magellan receiver: a thread reading sentences from the pty master and
// answering them as the receiver does, with the checksum handshake in both directions.
#include "tests/support/gps_sim/magellan_sim.h"
#include "tests/support/gps_sim/sim_common.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/wintec_sim.h"

namespace tm_test {

namespace {
std::string hex2(int v) {
  char b[4];
  std::snprintf(b, sizeof b, "%02X", v & 0xFF);
  return b;
}
int xor_of(const std::string& body) {
  int x = 0;
  for (char c : body) x ^= uint8_t(c);
  return x;
}
}  // namespace

std::string magellan_sentence(const std::string& body) { return "$" + body + "*" + hex2(xor_of(body)) + "\r\n"; }

magellan_sim::magellan_sim(pty_pair& pty, std::vector<std::string> waypoints, std::vector<std::string> track,
                           std::vector<std::string> routes, std::string version)
    : pty_(pty), waypoints_(std::move(waypoints)), track_(std::move(track)), routes_(std::move(routes)),
      version_(std::move(version)) {
  sim_register(this, &pty_, &busy_, &writing_);
  thread_ = std::thread([this] { run(); });
}

magellan_sim::~magellan_sim() {
  sim_unregister(this);
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> magellan_sim::received() {
  std::lock_guard<std::mutex> guard(lock_);
  return received_;
}

int magellan_sim::track_size() {
  std::lock_guard<std::mutex> guard(lock_);
  return int(track_.size());
}

bool magellan_sim::line_speed_ok() const {
  return gps_sim::sim_line_at(pty_.slave(), B4800, gps_sim::SIM_OUTPUT);
}

// While a long answer waits for room on the line the simulator reads nothing: the driver
// reads, writes its acknowledgements and pauses, so the clock may move meanwhile.
void magellan_sim::put(const std::string& bytes) {
  if (bytes.empty()) return;
  writing_ = true;
  pty_.write_all(bytes);
  sim_wrote();
  writing_ = false;
}

void magellan_sim::run() {
  std::string pending;
  while (!stop_) {
    pollfd p{pty_.master(), POLLIN, 0};
    if (poll(&p, 1, 5) <= 0) continue;
    busy_ = true;
    char buf[512];
    const ssize_t n = read(pty_.master(), buf, sizeof buf);
    if (n <= 0) {
      busy_ = false;
      continue;
    }
    pending.append(buf, size_t(n));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      while (!line.empty() && line.back() == '\r') line.pop_back();
      {
        std::lock_guard<std::mutex> guard(lock_);
        received_.push_back(line);
      }
      if (line.size() < 2 || line[0] != '$' || !line_speed_ok() || faults.silent) continue;
      const size_t star = line.find('*');
      answer(line.substr(1, star == std::string::npos ? std::string::npos : star - 1));
    }
    if (pending.size() > 4096) pending.clear();
    busy_ = false;
  }
}

void magellan_sim::send_next() {
  std::string line;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.empty()) return;
    if (faults.stall_after >= 0 && sent_in_listing_ >= faults.stall_after) {
      queue_.clear();
      return;
    }
    line = queue_.front();
    queue_.erase(queue_.begin());
    last_sent_ = line;
    ++sent_in_listing_;
  }
  put(magellan_sentence(line));
}

void magellan_sim::answer(const std::string& body) {
  if (faults.garbage) {
    put("\x01\xff$GPGGA,,,*00\r\n#?\r\n");
    return;
  }
  if (body.rfind("PMGNCSM,", 0) == 0) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (!last_sent_.empty() && body.substr(8) == hex2(xor_of(last_sent_))) ++good_acks_;
    }
    if (!faults.no_wait) send_next();
    return;
  }
  int ack = xor_of(body);
  if (faults.bad_ack > 0) {
    // A command that came garbled: its acknowledgement shows it, and nothing is done.
    --faults.bad_ack;
    put(magellan_sentence("PMGNCSM," + hex2(ack ^ 0x21)));
    return;
  }
  put(magellan_sentence("PMGNCSM," + hex2(ack)));
  std::vector<std::string> listing;
  bool listed = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (body == "PMGNCMD,VERSION") {
      listing.clear();
    } else if (body == "PMGNCMD,WAYPOINT") {
      listing = waypoints_, listed = true;
    } else if (body.rfind("PMGNCMD,TRACK", 0) == 0) {
      listing = track_, listed = true;
    } else if (body == "PMGNCMD,ROUTE") {
      listing = routes_, listed = true;
    } else if (body == "PMGNCMD,DELETE,TRACK") {
      if (!faults.unable) track_.clear();
      listed = true;
    }
  }
  if (body == "PMGNCMD,VERSION") {
    put(magellan_sentence(version_));
    return;
  }
  if (!listed) return;
  if (faults.unable) {
    put(magellan_sentence("PMGNCMD,UNABLE"));
    return;
  }
  if (faults.endless_line) {
    put(std::string(20000, 'x'));
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_ = listing;
    queue_.push_back("PMGNCMD,END");
    sent_in_listing_ = 0;
  }
  if (faults.no_wait) {
    for (;;) {
      bool more;
      {
        std::lock_guard<std::mutex> guard(lock_);
        more = !queue_.empty();
      }
      if (!more) break;
      send_next();
    }
  } else {
    send_next();
  }
}

}  // namespace tm_test

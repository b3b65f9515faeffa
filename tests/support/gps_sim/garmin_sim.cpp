// The transports of the simulated Garmin receiver (see garmin_sim.h): the serial link
// on a pseudo-terminal (framing, stuffing, ACK/NAK, re-sending) and the USB link as a
// script of the simulated USB backend (headers, session start, interrupt messages,
// data-available and bulk packets).
#include "tests/support/gps_sim/garmin_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <deque>
#include <thread>

#include "platform/sys/clock.h"
#include "platform/usb/usb.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/garmin_sim_engine.h"

namespace tm_test {

namespace {

constexpr uint8_t kDle = 16, kEtx = 3, kAck = 6, kNak = 21;

uint8_t check_byte(int id, const std::string& body_without_check) {
  unsigned sum = unsigned(id);
  for (char c : body_without_check) sum += uint8_t(c);
  return uint8_t(-sum);
}

// Applies the record faults shared by both links to a packet's data; returns the data
// size to announce.
size_t apply_data_faults(const garmin_sim_faults& f, const garmin_sim_out& p, std::string* data) {
  const int n = p.number, s = p.sendings;
  if (f.short_record.hits(n, s) && data->size() > size_t(f.short_size)) {
    data->resize(size_t(std::max(0, f.short_size)));
  }
  if (f.unterminated.hits(n, s) && !data->empty() && data->back() == '\0') data->pop_back();
  size_t announced = data->size();
  if (f.size_beyond.hits(n, s)) announced += size_t(std::max(0, f.extra_size));
  return announced;
}

bool readable(int fd) {
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

}  // namespace

// ---- Serial link on a pty --------------------------------------------------------------

struct garmin_sim_pty::impl {
  impl(garmin_model m, garmin_sim_faults f) : engine(std::move(m), std::move(f), false) {
    // A host that stops reading must not block the simulator (and with it the virtual
    // clock): what does not fit on the line is lost, as on an overrun serial line.
    if (pty.ok()) fcntl(pty.master(), F_SETFL, fcntl(pty.master(), F_GETFL) | O_NONBLOCK);
  }

  pty_pair pty;
  garmin_sim_engine engine;

  // Receive side: the frame being gathered.
  enum { RX_IDLE, RX_DLE, RX_BODY, RX_BODY_DLE } rx_state = RX_IDLE;
  int rx_id = 0;
  std::string rx_body;

  // Send side.
  std::deque<garmin_sim_out> queue;
  bool in_flight = false;
  int64_t sent_at = 0;
  bool silent = false;

  std::thread thread;
  std::atomic<bool> stop{false};
  bool unplugged = false;

  void write_bytes(const std::string& b) {
    if (!unplugged && pty.ok()) pty.write_all(b);
  }

  static std::string stuff(const std::string& body) {
    std::string out;
    for (char c : body) {
      out.push_back(c);
      if (uint8_t(c) == kDle) out.push_back(char(kDle));
    }
    return out;
  }

  void send_ack(bool nak, int id) {
    if (silent) return;
    std::string body;
    body.push_back(2);
    body += sim_word(uint16_t(id));
    const int pid = nak ? kNak : kAck;
    body.push_back(char(check_byte(pid, body)));
    std::string frame;
    frame.push_back(char(kDle));
    frame.push_back(char(pid));
    frame += stuff(body);
    frame.push_back(char(kDle));
    frame.push_back(char(kEtx));
    write_bytes(frame);
    engine.note_ack_sent(nak);
  }

  // Sends the head of the queue (again).
  void send_head(int64_t now) {
    garmin_sim_out& p = queue.front();
    if (engine.number_packet(&p)) {
      silent = true;
      queue.clear();
      in_flight = false;
      return;
    }
    if (p.sendings > 0) engine.note_resend();
    const garmin_sim_faults f = engine.faults();
    std::string data = p.data;
    const size_t announced = apply_data_faults(f, p, &data);
    std::string body;
    body.push_back(char(uint8_t(announced)));
    body += data;
    uint8_t check = check_byte(p.id, body);
    if (f.bad_check.hits(p.number, p.sendings)) check = uint8_t(check ^ 0x5A);
    body.push_back(char(check));
    std::string stuffed = stuff(body);
    if (f.stray_dle.hits(p.number, p.sendings)) {
      const size_t at = std::min(stuffed.size(), size_t(std::max(0, f.dle_offset)));
      stuffed.insert(stuffed.begin() + long(at), char(kDle));
    }
    std::string frame;
    if (f.junk.hits(p.number, p.sendings)) frame += f.junk_bytes;
    frame.push_back(char(kDle));
    frame.push_back(char(p.id));
    frame += stuffed;
    if (!f.unterminated_frame.hits(p.number, p.sendings)) {
      frame.push_back(char(kDle));
      frame.push_back(char(kEtx));
    }
    p.sendings++;
    write_bytes(frame);
    in_flight = true;
    sent_at = now;
  }

  void frame_done() {
    const int id = rx_id;
    std::string body = rx_body;
    rx_state = RX_IDLE;
    rx_body.clear();
    if (id == kAck || id == kNak) {
      // ACK and NAK are taken without testing their check byte.
      engine.host_ack(id == kNak);
      if (silent || !in_flight) return;
      if (id == kAck) {
        queue.pop_front();
        in_flight = false;
      } else {
        send_head(plat::now_ms());
      }
      return;
    }
    const size_t size = body.empty() ? 0 : uint8_t(body[0]);
    if (body.size() != size + 2 ||
        check_byte(id, body.substr(0, body.size() - 1)) != uint8_t(body.back())) {
      engine.host_bad_frame();
      send_ack(true, id);
      return;
    }
    if (silent) return;
    std::vector<garmin_sim_out> replies;
    const int answer = engine.host_packet(id, body.substr(1, size), &replies);
    if (answer == 2) return;
    send_ack(answer == 1, id);
    for (auto& r : replies) queue.push_back(std::move(r));
  }

  void take_byte(uint8_t b) {
    switch (rx_state) {
      case RX_IDLE:
        if (b == kDle) rx_state = RX_DLE;
        break;
      case RX_DLE:
        if (b == kDle || b == kEtx) {
          // No packet id: a frame without one is dropped (DLE DLE may start the next).
          engine.host_bad_frame();
          rx_state = b == kDle ? RX_DLE : RX_IDLE;
          break;
        }
        rx_id = b;
        rx_body.clear();
        rx_state = RX_BODY;
        break;
      case RX_BODY:
        if (b == kDle) rx_state = RX_BODY_DLE;
        else rx_body.push_back(char(b));
        if (rx_body.size() > 600) {
          engine.host_bad_frame();
          rx_state = RX_IDLE;
        }
        break;
      case RX_BODY_DLE:
        if (b == kDle) {
          rx_body.push_back(char(kDle));
          rx_state = RX_BODY;
        } else if (b == kEtx) {
          frame_done();
        } else {
          engine.host_bad_frame();
          rx_id = b;
          rx_body.clear();
          rx_state = RX_BODY;
        }
        break;
    }
  }

  // One round of service: what the host wrote, re-sendings, the stream, the next packet.
  // True when anything was read or written.
  bool serve_once() {
    if (unplugged || !pty.ok()) return false;
    bool busy = false;
    while (readable(pty.master())) {
      uint8_t buf[512];
      const ssize_t n = read(pty.master(), buf, sizeof buf);
      if (n <= 0) break;
      busy = true;
      for (ssize_t i = 0; i < n; ++i) take_byte(buf[i]);
    }
    const int64_t now = plat::now_ms();
    if (!silent) {
      std::vector<garmin_sim_out> stream;
      engine.stream_due(now, &stream);
      for (auto& s : stream) queue.push_back(std::move(s));
    }
    if (silent) {
      queue.clear();
      in_flight = false;
    }
    if (in_flight && now - sent_at >= kGarminSimAckWaitMs) {
      if (queue.front().sendings >= kGarminSimMaxSends) {
        queue.clear();
        in_flight = false;
      } else {
        send_head(now);
        busy = true;
      }
    }
    if (!in_flight && !queue.empty()) {
      send_head(now);
      busy = true;
    }
    return busy;
  }

  // Platform time of the simulator's next own event (INT64_MAX: none).
  int64_t next_event() {
    int64_t t = INT64_MAX;
    if (in_flight) t = sent_at + kGarminSimAckWaitMs;
    std::vector<garmin_sim_out> none;
    if (!silent) t = std::min(t, engine.stream_due(INT64_MIN, &none));
    return t;
  }

  void run_realtime() {
    while (!stop.load(std::memory_order_acquire)) {
      if (serve_once()) continue;
      const int64_t next = next_event();
      const int64_t now = plat::now_ms();
      const int wait = int(std::clamp<int64_t>(next == INT64_MAX ? 20 : next - now, 0, 20));
      pollfd p{pty.master(), POLLIN, 0};
      poll(&p, 1, wait);
    }
  }
};

garmin_sim_pty::garmin_sim_pty(garmin_model model, garmin_sim_faults faults)
    : p_(std::make_unique<impl>(std::move(model), std::move(faults))) {}

garmin_sim_pty::~garmin_sim_pty() { stop(); }

bool garmin_sim_pty::ok() const { return p_->pty.ok(); }
const std::string& garmin_sim_pty::path() const { return p_->pty.path(); }

bool garmin_sim_pty::start_realtime() {
  if (!ok() || p_->thread.joinable()) return false;
  p_->stop = false;
  p_->thread = std::thread([this] { p_->run_realtime(); });
  return true;
}

void garmin_sim_pty::stop() {
  p_->stop = true;
  if (p_->thread.joinable()) p_->thread.join();
}

int64_t garmin_sim_pty::drive(virtual_worker& worker, int64_t step_ms, int bound_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
  while (!worker.done()) {
    if (std::chrono::steady_clock::now() > until) return -1;
    if (p_->serve_once()) continue;
    // The host must be waiting first: what it wrote before its wait began is then
    // visible on the master, and is served before the clock moves.
    if (!clock_idle() || readable(p_->pty.master())) {
      std::this_thread::yield();
      continue;
    }
    const int64_t now = plat::now_ms();
    const int64_t next = p_->next_event();
    int64_t step = std::max<int64_t>(1, step_ms);
    if (next != INT64_MAX && next > now) step = std::min(step, next - now);
    plat::advance_virtual_ms(step);
  }
  return worker.elapsed();
}

void garmin_sim_pty::unplug() {
  stop();
  p_->unplugged = true;
  p_->pty.unplug();
}

garmin_sim_trace garmin_sim_pty::trace() const { return p_->engine.trace(); }
void garmin_sim_pty::set_faults(const garmin_sim_faults& faults) { p_->engine.set_faults(faults); }

// ---- USB link on the simulated backend -----------------------------------------------------

namespace {

constexpr int kUsbHeader = 12;
constexpr size_t kChunk = 64;

std::string usb_packet(int type, int id, const std::string& data, size_t announced) {
  std::string s;
  s.push_back(char(type));
  s.append(3, '\0');
  sim_put_le(&s, uint16_t(id), 2);
  s.append(2, '\0');
  sim_put_le(&s, uint32_t(announced), 4);
  s += data;
  return s;
}

}  // namespace

struct garmin_sim_usb::impl {
  impl(garmin_model m, garmin_sim_faults f, uint32_t mp)
      : engine(std::move(m), std::move(f), true), max_packet(mp) {}
  garmin_sim_engine engine;
  uint32_t max_packet;
  std::atomic<bool> silent{false};

  // A send towards the host that waits for room in the pipe. False once the host closed.
  // A host that reads makes room at once: a few yields first, then sleeps on the
  // platform clock (so that the virtual clock can move while the host does not read).
  static bool send(plat::usb_sim_link& link, bool bulk, const std::string& b) {
    for (int tries = 0;; ++tries) {
      const bool ok = bulk ? link.send_bulk(b.data(), b.size()) : link.send_interrupt(b.data(), b.size());
      if (ok) return true;
      if (link.host_closed()) return false;
      if (tries < 200) std::this_thread::yield();
      else link.sleep(1);
    }
  }

  // One message on the interrupt pipe: 64-byte chunks, a zero-length packet after a
  // full last chunk.
  static bool send_interrupt_message(plat::usb_sim_link& link, const std::string& msg) {
    size_t at = 0;
    do {
      const size_t n = std::min(kChunk, msg.size() - at);
      if (!send(link, false, msg.substr(at, n))) return false;
      at += n;
      if (n < kChunk) return true;
    } while (at < msg.size());
    return send(link, false, std::string());
  }

  // Numbers and frames a packet; false when the receiver has fallen silent.
  bool frame(garmin_sim_out* p, std::string* out) {
    if (silent || engine.number_packet(p)) {
      silent = true;
      return false;
    }
    const garmin_sim_faults f = engine.faults();
    std::string data = p->data;
    const size_t announced = apply_data_faults(f, *p, &data);
    p->sendings++;
    *out = usb_packet(20, p->id, data, announced);
    return true;
  }

  bool deliver(plat::usb_sim_link& link, std::vector<garmin_sim_out>& out) {
    if (out.empty() || silent) return true;
    bool bulk = engine.faults().usb_bulk_always;
    for (const auto& p : out) bulk = bulk || p.transfer;
    if (bulk && !send_interrupt_message(link, usb_packet(0, 2, std::string(), 0))) return false;
    for (auto& p : out) {
      std::string b;
      if (!frame(&p, &b)) return true;
      if (!send_framed(link, bulk, p, b)) return false;
    }
    return true;
  }

  // Sends a framed packet, a stray packet before it when the junk fault hits it.
  bool send_framed(plat::usb_sim_link& link, bool bulk, const garmin_sim_out& p, const std::string& b) {
    const garmin_sim_faults f = engine.faults();
    if (f.junk.hits(p.number, p.sendings - 1)) {
      const std::string stray = usb_packet(20, kGarminSimStrayId, f.junk_bytes, f.junk_bytes.size());
      if (!(bulk ? send(link, true, stray) : send_interrupt_message(link, stray))) return false;
    }
    return bulk ? send(link, true, b) : send_interrupt_message(link, b);
  }

  void endless(plat::usb_sim_link& link) {
    const std::string chunk(kChunk, '\x14');
    while (send(link, false, chunk)) {
    }
  }

  void script(plat::usb_sim_link& link) {
    std::vector<uint8_t> buf(70000);
    for (;;) {
      const int64_t next = silent ? INT64_MAX : engine_next();
      const int64_t now = plat::now_ms();
      const int64_t wait = next == INT64_MAX ? -1 : std::max<int64_t>(0, next - now);
      const long n = link.receive(buf.data(), buf.size(), wait);
      if (n == plat::kUsbFailed) return;
      std::vector<garmin_sim_out> out;
      if (n == plat::kUsbTimeout) {
        engine.stream_due(plat::now_ms(), &out);
        for (auto& p : out) {
          std::string b;
          if (!frame(&p, &b)) break;
          if (!send_framed(link, false, p, b)) return;
        }
        continue;
      }
      if (n < kUsbHeader || silent) continue;
      const int type = buf[0];
      const int id = buf[4] | buf[5] << 8;
      const size_t size = size_t(buf[8]) | size_t(buf[9]) << 8 | size_t(buf[10]) << 16 | size_t(buf[11]) << 24;
      const std::string data(reinterpret_cast<const char*>(buf.data()) + kUsbHeader,
                             std::min(size, size_t(std::min<long>(n, long(buf.size())) - kUsbHeader)));
      if (type == 0 && id == 5) {
        engine.session_started();
        for (int i = 0; i < engine.faults().usb_stray_before_session; ++i) {
          const std::string stray = usb_packet(20, kGarminSimStrayId, "\x01\x02", 2);
          if (!send_interrupt_message(link, stray)) return;
        }
        std::string unit;
        sim_put_le(&unit, engine.model().unit_id, 4);
        if (!send_interrupt_message(link, usb_packet(0, 6, unit, 4))) return;
        if (engine.faults().endless_interrupt) return endless(link);
        continue;
      }
      if (type != 20) continue;
      const int answer = engine.host_packet(id, data, &out);
      if (answer != 0) continue;
      if (!deliver(link, out)) return;
    }
  }

  int64_t engine_next() {
    std::vector<garmin_sim_out> none;
    return engine.stream_due(INT64_MIN, &none);
  }
};

garmin_sim_usb::garmin_sim_usb(garmin_model model, garmin_sim_faults faults, uint32_t max_packet)
    : p_(std::make_shared<impl>(std::move(model), std::move(faults), max_packet)) {}

garmin_sim_usb::~garmin_sim_usb() = default;

int garmin_sim_usb::add() {
  std::shared_ptr<impl> p = p_;
  return plat::usb_sim_add(p->max_packet, [p](plat::usb_sim_link& link) { p->script(link); });
}

garmin_sim_trace garmin_sim_usb::trace() const { return p_->engine.trace(); }
void garmin_sim_usb::set_faults(const garmin_sim_faults& faults) { p_->engine.set_faults(faults); }

}  // namespace tm_test

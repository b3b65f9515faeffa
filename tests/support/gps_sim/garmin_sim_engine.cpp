// The protocol side of the simulated Garmin receiver (see garmin_sim_engine.h): product
// data and protocol array, the A100/A200/A201/A300/A301 transfers with the model's
// D-types, time and position requests, power off and the real-time stream.
#include "tests/support/gps_sim/garmin_sim_engine.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/sys/clock.h"

namespace tm_test {

namespace {

// Link protocol packet ids by slot (L001, L002); -1 where the protocol has none.
enum link_slot {
  LS_COMMAND, LS_XFER_CMPLT, LS_DATE_TIME, LS_POSITION, LS_PRX_WPT, LS_RECORDS, LS_RTE_HDR,
  LS_RTE_WPT, LS_ALMANAC, LS_TRK_DATA, LS_WPT_DATA, LS_PVT, LS_RTE_LINK, LS_TRK_HDR, LS_WPT_CAT
};
constexpr int kL001[15] = {10, 12, 14, 17, 19, 27, 29, 30, 31, 34, 35, 51, 98, 99, 152};
constexpr int kL002[15] = {11, 12, 20, 24, 27, 35, 37, 39, 4, -1, 43, -1, -1, -1, -1};

// Command codes by slot (A010, A011).
enum cmd_slot {
  CS_ABORT, CS_ALM, CS_POSN, CS_PRX, CS_RTE, CS_TIME, CS_TRK, CS_WPT, CS_OFF, CS_PVT_START,
  CS_PVT_STOP, CS_WPT_CATS
};
constexpr int kA010[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 49, 50, 121};
constexpr int kA011[12] = {0, 4, -1, 17, 8, 20, -1, 21, 26, -1, -1, -1};

constexpr int kProductRqst = 254, kProductData = 255, kProtocolArray = 253, kExtProduct = 248;
constexpr int kRcvStart = 110, kRcvStop = 111;
constexpr int kUsbPvt = 51, kUsbRcv = 52, kUsbSat = 114;

constexpr int64_t kGarminEpoch = 631065600;  // 1989-12-31 00:00:00 UTC

uint16_t word_of(const std::string& d) {
  if (d.size() < 2) return d.empty() ? 0 : uint8_t(d[0]);
  return uint16_t(uint8_t(d[0]) | uint8_t(d[1]) << 8);
}

void put_f32(std::string* s, float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  sim_put_le(s, b, 4);
}
void put_f64(std::string* s, double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  sim_put_le(s, b, 8);
}

}  // namespace

void sim_put_le(std::string* s, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s->push_back(char((v >> (8 * i)) & 0xFF));
}

std::string sim_word(uint16_t v) {
  std::string s;
  sim_put_le(&s, v, 2);
  return s;
}

// ---- Model helpers ---------------------------------------------------------------------

std::vector<garmin_sim_protocol> garmin_model_protocols(const garmin_model& m) {
  if (!m.protocols.empty()) return m.protocols;
  std::vector<garmin_sim_protocol> p;
  p.push_back({'P', 0});
  p.push_back({'L', uint16_t(m.link)});
  p.push_back({'A', uint16_t(m.command)});
  if (m.wpt_type) {
    p.push_back({'A', 100});
    p.push_back({'D', uint16_t(m.wpt_type)});
  }
  if (m.rte_hdr_type) {
    p.push_back({'A', uint16_t(m.rte_link_type ? 201 : 200)});
    p.push_back({'D', uint16_t(m.rte_hdr_type)});
    if (m.wpt_type) p.push_back({'D', uint16_t(m.wpt_type)});
    if (m.rte_link_type) p.push_back({'D', uint16_t(m.rte_link_type)});
  }
  if (m.trk_type) {
    p.push_back({'A', uint16_t(m.trk_hdr_type ? 301 : 300)});
    if (m.trk_hdr_type) p.push_back({'D', uint16_t(m.trk_hdr_type)});
    p.push_back({'D', uint16_t(m.trk_type)});
  }
  if (m.offers_pvt) {
    p.push_back({'A', 800});
    p.push_back({'D', 800});
  }
  return p;
}

std::string garmin_sim_pack(int dtype, const garmin_sim_record& rec) {
  const garmin_dtype* dt = garmin_dtype_find(dtype);
  if (!dt) return {};
  garmin_record r{};
  std::memcpy(r.num, rec.num, sizeof r.num);
  std::memcpy(r.flt, rec.flt, sizeof r.flt);
  for (int i = 0; i < GT_COUNT; ++i) r.text[i] = const_cast<char*>(rec.text[i].c_str());
  uint8_t buf[1024];
  const size_t n = garmin_pack(dt, &r, buf, sizeof buf);
  return std::string(reinterpret_cast<const char*>(buf), n);
}

std::string garmin_sim_pack_pvt(const garmin_sim_pvt& p) {
  std::string s;
  put_f32(&s, p.alt);
  put_f32(&s, p.epe);
  put_f32(&s, p.eph);
  put_f32(&s, p.epv);
  sim_put_le(&s, p.fix, 2);
  put_f64(&s, p.tow);
  put_f64(&s, p.lat);
  put_f64(&s, p.lon);
  put_f32(&s, p.east);
  put_f32(&s, p.north);
  put_f32(&s, p.up);
  put_f32(&s, p.msl_hght);
  sim_put_le(&s, uint16_t(p.leap_scnds), 2);
  sim_put_le(&s, uint32_t(p.wn_days), 4);
  return s;
}

std::string garmin_sim_pack_rcv(const garmin_sim_rcv& r) {
  std::string s;
  put_f64(&s, r.tow);
  sim_put_le(&s, uint16_t(r.week), 2);
  for (const auto& v : r.sv) {
    sim_put_le(&s, v.cycles, 4);
    put_f64(&s, v.pseudorange);
    sim_put_le(&s, v.phase, 2);
    s.push_back(char(v.slp_dtct));
    s.push_back(char(v.snr));
    s.push_back(char(v.svid));
    s.push_back(char(v.valid));
  }
  return s;
}

std::string garmin_sim_pack_sat(const garmin_sim_sat& st) {
  std::string s;
  for (const auto& v : st.sv) {
    s.push_back(char(v.svid));
    sim_put_le(&s, v.snr, 2);
    s.push_back(char(v.elev));
    sim_put_le(&s, v.azmth, 2);
    s.push_back(char(v.status));
  }
  return s;
}

int32_t garmin_sim_semicircles(double degrees) {
  return int32_t(std::llround(degrees * 2147483648.0 / 180.0));
}
double garmin_sim_degrees(int32_t semicircles) { return semicircles * 180.0 / 2147483648.0; }
uint32_t garmin_sim_time(int64_t unix_seconds) { return uint32_t(unix_seconds - kGarminEpoch); }
int64_t garmin_sim_unix_time(uint32_t garmin_seconds) { return int64_t(garmin_seconds) + kGarminEpoch; }

// ---- Engine ----------------------------------------------------------------------------

garmin_sim_engine::garmin_sim_engine(garmin_model model, garmin_sim_faults faults, bool usb)
    : model_(std::move(model)), usb_(usb), faults_(std::move(faults)) {}

int garmin_sim_engine::link_id(int slot) const {
  return (model_.link == 2 ? kL002 : kL001)[slot];
}
int garmin_sim_engine::command_code(int slot) const {
  return (model_.command == 11 ? kA011 : kA010)[slot];
}
int garmin_sim_engine::id_records() const { return link_id(LS_RECORDS); }
int garmin_sim_engine::id_xfer_cmplt() const { return link_id(LS_XFER_CMPLT); }
int garmin_sim_engine::id_command() const { return link_id(LS_COMMAND); }

garmin_sim_faults garmin_sim_engine::faults() const {
  std::lock_guard<std::mutex> lock(mu_);
  return faults_;
}
void garmin_sim_engine::set_faults(const garmin_sim_faults& f) {
  std::lock_guard<std::mutex> lock(mu_);
  faults_ = f;
}
garmin_sim_trace garmin_sim_engine::trace() const {
  std::lock_guard<std::mutex> lock(mu_);
  return trace_;
}
void garmin_sim_engine::session_started() {
  std::lock_guard<std::mutex> lock(mu_);
  trace_.session_started = true;
}
bool garmin_sim_engine::powered_off() const {
  std::lock_guard<std::mutex> lock(mu_);
  return off_;
}
void garmin_sim_engine::host_ack(bool nak) {
  std::lock_guard<std::mutex> lock(mu_);
  trace_.host_ids.push_back(nak ? 21 : 6);
  (nak ? trace_.naks_received : trace_.acks_received)++;
}
void garmin_sim_engine::host_bad_frame() {
  std::lock_guard<std::mutex> lock(mu_);
  trace_.bad_host_frames++;
}
void garmin_sim_engine::note_ack_sent(bool nak) {
  std::lock_guard<std::mutex> lock(mu_);
  (nak ? trace_.naks_sent : trace_.acks_sent)++;
}
void garmin_sim_engine::note_resend() {
  std::lock_guard<std::mutex> lock(mu_);
  trace_.resends++;
}

bool garmin_sim_engine::number_packet(garmin_sim_out* p) {
  std::lock_guard<std::mutex> lock(mu_);
  if (p->number < 0) {
    p->number = next_number_++;
    trace_.packets_sent++;
  }
  return faults_.silence.at >= 0 && p->number >= faults_.silence.at;
}

void garmin_sim_engine::push(std::vector<garmin_sim_out>* out, int slot_or_id, std::string data,
                             bool transfer, bool is_id) {
  garmin_sim_out p;
  p.id = is_id ? slot_or_id : link_id(slot_or_id);
  p.data = std::move(data);
  p.transfer = transfer;
  out->push_back(std::move(p));
}

int garmin_sim_engine::host_packet(int id, const std::string& data, std::vector<garmin_sim_out>* out) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    trace_.host_ids.push_back(id);
    if (faults_.nak.hits(host_number_, host_repeats_)) {
      host_repeats_++;
      return 1;
    }
    if (faults_.no_ack.hits(host_number_, host_repeats_)) {
      host_repeats_++;
      return 2;
    }
    host_number_++;
    host_repeats_ = 0;
    if (off_) return 2;
  }
  if (id == kProductRqst) {
    std::string pd = sim_word(model_.product_id) + sim_word(uint16_t(model_.version));
    pd += model_.description;
    pd.push_back('\0');
    push(out, kProductData, pd, false, true);
    if (usb_) {
      for (const std::string& e : model_.ext_product_data) push(out, kExtProduct, e, false, true);
    }
    if (model_.send_protocol_array) {
      std::string arr;
      for (const garmin_sim_protocol& t : garmin_model_protocols(model_)) {
        arr.push_back(t.tag);
        arr += sim_word(t.number);
      }
      push(out, kProtocolArray, arr, false, true);
    }
    return 0;
  }
  if (id != id_command()) return 0;
  const int code = word_of(data);
  {
    std::lock_guard<std::mutex> lock(mu_);
    trace_.commands.push_back(code);
  }
  auto is = [&](int slot) { return command_code(slot) >= 0 && code == command_code(slot); };
  if (is(CS_WPT)) {
    transfer_waypoints(code, out);
  } else if (is(CS_RTE)) {
    transfer_routes(code, out);
  } else if (is(CS_TRK)) {
    transfer_tracks(code, out);
  } else if (is(CS_TIME)) {
    // D600: month, day, year, hour, minute, second of the receiver's clock (UTC).
    const std::time_t t = plat::wall_time();
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::string d;
    d.push_back(char(tm.tm_mon + 1));
    d.push_back(char(tm.tm_mday));
    d += sim_word(uint16_t(tm.tm_year + 1900));
    d += sim_word(uint16_t(tm.tm_hour));
    d.push_back(char(tm.tm_min));
    d.push_back(char(tm.tm_sec));
    push(out, LS_DATE_TIME, d, false);
  } else if (is(CS_POSN)) {
    // D700: latitude and longitude in radians (the first waypoint, else 0).
    std::string d;
    double lat = 0, lon = 0;
    if (!model_.waypoints.empty()) {
      lat = garmin_sim_degrees(int32_t(model_.waypoints[0].num[GN_LAT])) * M_PI / 180.0;
      lon = garmin_sim_degrees(int32_t(model_.waypoints[0].num[GN_LON])) * M_PI / 180.0;
    }
    put_f64(&d, lat);
    put_f64(&d, lon);
    push(out, LS_POSITION, d, false);
  } else if (is(CS_OFF)) {
    std::lock_guard<std::mutex> lock(mu_);
    off_ = true;
    trace_.powered_off = true;
  } else if (is(CS_PVT_START) || (usb_ && code == 49)) {
    std::lock_guard<std::mutex> lock(mu_);
    pvt_on_ = trace_.pvt_on = true;
    next_pvt_ = plat::now_ms();
  } else if (is(CS_PVT_STOP) || (usb_ && code == 50)) {
    std::lock_guard<std::mutex> lock(mu_);
    pvt_on_ = trace_.pvt_on = false;
    next_pvt_ = INT64_MAX;
  } else if (code == kRcvStart) {
    std::lock_guard<std::mutex> lock(mu_);
    rcv_on_ = trace_.rcv_on = true;
  } else if (code == kRcvStop) {
    std::lock_guard<std::mutex> lock(mu_);
    rcv_on_ = trace_.rcv_on = false;
  } else if (is(CS_ABORT)) {
    // Nothing is running between packets: an abort has nothing to stop.
  } else if (is(CS_PRX) || is(CS_ALM) || is(CS_WPT_CATS)) {
    empty_transfer(code, out);
  }
  return 0;
}

void garmin_sim_engine::empty_transfer(int code, std::vector<garmin_sim_out>* out) {
  push(out, LS_RECORDS, sim_word(0), true);
  push(out, LS_XFER_CMPLT, sim_word(uint16_t(code)), true);
}

void garmin_sim_engine::transfer_waypoints(int code, std::vector<garmin_sim_out>* out) {
  if (!model_.wpt_type) return empty_transfer(code, out);
  push(out, LS_RECORDS, sim_word(uint16_t(model_.waypoints.size())), true);
  for (const garmin_sim_record& w : model_.waypoints) {
    push(out, LS_WPT_DATA, garmin_sim_pack(model_.wpt_type, w), true);
  }
  push(out, LS_XFER_CMPLT, sim_word(uint16_t(code)), true);
}

void garmin_sim_engine::transfer_routes(int code, std::vector<garmin_sim_out>* out) {
  if (!model_.rte_hdr_type) return empty_transfer(code, out);
  std::vector<garmin_sim_out> body;
  for (const garmin_sim_route& r : model_.routes) {
    push(&body, LS_RTE_HDR, garmin_sim_pack(model_.rte_hdr_type, r.header), true);
    for (size_t i = 0; i < r.points.size(); ++i) {
      push(&body, LS_RTE_WPT, garmin_sim_pack(model_.wpt_type, r.points[i]), true);
      if (model_.rte_link_type && i + 1 < r.points.size()) {
        const garmin_sim_record link = i < r.links.size() ? r.links[i] : garmin_sim_record{};
        push(&body, LS_RTE_LINK, garmin_sim_pack(model_.rte_link_type, link), true);
      }
    }
  }
  push(out, LS_RECORDS, sim_word(uint16_t(body.size())), true);
  for (auto& p : body) out->push_back(std::move(p));
  push(out, LS_XFER_CMPLT, sim_word(uint16_t(code)), true);
}

void garmin_sim_engine::transfer_tracks(int code, std::vector<garmin_sim_out>* out) {
  if (!model_.trk_type) return empty_transfer(code, out);
  std::vector<garmin_sim_out> body;
  for (const garmin_sim_track& t : model_.tracks) {
    if (model_.trk_hdr_type) push(&body, LS_TRK_HDR, garmin_sim_pack(model_.trk_hdr_type, t.header), true);
    for (const garmin_sim_record& p : t.points) {
      push(&body, LS_TRK_DATA, garmin_sim_pack(model_.trk_type, p), true);
    }
  }
  push(out, LS_RECORDS, sim_word(uint16_t(body.size())), true);
  for (auto& p : body) out->push_back(std::move(p));
  push(out, LS_XFER_CMPLT, sim_word(uint16_t(code)), true);
}

int64_t garmin_sim_engine::stream_due(int64_t now, std::vector<garmin_sim_out>* out) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!pvt_on_ || off_) return INT64_MAX;
  if (now < next_pvt_) return next_pvt_;
  const size_t n = model_.pvt.size();
  if (n == 0 || (!model_.pvt_repeat && pvt_index_ >= n)) {
    next_pvt_ = INT64_MAX;
    return next_pvt_;
  }
  const size_t i = pvt_index_++;
  garmin_sim_out p;
  p.id = usb_ ? kUsbPvt : link_id(LS_PVT);
  p.data = garmin_sim_pack_pvt(model_.pvt[i % n]);
  out->push_back(p);
  if (usb_ && !model_.sat.empty()) {
    garmin_sim_out s;
    s.id = kUsbSat;
    s.data = garmin_sim_pack_sat(model_.sat[i % model_.sat.size()]);
    out->push_back(s);
  }
  if (usb_ && rcv_on_ && !model_.rcv.empty()) {
    garmin_sim_out r;
    r.id = kUsbRcv;
    r.data = garmin_sim_pack_rcv(model_.rcv[i % model_.rcv.size()]);
    out->push_back(r);
  }
  next_pvt_ = now + model_.pvt_interval_ms;
  return next_pvt_;
}

}  // namespace tm_test

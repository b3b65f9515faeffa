// Real-time records of a Garmin receiver: unpacking the D800 position record, the
// receiver measurements and the satellite data from packet data (little-endian, read
// through a byte cursor, refused whole when the data is short), and their lines in the
// raw receiver log. See pvt.h.
#include <cmath>
#include <cstdio>

#include "core/byte_cursor.h"
#include "core/error.h"
#include "core/strutil.h"
#include "gps/garmin/pvt.h"

namespace {

constexpr int kShort = ERR_BAD_FILE;

// A number with '.' whatever the locale, within a buffer large enough for any double.
struct dot_number {
  char text[400];
  dot_number(double v, const char* format) { format_double_dot(v, format, text, sizeof text); }
};

}  // namespace

int garmin_d800_unpack(const uint8_t* data, size_t size, pvt_d800* out) {
  if (!data || !out || size < kPvtD800Size) return kShort;
  byte_reader c = make_byte_reader(data, kPvtD800Size);
  pvt_d800 r{};
  r.alt = get_f32(&c);
  r.epe = get_f32(&c);
  r.eph = get_f32(&c);
  r.epv = get_f32(&c);
  r.fix = get_le16(&c);
  r.tow = get_f64(&c);
  r.lat = get_f64(&c);
  r.lon = get_f64(&c);
  r.east = get_f32(&c);
  r.north = get_f32(&c);
  r.up = get_f32(&c);
  r.msl_hght = get_f32(&c);
  r.leap_scnds = static_cast<int16_t>(get_le16(&c));
  r.wn_days = static_cast<int32_t>(get_le32(&c));
  if (c.failed) return kShort;
  *out = r;
  return 0;
}

int garmin_rcv_unpack(const uint8_t* data, size_t size, pvt_receiver* out) {
  if (!data || !out || size < kPvtReceiverSize) return kShort;
  byte_reader c = make_byte_reader(data, kPvtReceiverSize);
  pvt_receiver r{};
  r.tow = get_f64(&c);
  r.week = static_cast<int16_t>(get_le16(&c));
  for (pvt_channel& ch : r.channel) {
    ch.cycles = get_le32(&c);
    ch.pseudorange = get_f64(&c);
    ch.phase = get_le16(&c);
    const uint8_t* b = take_bytes(&c, 4);
    if (!b) break;
    ch.slp_dtct = static_cast<int8_t>(b[0]);
    ch.snr = b[1];
    ch.svid = b[2];
    ch.valid = static_cast<int8_t>(b[3]);
  }
  if (c.failed) return kShort;
  *out = r;
  return 0;
}

int garmin_sat_unpack(const uint8_t* data, size_t size, pvt_satellite out[kPvtChannels]) {
  if (!data || !out || size < kPvtSatelliteSize) return kShort;
  byte_reader c = make_byte_reader(data, kPvtSatelliteSize);
  pvt_satellite s[kPvtChannels] = {};
  for (pvt_satellite& sat : s) {
    const uint8_t* b = take_bytes(&c, 1);
    sat.svid = b ? b[0] : 0;
    sat.snr = get_le16(&c);
    b = take_bytes(&c, 1);
    sat.elevation = b ? b[0] : 0;
    sat.azimuth = get_le16(&c);
    b = take_bytes(&c, 1);
    sat.status = b ? b[0] : 0;
  }
  if (c.failed) return kShort;
  for (int i = 0; i < kPvtChannels; ++i) out[i] = s[i];
  return 0;
}

int pvt_satellite_prn(int svid) { return svid <= 32 ? svid : svid + 87; }

void garmin_rcv_print(std::FILE* f, const pvt_receiver* r) {
  if (!f || !r) return;
  std::fprintf(f, "Receiver\n%s;%d\n", dot_number(r->tow, "%.15lf").text, int(r->week));
  for (const pvt_channel& ch : r->channel) {
    std::fprintf(f, "%d;%d;%ld;%s;%s;%d;%d;\n", int(ch.valid), int(ch.svid) + 1,
                 long(ch.cycles), dot_number(ch.pseudorange, "%.15le").text,
                 dot_number(double(ch.phase) * M_PI / 1024.0, "%.15lf").text, int(ch.slp_dtct),
                 int(ch.snr));
  }
}

void garmin_sat_print(std::FILE* f, const pvt_satellite s[kPvtChannels]) {
  if (!f || !s) return;
  for (int i = 0; i < kPvtChannels; ++i) {
    std::fprintf(f, "%d;%d;%d;%d;%d;\n", pvt_satellite_prn(s[i].svid), int(s[i].snr),
                 int(s[i].elevation), int(s[i].azimuth), int(s[i].status));
  }
}

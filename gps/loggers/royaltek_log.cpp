// The RoyalTek log dictionary, the LOG102 begin routine and the log file reader.
#include "gps/loggers/royaltek_log.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "core/command_hooks.h"
#include "core/dates.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "gps/loggers/sentence_dict.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

tag_t g_table[7] = {
    make_tag("PSRFTXT", GPSLOG_PSRFTXT), make_tag("LOG101", GPSLOG_LOG101),
    make_tag("LOG102", GPSLOG_LOG102),   make_tag("LOG103", GPSLOG_LOG103),
    make_tag("LOG108", GPSLOG_LOG108),   make_tag("LOG100", GPSLOG_LOG100),
    make_tag("LOG109", GPSLOG_LOG109),
};
std::atomic<container_t*> g_dict{nullptr};

// One byte into the field buffer, grown when within 10 bytes of its end.
void put_field_byte(nmea_parser* p, uint8_t b) {
  const int n = ++p->field_count;
  if (n >= p->capacity - 10) {
    const ptrdiff_t at = p->field_cursor - p->fields;
    uint32_t cap = static_cast<uint32_t>(p->capacity);
    grow_capacity(&p->fields, &cap);
    p->capacity = static_cast<int32_t>(cap);
    p->field_cursor = p->fields + at;
  }
  *p->field_cursor++ = static_cast<char>(b);
}

// Copies up to `count` bytes from the chunk, then from the byte source; the count copied.
int copy_payload(nmea_parser* p, int count) {
  int copied = 0;
  while (copied < count && p->remaining > 0) {
    put_field_byte(p, *p->cursor++);
    --p->remaining;
    ++copied;
  }
  uint8_t buffer[256];
  while (copied < count && p->read) {
    const int want = count - copied < int(sizeof buffer) ? count - copied : int(sizeof buffer);
    const int got = p->read(p->device, want, buffer);
    if (got <= 0) break;
    for (int i = 0; i < got && i < want; ++i) put_field_byte(p, buffer[i]);
    copied += got < want ? got : want;
  }
  return copied;
}

// ---- Reader ------------------------------------------------------------------------------
struct gpslog_ctx {
  obj_t* file;
  container_t* list;
  int64_t left;
  int32_t log_type;
  tracklog_t* tracklog;
  trackseg_t* segment;
};

gpslog_ctx* reader_of(nmea_parser* p) { return reinterpret_cast<gpslog_ctx*>(p->fix); }

void on_header(nmea_parser* p) {
  gpslog_ctx* c = reader_of(p);
  nmea_next_int(p, nullptr);
  const int32_t type = nmea_next_int(p, nullptr);
  c->log_type = gpslog_record_size(type) ? type : -1;
  c->segment = nullptr;
  if (c->log_type >= 0) trackseg_create(c->tracklog, c->list, &c->segment);
}

void on_records(nmea_parser* p) {
  gpslog_ctx* c = reader_of(p);
  const int size = gpslog_record_size(c->log_type);
  if (!size || !c->segment || p->field_count < 3) return;
  const auto* bytes = reinterpret_cast<const uint8_t*>(p->fields);
  const int length = bytes[2];
  if (p->field_count < length + 3) return;
  for (int at = 3; at + size <= length + 3; at += size) {
    gpslog_record r;
    gpslog_decode(bytes + at, c->log_type, &r);
    date_rec t;
    time_from_bits_hms(r.time_word, &t);
    gpspos_t* point = nullptr;
    gpspos_create(r.longitude, r.latitude, &t, r.altitude, c->segment, c->list, &point);
    if (!point || get_gblerr()) return;
    point->speed = r.speed;
  }
}

const nmea_handler kReaderHandlers[kGpslogHandlerCount] = {
    nullptr, nullptr, on_header, on_records, nullptr, nullptr, nullptr, nullptr};

int file_source(void*, int max, uint8_t* buffer) {
  const int64_t left = rd_bytes_left();
  const int n = left < max ? int(left) : max;
  if (n <= 0) return 0;
  return int(rd_read_bytes(buffer, n));
}

float float_le(const uint8_t* b) {
  uint32_t v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  float f;
  std::memcpy(&f, &v, sizeof f);
  return f;
}

double degrees_of(float radians) {
  double v = radians, scratch = 0.0;
  if (!std::isfinite(v)) return 0.0;
  angle_unit_scale(ANG_DEGREE, 1, &v, &scratch);
  return v;
}

double finite_or_zero(float v) { return std::isfinite(v) ? double(v) : 0.0; }

}  // namespace

const nmea_handler kGpslogBegins[kGpslogHandlerCount] = {
    nullptr, nullptr, nullptr, gpslog_binary_payload, nullptr, nullptr, nullptr, nullptr};

int gpslog_record_size(int log_type) {
  switch (log_type) {
    case 0: return 12;
    case 1: return 16;
    case 2: return 20;
    default: return 0;
  }
}

void gpslog_free() { sentence_dict_free(g_dict); }

void gpslog_init() {
  if (!sentence_dict_rebuild(g_dict, g_table)) return;
  register_format_reader(kGpslogFormat, gpslog_read);
}

container_t* gpslog_dict() { return g_dict.load(std::memory_order_acquire); }

void gpslog_binary_payload(nmea_parser* p) {
  if (copy_payload(p, 3) < 3) return;
  const int length = static_cast<uint8_t>(p->fields[2]);
  copy_payload(p, length);
}

void gpslog_decode(const uint8_t* b, int log_type, gpslog_record* out) {
  *out = gpslog_record{};
  out->time_word = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                   uint32_t(b[3]) << 24;
  out->latitude = degrees_of(float_le(b + 4));
  out->longitude = degrees_of(float_le(b + 8));
  if (log_type >= 1) out->altitude = finite_or_zero(float_le(b + 12));
  if (log_type >= 2) out->speed = finite_or_zero(float_le(b + 16)) * 3.6;
}

int gpslog_read(obj_t* file, container_t* list) {
  if (!gpslog_dict()) gpslog_init();
  if (rd_open(file, kGpslogReadBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  gpslog_ctx c{file, list, 0, -1, nullptr, nullptr};
  nmea_parser* p = nullptr;
  if (nmea_parser_new(gpslog_dict(), kReaderHandlers, kGpslogHandlerCount, nullptr, file_source,
                      kGpslogFieldSize, kGpslogBegins, &p) != 0 || !p) {
    const int err = get_gblerr() ? get_gblerr() : ERR_MEMORY;
    set_gblerr(0);
    return err;
  }
  p->fix = reinterpret_cast<nmea_fix*>(&c);
  tracklog_create(list, &c.tracklog);
  uint8_t chunk[kGpslogReadChunk];
  c.left = rd_size() - rd_tell();
  while (get_gblerr() == 0 && c.left > 0) {
    const int n = c.left < kGpslogReadChunk ? int(c.left) : kGpslogReadChunk;
    const int64_t got = rd_read_bytes(chunk, n);
    if (got <= 0) break;
    if (nmea_feed(chunk, int(got), p) != 0) break;
    core_progress_file_position("RoyalTek");
    c.left = rd_size() - rd_tell();
  }
  nmea_parser_free(&p);
  int err = get_gblerr();
  if (err == 0) {
    georef_create(list, nullptr);
    folder_get_or_create(file, list, 0, nullptr);
    file_default_track_styles(file, 1, 1000.0);
    err = get_gblerr();
  }
  set_gblerr(0);
  return err;
}

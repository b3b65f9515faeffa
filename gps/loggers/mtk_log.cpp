// The MediaTek log file reader (format 69): the $PMTK182 lines the download wrote are
// parsed again; the data bytes of each memory line run through a byte automaton that
// finds the 64 KiB sector headers (ended by four 0xBB) and the separators (seven 0xAA,
// a type byte, a value, four 0xBB); the records between them are decoded field by field
// in the bit order of the log-format mask into the points of one tracklog.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/command_hooks.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "gps/loggers/mtk.h"
#include "gps/loggers/mtk_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr uint8_t kSep = 0xAA, kEnd = 0xBB;
constexpr uint32_t kSectorSize = 0x10000;
constexpr size_t kSeparatorMax = 980;
// A sector holds at most 64 KiB: a record buffer never needs more.
constexpr size_t kBufferMax = kSectorSize + 64;
constexpr int kMaxSatellites = 32;

// Format mask bits.
enum : uint32_t {
  F_UTC = 0x1, F_VALID = 0x2, F_LAT = 0x4, F_LON = 0x8, F_HEIGHT = 0x10, F_SPEED = 0x20,
  F_HEADING = 0x40, F_DSTA = 0x80, F_DAGE = 0x100, F_PDOP = 0x200, F_HDOP = 0x400,
  F_VDOP = 0x800, F_NSAT = 0x1000, F_SID = 0x2000, F_ELE = 0x4000, F_AZI = 0x8000,
  F_SNR = 0x10000, F_RCR = 0x20000, F_MS = 0x40000, F_DIST = 0x80000,
};

enum mode : int { M_RECORDS, M_HEADER, M_SEPARATOR };

struct sat {
  uint32_t sid;
  int32_t elevation, azimuth, snr;
};

struct record {
  uint32_t utc = 0, ms = 0;
  uint32_t valid = 0, dsta = 0, pdop = 0, hdop = 0, vdop = 0, nsat = 0, rcr = 0;
  double lat = 0, lon = 0;
  float height = 0, speed = 0, heading = 0, dage = 0;
  std::vector<sat> sats;
};

struct log_reader {
  uint32_t format = 0;
  uint32_t records = 0;  // records left to decode
  int mode = M_RECORDS;
  int state = 0;
  std::vector<uint8_t> buffer;
  uint8_t separator[kSeparatorMax];
  size_t separator_length = 0;
  container_t* list = nullptr;
  tracklog_t* track = nullptr;
  trackseg_t* segment = nullptr;
  int points = 0;
};

thread_local log_reader* t_reader = nullptr;

// Little-endian reads that never pass the end; false when the bytes are not there.
struct cursor {
  const uint8_t* p;
  size_t left;
  template <class T> bool take(T* out) {
    if (left < sizeof(T)) return false;
    std::memcpy(out, p, sizeof(T));  // the logs are little-endian, as this machine
    p += sizeof(T);
    left -= sizeof(T);
    return true;
  }
  bool u16(uint32_t* out) {
    uint16_t v;
    if (!take(&v)) return false;
    *out = v;
    return true;
  }
};

// One record's fields; false when the buffer ends inside them.
bool decode_fields(cursor& c, uint32_t f, record* r) {
  if ((f & F_UTC) && !c.take(&r->utc)) return false;
  if ((f & F_VALID) && !c.u16(&r->valid)) return false;
  if ((f & F_LAT) && !c.take(&r->lat)) return false;
  if ((f & F_LON) && !c.take(&r->lon)) return false;
  if ((f & F_HEIGHT) && !c.take(&r->height)) return false;
  if ((f & F_SPEED) && !c.take(&r->speed)) return false;
  if ((f & F_HEADING) && !c.take(&r->heading)) return false;
  if ((f & F_DSTA) && !c.u16(&r->dsta)) return false;
  if ((f & F_DAGE) && !c.take(&r->dage)) return false;
  if ((f & F_PDOP) && !c.u16(&r->pdop)) return false;
  if ((f & F_HDOP) && !c.u16(&r->hdop)) return false;
  if ((f & F_VDOP) && !c.u16(&r->vdop)) return false;
  if ((f & F_NSAT) && !c.u16(&r->nsat)) return false;
  if (f & F_SID) {
    int count = -1;
    do {
      sat s{};
      if (!c.take(&s.sid)) return false;
      if (count < 0) count = std::min<int>(s.sid >> 16 & 0xFF, kMaxSatellites);
      if (count == 0) break;  // one word, no satellite
      int16_t e = 0;
      uint16_t a = 0, n = 0;
      if ((f & F_ELE) && !c.take(&e)) return false;
      if ((f & F_AZI) && !c.take(&a)) return false;
      if ((f & F_SNR) && !c.take(&n)) return false;
      s.elevation = e;
      s.azimuth = a;
      s.snr = n;
      r->sats.push_back(s);
    } while (int(r->sats.size()) < count);
  }
  if ((f & F_RCR) && !c.u16(&r->rcr)) return false;
  if ((f & F_MS) && !c.u16(&r->ms)) return false;
  if (f & F_DIST) {
    double d;
    if (!c.take(&d)) return false;
  }
  return true;
}

void make_point(log_reader* lr, const record& r) {
  const uint32_t f = lr->format;
  if (!lr->segment) trackseg_create(lr->track, lr->list, &lr->segment);
  if (!lr->segment) return;
  date_rec time = kNoDate;
  if (f & F_UTC) date_rec_from_time_t(&time, std::time_t(r.utc));
  if ((f & F_MS) && time.date != 0.0) date_add_ms(r.ms, &time);
  gpspos_t* p = nullptr;
  gpspos_create(r.lon, r.lat, &time, (f & F_HEIGHT) ? double(r.height) : 0.0, lr->segment,
                lr->list, &p);
  if (!p) return;
  ++lr->points;
  if (f & F_SPEED) p->speed = r.speed;
  if (f & F_HEADING) p->direction = r.heading;
  if (f & (F_VALID | F_PDOP | F_HDOP | F_VDOP | F_NSAT)) {
    navigation_t* n = nullptr;
    alloc_obj(CLS_NAVIGATION, &n);
    if (n) {
      n->hdop = (f & F_HDOP) ? double(r.hdop) : NULL_DOUBLE;
      n->vdop = (f & F_VDOP) ? double(r.vdop) : NULL_DOUBLE;
      n->pdop = (f & F_PDOP) ? double(r.pdop) : NULL_DOUBLE;
      n->hacc = n->vacc = n->magvar = NULL_DOUBLE;
      n->nbsatsinvue = (f & F_NSAT) ? int32_t(r.nsat & 0xFF) : NULL_INT;
      n->nbsatsused = (f & F_NSAT) ? int32_t(r.nsat >> 8) : NULL_INT;
      // The loggers write 1 for "no fix", 2 for a fix, 4 for a differential fix.
      n->fix = (f & F_VALID) ? int32_t((r.valid & 0xFFFE) != 0) : NULL_INT;
      n->dgps = (f & F_VALID) ? int32_t(r.valid >> 2 & 1) : NULL_INT;
      n->dr = NULL_INT;
      p->navig = n;
    }
  }
  if (f & (F_DSTA | F_DAGE)) {
    dgps_t* d = nullptr;
    alloc_obj(CLS_DGPS, &d);
    if (d) {
      d->dgpsstation = (f & F_DSTA) ? int32_t(r.dsta) : NULL_INT;
      d->ageofdgpsdata = (f & F_DAGE) ? double(r.dage) : NULL_DOUBLE;
      p->dgps = d;
    }
  }
  if (!r.sats.empty()) {
    container_t* ids = nullptr;  // the point record is packed: no pointer to its field
    obj_list_new(&ids);
    p->idsats = ids;
    for (const sat& s : r.sats) {
      satellite_t* o = nullptr;
      obj_new_in_list(lr->list, CLS_SATELLITE, reinterpret_cast<obj_t**>(&o));
      if (!o || !ids) break;
      o->prn = int32_t(s.sid & 0xFF);
      o->used = int32_t(s.sid >> 8 & 1);
      o->elevation = (f & F_ELE) ? s.elevation : NULL_INT;
      o->azimuth = (f & F_AZI) ? s.azimuth : NULL_INT;
      o->snr = (f & F_SNR) ? s.snr : NULL_INT;
      obj_list_append(ids, o);
    }
  }
  if ((f & F_RCR) && (r.rcr & 0x8)) push_to_log_point(lr->list, p, nullptr);
}

// Decodes the records collected so far and empties the buffer.
void decode_pending(log_reader* lr) {
  cursor c{lr->buffer.data(), lr->buffer.size()};
  while (lr->records > 0 && c.left > 0 && lr->format != 0 && !get_gblerr()) {
    record r;
    if (!decode_fields(c, lr->format, &r)) break;
    --lr->records;
    const bool starred = c.left >= 1 && c.p[0] == '*';
    // '*' and the checksum byte follow each record (the checksum is not verified).
    const size_t skip = std::min<size_t>(2, c.left);
    c.p += skip;
    c.left -= skip;
    if (starred) make_point(lr, r);
  }
  lr->buffer.clear();
}

void collect(log_reader* lr, uint8_t b) {
  if (lr->mode == M_SEPARATOR) {
    if (lr->separator_length < kSeparatorMax) lr->separator[lr->separator_length++] = b;
  } else if (lr->buffer.size() < kBufferMax) {
    lr->buffer.push_back(b);
  }
}

// Takes back the last n bytes collected (the marker bytes already stored).
void uncollect(log_reader* lr, size_t n) {
  if (lr->mode == M_SEPARATOR) {
    lr->separator_length -= std::min(n, lr->separator_length);
  } else {
    lr->buffer.resize(lr->buffer.size() - std::min(n, lr->buffer.size()));
  }
}

uint32_t u32_at(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void on_separator(log_reader* lr) {
  uncollect(lr, 6);
  if (lr->mode == M_RECORDS) decode_pending(lr);
  lr->mode = M_SEPARATOR;
  lr->separator_length = 0;
}

void on_header_end(log_reader* lr) {
  if (lr->mode == M_RECORDS) {  // four 0xBB inside the records are data
    collect(lr, kEnd);
    return;
  }
  uncollect(lr, 3);
  if (lr->mode == M_HEADER) {
    // The sector header is what the sector collected before its end marker: record
    // count (u16) and format mask (u32) first.
    if (lr->buffer.size() >= 6) {
      lr->records = uint32_t(lr->buffer[0] | lr->buffer[1] << 8);
      lr->format = u32_at(lr->buffer.data() + 2);
    }
  } else if (lr->separator_length >= 5 && lr->separator[0] == 2) {
    lr->format = u32_at(lr->separator + 1);
  }
  lr->mode = M_RECORDS;
  lr->buffer.clear();
}

void on_byte(log_reader* lr, uint8_t b) {
  const int s = lr->state;
  if (s == 0) {
    collect(lr, b);
    lr->state = b == kSep ? 1 : b == kEnd ? 7 : 0;
  } else if (s >= 1 && s <= 5) {
    collect(lr, b);
    lr->state = b == kSep ? s + 1 : 0;
  } else if (s == 6) {
    lr->state = 0;
    if (b == kSep)
      on_separator(lr);
    else
      collect(lr, b);
  } else if (s == 7 || s == 8) {
    collect(lr, b);
    lr->state = b == kEnd ? s + 1 : 0;
  } else {
    lr->state = 0;
    if (b == kEnd)
      on_header_end(lr);
    else
      collect(lr, b);
  }
}

void on_log_line(nmea_parser* p) {
  log_reader* lr = t_reader;
  if (!lr) return;
  const std::vector<std::string_view> f = mtk_split_fields(p->fields);
  uint32_t type = 0;
  if (f.size() < 3 || !mtk_parse_decimal(f[0], &type)) return;
  if (type == 3) {
    uint32_t code = 0, value = 0;
    if (!mtk_parse_decimal(f[1], &code) || !mtk_parse_hex(f[2], &value)) return;
    if (code == 2) lr->format = value;
    if (code == 10) lr->records = value;
    return;
  }
  if (type != 8 || f.size() < 3) return;
  uint32_t address = 0;
  if (!mtk_parse_hex(f[1], &address)) return;
  if (address % kSectorSize == 0) {
    decode_pending(lr);
    lr->mode = M_HEADER;
    lr->state = 0;
  }
  const std::string_view data = f[2];
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const int hi = mtk_hex_digit(data[i]), lo = mtk_hex_digit(data[i + 1]);
    if (hi < 0 || lo < 0) break;
    on_byte(lr, uint8_t(hi << 4 | lo));
  }
}

constexpr nmea_handler kLogHandlers[8] = {nullptr, nullptr, nullptr, on_log_line,
                                          nullptr, nullptr, nullptr, nullptr};

// Feeds the text through a parser whose only handler is the PMTK182 one.
int decode(log_reader* lr, const uint8_t* bytes, size_t count, bool from_file) {
  nmea_parser* parser = nullptr;
  if (!mtk_sentence_dict()) mtk_module_init();
  if (mtk_parser_new(nullptr, kLogHandlers, 2080, &parser) != 0 || !parser) return get_gblerr();
  log_reader* saved = t_reader;
  t_reader = lr;
  if (from_file) {
    std::vector<uint8_t> chunk(64 * 1024);
    for (;;) {
      const int64_t n = rd_read_bytes(chunk.data(), int64_t(chunk.size()));
      if (n <= 0) break;
      set_gblerr(0);  // a short last read reports the end of the data
      if (nmea_feed(chunk.data(), int(n), parser) != 0) break;
      core_progress_file_position("MTK");
      if (n < int64_t(chunk.size())) break;
    }
    set_gblerr(0);  // the end of the data
  } else {
    nmea_feed(bytes, int(std::min<size_t>(count, size_t(INT32_MAX))), parser);
  }
  nmea_feed(reinterpret_cast<const uint8_t*>("\r\n"), 2, parser);
  decode_pending(lr);
  t_reader = saved;
  nmea_parser_free(&parser);
  return 0;
}

void start(log_reader* lr, container_t* list) {
  lr->list = list;
  tracklog_create(list, &lr->track);
}

}  // namespace

int mtk_decode_log_text(const uint8_t* bytes, size_t count, container_t* list) {
  log_reader lr;
  start(&lr, list);
  if (!lr.track) return 0;
  decode(&lr, bytes, count, false);
  return lr.points;
}

int read_mtk_bin(obj_t* file, container_t* list) {
  if (rd_open(file, int64_t(1) << 20, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  log_reader lr;
  start(&lr, list);
  if (lr.track) decode(&lr, nullptr, 0, true);
  rd_close_file(file);
  set_gblerr(0);
  folder_get_or_create(file, list, 0, nullptr);
  file_default_track_styles(file, 1, 1000);
  file_default_point_styles(file, CLS_WAYPOINT, 4, 8, 400);
  georef_create(list, nullptr);
  set_gblerr(0);
  return 0;
}

void mtk_log_module_init() { register_format_reader(kMtkFormatCode, read_mtk_bin); }

// The Emtac sentence dictionary and the reader of the Emtac Trine log file (format 64):
// every $PEMT161 sentence of a type other than 0 is one track point.
#include <atomic>
#include <cstring>

#include "core/command_hooks.h"
#include "core/dates.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "gps/loggers/emtac.h"
#include "gps/loggers/sentence_dict.h"
#include "gps/nmea_parser.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

tag_t g_table[4] = {make_tag("PEMT160", 1), make_tag("PEMT161", 2), make_tag("PEMT162", 3),
                    make_tag("PEMT163", 4)};
std::atomic<container_t*> g_dict{nullptr};

constexpr int kLineMax = 100;
constexpr int kReadBuffer = 128 * 1024;

struct reader_ctx {
  container_t* list;
  tracklog_t* tracklog;
  trackseg_t* segment;
};

reader_ctx* ctx_of(nmea_parser* p) { return reinterpret_cast<reader_ctx*>(p->fix); }

void on_point(nmea_parser* p) {
  reader_ctx* c = ctx_of(p);
  const int32_t type = nmea_next_int(p, nullptr);
  if (type == 0 || type == NULL_INT) return;
  nmea_next_int(p, nullptr);  // record number
  char date[kNmeaFieldSize], time[kNmeaFieldSize];
  nmea_next_field(p, date);
  nmea_next_field(p, time);
  const int32_t mode = nmea_next_int(p, nullptr);
  int has_hdop = 0, has_lat = 0, has_lon = 0;
  const double hdop = nmea_next_double(p, &has_hdop);
  const double lat_dm = nmea_next_double(p, &has_lat);
  const double lon_dm = nmea_next_double(p, &has_lon);
  const double altitude = nmea_next_double(p, nullptr);
  const double heading = nmea_next_double(p, nullptr);
  const double speed = nmea_next_double(p, nullptr);
  if (!has_lat || !has_lon) return;
  date_rec when;
  parse_date_yymmdd(date, &when, hhmmss_to_day_fraction(str_to_double(time), nullptr));
  if (!c->segment) trackseg_create(c->tracklog, c->list, &c->segment);
  if (!c->segment || get_gblerr()) return;
  gpspos_t* point = nullptr;
  gpspos_create(nmea_dm_to_deg(lon_dm, nullptr), nmea_dm_to_deg(lat_dm, nullptr), &when,
                altitude, c->segment, c->list, &point);
  if (!point || get_gblerr()) return;
  point->direction = heading;
  point->speed = speed;
  obj_t* n = nullptr;
  alloc_obj(CLS_NAVIGATION, &n);
  if (!n) return;
  point->navig = n;
  auto* nav = static_cast<navigation_t*>(n);
  const int32_t m = mode == NULL_INT ? 0 : mode;
  nav->fix = m % 8;
  nav->dgps = m >= 8 ? 1 : 0;
  if (has_hdop) nav->hdop = hdop;
}

const nmea_handler kReaderHandlers[5] = {nullptr, nullptr, on_point, nullptr, nullptr};

}  // namespace

container_t* emtac_dict() { return g_dict.load(std::memory_order_acquire); }

void emtac_sentence_free() { sentence_dict_free(g_dict); }

void emtac_sentence_register() {
  if (!sentence_dict_rebuild(g_dict, g_table)) return;
  register_format_reader(kEmtacFormat, emtac_read_log_file);
}

void emtac_sentence_dict_ensure() {
  if (!emtac_dict()) emtac_sentence_register();
}

int emtac_read_log_file(obj_t* file, container_t* list) {
  emtac_sentence_dict_ensure();
  if (rd_open(file, kReadBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  reader_ctx c{list, nullptr, nullptr};
  nmea_parser* p = nullptr;
  if (nmea_parser_new(emtac_dict(), kReaderHandlers, 5, nullptr, nullptr, kEmtacFieldSize, nullptr,
                      &p) != 0 || !p) {
    const int err = get_gblerr() ? get_gblerr() : ERR_MEMORY;
    set_gblerr(0);
    return err;
  }
  p->fix = reinterpret_cast<nmea_fix*>(&c);
  tracklog_create(list, &c.tracklog);
  uint8_t line[kLineMax + 2];
  while (get_gblerr() == 0 && rd_bytes_left() > 0) {
    int n = 0;
    while (n < kLineMax && rd_bytes_left() > 0) {
      const int b = rd_read_byte();
      if (b == '\n') break;
      if (b == '\r') continue;
      line[n++] = uint8_t(b);
    }
    line[n++] = '\r';
    line[n++] = '\n';
    if (get_gblerr() || nmea_feed(line, n, p) != 0) break;
    core_progress_file_position("Emtac");
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

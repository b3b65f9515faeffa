// Reader slot 0 of the load dispatch: the system's own GPS text files, told apart by
// the first characters of their header line.
#include <cstring>
#include <iterator>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "formats/gpstext.h"
#include "formats/gpstext_internal.h"
#include "geodesy/georef.h"
#include "geodesy/xform_records.h"
#include "map/file_object.h"

namespace {

constexpr int kHeadBytes = 33;

struct header {
  const char* text;
  size_t compared;
  int (*reader)(obj_t*, container_t*);
};

// In this order; the headers differ within their compared lengths. The old NMEA log
// header is known so that it reads nothing rather than counting as a short file.
const header kHeaders[] = {
    {"TMW-waypoint", 12, read_tmw_v1},
    {"TMT-tracklog", 12, read_tmt_v1},
    {"TMW-V2_Tarmelo_Waypoint", 22, read_tmw_v2},
    {"TMT-V2_Tarmelo_Tracklog", 23, read_tmt_v2},
    {"TMR-V2_Tarmelo_Route", 20, read_tmr_v2},
    {"TMN-V3_Tarmelo_Navigation_logfile", 33, read_tmn_v3},
    {"TMN-Tarmelo_NMEA_logfile", 24, nullptr},
};

// The first bytes of the file (as many as it has, up to 33); -1 when it cannot be opened.
int read_head(obj_t* file, char* head) {
  if (gpstext::open(file) != 0) return -1;
  const int n = int(rd_read_bytes(head, kHeadBytes));
  if (n < kHeadBytes) set_gblerr(0);  // a short file: what is there is compared
  rd_close_file(file);
  return n;
}

int run_headers(obj_t* file, container_t* list, const char* head, int n) {
  bool known = false;
  int result = 0;
  for (const header& h : kHeaders) {
    if (size_t(n) < h.compared || std::memcmp(head, h.text, h.compared) != 0) continue;
    known = true;
    if (h.reader) result = h.reader(file, list);
  }
  if (!known && n < kHeadBytes) return set_gblerr(ERR_FILE_ACCESS);
  return result;
}

bool holds_georef(const container_t* list) { return obj_list_has_class(list, CLS_GEOREF) != 0; }

}  // namespace

int read_tm_text_file(obj_t* file, container_t* list) {
  char head[kHeadBytes];
  const int n = read_head(file, head);
  if (n < 0) return get_gblerr();
  georef_create(list, nullptr);
  int result = get_gblerr();
  if (result == 0) result = run_headers(file, list, head, n);
  if (obj_list_count(list) == 1) {
    const int pending = get_gblerr();
    set_gblerr(0);
    obj_list_free_elements(list);
    set_gblerr(pending);
  }
  return result != 0 ? result : get_gblerr();
}

int gpstext_read(obj_t* file, container_t* list) {
  if (!file) return -1;
  int result = 0;
  if (file_of(file) && file_of(file)->fileformat == kFormatNmeaImport) {
    const format_reader nmea = format_reader_of(kFormatNmeaImport);
    result = nmea ? nmea(file, list) : set_gblerr(ERR_UNKNOWN_FORMAT);
  } else {
    result = read_tm_text_file(file, list);
  }
  if (result == 0) result = get_gblerr();
  set_gblerr(0);
  if (obj_list_count(list) > 0 && !holds_georef(list)) georef_create(list, nullptr);
  return result;
}

// WinAPRS map files: the header counts, the line records and the point records. The
// counts come from the file: each record is read only while its bytes are there, and a
// count the file cannot hold ends the read with error 14 after the records that are there.
//
// A line record of byte 255 starts a line (its width, and whether it is a filled area);
// any other first byte continues the line in progress. The line in progress becomes a
// loi line when the next line starts or the line records end; one without points is
// dropped.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/wstring.h"
#include "formats/aprs.h"
#include "formats/file_load.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int64_t kBufferSize = 131072;
constexpr int64_t kCountsAt = 108;
constexpr int64_t kRecordsAt = 256;
constexpr int64_t kLineRecordBytes = 10;
constexpr int64_t kPointRecordBytes = 44;
constexpr int kStartByte = 255;
constexpr double kOriginX = 6480000.0;
constexpr double kOriginY = 3240000.0;
constexpr double kTenth = 0.1;

struct line_state {
  bool open = false;
  bool first_after_start = false;
  bool filled = false;
  int width = 1;
  uint32_t colour = 0;
  uint32_t fill_colour = 0;
  std::vector<double> points;  // x, y pairs
};

struct aprs_context {
  container_t* list = nullptr;
  line_state line;
  bool bad = false;  // a record the file should not hold was dropped
};

void read_position(double* x, double* y) {
  const double sx = double(rd_read_u32_swapped());
  const double sy = double(rd_read_u32_swapped());
  *x = (sx - kOriginX) * kTenth;
  *y = (kOriginY - sy) * kTenth;
}

// The line in progress joins the list when it has points.
void finish_line(aprs_context* c) {
  line_state& s = c->line;
  if (s.open && !s.points.empty()) {
    obj_t* o = nullptr;
    obj_new_in_list(c->list, CLS_LOIL, &o);
    if (o && get_gblerr() == 0) {
      auto* l = static_cast<loil_t*>(o);
      coord_list cl{};
      coords_set(&cl, int(s.points.size() / 2), s.points.data());
      std::memcpy(&l->loicoord, &cl, sizeof cl);
      l->colour = s.colour;
      l->thickness = s.width;
      l->fillmotif = s.filled ? 1 : 0;
      l->fillcolor = s.fill_colour;
    }
  }
  s = line_state{};
}

void line_record(aprs_context* c) {
  const int b = rd_read_byte();
  const int s = rd_read_byte();
  double x = 0, y = 0;
  read_position(&x, &y);
  if (get_gblerr() != 0) return;
  line_state& line = c->line;
  if (b == kStartByte) {
    finish_line(c);
    line.open = true;
    line.first_after_start = true;
    line.width = s % 16 + 1;
    line.filled = s >= 16;
    line.colour = gpsobj_default_colour(CLS_LOIL);
  } else {
    if (!line.open) {
      c->bad = true;
      return;
    }
    if (line.first_after_start && b < kAprsColourCount) line.colour = aprs_colours[b];
    if (line.filled && s / 16 < kAprsFillColourCount) line.fill_colour = aprs_fill_colours[s / 16];
    line.first_after_start = false;
  }
  line.points.push_back(x);
  line.points.push_back(y);
}

// A point record: colour byte, a byte not read, x, y, two bytes not read, then "$", the
// symbol character, the table character and a 29-byte name, or a 32-byte name. The
// table character leaves the colour of the colour byte as it is.
void point_record(aprs_context* c) {
  uint8_t r[kPointRecordBytes];
  if (rd_read_bytes(r, kPointRecordBytes) != kPointRecordBytes || get_gblerr() != 0) return;
  auto be32 = [&](int at) {
    return uint32_t(r[at]) << 24 | uint32_t(r[at + 1]) << 16 | uint32_t(r[at + 2]) << 8 | r[at + 3];
  };
  obj_t* o = nullptr;
  gpsobj_new_point(CLS_POI, c->list, &o);
  if (!o || get_gblerr() != 0) return;
  auto* p = static_cast<poi_t*>(o);
  const int colour = r[0] & 0x7F;
  if (colour < kAprsColourCount) p->colour = aprs_colours[colour];
  p->coords.x = (double(be32(2)) - kOriginX) * kTenth;
  p->coords.y = (kOriginY - double(be32(6))) * kTenth;
  int name_at = 12;
  if (r[12] == '$') {
    int index = int(r[13]) - 33;
    if (index < 0) index = 0;
    if (index >= kAprsSymbolCount) index = kAprsSymbolCount - 1;
    p->symbol = aprs_symbols[index];
    name_at = 15;
  }
  const char* name = reinterpret_cast<const char*>(r + name_at);
  const std::string text(name, strnlen(name, size_t(kPointRecordBytes - name_at)));
  mbs_to_wcs(text.c_str(), &p->name);
  p->display = 0;
}

void place_objects(obj_t* file, container_t* list) {
  if (!file_of(file)) return;
  folder_get_or_create(file, list, 0, nullptr);
  file_default_loil_styles(file, 0, 1.0);
  gpsobj_attach_icons(list, CLS_POI);
  file_default_label_styles(file, CLS_POI, 10, 30000, 1000.0, 400.0, 0);
}

}  // namespace

void aprs_init() { register_format_reader(kWinAprsFormat, winaprs_read); }

int winaprs_read(obj_t* file, container_t* list) {
  if (!list || rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  rd_seek(kCountsAt, 0);
  const int32_t lines = int32_t(rd_read_u32_swapped());
  const int32_t points = int32_t(rd_read_u32_swapped());
  if (get_gblerr() != 0 || (lines < 1 && points < 1) || rd_size() < kRecordsAt) {
    set_gblerr(0);
    return ERR_BAD_FILE;
  }
  rd_seek(kRecordsAt, 0);
  aprs_context c;
  c.list = list;
  bool short_file = false;
  for (int32_t i = 0; i < lines && get_gblerr() == 0; ++i) {
    if (rd_bytes_left() < kLineRecordBytes) {
      short_file = true;
      break;
    }
    core_progress_file_position("WinAPRS");
    line_record(&c);
  }
  if (get_gblerr() == 0) finish_line(&c);
  for (int32_t i = 0; i < points && !short_file && get_gblerr() == 0; ++i) {
    if (rd_bytes_left() < kPointRecordBytes) {
      short_file = true;
      break;
    }
    point_record(&c);
  }
  int err = get_gblerr();
  if (err == 0) {
    place_objects(file, list);
    err = get_gblerr();
  }
  if (err == 0 && (short_file || c.bad)) err = ERR_BAD_FILE;
  set_gblerr(0);
  return err;
}

// The NMEA export's frame: the output (disk file or in-memory file), the header, the
// layers of the folders, and the waypoint, route and track-block writers. The sentences
// of one track point are in nmea_export_points.cpp.
//
// A layer without georeference cannot be placed on WGS 84: it is left out and its error
// 13 is held aside until the end, so that every other layer, and each of their track
// blocks, is written whole with its STOP mark.
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/replace_file.h"
#include "core/wstring.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "gps/nmea_export_internal.h"
#include "gps/nmea_files.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

// A route sentence holds less than this many characters before its tail.
constexpr size_t kRouteSentenceLimit = 80;
// A route name longer than this is cut, so that its sentence header always leaves room
// for waypoint names.
constexpr size_t kRouteNameMax = 40;

char hex_digit(int v) { return "0123456789ABCDEF"[v & 15]; }

int digits_of(int v) {
  int n = 1;
  for (; v >= 10; v /= 10) ++n;
  return n;
}

template <class Fn> void for_each_of_class(const container_t* list, int cls, Fn fn) {
  for (int i = 0; i < obj_list_count(list) && get_gblerr() == 0; ++i) {
    const obj_t* o = list->elems[i];
    if (o && o->cls == cls) fn(o);
  }
}

georef_t* first_georef(const container_t* list) {
  int it = 0;
  obj_t* g = nullptr;
  obj_list_next_of_type(list, CLS_GEOREF, &it, &g);
  return static_cast<georef_t*>(g);
}

// The route's name: its text, or its number when the text is empty.
std::string route_name(const route_t* r) {
  std::string name = nmea_field_text(r->name);
  if (name.empty() && r->number != 0 && r->number != NULL_INT) name = nmea_format("%d", r->number);
  if (name.size() > kRouteNameMax) name.resize(kRouteNameMax);
  return name;
}

// The sentences of a route series laid out with a total of `total`; a name that does not
// fit an empty sentence is cut to what fits.
std::vector<std::string> route_layout(const std::string& name,
                                      const std::vector<std::string>& points, int total) {
  std::vector<std::string> out;
  std::string sentence;
  bool empty = true;
  auto start = [&] {
    sentence = nmea_format("$GPRTE,%d,%d,c,", total, int(out.size()) + 1) + name;
    empty = true;
  };
  for (const std::string& p : points) {
    if (sentence.empty()) start();
    if (!empty && sentence.size() + p.size() >= kRouteSentenceLimit) {
      out.push_back(sentence);
      start();
    }
    std::string piece = p;
    if (sentence.size() + piece.size() >= kRouteSentenceLimit)
      piece.resize(sentence.size() < kRouteSentenceLimit - 1
                       ? kRouteSentenceLimit - 1 - sentence.size() : 0);
    sentence += ",";
    sentence += piece;
    empty = false;
  }
  if (!sentence.empty()) out.push_back(sentence);
  return out;
}

// The packed date and seconds of a moment `seconds` after the base.
void stamp_fields(const date_rec& base, int seconds, int* h, int* mi, int* s, int* day,
                  int* month, int* year) {
  date_rec r = base;
  // The base is a whole second: so is every stamp.
  const double base_seconds = std::round((r.day - std::floor(r.day)) * 86400.0);
  r.day = std::floor(r.day);
  r.date = std::floor(r.date);
  date_add_days(&r, (base_seconds + seconds) / 86400.0);
  int y = 0, m = 0;
  double d = 0;
  date_rec_split(&r, &y, &m, &d);
  long long sod = std::llround((d - std::floor(d)) * 86400.0);
  if (sod >= 86400) sod = 86399;
  *h = int(sod / 3600);
  *mi = int(sod / 60 % 60);
  *s = int(sod % 60);
  *day = int(std::floor(d));
  *month = m;
  *year = y;
}

void write_points_of(const container_t* points, xform_chain_t* chain, nmea_output* out) {
  int i = 0;
  for (int k = 0; k < obj_list_count(points); ++k) {
    const obj_t* p = points->elems[k];
    if (!p || p->cls != CLS_GPSPOS) continue;
    int h, mi, s, day, month, year;
    stamp_fields(out->base, i++, &h, &mi, &s, &day, &month, &year);
    nmea_out_sentence(out, nmea_format("$PTMQB,%02d%02d%02d,%02d%02d%04d", h, mi, s, day, month,
                                       year));
    nmea_write_point(p, chain, out);
    if (get_gblerr() != 0) return;
  }
}

// Opens the output; false (with error 2) when the path cannot be created.
bool open_output(const char* path, obj_t* memory_file, nmea_output* out) {
  if (path) {
    out->file = replace_file_open(&out->target, path);
    if (!out->file) {
      set_gblerr(ERR_FILE_ACCESS);
      return false;
    }
    return true;
  }
  if (!memory_file) {
    set_gblerr(ERR_FILE_ACCESS);
    return false;
  }
  out->memory = memory_file;
  return true;
}

// Ends the file: complete, it replaces the old one; after an error (or a failed
// flush) the old file stays as it was.
void close_output(nmea_output* out, bool keep) {
  if (!out->file) return;
  out->file = nullptr;
  if (!keep)
    replace_file_abandon(&out->target);
  else if (!replace_file_commit(&out->target))
    set_gblerr(ERR_FILE_ACCESS);
}

int reference_unit() {
  geodatum_t* ref = geo_get_ref_datum(nullptr);
  return ref ? ref->unit : ANG_DEGREE;
}

date_rec now_record() {
  date_rec r{};
  date_rec_from_packed(&r, date_now());
  return r;
}

void lists_of_roots(const container_t* roots, std::vector<const container_t*>* lists) {
  for (int i = 0; i < obj_list_count(roots); ++i) {
    obj_t* o = roots->elems[i];
    if (o && o->cls == kFolderClass) lists->push_back(static_cast<folder_t*>(o)->sot);
  }
}

}  // namespace

std::string nmea_format(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string out;
  if (n < 0) {
    va_end(again);
    return out;
  }
  if (size_t(n) < sizeof small) {
    out.assign(small, size_t(n));
  } else {
    out.resize(size_t(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, again);
    out.resize(size_t(n));
  }
  va_end(again);
  return out;
}

void nmea_out_sentence(nmea_output* out, const std::string& sentence) {
  if (get_gblerr() != 0) return;
  int sum = 0;
  for (size_t i = 1; i < sentence.size(); ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  const char tail[5] = {'*', hex_digit(sum >> 4), hex_digit(sum), '\r', '\n'};
  if (out->file) {
    std::fwrite(sentence.data(), 1, sentence.size(), out->file);
    std::fwrite(tail, 1, sizeof tail, out->file);
    return;
  }
  if (!out->memory) return;
  if (filemobj_owner_append(out->memory, sentence.data(), int64_t(sentence.size())) != 0 ||
      filemobj_owner_append(out->memory, tail, int64_t(sizeof tail)) != 0) {
    if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
  }
}

std::string nmea_field_text(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E || c == '$' || c == '*' || c == ',') c = ' ';
  }
  return out;
}

std::string nmea_field_text(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p && *p; ++p) {
    const char16_t c = *p;
    out.push_back(c < 0x20 || c > 0x7E || c == u'$' || c == u'*' || c == u',' ? ' ' : char(c));
  }
  return out;
}

void nmea_write_waypoint(const obj_t* waypoint, xform_chain_t* chain, nmea_output* out) {
  if (!waypoint || waypoint->cls != CLS_WAYPOINT) return;
  const auto* w = static_cast<const waypoint_t*>(waypoint);
  double x = 0, y = 0;
  nmea_point_degrees(out, chain, w, &x, &y);
  nmea_out_sentence(out, "$GPWPL," + nmea_position_text(x, y) + "," + nmea_field_text(w->name));
}

std::vector<std::string> nmea_route_sentences(const obj_t* route) {
  if (!route || route->cls != CLS_ROUTE) return {};
  const auto* r = static_cast<const route_t*>(route);
  const std::string name = route_name(r);
  std::vector<std::string> points;
  const container_t* sons = r->sons;
  for (int i = 0; i < obj_list_count(sons); ++i) {
    const obj_t* p = sons->elems[i];
    if (p && p->cls == CLS_WAYPOINT) points.push_back(nmea_field_text(static_cast<const waypoint_t*>(p)->name));
  }
  // The first pass measures the series with a total of the width the real total has,
  // so that the second lays the names out the same way and the count it writes as the
  // total is the number of sentences it writes.
  int total = 1;
  for (;;) {
    const int count = int(route_layout(name, points, total).size());
    if (count == 0) return {};
    if (digits_of(count) == digits_of(total)) {
      total = count;
      break;
    }
    total = count;
  }
  return route_layout(name, points, total);
}

void nmea_write_route(const obj_t* route, nmea_output* out) {
  for (const std::string& s : nmea_route_sentences(route)) nmea_out_sentence(out, s);
}

void nmea_write_track(const obj_t* track, xform_chain_t* chain, nmea_output* out) {
  if (!track || (track->cls != CLS_TRACKSEG && track->cls != CLS_NAVSEG)) return;
  const container_t* points = track->cls == CLS_TRACKSEG
                                  ? static_cast<const trackseg_t*>(track)->sons
                                  : static_cast<const navseg_t*>(track)->sons;
  nmea_out_sentence(out, "$PTMQT,START");
  write_points_of(points, chain, out);
  if (get_gblerr() != 0) return;
  nmea_out_sentence(out, "$PTMQT,STOP");
}

void nmea_export_layer(const container_t* list, nmea_output* out) {
  if (!list_has_gps_points(list)) return;
  georef_t* g = first_georef(list);
  if (!g) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  xform_chain_t* chain = nullptr;
  georef_chain_to_ref(g, &chain);
  if (get_gblerr() == 0) {
    for_each_of_class(list, CLS_WAYPOINT, [&](const obj_t* o) { nmea_write_waypoint(o, chain, out); });
    for_each_of_class(list, CLS_ROUTE, [&](const obj_t* o) { nmea_write_route(o, out); });
    for_each_of_class(list, CLS_TRACKLOG, [&](const obj_t* o) {
      const container_t* segments = static_cast<const tracklog_t*>(o)->sons;
      for (int k = 0; k < obj_list_count(segments) && get_gblerr() == 0; ++k)
        nmea_write_track(segments->elems[k], chain, out);
    });
    for_each_of_class(list, CLS_NAVSEG, [&](const obj_t* o) { nmea_write_track(o, chain, out); });
  }
  if (chain) {
    const int err = get_gblerr();
    set_gblerr(0);
    obj_t* c = chain;
    free_obj(&c);
    set_gblerr(err);
  }
}

void nmea_export_lists(const char* path, obj_t* memory_file,
                       const std::vector<const container_t*>& lists, const date_rec& base) {
  nmea_output out;
  out.base = base;
  out.ref_unit = reference_unit();
  if (!open_output(path, memory_file, &out)) return;
  nmea_out_sentence(&out, "$PTMQH,NMEA File Header");
  nmea_out_sentence(&out, "$PGRMM,WGS 84");
  bool unplaced = false;
  for (const container_t* list : lists) {
    if (get_gblerr() != 0) break;
    nmea_export_layer(list, &out);
    if (get_gblerr() == ERR_GEOGRAPHIC) {
      unplaced = true;
      set_gblerr(0);
    }
  }
  const int err = get_gblerr();
  set_gblerr(0);
  close_output(&out, err == 0);
  if (err != 0)
    set_gblerr(err);
  else if (unplaced && get_gblerr() == 0)
    set_gblerr(ERR_GEOGRAPHIC);
}

void nmea_write_file(const char* path, container_t* roots) {
  std::vector<const container_t*> lists;
  lists_of_roots(roots, &lists);
  if (!path) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  nmea_export_lists(path, nullptr, lists, now_record());
}

void nmea_export(const char* path, obj_t* memory_file, obj_t* source_file) {
  std::vector<const container_t*> lists;
  const fileatt_t* f = file_of(source_file);
  folder_t* it = nullptr;
  for (folder_t* d = file_next_folder(f, &it); d; d = file_next_folder(f, &it))
    lists.push_back(d->sot);
  nmea_export_lists(path, memory_file, lists, now_record());
}

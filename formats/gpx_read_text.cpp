// The GPX reader's text routines: each gets the text of one element and writes it into
// the object that the element's parent made (for the colours and the Garmin extension
// values, the nearest enclosing elements of the dictionary, passing over the unknown
// wrappers such as "extensions" or gpx_style's "line"). Numbers are read with '.' or ','
// as the decimal separator.
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "formats/gpx_read_internal.h"
#include "map/gps_classes.h"

namespace {

constexpr size_t kCommentChars = 63;

double number(const char* text) {
  double v = 0.0;
  parse_number(text, &v);
  return v;
}

int integer(const char* text) {
  int32_t v = 0;
  parse_int(text, &v);
  return v;
}

// Text of the document as owned wide text: UTF-8 when it is valid UTF-8 (every UTF-8 and
// UTF-16 document), else Windows-1252 (a Latin-1 document's accents survive).
void set_text(const char* text, char16_t** owner) { mbs_to_wcs(text, owner); }

// Keeps the first 63 characters (a surrogate pair is not split).
void set_comment(const char* text, char16_t** owner) {
  char16_t* w = nullptr;
  set_text(text, &w);
  if (wstr_len(w) > kCommentChars) {
    size_t n = kCommentChars;
    if (w[n - 1] >= 0xD800 && w[n - 1] <= 0xDBFF) --n;
    w[n] = u'\0';
  }
  wstr_set(w, owner);
  free_mem(&w);
}

int code_of_parent(xml_parser_t* ctx, int top) { return gpx_code_at(ctx, top - 1); }

// ---- Names and comments ----------------------------------------------------------------

void on_name(xml_parser_t* ctx, int top, const char* text) {
  switch (code_of_parent(ctx, top)) {
    case GPX_WPT:
    case GPX_RTEPT:
      if (auto* w = static_cast<waypoint_t*>(gpx_owner_of(ctx, top - 1, CLS_WAYPOINT))) {
        set_text(text, &w->name);
        w->display = 0;
      }
      break;
    case GPX_RTE:
      if (auto* r = static_cast<route_t*>(gpx_owner_of(ctx, top - 1, CLS_ROUTE)))
        set_text(text, &r->name);
      break;
    case GPX_TRK:
      if (auto* t = static_cast<tracklog_t*>(gpx_owner_of(ctx, top - 1, CLS_TRACKLOG)))
        set_text(text, &t->name);
      break;
    default: break;
  }
}

void on_cmt(xml_parser_t* ctx, int top, const char* text) {
  switch (code_of_parent(ctx, top)) {
    case GPX_WPT:
      if (auto* w = static_cast<waypoint_t*>(gpx_owner_of(ctx, top - 1, CLS_WAYPOINT))) {
        set_comment(text, &w->comment);
        if (w->display == 1) w->display = 2;
      }
      break;
    case GPX_RTE:
      if (auto* r = static_cast<route_t*>(gpx_owner_of(ctx, top - 1, CLS_ROUTE)))
        set_comment(text, &r->comment);
      break;
    default: break;
  }
}

void on_sym(xml_parser_t* ctx, int top, const char* text) {
  const int parent = code_of_parent(ctx, top);
  if (parent != GPX_WPT && parent != GPX_RTEPT) return;
  if (auto* w = static_cast<waypoint_t*>(gpx_owner_of(ctx, top - 1, CLS_WAYPOINT)))
    w->symbol = gpx_symbol_number(text);
}

void on_number(xml_parser_t* ctx, int top, const char* text) {
  switch (code_of_parent(ctx, top)) {
    case GPX_RTE:
      if (auto* r = static_cast<route_t*>(gpx_owner_of(ctx, top - 1, CLS_ROUTE)))
        r->number = integer(text);
      break;
    case GPX_TRK:
      if (auto* t = static_cast<tracklog_t*>(gpx_owner_of(ctx, top - 1, CLS_TRACKLOG)))
        t->number = integer(text);
      break;
    default: break;
  }
}

// ---- Heights ------------------------------------------------------------------------------

// A new altitude for the point that a "wpt", "rtept" or "trkpt" made: the third
// coordinate follows it, less the geoid height.
template <class P> void set_altitude(P* p, double v) {
  p->altitude = float(v);
  p->coords.z = float(v - p->geoidh);
}

void on_ele(xml_parser_t* ctx, int top, const char* text) {
  const int code = code_of_parent(ctx, top);
  if (code == GPX_WPT || code == GPX_RTEPT) {
    if (auto* w = static_cast<waypoint_t*>(gpx_owner_of(ctx, top - 1, CLS_WAYPOINT)))
      set_altitude(w, number(text));
  } else if (code == GPX_TRKPT) {
    if (auto* p = static_cast<gpspos_t*>(gpx_owner_of(ctx, top - 1, CLS_GPSPOS)))
      set_altitude(p, number(text));
  }
}

gpspos_t* trackpoint_parent(xml_parser_t* ctx, int top) {
  if (code_of_parent(ctx, top) != GPX_TRKPT) return nullptr;
  return static_cast<gpspos_t*>(gpx_owner_of(ctx, top - 1, CLS_GPSPOS));
}

void on_geoidheight(xml_parser_t* ctx, int top, const char* text) {
  gpspos_t* p = trackpoint_parent(ctx, top);
  if (!p) return;
  p->geoidh = float(number(text));
  if (p->altitude != 0.0f) p->coords.z = p->altitude - p->geoidh;
}

// ---- Track point values -------------------------------------------------------------------

void on_time(xml_parser_t* ctx, int top, const char* text) {
  gpspos_t* p = trackpoint_parent(ctx, top);
  if (!p) return;
  date_rec d;
  parse_date_iso_rec(&d, text);
  std::memcpy(&p->time, &d, sizeof d);
}

void on_speed(xml_parser_t* ctx, int top, const char* text) {
  if (gpspos_t* p = trackpoint_parent(ctx, top)) p->speed = number(text) * 3.6;
}

void on_course(xml_parser_t* ctx, int top, const char* text) {
  if (gpspos_t* p = trackpoint_parent(ctx, top)) p->direction = number(text);
}

// The point's navigation record, made (and owned by the point) when absent.
navigation_t* navigation_of(gpspos_t* p) {
  obj_t* n = p->navig;
  if (!n) {
    alloc_obj(CLS_NAVIGATION, &n);
    p->navig = n;
  }
  return static_cast<navigation_t*>(n);
}

dgps_t* dgps_of(gpspos_t* p) {
  obj_t* d = p->dgps;
  if (!d) {
    alloc_obj(CLS_DGPS, &d);
    p->dgps = d;
  }
  return static_cast<dgps_t*>(d);
}

void on_magvar(xml_parser_t* ctx, int top, const char* text) {
  if (gpspos_t* p = trackpoint_parent(ctx, top))
    if (navigation_t* n = navigation_of(p)) n->magvar = number(text);
}

void on_fix(xml_parser_t* ctx, int top, const char* text) {
  gpspos_t* p = trackpoint_parent(ctx, top);
  navigation_t* n = p ? navigation_of(p) : nullptr;
  if (!n) return;
  if (std::strcmp(text, "none") == 0)
    n->fix = 0;
  else if (std::strcmp(text, "2d") == 0)
    n->fix = 2;
  else
    n->fix = 3;
  if (std::strcmp(text, "dgps") == 0) n->dgps = 1;
}

void on_sat(xml_parser_t* ctx, int top, const char* text) {
  if (gpspos_t* p = trackpoint_parent(ctx, top))
    if (navigation_t* n = navigation_of(p)) n->nbsatsused = integer(text);
}

void on_dop(xml_parser_t* ctx, int top, const char* text) {
  gpspos_t* p = trackpoint_parent(ctx, top);
  navigation_t* n = p ? navigation_of(p) : nullptr;
  if (!n) return;
  const double v = number(text);
  switch (gpx_code_at(ctx, top)) {
    case GPX_HDOP: n->hdop = v; break;
    case GPX_VDOP: n->vdop = v; break;
    default: n->pdop = v; break;
  }
}

void on_age_of_dgps(xml_parser_t* ctx, int top, const char* text) {
  if (gpspos_t* p = trackpoint_parent(ctx, top))
    if (dgps_t* d = dgps_of(p)) d->ageofdgpsdata = number(text);
}

void on_dgpsid(xml_parser_t* ctx, int top, const char* text) {
  if (gpspos_t* p = trackpoint_parent(ctx, top))
    if (dgps_t* d = dgps_of(p)) d->dgpsstation = integer(text);
}

// ---- Colours ---------------------------------------------------------------------------------

// The object that the nearest known enclosing element made, when that is a "wpt", "rte"
// or "trk" whose object has the expected class; null otherwise (a class mismatch is
// ignored here).
obj_t* colour_target(xml_parser_t* ctx, int top) {
  const int k = gpx_known_parent(ctx, top);
  switch (gpx_code_at(ctx, k)) {
    case GPX_WPT: return gpx_owner_of(ctx, k, CLS_WAYPOINT, false);
    case GPX_RTE: return gpx_owner_of(ctx, k, CLS_ROUTE, false);
    case GPX_TRK: return gpx_owner_of(ctx, k, CLS_TRACKLOG, false);
    default: return nullptr;
  }
}

void set_colour(obj_t* o, uint32_t colour) {
  if (!o) return;
  switch (o->cls) {
    case CLS_WAYPOINT: static_cast<waypoint_t*>(o)->colour = colour; break;
    case CLS_ROUTE: static_cast<route_t*>(o)->colour = colour; break;
    case CLS_TRACKLOG: static_cast<tracklog_t*>(o)->colour = colour; break;
    default: break;
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "RRGGBB": three two-digit hexadecimal numbers; false when a digit is not hexadecimal.
bool parse_hex_colour(const char* text, uint32_t* out) {
  int v[6];
  for (int i = 0; i < 6; ++i)
    if ((v[i] = hex_digit(text[i])) < 0) return false;
  *out = gps_rgb(v[0] * 16 + v[1], v[2] * 16 + v[3], v[4] * 16 + v[5]);
  return true;
}

void on_color(xml_parser_t* ctx, int top, const char* text) {
  if (std::strlen(text) < 6) return;
  uint32_t colour = 0;
  if (!parse_hex_colour(text, &colour)) return;
  set_colour(colour_target(ctx, top), colour);
}

void on_display_color(xml_parser_t* ctx, int top, const char* text) {
  set_colour(colour_target(ctx, top), gpx_display_colour(text));
}

// ---- Garmin extension values ------------------------------------------------------------------

// The object made by the "wpt" (or "trkpt") that encloses the extension element that
// encloses this one, unknown wrappers passed over; null when the nesting differs.
obj_t* extension_owner(xml_parser_t* ctx, int top, int extension, int point, int cls) {
  const int e = gpx_known_parent(ctx, top);
  if (gpx_code_at(ctx, e) != extension) return nullptr;
  const int k = gpx_known_parent(ctx, e);
  if (gpx_code_at(ctx, k) != point) return nullptr;
  return gpx_owner_of(ctx, k, cls);
}

waypoint_t* waypoint_extension_owner(xml_parser_t* ctx, int top) {
  return static_cast<waypoint_t*>(
      extension_owner(ctx, top, GPX_WAYPOINT_EXT, GPX_WPT, CLS_WAYPOINT));
}

gpspos_t* trackpoint_extension_owner(xml_parser_t* ctx, int top) {
  return static_cast<gpspos_t*>(
      extension_owner(ctx, top, GPX_TRACKPOINT_EXT, GPX_TRKPT, CLS_GPSPOS));
}

void on_proximity(xml_parser_t* ctx, int top, const char* text) {
  if (waypoint_t* w = waypoint_extension_owner(ctx, top)) w->proxim = number(text);
}

void on_temperature(xml_parser_t* ctx, int top, const char* text) {
  if (waypoint_t* w = waypoint_extension_owner(ctx, top))
    w->tpre = number(text);
  else if (gpspos_t* p = trackpoint_extension_owner(ctx, top))
    p->tpre = number(text);
}

void on_depth(xml_parser_t* ctx, int top, const char* text) {
  if (waypoint_t* w = waypoint_extension_owner(ctx, top))
    w->altitude = float(w->altitude - number(text));
  else if (gpspos_t* p = trackpoint_extension_owner(ctx, top))
    p->altitude = float(p->altitude - number(text));
}

void on_display_mode(xml_parser_t* ctx, int top, const char* text) {
  waypoint_t* w = waypoint_extension_owner(ctx, top);
  if (!w) return;
  if (std::strcmp(text, "SymbolOnly") == 0)
    w->display = 1;
  else if (std::strcmp(text, "SymbolAndDescription") == 0)
    w->display = 2;
  else
    w->display = 0;
}

}  // namespace

const gpx_text_fn gpx_text_routines[kGpxElementRoutines] = {
    nullptr,          // 0 unknown
    nullptr,          // gpx
    nullptr,          // wpt
    nullptr,          // rte
    nullptr,          // rtept
    nullptr,          // trk
    nullptr,          // trkseg
    nullptr,          // trkpt
    on_name,          // name
    nullptr,          // desc
    on_time,          // time
    nullptr,          // bounds
    on_ele,           // ele
    on_speed,         // speed
    on_geoidheight,   // geoidheight
    on_cmt,           // cmt
    on_sym,           // sym
    on_number,        // number
    on_color,         // color
    nullptr,          // WaypointExtension
    nullptr,          // TrackPointExtension
    nullptr,          // RouteExtension
    on_proximity,     // Proximity
    on_temperature,   // Temperature
    on_depth,         // Depth
    on_display_mode,  // DisplayMode
    on_magvar,        // magvar
    on_display_color, // DisplayColor
    on_fix,           // fix
    on_course,        // course
    on_sat,           // sat
    on_dop,           // hdop
    on_dop,           // vdop
    on_dop,           // pdop
    on_age_of_dgps,   // ageofdgpsdata
    on_dgpsid,        // dgpsid
};

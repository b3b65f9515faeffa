// Geogrid overlay files: a key loop over "key=value" lines. A "Typ" key makes the
// section's object; the keys after it set its attributes through the value tables; a
// line or polygon takes its points from the "XKoord0"/"YKoord0" line and the "?Koord<n>"
// lines that follow it, as many as its "Punkte" count says.
//
// The point list of a line grows with the values really read: the count only caps it,
// so a count far above the lines in the file costs nothing. Keys are kept to 23
// characters, values to 31 (63 for coordinates); the rest of a longer line is read and
// dropped, so no line length reaches a fixed buffer.
#include "formats/ovl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "formats/file_load.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int64_t kBufferSize = 1048576;
constexpr int kKeyMax = 23;
constexpr int kSectionNameMax = 22;
constexpr int kValueMax = 31;
constexpr int kCoordValueMax = 63;
constexpr double kFontSizeFactor = 0.7501875468867217;

constexpr uint32_t kColours[] = {gps_rgb(255, 0, 0),     gps_rgb(0, 200, 0),     gps_rgb(0, 0, 255),
                                 gps_rgb(255, 255, 0),   gps_rgb(0, 0, 0),       gps_rgb(255, 255, 255),
                                 gps_rgb(180, 180, 180), gps_rgb(255, 0, 255),   gps_rgb(0, 255, 255)};
constexpr int kLineStyles[] = {1, 9, 8, 9};
constexpr int kFillPatterns[] = {0, 1, 5, 2, 4, 3, 6, 7};
constexpr int kFonts[] = {1, 0, 3, 2, 0, 0, 0, 0, 2, 1, 1, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 2, 0,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 2, 2, 1, 1, 0, 3};

// The value of a 1-based table, or nullptr outside it.
template <class T, size_t N> const T* table_value(const T (&table)[N], int32_t v) {
  return v >= 1 && size_t(v) <= N ? &table[v - 1] : nullptr;
}

}  // namespace

struct ovl_context {
  container_t* list = nullptr;
  int unit = ANG_DEGREE;
  obj_t* current = nullptr;
  int cls = 0;
  int typ = 0;
  int64_t points = 0;
  char key[kKeyMax + 1] = {};
  bool key_at_equals = false;
  bool key_pending = false;  // the key read is the next to handle, not yet handled
  char value[kCoordValueMax + 1] = {};
};

namespace {

// The next byte, or -1 at the end of the file.
int next_byte() {
  if (rd_bytes_left() <= 0) return -1;
  const int b = rd_read_byte();
  if (get_gblerr() != 0) {
    set_gblerr(0);
    return -1;
  }
  return b;
}

// A key up to '=' or the end of the line; carriage returns dropped.
void read_key(ovl_context* c) {
  int n = 0;
  c->key_at_equals = false;
  for (int b = next_byte(); b >= 0 && b != '\n'; b = next_byte()) {
    if (b == '=') {
      c->key_at_equals = true;
      break;
    }
    if (b != '\r' && n < kKeyMax) c->key[n++] = char(b);
  }
  c->key[n] = 0;
}

// The rest of the line, at most `max` characters kept, blanks around it dropped.
const char* read_value(ovl_context* c, int max) {
  int n = 0;
  for (int b = next_byte(); b >= 0 && b != '\n'; b = next_byte())
    if (b != '\r' && n < max) c->value[n++] = char(b);
  while (n > 0 && (c->value[n - 1] == ' ' || c->value[n - 1] == '\t')) --n;
  c->value[n] = 0;
  const char* v = c->value;
  while (*v == ' ' || *v == '\t') ++v;
  return v;
}

bool int_value(ovl_context* c, int32_t* out) {
  const char* v = read_value(c, kValueMax);
  const char* digits = *v == '-' ? v + 1 : v;
  if (!is_ascii_digit(*digits)) return false;
  parse_int(v, out);
  return true;
}

bool number_value(ovl_context* c, int max, double* out) {
  const char* v = read_value(c, max);
  const char* digits = (*v == '-' || *v == '+') ? v + 1 : v;
  if (!is_ascii_digit(*digits) && !(*digits == '.' && is_ascii_digit(digits[1]))) return false;
  double d = 0;
  parse_number(v, &d);
  if (!std::isfinite(d)) return false;
  *out = d;
  return true;
}

bool is_text(const ovl_context* c) { return c->current && c->typ == 2; }
bool is_point(const ovl_context* c) { return c->current && c->typ >= 5 && c->typ <= 7; }
bool is_line(const ovl_context* c) { return c->current && (c->typ == 3 || c->typ == 4); }

void skip_line(ovl_context* c) { read_value(c, 0); }

// ---- Handlers --------------------------------------------------------------------------

void on_typ(ovl_context* c) {
  int32_t typ = 0;
  c->current = nullptr;
  c->cls = 0;
  if (!int_value(c, &typ)) {
    c->typ = 0;
    return;
  }
  c->typ = typ;
  int cls = 0;
  if (typ == 2) cls = CLS_GEOTEXT;
  else if (typ == 3 || typ == 4) cls = CLS_LOIL;
  else if (typ >= 5 && typ <= 7) cls = CLS_GEOPOINT;
  if (!cls) return;
  obj_t* o = nullptr;
  obj_new_in_list(c->list, cls, &o);
  if (!o || get_gblerr() != 0) {
    set_gblerr(0);
    return;
  }
  c->current = o;
  c->cls = cls;
  if (cls == CLS_LOIL) static_cast<loil_t*>(o)->edgemotif = 1;
  if (cls == CLS_GEOPOINT) {
    constexpr int kShapes[] = {2, 1, 5};
    static_cast<geopoint_t*>(o)->shape = kShapes[typ - 5];
  }
}

void on_ignored(ovl_context* c) { skip_line(c); }

void on_size_of_point(ovl_context* c) {
  int32_t v = 0;
  if (!int_value(c, &v) || !is_point(c)) return;
  auto* p = static_cast<geopoint_t*>(c->current);
  p->thickness = std::max(p->thickness, v / 2);
}

void on_dir(ovl_context* c) {
  double v = 0;
  if (!number_value(c, kValueMax, &v)) return;
  double a = v - 100.0, unused = 0;
  angle_unit_scale(ANG_GRAD, 0, &a, &unused);
  if (is_text(c)) static_cast<geotext_t*>(c->current)->orient = a;
  else if (is_point(c)) static_cast<geopoint_t*>(c->current)->orient = a;
}

// x (axis 0) or y (axis 1) of a text or point symbol.
void set_coordinate(ovl_context* c, int axis) {
  double v = 0;
  if (!number_value(c, kCoordValueMax, &v)) return;
  gps_point_t* p = nullptr;
  if (is_text(c)) p = &static_cast<geotext_t*>(c->current)->coords;
  else if (is_point(c)) p = &static_cast<geopoint_t*>(c->current)->coords;
  if (!p) return;
  double xy[2] = {0, 0};
  xy[axis] = v;
  angle_unit_convert(ANG_DEGREE, c->unit, &xy[0], &xy[1]);
  if (axis == 0) p->x = xy[0];
  else p->y = xy[1];
}
void on_xkoord(ovl_context* c) { set_coordinate(c, 0); }
void on_ykoord(ovl_context* c) { set_coordinate(c, 1); }

// The coordinate list: this line's value, then one value per following "?Koord<n>="
// line, 2 x the point count in all. Another key ends the list early and is handled
// next. A line or polygon keeps the whole points read.
void on_koord_list(ovl_context* c) {
  double v = 0;
  if (!number_value(c, kCoordValueMax, &v)) return;
  const bool store = is_line(c);
  if (!store && c->typ != 1) return;
  const int64_t total = 2 * c->points;
  std::vector<double> values;
  if (store && total > 0) values.push_back(v);
  for (int64_t i = 1; i < total && rd_bytes_left() > 0; ++i) {
    read_key(c);
    if (!c->key_at_equals || std::strncmp(c->key + 1, "Koord", 5) != 0) {
      c->key_pending = true;
      break;
    }
    if (!number_value(c, kCoordValueMax, &v)) break;
    if (store) values.push_back(v);
  }
  if (!store || values.size() < 2) return;
  const size_t n = values.size() / 2;
  for (size_t i = 0; i < n; ++i)
    angle_unit_convert(ANG_DEGREE, c->unit, &values[2 * i], &values[2 * i + 1]);
  auto* l = static_cast<loil_t*>(c->current);
  coord_list cl;
  std::memcpy(&cl, &l->loicoord, sizeof cl);
  coords_free(&cl);
  coords_set(&cl, int(n), values.data());
  std::memcpy(&l->loicoord, &cl, sizeof cl);
}

void on_path(ovl_context* c) { skip_line(c); }

void on_col(ovl_context* c) {
  int32_t v = 0;
  if (!int_value(c, &v) || !c->current) return;
  const uint32_t* colour = table_value(kColours, v);
  if (!colour) return;
  if (c->cls == CLS_GEOTEXT) static_cast<geotext_t*>(c->current)->colour = *colour;
  else if (c->cls == CLS_LOIL) static_cast<loil_t*>(c->current)->colour = *colour;
  else if (c->cls == CLS_GEOPOINT) static_cast<geopoint_t*>(c->current)->colour = *colour;
}

void on_area(ovl_context* c) {
  int32_t v = 0;
  if (!int_value(c, &v) || !c->current || c->typ != 4) return;
  if (const int* fill = table_value(kFillPatterns, v)) static_cast<loil_t*>(c->current)->fillmotif = *fill;
}

void on_art(ovl_context* c) {
  int32_t v = 0;
  if (!int_value(c, &v) || !c->current || c->typ != 3) return;
  if (const int* style = table_value(kLineStyles, v)) static_cast<loil_t*>(c->current)->edgemotif = *style;
}

void on_size(ovl_context* c) {
  int32_t v = 0;
  if (!int_value(c, &v)) return;
  v %= 100;
  if (is_text(c)) static_cast<geotext_t*>(c->current)->size = int32_t(std::trunc(v * kFontSizeFactor));
  else if (is_line(c)) static_cast<loil_t*>(c->current)->thickness = v;
}

void on_font(ovl_context* c) {
  int32_t v = 0;
  if (!int_value(c, &v) || !is_text(c)) return;
  if (const int* font = table_value(kFonts, v)) static_cast<geotext_t*>(c->current)->font = *font;
}

void on_text(ovl_context* c) {
  const char* v = read_value(c, kValueMax);
  if (!is_text(c)) return;
  auto* t = static_cast<geotext_t*>(c->current);
  char16_t* wide = nullptr;
  mbs_to_wcs(v, &wide);
  if (!wide) return;
  char16_t* old = t->text;
  if (old) free_mem(&old);
  std::memcpy(&t->text, &wide, sizeof wide);
}

void on_punkte(ovl_context* c) {
  int32_t v = 0;
  if (!int_value(c, &v)) return;
  c->points = v > 0 ? v : 0;
}

constexpr ovl_key kKeys[] = {
    {"Typ", on_typ},           {"Group", on_ignored},     {"Zoom", on_ignored},
    {"Trans", on_ignored},     {"TransByte", on_ignored}, {"Width", on_size_of_point},
    {"Height", on_size_of_point}, {"Dir", on_dir},        {"XKoord", on_xkoord},
    {"YKoord", on_ykoord},     {"XKoord0", on_koord_list}, {"YKoord0", on_koord_list},
    {"Path", on_path},         {"Col", on_col},           {"Area", on_area},
    {"Art", on_art},           {"Size", on_size},         {"Font", on_font},
    {"Text", on_text},         {"Punkte", on_punkte},     {"", on_ignored}};

// ---- The key loop ----------------------------------------------------------------------

bool begins_with_symbol(const char* name) { return std::strncmp(name, "Symbol", 6) == 0; }

// Skips sections up to one named "Symbol..." (or the end of the file).
void skip_sections(ovl_context* c) {
  for (;;) {
    int b = next_byte();
    while (b >= 0 && b != '[') b = next_byte();
    if (b < 0) return;
    char name[kSectionNameMax + 1];
    int n = 0;
    for (b = next_byte(); b >= 0 && b != ']' && b != '\n'; b = next_byte())
      if (n < kSectionNameMax) name[n++] = char(b);
    name[n] = 0;
    if (begins_with_symbol(name)) return;
  }
}

void read_symbols(ovl_context* c) {
  c->key[0] = 0;
  while (rd_bytes_left() > 0 || c->key_pending) {
    core_progress_file_position("OVL");
    if (c->key[0] == '[' && !c->key_at_equals) {
      c->current = nullptr;
      c->cls = 0;
      c->typ = 0;
      c->points = 0;
      if (!begins_with_symbol(c->key + 1)) skip_sections(c);
      c->key[0] = 0;
      c->key_pending = false;
    }
    if (!c->key_pending) read_key(c);
    c->key_pending = false;
    while (c->key_at_equals) {
      ovl_find_key(c->key)->handler(c);
      if (c->key_pending) break;
      read_key(c);
    }
  }
}

void place_objects(obj_t* file, container_t* list) {
  if (file_of(file)) folder_get_or_create(file, list, 0, nullptr);
  geopoint_style_create(list, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, 1.0);
  geotext_style_create(list, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, 1.0);
  if (file_of(file)) file_default_loil_styles(file, 0, 1000.0);
}

}  // namespace

const ovl_key* ovl_keys = nullptr;

const ovl_key* ovl_find_key(const char* key) {
  const ovl_key* row = ovl_keys ? ovl_keys : kKeys;
  for (; row->name[0]; ++row)
    if (std::strcmp(row->name, key) == 0) return row;
  return row;
}

void ovl_init() {
  ovl_keys = kKeys;
  register_format_reader(kOvlFormat, ovl_read);
}

int ovl_read(obj_t* file, container_t* list) {
  if (rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  // The georeference is made first: the points are stored in its unit.
  georef_t* g = nullptr;
  georef_create(list, &g);
  set_gblerr(0);
  ovl_context c;
  c.list = list;
  if (g) c.unit = g->unit;
  read_symbols(&c);
  set_gblerr(0);
  place_objects(file, list);
  set_gblerr(0);
  return 0;
}

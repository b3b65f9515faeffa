// Reading and writing a whole CoordSys clause text.
//
// The reader walks the text with a cursor that never passes its end: words, quoted
// names and parentheses are taken one at a time, each checked against a length limit,
// and numbers are converted from the bytes of their word only. It asks for exactly the
// values the clause's type and datum call for; anything missing, extra, malformed or
// unknown stops it with gblerr 13. Objects it finds or makes (custom datum, meridian,
// projection) are made through the tables' creators and stay there.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "core/strutil.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/mapinfo.h"
#include "geodesy/units.h"

namespace {

// ---- Words --------------------------------------------------------------------------------
constexpr size_t kMaxWord = 64;       // the longest number or keyword taken
constexpr size_t kMaxQuoted = 32;     // the longest unit name taken

enum token_kind { TOK_END, TOK_WORD, TOK_QUOTED, TOK_OPEN, TOK_CLOSE, TOK_BAD };

struct token {
  token_kind kind = TOK_END;
  const char* s = nullptr;
  size_t n = 0;
};

struct cursor {
  const char* p;
  const char* end;
};

bool is_separator(char c) { return c == ',' || is_ascii_space(c); }
bool ends_word(char c) { return is_separator(c) || c == '"' || c == '(' || c == ')'; }

token next_token(cursor& c) {
  while (c.p < c.end && is_separator(*c.p)) ++c.p;
  token t;
  if (c.p >= c.end) return t;
  t.s = c.p;
  if (*c.p == '(' || *c.p == ')') {
    t.kind = *c.p == '(' ? TOK_OPEN : TOK_CLOSE;
    t.n = 1;
    ++c.p;
    return t;
  }
  if (*c.p == '"') {
    const char* q = c.p + 1;
    while (q < c.end && *q != '"') ++q;
    if (q >= c.end || static_cast<size_t>(q - c.p - 1) > kMaxQuoted) {
      t.kind = TOK_BAD;
      return t;
    }
    t.kind = TOK_QUOTED;
    t.s = c.p + 1;
    t.n = static_cast<size_t>(q - t.s);
    c.p = q + 1;
    return t;
  }
  const char* q = c.p;
  while (q < c.end && !ends_word(*q)) ++q;
  t.n = static_cast<size_t>(q - c.p);
  t.kind = t.n <= kMaxWord ? TOK_WORD : TOK_BAD;
  c.p = q;
  return t;
}

bool word_is(const token& t, const char* keyword) {
  const size_t n = std::strlen(keyword);
  return t.kind == TOK_WORD && t.n == n && strn_compare_ci(t.s, keyword, n) == 0;
}

// A whole word that is a finite number ("+" allowed in front).
bool read_number(cursor& c, double* out) {
  const token t = next_token(c);
  if (t.kind != TOK_WORD || t.n == 0) return false;
  const char* s = t.s;
  const char* e = t.s + t.n;
  if (*s == '+') ++s;
  if (s == e || (*s == '-' && s != t.s)) return false;
  double v = 0.0;
  const std::from_chars_result r = std::from_chars(s, e, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool read_numbers(cursor& c, double* out, int n) {
  for (int i = 0; i < n; ++i)
    if (!read_number(c, &out[i])) return false;
  return true;
}

bool read_int(cursor& c, int* out) {
  double v = 0.0;
  if (!read_number(c, &v) || v != std::floor(v) || std::fabs(v) > 1e9) return false;
  *out = static_cast<int>(v);
  return true;
}

// ---- Datums -------------------------------------------------------------------------------
template <class T> T* find_by_number(int cls, int number) {
  char name[16];
  std::snprintf(name, sizeof name, "%d", number);
  T* found = nullptr;
  geo_find_by_alias(cls, GEO_SCHEME_MAPINFO, name, &found);
  return found;
}

// A meridian written in degrees with 11 decimals and read back lands within half the
// last digit of the meridian it was written from, but not always on the same double
// (a meridian of the tables may be held from grads): take the nearest one within that.
pmeridian_t* meridian_near(double degrees) {
  double radians = degrees, scratch = 0.0;
  angle_unit_scale(ANG_DEGREE, 0, &radians, &scratch);
  double tolerance = 0.5e-11, unused = 0.0;
  angle_unit_scale(ANG_DEGREE, 0, &tolerance, &unused);
  geo_lock lock(geo_state().mutex);
  pmeridian_t* best = nullptr;
  obj_t* o = nullptr;
  while (obj_class_next(CLS_PMERIDIAN, &o) && o) {
    pmeridian_t* m = static_cast<pmeridian_t*>(o);
    const double d = std::fabs(m->glongitude - radians);
    if (d <= tolerance && (!best || d < std::fabs(best->glongitude - radians))) best = m;
  }
  return best;
}

// The prime meridian of a 9999 clause (degrees): an existing one, or a new one.
pmeridian_t* meridian_at(double degrees) {
  pmeridian_t* m = nullptr;
  if (pmeridian_find_by_longitude(degrees, ANG_DEGREE, &m)) return m;
  if ((m = meridian_near(degrees))) return m;
  int code = 0;
  geo_next_code(CLS_PMERIDIAN, &code);
  return pmeridian_create("Custom meridian", degrees, ANG_DEGREE, code, &m);
}

// 999: ellipsoid, tx, ty, tz. 9999: ellipsoid, tx, ty, tz, rx, ry, rz (seconds of arc),
// scale (parts per million), prime meridian (degrees).
geodatum_t* read_custom_datum(cursor& c, int number) {
  int ellipsoid_number = 0;
  if (!read_int(c, &ellipsoid_number) || ellipsoid_number < 0) return nullptr;
  ellipsoid_t* ell = find_by_number<ellipsoid_t>(CLS_ELLIPSOID, ellipsoid_number);
  if (!ell) return nullptr;
  double v[8] = {};
  const bool seven = number == kMifDatumSeven;
  if (!read_numbers(c, v, seven ? 8 : 3)) return nullptr;
  double params[10] = {v[0], v[1], v[2], v[3], v[4], v[5], v[6] * 1e-6, 0.0, 0.0, 0.0};
  pmeridian_t* meridian = meridian_at(seven ? v[7] : 0.0);
  geodatum_t* datum = nullptr;
  mapinfo_custom_datum(ell, meridian, seven ? DT_FILE_SEVEN : DT_FILE_THREE, params, &datum);
  return datum;
}

geodatum_t* read_datum(cursor& c) {
  int number = 0;
  if (!read_int(c, &number) || number < 0) return nullptr;
  if (number == kMifDatumThree || number == kMifDatumSeven) return read_custom_datum(c, number);
  return find_by_number<geodatum_t>(CLS_GEODATUM, number);
}

// ---- Clause parts -------------------------------------------------------------------------
bool read_unit(cursor& c, int* unit) {
  const token t = next_token(c);
  if (t.kind != TOK_QUOTED) return false;
  *unit = mif_unit_of_name(t.s, t.n);
  return *unit >= 0;
}

// An optional "Bounds (x1, y1) (x2, y2)", then the end of the text.
bool read_tail(cursor& c) {
  token t = next_token(c);
  if (t.kind == TOK_END) return true;
  if (!word_is(t, "bounds")) return false;
  double v[2];
  for (int corner = 0; corner < 2; ++corner) {
    if (next_token(c).kind != TOK_OPEN || !read_numbers(c, v, 2) ||
        next_token(c).kind != TOK_CLOSE)
      return false;
  }
  return next_token(c).kind == TOK_END;
}

bool read_projected(cursor& c, int type, mif_coordsys* out) {
  const int count = mif_proj_param_count(type);
  if (count <= 0 || !read_unit(c, &out->unit)) return false;
  double params[kMifMaxParams] = {};
  if (!read_numbers(c, params, count)) return false;
  return name_mif_custom_projection(type, out->datum, out->unit, count, params,
                                    &out->projection) != nullptr;
}

bool read_earth(cursor& c, mif_coordsys* out) {
  cursor mark = c;
  if (!word_is(next_token(c), "projection")) c = mark;
  int type = 0;
  if (!read_int(c, &type) || type < 0) return false;
  out->earth = 1;
  out->type = type % 1000;
  out->datum = read_datum(c);
  if (!out->datum) return false;
  if (mif_kind_is_geographic(out->type)) {
    out->unit = ANG_DEGREE;
    return true;
  }
  return read_projected(c, out->type, out);
}

bool read_non_earth(cursor& c, mif_coordsys* out) {
  cursor mark = c;
  if (!word_is(next_token(c), "units")) c = mark;
  return read_unit(c, &out->unit);
}

// ---- Units --------------------------------------------------------------------------------
struct unit_name {
  const char* name;
  int unit;
};
constexpr unit_name kUnitNames[] = {{"m", 0},  {"ft", 1},        {"nmi", 2}, {"km", 3},
                                    {"y", 5},  {"survey ft", 6}, {"mi", 19}};

}  // namespace

int mif_unit_of_name(const char* name, size_t length) {
  if (!name) return -1;
  for (const unit_name& u : kUnitNames) {
    if (std::strlen(u.name) == length && strn_compare_ci(u.name, name, length) == 0)
      return u.unit;
  }
  return -1;
}

const char* mif_unit_name(int linear_unit) {
  for (const unit_name& u : kUnitNames)
    if (u.unit == linear_unit) return u.name;
  return nullptr;
}

int mif_coordsys_read(const char* text, size_t length, mif_coordsys* out) {
  if (!out) return set_gblerr(ERR_GEOGRAPHIC);
  *out = {};
  cursor c = {text, text ? text + length : text};
  bool ok = text != nullptr;
  if (ok) {
    cursor mark = c;
    if (!word_is(next_token(c), "coordsys")) c = mark;
    const token kind = next_token(c);
    if (word_is(kind, "earth"))
      ok = read_earth(c, out);
    else if (word_is(kind, "nonearth"))
      ok = read_non_earth(c, out);
    else
      ok = false;
    ok = ok && read_tail(c);
  }
  if (ok) return 0;
  *out = {};
  return set_gblerr(ERR_GEOGRAPHIC);
}

int mif_coordsys_write(geodatum_t* datum, const cartproj_t* proj, int linear_unit, char* text,
                       size_t size) {
  if (!text || size == 0) return -1;
  text[0] = '\0';
  const char* unit_name = mif_unit_name(linear_unit);
  if (proj && !unit_name) {
    set_gblerr(ERR_GEOGRAPHIC);
    return -1;
  }
  char datum_text[kMifDatumTextSize];
  const int type = mif_type_of_proj(proj);
  const bool earth = type > 0 && mif_datum_text(datum, datum_text, sizeof datum_text);
  int n = 0;
  if (!earth && !unit_name) {
    set_gblerr(ERR_GEOGRAPHIC);
    return -1;
  }
  if (!earth) {
    n = std::snprintf(text, size, "NonEarth Units \"%s\"", unit_name);
  } else if (!proj) {
    n = std::snprintf(text, size, "Earth Projection %d, %s", type, datum_text);
  } else {
    char params[kMifParamTextSize];
    mif_format_params_in(proj, linear_unit, params, sizeof params);
    n = std::snprintf(text, size, "Earth Projection %d, %s, \"%s\", %s", type, datum_text,
                      unit_name, params);
  }
  if (n < 0 || static_cast<size_t>(n) >= size) {
    text[0] = '\0';
    set_gblerr(ERR_GEOGRAPHIC);
    return -1;
  }
  return earth ? 1 : 0;
}

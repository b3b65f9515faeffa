// The Polish map reader: a lexer over the bytes of the file, driven by a transition table
// (state x character class -> action and next state), and the key handlers that read a
// key's value from the rest of its line.
//
// Every byte is counted against the bytes of the file (`remaining`): no handler reads
// past the end, and a value line is never longer than the bytes there. A section or key
// name keeps at most 99 characters, a value word 79 (a coordinate 80) and a label 4095;
// longer ones are read whole and cut.
//
// Refused input: a datum outside the Polish naming scheme, or no georeference, ends the
// read with error 13; a coordinate pair cut short by the end of the file ends it with
// error 14 (the object of the pairs before it is made); objects that would leave less
// than the reader's margin of the memory budget end it with error 1. Objects made before
// an error stay in the list.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "formats/polish_map.h"
#include "formats/polish_map_internal.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/repr.h"

namespace {

constexpr int kEof = -1;

// Bytes made (objects, texts, coordinates) between two looks at the memory budget, and
// the room kept free.
constexpr int64_t kBudgetStride = int64_t(4) << 20;
constexpr double kBudgetMargin = 16.0 * 1024 * 1024;
// Largest number of pairs of one coordinate line.
constexpr size_t kMaxPairs = size_t(1) << 26;

// ---- Bytes ----------------------------------------------------------------------------------

int next_byte(mp_context* c) {
  if (c->pushed >= 0) {
    const int b = c->pushed;
    c->pushed = -1;
    return b;
  }
  if (c->remaining == 0 || get_gblerr()) return kEof;
  --c->remaining;
  const int b = rd_read_byte();
  return get_gblerr() ? kEof : b;
}
void give_back(mp_context* c, int b) {
  if (b >= 0) c->pushed = b;
}
bool more_bytes(const mp_context* c) { return c->pushed >= 0 || c->remaining > 0; }

bool is_line_end(int b) { return b == '\n' || b == '\r'; }
bool is_blank(int b) { return b == ' ' || b == '\t'; }

// After a carriage return, a following line feed belongs to the same line end.
void finish_line_end(mp_context* c, int b) {
  if (b != '\r') return;
  const int next = next_byte(c);
  if (next != '\n') give_back(c, next);
}

// Skips to the end of the line, the line end included.
void skip_rest(mp_context* c) {
  int b;
  while ((b = next_byte(c)) != kEof && !is_line_end(b)) {
  }
  finish_line_end(c, b);
}

// A word of at most `max` characters after leading blanks, ended by a blank, a line end
// or the end of the file (or also by `extra` when not 0). Returns the byte that ended
// it (kEof at the end of the file); a line end is consumed whole.
int read_word(mp_context* c, char* out, int max, int extra = 0) {
  int b = next_byte(c);
  while (is_blank(b)) b = next_byte(c);
  int n = 0;
  while (b != kEof && !is_blank(b) && !is_line_end(b) && (extra == 0 || b != extra)) {
    if (n < max) out[n++] = char(b);
    b = next_byte(c);
  }
  out[n] = '\0';
  finish_line_end(c, b);
  return b;
}

// A value's first word; the rest of the line is skipped.
void read_first_word(mp_context* c, char* out) {
  const int end = read_word(c, out, kMpWordMax);
  if (end != kEof && !is_line_end(end)) skip_rest(c);
}

// ---- Numbers --------------------------------------------------------------------------------

// True when the text begins (after one sign) with a digit, or a separator and a digit.
bool has_digits(const char* s) {
  if (*s == '+') ++s;
  if (*s == '-') ++s;
  if (std::isdigit(static_cast<unsigned char>(*s))) return true;
  return (*s == '.' || *s == ',') && std::isdigit(static_cast<unsigned char>(s[1]));
}

// An integer with base detection (decimal, "0x" hexadecimal, leading "0" octal), held
// in 64 bits: a value beyond them saturates. An empty word is 0.
int64_t read_integer(const char* word) {
  return std::strtoll(word, nullptr, 0);
}

int32_t clamp32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return int32_t(v);
}

// ---- Objects --------------------------------------------------------------------------------

// Counts what an object or a coordinate list costs; past each stride the budget is looked
// at, and an exhausted one ends the read (a line of a few bytes may copy a long label).
void count_made(mp_context* c, int64_t bytes) {
  c->made += bytes;
  if (c->made < c->next_check) return;
  c->next_check = c->made + kBudgetStride;
  if (compute_mem_budget() < kBudgetMargin) set_gblerr(ERR_MEMORY);
}

template <class T> void store(T* field, T value) { std::memcpy(field, &value, sizeof value); }

// The label as a wide string in the owned field.
void set_wide(char16_t** field, const std::string& text) {
  char16_t* w = nullptr;
  std::memcpy(&w, field, sizeof w);
  mbs_to_wcs(text.c_str(), &w);
  std::memcpy(field, &w, sizeof w);
}
bool has_wide(char16_t* const* field) {
  char16_t* w = nullptr;
  std::memcpy(&w, field, sizeof w);
  return w && *w;
}

// ---- Handlers -------------------------------------------------------------------------------

// The key's value as a label: bytes to the line end, "~[...]" codes dropped.
void read_label(mp_context* c, std::string* out) {
  out->clear();
  auto put = [&](int b) {
    if (out->size() < size_t(kMpLabelMax)) out->push_back(char(b));
  };
  int b = next_byte(c);
  while (b != kEof && !is_line_end(b)) {
    if (b == '~') {
      const int next = next_byte(c);
      if (next == '[') {
        // A code runs to its "]"; one left open ends at the line end.
        do b = next_byte(c);
        while (b != kEof && b != ']' && !is_line_end(b));
        if (b == ']') b = next_byte(c);
        continue;
      }
      put('~');
      b = next;
      continue;
    }
    put(b);
    b = next_byte(c);
  }
  finish_line_end(c, b);
}

void key_skip(mp_context* c) { skip_rest(c); }

void key_word(mp_context* c) {
  char word[kMpWordMax + 1];
  read_first_word(c, word);
}

// The next number of a custom datum line: a word ended by a blank, a comma or the line
// end. Returns false (and *line_done when the line end was met) when there is none.
bool datum_number(mp_context* c, double* out, bool* line_done) {
  if (*line_done) return false;
  char word[kMpWordMax + 1];
  int end;
  do {
    end = read_word(c, word, kMpWordMax, ',');
  } while (!word[0] && end == ',');
  if (end == kEof || is_line_end(end)) *line_done = true;
  if (!word[0] || !has_digits(word)) return false;
  parse_number(word, out);
  return std::isfinite(*out);
}

// "Custom": three shifts to WGS 84 (metres), then the ellipsoid's semi-major axis and
// inverse flattening. A value missing or out of range finds no datum.
geodatum_t* custom_datum(mp_context* c, bool* line_done) {
  double v[5];
  for (double& x : v)
    if (!datum_number(c, &x, line_done)) return nullptr;
  if (!(v[3] > 1.0e6 && v[3] < 1.0e8) || !(v[4] == 0.0 || (v[4] > 1.0 && v[4] < 1.0e9)))
    return nullptr;
  const double params[2] = {v[3], v[4]};
  const double shift[10] = {v[0], v[1], v[2], 0, 0, 0, 0, 0, 0, 0};
  geodatum_t* d = nullptr;
  crs_gtm_custom(params, shift, &d);
  return d;
}

void key_datum(mp_context* c) {
  char word[kMpWordMax + 1];
  const int end = read_word(c, word, kMpWordMax);
  bool line_done = end == kEof || is_line_end(end);
  geodatum_t* datum = nullptr;
  if (std::strcmp(word, "Custom") == 0)
    datum = custom_datum(c, &line_done);
  else if (word[0])
    geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_POLISH, word, &datum);
  if (!line_done) skip_rest(c);
  georef_t* g = c->georef;
  if (!datum || !g) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  // Coordinates of the format are degrees, whatever the datum's own unit.
  g->refertype = GEOREF_GEOGRAPHIC;
  g->datum = datum;
  g->projection = nullptr;
  georef_set_unit(g, ANG_DEGREE);
  georef_unit_step(g);
}

void lookup_feature(mp_context* c) { c->feature = mp_classify(c->type, c->subtype, c->kind); }

void key_type(mp_context* c) {
  char word[kMpWordMax + 1];
  read_first_word(c, word);
  const int64_t n = read_integer(word);
  if (n > 0xFFFF) {
    // Not a type of the format: no feature, also for a SubType that follows.
    c->type = -1;
    c->subtype = -1;
  } else if (n > 255) {
    c->subtype = int32_t(n & 0xFF);
    c->type = int32_t(n >> 8 & 0xFF);
  } else {
    c->type = clamp32(n);
  }
  lookup_feature(c);
}

void key_subtype(mp_context* c) {
  char word[kMpWordMax + 1];
  read_first_word(c, word);
  c->subtype = clamp32(read_integer(word));
  lookup_feature(c);
}

void key_city(mp_context* c) {
  if (c->kind != kPolishPoi) return skip_rest(c);
  const int b = next_byte(c);
  if (b == '0' || b == 'Y') c->section = MP_SECTION_CITY;
  if (b == kEof) return;
  if (is_line_end(b))
    finish_line_end(c, b);
  else
    skip_rest(c);
}

void key_label(mp_context* c) {
  read_label(c, &c->label);
  c->have_label = true;
  if (!c->object) return;
  if (c->object_class == CLS_NODE) {
    auto* n = static_cast<node_t*>(c->object);
    set_wide(&n->name, c->label);
    set_wide(&n->label, c->label);
  } else if (c->object_class == CLS_WAYLINE) {
    auto* l = static_cast<wayline_t*>(c->object);
    set_wide(&l->name, c->label);
    set_wide(&l->label, c->label);
  }
}

void key_cityname(mp_context* c) {
  if (c->section == MP_SECTION_CITY)
    key_label(c);
  else
    skip_rest(c);
}

void key_label2(mp_context* c) {
  std::string text;
  read_label(c, &text);
  if (!c->object) return;
  if (c->object_class == CLS_NODE) {
    auto* n = static_cast<node_t*>(c->object);
    set_wide(&n->ref, text);
    if (!has_wide(&n->label)) set_wide(&n->label, text);
  } else if (c->object_class == CLS_WAYLINE) {
    auto* l = static_cast<wayline_t*>(c->object);
    set_wide(&l->ref, text);
    if (!has_wide(&l->label)) set_wide(&l->label, text);
  }
}

// Outcome of the coordinate pairs of a line.
struct pair_list {
  std::vector<double> xy;  // longitude, latitude of each pair
  bool cut_short = false;  // the end of the file came inside a pair
};

// One coordinate word: after leading blanks, to a ',' or the line end (kept out of the
// word; a CR LF is one line end). Returns the byte that ended it.
int coord_word(mp_context* c, char* out) {
  int b = next_byte(c);
  while (is_blank(b)) b = next_byte(c);
  int n = 0;
  while (b != kEof && b != ',' && !is_line_end(b)) {
    if (n < kMpCoordWordMax) out[n++] = char(b);
    b = next_byte(c);
  }
  out[n] = '\0';
  finish_line_end(c, b);
  return b;
}

// A number of a coordinate word (`from` past its "(" for the first), or false.
bool coord_value(const char* from, double* out) {
  while (is_blank(static_cast<unsigned char>(*from))) ++from;
  if (!has_digits(from)) return false;
  parse_number(from, out);
  return std::isfinite(*out);
}

// Whether the list can take one more pair: a list that must grow to a large new block
// first looks at the memory budget, which the new block and the old one must fit.
bool room_for_pair(std::vector<double>* xy) {
  if (xy->size() + 2 <= xy->capacity() || xy->capacity() < (size_t(1) << 20)) return true;
  const double grown = double(xy->capacity()) * 2 * sizeof(double);
  if (compute_mem_budget() < grown * 1.5 + kBudgetMargin) return false;
  xy->reserve(xy->capacity() * 2);
  return true;
}

// The pairs "(lat,lon),(lat,lon)..." of the rest of the line; the line is consumed.
void read_pairs(mp_context* c, pair_list* pairs) {
  char first[kMpCoordWordMax + 1];
  char second[kMpCoordWordMax + 1];
  for (;;) {
    const int end1 = coord_word(c, first);
    const char* open = std::strchr(first, '(');
    if (end1 == kEof && open) pairs->cut_short = true;
    if (end1 != ',') return;  // no longitude: the line (or the file) ended
    double lat = 0, lon = 0;
    if (!open || !coord_value(open + 1, &lat)) return skip_rest(c);
    const int end2 = coord_word(c, second);
    if (end2 == kEof && !std::strchr(second, ')')) {
      pairs->cut_short = true;
      return;
    }
    if (!coord_value(second, &lon)) {
      if (end2 == ',') skip_rest(c);
      return;
    }
    if (pairs->xy.size() / 2 >= kMaxPairs || !room_for_pair(&pairs->xy)) {
      set_gblerr(ERR_MEMORY);
      return;
    }
    pairs->xy.push_back(lon);
    pairs->xy.push_back(lat);
    count_made(c, 2 * sizeof(double));
    if (get_gblerr()) return;
    if (end2 != ',') return;
  }
}

void make_node(mp_context* c, const pair_list& pairs) {
  node_t* n = nullptr;
  obj_new_in_list(c->list, CLS_NODE, reinterpret_cast<obj_t**>(&n));
  if (!n) return;
  gps_point_t p{};
  p.x = pairs.xy[0];
  p.y = pairs.xy[1];
  store(&n->coords, p);
  store(&n->feature, c->feature);
  if (c->have_label) {
    set_wide(&n->name, c->label);
    set_wide(&n->label, c->label);
  }
  c->object = n;
  c->object_class = CLS_NODE;
}

void make_wayline(mp_context* c, const pair_list& pairs) {
  wayline_t* l = nullptr;
  obj_new_in_list(c->list, CLS_WAYLINE, reinterpret_cast<obj_t**>(&l));
  if (!l) return;
  const int n = int(pairs.xy.size() / 2);
  coord_list coords{};
  coords_set(&coords, n, pairs.xy.data());
  if (c->kind == kPolishPolygon) coords_close_ring(&coords);
  store(&l->loicoord, coords);
  double mean[2] = {0, 0};
  crs_points_centroid(n, pairs.xy.data(), mean);
  gps_textpos_t t{};
  t.x = mean[0];
  t.y = mean[1];
  store(&l->txtcoord, t);
  store(&l->feature, c->feature);
  if (c->have_label) {
    set_wide(&l->name, c->label);
    set_wide(&l->label, c->label);
  }
  c->object = l;
  c->object_class = CLS_WAYLINE;
}

void key_data(mp_context* c) {
  pair_list pairs;
  read_pairs(c, &pairs);
  if (get_gblerr()) return;
  // A line without a whole pair makes nothing.
  if (!pairs.xy.empty()) {
    if (c->kind == kPolishPoi)
      make_node(c, pairs);
    else if (c->kind == kPolishPolyline || c->kind == kPolishPolygon)
      make_wayline(c, pairs);
    // The object, its name and display text (wide), its coordinates.
    if (c->object)
      count_made(c, 256 + int64_t(c->label.size()) * 4 + int64_t(pairs.xy.size()) * 8);
  }
  if (pairs.cut_short && !get_gblerr()) set_gblerr(ERR_BAD_FILE);
}

using key_handler = void (*)(mp_context*);
constexpr key_handler kHandlers[kMpKeyHandlers] = {
    key_skip,      // 0 unknown
    key_datum,     // 1
    key_word,      // 2 units
    key_type,      // 3
    key_city,      // 4
    key_label,     // 5
    key_skip,      // 6 EndLevel
    key_data,      // 7 Data0, Origin0
    key_cityname,  // 8
    key_skip,      // 9 File0..8
    key_skip,      // 10 RgnType, DefaultType
    key_skip,      // 11 name
    key_word,      // 12 Color
    key_word,      // 13 Height, Depth
    key_subtype,   // 14
    key_word,      // 15 ReferenceEllipsoid
    key_label2,    // 16 StreetDesc, Label2
    key_skip,      // 17 other levels
};

// ---- The lexer ------------------------------------------------------------------------------

enum : uint8_t { A_NONE = 0, A_RESET = 1, A_APPEND = 2, A_SECTION = 3, A_KEY = 4, A_SKIP = 5 };

struct transition {
  uint8_t action, next;
};

// Character classes: 0 "[", 1 "]", 2 ";", 3 blank, 4 line end, 5 "=", 6 any other.
int char_class(int b) {
  switch (b) {
    case '[': return 0;
    case ']': return 1;
    case ';': return 2;
    case ' ':
    case '\t': return 3;
    case '\n':
    case '\r': return 4;
    case '=': return 5;
    default: return 6;
  }
}

// States: 0 outside a section, 1 in a section name, 2 at the start of a line inside a
// section, 3 in a key name, 4 in a bracketed name inside a section.
constexpr transition kTransitions[5][7] = {
    {{0, 1}, {1, 0}, {5, 0}, {0, 0}, {0, 0}, {1, 0}, {1, 0}},
    {{1, 0}, {3, 2}, {1, 0}, {2, 1}, {1, 0}, {1, 0}, {2, 1}},
    {{0, 4}, {1, 0}, {5, 2}, {0, 2}, {0, 2}, {1, 0}, {2, 3}},
    {{1, 0}, {1, 0}, {1, 0}, {0, 3}, {0, 2}, {4, 2}, {2, 3}},
    {{1, 0}, {3, 0}, {1, 0}, {2, 4}, {1, 0}, {1, 0}, {2, 4}},
};

void reset(mp_context* c) {
  c->token_end = c->token;
  c->token_length = 0;
  c->type = 0;
  c->subtype = 0;
  c->feature = nullptr;
  c->label.clear();
  c->have_label = false;
  c->object = nullptr;
  c->object_class = 0;
}

void append(mp_context* c, int b) {
  if (c->token_end < c->token + kMpTokenSize - 1) *c->token_end++ = char(b);
  ++c->token_length;
}

int lookup(const container_t* dict, mp_context* c) {
  *c->token_end = '\0';
  int code = 0;
  dict_lookup(dict, c->token, 0, &code);
  return code;
}

void section_end(mp_context* c) {
  core_progress_file_position(is_french() ? "Lecture" : "Reading");
  c->section = lookup(mp_section_dict(), c);
  switch (c->section) {
    case MP_SECTION_POI:
    case MP_SECTION_CITY: c->kind = kPolishPoi; break;
    case MP_SECTION_LINE: c->kind = kPolishPolyline; break;
    case MP_SECTION_AREA: c->kind = kPolishPolygon; break;
    default: break;
  }
  reset(c);
}

void key_end(mp_context* c) {
  c->key = lookup(mp_key_dict(), c);
  if (c->key < 0 || c->key >= kMpKeyHandlers) c->key = 0;
  kHandlers[c->key](c);
  c->token_end = c->token;
  c->token_length = 0;
}

}  // namespace

void mp_lex(mp_context* c) {
  reset(c);
  int state = 0;
  while (more_bytes(c)) {
    const int b = next_byte(c);
    if (b == kEof) break;
    const transition t = kTransitions[state][char_class(b)];
    switch (t.action) {
      case A_RESET: reset(c); break;
      case A_APPEND: append(c, b); break;
      case A_SECTION: section_end(c); break;
      case A_KEY: key_end(c); break;
      case A_SKIP: skip_rest(c); break;
      default: break;
    }
    state = t.next;
    if (get_gblerr()) return;
  }
}

int mp_read(obj_t* file, container_t* list) {
  if (!file || !list || rd_open(file, kPolishReadBuffer, 1) != 0) {
    set_gblerr(ERR_FILE_ACCESS);
    return 128;
  }
  const int64_t size = rd_size();
  auto* c = new (std::nothrow) mp_context;
  if (!c) {
    set_gblerr(ERR_MEMORY);
    return 0;
  }
  c->list = list;
  c->remaining = size > 0 ? uint64_t(size) : 0;
  georef_create(list, &c->georef);
  if (!get_gblerr()) mp_lex(c);
  if (!get_gblerr()) mp_build_folders(file, list);
  delete c;
  return 0;
}

// The MIF reader's tables: the keyword dictionary (32 words), the unit dictionary (7
// MapInfo unit names and their linear units, read both ways), the transition table of
// the reading state machine, and the module start-up.
//
// States: 0 header; 1 data section, no current object; 2 after point or multipoint;
// 3 after line or arc; 4 after pline; 5 after region; 6 after text; 7 after rect,
// roundrect or ellipse; 8 inside a collection; 9 after coordsys.
#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/dict.h"
#include "core/object.h"
#include "formats/dict_slots.h"
#include "formats/file_load.h"
#include "formats/mif.h"
#include "formats/mif_read_internal.h"
#include "geodesy/xform_records.h"

namespace {

tag_t g_keyword_table[] = {
    make_tag("point", MIF_POINT),           make_tag("line", MIF_LINE),
    make_tag("pline", MIF_PLINE),           make_tag("region", MIF_REGION),
    make_tag("arc", MIF_ARC),               make_tag("text", MIF_TEXT),
    make_tag("rect", MIF_RECT),             make_tag("roundrect", MIF_ROUNDRECT),
    make_tag("ellipse", MIF_ELLIPSE),       make_tag("multipoint", MIF_MULTIPOINT),
    make_tag("collection", MIF_COLLECTION), make_tag("none", MIF_NONE),
    make_tag("pen", MIF_PEN),               make_tag("symbol", MIF_SYMBOL),
    make_tag("brush", MIF_BRUSH),           make_tag("font", MIF_FONT),
    make_tag("smooth", MIF_SMOOTH),         make_tag("center", MIF_CENTER),
    make_tag("angle", MIF_ANGLE),           make_tag("justify", MIF_JUSTIFY),
    make_tag("spacing", MIF_SPACING),       make_tag("label", MIF_LABEL),
    make_tag("data", MIF_DATA),             make_tag("coordsys", MIF_COORDSYS),
    make_tag("delimiter", MIF_DELIMITER),   make_tag("transform", MIF_TRANSFORM),
    make_tag("unique", MIF_UNIQUE),         make_tag("index", MIF_INDEX),
    make_tag("columns", MIF_COLUMNS),       make_tag("charset", MIF_CHARSET),
    make_tag("projection", MIF_PROJECTION), make_tag("affine", MIF_AFFINE),
};
static_assert(sizeof g_keyword_table / sizeof g_keyword_table[0] == kMifKeywordCount);

tag_t g_unit_table[] = {
    make_tag("m", 0), make_tag("ft", 1), make_tag("nmi", 2),       make_tag("km", 3),
    make_tag("y", 5), make_tag("survey ft", 6), make_tag("mi", 19),
};
static_assert(sizeof g_unit_table / sizeof g_unit_table[0] == kMifUnitCount);

// Written at start-up, read by the load task and the export.
std::atomic<container_t*> g_keywords{nullptr};
std::atomic<container_t*> g_units{nullptr};
std::atomic<container_t*> g_unit_names{nullptr};

// The transformation steps of the files read (see mif_keep_step).
std::mutex g_steps_lock;
std::vector<obj_t*> g_steps;

using dict_slots::build;
using dict_slots::free_dict;

void free_dicts() {
  free_dict(g_unit_names);  // an index over the units: before them
  free_dict(g_units);
  free_dict(g_keywords);
}

// ---- Transitions ---------------------------------------------------------------------------
constexpr mif_transition E = {mif_error, 0};
constexpr mif_transition N(int next) { return {nullptr, next}; }
constexpr mif_transition H(mif_handler h, int next) { return {h, next}; }

// An object keyword: E in the header, the handler in states 1 to 7 and 9, `inside` in a
// collection.
struct row {
  mif_transition at[kMifStateCount];
};
constexpr row object_row(mif_handler h, int next, bool in_collection) {
  const mif_transition t = H(h, next);
  return {{E, t, t, t, t, t, t, t, in_collection ? t : E, t}};
}
// A style clause: the handler in the states it belongs to, nothing in the others of 2 to
// 7 (the state stays), E in the header, state 1 and a collection, and back to the header
// after coordsys.
constexpr row style_row(mif_handler h, const bool (&used)[kMifStateCount]) {
  row r{};
  r.at[0] = E;
  r.at[1] = E;
  for (int s = 2; s <= 7; ++s) r.at[s] = used[s] ? H(h, s) : N(s);
  r.at[8] = E;
  r.at[9] = N(0);
  return r;
}
// A header keyword: `first` in the header (and `after_coordsys` in state 9), E elsewhere.
constexpr row header_row(mif_transition first, mif_transition after_coordsys) {
  return {{first, E, E, E, E, E, E, E, E, after_coordsys}};
}

constexpr bool kPen[kMifStateCount] = {false, false, false, true, true, true, false, true, false, false};
constexpr bool kSymbol[kMifStateCount] = {false, false, true, false, false, false, false, false, false, false};
constexpr bool kBrush[kMifStateCount] = {false, false, false, false, false, true, false, true, false, false};
constexpr bool kFont[kMifStateCount] = {false, false, false, false, false, false, true, false, false, false};
constexpr bool kLabel[kMifStateCount] = {false, false, false, false, false, false, true, false, false, false};
constexpr bool kNone[kMifStateCount] = {};

constexpr row kRows[kMifKeywordCount + 1] = {
    object_row(mif_on_point, 2, false),            // point
    object_row(mif_on_line, 3, false),             // line
    object_row(mif_on_pline, 4, true),             // pline
    object_row(mif_on_region, 5, true),            // region
    object_row(mif_on_arc, 3, false),              // arc
    object_row(mif_on_text, 6, false),             // text
    object_row(mif_on_rect, 7, false),             // rect
    object_row(mif_on_roundrect, 7, false),        // roundrect
    object_row(mif_on_ellipse, 7, false),          // ellipse
    object_row(mif_on_multipoint, 2, true),        // multipoint
    {{E, N(8), N(1), N(8), N(8), N(8), N(8), N(8), E, N(8)}},          // collection
    {{E, N(1), N(8), N(1), N(1), N(1), N(1), N(1), N(1), N(1)}},       // none
    style_row(mif_on_pen, kPen),                   // pen
    style_row(mif_on_symbol, kSymbol),             // symbol
    style_row(mif_on_brush, kBrush),               // brush
    style_row(mif_on_font, kFont),                 // font
    style_row(nullptr, kNone),                     // smooth
    style_row(nullptr, kNone),                     // center
    style_row(nullptr, kNone),                     // angle
    style_row(nullptr, kNone),                     // justify
    style_row(nullptr, kNone),                     // spacing
    style_row(mif_on_label, kLabel),               // label
    header_row(N(1), E),                           // data
    header_row(H(mif_on_coordsys, 9), E),          // coordsys
    header_row(N(0), E),                           // delimiter
    header_row(H(mif_on_transform, 0), E),         // transform
    header_row(N(0), E),                           // unique
    header_row(N(0), E),                           // index
    header_row(H(mif_on_columns, 0), H(mif_on_columns, 0)),  // columns
    header_row(N(0), E),                           // charset
    header_row(E, H(mif_on_projection, 9)),        // projection
    header_row(E, H(mif_on_affine, 9)),            // affine
    {{N(0), N(1), N(2), N(3), N(4), N(5), N(6), N(7), E, N(0)}},       // any other word
};

}  // namespace

const mif_transition& mif_transition_of(int state, int code) {
  if (code < 0 || code > kMifOther) code = kMifOther;
  if (state < 0 || state >= kMifStateCount) state = 0;
  return kRows[code].at[state];
}

void mif_keep_step(obj_t* step) {
  if (!step) return;
  std::lock_guard<std::mutex> g(g_steps_lock);
  g_steps.push_back(step);
}

void mif_free_tables() {
  {
    std::lock_guard<std::mutex> g(g_steps_lock);
    // Chains first: they only point at the other steps.
    for (int pass = 0; pass < 2; ++pass)
      for (obj_t*& s : g_steps)
        if (s && (s->cls == CLS_XFORM_CHAIN) == (pass == 0)) free_obj(&s);
    g_steps.clear();
  }
  free_dicts();
}

void mif_module_init() {
  free_dicts();
  build(g_keyword_table, g_keywords);
  build(g_unit_table, g_units);
  container_t* reverse = nullptr;
  dict_create_reverse(g_units.load(), &reverse);
  g_unit_names.store(reverse, std::memory_order_release);
  register_format_reader(kMifFormat, mif_read);
}

namespace {
// The word in lower case, cut to the buffer.
void lower_copy(const char* word, char* out, size_t size) {
  size_t i = 0;
  for (; word && word[i] && i + 1 < size; ++i)
    out[i] = char(std::tolower(static_cast<unsigned char>(word[i])));
  out[i] = '\0';
}
}  // namespace

int mif_keyword_code(const char* word) {
  char lower[24];
  if (!word || std::strlen(word) >= sizeof lower) return kMifOther;
  lower_copy(word, lower, sizeof lower);
  int code = kMifOther;
  dict_lookup(g_keywords.load(std::memory_order_acquire), lower, kMifOther, &code);
  return code;
}

int mif_unit_index(const char* name) {
  char lower[24];
  if (!name || std::strlen(name) >= sizeof lower) return 0;
  lower_copy(name, lower, sizeof lower);
  int unit = 0;
  dict_lookup(g_units.load(std::memory_order_acquire), lower, 0, &unit);
  return unit;
}

const char* mif_unit_text(int linear_unit) {
  const char* name = nullptr;
  dict_find_name(g_unit_names.load(std::memory_order_acquire), linear_unit, &name);
  return name;
}

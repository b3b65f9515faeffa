// The font table and the texts: the five faces of the map's texts, the weights of the
// thickness indexes, the font cache of the drawing routines, the drawing of one text and
// the measure of a text for the graphic index.
//
// Faces are the system's own names; the drawing layer renders each with a DejaVu face.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

#include "core/error.h"
#include "core/wstring.h"
#include "map/draw_gdi_internal.h"

namespace {

constexpr const char* kFaces[kFontSlots] = {"MS Sans Serif", "Arial", "Times New Roman",
                                            "Courier New", "Small Fonts"};
constexpr int kWeights[5] = {100, 400, 500, 700, 900};
constexpr int kSmallFontsIndex = 4;
constexpr int kSmallFontsBelow = 8;
constexpr int kProofQuality = 2;

struct font_table {
  std::mutex mu;
  std::array<std::array<char, kFontNameSize>, kFontSlots> names{};
  bool filled = false;
};

font_table& table() {
  static font_table t;
  return t;
}

bool name_char(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ' '; }

// The font of a text: italic for underital 1 and 3, underline for 2 and 3.
plat::Font make_font(int font, int height, int width, int weight, int underital) {
  char face[kFontNameSize];
  font_name_at(font, face);
  const int italic = underital == 1 || underital == 3;
  const int underline = underital == 2 || underital == 3;
  return plat::create_font(height, width, 0, 0, font_weight_of(weight), italic, underline, 0, 0,
                           0, 0, kProofQuality, 0, face);
}

}  // namespace

void font_table_init() {
  font_table& t = table();
  std::lock_guard<std::mutex> lock(t.mu);
  for (int i = 0; i < kFontSlots; ++i) {
    t.names[i].fill(0);
    std::strncpy(t.names[i].data(), kFaces[i], kFontNameSize - 1);
  }
  t.filled = true;
}

void font_name_at(int index, char out[kFontNameSize]) {
  if (index < 0 || index >= kFontSlots) index = 0;
  font_table& t = table();
  std::array<char, kFontNameSize> slot{};
  {
    std::lock_guard<std::mutex> lock(t.mu);
    if (t.filled)
      slot = t.names[index];
    else
      std::strncpy(slot.data(), kFaces[index], kFontNameSize - 1);
  }
  // Leading characters other than letters and blanks are skipped, then at most 63
  // letters and blanks are taken.
  int i = 0;
  while (i < kFontNameSize && slot[i] && !name_char(slot[i])) ++i;
  int n = 0;
  while (i < kFontNameSize && n < kFontNameSize - 1 && name_char(slot[i])) out[n++] = slot[i++];
  out[n] = 0;
}

int font_weight_of(int index) { return index >= 0 && index < 5 ? kWeights[index] : 400; }

void select_font(int font, int size, int weight, int underital, uint32_t colour) {
  draw_state& s = draw_st();
  font_cache& c = s.font;
  const uint32_t rgb = colour & 0xFFFFFFu;
  if (!s.dc) return;
  if (c.valid && c.font == font && c.size == size && c.weight == weight &&
      c.underital == underital && c.rgb == rgb && c.dc == s.dc)
    return;
  plat::set_text_color(s.dc, word_colour(rgb));
  const int face = size < kSmallFontsBelow ? kSmallFontsIndex : font;
  plat::Font f = make_font(face, 2 * size, size, weight, underital);
  if (!f) {
    set_gblerr(ERR_OS);
    c.valid = false;
    return;
  }
  c = font_cache{true, font, size, weight, underital, rgb, s.dc, c.handle};
  plat::select_object(s.dc, f);
  plat::delete_object(c.handle);
  c.handle = f;
}

int label_units(const char16_t* text) {
  if (!text) return 0;
  int n = 0;
  while (n < kLabelMaxUnits && text[n]) ++n;
  // A high surrogate whose low half lies beyond the bound goes too.
  if (n == kLabelMaxUnits && text[n] && text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;
  return n;
}

int text_extent(int font, int size, int weight, int underital, const char16_t* text, int* width,
                int* height) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (!text) return 0;
  plat::Font f = make_font(font, int(1.5 * size), 0, weight, underital);
  if (!f) {
    set_gblerr(ERR_OS);
    return 0;
  }
  // Faces are device-independent here: a memory context measures as a window's would,
  // also in the load task before any window exists.
  plat::Dc dc = plat::create_compatible_dc(nullptr);
  plat::GdiObj old = plat::select_object(dc, f);
  plat::Size sz{};
  plat::get_text_extent_point(dc, text, label_units(text), &sz);
  plat::select_object(dc, old);
  plat::delete_dc(dc);
  plat::delete_object(f);
  if (width) *width = sz.cx;
  if (height) *height = sz.cy;
  return 1;
}

void draw_screen_text(int font, int size, int weight, int underital, uint32_t colour,
                      const char16_t* text, screen_pt p) {
  draw_state& s = draw_st();
  if (!s.dc || !text || !text[0]) return;
  // 16-bit devices: a text reaching their range is left out.
  const double limit = kGdiCoordLimit - s.width;
  if (!(std::fabs(p.x) < limit && std::fabs(p.y) < limit)) return;
  select_font(font, size, weight, underital, colour);
  if (!s.font.valid) return;
  gdi_drawtext(text, label_units(text), device_coord(p.x, s.page_x), device_coord(p.y, s.page_y));
}

// The window system's own drawing kit, over the drawing layer (platform/gdi).
//
// Text widths are measured on one private memory context; a mutex keeps it to one
// thread at a time, since contexts are not shared between threads.
#include "platform/ui/ui_draw.h"

#include <algorithm>
#include <mutex>

#include "platform/ui/styles.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

namespace {

std::mutex g_measure_mutex;

Dc measure_dc() {
  static Dc dc = [] {
    Dc d = create_compatible_dc(nullptr);
    select_object(d, ui_font());
    return d;
  }();
  return dc;
}

}  // namespace

Font ui_font() {
  static Font font = create_font(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "MS Sans Serif");
  return font;
}

std::u16string strip_mnemonic(const std::u16string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (i + 1 < s.size() && s[i + 1] == u'&') {
        out.push_back(u'&');
        ++i;
      }
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

int text_width(const std::u16string& s) {
  std::u16string t = strip_mnemonic(s);
  if (t.empty()) return 0;
  std::lock_guard<std::mutex> lock(g_measure_mutex);
  Size sz;
  if (!get_text_extent_point(measure_dc(), t.c_str(), int(t.size()), &sz)) return int(t.size()) * 6;
  return sz.cx;
}

int text_width_in(Font font, const std::u16string& s) {
  if (s.empty()) return 0;
  if (!font) return text_width(s);
  std::lock_guard<std::mutex> lock(g_measure_mutex);
  Dc dc = measure_dc();
  GdiObj old = select_object(dc, font);
  Size sz;
  const bool ok = get_text_extent_point(dc, s.c_str(), int(s.size()), &sz);
  select_object(dc, old);
  return ok ? sz.cx : int(s.size()) * 6;
}

int text_height() {
  std::lock_guard<std::mutex> lock(g_measure_mutex);
  TextMetrics tm;
  if (!get_text_metrics(measure_dc(), &tm) || tm.height <= 0) return 13;
  return tm.height;
}

void fill_solid(Dc dc, const Rect& r, Color c) {
  if (r.empty()) return;
  Brush b = create_solid_brush(c);
  fill_rect(dc, r, b);
  delete_object(b);
}

void draw_label(Dc dc, int x, int y, const std::u16string& s, Color c) {
  std::u16string t = strip_mnemonic(s);
  if (t.empty()) return;
  Font old = select_object(dc, ui_font());
  int old_mode = set_bk_mode(dc, TRANSPARENT);
  Color old_color = set_text_color(dc, c);
  text_out(dc, x, y, t.c_str(), int(t.size()));
  set_text_color(dc, old_color);
  set_bk_mode(dc, old_mode);
  select_object(dc, old);
}

void draw_bevel(Dc dc, const Rect& r, bool raised) {
  if (r.empty()) return;
  fill_solid(dc, r, get_sys_color(COLOR_BTNFACE));
  Color light = get_sys_color(COLOR_3DHILIGHT), dark = get_sys_color(COLOR_3DSHADOW);
  Color tl = raised ? light : dark, br = raised ? dark : light;
  fill_solid(dc, Rect{r.left, r.top, r.right, r.top + 1}, tl);
  fill_solid(dc, Rect{r.left, r.top, r.left + 1, r.bottom}, tl);
  fill_solid(dc, Rect{r.left, r.bottom - 1, r.right, r.bottom}, br);
  fill_solid(dc, Rect{r.right - 1, r.top, r.right, r.bottom}, br);
}

void draw_arrow(Dc dc, const Rect& r, int direction, Color c) {
  const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  const int s = std::max(2, std::min(r.width(), r.height()) / 4);
  Point p[3];
  switch (direction) {
    case 0: p[0] = {cx - s, cy + s / 2}; p[1] = {cx + s, cy + s / 2}; p[2] = {cx, cy - s / 2 - 1}; break;
    case 1: p[0] = {cx - s, cy - s / 2}; p[1] = {cx + s, cy - s / 2}; p[2] = {cx, cy + s / 2 + 1}; break;
    case 2: p[0] = {cx + s / 2, cy - s}; p[1] = {cx + s / 2, cy + s}; p[2] = {cx - s / 2 - 1, cy}; break;
    default: p[0] = {cx - s / 2, cy - s}; p[1] = {cx - s / 2, cy + s}; p[2] = {cx + s / 2 + 1, cy}; break;
  }
  Brush b = create_solid_brush(c);
  Pen pen = create_pen(PS_SOLID, 1, c);
  GdiObj ob = select_object(dc, b), op = select_object(dc, pen);
  polygon(dc, p, 3);
  select_object(dc, ob);
  select_object(dc, op);
  delete_object(b);
  delete_object(pen);
}

}  // namespace plat::ui_detail

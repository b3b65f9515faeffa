// Painting of the button control, one routine per look: push button (also push-like
// boxes), check box, radio button, group box and owner-drawn button. Each asks the
// parent for its colours first (WM_CTLCOLORBTN).
#include <algorithm>
#include <string>

#include "platform/ui/ctl_paint.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

constexpr int kBoxSize = 13;  // check box square and radio circle
constexpr int kTextGap = 4;   // between the box and the text

struct Canvas {
  Dc dc = nullptr;
  Rect rc;
  Brush brush = nullptr;  // the parent's background brush; null: the button face
  Color text = 0;
  bool enabled = true;
};

void fill_background(const Canvas& c, const Rect& r) {
  if (c.brush) {
    fill_rect(c.dc, r, c.brush);
  } else {
    fill_solid(c.dc, r, get_sys_color(COLOR_BTNFACE));
  }
}

void edge(Dc dc, const Rect& r, Color top_left, Color bottom_right) {
  fill_solid(dc, Rect{r.left, r.top, r.right, r.top + 1}, top_left);
  fill_solid(dc, Rect{r.left, r.top, r.left + 1, r.bottom}, top_left);
  fill_solid(dc, Rect{r.left, r.bottom - 1, r.right, r.bottom}, bottom_right);
  fill_solid(dc, Rect{r.right - 1, r.top, r.right, r.bottom}, bottom_right);
}

Rect shrink(const Rect& r, int n) { return Rect{r.left + n, r.top + n, r.right - n, r.bottom - n}; }

// Text in the button's font; a disabled button's text is engraved (grey with a light
// shadow). Returns the rectangle the text takes.
Rect draw_caption(Wnd wnd, const Canvas& c, const ButtonData& d, Rect r, unsigned fmt, Color color) {
  std::u16string text = window_text_w(wnd);
  if (text.empty()) return Rect{r.left, r.top, r.left, r.top};
  GdiObj old_font = select_object(c.dc, d.font ? d.font : ui_font());
  set_bk_mode(c.dc, TRANSPARENT);
  Rect calc = r;
  draw_text(c.dc, text.c_str(), int(text.size()), &calc, fmt | DT_CALCRECT);
  if (!(fmt & DT_SINGLELINE)) {
    // Several lines: centred vertically by hand (draw_text centres single lines only).
    const int h = calc.height();
    r.top += (r.height() - h) / 2;
    r.bottom = r.top + h;
  }
  if (!c.enabled) {
    Rect shadow = offset_rect(r, 1, 1);
    set_text_color(c.dc, get_sys_color(COLOR_3DHILIGHT));
    draw_text(c.dc, text.c_str(), int(text.size()), &shadow, fmt);
    color = get_sys_color(COLOR_GRAYTEXT);
  }
  set_text_color(c.dc, color);
  draw_text(c.dc, text.c_str(), int(text.size()), &r, fmt);
  select_object(c.dc, old_font);
  // Where the text landed, for the focus rectangle.
  int x = r.left;
  if (fmt & DT_CENTER) x = r.left + (r.width() - calc.width()) / 2;
  if (fmt & DT_RIGHT) x = r.right - calc.width();
  int y = r.top;
  if ((fmt & DT_SINGLELINE) && (fmt & DT_VCENTER)) y = r.top + (r.height() - calc.height()) / 2;
  return Rect{x, y, x + calc.width(), y + calc.height()};
}

unsigned horizontal_format(uint32_t style, unsigned fallback) {
  switch (style & BS_CENTER) {
    case BS_LEFT: return DT_LEFT;
    case BS_RIGHT: return DT_RIGHT;
    case BS_CENTER: return DT_CENTER;
    default: return fallback;
  }
}

unsigned caption_format(uint32_t style, unsigned fallback) {
  unsigned f = horizontal_format(style, fallback);
  return f | ((style & BS_MULTILINE) ? unsigned(DT_WORDBREAK) : unsigned(DT_SINGLELINE | DT_VCENTER));
}

void draw_bitmap_centred(Dc dc, Bitmap bmp, const Rect& r) {
  const Size sz = get_bitmap_size(bmp);
  draw_bitmap_at(dc, bmp, r.left + (r.width() - sz.cx) / 2, r.top + (r.height() - sz.cy) / 2);
}

void paint_push(Wnd wnd, const ButtonData& d, const Canvas& c, uint32_t style) {
  Rect r = c.rc;
  fill_solid(c.dc, r, get_sys_color(COLOR_BTNFACE));
  if (button_type(style) == BS_DEFPUSHBUTTON) {
    edge(c.dc, r, get_sys_color(COLOR_WINDOWFRAME), get_sys_color(COLOR_WINDOWFRAME));
    r = shrink(r, 1);
  }
  const bool in = d.pushed || ((style & BS_PUSHLIKE) && d.check == BST_CHECKED);
  if (in) {
    // A push-like box held checked shows a lighter face than one merely pressed.
    if (!d.pushed) fill_solid(c.dc, shrink(r, 1), get_sys_color(COLOR_3DLIGHT));
    edge(c.dc, r, get_sys_color(COLOR_3DSHADOW), get_sys_color(COLOR_3DSHADOW));
  } else {
    edge(c.dc, r, get_sys_color(COLOR_3DHILIGHT), get_sys_color(COLOR_3DDKSHADOW));
    edge(c.dc, shrink(r, 1), get_sys_color(COLOR_BTNFACE), get_sys_color(COLOR_3DSHADOW));
  }
  Rect content = shrink(r, 3);
  if (in) content = offset_rect(content, 1, 1);
  if ((style & BS_BITMAP) && d.image) {
    draw_bitmap_centred(c.dc, d.image, content);
  } else {
    draw_caption(wnd, c, d, content, caption_format(style, DT_CENTER), get_sys_color(COLOR_BTNTEXT));
  }
  if (d.focused) draw_focus_rect(c.dc, shrink(r, 3));
}

// Where the box goes in a check box or radio button, and where the text goes.
void box_layout(const Rect& rc, uint32_t style, Rect* box, Rect* text) {
  const bool left_text = style & BS_LEFTTEXT;
  const int x = left_text ? rc.right - kBoxSize : rc.left;
  int y = rc.top + (rc.height() - kBoxSize) / 2;
  if ((style & BS_VCENTER) == BS_TOP) y = rc.top;
  if ((style & BS_VCENTER) == BS_BOTTOM) y = rc.bottom - kBoxSize;
  *box = Rect{x, y, x + kBoxSize, y + kBoxSize};
  *text = left_text ? Rect{rc.left, rc.top, x - kTextGap, rc.bottom} : Rect{x + kBoxSize + kTextGap, rc.top, rc.right, rc.bottom};
}

// The classic check mark: seven columns, three pixels tall each.
void draw_check_mark(Dc dc, const Rect& box, Color color) {
  static constexpr int kTop[7] = {2, 3, 4, 3, 2, 1, 0};
  for (int col = 0; col < 7; ++col) {
    const int x = box.left + 3 + col, y = box.top + 3 + kTop[col];
    fill_solid(dc, Rect{x, y, x + 1, y + 3}, color);
  }
}

void draw_check_box(Dc dc, const Rect& box, unsigned check, bool enabled, bool pushed) {
  fill_solid(dc, box, get_sys_color(enabled && !pushed ? COLOR_WINDOW : COLOR_BTNFACE));
  edge(dc, box, get_sys_color(COLOR_3DSHADOW), get_sys_color(COLOR_3DHILIGHT));
  edge(dc, shrink(box, 1), get_sys_color(COLOR_3DDKSHADOW), get_sys_color(COLOR_3DLIGHT));
  if (check == BST_UNCHECKED) return;
  const bool grey = !enabled || check == BST_INDETERMINATE;
  draw_check_mark(dc, box, get_sys_color(grey ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
}

void filled_ellipse(Dc dc, const Rect& r, Color outline, Color fill) {
  Pen pen = create_pen(PS_SOLID, 1, outline);
  Brush brush = create_solid_brush(fill);
  GdiObj op = select_object(dc, pen), ob = select_object(dc, brush);
  ellipse(dc, r.left, r.top, r.right, r.bottom);
  select_object(dc, op);
  select_object(dc, ob);
  delete_object(pen);
  delete_object(brush);
}

void draw_radio(Dc dc, const Rect& box, bool checked, bool enabled, bool pushed) {
  const Color face = get_sys_color(enabled && !pushed ? COLOR_WINDOW : COLOR_BTNFACE);
  filled_ellipse(dc, Rect{box.left, box.top, box.right - 1, box.bottom - 1}, get_sys_color(COLOR_3DSHADOW), face);
  if (!checked) return;
  const Color dot = get_sys_color(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
  filled_ellipse(dc, Rect{box.left + 3, box.top + 3, box.left + 9, box.top + 9}, dot, dot);
}

void paint_box(Wnd wnd, const ButtonData& d, const Canvas& c, uint32_t style) {
  fill_background(c, c.rc);
  Rect box, text;
  box_layout(c.rc, style, &box, &text);
  if (is_radio_type(button_type(style))) {
    draw_radio(c.dc, box, d.check != BST_UNCHECKED, c.enabled, d.pushed);
  } else {
    draw_check_box(c.dc, box, d.check, c.enabled, d.pushed);
  }
  Rect at = draw_caption(wnd, c, d, text, caption_format(style, DT_LEFT), c.text);
  if (d.focused && !at.empty()) draw_focus_rect(c.dc, Rect{at.left - 1, at.top, at.right + 1, at.bottom});
}

// A group box draws its etched frame and its title only: the controls inside it are
// its siblings and paint themselves.
void paint_group(Wnd wnd, const ButtonData& d, const Canvas& c, uint32_t style) {
  GdiObj old_font = select_object(c.dc, d.font ? d.font : ui_font());
  TextMetrics tm;
  get_text_metrics(c.dc, &tm);
  select_object(c.dc, old_font);
  Rect frame{c.rc.left, c.rc.top + tm.height / 2, c.rc.right, c.rc.bottom};
  edge(c.dc, Rect{frame.left, frame.top, frame.right - 1, frame.bottom - 1}, get_sys_color(COLOR_3DSHADOW),
       get_sys_color(COLOR_3DSHADOW));
  edge(c.dc, Rect{frame.left + 1, frame.top + 1, frame.right, frame.bottom}, get_sys_color(COLOR_3DHILIGHT),
       get_sys_color(COLOR_3DHILIGHT));
  std::u16string text = window_text_w(wnd);
  if (text.empty()) return;
  // The title's own background first, over the frame line.
  Rect title{c.rc.left + 8, c.rc.top, c.rc.right - 8, c.rc.top + tm.height};
  old_font = select_object(c.dc, d.font ? d.font : ui_font());
  Rect calc = title;
  draw_text(c.dc, text.c_str(), int(text.size()), &calc, DT_SINGLELINE | DT_LEFT | DT_CALCRECT);
  select_object(c.dc, old_font);
  fill_background(c, Rect{title.left, title.top, std::min(title.right, calc.right + 4), title.bottom});
  draw_caption(wnd, c, d, Rect{title.left + 2, title.top, title.right, title.bottom},
               horizontal_format(style, DT_LEFT) | DT_SINGLELINE, c.text);
}

void paint_owner_drawn(Wnd wnd, const ButtonData& d, const Canvas& c) {
  fill_background(c, c.rc);
  DrawItemStruct dis;
  dis.ctl_type = ODT_BUTTON;
  dis.ctl_id = unsigned(get_dlg_ctrl_id(wnd));
  dis.item_action = ODA_DRAWENTIRE;
  dis.item_state = (d.pushed ? ODS_SELECTED : 0u) | (c.enabled ? 0u : ODS_DISABLED) | (d.focused ? ODS_FOCUS : 0u) |
                   (d.check == BST_CHECKED ? ODS_CHECKED : 0u);
  dis.hwnd_item = wnd;
  dis.dc = c.dc;
  dis.rc_item = c.rc;
  send_message(get_parent(wnd), WM_DRAWITEM, WParam(dis.ctl_id), LParam(reinterpret_cast<intptr_t>(&dis)));
}

}  // namespace

void paint_button(Wnd wnd, ButtonData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Canvas c;
  c.dc = dc;
  get_client_rect(wnd, &c.rc);
  c.enabled = is_window_enabled(wnd);
  set_text_color(dc, get_sys_color(COLOR_BTNTEXT));
  set_bk_color(dc, get_sys_color(COLOR_BTNFACE));
  c.brush = ctl_color_brush(wnd, dc, WM_CTLCOLORBTN);
  c.text = get_text_color(dc);
  // The parent may have destroyed the button while it chose its colours.
  if (is_window(wnd)) {
    const uint32_t style = uint32_t(get_window_long(wnd, GWL_STYLE));
    const uint32_t type = button_type(style);
    if (type == BS_OWNERDRAW) {
      paint_owner_drawn(wnd, d, c);
    } else if (type == BS_GROUPBOX) {
      paint_group(wnd, d, c, style);
    } else if (looks_pushed_type(style)) {
      paint_push(wnd, d, c, style);
    } else {
      paint_box(wnd, d, c, style);
    }
  }
  end_paint(wnd, &ps);
}

}  // namespace plat::ui_detail

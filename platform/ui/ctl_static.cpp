// The static control: its state (font, picture) lives in a small record reached through
// the window's first per-window value; painting picks a routine by the style's type.
#include "platform/ui/ctl_paint.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_static.h"

#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_codes.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/window.h"

namespace plat {

using namespace ui_detail;

namespace {

struct StaticData {
  Font font = nullptr;     // WM_SETFONT's font; null: the interface font
  Bitmap image = nullptr;  // STM_SETIMAGE's picture (not owned)
};

StaticData* data_of(Wnd wnd) { return control_state_of<StaticData>(wnd); }

uint32_t style_of(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }

// What painting needs: the context, the client area, the parent's brush (null: the
// button face) and the text colour.
struct Canvas {
  Dc dc = nullptr;
  Rect rc;
  Brush brush = nullptr;
  Color text = 0;
};

void fill_background(const Canvas& c) {
  if (c.brush) {
    fill_rect(c.dc, c.rc, c.brush);
  } else {
    fill_solid(c.dc, c.rc, get_sys_color(COLOR_BTNFACE));
  }
}

unsigned text_format(uint32_t style) {
  unsigned f = DT_EXPANDTABS;
  switch (style & SS_TYPEMASK) {
    case SS_CENTER: f |= DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: f |= DT_RIGHT | DT_WORDBREAK; break;
    case SS_SIMPLE: f = DT_LEFT | DT_SINGLELINE; break;
    case SS_LEFTNOWORDWRAP: break;
    default: f |= DT_LEFT | DT_WORDBREAK; break;
  }
  if (style & SS_NOPREFIX) f |= DT_NOPREFIX;
  if (style & SS_CENTERIMAGE) f = (f & ~unsigned(DT_WORDBREAK)) | DT_SINGLELINE | DT_VCENTER;
  if (style & SS_ENDELLIPSIS) f = (f & ~unsigned(DT_WORDBREAK)) | DT_END_ELLIPSIS;
  return f;
}

void paint_text(Wnd wnd, const Canvas& c) {
  fill_background(c);
  std::u16string text = window_text_w(wnd);
  if (text.empty()) return;
  StaticData* d = data_of(wnd);
  GdiObj old_font = select_object(c.dc, d && d->font ? d->font : ui_font());
  set_bk_mode(c.dc, TRANSPARENT);
  set_text_color(c.dc, is_window_enabled(wnd) ? c.text : get_sys_color(COLOR_GRAYTEXT));
  Rect r = c.rc;
  draw_text(c.dc, text.c_str(), int(text.size()), &r, text_format(style_of(wnd)));
  select_object(c.dc, old_font);
}

void paint_bitmap(Wnd wnd, const Canvas& c) {
  fill_background(c);
  StaticData* d = data_of(wnd);
  if (!d || !d->image) return;
  Size sz = get_bitmap_size(d->image);
  int x = 0, y = 0;
  if (style_of(wnd) & SS_CENTERIMAGE) {
    x = (c.rc.width() - sz.cx) / 2;
    y = (c.rc.height() - sz.cy) / 2;
  }
  draw_bitmap_at(c.dc, d->image, x, y);
}

void paint_solid(const Canvas& c, int sys_color) { fill_solid(c.dc, c.rc, get_sys_color(sys_color)); }

void paint_frame(const Canvas& c, int sys_color) {
  fill_background(c);
  Brush b = create_solid_brush(get_sys_color(sys_color));
  frame_rect(c.dc, c.rc, b);
  delete_object(b);
}

// An etched line: a shadow line with a highlight line beside it.
void paint_etched(const Canvas& c, bool horizontal, bool vertical) {
  fill_background(c);
  const Color dark = get_sys_color(COLOR_3DSHADOW), light = get_sys_color(COLOR_3DHILIGHT);
  const Rect& r = c.rc;
  if (horizontal) {
    fill_solid(c.dc, Rect{r.left, r.top, r.right, r.top + 1}, dark);
    fill_solid(c.dc, Rect{r.left, r.top + 1, r.right, r.top + 2}, light);
  }
  if (vertical) {
    fill_solid(c.dc, Rect{r.left, r.top, r.left + 1, r.bottom}, dark);
    fill_solid(c.dc, Rect{r.left + 1, r.top, r.left + 2, r.bottom}, light);
  }
  if (horizontal && vertical) {
    fill_solid(c.dc, Rect{r.left, r.bottom - 2, r.right, r.bottom - 1}, dark);
    fill_solid(c.dc, Rect{r.left, r.bottom - 1, r.right, r.bottom}, light);
    fill_solid(c.dc, Rect{r.right - 2, r.top, r.right - 1, r.bottom}, dark);
    fill_solid(c.dc, Rect{r.right - 1, r.top, r.right, r.bottom}, light);
  }
}

void paint_owner_drawn(Wnd wnd, const Canvas& c) {
  fill_background(c);
  DrawItemStruct dis;
  dis.ctl_type = ODT_STATIC;
  dis.ctl_id = unsigned(get_dlg_ctrl_id(wnd));
  dis.item_action = ODA_DRAWENTIRE;
  dis.item_state = is_window_enabled(wnd) ? 0 : ODS_DISABLED;
  dis.hwnd_item = wnd;
  dis.dc = c.dc;
  dis.rc_item = c.rc;
  send_message(get_parent(wnd), WM_DRAWITEM, WParam(dis.ctl_id), LParam(reinterpret_cast<intptr_t>(&dis)));
}

// A sunken edge drawn over the outermost pixels.
void paint_sunken_edge(const Canvas& c) {
  const Rect& r = c.rc;
  const Color dark = get_sys_color(COLOR_3DSHADOW), light = get_sys_color(COLOR_3DHILIGHT);
  fill_solid(c.dc, Rect{r.left, r.top, r.right, r.top + 1}, dark);
  fill_solid(c.dc, Rect{r.left, r.top, r.left + 1, r.bottom}, dark);
  fill_solid(c.dc, Rect{r.left, r.bottom - 1, r.right, r.bottom}, light);
  fill_solid(c.dc, Rect{r.right - 1, r.top, r.right, r.bottom}, light);
}

void paint_by_type(Wnd wnd, const Canvas& c) {
  switch (style_of(wnd) & SS_TYPEMASK) {
    case SS_BITMAP: paint_bitmap(wnd, c); break;
    case SS_ICON: fill_background(c); break;  // no icons: the place stays plain
    case SS_BLACKRECT: paint_solid(c, COLOR_WINDOWFRAME); break;
    case SS_GRAYRECT: paint_solid(c, COLOR_BTNSHADOW); break;
    case SS_WHITERECT: paint_solid(c, COLOR_BTNHIGHLIGHT); break;
    case SS_BLACKFRAME: paint_frame(c, COLOR_WINDOWFRAME); break;
    case SS_GRAYFRAME: paint_frame(c, COLOR_BTNSHADOW); break;
    case SS_WHITEFRAME: paint_frame(c, COLOR_BTNHIGHLIGHT); break;
    case SS_ETCHEDHORZ: paint_etched(c, true, false); break;
    case SS_ETCHEDVERT: paint_etched(c, false, true); break;
    case SS_ETCHEDFRAME: paint_etched(c, true, true); break;
    case SS_OWNERDRAW: paint_owner_drawn(wnd, c); break;
    default: paint_text(wnd, c); break;
  }
}

void paint(Wnd wnd) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Canvas c;
  c.dc = dc;
  get_client_rect(wnd, &c.rc);
  set_text_color(dc, get_sys_color(COLOR_WINDOWTEXT));
  set_bk_color(dc, get_sys_color(COLOR_BTNFACE));
  c.brush = ctl_color_brush(wnd, dc, WM_CTLCOLORSTATIC);
  c.text = get_text_color(dc);
  paint_by_type(wnd, c);
  if (style_of(wnd) & SS_SUNKEN) paint_sunken_edge(c);
  end_paint(wnd, &ps);
}

LResult set_image(Wnd wnd, StaticData& d, WParam kind, LParam image) {
  if (kind != IMAGE_BITMAP) return 0;
  Bitmap old = d.image;
  d.image = reinterpret_cast<Bitmap>(image);
  invalidate_rect(wnd, nullptr, true);
  return LResult(reinterpret_cast<intptr_t>(old));
}

void notify_if_asked(Wnd wnd, int code) {
  if (style_of(wnd) & SS_NOTIFY) notify_command(wnd, code);
}

LResult window_message(Wnd wnd, StaticData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_PAINT: paint(wnd); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills everything
    case WM_SETTEXT: {
      LResult r = def_window_proc(wnd, msg, wp, lp);
      invalidate_rect(wnd, nullptr, true);
      return r;
    }
    case WM_SETFONT:
      d.font = reinterpret_cast<Font>(wp);
      if (lp) invalidate_rect(wnd, nullptr, true);
      return 0;
    case WM_GETFONT: return LResult(reinterpret_cast<intptr_t>(d.font));
    case WM_ENABLE:
      invalidate_rect(wnd, nullptr, true);
      notify_if_asked(wnd, wp ? STN_ENABLE : STN_DISABLE);
      return 0;
    case WM_GETDLGCODE: return DLGC_STATIC;
    // A label that does not report clicks lets them through to what lies beneath.
    case WM_NCHITTEST:
      return (style_of(wnd) & SS_NOTIFY) ? LResult(HTCLIENT) : LResult(HTTRANSPARENT);
    case STM_SETIMAGE: return set_image(wnd, d, wp, lp);
    case STM_GETIMAGE: return wp == IMAGE_BITMAP ? LResult(reinterpret_cast<intptr_t>(d.image)) : 0;
    case STM_SETICON: return 0;
    case STM_GETICON: return 0;
    case WM_LBUTTONUP: notify_if_asked(wnd, STN_CLICKED); return 0;
    case WM_LBUTTONDBLCLK: notify_if_asked(wnd, STN_DBLCLK); return 0;
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

}  // namespace

void register_static_control() {
  register_control_class(kStaticClass, control_proc<StaticData, window_message>, CS_DBLCLKS, IDC_ARROW);
}

}  // namespace plat

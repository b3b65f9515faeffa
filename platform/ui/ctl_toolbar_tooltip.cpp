// The tooltips window ("tooltips_class32"): a small bordered pop-up that shows its
// window text on the information colours and fits itself to that text whenever it is
// set. The toolbar makes one, places it and shows it without activating it.
#include "platform/ui/controls.h"
#include "platform/ui/ctl_toolbar_state.h"
#include "platform/ui/cursor.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

constexpr int kTipPadX = 4, kTipPadY = 2;

void fit_to_text(Wnd tip) {
  const std::u16string text = window_text_w(tip);
  Rect r{0, 0, text_width(text) + 2 * kTipPadX, text_height() + 2 * kTipPadY};
  adjust_window_rect(&r, uint32_t(get_window_long(tip, GWL_STYLE)), false,
                     uint32_t(get_window_long(tip, GWL_EXSTYLE)));
  set_window_pos(tip, nullptr, 0, 0, r.width(), r.height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void paint_tip(Wnd tip) {
  PaintStruct ps;
  Dc dc = begin_paint(tip, &ps);
  if (!dc) return;
  Rect rc;
  get_client_rect(tip, &rc);
  fill_solid(dc, rc, get_sys_color(COLOR_INFOBK));
  draw_label(dc, kTipPadX, kTipPadY, window_text_w(tip), get_sys_color(COLOR_INFOTEXT));
  end_paint(tip, &ps);
}

LResult tooltips_proc(Wnd wnd, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_PAINT: paint_tip(wnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SETTEXT: {
      const LResult r = def_window_proc(wnd, msg, wp, lp);
      fit_to_text(wnd);
      invalidate_rect(wnd, nullptr, true);
      return r;
    }
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

}  // namespace

void register_tooltips_class() {
  if (get_class_info(kTooltipsClass, nullptr)) return;
  WndClass c;
  c.name = kTooltipsClass;
  c.proc = tooltips_proc;
  c.style = CS_SAVEBITS;
  c.cursor = load_cursor(IDC_ARROW);
  register_class(c);
}

Wnd create_tooltips_window(Wnd owner) {
  return create_window_w(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kTooltipsClass, u"", WS_POPUP | WS_BORDER, 0, 0, 0, 0, owner,
                         0);
}

}  // namespace plat::ui_detail

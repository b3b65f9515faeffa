// The progress bar control: range, position, step, bar colour, and the painting of the
// filled part as blocks or as one smooth bar inside a sunken frame.
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_progress.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/cursor.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/window.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr int kBlockGap = 2;

struct ProgressData {
  int low = 0, high = 100, pos = 0;
  int step = 10;
  Color bar = kDefaultBarColor;
};

int clamp_pos(const ProgressData& d, int64_t v) { return int(std::clamp<int64_t>(v, d.low, std::max(d.low, d.high))); }

// A position stepped past one end goes on from the other end.
int wrap_pos(const ProgressData& d, int64_t v) {
  const int64_t range = int64_t(d.high) - d.low;
  if (range <= 0) return d.low;
  if (v > d.high) return int(d.low + (v - d.low) % range);
  if (v < d.low) return int(d.high - (d.low - v) % range);
  return int(v);
}

LResult move_to(Wnd wnd, ProgressData& d, int pos) {
  const int old = d.pos;
  if (pos != d.pos) {
    d.pos = pos;
    invalidate_rect(wnd, nullptr, true);
  }
  return old;
}

LResult set_range(Wnd wnd, ProgressData& d, int low, int high) {
  const LResult old = make_lparam(d.low, d.high);
  d.low = low;
  d.high = high;
  d.pos = clamp_pos(d, d.pos);
  invalidate_rect(wnd, nullptr, true);
  return old;
}

void paint(Wnd wnd, const ProgressData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  Rect rc;
  get_client_rect(wnd, &rc);
  draw_bevel(dc, rc, false);  // a sunken frame around the button face
  const Rect inner{rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1};
  const int64_t range = int64_t(d.high) - d.low;
  const int filled = range > 0 ? int((int64_t(d.pos) - d.low) * inner.width() / range) : 0;
  const Color c = d.bar == kDefaultBarColor ? get_sys_color(COLOR_HIGHLIGHT) : d.bar;
  const Rect bar_area{inner.left + 1, inner.top + 1, inner.right - 1, inner.bottom - 1};
  if (uint32_t(get_window_long(wnd, GWL_STYLE)) & PBS_SMOOTH) {
    fill_solid(dc, Rect{bar_area.left, bar_area.top, std::min(bar_area.right, inner.left + filled), bar_area.bottom}, c);
  } else {
    const int block = std::max(2, bar_area.height() * 2 / 3);
    for (int x = bar_area.left; x < inner.left + filled; x += block + kBlockGap)
      fill_solid(dc, Rect{x, bar_area.top, std::min(x + block, bar_area.right), bar_area.bottom}, c);
  }
  end_paint(wnd, &ps);
}

LResult progress_message(Wnd wnd, ProgressData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case PBM_SETRANGE: return set_range(wnd, d, int(loword(uintptr_t(lp))), int(hiword(uintptr_t(lp))));
    case PBM_SETRANGE32: return set_range(wnd, d, int(intptr_t(wp)), int(lp));
    case PBM_SETPOS: return move_to(wnd, d, clamp_pos(d, int(intptr_t(wp))));
    case PBM_DELTAPOS: return move_to(wnd, d, clamp_pos(d, int64_t(d.pos) + int(intptr_t(wp))));
    case PBM_SETSTEP: {
      const int old = d.step;
      d.step = int(intptr_t(wp));
      return old;
    }
    case PBM_STEPIT: return move_to(wnd, d, wrap_pos(d, int64_t(d.pos) + d.step));
    case PBM_GETRANGE:
      if (auto* r = reinterpret_cast<PbRange*>(lp)) *r = PbRange{d.low, d.high};
      return wp ? d.low : d.high;
    case PBM_GETPOS: return d.pos;
    case PBM_SETBARCOLOR: {
      const Color old = d.bar;
      d.bar = Color(uintptr_t(lp));
      invalidate_rect(wnd, nullptr, true);
      return LResult(old);
    }
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult window_message(Wnd wnd, ProgressData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_PAINT: paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SIZE: invalidate_rect(wnd, nullptr, true); return 0;
    default: return progress_message(wnd, d, msg, wp, lp);
  }
}

}  // namespace

void register_progress_control() {
  register_control_class(kProgressClass, control_proc<ProgressData, window_message>, 0, IDC_ARROW);
}

}  // namespace plat

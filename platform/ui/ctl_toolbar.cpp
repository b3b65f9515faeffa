// The toolbar's window procedure and its messages: buttons added, inserted, deleted and
// read; their states by command id; strings; images (the standard ones or a bitmap's);
// sizes. Nothing here tells the parent anything: only the user's clicks
// (ctl_toolbar_input.cpp) do.
#include <algorithm>

#include "platform/ui/ctl_state.h"
#include "platform/ui/ctl_toolbar_images.h"
#include "platform/ui/ctl_toolbar_state.h"
#include "platform/ui/cursor.h"
#include "platform/ui/paint.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr size_t kMaxButtons = 4096;
constexpr size_t kMaxStringUnits = 65536;  // the longest string list TB_ADDSTRING reads
constexpr size_t kMaxButtonText = 1024;
constexpr Color kClassicFace = rgb(192, 192, 192);

void redraw(Wnd wnd) { invalidate_rect(wnd, nullptr, true); }

int index_of(const ToolbarData& d, WParam id) {
  for (size_t i = 0; i < d.buttons.size(); ++i)
    if (d.buttons[i].command == int(intptr_t(id))) return int(i);
  return -1;
}

std::u16string text_at(const char16_t* s, size_t limit) {
  std::u16string out;
  for (size_t i = 0; s[i] && i < limit; ++i) out.push_back(s[i]);
  return out;
}

TbButtonData from_record(const ToolbarData& d, const TbButton& b) {
  TbButtonData out;
  out.image = b.bitmap;
  out.command = b.command;
  out.state = b.state;
  out.style = b.style;
  out.data = b.data;
  out.string = b.string;
  if (b.string >= 0 && b.string < 65536) {
    if (size_t(b.string) < d.strings.size()) out.text = d.strings[size_t(b.string)];
  } else if (b.string >= 65536) {
    out.text = text_at(reinterpret_cast<const char16_t*>(b.string), kMaxButtonText);
  }
  return out;
}

bool record_size_ok(const ToolbarData& d) { return d.record_size == sizeof(TbButton); }

LResult add_buttons(Wnd wnd, ToolbarData& d, WParam n, LParam lp) {
  const auto* recs = reinterpret_cast<const TbButton*>(lp);
  if (!recs || !record_size_ok(d) || n > kMaxButtons || d.buttons.size() + n > kMaxButtons) return 0;
  for (size_t i = 0; i < n; ++i) d.buttons.push_back(from_record(d, recs[i]));
  redraw(wnd);
  return 1;
}

LResult insert_button(Wnd wnd, ToolbarData& d, WParam index, LParam lp) {
  const auto* rec = reinterpret_cast<const TbButton*>(lp);
  if (!rec || !record_size_ok(d) || d.buttons.size() >= kMaxButtons) return 0;
  const size_t at = std::min<size_t>(size_t(index), d.buttons.size());
  d.buttons.insert(d.buttons.begin() + intptr_t(at), from_record(d, *rec));
  redraw(wnd);
  return 1;
}

LResult delete_button(Wnd wnd, ToolbarData& d, WParam index) {
  if (index >= d.buttons.size()) return 0;
  if (d.pressed == int(index)) d.pressed = -1;
  if (d.hover == int(index)) toolbar_hide_tip(wnd, d);
  d.buttons.erase(d.buttons.begin() + intptr_t(index));
  d.hover = -1;
  redraw(wnd);
  return 1;
}

LResult get_button(const ToolbarData& d, WParam index, LParam lp) {
  auto* rec = reinterpret_cast<TbButton*>(lp);
  if (!rec || index >= d.buttons.size()) return 0;
  const TbButtonData& b = d.buttons[index];
  rec->bitmap = b.image;
  rec->command = b.command;
  rec->state = b.state;
  rec->style = b.style;
  rec->data = b.data;
  rec->string = b.string;
  return 1;
}

LResult add_strings(ToolbarData& d, WParam instance, LParam lp) {
  const auto* s = reinterpret_cast<const char16_t*>(lp);
  if (instance != 0 || !s) return -1;
  const int first = int(d.strings.size());
  size_t i = 0;
  while (i < kMaxStringUnits && s[i]) {
    std::u16string one = text_at(s + i, kMaxStringUnits - i);
    i += one.size() + 1;
    d.strings.push_back(std::move(one));
  }
  return int(d.strings.size()) > first ? first : -1;
}

ImageList images_of(ToolbarData& d) {
  if (!d.images) d.images = image_list_create(d.bitmap.cx, d.bitmap.cy);
  return d.images;
}

LResult add_standard(Wnd wnd, ToolbarData& d, uintptr_t which) {
  if (which != IDB_STD_SMALL_COLOR && which != IDB_STD_LARGE_COLOR) return -1;
  const int size = which == IDB_STD_LARGE_COLOR ? 24 : 16;
  if (!d.bitmap_fixed) d.bitmap = Size{size, size};
  d.bitmap_fixed = true;
  ImageList list = images_of(d);
  int first = -1;
  for (int i = 0; i < STD_IMAGE_COUNT; ++i) {
    const int at = image_list_add_picture(list, standard_image(i, size));
    if (first < 0) first = at;
  }
  redraw(wnd);
  return first;
}

LResult add_bitmap(Wnd wnd, ToolbarData& d, WParam count, Bitmap bmp) {
  const Size s = get_bitmap_size(bmp);
  if (s.cx <= 0 || s.cy <= 0) return -1;
  if (!d.bitmap_fixed) {
    const int n = count > 0 ? int(std::min<WParam>(count, WParam(s.cx))) : 1;
    d.bitmap = Size{std::max(1, s.cx / n), s.cy};
    d.bitmap_fixed = true;
  }
  const LResult first = image_list_add_masked(images_of(d), bmp, kClassicFace);
  redraw(wnd);
  return first;
}

LResult add_images(Wnd wnd, ToolbarData& d, WParam count, LParam lp) {
  const auto* ab = reinterpret_cast<const TbAddBitmap*>(lp);
  if (!ab) return -1;
  if (ab->instance == HINST_COMMCTRL) return add_standard(wnd, d, ab->id);
  if (ab->instance == 0) return add_bitmap(wnd, d, count, reinterpret_cast<Bitmap>(ab->id));
  return -1;
}

LResult set_bitmap_size(Wnd wnd, ToolbarData& d, LParam lp) {
  const int cx = int(loword(uintptr_t(lp))), cy = int(hiword(uintptr_t(lp)));
  if (d.images || cx <= 0 || cy <= 0 || cx > 256 || cy > 256) return 0;
  d.bitmap = Size{cx, cy};
  d.bitmap_fixed = true;
  redraw(wnd);
  return 1;
}

// A state bit of the button with this id, set or cleared; false for an unknown id.
LResult set_flag(Wnd wnd, ToolbarData& d, WParam id, uint8_t flag, bool on) {
  const int i = index_of(d, id);
  if (i < 0) return 0;
  if (flag == TBSTATE_CHECKED) {
    toolbar_set_checked(d, i, on);
  } else {
    uint8_t& st = d.buttons[size_t(i)].state;
    st = on ? uint8_t(st | flag) : uint8_t(st & ~flag);
  }
  if (flag == TBSTATE_ENABLED && !on && d.pressed == i) d.pressed = -1;
  redraw(wnd);
  return 1;
}

LResult has_flag(const ToolbarData& d, WParam id, uint8_t flag) {
  const int i = index_of(d, id);
  return i >= 0 && (d.buttons[size_t(i)].state & flag) ? 1 : 0;
}

LResult set_state(Wnd wnd, ToolbarData& d, WParam id, LParam lp) {
  const int i = index_of(d, id);
  if (i < 0) return 0;
  const auto state = uint8_t(lp);
  d.buttons[size_t(i)].state = uint8_t(state & ~TBSTATE_CHECKED);
  toolbar_set_checked(d, i, state & TBSTATE_CHECKED);
  redraw(wnd);
  return 1;
}

LResult item_rect(Wnd wnd, const ToolbarData& d, WParam index, LParam lp) {
  auto* r = reinterpret_cast<Rect*>(lp);
  if (!r || index >= d.buttons.size()) return 0;
  const Rect b = toolbar_layout(wnd, d)[index];
  if (b.empty()) return 0;
  *r = b;
  return 1;
}

LResult max_size(Wnd wnd, const ToolbarData& d, LParam lp) {
  auto* out = reinterpret_cast<Size*>(lp);
  if (!out) return 0;
  Rect all{};
  bool any = false;
  for (const Rect& r : toolbar_layout(wnd, d)) {
    if (r.empty()) continue;
    all = any ? union_rect(all, r) : r;
    any = true;
  }
  *out = any ? Size{all.width(), all.height()} : Size{};
  return 1;
}

LResult state_message(Wnd wnd, ToolbarData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case TB_ENABLEBUTTON: return set_flag(wnd, d, wp, TBSTATE_ENABLED, loword(uintptr_t(lp)) != 0);
    case TB_CHECKBUTTON: return set_flag(wnd, d, wp, TBSTATE_CHECKED, loword(uintptr_t(lp)) != 0);
    case TB_PRESSBUTTON: return set_flag(wnd, d, wp, TBSTATE_PRESSED, loword(uintptr_t(lp)) != 0);
    case TB_HIDEBUTTON: return set_flag(wnd, d, wp, TBSTATE_HIDDEN, loword(uintptr_t(lp)) != 0);
    case TB_ISBUTTONENABLED: return has_flag(d, wp, TBSTATE_ENABLED);
    case TB_ISBUTTONCHECKED: return has_flag(d, wp, TBSTATE_CHECKED);
    case TB_ISBUTTONPRESSED: return has_flag(d, wp, TBSTATE_PRESSED);
    case TB_ISBUTTONHIDDEN: return has_flag(d, wp, TBSTATE_HIDDEN);
    case TB_SETSTATE: return set_state(wnd, d, wp, lp);
    case TB_GETSTATE: {
      const int i = index_of(d, wp);
      return i < 0 ? -1 : LResult(d.buttons[size_t(i)].state);
    }
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

LResult toolbar_message(Wnd wnd, ToolbarData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case TB_BUTTONSTRUCTSIZE: d.record_size = size_t(wp); return 0;
    case TB_ADDBITMAP: return add_images(wnd, d, wp, lp);
    case TB_ADDBUTTONS: return add_buttons(wnd, d, wp, lp);
    case TB_INSERTBUTTON: return insert_button(wnd, d, wp, lp);
    case TB_DELETEBUTTON: return delete_button(wnd, d, wp);
    case TB_GETBUTTON: return get_button(d, wp, lp);
    case TB_BUTTONCOUNT: return LResult(d.buttons.size());
    case TB_COMMANDTOINDEX: return index_of(d, wp);
    case TB_ADDSTRING: return add_strings(d, wp, lp);
    case TB_GETITEMRECT: return item_rect(wnd, d, wp, lp);
    case TB_GETMAXSIZE: return max_size(wnd, d, lp);
    case TB_SETBUTTONSIZE:
      d.button_asked = Size{int(loword(uintptr_t(lp))), int(hiword(uintptr_t(lp)))};
      redraw(wnd);
      return 1;
    case TB_GETBUTTONSIZE: {
      const Size s = toolbar_button_size(d);
      return make_lparam(s.cx, s.cy);
    }
    case TB_SETBITMAPSIZE: return set_bitmap_size(wnd, d, lp);
    case TB_AUTOSIZE: toolbar_autosize(wnd, d); return 0;
    case TB_GETTOOLTIPS: return LResult(reinterpret_cast<intptr_t>(d.tip));
    case TB_SETMAXTEXTROWS: d.max_text_rows = int(intptr_t(wp)); return 1;
    default: return state_message(wnd, d, msg, wp, lp);
  }
}

LResult window_message(Wnd wnd, ToolbarData& d, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_CREATE:
      if (toolbar_style(wnd) & TBSTYLE_TOOLTIPS) d.tip = create_tooltips_window(get_ancestor(wnd, GA_ROOT));
      return 0;
    case WM_DESTROY:
      if (d.tip && is_window(d.tip)) destroy_window(d.tip);
      d.tip = nullptr;
      return 0;
    case WM_PAINT: toolbar_paint(wnd, d); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills the client area
    case WM_ENABLE: redraw(wnd); return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: return toolbar_on_mouse(wnd, msg, lp);
    case WM_TIMER: toolbar_on_timer(wnd, uintptr_t(wp)); return 0;
    default: return toolbar_message(wnd, d, msg, wp, lp);
  }
}

}  // namespace

void register_toolbar_control() {
  register_tooltips_class();
  register_control_class(kToolbarClass, control_proc<ToolbarData, window_message>, 0, IDC_ARROW);
}

}  // namespace plat

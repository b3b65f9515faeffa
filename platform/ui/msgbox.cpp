// Message boxes: a small modal top-level window of the class "MessageBox" holding the
// text, an icon and a row of buttons, painted through the drawing layer. The box lives
// inside message_box: its state (BoxData) is on that call's stack and reached from the
// window through GWLP_USERDATA.
#include "platform/ui/msgbox.h"

#include <algorithm>

#include "platform/ui/cursor.h"
#include "platform/ui/icons.h"
#include "platform/ui/keys.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

constexpr const char* kClassName = "MessageBox";
constexpr int kMargin = 12;
constexpr int kButtonW = 75, kButtonH = 23, kButtonGap = 8;
constexpr int kIconSize = 32;

struct ButtonSet {
  unsigned type;
  int ids[3];
  int count;
};
constexpr ButtonSet kButtonSets[] = {
    {MB_OK, {IDOK}, 1},
    {MB_OKCANCEL, {IDOK, IDCANCEL}, 2},
    {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}, 3},
    {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}, 3},
    {MB_YESNO, {IDYES, IDNO}, 2},
    {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, 2},
};

struct ButtonLabel {
  int id;
  const char16_t* text;
  char16_t key;  // the letter that presses it
};
constexpr ButtonLabel kLabels[] = {
    {IDOK, u"OK", u'o'},         {IDCANCEL, u"Cancel", u'c'}, {IDABORT, u"Abort", u'a'},
    {IDRETRY, u"Retry", u'r'},   {IDIGNORE, u"Ignore", u'i'}, {IDYES, u"Yes", u'y'},
    {IDNO, u"No", u'n'},
};

const ButtonLabel& label_of(int id) {
  for (const auto& l : kLabels)
    if (l.id == id) return l;
  return kLabels[0];
}

struct BoxData {
  std::u16string text;
  unsigned flags = 0;
  Surface icon;  // MB_USERICON: the icon drawn
  std::vector<int> buttons;
  std::vector<Rect> button_rects;  // client coordinates
  int default_index = 0;
  int escape = 0;  // the answer of Escape and of closing; 0 when the box has none
  std::vector<std::u16string> lines;
  Rect text_rect, icon_rect;
  Size client;
};

BoxData* data_of(Wnd wnd) { return reinterpret_cast<BoxData*>(get_window_long(wnd, GWLP_USERDATA)); }

std::vector<std::u16string> split_lines(const std::u16string& text) {
  std::vector<std::u16string> lines(1);
  for (char16_t c : text) {
    if (c == u'\r') continue;
    if (c == u'\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  return lines;
}

int plain_width(const std::u16string& s) {
  // text_width drops '&' marks; a message text shows them, so double them first.
  std::u16string t;
  for (char16_t c : s) {
    t.push_back(c);
    if (c == u'&') t.push_back(u'&');
  }
  return text_width(t);
}

void lay_out(BoxData& d) {
  const ButtonSet* set = &kButtonSets[0];
  for (const auto& s : kButtonSets)
    if (s.type == (d.flags & 0x0Fu)) set = &s;
  d.buttons.assign(set->ids, set->ids + set->count);
  d.default_index = std::min(int((d.flags >> 8) & 0x0Fu), set->count - 1);
  const auto has = [&](int id) { return std::find(d.buttons.begin(), d.buttons.end(), id) != d.buttons.end(); };
  d.escape = has(IDCANCEL) ? IDCANCEL : (set->count == 1 ? IDOK : 0);

  d.lines = split_lines(d.text);
  const int line_h = text_height() + 2;
  int text_w = 0;
  for (const auto& l : d.lines) text_w = std::max(text_w, plain_width(l));
  const int text_h = int(d.lines.size()) * line_h;
  const bool icon = (d.flags & 0xF0u) != 0;
  const int icon_w = icon ? kIconSize + kMargin : 0;
  const int body_h = std::max(text_h, icon ? kIconSize : 0);
  const int buttons_w = int(d.buttons.size()) * kButtonW + int(d.buttons.size() - 1) * kButtonGap;
  const int width = std::max({kMargin * 2 + icon_w + text_w, kMargin * 2 + buttons_w, 180});
  const int height = kMargin + body_h + kMargin + kButtonH + kMargin;
  d.client = Size{width, height};
  d.icon_rect = icon ? Rect{kMargin, kMargin, kMargin + kIconSize, kMargin + kIconSize} : Rect{};
  d.text_rect = Rect{kMargin + icon_w, kMargin + (body_h - text_h) / 2, kMargin + icon_w + text_w,
                     kMargin + (body_h - text_h) / 2 + text_h};
  int x = (width - buttons_w) / 2;
  const int y = height - kMargin - kButtonH;
  d.button_rects.clear();
  for (size_t i = 0; i < d.buttons.size(); ++i) {
    d.button_rects.push_back(Rect{x, y, x + kButtonW, y + kButtonH});
    x += kButtonW + kButtonGap;
  }
}

// The box's own icon, at most the icon place's size (top-left kept), transparent pixels
// skipped.
void draw_user_icon(Dc dc, const Rect& r, const Surface& icon) {
  const int w = std::min(icon.width, r.width()), h = std::min(icon.height, r.height());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = icon.at(x, y);
      if ((p >> 24) != 0) set_pixel(dc, r.left + x, r.top + y, color_of_pixel(p));
    }
}

void draw_icon(Dc dc, const Rect& r, unsigned flags) {
  Color fill;
  const char16_t* mark;
  switch (flags & 0xF0u) {
    case MB_ICONERROR: fill = rgb(200, 40, 40); mark = u"X"; break;
    case MB_ICONQUESTION: fill = rgb(40, 90, 200); mark = u"?"; break;
    case MB_ICONWARNING: fill = rgb(230, 180, 20); mark = u"!"; break;
    default: fill = rgb(40, 90, 200); mark = u"i"; break;
  }
  Brush b = create_solid_brush(fill);
  Pen p = create_pen(PS_SOLID, 1, fill);
  GdiObj ob = select_object(dc, b), op = select_object(dc, p);
  ellipse(dc, r.left, r.top, r.right, r.bottom);
  select_object(dc, ob);
  select_object(dc, op);
  delete_object(b);
  delete_object(p);
  std::u16string m = mark;
  draw_label(dc, r.left + (r.width() - text_width(m)) / 2, r.top + (r.height() - text_height()) / 2, m, rgb(255, 255, 255));
}

void paint_box(Wnd wnd, BoxData& d) {
  PaintStruct ps;
  Dc dc = begin_paint(wnd, &ps);
  if (!dc) return;
  fill_solid(dc, Rect{0, 0, d.client.cx, d.client.cy}, get_sys_color(COLOR_BTNFACE));
  if (!d.icon_rect.empty()) {
    if ((d.flags & 0xF0u) == MB_USERICON)
      draw_user_icon(dc, d.icon_rect, d.icon);
    else
      draw_icon(dc, d.icon_rect, d.flags);
  }
  Font old = select_object(dc, ui_font());
  set_bk_mode(dc, TRANSPARENT);
  set_text_color(dc, get_sys_color(COLOR_WINDOWTEXT));
  const int line_h = text_height() + 2;
  int y = d.text_rect.top;
  for (const auto& l : d.lines) {
    if (!l.empty()) text_out(dc, d.text_rect.left, y, l.c_str(), int(l.size()));
    y += line_h;
  }
  select_object(dc, old);
  const int th = text_height();
  for (size_t i = 0; i < d.buttons.size(); ++i) {
    const Rect& r = d.button_rects[i];
    draw_bevel(dc, r, true);
    if (int(i) == d.default_index) {
      Brush frame = create_solid_brush(get_sys_color(COLOR_WINDOWFRAME));
      frame_rect(dc, r, frame);
      delete_object(frame);
    }
    std::u16string label = label_of(d.buttons[i]).text;
    draw_label(dc, r.left + (r.width() - text_width(label)) / 2, r.top + (r.height() - th) / 2, label,
               get_sys_color(COLOR_BTNTEXT));
  }
  end_paint(wnd, &ps);
}

bool has_button(const BoxData& d, int id) { return std::find(d.buttons.begin(), d.buttons.end(), id) != d.buttons.end(); }

void answer(Wnd wnd, BoxData& d, int id) {
  if (id && has_button(d, id)) end_modal(wnd, id);
}

LResult on_key(Wnd wnd, BoxData& d, WParam vk) {
  if (int(vk) == VK_RETURN) answer(wnd, d, d.buttons[size_t(d.default_index)]);
  if (int(vk) == VK_ESCAPE) answer(wnd, d, d.escape);
  return 0;
}

LResult on_char(Wnd wnd, BoxData& d, WParam ch) {
  char16_t c = char16_t(ch);
  if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  for (int id : d.buttons)
    if (label_of(id).key == c) answer(wnd, d, id);
  return 0;
}

LResult on_click(Wnd wnd, BoxData& d, LParam lp) {
  Point p{x_of_lparam(lp), y_of_lparam(lp)};
  for (size_t i = 0; i < d.buttons.size(); ++i)
    if (d.button_rects[i].contains(p)) answer(wnd, d, d.buttons[i]);
  return 0;
}

LResult box_proc(Wnd wnd, uint32_t msg, WParam wp, LParam lp) {
  if (msg == WM_NCCREATE) {
    const auto* cs = reinterpret_cast<const CreateStruct*>(lp);
    set_window_long(wnd, GWLP_USERDATA, reinterpret_cast<intptr_t>(cs->create_params));
    return def_window_proc(wnd, msg, wp, lp);
  }
  BoxData* d = data_of(wnd);
  if (!d) return def_window_proc(wnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT: paint_box(wnd, *d); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_KEYDOWN: return on_key(wnd, *d, wp);
    case WM_CHAR: return on_char(wnd, *d, wp);
    case WM_LBUTTONUP: return on_click(wnd, *d, lp);
    case WM_COMMAND: answer(wnd, *d, int(loword(wp))); return 0;
    case WM_CLOSE: answer(wnd, *d, d->escape); return 0;
    default: return def_window_proc(wnd, msg, wp, lp);
  }
}

void ensure_class() {
  if (get_class_info(kClassName, nullptr)) return;
  WndClass c;
  c.name = kClassName;
  c.proc = box_proc;
  c.cursor = load_cursor(IDC_ARROW);
  c.background_sys_color = COLOR_BTNFACE;
  register_class(c);
}

// Headless and idle: the user presses Enter.
void press_default(Wnd wnd) {
  if (BoxData* d = data_of(wnd)) post_message(wnd, WM_COMMAND, WParam(d->buttons[size_t(d->default_index)]), 0);
}

Rect place_box(Wnd owner_top, Size client) {
  Rect r{0, 0, client.cx, client.cy};
  adjust_window_rect(&r, WS_POPUP | WS_CAPTION | WS_SYSMENU, false, WS_EX_DLGMODALFRAME);
  Rect around = get_work_area();
  if (owner_top) get_window_rect(owner_top, &around);
  const int w = r.width(), h = r.height();
  int x = around.left + (around.width() - w) / 2, y = around.top + (around.height() - h) / 2;
  Rect work = get_work_area();
  x = std::max(work.left, std::min(x, work.right - w));
  y = std::max(work.top, std::min(y, work.bottom - h));
  return Rect{x, y, x + w, y + h};
}

int box_on_ui(Wnd owner, const std::u16string& text, const std::u16string& caption, unsigned flags,
              const Surface* icon = nullptr) {
  ensure_class();
  Wnd owner_top = is_window(owner) ? get_ancestor(owner, GA_ROOT) : nullptr;
  BoxData d;
  d.text = text;
  d.flags = flags;
  if (icon) {
    d.icon = *icon;
    d.flags = (flags & ~0xF0u) | (icon->width > 0 && icon->height > 0 ? MB_USERICON : 0u);
  }
  lay_out(d);
  Rect r = place_box(owner_top, d.client);
  Wnd box = create_window_w(WS_EX_DLGMODALFRAME, kClassName, caption.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                            r.left, r.top, r.width(), r.height(), owner_top, 0, &d);
  if (!box) return 0;
  if ((d.flags & 0xF0u) == MB_USERICON) set_window_icon(box, kWindowIconBig, d.icon);
  const bool disabled_owner = owner_top && is_window_enabled(owner_top);
  if (disabled_owner) enable_window(owner_top, false);
  show_window(box, SW_SHOW);
  std::function<void(const MessageBoxInfo&)> hook;
  {
    Guard g;
    hook = S().message_box_hook;
  }
  if (hook) hook(MessageBoxInfo{box, owner_top, utf16_to_utf8(text), utf16_to_utf8(caption), d.flags});
  int result = int(run_modal_loop(box, d.escape, press_default));
  // The owner comes back before the box goes, so that it takes the activation again.
  if (disabled_owner) enable_window(owner_top, true);
  destroy_window(box);
  return result;
}

}  // namespace

int message_box_w(Wnd owner, const char16_t* text, const char16_t* caption, unsigned flags) {
  std::u16string t = text ? std::u16string(text) : std::u16string();
  std::u16string c = caption ? std::u16string(caption) : std::u16string(u"Error");
  return int(run_on_ui([&]() -> LResult { return box_on_ui(owner, t, c, flags); }));
}

int message_box(Wnd owner, const char* text, const char* caption, unsigned flags) {
  std::u16string t = utf8_to_utf16(text);
  std::u16string c = caption ? utf8_to_utf16(caption) : std::u16string(u"Error");
  return message_box_w(owner, t.c_str(), c.c_str(), flags);
}

int message_box_icon(Wnd owner, const char* text, const char* caption, unsigned flags,
                     const Surface& icon) {
  std::u16string t = utf8_to_utf16(text);
  std::u16string c = caption ? utf8_to_utf16(caption) : std::u16string(u"Error");
  return int(run_on_ui([&]() -> LResult { return box_on_ui(owner, t, c, flags, &icon); }));
}

void set_message_box_hook(std::function<void(const MessageBoxInfo&)> hook) {
  Guard g;
  S().message_box_hook = std::move(hook);
}

bool message_box_answer(Wnd box, int id) {
  // The box's state lives on the stack of the user-interface thread's message_box call:
  // it is read there, where the box cannot go away meanwhile.
  return run_on_ui([&]() -> LResult {
           if (get_class_name(box) != kClassName) return 0;
           BoxData* d = data_of(box);
           if (!d || !has_button(*d, id)) return 0;
           return post_message(box, WM_COMMAND, WParam(id), 0);
         }) != 0;
}

}  // namespace plat

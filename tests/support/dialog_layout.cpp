// Layout faults of an open dialog: controls outside the client area, overlapping controls,
// texts that do not fit their controls.
#include "tests/support/dialog_layout.h"

#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/sys/utf.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/controls.h"
#include "platform/ui/messages.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"

namespace tm_test {
namespace {

// What the check box and radio button draw beside their text (box and gap), and the
// room a push button's frame and a group box's corner take around their text.
constexpr int kBoxAndGap = 13 + 4;
constexpr int kButtonFrame = 4;
constexpr int kGroupCorner = 16;

struct control {
  plat::Wnd wnd;
  int id;
  std::string cls;
  uint32_t style;
  plat::Rect rect;  // dialog client coordinates
  std::u16string text;
};

std::string describe(const control& c) {
  return c.cls + " " + std::to_string(c.id) + " \"" + plat::utf16_to_utf8(c.text) + "\"";
}

bool is_group_box(const control& c) {
  return c.cls == "Button" && (c.style & plat::BS_TYPEMASK) == plat::BS_GROUPBOX;
}

std::vector<control> visible_controls(plat::Wnd dlg) {
  std::vector<control> out;
  for (plat::Wnd w = plat::get_window(dlg, plat::GW_CHILD); w; w = plat::get_window(w, plat::GW_HWNDNEXT)) {
    if (!plat::is_window_visible(w)) continue;
    control c{w, plat::get_dlg_ctrl_id(w), plat::get_class_name(w),
              uint32_t(plat::get_window_long(w, plat::GWL_STYLE)), {}, {}};
    plat::get_window_rect(w, &c.rect);
    plat::Point corners[2] = {{c.rect.left, c.rect.top}, {c.rect.right, c.rect.bottom}};
    plat::map_window_points(nullptr, dlg, corners, 2);
    c.rect = plat::Rect{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    char16_t buf[512] = u"";
    plat::get_window_text_w(w, buf, 512);
    c.text = buf;
    out.push_back(c);
  }
  return out;
}

bool overlap(const plat::Rect& a, const plat::Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Text without the mnemonic marks ('&&' shows one '&').
std::u16string shown_text(const std::u16string& t) {
  std::u16string s;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == u'&' && i + 1 < t.size()) ++i;
    s += t[i];
  }
  return s;
}

class measurer {
 public:
  explicit measurer(const control& c) : wnd_(c.wnd), dc_(plat::get_dc(c.wnd)) {
    auto font = reinterpret_cast<plat::GdiObj>(plat::send_message(c.wnd, plat::WM_GETFONT, 0, 0));
    if (font) old_ = plat::select_object(dc_, font);
  }
  ~measurer() {
    if (old_) plat::select_object(dc_, old_);
    plat::release_dc(wnd_, dc_);
  }
  plat::Size size(const std::u16string& s) const {
    plat::Size sz{0, 0};
    plat::get_text_extent_point(dc_, s.c_str(), int(s.size()), &sz);
    return sz;
  }
  // Lines of a text wrapped between words into `width` pixels; -1 when a single word is wider.
  int wrapped_lines(const std::u16string& text, int width) const {
    int lines = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
      size_t end = text.find(u'\n', pos);
      if (end == std::u16string::npos) end = text.size();
      std::u16string line, word;
      ++lines;
      for (size_t i = pos; i <= end; ++i) {
        if (i < end && text[i] != u' ') {
          word += text[i];
          continue;
        }
        if (word.empty()) continue;
        std::u16string joined = line.empty() ? word : line + u" " + word;
        if (size(joined).cx <= width) {
          line = joined;
        } else {
          if (size(word).cx > width) return -1;
          if (!line.empty()) ++lines;
          line = word;
        }
        word.clear();
      }
      pos = end + 1;
    }
    return lines;
  }

 private:
  plat::Wnd wnd_;
  plat::Dc dc_;
  plat::GdiObj old_ = nullptr;
};

// The room the control leaves its text, or false when the control shows no text of ours.
bool text_room(const control& c, int* width, bool* wraps) {
  const int w = c.rect.right - c.rect.left;
  *wraps = false;
  if (c.cls == "Static") {
    const uint32_t type = c.style & plat::SS_TYPEMASK;
    if (type != plat::SS_LEFT && type != plat::SS_CENTER && type != plat::SS_RIGHT &&
        type != plat::SS_SIMPLE && type != plat::SS_LEFTNOWORDWRAP)
      return false;
    *wraps = type == plat::SS_LEFT || type == plat::SS_CENTER || type == plat::SS_RIGHT;
    *width = w;
    return true;
  }
  if (c.cls != "Button") return false;
  switch (c.style & plat::BS_TYPEMASK) {
    case plat::BS_PUSHBUTTON:
    case plat::BS_DEFPUSHBUTTON:
      *width = w - 2 * kButtonFrame;
      return true;
    case plat::BS_CHECKBOX:
    case plat::BS_AUTOCHECKBOX:
    case plat::BS_RADIOBUTTON:
    case plat::BS_AUTORADIOBUTTON:
    case plat::BS_3STATE:
    case plat::BS_AUTO3STATE:
      *width = w - kBoxAndGap;
      return true;
    case plat::BS_GROUPBOX:
      *width = w - kGroupCorner;
      return true;
    default:
      return false;
  }
}

void check_text(const control& c, std::vector<std::string>* faults) {
  int width = 0;
  bool wraps = false;
  const std::u16string text = shown_text(c.text);
  if (text.empty() || !text_room(c, &width, &wraps)) return;
  measurer m(c);
  const plat::Size one = m.size(text);
  const int height = c.rect.bottom - c.rect.top;
  if (!wraps) {
    if (one.cx > width || (one.cy > height && !is_group_box(c)))
      faults->push_back(describe(c) + " needs " + std::to_string(one.cx) + "x" + std::to_string(one.cy) +
                        " px, has " + std::to_string(width) + "x" + std::to_string(height));
    return;
  }
  const int lines = m.wrapped_lines(text, width);
  if (lines < 0 || lines * one.cy > height)
    faults->push_back(describe(c) + " does not fit " + std::to_string(width) + "x" + std::to_string(height) +
                      " px (" + std::to_string(lines) + " lines of " + std::to_string(one.cy) + ")");
}

}  // namespace

std::vector<std::string> dialog_layout_faults(plat::Wnd dlg) {
  std::vector<std::string> faults;
  plat::Rect client{};
  plat::get_client_rect(dlg, &client);
  const std::vector<control> controls = visible_controls(dlg);
  for (const control& c : controls) {
    if (c.rect.left < 0 || c.rect.top < 0 || c.rect.right > client.right || c.rect.bottom > client.bottom)
      faults.push_back(describe(c) + " lies outside the client area");
    check_text(c, &faults);
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    for (size_t j = i + 1; j < controls.size(); ++j) {
      const control& a = controls[i];
      const control& b = controls[j];
      if (is_group_box(a) || is_group_box(b)) continue;
      if (a.cls == plat::kUpDownClass || b.cls == plat::kUpDownClass) continue;
      if (overlap(a.rect, b.rect)) faults.push_back(describe(a) + " overlaps " + describe(b));
    }
  }
  return faults;
}

}  // namespace tm_test

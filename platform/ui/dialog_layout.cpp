// Dialog units and the places of a template's items.
//
// An item with a place keeps it. Items given none are laid out plainly, in the order
// given, in a column down the dialog: a label (a text static) directly followed by a
// field shares the field's row, in a column of labels as wide as the widest of them;
// other items take a row each across the dialog; push buttons gather in a row at the
// bottom right. A dialog given no size is made to fit its items with a margin around.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog_state.h"
#include "platform/ui/ui_state.h"

namespace plat::ui_detail {

namespace {

constexpr int kMargin = 7;      // dialog units around the items
constexpr int kGapX = 4;        // between a label and its field, and between buttons
constexpr int kRowGap = 4;      // between rows
constexpr int kFieldWidth = 140;
constexpr int kButtonW = 50, kButtonH = 14;

// v * num / den, rounded to the nearest.
int mul_div(int v, int num, int den) {
  if (den == 0) return 0;
  const long long p = (long long)v * num;
  const long long r = p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den);
  return int(r);
}

enum class Kind { label, push_button, box_button, group_box, field, list, combo };

Kind kind_of(const DlgItem& it) {
  const char* c = it.class_name ? it.class_name : "";
  if (same_ascii_ci(c, "Static")) {
    const uint32_t t = it.style & SS_TYPEMASK;
    return (t <= SS_RIGHT || t == SS_SIMPLE || t == SS_LEFTNOWORDWRAP) ? Kind::label : Kind::field;
  }
  if (same_ascii_ci(c, "Button")) {
    const uint32_t t = it.style & BS_TYPEMASK;
    if (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == BS_OWNERDRAW || t == BS_USERBUTTON) return Kind::push_button;
    return t == BS_GROUPBOX ? Kind::group_box : Kind::box_button;
  }
  if (same_ascii_ci(c, "ComboBox")) return Kind::combo;
  if (same_ascii_ci(c, "ListBox") || same_ascii_ci(c, "SysListView32") || same_ascii_ci(c, "SysTreeView32"))
    return Kind::list;
  return Kind::field;
}

bool placed(const DlgItem& it) { return it.cx != 0 || it.cy != 0; }

// Width and height in pixels of an item's text in the dialog's font.
Size text_size(Dc dc, const char* utf8) {
  std::u16string t = utf8_to_utf16(utf8 ? utf8 : "");
  if (t.empty()) return Size{0, 0};
  Rect r{0, 0, 10000, 10000};
  draw_text(dc, t.c_str(), int(t.size()), &r, DT_CALCRECT | DT_LEFT);
  return Size{r.width(), r.height()};
}

// The plain layout, in pixels.
struct Flow {
  Size base;
  int margin_x, margin_y;
  int label_col = 0;  // width of the label column
  int y = 0;          // next row
  int right = 0, bottom = 0;
};

int row_height(Kind k, Size base) {
  switch (k) {
    case Kind::list: return dlu_y(60, base);
    case Kind::label:
    case Kind::box_button:
    case Kind::group_box: return dlu_y(10, base);
    default: return dlu_y(14, base);
  }
}

// A combo box's window reaches over its drop-down list.
int window_height(Kind k, Size base) { return k == Kind::combo ? dlu_y(100, base) : row_height(k, base); }

void place_row(Flow& f, Rect* out, int x, int w, Kind k) {
  *out = Rect{x, f.y, x + w, f.y + window_height(k, f.base)};
  f.right = std::max(f.right, x + w);
  f.bottom = std::max(f.bottom, f.y + row_height(k, f.base));
}

void flow_items(const DlgTemplate& t, Dc dc, Flow& f, DialogLayout& out, std::vector<size_t>& buttons) {
  const size_t n = t.items.size();
  // The label column fits the widest label that stands before a field.
  for (size_t i = 0; i + 1 < n; ++i)
    if (!placed(t.items[i]) && !placed(t.items[i + 1]) && kind_of(t.items[i]) == Kind::label &&
        kind_of(t.items[i + 1]) >= Kind::field)
      f.label_col = std::max(f.label_col, text_size(dc, t.items[i].text).cx);
  const int field_x = f.margin_x + (f.label_col ? f.label_col + dlu_x(kGapX, f.base) : 0);
  const int field_w = dlu_x(kFieldWidth, f.base);
  const int full_w = field_x - f.margin_x + field_w;
  for (size_t i = 0; i < n; ++i) {
    const DlgItem& it = t.items[i];
    if (placed(it)) continue;
    const Kind k = kind_of(it);
    if (k == Kind::push_button) {
      buttons.push_back(i);
      continue;
    }
    const bool labelled = k == Kind::label && i + 1 < n && !placed(t.items[i + 1]) && kind_of(t.items[i + 1]) >= Kind::field;
    if (labelled) {
      // The label shares the next item's row, its text level with the field's.
      const Kind fk = kind_of(t.items[i + 1]);
      const int shift = fk == Kind::list ? 0 : (row_height(fk, f.base) - text_size(dc, it.text).cy) / 2;
      out.items[i] = Rect{f.margin_x, f.y + std::max(0, shift), f.margin_x + f.label_col,
                          f.y + std::max(0, shift) + dlu_y(10, f.base)};
      place_row(f, &out.items[i + 1], field_x, field_w, fk);
      f.y = f.bottom + dlu_y(kRowGap, f.base);
      ++i;
      continue;
    }
    int w = full_w;
    if (k == Kind::label) w = std::max(w, text_size(dc, it.text).cx);
    place_row(f, &out.items[i], f.margin_x, w, k);
    if (k == Kind::label) {
      // A label of several lines takes their height.
      const int h = std::max(text_size(dc, it.text).cy, row_height(k, f.base));
      out.items[i].bottom = out.items[i].top + h;
      f.bottom = std::max(f.bottom, out.items[i].bottom);
    }
    f.y = f.bottom + dlu_y(kRowGap, f.base);
  }
}

}  // namespace

int dlu_x(int units, Size base) { return mul_div(units, base.cx, 4); }
int dlu_y(int units, Size base) { return mul_div(units, base.cy, 8); }

Size font_base_units(Font font) {
  Dc dc = create_compatible_dc(nullptr);
  GdiObj old = select_object(dc, font);
  static const char16_t kLetters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  Size sz;
  TextMetrics tm;
  Size base{6, 13};
  if (get_text_extent_point(dc, kLetters, 52, &sz) && sz.cx > 0) base.cx = (sz.cx / 26 + 1) / 2;
  if (get_text_metrics(dc, &tm) && tm.height > 0) base.cy = tm.height;
  select_object(dc, old);
  delete_dc(dc);
  return base;
}

DialogLayout lay_out_dialog(const DlgTemplate& t, Font font, Size base) {
  DialogLayout out;
  out.items.resize(t.items.size());
  for (size_t i = 0; i < t.items.size(); ++i) {
    const DlgItem& it = t.items[i];
    if (!placed(it)) continue;
    const int x = dlu_x(it.x, base), y = dlu_y(it.y, base);
    out.items[i] = Rect{x, y, x + dlu_x(it.cx, base), y + dlu_y(it.cy, base)};
  }
  Dc dc = create_compatible_dc(nullptr);
  GdiObj old = select_object(dc, font);
  Flow f;
  f.base = base;
  f.margin_x = dlu_x(kMargin, base);
  f.margin_y = dlu_y(kMargin, base);
  f.y = f.margin_y;
  std::vector<size_t> buttons;
  flow_items(t, dc, f, out, buttons);
  select_object(dc, old);
  delete_dc(dc);

  // Whatever the items reach, placed or not.
  for (size_t i = 0; i < t.items.size(); ++i)
    if (placed(t.items[i])) {
      f.right = std::max(f.right, out.items[i].right);
      f.bottom = std::max(f.bottom, out.items[i].bottom);
    }
  const int bw = dlu_x(kButtonW, base), bh = dlu_y(kButtonH, base), gap = dlu_x(kGapX, base);
  const int row_w = buttons.empty() ? 0 : int(buttons.size()) * bw + int(buttons.size() - 1) * gap;
  if (t.cx > 0 && t.cy > 0) {
    out.client = Size{dlu_x(t.cx, base), dlu_y(t.cy, base)};
  } else {
    const int bottom = f.bottom + (buttons.empty() ? 0 : dlu_y(kRowGap * 2, base) + bh);
    out.client = Size{std::max(f.right, f.margin_x + row_w) + f.margin_x, std::max(bottom, f.margin_y) + f.margin_y};
  }
  int x = out.client.cx - f.margin_x - row_w;
  const int y = out.client.cy - f.margin_y - bh;
  for (size_t i : buttons) {
    out.items[i] = Rect{x, y, x + bw, y + bh};
    x += bw + gap;
  }
  return out;
}

}  // namespace plat::ui_detail

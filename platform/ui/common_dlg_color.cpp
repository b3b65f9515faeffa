// The colour dialog: a palette of basic colours, the custom colours, red, green and
// blue numbers and a sample, all as items of one dialog. Swatches are owner-drawn
// buttons that the dialog paints itself (WM_DRAWITEM); the numbers are number-only
// edits whose change notifications (raised also when the dialog sets them, so those
// are ignored while it does) update the colour.
#include <algorithm>
#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/ui/common_dlg.h"
#include "platform/ui/common_dlg_fs.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "platform/ui/paint.h"
#include "platform/ui/window.h"

namespace plat {

namespace {

constexpr int kBasicCount = 48;
constexpr int kCustomCount = 16;

const Color kBasic[kBasicCount] = {
    rgb(255, 128, 128), rgb(255, 255, 128), rgb(128, 255, 128), rgb(0, 255, 128),
    rgb(128, 255, 255), rgb(0, 128, 255),   rgb(255, 128, 192), rgb(255, 128, 255),
    rgb(255, 0, 0),     rgb(255, 255, 0),   rgb(128, 255, 0),   rgb(0, 255, 64),
    rgb(0, 255, 255),   rgb(0, 128, 192),   rgb(128, 128, 192), rgb(255, 0, 255),
    rgb(128, 64, 64),   rgb(255, 128, 64),  rgb(0, 255, 0),     rgb(0, 128, 128),
    rgb(0, 64, 128),    rgb(128, 128, 255), rgb(128, 0, 64),    rgb(255, 0, 128),
    rgb(128, 0, 0),     rgb(255, 128, 0),   rgb(0, 128, 0),     rgb(0, 128, 64),
    rgb(0, 0, 255),     rgb(0, 0, 160),     rgb(128, 0, 128),   rgb(128, 0, 255),
    rgb(64, 0, 0),      rgb(128, 64, 0),    rgb(0, 64, 0),      rgb(0, 64, 64),
    rgb(0, 0, 128),     rgb(0, 0, 64),      rgb(64, 0, 64),     rgb(64, 0, 128),
    rgb(0, 0, 0),       rgb(128, 128, 0),   rgb(128, 128, 64),  rgb(128, 128, 128),
    rgb(64, 128, 128),  rgb(192, 192, 192), rgb(64, 0, 64),     rgb(255, 255, 255),
};

std::mutex g_custom_mutex;
Color g_custom[kCustomCount] = {
    rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255),
    rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255),
    rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255),
    rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255), rgb(255, 255, 255),
};

struct ColorDlg {
  Color current = 0;
  Color custom[kCustomCount] = {};
  int custom_slot = 0;   // where "Add to Custom Colors" writes next
  int chosen_id = 0;     // the swatch last clicked (framed)
  bool setting = false;  // the dialog is setting the numbers itself
};

ColorDlg* state_of(Wnd dlg) { return reinterpret_cast<ColorDlg*>(get_window_long(dlg, DWLP_USER)); }

int red_of(Color c) { return int(c & 255); }
int green_of(Color c) { return int((c >> 8) & 255); }
int blue_of(Color c) { return int((c >> 16) & 255); }

void repaint(Wnd dlg, int id) {
  if (Wnd w = get_dlg_item(dlg, id)) invalidate_rect(w, nullptr, true);
}

void show_numbers(Wnd dlg, ColorDlg& st) {
  st.setting = true;
  set_dlg_item_int(dlg, cdlg::kRed, unsigned(red_of(st.current)), false);
  set_dlg_item_int(dlg, cdlg::kGreen, unsigned(green_of(st.current)), false);
  set_dlg_item_int(dlg, cdlg::kBlue, unsigned(blue_of(st.current)), false);
  st.setting = false;
  repaint(dlg, cdlg::kSample);
}

// A number field read as 0-255; a larger number is shown (and taken) as 255.
int read_channel(Wnd dlg, ColorDlg& st, int id) {
  bool ok = false;
  unsigned v = get_dlg_item_int(dlg, id, &ok, false);
  if (!ok) return 0;
  if (v > 255) {
    st.setting = true;
    set_dlg_item_int(dlg, id, 255, false);
    st.setting = false;
    v = 255;
  }
  return int(v);
}

void on_numbers_changed(Wnd dlg, ColorDlg& st) {
  st.current = rgb(read_channel(dlg, st, cdlg::kRed), read_channel(dlg, st, cdlg::kGreen),
                   read_channel(dlg, st, cdlg::kBlue));
  repaint(dlg, cdlg::kSample);
}

void choose_swatch(Wnd dlg, ColorDlg& st, int id) {
  const int old = st.chosen_id;
  st.chosen_id = id;
  if (id >= cdlg::kCustom) {
    st.custom_slot = id - cdlg::kCustom;
    st.current = st.custom[st.custom_slot];
  } else {
    st.current = kBasic[id - cdlg::kBasic];
  }
  repaint(dlg, old);
  repaint(dlg, id);
  show_numbers(dlg, st);
}

void add_custom(Wnd dlg, ColorDlg& st) {
  st.custom[st.custom_slot] = st.current;
  repaint(dlg, cdlg::kCustom + st.custom_slot);
  st.custom_slot = (st.custom_slot + 1) % kCustomCount;
}

Color swatch_color(const ColorDlg& st, int id) {
  if (id == cdlg::kSample) return st.current;
  if (id >= cdlg::kCustom) return st.custom[id - cdlg::kCustom];
  return kBasic[id - cdlg::kBasic];
}

void draw_swatch(const ColorDlg& st, const DrawItemStruct& di) {
  const Rect r = di.rc_item;
  Brush frame = create_solid_brush(int(di.ctl_id) == st.chosen_id ? rgb(0, 0, 0) : rgb(128, 128, 128));
  Brush fill = create_solid_brush(swatch_color(st, int(di.ctl_id)));
  fill_rect(di.dc, r, frame);
  const int inset = int(di.ctl_id) == st.chosen_id ? 2 : 1;
  fill_rect(di.dc, Rect{r.left + inset, r.top + inset, r.right - inset, r.bottom - inset}, fill);
  delete_object(fill);
  delete_object(frame);
}

bool is_swatch(int id) {
  return (id >= cdlg::kBasic && id < cdlg::kBasic + kBasicCount) ||
         (id >= cdlg::kCustom && id < cdlg::kCustom + kCustomCount);
}

intptr_t color_dlg_proc(Wnd dlg, uint32_t msg, WParam wp, LParam lp) {
  if (msg == WM_INITDIALOG) {
    set_window_long(dlg, DWLP_USER, lp);
    show_numbers(dlg, *reinterpret_cast<ColorDlg*>(lp));
    return 1;
  }
  ColorDlg* st = state_of(dlg);
  if (!st) return 0;
  if (msg == WM_DRAWITEM) {
    draw_swatch(*st, *reinterpret_cast<const DrawItemStruct*>(lp));
    set_window_long(dlg, DWLP_MSGRESULT, 1);
    return 1;
  }
  if (msg != WM_COMMAND) return 0;
  const int id = int(loword(wp)), code = int(hiword(wp));
  if (code == EN_CHANGE && (id == cdlg::kRed || id == cdlg::kGreen || id == cdlg::kBlue)) {
    if (!st->setting) on_numbers_changed(dlg, *st);
    return 1;
  }
  if (code != BN_CLICKED) return 0;
  if (is_swatch(id)) {
    choose_swatch(dlg, *st, id);
  } else if (id == cdlg::kAddCustom) {
    add_custom(dlg, *st);
  } else if (id == IDOK || id == IDCANCEL) {
    end_dialog(dlg, id);
  } else {
    return 0;
  }
  return 1;
}

DlgTemplate color_template() {
  DlgTemplate t;
  t.title = "Color";
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | WS_VISIBLE;
  t.cx = 262;
  t.cy = 172;
  t.items.push_back({"Static", -1, "&Basic colors:", SS_LEFT, 7, 6, 120, 10});
  for (int i = 0; i < kBasicCount; ++i)
    t.items.push_back({"Button", cdlg::kBasic + i, "", BS_OWNERDRAW | (i == 0 ? WS_GROUP | WS_TABSTOP : 0u),
                       7 + (i % 8) * 16, 18 + (i / 8) * 13, 14, 11});
  t.items.push_back({"Static", -1, "&Custom colors:", SS_LEFT | WS_GROUP, 7, 100, 120, 10});
  for (int i = 0; i < kCustomCount; ++i)
    t.items.push_back({"Button", cdlg::kCustom + i, "", BS_OWNERDRAW | (i == 0 ? WS_GROUP | WS_TABSTOP : 0u),
                       7 + (i % 8) * 16, 112 + (i / 8) * 13, 14, 11});
  const DlgItem rest[] = {
      {"Button", cdlg::kSample, "", BS_OWNERDRAW | WS_GROUP, 150, 18, 105, 40},
      {"Static", -1, "Color|Solid", SS_CENTER, 150, 60, 105, 10},
      {"Static", -1, "&Red:", SS_RIGHT, 150, 78, 40, 10},
      {"Edit", cdlg::kRed, "", ES_NUMBER | WS_BORDER | WS_TABSTOP | WS_GROUP, 195, 76, 30, 14},
      {"Static", -1, "&Green:", SS_RIGHT, 150, 96, 40, 10},
      {"Edit", cdlg::kGreen, "", ES_NUMBER | WS_BORDER | WS_TABSTOP, 195, 94, 30, 14},
      {"Static", -1, "Bl&ue:", SS_RIGHT, 150, 114, 40, 10},
      {"Edit", cdlg::kBlue, "", ES_NUMBER | WS_BORDER | WS_TABSTOP, 195, 112, 30, 14},
      {"Button", cdlg::kAddCustom, "&Add to Custom Colors", BS_PUSHBUTTON | WS_TABSTOP, 150, 132, 105, 14},
      {"Button", IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 150, 152, 50, 14},
      {"Button", IDCANCEL, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 205, 152, 50, 14},
  };
  t.items.insert(t.items.end(), std::begin(rest), std::end(rest));
  return t;
}

}  // namespace

Color* custom_colors() { return g_custom; }
const Color* basic_colors() { return kBasic; }

bool choose_color(ChooseColor* cc) {
  if (!cc) {
    cdlg_detail::set_last_error(CDERR_STRUCTSIZE);
    return false;
  }
  Color* custom = cc->cust_colors ? cc->cust_colors : g_custom;
  ColorDlg st;
  st.current = (cc->flags & CC_RGBINIT) ? (cc->rgb & 0x00FFFFFFu) : 0;
  {
    std::lock_guard<std::mutex> lock(g_custom_mutex);
    std::copy(custom, custom + kCustomCount, st.custom);
  }
  register_controls();
  const intptr_t r = dialog_box_indirect(color_template(), cc->owner, color_dlg_proc, LParam(&st));
  if (r != IDOK) {
    cdlg_detail::set_last_error(r == -1 ? CDERR_INITIALIZATION : 0);
    return false;
  }
  cdlg_detail::set_last_error(0);
  cc->rgb = st.current;
  std::lock_guard<std::mutex> lock(g_custom_mutex);
  std::copy(st.custom, st.custom + kCustomCount, custom);
  return true;
}

}  // namespace plat

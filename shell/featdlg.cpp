// The map features window: a "ClasseDialogue" window laid out in pixels, with the tab
// control of the two pages on the left and the representation editor on the right
// (a point group, a line group, "Same color and font", Apply, "Apply & close", Close).
//
// The editor works on two working representations made with the window. Typing (or
// choosing) a mnemonic loads the group from the representation table when the
// mnemonic is known, and keeps the group's values when it is not, so that Apply makes
// a new representation of them. Apply stores both groups, then hands over to the
// current page, which records the feature change and rebuilds its reader's tables.
#include "shell/featdlg.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "core/config.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "map/bitmap_record.h"
#include "map/gps_classes.h"
#include "map/repr.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_tab.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/paint.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/featdlg_internal.h"
#include "shell/frame.h"
#include "shell/framework/choosers.h"
#include "shell/framework/icon_chooser.h"
#include "shell/framework/progress.h"
#include "shell/framework/table_window.h"
#include "shell/framework/winutil.h"

namespace featdlg {

window_state& st() {
  static window_state s;
  return s;
}

const char* tr(const char* fr, const char* en) { return is_french() ? fr : en; }

std::string text_of(plat::Wnd wnd, int limit) {
  std::string s = wnd ? plat::window_text(wnd) : std::string();
  if (int(s.size()) > limit) s.resize(size_t(limit));
  return s;
}

bool is_checked(plat::Wnd button) {
  return button && plat::send_message(button, plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED;
}

void set_checked(plat::Wnd button, bool on) {
  if (button) plat::send_message(button, plat::BM_SETCHECK, on ? plat::BST_CHECKED : plat::BST_UNCHECKED, 0);
}

std::string list_text(plat::Wnd list) {
  char buf[256] = "";
  list_selected_text(list, buf, sizeof buf);
  return buf;
}

}  // namespace featdlg

using namespace featdlg;

namespace {

// ---- Layout (pixels) ------------------------------------------------------------------------
constexpr int kDisplayWidth = 388, kDisplayHeight = 368;  // the pages' room in the tab control
constexpr int kTabX = 6, kTabY = 6;
constexpr int kPageX = 16, kPageY = 36, kPageWidth = 376, kPageHeight = 356;
constexpr int kRightWidth = 476, kBottomMargin = 12;
constexpr int kWindowX = 36, kWindowY = 48;
constexpr int kGroupWidth = 452, kGroupHeight = 162;
constexpr int kPointGroupY = 6, kLineGroupY = 204;
constexpr int kButtonY = 374, kButtonWidth = 120, kWideButtonWidth = 180, kButtonHeight = 28;
constexpr int kRowHeight = 24;

// ---- Value ranges ----------------------------------------------------------------------------
constexpr int kFontMin = 4, kFontMax = 80;
constexpr int kPixelsMin = 0, kPixelsMax = 1000;
constexpr int kFontChars = 2, kPixelChars = 4, kMetreChars = 9;
constexpr int kMnemoChars = 63;
constexpr int kSizeReadChars = 16;  // what a text size copy and a number read take

// The point symbols, item data 0 to 5 (the "Symbol" face of the original table has no
// counterpart here: these characters show the same shapes in the dialog's faces).
const char* const kSymbols[] = {".", "o", "\xE2\x96\xA1", "+", "\xC3\x97", "\xCE\x94"};
constexpr int kSymbolCount = 6;
// The line styles and their motif numbers.
struct line_style {
  const char* text;
  int motif;
};
const line_style kLineStyles[] = {{"", 0}, {"_______", 1}, {".......", 8}, {"-------", 9}};
constexpr int kSolidMotif = 1;

// The two list fonts, made once per run: 15 pixels high, 7 wide, normal weight, ANSI
// character set, proof quality.
constexpr int kFontHeight = 15, kFontWidth = 7, kAnsiCharset = 0, kProofQuality = 2;
plat::Font g_courier = nullptr;
plat::Font g_symbol = nullptr;

void make_fonts() {
  if (!g_courier)
    g_courier = plat::create_font(kFontHeight, kFontWidth, 0, 0, plat::FW_NORMAL, 0, 0, 0, kAnsiCharset, 0, 0,
                                  kProofQuality, 0, "Courier New");
  if (!g_symbol)
    g_symbol = plat::create_font(kFontHeight, kFontWidth, 0, 0, plat::FW_NORMAL, 0, 0, 0, kAnsiCharset, 0, 0,
                                 kProofQuality, 0, "Symbol");
}

// The controls of one group, by id.
struct group_ids {
  int mnemo, info, colour, font, font_spin, metres;
};
constexpr group_ids kPointIds{kFeatPointMnemo, kFeatPointInfo, kFeatPointColour, kFeatPointFont,
                              kFeatPointFontSpin, kFeatPointMetres};
constexpr group_ids kLineIds{kFeatLineMnemo, kFeatLineInfo, kFeatLineColour, kFeatLineFont, kFeatLineFontSpin,
                             kFeatLineMetres};
// The controls that follow a group's mnemonic (all but the mnemonic edit).
const int kPointControls[] = {kFeatPointInfo, kFeatPointMetres,    kFeatPointColour,  kFeatPointFont,
                              kFeatPointFontSpin, kFeatSymbolMode, kFeatIconMode};
const int kSymbolControls[] = {kFeatSymbolList, kFeatSymbolSize, kFeatSymbolSizeSpin};
const int kLineControls[] = {kFeatLineInfo,    kFeatLineColour, kFeatLineFont,       kFeatLineFontSpin,
                             kFeatLineMetres, kFeatLinePixels, kFeatLinePixelsSpin, kFeatLineStyle,
                             kFeatLineFilled};

plat::Wnd item(int id) { return st().wnd ? plat::get_dlg_item(st().wnd, id) : nullptr; }

void enable(int id, bool on) {
  if (plat::Wnd w = item(id)) plat::enable_window(w, on);
}

bool enabled(int id) {
  plat::Wnd w = item(id);
  return w && plat::is_window_enabled(w);
}

int clamp(int v, int low, int high) { return v < low ? low : v > high ? high : v; }

// A decimal number read from a field (what does not read as one is 0).
int read_int(int id) {
  const std::string s = text_of(item(id), kSizeReadChars);
  return int(std::strtol(s.c_str(), nullptr, 10));
}

void set_int(int id, int v) { plat::set_window_text(item(id), std::to_string(v).c_str()); }

uint32_t colour_value(uint32_t word) { return word & 0xFFFFFFu; }
uint32_t colour_word_of(uint32_t value) {
  return gps_rgb(color_red(value), color_green(value), color_blue(value));
}

// ---- Building -----------------------------------------------------------------------------------

plat::Wnd add(plat::Wnd parent, const char* cls, const char* text, uint32_t style, int x, int y, int w, int h,
              int id, uint32_t ex = 0) {
  return create_control(parent, cls, text, style, x, y, w, h, id, ex);
}

plat::Wnd label(plat::Wnd parent, const char* text, int x, int y, int w) {
  return add(parent, plat::kStaticClass, text, plat::SS_LEFT, x, y + 3, w, 18, -1);
}

plat::Wnd edit(plat::Wnd parent, int id, int x, int y, int w, uint32_t extra, int limit) {
  plat::Wnd e = add(parent, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL | extra, x, y, w,
                    kRowHeight, id, plat::WS_EX_CLIENTEDGE);
  plat::send_message(e, plat::EM_LIMITTEXT, plat::WParam(limit), 0);
  return e;
}

// An edit with its up-down control on its right side.
void spin_edit(plat::Wnd parent, int edit_id, int spin_id, int x, int y, int w, int low, int high, int chars,
               uint32_t align) {
  plat::Wnd e = edit(parent, edit_id, x, y, w, plat::ES_NUMBER | align, chars);
  plat::Wnd ud = add(parent, plat::kUpDownClass, "",
                     plat::UDS_ALIGNRIGHT | plat::UDS_SETBUDDYINT | plat::UDS_ARROWKEYS | plat::UDS_NOTHOUSANDS,
                     0, 0, 16, kRowHeight, spin_id);
  updown_setup(ud, e, low, high, low, chars);
}

plat::Wnd bitmap_button(plat::Wnd parent, int id, int x, int y, int size, plat::Bitmap picture) {
  plat::Wnd b = add(parent, plat::kButtonClass, "", plat::WS_TABSTOP | plat::BS_PUSHBUTTON | plat::BS_BITMAP, x, y,
                    size, size, id);
  if (picture) plat::send_message(b, plat::BM_SETIMAGE, plat::IMAGE_BITMAP, plat::LParam(picture));
  return b;
}

plat::Wnd colour_button(plat::Wnd parent, int id, int x, int y) {
  return add(parent, plat::kButtonClass, "", plat::WS_TABSTOP | plat::BS_OWNERDRAW, x, y, 60, kRowHeight, id,
             plat::WS_EX_CLIENTEDGE);
}

plat::Bitmap load_info_bitmap() {
  for (const char* dir : {get_system_dir(), get_program_dir()}) {
    const std::string path = std::string(dir ? dir : "") + kFeatInfoBitmap;
    if (plat::Bitmap b = plat::load_bitmap_file(path.c_str(), 0)) return b;
  }
  return nullptr;
}

// The upper row of a group: its mnemonic, the uses button, the colour.
void group_head(plat::Wnd wnd, int x, int y, const group_ids& ids) {
  label(wnd, tr("Mn\xC3\xA9monique", "Mnemonic"), x, y, 116);
  edit(wnd, ids.mnemo, x + 118, y, 120, plat::ES_UPPERCASE, kMnemoChars);
  bitmap_button(wnd, ids.info, x + 244, y, kRowHeight, st().info);
  label(wnd, tr("Couleur", "Color"), x + 280, y, 70);
  colour_button(wnd, ids.colour, x + 356, y);
}

void point_group(plat::Wnd wnd, int x0) {
  const int x = x0 + 14, y = kPointGroupY + 20;
  add(wnd, plat::kButtonClass, tr("Repr\xC3\xA9sentation ponctuelle", "Point display mode"), plat::BS_GROUPBOX, x0 + 4,
      kPointGroupY, kGroupWidth, kGroupHeight, -1);
  group_head(wnd, x, y, kPointIds);
  label(wnd, tr("Taille objet en m\xC3\xA8tres", "Object size in meter"), x, y + 32, 172);
  edit(wnd, kFeatPointMetres, x + 176, y + 32, 80, plat::ES_NUMBER | plat::ES_RIGHT, kMetreChars);
  label(wnd, tr("Police", "Font"), x + 280, y + 32, 70);
  spin_edit(wnd, kFeatPointFont, kFeatPointFontSpin, x + 356, y + 32, 60, kFontMin, kFontMax, kFontChars,
            plat::ES_CENTER);
  add(wnd, plat::kButtonClass, tr("Symbole", "Symbol"), plat::WS_TABSTOP | plat::WS_GROUP | plat::BS_AUTORADIOBUTTON,
      x, y + 66, 96, kRowHeight, kFeatSymbolMode);
  plat::Wnd symbols = add(wnd, plat::kComboBoxClass, "", plat::WS_TABSTOP | plat::WS_VSCROLL | plat::CBS_DROPDOWNLIST,
                          x + 100, y + 66, 60, 140, kFeatSymbolList);
  plat::send_message(symbols, plat::WM_SETFONT, plat::WParam(g_symbol), 0);
  for (int i = 0; i < kSymbolCount; ++i) combo_add_item(symbols, kSymbols[i], i);
  plat::send_message(symbols, plat::CB_SETCURSEL, 0, 0);
  spin_edit(wnd, kFeatSymbolSize, kFeatSymbolSizeSpin, x + 176, y + 66, 80, kPixelsMin, kPixelsMax, kPixelChars,
            0);
  label(wnd, "pixels", x + 262, y + 66, 56);
  add(wnd, plat::kButtonClass, tr("Ic\xC3\xB4ne", "Icon"), plat::WS_TABSTOP | plat::BS_AUTORADIOBUTTON, x, y + 100,
      96, kRowHeight, kFeatIconMode);
  bitmap_button(wnd, kFeatIconButton, x + 100, y + 98, 36, nullptr);
}

void line_group(plat::Wnd wnd, int x0) {
  const int x = x0 + 14, y = kLineGroupY + 20;
  add(wnd, plat::kButtonClass, tr("Repr\xC3\xA9sentation lin\xC3\xA9" "aire", "Line display mode"), plat::BS_GROUPBOX,
      x0 + 4, kLineGroupY, kGroupWidth, kGroupHeight, -1);
  group_head(wnd, x, y, kLineIds);
  label(wnd, tr("Epaisseur en m\xC3\xA8tres", "Thickness in meter"), x, y + 32, 172);
  edit(wnd, kFeatLineMetres, x + 176, y + 32, 80, plat::ES_NUMBER | plat::ES_RIGHT, kMetreChars);
  label(wnd, tr("Police", "Font"), x + 280, y + 32, 70);
  spin_edit(wnd, kFeatLineFont, kFeatLineFontSpin, x + 356, y + 32, 60, kFontMin, kFontMax, kFontChars,
            plat::ES_CENTER);
  label(wnd, tr("Epaisseur", "Thickness"), x, y + 66, 96);
  spin_edit(wnd, kFeatLinePixels, kFeatLinePixelsSpin, x + 100, y + 66, 70, kPixelsMin, kPixelsMax, kPixelChars, 0);
  label(wnd, "pixels", x + 176, y + 66, 56);
  plat::Wnd styles = add(wnd, plat::kComboBoxClass, "", plat::WS_TABSTOP | plat::WS_VSCROLL | plat::CBS_DROPDOWNLIST,
                         x + 280, y + 66, 136, 120, kFeatLineStyle);
  plat::send_message(styles, plat::WM_SETFONT, plat::WParam(g_courier), 0);
  for (const line_style& s : kLineStyles) combo_add_item(styles, s.text, s.motif);
  combo_select_data(styles, kSolidMotif);
  add(wnd, plat::kButtonClass, tr("Rempli", "Filled"), plat::WS_TABSTOP | plat::BS_AUTOCHECKBOX, x, y + 100, 200,
      kRowHeight, kFeatLineFilled);
}

plat::Wnd make_page(plat::Wnd tab, int index) {
  plat::Point at{kPageX, kPageY};
  plat::map_window_points(st().wnd, tab, &at, 1);
  plat::Wnd page = plat::create_window(0, "ClasseDialogue", "", plat::WS_CHILD, at.x, at.y, kPageWidth, kPageHeight,
                                       tab, uintptr_t(2000 + index));
  if (page) plat::set_window_proc(page, featdlg_tab_wndproc);
  return page;
}

void add_tab(plat::Wnd tab, int index, const char* text) {
  char16_t* w = nullptr;
  utf8_to_wcs(text, &w);
  plat::TcItem it;
  it.mask = plat::TCIF_TEXT;
  it.text = w;
  plat::send_message(tab, plat::TCM_INSERTITEM, plat::WParam(index), plat::LParam(&it));
  free_mem(&w);
}

// ---- Groups ----------------------------------------------------------------------------------------

representation_t* new_working(int feattype) {
  representation_t* r = nullptr;
  representation_create(nullptr, "", &r);
  if (!r) return nullptr;
  r->colour = gps_rgb(0, 0, 0);
  r->thickmeter = 0;
  r->thickpixel = 1;
  r->motiforsymb = feattype == kEltNode ? 0 : kSolidMotif;
  r->filloricon = -1;
  r->fontsz = 10;
  r->lanes = 1;
  r->feattype = feattype;
  return r;
}

void free_working() {
  obj_t* p = st().point;
  obj_t* l = st().line;
  if (p) free_obj(&p);
  if (l) free_obj(&l);
  st().point = st().line = nullptr;
}

bool point_symbol_mode() { return !is_checked(item(kFeatIconMode)); }

// The icon chooser button shows waypoint icon `index` (none: no picture).
void show_icon(int index) {
  window_state& s = st();
  plat::Bitmap old = s.icon;
  s.icon = nullptr;
  bitmap_t* icon = index >= 0 ? gpsobj_get_icon(index, nullptr) : nullptr;
  if (icon) s.icon = render_to_bitmap(icon, 0, 0);
  plat::send_message(item(kFeatIconButton), plat::BM_SETIMAGE, plat::IMAGE_BITMAP, plat::LParam(s.icon));
  if (old) plat::delete_object(old);
}

// Enables the controls of the point group that follow its mnemonic and its mode.
void update_point_controls() {
  const bool on = enabled(kFeatPointMnemo) && !point_mnemonic().empty();
  for (int id : kPointControls) enable(id, on);
  const bool symbol = point_symbol_mode();
  for (int id : kSymbolControls) enable(id, on && symbol);
  enable(kFeatIconButton, on && !symbol);
}

void update_line_controls() {
  const bool on = enabled(kFeatLineMnemo) && !line_mnemonic().empty();
  for (int id : kLineControls) enable(id, on);
}

// Apply and "Apply & close" need a mnemonic; "Same color and font" needs both.
void update_buttons() {
  const bool point = enabled(kFeatPointMnemo) && !point_mnemonic().empty();
  const bool line = enabled(kFeatLineMnemo) && !line_mnemonic().empty();
  enable(kFeatApply, point || line);
  enable(kFeatApplyClose, point || line);
  enable(kFeatSameColourFont, point && line);
}

void set_mode_radios(bool symbol) {
  set_checked(item(kFeatSymbolMode), symbol);
  set_checked(item(kFeatIconMode), !symbol);
}

// The values of the working point representation into the group.
void show_point(const representation_t* r) {
  window_state& s = st();
  color_field_set(&s.point_colour, colour_value(r->colour));
  plat::invalidate_rect(s.point_colour.wnd, nullptr, true);
  set_int(kFeatPointFont, r->fontsz);
  set_int(kFeatPointMetres, r->thickmeter);
  const bool symbol = r->motiforsymb >= 0;
  set_mode_radios(symbol);
  if (symbol) {
    set_int(kFeatSymbolSize, r->thickpixel);
    if (combo_select_data(item(kFeatSymbolList), r->motiforsymb) < 0)
      plat::send_message(item(kFeatSymbolList), plat::CB_SETCURSEL, plat::WParam(-1), 0);
  } else {
    show_icon(r->filloricon);
  }
}

void show_line(const representation_t* r) {
  window_state& s = st();
  color_field_set(&s.line_colour, colour_value(r->colour));
  plat::invalidate_rect(s.line_colour.wnd, nullptr, true);
  set_int(kFeatLineFont, r->fontsz);
  set_int(kFeatLineMetres, r->thickmeter);
  set_int(kFeatLinePixels, r->thickpixel);
  if (combo_select_data(item(kFeatLineStyle), r->motiforsymb) < 0)
    plat::send_message(item(kFeatLineStyle), plat::CB_SETCURSEL, plat::WParam(-1), 0);
}

// A copy of the table's representation of the mnemonic into *working; false when the
// table has none. The table is read under its lock.
bool copy_from_table(const std::string& mnemo, representation_t* working) {
  std::lock_guard<std::recursive_mutex> lock(repr_tables_mutex());
  representation_t* found = nullptr;
  repr_find_mnemo(mnemo.c_str(), &found, nullptr);
  if (!found || !working) return false;
  obj_copy(found, working);
  return true;
}

void load_group(bool point) {
  window_state& s = st();
  if (!s.wnd) return;
  ++s.loading;
  point ? update_point_controls() : update_line_controls();
  update_buttons();
  const std::string mnemo = point ? point_mnemonic() : line_mnemonic();
  const int page = current_page();
  plat::Wnd list = point ? page_point_list(page) : page_line_list(page);
  if (mnemo.empty()) {
    plat::send_message(list, plat::LB_SETCURSEL, plat::WParam(-1), 0);
  } else if (!copy_from_table(mnemo, point ? s.point : s.line)) {
    plat::send_message(list, plat::LB_SETCURSEL, plat::WParam(-1), 0);
  } else {
    select_mnemonic(list, mnemo.c_str());
    point ? show_point(s.point) : show_line(s.line);
    point ? update_point_controls() : update_line_controls();
  }
  --s.loading;
}

// ---- Actions -----------------------------------------------------------------------------------------

// "Same color and font": a text size typed in one group goes to the other.
void copy_font(int from) {
  window_state& s = st();
  if (s.loading || s.copying || !is_checked(item(kFeatSameColourFont))) return;
  const int to = from == kFeatPointFont ? kFeatLineFont : kFeatPointFont;
  const std::string text = text_of(item(from), kSizeReadChars);
  if (text == text_of(item(to), kSizeReadChars)) return;
  ++s.copying;
  plat::set_window_text(item(to), text.c_str());
  --s.copying;
}

void pick_colour(bool point) {
  window_state& s = st();
  color_field* field = point ? &s.point_colour : &s.line_colour;
  color_field* other = point ? &s.line_colour : &s.point_colour;
  if (!color_field_pick(field)) return;
  if (is_checked(item(kFeatSameColourFont))) {
    color_field_set(other, field->color);
    plat::invalidate_rect(other->wnd, nullptr, true);
  }
  plat::invalidate_rect(field->wnd, nullptr, true);
}

void free_icon_list() {
  window_state& s = st();
  if (s.icons) free_obj(&s.icons);
  s.icon_numbers.clear();
}

// The chooser hands back a place in its list: the icon number of that place.
void on_icon_chosen(int index) {
  window_state& s = st();
  if (!s.wnd || !s.point || index < 0 || size_t(index) >= s.icon_numbers.size()) return;
  s.point->filloricon = s.icon_numbers[size_t(index)];
  show_icon(s.point->filloricon);
}

// The chooser over the waypoint icons (not the lap icon the icon table also holds; an
// icon that could not be loaded is left out, the others keep their numbers).
void choose_icon() {
  window_state& s = st();
  free_icon_list();
  obj_list_new(&s.icons);
  int selected = 0;
  for (int i = 0; i < kWaypointIconCount && s.icons; ++i) {
    bitmap_t* icon = gpsobj_get_icon(i, nullptr);
    if (!icon) continue;
    if (s.point && s.point->filloricon == i) selected = int(s.icon_numbers.size());
    obj_list_append(s.icons, icon);
    s.icon_numbers.push_back(i);
  }
  if (s.icon_numbers.empty()) return;
  plat::set_active_window(s.wnd);
  create_dialog_window(s.icons, selected, on_icon_chosen);
}

// The uses of a group's representation in a table window: the header of the
// representation table and a row per feature that names it.
void show_uses(bool point) {
  const std::string mnemo = point ? point_mnemonic() : line_mnemonic();
  if (mnemo.empty()) return;
  representation_t* probe = nullptr;
  representation_create(nullptr, mnemo.c_str(), &probe);
  if (!probe) return;
  char* text = nullptr;
  repr_header_text(probe, &text);
  obj_t* o = probe;
  free_obj(&o);
  const std::string title = std::string(tr("Utilisation de : ", "Use for : ")) + mnemo;
  plat::set_active_window(st().wnd);
  create_table_window(text ? text : "", title.c_str(), 1, 4, 400, 0);
  free_mem(&text);
}

void show_page(int page) {
  window_state& s = st();
  for (int i = 0; i < 2; ++i)
    if (s.pages[i]) plat::show_window(s.pages[i], i == page ? plat::SW_SHOW : plat::SW_HIDE);
}

// TCN_SELCHANGE: the page of the tab shows, and the groups follow its choices.
void on_tab_change() {
  const int page = current_page();
  show_page(page);
  const bool point = page == kFeatPageOsm ? osm_page_allows_point() : polish_page_allows_point();
  const bool line = page == kFeatPageOsm ? osm_page_allows_line() : polish_page_allows_line();
  enable_point_group(point);
  enable_line_group(line);
  const std::string p = list_text(page_point_list(page));
  const std::string l = list_text(page_line_list(page));
  if (!p.empty()) set_point_mnemonic(p);
  if (!l.empty()) set_line_mnemonic(l);
}

void close_window(plat::Wnd wnd) {
  free_working();
  if (plat::Wnd owner = plat::get_owner(wnd)) plat::enable_window(owner, true);
  plat::destroy_window(wnd);
}

void apply(bool and_close) {
  window_state& s = st();
  featdlg_apply_representations(s.wnd);
  if (current_page() == kFeatPageOsm)
    osm_page_apply();
  else
    polish_page_apply();
  if (and_close && s.wnd) close_window(s.wnd);
}

void on_command(plat::Wnd wnd, int id, int code) {
  switch (id) {
    case kFeatPointMnemo:
      if (code == plat::EN_CHANGE) repr_edit_point_mnemonic(wnd);
      break;
    case kFeatLineMnemo:
      if (code == plat::EN_CHANGE) repr_edit_line_mnemonic(wnd);
      break;
    case kFeatPointFont:
    case kFeatLineFont:
      if (code == plat::EN_CHANGE) copy_font(id);
      break;
    case kFeatPointColour:
    case kFeatLineColour:
      if (code == plat::BN_CLICKED) pick_colour(id == kFeatPointColour);
      break;
    case kFeatSymbolMode:
    case kFeatIconMode:
      if (code == plat::BN_CLICKED) {
        update_point_controls();
        if (id == kFeatIconMode && st().point) show_icon(st().point->filloricon);
      }
      break;
    case kFeatIconButton:
      if (code == plat::BN_CLICKED) choose_icon();
      break;
    case kFeatPointInfo:
    case kFeatLineInfo:
      if (code == plat::BN_CLICKED) show_uses(id == kFeatPointInfo);
      break;
    case kFeatApply:
      if (code == plat::BN_CLICKED) apply(false);
      break;
    case kFeatApplyClose:
      if (code == plat::BN_CLICKED) apply(true);
      break;
    case kFeatClose:
    case plat::IDCANCEL:
      if (code == plat::BN_CLICKED) close_window(wnd);
      break;
    default:
      break;
  }
}

// The colour buttons are painted in their working colours.
intptr_t on_button_colour(plat::Dc dc, plat::Wnd button) {
  window_state& s = st();
  if (button && button == s.point_colour.wnd) return color_field_paint(&s.point_colour, dc);
  if (button && button == s.line_colour.wnd) return color_field_paint(&s.line_colour, dc);
  return 0;
}

// The window is gone, however it went: what it held goes with it.
void forget_window(plat::Wnd wnd) {
  window_state& s = st();
  if (s.wnd != wnd) return;
  free_working();
  color_field_free(&s.point_colour);
  color_field_free(&s.line_colour);
  if (s.info) plat::delete_object(s.info);
  if (s.icon) plat::delete_object(s.icon);
  free_icon_list();
  s = window_state{};
}

}  // namespace

// ---- The editor, for the pages -------------------------------------------------------------------

namespace featdlg {

int current_page() {
  const int i = st().tab ? int(plat::send_message(st().tab, plat::TCM_GETCURSEL, 0, 0)) : 0;
  return i == kFeatPagePolish ? kFeatPagePolish : kFeatPageOsm;
}

plat::Wnd page_item(int page, int id) {
  plat::Wnd p = featdlg_page(page);
  return p ? plat::get_dlg_item(p, id) : nullptr;
}

bool page_box_on(int page, int id) {
  plat::Wnd w = page_item(page, id);
  return w && plat::is_window_enabled(w) && is_checked(w);
}

plat::Wnd page_point_list(int page) {
  return page_item(page, page == kFeatPageOsm ? kOsmNodeList : kMpPointList);
}

plat::Wnd page_line_list(int page) {
  return page_item(page, page == kFeatPageOsm ? kOsmWayList : kMpLineList);
}

void enable_point_group(bool on) {
  enable(kFeatPointMnemo, on);
  update_point_controls();
  update_buttons();
}

void enable_line_group(bool on) {
  enable(kFeatLineMnemo, on);
  update_line_controls();
  update_buttons();
}

void disable_editor() {
  enable_point_group(false);
  enable_line_group(false);
}

void set_point_mnemonic(const std::string& mnemo) {
  if (point_mnemonic() == mnemo) {
    repr_edit_point_mnemonic(st().wnd);
    return;
  }
  plat::set_window_text(item(kFeatPointMnemo), mnemo.c_str());
}

void set_line_mnemonic(const std::string& mnemo) {
  if (line_mnemonic() == mnemo) {
    repr_edit_line_mnemonic(st().wnd);
    return;
  }
  plat::set_window_text(item(kFeatLineMnemo), mnemo.c_str());
}

std::string point_mnemonic() { return text_of(item(kFeatPointMnemo), kMnemoChars); }
std::string line_mnemonic() { return text_of(item(kFeatLineMnemo), kMnemoChars); }

int select_mnemonic(plat::Wnd list, const char* mnemo) {
  int position = -1;
  {
    std::lock_guard<std::recursive_mutex> lock(repr_tables_mutex());
    representation_t* found = nullptr;
    if (mnemo && *mnemo) repr_find_mnemo(mnemo, &found, &position);
    if (!found) position = -1;
  }
  if (position < 0)
    plat::send_message(list, plat::LB_SETCURSEL, plat::WParam(-1), 0);
  else
    list_select_data(list, position);
  return position;
}

void fill_representation_lists() {
  plat::Wnd point[2] = {page_point_list(kFeatPageOsm), page_point_list(kFeatPagePolish)};
  plat::Wnd line[2] = {page_line_list(kFeatPageOsm), page_line_list(kFeatPagePolish)};
  std::string selected[2][2];
  for (int i = 0; i < 2; ++i) {
    selected[i][0] = list_text(point[i]);
    selected[i][1] = list_text(line[i]);
    list_clear(point[i]);
    list_clear(line[i]);
  }
  {
    std::lock_guard<std::recursive_mutex> lock(repr_tables_mutex());
    container_t* index = repr_mnemo_index();
    const int n = obj_list_count(index);
    for (int i = 0; i < n; ++i) {
      const auto* r = static_cast<const representation_t*>(index->elems[i]);
      if (!r || r->cls != CLS_REPRESENTATION || r->feattype == 0 || !r->mnemo) continue;
      for (int p = 0; p < 2; ++p) list_add_item(r->feattype == kEltNode ? point[p] : line[p], r->mnemo, i);
    }
  }
  // What was chosen stays chosen.
  for (int i = 0; i < 2; ++i) {
    if (!selected[i][0].empty()) select_mnemonic(point[i], selected[i][0].c_str());
    if (!selected[i][1].empty()) select_mnemonic(line[i], selected[i][1].c_str());
  }
}

}  // namespace featdlg

// ---- Public routines ------------------------------------------------------------------------------

plat::Wnd featdlg_window() {
  const plat::Wnd w = st().wnd;
  return w && plat::is_window(w) ? w : nullptr;
}

plat::Wnd featdlg_page(int page) {
  if (!featdlg_window() || page < 0 || page > 1) return nullptr;
  return st().pages[page];
}

void repr_edit_point_mnemonic(plat::Wnd) { load_group(true); }
void repr_edit_line_mnemonic(plat::Wnd) { load_group(false); }

int featdlg_apply_representations(plat::Wnd) {
  window_state& s = st();
  if (!s.wnd || !s.point || !s.line) return 0;
  int stored = 0;
  bool point_stored = false, line_stored = false;
  const std::string pm = point_mnemonic();
  if (enabled(kFeatPointMnemo) && !pm.empty()) {
    representation_t* r = s.point;
    str_set(pm.c_str(), &r->mnemo);
    r->fontsz = clamp(read_int(kFeatPointFont), kFontMin, kFontMax);
    r->colour = colour_word_of(s.point_colour.color);
    r->thickmeter = read_int(kFeatPointMetres);
    if (point_symbol_mode()) {
      // No symbol chosen (a loaded one the list does not show): the loaded one stays.
      const intptr_t symbol = combo_selected_data(item(kFeatSymbolList));
      if (symbol >= 0 && symbol < kSymbolCount)
        r->motiforsymb = int(symbol);
      else if (r->motiforsymb < 0)
        r->motiforsymb = 0;
      r->filloricon = -1;
      r->thickpixel = clamp(read_int(kFeatSymbolSize), kPixelsMin, kPixelsMax);
    } else {
      // The icon chosen with the chooser (or loaded with the representation).
      r->motiforsymb = -1;
      if (r->filloricon < 0) r->filloricon = 0;
    }
    r->feattype = kEltNode;
    repr_add_representation(r);
    point_stored = true;
    ++stored;
  }
  const std::string lm = line_mnemonic();
  if (enabled(kFeatLineMnemo) && !lm.empty()) {
    representation_t* r = s.line;
    str_set(lm.c_str(), &r->mnemo);
    r->fontsz = clamp(read_int(kFeatLineFont), kFontMin, kFontMax);
    r->colour = colour_word_of(s.line_colour.color);
    // No style chosen (a loaded motif the list does not show): the loaded one stays.
    const intptr_t style = combo_selected_data(item(kFeatLineStyle));
    if (style >= 0) r->motiforsymb = int(style);
    r->thickmeter = read_int(kFeatLineMetres);
    r->thickpixel = clamp(read_int(kFeatLinePixels), kPixelsMin, kPixelsMax);
    r->feattype = kEltWay;
    repr_add_representation(r);
    line_stored = true;
    ++stored;
  }
  if (point_stored || line_stored) fill_representation_lists();
  return stored;
}

void featdlg_build(plat::Wnd wnd) {
  window_state& s = st();
  s.tab = add(wnd, plat::kTabClass, "", plat::WS_TABSTOP, kTabX, kTabY, kDisplayWidth, kDisplayHeight, kFeatTab);
  add_tab(s.tab, kFeatPageOsm, "OSM");
  add_tab(s.tab, kFeatPagePolish, tr("Format polonais", "Polish format"));
  plat::Rect r{0, 0, kDisplayWidth, kDisplayHeight};
  plat::send_message(s.tab, plat::TCM_ADJUSTRECT, 1, plat::LParam(&r));
  const int w = r.width(), h = r.height();
  plat::move_window(s.tab, kTabX, kTabY, w, h, true);
  plat::Rect frame{0, 0, w + kRightWidth, h + kBottomMargin};
  const uint32_t style = uint32_t(plat::get_window_long(wnd, plat::GWL_STYLE));
  const uint32_t ex = uint32_t(plat::get_window_long(wnd, plat::GWL_EXSTYLE));
  plat::adjust_window_rect(&frame, style, false, ex);
  plat::move_window(wnd, kWindowX, kWindowY, frame.width(), frame.height(), true);
  for (int i = 0; i < 2; ++i) s.pages[i] = make_page(s.tab, i);
  if (s.pages[kFeatPageOsm]) osm_page_build(s.pages[kFeatPageOsm]);
  if (s.pages[kFeatPagePolish]) polish_page_build(s.pages[kFeatPagePolish]);
  show_page(kFeatPageOsm);

  s.info = load_info_bitmap();
  point_group(wnd, w);
  add(wnd, plat::kButtonClass, tr("Couleur et police identiques", "Same color and font"),
      plat::WS_TABSTOP | plat::BS_AUTOCHECKBOX, w + 18, kPointGroupY + kGroupHeight + 8, 300, kRowHeight,
      kFeatSameColourFont);
  line_group(wnd, w);
  add(wnd, plat::kButtonClass, tr("Appliquer", "Apply"), plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON, w + 14,
      kButtonY, kButtonWidth, kButtonHeight, kFeatApply);
  add(wnd, plat::kButtonClass, tr("Appliquer et fermer", "Apply & close"), plat::WS_TABSTOP | plat::BS_PUSHBUTTON,
      w + 154, kButtonY, kWideButtonWidth, kButtonHeight, kFeatApplyClose);
  add(wnd, plat::kButtonClass, tr("Fermer", "Close"), plat::WS_TABSTOP | plat::BS_PUSHBUTTON,
      w + kRightWidth - 12 - kButtonWidth, kButtonY, kButtonWidth, kButtonHeight, kFeatClose);

  s.point = new_working(kEltNode);
  s.line = new_working(kEltWay);
  color_field_init(&s.point_colour, item(kFeatPointColour), 0);
  color_field_init(&s.line_colour, item(kFeatLineColour), 0);
  ++s.loading;
  if (s.point) show_point(s.point);
  if (s.line) show_line(s.line);
  set_mode_radios(true);
  --s.loading;
  osm_page_fill();
  polish_page_fill();
  fill_representation_lists();
  // Nothing is edited before the page allows a group and a mnemonic is given.
  enable(kFeatPointMnemo, false);
  enable(kFeatLineMnemo, false);
  update_point_controls();
  update_line_controls();
  update_buttons();
}

plat::LResult featdlg_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_COMMAND:
      if (st().wnd == wnd) on_command(wnd, int(plat::loword(wparam)), int(plat::hiword(wparam)));
      return 0;
    case plat::WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const plat::NmHdr*>(lparam);
      if (hdr && st().wnd == wnd && hdr->id_from == uintptr_t(kFeatTab) && hdr->code == plat::TCN_SELCHANGE)
        on_tab_change();
      return 0;
    }
    case plat::WM_CTLCOLORBTN:
      if (intptr_t brush = on_button_colour(reinterpret_cast<plat::Dc>(wparam), reinterpret_cast<plat::Wnd>(lparam)))
        return brush;
      break;
    case plat::WM_SETCURSOR:
      set_busy_cursor(0);
      return 1;
    case plat::WM_CLOSE:
      close_window(wnd);
      return 0;
    case plat::WM_NCDESTROY:
      if (st().wnd == wnd) {
        if (plat::Wnd owner = plat::get_owner(wnd)) plat::enable_window(owner, true);
        forget_window(wnd);
      }
      break;
    default:
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

plat::LResult featdlg_tab_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_COMMAND: {
      window_state& s = st();
      const int id = int(plat::loword(wparam)), code = int(plat::hiword(wparam));
      if (wnd == s.pages[kFeatPageOsm])
        osm_page_command(wnd, id, code);
      else if (wnd == s.pages[kFeatPagePolish])
        polish_page_command(wnd, id, code);
      return 0;
    }
    case plat::WM_CLOSE:
      plat::destroy_window(wnd);
      return 0;
    default:
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

void featdlg_open_window() {
  if (plat::Wnd open = featdlg_window()) {
    plat::set_foreground_window(open);
    return;
  }
  make_fonts();
  plat::register_controls();
  register_dialog_class();
  const uint32_t style = plat::WS_POPUP | plat::WS_CAPTION;
  plat::Wnd owner = main_frame_window();
  plat::Wnd wnd = plat::create_window(plat::WS_EX_DLGMODALFRAME, "ClasseDialogue",
                                      tr("Repr\xC3\xA9sentation des map features", "Map features display"), style,
                                      kWindowX, kWindowY, 900, 440, owner, 0);
  if (!wnd) return;
  window_state& s = st();
  s = window_state{};
  s.wnd = wnd;
  featdlg_build(wnd);
  plat::set_window_proc(wnd, featdlg_wndproc);
  plat::enable_window(wnd, true);
  if (owner) plat::enable_window(owner, false);
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_active_window(wnd);
}

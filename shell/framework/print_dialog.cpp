// The print set-up dialog: its template, its bilingual texts, the choices it keeps from
// one print to the next, and its procedure.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/obj_list.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/queue.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/dialog.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/dialog_items.h"
#include "shell/framework/winutil.h"
#include "shell/framework/print_dialog.h"

namespace {

using dlgitem::kNoId;
constexpr int kMaxImageResolution = 9999;
constexpr int kFactorTextMax = 255;
constexpr const char* kNoDevice = "NONETARMELO";  // the profile's answer when unset

// Program-wide: the choices persist between prints.
struct dialog_state {
  int printer_pos = -1;  // not chosen yet
  int quality_pos = -1;
  double font_factor = 1.0, thickness_factor = 1.0;
  int image_hres = 0, image_vres = 0;
  int full_page = 0;
  bool image = false, full_option = false;
  int confirmed = 0;
  container_t* printers = nullptr;       // the caller's index, during the dialog
  container_t* qualities = nullptr;      // the current printer's quality entries
  container_t* quality_index = nullptr;  // sorted by name
};
dialog_state& st() {
  static dialog_state s;
  return s;
}

const dialog_text kTexts[] = {
    {IDC_PRINT_PRINTER_LABEL, "Imprimante", "Printer"},
    {IDC_PRINT_RES_LABEL, "R\xC3\xA9solution de l'imprimante", "Printer resolution"},
    {IDC_PRINT_GREY, "Niveaux de gris", "Graylevel"},
    {IDC_PRINT_RATIO_LABEL, "Ratio", "Ratio"},
    {IDC_PRINT_ORIENT_LABEL, "Orientation", "Orientation"},
    {IDC_PRINT_FONT_LABEL, "Facteur de taille de police", "Font size factor"},
    {IDC_PRINT_THICK_LABEL, "Facteur d'\xC3\xA9paisseur", "Thickness factor"},
    {IDC_PRINT_IMG_LABEL, "R\xC3\xA9solution de l'image", "Image resolution"},
    {IDC_PRINT_IMG_H_LABEL, "Horizontale", "Horizontal"},
    {IDC_PRINT_IMG_V_LABEL, "Verticale", "Vertical"},
    {IDC_PRINT_FULL_PAGE, "Pleine page", "Full page"},
    {IDC_PRINT_CANCEL, "Annuler", "Cancel"},
    {0, "Impression", "Print"},
};

}  // namespace

// Labels on the left, fields from x = 122: room for the longest French label.
const plat::DlgTemplate& print_dialog_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "Print";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    d.cx = 262;
    d.cy = 182;
    using namespace dlgitem;
    constexpr int L = 8, F = 122, List = 90;
    d.items = {
        label(IDC_PRINT_PRINTER_LABEL, "Imprimante", L, 8, 110),
        combo(IDC_PRINT_PRINTER, F, 8, 132, List),
        label(IDC_PRINT_RES_LABEL, "R\xC3\xA9solution de l'imprimante", L, 26, 110),
        combo(IDC_PRINT_RESOLUTION, F, 26, 60, List),
        label(kNoId, "dpi", F + 64, 26, 20),
        check_box(IDC_PRINT_GREY, "Niveaux de gris", F, 44, 120, 11),
        label(IDC_PRINT_RATIO_LABEL, "Ratio (1 - 100)", L, 60, 110),
        edit(IDC_PRINT_RATIO, F, 60, 46, plat::ES_NUMBER),
        {plat::kUpDownClass, IDC_PRINT_UPDOWN, "",
         plat::UDS_ALIGNRIGHT | plat::UDS_AUTOBUDDY | plat::UDS_SETBUDDYINT | plat::UDS_ARROWKEYS |
             plat::UDS_NOTHOUSANDS, 0, 0, 10, 13},
        label(kNoId, "%", F + 50, 60, 12),
        label(IDC_PRINT_ORIENT_LABEL, "Orientation", L, 78, 110),
        combo(IDC_PRINT_ORIENT, F, 78, 80, List),
        label(IDC_PRINT_FONT_LABEL, "Facteur de taille de police", L, 98, 110),
        edit(IDC_PRINT_FONT, F, 98, 40),
        label(IDC_PRINT_THICK_LABEL, "Width factor", L, 116, 110),
        edit(IDC_PRINT_THICK, F, 116, 40),
        label(IDC_PRINT_IMG_LABEL, "R\xC3\xA9solution de l'image", L, 98, 110),
        label(IDC_PRINT_IMG_H_LABEL, "Horizontale", F, 98, 50),
        edit(IDC_PRINT_IMG_H, F + 54, 98, 36, plat::ES_NUMBER),
        label(IDC_PRINT_PPI, "ppi", F + 94, 98, 20),
        label(IDC_PRINT_IMG_V_LABEL, "Verticale", F, 116, 50),
        edit(IDC_PRINT_IMG_V, F + 54, 116, 36, plat::ES_NUMBER),
        check_box(IDC_PRINT_FULL_PAGE, "Pleine page", F, 136, 120, 11),
        default_button(IDC_PRINT_OK, "OK", 140, 160),
        button(IDC_PRINT_CANCEL, "Cancel", 200, 160),
    };
    return d;
  }();
  return t;
}

namespace {

printer_entry_t* current_printer() {
  printer_entry_t* e = nullptr;
  if (st().printers && st().printer_pos >= 0 && st().printer_pos < obj_list_count(st().printers))
    obj_list_get(st().printers, st().printer_pos, &e);
  return e;
}

void free_quality_index() {
  free_obj(reinterpret_cast<obj_t**>(&st().quality_index));
  free_obj(reinterpret_cast<obj_t**>(&st().qualities));
}

void show(plat::Wnd dlg, int id, bool visible) {
  plat::show_window(plat::get_dlg_item(dlg, id), visible ? plat::SW_SHOW : plat::SW_HIDE);
}
void enable(plat::Wnd dlg, int id, bool on) { plat::enable_window(plat::get_dlg_item(dlg, id), on); }

// The current printer's resolutions, its current one selected (the last one when it
// is not among them).
void print_fill_resolutions(plat::Wnd dlg) {
  free_quality_index();
  printer_entry_t* e = current_printer();
  plat::Wnd list = plat::get_dlg_item(dlg, IDC_PRINT_RESOLUTION);
  combo_clear(list);
  if (!e) return;
  printer_qualities(e, &st().qualities);
  quality_list_indexes(st().qualities, nullptr, &st().quality_index);
  const int n = obj_list_count(st().quality_index);
  int pos = n - 1;
  plat::enable_window(list, false);
  for (int i = 0; i < n; ++i) {
    quality_entry_t* q = nullptr;
    obj_list_get(st().quality_index, i, &q);
    combo_add_item(list, q->name ? q->name : "", i);
    if (q->value == e->quality) pos = i;
  }
  plat::enable_window(list, true);
  plat::send_message(list, plat::CB_SETCURSEL, plat::WParam(pos), 0);
}

void print_show_printer(plat::Wnd dlg) {
  printer_entry_t* e = current_printer();
  if (!e) return;
  plat::check_dlg_button(dlg, IDC_PRINT_GREY, e->page_depth == 8 ? plat::BST_CHECKED : 0);
  plat::set_dlg_item_int(dlg, IDC_PRINT_RATIO, unsigned(e->ratio), false);
  plat::send_dlg_item_message(dlg, IDC_PRINT_UPDOWN, plat::UDM_SETPOS, 0, e->ratio);
  plat::send_dlg_item_message(dlg, IDC_PRINT_ORIENT, plat::CB_SETCURSEL,
                              plat::WParam(std::clamp(int(e->orientation), 0, 2)), 0);
}

void print_read_printer(plat::Wnd dlg) {
  printer_entry_t* e = current_printer();
  if (!e) return;
  const int ratio = int(plat::get_dlg_item_int(dlg, IDC_PRINT_RATIO, nullptr, false));
  e->ratio = ratio < 2 ? 1 : ratio >= 100 ? 100 : ratio;
  e->page_depth = plat::is_dlg_button_checked(dlg, IDC_PRINT_GREY) == plat::BST_CHECKED ? 8 : 32;
  const int orientation = int(plat::send_dlg_item_message(dlg, IDC_PRINT_ORIENT, plat::CB_GETCURSEL, 0, 0));
  if (orientation >= 0) e->orientation = orientation;
}

int read_image_resolution(plat::Wnd dlg, int id) {
  const unsigned v = plat::get_dlg_item_int(dlg, id, nullptr, false);
  return v >= unsigned(kMaxImageResolution) ? kMaxImageResolution : int(v);
}

double read_factor(plat::Wnd dlg, int id) {
  char text[kFactorTextMax + 1] = "";
  plat::get_dlg_item_text(dlg, id, text, sizeof text);
  return std::strtod(text, nullptr);
}

void on_init(plat::Wnd dlg) {
  dialog_set_texts(dlg, kTexts);
  plat::Wnd printers = plat::get_dlg_item(dlg, IDC_PRINT_PRINTER);
  for (int i = 0; i < obj_list_count(st().printers); ++i) {
    printer_entry_t* e = nullptr;
    obj_list_get(st().printers, i, &e);
    combo_add_item(printers, e->name ? e->name : "", i);
  }
  plat::send_message(printers, plat::CB_SETCURSEL, plat::WParam(st().printer_pos), 0);
  print_fill_resolutions(dlg);
  const bool fr = is_french() != 0;
  plat::Wnd orient = plat::get_dlg_item(dlg, IDC_PRINT_ORIENT);
  combo_add_item(orient, fr ? "Automatique" : "Automatic", 0);
  combo_add_item(orient, "Portrait", 1);
  combo_add_item(orient, fr ? "Paysage" : "Landscape", 2);
  plat::set_dlg_item_text(dlg, IDC_PRINT_FONT, "1.00");
  plat::set_dlg_item_text(dlg, IDC_PRINT_THICK, "1.00");
  plat::send_dlg_item_message(dlg, IDC_PRINT_UPDOWN, plat::UDM_SETBUDDY,
                              plat::WParam(plat::get_dlg_item(dlg, IDC_PRINT_RATIO)), 0);
  plat::send_dlg_item_message(dlg, IDC_PRINT_UPDOWN, plat::UDM_SETRANGE, 0, plat::make_lparam(100, 1));
  print_show_printer(dlg);
  const bool image = st().image;
  for (int id : {IDC_PRINT_IMG_LABEL, IDC_PRINT_IMG_H_LABEL, IDC_PRINT_IMG_H, IDC_PRINT_PPI,
                 IDC_PRINT_IMG_V_LABEL, IDC_PRINT_IMG_V})
    show(dlg, id, image);
  for (int id : {IDC_PRINT_FONT_LABEL, IDC_PRINT_FONT, IDC_PRINT_THICK_LABEL, IDC_PRINT_THICK})
    show(dlg, id, !image);
  if (image) {
    plat::set_dlg_item_int(dlg, IDC_PRINT_IMG_H, unsigned(st().image_hres), false);
    plat::set_dlg_item_int(dlg, IDC_PRINT_IMG_V, unsigned(st().image_vres), false);
  } else {
    enable(dlg, IDC_PRINT_FONT, true);
    enable(dlg, IDC_PRINT_THICK, true);
  }
  show(dlg, IDC_PRINT_FULL_PAGE, st().full_option);
  if (st().full_option) {
    plat::check_dlg_button(dlg, IDC_PRINT_FULL_PAGE, st().full_page ? plat::BST_CHECKED : 0);
    enable(dlg, IDC_PRINT_IMG_H, !st().full_page);
    enable(dlg, IDC_PRINT_IMG_V, !st().full_page);
  }
}

void on_ok(plat::Wnd dlg) {
  st().font_factor = read_factor(dlg, IDC_PRINT_FONT);
  st().thickness_factor = read_factor(dlg, IDC_PRINT_THICK);
  print_read_printer(dlg);
  st().confirmed = 1;
  st().quality_pos = int(plat::send_dlg_item_message(dlg, IDC_PRINT_RESOLUTION, plat::CB_GETCURSEL, 0, 0));
  if (st().full_option)
    st().full_page = plat::is_dlg_button_checked(dlg, IDC_PRINT_FULL_PAGE) == plat::BST_CHECKED;
  if (st().image) {
    st().image_hres = read_image_resolution(dlg, IDC_PRINT_IMG_H);
    st().image_vres = read_image_resolution(dlg, IDC_PRINT_IMG_V);
  }
  plat::end_dialog(dlg, 1);
}

void on_command(plat::Wnd dlg, int id, int code) {
  if (id == IDC_PRINT_PRINTER && code == plat::CBN_SELCHANGE) {
    const int pos = int(plat::send_dlg_item_message(dlg, id, plat::CB_GETCURSEL, 0, 0));
    if (pos < 0) return;
    st().printer_pos = pos;
    print_fill_resolutions(dlg);
    print_show_printer(dlg);
  } else if (id == IDC_PRINT_FULL_PAGE) {
    const bool full = plat::is_dlg_button_checked(dlg, id) == plat::BST_CHECKED;
    enable(dlg, IDC_PRINT_IMG_H, !full);
    enable(dlg, IDC_PRINT_IMG_V, !full);
  } else if (id == IDC_PRINT_OK) {
    on_ok(dlg);
  } else if (id == IDC_PRINT_CANCEL || id == plat::IDCANCEL) {
    plat::end_dialog(dlg, 0);
  }
}

void updown_moved(plat::Wnd dlg) {
  const auto pos = plat::send_dlg_item_message(dlg, IDC_PRINT_UPDOWN, plat::UDM_GETPOS, 0, 0);
  plat::set_dlg_item_int(dlg, IDC_PRINT_RATIO, plat::loword(uintptr_t(pos)), false);
}

}  // namespace

intptr_t printdlg_proc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_INITDIALOG:
      on_init(dlg);
      return 1;
    case plat::WM_COMMAND:
      on_command(dlg, int(plat::loword(wparam)), int(plat::hiword(wparam)));
      return 1;
    case plat::WM_VSCROLL:
      if (plat::Wnd(lparam) == plat::get_dlg_item(dlg, IDC_PRINT_UPDOWN)) updown_moved(dlg);
      return 1;
    default:
      return 0;
  }
}

int default_printer_position_of(const container_t* printers, const char* device) {
  if (!printers || !device || !*device || std::strcmp(device, kNoDevice) == 0) return 0;
  std::string name = device;
  const size_t comma = name.find(',');
  if (comma != std::string::npos) name.resize(comma);
  for (int i = 0; i < obj_list_count(printers); ++i) {
    printer_entry_t* e = nullptr;
    obj_list_get(printers, i, &e);
    if (e && e->name && name == e->name) return i;
  }
  return 0;
}

int default_printer_position(const container_t* printers) {
  // The profile's "device" value is the system's default printer here.
  return default_printer_position_of(printers, plat::get_default_printer().c_str());
}

int print_setup_dialog(mapwin_t* /*owner*/, container_t* printers, printer_entry_t** printer,
                       quality_entry_t** quality, double* font_factor, double* thickness_factor,
                       int* image_hres, int* image_vres, int* full_page) {
  dialog_state& s = st();
  s.confirmed = 0;
  // Without any printer there is nothing to choose from: nothing is printed.
  const int count = obj_list_count(printers);
  if (count <= 0) return 0;
  s.printers = printers;
  s.image = image_hres && image_vres;
  if (s.image) {
    s.image_hres = *image_hres;
    s.image_vres = *image_vres;
  }
  s.full_option = full_page != nullptr;
  s.full_page = full_page ? *full_page : 0;
  if (s.printer_pos < 0 || s.printer_pos >= count) s.printer_pos = default_printer_position(printers);
  plat::dialog_box_indirect(print_dialog_template(), dialog_owner_window(), printdlg_proc);
  if (s.confirmed) {
    obj_list_get(printers, s.printer_pos, printer);
    *quality = nullptr;
    // No resolution chosen (position -1) keeps the printer's own.
    if (s.quality_pos >= 0 && s.quality_pos < obj_list_count(s.quality_index))
      obj_list_get(s.quality_index, s.quality_pos, quality);
    *font_factor = s.font_factor;
    *thickness_factor = s.thickness_factor;
    if (s.image) {
      *image_hres = s.image_hres;
      *image_vres = s.image_vres;
    }
    if (full_page) *full_page = s.full_page;
  }
  free_quality_index();
  s.printers = nullptr;
  return s.confirmed;
}

void print_dialog_reset() {
  free_quality_index();
  st() = dialog_state{};
}

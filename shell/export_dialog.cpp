// The "EXPORT" dialog: the folder an export writes into and the format of its files,
// two formats for each kind of export. The folder is a whole path, whatever its length.
#include <filesystem>
#include <string>
#include <system_error>

#include "core/config.h"
#include "core/memory.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/dialog_items.h"
#include "shell/frame.h"
#include "shell/framework/choosers.h"
#include "shell/framework/winutil.h"
#include "shell/preference_dialogs.h"

namespace {

constexpr const char* kBrowseTitle = "Repertoire de sauvegarde";

struct export_format {
  const char* entry;
  int code;  // the file format code of the writer
  const char* extension;
};
const export_format kGraphicsFormats[] = {
    {"Format MIF (Mapinfo Interchange File) (*.mif)", 27, "mif"},
    {"Format KML (Google Earth) (*.kml)", 38, "kml"},
};
const export_format kGpsFormats[] = {
    {"Format GPX (*.gpx)", 30, "gpx"},
    {"Format NMEA (*.nmea)", 39, "nmea"},
};
constexpr int kFormatCount = 2;

const dialog_text kTexts[] = {
    {IDC_EXPORT_FOLDER_LABEL, "R\xC3\xA9pertoire", "Directory"},
    {IDC_EXPORT_CANCEL, "Annuler", "Cancel"},
    {0, nullptr, nullptr},
};

// The choice of the running dialog, set afresh by each export_dialog.
struct export_choice {
  int kind = 0;
  std::string folder;
  int selection = 0;
  int confirmed = 0;
};
export_choice& st() {
  static export_choice c;
  return c;
}

const export_format* formats_of(int kind) { return kind == kExportGraphics ? kGraphicsFormats : kGpsFormats; }

std::string current_directory() {
  std::error_code ec;
  std::string dir = std::filesystem::current_path(ec).string();
  return ec ? std::string() : dir;
}

void on_init(plat::Wnd dlg) {
  dialog_set_texts(dlg, kTexts);
  const bool graphics = st().kind == kExportGraphics;
  const bool fr = is_french() != 0;
  plat::set_window_text(dlg, graphics ? (fr ? "Export des graphiques" : "Graphic data export")
                                      : (fr ? "Export des donn\xC3\xA9" "es GPS" : "GPS data export"));
  plat::set_dlg_item_text(dlg, IDC_EXPORT_FOLDER, st().folder.c_str());
  plat::Wnd list = plat::get_dlg_item(dlg, IDC_EXPORT_TYPE);
  const export_format* formats = formats_of(st().kind);
  for (int i = 0; i < kFormatCount; ++i) combo_add_item(list, formats[i].entry, i);
  plat::send_message(list, plat::CB_SETCURSEL, plat::WParam(st().selection), 0);
}

// The chooser starts from the folder the field shows (the dialog's folder when empty).
void on_browse(plat::Wnd dlg) {
  std::string path = plat::dlg_item_text(dlg, IDC_EXPORT_FOLDER);
  if (path.empty()) path = st().folder;
  if (browse_for_folder(&path, kBrowseTitle) && !path.empty())
    plat::set_dlg_item_text(dlg, IDC_EXPORT_FOLDER, path.c_str());
}

void on_command(plat::Wnd dlg, int id, int code) {
  if (id == IDC_EXPORT_TYPE && code == plat::CBN_SELCHANGE) {
    const int pos = int(plat::send_dlg_item_message(dlg, id, plat::CB_GETCURSEL, 0, 0));
    if (pos >= 0 && pos < kFormatCount) st().selection = pos;
  } else if (id == IDC_EXPORT_BROWSE) {
    on_browse(dlg);
  } else if (id == IDC_EXPORT_OK) {
    st().folder = plat::dlg_item_text(dlg, IDC_EXPORT_FOLDER);
    st().confirmed = 1;
    plat::end_dialog(dlg, 1);
  } else if (id == IDC_EXPORT_CANCEL || id == plat::IDCANCEL) {
    plat::end_dialog(dlg, 0);
  }
}

}  // namespace

const plat::DlgTemplate& export_dialog_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "GPS data export";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    d.cx = 262;
    d.cy = 84;
    using namespace dlgitem;
    constexpr int L = 8, F = 58;
    d.items = {
        label(IDC_EXPORT_FOLDER_LABEL, "Directory", L, 10, 46),
        edit(IDC_EXPORT_FOLDER, F, 10, 170),
        button(IDC_EXPORT_BROWSE, "...", 234, 10, 20, 13),
        label(IDC_EXPORT_TYPE_LABEL, "Type", L, 32, 46),
        combo(IDC_EXPORT_TYPE, F, 32, 196, 60),
        default_button(IDC_EXPORT_OK, "OK", 140, 60),
        button(IDC_EXPORT_CANCEL, "Cancel", 200, 60),
    };
    return d;
  }();
  return t;
}

intptr_t export_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam) {
  switch (msg) {
    case plat::WM_INITDIALOG:
      on_init(dlg);
      return 1;
    case plat::WM_COMMAND:
      on_command(dlg, int(plat::loword(wparam)), int(plat::hiword(wparam)));
      return 1;
    default:
      return 0;
  }
}

int export_dialog(int kind, int* format, char** folder, char** extension) {
  if (!main_frame_window()) return 0;
  export_choice& s = st();
  s.folder = current_directory();
  if (folder) str_set(s.folder.c_str(), folder);
  s.kind = kind;
  s.selection = 0;
  s.confirmed = 0;
  plat::dialog_box_indirect(export_dialog_template(), dialog_owner_window(), export_dlgproc);
  if (folder && !s.folder.empty()) str_set(s.folder.c_str(), folder);
  const export_format& chosen = formats_of(kind)[s.selection];
  if (format) *format = chosen.code;
  if (extension) str_set(chosen.extension, extension);
  return s.confirmed;
}

// The system dialog "Chxsyst": its template and texts, the filling of its three lists,
// the choice shown on the OK button, and its two variants (display, cursor).
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/object.h"
#include "geodesy/georef.h"
#include "geodesy/xform_records.h"
#include "platform/sys/utf.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/winutil.h"
#include "shell/system_dialogs.h"

namespace {

constexpr int kMaxEntryLength = 999;   // longer entries are not taken
constexpr int kMaxNameLength = 1000;   // of the OK button's caption when it is read

// One dialog at a time; the remembered system and the last closing button are kept
// for the run.
struct system_dialog_state {
  georef_t* edited = nullptr;
  const char16_t* title = nullptr;
  int mode = kSystemModeAll;
  int confirmed = 0;
  int last_button = IDC_SYS_CANCEL;
  std::string remembered;  // name of the datum or projection confirmed last (display variant)
};
system_dialog_state& st() {
  static system_dialog_state s;
  return s;
}

const dialog_text kTexts[] = {
    {IDC_SYS_IN_USE_LABEL, "Syst\xC3\xA8mes de la session", "Systems in use in session"},
    {IDC_SYS_DATUM_LABEL, "Coordonn\xC3\xA9" "es g\xC3\xA9ographiques", "Geographic coordinates"},
    {IDC_SYS_DEFINE_DATUM, "D\xC3\xA9" "finir un syst\xC3\xA8me", "Define datum"},
    {IDC_SYS_PROJ_LABEL, "Projection cartographique", "Cartographic projection"},
    {IDC_SYS_DEFINE_PROJ, "D\xC3\xA9" "finir une projection", "Define projection"},
    {IDC_SYS_CANCEL, "Annuler", "Cancel"},
    {0, "Choix", "Choice"},
};

plat::DlgItem label(int id, const char* text, int y) {
  return {"Static", id, text, plat::SS_LEFT, 8, y, 234, 9};
}
plat::DlgItem combo(int id, int y) {
  return {"ComboBox", id, "", plat::CBS_DROPDOWNLIST | plat::WS_VSCROLL | plat::WS_TABSTOP, 8, y, 136, 120};
}
plat::DlgItem button(int id, const char* text, uint32_t style, int x, int y, int cx) {
  return {"Button", id, text, style | plat::WS_TABSTOP, x, y, cx, 15};
}

}  // namespace

// The lists above, each drop-down list with its "define" button on its right; the OK
// button is wide, since it carries the chosen system's name.
const plat::DlgTemplate& system_dialog_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "Choix";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    d.cx = 250;
    d.cy = 178;
    d.items = {
        label(IDC_SYS_IN_USE_LABEL, "Syst\xC3\xA8mes d\xC3\xA9j\xC3\xA0 pr\xC3\xA9sents", 8),
        {"ListBox", IDC_SYS_IN_USE, "",
         plat::LBS_NOTIFY | plat::LBS_NOINTEGRALHEIGHT | plat::WS_VSCROLL | plat::WS_BORDER | plat::WS_TABSTOP, 8,
         19, 234, 60},
        label(IDC_SYS_DATUM_LABEL, "Coordonn\xC3\xA9" "es g\xC3\xA9ographiques", 86),
        combo(IDC_SYS_DATUM, 97),
        button(IDC_SYS_DEFINE_DATUM, "D\xC3\xA9" "finir un syst\xC3\xA8me", plat::BS_PUSHBUTTON, 150, 96, 92),
        label(IDC_SYS_PROJ_LABEL, "Projection cartographique", 118),
        combo(IDC_SYS_PROJ, 129),
        button(IDC_SYS_DEFINE_PROJ, "D\xC3\xA9" "finir une projection", plat::BS_PUSHBUTTON, 150, 128, 92),
        button(IDC_SYS_OK, "OK", plat::BS_PUSHBUTTON, 8, 156, 170),
        button(IDC_SYS_CANCEL, "Annuler", plat::BS_PUSHBUTTON, 184, 156, 58),
    };
    return d;
  }();
  return t;
}

namespace {

void enable(plat::Wnd dlg, int id, bool on) { plat::enable_window(plat::get_dlg_item(dlg, id), on); }

// The systems of every georef that exists, each name once, in the order met.
void fill_in_use(plat::Wnd dlg) {
  plat::Wnd list = plat::get_dlg_item(dlg, IDC_SYS_IN_USE);
  std::vector<std::string> seen;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_GEOREF, &cursor)) {
    const auto* g = static_cast<const georef_t*>(cursor);
    const char* name = nullptr;
    if (g->refertype == GEOREF_GEOGRAPHIC && g->datum) name = g->datum->name;
    if (g->refertype == GEOREF_PROJECTED && g->projection && st().mode != kSystemModeGeographic)
      name = g->projection->name;
    if (!name || !*name) continue;
    bool known = false;
    for (const std::string& s : seen) known = known || s == name;
    if (known) continue;
    seen.emplace_back(name);
    list_add_item(list, name, 0);
  }
}

void fill_datums(plat::Wnd dlg) {
  plat::Wnd box = plat::get_dlg_item(dlg, IDC_SYS_DATUM);
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_GEODATUM, &cursor)) {
    const char* name = static_cast<const geodatum_t*>(cursor)->name;
    combo_add_item(box, name ? name : "", 0);
  }
}

void fill_projections(plat::Wnd dlg) {
  plat::Wnd box = plat::get_dlg_item(dlg, IDC_SYS_PROJ);
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_CARTPROJ, &cursor)) {
    const char* name = static_cast<const cartproj_t*>(cursor)->name;
    if (name && *name) combo_add_item(box, name, 0);
  }
}

void show_choice(plat::Wnd dlg, const char16_t* name) {
  plat::set_dlg_item_text_w(dlg, IDC_SYS_OK, name);
  enable(dlg, IDC_SYS_OK, true);
}

// The remembered system, when it is among the systems in use, is selected there.
void preselect(plat::Wnd dlg) {
  if (st().remembered.empty()) return;
  const std::u16string name = plat::utf8_to_utf16(st().remembered);
  const auto pos = plat::send_dlg_item_message(dlg, IDC_SYS_IN_USE, plat::LB_FINDSTRING, plat::WParam(-1),
                                               reinterpret_cast<plat::LParam>(name.c_str()));
  if (pos < 0) return;
  plat::send_dlg_item_message(dlg, IDC_SYS_IN_USE, plat::LB_SETCURSEL, plat::WParam(pos), 0);
  show_choice(dlg, name.c_str());
}

void on_init(plat::Wnd dlg, bool remembers) {
  dialog_set_texts(dlg, kTexts);
  if (st().title) plat::set_window_text_w(dlg, st().title);
  plat::send_message(dlg, plat::DM_SETDEFID, plat::WParam(st().last_button), 0);
  enable(dlg, IDC_SYS_OK, false);
  fill_in_use(dlg);
  fill_datums(dlg);
  fill_projections(dlg);
  if (remembers) preselect(dlg);
  const bool projections = st().mode != kSystemModeGeographic;
  enable(dlg, IDC_SYS_PROJ_LABEL, projections);
  enable(dlg, IDC_SYS_PROJ, projections);
  enable(dlg, IDC_SYS_DATUM, true);
  enable(dlg, IDC_SYS_DEFINE_DATUM, false);
  enable(dlg, IDC_SYS_DEFINE_PROJ, false);
}

// The text of the selected entry of a list or drop-down list; empty when none is
// selected or when it is too long to be a system's name.
std::u16string selected_entry(plat::Wnd dlg, int id) {
  const bool list = id == IDC_SYS_IN_USE;
  const auto pos = plat::send_dlg_item_message(dlg, id, list ? plat::LB_GETCURSEL : plat::CB_GETCURSEL, 0, 0);
  if (pos < 0) return {};
  const auto length = plat::send_dlg_item_message(
      dlg, id, list ? plat::LB_GETTEXTLEN : plat::CB_GETLBTEXTLEN, plat::WParam(pos), 0);
  if (length <= 0 || length > kMaxEntryLength) return {};
  std::u16string text(size_t(length) + 1, u'\0');
  plat::send_dlg_item_message(dlg, id, list ? plat::LB_GETTEXT : plat::CB_GETLBTEXT, plat::WParam(pos),
                              reinterpret_cast<plat::LParam>(text.data()));
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return text;
}

// One choice shows at a time: the two other lists lose their selection, and OK
// becomes the default button.
void on_choice(plat::Wnd dlg, int id) {
  const std::u16string text = selected_entry(dlg, id);
  if (text.empty()) return;
  show_choice(dlg, text.c_str());
  if (id != IDC_SYS_IN_USE) plat::send_dlg_item_message(dlg, IDC_SYS_IN_USE, plat::LB_SETCURSEL, plat::WParam(-1), 0);
  if (id != IDC_SYS_DATUM) plat::send_dlg_item_message(dlg, IDC_SYS_DATUM, plat::CB_SETCURSEL, plat::WParam(-1), 0);
  if (id != IDC_SYS_PROJ) plat::send_dlg_item_message(dlg, IDC_SYS_PROJ, plat::CB_SETCURSEL, plat::WParam(-1), 0);
  plat::send_dlg_item_message(dlg, IDC_SYS_CANCEL, plat::BM_SETSTYLE, plat::BS_PUSHBUTTON, 1);
  plat::send_message(dlg, plat::DM_SETDEFID, IDC_SYS_OK, 0);
}

void on_ok(plat::Wnd dlg, bool remembers) {
  std::string name = plat::dlg_item_text(dlg, IDC_SYS_OK);
  if (name.size() > size_t(kMaxNameLength)) name.resize(kMaxNameLength);
  geodatum_t* datum = nullptr;
  cartproj_t* projection = nullptr;
  georef_set_by_name(st().edited, name.c_str(), &datum, &projection);
  if (remembers && (datum || projection)) st().remembered = datum ? datum->name : projection->name;
  st().confirmed = 1;
  st().last_button = IDC_SYS_OK;
  plat::end_dialog(dlg, 1);
}

// The buttons stay disabled; the box has one text in both languages.
void not_yet_available() { msg_box("Pas encore disponible...", "Bientot !"); }

intptr_t system_proc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, bool remembers) {
  if (msg == plat::WM_INITDIALOG) {
    on_init(dlg, remembers);
    return 1;
  }
  if (msg != plat::WM_COMMAND) return 0;
  const int id = int(plat::loword(wparam));
  const int code = int(plat::hiword(wparam));
  if ((id == IDC_SYS_DATUM || id == IDC_SYS_PROJ) && code == plat::CBN_SELCHANGE) {
    on_choice(dlg, id);
  } else if (id == IDC_SYS_IN_USE && code == plat::LBN_SELCHANGE) {
    on_choice(dlg, id);
  } else if (id == IDC_SYS_DEFINE_DATUM || id == IDC_SYS_DEFINE_PROJ) {
    not_yet_available();
  } else if (id == IDC_SYS_OK) {
    on_ok(dlg, remembers);
  } else if (id == IDC_SYS_CANCEL || id == plat::IDCANCEL) {
    st().last_button = IDC_SYS_CANCEL;
    plat::end_dialog(dlg, 0);
  }
  return 1;
}

}  // namespace

intptr_t chxsyst_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam) {
  return system_proc(dlg, msg, wparam, true);
}

intptr_t chxsyst_cursor_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam) {
  return system_proc(dlg, msg, wparam, false);
}

int run_system_dialog(const char16_t* title, int mode, georef_t* edited, plat::DlgProc proc) {
  system_dialog_state& s = st();
  s.confirmed = 0;
  s.title = title;
  s.mode = mode;
  s.edited = edited;
  plat::dialog_box_indirect(system_dialog_template(), command_target_window(), proc);
  s.edited = nullptr;
  s.title = nullptr;
  return s.confirmed;
}

int choose_system_dialog(const char16_t* title, int mode, georef_t** out) {
  if (out) *out = nullptr;
  if (!command_target_window()) return 0;
  georef_t* g = nullptr;
  obj_new_registered(CLS_GEOREF, &g);
  if (!g || get_gblerr() != 0) {
    if (get_gblerr() == 0) set_gblerr(ERR_OBJECT);
    return kSystemDialogNoGeoref;
  }
  const int confirmed = run_system_dialog(title, mode, g, chxsyst_dlgproc);
  if (out)
    *out = g;
  else
    free_obj(&g);
  return confirmed;
}

void system_dialog_reset() { st() = system_dialog_state{}; }

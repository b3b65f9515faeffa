// The open and save dialogs: one dialog template and procedure for both. The dialog's
// state (the folder shown, what the list holds, the typed filter) lives in a record of
// the call, reached through DWLP_USER; the caller's record is written only on OK.
#include <algorithm>

#include "platform/ui/common_dlg.h"
#include "platform/ui/common_dlg_fs.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui_state.h"
#include "platform/ui/window.h"

namespace plat {

namespace {

using namespace cdlg_detail;

struct Entry {
  std::string name;
  bool folder = false;
};

struct FileDlg {
  const OpenFileName* in = nullptr;
  bool save = false;
  bool multi = false;
  std::string title;
  std::string folder;          // the folder shown
  std::string typed_pattern;   // a pattern typed in the name field, until the type changes
  std::vector<Entry> shown;    // what the list holds, by index
  std::vector<std::string> chosen;  // the result
  int filter_index = 1;
};

FileDlg* state_of(Wnd dlg) { return reinterpret_cast<FileDlg*>(get_window_long(dlg, DWLP_USER)); }

void send_text(Wnd dlg, int id, uint32_t msg, WParam wp, const std::string& utf8) {
  std::u16string w = ui_detail::utf8_to_utf16(utf8.c_str());
  send_dlg_item_message(dlg, id, msg, wp, LParam(w.c_str()));
}

std::string current_patterns(Wnd dlg, const FileDlg& st) {
  if (!st.typed_pattern.empty()) return st.typed_pattern;
  const int sel = int(send_dlg_item_message(dlg, cdlg::kFileType, CB_GETCURSEL, 0, 0));
  if (sel >= 0 && size_t(sel) < st.in->filters.size()) return st.in->filters[size_t(sel)].patterns;
  return {};
}

void fill_list(Wnd dlg, FileDlg& st) {
  set_dlg_item_text(dlg, cdlg::kFolderLabel, st.folder.c_str());
  send_dlg_item_message(dlg, cdlg::kFileList, LB_RESETCONTENT, 0, 0);
  st.shown.clear();
  const Listing listing = list_folder(st.folder);
  if (st.folder != "/") st.shown.push_back(Entry{"..", true});
  for (const std::string& f : listing.folders) st.shown.push_back(Entry{f, true});
  const std::string patterns = current_patterns(dlg, st);
  for (const std::string& f : listing.files)
    if (matches_filter(f, patterns)) st.shown.push_back(Entry{f, false});
  for (const Entry& e : st.shown)
    send_text(dlg, cdlg::kFileList, LB_ADDSTRING, 0, e.name == ".." || !e.folder ? e.name : e.name + "/");
}

void enter_folder(Wnd dlg, FileDlg& st, const std::string& path) {
  st.folder = normalize_path(path, st.folder);
  st.typed_pattern.clear();
  fill_list(dlg, st);
  set_dlg_item_text(dlg, cdlg::kFileName, "");
}

std::vector<int> selected_items(Wnd dlg, const FileDlg& st) {
  std::vector<int> out;
  if (!st.multi) {
    const int sel = int(send_dlg_item_message(dlg, cdlg::kFileList, LB_GETCURSEL, 0, 0));
    if (sel >= 0) out.push_back(sel);
    return out;
  }
  out.resize(st.shown.size());
  const int n = int(send_dlg_item_message(dlg, cdlg::kFileList, LB_GETSELITEMS, out.size(), LParam(out.data())));
  out.resize(size_t(std::max(n, 0)));
  return out;
}

// The files chosen in the list go into the name field, quoted when there are several.
void on_list_selection(Wnd dlg, FileDlg& st) {
  std::vector<std::string> names;
  for (int i : selected_items(dlg, st))
    if (size_t(i) < st.shown.size() && !st.shown[size_t(i)].folder) names.push_back(st.shown[size_t(i)].name);
  if (names.empty()) return;
  std::string text;
  if (names.size() == 1) {
    text = names[0];
  } else {
    for (const std::string& n : names) text += (text.empty() ? "\"" : " \"") + n + "\"";
  }
  set_dlg_item_text(dlg, cdlg::kFileName, text.c_str());
}

std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// The names in the field: each one in double quotes, or the whole text. Without
// multiple selection the text is one name (a pair of quotes around it dropped).
std::vector<std::string> typed_names(const std::string& text, bool multi) {
  std::vector<std::string> out;
  if (text.find('"') == std::string::npos) {
    out.push_back(text);
    return out;
  }
  size_t i = 0;
  while ((i = text.find('"', i)) != std::string::npos) {
    size_t j = text.find('"', i + 1);
    if (j == std::string::npos) j = text.size();
    std::string name = trimmed(text.substr(i + 1, j - i - 1));
    if (!name.empty()) out.push_back(name);
    i = j + 1;
  }
  if (!multi && out.size() != 1) return {text};
  return out;
}

bool has_extension(const std::string& path) { return leaf_of(path).find('.') != std::string::npos; }

void warn(Wnd dlg, const FileDlg& st, const std::string& text) {
  message_box(dlg, text.c_str(), st.title.c_str(), MB_OK | MB_ICONWARNING);
}

// Checks one chosen path as the flags ask; false (after telling the user) to stay open.
bool accept_path(Wnd dlg, const FileDlg& st, const std::string& path) {
  const uint32_t flags = st.in->flags;
  if ((flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !is_folder(parent_of(path))) {
    warn(dlg, st, leaf_of(path) + "\nPath does not exist.\nCheck the path and try again.");
    return false;
  }
  if (!st.save && (flags & OFN_FILEMUSTEXIST) && !is_file(path)) {
    warn(dlg, st, leaf_of(path) + "\nFile not found.\nCheck the file name and try again.");
    return false;
  }
  if (st.save && (flags & OFN_OVERWRITEPROMPT) && is_file(path)) {
    const std::string q = path + " already exists.\nDo you want to replace it?";
    if (message_box(dlg, q.c_str(), "Confirm Save As", MB_YESNO | MB_ICONWARNING) != IDYES) return false;
  }
  return true;
}

void on_ok(Wnd dlg, FileDlg& st) {
  const std::string text = trimmed(dlg_item_text(dlg, cdlg::kFileName));
  if (text.empty()) {
    std::vector<int> sel = selected_items(dlg, st);
    if (sel.size() == 1 && size_t(sel[0]) < st.shown.size() && st.shown[size_t(sel[0])].folder)
      enter_folder(dlg, st, st.shown[size_t(sel[0])].name);
    return;
  }
  const std::vector<std::string> names = typed_names(text, st.multi);
  if (names.size() == 1) {
    const std::string path = normalize_path(names[0], st.folder);
    if (has_wildcard(leaf_of(path)) && is_folder(parent_of(path))) {
      st.folder = parent_of(path);
      st.typed_pattern = leaf_of(path);
      fill_list(dlg, st);
      return;
    }
    if (is_folder(path)) {
      enter_folder(dlg, st, path);
      return;
    }
  }
  std::vector<std::string> paths;
  for (const std::string& name : names) {
    std::string path = normalize_path(name, st.folder);
    if (st.save && !st.in->def_ext.empty() && !has_extension(path)) path += "." + st.in->def_ext;
    if (!accept_path(dlg, st, path)) return;
    paths.push_back(path);
  }
  st.chosen = paths;
  const int type = int(send_dlg_item_message(dlg, cdlg::kFileType, CB_GETCURSEL, 0, 0));
  st.filter_index = type >= 0 ? type + 1 : st.filter_index;
  end_dialog(dlg, IDOK);
}

void on_double_click(Wnd dlg, FileDlg& st) {
  const int i = int(send_dlg_item_message(dlg, cdlg::kFileList, LB_GETCARETINDEX, 0, 0));
  if (i < 0 || size_t(i) >= st.shown.size()) return;
  if (st.shown[size_t(i)].folder) {
    enter_folder(dlg, st, st.shown[size_t(i)].name);
    return;
  }
  on_list_selection(dlg, st);
  on_ok(dlg, st);
}

void on_init(Wnd dlg, FileDlg& st) {
  for (const FileFilter& f : st.in->filters) send_text(dlg, cdlg::kFileType, CB_ADDSTRING, 0, f.label);
  if (!st.in->filters.empty()) send_dlg_item_message(dlg, cdlg::kFileType, CB_SETCURSEL, WParam(st.filter_index - 1), 0);
  fill_list(dlg, st);
  set_dlg_item_text(dlg, cdlg::kFileName, st.in->file.c_str());
  set_focus(get_dlg_item(dlg, cdlg::kFileName));
}

intptr_t file_dlg_proc(Wnd dlg, uint32_t msg, WParam wp, LParam lp) {
  if (msg == WM_INITDIALOG) {
    set_window_long(dlg, DWLP_USER, lp);
    on_init(dlg, *reinterpret_cast<FileDlg*>(lp));
    return 0;  // the focus was given to the name field
  }
  FileDlg* st = state_of(dlg);
  if (msg != WM_COMMAND || !st) return 0;
  const int id = int(loword(wp)), code = int(hiword(wp));
  if (id == IDOK && code == BN_CLICKED) {
    on_ok(dlg, *st);
  } else if (id == IDCANCEL && code == BN_CLICKED) {
    end_dialog(dlg, IDCANCEL);
  } else if (id == cdlg::kFileList && code == LBN_SELCHANGE) {
    on_list_selection(dlg, *st);
  } else if (id == cdlg::kFileList && code == LBN_DBLCLK) {
    on_double_click(dlg, *st);
  } else if (id == cdlg::kFileType && code == CBN_SELCHANGE) {
    st->typed_pattern.clear();
    fill_list(dlg, *st);
  } else {
    return 0;
  }
  return 1;
}

DlgTemplate file_template(const FileDlg& st) {
  DlgTemplate t;
  t.title = st.title.c_str();
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | WS_VISIBLE;
  t.cx = 262;
  t.cy = 178;
  const uint32_t list_style = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP |
                              (st.multi ? LBS_EXTENDEDSEL : 0);
  t.items = {
      {"Static", -1, "Look in:", SS_LEFT, 7, 8, 44, 10},
      {"Static", cdlg::kFolderLabel, "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 52, 8, 203, 10},
      {"ListBox", cdlg::kFileList, "", list_style, 7, 22, 248, 108},
      {"Static", -1, "File &name:", SS_LEFT, 7, 138, 50, 10},
      {"Edit", cdlg::kFileName, "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_GROUP, 60, 136, 140, 14},
      {"Static", -1, "Files of &type:", SS_LEFT, 7, 158, 50, 10},
      {"ComboBox", cdlg::kFileType, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 60, 156, 140, 80},
      {"Button", IDOK, st.save ? "&Save" : "&Open", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 207, 136, 48, 14},
      {"Button", IDCANCEL, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 207, 156, 48, 14},
  };
  return t;
}

bool run_file_dialog(OpenFileName* ofn, bool save) {
  if (!ofn) {
    set_last_error(CDERR_STRUCTSIZE);
    return false;
  }
  FileDlg st;
  st.in = ofn;
  st.save = save;
  st.multi = !save && (ofn->flags & OFN_ALLOWMULTISELECT);
  st.title = !ofn->title.empty() ? ofn->title : save ? "Save As" : "Open";
  st.folder = normalize_path(ofn->initial_dir.empty() ? working_folder() : ofn->initial_dir);
  if (!is_folder(st.folder)) st.folder = working_folder();
  const int n = int(ofn->filters.size());
  st.filter_index = (ofn->filter_index >= 1 && ofn->filter_index <= n) ? ofn->filter_index : 1;
  register_controls();
  const intptr_t r = dialog_box_indirect(file_template(st), ofn->owner, file_dlg_proc, LParam(&st));
  if (r != IDOK || st.chosen.empty()) {
    set_last_error(r == -1 ? CDERR_INITIALIZATION : 0);
    return false;
  }
  set_last_error(0);
  ofn->files = st.chosen;
  ofn->file = st.chosen.front();
  ofn->folder = parent_of(st.chosen.front());
  if (n > 0) ofn->filter_index = st.filter_index;
  return true;
}

}  // namespace

bool get_open_file_name(OpenFileName* ofn) { return run_file_dialog(ofn, false); }
bool get_save_file_name(OpenFileName* ofn) { return run_file_dialog(ofn, true); }

}  // namespace plat

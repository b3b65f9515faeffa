// The folder dialog: the sub-folders of one folder in a list, entered by a double
// click, and a path field that holds the folder the OK button will give.
#include <sys/stat.h>

#include <cerrno>

#include "platform/ui/common_dlg.h"
#include "platform/ui/common_dlg_fs.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui_state.h"
#include "platform/ui/window.h"

namespace plat {

namespace {

using namespace cdlg_detail;

struct FolderDlg {
  std::string title;
  std::string caption;
  std::string folder;               // the folder listed
  std::vector<std::string> shown;   // the list's entries, by index
  std::string chosen;
};

FolderDlg* state_of(Wnd dlg) { return reinterpret_cast<FolderDlg*>(get_window_long(dlg, DWLP_USER)); }

void fill_list(Wnd dlg, FolderDlg& st) {
  send_dlg_item_message(dlg, cdlg::kFolderList, LB_RESETCONTENT, 0, 0);
  st.shown.clear();
  if (st.folder != "/") st.shown.push_back("..");
  for (const std::string& f : list_folder(st.folder).folders) st.shown.push_back(f);
  for (const std::string& name : st.shown) {
    std::u16string w = ui_detail::utf8_to_utf16(name.c_str());
    send_dlg_item_message(dlg, cdlg::kFolderList, LB_ADDSTRING, 0, LParam(w.c_str()));
  }
  set_dlg_item_text(dlg, cdlg::kFolderPath, st.folder.c_str());
}

// The folder an entry of the list stands for; empty for a bad index.
std::string entry_path(const FolderDlg& st, int i) {
  if (i < 0 || size_t(i) >= st.shown.size()) return {};
  return normalize_path(st.shown[size_t(i)], st.folder);
}

int selected(Wnd dlg) { return int(send_dlg_item_message(dlg, cdlg::kFolderList, LB_GETCURSEL, 0, 0)); }

void on_ok(Wnd dlg, FolderDlg& st) {
  const std::string text = dlg_item_text(dlg, cdlg::kFolderPath);
  const std::string path = normalize_path(text.empty() ? st.folder : text, st.folder);
  if (!is_folder(path)) {
    const std::string msg = path + "\nThe folder does not exist.";
    message_box(dlg, msg.c_str(), st.caption.c_str(), MB_OK | MB_ICONWARNING);
    return;
  }
  st.chosen = path;
  end_dialog(dlg, IDOK);
}

void make_new_folder(Wnd dlg, FolderDlg& st) {
  std::string name = "New folder";
  for (int n = 2; n < 1000 && mkdir(join_path(st.folder, name).c_str(), 0777) != 0; ++n) {
    if (errno != EEXIST) {
      message_box(dlg, "The folder could not be made.", st.caption.c_str(), MB_OK | MB_ICONWARNING);
      return;
    }
    name = "New folder (" + std::to_string(n) + ")";
  }
  fill_list(dlg, st);
  for (size_t i = 0; i < st.shown.size(); ++i)
    if (st.shown[i] == name) {
      send_dlg_item_message(dlg, cdlg::kFolderList, LB_SETCURSEL, i, 0);
      set_dlg_item_text(dlg, cdlg::kFolderPath, join_path(st.folder, name).c_str());
    }
}

intptr_t folder_dlg_proc(Wnd dlg, uint32_t msg, WParam wp, LParam lp) {
  if (msg == WM_INITDIALOG) {
    set_window_long(dlg, DWLP_USER, lp);
    fill_list(dlg, *reinterpret_cast<FolderDlg*>(lp));
    set_focus(get_dlg_item(dlg, cdlg::kFolderList));
    return 0;
  }
  FolderDlg* st = state_of(dlg);
  if (msg != WM_COMMAND || !st) return 0;
  const int id = int(loword(wp)), code = int(hiword(wp));
  if (id == cdlg::kFolderList && code == LBN_SELCHANGE) {
    const std::string path = entry_path(*st, selected(dlg));
    if (!path.empty()) set_dlg_item_text(dlg, cdlg::kFolderPath, path.c_str());
  } else if (id == cdlg::kFolderList && code == LBN_DBLCLK) {
    const std::string path = entry_path(*st, selected(dlg));
    if (!path.empty() && is_folder(path)) {
      st->folder = path;
      fill_list(dlg, *st);
    }
  } else if (id == cdlg::kNewFolder && code == BN_CLICKED) {
    make_new_folder(dlg, *st);
  } else if (id == IDOK && code == BN_CLICKED) {
    on_ok(dlg, *st);
  } else if (id == IDCANCEL && code == BN_CLICKED) {
    end_dialog(dlg, IDCANCEL);
  } else {
    return 0;
  }
  return 1;
}

DlgTemplate folder_template(const FolderDlg& st) {
  DlgTemplate t;
  t.title = st.caption.c_str();
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | WS_VISIBLE;
  t.cx = 220;
  t.cy = 200;
  t.items = {
      {"Static", cdlg::kFolderTitle, st.title.c_str(), SS_LEFT | SS_NOPREFIX, 7, 7, 206, 20},
      {"ListBox", cdlg::kFolderList, "",
       LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 7, 30, 206, 110},
      {"Static", -1, "&Folder:", SS_LEFT, 7, 148, 30, 10},
      {"Edit", cdlg::kFolderPath, "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 40, 146, 173, 14},
      {"Button", cdlg::kNewFolder, "&Make New Folder", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 7, 178, 80, 14},
      {"Button", IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 109, 178, 50, 14},
      {"Button", IDCANCEL, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 163, 178, 50, 14},
  };
  return t;
}

}  // namespace

bool browse_for_folder(BrowseInfo* bi) {
  if (!bi) {
    set_last_error(CDERR_STRUCTSIZE);
    return false;
  }
  FolderDlg st;
  st.title = bi->title.empty() ? "Choose a folder" : bi->title;
  st.caption = bi->caption.empty() ? "Browse for Folder" : bi->caption;
  st.folder = normalize_path(bi->initial_dir.empty() ? working_folder() : bi->initial_dir);
  if (!is_folder(st.folder)) st.folder = working_folder();
  register_controls();
  const intptr_t r = dialog_box_indirect(folder_template(st), bi->owner, folder_dlg_proc, LParam(&st));
  if (r != IDOK || st.chosen.empty()) {
    set_last_error(r == -1 ? CDERR_INITIALIZATION : 0);
    return false;
  }
  set_last_error(0);
  bi->path = st.chosen;
  return true;
}

}  // namespace plat

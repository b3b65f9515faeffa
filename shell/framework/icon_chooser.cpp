// The icon chooser: ten icons of a list at a time as bitmap radio buttons, an up-down
// control that moves the window of ten, the chosen icon's name and picture, OK and
// Cancel. A list shorter than ten shows only its icons (the other buttons are hidden)
// and the up-down has nowhere to go: no index past the list is ever chosen.
#include "shell/framework/icon_chooser.h"

#include <string>
#include <vector>

#include "core/config.h"
#include "core/obj_list.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/ui.h"
#include "shell/framework/winutil.h"

namespace {

struct chooser_state {
  plat::Wnd wnd = nullptr;
  container_t* icons = nullptr;
  std::vector<plat::Bitmap> bitmaps;
  int count = 0;
  int first = 0;
  int selected = 0;
  icon_choice_fn callback = nullptr;
};

chooser_state& C() {  // user-interface thread only
  static chooser_state s;
  return s;
}

int last_first() { return C().count > 10 ? C().count - 10 : 0; }

// The ten buttons show icons first .. first + 9; buttons past the list are hidden.
void show_window_of_ten() {
  chooser_state& s = C();
  for (int i = 0; i < 10; ++i) {
    plat::Wnd b = plat::get_dlg_item(s.wnd, kIconFirstButton + i);
    int index = s.first + i;
    bool present = index < s.count;
    plat::show_window(b, present ? plat::SW_SHOW : plat::SW_HIDE);
    plat::send_message(b, plat::BM_SETIMAGE, plat::IMAGE_BITMAP,
                       plat::LParam(present ? s.bitmaps[size_t(index)] : nullptr));
    plat::send_message(b, plat::BM_SETCHECK, index == s.selected ? plat::BST_CHECKED : plat::BST_UNCHECKED, 0);
  }
}

void show_selected() {
  chooser_state& s = C();
  obj_t* icon = nullptr;
  obj_list_get(s.icons, s.selected, &icon);
  const char* name = icon ? obj_name_get(icon) : nullptr;
  plat::set_dlg_item_text(s.wnd, kIconName, name ? name : "");
  plat::send_dlg_item_message(s.wnd, kIconPicture, plat::STM_SETIMAGE, plat::IMAGE_BITMAP,
                              plat::LParam(s.bitmaps[size_t(s.selected)]));
}

void on_scroll(int position) {
  chooser_state& s = C();
  if (position < 0) position = 0;
  if (position > last_first()) position = last_first();
  s.first = position;
  show_window_of_ten();
}

void on_close(plat::Wnd wnd) {
  if (plat::Wnd owner = plat::get_owner(wnd)) plat::enable_window(owner, true);
  plat::destroy_window(wnd);
}

// The window is gone, however it went (closed, or destroyed with its owner): its
// buttons no longer show the bitmaps, which are deleted, and the chooser is free again.
void on_destroyed() {
  chooser_state& s = C();
  for (plat::Bitmap b : s.bitmaps) plat::delete_object(b);
  s = chooser_state{};
}

}  // namespace

plat::LResult dialog_window_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  chooser_state& s = C();
  if (msg == plat::WM_CLOSE) {
    on_close(wnd);
    return 0;
  }
  if (msg == plat::WM_NCDESTROY && wnd == s.wnd) on_destroyed();
  if (wnd == s.wnd && (msg == plat::WM_HSCROLL || msg == plat::WM_VSCROLL)) {
    on_scroll(int(int16_t(plat::hiword(wparam))));
    return 0;
  }
  if (wnd == s.wnd && msg == plat::WM_COMMAND) {
    int id = int(plat::loword(wparam));
    if (id >= kIconFirstButton && id < kIconFirstButton + 10) {
      int index = s.first + (id - kIconFirstButton);
      if (index < s.count) {
        s.selected = index;
        show_window_of_ten();
        show_selected();
      }
    } else if (id == kIconOk) {
      icon_choice_fn fn = s.callback;
      int chosen = s.selected;
      plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
      if (fn) fn(chosen);
    } else if (id == kIconCancel) {
      plat::post_message(wnd, plat::WM_CLOSE, 0, 0);
    }
    return 0;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

plat::Wnd create_dialog_window(container_t* icons, int selected, icon_choice_fn callback) {
  int count = obj_list_count(icons);
  chooser_state& s = C();
  if (count <= 0 || (s.wnd && plat::is_window(s.wnd))) return nullptr;
  plat::register_controls();
  register_dialog_class();
  plat::Wnd owner = plat::get_active_window();
  const bool fr = is_french();
  plat::Rect r{0, 0, 340, 148};
  uint32_t style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU;
  plat::adjust_window_rect(&r, style, false);
  plat::Wnd wnd = plat::create_window(0, "ClasseDialogue", fr ? "Choix d'une icône" : "Choose icon", style, 100,
                                      100, r.width(), r.height(), owner, 0);
  if (!wnd) return nullptr;
  plat::set_window_proc(wnd, dialog_window_proc);
  s = chooser_state{};
  s.wnd = wnd;
  s.icons = icons;
  s.count = count;
  s.callback = callback;
  s.selected = (selected >= 0 && selected < count) ? selected : 0;
  s.first = (s.selected / 10) * 10;
  if (s.first > last_first()) s.first = last_first();
  for (int i = 0; i < count; ++i) {
    obj_t* icon = nullptr;
    obj_list_get(icons, i, &icon);
    s.bitmaps.push_back(render_to_bitmap(icon, 32, 32));
  }
  const uint32_t icon_style = plat::BS_AUTORADIOBUTTON | plat::BS_PUSHLIKE | plat::BS_BITMAP | plat::BS_FLAT;
  for (int i = 0; i < 10; ++i)
    create_control(wnd, plat::kButtonClass, "", icon_style | (i == 0 ? plat::WS_GROUP : 0), 10 + 32 * i, 10, 32,
                   32, kIconFirstButton + i);
  plat::Wnd ud = create_control(wnd, plat::kUpDownClass, "", plat::UDS_HORZ, 10, 46, 320, 20, kIconUpDown);
  plat::send_message(ud, plat::UDM_SETRANGE32, 0, last_first());
  plat::send_message(ud, plat::UDM_SETPOS32, 0, s.first);
  create_control(wnd, plat::kEditClass, "", plat::ES_AUTOHSCROLL, 10, 74, 320, 24, kIconName,
                 plat::WS_EX_CLIENTEDGE);
  create_control(wnd, plat::kStaticClass, "", plat::SS_BITMAP, 154, 106, 32, 32, kIconPicture);
  create_control(wnd, plat::kButtonClass, fr ? "Annuler" : "Cancel", plat::WS_TABSTOP, 10, 110, 100, 28,
                 kIconCancel);
  plat::Wnd ok = create_control(wnd, plat::kButtonClass, "OK", plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON, 230, 110,
                                100, 28, kIconOk);
  show_window_of_ten();
  show_selected();
  if (owner) plat::enable_window(owner, false);
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_focus(ok);
  return wnd;
}

int icon_chooser_first() { return C().wnd ? C().first : -1; }
int icon_chooser_selected() { return C().wnd ? C().selected : -1; }

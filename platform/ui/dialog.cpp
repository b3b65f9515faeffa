// The dialog window class and its procedure: the dialog procedure sees each message
// first; what it leaves goes to the default processing of dialogs (closing as Cancel,
// the focus kept across activations, the default button, WM_NEXTDLGCTL, the colour of
// the background), then to the default window procedure.
#include <algorithm>
#include <mutex>
#include <unordered_set>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialog_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/queue.h"

namespace plat {

using namespace ui_detail;

namespace ui_detail {

namespace {
// Only the user-interface thread creates windows, so one slot is enough; it is
// thread-local all the same, so that a stray creation elsewhere never takes it.
thread_local DialogRec* g_pending = nullptr;

// The live records: a window's per-window value is taken for a record only when it is
// one of them and belongs to that window, so a window of another class is never misread.
std::mutex g_live_mutex;
std::unordered_set<const DialogRec*> g_live;
}  // namespace

DialogRec* dialog_rec(Wnd dlg) {
  auto* rec = reinterpret_cast<DialogRec*>(get_window_long(dlg, kDialogRecSlot));
  if (!rec) return nullptr;
  std::lock_guard<std::mutex> lock(g_live_mutex);
  return g_live.count(rec) && rec->wnd == dlg ? rec : nullptr;
}

void set_dialog_rec_pending(DialogRec* rec) { g_pending = rec; }

DialogRec* take_dialog_rec_pending() {
  DialogRec* rec = g_pending;
  g_pending = nullptr;
  return rec;
}

}  // namespace ui_detail

namespace {

// Messages whose result is the value the dialog procedure returns rather than
// DWLP_MSGRESULT.
bool returns_value(uint32_t msg) {
  return msg == WM_INITDIALOG || (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) || msg == WM_COMPAREITEM ||
         msg == 0x002E /* WM_VKEYTOITEM */ || msg == 0x002F /* WM_CHARTOITEM */ || msg == 0x0037 /* WM_QUERYDRAGICON */;
}

void attach_pending(Wnd dlg) {
  DialogRec* rec = take_dialog_rec_pending();
  if (!rec) return;
  rec->wnd = dlg;
  {
    std::lock_guard<std::mutex> lock(g_live_mutex);
    g_live.insert(rec);
  }
  set_window_long(dlg, kDialogRecSlot, reinterpret_cast<intptr_t>(rec));
  set_window_long(dlg, DWLP_DLGPROC, reinterpret_cast<intptr_t>(rec->proc));
}

void forget_rec(Wnd dlg) {
  DialogRec* rec = dialog_rec(dlg);
  if (!rec) return;
  set_window_long(dlg, kDialogRecSlot, 0);
  {
    std::lock_guard<std::mutex> lock(g_live_mutex);
    g_live.erase(rec);
  }
  if (rec->own_font) delete_object(rec->font);
  delete rec;
}

// The background: the brush the dialog procedure gives for WM_CTLCOLORDLG, else the
// class background (the button face).
LResult erase(Wnd dlg, WParam wp, LParam lp) {
  Dc dc = reinterpret_cast<Dc>(wp);
  Brush brush = reinterpret_cast<Brush>(send_message(dlg, WM_CTLCOLORDLG, wp, LParam(reinterpret_cast<intptr_t>(dlg))));
  if (!dc || get_object_kind(brush) != OBJ_BRUSH) return def_window_proc(dlg, WM_ERASEBKGND, wp, lp);
  Rect rc;
  get_client_rect(dlg, &rc);
  fill_rect(dc, rc, brush);
  return 1;
}

// Keeps a top-level dialog inside the work area.
void reposition(Wnd dlg) {
  Rect r, work = get_work_area();
  if (!get_window_rect(dlg, &r) || (get_window_long(dlg, GWL_STYLE) & WS_CHILD)) return;
  int x = std::max(work.left, std::min(r.left, work.right - r.width()));
  int y = std::max(work.top, std::min(r.top, work.bottom - r.height()));
  if (x != r.left || y != r.top) set_window_pos(dlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LResult dialog_default(Wnd dlg, uint32_t msg, WParam wp, LParam lp) {
  switch (msg) {
    case WM_NCDESTROY:
      forget_rec(dlg);
      return def_window_proc(dlg, msg, wp, lp);
    case WM_CLOSE: dialog_press_cancel(dlg); return 0;
    case WM_ACTIVATE:
      if (loword(wp) == WA_INACTIVE) {
        dialog_save_focus(dlg);
      } else {
        Wnd f = get_focus();
        if (!f || !is_child(dlg, f)) dialog_restore_focus(dlg);
      }
      return 0;
    case WM_SETFOCUS: dialog_restore_focus(dlg); return 0;
    case WM_SHOWWINDOW:
      if (!wp) dialog_save_focus(dlg);
      return def_window_proc(dlg, msg, wp, lp);
    case WM_ERASEBKGND: return erase(dlg, wp, lp);
    case WM_NEXTDLGCTL: dialog_next_ctl(dlg, wp, lp); return 0;
    case DM_GETDEFID: return dialog_get_def_id(dlg);
    case DM_SETDEFID: dialog_set_def_id(dlg, int(loword(wp))); return 1;
    case DM_REPOSITION: reposition(dlg); return 0;
    case WM_GETFONT: {
      DialogRec* rec = dialog_rec(dlg);
      return rec ? LResult(reinterpret_cast<intptr_t>(rec->font)) : 0;
    }
    default: return def_window_proc(dlg, msg, wp, lp);
  }
}

}  // namespace

LResult def_dlg_proc(Wnd dlg, uint32_t msg, WParam wp, LParam lp) {
  if (msg == WM_NCCREATE) attach_pending(dlg);
  if (auto proc = reinterpret_cast<DlgProc>(get_window_long(dlg, DWLP_DLGPROC))) {
    const intptr_t r = proc(dlg, msg, wp, lp);
    if (r) return returns_value(msg) ? LResult(r) : LResult(get_window_long(dlg, DWLP_MSGRESULT));
    if (!is_window(dlg)) return 0;
  }
  return dialog_default(dlg, msg, wp, lp);
}

void register_dialog_class() {
  register_static_control();
  register_button_control();
  register_edit_control();
  if (get_class_info(kDialogClass, nullptr)) return;
  WndClass c;
  c.name = kDialogClass;
  c.proc = def_dlg_proc;
  c.wnd_extra = kDialogExtra;
  c.background_sys_color = COLOR_BTNFACE;
  c.cursor = load_cursor(IDC_ARROW);
  register_class(c);
}

}  // namespace plat

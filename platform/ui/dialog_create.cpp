// Building a dialog from its template (font, dialog units, place, items, WM_INITDIALOG)
// and running it: modeless (create_dialog_indirect) or modal (dialog_box_indirect, a
// nested loop with the dialog's keyboard as its filter), and ending it.
#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/dialog_state.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

// The template's font: its face at its size in points (96 pixels to the inch).
Font make_font(const DlgTemplate& t, bool* own) {
  const char* face = t.font_name && *t.font_name ? t.font_name : "MS Sans Serif";
  const int points = t.font_size > 0 ? std::min(t.font_size, 200) : 8;
  Font f = create_font(-((points * 96 + 36) / 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, face);
  *own = f != nullptr;
  return f ? f : ui_font();
}

// Where a top-level dialog goes: centred over its owner (or the work area) with
// DS_CENTER or no place given, else at its place from the owner's client area (the
// work area's corner with DS_ABSALIGN or no owner); kept inside the work area.
Point place(const DlgTemplate& t, uint32_t style, Wnd owner, Size window, Size base) {
  if (style & WS_CHILD) return Point{dlu_x(t.x, base), dlu_y(t.y, base)};
  const Rect work = get_work_area();
  int x, y;
  if ((style & DS_CENTER) || (t.x == 0 && t.y == 0)) {
    Rect around = work;
    if (owner) get_window_rect(owner, &around);
    x = around.left + (around.width() - window.cx) / 2;
    y = around.top + (around.height() - window.cy) / 2;
  } else {
    Point origin{work.left, work.top};
    if (owner && !(style & DS_ABSALIGN)) {
      origin = Point{0, 0};
      client_to_screen(owner, &origin);
    }
    x = origin.x + dlu_x(t.x, base);
    y = origin.y + dlu_y(t.y, base);
  }
  x = std::max(work.left, std::min(x, work.right - window.cx));
  y = std::max(work.top, std::min(y, work.bottom - window.cy));
  return Point{x, y};
}

bool create_items(Wnd dlg, const DlgTemplate& t, const DialogLayout& lay, Font font) {
  for (size_t i = 0; i < t.items.size(); ++i) {
    const DlgItem& it = t.items[i];
    const Rect& r = lay.items[i];
    const uint32_t style = it.style | WS_CHILD | (it.hidden ? 0u : WS_VISIBLE);
    std::u16string text = utf8_to_utf16(it.text ? it.text : "");
    Wnd w = create_window_w(it.ex_style, it.class_name ? it.class_name : "", text.c_str(), style, r.left, r.top,
                            r.width(), r.height(), dlg, uintptr_t(unsigned(it.id)));
    if (!w) return false;
    send_message(w, WM_SETFONT, WParam(reinterpret_cast<uintptr_t>(font)), 0);
  }
  return true;
}

// Makes the dialog (hidden), its items, and sends WM_INITDIALOG. Null on failure.
Wnd build(const DlgTemplate& t, Wnd owner, DlgProc proc, LParam param, bool modal) {
  register_dialog_class();
  uint32_t style = t.style ? t.style : (WS_POPUP | WS_CAPTION | WS_SYSMENU);
  if (modal) style = (style & ~WS_CHILD) | WS_POPUP;
  const bool child = style & WS_CHILD;
  Wnd parent = child ? owner : (owner ? get_ancestor(owner, GA_ROOT) : nullptr);
  if (child && !is_window(parent)) return nullptr;
  const uint32_t ex = t.ex_style | ((style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0u) |
                      ((style & DS_CONTROL) ? WS_EX_CONTROLPARENT : 0u);

  auto* rec = new DialogRec;
  rec->proc = proc;
  rec->modal = modal;
  rec->font = make_font(t, &rec->own_font);
  rec->base = font_base_units(rec->font);
  const Font font = rec->font;
  const DialogLayout lay = lay_out_dialog(t, font, rec->base);
  Rect wr{0, 0, lay.client.cx, lay.client.cy};
  adjust_window_rect(&wr, style, false, ex);
  const Point at = place(t, style, parent, Size{wr.width(), wr.height()}, rec->base);
  std::u16string title = utf8_to_utf16(t.title ? t.title : "");

  // The record goes to the window at WM_NCCREATE; from then on the window frees it.
  set_dialog_rec_pending(rec);
  Wnd dlg = create_window_w(ex, kDialogClass, title.c_str(), style & ~WS_VISIBLE, at.x, at.y, wr.width(),
                            wr.height(), parent, 0);
  if (take_dialog_rec_pending() == rec) {
    if (rec->own_font) delete_object(rec->font);
    delete rec;
    if (dlg) destroy_window(dlg);
    return nullptr;
  }
  if (!dlg) return nullptr;
  send_message(dlg, WM_SETFONT, WParam(reinterpret_cast<uintptr_t>(font)), 0);
  if (!is_window(dlg) || !create_items(dlg, t, lay, font)) {
    destroy_window(dlg);
    return nullptr;
  }
  Wnd first = get_next_dlg_tab_item(dlg, nullptr, false);
  const LResult focus = send_message(dlg, WM_INITDIALOG, WParam(reinterpret_cast<uintptr_t>(first)), param);
  if (!is_window(dlg)) return nullptr;
  // The focus goes to the first tab stop when the dialog is activated.
  if (focus && first && is_window(first))
    if (DialogRec* r = dialog_rec(dlg)) r->saved_focus = first;
  if (focus && first && is_window(first) && (send_message(first, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL))
    send_message(first, EM_SETSEL, 0, -1);
  return dlg;
}

intptr_t run_modal(const DlgTemplate& t, Wnd owner, DlgProc proc, LParam param) {
  Wnd owner_top = is_window(owner) ? get_ancestor(owner, GA_ROOT) : nullptr;
  Wnd dlg = build(t, owner_top, proc, param, true);
  if (!dlg) return -1;
  const bool disabled_owner = owner_top && is_window_enabled(owner_top);
  if (disabled_owner) enable_window(owner_top, false);
  // A dialog may end itself before its loop (in WM_INITDIALOG): it is then never shown.
  const auto ended = [dlg](intptr_t* out) {
    DialogRec* rec = dialog_rec(dlg);
    if (!rec || !rec->ended) return false;
    *out = rec->result;
    return true;
  };
  intptr_t result = IDCANCEL;
  if (!ended(&result)) {
    show_window(dlg, SW_SHOW);
    if (!ended(&result)) result = run_modal_loop(dlg, IDCANCEL, nullptr, dialog_modal_filter());
  }
  // The owner comes back before the dialog goes, so that it takes the activation again.
  if (disabled_owner && is_window(owner_top)) enable_window(owner_top, true);
  if (is_window(dlg)) destroy_window(dlg);
  return result;
}

}  // namespace

Wnd create_dialog_indirect(const DlgTemplate& tmpl, Wnd owner, DlgProc proc, LParam init_param) {
  return handle_of<Wnd>(uintptr_t(run_on_ui([&]() -> LResult {
    Wnd dlg = build(tmpl, owner, proc, init_param, false);
    if (dlg && (tmpl.style & WS_VISIBLE)) show_window(dlg, SW_SHOW);
    return LResult(key_of(dlg));
  })));
}

intptr_t dialog_box_indirect(const DlgTemplate& tmpl, Wnd owner, DlgProc proc, LParam init_param) {
  return intptr_t(run_on_ui([&]() -> LResult { return LResult(run_modal(tmpl, owner, proc, init_param)); }));
}

bool end_dialog(Wnd dlg, intptr_t result) {
  return run_on_ui([&]() -> LResult {
           DialogRec* rec = dialog_rec(dlg);
           if (!rec) return 0;
           rec->ended = true;
           rec->result = result;
           if (rec->modal) {
             end_modal(dlg, result);
           } else {
             show_window(dlg, SW_HIDE);
           }
           return 1;
         }) != 0;
}

bool map_dialog_rect(Wnd dlg, Rect* r) {
  if (!r) return false;
  const Size base = dialog_base_units(dlg);
  if (base.cx <= 0) return false;
  *r = Rect{dlu_x(r->left, base), dlu_y(r->top, base), dlu_x(r->right, base), dlu_y(r->bottom, base)};
  return true;
}

Size dialog_base_units(Wnd dlg) {
  Size out;
  run_on_ui([&]() -> LResult {
    if (DialogRec* rec = dialog_rec(dlg)) out = rec->base;
    return 0;
  });
  return out;
}

}  // namespace plat

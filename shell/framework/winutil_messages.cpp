// Message boxes owned by the command target's window, the bilingual texts of dialog
// templates, the remembered focus, and the dialog font.
#include <atomic>

#include "core/config.h"
#include "core/error.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui.h"
#include "shell/framework/winutil.h"

namespace {

std::atomic<plat::Wnd> g_focus{nullptr};
std::atomic<plat::Font> g_font{nullptr};

}  // namespace

int msg_box(const char* text, const char* caption) {
  set_gblerr(0);
  return plat::message_box(command_target_window(), text ? text : "", caption ? caption : "", plat::MB_OK);
}

int msg_box_w(const char16_t* text, const char16_t* caption) {
  set_gblerr(0);
  return plat::message_box_w(command_target_window(), text ? text : u"", caption ? caption : u"",
                             plat::MB_OK);
}

bool ask_yes_no(const char* text, const char* caption) {
  return plat::message_box(command_target_window(), text ? text : "", caption ? caption : "",
                           plat::MB_YESNO | plat::MB_ICONEXCLAMATION) == plat::IDYES;
}

void dialog_set_texts(plat::Wnd dlg, const dialog_text* rows) {
  if (!dlg || !rows) return;
  bool french = is_french() != 0;
  const dialog_text* row = rows;
  for (; row->id != 0; ++row) plat::set_dlg_item_text(dlg, row->id, french ? row->fr : row->en);
  const char* title = french ? row->fr : row->en;
  if (title) plat::set_window_text(dlg, title);
}

void set_focus_remember(plat::Wnd wnd) {
  plat::set_focus(wnd);
  g_focus = wnd;
}

void restore_focus() {
  plat::Wnd wnd = g_focus.load();
  if (wnd && plat::is_window(wnd)) plat::set_focus(wnd);
}

plat::Wnd remembered_focus() { return g_focus.load(); }

plat::Font create_ui_font() {
  if (plat::Font f = g_font.load()) return f;
  plat::Font f = plat::create_font(14, 8, 0, 0, plat::FW_NORMAL, false, false, false, 0, 0, 0, 0, 0,
                                   "MS Sans Serif");
  plat::Font expected = nullptr;
  if (!g_font.compare_exchange_strong(expected, f)) {
    plat::delete_object(f);
    return expected;
  }
  return f;
}

plat::Font ui_font() { return g_font.load(); }

void winutil_state_reset() {
  g_focus = nullptr;
  set_redraw_interrupt_routine(nullptr);
  set_invalid_rect_routine(nullptr);
  set_image_render_routine(nullptr);
  set_map_subclass_routine(nullptr);
}

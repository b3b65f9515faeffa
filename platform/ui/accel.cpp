// Accelerator tables and their translation of keys into commands.
#include "platform/ui/accel.h"

#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/menu.h"
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

// The modifiers held now, as accelerator flags.
uint8_t held_modifiers() {
  uint8_t m = 0;
  if (get_key_state(VK_SHIFT) < 0) m |= FSHIFT;
  if (get_key_state(VK_CONTROL) < 0) m |= FCONTROL;
  if (get_key_state(VK_MENU) < 0) m |= FALT;
  return m;
}

bool matches(const AccelEntry& e, const Msg& msg, uint8_t mods) {
  constexpr uint8_t kMods = FSHIFT | FCONTROL | FALT;
  if (e.fvirt & FVIRTKEY) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    return e.key == uint16_t(msg.wparam) && (e.fvirt & kMods) == mods;
  }
  // A character entry: matched on WM_CHAR / WM_SYSCHAR, Alt as given.
  if (msg.message != WM_CHAR && msg.message != WM_SYSCHAR) return false;
  return e.key == uint16_t(msg.wparam) && ((e.fvirt & FALT) != 0) == ((mods & FALT) != 0);
}

}  // namespace

Accel create_accelerator_table(const AccelEntry* entries, int count) {
  if (!entries || count <= 0) return nullptr;
  uintptr_t h = new_serial();
  Guard g;
  S().accels[h] = std::vector<AccelEntry>(entries, entries + count);
  return handle_of<Accel>(h);
}

bool destroy_accelerator_table(Accel table) {
  Guard g;
  return S().accels.erase(key_of(table)) > 0;
}

bool translate_accelerator(Wnd wnd, Accel table, const Msg* msg) {
  if (!msg || !is_window(wnd)) return false;
  const uint8_t mods = held_modifiers();
  unsigned cmd = 0;
  bool found = false;
  {
    Guard g;
    auto it = S().accels.find(key_of(table));
    if (it == S().accels.end()) return false;
    for (const AccelEntry& e : it->second) {
      if (!matches(e, *msg, mods)) continue;
      cmd = e.cmd;
      found = true;
      break;
    }
  }
  if (!found) return false;
  // A command that is grey or disabled in the window's menu does nothing, but the key
  // was still an accelerator.
  if (Menu menu = get_menu(wnd)) {
    send_message(wnd, WM_INITMENU, WParam(key_of(menu)), 0);
    unsigned state = get_menu_state(menu, cmd, MF_BYCOMMAND);
    if (state != MENU_NOT_FOUND && (state & (MF_GRAYED | MF_DISABLED))) return true;
  }
  if (!is_window_enabled(wnd)) return true;
  send_message(wnd, WM_COMMAND, make_wparam(int(cmd), int(CMD_FROM_ACCELERATOR)), 0);
  return true;
}

}  // namespace plat

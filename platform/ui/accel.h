// Accelerator tables: keys (with Shift, Ctrl, Alt) that stand for menu commands.
// translate_accelerator turns a matching WM_KEYDOWN / WM_SYSKEYDOWN (or WM_CHAR for an
// entry without FVIRTKEY) into a WM_COMMAND sent to the window, with 1 in the high word
// of wParam. A command whose item in the window's menu is grey or disabled sends
// nothing, but the key is still taken.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

constexpr uint8_t FVIRTKEY = 0x01;
constexpr uint8_t FNOINVERT = 0x02;
constexpr uint8_t FSHIFT = 0x04;
constexpr uint8_t FCONTROL = 0x08;
constexpr uint8_t FALT = 0x10;

struct AccelEntry {
  uint8_t fvirt = 0;  // FVIRTKEY and the modifiers that must be held
  uint16_t key = 0;   // virtual key (FVIRTKEY) or character
  uint16_t cmd = 0;
};

Accel create_accelerator_table(const AccelEntry* entries, int count);
bool destroy_accelerator_table(Accel table);
// True when the message was an accelerator key (the caller then neither translates
// nor dispatches it).
bool translate_accelerator(Wnd wnd, Accel table, const Msg* msg);

}  // namespace plat

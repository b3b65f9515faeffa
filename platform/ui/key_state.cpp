// The state of the keys and mouse buttons, and the characters keys type.
//
// Two tables are kept: the state as of the last input event (get_async_key_state),
// changed when input arrives, and the state as of the message being handled
// (get_key_state), changed as key and mouse messages are taken from the queue. A
// window procedure handling a key thus sees the modifiers as they were for that key,
// however far the input has run ahead.
#include "platform/ui/keys.h"
#include "platform/ui/input.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

// Punctuation keys of the US layout: key, character, shifted character.
struct OemKey {
  int vk;
  char16_t plain, shifted;
};
constexpr OemKey kOemKeys[] = {
    {VK_OEM_1, u';', u':'},  {VK_OEM_PLUS, u'=', u'+'},   {VK_OEM_COMMA, u',', u'<'},
    {VK_OEM_MINUS, u'-', u'_'}, {VK_OEM_PERIOD, u'.', u'>'}, {VK_OEM_2, u'/', u'?'},
    {VK_OEM_3, u'`', u'~'},  {VK_OEM_4, u'[', u'{'},     {VK_OEM_5, u'\\', u'|'},
    {VK_OEM_6, u']', u'}'},  {VK_OEM_7, u'\'', u'"'},    {VK_SPACE, u' ', u' '},
    {VK_MULTIPLY, u'*', u'*'}, {VK_ADD, u'+', u'+'},     {VK_SUBTRACT, u'-', u'-'},
    {VK_DECIMAL, u'.', u'.'}, {VK_DIVIDE, u'/', u'/'},
};
constexpr char16_t kShiftedDigits[] = u")!@#$%^&*(";

// Left and right modifier keys also count as the generic one.
int generic_of(int vk) {
  switch (vk) {
    case VK_LSHIFT: case VK_RSHIFT: return VK_SHIFT;
    case VK_LCONTROL: case VK_RCONTROL: return VK_CONTROL;
    case VK_LMENU: case VK_RMENU: return VK_MENU;
    default: return 0;
  }
}

void set_key(std::array<uint8_t, 256>& table, int vk, bool down) {
  uint8_t& v = table[size_t(vk & 255)];
  if (down && !(v & 0x80)) v ^= 0x01;  // each press toggles (Caps Lock, Num Lock)
  v = uint8_t(down ? (v | 0x80) : (v & ~0x80));
}

int16_t state_of(const std::array<uint8_t, 256>& table, int vk) {
  uint8_t v = table[size_t(vk & 255)];
  return int16_t(uint16_t((v & 0x80) ? 0x8000u : 0u) | uint16_t(v & 0x01));
}

void set_buttons(std::array<uint8_t, 256>& table, WParam mk) {
  set_key(table, VK_LBUTTON, mk & MK_LBUTTON);
  set_key(table, VK_RBUTTON, mk & MK_RBUTTON);
  set_key(table, VK_MBUTTON, mk & MK_MBUTTON);
}

}  // namespace

namespace ui_detail {

void update_sync_key(int vk, bool down) {
  set_key(S().key_sync, vk, down);
  if (int g = generic_of(vk)) set_key(S().key_sync, g, down);
}

void update_async_key(int vk, bool down) {
  set_key(S().key_async, vk, down);
  if (int g = generic_of(vk)) set_key(S().key_async, g, down);
}

// Alt pressed and released with nothing pressed in between selects the menu bar: a
// press of Alt (not its repeat) starts the count, any other key or a mouse button ends it.
void track_alt_alone(const Msg& m) {
  switch (m.message) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN:
      if (int(m.wparam) != VK_MENU)
        S().alt_alone = false;
      else if (!(m.lparam & (LParam(1) << 30)))
        S().alt_alone = true;
      break;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
      S().alt_alone = false;
      break;
    default: break;
  }
}

void update_key_state_on_removal(const Msg& m) {
  track_alt_alone(m);
  switch (m.message) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN: update_sync_key(int(m.wparam), true); break;
    case WM_KEYUP: case WM_SYSKEYUP: update_sync_key(int(m.wparam), false); break;
    default:
      if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST && m.message != WM_MOUSEWHEEL)
        set_buttons(S().key_sync, m.wparam);
      break;
  }
}

bool alt_pressed_alone() {
  Guard g;
  return S().alt_alone;
}

char16_t char_for_key(int vk, bool shift, bool caps, bool ctrl) {
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return char16_t(vk - 'A' + 1);
    return char16_t(shift != caps ? vk : vk + ('a' - 'A'));
  }
  if (ctrl) return 0;
  if (vk >= '0' && vk <= '9') return shift ? kShiftedDigits[vk - '0'] : char16_t(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return char16_t('0' + vk - VK_NUMPAD0);
  switch (vk) {
    case VK_RETURN: return u'\r';
    case VK_BACK: return 8;
    case VK_TAB: return u'\t';
    case VK_ESCAPE: return 27;
    default: break;
  }
  for (const OemKey& k : kOemKeys)
    if (k.vk == vk) return shift ? k.shifted : k.plain;
  return 0;
}

}  // namespace ui_detail

int16_t get_key_state(int vk) {
  Guard g;
  return state_of(S().key_sync, vk);
}

int16_t get_async_key_state(int vk) {
  Guard g;
  return state_of(S().key_async, vk);
}

int16_t vk_key_scan(char16_t ch) {
  for (int vk = 0; vk < 256; ++vk) {
    if (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE) continue;  // the main keys come first
    if (char_for_key(vk, false, false, false) == ch) return int16_t(vk);
    if (char_for_key(vk, true, false, false) == ch) return int16_t(vk | 0x100);
  }
  return -1;
}

bool get_cursor_pos(Point* screen) {
  if (!screen) return false;
  Guard g;
  *screen = S().cursor_pos;
  return true;
}

}  // namespace plat

// Keysyms to virtual keys and characters. Letters and digits map by range; every other
// key the window system knows is one row of a table. A keysym outside the table has no
// virtual key: its character, when it types one, reaches the window as a plain character.
#include "platform/x11/x11_keys.h"

#include <X11/keysym.h>

#include "platform/ui/input.h"
#include "platform/ui/keys.h"

namespace plat::x11_detail {

namespace {

struct KeyRow {
  unsigned long keysym;
  int vk;
};

constexpr KeyRow kKeys[] = {
    {XK_BackSpace, VK_BACK},     {XK_Tab, VK_TAB},           {XK_ISO_Left_Tab, VK_TAB},
    {XK_Return, VK_RETURN},      {XK_Escape, VK_ESCAPE},     {XK_space, VK_SPACE},
    {XK_Prior, VK_PRIOR},        {XK_Next, VK_NEXT},         {XK_End, VK_END},
    {XK_Home, VK_HOME},          {XK_Left, VK_LEFT},         {XK_Up, VK_UP},
    {XK_Right, VK_RIGHT},        {XK_Down, VK_DOWN},         {XK_Insert, VK_INSERT},
    {XK_Delete, VK_DELETE},      {XK_Shift_L, VK_SHIFT},     {XK_Shift_R, VK_SHIFT},
    {XK_Control_L, VK_CONTROL},  {XK_Control_R, VK_CONTROL}, {XK_Alt_L, VK_MENU},
    {XK_Alt_R, VK_MENU},         {XK_Meta_L, VK_MENU},       {XK_Meta_R, VK_MENU},
    {XK_Caps_Lock, VK_CAPITAL},  {XK_Num_Lock, VK_NUMLOCK},  {XK_Scroll_Lock, VK_SCROLL},
    {XK_Pause, VK_PAUSE},        {XK_Print, VK_SNAPSHOT},    {XK_Menu, VK_APPS},
    {XK_Super_L, VK_LWIN},       {XK_Super_R, VK_RWIN},
    // The keypad: digits and operators with Num Lock, movement keys without it.
    {XK_KP_Add, VK_ADD},         {XK_KP_Subtract, VK_SUBTRACT}, {XK_KP_Multiply, VK_MULTIPLY},
    {XK_KP_Divide, VK_DIVIDE},   {XK_KP_Decimal, VK_DECIMAL},   {XK_KP_Separator, VK_SEPARATOR},
    {XK_KP_Enter, VK_RETURN},    {XK_KP_Home, VK_HOME},         {XK_KP_End, VK_END},
    {XK_KP_Prior, VK_PRIOR},     {XK_KP_Next, VK_NEXT},         {XK_KP_Left, VK_LEFT},
    {XK_KP_Up, VK_UP},           {XK_KP_Right, VK_RIGHT},       {XK_KP_Down, VK_DOWN},
    {XK_KP_Insert, VK_INSERT},   {XK_KP_Delete, VK_DELETE},     {XK_KP_Begin, VK_CLEAR},
    // Punctuation keys of the US layout.
    {XK_semicolon, VK_OEM_1},    {XK_equal, VK_OEM_PLUS},       {XK_comma, VK_OEM_COMMA},
    {XK_minus, VK_OEM_MINUS},    {XK_period, VK_OEM_PERIOD},    {XK_slash, VK_OEM_2},
    {XK_grave, VK_OEM_3},        {XK_bracketleft, VK_OEM_4},    {XK_backslash, VK_OEM_5},
    {XK_bracketright, VK_OEM_6}, {XK_apostrophe, VK_OEM_7},
};

// What the window system types for the keypad's keys, and for Space: the same character
// with Shift held or not (Shift+Space is a key press like Space, not a bare blank).
struct KeypadChar {
  int vk;
  char32_t ch;
};
constexpr KeypadChar kKeypadChars[] = {
    {VK_MULTIPLY, U'*'}, {VK_ADD, U'+'}, {VK_SUBTRACT, U'-'}, {VK_DECIMAL, U'.'}, {VK_DIVIDE, U'/'},
    {VK_SPACE, U' '},
};

// Characters of the keypad's keysyms.
struct KeypadSym {
  unsigned long keysym;
  char32_t ch;
};
constexpr KeypadSym kKeypadSyms[] = {
    {XK_KP_Space, U' '},   {XK_KP_Multiply, U'*'}, {XK_KP_Add, U'+'},   {XK_KP_Subtract, U'-'},
    {XK_KP_Decimal, U'.'}, {XK_KP_Divide, U'/'},   {XK_KP_Equal, U'='},
};

}  // namespace

int vk_of_keysym(unsigned long ks) {
  if (ks >= XK_a && ks <= XK_z) return int('A' + (ks - XK_a));
  if (ks >= XK_A && ks <= XK_Z) return int('A' + (ks - XK_A));
  if (ks >= XK_0 && ks <= XK_9) return int('0' + (ks - XK_0));
  if (ks >= XK_F1 && ks <= XK_F24) return VK_F1 + int(ks - XK_F1);
  if (ks >= XK_KP_0 && ks <= XK_KP_9) return VK_NUMPAD0 + int(ks - XK_KP_0);
  for (const KeyRow& row : kKeys)
    if (row.keysym == ks) return row.vk;
  return 0;
}

bool is_keypad_keysym(unsigned long ks) { return ks >= XK_KP_Space && ks <= XK_KP_9; }

char32_t char_of_keysym(unsigned long ks) {
  // Latin-1 keysyms are their code points; 0x01000000 + U is the keysym of code point U.
  char32_t cp = 0;
  if ((ks >= 0x20 && ks <= 0x7E) || (ks >= 0xA0 && ks <= 0xFF)) cp = char32_t(ks);
  else if (ks >= 0x01000000 && ks <= 0x0110FFFF) cp = char32_t(ks - 0x01000000);
  else if (ks >= XK_KP_0 && ks <= XK_KP_9) cp = U'0' + char32_t(ks - XK_KP_0);
  else {
    for (const KeypadSym& k : kKeypadSyms)
      if (k.keysym == ks) cp = k.ch;
  }
  const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
  const bool surrogate = cp >= 0xD800 && cp < 0xE000;
  return control || surrogate || cp > 0x10FFFF ? 0 : cp;
}

bool vk_types_char(int vk, char32_t ch, bool shift) {
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return ch == U'0' + char32_t(vk - VK_NUMPAD0);
  for (const KeypadChar& k : kKeypadChars)
    if (k.vk == vk) return ch == k.ch;
  if (ch > 0xFFFF) return false;
  const int16_t scan = vk_key_scan(char16_t(ch));
  if (scan < 0 || (scan & 0xFF) != vk) return false;
  const bool letter = vk >= 'A' && vk <= 'Z';
  return letter || ((scan & 0x100) != 0) == shift;
}

}  // namespace plat::x11_detail

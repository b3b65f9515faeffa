// Keys of the X display in the window system's terms: the virtual key of a keysym, the
// character a keysym types, and whether the window system's own translation of a key
// already gives that character (so the presenter must not deliver it a second time).
#pragma once

namespace plat::x11_detail {

// The virtual key of a keysym; 0 for a keysym no key of the window system stands for.
int vk_of_keysym(unsigned long keysym);
// Whether a keysym belongs to the keypad (its meaning then depends on Num Lock, so the
// presenter looks it up with the modifiers applied).
bool is_keypad_keysym(unsigned long keysym);
// The printable character (a Unicode code point) a keysym types; 0 for none.
char32_t char_of_keysym(unsigned long keysym);
// Whether the window system's translation of a press of `vk` (with Shift held or not)
// gives `ch`: it derives characters as the US layout types them. A letter counts in
// either case, since the window system applies Shift and Caps Lock to letters itself;
// the keypad's operators and Space type the same character with Shift as without.
bool vk_types_char(int vk, char32_t ch, bool shift);

}  // namespace plat::x11_detail

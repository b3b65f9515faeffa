// The keys of the frame window: a table from virtual key to routine. Only keys 27 to
// 123 are looked at, and the main keyboard's + and - keys, which zoom as the keypad's
// do (the menu names "+"); 'P' prints, and only with Ctrl held.
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "shell/frame.h"
#include "shell/menu.h"

namespace {

struct key_action {
  int vk;
  void (*action)();
};

void print_key() {
  bool shift = (plat::get_key_state(plat::VK_SHIFT) & 0x8000) != 0;
  bool ctrl = (plat::get_key_state(plat::VK_CONTROL) & 0x8000) != 0;
  post_print_command(shift, ctrl);
}

const key_action kKeys[] = {
    {plat::VK_UP, pan_up},          {plat::VK_DOWN, pan_down},
    {plat::VK_PRIOR, pan_page_up},  {plat::VK_NEXT, pan_page_down},
    {plat::VK_HOME, pan_home},      {plat::VK_END, pan_end},
    {plat::VK_LEFT, pan_left},      {plat::VK_RIGHT, pan_right},
    {'P', print_key},               {plat::VK_F1, zoom_in},
    {plat::VK_ADD, zoom_in},        {plat::VK_F2, zoom_out},
    {plat::VK_SUBTRACT, zoom_out},  {plat::VK_F4, zoom_global},
    {plat::VK_F12, show_environment},
    {plat::VK_OEM_PLUS, zoom_in},   {plat::VK_OEM_MINUS, zoom_out},
};

constexpr int kFirstKey = 27;
constexpr int kLastKey = 123;

}  // namespace

void main_on_keydown(int vk) {
  const bool main_plus_minus = vk == plat::VK_OEM_PLUS || vk == plat::VK_OEM_MINUS;
  if ((vk < kFirstKey || vk > kLastKey) && !main_plus_minus) return;
  for (const key_action& k : kKeys)
    if (k.vk == vk) {
      k.action();
      return;
    }
}

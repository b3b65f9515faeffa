// Building a menu bar from a menu table. A level array holds the menu each level adds
// to: level 0 is the bar; a popup record adds a popup to the menu of its level and
// makes it the menu of the next level; items and separators go at the end of the menu
// of their level.
#include "core/config.h"
#include "platform/ui/menu.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"

namespace {

constexpr int kMaxMenuLevels = 8;

const char* item_text(const menu_item& rec, bool french) {
  const char* t = french ? rec.text_fr : rec.text_en;
  return t ? t : "";
}

// Adds one record to the menus of its level; records of an unknown kind, or of a
// level that no popup opened, are skipped.
void add_record(plat::Menu* levels, const menu_item& rec, bool french) {
  if (rec.level < 0 || rec.level >= kMaxMenuLevels || !levels[rec.level]) return;
  plat::Menu menu = levels[rec.level];
  switch (rec.kind) {
    case MENU_POPUP: {
      plat::Menu sub = plat::create_popup_menu();
      plat::append_menu(menu, plat::MF_POPUP | plat::MF_STRING, reinterpret_cast<uintptr_t>(sub),
                        item_text(rec, french));
      if (rec.level + 1 < kMaxMenuLevels) {
        levels[rec.level + 1] = sub;
        for (int l = rec.level + 2; l < kMaxMenuLevels; ++l) levels[l] = nullptr;
      }
      break;
    }
    case MENU_ITEM:
      plat::append_menu(menu, plat::MF_STRING, unsigned(rec.id), item_text(rec, french));
      break;
    case MENU_SEPARATOR:
      plat::append_menu(menu, plat::MF_SEPARATOR, 0, nullptr);
      break;
    default:
      break;
  }
}

}  // namespace

plat::Menu build_menu_bar_for(plat::Wnd wnd, const menu_item* table, bool french) {
  if (!wnd || !table) return nullptr;
  plat::Menu levels[kMaxMenuLevels] = {};
  levels[0] = plat::create_menu();
  // Every record up to the end record is built, the last one included.
  for (const menu_item* rec = table; rec->kind != MENU_END; ++rec) add_record(levels, *rec, french);
  plat::set_menu(wnd, levels[0]);
  plat::draw_menu_bar(wnd);
  return levels[0];
}

plat::Menu build_menu_bar(const menu_item* table) {
  return build_menu_bar_for(command_target_window(), table, is_french() != 0);
}

// Internal to the list box and the combo box: the strings they hold, each with a data
// word and a selected flag, and the rules both share for placing and finding them.
//
// Comparisons ignore case: letters are folded to lower case (ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic), which is what sorted lists and the find messages of
// both controls need for the system's French and English texts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/types.h"

namespace plat::ui_detail {

struct ListItem {
  std::u16string text;
  intptr_t data = 0;
  bool selected = false;  // multiple-selection list boxes only
};

using ListItems = std::vector<ListItem>;

char16_t fold_case(char16_t c);
// <0, 0, >0 as a is before, equal to or after b, case ignored.
int compare_folded(const std::u16string& a, const std::u16string& b);
// Where a string goes in a sorted list: after the items equal to it.
int sorted_position(const ListItems& items, const std::u16string& text);
// Inserts at `index` (-1 or beyond the end: at the end); returns where it went.
int insert_item(ListItems& items, int index, std::u16string text);
// The first item after `start` (-1: from the first item) whose text begins with
// `text` (or, with `exact`, equals it), case ignored, going round to the start;
// -1 when none does.
int find_item(const ListItems& items, int start, const std::u16string& text, bool exact);
// The text a message's lParam points at (null: empty).
std::u16string text_param(LParam lp);
// Copies an item's text with its terminator into the buffer a message's lParam points
// at (the caller sized it from the text length); returns the units copied.
int copy_item_text(const ListItem& item, LParam buffer);
bool valid_index(const ListItems& items, WParam index);

}  // namespace plat::ui_detail

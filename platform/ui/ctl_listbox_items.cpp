// The strings of list boxes and combo boxes: case folding, sorted insertion, finding.
#include "platform/ui/ctl_listbox_items.h"

#include <algorithm>
#include <cstring>

namespace plat::ui_detail {

char16_t fold_case(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);  // Latin-1 capitals
  if (c >= 0x100 && c <= 0x137) return char16_t(c | 1);              // Latin Extended-A pairs
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? char16_t(c + 1) : c;
  if (c >= 0x14A && c <= 0x177) return char16_t(c | 1);
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? char16_t(c + 1) : c;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return char16_t(c + 32);  // Greek capitals
  if (c >= 0x410 && c <= 0x42F) return char16_t(c + 32);                // Cyrillic capitals
  if (c >= 0x400 && c <= 0x40F) return char16_t(c + 80);
  return c;
}

int compare_folded(const std::u16string& a, const std::u16string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = fold_case(a[i]), y = fold_case(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int sorted_position(const ListItems& items, const std::u16string& text) {
  auto it = std::upper_bound(items.begin(), items.end(), text, [](const std::u16string& t, const ListItem& item) {
    return compare_folded(t, item.text) < 0;
  });
  return int(it - items.begin());
}

int insert_item(ListItems& items, int index, std::u16string text) {
  if (index < 0 || index > int(items.size())) index = int(items.size());
  ListItem item;
  item.text = std::move(text);
  items.insert(items.begin() + index, std::move(item));
  return index;
}

namespace {

bool matches(const std::u16string& item, const std::u16string& text, bool exact) {
  if (exact ? item.size() != text.size() : item.size() < text.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (fold_case(item[i]) != fold_case(text[i])) return false;
  return true;
}

}  // namespace

int find_item(const ListItems& items, int start, const std::u16string& text, bool exact) {
  const int n = int(items.size());
  if (n == 0) return -1;
  if (start < 0 || start >= n) start = -1;
  for (int step = 1; step <= n; ++step) {
    const int i = (start + step) % n;
    if (matches(items[size_t(i)].text, text, exact)) return i;
  }
  return -1;
}

std::u16string text_param(LParam lp) {
  const auto* s = reinterpret_cast<const char16_t*>(lp);
  return s ? std::u16string(s) : std::u16string();
}

int copy_item_text(const ListItem& item, LParam buffer) {
  auto* out = reinterpret_cast<char16_t*>(buffer);
  if (!out) return 0;
  std::memcpy(out, item.text.c_str(), (item.text.size() + 1) * sizeof(char16_t));
  return int(item.text.size());
}

bool valid_index(const ListItems& items, WParam index) { return index < items.size(); }

}  // namespace plat::ui_detail

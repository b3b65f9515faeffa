// Tree views with check boxes. A tree item's check box is its state image (1 unchecked,
// 2 checked); its data word indexes a pair list whose first word mirrors the check flag,
// so that a window can keep the user's choices while the tree is rebuilt.
#include "shell/framework/tree_checks.h"

#include <string>

#include "core/pairlist.h"
#include "platform/ui/ui.h"

namespace {

constexpr uint32_t kCheckTreeStyle = plat::TVS_HASBUTTONS | plat::TVS_HASLINES |
                                     plat::TVS_LINESATROOT | plat::TVS_SHOWSELALWAYS |
                                     plat::TVS_DISABLEDRAGDROP | plat::TVS_CHECKBOXES |
                                     plat::TVS_FULLROWSELECT;

// The pair of an item: its data word as an index into the list (-1 when outside).
int pair_index(plat::Wnd tree, plat::TreeItem item, const pairlist* pairs) {
  plat::LParam data = 0;
  tree_item_data(tree, item, &data);
  return (data >= 0 && data < pairlist_count(pairs)) ? int(data) : -1;
}

}  // namespace

plat::TreeItem tree_insert_item(plat::Wnd tree, plat::TreeItem parent, const char16_t* text,
                                plat::LParam data, unsigned image) {
  std::u16string label = text ? text : u"";
  plat::TvInsertStruct ins;
  ins.parent = parent;
  ins.insert_after = plat::TVI_LAST;
  ins.item.mask = plat::TVIF_TEXT | plat::TVIF_PARAM | plat::TVIF_STATE;
  ins.item.text = label.data();
  ins.item.state = plat::tree_state_image(image);
  ins.item.state_mask = plat::TVIS_STATEIMAGEMASK;
  ins.item.param = data;
  return reinterpret_cast<plat::TreeItem>(
      plat::send_message(tree, plat::TVM_INSERTITEM, 0, plat::LParam(&ins)));
}

plat::TreeItem tree_select_under_cursor(plat::Wnd tree, unsigned* flags) {
  plat::TvHitTestInfo hit;
  plat::get_cursor_pos(&hit.pt);
  plat::screen_to_client(tree, &hit.pt);
  plat::TreeItem item =
      reinterpret_cast<plat::TreeItem>(plat::send_message(tree, plat::TVM_HITTEST, 0, plat::LParam(&hit)));
  *flags = hit.flags;
  if (item) plat::send_message(tree, plat::TVM_SELECTITEM, plat::TVGN_CARET, plat::LParam(item));
  return item;
}

plat::TreeItem tree_next_item(plat::Wnd tree, plat::TreeItem item, unsigned relation) {
  return reinterpret_cast<plat::TreeItem>(
      plat::send_message(tree, plat::TVM_GETNEXTITEM, relation, plat::LParam(item)));
}

unsigned tree_state_image(plat::Wnd tree, plat::TreeItem item) {
  auto state = unsigned(plat::send_message(tree, plat::TVM_GETITEMSTATE, plat::WParam(item),
                                           plat::TVIS_STATEIMAGEMASK));
  return plat::tree_state_image_of(state);
}

bool tree_item_data(plat::Wnd tree, plat::TreeItem item, plat::LParam* data) {
  plat::TvItem tv;
  tv.mask = plat::TVIF_PARAM | plat::TVIF_HANDLE;
  tv.item = item;
  if (!plat::send_message(tree, plat::TVM_GETITEM, 0, plat::LParam(&tv))) return false;
  *data = tv.param;
  return true;
}

plat::Wnd create_tree(plat::Wnd parent, int width, int height, int checks) {
  plat::register_controls();
  uint32_t style = plat::WS_CHILD | plat::WS_VISIBLE | plat::WS_BORDER | plat::WS_TABSTOP;
  if (checks) style |= kCheckTreeStyle;
  return plat::create_window(0, plat::kTreeViewClass, "", style, 8, 8, width, height, parent, kTreeId);
}

int tree_get_check(plat::Wnd tree, plat::TreeItem item) { return tree_state_image(tree, item) == 2 ? 1 : 0; }

void tree_set_check(plat::Wnd tree, plat::TreeItem item, int checked) {
  plat::TvItem tv;
  tv.mask = plat::TVIF_STATE | plat::TVIF_HANDLE;
  tv.item = item;
  tv.state = plat::tree_state_image(checked ? 2 : 1);
  tv.state_mask = plat::TVIS_STATEIMAGEMASK;
  plat::send_message(tree, plat::TVM_SETITEM, 0, plat::LParam(&tv));
}

void tree_set_check_all(plat::Wnd tree, plat::TreeItem item, int checked) {
  if (!item) return;
  if (tree_state_image(tree, item) != 0) tree_set_check(tree, item, checked);
  for (plat::TreeItem c = tree_next_item(tree, item, plat::TVGN_CHILD); c; c = tree_next_item(tree, c, plat::TVGN_NEXT))
    tree_set_check_all(tree, c, checked);
}

void tree_uncheck_parents(plat::Wnd tree, plat::TreeItem item, int checked) {
  if (checked || !item) return;
  for (plat::TreeItem p = tree_next_item(tree, item, plat::TVGN_PARENT); p; p = tree_next_item(tree, p, plat::TVGN_PARENT))
    if (tree_get_check(tree, p)) tree_set_check(tree, p, 0);
}

void tree_collect_checks(plat::Wnd tree, plat::TreeItem item, pairlist* pairs) {
  if (!item) return;
  int i = pair_index(tree, item, pairs);
  if (i >= 0) {
    std::intptr_t second = 0;
    pairlist_get_raw(pairs, i, nullptr, &second);
    pairlist_set_raw(pairs, i, tree_get_check(tree, item), second);
  }
  tree_collect_checks_all(tree, tree_next_item(tree, item, plat::TVGN_CHILD), pairs);
}

void tree_collect_checks_all(plat::Wnd tree, plat::TreeItem item, pairlist* pairs) {
  for (; item; item = tree_next_item(tree, item, plat::TVGN_NEXT)) tree_collect_checks(tree, item, pairs);
}

void tree_apply_checks(plat::Wnd tree, plat::TreeItem item, pairlist* pairs) {
  if (!item) return;
  int i = pair_index(tree, item, pairs);
  std::intptr_t flag = 0;
  if (i >= 0) pairlist_get_raw(pairs, i, &flag, nullptr);
  if (flag) {
    tree_set_check_all(tree, item, 1);
    return;
  }
  tree_apply_checks_all(tree, tree_next_item(tree, item, plat::TVGN_CHILD), pairs);
}

void tree_apply_checks_all(plat::Wnd tree, plat::TreeItem item, pairlist* pairs) {
  for (; item; item = tree_next_item(tree, item, plat::TVGN_NEXT)) tree_apply_checks(tree, item, pairs);
}

// Tree views with check boxes: creating the tree, and the check states of items, whose
// data words index a pair list whose first word of each pair is the item's check flag
// (the second word belongs to the caller).
#pragma once
#include "platform/ui/ctl_treeview.h"
#include "platform/ui/types.h"

struct pairlist;

constexpr int kTreeId = 1002;

// A tree view (id 1002) at (8, 8) of the given size; with check boxes: buttons, lines,
// lines at the root, selection always shown, no dragging, full-row selection.
plat::Wnd create_tree(plat::Wnd parent, int width, int height, int checks);
// Appends an item under `parent` (its text, data word and state image: its check box);
// the new item, null when it could not be made.
plat::TreeItem tree_insert_item(plat::Wnd tree, plat::TreeItem parent, const char16_t* text,
                                plat::LParam data, unsigned image);
// The item under the mouse cursor, selected, with the hit-test flags (TVHT_) in *flags;
// null when the cursor is over no item.
plat::TreeItem tree_select_under_cursor(plat::Wnd tree, unsigned* flags);
// The item in `relation` (a TVGN_ code) to `item`; null when there is none.
plat::TreeItem tree_next_item(plat::Wnd tree, plat::TreeItem item, unsigned relation);
// The item's state image: its check box (1 unchecked, 2 checked), 0 when it has none.
unsigned tree_state_image(plat::Wnd tree, plat::TreeItem item);
// The item's data word into *data; false (and *data untouched) when the tree does not
// give the item.
bool tree_item_data(plat::Wnd tree, plat::TreeItem item, plat::LParam* data);
// 1 when the item is checked (state image 2).
int tree_get_check(plat::Wnd tree, plat::TreeItem item);
void tree_set_check(plat::Wnd tree, plat::TreeItem item, int checked);
// The item (when it has a check box) and all its descendants.
void tree_set_check_all(plat::Wnd tree, plat::TreeItem item, int checked);
// When unchecking: every checked ancestor of the item is unchecked.
void tree_uncheck_parents(plat::Wnd tree, plat::TreeItem item, int checked);
// Writes the check state of the item and its descendants into the first word of their
// pairs; the _all form does it for the item and the siblings after it.
void tree_collect_checks(plat::Wnd tree, plat::TreeItem item, pairlist* pairs);
void tree_collect_checks_all(plat::Wnd tree, plat::TreeItem item, pairlist* pairs);
// An item whose pair says checked is checked with its whole subtree; otherwise its
// children are visited. The _all form for the item and the siblings after it.
void tree_apply_checks(plat::Wnd tree, plat::TreeItem item, pairlist* pairs);
void tree_apply_checks_all(plat::Wnd tree, plat::TreeItem item, pairlist* pairs);

// Harness helpers for list views, tree views and toolbars: click, double-click and
// select list items and column headers, click the parts of tree items and open them
// with their button, click toolbar buttons by command id and rest the mouse on them for
// their tooltips; and a recorder of what these controls tell their parent.
//
// As with the rest of the harness, input is only queued: run_until_idle delivers it.
// Points are found through the controls' own answers (item rectangles and hit tests),
// so the helpers follow the controls' layout. An item is scrolled into view first, by
// code (which raises nothing), as a user would scroll to it.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/image_list.h"
#include "platform/ui/ctl_treeview.h"
#include "platform/ui/ui.h"
#include "tests/support/harness.h"

namespace tm_test {

// ---- Notifications -------------------------------------------------------------------------
// One WM_NOTIFY or WM_COMMAND a parent received, with the fields of its record copied
// while it was sent (the record itself lives only during the call).
struct ViewNotice {
  uint32_t msg = 0;  // WM_NOTIFY or WM_COMMAND
  int id = 0;        // the control's id (WM_COMMAND: the low word, a toolbar's command id)
  int32_t code = 0;  // the notification code (WM_COMMAND: the high word)
  plat::Wnd from = nullptr;
  // List views.
  int item = -1;
  int sub_item = 0;
  unsigned new_state = 0, old_state = 0, changed = 0;
  plat::Point point;
  // List and tree views: the item's data word (a tree: the new item's).
  plat::LParam data = 0;
  // Tree views.
  unsigned action = 0;
  plat::TreeItem tree_item = nullptr;  // the new item (the item deleted, opened or closed)
  plat::TreeItem tree_old = nullptr;
  // Key notices.
  int key = 0;
};

// Records what a window's children tell it, by subclassing the window for the
// recorder's life; every message still reaches the window's own procedure unless the
// answer hook answers it.
class NoticeRecorder {
 public:
  explicit NoticeRecorder(plat::Wnd parent);
  ~NoticeRecorder();
  NoticeRecorder(const NoticeRecorder&) = delete;
  NoticeRecorder& operator=(const NoticeRecorder&) = delete;

  const std::vector<ViewNotice>& notices() const { return notices_; }
  // The codes one control raised (WM_NOTIFY and WM_COMMAND alike), in order.
  std::vector<int32_t> codes(int id) const;
  std::vector<ViewNotice> with_code(int32_t code) const;
  void clear() { notices_.clear(); }
  // Sees each WM_NOTIFY first (after it is recorded); true answers it with *result.
  void set_answer(std::function<bool(plat::NmHdr*, plat::LResult*)> answer) { answer_ = std::move(answer); }

 private:
  static plat::LResult proc(plat::Wnd w, uint32_t msg, plat::WParam wp, plat::LParam lp);
  plat::Wnd parent_;
  plat::WndProc old_;
  std::vector<ViewNotice> notices_;
  std::function<bool(plat::NmHdr*, plat::LResult*)> answer_;
};

// ---- List views ----------------------------------------------------------------------------
// A click in the middle of an item's cell (column 0: its label). False for an item or
// column that does not exist.
bool click_list_item(plat::Wnd lv, int item, int sub_item = 0, plat::MouseButton b = plat::MouseButton::left);
bool double_click_list_item(plat::Wnd lv, int item, int sub_item = 0);
// Selecting as a user does: a click on the item.
inline bool select_list_item(plat::Wnd lv, int item) { return click_list_item(lv, item); }
// A click on the item's check box (LVS_EX_CHECKBOXES).
bool click_list_check(plat::Wnd lv, int item);
// A click on a column's header button.
bool click_list_header(plat::Wnd lv, int column);

// ---- Tree views ----------------------------------------------------------------------------
enum class TreePart { label, icon, state_icon, button };
// A click on a part of an item; false when the item does not exist or lacks the part.
bool click_tree_item(plat::Wnd tv, plat::TreeItem item, TreePart part = TreePart::label,
                     plat::MouseButton b = plat::MouseButton::left);
bool double_click_tree_item(plat::Wnd tv, plat::TreeItem item, TreePart part = TreePart::label);
// Opens a closed item with a click on its button; false when it has no button or is open.
bool expand_tree_item(plat::Wnd tv, plat::TreeItem item);
// The point of an item's part (client coordinates); false as for click_tree_item.
bool tree_part_point(plat::Wnd tv, plat::TreeItem item, TreePart part, plat::Point* out);

// ---- Toolbars ------------------------------------------------------------------------------
// A click in the middle of the button with this command id; false when there is none.
bool click_toolbar_button(plat::Wnd tb, int command);
// Moves the mouse onto the button and lets the tooltip delay pass on the clock; the
// tooltips window when a tip shows, else null.
plat::Wnd hover_toolbar_button(plat::Wnd tb, int command);

}  // namespace tm_test

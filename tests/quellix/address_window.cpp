// The destination address window driven headless as a user would: filling from the
// lists, "+" for a new, a not-selected and a selected destination and for an impossible
// port, "->" with three entries and "<-", ':' typed in the host moving on to the port,
// Tab and Esc in each field and in the window, and every way of closing (the main
// window enabled again and the rebuild of the sending list posted).
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ui.h"
#include "quellix/qx_addresses.h"
#include "shell/framework/winutil.h"
#include "tests/framework/test_frame.h"
#include "tests/quellix/destinations_fixture.h"
#include "tests/support/harness.h"
#include "tests/support/harness_dialogs.h"

namespace qx_test {
namespace {

using entry = std::pair<std::string, intptr_t>;  // text and item data

class AddressWindow : public DestinationsTest {
 protected:
  void SetUp() override {
    DestinationsTest::SetUp();
    config_set("LANG", "ENGLISH");
    create_ui_font();
    frame_ = framework_test::open_test_frame("QxTestMain", "Quellix", 536, 472);
    plat::set_active_window(frame_);
    // Two selected destinations and three not selected ones (nothing is sent here).
    add("127.0.0.2", 4000);
    add("127.0.0.2", 4001);
    for (int port : {5000, 5001, 5002}) {
      add("127.0.0.3", port);
      qx_remove_destination("127.0.0.3", port);
    }
    qx_open_addresses_window();
    tm_test::run_until_idle();
    wnd_ = qx_addresses_window();
    ASSERT_NE(wnd_, nullptr);
  }
  void TearDown() override {
    if (plat::Wnd w = qx_addresses_window()) plat::destroy_window(w);
    winutil_state_reset();
    DestinationsTest::TearDown();
  }

  plat::Wnd item(int id) const { return tm_test::dlg_control(wnd_, id); }
  std::string text_of(int id) const { return plat::window_text(item(id)); }

  // The entries of a list box, in its (sorted) order.
  std::vector<entry> box(int id) const {
    plat::Wnd list = item(id);
    std::vector<entry> out;
    const int n = int(plat::send_message(list, plat::LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      const int len = int(plat::send_message(list, plat::LB_GETTEXTLEN, plat::WParam(i), 0));
      std::u16string w(size_t(len) + 1, u'\0');
      plat::send_message(list, plat::LB_GETTEXT, plat::WParam(i), plat::LParam(w.data()));
      w.resize(size_t(len));
      char* s = nullptr;
      wstr_to_utf8(w.c_str(), &s);
      out.emplace_back(s ? s : "", plat::send_message(list, plat::LB_GETITEMDATA, plat::WParam(i), 0));
      free_mem(&s);
    }
    return out;
  }
  // What a box must show for a list: each non-empty slot with its index, sorted.
  static std::vector<entry> expected(qx_list_kind which) {
    std::vector<entry> out;
    const std::vector<std::string> texts = qx_destination_texts(which);
    for (size_t i = 0; i < texts.size(); ++i)
      if (!texts[i].empty()) out.emplace_back(texts[i], intptr_t(i));
    std::sort(out.begin(), out.end());
    return out;
  }
  void expect_boxes_match_lists() const {
    EXPECT_EQ(box(kQxAddrSelectedList), expected(QX_SELECTED));
    EXPECT_EQ(box(kQxAddrNotSelectedList), expected(QX_NOT_SELECTED));
  }
  void add_through_window(const char* host, const char* port) {
    tm_test::type_into(wnd_, kQxAddrHost, host);
    tm_test::type_into(wnd_, kQxAddrPort, port);
    tm_test::click_control(wnd_, kQxAddrAdd);
    tm_test::run_until_idle();
  }

  tm_test::UiSession ui_;
  plat::Wnd frame_ = nullptr;
  plat::Wnd wnd_ = nullptr;
};

TEST_F(AddressWindow, OpensOverADisabledMainWindowFilledFromTheLists) {
  EXPECT_EQ(plat::get_class_name(wnd_), "ClasseAdresses");
  EXPECT_EQ(plat::window_text(wnd_), "Diffusion addresses");
  EXPECT_EQ(plat::get_owner(wnd_), frame_);
  EXPECT_FALSE(plat::is_window_enabled(frame_));
  plat::Rect c;
  plat::get_client_rect(wnd_, &c);
  EXPECT_EQ(c.width(), 544);
  EXPECT_EQ(c.height(), 256);
  EXPECT_EQ(tm_test::focused_control_id(), kQxAddrHost);
  EXPECT_EQ(box(kQxAddrSelectedList), (std::vector<entry>{{"127.0.0.2:4000", 0}, {"127.0.0.2:4001", 1}}));
  EXPECT_EQ(box(kQxAddrNotSelectedList),
            (std::vector<entry>{{"127.0.0.3:5000", 0}, {"127.0.0.3:5001", 1}, {"127.0.0.3:5002", 2}}));
  for (int id : {kQxAddrAdd, kQxAddrSelect, kQxAddrUnselect, kQxAddrClose, kQxAddrPort})
    EXPECT_NE(item(id), nullptr) << id;
  EXPECT_EQ(plat::window_text(item(kQxAddrAdd)), "+");
  EXPECT_EQ(plat::window_text(item(kQxAddrSelect)), "->");
  EXPECT_EQ(plat::window_text(item(kQxAddrUnselect)), "<-");
  EXPECT_EQ(plat::window_text(item(kQxAddrClose)), "Close");
  // A second open brings the same window forward.
  qx_open_addresses_window();
  EXPECT_EQ(qx_addresses_window(), wnd_);
}

TEST_F(AddressWindow, PlusAddsANewDestinationAndEmptiesTheHost) {
  add_through_window("127.0.0.4", "6000");
  EXPECT_EQ(names(QX_SELECTED), (std::vector<std::string>{"127.0.0.2:4000", "127.0.0.2:4001", "127.0.0.4:6000"}));
  expect_boxes_match_lists();
  EXPECT_EQ(text_of(kQxAddrHost), "");
  EXPECT_EQ(sockets(), 6);
  EXPECT_TRUE(tm_test::message_boxes().empty());
}

TEST_F(AddressWindow, PlusOnANotSelectedDestinationMovesItWithoutASecondChannel) {
  add_through_window("127.0.0.3", "5001");
  EXPECT_EQ(names(QX_NOT_SELECTED), (std::vector<std::string>{"127.0.0.3:5000", "127.0.0.3:5002"}));
  expect_boxes_match_lists();
  EXPECT_EQ(sockets(), 5);
}

TEST_F(AddressWindow, PlusOnASelectedDestinationChangesNothing) {
  const auto before_selected = qx_destination_texts(QX_SELECTED);
  const auto before_not = qx_destination_texts(QX_NOT_SELECTED);
  add_through_window("127.0.0.2", "4001");
  EXPECT_EQ(qx_destination_texts(QX_SELECTED), before_selected);
  EXPECT_EQ(qx_destination_texts(QX_NOT_SELECTED), before_not);
  expect_boxes_match_lists();
  EXPECT_EQ(text_of(kQxAddrHost), "127.0.0.2");  // not taken: the host stays
  EXPECT_EQ(sockets(), 5);
}

TEST_F(AddressWindow, PlusWithAnImpossiblePortShowsInvalidAddress) {
  for (const char* port : {"70000", "0", "9999999999"}) {
    tm_test::clear_message_boxes();
    add_through_window("127.0.0.1", port);
    ASSERT_EQ(tm_test::message_boxes().size(), 1u) << port;
    EXPECT_EQ(tm_test::message_boxes()[0].caption, "Invalid address");
    EXPECT_EQ(tm_test::message_boxes()[0].text, "127.0.0.1\nInvalid server name or\ninvalid IP adress");
    EXPECT_EQ(text_of(kQxAddrHost), "127.0.0.1");
  }
  EXPECT_EQ(sockets(), 5);
  expect_boxes_match_lists();
}

TEST_F(AddressWindow, PlusWithAnEmptyFieldDoesNothing) {
  add_through_window("", "6000");
  plat::set_window_text(item(kQxAddrPort), "");
  add_through_window("127.0.0.4", "");
  EXPECT_TRUE(tm_test::message_boxes().empty());
  EXPECT_EQ(sockets(), 5);
  expect_boxes_match_lists();
}

TEST_F(AddressWindow, ArrowsMoveEverySelectedEntry) {
  plat::Wnd from = item(kQxAddrNotSelectedList);
  plat::send_message(from, plat::LB_SETSEL, 1, -1);  // all three
  tm_test::click_control(wnd_, kQxAddrSelect);
  tm_test::run_until_idle();
  EXPECT_TRUE(names(QX_NOT_SELECTED).empty());
  EXPECT_EQ(names(QX_SELECTED).size(), 5u);
  expect_boxes_match_lists();
  // Back with "<-": one entry, then two.
  plat::Wnd sel = item(kQxAddrSelectedList);
  plat::send_message(sel, plat::LB_SETSEL, 1, 0);  // 127.0.0.2:4000
  tm_test::click_control(wnd_, kQxAddrUnselect);
  tm_test::run_until_idle();
  EXPECT_EQ(names(QX_NOT_SELECTED), std::vector<std::string>{"127.0.0.2:4000"});
  expect_boxes_match_lists();
  sel = item(kQxAddrSelectedList);
  plat::send_message(sel, plat::LB_SETSEL, 1, 1);
  plat::send_message(sel, plat::LB_SETSEL, 1, 3);
  tm_test::click_control(wnd_, kQxAddrUnselect);
  tm_test::run_until_idle();
  EXPECT_EQ(names(QX_NOT_SELECTED).size(), 3u);
  EXPECT_EQ(names(QX_SELECTED).size(), 2u);
  expect_boxes_match_lists();
  // Nothing selected: nothing moves.
  tm_test::click_control(wnd_, kQxAddrSelect);
  tm_test::run_until_idle();
  EXPECT_EQ(names(QX_SELECTED).size(), 2u);
  EXPECT_EQ(sockets(), 5);
}

TEST_F(AddressWindow, ColonInTheHostMovesOnToThePort) {
  tm_test::type_into(wnd_, kQxAddrHost, "127.0.0.9:");
  tm_test::run_until_idle();
  tm_test::type_text("7000");  // where the focus is now
  tm_test::run_until_idle();
  EXPECT_EQ(text_of(kQxAddrHost), "127.0.0.9");
  EXPECT_EQ(text_of(kQxAddrPort), "7000");
  EXPECT_EQ(tm_test::focused_control_id(), kQxAddrPort);
  tm_test::click_control(wnd_, kQxAddrAdd);
  tm_test::run_until_idle();
  EXPECT_EQ(names(QX_SELECTED).back(), "127.0.0.9:7000");
}

TEST_F(AddressWindow, TabMovesBetweenTheFields) {
  struct tab_case {
    int from;  // 0: the window itself
    int to;
  };
  for (const tab_case& c : {tab_case{kQxAddrHost, kQxAddrPort}, tab_case{kQxAddrPort, kQxAddrHost},
                            tab_case{0, kQxAddrHost}}) {
    plat::set_focus(c.from ? item(c.from) : wnd_);
    tm_test::press_tab();
    tm_test::run_until_idle();
    EXPECT_EQ(tm_test::focused_control_id(), c.to) << "from " << c.from;
    EXPECT_EQ(text_of(kQxAddrHost), "");
    EXPECT_EQ(text_of(kQxAddrPort), "");
  }
}

struct close_case {
  const char* name;
  void (*act)(plat::Wnd wnd);
};

class AddressWindowClose : public AddressWindow, public ::testing::WithParamInterface<close_case> {};

TEST_P(AddressWindowClose, EnablesTheMainWindowAndPostsTheRebuild) {
  GetParam().act(wnd_);
  tm_test::run_until_idle();
  EXPECT_EQ(qx_addresses_window(), nullptr);
  EXPECT_FALSE(plat::is_window(wnd_));
  EXPECT_TRUE(plat::is_window_enabled(frame_));
  EXPECT_EQ(posted_slots(), std::vector<int>{kQxResetSlot});
}

void escape_in(plat::Wnd wnd, int id) {
  plat::set_focus(id ? tm_test::dlg_control(wnd, id) : wnd);
  tm_test::press_escape();
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AddressWindowClose,
    ::testing::Values(close_case{"CloseButton", [](plat::Wnd w) { tm_test::click_control(w, kQxAddrClose); }},
                      close_case{"EscInHost", [](plat::Wnd w) { escape_in(w, kQxAddrHost); }},
                      close_case{"EscInPort", [](plat::Wnd w) { escape_in(w, kQxAddrPort); }},
                      close_case{"EscInWindow", [](plat::Wnd w) { escape_in(w, 0); }},
                      close_case{"CloseMessage", [](plat::Wnd w) { plat::post_message(w, plat::WM_CLOSE, 0, 0); }}),
    [](const ::testing::TestParamInfo<close_case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qx_test

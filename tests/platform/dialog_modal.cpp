// Modal and modeless dialogs: the owner disabled meanwhile, the nested loop still
// dispatching posted messages, a dialog opened at a worker's request or from a worker
// thread, headless answers, dialogs nobody answers, and the picture of a dialog.
#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "tests/platform/dialog_fixture.h"
#include "tests/support/test_env.h"

using namespace plat;
using namespace ui_test;

namespace {

class DialogModal : public DialogTest {};

// What the sample dialog's procedure read from its items when OK was pressed.
struct Readout {
  std::string ratio;
  unsigned gray = 0;
  unsigned landscape = 0;
  bool translated = false;
  unsigned ratio_value = 0;
};

Readout& readout() {
  static Readout r;
  return r;
}

void read_on_ok() {
  readout() = Readout{};
  probe().hook = [](Wnd dlg, uint32_t m, WParam wp, LParam) -> intptr_t {
    if (m == WM_COMMAND && loword(wp) == IDOK) {
      readout().ratio = dlg_item_text(dlg, 1096);
      readout().ratio_value = get_dlg_item_int(dlg, 1096, &readout().translated, false);
      readout().gray = is_dlg_button_checked(dlg, 1094);
      readout().landscape = is_dlg_button_checked(dlg, 1113);
    }
    return 0;
  };
}

TEST_F(DialogModal, ATestFillsTheItemsAndPressesOk) {
  read_on_ok();
  bool owner_disabled = false, dialog_active = false;
  tm_test::answer_next_dialog([&](Wnd dlg) {
    owner_disabled = !is_window_enabled(parent_);
    dialog_active = get_active_window() == dlg && is_child(dlg, get_focus());
    tm_test::type_into(dlg, 1096, "250");
    tm_test::click_control(dlg, 1094);
    tm_test::click_control(dlg, 1113);
    tm_test::click_control(dlg, IDOK);
  });
  EXPECT_EQ(dialog_box_indirect(sample_template(), parent_, probe_proc), IDOK);
  EXPECT_TRUE(owner_disabled);
  EXPECT_TRUE(dialog_active);
  EXPECT_EQ(readout().ratio, "250");
  EXPECT_TRUE(readout().translated);
  EXPECT_EQ(readout().ratio_value, 250u);
  EXPECT_EQ(readout().gray, BST_CHECKED);
  EXPECT_EQ(readout().landscape, BST_CHECKED);
  EXPECT_TRUE(is_window_enabled(parent_));
  EXPECT_EQ(get_active_window(), parent_) << "the owner takes the activation back";
  EXPECT_EQ(find_window("#32770", nullptr), nullptr) << "the dialog is gone";
}

TEST_F(DialogModal, KeysAnswerAModalDialog) {
  struct Case {
    const char* what;
    std::function<void(Wnd)> act;
    intptr_t result;
  };
  const Case cases[] = {
      {"Enter", [](Wnd) { tm_test::press_enter(); }, IDOK},
      {"Escape", [](Wnd) { tm_test::press_escape(); }, IDCANCEL},
      {"Tab to Cancel, Space", [](Wnd) {
         for (int i = 0; i < 6; ++i) tm_test::press_tab();
         tm_test::press_key(VK_SPACE);
       }, IDCANCEL},
      {"close box", [](Wnd dlg) { post_message(dlg, WM_CLOSE, 0, 0); }, IDCANCEL},
      {"ended by code", [](Wnd dlg) { end_dialog(dlg, 1234); }, 1234},
  };
  for (const Case& c : cases) {
    tm_test::answer_next_dialog(c.act);
    EXPECT_EQ(dialog_box_indirect(sample_template(), parent_, probe_proc), c.result) << c.what;
  }
}

TEST_F(DialogModal, ADialogNobodyAnswersIsCancelled) {
  // Its procedure takes Cancel: the dialog ends with it.
  EXPECT_EQ(dialog_box_indirect(sample_template(), parent_, probe_proc), IDCANCEL);
  // A procedure that ends nothing: the loop gives up with IDCANCEL all the same.
  probe().hook = [](Wnd, uint32_t m, WParam, LParam) -> intptr_t { return m == WM_COMMAND ? 1 : 0; };
  EXPECT_EQ(dialog_box_indirect(sample_template(), parent_, probe_proc), IDCANCEL);
  EXPECT_TRUE(is_window_enabled(parent_));
  EXPECT_EQ(find_window("#32770", nullptr), nullptr);
}

TEST_F(DialogModal, ADialogMayEndWhileItStarts) {
  bool shown = false;
  probe().hook = [&](Wnd dlg, uint32_t m, WParam wp, LParam) -> intptr_t {
    if (m == WM_INITDIALOG) end_dialog(dlg, 77);
    if (m == WM_SHOWWINDOW && wp) shown = true;
    return 0;
  };
  EXPECT_EQ(dialog_box_indirect(sample_template(), parent_, probe_proc), 77);
  EXPECT_FALSE(shown);
  EXPECT_TRUE(is_window_enabled(parent_));
  EXPECT_EQ(find_window("#32770", nullptr), nullptr);
}

TEST_F(DialogModal, AWorkersRequestOpensTheDialogOnTheUiThreadWhilePostedCommandsRunOn) {
  const auto ui = std::this_thread::get_id();
  std::vector<std::string> events;
  Wnd open_dlg = nullptr;
  intptr_t result = 0;
  probe().hook = [&](Wnd dlg, uint32_t m, WParam, LParam) -> intptr_t {
    if (m == WM_INITDIALOG) {
      open_dlg = dlg;
      events.push_back(std::this_thread::get_id() == ui ? "init on ui" : "init elsewhere");
    }
    return 0;
  };
  handlers()[parent_] = [&](Wnd self, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_USER + 1) {
      result = dialog_box_indirect(sample_template(), self, probe_proc);
      events.push_back("dialog ended");
      open_dlg = nullptr;
    }
    if (m == WM_USER + 2 || m == WM_USER + 3) {
      const bool inside = open_dlg && is_window(open_dlg) && !is_window_enabled(self);
      events.push_back(std::string(m == WM_USER + 2 ? "command" : "late command") + (inside ? " inside" : " outside"));
    }
    return false;
  };
  // The worker asks for the dialog and posts a command of its own behind the request.
  std::thread worker([&] {
    post_message(parent_, WM_USER + 1, 0, 0);
    post_message(parent_, WM_USER + 2, 0, 0);
  });
  worker.join();
  // Once the dialog is idle, a command is posted and then the user presses OK: the
  // command, queued first, is handled before the dialog ends.
  tm_test::answer_next_dialog([&](Wnd dlg) {
    post_message(parent_, WM_USER + 3, 0, 0);
    tm_test::click_control(dlg, IDOK);
  });
  tm_test::run_until_idle();
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(events, (std::vector<std::string>{"init on ui", "command inside", "late command inside", "dialog ended"}));
}

TEST_F(DialogModal, ADialogCalledFromAWorkerThreadRunsOnTheUiThread) {
  const auto ui = std::this_thread::get_id();
  std::atomic<bool> on_ui{false}, done{false};
  std::atomic<intptr_t> result{0};
  tm_test::answer_next_dialog([](Wnd dlg) {
    tm_test::type_into(dlg, 1096, "5");
    tm_test::press_enter();
  });
  read_on_ok();
  auto keep = probe().hook;
  probe().hook = [&, keep](Wnd d, uint32_t m, WParam wp, LParam lp) -> intptr_t {
    if (m == WM_INITDIALOG) on_ui = std::this_thread::get_id() == ui;
    return keep(d, m, wp, lp);
  };
  std::thread worker([&] {
    result = dialog_box_indirect(sample_template(), parent_, probe_proc);
    done = true;
  });
  EXPECT_TRUE(wait_servicing_sends([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(result.load(), IDOK);
  EXPECT_TRUE(on_ui.load());
  EXPECT_EQ(readout().ratio, "5");
}

TEST_F(DialogModal, NestedDialogsAreAnsweredInTurn) {
  std::vector<intptr_t> inner;
  probe().hook = [&](Wnd dlg, uint32_t m, WParam wp, LParam) -> intptr_t {
    if (m == WM_COMMAND && loword(wp) == 1000 && inner.empty()) {
      inner.push_back(dialog_box_indirect(sample_template(), dlg, probe_proc));
      return 1;
    }
    return 0;
  };
  tm_test::answer_next_dialog([](Wnd dlg) { tm_test::click_control(dlg, 1000); });  // opens the inner one
  tm_test::answer_next_dialog([](Wnd) { tm_test::press_escape(); });                // the inner one
  tm_test::answer_next_dialog([](Wnd) { tm_test::press_enter(); });                 // the outer one again
  EXPECT_EQ(dialog_box_indirect(sample_template(), parent_, probe_proc), IDOK);
  EXPECT_EQ(inner, std::vector<intptr_t>{IDCANCEL});
  EXPECT_TRUE(is_window_enabled(parent_));
}

TEST_F(DialogModal, AModelessDialogLeavesItsOwnerEnabledAndHidesWhenEnded) {
  Wnd dlg = create_dialog_indirect(sample_template(), parent_, probe_proc);
  ASSERT_NE(dlg, nullptr);
  tm_test::run_until_idle();
  EXPECT_TRUE(is_window_enabled(parent_));
  EXPECT_TRUE(is_window_visible(dlg));
  EXPECT_TRUE(end_dialog(dlg, IDOK));
  EXPECT_FALSE(is_window_visible(dlg));
  EXPECT_TRUE(is_window(dlg)) << "the caller destroys a modeless dialog";
  EXPECT_FALSE(end_dialog(parent_, IDOK)) << "not a dialog";
}

// Reads the width and height from a PNG file's header; false when it is not a PNG.
bool png_size(const std::string& path, int* w, int* h) {
  std::ifstream f(path, std::ios::binary);
  unsigned char b[24] = {};
  if (!f.read(reinterpret_cast<char*>(b), 24)) return false;
  static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (!std::equal(sig, sig + 8, b) || std::string(reinterpret_cast<char*>(b + 12), 4) != "IHDR") return false;
  *w = (b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19];
  *h = (b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23];
  return true;
}

TEST_F(DialogModal, APictureOfTheSampleDialogShowsItsItems) {
  const std::string path = tm_test::fresh_dir("pictures") + "sample_dialog.png";
  Rect window;
  std::vector<int> labels_without_text;
  tm_test::answer_next_dialog([&](Wnd dlg) {
    check_dlg_button(dlg, 1094, BST_CHECKED);
    check_radio_button(dlg, 1111, 1113, 1112);
    tm_test::run_until_idle();
    get_window_rect(dlg, &window);
    EXPECT_TRUE(tm_test::dialog_picture(dlg, path));
    // Text is drawn in every labelled item.
    for (int id : {1097, 1096, 1094, 1110, 1111, 1112, 1113, 1004, 1005, 1000, IDOK, IDCANCEL}) {
      Wnd w = get_dlg_item(dlg, id);
      Rect r;
      get_client_rect(w, &r);
      if (!any_pixel(w, r, inky)) labels_without_text.push_back(id);
    }
    tm_test::press_escape();
  });
  dialog_box_indirect(sample_template(), parent_, probe_proc);
  EXPECT_TRUE(labels_without_text.empty()) << labels_without_text.size() << " items without text, first "
                                           << (labels_without_text.empty() ? 0 : labels_without_text[0]);
  int w = 0, h = 0;
  ASSERT_TRUE(png_size(path, &w, &h));
  EXPECT_EQ(w, window.width());
  EXPECT_EQ(h, window.height());
}

}  // namespace

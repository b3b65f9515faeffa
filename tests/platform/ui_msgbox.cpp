// Message boxes: answered by the harness, their default answers, the keys that answer
// them, their owner disabled while they are up, posted messages still handled inside
// them, and boxes opened from a worker thread.
#include <atomic>
#include <thread>

#include "tests/platform/ui_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class UiMsgBox : public UiTest {};

TEST_F(UiMsgBox, TheHarnessAnswersAndRecordsTheBox) {
  struct Case {
    unsigned flags;
    int answer;
    int result;
  };
  const Case cases[] = {
      {MB_OK, IDOK, IDOK},
      {MB_YESNO | MB_ICONQUESTION, IDNO, IDNO},
      {MB_YESNOCANCEL, IDCANCEL, IDCANCEL},
      {MB_OKCANCEL | MB_ICONWARNING, IDCANCEL, IDCANCEL},
      {MB_YESNO, IDOK, IDYES},  // not a button of the box: its default answers
  };
  Wnd owner = top("Owner");
  for (const Case& c : cases) {
    tm_test::clear_message_boxes();
    tm_test::answer_next_message_box(c.answer);
    EXPECT_EQ(message_box(owner, "Le fichier existe déjà.\nVoulez-vous le remplacer ?", "Remplacement", c.flags),
              c.result);
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    EXPECT_EQ(tm_test::message_boxes()[0].text, "Le fichier existe déjà.\nVoulez-vous le remplacer ?");
    EXPECT_EQ(tm_test::message_boxes()[0].caption, "Remplacement");
    EXPECT_EQ(tm_test::message_boxes()[0].flags, c.flags);
    EXPECT_EQ(find_window("MessageBox", nullptr), nullptr) << "the box is gone";
  }
}

TEST_F(UiMsgBox, AnUnansweredBoxTakesItsDefaultButton) {
  struct Case {
    unsigned flags;
    int result;
  };
  for (Case c : {Case{MB_OK, IDOK}, Case{MB_YESNO, IDYES}, Case{MB_YESNO | MB_DEFBUTTON2, IDNO},
                 Case{MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL}, Case{MB_RETRYCANCEL, IDRETRY}}) {
    EXPECT_EQ(message_box(nullptr, "text", nullptr, c.flags), c.result) << c.flags;
  }
  EXPECT_EQ(tm_test::message_boxes().back().caption, "Error") << "the caption of a box without one";
}

TEST_F(UiMsgBox, KeysAnswerTheBox) {
  struct Case {
    unsigned flags;
    int vk;
    int result;
  };
  const Case cases[] = {
      {MB_YESNOCANCEL, 'Y', IDYES},   {MB_YESNOCANCEL, 'N', IDNO},      {MB_YESNOCANCEL, VK_ESCAPE, IDCANCEL},
      {MB_YESNOCANCEL, VK_RETURN, IDYES}, {MB_OK, VK_ESCAPE, IDOK},     {MB_OKCANCEL | MB_DEFBUTTON2, VK_RETURN, IDCANCEL},
  };
  for (const Case& c : cases) {
    bool pressed = false;
    tm_test::set_modal_answerer([&](Wnd box) {
      if (pressed) return false;
      pressed = true;
      EXPECT_EQ(get_focus(), box);
      tm_test::press_key(c.vk);
      return true;
    });
    EXPECT_EQ(message_box(nullptr, "question", "caption", c.flags), c.result) << c.vk;
  }
  tm_test::set_modal_answerer(nullptr);
}

TEST_F(UiMsgBox, ClosingABoxWithoutCancelDoesNothing) {
  // Yes/No has no Cancel: a close request is ignored and the default answers in the end.
  bool closed = false;
  tm_test::set_modal_answerer([&](Wnd box) {
    if (closed) return false;
    closed = true;
    post_message(box, WM_CLOSE, 0, 0);
    return true;
  });
  EXPECT_EQ(message_box(nullptr, "q", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
  tm_test::set_modal_answerer(nullptr);
}

TEST_F(UiMsgBox, TheOwnerIsDisabledMeanwhileAndPostedMessagesAreStillHandled) {
  Wnd owner = top("Owner");
  bool owner_enabled_inside = true;
  int answer = 0;
  handlers()[owner] = [&](Wnd self, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_USER + 1) answer = message_box(self, "Continue?", "Question", MB_YESNO);
    if (m == WM_USER + 2) owner_enabled_inside = is_window_enabled(self);
    return false;
  };
  tm_test::run_until_idle();
  message_log().clear();
  tm_test::answer_next_message_box(IDNO);
  post_message(owner, WM_USER + 1, 0, 0);
  post_message(owner, WM_USER + 2, 0, 0);  // queued before the answer: handled inside the box
  tm_test::run_until_idle();
  EXPECT_EQ(answer, IDNO);
  EXPECT_FALSE(owner_enabled_inside);
  EXPECT_TRUE(is_window_enabled(owner));
  EXPECT_EQ(get_active_window(), owner) << "the owner takes the activation back";
  std::vector<uint32_t> order;
  for (const Logged& l : message_log())
    if (l.msg == WM_USER + 1 || l.msg == WM_USER + 2 || l.msg == WM_ENABLE) order.push_back(l.msg);
  EXPECT_EQ(order, (std::vector<uint32_t>{WM_USER + 1, WM_ENABLE, WM_USER + 2, WM_ENABLE}));
}

TEST_F(UiMsgBox, ClicksOnAnOwnerDisabledByABoxGoNowhere) {
  Wnd owner = top("Owner", WS_POPUP | WS_VISIBLE, Rect{0, 0, 400, 300});
  bool once = false;
  tm_test::set_modal_answerer([&](Wnd) {
    if (once) return false;
    once = true;
    tm_test::click(owner, 5, 5);
    return true;
  });
  tm_test::run_until_idle();
  message_log().clear();
  message_box(owner, "x", "y", MB_OK);
  EXPECT_TRUE(messages_of(owner, {WM_LBUTTONDOWN, WM_LBUTTONUP}).empty());
  tm_test::set_modal_answerer(nullptr);
}

TEST_F(UiMsgBox, ABoxFromAWorkerRunsOnTheUiThread) {
  Wnd owner = top("Owner");
  tm_test::run_until_idle();
  tm_test::answer_next_message_box(IDYES);
  std::atomic<int> answer{0};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    answer = message_box(owner, "From a task", "Task", MB_YESNO);
    done = true;
  });
  EXPECT_TRUE(wait_servicing_sends([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(answer.load(), IDYES);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, "From a task");
}

TEST_F(UiMsgBox, AnotherThreadAnswersAnOpenBoxThroughTheUiThread) {
  Wnd owner = top("Owner");
  tm_test::run_until_idle();
  std::atomic<bool> answered{false}, done{false};
  bool asked = false;
  tm_test::set_modal_answerer([&](Wnd box) {
    if (asked) return false;
    asked = true;
    std::thread helper([&, box] {
      answered = message_box_answer(box, IDNO);
      done = true;
    });
    wait_servicing_sends([&] { return done.load(); });
    helper.join();
    return true;
  });
  EXPECT_EQ(message_box(owner, "Replace?", "Question", MB_YESNO), IDNO);
  EXPECT_TRUE(answered.load());
  tm_test::set_modal_answerer(nullptr);
}

}  // namespace

// The message queue: order of sent and posted messages, sends from worker threads
// (also while the user-interface thread waits on that worker), peeking with ranges,
// blocking retrieval, quitting, and nested modal loops.
#include <atomic>
#include <thread>

#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "tests/platform/ui_fixture.h"
#include "tests/support/wait.h"

using namespace plat;
using namespace ui_test;

namespace {

class UiQueue : public UiTest {};

// One step of a script run on the user-interface thread.
struct Op {
  enum Kind { post, send } kind;
  uint32_t msg;
};

TEST_F(UiQueue, SentMessagesRunAtOnceAndPostedOnesInOrder) {
  struct Case {
    std::vector<Op> script;
    std::vector<uint32_t> order;
  };
  const uint32_t U = WM_USER;
  const Case cases[] = {
      {{{Op::post, U + 1}, {Op::post, U + 2}, {Op::post, U + 3}}, {U + 1, U + 2, U + 3}},
      {{{Op::post, U + 1}, {Op::post, U + 2}, {Op::send, U + 3}}, {U + 3, U + 1, U + 2}},
      {{{Op::post, U + 1}, {Op::send, U + 2}, {Op::post, U + 3}, {Op::send, U + 4}}, {U + 2, U + 4, U + 1, U + 3}},
  };
  for (const Case& c : cases) {
    Wnd w = top();
    tm_test::run_until_idle();
    message_log().clear();
    for (const Op& op : c.script) {
      if (op.kind == Op::post) {
        EXPECT_TRUE(post_message(w, op.msg, 0, 0));
      } else {
        send_message(w, op.msg, 0, 0);
      }
    }
    tm_test::run_until_idle();
    std::vector<uint32_t> got;
    for (uint32_t m : messages_of(w))
      if (m >= WM_USER) got.push_back(m);
    EXPECT_EQ(got, c.order);
    destroy_window(w);
  }
}

TEST_F(UiQueue, SendInsideAHandlerRunsBeforeTheNextPostedMessage) {
  Wnd w = top();
  handlers()[w] = [](Wnd w, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_USER + 1) send_message(w, WM_USER + 9, 0, 0);
    return false;
  };
  tm_test::run_until_idle();
  message_log().clear();
  post_message(w, WM_USER + 1, 0, 0);
  post_message(w, WM_USER + 2, 0, 0);
  tm_test::run_until_idle();
  EXPECT_EQ(messages_of(w, {WM_USER + 1, WM_USER + 2, WM_USER + 9}),
            (std::vector<uint32_t>{WM_USER + 1, WM_USER + 9, WM_USER + 2}));
}

TEST_F(UiQueue, WorkerSendIsDeliveredWhileTheUiThreadWaitsOnThatWorker) {
  Wnd w = top();
  handlers()[w] = [](Wnd, uint32_t m, WParam wp, LParam, LResult* r) {
    if (m != WM_USER + 7) return false;
    *r = LResult(wp * 2);
    return true;
  };
  tm_test::run_until_idle();
  post_message(w, WM_USER + 1, 0, 0);  // stays queued: the wait delivers only sends
  std::atomic<bool> done{false};
  std::atomic<LResult> answer{0};
  std::thread worker([&] {
    answer = send_message(w, WM_USER + 7, 21, 0);
    done = true;
  });
  EXPECT_TRUE(wait_servicing_sends([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(answer.load(), 42);
  EXPECT_EQ(messages_of(w, {WM_USER + 1, WM_USER + 7}), (std::vector<uint32_t>{WM_USER + 7}));
  tm_test::run_until_idle();
  EXPECT_EQ(messages_of(w, {WM_USER + 1, WM_USER + 7}), (std::vector<uint32_t>{WM_USER + 7, WM_USER + 1}));
}

TEST_F(UiQueue, CallsThatRunProceduresFromAWorkerAreHandedToTheUiThread) {
  Wnd w = top();
  tm_test::run_until_idle();
  std::atomic<bool> done{false};
  std::thread::id proc_thread;
  handlers()[w] = [&](Wnd, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_SETTEXT) proc_thread = std::this_thread::get_id();
    return false;
  };
  std::thread worker([&] {
    set_window_text(w, "from a worker");
    done = true;
  });
  EXPECT_TRUE(wait_servicing_sends([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(proc_thread, std::this_thread::get_id());
  EXPECT_EQ(window_text(w), "from a worker");
}

TEST_F(UiQueue, APeekOnAnotherThreadLeavesHandedOverCallsToTheUiThread) {
  Wnd w = top();
  tm_test::run_until_idle();
  std::thread::id proc_thread;
  handlers()[w] = [&](Wnd, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_USER + 4) proc_thread = std::this_thread::get_id();
    return false;
  };
  std::atomic<bool> done{false};
  std::thread sender([&] {
    send_message(w, WM_USER + 4, 0, 0);
    done = true;
  });
  ASSERT_TRUE(tm_test::wait_for([] { return queue_has_work(); }));
  std::thread peeker([] {
    Msg m;
    peek_message(&m, nullptr, 0, 0, PM_NOREMOVE);
  });
  peeker.join();
  EXPECT_FALSE(done.load()) << "the call ran on the peeking thread";
  EXPECT_TRUE(wait_servicing_sends([&] { return done.load(); }));
  sender.join();
  EXPECT_EQ(proc_thread, std::this_thread::get_id());
}

TEST_F(UiQueue, PostsFromAWorkerArriveInOrder) {
  Wnd w = top();
  tm_test::run_until_idle();
  message_log().clear();
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) post_message(w, WM_USER + 1, WParam(i), 0);
  });
  worker.join();
  tm_test::run_until_idle();
  std::vector<Logged> got = logged(WM_USER + 1);
  ASSERT_EQ(got.size(), 50u);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].wp, WParam(i));
}

Wnd g_target = nullptr;
void post_after_sleep(void* arg) {
  if (intptr_t(arg) > 0) plat::sleep_ms(intptr_t(arg));
  post_message(g_target, WM_USER + 6, 0, 0);
}

TEST_F(UiQueue, RunUntilIdleWaitsForWorkersButNotForSleepers) {
  g_target = top();
  tm_test::run_until_idle();
  // A worker that posts at once is waited for.
  ASSERT_TRUE(start_thread(post_after_sleep, reinterpret_cast<void*>(intptr_t(0)), thread_priority::normal));
  EXPECT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(logged(WM_USER + 6).size(), 1u);
  // One asleep on the virtual clock is not; moving the clock on wakes it.
  ASSERT_TRUE(start_thread(post_after_sleep, reinterpret_cast<void*>(intptr_t(500)), thread_priority::normal));
  ASSERT_TRUE(tm_test::wait_for([] { return virtual_sleepers() == 1; }));
  EXPECT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(logged(WM_USER + 6).size(), 1u);
  tm_test::advance_time(500);
  EXPECT_EQ(logged(WM_USER + 6).size(), 2u);
  EXPECT_TRUE(join_threads(10000));
}

TEST_F(UiQueue, GetMessageBlocksUntilAPostArrivesAndQuitEndsTheLoop) {
  Wnd w = top();
  tm_test::run_until_idle();
  std::thread worker([&] {
    post_message(w, WM_USER + 3, 0, 0);
    post_quit_message(7);
  });
  Msg m;
  ASSERT_EQ(get_message(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_USER + 3);
  EXPECT_EQ(get_message(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wparam, WParam(7));
  worker.join();
}

TEST_F(UiQueue, PeekTakesARangeOrAWindowAndCanLeaveTheMessage) {
  Wnd a = top("A");
  Wnd b = top("B");
  tm_test::run_until_idle();
  post_message(a, WM_USER + 1, 0, 0);
  post_message(b, WM_MOUSEMOVE, 0, 0);
  post_message(a, WM_USER + 2, 0, 0);
  Msg m;
  ASSERT_TRUE(peek_message(&m, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_MOUSEMOVE);
  ASSERT_TRUE(peek_message(&m, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
  EXPECT_FALSE(peek_message(&m, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
  ASSERT_TRUE(peek_message(&m, a, WM_USER + 2, WM_USER + 2, PM_REMOVE));
  EXPECT_EQ(m.wnd, a);
  EXPECT_FALSE(peek_message(&m, b, 0, 0, PM_REMOVE));
  ASSERT_TRUE(peek_message(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 1);
}

// A handler learns where the mouse was and what the clock read when its message was
// queued, however far the mouse and the clock have gone on since; a peek that leaves
// the message changes nothing.
TEST_F(UiQueue, TheMessageBeingHandledKeepsItsCursorPositionAndTime) {
  Wnd w = top("T", WS_POPUP | WS_VISIBLE, Rect{100, 50, 400, 350});
  tm_test::run_until_idle();
  struct Seen {
    Point message, cursor;
    uint32_t time;
  };
  std::vector<Seen> seen;
  handlers()[w] = [&](Wnd, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_MOUSEMOVE || m == WM_USER + 7) {
      Point cursor;
      get_cursor_pos(&cursor);
      seen.push_back(Seen{get_message_pos(), cursor, get_message_time()});
    }
    return false;
  };
  const uint32_t t0 = uint32_t(now_ms());
  tm_test::mouse_move(w, 10, 20);
  advance_virtual_ms(40);
  tm_test::mouse_move(w, 30, 60);
  advance_virtual_ms(40);
  post_message(w, WM_USER + 7, 0, 0);
  Msg m;
  ASSERT_TRUE(peek_message(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(get_message_pos(), (Point{0, 0}));
  tm_test::run_until_idle();
  const Seen want[] = {{{110, 70}, {130, 110}, t0}, {{130, 110}, {130, 110}, t0 + 40}, {{130, 110}, {130, 110}, t0 + 80}};
  ASSERT_EQ(seen.size(), std::size(want));
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].message, want[i].message);
    EXPECT_EQ(seen[i].cursor, want[i].cursor);
    EXPECT_EQ(seen[i].time, want[i].time);
  }
}

TEST_F(UiQueue, PostingToAMissingWindowFails) {
  Wnd w = top();
  destroy_window(w);
  EXPECT_FALSE(post_message(w, WM_USER, 0, 0));
  EXPECT_EQ(send_message(w, WM_USER, 0, 0), 0);
  EXPECT_FALSE(post_message(reinterpret_cast<Wnd>(uintptr_t(0x12345670)), WM_USER, 0, 0));
}

TEST_F(UiQueue, ModalLoopInsideAHandlerStillDispatchesPostedMessages) {
  Wnd frame = top("Frame");
  Wnd dialog = top("Dialog", WS_POPUP | WS_CAPTION | WS_VISIBLE);
  intptr_t modal_result = -1;
  handlers()[frame] = [&](Wnd, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_USER + 1) modal_result = run_modal_loop(dialog, -2);
    return false;
  };
  handlers()[dialog] = [](Wnd d, uint32_t m, WParam wp, LParam, LResult*) {
    if (m == WM_USER + 5) end_modal(d, intptr_t(wp));
    return false;
  };
  tm_test::run_until_idle();
  message_log().clear();
  post_message(frame, WM_USER + 1, 0, 0);  // opens the modal loop
  post_message(frame, WM_USER + 2, 0, 0);  // handled inside it
  post_message(dialog, WM_USER + 5, 33, 0);  // ends it
  post_message(frame, WM_USER + 3, 0, 0);  // handled by the outer loop afterwards
  tm_test::run_until_idle();
  EXPECT_EQ(modal_result, 33);
  std::vector<uint32_t> order;
  for (const Logged& l : message_log())
    if (l.msg > WM_USER) order.push_back(l.msg);
  EXPECT_EQ(order, (std::vector<uint32_t>{WM_USER + 1, WM_USER + 2, WM_USER + 5, WM_USER + 3}));
}

// A dialog's own keys: the loop's filter sees each message before it is translated and
// dispatched, and what it takes goes no further.
bool g_filter_saw_return = false;
bool enter_ends_dialog(Wnd modal, const Msg* m) {
  if (m->message != WM_KEYDOWN || m->wparam != WParam(VK_RETURN)) return false;
  g_filter_saw_return = true;
  end_modal(modal, 77);
  return true;
}

TEST_F(UiQueue, AModalLoopFilterTakesMessagesBeforeDispatch) {
  Wnd frame = top("Frame");
  Wnd dialog = top("Dialog", WS_POPUP | WS_CAPTION | WS_VISIBLE);
  set_focus(dialog);
  tm_test::run_until_idle();
  message_log().clear();
  g_filter_saw_return = false;
  tm_test::press_key('A');
  tm_test::press_key(VK_RETURN);
  EXPECT_EQ(run_modal_loop(dialog, -1, nullptr, enter_ends_dialog), 77);
  EXPECT_TRUE(g_filter_saw_return);
  EXPECT_EQ(messages_of(dialog, {WM_KEYDOWN, WM_CHAR}), (std::vector<uint32_t>{WM_KEYDOWN, WM_CHAR}))
      << "A arrives, Enter is taken by the filter (and types no character)";
  EXPECT_TRUE(is_window(frame));
}

TEST_F(UiQueue, QuitInsideAModalLoopEndsItAndReachesTheOuterLoop) {
  Wnd dialog = top("Dialog", WS_POPUP | WS_VISIBLE);
  tm_test::run_until_idle();
  post_quit_message(3);
  EXPECT_EQ(run_modal_loop(dialog, -9), -9);
  EXPECT_FALSE(tm_test::run_until_idle());
  int code = 0;
  EXPECT_TRUE(tm_test::quit_received(&code));
  EXPECT_EQ(code, 3);
}

TEST_F(UiQueue, IdleHeadlessModalLoopEndsInsteadOfHanging) {
  // A window that ignores WM_CLOSE: the loop gives its default once, then ends.
  Wnd dialog = top("Stubborn", WS_POPUP | WS_VISIBLE);
  handlers()[dialog] = [](Wnd, uint32_t m, WParam, LParam, LResult*) { return m == WM_CLOSE; };
  EXPECT_EQ(run_modal_loop(dialog, -4), -4);
  EXPECT_TRUE(is_window(dialog));
  // The default answer closes a window that takes WM_CLOSE normally.
  Wnd plain = top("Plain", WS_POPUP | WS_VISIBLE);
  EXPECT_EQ(run_modal_loop(plain, -5), -5);
  EXPECT_FALSE(is_window(plain));
}

}  // namespace

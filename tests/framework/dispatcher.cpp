// The command dispatcher driven through a frame-like window: queue order (one slot's
// texts back to back, a pending redraw last), the end of a task and the background
// slot 2, slot 0, slot 7's delayed end, delayed posts, posts made before the window
// exists, the stop request and the slots the dispatcher runs itself.
#include "tests/framework/dispatcher_fixture.h"

#include <string>
#include <vector>

#include "core/memory.h"
#include "platform/ui/queue.h"

using namespace dispatch_test;
using Strings = std::vector<std::string>;

namespace {
class Dispatcher : public DispatcherFixture {};
}  // namespace

TEST_F(Dispatcher, TextsOfOneSlotRunBackToBackAndARedrawPostedMeanwhileRunsLast) {
  open_frame();
  R().hold_redraw.store(true);
  post_redraw();
  ASSERT_TRUE(tm_test::run_until_idle());
  ASSERT_EQ(task_running_slot(), 4);

  // Posted while the redraw runs, all before any of them arrives.
  EXPECT_EQ(post_command(14, 0, "1/data/a.gpx"), 1);
  EXPECT_EQ(post_command_simple(3), 1);
  EXPECT_EQ(post_command(14, 0, "0/data/b.gpx"), 1);
  EXPECT_EQ(post_command(14, 0, "1/data/c.gpx"), 1);
  post_redraw();
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(task_queue_length(14), 3);
  EXPECT_GE(task_slot_state(14), 3);
  EXPECT_GE(task_slot_state(3), 3);
  EXPECT_GT(task_slot_state(4), task_slot_state(3)) << "a pending redraw stays last";
  EXPECT_EQ(task_pick_next(), 14);

  release_redraw();
  EXPECT_EQ(runs(), (Strings{"redraw", "task 14:1/data/a.gpx", "task 14:0/data/b.gpx",
                             "task 14:1/data/c.gpx", "3", "redraw", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, ASlotPostedAgainWhileQueuedGoesToTheBack) {
  open_frame();
  R().hold_redraw.store(true);
  post_redraw();
  ASSERT_TRUE(tm_test::run_until_idle());
  for (int slot : {3, 10, 3}) {
    post_command_simple(slot);
    ASSERT_TRUE(tm_test::run_until_idle());
  }
  EXPECT_LT(task_slot_state(10), task_slot_state(3));
  release_redraw();
  EXPECT_EQ(runs(), (Strings{"redraw", "10", "3", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, QueuedPlacesFollowTheRequeueRule) {
  // No window: the states alone, as the rule writes them.
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> requeues;  // (slot, mode) in order
    std::vector<std::pair<int, int>> states;    // (slot, expected state)
  } cases[] = {
      {"first queued takes 5", {{3, 3}}, {{3, 5}}},
      {"next goes behind", {{3, 3}, {9, 3}}, {{3, 5}, {9, 6}}},
      {"queued again moves to the front", {{3, 3}, {9, 3}, {9, 3}}, {{3, 5}, {9, 3}}},
      {"redraw behind a later slot", {{4, 3}, {9, 3}}, {{9, 7}, {4, 8}}},
      {"redraw requeued stays last", {{9, 3}, {4, 3}, {4, 3}}, {{9, 5}, {4, 8}}},
      {"started without texts goes idle", {{3, 3}, {4, 3}, {3, 0}}, {{3, 0}, {4, 8}}},
  };
  for (const Case& c : cases) {
    task_slots_init();
    for (auto [slot, mode] : c.requeues) task_requeue(slot, mode);
    for (auto [slot, state] : c.states) EXPECT_EQ(task_slot_state(slot), state) << c.name;
  }
}

TEST_F(Dispatcher, PickNextTakesTheSmallestPlaceAndTheHighestSlotOnATie) {
  // Start-up empties every queue and releases the texts it still held.
  char* left_over = nullptr;
  str_set("left over", &left_over);
  task_queue_push(5, left_over);
  task_requeue(5, 3);
  task_slots_init();
  EXPECT_EQ(task_queue_length(5), 0);
  EXPECT_EQ(task_pick_next(), 0);
  task_requeue(6, 3);   // 5
  task_requeue(20, 3);  // 6
  EXPECT_EQ(task_pick_next(), 6);
  task_requeue(20, 3);  // front: 3
  EXPECT_EQ(task_pick_next(), 20);
  task_requeue(6, 3);  // also 3: the higher slot wins
  EXPECT_EQ(task_pick_next(), 20);
}

TEST_F(Dispatcher, EndOfTaskStartsSlot2OnlyWhenNothingIsQueued) {
  open_frame();
  // A command that runs on the user-interface thread, nothing else waiting.
  post_command(3, 0, "x");
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), (Strings{"3:x", "overviews", "ecw"}));
  expect_at_rest();

  // A slot queued behind a task: it runs first, the background task only after it.
  R().events.clear();
  R().hold_redraw.store(true);
  post_redraw();
  ASSERT_TRUE(tm_test::run_until_idle());
  post_command_simple(11);
  ASSERT_TRUE(tm_test::run_until_idle());
  release_redraw();
  EXPECT_EQ(runs(), (Strings{"redraw", "11", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, Slot2PostedWhileATaskRunsIsDropped) {
  open_frame();
  R().hold_redraw.store(true);
  post_redraw();
  ASSERT_TRUE(tm_test::run_until_idle());
  post_command_simple(2);
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(task_slot_state(2), 0);
  EXPECT_EQ(task_pick_next(), 0);
  release_redraw();
  EXPECT_EQ(runs(), (Strings{"redraw", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, Slot2StartsAQueuedSlotInsteadOfTheOverviews) {
  open_frame();
  task_requeue(11, 3);  // a slot waiting while the dispatcher is idle
  task_dispatch(2, nullptr);
  EXPECT_EQ(task_running_slot(), 0);
  EXPECT_EQ(runs(), Strings{});
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), (Strings{"11", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, OverviewTaskPostsTheEndOfTaskAsItsLastAction) {
  open_frame();
  post_command_simple(3);
  ASSERT_TRUE(tm_test::run_until_idle());
  // The frame sees 3, its end, slot 2, and slot 2's end only after every step of it.
  std::vector<int> arrivals;
  {
    std::lock_guard<std::mutex> guard(R().lock);
    for (int s : R().arrivals)
      if (s != 0) arrivals.push_back(s);  // wake-ups of the busy cursor aside
  }
  EXPECT_EQ(arrivals, (std::vector<int>{3, 1, 2, 1}));
  EXPECT_EQ(runs(), (Strings{"3", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, Slot0OnlyRefreshesTheCursorAndNeverEndsATask) {
  open_frame();
  EXPECT_EQ(post_command_simple(0), 1);
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), Strings{});
  EXPECT_EQ(task_slot_state(1), 0);
  expect_at_rest();
}

TEST_F(Dispatcher, Slot7EndsAfter300msEveryTime) {
  open_frame();
  post_command_simple(3);  // a task ends first: slot 1 has been used
  ASSERT_TRUE(tm_test::run_until_idle());
  for (int round = 0; round < 2; ++round) {
    R().events.clear();
    post_command_simple(7);
    ASSERT_TRUE(tm_test::run_until_idle());
    EXPECT_EQ(task_running_slot(), 1) << round;
    EXPECT_EQ(task_slot_state(1), 2) << round;
    post_command_simple(11);  // waits behind slot 7
    ASSERT_TRUE(tm_test::run_until_idle());
    EXPECT_EQ(runs(), Strings{}) << round;
    tm_test::advance_time(299);
    EXPECT_EQ(task_running_slot(), 1) << round;
    tm_test::advance_time(1);
    EXPECT_EQ(runs(), (Strings{"11", "overviews", "ecw"})) << round;
    expect_at_rest();
  }
}

TEST_F(Dispatcher, DelayedPostsWithoutTextOfABusySlotAreDroppedWithTextAlwaysSent) {
  open_frame();
  struct Case {
    const char* first;   // text of the first delayed post (null: none)
    const char* second;  // text of the second, made while the first is on its way
    int second_result;
    Strings ran;
  } cases[] = {
      {nullptr, nullptr, 0, {"11"}},
      {"x", nullptr, 0, {"11:x"}},
      {nullptr, "y", 1, {"11", "11:y"}},
      {"x", "y", 1, {"11:x", "11:y"}},
  };
  for (const Case& c : cases) {
    const std::string name = std::string(c.first ? c.first : "-") + (c.second ? c.second : "-");
    R().events.clear();
    EXPECT_EQ(post_command(11, 50, c.first), 1) << name;
    EXPECT_EQ(task_slot_state(11), 2) << name;
    EXPECT_EQ(post_command(11, 60, c.second), c.second_result) << name;
    ASSERT_TRUE(tm_test::run_until_idle());
    EXPECT_EQ(runs(), Strings{}) << name << ": nothing before the delay";
    tm_test::advance_time(55);
    tm_test::advance_time(10);
    // Each run is a task of its own, followed by the background task.
    EXPECT_EQ(runs(), [&] {
      Strings all;
      for (const std::string& r : c.ran) all.insert(all.end(), {r, "overviews", "ecw"});
      return all;
    }()) << name;
    expect_at_rest();
  }
}

// A negative delay is no delay: the post goes out now, and a second one is not taken
// for a repeated delayed post.
TEST_F(Dispatcher, ANegativeDelayPostsNow) {
  open_frame();
  EXPECT_EQ(post_command(11, -5, nullptr), 1);
  EXPECT_EQ(task_slot_state(11), 1);
  EXPECT_EQ(post_command(11, -5, nullptr), 1);
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), (Strings{"11", "11", "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, DelayedPostCarriesItsTextWhole) {
  open_frame();
  const std::string long_text(5000, 'p');
  const std::string text = "12345 " + long_text + " 0x" + std::to_string(uintptr_t(&long_text));
  post_command(11, 1000, text.c_str());
  tm_test::advance_time(1000);
  ASSERT_FALSE(runs().empty());
  EXPECT_EQ(runs()[0], "11:" + text);
}

TEST_F(Dispatcher, PostsBeforeTheWindowExistsKeepTheirTextInTheSlotsQueue) {
  EXPECT_EQ(post_command(14, 0, "1/maps/first.tif"), 2);
  EXPECT_EQ(post_command_simple(14), 0) << "without a text nothing is kept";
  post_load_command("/maps/second.gpx", 0);
  post_redraw();
  EXPECT_EQ(task_queue_length(14), 2);
  // No message is on its way: the slots are not left looking posted.
  EXPECT_EQ(task_slot_state(14), 0);
  EXPECT_EQ(task_slot_state(4), 0);
  EXPECT_FALSE(plat::queue_has_work());
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), Strings{});

  open_frame();
  post_command_simple(14);
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), (Strings{"task 14:1/maps/first.tif", "task 14:0/maps/second.gpx",
                             "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, PostingHelpersWriteTheirTexts) {
  open_frame();
  post_load_command("/data/one.gpx", 1);
  post_load_command("/data/two.gpx", 0);
  post_load_command("/data/three.gpx", 7);
  post_command_number(12, -42);
  post_command_number(12, int64_t(1) << 40);
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), (Strings{"task 14:1/data/one.gpx", "task 14:0/data/two.gpx",
                             "task 14:0/data/three.gpx", "task 12:-42", "task 12:1099511627776",
                             "overviews", "ecw"}));
  expect_at_rest();
}

TEST_F(Dispatcher, SlotsOutsideTheTableAreRefused) {
  open_frame();
  for (int slot : {-1, 23, 1000}) {
    EXPECT_EQ(post_command(slot, 0, "t"), 0) << slot;
    EXPECT_EQ(post_command(slot, 10, nullptr), 0) << slot;
    EXPECT_EQ(task_slot_state(slot), 0) << slot;
    EXPECT_EQ(task_queue_take(slot), nullptr) << slot;
  }
  // A message with a slot beyond the table is not ours: ignored, lParam untouched.
  static char not_ours[] = "not a heap text";
  plat::post_message(frame_, kCommandMessage, 77, reinterpret_cast<plat::LParam>(not_ours));
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(runs(), Strings{});
  expect_at_rest();
}

TEST_F(Dispatcher, StopRequestFromSlot6TextAndTheRedrawSlots) {
  open_frame();
  struct Case {
    int slot;
    const char* text;
    int stop;
    Strings ran;
  } cases[] = {
      {6, "1", 1, {"dirty", "redraw", "overviews", "ecw"}},
      {6, "10", 1, {"dirty", "redraw", "overviews", "ecw"}},
      {6, "0", 0, {"dirty", "redraw", "overviews", "ecw"}},
      {6, nullptr, 0, {"dirty", "redraw", "overviews", "ecw"}},
      {5, nullptr, 0, {"scroll", "redraw", "overviews", "ecw"}},
      {4, nullptr, 0, {"redraw", "overviews", "ecw"}},
      {8, "31 0", 0, {"print 8:31 0", "overviews", "ecw"}},
  };
  for (const Case& c : cases) {
    R().events.clear();
    set_stop_request(0);
    post_command(c.slot, 0, c.text);
    ASSERT_TRUE(tm_test::run_until_idle());
    EXPECT_EQ(runs(), c.ran) << c.slot << " " << (c.text ? c.text : "-");
    if (c.slot != 8) {
      EXPECT_EQ(R().stop_seen.load(), c.stop) << c.slot;
    }
    EXPECT_EQ(get_stop_request(), c.stop);
    expect_at_rest();
  }
}

TEST_F(Dispatcher, EveryStartSchedulesPendingRedrawsFirst) {
  open_frame();
  post_command(3, 0, "a");
  ASSERT_TRUE(tm_test::run_until_idle());
  // Slot 3, then slot 2: each start schedules first.
  EXPECT_EQ(events(), (Strings{"schedule", "3:a", "schedule", "overviews", "ecw"}));
}

TEST_F(Dispatcher, UnsetRoutinesDoNothingAndWorkerSlotsStillEnd) {
  open_frame();
  dispatcher_hooks_reset();
  for (int slot : {3, 4, 5, 6, 8, 14, 22}) {
    post_command(slot, 0, "1");
    ASSERT_TRUE(tm_test::run_until_idle());
    expect_at_rest();
  }
  EXPECT_EQ(events(), Strings{});
  set_stop_request(0);
}

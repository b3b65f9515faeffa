// The job queue of long-lived workers: last in, first out; the worker starts with the
// first job and again for a job pushed after the queue drained; producers on several
// threads lose no job and never have two workers at once; "MONOTHREAD" runs the worker
// inside the push.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "core/config.h"
#include "platform/sys/thread.h"
#include "shell/framework/dispatcher.h"
#include "tests/core/config_fixture.h"
#include "tests/support/wait.h"

namespace {

struct Served {
  std::mutex lock;
  std::vector<std::pair<intptr_t, intptr_t>> jobs;
  std::vector<std::thread::id> threads;
  std::atomic<int> workers{0};  // workers started
  std::atomic<int> inside{0};   // workers running now
  std::atomic<int> most_inside{0};
  std::atomic<int> done{0};
};

Served& S() {
  static Served served;
  return served;
}

void reset_served() {
  std::lock_guard<std::mutex> guard(S().lock);
  S().jobs.clear();
  S().threads.clear();
  S().workers = 0;
  S().inside = 0;
  S().most_inside = 0;
  S().done = 0;
}

// Pops until the queue is empty, then returns, as the queue's contract asks.
void worker(void* arg) {
  auto* queue = static_cast<job_queue*>(arg);
  S().workers.fetch_add(1);
  const int now = S().inside.fetch_add(1) + 1;
  int most = S().most_inside.load();
  while (now > most && !S().most_inside.compare_exchange_weak(most, now)) {
  }
  {
    std::lock_guard<std::mutex> guard(S().lock);
    S().threads.push_back(std::this_thread::get_id());
  }
  intptr_t a = 0, b = 0;
  while (job_queue_pop(queue, &a, &b)) {
    {
      std::lock_guard<std::mutex> guard(S().lock);
      S().jobs.emplace_back(a, b);
    }
    S().done.fetch_add(1);
  }
  S().inside.fetch_sub(1);
}

// The same, but the routine lingers after its last pop (it might be releasing what it
// used) until the test lets it go.
std::atomic<bool> g_hold_tail{false};
std::atomic<bool> g_in_tail{false};

void lingering_worker(void* arg) {
  worker(arg);
  S().inside.fetch_add(1);  // still running: its tail counts as inside
  g_in_tail.store(true);
  while (g_hold_tail.load()) std::this_thread::yield();
  g_in_tail.store(false);
  S().inside.fetch_sub(1);
}

class JobQueue : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    reset_served();
  }
  void TearDown() override {
    plat::join_threads(10000);
    job_queue_free(&queue_);
    ConfigFixture::TearDown();
  }
  job_queue* queue_ = nullptr;
};

}  // namespace

TEST_F(JobQueue, PopTakesTheMostRecentJobFirst) {
  EXPECT_EQ(job_queue_pop(nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(job_queue_count(nullptr), 0);
  // No routine: nothing is started, the jobs simply wait.
  for (intptr_t i = 1; i <= 3; ++i) EXPECT_EQ(job_queue_push(nullptr, &queue_, i, i * 10), 1);
  ASSERT_NE(queue_, nullptr);
  EXPECT_EQ(job_queue_count(queue_), 3);
  // Full 64-bit values come back whole.
  const intptr_t big = intptr_t(0x7123456789ABCDEFLL);
  job_queue_push(nullptr, &queue_, big, -big);
  intptr_t a = 0, b = 0;
  const std::vector<std::pair<intptr_t, intptr_t>> expected = {{big, -big}, {3, 30}, {2, 20}, {1, 10}};
  for (const auto& e : expected) {
    ASSERT_EQ(job_queue_pop(queue_, &a, &b), 1);
    EXPECT_EQ(std::make_pair(a, b), e);
  }
  EXPECT_EQ(job_queue_pop(queue_, &a, &b), 0);
  EXPECT_EQ(job_queue_count(queue_), 0);
}

TEST_F(JobQueue, AJobPushedAfterTheQueueDrainedStartsTheWorkerAgain) {
  EXPECT_EQ(job_queue_push(worker, &queue_, 1, 0), 1);
  ASSERT_TRUE(tm_test::wait_for([] { return S().done.load() == 1 && S().inside.load() == 0; }));
  ASSERT_TRUE(plat::join_threads(10000));
  EXPECT_EQ(job_queue_push(worker, &queue_, 2, 0), 1);
  ASSERT_TRUE(tm_test::wait_for([] { return S().done.load() == 2 && S().inside.load() == 0; }));
  EXPECT_EQ(S().workers.load(), 2);
  EXPECT_EQ(job_queue_count(queue_), 0);
  for (const auto& id : S().threads) EXPECT_NE(id, std::this_thread::get_id());
}

// A job pushed while the worker's routine is still finishing starts no second worker
// beside it, and is still served once that routine has returned.
TEST_F(JobQueue, AJobPushedWhileTheWorkerFinishesWaitsForIt) {
  g_hold_tail.store(true);
  g_in_tail.store(false);
  EXPECT_EQ(job_queue_push(lingering_worker, &queue_, 1, 0), 1);
  ASSERT_TRUE(tm_test::wait_for([] { return g_in_tail.load(); }));
  EXPECT_EQ(job_queue_push(lingering_worker, &queue_, 2, 0), 1);
  EXPECT_EQ(plat::live_threads(), 1) << "no second worker beside the finishing one";
  EXPECT_EQ(job_queue_count(queue_), 1) << "nobody may take it while the tail runs";
  g_hold_tail.store(false);
  ASSERT_TRUE(tm_test::wait_for([] { return S().done.load() == 2 && S().inside.load() == 0; }));
  ASSERT_TRUE(plat::join_threads(10000));
  EXPECT_EQ(S().most_inside.load(), 1);
  EXPECT_EQ(job_queue_count(queue_), 0);
  std::lock_guard<std::mutex> guard(S().lock);
  EXPECT_EQ(S().jobs, (std::vector<std::pair<intptr_t, intptr_t>>{{1, 0}, {2, 0}}));
}

TEST_F(JobQueue, ProducersOnManyThreadsLoseNoJobAndNeverRunTwoWorkers) {
  constexpr int kProducers = 4, kEach = 500;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p)
    producers.emplace_back([this, p] {
      for (int i = 0; i < kEach; ++i) job_queue_push(worker, &queue_, p, i);
    });
  for (auto& t : producers) t.join();
  ASSERT_TRUE(tm_test::wait_for(
      [] { return S().done.load() == kProducers * kEach && S().inside.load() == 0; }));
  EXPECT_EQ(S().most_inside.load(), 1);
  std::set<std::pair<intptr_t, intptr_t>> seen(S().jobs.begin(), S().jobs.end());
  EXPECT_EQ(seen.size(), size_t(kProducers * kEach));
  EXPECT_EQ(job_queue_count(queue_), 0);
}

TEST_F(JobQueue, MonothreadServesTheJobInsideThePush) {
  reload("MONOTHREAD\n");
  ASSERT_TRUE(config_monothread());
  for (intptr_t i = 1; i <= 3; ++i) {
    EXPECT_EQ(job_queue_push(worker, &queue_, i, 0), 1);
    EXPECT_EQ(S().done.load(), i) << "served before the push returned";
  }
  EXPECT_EQ(S().workers.load(), 3);
  for (const auto& id : S().threads) EXPECT_EQ(id, std::this_thread::get_id());
}

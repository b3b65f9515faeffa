// Relaying a fast stream of groups: the sender threads (qx_fanout) deliver every group to
// every target in order, take new targets only after what was queued, and skip a copy
// that cannot go; qx_diffuse hands a stream to them and comes back to sending itself
// for markers, rebuilds, slower groups and a single channel, always after the queued
// groups.
#include <memory>
#include <string>
#include <vector>

#include "quellix/qx_fanout.h"
#include "tests/quellix/destinations_fixture.h"

namespace qx_test {
namespace {

std::string group_text(int i) { return "$GPGGA," + std::to_string(i) + std::string(size_t(i % 5), '0') + "\r\n"; }

std::vector<std::string> groups(int from, int to) {
  std::vector<std::string> g;
  for (int i = from; i < to; ++i) g.push_back(group_text(i));
  return g;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- The sender threads on their own --------------------------------------------------

struct fanout_case {
  int senders;
  int capacity;  // small rings make the producer wait for room and the slots wrap
  int targets;
};

class Fanout : public ::testing::TestWithParam<fanout_case> {};

TEST_P(Fanout, EveryTargetGetsEveryGroupInOrder) {
  const fanout_case& c = GetParam();
  std::vector<std::unique_ptr<udp_listener>> listeners;
  std::vector<qx_fanout_target> targets;
  tm_test::loopback_socket out(false);
  for (int t = 0; t < c.targets; ++t) {
    listeners.push_back(std::make_unique<udp_listener>());
    plat::net_set_recv_buffer(listeners.back()->fd, 1 << 20);
    targets.push_back({out.fd, {tm_test::loopback_addr(), listeners.back()->port}});
  }
  qx_fanout f(c.senders, c.capacity);
  EXPECT_FALSE(f.push("x", 1));  // not started: nothing queued
  ASSERT_TRUE(f.start(targets));
  EXPECT_TRUE(f.running());
  const std::vector<std::string> want = groups(0, 300);
  for (const std::string& g : want) EXPECT_TRUE(f.push(g.data(), int(g.size())));
  f.drain();
  for (int t = 0; t < c.targets; ++t) EXPECT_EQ(listeners[size_t(t)]->take(), want) << "target " << t;
  EXPECT_EQ(f.pushed(), 300);
  EXPECT_EQ(f.dropped(), 0);
  f.stop();
  EXPECT_FALSE(f.running());
  EXPECT_FALSE(f.push("x", 1));
}

INSTANTIATE_TEST_SUITE_P(Shapes, Fanout,
                         ::testing::Values(fanout_case{1, 4, 1}, fanout_case{3, 8, 5}, fanout_case{3, 1024, 9},
                                           fanout_case{4, 2, 2}, fanout_case{3, 1, 3}),
                         [](const ::testing::TestParamInfo<fanout_case>& info) {
                           return "s" + std::to_string(info.param.senders) + "c" + std::to_string(info.param.capacity) +
                                  "t" + std::to_string(info.param.targets);
                         });

TEST(FanoutTargets, NewTargetsTakeOverAfterWhatWasQueued) {
  udp_listener a, b;
  tm_test::loopback_socket out(false);
  qx_fanout f(2, 16);
  ASSERT_TRUE(f.start({{out.fd, {tm_test::loopback_addr(), a.port}}}));
  for (const std::string& g : groups(0, 50)) f.push(g.data(), int(g.size()));
  ASSERT_TRUE(f.start({{out.fd, {tm_test::loopback_addr(), b.port}}}));
  for (const std::string& g : groups(50, 100)) f.push(g.data(), int(g.size()));
  f.drain();
  EXPECT_EQ(a.take(), groups(0, 50));
  EXPECT_EQ(b.take(), groups(50, 100));
  // Stopped and started again: the threads come back.
  f.stop();
  ASSERT_TRUE(f.start({{out.fd, {tm_test::loopback_addr(), a.port}}}));
  f.push("$AGAIN\r\n", 8);
  f.drain();
  EXPECT_EQ(a.take(), std::vector<std::string>{"$AGAIN\r\n"});
  EXPECT_TRUE(b.take().empty());
  // Nothing to send is no group.
  f.push(nullptr, 4);
  f.push("x", 0);
  EXPECT_EQ(f.pushed(), 101);
}

TEST(FanoutTargets, ACopyThatCannotGoDoesNotHoldUpTheOthers) {
  udp_listener a, c;
  tm_test::loopback_socket out(false);
  const int closed = plat::net_open(false);
  plat::net_close(closed);
  qx_fanout f(1, 8);
  // Port 0 is no destination and a closed descriptor sends nothing: every copy to them fails.
  ASSERT_TRUE(f.start({{out.fd, {tm_test::loopback_addr(), 0}},
                       {out.fd, {tm_test::loopback_addr(), a.port}},
                       {closed, {tm_test::loopback_addr(), c.port}},
                       {out.fd, {tm_test::loopback_addr(), c.port}}}));
  for (const std::string& g : groups(0, 40)) f.push(g.data(), int(g.size()));
  f.drain();
  EXPECT_EQ(a.take(), groups(0, 40));
  EXPECT_EQ(c.take(), groups(0, 40));
}

// ---- qx_diffuse and the stream -------------------------------------------------------

// Enough unforced groups to start a stream, all in the same virtual millisecond.
constexpr int kBeyondStream = 100;

class Stream : public DestinationsTest {
 protected:
  void SetUp() override {
    DestinationsTest::SetUp();
    plat::use_virtual_clock(true);  // frozen: every group is close to the one before
  }
  static void diffuse_groups(int from, int to) {
    for (int i = from; i < to; ++i) {
      const std::string g = group_text(i);
      qx_diffuse(g.data(), int(g.size()), 0);
    }
  }
};

TEST_F(Stream, GroupsAndTheMarkerAfterThemReachEveryListenerInOrder) {
  std::vector<std::unique_ptr<udp_listener>> listeners;
  for (int i = 0; i < 9; ++i) {
    listeners.push_back(std::make_unique<udp_listener>());
    add("127.0.0.1", listeners.back()->port);
  }
  qx_reset_destinations();
  for (auto& l : listeners) l->take();
  // The first groups go out before qx_diffuse returns.
  diffuse_groups(0, 10);
  EXPECT_FALSE(qx_diffuse_streaming());
  for (auto& l : listeners) EXPECT_EQ(l->take(), groups(0, 10));
  diffuse_groups(10, kBeyondStream);
  EXPECT_TRUE(qx_diffuse_streaming());
  qx_diffuse(kStop, int(sizeof kStop - 1), 1);
  EXPECT_FALSE(qx_diffuse_streaming());
  const std::vector<std::string> want = joined(groups(10, kBeyondStream), {kStop});
  for (size_t i = 0; i < listeners.size(); ++i) EXPECT_EQ(listeners[i]->take(), want) << "listener " << i;
  EXPECT_EQ(qx_diffuse_dropped(), 0);
}

TEST_F(Stream, ASlowerGroupOrAFlushEndsTheStreamAfterTheQueuedGroups) {
  udp_listener a, b;
  add("127.0.0.1", a.port);
  add("127.0.0.1", b.port);
  qx_reset_destinations();
  a.take(), b.take();
  diffuse_groups(0, kBeyondStream);
  ASSERT_TRUE(qx_diffuse_streaming());
  plat::advance_virtual_ms(21);
  diffuse_groups(kBeyondStream, kBeyondStream + 1);
  EXPECT_FALSE(qx_diffuse_streaming());
  EXPECT_EQ(a.take(), groups(0, kBeyondStream + 1));
  EXPECT_EQ(b.take(), groups(0, kBeyondStream + 1));
  // A new stream builds up again; a flush returns once it went out.
  diffuse_groups(0, kBeyondStream);
  ASSERT_TRUE(qx_diffuse_streaming());
  qx_diffuse_flush();
  EXPECT_FALSE(qx_diffuse_streaming());
  EXPECT_EQ(a.take(), groups(0, kBeyondStream));
  EXPECT_EQ(b.take(), groups(0, kBeyondStream));
  // Gaps of up to 20 ms still make a stream.
  for (int i = 0; i < kBeyondStream; ++i) {
    plat::advance_virtual_ms(20);
    diffuse_groups(i, i + 1);
  }
  EXPECT_TRUE(qx_diffuse_streaming());
}

TEST_F(Stream, ARebuildSendsTheQueuedGroupsToTheOldListFirst) {
  udp_listener a, b;
  add("127.0.0.1", a.port);
  add("127.0.0.1", b.port);
  qx_reset_destinations();
  a.take(), b.take();
  diffuse_groups(0, kBeyondStream);
  ASSERT_TRUE(qx_diffuse_streaming());
  qx_remove_destination("127.0.0.1", b.port);
  qx_reset_destinations();
  EXPECT_EQ(b.take(), joined(groups(0, kBeyondStream), {kStop}));
  EXPECT_EQ(a.take(), joined(groups(0, kBeyondStream), {kStop, kStop}));
  // The next stream goes to the new list only.
  diffuse_groups(0, kBeyondStream);
  qx_diffuse_flush();
  EXPECT_EQ(a.take(), groups(0, kBeyondStream));
  EXPECT_TRUE(b.take().empty());
}

TEST_F(Stream, OneChannelIsSentToByTheCallerAlways) {
  udp_listener a;
  add("127.0.0.1", a.port);
  // Empty and closed slots are no channels.
  add("127.0.0.1", udp_listener().port);
  {
    std::lock_guard<std::mutex> lock(qx_destinations_mutex());
    socket_t* s = nullptr;
    obj_list_get(qx_destination_list(1), 1, &s);
    socket_close(s);
    obj_list_set_count(qx_destination_list(1), 5);
  }
  qx_reset_destinations();
  a.take();
  diffuse_groups(0, kBeyondStream);
  EXPECT_FALSE(qx_diffuse_streaming());
  EXPECT_EQ(a.take(), groups(0, kBeyondStream));
}

TEST_F(Stream, FreeingTheListsEndsTheSendersAndANewStartWorks) {
  udp_listener a, b;
  add("127.0.0.1", a.port);
  add("127.0.0.1", b.port);
  qx_reset_destinations();
  diffuse_groups(0, kBeyondStream);
  ASSERT_TRUE(qx_diffuse_streaming());
  qx_free_destination_lists();
  EXPECT_FALSE(qx_diffuse_streaming());
  a.take(), b.take();
  qx_init_destination_lists();
  add("127.0.0.1", a.port);
  add("127.0.0.1", b.port);
  qx_reset_destinations();
  diffuse_groups(0, kBeyondStream);
  EXPECT_TRUE(qx_diffuse_streaming());
  qx_diffuse_flush();
  EXPECT_EQ(a.take(), joined({kStop}, groups(0, kBeyondStream)));
  EXPECT_EQ(b.take(), joined({kStop}, groups(0, kBeyondStream)));
}

}  // namespace
}  // namespace qx_test

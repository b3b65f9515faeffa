// The destination lists: slots reused from the last one, find, move, add (a known
// destination is never opened twice, an impossible one never added), remove and the
// rebuild of the sending list framed by STOP markers; qx_diffuse's rate limit on the
// virtual clock and the bytes it puts on the wire.
#include <string>
#include <vector>

#include "tests/quellix/destinations_fixture.h"

namespace qx_test {
namespace {

using Lists = DestinationsTest;

TEST_F(Lists, InsertTakesTheLastEmptySlotElseAppends) {
  std::lock_guard<std::mutex> lock(qx_destinations_mutex());
  container_t* list = nullptr;
  obj_list_new(&list);
  obj_t* a = reinterpret_cast<obj_t*>(0x10);  // never looked into
  obj_list_set_count(list, 4);
  obj_list_set(list, 0, a);
  obj_list_set(list, 2, a);
  socket_t* s = reinterpret_cast<socket_t*>(0x20);
  EXPECT_EQ(qx_insert_destination(s, list), 3);
  EXPECT_EQ(qx_insert_destination(s, list), 1);
  EXPECT_EQ(qx_insert_destination(s, list), 4);
  EXPECT_EQ(obj_list_count(list), 5);
  obj_list_clear(list);
  free_obj(&list);
}

TEST_F(Lists, FindSearchesByExactText) {
  udp_listener l;
  add("127.0.0.1", l.port);
  add("localhost", l.port);
  const std::string name = "localhost:" + std::to_string(l.port);
  std::lock_guard<std::mutex> lock(qx_destinations_mutex());
  EXPECT_EQ(qx_find_destination(qx_destination_list(1), name.c_str()), 1);
  EXPECT_EQ(qx_find_destination(qx_destination_list(1), ("127.0.0.1:" + std::to_string(l.port)).c_str()), 0);
  EXPECT_EQ(qx_find_destination(qx_destination_list(1), ("LOCALHOST:" + std::to_string(l.port)).c_str()), -1);
  EXPECT_EQ(qx_find_destination(qx_destination_list(1), "localhost"), -1);
  EXPECT_EQ(qx_find_destination(qx_destination_list(0), name.c_str()), -1);
  EXPECT_EQ(qx_find_destination(nullptr, name.c_str()), -1);
}

TEST_F(Lists, AddOpensOnceMovesBackOrChangesNothing) {
  udp_listener l;
  const std::string name = "127.0.0.1:" + std::to_string(l.port);
  int index = -2;
  std::string text = "x";
  ASSERT_EQ(qx_add_destination("127.0.0.1", l.port, &index, &text, 0), 1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(text, name);
  EXPECT_EQ(sockets(), 1);
  // Already selected: nothing.
  EXPECT_EQ(qx_add_destination("127.0.0.1", l.port, &index, &text, 0), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(text, "");
  // Not selected: moved back, the same channel.
  qx_remove_destination("127.0.0.1", l.port);
  EXPECT_EQ(names(QX_NOT_SELECTED), std::vector<std::string>{name});
  EXPECT_EQ(qx_add_destination("127.0.0.1", l.port, &index, &text, 0), 1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(text, name);
  EXPECT_EQ(names(QX_SELECTED), std::vector<std::string>{name});
  EXPECT_EQ(qx_destination_texts(QX_NOT_SELECTED), std::vector<std::string>{""});
  EXPECT_EQ(sockets(), 1);
}

TEST_F(Lists, ImpossibleDestinationsAreNotAdded) {
  // A port beyond 16 bits would wrap into another port in the socket address.
  const udp_listener l;
  struct bad {
    const char* host;
    int port;
  };
  const bad cases[] = {{"127.0.0.1", 65536 + l.port}, {"127.0.0.1", 0},     {"127.0.0.1", -5},
                       {"127.0.0.1", 1 << 30},         {"", 4000},          {nullptr, 4000}};
  for (const bad& c : cases) {
    int index = 7;
    std::string text = "x";
    EXPECT_EQ(qx_add_destination(c.host, c.port, &index, &text, 0), 0) << (c.host ? c.host : "null") << c.port;
    EXPECT_EQ(index, -1);
    EXPECT_EQ(text, "");
  }
  EXPECT_EQ(sockets(), 0);
  EXPECT_TRUE(qx_destination_texts(QX_SELECTED).empty());
}

TEST_F(Lists, MoveLeavesAnEmptySlotAndRefusesBadIndexes) {
  udp_listener a, b;
  add("127.0.0.1", a.port);
  add("127.0.0.1", b.port);
  int index = 9;
  std::string text;
  ASSERT_EQ(qx_unselect_destination(0, &index, &text), 1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(text, "127.0.0.1:" + std::to_string(a.port));
  EXPECT_EQ(qx_destination_texts(QX_SELECTED), (std::vector<std::string>{"", "127.0.0.1:" + std::to_string(b.port)}));
  // The emptied slot, a slot past the end and a negative one move nothing.
  for (int bad : {0, 2, -1, 1000}) {
    EXPECT_EQ(qx_unselect_destination(bad, &index, &text), 0) << bad;
    EXPECT_EQ(index, -1);
  }
  EXPECT_EQ(qx_select_destination(1, &index, &text), 0);  // not-selected has one slot
  ASSERT_EQ(qx_select_destination(0, &index, &text), 1);
  EXPECT_EQ(index, 0);  // back into the empty slot
  EXPECT_EQ(qx_destination_texts(QX_NOT_SELECTED), std::vector<std::string>{""});
}

TEST_F(Lists, RemoveLocalUnselectsBothLoopbackNamesAndPostsTheRebuild) {
  udp_listener l, other;
  add("127.0.0.1", l.port);
  add("localhost", l.port);
  add("127.0.0.1", other.port);
  qx_remove_local_destinations(l.port);
  EXPECT_EQ(names(QX_SELECTED), std::vector<std::string>{"127.0.0.1:" + std::to_string(other.port)});
  EXPECT_EQ(names(QX_NOT_SELECTED).size(), 2u);
  EXPECT_EQ(posted_slots(), std::vector<int>{kQxResetSlot});
  qx_remove_local_destinations(0);
  EXPECT_EQ(posted_slots(), std::vector<int>{kQxResetSlot});
}

TEST_F(Lists, ResetSendsStopToTheOldListThenToTheNewOne) {
  udp_listener a, b;
  add("127.0.0.1", a.port);
  qx_reset_destinations();
  EXPECT_EQ(a.take(), std::vector<std::string>{kStop});
  // a unselected, b selected: a hears the last STOP of the old list, b the first of the
  // new one; the sending list keeps a's emptied slot.
  qx_remove_destination("127.0.0.1", a.port);
  add("127.0.0.1", b.port);
  qx_reset_destinations();
  EXPECT_EQ(a.take(), std::vector<std::string>{kStop});
  EXPECT_EQ(b.take(), std::vector<std::string>{kStop});
  EXPECT_EQ(qx_destination_texts(QX_SENDING), qx_destination_texts(QX_SELECTED));
  qx_diffuse("$A\r\n", 4, 0);
  EXPECT_TRUE(a.take().empty());
  EXPECT_EQ(b.take(), std::vector<std::string>{"$A\r\n"});
}

TEST_F(Lists, DiffuseSendsTheBytesAsTheyAreToEveryOpenChannel) {
  udp_listener a, b, c;
  add("127.0.0.1", a.port);
  add("localhost", b.port);
  add("127.0.0.1", c.port);
  qx_reset_destinations();
  a.take(), b.take(), c.take();
  // Several sentences with their CR LF in one datagram, a NUL inside, nothing added.
  const std::string group = std::string("$GPGGA,1*00\r\n$GPRMC,2*00\r\n") + '\0' + "tail";
  qx_diffuse(group.data(), int(group.size()), 0);
  EXPECT_EQ(a.take(), std::vector<std::string>{group});
  EXPECT_EQ(b.take(), std::vector<std::string>{group});
  EXPECT_EQ(c.take(), std::vector<std::string>{group});
  // Only `length` bytes go.
  qx_diffuse(group.data(), 6, 1);
  EXPECT_EQ(a.take(), std::vector<std::string>{"$GPGGA"});
  b.take(), c.take();
  // A closed channel is skipped, the others still hear.
  {
    std::lock_guard<std::mutex> lock(qx_destinations_mutex());
    socket_t* s = nullptr;
    obj_list_get(qx_destination_list(1), 1, &s);
    socket_close(s);
  }
  qx_diffuse("$B\r\n", 4, 1);
  EXPECT_EQ(a.take(), std::vector<std::string>{"$B\r\n"});
  EXPECT_TRUE(b.take().empty());
  EXPECT_EQ(c.take(), std::vector<std::string>{"$B\r\n"});
  // Nothing to send: nothing goes.
  qx_diffuse(nullptr, 4, 1);
  qx_diffuse("x", 0, 1);
  EXPECT_TRUE(a.take().empty());
}

TEST_F(Lists, NothingHappensBeforeTheListsExist) {
  qx_free_destination_lists();
  int index = 3;
  std::string text;
  udp_listener l;
  EXPECT_EQ(qx_add_destination("127.0.0.1", l.port, &index, &text, 0), 0);
  EXPECT_EQ(index, -1);
  qx_reset_destinations();
  qx_diffuse("$A\r\n", 4, 0);
  EXPECT_TRUE(l.take().empty());
  EXPECT_EQ(qx_unselect_destination(0, &index, &text), 0);
  EXPECT_TRUE(qx_destination_texts(QX_SENDING).empty());
}

// ---- Rate limit ---------------------------------------------------------------------------

// One listener in a sending list of `slots` slots (the others empty: they count too).
struct rate_case {
  int slots;
  // Virtual times (ms from the first send) of unforced groups, and which of them go.
  std::vector<int64_t> at;
  std::vector<bool> sent;
};

class RateLimit : public DestinationsTest, public ::testing::WithParamInterface<rate_case> {};

TEST_P(RateLimit, GroupsWithinTheThresholdAreDroppedMarkersAlwaysGo) {
  const rate_case& c = GetParam();
  udp_listener l;
  add("127.0.0.1", l.port);
  {
    std::lock_guard<std::mutex> lock(qx_destinations_mutex());
    obj_list_set_count(qx_destination_list(1), c.slots);
  }
  qx_reset_destinations();
  ASSERT_EQ(int(qx_destination_texts(QX_SENDING).size()), c.slots);
  l.take();
  plat::use_virtual_clock(true);
  const int64_t start = plat::now_ms();
  for (size_t i = 0; i < c.at.size(); ++i) {
    plat::advance_virtual_ms(start + c.at[i] - plat::now_ms());
    const std::string group = "$GROUP," + std::to_string(i) + "\r\n";
    qx_diffuse(group.data(), int(group.size()), 0);
    qx_diffuse(kStop, int(sizeof kStop - 1), 1);  // a marker in the same moment
    const std::vector<std::string> want =
        c.sent[i] ? std::vector<std::string>{group, kStop} : std::vector<std::string>{kStop};
    EXPECT_EQ(l.take(), want) << "slots " << c.slots << ", group at " << c.at[i] << " ms";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Slots, RateLimit,
    ::testing::Values(
        // Up to 10 slots: no limit at all.
        rate_case{10, {0, 1, 2, 500, 501}, {true, true, true, true, true}},
        rate_case{1, {0, 0, 0}, {true, true, true}},
        // 11 to 30: one group a second.
        rate_case{11, {0, 1, 999, 1000, 1500, 2000, 2999, 3000}, {true, false, false, true, false, true, false, true}},
        rate_case{30, {0, 999, 1000}, {true, false, true}},
        // 31 to 50: one every two seconds.
        rate_case{31, {0, 1000, 1999, 2000, 3000, 4000}, {true, false, false, true, false, true}},
        rate_case{51, {0, 2999, 3000}, {true, false, true}}),
    [](const ::testing::TestParamInfo<rate_case>& info) { return "n" + std::to_string(info.param.slots); });

TEST_F(Lists, ForcedSendsDoNotMoveTheRateLimitClock) {
  udp_listener l;
  add("127.0.0.1", l.port);
  {
    std::lock_guard<std::mutex> lock(qx_destinations_mutex());
    obj_list_set_count(qx_destination_list(1), 11);
  }
  qx_reset_destinations();
  l.take();
  plat::use_virtual_clock(true);
  qx_diffuse("$A\r\n", 4, 0);
  plat::advance_virtual_ms(900);
  qx_diffuse("$M\r\n", 4, 1);
  plat::advance_virtual_ms(100);
  qx_diffuse("$B\r\n", 4, 0);  // one second after A, whatever the marker did
  EXPECT_EQ(l.take(), (std::vector<std::string>{"$A\r\n", "$M\r\n", "$B\r\n"}));
}

}  // namespace
}  // namespace qx_test

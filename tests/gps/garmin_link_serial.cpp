// Garmin serial link against a pseudo-terminal playing the receiver, on the virtual
// clock: the receive automaton (doubled 16s, check byte, NAK and the repeat, ACK and NAK
// frames, bad frames and their counter, the byte limit, silence), word packets and
// commands repeated until acknowledged and no longer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "gps/garmin/link.h"
#include "gps/garmin/link_internal.h"
#include "gps/port_io.h"
#include "tests/gps/garmin_link_frames.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/object_env.h"

namespace {

using garmin_link_test::ack;
using garmin_link_test::frame;
using garmin_link_test::nak;
using tm_test::pty_pair;
using tm_test::virtual_worker;

// One receive's result.
struct received {
  int err = -1;
  int32_t id = -99;
  uint8_t size = 0;
  std::string data;  // size data bytes
};

class GarminSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    ASSERT_TRUE(pty.ok());
    com_open(pty.path().c_str(), 9600, &dev);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(garmin_link_open(), 0);
  }
  void TearDown() override {
    garmin_link_free();
    com_close(&dev);
    set_gblerr(0);
  }
  // Runs a receive on the virtual clock.
  received receive(int limit = 0, int64_t* elapsed = nullptr) {
    received r;
    virtual_worker w([&] {
      const uint8_t* data = nullptr;
      r.err = garmin_receive_packet(dev, &r.id, &r.size, &data, limit);
      if (r.err == 0 && data) r.data.assign(reinterpret_cast<const char*>(data), r.size);
    });
    const int64_t t = w.run();
    EXPECT_GE(t, 0);
    if (elapsed) *elapsed = t;
    return r;
  }
  int command(uint8_t id, uint16_t value) {
    int err = -1;
    virtual_worker w([&] { err = garmin_send_command(dev, id, value); });
    EXPECT_GE(w.run(), 0);
    return err;
  }

  pty_pair pty;
  com_device* dev = nullptr;
};

// A packet whose size byte, a data byte and check byte are all 16.
std::string all_sixteens(std::string* data) {
  std::string d(16, 'a');
  d[3] = 16;
  // Choose the last byte so that the check byte comes out as 16.
  unsigned sum = 35 + 16;
  for (size_t i = 0; i + 1 < d.size(); ++i) sum += uint8_t(d[i]);
  d.back() = char(uint8_t(-(int(sum) + 16)));
  *data = d;
  return frame(35, d);
}

struct ReceiveCase {
  const char* name;
  std::string line;     // what the receiver sends
  int err;
  int32_t id;
  std::string data;
  std::string answered;  // what the link wrote back
};

class GarminSerialReceive : public GarminSerial,
                            public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(GarminSerialReceive, TheAutomatonAcknowledgesAndReturnsWhatCame) {
  const ReceiveCase& c = GetParam();
  ASSERT_TRUE(pty.send(c.line));
  const received r = receive();
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(get_gblerr(), c.err);
  if (c.err == 0) {
    EXPECT_EQ(r.id, c.id);
    EXPECT_EQ(r.size, c.data.size());
    EXPECT_EQ(r.data, c.data);
  } else {
    EXPECT_EQ(r.id, -99);  // outputs not written
  }
  EXPECT_EQ(pty.drain(), c.answered);
}

std::string sixteen_data;
const std::string sixteen_frame = all_sixteens(&sixteen_data);

INSTANTIATE_TEST_SUITE_P(
    Lines, GarminSerialReceive,
    ::testing::Values(
        ReceiveCase{"Plain", frame(35, "abc"), 0, 35, "abc", ack(35)},
        ReceiveCase{"JunkBeforeTheFrame", "xyz\x03\x06" + frame(35, "abc"), 0, 35, "abc", ack(35)},
        ReceiveCase{"EmptyPacket", frame(12, ""), 0, 12, "", ack(12)},
        // Size 16, a data byte 16 and check byte 16, each doubled on the line.
        ReceiveCase{"DoubledSixteens", sixteen_frame, 0, 35, sixteen_data, ack(35)},
        // A bad check byte is refused and the repeat accepted.
        ReceiveCase{"BadCheckThenRepeat", frame(35, "abc", 1) + frame(35, "abc"), 0, 35, "abc",
                    nak(35) + ack(35)},
        // Fewer data bytes than the size announced: refused.
        ReceiveCase{"ShortThenRepeat", std::string("\x10\x23\x05" "ab\x10\x03", 7) + frame(35, "abc"),
                    0, 35, "abc", nak(35) + ack(35)},
        // An ACK or NAK is taken without testing its check byte, and not answered.
        ReceiveCase{"AckWithBadCheck", frame(6, std::string("\x0a\x00", 2), 5), 0, 6,
                    std::string("\x0a\x00", 2), ""},
        // An ACK cut short: where its data did not come, zeros.
        ReceiveCase{"ShortAck", std::string("\x10\x06\x02\x0a\x10\x03", 6), 0, 6,
                    std::string("\x0a\x00", 2), ""},
        ReceiveCase{"Nak", frame(21, std::string("\xfe\x00", 2)), 0, 21,
                    std::string("\xfe\x00", 2), ""},
        // DLE ETX straight after the leading DLE: NAK for id 0.
        ReceiveCase{"DleEtxAfterDle", std::string("\x10\x10\x03", 3) + frame(35, "abc"), 0, 35,
                    "abc", nak(0) + ack(35)},
        // A frame whose id is not one the link accepts: NAK for id 0.
        ReceiveCase{"UnknownId", frame(0x50, "zz") + frame(35, "abc"), 0, 35, "abc",
                    nak(0) + ack(35)},
        // A DLE before a data byte other than 16 or ETX spoils the packet: NAK for its id.
        ReceiveCase{"LoneDleInData", std::string("\x10\x23\x02" "a\x10z\x10\x03", 8) + frame(35, "abc"),
                    0, 35, "abc", nak(35) + ack(35)},
        // The same in an ACK and in a NAK frame.
        ReceiveCase{"LoneDleInAck", std::string("\x10\x06\x02\x10z\x10\x03", 7) + frame(12, ""), 0,
                    12, "", nak(6) + ack(12)},
        ReceiveCase{"LoneDleInNak", std::string("\x10\x15\x02\x10z\x10\x03", 7) + frame(12, ""), 0,
                    12, "", nak(21) + ack(12)},
        // A packet larger than the first buffer.
        ReceiveCase{"LargePacket", frame(35, std::string(200, 'w')), 0, 35, std::string(200, 'w'),
                    ack(35)},
        // More bytes than announced before DLE ETX.
        ReceiveCase{"LongerThanAnnounced", std::string("\x10\x23\x02" "abcd\x10\x03", 9), 17, 0, "",
                    ""}),
    [](const ::testing::TestParamInfo<ReceiveCase>& info) { return std::string(info.param.name); });

TEST_F(GarminSerial, ASilentPortGivesUpAfterElevenReadTimeOuts) {
  int64_t elapsed = 0;
  const received r = receive(0, &elapsed);
  EXPECT_EQ(r.err, ERR_PROTOCOL);
  EXPECT_EQ(r.id, -99);
  // Each empty read waits the read time-out and then pauses a millisecond.
  EXPECT_EQ(elapsed, kGarminReadAttempts * int64_t(kComReadTimeoutMs + 1));
  // A receive that had some bytes and then silence ends the same way.
  set_gblerr(0);
  ASSERT_TRUE(pty.send(std::string("\x10\x23\x05" "ab", 5)));
  EXPECT_EQ(receive().err, ERR_PROTOCOL);
}

TEST_F(GarminSerial, TheByteLimitEndsAReceiveWithoutError) {
  ASSERT_TRUE(pty.send(std::string(100, 'j')));
  const received r = receive(kGarminAckByteLimit);
  EXPECT_EQ(r.err, 0);
  EXPECT_EQ(r.id, 0);
  // Exactly 60 bytes were taken: 40 are still on the line.
  uint8_t rest[128];
  EXPECT_EQ(com_read(dev, 128, rest), 40);
  // A packet inside the limit is received whole.
  ASSERT_TRUE(pty.send("jj" + ack(10)));
  const received a = receive(kGarminAckByteLimit);
  EXPECT_EQ(a.id, kGarminAck);
  EXPECT_EQ(a.data, std::string("\x0a\x00", 2));
}

std::string repeat_text(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string bad_frames(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += std::string("\x10\x10\x03", 3);
  return s;
}

struct BadCase {
  const char* name;
  std::string frame;  // one refused frame
  std::string nak;    // the refusal
};

class GarminSerialBad : public GarminSerial, public ::testing::WithParamInterface<BadCase> {};

TEST_P(GarminSerialBad, EndlessRefusedFramesGiveUp) {
  const BadCase& c = GetParam();
  ASSERT_TRUE(pty.send(repeat_text(c.frame, 40)));
  int64_t elapsed = -1;
  EXPECT_EQ(receive(0, &elapsed).err, ERR_PROTOCOL);
  EXPECT_LT(elapsed, int64_t(kComReadTimeoutMs));  // given up, not timed out
  // Every frame before the give-up was refused: more than twenty, fewer than all.
  const std::string answered = pty.drain();
  EXPECT_EQ(answered, repeat_text(c.nak, kGarminBadFrameRepeats + 2));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, GarminSerialBad,
    ::testing::Values(
        BadCase{"DleEtx", std::string("\x10\x10\x03", 3), nak(0)},
        BadCase{"UnknownId", frame(0x50, "zz"), nak(0)},
        BadCase{"BadCheck", frame(35, "abc", 1), nak(35)},
        BadCase{"LoneDleInPacket", std::string("\x10\x23\x02" "a\x10z\x10\x03", 8), nak(35)},
        BadCase{"LoneDleInAck", std::string("\x10\x06\x02\x10z\x10\x03", 7), nak(6)},
        BadCase{"LoneDleInNak", std::string("\x10\x15\x02\x10z\x10\x03", 7), nak(21)}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST_F(GarminSerial, AStreamWithoutFramesGivesUp) {
  // Bytes that never end a frame: plain text, and endless 16s.
  for (const std::string& stream : {std::string(3000, 'j'), std::string(3000, '\x10')}) {
    ASSERT_TRUE(pty.send(stream));
    int64_t elapsed = -1;
    EXPECT_EQ(receive(0, &elapsed).err, ERR_PROTOCOL);
    EXPECT_LT(elapsed, int64_t(kComReadTimeoutMs));
    uint8_t rest[4096];
    EXPECT_EQ(com_read(dev, 4096, rest), 3000 - kGarminFrameByteLimit);
    set_gblerr(0);
  }
}

TEST_F(GarminSerial, BadFramesAreCountedOnlyInARow) {
  // Fifteen bad frames, a good packet, fifteen more and another good packet: never
  // more than twenty in a row.
  ASSERT_TRUE(pty.send(bad_frames(15) + frame(35, "one")));
  EXPECT_EQ(receive().data, "one");
  ASSERT_TRUE(pty.send(bad_frames(15) + frame(35, "two")));
  const received r = receive();
  EXPECT_EQ(r.err, 0);
  EXPECT_EQ(r.data, "two");
  // An acknowledgement breaks the run as well.
  ASSERT_TRUE(pty.send(bad_frames(15) + ack(10)));
  EXPECT_EQ(receive().id, kGarminAck);
  ASSERT_TRUE(pty.send(bad_frames(15) + frame(35, "six")));
  EXPECT_EQ(receive().data, "six");
}

TEST_F(GarminSerial, OpeningTheLinkRestartsTheBadFrameCount) {
  // Fifteen bad frames, then the receiver falls silent.
  ASSERT_TRUE(pty.send(bad_frames(15)));
  EXPECT_EQ(receive().err, ERR_PROTOCOL);
  set_gblerr(0);
  garmin_link_free();
  ASSERT_EQ(garmin_link_open(), 0);
  EXPECT_EQ(garmin_link().cap, uint32_t(kGarminLinkInitialCapacity));
  ASSERT_TRUE(pty.send(bad_frames(15) + frame(35, "new")));
  const received r = receive();
  EXPECT_EQ(r.err, 0);
  EXPECT_EQ(r.data, "new");
}

TEST_F(GarminSerial, WordPacketsAndAcknowledgements) {
  garmin_send_word_packet(dev, 0x0207, 10);
  EXPECT_EQ(pty.take(8), std::string("\x10\x0a\x02\x07\x02\xeb\x10\x03", 8));
  garmin_send_ack(dev, 0, 35);
  EXPECT_EQ(pty.take(8), ack(35));
  garmin_send_ack(dev, 1, 35);
  EXPECT_EQ(pty.take(8), nak(35));
  // A 16 inside is doubled, as the receiver expects of any frame.
  garmin_send_word_packet(dev, 16, 10);
  EXPECT_EQ(pty.take(9), frame(10, std::string("\x10\x00", 2)));
}

struct CommandCase {
  const char* name;
  std::string line;  // the receiver's replies, all waiting on the line
  int err;
  int sends;         // command frames written
};

class GarminSerialCommand : public GarminSerial,
                            public ::testing::WithParamInterface<CommandCase> {};

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST_P(GarminSerialCommand, ACommandIsRepeatedUntilAcknowledgedAndNoLonger) {
  const CommandCase& c = GetParam();
  if (!c.line.empty()) {
    ASSERT_TRUE(pty.send(c.line));
  }
  EXPECT_EQ(command(10, 7), c.err);
  EXPECT_EQ(get_gblerr(), c.err);
  const std::string sent = frame(10, std::string("\x07\x00", 2));
  EXPECT_EQ(pty.drain(), repeat(sent, c.sends));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, GarminSerialCommand,
    ::testing::Values(
        CommandCase{"Acknowledged", ack(10), 0, 1},
        CommandCase{"NakThenAck", nak(10) + ack(10), 0, 2},
        CommandCase{"AckOfAnotherId", ack(254) + ack(10), 0, 2},
        // A data packet in place of the ACK is acknowledged by the link: no ACK of ours
        // is counted as a command.
        CommandCase{"NeverAcknowledged", repeat(nak(10), 12), 17, kGarminSendTries},
        // Non-Garmin bytes: each receive ends at its byte limit without error.
        CommandCase{"JunkStream", std::string(size_t(kGarminSendTries * kGarminAckByteLimit + 30), 'j'),
                    17, kGarminSendTries},
        CommandCase{"Silence", "", 17, 1}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

}  // namespace

// The framed-logger sender and send-and-wait over a serial port (a pty stands in for the
// logger) under the virtual clock: the frame written in one piece, the answer fed back
// through the wait record's read loop into the automaton until the handler says done,
// a silent logger ending the wait by its time-out, and a payload too long to frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "gps/loggers/frame.h"
#include "gps/port_io.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/object_env.h"

namespace {

using tm_test::virtual_worker;

std::string build(const std::string& payload, int big_endian) {
  std::string out(payload.size() + 8, '\0');
  bframe_build(reinterpret_cast<const uint8_t*>(payload.data()), int(payload.size()), big_endian,
               nullptr, reinterpret_cast<uint8_t*>(out.data()));
  return out;
}

struct Logger {
  std::vector<std::string> answers;
};

// The driver's handler: records the payload and sets done on the identifier answer.
void on_answer(bframe* f) {
  auto* l = static_cast<Logger*>(f->driver);
  l->answers.emplace_back(reinterpret_cast<const char*>(f->cursor), size_t(f->expected));
  f->wait->progress = 1;
  if (f->message_id == 0xBF) f->wait->done = 1;
}

class FrameSend : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    ASSERT_TRUE(pty_.ok());
    ASSERT_NE(com_open(pty_.path().c_str(), 115200, &dev_), nullptr);
  }
  void TearDown() override {
    port_reader_free(&wait_);
    bframe_free(&f_);
    com_close(&dev_);
    set_gblerr(0);
  }
  void make(const bframe_config* c) {
    ASSERT_EQ(bframe_create_config(c, on_answer, dev_, com_read_routine, &f_), 0);
    f_->driver = &logger_;
    port_reader_create(bframe_feed_chunk, reinterpret_cast<port_reader*>(f_), &wait_);
    ASSERT_NE(wait_, nullptr);
    f_->wait = wait_;
  }
  tm_test::pty_pair pty_;
  com_device* dev_ = nullptr;
  bframe* f_ = nullptr;
  port_read_ctx* wait_ = nullptr;
  Logger logger_;
};

TEST_F(FrameSend, SendAndWaitUntilTheAnswerIsDone) {
  make(&kBframeGlobalsat);
  wait_->overall_timeout_s = 5.0;
  wait_->done = 1;
  wait_->progress = 1;
  // The logger's answers are on the line: a progress frame split by noise, then the
  // identifier answer.
  ASSERT_TRUE(pty_.send(std::string("\x00\x13", 2) + build("\xB5\x01\x02", 1) + "\x07" +
                        build(std::string("\xBF\x11\x22\x33", 4), 1)));
  int result = -9;
  const std::string ask("\xBF", 1);
  virtual_worker w([&] { result = bframe_send_wait(dev_, reinterpret_cast<const uint8_t*>(ask.data()), 1, f_); });
  ASSERT_GE(w.run(), 10);
  EXPECT_EQ(result, PORT_DONE);
  EXPECT_EQ(pty_.take(9), build(ask, 1));
  ASSERT_EQ(logger_.answers.size(), 2u);
  EXPECT_EQ(logger_.answers[1], std::string("\xBF\x11\x22\x33", 4));
}

TEST_F(FrameSend, SilentLoggerEndsByTheTimeOut) {
  make(&kBframeNavilink);
  wait_->overall_timeout_s = 1.0;
  int result = -9;
  const std::string ask = std::string("\x14\x00\x10\x00\x00\x20\x00\x00", 8);
  virtual_worker w([&] {
    result = bframe_send_wait(dev_, reinterpret_cast<const uint8_t*>(ask.data()), int(ask.size()), f_);
  });
  const int64_t elapsed = w.run();
  EXPECT_EQ(result, PORT_TIMEOUT);
  // The loop's clocks read the packed date of now, to the whole second.
  EXPECT_GT(elapsed, 1000);
  EXPECT_LT(elapsed, 2200);
  EXPECT_EQ(pty_.take(ask.size() + 8), build(ask, 0));
  EXPECT_TRUE(logger_.answers.empty());
}

TEST_F(FrameSend, SwitchFramesAreWrittenInOnePiece) {
  const uint8_t on[2] = {0xBC, 1};
  virtual_worker w([&] { EXPECT_EQ(send_framed_message(dev_, on, 2, 1, nullptr), 0); });
  EXPECT_EQ(w.run(), 2);  // one write, one pause
  EXPECT_EQ(pty_.take(10), std::string("\xA0\xA2\x00\x02\xBC\x01\x00\xBD\xB0\xB3", 10));
}

TEST_F(FrameSend, PayloadTooLongIsRefusedUnsent) {
  std::vector<uint8_t> big(65536, 1);
  EXPECT_EQ(send_framed_message(dev_, big.data(), int(big.size()), 1, nullptr), ERR_VALUE);
  EXPECT_EQ(get_gblerr(), ERR_VALUE);
  set_gblerr(0);
  EXPECT_EQ(pty_.drain(), "");
  make(&kBframeGlobalsat);
  EXPECT_EQ(bframe_send_wait(dev_, big.data(), int(big.size()), f_), 0);
  set_gblerr(0);
  f_->wait = nullptr;
  EXPECT_EQ(bframe_send_wait(dev_, big.data(), 1, f_), -1);
  f_->wait = wait_;
}

}  // namespace

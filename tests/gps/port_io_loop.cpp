// The timed read loop: its four results, the rule that a time-out ends the loop only
// once its clock has run strictly longer, the ends by error (gblerr, a failed read)
// that leave the result as it was, chunks of at most 300 bytes handed on whole and in
// order (random chunks from a scripted reader), and the loop over a serial port.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/object_env.h"

namespace {

using tm_test::virtual_worker;

// A scripted device: each read waits `wait_ms` on the platform clock, then gives the
// next scripted chunk (a negative number is a read error); when the script is used up
// it gives `idle` (bytes, or nothing).
struct script_device {
  std::deque<std::string> chunks;
  std::deque<int> errors;  // read numbers (from 0) that fail
  int wait_ms = 100;
  std::string idle;
  int reads = 0;
  int largest_request = 0;
};

int script_read(void* device, int max, uint8_t* buf) {
  auto* d = static_cast<script_device*>(device);
  const int number = d->reads++;
  if (max > d->largest_request) d->largest_request = max;
  plat::sleep_ms(d->wait_ms);
  if (!d->errors.empty() && d->errors.front() == number) {
    d->errors.pop_front();
    return -1;
  }
  std::string next = d->idle;
  if (!d->chunks.empty()) {
    next = d->chunks.front();
    d->chunks.pop_front();
  }
  const int n = int(next.size());
  std::memcpy(buf, next.data(), next.size());
  return n;
}

// A reader with the handler's own context behind it, as the drivers make theirs.
struct test_reader {
  port_reader base;
  port_read_ctx* loop = nullptr;
  std::string received;
  std::vector<int> counts;
  std::string done_at;        // the done flag is set once this text has arrived
  bool progress_always = false;
  int error_after_calls = -1;  // gblerr is set at this call (from 1)
};

void test_handler(const uint8_t* bytes, int count, port_reader* reader) {
  auto* r = reinterpret_cast<test_reader*>(reader);
  EXPECT_EQ(r->loop->progress, 0);
  EXPECT_EQ(r->loop->done, 0);
  r->counts.push_back(count);
  r->received.append(reinterpret_cast<const char*>(bytes), size_t(count));
  if (r->progress_always && count > 0) r->loop->progress = 1;
  if (!r->done_at.empty() && r->received.find(r->done_at) != std::string::npos) r->loop->done = 1;
  if (int(r->counts.size()) == r->error_after_calls) set_gblerr(ERR_PROTOCOL);
}

class PortLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    reader.base.device = &device;
    reader.base.read = script_read;
    ASSERT_EQ(port_reader_create(test_handler, &reader.base, &reader.loop), reader.loop);
    ASSERT_NE(reader.loop, nullptr);
  }
  void TearDown() override {
    port_reader_free(&reader.loop);
    EXPECT_EQ(reader.loop, nullptr);
    set_gblerr(0);
  }
  // Runs the loop on the virtual clock: its result; elapsed gets the virtual time.
  int run_loop(int64_t* elapsed = nullptr, int64_t step_ms = 10) {
    int r = -99;
    virtual_worker w([&] { r = port_read_loop(reader.loop); });
    const int64_t e = w.run(step_ms, 60000);
    if (elapsed) *elapsed = e;
    return r;
  }

  script_device device;
  test_reader reader;
};

TEST_F(PortLoop, ANewContextHasEveryTimeOutOff) {
  port_read_ctx* ctx = reader.loop;
  EXPECT_EQ(ctx->reader, &reader.base);
  EXPECT_EQ(ctx->handler, test_handler);
  EXPECT_EQ(ctx->no_data_timeout_s, 0.0);
  EXPECT_EQ(ctx->no_progress_timeout_s, 0.0);
  EXPECT_EQ(ctx->overall_timeout_s, 0.0);
  EXPECT_EQ(ctx->result, 0);
  EXPECT_EQ(ctx->progress | ctx->done, 0);
}

// Each read waits 100 ms; the clocks start when the first read has returned, and the
// packed-date clock counts whole seconds. A time-out of T seconds ends the loop at
// the first look after T + 1 seconds: a look at exactly T seconds goes on.
struct TimeoutCase {
  const char* name;
  double no_data, no_progress, overall;
  const char* idle;      // what every read gives
  bool progress;         // the handler reports progress on every chunk with bytes
  int result;
  int64_t elapsed_ms;    // virtual time when the loop ended
};

class PortLoopTimeout : public PortLoop, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(PortLoopTimeout, EndsWhenAClockHasRunStrictlyLonger) {
  const TimeoutCase c = GetParam();
  device.idle = c.idle;
  reader.progress_always = c.progress;
  reader.loop->no_data_timeout_s = c.no_data;
  reader.loop->no_progress_timeout_s = c.no_progress;
  reader.loop->overall_timeout_s = c.overall;
  int64_t elapsed = 0;
  EXPECT_EQ(run_loop(&elapsed), c.result);
  EXPECT_EQ(reader.loop->result, c.result);
  EXPECT_EQ(elapsed, c.elapsed_ms);
  EXPECT_EQ(get_gblerr(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Results, PortLoopTimeout,
    ::testing::Values(
        // No data: the check before the handler, so the last chunk is not handed on.
        TimeoutCase{"NoDataTwoSeconds", 2.0, 0, 0, "", false, PORT_NO_DATA, 3000},
        TimeoutCase{"NoDataHalfSecond", 0.5, 0, 0, "", false, PORT_NO_DATA, 1000},
        // Data keeps the no-data clock young; nothing recognised ends by no progress.
        TimeoutCase{"NoProgress", 2.0, 1.0, 0, "x", false, PORT_NO_PROGRESS, 2000},
        // Data and progress: only the overall time-out ends it.
        TimeoutCase{"Overall", 1.0, 1.0, 3.0, "x", true, PORT_TIMEOUT, 4000},
        // Progress needs bytes in this handler: an idle line ends by no progress even
        // when the no-data time-out is off.
        TimeoutCase{"NoProgressIdle", 0, 2.0, 0, "", true, PORT_NO_PROGRESS, 3000}),
    [](const ::testing::TestParamInfo<TimeoutCase>& info) { return std::string(info.param.name); });

TEST_F(PortLoopTimeout, NoDataHandsOnEveryChunkBeforeTheEnd) {
  reader.loop->no_data_timeout_s = 2.0;
  EXPECT_EQ(run_loop(), PORT_NO_DATA);
  // Reads end at 100, 200, ... ms; the one at 3000 ms ends the loop unhanded.
  EXPECT_EQ(reader.counts.size(), 29u);
  EXPECT_EQ(device.reads, 30);
}

TEST_F(PortLoop, TheDoneFlagEndsWithResultTwo) {
  device.chunks = {"$GP", "", "RMC,1*", "00\r\nmore"};
  reader.done_at = "\r\n";
  reader.loop->overall_timeout_s = 100;
  EXPECT_EQ(run_loop(), PORT_DONE);
  EXPECT_EQ(reader.received, "$GPRMC,1*00\r\nmore");
  EXPECT_EQ(reader.counts, (std::vector<int>{3, 0, 6, 8}));
}

TEST_F(PortLoop, WithEveryTimeOutOffOnlyTheHandlerOrAnErrorEndsIt) {
  // Ten minutes of silence, then the awaited byte.
  for (int i = 0; i < 6000; ++i) device.chunks.push_back("");
  device.chunks.push_back("!");
  reader.done_at = "!";
  int64_t elapsed = 0;
  EXPECT_EQ(run_loop(&elapsed), PORT_DONE);
  EXPECT_EQ(elapsed, 6001 * 100);
}

TEST_F(PortLoop, AnErrorCodeEndsTheLoopAndLeavesTheResult) {
  reader.loop->result = 77;
  device.idle = "data";
  reader.error_after_calls = 3;
  reader.loop->overall_timeout_s = 100;
  EXPECT_EQ(run_loop(), 77);
  EXPECT_EQ(reader.counts.size(), 3u);
  EXPECT_EQ(get_gblerr(), ERR_PROTOCOL);
}

TEST_F(PortLoop, AFailedReadEndsTheLoopAndLeavesTheResult) {
  reader.loop->result = 77;
  device.idle = "ab";
  device.errors = {4};
  EXPECT_EQ(run_loop(), 77);
  EXPECT_EQ(reader.counts.size(), 4u);
  // A first read that fails ends before any handler call.
  reader.counts.clear();
  device.reads = 0;
  device.errors = {0};
  EXPECT_EQ(run_loop(), 77);
  EXPECT_TRUE(reader.counts.empty());
}

TEST_F(PortLoop, RandomChunksArriveWholeAndInOrder) {
  std::mt19937 rng(20261210);
  std::string stream;
  for (int i = 0; i < 400; ++i) {
    std::string chunk(size_t(rng() % 301), '\0');
    for (char& ch : chunk) ch = char(rng() & 0xFF);
    if (rng() % 5 == 0) chunk.clear();
    stream += chunk;
    device.chunks.push_back(chunk);
  }
  device.chunks.push_back("\xFF\xFE END");
  stream += "\xFF\xFE END";
  device.wait_ms = 1;
  reader.done_at = "\xFF\xFE END";
  EXPECT_EQ(run_loop(), PORT_DONE);
  EXPECT_EQ(reader.received, stream);
  EXPECT_EQ(device.largest_request, kPortChunkSize);
  for (int n : reader.counts) EXPECT_LE(n, kPortChunkSize);
}

TEST_F(PortLoop, AReaderThatGivesTooMuchIsHeldToTheChunkSize) {
  // A faulty read routine that claims more than it was asked for.
  reader.base.read = [](void*, int max, uint8_t* buf) {
    std::memset(buf, 'z', size_t(max));
    return max + 50;
  };
  reader.done_at = "z";
  EXPECT_EQ(port_read_loop(reader.loop), PORT_DONE);
  EXPECT_EQ(reader.counts, (std::vector<int>{kPortChunkSize}));
}

TEST_F(PortLoop, OverASerialPortAnIdleLineTurnsTenTimesASecond) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  com_device* dev = nullptr;
  ASSERT_NE(com_open(pty.path().c_str(), 4800, &dev), nullptr);
  ASSERT_TRUE(pty.send("$GPGLL,1*00\r\n"));
  reader.base.device = dev;
  reader.base.read = com_read_routine;
  reader.loop->no_data_timeout_s = 1.0;
  int64_t elapsed = 0;
  EXPECT_EQ(run_loop(&elapsed, 1), PORT_NO_DATA);
  EXPECT_EQ(reader.received, "$GPGLL,1*00\r\n");
  // Every chunk ends with 100 ms of silence and the 1 ms pause: the sentence at 101 ms,
  // then empty chunks until the packed-date clock shows more than one second.
  EXPECT_EQ(elapsed, 20 * 101);
  ASSERT_EQ(reader.counts.size(), 19u);
  EXPECT_EQ(reader.counts[0], 13);
  com_close(&dev);
}

}  // namespace

// The line store in memory: creation, line access, byte streams (span, read pointer,
// appending, back-copies, flattening), the generation counter and the floor.
#include <thread>
#include <vector>

#include "core/file_ops.h"
#include "tests/core/line_store_fixture.h"

namespace {

using tm_test::LineStoreFixture;

class LineStore : public LineStoreFixture {};

TEST_F(LineStore, CreationRefusesBadSizesAndMakesZeroedTables) {
  struct Case {
    int64_t lines;
    int32_t size;
    int result;
  } const cases[] = {{10, 1000, 0}, {0, 32768, 0}, {4, 0, -1}, {4, -5, -1}, {-1, 100, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lines << " lines of " << c.size);
    filemobj_t* s = reinterpret_cast<filemobj_t*>(1);
    EXPECT_EQ(filemobj_create(nullptr, nullptr, c.lines, c.size, 0, &s), c.result);
    if (c.result != 0) {
      EXPECT_EQ(s, nullptr);
      continue;
    }
    stores_.push_back(s);
    EXPECT_EQ(s->cls, kLineStoreClass);
    EXPECT_NE(s->id, 0);
    EXPECT_EQ(filemobj_line_count(s), c.lines);
    EXPECT_EQ(filemobj_line_size(s), c.size);
    EXPECT_EQ(filemobj_data_size(s), 0);
    for (int64_t i = 0; i < c.lines; ++i) {
      EXPECT_EQ(s->lines[i], nullptr);
      EXPECT_EQ(s->states[i], kLineUnsaved);
    }
  }
}

TEST_F(LineStore, DiscardableStoreMarksEveryLineIncludingAddedOnes) {
  filemobj_t* s = make_store(3, 100, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->flags, -1);
  ASSERT_EQ(filemobj_add_line(s), 0);
  ASSERT_NE(filemobj_get_line(s, 6, 0), nullptr);
  ASSERT_EQ(filemobj_line_count(s), 7);
  for (int64_t i = 0; i < 7; ++i) EXPECT_EQ(s->states[i], kLineDiscardable) << i;
}

TEST_F(LineStore, GetLineAddsLinesAndGivesZeroFilledBlocks) {
  filemobj_t* s = make_store(2, 64);
  uint8_t* line = filemobj_get_line(s, 9, 0);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(filemobj_line_count(s), 10);
  for (int k = 0; k < 64; ++k) EXPECT_EQ(line[k], 0);
  line[5] = 42;
  EXPECT_EQ(filemobj_get_line(s, 9, 1), line);
  EXPECT_EQ(filemobj_get_line(s, 9, 1)[5], 42);
  EXPECT_EQ(line_store_held_bytes(), 64);
  EXPECT_EQ(filemobj_get_line(s, -1, 1), nullptr);
  EXPECT_EQ(filemobj_get_line(nullptr, 0, 1), nullptr);
}

// Tables for 2^27 lines would take about 2.8 GB, more than the program may ever use.
TEST_F(LineStore, ALineNumberBeyondWhatTheTablesMayHoldFailsWithoutGrowing) {
  filemobj_t* s = make_store(1, 16);
  for (int64_t far : {int64_t(1) << 27, int64_t(1) << 40, INT64_MAX}) {
    EXPECT_EQ(filemobj_get_line(s, far, 0), nullptr) << far;
    EXPECT_EQ(filemobj_line_count(s), 1);
  }
  int64_t n = 8;
  EXPECT_EQ(filemobj_span(s, int64_t(1) << 50, &n), nullptr);
  EXPECT_EQ(n, 0);
  filemobj_t* huge = nullptr;
  EXPECT_EQ(filemobj_create(nullptr, nullptr, int64_t(1) << 27, 16, 0, &huge), -1);
  EXPECT_EQ(huge, nullptr);
}

TEST_F(LineStore, ReleasingALineFreesItsBlockAndForgetsItsStamp) {
  filemobj_t* s = make_store(4, 100);
  fill_lines(s, 4, 100);
  EXPECT_EQ(line_store_held_bytes(), 400);
  filemobj_release_line(s, 2);
  EXPECT_EQ(s->lines[2], nullptr);
  EXPECT_EQ(s->stamps[2], 0);
  EXPECT_EQ(s->uses[2], 0);
  EXPECT_EQ(line_store_held_bytes(), 300);
  // An unsaved line that was released comes back empty.
  const uint8_t* again = filemobj_get_line(s, 2, 1);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again[0], 0);
}

// A store read once: each read releases the lines wholly before its offset, never the
// line it reads; a store not marked keeps every line; the mark goes off again.
TEST_F(LineStore, AStoreReadOnceReleasesTheLinesBehindEachRead) {
  filemobj_t* s = make_store(0, 100);
  std::vector<uint8_t> bytes(450);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + 1);
  ASSERT_EQ(filemobj_append(s, bytes.data(), int64_t(bytes.size())), 0);
  int64_t n = 10;
  ASSERT_NE(filemobj_read_ptr(s, 250, &n), nullptr);
  EXPECT_EQ(line_store_held_bytes(), 500);  // not marked: everything stays
  filemobj_set_read_once(s, 1);
  struct step {
    int64_t offset;
    std::vector<bool> held;  // lines 0-4 in memory after the read
  } const steps[] = {
      {0, {true, true, true, true, true}},
      {99, {true, true, true, true, true}},    // still inside line 0
      {100, {false, true, true, true, true}},  // line 0 passed
      {320, {false, false, false, true, true}},
      {449, {false, false, false, false, true}},
  };
  for (const step& st : steps) {
    SCOPED_TRACE(st.offset);
    int64_t count = 1;
    const uint8_t* p = filemobj_read_ptr(s, st.offset, &count);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*p, bytes[size_t(st.offset)]);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s->lines[i] != nullptr, st.held[size_t(i)]) << i;
  }
  EXPECT_EQ(line_store_held_bytes(), 100);
  EXPECT_EQ(swap_total_bytes(), 0.0);  // released, not written out
  // Off again: a read keeps what it passes.
  filemobj_set_read_once(s, 0);
  n = 1;
  ASSERT_NE(filemobj_read_ptr(s, 20, &n), nullptr);  // line 0 comes back empty
  n = 1;
  ASSERT_NE(filemobj_read_ptr(s, 420, &n), nullptr);
  EXPECT_NE(s->lines[0], nullptr);
}

TEST_F(LineStore, SpanCutsAtTheLineEndAndRaisesTheDataSize) {
  filemobj_t* s = make_store(0, 100);
  struct Case {
    int64_t offset, asked, given, data_size;
  } const cases[] = {
      {0, 30, 30, 30},     // inside the first line
      {90, 50, 10, 100},   // cut at the end of line 0
      {150, 200, 50, 200}, // cut at the end of line 1
      {120, 10, 10, 200},  // inside the data: the size stays
      {390, 20, 10, 400},  // line 3 made on the way
      {400, -4, 0, 400},   // a negative count writes nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    int64_t n = c.asked;
    uint8_t* p = filemobj_span(s, c.offset, &n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(n, c.given);
    EXPECT_EQ(filemobj_data_size(s), c.data_size);
  }
  EXPECT_EQ(filemobj_line_count(s), 5);
}

TEST_F(LineStore, ReadPointerCutsAtDataSizeAndLineEndAndAddsNoLine) {
  filemobj_t* s = make_store(0, 100);
  const std::string data = stream_bytes(250);
  ASSERT_EQ(filemobj_append(s, data.data(), int64_t(data.size())), 0);
  struct Case {
    int64_t offset, asked, given;
  } const cases[] = {{0, 40, 40}, {90, 50, 10}, {240, 50, 10}, {249, 1, 1},
                     {250, 5, 0}, {1000, 5, 0}, {-1, 5, 0},   {10, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    int64_t n = c.asked;
    const uint8_t* p = filemobj_read_ptr(s, c.offset, &n);
    EXPECT_EQ(n, c.given);
    if (c.given == 0) {
      EXPECT_EQ(p, nullptr);
      continue;
    }
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), size_t(n)),
              data.substr(size_t(c.offset), size_t(n)));
  }
  EXPECT_EQ(filemobj_line_count(s), 3);
}

TEST_F(LineStore, AppendingAndPuttingBytesRunAcrossLines) {
  filemobj_t* s = make_store(0, 7);
  const std::string data = stream_bytes(100);
  ASSERT_EQ(filemobj_append(s, data.data(), 60), 0);
  for (size_t i = 60; i < 100; ++i) ASSERT_EQ(filemobj_put_byte(s, uint8_t(data[i])), 0);
  EXPECT_EQ(filemobj_data_size(s), 100);
  EXPECT_EQ(filemobj_line_count(s), 15);
  EXPECT_EQ(read_all(s), data);
  EXPECT_EQ(filemobj_append(s, nullptr, 3), -1);
  EXPECT_EQ(filemobj_append(s, data.data(), -1), -1);
  EXPECT_EQ(filemobj_append(s, nullptr, 0), 0);
  EXPECT_EQ(filemobj_data_size(s), 100);
}

// Bytes of a line that no append wrote read as zero, also when a released unsaved
// line is brought back in the middle of the stream: never what the heap held before.
TEST_F(LineStore, BytesOfALineThatNoAppendWroteReadAsZero) {
  struct Case {
    int64_t first, second;  // bytes appended before and after line 0 is released
    bool release;
  } const cases[] = {{10, 0, false}, {150, 0, false}, {50, 20, true}, {0, 30, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << " + " << c.second);
    filemobj_t* s = make_store(0, 100);
    const std::string data = stream_bytes(c.first + c.second);
    ASSERT_EQ(filemobj_append(s, data.data(), c.first), 0);
    if (c.release) filemobj_release_line(s, 0);
    ASSERT_EQ(filemobj_append(s, data.data() + c.first, c.second), 0);
    const int64_t lines = filemobj_line_count(s);
    for (int64_t i = 0; i < lines; ++i) {
      const uint8_t* line = filemobj_get_line(s, i, 1);
      ASSERT_NE(line, nullptr);
      for (int64_t k = 0; k < 100; ++k) {
        const int64_t at = i * 100 + k;
        const bool lost = c.release && at < c.first;  // unsaved and released: gone
        const uint8_t want = at < c.first + c.second && !lost ? uint8_t(data[size_t(at)]) : 0;
        ASSERT_EQ(line[k], want) << "byte " << at;
      }
    }
    free_store(s);
  }
}

TEST_F(LineStore, OwnerAppendRecordsTheNewSizeInTheFileObject) {
  obj_t* file = get_file_ops().new_in_memory();
  ASSERT_NE(file, nullptr);
  const std::string data = stream_bytes(70000);
  ASSERT_EQ(filemobj_owner_append(file, data.data(), 40000), 0);
  ASSERT_EQ(filemobj_owner_append(file, data.data() + 40000, 30000), 0);
  EXPECT_EQ(file_get(file, FF_SIZE), 70000);
  auto* s = reinterpret_cast<filemobj_t*>(file_store_of(file));
  EXPECT_EQ(read_all(s), data);
  // A file object without a store in memory takes nothing.
  obj_t* disk = tm_test::stub_file("/nowhere/x.bin");
  EXPECT_EQ(filemobj_owner_append(disk, data.data(), 10), -1);
  EXPECT_EQ(file_get(disk, FF_SIZE), 0);
}

TEST_F(LineStore, CopyBackRepeatsTheWindowIncludingOverlappingRuns) {
  struct Case {
    int32_t line_size;
    int64_t distance, count;
  } const cases[] = {
      {16, 1, 258},     // one byte repeated, across many line ends
      {16, 3, 40},      // a short pattern repeated
      {16, 40, 40},     // the whole data copied once
      {16, 17, 20},     // source and destination in different lines
      {1000, 1, 258},   // the run inside one line
      {1000, 5, 3},     // count below the distance
      {32768, 32768, 258},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line_size << " " << c.distance << " " << c.count);
    filemobj_t* s = make_store(0, c.line_size);
    std::string expected = stream_bytes(c.distance > 40 ? c.distance : 40);
    ASSERT_EQ(filemobj_append(s, expected.data(), int64_t(expected.size())), 0);
    for (int64_t k = 0; k < c.count; ++k) expected.push_back(expected[expected.size() - size_t(c.distance)]);
    ASSERT_EQ(filemobj_copy_back(s, c.distance, c.count), 0);
    EXPECT_EQ(read_all(s), expected);
    free_store(s);
  }
}

TEST_F(LineStore, CopyBackRefusesADistanceBeforeTheStart) {
  filemobj_t* s = make_store(0, 16);
  const std::string data = stream_bytes(20);
  ASSERT_EQ(filemobj_append(s, data.data(), 20), 0);
  EXPECT_EQ(filemobj_copy_back(s, 21, 5), -1);
  EXPECT_EQ(filemobj_copy_back(s, 0, 5), -1);
  EXPECT_EQ(filemobj_copy_back(s, -3, 5), -1);
  EXPECT_EQ(filemobj_copy_back(s, 5, 0), 0);
  EXPECT_EQ(read_all(s), data);
}

TEST_F(LineStore, FlattenGathersTheWholeStreamIntoOneLine) {
  filemobj_t* s = make_store(0, 1000);
  const std::string data = stream_bytes(2500);
  ASSERT_EQ(filemobj_append(s, data.data(), 2500), 0);
  filemobj_write_all(s);  // lines on disk and released: flattening reads them back
  ASSERT_EQ(file_size(swap_path(s, 0)), 2500);
  ASSERT_EQ(filemobj_flatten(s), 0);
  EXPECT_EQ(filemobj_line_count(s), 1);
  EXPECT_EQ(filemobj_line_size(s), 2500);
  EXPECT_EQ(filemobj_data_size(s), 2500);
  EXPECT_EQ(file_size(swap_path(s, 0)), -1);  // the old layout's file is gone
  int64_t n = 2500;
  const uint8_t* p = filemobj_read_ptr(s, 0, &n);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(n, 2500);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 2500), data);
  // The flattened store is an ordinary store: it swaps and grows again.
  filemobj_write_all(s);
  EXPECT_EQ(file_size(swap_path(s, 0)), 2500);
  ASSERT_EQ(filemobj_append(s, data.data(), 100), 0);
  EXPECT_EQ(read_all(s), data + data.substr(0, 100));
}

TEST_F(LineStore, FlattenLeavesSingleLineAndEmptyStoresAlone) {
  filemobj_t* one = make_store(0, 100);
  ASSERT_EQ(filemobj_append(one, "abc", 3), 0);
  EXPECT_EQ(filemobj_flatten(one), 0);
  EXPECT_EQ(filemobj_line_size(one), 100);
  filemobj_t* image = make_store(5, 100);
  EXPECT_EQ(filemobj_flatten(image), 0);
  EXPECT_EQ(filemobj_line_count(image), 5);
  EXPECT_EQ(filemobj_flatten(nullptr), -1);
}

TEST_F(LineStore, OffsetsAndSizesBeyondFourGigabytesStayExact) {
  filemobj_t* s = make_store(0, 1 << 20);
  const int64_t far = 5000000000LL;
  const std::string data = stream_bytes(16);
  int64_t n = 16;
  uint8_t* p = filemobj_span(s, far, &n);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(n, 16);
  std::memcpy(p, data.data(), 16);
  EXPECT_EQ(filemobj_data_size(s), far + 16);
  EXPECT_EQ(filemobj_line_count(s), far / (1 << 20) + 1);
  n = 100;
  const uint8_t* q = filemobj_read_ptr(s, far, &n);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(n, 16);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(q), 16), data);
  EXPECT_EQ(line_store_held_bytes(), 1 << 20);
}

// ---- Generations -------------------------------------------------------------------

TEST_F(LineStore, GenerationRisesAfterTwoThousandCounterSteps) {
  struct Case {
    int32_t line_size;
    int stampings;
    int32_t generation;
  } const cases[] = {
      {10, 1999, 8}, {10, 2000, 9}, {2047, 2000, 9}, {4096, 666, 8}, {4096, 667, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line_size << " x " << c.stampings);
    line_store_reset();
    filemobj_t* s = make_store(c.stampings, c.line_size);
    for (int i = 0; i < c.stampings; ++i) ASSERT_NE(filemobj_get_line(s, i, 1), nullptr);
    EXPECT_EQ(filemobj_generation(), c.generation);
    free_store(s);
  }
}

TEST_F(LineStore, ALineIsStampedOncePerGenerationInGenerationMode) {
  filemobj_t* s = make_store(2, 10);
  for (int k = 0; k < 5000; ++k) ASSERT_NE(filemobj_get_line(s, 0, 1), nullptr);
  EXPECT_EQ(filemobj_generation(), 8);  // one stamping only
  EXPECT_EQ(s->stamps[0], 8);
  line_store_set_generation(20);
  ASSERT_NE(filemobj_get_line(s, 0, 1), nullptr);
  EXPECT_EQ(s->stamps[0], 20);
}

TEST_F(LineStore, BudgetModeStampsALineOnlyAtItsFirstUse) {
  filemobj_set_budget_eviction(1);
  filemobj_t* s = make_store(2, 10);
  ASSERT_NE(filemobj_get_line(s, 0, 1), nullptr);
  line_store_set_generation(20);
  ASSERT_NE(filemobj_get_line(s, 0, 0), nullptr);
  EXPECT_EQ(s->stamps[0], 8);
  ASSERT_NE(filemobj_get_line(s, 1, 0), nullptr);
  EXPECT_EQ(s->stamps[1], 20);
}

TEST_F(LineStore, GenerationBeyondItsLimitStartsAgainAboveTheFloor) {
  filemobj_t* s = make_store(2000, 10);
  line_store_set_generation(100000000);
  for (int i = 0; i < 2000; ++i) ASSERT_NE(filemobj_get_line(s, i, 1), nullptr);
  EXPECT_EQ(filemobj_generation(), filemobj_min_generation() + 2);
}

TEST_F(LineStore, MinimumGenerationOnlyEverRisesTheFloor) {
  struct Case {
    int64_t n;
    int32_t floor;
  } const cases[] = {{0, 3}, {999, 3}, {1000, 3}, {5000, 7}, {2000, 7}, {7000, 9}, {-5000, 9}};
  for (const Case& c : cases) {
    filemobj_set_min_generation(c.n);
    EXPECT_EQ(filemobj_min_generation(), c.floor) << c.n;
  }
}

// A floor from a huge line count must leave room for the generation to start again
// above it (it used to reach INT32_MAX, and F + 2 overflowed).
TEST_F(LineStore, GenerationStartsAgainAboveEvenTheHighestFloor) {
  filemobj_set_min_generation(INT64_MAX);
  const int32_t floor = filemobj_min_generation();
  EXPECT_GT(floor, 3);
  filemobj_t* s = make_store(2000, 10);
  line_store_set_generation(100000000);
  for (int i = 0; i < 2000; ++i) ASSERT_NE(filemobj_get_line(s, i, 1), nullptr);
  EXPECT_EQ(int64_t{filemobj_generation()}, int64_t{floor} + 2);
}

// Two threads, each with its own store, reach lines at the same time: the shared
// counters and the use list stay exact.
TEST_F(LineStore, TwoThreadsUsingLinesAtOnceKeepTheSharedStateExact) {
  filemobj_t* a = make_store(0, 512);
  filemobj_t* b = make_store(300, 256);
  const std::string data = stream_bytes(300 * 512);
  std::thread writer([&] { ASSERT_EQ(filemobj_append(a, data.data(), int64_t(data.size())), 0); });
  std::thread painter([&] { fill_lines(b, 300, 256); });
  writer.join();
  painter.join();
  EXPECT_EQ(line_store_held_bytes(), 300 * 512 + 300 * 256);
  EXPECT_EQ(read_all(a), data);
  EXPECT_TRUE(lines_intact(b, 300, 256));
}

}  // namespace

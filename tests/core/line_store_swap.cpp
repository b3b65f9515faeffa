// The line store on disk: swap files and their names, eviction under the memory budget
// and by generation, discardable stores, the use list, deleting and flushing, and the
// swap size shown to the user.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/memory.h"
#include "core/paths.h"
#include "tests/core/line_store_fixture.h"

namespace {

using tm_test::LineStoreFixture;

class LineStoreSwap : public LineStoreFixture {
 protected:
  // Ages every line used so far by `generations` and makes memory short, so that the
  // next allocation evicts whatever is old enough.
  void age_and_squeeze(int32_t generations, double limit = 0) {
    line_store_set_generation(filemobj_generation() + generations);
    set_limit(limit);
  }
};

TEST_F(LineStoreSwap, TenLinesOfAThousandBytesGoToOneFileNamedFromPrefixIdAndZero) {
  filemobj_t* s = make_store(10, 1000);
  fill_lines(s, 10, 1000);
  filemobj_write_all(s);
  EXPECT_EQ(file_size(swap_path(s, 0)), 10000);
  EXPECT_EQ(file_size(swap_path(s, 1)), -1);
  EXPECT_EQ(swap_total_bytes(), 10000.0);
  EXPECT_EQ(line_store_held_bytes(), 0);
  EXPECT_EQ(s->written, 1);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(s->states[i], kLineSaved);
  EXPECT_TRUE(lines_intact(s, 10, 1000));
  EXPECT_EQ(s->written, 0);  // a line loaded again clears the mark
}

TEST_F(LineStoreSwap, AByteStreamWritesOnlyItsDataToSwap) {
  filemobj_t* s = make_store(0, 1000);
  const std::string data = stream_bytes(2500);
  ASSERT_EQ(filemobj_append(s, data.data(), 2500), 0);
  struct Case {
    int64_t line;
    double total;
  } const cases[] = {{0, 1000}, {1, 2000}, {2, 2500}};
  for (const Case& c : cases) {
    swap_write_lines(s, c.line, 1);
    EXPECT_EQ(swap_total_bytes(), c.total) << c.line;
  }
  filemobj_write_all(s);
  EXPECT_EQ(file_text(swap_path(s, 0)), data);
  EXPECT_EQ(read_all(s), data);
}

TEST_F(LineStoreSwap, WritingALineWritesItsBlockOfAHundredLines) {
  filemobj_t* s = make_store(250, 10);
  fill_lines(s, 250, 10);
  swap_write_lines(s, 150, 0);
  for (int i = 0; i < 250; ++i) EXPECT_EQ(s->states[i], i >= 100 && i < 200 ? kLineSaved : kLineUnsaved) << i;
  swap_write_lines(s, 249, 0);
  for (int i = 200; i < 250; ++i) EXPECT_EQ(s->states[i], kLineSaved) << i;
  // A line already saved starts no writing.
  const double total = swap_total_bytes();
  swap_write_lines(s, 150, 0);
  EXPECT_EQ(swap_total_bytes(), total);
}

TEST_F(LineStoreSwap, WithoutATemporaryFolderNothingIsWritten) {
  set_embedded(true);
  filemobj_t* s = make_store(3, 100);
  fill_lines(s, 3, 100);
  filemobj_write_all(s);
  EXPECT_EQ(swap_total_bytes(), 0.0);
  EXPECT_EQ(line_store_held_bytes(), 300);
  EXPECT_EQ(s->written, 0);
  EXPECT_EQ(filemobj_flush_named(s), nullptr);
  age_and_squeeze(50);
  ASSERT_NE(filemobj_get_line(s, 3, 0), nullptr);
  EXPECT_TRUE(lines_intact(s, 3, 100));  // unsaved lines are never released
  set_embedded(false);
}

TEST_F(LineStoreSwap, EvictionUnderASmallBudgetWritesOldLinesAndReadsThemBack) {
  filemobj_t* s = make_store(10, 1000);
  fill_lines(s, 10, 1000);
  age_and_squeeze(50);
  uint8_t* fresh = filemobj_get_line(s, 10, 0);  // the allocation that makes room
  ASSERT_NE(fresh, nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(s->lines[i], nullptr) << i;
  EXPECT_EQ(line_store_held_bytes(), 1000);
  EXPECT_EQ(file_size(swap_path(s, 0)), 10000);
  EXPECT_EQ(swap_total_bytes(), 10000.0);
  set_limit(1e12);
  EXPECT_TRUE(lines_intact(s, 10, 1000));
}

TEST_F(LineStoreSwap, EvictionSparesTheLinesOfTheLastGenerations) {
  filemobj_t* s = make_store(12, 1000);
  fill_lines(s, 6, 1000);
  line_store_set_generation(filemobj_generation() + 10);
  for (int i = 6; i < 11; ++i) ASSERT_NE(filemobj_get_line(s, i, 0), nullptr);
  set_limit(0);
  ASSERT_NE(filemobj_get_line(s, 11, 0), nullptr);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s->lines[i], nullptr) << i;
  for (int i = 6; i < 12; ++i) EXPECT_NE(s->lines[i], nullptr) << i;
  set_limit(1e12);
  EXPECT_TRUE(lines_intact(s, 6, 1000));
}

TEST_F(LineStoreSwap, NothingIsEvictedWhileTheBudgetHoldsTheLine) {
  filemobj_t* s = make_store(10, 1000);
  fill_lines(s, 10, 1000);
  age_and_squeeze(50, 20000.0);
  ASSERT_NE(filemobj_get_line(s, 10, 0), nullptr);
  EXPECT_EQ(line_store_held_bytes(), 11000);
  EXPECT_EQ(swap_total_bytes(), 0.0);
}

TEST_F(LineStoreSwap, BudgetModeStopsEvictingOnceTheLineFits) {
  filemobj_set_budget_eviction(1);
  filemobj_t* s = make_store(10, 1000);
  fill_lines(s, 10, 1000);
  age_and_squeeze(50, 3000.0);
  ASSERT_NE(filemobj_get_line(s, 10, 0), nullptr);
  // 10 lines held against 3000 bytes: nine must go before a 1000-byte line fits.
  for (int i = 0; i < 9; ++i) EXPECT_EQ(s->lines[i], nullptr) << i;
  EXPECT_NE(s->lines[9], nullptr);
  EXPECT_EQ(s->states[9], kLineSaved);  // written with its block, kept in memory
  EXPECT_EQ(line_store_held_bytes(), 2000);
  set_limit(1e12);
  EXPECT_TRUE(lines_intact(s, 10, 1000));
}

// The budget is read from the system only now and then; in between, the line store
// counts its own allocations against it, so a fast producer stays within it.
TEST_F(LineStoreSwap, AFastProducerStaysWithinTheBudgetBetweenReadings) {
  filemobj_set_budget_eviction(1);
  const double limit = 20000;
  set_limit(limit);
  filemobj_t* s = make_store(0, 1000);
  const std::string data = stream_bytes(1000 * 1000);
  for (int64_t done = 0; done < int64_t(data.size()); done += 1000) {
    line_store_set_generation(filemobj_generation() + 5);  // every line already old
    ASSERT_EQ(filemobj_append(s, data.data() + done, 1000), 0);
    ASSERT_LE(double(line_store_held_bytes()), limit) << done;
  }
  set_limit(1e12);
  EXPECT_EQ(read_all(s), data);
}

// A line fetched for writing and still being filled is not written out with the block
// of an older neighbour: taken as saved, it would later be released without the bytes
// put into it since.
TEST_F(LineStoreSwap, ALineBeingFilledIsNotSavedWithItsEvictedNeighbours) {
  filemobj_t* s = make_store(12, 1000);
  fill_lines(s, 10, 1000);
  line_store_set_generation(filemobj_generation() + 50);
  uint8_t* line = filemobj_get_line(s, 5, 0);
  ASSERT_NE(line, nullptr);
  line[0] = 0xEE;
  set_limit(0);
  ASSERT_NE(filemobj_get_line(s, 10, 0), nullptr);  // evicts the old lines of the block
  ASSERT_EQ(s->lines[0], nullptr);
  ASSERT_EQ(s->lines[5], line);
  EXPECT_EQ(s->states[5], kLineUnsaved);
  line[1] = 0xEF;  // still being filled
  line_store_set_generation(filemobj_generation() + 50);
  ASSERT_NE(filemobj_get_line(s, 11, 0), nullptr);  // now line 5 is evicted too
  ASSERT_EQ(s->lines[5], nullptr);
  set_limit(1e12);
  const uint8_t* back = filemobj_get_line(s, 5, 1);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back[0], 0xEE);
  EXPECT_EQ(back[1], 0xEF);
  EXPECT_EQ(back[2], pattern(5, 2, 0));
  // Asked for explicitly, the whole block is written, recent lines included.
  for (int i = 0; i < 10; ++i) ASSERT_NE(filemobj_get_line(s, i, 0), nullptr);
  swap_write_lines(s, 0, 0);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(s->states[i], kLineSaved) << i;
}

// In budget mode a line is stamped only at its first use: the source line of a
// back-copy may be the oldest one, evicted when the destination line is brought in.
TEST_F(LineStoreSwap, CopyBackSurvivesTheEvictionOfItsSourceLine) {
  filemobj_set_budget_eviction(1);
  filemobj_t* s = make_store(0, 1000);
  std::string expected = stream_bytes(2000);
  ASSERT_EQ(filemobj_append(s, expected.data(), 2000), 0);
  line_store_set_generation(filemobj_generation() + 50);
  set_limit(2500);  // room for line 2 only once line 0 is gone
  ASSERT_EQ(filemobj_copy_back(s, 1700, 300), 0);
  EXPECT_EQ(s->lines[0], nullptr);
  expected += expected.substr(300, 300);
  set_limit(1e12);
  EXPECT_EQ(read_all(s), expected);
}

TEST_F(LineStoreSwap, EvictOldWritesEveryLineOlderThanTheFloor) {
  filemobj_t* s = make_store(8, 100);
  fill_lines(s, 8, 100);
  line_store_set_generation(filemobj_generation() + 20);
  filemobj_evict_old();
  EXPECT_EQ(line_store_held_bytes(), 0);
  EXPECT_EQ(file_size(swap_path(s, 0)), 800);
  EXPECT_TRUE(lines_intact(s, 8, 100));
}

TEST_F(LineStoreSwap, DiscardableLinesAreReleasedWithoutBeingWritten) {
  filemobj_t* s = make_store(10, 1000, 3);
  fill_lines(s, 10, 1000);
  age_and_squeeze(50);
  ASSERT_NE(filemobj_get_line(s, 10, 0), nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(s->lines[i], nullptr) << i;
  EXPECT_EQ(swap_total_bytes(), 0.0);
  EXPECT_FALSE(std::filesystem::exists(swap_path(s, 0)));
  set_limit(1e12);
  const uint8_t* again = filemobj_get_line(s, 4, 1);  // to be computed again by its owner
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again[1], 0);
  EXPECT_EQ(s->states[4], kLineDiscardable);
}

TEST_F(LineStoreSwap, AMissingSwapFileGivesZeroFilledLines) {
  filemobj_t* s = make_store(4, 100);
  fill_lines(s, 4, 100);
  filemobj_write_all(s);
  std::filesystem::remove(swap_path(s, 0));
  const uint8_t* line = filemobj_get_line(s, 2, 1);
  ASSERT_NE(line, nullptr);
  for (int k = 0; k < 100; ++k) ASSERT_EQ(line[k], 0);
}

TEST_F(LineStoreSwap, AMissingTemporaryFolderIsCreatedForANewFile) {
  filemobj_t* s = make_store(3, 100);
  fill_lines(s, 3, 100);
  std::filesystem::remove_all(swap_dir_);
  filemobj_write_all(s);
  EXPECT_EQ(file_size(swap_path(s, 0)), 300);
  EXPECT_TRUE(lines_intact(s, 3, 100));
}

TEST_F(LineStoreSwap, CompactionRenumbersTheUseListUnlessTheUserHasWork) {
  filemobj_t* s = make_store(10, 10);
  fill_lines(s, 10, 10);
  line_store_set_generation(filemobj_generation() + 1);
  for (int i = 0; i < 5; ++i) ASSERT_NE(filemobj_get_line(s, i, 1), nullptr);  // 5 holes
  for (int i = 0; i < 10; ++i) EXPECT_EQ(s->uses[i], i < 5 ? 11 + i : 1 + i) << i;

  static int pending;  // read by the hook, which cannot capture
  pending = 1;
  get_line_store_hooks().user_work_pending = [] { return pending; };
  filemobj_compact_use_list();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s->uses[i], 11 + i) << i;

  pending = 0;
  filemobj_compact_use_list();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(s->uses[i], i < 5 ? 6 + i : i - 4) << i;
  // The renumbered list still drives eviction.
  age_and_squeeze(50);
  ASSERT_NE(filemobj_get_line(s, 10, 0), nullptr);
  EXPECT_EQ(line_store_held_bytes(), 10);
  set_limit(1e12);
  EXPECT_TRUE(lines_intact(s, 10, 10));
}

TEST_F(LineStoreSwap, FreeingAStoreDeletesItsSwapFilesAndForgetsItsLines) {
  filemobj_t* s = make_store(10, 1000);
  fill_lines(s, 10, 1000);
  filemobj_write_all(s);
  ASSERT_NE(filemobj_get_line(s, 2, 1), nullptr);
  const std::string path = swap_path(s, 0);
  ASSERT_TRUE(std::filesystem::exists(path));
  free_store(s);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(line_store_held_bytes(), 0);
  // Eviction afterwards finds no trace of the freed store.
  filemobj_t* other = make_store(3, 1000);
  fill_lines(other, 3, 1000);
  age_and_squeeze(50);
  ASSERT_NE(filemobj_get_line(other, 3, 0), nullptr);
  EXPECT_EQ(line_store_held_bytes(), 1000);
}

TEST_F(LineStoreSwap, DeletingTheSwapOfALiveStoreKeepsItsLinesInMemoryUnsaved) {
  filemobj_t* s = make_store(4, 100);
  fill_lines(s, 4, 100);
  swap_write_lines(s, 0, 0);
  filemobj_delete_swap(s);
  EXPECT_FALSE(std::filesystem::exists(swap_path(s, 0)));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(s->states[i], kLineUnsaved) << i;
  filemobj_write_all(s);  // written again from memory
  EXPECT_EQ(file_size(swap_path(s, 0)), 400);
  EXPECT_TRUE(lines_intact(s, 4, 100));
}

TEST_F(LineStoreSwap, CloseFilesAtExitDeletesTheSwapOfEveryStoreAndEndsEcwViews) {
  filemobj_t* a = make_store(2, 100);
  filemobj_t* b = make_store(0, 100);
  fill_lines(a, 2, 100);
  ASSERT_EQ(filemobj_append(b, "xyz", 3), 0);
  filemobj_write_all_stores();
  ASSERT_TRUE(std::filesystem::exists(swap_path(a, 0)));
  ASSERT_EQ(file_size(swap_path(b, 0)), 3);
  static int ecw_closed;  // counted by the hook, which cannot capture
  ecw_closed = 0;
  get_line_store_hooks().close_ecw_views = [] { ++ecw_closed; };
  swap_close_files();
  EXPECT_EQ(ecw_closed, 1);
  EXPECT_FALSE(std::filesystem::exists(swap_path(a, 0)));
  EXPECT_FALSE(std::filesystem::exists(swap_path(b, 0)));
}

TEST_F(LineStoreSwap, FlushNamedGivesTheSingleCompleteFile) {
  filemobj_t* s = make_store(0, 1000);
  const std::string data = stream_bytes(2500);
  ASSERT_EQ(filemobj_append(s, data.data(), 2500), 0);
  char* path = filemobj_flush_named(s);
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(std::string(path), swap_path(s, 0));
  EXPECT_EQ(file_text(path), data);
  free_mem(&path);
  EXPECT_EQ(read_all(s), data);

  filemobj_t* many = make_store(3, (1 << 29) + 1);  // one line per file: three files
  EXPECT_EQ(filemobj_flush_named(many), nullptr);
}

// A byte put into a line that is saved but still in memory makes it unsaved again, so
// that the next writing carries it to disk before the line is released.
TEST_F(LineStoreSwap, ByteAfterASavedLineIsWrittenAgain) {
  filemobj_t* s = make_store(0, 1000);
  const std::string data = stream_bytes(1500);
  ASSERT_EQ(filemobj_append(s, data.data(), 1500), 0);
  char* path = filemobj_flush_named(s);
  ASSERT_NE(path, nullptr);
  free_mem(&path);
  ASSERT_EQ(s->states[1], kLineSaved);
  ASSERT_EQ(filemobj_put_byte(s, 'x'), 0);
  EXPECT_EQ(s->states[1], kLineUnsaved);
  filemobj_write_all(s);
  EXPECT_EQ(file_text(swap_path(s, 0)), data + "x");
  ASSERT_EQ(filemobj_put_byte(s, 'y'), 0);  // into a released line: loaded first
  EXPECT_EQ(read_all(s), data + "xy");
}

TEST_F(LineStoreSwap, SwapSizeIsShownInMegabytesInTheUsersLanguage) {
  static std::string shown;
  get_line_store_hooks().progress_text = [](const char* text) { shown = text; };
  filemobj_t* s = make_store(3, 1000000);
  fill_lines(s, 3, 16);
  filemobj_write_all(s);
  struct Case {
    const char* lang;
    const char* text;
  } const cases[] = {{"ENGLISH", "Swap size 2MB"}, {"FRANCAIS", "Taille du swap 2 Mo"}};
  for (const Case& c : cases) {
    config_reset();
    config_set("LANG", c.lang);
    swap_show_size();
    EXPECT_EQ(shown, c.text);
  }
}

TEST_F(LineStoreSwap, ClosingAndOtherInstanceFlags) {
  EXPECT_EQ(app_is_closing(), 0);
  app_set_closing(1);
  EXPECT_EQ(app_is_closing(), 1);
  app_set_closing(0);
  EXPECT_EQ(app_is_closing(), 0);
  // Other copies of this test program may start or end meanwhile (ctest runs them side
  // by side): the flag must match the count seen just before or just after.
  const int before = count_own_processes() > 1 ? 1 : 0;
  swap_init();
  const int after = count_own_processes() > 1 ? 1 : 0;
  const int flag = app_is_other_instance();
  EXPECT_TRUE(flag == before || flag == after) << flag;
}

// ---- Swap files never lose nor misplace a line ---------------------------------------

// A line larger than 2^30 bytes used to make "lines per file" 0 and divide by it.
TEST_F(LineStoreSwap, LinesPerFileIsAtLeastOneForHugeLines) {
  struct Case {
    int32_t size;
    int64_t per_file;
  } const cases[] = {{1000, (1 << 30) / 1000}, {1 << 29, 2}, {1 << 30, 1}, {(1 << 30) + 1, 1},
                     {0x7fffffff, 1}};
  for (const Case& c : cases) {
    filemobj_t* s = make_store(3, c.size);
    EXPECT_EQ(int64_t{s->lines_per_file}, c.per_file) << c.size;
    EXPECT_EQ(int64_t{s->file_count}, (3 + c.per_file - 1) / c.per_file) << c.size;
    free_store(s);
  }
}

// Rewriting one line of a file that holds released lines must keep them: the file is
// updated in place, never created again.
TEST_F(LineStoreSwap, RewritingALineKeepsTheOtherLinesOfItsFile) {
  filemobj_t* s = make_store(10, 1000);
  fill_lines(s, 10, 1000);
  filemobj_write_all(s);
  uint8_t* line = filemobj_get_line(s, 5, 0);
  ASSERT_NE(line, nullptr);
  line[0] = 0xEE;
  filemobj_write_all(s);
  EXPECT_EQ(file_size(swap_path(s, 0)), 10000);
  const uint8_t* back = filemobj_get_line(s, 5, 1);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back[0], 0xEE);
  for (int k = 1; k < 1000; ++k) ASSERT_EQ(back[k], pattern(5, k, 0));
  for (int i = 0; i < 10; ++i) {
    if (i == 5) continue;
    const uint8_t* other = filemobj_get_line(s, i, 1);
    ASSERT_NE(other, nullptr);
    for (int k = 0; k < 1000; ++k) ASSERT_EQ(other[k], pattern(i, k, 0)) << i;
  }
}

// A file that holds lines but cannot be opened is never replaced by an empty one: the
// line stays in memory, unsaved.
TEST_F(LineStoreSwap, AFileHoldingLinesIsNeverCreatedAgainWhenItCannotBeOpened) {
  filemobj_t* s = make_store(10, 1000);
  fill_lines(s, 10, 1000);
  filemobj_write_all(s);
  uint8_t* line = filemobj_get_line(s, 3, 0);
  ASSERT_NE(line, nullptr);
  line[7] = 0x5A;
  std::filesystem::remove(swap_path(s, 0));
  filemobj_write_all(s);
  EXPECT_FALSE(std::filesystem::exists(swap_path(s, 0)));
  ASSERT_NE(s->lines[3], nullptr);
  EXPECT_EQ(s->states[3], kLineUnsaved);
  EXPECT_EQ(s->lines[3][7], 0x5A);
}

// Low disk space drops the temporary-files setting: later files go to the default
// folder, while a store written before keeps reading and updating its own files.
TEST_F(LineStoreSwap, DroppingTheTemporaryFolderLeavesExistingSwapFilesWhereTheyAre) {
  static int64_t free_space = int64_t(1) << 40;
  free_space = int64_t(1) << 40;
  line_store_set_disk_free_probe([](const char*) { return free_space; });
  filemobj_t* early = make_store(10, 1000);
  fill_lines(early, 10, 1000);
  filemobj_write_all(early);
  const std::string early_file = swap_path(early, 0);
  ASSERT_EQ(file_size(early_file), 10000);

  free_space = 1000;
  filemobj_t* late = make_store(2, 1000);
  fill_lines(late, 2, 1000, 9);
  filemobj_write_all(late);
  const char* now = get_temp_dir();
  ASSERT_NE(now, nullptr);
  EXPECT_NE(std::string(now), prefix_);
  EXPECT_EQ(file_size(std::string(now) + std::to_string(late->id) + "_0"), 2000);
  EXPECT_FALSE(std::filesystem::exists(swap_path(late, 0)));

  uint8_t* line = filemobj_get_line(early, 4, 0);
  ASSERT_NE(line, nullptr);
  line[0] = 0x11;
  filemobj_write_all(early);
  EXPECT_EQ(early->states[4], kLineSaved);
  EXPECT_EQ(early->lines[4], nullptr);
  EXPECT_EQ(file_size(early_file), 10000);
  EXPECT_FALSE(std::filesystem::exists(std::string(now) + std::to_string(early->id) + "_0"));
  const uint8_t* back = filemobj_get_line(early, 4, 1);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back[0], 0x11);
  line = filemobj_get_line(early, 4, 0);
  line[0] = pattern(4, 0, 0);
  EXPECT_TRUE(lines_intact(early, 10, 1000));
  EXPECT_TRUE(lines_intact(late, 2, 1000, 9));
  // Each store's files are deleted where they are.
  const std::string late_file = std::string(now) + std::to_string(late->id) + "_0";
  free_store(early);
  free_store(late);
  EXPECT_FALSE(std::filesystem::exists(early_file));
  EXPECT_FALSE(std::filesystem::exists(late_file));
}

// The low-disk rule asks about the folder the swap files go to, through the nearest
// existing folder when that one is not made yet; a reading that fails (-1) counts as
// enough space and never drops the setting.
TEST_F(LineStoreSwap, LowDiskRuleAsksTheNearestExistingFolderAndKeepsTheSettingWhenUnknown) {
  // The probe answers as the system does: nothing for a folder that does not exist.
  static int64_t free_space = 0;
  static std::vector<std::string> asked;
  line_store_set_disk_free_probe([](const char* folder) {
    asked.push_back(folder);
    return std::filesystem::is_directory(folder) ? free_space : int64_t(-1);
  });
  const struct {
    const char* what;
    const char* suffix;
    int64_t free_space;
    bool dropped;
  } cases[] = {
      {"low, folder made", "s_", 1000, true},
      {"low, folder not made yet", "later/s_", 1000, true},
      {"enough, folder not made yet", "later/s_", int64_t(1) << 40, false},
      {"unknown", "s_", -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string base = tm_test::fresh_dir("low_disk");
    config_temp_dir_set(base.c_str(), c.suffix);
    const std::string prefix = base + c.suffix;
    free_space = c.free_space;
    asked.clear();
    filemobj_t* s = make_store(2, 1000);
    fill_lines(s, 2, 1000);
    filemobj_write_all(s);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), base);
    const char* now = get_temp_dir();
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(std::string(now) != prefix, c.dropped);
    // The lines are written either way, to the folder in force.
    EXPECT_EQ(s->states[0], kLineSaved);
    EXPECT_EQ(file_size(std::string(now) + std::to_string(s->id) + "_0"), 2000);
    EXPECT_TRUE(lines_intact(s, 2, 1000));
    free_store(s);
  }
}

// A byte stream swapped out while it still grows: every line is found again, also when
// a line past a short last line is written before that line is rewritten.
TEST_F(LineStoreSwap, AStreamSwappedWhileGrowingFindsEveryLine) {
  filemobj_t* s = make_store(0, 1000);
  const std::string data = stream_bytes(7300);
  ASSERT_EQ(filemobj_append(s, data.data(), 1500), 0);
  filemobj_write_all(s);  // line 1 written short (500 bytes), both released
  ASSERT_EQ(file_size(swap_path(s, 0)), 1500);
  ASSERT_EQ(filemobj_append(s, data.data() + 1500, 1000), 0);  // line 1 full, line 2 half
  swap_write_lines(s, 2, 1);  // line 2 lands at its own offset, past line 1's end
  filemobj_write_all(s);
  EXPECT_EQ(file_size(swap_path(s, 0)), 2500);
  EXPECT_EQ(read_all(s), data.substr(0, 2500));
  for (int64_t done = 2500; done < 7300; done += 1200) {
    ASSERT_EQ(filemobj_append(s, data.data() + done, std::min<int64_t>(1200, 7300 - done)), 0);
    filemobj_write_all(s);
  }
  EXPECT_EQ(int64_t{s->lines_per_file}, (1 << 30) / 1000);
  EXPECT_EQ(file_text(swap_path(s, 0)), data);
  EXPECT_EQ(read_all(s), data);
}

}  // namespace

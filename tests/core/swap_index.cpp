// The persistent cache of reduced images: records and their lookup, names, rotation,
// and stores cached in the reduced-image folder across runs.
#include <filesystem>
#include <string>
#include <vector>

#include "core/file_ops.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/swap_index.h"
#include "tests/core/line_store_fixture.h"

namespace {

using tm_test::LineStoreFixture;

// What the saved-table hooks saw, and the records the read hook hands back.
struct saved_table {
  int reads = 0;
  std::string read_path;
  std::vector<std::string> queued;
  struct row {
    std::string path, name;
    int ondisk;
    double start, size;
  };
  std::vector<row> rows;
};
saved_table g_table;

int read_table(const char* path, obj_t* index) {
  ++g_table.reads;
  g_table.read_path = path;
  for (const saved_table::row& r : g_table.rows) {
    memobjfile_t* rec = nullptr;
    obj_new_registered(kSwapRecordClass, &rec);
    str_set(r.path.c_str(), &rec->perename);
    str_set(r.name.c_str(), &rec->name);
    rec->ondisk = r.ondisk;
    rec->pstart = r.start;
    rec->psize = r.size;
    index_insert(reinterpret_cast<container_t*>(index), rec);
  }
  return 0;
}

void queue_table(const char* path, obj_t*) { g_table.queued.push_back(path); }

class SwapIndex : public LineStoreFixture {
 protected:
  void SetUp() override {
    LineStoreFixture::SetUp();
    g_table = saved_table{};
    get_line_store_hooks().savfile_read = read_table;
    get_line_store_hooks().savfile_queue = queue_table;
  }

  // Configures the reduced-image folder; returns the cache root ("<folder>v2/").
  std::string configure_cache() {
    const std::string folder = tm_test::fresh_dir("reduce");
    config_set("REDUCE_IMAGE_DIR", folder.c_str());
    root_ = folder + "v2/";
    return root_;
  }

  obj_t* source(const char* path, int64_t size, int64_t start = 0) {
    obj_t* f = tm_test::stub_file(path);
    file_set(f, FF_SIZE, size);
    file_set(f, FF_START, start);
    return f;
  }

  static std::vector<std::string> names() {
    std::vector<std::string> out;
    const container_t* index = swap_index_by_name();
    for (int i = 0; i < obj_list_count(index); ++i)
      out.push_back(reinterpret_cast<memobjfile_t*>(index->elems[i])->name);
    return out;
  }

  static void touch(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    tm_test::write_file(path, text);
  }

  std::string root_;
};

TEST_F(SwapIndex, WithoutAReducedImageFolderNothingHappens) {
  memobjfile_t* rec = reinterpret_cast<memobjfile_t*>(1);
  EXPECT_EQ(swap_record_for(&rec, source("/maps/a.tif", 100)), nullptr);
  EXPECT_EQ(rec, nullptr);
  swap_init();
  EXPECT_EQ(g_table.reads, 0);
  EXPECT_EQ(swap_index_by_path(), nullptr);
  get_line_store_hooks().is_rgb_bitmap = [](obj_t*) { return 1; };
  filemobj_t* s = make_store(4, 100, 2, nullptr, source("/maps/a.tif", 100));
  EXPECT_EQ(s->swap_record, nullptr);
}

TEST_F(SwapIndex, StartUpReadsTheSavedTableOnceAndIndexesItByName) {
  const std::string root = configure_cache();
  g_table.rows = {{"/maps/b.tif", "0/0/0/0/0/0/0/0/0/1", 1, 0, 10},
                  {"/maps/a.tif", "0/0/0/0/0/0/0/0/0/0", 1, 0, 20}};
  swap_init();
  swap_index_init();
  EXPECT_EQ(g_table.reads, 1);
  EXPECT_EQ(g_table.read_path, root + "mof2.sot");
  EXPECT_EQ(obj_list_count(swap_index_by_path()), 2);
  EXPECT_EQ(names(), (std::vector<std::string>{"0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/1"}));
}

TEST_F(SwapIndex, ASourceFindsItsRecordByPathStartSizeAndDate) {
  const std::string root = configure_cache();
  memobjfile_t* first = swap_record_for(nullptr, source("/maps/a.tif", 100));
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->name, "0/0/0/0/0/0/0/0/0/0");
  EXPECT_STREQ(first->perename, "/maps/a.tif");
  EXPECT_EQ(std::string(first->full_path), root + "0/0/0/0/0/0/0/0/0/0");
  EXPECT_EQ(first->ondisk, 0);
  EXPECT_EQ(swap_record_for(nullptr, source("/maps/a.tif", 100)), first);
  struct Case {
    const char* path;
    int64_t size, start;
    const char* name;
  } const cases[] = {
      {"/maps/A.tif", 100, 0, "0/0/0/0/0/0/0/0/0/1"},  // case is kept
      {"/maps/a.tif", 101, 0, "0/0/0/0/0/0/0/0/0/2"},
      {"/maps/a.tif", 100, 8, "0/0/0/0/0/0/0/0/0/3"},
  };
  for (const Case& c : cases) {
    memobjfile_t* rec = swap_record_for(nullptr, source(c.path, c.size, c.start));
    ASSERT_NE(rec, nullptr);
    EXPECT_NE(rec, first);
    EXPECT_STREQ(rec->name, c.name);
  }
  EXPECT_EQ(obj_list_count(swap_index_by_path()), 4);
}

TEST_F(SwapIndex, AFileLeftByARecordNotOnDiskIsRemovedAndAFinishedOneKept) {
  const std::string root = configure_cache();
  g_table.rows = {{"/maps/done.tif", "0/0/0/0/0/0/0/0/0/0", 1, 0, 50},
                  {"/maps/half.tif", "0/0/0/0/0/0/0/0/0/1", 0, 0, 50}};
  touch(root + "0/0/0/0/0/0/0/0/0/0", "done");
  touch(root + "0/0/0/0/0/0/0/0/0/1", "half");
  ASSERT_NE(swap_record_for(nullptr, source("/maps/done.tif", 50)), nullptr);
  ASSERT_NE(swap_record_for(nullptr, source("/maps/half.tif", 50)), nullptr);
  EXPECT_TRUE(std::filesystem::exists(root + "0/0/0/0/0/0/0/0/0/0"));
  EXPECT_FALSE(std::filesystem::exists(root + "0/0/0/0/0/0/0/0/0/1"));
}

TEST_F(SwapIndex, NameNumbersAreTheDigitsOfAName) {
  struct Case {
    const char* name;
    int64_t number;
  } const cases[] = {{"0/0/0/0/0/0/0/0/0/0", 0},   {"0/0/0/0/0/0/0/0/1/2", 12},
                     {"1/2/3", 123},                {"", 0},
                     {"0/9/9/9/9/9/9/9/9/9/9", 9999999999LL}, {"7", 7}};
  for (const Case& c : cases) EXPECT_EQ(swap_name_number(c.name), c.number) << c.name;
  EXPECT_EQ(swap_name_number(nullptr), 0);
}

TEST_F(SwapIndex, NamesCountUpLikeAnOdometer) {
  struct Case {
    const char* before;
    const char* after;
    int counted;
  } const cases[] = {
      {"0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/1", 1},
      {"0/0/0/0/0/0/0/0/0/9", "0/0/0/0/0/0/0/0/1/0", 1},
      {"0/0/0/0/0/0/0/9/9/9", "0/0/0/0/0/0/1/0/0/0", 1},
      {"9/9/9/9/9/9/9/9/9/9", "0/0/0/0/0/0/0/0/0/0", 0},
  };
  for (const Case& c : cases) {
    std::string name = c.before;
    EXPECT_EQ(swap_name_count_up(name.data()), c.counted) << c.before;
    EXPECT_EQ(name, c.after);
  }
}

TEST_F(SwapIndex, ANewRecordTakesTheNameAfterTheLastOrTheFirstGap) {
  struct Case {
    std::vector<std::string> existing;
    const char* next;
  } const cases[] = {
      {{}, "0/0/0/0/0/0/0/0/0/0"},
      {{"0/0/0/0/0/0/0/0/0/0"}, "0/0/0/0/0/0/0/0/0/1"},
      {{"0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/1", "0/0/0/0/0/0/0/0/0/2"}, "0/0/0/0/0/0/0/0/0/3"},
      {{"0/0/0/0/0/0/0/0/0/8", "0/0/0/0/0/0/0/0/0/9", "0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/1",
        "0/0/0/0/0/0/0/0/0/2", "0/0/0/0/0/0/0/0/0/3", "0/0/0/0/0/0/0/0/0/4", "0/0/0/0/0/0/0/0/0/5",
        "0/0/0/0/0/0/0/0/0/6", "0/0/0/0/0/0/0/0/0/7"},
       "0/0/0/0/0/0/0/0/1/0"},
      {{"0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/2"}, "0/0/0/0/0/0/0/0/0/1"},
      {{"0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/1", "0/0/0/0/0/0/0/0/0/5"}, "0/0/0/0/0/0/0/0/0/2"},
      {{"0/0/0/0/0/0/0/0/0/1", "0/0/0/0/0/0/0/0/0/2"}, "0/0/0/0/0/0/0/0/0/0"},
      {{"9/9/9/9/9/9/9/9/9/9"}, "0/0/0/0/0/0/0/0/0/0"},
  };
  for (const Case& c : cases) {
    line_store_reset();
    configure_cache();
    obj_t* file = source("/maps/x.tif", 1);
    for (const std::string& name : c.existing) ASSERT_NE(swap_record_new(name.c_str(), file), nullptr);
    memobjfile_t* rec = swap_record_next_name(file);
    ASSERT_NE(rec, nullptr);
    EXPECT_STREQ(rec->name, c.next) << c.existing.size() << " names";
    EXPECT_EQ(obj_list_count(swap_index_by_name()), int(c.existing.size()) + 1);
  }
}

TEST_F(SwapIndex, RotationMovesTheWholeCacheUnderZero) {
  const std::string root = configure_cache();
  obj_t* a = source("/maps/a.tif", 1);
  obj_t* b = source("/maps/b.tif", 1);
  ASSERT_NE(swap_record_new("0/0/0/0/0/0/0/0/0/0", a), nullptr);
  ASSERT_NE(swap_record_new("3/0/0/0/0/0/0/0/0/0", b), nullptr);
  memobjfile_t* ra = swap_record_for(nullptr, a);
  memobjfile_t* rb = swap_record_for(nullptr, b);
  ASSERT_NE(ra, nullptr);
  ASSERT_NE(rb, nullptr);
  touch(root + "0/0/0/0/0/0/0/0/0/0", "first");
  touch(root + "3/0/0/0/0/0/0/0/0/0", "second");

  swap_rotate();
  EXPECT_EQ(names(), (std::vector<std::string>{"0/0/0/0/0/0/0/0/0/0/0", "0/3/0/0/0/0/0/0/0/0/0"}));
  EXPECT_EQ(std::string(ra->full_path), root + "0/0/0/0/0/0/0/0/0/0/0");
  EXPECT_EQ(std::string(rb->full_path), root + "0/3/0/0/0/0/0/0/0/0/0");
  EXPECT_EQ(file_text(ra->full_path), "first");
  EXPECT_EQ(file_text(rb->full_path), "second");
  EXPECT_FALSE(std::filesystem::exists(root + "3"));
  EXPECT_FALSE(std::filesystem::exists(root + "z"));
  EXPECT_EQ(g_table.queued, std::vector<std::string>{root + "mof2.sot"});
  // Counting goes on with the longer names.
  memobjfile_t* next = swap_record_next_name(source("/maps/c.tif", 1));
  ASSERT_NE(next, nullptr);
  EXPECT_STREQ(next->name, "0/0/0/0/0/0/0/0/0/0/1");
}

// A 24-bit image's store is cached under its record: written once, it is read back by
// the next store of the same source, and its file outlives the store.
TEST_F(SwapIndex, ACachedStoreIsWrittenOnceAndReadByTheNextRun) {
  const std::string root = configure_cache();
  get_line_store_hooks().is_rgb_bitmap = [](obj_t*) { return 1; };
  obj_t* file = source("/maps/photo.tif", 123456);
  filemobj_t* s = make_store(10, 1000, 2, nullptr, file);
  ASSERT_NE(s->swap_record, nullptr);
  memobjfile_t* rec = s->swap_record;
  const std::string path = rec->full_path;
  fill_lines(s, 10, 1000, 3);
  swap_write_lines(s, 0, 1);
  EXPECT_EQ(rec->ondisk, 0);
  EXPECT_TRUE(g_table.queued.empty());
  filemobj_write_all(s);
  EXPECT_EQ(rec->ondisk, 1);
  EXPECT_EQ(g_table.queued, std::vector<std::string>{root + "mof2.sot"});
  EXPECT_EQ(file_size(path), 10000);
  EXPECT_FALSE(std::filesystem::exists(swap_path(s, 0)));
  free_store(s);
  EXPECT_EQ(file_size(path), 10000);

  filemobj_t* again = make_store(10, 1000, 2, nullptr, file);
  ASSERT_EQ(again->swap_record, rec);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(again->states[i], kLineSaved);
  EXPECT_TRUE(lines_intact(again, 10, 1000, 3));
}

TEST_F(SwapIndex, OnlyTwentyFourBitImagesAreCached) {
  configure_cache();
  get_line_store_hooks().is_rgb_bitmap = [](obj_t*) { return 0; };
  filemobj_t* grey = make_store(4, 100, 2, nullptr, source("/maps/grey.tif", 10));
  EXPECT_EQ(grey->swap_record, nullptr);
  get_line_store_hooks().is_rgb_bitmap = [](obj_t*) { return 1; };
  filemobj_t* plain = make_store(4, 100, 0, nullptr, source("/maps/rgb.tif", 10));
  EXPECT_EQ(plain->swap_record, nullptr);
}

TEST_F(SwapIndex, ARecordOnDiskWhoseFileIsGoneIsWrittenAgain) {
  const std::string root = configure_cache();
  g_table.rows = {{"/maps/lost.tif", "0/0/0/0/0/0/0/0/0/0", 1, 0, 77}};
  get_line_store_hooks().is_rgb_bitmap = [](obj_t*) { return 1; };
  filemobj_t* s = make_store(3, 100, 2, nullptr, source("/maps/lost.tif", 77));
  ASSERT_NE(s->swap_record, nullptr);
  EXPECT_EQ(s->swap_record->ondisk, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(s->states[i], kLineUnsaved);
  fill_lines(s, 3, 100);
  filemobj_write_all(s);
  EXPECT_EQ(s->swap_record->ondisk, 1);
  EXPECT_EQ(file_size(root + "0/0/0/0/0/0/0/0/0/0"), 300);
}

// A second live store of the same source, made while the first is still writing the
// cache file, neither removes that file nor writes into it.
TEST_F(SwapIndex, ASecondStoreOfASourceBeingCachedLeavesTheFirstOnesLinesAlone) {
  configure_cache();
  get_line_store_hooks().is_rgb_bitmap = [](obj_t*) { return 1; };
  obj_t* file = source("/maps/twice.tif", 4242);
  filemobj_t* first = make_store(10, 1000, 2, nullptr, file);
  ASSERT_NE(first->swap_record, nullptr);
  const std::string path = first->swap_record->full_path;
  fill_lines(first, 10, 1000, 1);
  for (int i = 0; i < 4; ++i) {
    swap_write_lines(first, i, 1);
    filemobj_release_line(first, i);  // only on disk now
  }
  ASSERT_EQ(file_size(path), 4000);

  filemobj_t* second = make_store(10, 1000, 2, nullptr, file);
  EXPECT_EQ(second->swap_record, nullptr);
  fill_lines(second, 10, 1000, 2);
  filemobj_write_all(second);
  EXPECT_EQ(file_size(path), 4000);
  EXPECT_TRUE(lines_intact(first, 10, 1000, 1));
  EXPECT_TRUE(lines_intact(second, 10, 1000, 2));
  filemobj_write_all(first);
  EXPECT_EQ(first->swap_record->ondisk, 1);
  EXPECT_EQ(file_size(path), 10000);
}

// Only a source with a path can be told apart from another one.
TEST_F(SwapIndex, AStoreWithoutASourcePathIsNotCached) {
  configure_cache();
  get_line_store_hooks().is_rgb_bitmap = [](obj_t*) { return 1; };
  for (obj_t* file : {static_cast<obj_t*>(nullptr), source("", 10)}) {
    filemobj_t* s = make_store(4, 100, 2, nullptr, file);
    EXPECT_EQ(s->swap_record, nullptr);
  }
  EXPECT_EQ(obj_list_count(swap_index_by_path()), 0);
}

// A cache file that does not hold every line at the store's size (cut short, or
// written for another line size) is not read: the lines are made and written again.
TEST_F(SwapIndex, ACacheFileOfTheWrongSizeIsNotRead) {
  struct Case {
    int64_t file_bytes;  // -1: no file
    int64_t lines;
    int32_t line_size;
  } const cases[] = {{-1, 3, 100}, {250, 3, 100}, {300, 3, 150}, {300, 3, 100}};
  const int n = int(sizeof cases / sizeof cases[0]);
  const std::string root = configure_cache();
  for (int k = 0; k < n; ++k)
    g_table.rows.push_back({"/maps/cut" + std::to_string(k) + ".tif", "0/0/0/0/0/0/0/0/0/" + std::to_string(k), 1, 0, 77});
  get_line_store_hooks().is_rgb_bitmap = [](obj_t*) { return 1; };
  for (int k = 0; k < n; ++k) {
    const Case& c = cases[k];
    SCOPED_TRACE(c.file_bytes);
    const std::string path = root + g_table.rows[size_t(k)].name;
    if (c.file_bytes >= 0) touch(path, std::string(size_t(c.file_bytes), 'c'));
    filemobj_t* s = make_store(c.lines, c.line_size, 2, nullptr, source(g_table.rows[size_t(k)].path.c_str(), 77));
    ASSERT_NE(s->swap_record, nullptr);
    ASSERT_EQ(std::string(s->swap_record->full_path), path);
    const bool usable = c.file_bytes == c.lines * c.line_size;
    EXPECT_EQ(s->swap_record->ondisk, usable ? 1 : 0);
    for (int64_t i = 0; i < c.lines; ++i) EXPECT_EQ(s->states[i], usable ? kLineSaved : kLineUnsaved);
    if (usable) {
      EXPECT_EQ(filemobj_get_line(s, 2, 1)[99], 'c');
      continue;
    }
    fill_lines(s, c.lines, c.line_size);
    filemobj_write_all(s);
    EXPECT_EQ(s->swap_record->ondisk, 1);
    EXPECT_EQ(file_size(path), c.lines * c.line_size);
  }
}

}  // namespace

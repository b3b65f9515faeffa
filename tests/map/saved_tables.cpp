// Saved tables: written and read back, refused whole when corrupt (the table keeps what
// it held), the backup kept until a write is complete, the newest complete table kept
// on reading, no pointer ever written, and the line store's swap index saved and read
// back through its hooks.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/index.h"
#include "core/line_store_record.h"
#include "core/memory.h"
#include "core/swap_index.h"
#include "core/wstring.h"
#include "tests/map/file_fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes read_bytes(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
void write_bytes(const std::string& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
uint32_t u32_at(const Bytes& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void put_u32(Bytes* b, size_t at, uint32_t v) { std::memcpy(b->data() + at, &v, 4); }

constexpr int kAttrs = kMemobjfileAttrCount;  // 9
constexpr size_t kWidths = 24;                // offset of the widths

class SavedTables : public tm_test::FileFixture {
 protected:
  void SetUp() override {
    FileFixture::SetUp();
    table_ = new_table();
  }
  void TearDown() override {
    free_table(&table_);
    FileFixture::TearDown();
  }

  static container_t* new_table() {
    container_t* t = nullptr;
    index_create(kMemFileClass, AT_STRING, int(offsetof(memobjfile_t, perename)), &t);
    return t;
  }
  static void free_table(container_t** t) {
    set_gblerr(0);
    if (!*t) return;
    obj_list_free_elements(*t);
    free_obj(t);
  }
  static memobjfile_t* add(container_t* t, const char* src, const char* name, double start,
                           double size, int ondisk = 1) {
    memobjfile_t* r = nullptr;
    obj_new_registered(kMemFileClass, &r);
    str_set(src, &r->perename);
    str_set(name, &r->name);
    r->ondisk = ondisk;
    r->pstart = start;
    r->psize = size;
    r->pdate = 20240102.5;
    index_insert(t, r);
    return r;
  }
  int write(const std::string& p, container_t* t) {
    fileatt_t* f = file_open(nullptr, nullptr, p.c_str(), nullptr);
    return savfile_write(f, t);
  }
  static std::vector<std::string> sources(const container_t* t) {
    std::vector<std::string> out;
    for (int i = 0; i < obj_list_count(t); ++i)
      out.push_back(static_cast<memobjfile_t*>(t->elems[i])->perename);
    return out;
  }

  container_t* table_ = nullptr;
};

TEST_F(SavedTables, AnEmptyTableIsHeaderWidthsAndAZeroCheckSum) {
  const std::string p = path("empty.sot");
  ASSERT_EQ(write(p, table_), 0);
  const Bytes b = read_bytes(p);
  ASSERT_EQ(b.size(), size_t(24 + 4 * kAttrs + 4));
  EXPECT_EQ(std::memcmp(b.data(), "Tarmelo\0", 8), 0);
  EXPECT_EQ(u32_at(b, 8), 1u);
  EXPECT_EQ(u32_at(b, 12), uint32_t(kMemFileClass));
  EXPECT_EQ(u32_at(b, 16), 0u);
  EXPECT_EQ(u32_at(b, 20), uint32_t(kAttrs));
  EXPECT_EQ(u32_at(b, b.size() - 4), 0u);
  container_t* back = new_table();
  EXPECT_EQ(savfile_read(p.c_str(), back, nullptr), SAVFILE_OK);
  EXPECT_EQ(obj_list_count(back), 0);
  free_table(&back);
}

TEST_F(SavedTables, RecordsComeBackWithNewIdsAndTheirValues) {
  memobjfile_t* a = add(table_, "/maps/abcdefghij", "0/0/0/0/0/0/0/0/0/1", 10, 2000);
  add(table_, "/maps/b.tif", "0/0/0/0/0/0/0/0/0/0", 0, 3e9, 0);
  const std::string p = path("mof2.sot");
  ASSERT_EQ(write(p, table_), 0);
  EXPECT_FALSE(std::filesystem::exists(p + "sav"));
  const Bytes b = read_bytes(p);
  // Widths: id, type, two strings (16 characters + 1 -> 20; 19 + 1 -> 20), then values.
  const uint32_t widths[kAttrs] = {4, 4, 20, 20, 4, 4, 8, 8, 8};
  for (int i = 0; i < kAttrs; ++i) EXPECT_EQ(u32_at(b, kWidths + 4 * i), widths[i]) << i;
  const size_t rows = kWidths + 4 * kAttrs, row = 80;
  ASSERT_EQ(b.size(), rows + 2 * row + 4);
  const uint32_t id0 = u32_at(b, rows), id1 = u32_at(b, rows + row);
  EXPECT_EQ(u32_at(b, b.size() - 4), id0 + id1);
  EXPECT_TRUE(id0 == uint32_t(a->id) || id1 == uint32_t(a->id));

  container_t* back = new_table();
  fileatt_t* f = nullptr;
  ASSERT_EQ(savfile_read(p.c_str(), back, &f), SAVFILE_OK);
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(file_get_name(f), p.c_str());
  ASSERT_EQ(obj_list_count(back), 2);
  EXPECT_EQ(sources(back), sources(table_));
  auto* r = static_cast<memobjfile_t*>(back->elems[0]);
  EXPECT_STREQ(r->name, "0/0/0/0/0/0/0/0/0/1");
  EXPECT_EQ(int(r->ondisk), 1);
  EXPECT_EQ(double(r->pstart), 10.0);
  EXPECT_EQ(double(r->psize), 2000.0);
  EXPECT_EQ(double(r->pdate), 20240102.5);
  EXPECT_EQ(r->cls, kMemFileClass);
  EXPECT_NE(r->id, a->id);
  EXPECT_EQ(double(static_cast<memobjfile_t*>(back->elems[1])->psize), 3e9);
  free_table(&back);
}

TEST_F(SavedTables, ATenCharacterStringGetsWidthTwelve) {
  add(table_, "/abcdefghi", "", 0, 0);  // 10 characters: 11 raised to 12
  const std::string p = path("w.sot");
  ASSERT_EQ(write(p, table_), 0);
  const Bytes b = read_bytes(p);
  EXPECT_EQ(u32_at(b, kWidths + 8), 12u);
  EXPECT_EQ(u32_at(b, kWidths + 12), 4u);  // an empty string keeps its base width
}

// Every kind of damage is refused whole, and the table keeps what it held before.
TEST_F(SavedTables, ACorruptFileIsRefusedAndTheTableKeepsItsRecords) {
  add(table_, "/maps/a.tif", "0/0/0/0/0/0/0/0/0/0", 0, 100);
  add(table_, "/maps/b.tif", "0/0/0/0/0/0/0/0/0/1", 0, 200);
  const std::string good = path("good.sot");
  ASSERT_EQ(write(good, table_), 0);
  const Bytes base = read_bytes(good);
  const size_t rows = kWidths + 4 * kAttrs, row = 4 + 4 + 12 + 20 + 4 + 4 + 8 + 8 + 8;
  ASSERT_EQ(base.size(), rows + 2 * row + 4);
  struct Case {
    const char* what;
    int expected;
    void (*damage)(Bytes* b, size_t rows, size_t row);
  } const cases[] = {
      {"empty file", SAVFILE_CORRUPT, [](Bytes* b, size_t, size_t) { b->clear(); }},
      {"cut in the header", SAVFILE_CORRUPT, [](Bytes* b, size_t, size_t) { b->resize(20); }},
      {"cut in the widths", SAVFILE_CORRUPT, [](Bytes* b, size_t, size_t) { b->resize(30); }},
      {"cut in a row", SAVFILE_CORRUPT,
       [](Bytes* b, size_t rows, size_t row) { b->resize(rows + row + 7); }},
      {"check sum missing", SAVFILE_CORRUPT, [](Bytes* b, size_t, size_t) { b->resize(b->size() - 4); }},
      {"check sum altered", SAVFILE_CORRUPT,
       [](Bytes* b, size_t, size_t) { (*b)[b->size() - 1] ^= 0x40; }},
      {"bad magic", SAVFILE_FOREIGN, [](Bytes* b, size_t, size_t) { (*b)[0] = 'X'; }},
      {"version 2", SAVFILE_FOREIGN, [](Bytes* b, size_t, size_t) { put_u32(b, 8, 2); }},
      {"another class", SAVFILE_FOREIGN, [](Bytes* b, size_t, size_t) { put_u32(b, 12, 27); }},
      {"attribute count", SAVFILE_FOREIGN, [](Bytes* b, size_t, size_t) { put_u32(b, 20, 12); }},
      {"record count too large", SAVFILE_CORRUPT,
       [](Bytes* b, size_t, size_t) { put_u32(b, 16, 3); }},
      {"record count huge", SAVFILE_CORRUPT,
       [](Bytes* b, size_t, size_t) { put_u32(b, 16, 0xFFFFFFFFu); }},
      {"value width wider than the attribute", SAVFILE_CORRUPT,
       [](Bytes* b, size_t, size_t) { put_u32(b, kWidths + 4 * 6, 4096); }},
      {"value width narrower", SAVFILE_CORRUPT,
       [](Bytes* b, size_t, size_t) { put_u32(b, kWidths + 4 * 4, 2); }},
      {"id width zero", SAVFILE_CORRUPT, [](Bytes* b, size_t, size_t) { put_u32(b, kWidths, 0); }},
      {"string width zero", SAVFILE_CORRUPT,
       [](Bytes* b, size_t, size_t) { put_u32(b, kWidths + 8, 0); }},
      {"string width not a multiple of 4", SAVFILE_CORRUPT,
       [](Bytes* b, size_t, size_t) { put_u32(b, kWidths + 8, 13); }},
      {"string width beyond any row", SAVFILE_CORRUPT,
       [](Bytes* b, size_t, size_t) { put_u32(b, kWidths + 8, 0xFFFFFFF0u); }},
      {"a row of another class", SAVFILE_CORRUPT,
       [](Bytes* b, size_t rows, size_t row) { put_u32(b, rows + row + 4, 25); }},
  };
  for (const Case& c : cases) {
    Bytes b = base;
    c.damage(&b, rows, row);
    const std::string p = path("bad.sot");
    write_bytes(p, b);
    container_t* t = new_table();
    add(t, "/kept.tif", "9", 0, 1);
    EXPECT_EQ(savfile_read(p.c_str(), t, nullptr), c.expected) << c.what;
    EXPECT_EQ(sources(t), std::vector<std::string>{"/kept.tif"}) << c.what;
    EXPECT_EQ(get_gblerr(), 0) << c.what;
    EXPECT_EQ(obj_class_count(kMemFileClass, nullptr), 3) << c.what;  // nothing leaked
    free_table(&t);
  }
  container_t* t = new_table();
  EXPECT_EQ(savfile_read(path("absent.sot").c_str(), t, nullptr), SAVFILE_NO_FILE);
  free_table(&t);
}

// A write that completed but could not remove its backup: the file is the newest table
// and is kept; a file cut short by an interrupted write gives way to its backup.
TEST_F(SavedTables, TheReaderKeepsTheNewestCompleteTable) {
  const std::string p = path("mof2.sot");
  add(table_, "/old.tif", "0", 0, 1);
  ASSERT_EQ(write(p, table_), 0);
  const Bytes old_bytes = read_bytes(p);
  add(table_, "/new.tif", "1", 0, 1);
  ASSERT_EQ(write(p, table_), 0);
  const Bytes new_bytes = read_bytes(p);

  // The table read back, the backup gone and the file left holding `kept`.
  auto expect_read = [&](const std::vector<std::string>& want, const Bytes& kept) {
    container_t* t = new_table();
    ASSERT_EQ(savfile_read(p.c_str(), t, nullptr), SAVFILE_OK);
    EXPECT_EQ(sources(t), want);
    EXPECT_FALSE(std::filesystem::exists(p + "sav"));
    EXPECT_EQ(read_bytes(p), kept);
    free_table(&t);
  };

  // Completed write, backup left over.
  write_bytes(p + "sav", old_bytes);
  expect_read({"/new.tif", "/old.tif"}, new_bytes);

  // Interrupted write: the backup takes the file's place.
  Bytes cut = new_bytes;
  cut.resize(cut.size() / 2);
  write_bytes(p, cut);
  write_bytes(p + "sav", old_bytes);
  expect_read({"/old.tif"}, old_bytes);
}

TEST_F(SavedTables, AWriteThatCannotOpenItsFileLeavesTheBackup) {
  const std::string p = path("t.sot");
  add(table_, "/a.tif", "0", 0, 1);
  ASSERT_EQ(write(p, table_), 0);
  const Bytes before = read_bytes(p);
  fileatt_t* f = file_open(nullptr, nullptr, p.c_str(), nullptr);
  std::filesystem::permissions(p, std::filesystem::perms::owner_read);
  if (FILE* probe = std::fopen(p.c_str(), "wb")) {  // running with rights that ignore modes
    std::fclose(probe);
    write_bytes(p, before);
    GTEST_SKIP() << "file modes are not enforced here";
  }
  add(table_, "/b.tif", "1", 0, 1);
  EXPECT_EQ(savfile_write(f, table_), 2);
  EXPECT_EQ(read_bytes(p), before);
  EXPECT_EQ(read_bytes(p + "sav"), before);
  std::filesystem::permissions(p, std::filesystem::perms::owner_all);
}

// Reference and list fields hold addresses in memory: the file gets zeros, and a read
// never restores them. Wide strings travel as UTF-16 text.
TEST_F(SavedTables, NoPointerIsWrittenAndWideTextComesBack) {
  static const attr_desc attrs[] = {{"id", AT_ID},        {"type", AT_INT},
                                    {"ref", AT_REF},      {"label", AT_WSTRING},
                                    {"items", AT_LIST},   {"n", AT_INT}};
  static const objdesc desc = {"savtest", 6, attrs};
  int cls = 0;
  obj_register_user_class(&desc, &cls);
  ASSERT_GT(cls, 1000);
  ASSERT_LT(cls, 65536);
  const int ref_at = attr_offset_in(attrs, 2), label_at = attr_offset_in(attrs, 3);
  const int list_at = attr_offset_in(attrs, 4), n_at = attr_offset_in(attrs, 5);
  container_t* t = nullptr;
  index_create(cls, AT_INT, n_at, &t);
  obj_t* rec = nullptr;
  obj_new_registered(cls, &rec);
  field_store<obj_t*>(rec, ref_at, reinterpret_cast<obj_t*>(t));
  field_store<container_t*>(rec, list_at, t);
  char16_t* label = nullptr;
  wstr_set(u"Été", &label);
  field_store(rec, label_at, label);
  field_store<int32_t>(rec, n_at, 42);
  index_insert(t, rec);

  const std::string p = path("ptr.sot");
  ASSERT_EQ(write(p, t), 0);
  const Bytes b = read_bytes(p);
  const uintptr_t addr = reinterpret_cast<uintptr_t>(t);
  for (size_t i = 0; i + 4 <= b.size(); ++i)
    ASSERT_NE(u32_at(b, i), uint32_t(addr)) << "an address at byte " << i;
  EXPECT_EQ(u32_at(b, kWidths + 8), 4u);   // reference: 4 bytes of zeros
  EXPECT_EQ(u32_at(b, kWidths + 12), 12u); // 3 characters * 2 + 4 = 10, raised to 12

  container_t* back = nullptr;
  index_create(cls, AT_INT, n_at, &back);
  ASSERT_EQ(savfile_read(p.c_str(), back, nullptr), SAVFILE_OK);
  ASSERT_EQ(obj_list_count(back), 1);
  obj_t* got = back->elems[0];
  EXPECT_EQ(field_load<obj_t*>(got, ref_at), nullptr);
  EXPECT_EQ(field_load<container_t*>(got, list_at), nullptr);
  EXPECT_EQ(field_load<int32_t>(got, n_at), 42);
  char16_t* text = field_load<char16_t*>(got, label_at);
  EXPECT_EQ(std::u16string(text), u"Été");
  free_mem(&text);
  free_mem(&label);
  char* raw = reinterpret_cast<char*>(got);
  free_mem(&raw);
  raw = reinterpret_cast<char*>(rec);
  free_mem(&raw);
  obj_list_clear(back);
  obj_list_clear(t);
  free_obj(&back);
  free_obj(&t);
}

TEST_F(SavedTables, TheQueueWritesEachPairOnceInOrder) {
  add(table_, "/a.tif", "0", 0, 1);
  container_t* other = new_table();
  fileatt_t* f1 = file_open(nullptr, nullptr, path("one.sot").c_str(), nullptr);
  fileatt_t* f2 = file_open(nullptr, nullptr, path("two.sot").c_str(), nullptr);
  savfile_queue(table_, f1);
  savfile_queue(table_, f1);
  savfile_queue(other, f2);
  savfile_queue(nullptr, f2);
  EXPECT_EQ(savfile_queue_count(), 2);
  savfile_flush();
  EXPECT_EQ(savfile_queue_count(), 0);
  EXPECT_EQ(u32_at(read_bytes(path("one.sot")), 16), 1u);
  EXPECT_EQ(u32_at(read_bytes(path("two.sot")), 16), 0u);
  free_table(&other);
}

// The line store's swap index goes to "mof2.sot" in the reduced-image folder through
// the queue hook and comes back at the next start through the read hook.
TEST_F(SavedTables, TheSwapIndexIsSavedAndReadBack) {
  const std::string folder = tm_test::fresh_dir("reduce");
  config_set("REDUCE_IMAGE_DIR", folder.c_str());
  const char* cache = get_reduce_image_dir();
  ASSERT_NE(cache, nullptr);
  tm_test::write_file(path("photo.tif"), "0123456789");
  fileatt_t* src = file_open(nullptr, nullptr, path("photo.tif").c_str(), nullptr);
  swap_index_init();
  ASSERT_NE(swap_record_new("0/0/0/0/0/0/0/0/0/0", src), nullptr);
  ASSERT_NE(swap_record_new("0/0/0/0/0/0/0/0/0/1", src), nullptr);
  const std::string sot = std::string(cache) + kSwapIndexFile;
  get_line_store_hooks().savfile_queue(sot.c_str(), reinterpret_cast<obj_t*>(swap_index_by_path()));
  get_line_store_hooks().savfile_queue(sot.c_str(), reinterpret_cast<obj_t*>(swap_index_by_path()));
  EXPECT_EQ(savfile_queue_count(), 1);
  savfile_flush();
  ASSERT_TRUE(std::filesystem::exists(sot));

  line_store_reset();  // the next run: nothing in memory, the index read from disk
  swap_index_init();
  container_t* by_name = swap_index_by_name();
  ASSERT_EQ(obj_list_count(by_name), 2);
  auto* r = static_cast<memobjfile_t*>(by_name->elems[1]);
  EXPECT_STREQ(r->name, "0/0/0/0/0/0/0/0/0/1");
  EXPECT_STREQ(r->perename, path("photo.tif").c_str());
  EXPECT_EQ(double(r->psize), 10.0);
}

}  // namespace

namespace {

// A reader that does not ask for the file object leaves none behind, whatever the file
// held; one that asks gets it.
TEST_F(SavedTables, AReadLeavesNoFileObjectUnlessAskedFor) {
  add(table_, "/a.tif", "0", 0, 1);
  const std::string good = path("good.sot"), cut = path("cut.sot");
  ASSERT_EQ(write(good, table_), 0);
  Bytes b = read_bytes(good);
  b.resize(b.size() - 2);
  write_bytes(cut, b);
  const int files = obj_class_count(kFileClass, nullptr);
  for (const std::string& p : {good, cut, path("absent.sot")}) {
    container_t* t = new_table();
    savfile_read(p.c_str(), t, nullptr);
    EXPECT_EQ(obj_class_count(kFileClass, nullptr), files) << p;
    free_table(&t);
  }
  container_t* t = new_table();
  fileatt_t* f = nullptr;
  ASSERT_EQ(savfile_read(good.c_str(), t, &f), SAVFILE_OK);
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(file_get_name(f), good.c_str());
  free_table(&t);
}

// When the previous file cannot be copied to its backup (here a folder stands in the
// backup's place), the write is refused and the previous file stays as it was.
TEST_F(SavedTables, AWriteWithoutBackupLeavesThePreviousFile) {
  const std::string p = path("t.sot");
  add(table_, "/a.tif", "0", 0, 1);
  ASSERT_EQ(write(p, table_), 0);
  const Bytes before = read_bytes(p);
  std::filesystem::create_directories(p + "sav");
  add(table_, "/b.tif", "1", 0, 1);
  EXPECT_EQ(write(p, table_), 2);
  EXPECT_EQ(read_bytes(p), before);
  std::filesystem::remove(p + "sav");
  EXPECT_EQ(write(p, table_), 0);
  EXPECT_EQ(u32_at(read_bytes(p), 16), 2u);
}

// A path that cannot be created (a file stands where its folder should be): the write
// reports it and nothing is written beside it.
TEST_F(SavedTables, AWriteToAnUnreachablePathReportsIt) {
  tm_test::write_file(path("blocker"), "x");
  add(table_, "/a.tif", "0", 0, 1);
  fileatt_t* f = file_open(nullptr, nullptr, path("blocker/t.sot").c_str(), nullptr);
  EXPECT_EQ(savfile_write(f, table_), 2);
  EXPECT_EQ(savfile_write(nullptr, table_), 2);
  EXPECT_EQ(savfile_write(f, nullptr), 2);
  EXPECT_EQ(read_bytes(path("blocker")), Bytes{'x'});
}

}  // namespace

// File lists read through identification: version-1 entries (files, folders expanded
// into their files, web addresses and image streams), version-2 entries (keys cut to
// eight characters, paths relative to the list), files already held skipped, lists that
// name themselves or their own folder, and damaged lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "formats/file_list.h"
#include "tests/formats/load_fixture.h"

namespace {

class FileListRead : public tm_test::LoadFixture {
 protected:
  void TearDown() override {
    file_list_keys_clear();
    // The file objects are freed with every other file of the test, not by their lists.
    for (container_t* d : dests_) obj_list_clear(d);
    LoadFixture::TearDown();
  }

  // Identifies the list file at `path` with a fresh destination list; the names found.
  std::vector<std::string> expand(const std::string& path, container_t** out = nullptr) {
    fileatt_t* list_file = open(path);
    container_t* dest = new_list();
    dests_.push_back(dest);
    file_identify_and_load(list_file, reinterpret_cast<obj_t*>(dest), 0);
    if (out) *out = dest;
    std::vector<std::string> names;
    for (int i = 0; i < obj_list_count(dest); ++i) names.push_back(file_of(dest->elems[i])->name);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> expand_text(const std::string& name, const std::string& text) {
    return expand(put(name, text));
  }

  std::vector<container_t*> dests_;
};

TEST_F(FileListRead, VersionOneTakesFilesAndSkipsMissingEntries) {
  const std::string a = put("a.gpx", tm_test::gpx_doc("A"));
  const std::string b = put("b.gpx", tm_test::gpx_doc("B"));
  const std::string text = "FileList V1.0\r\n" + a + "   \r\n" + dir_ + "missing.gpx\n\nx\n" + b;
  EXPECT_EQ(expand_text("one.lst", text), (std::vector<std::string>{a, b}));
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(FileListRead, VersionOneFolderBringsEveryFileBelowIt) {
  const std::string sub = dir_ + "maps/";
  std::filesystem::create_directories(sub + "deep");
  const std::string x = tm_test::write_file(sub + "x.gpx", tm_test::gpx_doc("X"));
  const std::string y = tm_test::write_file(sub + "deep/y.gpx", tm_test::gpx_doc("Y"));
  int n = 0;
  for (const std::string& entry : {dir_ + "maps", dir_ + "maps/"}) {
    SCOPED_TRACE(entry);
    EXPECT_EQ(expand_text("folder" + std::to_string(n++) + ".lst", "FileList V1.0\n" + entry + "\n"),
              (std::vector<std::string>{y, x}));
  }
}

TEST_F(FileListRead, HeldIdentifiedFilesAreSkipped) {
  const std::string a = put("held.gpx", tm_test::gpx_doc("H"));
  const std::string b = put("fresh.gpx", tm_test::gpx_doc("F"));
  fileatt_t* held = open(a);
  file_identify_and_load_default(held);
  ASSERT_EQ(int(held->filetype), kFileKindGps);
  EXPECT_EQ(expand_text("held.lst", "FileList V1.0\n" + a + "\n" + b + "\n"),
            std::vector<std::string>{b});
}

TEST_F(FileListRead, WebAddressesByVersion) {
  struct row {
    const char* header;
    const char* entry;
    bool taken;
  };
  const row rows[] = {
      {"FileList V1.0", "http://127.0.0.1:9/a.gpx", true},
      {"FileList V1.0", "ecwp://127.0.0.1/image.ecw", true},
      {"GeoFileList V2.0", "KEY http://127.0.0.1:9/a.gpx", true},
      {"GeoFileList V2.0", "KEY ecwp://127.0.0.1/image.ecw", false},
  };
  int n = 0;
  for (const row& r : rows) {
    SCOPED_TRACE(r.entry);
    const std::vector<std::string> names =
        expand_text("web" + std::to_string(n++) + ".lst", std::string(r.header) + "\n" + r.entry + "\n");
    EXPECT_EQ(names.size(), r.taken ? 1u : 0u);
  }
}

TEST_F(FileListRead, VersionTwoKeysAndRelativePaths) {
  std::filesystem::create_directories(dir_ + "sub");
  const std::string a = put("sub/a.gpx", tm_test::gpx_doc("A"));
  const std::string b = put("b.gpx", tm_test::gpx_doc("B"));
  const std::string text = "GeoFileList V2.0\nLONGKEY123   sub/a.gpx\nK2\t" + b + "  \nK3 gone.gpx\nK4 sub\n";
  container_t* dest = nullptr;
  EXPECT_EQ(expand(put("two.lst", text), &dest), (std::vector<std::string>{b, dir_ + "sub/a.gpx"}));
  ASSERT_EQ(obj_list_count(dest), 2);
  for (int i = 0; i < 2; ++i) {
    const fileatt_t* f = file_of(dest->elems[i]);
    const std::string name = f->name;
    EXPECT_EQ(file_list_key(f), name == b ? "K2" : "LONGKEY1") << name;
    EXPECT_TRUE(std::filesystem::exists(name)) << a;
  }
}

TEST_F(FileListRead, ListsNamingThemselvesOrTheirFolderEnd) {
  const std::string a = put("a.gpx", tm_test::gpx_doc("A"));
  // The list itself is held as an identified file object (kind 9): it is skipped when
  // named, and its folder brings it back as the same object, never read again.
  const std::string self = dir_ + "self.lst";
  EXPECT_EQ(expand(put("self.lst", "FileList V1.0\n" + self + "\n")), std::vector<std::string>{});
  std::filesystem::remove(self);
  const std::string own = dir_ + "own.lst";
  EXPECT_EQ(expand(put("own.lst", "FileList V1.0\n" + dir_ + "\n")), (std::vector<std::string>{a, own}));
  fileatt_t* held = nullptr;
  file_find_by_name(own.c_str(), &held);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(int(held->filetype), kFileKindFileList);
}

TEST_F(FileListRead, DamagedListsAddNothingAndNeverFail) {
  const std::string a = put("a.gpx", tm_test::gpx_doc("A"));
  struct row {
    const char* name;
    std::string text;
    std::vector<std::string> expected;
  };
  const std::string long_line(5000, 'z');
  const row rows[] = {
      {"other header", "FileList V9.9\n" + a + "\n", {}},
      {"header only, no end of line", "FileList V1.0", {}},
      {"truncated entry", "FileList V1.0\n" + a.substr(0, a.size() - 3), {}},
      {"NUL inside an entry", "FileList V1.0\n" + a + std::string(1, '\0') + "x\n" + a + "\n", {a}},
      {"invalid UTF-8", "FileList V1.0\n\xff\xfe\xc3(\n" + a + "\n", {a}},
      {"absurd line", "FileList V1.0\n" + long_line + "\n" + a + "\n", {a}},
      {"entry longer than a line", "FileList V1.0\n" + std::string(990, 'z') + a + "\n", {}},
      {"version two, key only", "GeoFileList V2.0\nKEYONLY\n\xff\xff " + long_line + "\n", {}},
  };
  int n = 0;
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(expand_text("bad" + std::to_string(n++) + ".lst", r.text), r.expected);
    EXPECT_EQ(get_gblerr(), 0);
  }
}

TEST_F(FileListRead, ReaderWithoutListOrFileDoesNothing) {
  const std::string a = put("a.gpx", tm_test::gpx_doc("A"));
  fileatt_t* f = open(put("n.lst", "FileList V1.0\n" + a + "\n"));
  EXPECT_EQ(read_filelist(reinterpret_cast<obj_t*>(f), nullptr), 0);
  container_t* dest = new_list();
  EXPECT_EQ(read_filelist(nullptr, dest), 0);
  EXPECT_EQ(obj_list_count(dest), 0);
  // A list file that has gone away since it was opened cannot be read: error 2.
  std::filesystem::remove(f->name);
  rd_close_file(f);
  EXPECT_EQ(read_filelist(reinterpret_cast<obj_t*>(f), dest), 2);
  EXPECT_EQ(obj_list_count(dest), 0);
  set_gblerr(0);
}

}  // namespace

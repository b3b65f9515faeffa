// The stand-alone rules of browsing: the slideshow delay ladder, the path a fetched web
// image is saved under (never outside its folder), and the trash folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_trash.h"
#include "tests/support/test_env.h"

namespace fs = std::filesystem;

namespace {

TEST(SbDelayLadder, OneStepFromEachRung) {
  struct step_case {
    int from, step, to;
  } cases[] = {
      {5000, -1, 4000}, {4000, -1, 3000}, {3000, -1, 2000}, {2000, -1, 1500}, {1500, -1, 1000},
      {1000, -1, 600},  {600, -1, 300},   {300, -1, 300},   {300, 1, 600},    {600, 1, 1000},
      {1000, 1, 1500},  {1500, 1, 2000},  {2000, 1, 3000},  {3000, 1, 4000},  {2500, -1, 1500},
      {700, 1, 700},    {700, -1, 700},   {100, -1, 100},
  };
  for (const step_case& c : cases)
    EXPECT_EQ(sb_delay_after_step(c.from, c.step), c.to) << c.from << " step " << c.step;
}

TEST(SbDelayLadder, FiveSecondsSteppedDownFourTimes) {
  int d = 5000;
  int seen[4];
  for (int& s : seen) s = d = sb_delay_after_step(d, -1);
  EXPECT_EQ(seen[0], 4000);
  EXPECT_EQ(seen[1], 3000);
  EXPECT_EQ(seen[2], 2000);
  EXPECT_EQ(seen[3], 1500);
}

TEST(SbWebSavePath, NameWithoutItsRootUnderTheFolder) {
  struct path_case {
    const char* url;
    const char* expected;  // "" refused
  } cases[] = {
      {"http://host.example/img/a.jpg", "/f/img/a.jpg"},
      {"http://host.example:8080/a.jpg", "/f/a.jpg"},
      {"http://host.example/x/b:c.jpg", "/f/x/b_c.jpg"},
      {"http://host.example//x/./y.png", "/f/x/y.png"},
      {"http://host.example/x\\y.png", "/f/x/y.png"},
      // Names that would leave the folder, or name no file, are refused.
      {"http://host.example/../etc/passwd", ""},
      {"http://host.example/img/../../a.jpg", ""},
      {"http://host.example/img/..", ""},
      {"http://host.example/..\\..\\a.jpg", ""},
      {"http://host.example/", ""},
      {"http://host.example", ""},
      {"http://host.example/dir/", ""},
      {"", ""},
  };
  for (const path_case& c : cases)
    EXPECT_EQ(sb_web_save_path("/f", c.url), c.expected) << c.url;
  EXPECT_EQ(sb_web_save_path("/f/", "http://h/a.jpg"), "/f/a.jpg");
  EXPECT_EQ(sb_web_save_path("", "http://h/a.jpg"), "");
}

TEST(SbWebSavePath, FolderIsSbInTheTemporaryFolder) {
  const std::string folder = sb_web_save_folder();
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ(folder.substr(folder.size() - 3), "/sb");
}

// The trash of a test: XDG_DATA_HOME points at a fresh folder for the test's life.
class SbTrash : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    had_old_ = old != nullptr;
    if (old) old_ = old;
    root_ = tm_test::fresh_dir("sbtrash");
    data_ = root_ + "data/";
    fs::create_directories(data_);
    setenv("XDG_DATA_HOME", data_.c_str(), 1);
  }
  void TearDown() override {
    if (had_old_)
      setenv("XDG_DATA_HOME", old_.c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
  }
  std::string put(const std::string& name, const std::string& text) {
    return tm_test::write_file(root_ + name, text);
  }
  static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string root_, data_, old_;
  bool had_old_ = false;
};

TEST_F(SbTrash, FileMovesWithItsRecord) {
  const std::string path = put("photo one.jpg", "pixels");
  std::string name;
  ASSERT_EQ(sb_trash_file(path.c_str(), &name), 0);
  EXPECT_EQ(name, "photo one.jpg");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(slurp(data_ + "Trash/files/photo one.jpg"), "pixels");
  const std::string info = slurp(data_ + "Trash/info/photo one.jpg.trashinfo");
  const std::string escaped = fs::path(path).lexically_normal().string();
  std::string expected_path;
  for (char c : escaped) expected_path += c == ' ' ? std::string("%20") : std::string(1, c);
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + expected_path + "\nDeletionDate=", 0), 0u) << info;
  // DeletionDate=YYYY-MM-DDThh:mm:ss and the end of line.
  const size_t at = info.find("DeletionDate=") + 13;
  ASSERT_EQ(info.size(), at + 20) << info;
  EXPECT_EQ(info[at + 4], '-');
  EXPECT_EQ(info[at + 10], 'T');
  EXPECT_EQ(info.back(), '\n');
}

TEST_F(SbTrash, NameClashesGetANumber) {
  const struct {
    const char* name;
    const char* second;
  } cases[] = {{"a.jpg", "a.2.jpg"}, {"noext", "noext.2"}, {".hidden", ".hidden.2"}};
  for (const auto& c : cases) {
    std::string first, second, third;
    ASSERT_EQ(sb_trash_file(put(c.name, "1").c_str(), &first), 0);
    ASSERT_EQ(sb_trash_file(put(c.name, "2").c_str(), &second), 0);
    ASSERT_EQ(sb_trash_file(put(c.name, "3").c_str(), &third), 0);
    EXPECT_EQ(first, c.name);
    EXPECT_EQ(second, c.second);
    EXPECT_EQ(slurp(data_ + "Trash/files/" + first), "1");
    EXPECT_EQ(slurp(data_ + "Trash/files/" + second), "2");
    EXPECT_EQ(slurp(data_ + "Trash/files/" + third), "3");
    EXPECT_TRUE(fs::exists(data_ + "Trash/info/" + second + ".trashinfo"));
  }
}

TEST_F(SbTrash, LeftoverRecordReservesItsName) {
  // A record without its file (a crashed deletion) is not overwritten.
  fs::create_directories(data_ + "Trash/info");
  tm_test::write_file(data_ + "Trash/info/b.png.trashinfo", "old");
  std::string name;
  ASSERT_EQ(sb_trash_file(put("b.png", "x").c_str(), &name), 0);
  EXPECT_EQ(name, "b.2.png");
  EXPECT_EQ(slurp(data_ + "Trash/info/b.png.trashinfo"), "old");
}

TEST_F(SbTrash, NothingButFilesIsTaken) {
  fs::create_directories(root_ + "folder");
  const std::string folder = root_ + "folder";
  const std::string missing = root_ + "missing.jpg";
  for (const std::string& p : {folder, missing, std::string()}) {
    EXPECT_EQ(sb_trash_file(p.c_str(), nullptr), -1) << p;
  }
  EXPECT_EQ(sb_trash_file(nullptr, nullptr), -1);
  EXPECT_TRUE(fs::is_directory(folder));
  // Nothing was recorded for the refused paths.
  EXPECT_TRUE(!fs::exists(data_ + "Trash/info") || fs::is_empty(data_ + "Trash/info"));
}

TEST_F(SbTrash, UnwritableTrashKeepsTheFile) {
  // A plain file where the trash folder should be: the file stays, no record is left.
  tm_test::write_file(data_ + "Trash", "not a folder");
  const std::string path = put("c.jpg", "keep me");
  EXPECT_EQ(sb_trash_file(path.c_str(), nullptr), -1);
  EXPECT_EQ(slurp(path), "keep me");
}

}  // namespace

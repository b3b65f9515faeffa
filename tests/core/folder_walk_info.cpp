// file_info: folders with either trailing separator, files with their 64-bit size and
// modification date, missing paths, names whose case differs, web addresses, and file
// objects already known by name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <string>

#include "core/error.h"
#include "core/file_info.h"
#include "core/file_ops.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace fs = std::filesystem;

namespace {

TEST(FileInfo, KindSizeAndDate) {
  const std::string dir = tm_test::fresh_dir("info");
  const std::string file = tm_test::write_file(dir + "Track.GPX", "0123456789");
  utimbuf times{1210075200, 1210075200};  // 2008-05-06 12:00:00 UTC
  ASSERT_EQ(utime(file.c_str(), &times), 0);
  const std::string folder_bs = dir.substr(0, dir.size() - 1) + "\\";
  const struct {
    std::string path;
    int type;
    int64_t size;
    double date;
  } cases[] = {
      {dir, FILE_TYPE_FOLDER, 0, -1},
      {folder_bs, FILE_TYPE_FOLDER, 0, -1},
      {dir.substr(0, dir.size() - 1), FILE_TYPE_FOLDER, 0, -1},
      {file, FILE_TYPE_LOCAL, 10, 20080506.5},
      {dir + "track.gpx", FILE_TYPE_MISSING, 0, 0},  // case is kept
      {dir + "missing", FILE_TYPE_MISSING, 0, 0},
      {"", FILE_TYPE_MISSING, 0, 0},
      {"http://example.invalid/x.gpx", FILE_TYPE_HTTP, 0, 0},
      {"ECWP://example.invalid/img", FILE_TYPE_ECWP, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    int type = 0;
    int64_t size = -1;
    double date = -1;
    EXPECT_EQ(file_info(c.path.c_str(), &type, &size, &date), c.type);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.size);
    if (c.date >= 0) EXPECT_DOUBLE_EQ(date, c.date);
    else EXPECT_GT(date, 20000101.0);
  }
  int type = 0;
  EXPECT_EQ(file_info(nullptr, &type, nullptr, nullptr), FILE_TYPE_MISSING);
}

TEST(FileInfo, SizeBeyondFourGigabytes) {
  const std::string path = tm_test::fresh_dir("info-big") + "big.bin";
  tm_test::write_file(path, "");
  std::error_code ec;
  fs::resize_file(path, (uint64_t(5) << 30) + 3, ec);
  if (ec) GTEST_SKIP() << "the sandbox cannot hold a sparse file";
  int type = 0;
  int64_t size = 0;
  EXPECT_EQ(file_info(path.c_str(), &type, &size, nullptr), FILE_TYPE_LOCAL);
  EXPECT_EQ(size, (int64_t(5) << 30) + 3);
  fs::remove(path);
}

TEST(FileInfo, KnownFileObjectAnswersWhenNothingElseIsAsked) {
  tm_test::reset_object_store();
  tm_test::install_file_stub();
  const std::string dir = tm_test::fresh_dir("info-known");
  const std::string path = tm_test::write_file(dir + "a.zip", "PK");
  obj_t* f = tm_test::stub_file(path.c_str());
  file_set(f, FF_TYPE, 128);
  int type = 0;
  EXPECT_EQ(file_info(path.c_str(), &type, nullptr, nullptr), 128);
  int64_t size = 0;
  EXPECT_EQ(file_info(path.c_str(), &type, &size, nullptr), FILE_TYPE_LOCAL);  // asks the disk
  EXPECT_EQ(size, 2);
  file_set(f, FF_TYPE, 0);  // a known file without a type: the disk answers
  EXPECT_EQ(file_info(path.c_str(), &type, nullptr, nullptr), FILE_TYPE_LOCAL);
  tm_test::free_stub_files();
}

}  // namespace

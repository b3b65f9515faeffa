// Writing a file that replaces another: the old file stays whole until the new one is
// complete, and a failed write leaves nothing behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/replace_file.h"
#include "tests/core/config_fixture.h"

namespace fs = std::filesystem;

namespace {

class ReplaceFileTest : public tm_test::ConfigFixture {
 protected:
  static long entries(const std::string& dir) {
    return long(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}));
  }
};

}  // namespace

// A complete write gives the target its new bytes, keeps the old file's permissions and
// leaves no temporary file; a new file is made in a folder that did not exist.
TEST_F(ReplaceFileTest, ACompleteWriteReplacesTheTarget) {
  const std::string dir = tm_test::fresh_dir("replace_ok");
  const std::string target = tm_test::write_file(dir + "out.gpx", "old");
  chmod(target.c_str(), 0640);
  file_write_reason_clear();  // the reason of a failure of an earlier test on this thread
  replace_file_t r;
  FILE* f = replace_file_open(&r, target.c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_text(target), "old");  // untouched while the new one is written
  std::fputs("new bytes", f);
  ASSERT_TRUE(replace_file_commit(&r));
  EXPECT_EQ(read_text(target), "new bytes");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(entries(dir), 1);
  EXPECT_STREQ(file_write_reason(), "");

  const std::string fresh = dir + "sub/new.kml";
  ASSERT_NE(replace_file_open(&r, fresh.c_str()), nullptr);
  std::fputs("<kml/>", r.file);
  ASSERT_TRUE(replace_file_commit(&r));
  EXPECT_EQ(read_text(fresh), "<kml/>");
}

// Each way a write can fail leaves the old file byte for byte, removes the temporary
// file and keeps the system's reason.
TEST_F(ReplaceFileTest, AFailedWriteKeepsTheOldFile) {
  struct Case {
    const char* name;
    const char* reason;
  } cases[] = {
      {"disk full", "No space left on device"},
      {"target is a folder", "Is a directory"},
      {"given up", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    file_write_reason_clear();
    const std::string dir = tm_test::fresh_dir("replace_fail");
    const std::string target = dir + "out.nmea";
    const bool folder = std::string(c.name) == "target is a folder";
    if (folder)
      fs::create_directories(target + "/inside");
    else
      tm_test::write_file(target, "old file\n");
    replace_file_t r;
    FILE* f = replace_file_open(&r, target.c_str());
    ASSERT_NE(f, nullptr);
    if (std::string(c.name) == "disk full") {
      // Every byte written from now on meets a full device.
      const int full = ::open("/dev/full", O_WRONLY);
      ASSERT_GE(full, 0);
      dup2(full, r.fd);
      ::close(full);
    }
    std::string lots(100000, 'x');
    std::fwrite(lots.data(), 1, lots.size(), f);
    if (std::string(c.name) == "given up")
      replace_file_abandon(&r);
    else
      EXPECT_FALSE(replace_file_commit(&r));
    EXPECT_EQ(r.file, nullptr);
    EXPECT_STREQ(file_write_reason(), c.reason);
    if (folder)
      EXPECT_TRUE(fs::is_directory(target + "/inside"));
    else
      EXPECT_EQ(read_text(target), "old file\n");
    EXPECT_EQ(entries(dir), 1);
  }
}

// A device is written as it is, never replaced: /dev/full stays the device and the write
// gives its reason.
TEST_F(ReplaceFileTest, ADeviceIsWrittenInPlace) {
  replace_file_t r;
  FILE* f = replace_file_open(&r, "/dev/full");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(r.temp.empty());
  std::fputs("bytes", f);
  EXPECT_FALSE(replace_file_commit(&r));
  EXPECT_STREQ(file_write_reason(), "No space left on device");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  ASSERT_NE(replace_file_open(&r, "/dev/null"), nullptr);
  std::fputs("bytes", r.file);
  EXPECT_TRUE(replace_file_commit(&r));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// A file that cannot even be started gives null, the reason and no file.
TEST_F(ReplaceFileTest, AFileThatCannotBeStartedGivesTheReason) {
  const std::string dir = tm_test::fresh_dir("replace_open");
  tm_test::write_file(dir + "plain", "x");
  replace_file_t r;
  EXPECT_EQ(replace_file_open(&r, (dir + "plain/out.gpx").c_str()), nullptr);
  EXPECT_STREQ(file_write_reason(), "Not a directory");
  EXPECT_EQ(replace_file_open(&r, ""), nullptr);
  EXPECT_FALSE(replace_file_commit(&r));
  EXPECT_EQ(entries(dir), 1);
}

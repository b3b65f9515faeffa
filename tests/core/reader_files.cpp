// Files opened through the C library beside the buffered reader: lines with every kind
// of line end, relative paths found in the system and program folders, folders made
// for a new file, the logged failure, and 64-bit seeks.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "tests/core/config_fixture.h"

namespace fs = std::filesystem;

namespace {

class ReaderFiles : public tm_test::ConfigFixture {};

std::vector<std::string> all_lines(std::FILE* f, int n) {
  std::vector<std::string> lines;
  std::vector<char> buf(size_t(n), '\0');
  while (file_read_line(f, buf.data(), n)) lines.emplace_back(buf.data());
  return lines;
}

TEST_F(ReaderFiles, LinesEndAtEveryKindOfLineEnd) {
  const struct {
    const char* what;
    std::string text;
    int n;
    std::vector<std::string> lines;
  } cases[] = {
      {"LF", "one\ntwo\n", 80, {"one", "two"}},
      {"CR LF and LF CR", "one\r\ntwo\n\rthree", 80, {"one", "two", "three"}},
      {"two LF or two CR end one line", "a\n\nb\r\rc", 80, {"a", "b", "c"}},
      {"the third end starts an empty line", "a\n\n\nb", 80, {"a", "", "b"}},
      {"a long line keeps n - 1 characters", "abcdefgh\nxy", 4, {"abc", "xy"}},
      {"empty file", "", 80, {}},
  };
  const std::string dir = tm_test::fresh_dir("lines");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = tm_test::write_file(dir + "t.txt", c.text);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(all_lines(f, c.n), c.lines);
    std::fclose(f);
  }
}

TEST_F(ReaderFiles, RelativePathsComeFromTheSystemThenTheProgramFolder) {
  fs::create_directories(program_ + "system/sub");
  tm_test::write_file(program_ + "system/both.txt", "system");
  tm_test::write_file(program_ + "both.txt", "program");
  tm_test::write_file(program_ + "only.txt", "program only");
  tm_test::write_file(program_ + "system/sub/deep.txt", "deep");
  const struct {
    const char* path;
    const char* content;  // null: not opened
  } cases[] = {
      {"both.txt", "system"},
      {"only.txt", "program only"},
      {"sub/deep.txt", "deep"},
      {"sub\\deep.txt", "deep"},  // '\' accepted as a separator
      {"none.txt", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::FILE* f = open_file_resolved(c.path, "rb");
    if (!c.content) {
      EXPECT_EQ(f, nullptr);
      continue;
    }
    ASSERT_NE(f, nullptr);
    char buf[64];
    EXPECT_STREQ(file_read_line(f, buf, sizeof buf), c.content);
    std::fclose(f);
  }
  EXPECT_EQ(open_file_resolved(nullptr, "rb"), nullptr);
  // An absolute path is taken as it is.
  std::FILE* f = open_file_resolved((program_ + "only.txt").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
}

TEST_F(ReaderFiles, OpenForWritingMakesTheFoldersAndLogsAFailure) {
  const std::string logs = tm_test::fresh_dir("logs");
  reload("LOG_DIR " + logs + "\nLOGERROR\nLANG ENGLISH\n");
  log_init("TEST");
  const std::string path = tm_test::fresh_dir("out") + "a/b/new.txt";
  std::FILE* out = nullptr;
  std::FILE* f = open_file_msg(path.c_str(), "wb", &out);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(out, f);
  std::fclose(f);
  EXPECT_TRUE(fs::exists(path));

  // A folder where the file should be: the open fails and the log says so.
  const std::string blocked = tm_test::fresh_dir("blocked") + "x";
  fs::create_directories(blocked);
  EXPECT_EQ(open_file_msg(blocked.c_str(), "wb", &out), nullptr);
  EXPECT_EQ(out, nullptr);
  EXPECT_NE(read_text(logs + "zz_TEST.log").find("Unable to open file <" + blocked + ">"),
            std::string::npos);

  reload("LOG_DIR " + logs + "\nLOGERROR\nLANG FRANCAIS\n");
  log_init("TEST");
  EXPECT_EQ(open_file_msg(blocked.c_str(), "wb", nullptr), nullptr);
  EXPECT_NE(read_text(logs + "zz_TEST.log").find("Ouverture du fichier <" + blocked + "> impossible"),
            std::string::npos);
}

TEST_F(ReaderFiles, SeekTakesSixtyFourBitOffsets) {
  const std::string path = tm_test::fresh_dir("seek") + "sparse.bin";
  std::FILE* f = std::fopen(path.c_str(), "w+b");
  ASSERT_NE(f, nullptr);
  const int64_t far = (int64_t(5) << 30) + 7;  // beyond 4 GiB
  ASSERT_EQ(file_seek_large(f, far, SEEK_SET), 0);
  if (std::fputc('Q', f) == EOF) {
    std::fclose(f);
    GTEST_SKIP() << "the sandbox cannot hold a sparse file";
  }
  ASSERT_EQ(file_seek_large(f, -1, SEEK_END), 0);
  EXPECT_EQ(std::fgetc(f), 'Q');
  ASSERT_EQ(file_seek_large(f, -far, SEEK_CUR), 0);
  EXPECT_EQ(std::fgetc(f), 0);
  std::fclose(f);
  fs::remove(path);
}

}  // namespace

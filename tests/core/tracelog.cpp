// The trace log: its file name, the dated separator and the entry, silence without
// "LOGERROR", the embedded flag read from the file, and entries of two threads that
// never mix.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/tracelog.h"
#include "tests/core/config_fixture.h"

namespace fs = std::filesystem;

namespace {

const char kSeparator[] = R"(-{30}\d+/\d{2}/\d{2}:\d{2}:\d{2}:\d{2}-{30})";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class TraceLogTest : public tm_test::ConfigFixture {
 protected:
  // Configures the log folder and LOGERROR, then starts the log with the tag.
  std::string start(const std::string& config_text, const char* tag = "TARM") {
    logs_ = tm_test::fresh_dir("logs");
    reload("LOG_DIR " + logs_ + "\n" + config_text);
    log_init(tag);
    return logs_ + "zz_" + tag + ".log";
  }
  std::string logs_;
};

}  // namespace

TEST_F(TraceLogTest, PathIsTheLogFolderAndTheTag) {
  const std::string path = start("LOGERROR\n", "SORB");
  EXPECT_EQ(path, logs_ + "zz_SORB.log");
  EXPECT_EQ(std::string(log_path()), logs_ + "zz_SORB.log");
  reload("");
  log_init("TARM");
  EXPECT_EQ(std::string(log_path()), user_ + "logs/zz_TARM.log");
}

// The log is started before the command line is read: a -log_dir option read afterwards
// moves the later entries into its folder, under the same tag.
TEST_F(TraceLogTest, TheLogFolderOptionMovesTheStartedLog) {
  const std::string first = start("LOGERROR\n", "SORB");
  log_error_line("before");
  const std::string moved = tm_test::fresh_dir("moved_logs");
  const std::string line = " " + moved;
  const char* cursor = line.c_str();
  ASSERT_EQ(parse_option("-log_dir", &cursor), 0);
  EXPECT_EQ(std::string(log_path()), moved + "zz_SORB.log");
  log_error_line("after");
  EXPECT_NE(read_text(first).find("before"), std::string::npos);
  EXPECT_EQ(read_text(first).find("after"), std::string::npos);
  EXPECT_NE(read_text(moved + "zz_SORB.log").find("after"), std::string::npos);
}

TEST_F(TraceLogTest, ErrorEntryIsADatedSeparatorAndTheText) {
  const std::string path = start("LOGERROR\n");
  log_error_line("Unable to read the file");
  log_write_separator();
  log_text("part one, ");
  log_text("part two");
  log_line("");
  log_line("last line");
  const std::regex expected(std::string("^") + kSeparator + "\nUnable to read the file\n" +
                            kSeparator + "\npart one, part two\nlast line\n$");
  const std::string text = read_text(path);
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(TraceLogTest, EntriesAreAppended) {
  const std::string path = start("LOGERROR yes\n");
  log_line("first");
  log_init("TARM");  // a new start keeps what is there
  log_line("second");
  EXPECT_EQ(read_text(path), "first\nsecond\n");
}

TEST_F(TraceLogTest, NothingIsWrittenWithoutLogerror) {
  const std::string path = start("LOGERRORS\n");
  log_error_line("error");
  log_write_separator();
  log_line("line");
  log_text("text");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::is_empty(logs_));
}

TEST_F(TraceLogTest, LostLogFolderIsSkippedSilentlyUntilItIsBack) {
  struct Case {
    const char* what;
    bool replaced_by_file;
  } cases[] = {{"folder removed", false}, {"folder replaced by a file", true}};
  for (const Case& c : cases) {
    const std::string path = start("LOGERROR\n");
    const std::string folder = logs_.substr(0, logs_.size() - 1);
    fs::remove_all(folder);
    if (c.replaced_by_file) tm_test::write_file(folder, "not a folder");
    log_error_line("lost");
    log_line("lost");
    log_text("lost");
    EXPECT_EQ(get_gblerr(), 0) << c.what;
    EXPECT_FALSE(fs::exists(path)) << c.what;
    if (c.replaced_by_file) {
      EXPECT_EQ(read_text(folder), "not a folder") << c.what;
    }
    fs::remove_all(folder);
    fs::create_directories(folder);
    log_line("back");
    EXPECT_EQ(read_text(path), "back\n") << c.what;
  }
}

TEST_F(TraceLogTest, LargeTextIsWrittenWhole) {
  const std::string path = start("LOGERROR\n");
  std::string text(1 << 20, 'x');
  for (size_t i = 0; i < text.size(); i += 997) text[i] = char('a' + i % 26);
  log_error_line(text.c_str());
  const std::regex expected(std::string("^") + kSeparator + "\n$");
  const std::string written = read_text(path);
  const size_t first_line = written.find('\n') + 1;
  EXPECT_TRUE(std::regex_match(written.substr(0, first_line), expected));
  EXPECT_EQ(written.substr(first_line), text + "\n");
}

TEST_F(TraceLogTest, EmbeddedOnlyForUpperCaseTrue) {
  struct Case {
    const char* file;
    bool embedded;
  } cases[] = {
      {"EMBEDDED TRUE\n", true},
      {"EMBEDDED true\n", false},
      {"EMBEDDED\n", false},
      {"", false},
  };
  for (const Case& c : cases) {
    start(c.file);
    EXPECT_EQ(is_embedded(), c.embedded) << c.file;
  }
}

TEST_F(TraceLogTest, EntriesOfTwoThreadsNeverMix) {
  const std::string path = start("LOGERROR\n");
  const std::string texts[2] = {std::string(3000, 'a'), std::string(3000, 'b')};
  auto writer = [](const std::string* text) {
    for (int i = 0; i < 150; ++i) log_error_line(text->c_str());
  };
  std::thread first(writer, &texts[0]);
  std::thread second(writer, &texts[1]);
  first.join();
  second.join();
  const std::vector<std::string> lines = lines_of(read_text(path));
  ASSERT_EQ(lines.size(), 2u * 2u * 150u);
  const std::regex separator(kSeparator);
  for (size_t i = 0; i < lines.size(); i += 2) {
    ASSERT_TRUE(std::regex_match(lines[i], separator)) << "line " << i;
    ASSERT_TRUE(lines[i + 1] == texts[0] || lines[i + 1] == texts[1]) << "line " << i + 1;
  }
}

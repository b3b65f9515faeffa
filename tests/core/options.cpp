// The generic command-line options: each writes the configuration cache; values keep
// their case; unknown words leave the command line where it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "core/config.h"
#include "tests/core/config_fixture.h"

namespace fs = std::filesystem;
using tm_test::write_file;

namespace {

std::optional<std::string> get(const char* key) { return tm_test::config_value(key); }

constexpr double kMiB = 1048576.0;

class OptionsTest : public tm_test::ConfigFixture {};

}  // namespace

TEST_F(OptionsTest, ValueOptionsSetTheirKeysAndMoveTheCursor) {
  struct Case {
    const char* word;
    const char* line;  // what follows the option on the command line
    const char* key;
    const char* value;
    const char* rest;  // the cursor afterwards
  } cases[] = {
      {"-maxmem", " 300 next", "MAXMEM", "300", " next"},
      {"-webnavigdepth", " 3", "WEBNAVIGDEPTH", "3", ""},
      {"-webnavig", " 3", "WEBNAVIG", "TRUE", " 3"},
      {"-embedded", " -x", "EMBEDDED", "TRUE", " -x"},
  };
  for (const Case& c : cases) {
    config_reset();
    const char* cursor = c.line;
    EXPECT_EQ(parse_option(c.word, &cursor), 0) << c.word;
    EXPECT_EQ(get(c.key), std::optional<std::string>(c.value)) << c.word;
    EXPECT_STREQ(cursor, c.rest) << c.word;
  }
}

TEST_F(OptionsTest, UnknownWordGivesMinusOneAndKeepsTheCursor) {
  for (const char* word : {"-MAXMEM", "-maxmem2", "maxmem", "", "-embed"}) {
    const char* line = " 300 tail";
    const char* cursor = line;
    EXPECT_EQ(parse_option(word, &cursor), -1) << word;
    EXPECT_EQ(cursor, line) << word;
  }
  const char* cursor = "x";
  EXPECT_EQ(parse_option(nullptr, &cursor), -1);
}

TEST_F(OptionsTest, MaxmemIsRecomputedAfterTheOption) {
  reload("MAXMEM 800\n");
  EXPECT_EQ(config_maxmem(), 800 * kMiB);
  struct Case {
    const char* line;
    double megabytes;
  } cases[] = {{" 50", 100}, {" 4000", 1500}, {" 640", 640}, {" 0", 1500}, {"", 1500}};
  for (const Case& c : cases) {
    const char* cursor = c.line;
    ASSERT_EQ(parse_option("-maxmem", &cursor), 0);
    EXPECT_EQ(config_maxmem(), c.megabytes * kMiB) << c.line;
  }
}

TEST_F(OptionsTest, EmbeddedOptionSetsTheFlag) {
  EXPECT_FALSE(is_embedded());
  const char* cursor = "";
  ASSERT_EQ(parse_option("-embedded", &cursor), 0);
  EXPECT_TRUE(is_embedded());
  EXPECT_EQ(get_temp_dir(), nullptr);
}

TEST_F(OptionsTest, LogFolderKeepsItsCase) {
  const std::string root = tm_test::fresh_dir("optlog");
  struct Case {
    std::string line;
    std::string value;
  } cases[] = {
      {" " + root + "MixedCase/Logs", root + "MixedCase/Logs/"},
      {" \"" + root + "With Blank\" -webnavig", root + "With Blank/"},
  };
  for (const Case& c : cases) {
    config_reset();
    const char* cursor = c.line.c_str();
    ASSERT_EQ(parse_option("-log_dir", &cursor), 0);
    EXPECT_EQ(std::string(get_log_dir()), c.value);
    EXPECT_TRUE(fs::is_directory(c.value));
  }
}

TEST_F(OptionsTest, ConfigFileOptionUsedOnlyWhenTheFileExists) {
  write_config("WHO program\n");
  const std::string other = write_file(tm_test::fresh_dir("other") + "Other.CFG", "WHO other\n");
  struct Case {
    std::string path;
    const char* who;
  } cases[] = {
      {other, "other"},
      {other + ".missing", "program"},
      {"", "program"},
  };
  for (const Case& c : cases) {
    config_reset();
    const std::string line = " " + c.path;
    const char* cursor = line.c_str();
    ASSERT_EQ(parse_option("-config_file", &cursor), 0) << c.path;
    EXPECT_EQ(get("WHO"), std::optional<std::string>(c.who)) << c.path;
  }
}

TEST_F(OptionsTest, RelativeConfigFileIsTheOneThatWasChecked) {
  const std::string dir = tm_test::fresh_dir("cwd");
  write_file(dir + "local.cfg", "WHO cwd\n");
  fs::create_directories(program_ + "system");
  write_file(program_ + "system/local.cfg", "WHO system\n");
  const fs::path saved = fs::current_path();
  fs::current_path(dir);
  const char* cursor = " local.cfg";
  EXPECT_EQ(parse_option("-config_file", &cursor), 0);
  fs::current_path(saved);
  EXPECT_EQ(get("WHO"), std::optional<std::string>("cwd"));
}

TEST_F(OptionsTest, OptionBeatsTheFile) {
  reload("WEBNAVIGDEPTH 1\n");
  const char* cursor = " 4";
  ASSERT_EQ(parse_option("-webnavigdepth", &cursor), 0);
  EXPECT_EQ(config_get_number("WEBNAVIGDEPTH"), 4);
}

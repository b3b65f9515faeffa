// Folders derived from configuration keys: the folder keys, the temporary folder (its
// default, its emptying, and that emptying never reaches outside it), the log folder
// and the reduced-image folder.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <optional>
#include <string>

#include "core/config.h"
#include "core/config_state.h"
#include "core/tracelog.h"
#include "tests/core/config_fixture.h"

namespace fs = std::filesystem;
using tm_test::write_file;

namespace {

std::optional<std::string> get(const char* key) { return tm_test::config_value(key); }

int one_copy() { return 1; }
int two_copies() { return 2; }

bool all_digits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

class ConfigDirsTest : public tm_test::ConfigFixture {
 protected:
  // Switches the trace log on into a folder of the sandbox, in the given language.
  std::string start_log(const char* lang) {
    const std::string logs = tm_test::fresh_dir("logs");
    config_set("LOGERROR", "");
    config_set("LANG", lang);
    config_set_dir("LOG_DIR", nullptr, logs.c_str());
    log_init("TEST");
    return logs + "zz_TEST.log";
  }
  std::string temp_base() { return std::string(get_local_appdata_dir()) + name_ + "/"; }
};

}  // namespace

TEST_F(ConfigDirsTest, FolderKeyIsCreatedWithSeparatorAndSuffix) {
  const std::string root = tm_test::fresh_dir("dirs");
  struct Case {
    std::string base;
    const char* suffix;
    std::string value;
  } cases[] = {
      {root + "One", nullptr, root + "One/"},
      {root + "Two/", "pre_", root + "Two/pre_"},
      {root + "Deep/er/Still", "x", root + "Deep/er/Still/x"},
  };
  for (const Case& c : cases) {
    config_set_dir("DIRKEY", c.suffix, c.base.c_str());
    EXPECT_EQ(get("DIRKEY"), std::optional<std::string>(c.value)) << c.base;
    EXPECT_TRUE(fs::is_directory(c.value.substr(0, c.value.rfind('/')))) << c.base;
  }
}

TEST_F(ConfigDirsTest, MissingBaseLeavesTheKeyAbsent) {
  for (const char* base : {static_cast<const char*>(nullptr), ""}) {
    config_set("DIRKEY", "old");
    config_set_dir("DIRKEY", "suffix", base);
    EXPECT_EQ(get("DIRKEY"), std::nullopt);
  }
}

TEST_F(ConfigDirsTest, FolderThatCannotBeCreatedLeavesTheKeyAbsentAndIsLogged) {
  struct Case {
    const char* lang;
    const char* message;
  } cases[] = {
      {"ENGLISH", "Unable to create directory "},
      {"FRANCAIS", "Creation du repertoire "},
  };
  for (const Case& c : cases) {
    config_reset();
    const std::string log = start_log(c.lang);
    const std::string file = write_file(tm_test::fresh_dir("blocker") + "plain", "x");
    const std::string folder = file + "/sub/";
    config_set_dir("DIRKEY", "suffix", (file + "/sub").c_str());
    EXPECT_EQ(get("DIRKEY"), std::nullopt) << c.lang;
    const std::string text = read_text(log);
    EXPECT_NE(text.find(std::string(c.message) + folder), std::string::npos) << text;
  }
  EXPECT_NE(read_text(log_path()).find(" impossible"), std::string::npos);
}

TEST_F(ConfigDirsTest, FolderNotOnALocalDriveLeavesTheKeyAbsentAndIsLogged) {
  struct Case {
    const char* lang;
    const char* base;
    const char* message;
  } cases[] = {
      {"ENGLISH", "relative_folder/logs", "File <relative_folder/logs> is not on a local harddrive"},
      {"FRANCAIS", "\\\\server\\share",
       "Le fichier <\\\\server\\share> n'est pas sur un disque local"},
  };
  for (const Case& c : cases) {
    config_reset();
    const std::string log = start_log(c.lang);
    config_set("DIRKEY", "old");
    config_set_dir("DIRKEY", "suffix", c.base);
    EXPECT_EQ(get("DIRKEY"), std::nullopt) << c.base;
    EXPECT_NE(read_text(log).find(c.message), std::string::npos) << read_text(log);
  }
  EXPECT_FALSE(fs::exists("relative_folder"));
}

TEST_F(ConfigDirsTest, LogFolderFromFileElseUnderTheUserFolder) {
  const std::string wanted = tm_test::fresh_dir("wanted") + "Log Folder";
  reload("LOG_DIR " + wanted + "\n");
  EXPECT_EQ(std::string(get_log_dir()), wanted + "/");
  EXPECT_TRUE(fs::is_directory(wanted));

  reload("");
  EXPECT_EQ(std::string(get_log_dir()), user_ + "logs/");
  EXPECT_TRUE(fs::is_directory(user_ + "logs"));

  const std::string blocked = write_file(tm_test::fresh_dir("blocked") + "file", "x");
  reload("LOG_DIR " + blocked + "/logs\n");
  EXPECT_EQ(std::string(get_log_dir()), user_ + "logs/");
}

TEST_F(ConfigDirsTest, ReducedImageFolderGetsItsVersionFolder) {
  const std::string base = tm_test::fresh_dir("reduced") + "small";
  reload("REDUCE_IMAGE_DIR " + base + "\n");
  const char* first = get_reduce_image_dir();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::string(first), base + "/v2/");
  EXPECT_EQ(std::string(get_reduce_image_dir()), base + "/v2/");
  EXPECT_EQ(get("REDUCE_IMAGE_DIR"), std::optional<std::string>(base + "/v2/"));
  EXPECT_TRUE(fs::is_directory(base));
  EXPECT_FALSE(fs::exists(base + "/v2"));

  reload("");
  EXPECT_EQ(get_reduce_image_dir(), nullptr);
}

TEST_F(ConfigDirsTest, ConfiguredTemporaryFolder) {
  const std::string wanted = tm_test::fresh_dir("tmpwanted") + "Scratch";
  reload("TEMP_DIR " + wanted + "\n");
  EXPECT_EQ(std::string(get_temp_dir()), wanted + "/");
  EXPECT_TRUE(fs::is_directory(wanted));
}

TEST_F(ConfigDirsTest, TemporaryFolderIsNullInEmbeddedMode) {
  set_embedded(true);
  EXPECT_EQ(get_temp_dir(), nullptr);
}

TEST_F(ConfigDirsTest, DefaultTemporaryFolderIsEmptiedOnlyWhenAlone) {
  struct Case {
    config_detail::process_counter_fn counter;
    bool emptied;
  } cases[] = {{one_copy, true}, {two_copies, false}};
  for (const Case& c : cases) {
    config_reset();
    config_detail::set_process_counter(c.counter);
    const std::string base = temp_base();
    fs::create_directories(base + "old/inner");
    write_file(base + "old/inner/stale.tmp", "x");
    write_file(base + "123_stale.tmp", "x");
    const std::string outside = tm_test::fresh_dir("outside");
    write_file(outside + "keep.txt", "keep");
    fs::create_directory_symlink(outside, base + "link");

    const char* temp = get_temp_dir();
    ASSERT_NE(temp, nullptr);
    const std::string value = temp;
    ASSERT_EQ(value.compare(0, base.size(), base), 0) << value;
    ASSERT_EQ(value.back(), '_') << value;
    EXPECT_TRUE(all_digits(value.substr(base.size(), value.size() - base.size() - 1))) << value;
    EXPECT_TRUE(fs::is_directory(base));
    EXPECT_EQ(fs::exists(base + "123_stale.tmp"), !c.emptied);
    EXPECT_EQ(fs::exists(base + "old/inner/stale.tmp"), !c.emptied);
    EXPECT_EQ(read_text(outside + "keep.txt"), "keep");  // never followed out
    fs::remove_all(base);
  }
}

TEST_F(ConfigDirsTest, EmptyingNeverReachesOutsideTheTemporaryFolder) {
  // The program's folder under the local data folder is a symbolic link to a folder of
  // the user's, or the program name climbs out of the local data folder.
  struct Case {
    std::string program;
    bool folder_is_link;
  } cases[] = {
      {name_, true},
      {"../" + name_ + "_above", false},
  };
  config_detail::set_process_counter(one_copy);
  for (const Case& c : cases) {
    config_reset();
    set_program_name(c.program.c_str());
    const std::string folder = std::string(get_local_appdata_dir()) + c.program;
    std::string outside = folder + "/";
    if (c.folder_is_link) {
      outside = tm_test::fresh_dir("users_own");
      fs::create_directory_symlink(outside, folder);
    } else {
      fs::create_directories(outside);
    }
    write_file(outside + "keep.txt", "keep");

    const char* temp = get_temp_dir();
    ASSERT_NE(temp, nullptr) << c.program;
    EXPECT_EQ(read_text(outside + "keep.txt"), "keep") << c.program;
    EXPECT_EQ(std::string(temp).compare(0, folder.size() + 1, folder + "/"), 0) << temp;
    EXPECT_TRUE(fs::is_directory(folder)) << c.program;
    fs::remove_all(folder);
  }
}

TEST_F(ConfigDirsTest, TemporaryFolderIsEmptiedOncePerRun) {
  config_detail::set_process_counter(one_copy);
  const std::string first = get_temp_dir();
  write_file(first + "work.tmp", "in use");
  config_temp_dir_set(nullptr, nullptr);
  const std::string again = get_temp_dir();
  EXPECT_EQ(again, first);
  EXPECT_EQ(read_text(first + "work.tmp"), "in use");
}

TEST_F(ConfigDirsTest, TemporaryFolderSetByCodeAndDropped) {
  config_detail::set_process_counter(two_copies);
  const std::string custom = tm_test::fresh_dir("custom") + "Mine";
  config_temp_dir_set(custom.c_str(), "job_");
  EXPECT_EQ(std::string(get_temp_dir()), custom + "/job_");
  config_temp_dir_set(nullptr, "job_");
  const std::string derived = get_temp_dir();
  EXPECT_EQ(derived.compare(0, temp_base().size(), temp_base()), 0) << derived;
}

// The configuration cache, the configuration file and the getters: locating the file,
// reading keys (whole keys only, every line ending, over-long lines), caching, and the
// values derived from keys.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "core/config.h"
#include "core/memory.h"
#include "core/paths.h"
#include "tests/core/config_fixture.h"

namespace fs = std::filesystem;
using tm_test::write_file;

namespace {

constexpr double kMiB = 1048576.0;

std::optional<std::string> get(const char* key) { return tm_test::config_value(key); }

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

class ConfigTest : public tm_test::ConfigFixture {};

}  // namespace

TEST_F(ConfigTest, NoConfigurationFileAnywhereGivesEveryDefault) {
  ASSERT_NE(config_get("CONFIG_FILE"), nullptr);
  EXPECT_STREQ(config_get("CONFIG_FILE"), "");
  EXPECT_EQ(config_get("MAXMEM"), nullptr);
  EXPECT_EQ(config_maxmem(), 1500 * kMiB);
  EXPECT_EQ(config_back_color(), rgb(200, 200, 200));
  EXPECT_FALSE(config_log_error());
  EXPECT_FALSE(config_monothread());
  EXPECT_STREQ(config_http(), "1");
  EXPECT_EQ(get_reduce_image_dir(), nullptr);
  const char* user = get_user_lang();
  EXPECT_STREQ(config_lang(), user && std::strcmp(user, "FR") == 0 ? "FR" : "EN");
}

TEST_F(ConfigTest, ProgramFolderGetsSeparatorAndSystemFolder) {
  struct Case {
    std::string given, expected;
  } cases[] = {
      {program_ + "Maps", program_ + "Maps/"},
      {program_ + "Maps/", program_ + "Maps/"},
      {program_ + "Maps\\", program_ + "Maps\\"},
  };
  for (const Case& c : cases) {
    set_program_dir(c.given.c_str());
    EXPECT_EQ(std::string(get_program_dir()), c.expected) << c.given;
    EXPECT_EQ(std::string(get_system_dir()), c.expected + "system/") << c.given;
  }
}

TEST_F(ConfigTest, MaxmemIsClampedToItsRange) {
  struct Case {
    const char* file;
    double megabytes;
  } cases[] = {
      {"MAXMEM 50\n", 100},     {"MAXMEM 0\n", 1500},     {"MAXMEM\n", 1500},
      {"", 1500},               {"MAXMEM 4000\n", 1500},  {"MAXMEM 512\n", 512},
      {"MAXMEM 99.95\n", 100},  {"MAXMEM 1499,95\n", 1500}, {"MAXMEM 1500.5\n", 1500},
      {"MAXMEM -20\n", 100},    {"MAXMEM 100\n", 100},
  };
  for (const Case& c : cases) {
    reload(c.file);
    EXPECT_EQ(config_maxmem(), c.megabytes * kMiB) << c.file;
  }
}

TEST_F(ConfigTest, KeyMatchesOnlyAWholeKeyAtTheStartOfALine) {
  struct Case {
    const char* file;
    const char* key;
    std::optional<std::string> value;
  } cases[] = {
      {"WEBNAVIGDEPTH 2\nWEBNAVIG 1\n", "WEBNAVIG", "1"},
      {"WEBNAVIGDEPTH 2\nWEBNAVIG 1\n", "WEBNAVIGDEPTH", "2"},
      {"NAVIGPORTSPEED 4800\nNAVIGPORT /dev/ttyUSB0\n", "NAVIGPORT", "/dev/ttyUSB0"},
      {"NAVIGPORTSPEED 4800\n", "NAVIGPORT", std::nullopt},
      {"LOGERRORS\n", "LOGERROR", std::nullopt},
      {"KEY\tvalue with  inner blanks\n", "KEY", "value with  inner blanks"},
      {"KEY \t \tv\n", "KEY", "v"},
      {"KEY\n", "KEY", ""},
      {"A 1\nKEY", "KEY", ""},
      {" KEY v\n", "KEY", std::nullopt},
      {"key v\n", "KEY", std::nullopt},
      {"KEY first\nKEY second\n", "KEY", "first"},
      {"# KEY commented\nKEY real\n", "KEY", "real"},
  };
  for (const Case& c : cases) {
    reload(c.file);
    EXPECT_EQ(get(c.key), c.value) << c.file << " / " << c.key;
  }
}

TEST_F(ConfigTest, EveryLineEndingSeparatesLines) {
  struct Case {
    const char* file;
  } cases[] = {
      {"A 1\nKEY v\nB 2\n"},
      {"A 1\rKEY v\rB 2\r"},
      {"A 1\r\nKEY v\r\nB 2\r\n"},
      {"A 1\n\rKEY v\n\rB 2\n\r"},
      {"A 1\n\nKEY v\r\n\r\nB 2"},
  };
  for (const Case& c : cases) {
    reload(c.file);
    EXPECT_EQ(get("KEY"), std::optional<std::string>("v")) << testing::PrintToString(c.file);
    EXPECT_EQ(get("A"), std::optional<std::string>("1")) << testing::PrintToString(c.file);
    EXPECT_EQ(get("B"), std::optional<std::string>("2")) << testing::PrintToString(c.file);
  }
}

TEST_F(ConfigTest, RestOfAnOverLongLineIsNeverReadAsAKeyLine) {
  // The first 497 characters of a line count; what follows is dropped.
  const std::string kept = "LONG " + std::string(492, 'a');
  reload(kept + "HIDDEN from the rest\nHIDDEN visible\n");
  EXPECT_EQ(get("LONG"), std::optional<std::string>(std::string(492, 'a')));
  EXPECT_EQ(get("HIDDEN"), std::optional<std::string>("visible"));

  reload(kept + "HIDDEN from the rest\nOTHER 1\n" + std::string(5000, 'z') + "\n");
  EXPECT_EQ(get("HIDDEN"), std::nullopt);
  EXPECT_EQ(get("OTHER"), std::optional<std::string>("1"));
}

TEST_F(ConfigTest, KeyIsReadFromTheFileOnlyOnce) {
  write_config("A 1\n");
  EXPECT_EQ(get("A"), std::optional<std::string>("1"));
  EXPECT_EQ(get("B"), std::nullopt);
  write_config("A 2\nB 3\n");
  EXPECT_EQ(get("A"), std::optional<std::string>("1"));
  EXPECT_EQ(get("B"), std::nullopt);  // known absent
  config_reset();
  EXPECT_EQ(get("A"), std::optional<std::string>("2"));
  EXPECT_EQ(get("B"), std::optional<std::string>("3"));
}

TEST_F(ConfigTest, SetOverridesTheFileAndNullMarksAbsent) {
  write_config("A from_file\n");
  config_set("A", "from_code");
  EXPECT_EQ(get("A"), std::optional<std::string>("from_code"));
  config_set("A", nullptr);
  EXPECT_EQ(get("A"), std::nullopt);
  config_set("A", "again");
  config_set("A", config_get("A"));  // a value set to itself stays intact
  EXPECT_EQ(get("A"), std::optional<std::string>("again"));
  config_set("a", "lower");  // keys are case-sensitive
  EXPECT_EQ(get("A"), std::optional<std::string>("again"));
  EXPECT_EQ(get("a"), std::optional<std::string>("lower"));
}

TEST_F(ConfigTest, ValueHandedOutStaysReadableAfterTheKeyChanges) {
  // Another thread may still be reading a value when its key is set again.
  const std::string folder = tm_test::fresh_dir("kept") + "Temp";
  struct Case {
    const char* what;
    void (*change)();
  } cases[] = {
      {"set again", [] { config_set("TEMP_DIR", "other"); }},
      {"set absent", [] { config_set("TEMP_DIR", nullptr); }},
      {"folder key dropped", [] { config_temp_dir_set(nullptr, nullptr); }},
  };
  for (const Case& c : cases) {
    config_temp_dir_set(folder.c_str(), "pre_");
    const char* held = config_get("TEMP_DIR");
    ASSERT_NE(held, nullptr) << c.what;
    c.change();
    EXPECT_STREQ(held, (folder + "/pre_").c_str()) << c.what;
  }
  config_set("TEMP_DIR", "same");
  const char* same = config_get("TEMP_DIR");
  config_set("TEMP_DIR", "same");
  EXPECT_EQ(config_get("TEMP_DIR"), same);  // the same text keeps its block
}

// A run that ends without config_reset still frees the values config_set replaced: in
// the sanitizer build the leak checker fails the child's exit when one is left.
TEST_F(ConfigTest, ReplacedValuesAreFreedWhenARunEndsWithoutAReset) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        config_set("KEPT", "first");
        config_set("KEPT", "second");
        config_set("GONE", "value");
        config_set("GONE", nullptr);
        config_temp_dir_set(tm_test::fresh_dir("exit").c_str(), "pre_");
        config_temp_dir_set(nullptr, nullptr);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(ConfigTest, DumpListsNonEmptyEntriesInKeyOrder) {
  config_set("B", "2");
  config_set("a", "1");
  config_set("C", "");
  config_set("D", nullptr);
  config_set("b", "3");
  char* dump = config_dump();
  ASSERT_NE(dump, nullptr);
  EXPECT_STREQ(dump, "a\n1\nB\n2\nb\n3\n");
  free_mem(&dump);
}

TEST_F(ConfigTest, NumberIsTheIntegerPartOfValuePlusATenth) {
  struct Case {
    const char* file;
    int number;
  } cases[] = {
      {"N 12\n", 12},   {"N 2.95\n", 3},  {"N 2,85\n", 2}, {"N\n", 0},
      {"", 0},          {"N abc\n", 0},   {"N -3\n", -2},  {"N 1e3\n", 1000},
      {"N 1e30\n", 2147483647},
  };
  for (const Case& c : cases) {
    reload(c.file);
    EXPECT_EQ(config_get_number("N"), c.number) << c.file;
  }
}

TEST_F(ConfigTest, PresenceKeysNeedNoValue) {
  struct Case {
    const char* file;
    bool log_error, monothread;
  } cases[] = {
      {"LOGERROR\n", true, false},
      {"LOGERROR 0\nMONOTHREAD\n", true, true},
      {"MONOTHREAD no\n", false, true},
      {"LOGERRORS\nMONOTHREADS\n", false, false},
      {"", false, false},
  };
  for (const Case& c : cases) {
    reload(c.file);
    EXPECT_EQ(config_log_error(), c.log_error) << c.file;
    EXPECT_EQ(config_monothread(), c.monothread) << c.file;
  }
}

TEST_F(ConfigTest, LanguageFromKeyElseFromTheUser) {
  const char* saved = getenv("LC_ALL");
  const std::string saved_value = saved ? saved : "";
  struct Case {
    const char* file;
    const char* locale;
    const char* fixed;  // null: follows the user's language
  } cases[] = {
      {"LANG FRANCAIS\n", "en_GB.UTF-8", "FR"}, {"LANG ENGLISH\n", "fr_FR.UTF-8", "EN"},
      {"LANG francais\n", "en_GB.UTF-8", nullptr}, {"LANG francais\n", "fr_FR.UTF-8", nullptr},
      {"LANG Deutsch\n", "eu_ES.UTF-8", nullptr},  {"", "fr_FR.UTF-8", nullptr},
      {"", "de_DE.UTF-8", nullptr},
  };
  for (const Case& c : cases) {
    setenv("LC_ALL", c.locale, 1);
    reload(c.file);
    const char* user = get_user_lang();
    const char* expected = c.fixed ? c.fixed : (user && std::strcmp(user, "FR") == 0 ? "FR" : "EN");
    EXPECT_STREQ(config_lang(), expected) << c.file << " / " << c.locale;
    EXPECT_EQ(is_french(), std::strcmp(expected, "FR") == 0 ? 1 : 0) << c.file;
  }
  if (saved)
    setenv("LC_ALL", saved_value.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

TEST_F(ConfigTest, HttpAccessText) {
  struct Case {
    const char* file;
    const char* access;
  } cases[] = {
      {"", "1"},
      {"HTTP PROXY proxy.local 8080\n", "2  proxy.local 8080"},
      {"HTTP DIRECT\n", "0"},
      {"HTTP\n", "0"},
      {"HTTP PROXY\n", "2 "},
      {"HTTP proxy proxy.local 8080\n", "0"},
  };
  for (const Case& c : cases) {
    reload(c.file);
    EXPECT_STREQ(config_http(), c.access) << c.file;
  }
}

TEST_F(ConfigTest, BackgroundColourKeepsDefaultsForMissingComponents) {
  struct Case {
    const char* file;
    uint32_t color;
  } cases[] = {
      {"", rgb(200, 200, 200)},
      {"BACK_COLOR_RGB 10 20\n", rgb(10, 20, 200)},
      {"BACK_COLOR_RGB 1 2 3\n", rgb(1, 2, 3)},
      {"BACK_COLOR_RGB 1 2 259\n", rgb(1, 2, 3)},
      {"BACK_COLOR_RGB 7\n", rgb(7, 200, 200)},
      {"BACK_COLOR_RGB\n", rgb(200, 200, 200)},
  };
  for (const Case& c : cases) {
    reload(c.file);
    EXPECT_EQ(config_back_color(), c.color) << c.file;
  }
}

TEST_F(ConfigTest, ThreeFilesAreSearchedInOrder) {
  struct Case {
    bool program, user, all_users;
    std::optional<std::string> who;
  } cases[] = {
      {true, true, true, "program"}, {false, true, true, "user"},
      {false, false, true, "all"},   {true, false, true, "program"},
      {false, false, false, std::nullopt},
  };
  const std::string files[3] = {program_ + name_ + ".cfg", user_ + name_ + ".cfg",
                                program_ + name_ + "_allusers.cfg"};
  for (const Case& c : cases) {
    const bool present[3] = {c.program, c.user, c.all_users};
    const char* who[3] = {"WHO program\n", "WHO user\n", "WHO all\n"};
    for (int i = 0; i < 3; ++i) {
      fs::remove(files[i]);
      if (present[i]) write_file(files[i], who[i]);
    }
    config_reset();
    EXPECT_EQ(get("WHO"), c.who);
    std::string expected_file;
    for (int i = 0; i < 3 && expected_file.empty(); ++i)
      if (present[i]) expected_file = files[i];
    EXPECT_EQ(get("CONFIG_FILE"), std::optional<std::string>(expected_file));
  }
  for (const std::string& f : files) fs::remove(f);
}

TEST_F(ConfigTest, ExampleFileIsCopiedToTheUserFolderOnlyWhenMissing) {
  const std::string program_example = program_ + name_ + "_exemple.cfg";
  const std::string user_example = user_ + name_ + "_exemple.cfg";
  write_file(program_example, "MAXMEM 800\n");
  config_get("ANY");
  EXPECT_EQ(read_text(user_example), "MAXMEM 800\n");
  EXPECT_STREQ(config_get("CONFIG_FILE"), "");  // the example is never read

  write_file(user_example, "edited by the user\n");
  config_reset();
  config_get("ANY");
  EXPECT_EQ(read_text(user_example), "edited by the user\n");
}

TEST_F(ConfigTest, RelativeConfigFileIsTakenFromTheSystemFolder) {
  fs::create_directories(program_ + "system");
  write_file(program_ + "system/site.cfg", "K from_system\n");
  config_set("CONFIG_FILE", "site.cfg");
  EXPECT_EQ(get("K"), std::optional<std::string>("from_system"));
}

TEST_F(ConfigTest, ConfigFileThatCannotBeOpenedMakesKeysAbsent) {
  struct Case {
    std::string file;
  } cases[] = {{program_ + "missing.cfg"}, {program_}, {""}};
  for (const Case& c : cases) {
    config_reset();
    config_set("CONFIG_FILE", c.file.c_str());
    EXPECT_EQ(get("K"), std::nullopt) << c.file;
    EXPECT_EQ(config_maxmem(), 1500 * kMiB) << c.file;
  }
}

TEST_F(ConfigTest, ResetForgetsDerivedValuesAndEmbeddedMode) {
  reload("MAXMEM 200\nLOGERROR\nHTTP DIRECT\n");
  EXPECT_EQ(config_maxmem(), 200 * kMiB);
  EXPECT_TRUE(config_log_error());
  EXPECT_STREQ(config_http(), "0");
  set_embedded(true);
  reload("");
  EXPECT_EQ(config_maxmem(), 1500 * kMiB);
  EXPECT_FALSE(config_log_error());
  EXPECT_STREQ(config_http(), "1");
  EXPECT_FALSE(is_embedded());
}

TEST_F(ConfigTest, ThreadsReadAndSetKeysTogether) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "KEY" + std::to_string(i) + " value" + std::to_string(i) + "\n";
  reload(text);
  std::atomic<int> wrong{0};
  auto reader = [&](int first) {
    for (int i = first; i < 60; i += 3) {
      const std::string key = "KEY" + std::to_string(i);
      const char* v = config_get(key.c_str());
      if (!v || std::string(v) != "value" + std::to_string(i)) ++wrong;
      if (config_maxmem() != 1500 * kMiB) ++wrong;
    }
  };
  std::thread a(reader, 0), b(reader, 1), c(reader, 2);
  for (int i = 0; i < 60; ++i) config_set(("SET" + std::to_string(i)).c_str(), "x");
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(wrong.load(), 0);
  for (int i = 0; i < 60; ++i) EXPECT_STREQ(config_get(("SET" + std::to_string(i)).c_str()), "x");
}

TEST_F(ConfigTest, KeysAreReadAndSetWhileAnErrorIsPending) {
  reload("A 1\nB 2\n");
  set_gblerr(ERR_BAD_FILE);
  EXPECT_EQ(get("B"), std::optional<std::string>("2"));
  EXPECT_EQ(get("A"), std::optional<std::string>("1"));
  config_set("C", "3");
  EXPECT_EQ(get("C"), std::optional<std::string>("3"));
  EXPECT_EQ(get("A"), std::optional<std::string>("1"));
  EXPECT_EQ(get("MISSING"), std::nullopt);
  EXPECT_EQ(get_gblerr(), ERR_BAD_FILE);
  set_gblerr(0);
}

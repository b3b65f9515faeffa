// The map program's command line: which words load files (queued in slot 14 while the
// frame window does not exist yet, in command-line order), which set the navigation
// keys, which go to the generic options, and which are logged as unknown. Values keep
// their case; relative local files become absolute; argv is joined with quoting.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gps/nmea_log.h"
#include "core/config.h"
#include "core/memory.h"
#include "core/strutil.h"
#include "core/tracelog.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/program_loop.h"
#include "shell/startup.h"
#include "tests/core/config_fixture.h"
#include "tests/support/harness.h"

namespace {

class CommandLine : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    session_ = std::make_unique<tm_test::UiSession>();
    task_slots_init();  // no command target: loads stay in slot 14's queue
    log_dir_ = tm_test::fresh_dir("log");
    config_set("LOGERROR", "1");
    config_set_dir("LOG_DIR", nullptr, log_dir_.c_str());
    log_init("TARM");
  }

  void TearDown() override {
    task_slots_init();
    session_.reset();
    ConfigFixture::TearDown();
  }

  // The texts queued in slot 14, oldest first (the queue is emptied).
  static std::vector<std::string> queued_loads() {
    std::vector<std::string> out;
    while (char* text = task_queue_take(14)) {
      out.push_back(text);
      free_mem(&text);
    }
    return out;
  }

  std::string log_text() const { return read_text(log_dir_ + "zz_TARM.log"); }

  static std::string value(const char* key) {
    const char* v = config_get(key);
    return v ? v : "<absent>";
  }

  std::unique_ptr<tm_test::UiSession> session_;
  std::string log_dir_;
};

struct LineCase {
  const char* line;
  std::vector<std::string> loads;     // texts of slot 14, in order
  std::vector<std::string> unknown;   // words logged as unknown
  const char* navigport;
  const char* navigspeed;
};

TEST_F(CommandLine, WordsLoadSetKeysOrAreLoggedAsUnknown) {
  config_set("LANG", "ENGLISH");
  const std::vector<LineCase> cases = {
      {"/maps/Relief.PNG -load /gps/Boucle.GPX", {"1/maps/Relief.PNG", "1/gps/Boucle.GPX"}, {},
       "<absent>", "<absent>"},
      {"-LOAD /gps/Track.GPX -Load /gps/Second.gpx", {"1/gps/Track.GPX", "1/gps/Second.gpx"}, {},
       "<absent>", "<absent>"},
      {"/maps/One.png /maps/Two.png", {"1/maps/One.png"}, {"/maps/Two.png"}, "<absent>",
       "<absent>"},
      // An option with its value is one item: a bare word after it is not the first.
      {"-load /gps/a.gpx /maps/b.png", {"1/gps/a.gpx"}, {"/maps/b.png"}, "<absent>", "<absent>"},
      {"-maxmem 64 /maps/m.png", {}, {"/maps/m.png"}, "<absent>", "<absent>"},
      {"-navig /dev/ttyUSB0", {}, {}, "/dev/ttyUSB0", "<absent>"},
      {"-NAVIG COM3 -navigportspeed 4800", {}, {}, "COM3", "4800"},
      {"\"/maps/with space/Map.png\"", {"1/maps/with space/Map.png"}, {}, "<absent>", "<absent>"},
      // Option names are compared whole.
      {"-navigation x", {}, {"-navigation", "x"}, "<absent>", "<absent>"},
      {"-loa /gps/a.gpx", {}, {"-loa", "/gps/a.gpx"}, "<absent>", "<absent>"},
      {"", {}, {}, "<absent>", "<absent>"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.line);
    config_set("NAVIGPORT", nullptr);
    config_set("NAVIGPORTSPEED", nullptr);
    const std::string before = log_text();
    parse_command_line(c.line);
    EXPECT_EQ(queued_loads(), c.loads);
    EXPECT_EQ(value("NAVIGPORT"), c.navigport);
    EXPECT_EQ(value("NAVIGPORTSPEED"), c.navigspeed);
    const std::string logged = log_text().substr(before.size());
    for (const std::string& word : c.unknown)
      EXPECT_NE(logged.find("Unknow Parameter:" + word + "\n"), std::string::npos) << logged;
    size_t lines = 0;
    for (size_t at = logged.find("Unknow Parameter:"); at != std::string::npos;
         at = logged.find("Unknow Parameter:", at + 1))
      ++lines;
    EXPECT_EQ(lines, c.unknown.size()) << logged;
  }
}

TEST_F(CommandLine, UnknownWordIsLoggedInFrenchWhenTheLanguageIsFrench) {
  config_set("LANG", "FRANCAIS");
  parse_command_line("/maps/a.png /maps/b.png");
  EXPECT_NE(log_text().find("Parametre inconnu :/maps/b.png\n"), std::string::npos) << log_text();
  // Each entry begins with a dated separator line.
  EXPECT_EQ(log_text().rfind("------------------------------", 0), 0u);
}

TEST_F(CommandLine, NavigLogSetsTheLoggingFlagAndThePort) {
  parse_command_line("-naviglog /dev/ttyACM0");
  EXPECT_EQ(value("NAVIGPORT"), "/dev/ttyACM0");
  EXPECT_EQ(navig_log_get(), 1);
  navig_log_set(0);
}

TEST_F(CommandLine, GenericOptionsGoToTheirParser) {
  parse_command_line("-webnavig -webnavigdepth 3 -embedded");
  EXPECT_EQ(value("WEBNAVIG"), "TRUE");
  EXPECT_EQ(value("WEBNAVIGDEPTH"), "3");
  EXPECT_TRUE(is_embedded());
  set_embedded(false);
  EXPECT_EQ(log_text().find("Unknow"), std::string::npos);
  EXPECT_EQ(log_text().find("inconnu"), std::string::npos);
}

TEST_F(CommandLine, RelativeLocalFilesBecomeAbsoluteOthersStayAsGiven) {
  const std::string dir = tm_test::fresh_dir("cwd");
  tm_test::write_file(dir + "Local.GPX", "<gpx/>");
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  const std::string local = (std::filesystem::current_path() / "Local.GPX").string();
  parse_command_line("Local.GPX -load ./Local.GPX -load www.example.org/Map.kml");
  std::filesystem::current_path(old);
  EXPECT_EQ(queued_loads(), (std::vector<std::string>{"1" + local, "1" + local,
                                                      "1http://www.example.org/Map.kml"}));
}

TEST(CommandLineJoin, WordsWithBlanksOrEmptyAreQuotedAndReadBackWhole) {
  struct Case {
    std::vector<const char*> argv;
    const char* line;
  };
  const std::vector<Case> cases = {
      {{"tarmelo"}, ""},
      {{"tarmelo", "a.png"}, "a.png"},
      {{"tarmelo", "-load", "/my maps/A.png", ""}, "-load \"/my maps/A.png\" \"\""},
      {{"tarmelo", "tab\there"}, "\"tab\there\""},
  };
  for (const Case& c : cases) {
    const std::string line = program_command_line(int(c.argv.size()), c.argv.data());
    EXPECT_EQ(line, c.line);
    const char* cursor = line.c_str();
    for (size_t i = 1; i < c.argv.size(); ++i) {
      char* word = cmdline_next_word(&cursor, 0);
      EXPECT_STREQ(word, c.argv[i]);
      free_mem(&word);
    }
  }
}

}  // namespace

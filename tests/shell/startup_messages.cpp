// What the map program says on standard error when it starts: a display that cannot be
// reached (it then runs headless), and an initialisation failure, which names the file
// or folder that was missing, there and in the trace log (the message box keeps its text).
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include "core/config.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/line_store.h"
#include "core/tracelog.h"
#include "geodesy/geodesy_tables.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/startup.h"
#include "tests/core/config_fixture.h"
#include "tests/support/harness.h"

namespace {

// A step left out of the run.
void skip_step() {}

struct exit_called {
  int code;
};
void throw_exit(int code) { throw exit_called{code}; }

std::string read_all(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Copies one of the program's tables into a folder.
void copy_table(const std::string& name, const std::string& folder) {
  tm_test::write_file(folder + name, read_all(std::string(TM_SOURCE_DIR) + "/data/" + name));
}

// DISPLAY set (or unset) for one scope.
class display_env {
 public:
  explicit display_env(const char* value) {
    if (const char* old = std::getenv("DISPLAY")) saved_ = old;
    had_ = std::getenv("DISPLAY") != nullptr;
    if (value)
      setenv("DISPLAY", value, 1);
    else
      unsetenv("DISPLAY");
  }
  ~display_env() {
    if (had_)
      setenv("DISPLAY", saved_.c_str(), 1);
    else
      unsetenv("DISPLAY");
  }

 private:
  bool had_ = false;
  std::string saved_;
};

// A display number no server listens on.
std::string unreachable_display() {
  int n = 4100;
  while (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0) ++n;
  return ":" + std::to_string(n);
}

class StartupWords : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    session_ = std::make_unique<tm_test::UiSession>();
    startup_table_reset();
    get_core_hooks().exit_program = throw_exit;
    app_set_closing(0);
  }
  void TearDown() override {
    set_gblerr(0);
    session_.reset();
    get_core_hooks() = core_hooks{};
    startup_table_reset();
    set_stop_request(0);
    app_set_closing(0);
    geo_reset_tables();
    ConfigFixture::TearDown();
  }

  // app_init with only the geodesy tables' initialiser, on a program folder: what the
  // failure then says.
  std::string reason_for(const std::string& folder) {
    startup_table& t = get_startup_table();
    for (init_step& s : t.modules)
      if (std::string(s.name) != "geo_load_tables") s.run = skip_step;
    for (init_step& s : t.late) s.run = skip_step;
    app_init(folder.c_str(), "");
    return init_failure_reason();
  }

  std::unique_ptr<tm_test::UiSession> session_;
};

TEST_F(StartupWords, AnUnreachableDisplayIsSaidAndTheRunIsHeadless) {
  struct Case {
    std::string display;  // empty: DISPLAY unset
    bool said;
  };
  const Case cases[] = {{unreachable_display(), true}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.display);
    display_env env(c.display.empty() ? nullptr : c.display.c_str());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(get_startup_table().start_display());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("no display: running headless") != std::string::npos, c.said) << err;
    if (c.said) {
      EXPECT_NE(err.find(c.display), std::string::npos) << err;
    }
  }
}

TEST_F(StartupWords, TheFailureNamesWhatWasMissing) {
  const std::string full = tm_test::fresh_dir("halftables");
  for (const char* t : {"ellipsoi.txt", "ellipsil.txt", "pmeridian.txt", "pmeridil.txt"}) copy_table(t, full);
  const std::string bad = tm_test::fresh_dir("badtables");
  tm_test::write_file(bad + "ellipsoi.txt", "34;WGS 84;not a number;;;\n");
  const std::string empty = tm_test::fresh_dir("notables");
  const std::string gone = empty + "no such folder/";
  struct Case {
    std::string folder;
    std::string said;
  };
  const Case cases[] = {
      {empty, "missing file ellipsoi.txt (looked in " + empty + "system/ and " + empty + ")"},
      {full, "missing file datum.txt (looked in " + full + "system/ and " + full + ")"},
      {gone, "missing folder " + gone},
      {bad, "geo_load_tables failed (error 14"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    geo_reset_tables();
    const std::string reason = reason_for(c.folder);
    EXPECT_NE(get_gblerr(), 0);
    EXPECT_STREQ(init_failed_step(), "geo_load_tables");
    EXPECT_EQ(reason.rfind(c.said, 0), 0u) << reason;
  }
}

TEST_F(StartupWords, TheReasonGoesToStandardErrorAndTheTraceLog) {
  const std::string log_dir = tm_test::fresh_dir("log");
  config_set("LOGERROR", "1");
  config_set_dir("LOG_DIR", nullptr, log_dir.c_str());
  log_init("TARM");
  const std::string folder = tm_test::fresh_dir("tables");
  reason_for(folder);
  testing::internal::CaptureStderr();
  int code = INT_MIN;
  try {
    init_error_exit();
  } catch (const exit_called& e) {
    code = e.code;
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, kInitFailureExitCode);
  const std::string said = "initialisation failed: missing file ellipsoi.txt";
  EXPECT_NE(err.find("Tarmelo: " + said), std::string::npos) << err;
  const std::string log = read_all(log_dir + "zz_TARM.log");
  EXPECT_NE(log.find("Erreur d'init : 2\n" + said), std::string::npos) << log;
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, "Erreur lors de l'initialisation\nFin de l'application");
}

// A failure with no initialiser to blame (the frame window could not be made) gives the
// error alone.
TEST_F(StartupWords, AFailureAfterTheInitialisersGivesTheError) {
  startup_table& t = get_startup_table();
  for (init_step& s : t.modules) s.run = skip_step;
  app_init(tm_test::fresh_dir("fine").c_str(), "");
  set_gblerr(ERR_OS);
  EXPECT_EQ(init_failed_step(), nullptr);
  EXPECT_EQ(init_failure_reason().rfind("error 11", 0), 0u) << init_failure_reason();
}

}  // namespace

// The browsing keys pressed by a user: the viewer runs on a private X server under a
// window manager with a folder of three pictures, and xdotool types Space and Shift+Space.
// The window's title names the shown file, so each step is read from it. Skipped when
// Xvfb, openbox or xdotool is missing, or when the program was not built beside the tests.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/test_env.h"
#include "tests/x11/x_program.h"

namespace {

class SorbinelKeys : public x11_test::ProgramOnScreen {
 protected:
  const char* program_name() const override { return "sorbinel"; }

  // The colour at the middle of the window on the screen; 0xFFFFFFFF when it cannot be seen.
  uint32_t colour_at_middle(const std::string& window) {
    const std::string g = xdotool({"getwindowgeometry", "--shell", window}).out;
    auto value = [&](const char* key) {
      const size_t at = g.find(std::string(key) + "=");
      return at == std::string::npos ? -1 : std::atoi(g.c_str() + at + std::strlen(key) + 1);
    };
    x11_test::Capture cap;
    if (value("WIDTH") <= 0 || !x11_test::capture_screen(server_.display(), &cap)) return 0xFFFFFFFFu;
    return cap.at(value("X") + value("WIDTH") / 2, value("Y") + value("HEIGHT") / 2);
  }

  // Waits until the window's title names the file and its picture is on the screen: the
  // step is over, the viewer waits for the next key (a key pressed while it still loads
  // or draws is dropped, as a held key's repeats are).
  bool shows(const std::string& window, const std::string& title_pattern, uint32_t colour) {
    const auto until = x11_test::Clock::now() + std::chrono::seconds(30);
    while (x11_test::ms_left(until) > 0) {
      if (window_named(title_pattern, int(x11_test::ms_left(until))) == window && colour_at_middle(window) == colour)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
};

// Space steps forwards, Shift+Space backwards: forwards twice then back once shows the
// second file again.
TEST_F(SorbinelKeys, SpaceStepsForwardAndShiftSpaceStepsBack) {
  if (x11_test::find_program("import").empty()) GTEST_SKIP() << "ImageMagick's import is not installed";
  const std::string dir = tm_test::fresh_dir("sorbinel-keys");
  const std::string folder = dir + "pictures/";
  std::filesystem::create_directories(folder);
  for (const char* name : {"01_red.png", "02_green.png", "03_blue.png"})
    std::filesystem::copy_file(std::string(TM_FIXTURE_DIR) + "/sorbinel/browse/" + name, folder + name);
  std::filesystem::create_directories(dir + "home");
  x11_test::RunningProgram run;
  ASSERT_TRUE(run.start(server_.display(), {program_, folder}, dir + "home"));
  const std::string main = window_named("01_red\\.png", 60000);
  ASSERT_FALSE(main.empty()) << "the viewer never showed the first file";
  ASSERT_TRUE(shows(main, "01_red\\.png", 0xFF0000));
  struct step {
    const char* keys;
    const char* title;  // a pattern of the window's title
    uint32_t colour;    // of the picture
  };
  const step steps[] = {
      {"space", "02_green\\.png", 0x00FF00},
      {"space", "03_blue\\.png", 0x0000FF},
      {"shift+space", "02_green\\.png", 0x00FF00},
  };
  for (const step& s : steps) {
    SCOPED_TRACE(s.keys);
    type_in(main, s.keys);
    ASSERT_TRUE(shows(main, s.title, s.colour))
        << "not shown: " << s.title << "; the title: " << xdotool({"getwindowname", main}).out;
  }
}

}  // namespace

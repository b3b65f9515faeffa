// The environment every test program runs in: a private temporary folder that stands
// for the user's home, configuration, data and temporary folders, so that no test
// reads or writes the real ones.
#pragma once
#include <string>

namespace tm_test {

// The private folder of this test program (with a trailing '/'), created at start.
const std::string& sandbox_dir();

// A fresh, empty sub-folder of the sandbox (with a trailing '/').
std::string fresh_dir(const char* name);

// Writes `text` to a file, creating it; returns the path.
std::string write_file(const std::string& path, const std::string& text);

}  // namespace tm_test

namespace tm_test {

// A MAXMEM value (megabytes, as text) that puts the memory ceiling `margin_mb` above
// what the process holds now. Tests of the budget use it rather than a fixed figure: a
// test program that runs whole programs in its process holds more as it goes on, in
// whatever order and however often its tests run. Empty when that ceiling would pass
// the largest value MAXMEM takes.
std::string maxmem_above_held(int margin_mb);

}  // namespace tm_test

namespace tm_test {

// Removes the saved tables ("*.sot") from the user's settings folder, which lasts for the
// whole test program: a test of what a restart reads back starts as a first run and
// leaves nothing behind for the next test, or for itself when repeated.
void forget_saved_tables();

}  // namespace tm_test

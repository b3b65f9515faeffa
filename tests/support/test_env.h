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

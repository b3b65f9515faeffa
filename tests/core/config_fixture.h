// The fixture of the configuration tests: a fresh object store and configuration cache,
// a fresh program folder inside the sandbox and a program name of its own for each
// test, so that no test sees another's files (nor the real user's folders).
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "core/config.h"
#include "core/config_state.h"
#include "core/error.h"
#include "core/paths.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace tm_test {

// The cached value of a key as a string, or nothing when the key is absent.
inline std::optional<std::string> config_value(const char* key) {
  const char* v = config_get(key);
  if (!v) return std::nullopt;
  return std::string(v);
}

class ConfigFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    set_gblerr(0);
    config_reset();
    reset_object_store();
    config_detail::set_process_counter(nullptr);
    program_ = fresh_dir("prog");
    set_program_dir(program_.c_str());
    static std::atomic<int> counter{0};
    name_ = "cfgtest" + std::to_string(++counter);
    set_program_name(name_.c_str());
    const char* user = get_user_app_dir();
    user_ = user ? user : "";
  }

  void TearDown() override {
    set_gblerr(0);
    config_reset();
    config_detail::set_process_counter(nullptr);
    set_program_name(nullptr);
    set_program_dir(nullptr);
  }

  // Writes the program folder's configuration file.
  std::string write_config(const std::string& text) {
    return write_file(program_ + name_ + ".cfg", text);
  }

  // Writes the configuration file and forgets everything read so far.
  void reload(const std::string& text) {
    write_config(text);
    config_reset();
  }

  static std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string program_;  // program folder, ending with '/'
  std::string name_;     // program name of this test
  std::string user_;     // the user's application folder, ending with '/'
};

}  // namespace tm_test

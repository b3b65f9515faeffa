// Entry point of every test program: builds the private sandbox folders, points HOME,
// XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR at them, runs the tests and removes the
// sandbox again.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/paths.h"
#include "platform/sys/sysinfo.h"
#include "tests/support/test_env.h"

namespace tm_test {
namespace {
std::string g_sandbox;
std::atomic<int> g_fresh_counter{0};
}  // namespace

const std::string& sandbox_dir() { return g_sandbox; }

std::string fresh_dir(const char* name) {
  std::string dir = g_sandbox + name + "-" + std::to_string(++g_fresh_counter) + "/";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return path;
}

std::string maxmem_above_held(int margin_mb) {
  const double held = plat::get_memory_status().process_committed;
  const long megabytes = long(held / 1048576.0 + 0.5) + margin_mb;
  if (megabytes > 1500) return "";
  return std::to_string(megabytes);
}

void forget_saved_tables() {
  const char* dir = get_user_app_dir();
  if (!dir || !*dir) return;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
    if (entry.path().extension() == ".sot") std::filesystem::remove(entry.path(), ec);
}

}  // namespace tm_test

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::string base = fs::temp_directory_path().string() + "/tmtest-XXXXXX";
  if (!mkdtemp(base.data())) return 2;
  tm_test::g_sandbox = base + "/";
  for (const char* sub : {"home", "config", "data", "tmp"}) fs::create_directories(base + "/" + sub);
  setenv("HOME", (base + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
  setenv("TMPDIR", (base + "/tmp").c_str(), 1);

  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  fs::remove_all(base, ec);
  return rc;
}

// The set-up shared by the harnesses (fuzz_env.h).
#include "fuzz/support/fuzz_env.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/config.h"
#include "core/config_state.h"
#include "core/error.h"
#include "core/paths.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"

namespace tm_fuzz {

void keep_budget() {
  static int calls = 0;
  static int last = -1;
  if (calls++ % 256 != 0) return;
  double status[5] = {};
  get_memory_status(status);
  // Steps of 64 MiB, so that the setting changes seldom.
  const int held = int(status[4] / 1048576) / 64 * 64;
  if (held == last) return;
  last = held;
  config_set("MAXMEM", std::to_string(held + 256).c_str());
  config_detail::forget_maxmem();
}

void init(bool stub_files) {
  static bool done = false;
  if (!done) {
    done = true;
    tm_test::reset_object_store();
    if (stub_files) tm_test::install_file_stub();
    set_gblerr(0);
  }
  keep_budget();
}

namespace {

std::string g_scratch;  // the scratch file of this process, removed at exit

void remove_scratch() {
  if (!g_scratch.empty()) std::remove(g_scratch.c_str());
}

}  // namespace

std::string write_scratch(const uint8_t* data, size_t size, const char* suffix) {
  const std::string path = "/dev/shm/tm_fuzz_" + std::to_string(getpid()) + suffix;
  if (g_scratch.empty()) std::atexit(remove_scratch);
  g_scratch = path;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return path;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path;
}

}  // namespace tm_fuzz

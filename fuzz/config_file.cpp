// The configuration file reader on arbitrary bytes: the file is named by CONFIG_FILE and
// keys are looked up in it, as at start-up.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "fuzz/support/fuzz_env.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  const std::string path = tm_fuzz::write_scratch(data, size, ".cfg");
  config_reset();
  config_set("CONFIG_FILE", path.c_str());
  config_get("K");
  config_maxmem();
  config_back_color();
  config_log_error();
  config_lang();
  config_http();
  set_gblerr(0);
  return 0;
}

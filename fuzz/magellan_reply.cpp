// Fuzz harness of the Magellan receiver's answers: the bytes are fed to the driver's
// parser and handlers with a command in progress and the output file open on /dev/null;
// the first byte says where the rest is cut in two feeds.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/error.h"
#include "core/memory.h"
#include "fuzz/support/fuzz_env.h"
#include "gps/loggers/magellan.h"
#include "gps/nmea_parser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  nmea_module_init();
  magellan_log_register();
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  magellan_ctx* c = magellan_ctx_create(nullptr);
  if (!c) return 0;
  static std::FILE* sink = std::fopen("/dev/null", "wb");
  c->out = sink;
  str_set("$PMGNCMD,WAYPOINT", &c->command);
  const int n = static_cast<int>(size - 1);
  const int cut = data[0] * n / 256;
  nmea_feed(data + 1, cut, c->parser);
  nmea_feed(data + 1 + cut, n - cut, c->parser);
  char name[64];
  magellan_version_name(c->version, name, sizeof name);
  set_gblerr(0);
  magellan_ctx_free(&c);
  return 0;
}

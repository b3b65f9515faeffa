// Fuzz harness of the NMEA parser: the input fed to a reader on the standard tables,
// whole and then cut at a place the input chooses, so that sentences span feeds; the
// fix's per-read flags are cleared between the two feeds as the live reader does.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "fuzz/support/fuzz_env.h"
#include "gps/nmea_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  tm_fuzz::init();
  if (!ready) {
    nmea_module_init();
    set_gblerr(0);
    ready = true;
  }
  tm_fuzz::keep_budget();
  const int n = static_cast<int>(size);
  nmea_parser* p = nullptr;
  if (nmea_reader_create(nullptr, nullptr, &p) != 0) return 0;
  nmea_feed(data, n, p);
  const int cut = size ? data[0] * n / 256 : 0;
  nmea_fix_clear(p->fix);
  nmea_feed(data, cut, p);
  nmea_feed(data + cut, n - cut, p);
  set_gblerr(0);
  nmea_reader_free(&p);
  return 0;
}

// The Garmin real-time stream on arbitrary bytes: the input goes into the reassembly
// of a real-time state three ways (whole, as one packet; cut into 64-byte interrupt
// chunks where a short chunk ends a packet; cut into chunks of a size its first byte
// picks), with both logs open, so every packet handled is unpacked, turned into its NMEA
// text and live position, and written as log lines; the record unpackers also read the
// input directly.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/support/fuzz_env.h"
#include "core/memory.h"
#include "gps/garmin/pvt.h"
#include "gps/nmea_parser.h"

namespace {

std::FILE* sink() {
  static std::FILE* f = std::fopen("/dev/null", "w");
  return f;
}

void after_packet(pvt_state* s, int flag, nmea_fix* fix) {
  if (flag & kPvtGotPosition) pvt_to_position(s, fix);
}

void feed(pvt_state* s, const uint8_t* data, size_t size, size_t chunk, nmea_fix* fix) {
  for (size_t at = 0; at < size; at += chunk) {
    const size_t n = size - at < chunk ? size - at : chunk;
    const int ends = n < 64 ? 1 : 0;
    after_packet(s, pvt_feed_chunk(s, data + at, int(n), ends), fix);
  }
  after_packet(s, pvt_feed_chunk(s, nullptr, 0, 1), fix);  // a zero-length packet
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  tm_fuzz::keep_budget();
  pvt_state* s = pvt_state_new(nullptr, nullptr);
  nmea_fix* fix = nullptr;
  nmea_fix_new(&fix);
  if (!s || !fix) {
    pvt_state_free(&s);
    nmea_fix_free(&fix);
    return 0;
  }
  // Logs that write nowhere: the state closes them, so each gets a descriptor of its own.
  s->nmea_log = std::fopen("/dev/null", "wb");
  s->raw_log = std::fopen("/dev/null", "wb");

  after_packet(s, pvt_feed_chunk(s, data, int(size), 1), fix);
  feed(s, data, size, 64, fix);
  if (size > 0) feed(s, data + 1, size - 1, size_t(data[0] % 200) + 1, fix);

  pvt_d800 r{};
  if (garmin_d800_unpack(data, size, &r) == 0) {
    char* text = nullptr;
    pvt_d800_to_nmea(&r, &text);
    if (text) std::fputs(text, sink());
    free_mem(&text);
    pvt_d800_to_position(&r, fix);
  }
  pvt_receiver rcv{};
  if (garmin_rcv_unpack(data, size, &rcv) == 0) garmin_rcv_print(sink(), &rcv);
  pvt_satellite sat[kPvtChannels] = {};
  if (garmin_sat_unpack(data, size, sat) == 0) garmin_sat_print(sink(), sat);

  pvt_state_free(&s);
  nmea_fix_free(&fix);
  return 0;
}

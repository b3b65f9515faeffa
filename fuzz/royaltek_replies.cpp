// The RoyalTek and Emtac drivers' answer handlers on arbitrary logger replies. The first
// byte chooses the family and where the rest is cut into a chunk fed to the driver's
// parser and a tail the parser's byte source gives out when a binary record sentence
// asks for more (as the serial line would). The Emtac bytes are also converted as an
// XMODEM log image. The output file is a scratch file, rewound before each input.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/error.h"
#include "fuzz/support/reader_fuzz.h"
#include "gps/loggers/emtac_internal.h"
#include "gps/loggers/royaltek_internal.h"
#include "gps/loggers/royaltek_log.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"

namespace {

struct source {
  const uint8_t* bytes;
  size_t left;
};

int read_source(void* device, int max, uint8_t* buffer) {
  auto* s = static_cast<source*>(device);
  const size_t n = s->left < size_t(max) ? s->left : size_t(max);
  for (size_t i = 0; i < n; ++i) buffer[i] = s->bytes[i];
  s->bytes += n;
  s->left -= n;
  return int(n);
}

std::FILE* g_out = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::register_file_classes();
  gpslog_init();
  emtac_sentence_register();
  g_out = std::tmpfile();
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || !g_out) return 0;
  std::rewind(g_out);
  const size_t n = size - 2;
  const size_t cut = data[1] * n / 256;
  source tail{data + 2 + cut, n - cut};
  if (data[0] & 1) {
    royaltek_ctx* c = royaltek_context_new(nullptr);
    if (!c) return 0;
    c->parser->device = &tail;
    c->parser->read = read_source;
    c->out = g_out;
    c->log_type = data[0] >> 1 & 3;
    c->asked = 240;
    nmea_feed(data + 2, int(cut), c->parser);
    set_gblerr(0);
    // Whatever the source still holds comes as the next chunk.
    uint8_t rest[kPortChunkSize];
    int got;
    while ((got = read_source(&tail, sizeof rest, rest)) > 0) {
      nmea_feed(rest, got, c->parser);
      set_gblerr(0);
    }
    c->out = nullptr;
    royaltek_context_free(&c);
  } else {
    emtac_ctx* c = emtac_context_new(nullptr);
    if (!c) return 0;
    c->parser->device = &tail;
    c->parser->read = read_source;
    c->out = g_out;
    nmea_feed(data + 2, int(n), c->parser);
    set_gblerr(0);
    c->out = nullptr;
    emtac_context_free(&c);
    // The same bytes as an XMODEM image of the log, with a record count the second
    // byte chooses (up to a few past what the image holds).
    emtac_convert_log(data + 2, int64_t(n), int(data[1]), g_out);
  }
  return 0;
}

// Fuzz harness of the Navilink answers: the first byte chooses the request being answered
// (name, information, datalog area, memory, waypoints, route), the second the counts of
// the request and whether waypoints go to the route list; the rest is fed to the driver's
// automaton as the receiver's bytes, the records written to /dev/null.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/error.h"
#include "core/memory.h"
#include "gps/loggers/frame.h"
#include "gps/loggers/navilink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const uint8_t kCommands[] = {0xFE, 0x20, 0x1C, 0x14, 0x28, 0x24, 0x11, 0xD6, 0x1B};
  navilink_ctx* c = nullptr;
  if (navilink_ctx_new(nullptr, &c) != 0) return 0;
  c->command = kCommands[data[0] % sizeof kCommands];
  c->out = std::fopen("/dev/null", "wb");
  c->expected = data[1] & 0x7F;
  c->waypoints = data[1] & 0x3F;
  c->track_points = (data[1] & 1) ? 5 : 0;
  c->datalog_count = (data[1] & 2) ? 7 : 0;
  c->into_list = data[1] >> 7;
  c->list_capacity = c->waypoints + 2;
  alloc_mem_zero(&c->list, c->list_capacity * sizeof *c->list);
  bframe_feed(data + 2, int(size - 2), c->frame);
  set_gblerr(0);
  navilink_ctx_free(&c);
  return 0;
}

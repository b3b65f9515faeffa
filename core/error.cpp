// The process-wide error code (see error.h). The messages live in messages.cpp.
#include "core/error.h"

std::atomic<int> gblerr{0};

int set_gblerr(int code) {
  gblerr.store(code, std::memory_order_release);
  return code;
}

// Memory the process has freed, given back to the system (see memory_release.h).
#include "tests/support/memory_release.h"

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's allocator keeps freed blocks in its quarantine and its free lists;
// this entry of its run time empties both.
extern "C" void __sanitizer_purge_allocator();
#endif

namespace tm_test {

void release_free_memory() {
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_purge_allocator();
#else
  malloc_trim(0);
#endif
}

}  // namespace tm_test

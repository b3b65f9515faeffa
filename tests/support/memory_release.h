// Memory the process has freed, given back to the system. A test that sets a memory
// budget from what the process holds (its resident size) calls it first: blocks freed by
// earlier tests of the same program would otherwise be reused without the resident size
// growing, and the budget would be exceeded before it is seen to be.
#pragma once

namespace tm_test {

void release_free_memory();

}  // namespace tm_test

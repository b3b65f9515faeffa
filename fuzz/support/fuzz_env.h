// What every harness sets up once: a fresh object store, the stand-in file objects of
// the tests (memory-held and disk files) and a memory budget of 256 MiB above what the
// process holds, so that a reader that honours the budget never allocates beyond it.
#pragma once
#include <cstdint>
#include <string>

struct obj_t;

namespace tm_fuzz {

// Runs once per process (later calls only keep the budget). With `stub_files` false the map
// model's own file objects serve instead of the stand-ins.
void init(bool stub_files = true);
// Keeps the memory budget 256 MiB above what the process holds. The readers' budget is
// a ceiling on the whole process, and the fuzzer's corpus grows while it runs: a fixed
// ceiling would soon leave no room and every input would be refused at once. Called by
// every harness on every input; it looks again every 256 inputs.
void keep_budget();
// A disk file (in /dev/shm, one per process) holding the bytes, for readers that open
// files by path; returns its path.
std::string write_scratch(const uint8_t* data, size_t size, const char* suffix);

}  // namespace tm_fuzz

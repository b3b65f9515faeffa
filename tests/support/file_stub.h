// File objects for core tests: a small stand-in for the map model's file objects,
// installed through the file-operations table, so that the reader, the decoders and
// the XML engine can be tested on disk files and in-memory data.
#pragma once
#include <cstdint>

struct obj_t;

namespace tm_test {

// Installs the stand-in routines (call after reset_object_store); forgets earlier files.
void install_file_stub();
// A file object for a disk path: type 7, size from the file system (0 when missing).
obj_t* stub_file(const char* path);
// A file object whose data is held in memory in a line store of `line_size` lines.
obj_t* stub_memory_file(const void* bytes, int64_t n, int32_t line_size = 32768);
// Frees one stand-in file object and its in-memory content (a test that makes
// thousands of them, one per cut of a file, gives each back once it is read).
void free_stub_file(obj_t* file);
// Frees every stand-in file object and its in-memory content.
void free_stub_files();

}  // namespace tm_test

// The kind, size and date of one path: a web address, a file object already known
// under that name, or a file or folder of the file system.
#pragma once
#include <cstdint>

// File type codes reported by file_info.
enum file_info_type : int {
  FILE_TYPE_FOLDER = 1,
  FILE_TYPE_LOCAL = 7,      // a regular file
  FILE_TYPE_HTTP = 8,       // "http://..."
  FILE_TYPE_ECWP = 12,      // "ecwp://..."
  FILE_TYPE_MISSING = 125,  // cannot be examined
  FILE_TYPE_OTHER = 126,    // exists, neither file nor folder
};

// Stores the type of `path` in *type and returns it. A web address gets its scheme's
// type without any access. When neither size nor date is asked, a file object known
// under that name answers with its own (non-zero) type. Otherwise the file system is
// asked, a trailing '/' or '\' dropped and links followed: *size (when asked) gets the
// 64-bit size of a regular file (0 otherwise), *date (when asked) the modification
// time as a packed UTC date. The path's case is kept.
int file_info(const char* path, int* type, int64_t* size, double* date);

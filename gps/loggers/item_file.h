// The output file of one downloaded item: the name comes from gps_item_file_name (the
// task's base name and the item's extension) and the file is created for binary writing.
// gps_item_file_open returns the open file, or null when no name could be made or the
// file could not be created; it sets no error, the caller reports its own.
#pragma once

#include <cstdio>

#include "core/memory.h"
#include "gps/gpsport.h"

inline std::FILE* gps_item_file_open(const char* base_name, const char* extension) {
  char* path = nullptr;
  gps_item_file_name(base_name, extension, &path);
  std::FILE* f = path ? std::fopen(path, "wb") : nullptr;
  free_mem(&path);
  return f;
}

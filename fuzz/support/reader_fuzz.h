// The map-format readers on arbitrary bytes: what their harnesses share. Each input
// becomes a disk file (in /dev/shm) opened as a file object of the map model with a fresh
// content list; the harness's read step reads it, a failed read's objects are detached and
// freed as the load dispatch does, and the file goes with them. Also here: the class and
// table set-up several harnesses make once, and the scratch output of those that write
// what they read back out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "fuzz/support/fuzz_env.h"
#include "geodesy/geodesy_tables.h"
#include "map/draw_styles.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace tm_fuzz {

// The source tree's data folder (with its trailing slash), found from this header's path.
inline std::string source_data_dir() {
  const std::string here = __FILE__;
  const size_t fuzz = here.rfind("/fuzz/support/");
  return (fuzz == std::string::npos ? std::string(".") : here.substr(0, fuzz)) + "/data/";
}

// The classes of the map model's files, GPS objects and drawings.
inline void register_map_classes() {
  fileobj_types_register();
  gpsobj_types_register();
  drawobj_types_register();
}

// The map classes and the model's own file operations (reading real disk files).
inline void register_file_classes() {
  register_map_classes();
  file_detail::file_ops_table_install();
}

// The geodesy classes and the tables of the data folder `data`, which becomes the program
// folder, with the reference datum set.
inline void load_geodesy(const std::string& data) {
  geo_register_classes();
  set_program_dir(data.c_str());
  geo_load_tables();
  geo_init_ref_datum();
}

// A file object on a scratch disk file holding the bytes, with a fresh content list;
// nullptr (the error cleared) where it cannot be opened.
inline fileatt_t* open_scratch_file(const uint8_t* data, size_t size, const char* suffix) {
  const std::string path = write_scratch(data, size, suffix);
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return nullptr;
  }
  obj_list_new(&file->sot);
  return file;
}

// One input through a reader: `read(file)` reads into the file's content list and returns
// true where the content is to be detached (a failed read). The error is cleared after the
// read, and the file is freed with whatever it still holds.
template <class Read>
void read_scratch_file(const uint8_t* data, size_t size, const char* suffix, Read read) {
  keep_budget();
  fileatt_t* file = open_scratch_file(data, size, suffix);
  if (!file) return;
  const bool failed = read(file);
  set_gblerr(0);
  if (failed) file_detach_content(file);
  free_obj(&file);
}

// Where a harness's writer writes: one file per process (in /dev/shm, named with
// `suffix`), removed at exit. The first call fixes the path.
inline const std::string& written_path(const char* suffix) {
  static std::string path;
  if (path.empty()) {
    path = "/dev/shm/tm_fuzz_" + std::to_string(getpid()) + suffix;
    std::atexit([] { std::remove(path.c_str()); });
  }
  return path;
}

// Writes the file's first folder (after `first`, where given) with `write` to the
// harness's output, then clears the error.
inline void write_first_folder(fileatt_t* file, void (*write)(const char*, container_t*),
                               const char* suffix, obj_t* first = nullptr) {
  container_t* list = nullptr;
  obj_list_new(&list);
  if (first) obj_list_append(list, first);
  obj_list_append(list, file_get_first_folder(file, nullptr));
  write(written_path(suffix).c_str(), list);
  set_gblerr(0);
  free_obj(&list);
}

// One input read with `read` and, where the read succeeded, the file's first folder
// written again with `write` to the harness's output (named with `out_suffix`).
inline void read_and_write_back(const uint8_t* data, size_t size, const char* suffix,
                                int (*read)(obj_t*, container_t*),
                                void (*write)(const char*, container_t*),
                                const char* out_suffix) {
  read_scratch_file(data, size, suffix, [&](fileatt_t* file) {
    if (read(file, file->sot) != 0) return false;
    set_gblerr(0);
    write_first_folder(file, write, out_suffix);
    return false;
  });
}

// Frees every file object left: the one read and those its references made.
inline void free_file_objects() {
  for (;;) {
    obj_t* f = nullptr;
    if (!obj_class_next(kFileClass, &f) || !f) break;
    free_obj(&f);
    if (f) break;
  }
}

}  // namespace tm_fuzz

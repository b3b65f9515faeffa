// Test support for the geodesy tables: a fresh object store with the geodetic classes,
// the real tables of the source tree's data/ folder, or small tables written by a test.
//
// The real tables are loaded once per test program and kept (later calls reuse them)
// until a test asks for a fresh store; the objects are then freed before the store is
// reset, and whatever is left is freed when the test program ends (records are packed,
// so the leak checker cannot follow their misaligned name pointers).
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "geodesy/geodesy_tables.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

// A copy of a field of a packed record: the test macros bind references to their
// arguments, and a reference to a misaligned field is undefined behaviour.
template <class T> T val(T value) { return value; }

namespace tm_test {

namespace geodesy_detail {
inline bool& real_tables_loaded() {
  static bool loaded = false;
  return loaded;
}

// Whoever resets the store (a fixture of another subject in the same program) frees the
// geodetic objects with it, and the real tables are loaded again when next asked for.
inline void free_geodesy_objects() {
  geo_reset_tables();
  real_tables_loaded() = false;
}
inline const bool kGeodesyCleanupAdded = (add_store_cleanup(free_geodesy_objects), true);
}  // namespace geodesy_detail

// Frees every geodetic object, resets the store and registers the geodetic classes
// (empty tables, gblerr 0). The program folder is left as it was.
inline void fresh_geodesy_store() {
  reset_object_store();
  geo_register_classes();
  set_gblerr(0);
}

// Loads the system's tables from TM_SOURCE_DIR "/data" (once; later calls keep them) and
// sets the reference datum. Returns gblerr of the load (0 when all went well).
inline int load_real_geodesy_tables() {
  if (geodesy_detail::real_tables_loaded()) return 0;
  fresh_geodesy_store();
  set_program_dir(TM_SOURCE_DIR "/data/");
  geo_load_tables();
  const int err = get_gblerr();
  if (err == 0) {
    geo_init_ref_datum();
    geodesy_detail::real_tables_loaded() = true;
  }
  return err;
}

// The system's tables as the files give them, without what earlier tests of the program
// added to the kept copy (objects read from files, such as datums, join the tables).
// Returns gblerr of the load.
inline int reload_real_geodesy_tables() {
  fresh_geodesy_store();
  return load_real_geodesy_tables();
}

// A fresh store and an empty program folder of the sandbox for tables written by the
// test; returns the folder (with a trailing '/').
inline std::string use_geodesy_folder(const char* name) {
  fresh_geodesy_store();
  const std::string folder = fresh_dir(name);
  set_program_dir(folder.c_str());
  return folder;
}

// Frees the geodetic objects once every test of the program has run.
class geodesy_environment : public ::testing::Environment {
 public:
  void TearDown() override { geodesy_detail::free_geodesy_objects(); }
};
inline ::testing::Environment* const kGeodesyEnvironment =
    ::testing::AddGlobalTestEnvironment(new geodesy_environment);

// Writes one table (lines joined by '\n', each ended by one) into the folder.
inline void write_geodesy_table(const std::string& folder, const char* file,
                                const std::string& text) {
  write_file(folder + file, text);
}

// The lines of a comma-separated fixture with exactly `fields` fields, split, passing over
// blank lines, comments ('#') and the header (the line starting with `header`).
inline std::vector<std::vector<std::string>> read_csv_fields(const std::string& path,
                                                             size_t fields,
                                                             const char* header) {
  std::vector<std::vector<std::string>> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.rfind(header, 0) == 0) continue;
    std::vector<std::string> f;
    std::istringstream s(line);
    for (std::string v; std::getline(s, v, ',');) f.push_back(v);
    if (f.size() == fields) out.push_back(f);
  }
  return out;
}

// The projected system of an EPSG code in the loaded tables (null when none).
inline cartproj_t* epsg_projection(int code) {
  cartproj_t* proj = nullptr;
  geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_EPSG, std::to_string(code).c_str(), &proj);
  return proj;
}

}  // namespace tm_test

// The file-list reader on arbitrary bytes: the list is written to disk and read into a
// fresh destination list, then every file object it made is freed.
//
// The reader walks any folder an entry names, all of the file system for "/". So that
// each input stays quick, the harness reads in an empty folder two levels below a scratch
// folder of its own (going back to the fuzzer's folder after each input, where the fuzzer
// writes its corpus) and turns every separator of the input into '_': entries can then
// name only the scratch folders, their files and web addresses without a path.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "formats/file_list.h"
#include "fuzz/support/fuzz_env.h"
#include "map/file_object.h"

namespace {

std::filesystem::path make_scratch_folder() {
  char base[] = "/tmp/file-list-fuzz-XXXXXX";
  if (!mkdtemp(base)) std::abort();
  const std::filesystem::path inner = std::filesystem::path(base) / "a" / "b";
  std::filesystem::create_directories(inner);
  return inner;
}

// Reads the list with the scratch folder as the current folder.
void read_in_scratch(obj_t* file, container_t* dest) {
  static const std::filesystem::path home = std::filesystem::current_path();
  static const std::filesystem::path scratch = make_scratch_folder();
  std::filesystem::current_path(scratch);
  read_filelist(file, dest);
  std::filesystem::current_path(home);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  tm_fuzz::init(false);
  if (!ready) {
    fileobj_types_register();
    set_gblerr(0);
    ready = true;
  }
  std::vector<uint8_t> bytes(data, data + size);
  for (uint8_t& b : bytes)
    if (b == '/' || b == '\\') b = '_';
  const std::string path = tm_fuzz::write_scratch(bytes.data(), bytes.size(), ".lst");
  fileatt_t* file = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  if (!file) {
    set_gblerr(0);
    return 0;
  }
  container_t* dest = nullptr;
  obj_list_new(&dest);
  read_in_scratch(file, dest);
  rd_close_all();
  for (int i = 0; i < obj_list_count(dest); ++i) {
    obj_t* entry = dest->elems[i];
    if (entry != file) free_obj(&entry);
  }
  obj_list_clear(dest);
  free_obj(&dest);
  file_list_keys_clear();
  set_gblerr(0);
  free_obj(&file);
  return 0;
}

// The file-list reader on arbitrary bytes: the list is written to disk and read into a
// fresh destination list, then every file object it made is freed.
//
// The reader walks any folder an entry names, all of the file system for "/". So that
// each input stays quick, the harness reads in a folder two levels below a scratch folder
// of its own holding a few files and sub-folders (going back to the fuzzer's folder after
// each input, where the fuzzer writes its corpus), and keeps entries inside it: a
// separator that starts a path (at the start of a line or after a character that cannot
// be part of a name: a blank, a key's end, "http:") becomes '_', and so does the second
// dot of "..". Relative paths through the scratch folders, web addresses without their
// "//" and keys stay as written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
  std::filesystem::create_directories(inner / "c" / "d");
  for (const char* name : {"w.gpx", "c/t.txt", "c/d/m.mif", "c/d/l.lst"})
    std::ofstream(inner / name) << "x\n";
  return inner;
}

bool name_char(uint8_t b) {
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
         b == '.' || b == '_' || b == '-';
}

// Keeps every path the list names inside the scratch folder (see above).
void confine(std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    uint8_t& b = bytes[i];
    if ((b == '/' || b == '\\') && (i == 0 || !name_char(bytes[i - 1]))) b = '_';
    if (b == '.' && i > 0 && bytes[i - 1] == '.') b = '_';
  }
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
  confine(bytes);
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

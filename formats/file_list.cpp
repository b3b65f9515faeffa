// File lists: the header that picks the version, the lines of the list, and version 1,
// whose entries are paths or URLs taken as the current folder gives them.
#include "formats/file_list.h"

#include <cstring>

#include "core/error.h"
#include "core/file_info.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "map/file_object.h"

namespace {

constexpr int64_t kListBuffer = int64_t(128) << 10;
constexpr char kHeaderV1[] = "FileList V1.0";
constexpr char kHeaderV2[] = "GeoFileList V2.0";
constexpr size_t kKeptBlanks = 3;  // trailing-blank removal never goes below this

bool starts_with(const std::string& line, const char* header) {
  return line.compare(0, std::strlen(header), header) == 0;
}

// Kinds a version-1 entry may have: a file, a web address, an image stream, a folder.
bool v1_kind_taken(int kind) {
  return kind == FILE_TYPE_LOCAL || kind == FILE_TYPE_HTTP || kind == FILE_TYPE_ECWP ||
         kind == FILE_TYPE_FOLDER;
}

void add_v1_entry(const std::string& path, container_t* list) {
  int kind = 0;
  file_info(path.c_str(), &kind, nullptr, nullptr);
  if (!v1_kind_taken(kind)) return;
  if (kind == FILE_TYPE_FOLDER) {
    file_list_detail::add_folder_files(path.c_str(), list);
    return;
  }
  fileatt_t* file = nullptr;
  file_open(nullptr, nullptr, path.c_str(), &file);
  if (file) obj_add_to_id_list(list, file);
}

}  // namespace

namespace file_list_detail {

bool next_line(std::string& line) {
  line.clear();
  if (rd_at_end()) return false;
  bool has_nul = false;
  while (!rd_at_end()) {
    const int c = rd_read_byte();
    if (c < 0 || c == '\n') break;
    if (c == '\r') {
      if (!rd_at_end() && rd_read_byte() != '\n') rd_seek(-1, 1);
      break;
    }
    if (c == 0) has_nul = true;
    if (line.size() < size_t(kMaxLine)) line.push_back(char(c));
  }
  if (has_nul) line.clear();
  size_t end = line.size();
  while (end > kKeptBlanks && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  line.resize(end);
  return true;
}

}  // namespace file_list_detail

int read_filelist(obj_t* file, container_t* list) {
  if (!list || !file_of(file)) return 0;
  if (rd_open(file, kListBuffer, 1) != 0) {
    set_gblerr(2);
    return 2;
  }
  std::string header;
  if (!file_list_detail::next_line(header)) return 0;
  if (starts_with(header, kHeaderV1)) return read_filelist_v1(file, list);
  if (starts_with(header, kHeaderV2)) return read_geofilelist_v2(file, list);
  return 0;
}

int read_filelist_v1(obj_t* file, container_t* list) {
  std::string line;
  for (;;) {
    rd_make_current(file);  // opening an entry may have made another file current
    if (!file_list_detail::next_line(line)) break;
    if (line.size() < 2) continue;
    add_v1_entry(line, list);
  }
  return 0;
}

void file_list_register() {
  register_format_reader(kFormatFileListV1, read_filelist);
  register_format_reader(kFormatFileListV2, read_filelist);
}

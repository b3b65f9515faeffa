// Version 2 file lists: a key of at most eight characters, blanks, then a path relative
// to the list file's folder (or an HTTP URL). Image streams and folders are not taken.
#include <map>
#include <mutex>
#include <string>

#include "core/file_info.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/paths.h"
#include "core/reader.h"
#include "formats/file_list.h"
#include "map/file_object.h"

namespace {

constexpr size_t kMaxKey = 8;

// Keys by file object id; the file table's own key names stay the paths.
std::mutex& keys_mutex() {
  static std::mutex m;
  return m;
}
std::map<int, std::string>& keys() {
  static std::map<int, std::string> k;
  return k;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool has_scheme(const std::string& path) { return path.find("://") != std::string::npos; }

// The folder the list file lies in, with its separator ("" when it has none).
std::string list_folder(obj_t* file) {
  const char* name = file_get_name(file_of(file));
  const char* base = path_basename(name);
  return std::string(name, size_t(base - name));
}

void add_v2_entry(const std::string& line, const std::string& folder, container_t* list) {
  size_t pos = 0;
  while (pos < line.size() && !is_blank(line[pos])) ++pos;
  const std::string key = line.substr(0, std::min(pos, kMaxKey));
  while (pos < line.size() && is_blank(line[pos])) ++pos;
  const std::string path = line.substr(pos);
  if (path.empty()) return;
  const bool relative = !has_scheme(path) && !path_is_absolute(path.c_str());
  const std::string dir = relative ? folder : std::string();
  int kind = 0;
  file_info((dir + path).c_str(), &kind, nullptr, nullptr);
  if (kind != FILE_TYPE_LOCAL && kind != FILE_TYPE_HTTP) return;
  fileatt_t* entry = nullptr;
  file_open(nullptr, dir.empty() ? nullptr : dir.c_str(), path.c_str(), &entry);
  if (!entry) return;
  obj_add_to_id_list(list, entry);
  std::lock_guard<std::mutex> lock(keys_mutex());
  keys()[entry->id] = key;
}

}  // namespace

int read_geofilelist_v2(obj_t* file, container_t* list) {
  const std::string folder = list_folder(file);
  std::string line;
  for (;;) {
    rd_make_current(file);  // opening an entry may have made another file current
    if (!file_list_detail::next_line(line)) break;
    if (line.size() < 2) continue;
    add_v2_entry(line, folder, list);
  }
  return 0;
}

std::string file_list_key(const obj_t* file) {
  if (!file) return {};
  std::lock_guard<std::mutex> lock(keys_mutex());
  const auto it = keys().find(file->id);
  return it == keys().end() ? std::string() : it->second;
}

void file_list_keys_clear() {
  std::lock_guard<std::mutex> lock(keys_mutex());
  keys().clear();
}

// file_info: the web-address check, the file-object table, then the file system
// through the platform layer. A path holding '\' that names nothing is tried again
// with '/'.
#include "core/file_info.h"

#include <string>

#include "core/config.h"
#include "core/dates.h"
#include "core/file_ops.h"
#include "core/strutil.h"
#include "platform/sys/dir.h"

namespace {

// The type of a web address, 0 for anything else; none while the web is switched off
// by the configuration ("HTTP" beginning with '0').
int url_type(const char* path) {
  const char* http = config_http();
  if (http && http[0] == '0') return 0;
  if (strn_compare_ci(path, "http://", 7) == 0) return FILE_TYPE_HTTP;
  if (strn_compare_ci(path, "ecwp://", 7) == 0) return FILE_TYPE_ECWP;
  return 0;
}

bool examine(std::string p, plat::path_info* info) {
  while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
  if (plat::path_examine(p.c_str(), true, info)) return true;
  if (p.find('\\') == std::string::npos) return false;
  for (char& c : p)
    if (c == '\\') c = '/';
  return plat::path_examine(p.c_str(), true, info);
}

}  // namespace

int file_info(const char* path, int* type, int64_t* size, double* date) {
  int kind = FILE_TYPE_MISSING;
  if (size) *size = 0;
  if (date) *date = 0.0;
  if (path && *path) {
    if (const int web = url_type(path)) {
      kind = web;
    } else {
      obj_t* known = !size && !date ? get_file_ops().find_by_name(path) : nullptr;
      const int64_t known_type = known ? file_get(known, FF_TYPE) : 0;
      if (known_type != 0) {
        kind = static_cast<int>(known_type);
      } else {
        plat::path_info info;
        if (examine(path, &info)) {
          kind = info.kind == plat::entry_kind::folder ? FILE_TYPE_FOLDER
                 : info.kind == plat::entry_kind::file ? FILE_TYPE_LOCAL
                                                       : FILE_TYPE_OTHER;
          if (size) *size = info.size;
          if (date) *date = date_from_time_t(info.modified);
        }
      }
    }
  }
  if (type) *type = kind;
  return kind;
}

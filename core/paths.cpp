// Path arithmetic and the file and folder operations (see paths.h).
//
// The arithmetic works on text only and accepts both separators; the operations reach
// the file system through std::filesystem with error codes, so that no failure throws.
#include "core/paths.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/error.h"
#include "core/memory.h"
#include "core/strutil.h"

namespace fs = std::filesystem;

namespace {

inline bool is_sep(char c) { return c == '/' || c == '\\'; }

// Position of the last separator of p, or null.
const char* last_sep(const char* p) {
  const char* found = nullptr;
  for (; *p; ++p) {
    if (is_sep(*p)) found = p;
  }
  return found;
}

// Position of the '.' that begins the extension of the file name, or null.
const char* extension_dot(const char* path) {
  return std::strrchr(path_basename(path), '.');
}

// Owner pointers may be fields of packed records: read through owner_get.
char* set_owned(const std::string& text, char** owner) {
  str_set(text.c_str(), owner);
  return owner_get(owner);
}

char* clear_owned(char** owner) {
  free_mem(owner);
  return nullptr;
}

// Characters of `base` that a "../" may never remove: none below the root of a Linux
// path, the first three ("c:\", "\\s") of the other absolute forms.
size_t root_length(const std::string& base) {
  const bool linux_root = !base.empty() && base[0] == '/' && !(base.size() > 1 && is_sep(base[1]));
  return linux_root ? 0 : 3;
}

// A '/'-rooted path that names this machine's tree (not "//server").
bool is_linux_absolute(const char* p) {
  return p && p[0] == '/' && !is_sep(p[1]);
}

}  // namespace

// ---- Path arithmetic ----------------------------------------------------------------

const char* path_sep() { return "/"; }

int path_is_absolute(const char* p) {
  if (!p) return 0;
  if (p[0] == '/') return 1;
  if (p[0] == '\\' && p[1] == '\\') return 1;
  for (const char* colon = std::strchr(p, ':'); colon; colon = std::strchr(colon + 1, ':')) {
    if (is_sep(colon[1])) return 1;
  }
  return 0;
}

int path_ends_with_sep(const char* p) {
  if (!p || !*p) return 0;
  return is_sep(p[std::strlen(p) - 1]) ? 1 : 0;
}

const char* path_basename(const char* p) {
  if (!p) return "";
  const char* sep = last_sep(p);
  return sep ? sep + 1 : p;
}

char* path_folder(const char* path, char** owner) {
  if (!path) {
    set_gblerr(ERR_PARAMETERS);
    return clear_owned(owner);
  }
  const char* sep = last_sep(path);
  if (!sep) return set_owned("./", owner);
  return set_owned(std::string(path, sep + 1), owner);
}

char* path_get_extension(const char* path, char** owner) {
  const char* dot = path ? extension_dot(path) : nullptr;
  std::string ext = dot ? dot + 1 : "";
  for (char& c : ext) c = ascii_lower(c);
  return set_owned(ext, owner);
}

char* path_set_extension(char** path, const char* ext) {
  const char* whole = path ? owner_get(path) : nullptr;
  if (!whole) {
    set_gblerr(ERR_PARAMETERS);
    return nullptr;
  }
  const char* dot = extension_dot(whole);
  std::string result(whole, dot ? dot : whole + std::strlen(whole));
  if (ext && *ext) {
    if (ext[0] != '.') result += '.';
    result += ext;
  }
  return set_owned(result, path);
}

int path_equal(const char* a, const char* b) {
  if (!a || !b) return 0;
  for (; *a; ++a, ++b) {
    if (*a == *b) continue;
    if (is_sep(*a) && is_sep(*b)) continue;
    return 0;
  }
  return 1;
}

char* path_make_absolute(const char* base, const char* relative, char** owner) {
  if (!relative) relative = "";
  if (path_is_absolute(relative)) return set_owned(relative, owner);
  if (!base || !*base) return clear_owned(owner);
  std::string folder = base;
  if (path_ends_with_sep(folder.c_str())) folder.pop_back();
  const size_t root = root_length(folder);
  const char* rest = relative;
  while (rest[0] == '.') {
    if (is_sep(rest[1]) || rest[1] == '\0') {  // "./" or a final "."
      rest += rest[1] ? 2 : 1;
      continue;
    }
    if (rest[1] == '.' && (is_sep(rest[2]) || rest[2] == '\0')) {  // "../" or a final ".."
      const size_t cut = folder.find_last_of("/\\");
      if (cut == std::string::npos || cut < root) return clear_owned(owner);
      folder.resize(cut);
      rest += rest[2] ? 3 : 2;
      continue;
    }
    break;  // a name that begins with '.'
  }
  const std::string result = folder + "/" + rest;
  if (!path_is_absolute(result.c_str())) return clear_owned(owner);
  return set_owned(result, owner);
}

char* path_from_current_folder(const char* path, char** owner) {
  std::error_code ec;
  const std::string cwd = std::filesystem::current_path(ec).string();
  if (ec) return clear_owned(owner);
  return path_make_absolute(cwd.c_str(), path, owner);
}

char* path_resolve_root(char** path, const char* base) {
  const char* rest = path ? owner_get(path) : nullptr;
  if (!rest) return nullptr;
  static constexpr char kRoot[] = "root://";
  if (std::strncmp(rest, kRoot, sizeof kRoot - 1) == 0) rest += sizeof kRoot - 1;
  std::string result;
  if (!path_is_absolute(rest)) {
    result = base ? base : "";
    if (!result.empty() && !path_ends_with_sep(result.c_str())) result += '/';
  }
  result += rest;
  return set_owned(result, path);
}

int path_depth(const char* p) {
  if (!path_is_absolute(p)) return 0;
  int depth = 0;
  bool first = true;
  while (*p) {
    while (is_sep(*p)) ++p;
    if (!*p) break;
    const char* end = p;
    while (*end && !is_sep(*end)) ++end;
    const bool drive_or_scheme = first && end[-1] == ':';
    if (!drive_or_scheme) ++depth;
    first = false;
    p = end;
  }
  return depth;
}

// ---- Files and folders --------------------------------------------------------------

int file_exists(const char* path) {
  if (!path || !*path) return 0;
  std::error_code ec;
  return fs::is_regular_file(path, ec) ? 1 : 0;
}

int path_is_dir(const char* path) {
  if (!path || !*path) return 0;
  std::string p = path;
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  std::error_code ec;
  return fs::is_directory(p, ec) ? 1 : 0;
}

int path_is_local_drive(const char* path) { return is_linux_absolute(path) ? 1 : 0; }

int dir_make(const char* path) {
  if (!path || !*path) return 0;
  std::error_code ec;
  fs::create_directory(path, ec);
  return path_is_dir(path);
}

int dir_remove(const char* path) {
  if (!path_is_dir(path)) return 0;
  std::error_code ec;
  return fs::remove(path, ec) ? 1 : 0;
}

int path_make_dirs(const char* path) {
  if (!is_linux_absolute(path)) return 0;
  const std::string p = path;
  // Every prefix that ends before a '/', then the whole path. Like every file-system
  // operation here, a '\' is part of a name.
  for (size_t i = 1; i <= p.size(); ++i) {
    if (i < p.size() && p[i] != '/') continue;
    if (p[i - 1] == '/') continue;  // an empty component
    if (!dir_make(p.substr(0, i).c_str())) return 0;
  }
  return 1;
}

int path_remove(const char* path) {
  if (!path || !*path) return 0;
  std::error_code ec;
  return fs::remove(path, ec) ? 1 : 0;
}

int file_copy(const char* src, const char* dst) {
  if (!src || !dst || !*src || !*dst) return 0;
  std::error_code ec;
  // Opening the destination "wb" would empty the source first.
  if (fs::equivalent(src, dst, ec)) return 0;
  std::FILE* in = std::fopen(src, "rb");
  if (!in) return 0;
  std::FILE* out = std::fopen(dst, "wb");
  if (!out) {
    std::fclose(in);
    return 0;
  }
  char block[4096];
  bool ok = true;
  for (size_t n; ok && (n = std::fread(block, 1, sizeof block, in)) > 0;) {
    ok = std::fwrite(block, 1, n, out) == n;
  }
  ok = ok && !std::ferror(in);
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  return ok ? 1 : 0;
}

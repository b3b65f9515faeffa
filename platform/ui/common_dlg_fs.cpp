// Paths, folder listings and filters for the common dialogs.
#include "platform/ui/common_dlg_fs.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "platform/sys/dir.h"
#include "platform/ui/common_dlg.h"

namespace plat::cdlg_detail {

namespace {

std::atomic<uint32_t> g_last_error{0};

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// '*' and '?' glob over the whole name, case ignored; iterative with one back-track point.
bool glob_match(const std::string& pat, const std::string& name) {
  size_t p = 0, n = 0, star = std::string::npos, mark = 0;
  while (n < name.size()) {
    if (p < pat.size() && (pat[p] == '?' || lower(pat[p]) == lower(name[n]))) {
      ++p, ++n;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

}  // namespace

void set_last_error(uint32_t code) { g_last_error = code; }

std::string working_folder() {
  char buf[4096];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string("/");
}

std::string normalize_path(const std::string& path, const std::string& base) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  if (p.empty() || p[0] != '/') p = (base.empty() ? working_folder() : base) + "/" + p;
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    std::string part = p.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

std::string join_path(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string parent_of(const std::string& path) {
  size_t k = path.rfind('/');
  if (k == std::string::npos || k == 0) return "/";
  return path.substr(0, k);
}

std::string leaf_of(const std::string& path) {
  size_t k = path.rfind('/');
  return k == std::string::npos ? path : path.substr(k + 1);
}

bool is_folder(const std::string& path) {
  path_info info;
  return path_examine(path.c_str(), true, &info) && info.kind == entry_kind::folder;
}

bool is_file(const std::string& path) {
  path_info info;
  return path_examine(path.c_str(), true, &info) && info.kind == entry_kind::file;
}

bool less_ignoring_case(const std::string& a, const std::string& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return lower(a[i]) < lower(b[i]);
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

Listing list_folder(const std::string& folder) {
  Listing out;
  dir_listing* d = dir_open(folder.c_str());
  if (!d) return out;
  out.readable = true;
  dir_entry e;
  while (dir_next(d, &e)) {
    if (e.name.empty() || e.name[0] == '.') continue;
    entry_kind kind = e.info.kind;
    if (kind == entry_kind::link) {
      path_info target;
      kind = path_examine(join_path(folder, e.name).c_str(), true, &target) ? target.kind : entry_kind::missing;
    }
    if (kind == entry_kind::folder) out.folders.push_back(e.name);
    if (kind == entry_kind::file) out.files.push_back(e.name);
  }
  dir_close(d);
  std::sort(out.folders.begin(), out.folders.end(), less_ignoring_case);
  std::sort(out.files.begin(), out.files.end(), less_ignoring_case);
  return out;
}

bool has_wildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

bool matches_filter(const std::string& name, const std::string& patterns) {
  if (trim(patterns).empty()) return true;
  size_t i = 0;
  while (i <= patterns.size()) {
    size_t j = patterns.find(';', i);
    if (j == std::string::npos) j = patterns.size();
    std::string pat = trim(patterns.substr(i, j - i));
    if (pat == "*.*" || pat == "*") return true;
    if (!pat.empty() && glob_match(pat, name)) return true;
    i = j + 1;
  }
  return false;
}

}  // namespace plat::cdlg_detail

namespace plat {

uint32_t comm_dlg_extended_error() { return cdlg_detail::g_last_error; }

std::vector<FileFilter> parse_filter_list(const char* pairs) {
  std::vector<FileFilter> out;
  if (!pairs) return out;
  while (*pairs) {
    std::string label = pairs;
    pairs += label.size() + 1;
    if (!*pairs) break;
    std::string patterns = pairs;
    pairs += patterns.size() + 1;
    out.push_back(FileFilter{label, patterns});
  }
  return out;
}

}  // namespace plat

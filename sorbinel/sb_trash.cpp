// The trash folder: the file is moved (renamed, or copied and removed when the trash
// lies on another file system) into Trash/files, after its record was written with an
// exclusive create into Trash/info, which reserves the name against a second deletion
// of the same name at the same time.
#include "sorbinel/sb_trash.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/sys/clock.h"
#include "platform/sys/sysinfo.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxNameTries = 10000;

bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
}

std::string now_text() {
  std::tm tm{};
  if (!plat::local_time(plat::wall_time(), &tm)) return "1970-01-01T00:00:00";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

// The n-th name tried for `name`: the name itself, then a number before its extension.
std::string numbered(const std::string& name, int n) {
  if (n == 1) return name;
  const size_t dot = name.find_last_of('.');
  std::string num = ".";
  num += std::to_string(n);
  if (dot == std::string::npos || dot == 0) return name + num;
  return name.substr(0, dot) + num + name.substr(dot);
}

// Creates the record only when no file of its name exists. False when it exists (or
// cannot be written).
bool write_info_exclusive(const fs::path& info, const std::string& text) {
  FILE* f = std::fopen(info.c_str(), "wx");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok) {
    std::error_code ec;
    fs::remove(info, ec);
    return false;
  }
  return true;
}

bool move_file(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  // Another file system: copy, then remove the original only once the copy is whole.
  if (!fs::copy_file(from, to, fs::copy_options::none, ec) || ec) {
    fs::remove(to, ec);
    return false;
  }
  if (!fs::remove(from, ec) || ec) {
    fs::remove(to, ec);
    return false;
  }
  return true;
}

}  // namespace

std::string sb_trash_dir() {
  const std::string data = plat::user_data_dir();
  return data.empty() ? "" : data + "Trash/";
}

std::string sb_trash_info_text(const std::string& absolute_path, const std::string& when) {
  std::string path;
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : absolute_path) {
    if (unreserved(c)) {
      path += char(c);
    } else {
      path += '%';
      path += kHex[c >> 4];
      path += kHex[c & 15];
    }
  }
  return "[Trash Info]\nPath=" + path + "\nDeletionDate=" + when + "\n";
}

int sb_trash_file(const char* path, std::string* trashed) {
  if (!path || !*path) return -1;
  std::error_code ec;
  const fs::path source = fs::absolute(fs::path(path), ec);
  if (ec) return -1;
  const fs::file_status st = fs::symlink_status(source, ec);
  if (ec || (!fs::is_regular_file(st) && !fs::is_symlink(st))) return -1;
  const std::string dir = sb_trash_dir();
  if (dir.empty()) return -1;
  const fs::path files = fs::path(dir) / "files";
  const fs::path info = fs::path(dir) / "info";
  fs::create_directories(files, ec);
  fs::create_directories(info, ec);
  if (!fs::is_directory(files) || !fs::is_directory(info)) return -1;
  const std::string name = source.filename().string();
  const std::string record = sb_trash_info_text(source.lexically_normal().string(), now_text());
  for (int n = 1; n <= kMaxNameTries; ++n) {
    const std::string candidate = numbered(name, n);
    const fs::path target = files / candidate;
    if (fs::exists(fs::symlink_status(target, ec))) continue;
    const fs::path info_file = info / (candidate + ".trashinfo");
    if (!write_info_exclusive(info_file, record)) continue;
    if (fs::exists(fs::symlink_status(target, ec)) || !move_file(source, target)) {
      fs::remove(info_file, ec);
      return -1;
    }
    if (trashed) *trashed = candidate;
    return 0;
  }
  return -1;
}

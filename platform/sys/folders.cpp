// Folders the programs need: the folder and name of the running executable, read
// from /proc/self/exe, and the user's configuration, data and temporary folders
// from the XDG variables, each returned with a trailing '/' and created when
// missing. Nothing is cached here: the callers in core cache what they keep.
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/sys/sysinfo.h"

namespace plat {
namespace {

// The kernel appends this to the link of an executable that was replaced or removed.
constexpr char kDeletedSuffix[] = " (deleted)";

std::string executable_path() {
  std::string buf(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return std::string();
  buf.resize(static_cast<size_t>(n));
  const std::string suffix = kDeletedSuffix;
  if (buf.size() > suffix.size() && buf.compare(buf.size() - suffix.size(), suffix.size(), suffix) == 0)
    buf.resize(buf.size() - suffix.size());
  return buf;
}

bool is_dir(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every missing folder along an absolute path (0700, as the XDG base folders
// are meant to be private to the user).
bool make_dirs(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos < path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return is_dir(path);
}

// Only absolute values count: a relative XDG value is to be ignored.
std::string absolute_env(const char* name) {
  const char* value = getenv(name);
  if (!value || value[0] != '/') return std::string();
  return value;
}

std::string with_trailing_slash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.back() != '/') path += '/';
  return path;
}

// The folder named by the variable, else `fallback_below_home` under $HOME (or
// `fallback_absolute` when given); the first one that exists or can be created.
std::string pick_folder(const char* variable, const char* fallback_below_home,
                        const char* fallback_absolute) {
  std::string candidates[2];
  candidates[0] = absolute_env(variable);
  if (fallback_absolute) {
    candidates[1] = fallback_absolute;
  } else {
    std::string home = absolute_env("HOME");
    if (!home.empty()) candidates[1] = with_trailing_slash(home) + fallback_below_home;
  }
  for (const std::string& candidate : candidates) {
    if (candidate.empty()) continue;
    std::string folder = with_trailing_slash(candidate);
    if (make_dirs(folder)) return folder;
  }
  return std::string();
}

// The value of XDG_DOCUMENTS_DIR in a user-dirs.dirs file: a line
// XDG_DOCUMENTS_DIR="$HOME/path" or XDG_DOCUMENTS_DIR="/path"; "" when absent.
std::string user_dirs_documents(const std::string& file, const std::string& home) {
  std::ifstream in(file);
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::string value = line.substr(start + key.size());
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.pop_back();
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::string();
    value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) return home.empty() ? std::string() : home + value.substr(5);
    return value[0] == '/' ? value : std::string();
  }
  return std::string();
}

}  // namespace

std::string documents_dir() {
  const std::string home = absolute_env("HOME");
  std::string candidates[3];
  candidates[0] = absolute_env("XDG_DOCUMENTS_DIR");
  std::string config = absolute_env("XDG_CONFIG_HOME");
  if (config.empty() && !home.empty()) config = with_trailing_slash(home) + ".config";
  if (!config.empty()) candidates[1] = user_dirs_documents(with_trailing_slash(config) + "user-dirs.dirs", home);
  if (!home.empty()) candidates[2] = with_trailing_slash(home) + "Documents";
  for (const std::string& candidate : candidates)
    if (!candidate.empty() && is_dir(candidate)) return with_trailing_slash(candidate);
  return !home.empty() && is_dir(home) ? with_trailing_slash(home) : std::string();
}

std::string program_dir() {
  std::string path = executable_path();
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

std::string program_name() {
  std::string path = executable_path();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string user_config_dir() { return pick_folder("XDG_CONFIG_HOME", ".config", nullptr); }

std::string user_data_dir() { return pick_folder("XDG_DATA_HOME", ".local/share", nullptr); }

std::string temp_dir() { return pick_folder("TMPDIR", nullptr, "/tmp"); }

}  // namespace plat

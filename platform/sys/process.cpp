// The process table and the process's priority. Running copies of a program are
// counted by scanning /proc; the priority of the whole process is its nice value,
// which Linux keeps per thread, so every thread of the process is set.
#include <dirent.h>
#include <errno.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/sys/sysinfo.h"

namespace plat {
namespace {

// The kernel keeps at most 15 characters of a process's command name.
constexpr size_t kCommandNameMax = 15;
constexpr char kDeletedSuffix[] = " (deleted)";

bool all_digits(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ci(const std::string& a, const char* b, size_t b_len) {
  if (a.size() != b_len) return false;
  for (size_t i = 0; i < b_len; ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

enum class exe_link { read, hidden, absent };

// The file name of a process's executable. The link is hidden for another user's
// process, and absent for a kernel thread or a process that is exiting (a zombie is
// no longer running, so it must not count).
exe_link exe_basename(const std::string& proc_dir, std::string* out) {
  char buf[4096];
  ssize_t n = readlink((proc_dir + "/exe").c_str(), buf, sizeof buf - 1);
  if (n <= 0) return (errno == EACCES || errno == EPERM) ? exe_link::hidden : exe_link::absent;
  std::string path(buf, static_cast<size_t>(n));
  const size_t suffix_len = sizeof kDeletedSuffix - 1;
  if (path.size() > suffix_len && path.compare(path.size() - suffix_len, suffix_len, kDeletedSuffix) == 0)
    path.resize(path.size() - suffix_len);
  size_t slash = path.rfind('/');
  *out = slash == std::string::npos ? path : path.substr(slash + 1);
  return exe_link::read;
}

std::string command_name(const std::string& proc_dir) {
  FILE* f = std::fopen((proc_dir + "/comm").c_str(), "r");
  if (!f) return std::string();
  char buf[64] = {0};
  if (!std::fgets(buf, sizeof buf, f)) buf[0] = 0;
  std::fclose(f);
  std::string name = buf;
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

// The executable's name decides when it can be read. When it is hidden the command
// name does, and a command name of full length is compared with the first 15
// characters of `name`, since the kernel cut it there.
bool process_matches(const std::string& proc_dir, const char* name, size_t name_len) {
  std::string exe;
  switch (exe_basename(proc_dir, &exe)) {
    case exe_link::read: return equal_ci(exe, name, name_len);
    case exe_link::absent: return false;
    case exe_link::hidden: break;
  }
  std::string comm = command_name(proc_dir);
  if (comm.empty()) return false;
  if (comm.size() == kCommandNameMax && name_len > kCommandNameMax) name_len = kCommandNameMax;
  return equal_ci(comm, name, name_len);
}

// Nice values of the two priorities the programs use.
constexpr int kNormalNice = 0;
constexpr int kIdleNice = 19;

// The process starts at normal priority.
std::atomic<int> g_last_priority_normal{1};

void set_every_thread_nice(int nice_value) {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) {
    setpriority(PRIO_PROCESS, 0, nice_value);
    return;
  }
  while (dirent* entry = readdir(tasks)) {
    if (!all_digits(entry->d_name)) continue;
    // Failure is not an error: without the privilege to raise priority the thread
    // keeps its current one.
    setpriority(PRIO_PROCESS, static_cast<id_t>(std::strtol(entry->d_name, nullptr, 10)), nice_value);
  }
  closedir(tasks);
}

}  // namespace

int count_processes_named(const char* name) {
  if (!name || !name[0]) return 0;
  DIR* proc = opendir("/proc");
  if (!proc) return 1;
  const size_t name_len = std::strlen(name);
  int count = 0;
  while (dirent* entry = readdir(proc)) {
    if (!all_digits(entry->d_name)) continue;
    if (process_matches(std::string("/proc/") + entry->d_name, name, name_len)) ++count;
  }
  closedir(proc);
  return count;
}

void set_process_priority(bool normal) {
  const int wanted = normal ? 1 : 0;
  if (g_last_priority_normal.exchange(wanted) == wanted) return;
  set_every_thread_nice(normal ? kNormalNice : kIdleNice);
}

}  // namespace plat

namespace plat {
int process_id() { return static_cast<int>(getpid()); }
}  // namespace plat

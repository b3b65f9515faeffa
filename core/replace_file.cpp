// Writing a file beside its target and renaming it over the target once complete.
#include "core/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdio.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/config.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/reader.h"
#include "core/tracelog.h"

// What the stream's write routine saw: the stream itself keeps only an error flag, and
// the user is to be told the system's reason (no room left, a quota, ...).
struct replace_file_write {
  int fd = -1;
  int error = 0;  // errno of the first failed write
};

namespace {

thread_local std::string t_reason;

ssize_t cookie_write(void* cookie, const char* data, size_t size) {
  auto* w = static_cast<replace_file_write*>(cookie);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(w->fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!w->error) w->error = n < 0 ? errno : EIO;
      return done > 0 ? ssize_t(done) : -1;
    }
    done += size_t(n);
  }
  return ssize_t(done);
}

// The descriptor stays open after the stream is closed: the commit syncs, then closes it.
int cookie_close(void*) { return 0; }

void keep_reason(int err) { t_reason = err ? std::strerror(err) : ""; }

bool is_rooted(const std::string& path) {
  return !path.empty() && (path[0] == '/' || path[0] == '\\');
}

// The path the writers have always written to: a relative name lies in the system
// folder. A symbolic link is followed, so that the link stays and its file changes.
std::string resolve_target(const char* path) {
  std::string target = path;
  for (char& c : target)
    if (c == '\\') c = '/';
  if (!is_rooted(target)) target = std::string(get_system_dir()) + target;
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char real[PATH_MAX];
    if (realpath(target.c_str(), real)) target = real;
  }
  return target;
}

void log_open_failure(const char* path) {
  const std::string name = path ? path : "";
  const std::string text = is_french() ? "Ouverture du fichier <" + name + "> impossible"
                                       : "Unable to open file <" + name + ">";
  log_error_line(text.c_str());
}

void remove_temp(replace_file_t* r) {
  if (!r->temp.empty()) unlink(r->temp.c_str());
  r->temp.clear();
}

void close_descriptor(replace_file_t* r) {
  if (r->fd >= 0) ::close(r->fd);
  r->fd = -1;
  delete r->writes;
  r->writes = nullptr;
}

}  // namespace

FILE* replace_file_open(replace_file_t* r, const char* path) {
  if (!r) return nullptr;
  replace_file_abandon(r);
  if (!path || !*path) {
    keep_reason(ENOENT);
    log_open_failure(path);
    return nullptr;
  }
  r->target = resolve_target(path);
  const size_t slash = r->target.rfind('/');
  const std::string folder = r->target.substr(0, slash + 1);
  if (!folder.empty()) {
    char* dir = nullptr;
    str_set(folder.c_str(), &dir);
    path_make_dirs(dir);
    free_mem(&dir);
  }
  // The new file keeps the permissions of the one it replaces; a new one gets the
  // usual ones under the process's umask.
  mode_t mode = 0666;
  struct stat st {};
  int fd = -1;
  int err = 0;
  if (stat(r->target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
      // A device, a pipe or a socket is written as it is: it is not a file to replace,
      // and a file renamed over it would take its place.
      fd = ::open(r->target.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) err = errno;
    }
  }
  for (int n = 0; n < 100 && fd < 0 && err == 0; ++n) {
    std::string temp = folder + "." + r->target.substr(slash + 1) + "." +
                       std::to_string(getpid()) + "-" + std::to_string(n) + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      r->temp = temp;
      if (mode != 0666) fchmod(fd, mode);
    } else if (errno != EEXIST) {
      err = errno;
    }
  }
  if (fd < 0) {
    keep_reason(err ? err : EEXIST);
    log_open_failure(path);
    r->target.clear();
    return nullptr;
  }
  r->fd = fd;
  r->writes = new replace_file_write{fd, 0};
  r->file = fopencookie(r->writes, "wb", cookie_io_functions_t{nullptr, cookie_write, nullptr, cookie_close});
  if (!r->file) {
    keep_reason(errno);
    close_descriptor(r);
    remove_temp(r);
    log_open_failure(path);
    return nullptr;
  }
  return r->file;
}

bool replace_file_commit(replace_file_t* r) {
  if (!r || !r->file) return false;
  int err = 0;
  if (std::fflush(r->file) != 0 || std::ferror(r->file)) err = r->writes->error ? r->writes->error : EIO;
  std::fclose(r->file);
  r->file = nullptr;
  const bool in_place = r->temp.empty();
  if (!err && !in_place && fsync(r->fd) != 0) err = errno;
  if (::close(r->fd) != 0 && !err) err = errno;
  r->fd = -1;
  close_descriptor(r);
  if (!err && !in_place && std::rename(r->temp.c_str(), r->target.c_str()) != 0) err = errno;
  if (err) {
    keep_reason(err);
    remove_temp(r);
    return false;
  }
  r->temp.clear();
  return true;
}

void replace_file_abandon(replace_file_t* r) {
  if (!r) return;
  if (r->file) std::fclose(r->file);
  r->file = nullptr;
  close_descriptor(r);
  remove_temp(r);
}

const char* file_write_reason() { return t_reason.c_str(); }

void file_write_reason_clear() { t_reason.clear(); }

// Folder listings over opendir/readdir. Each entry is examined with fstatat relative to
// the listing's own descriptor and without following links, so the answer is about the
// entry the listing returned, whatever the process's current folder is. A listing that
// must not follow a link is opened with O_NOFOLLOW and read with fdopendir.
#include "platform/sys/dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace plat {

struct dir_listing {
  DIR* dir;
};

namespace {

void fill_info(const struct stat& st, path_info* out) {
  out->size = 0;
  if (S_ISLNK(st.st_mode))
    out->kind = entry_kind::link;
  else if (S_ISDIR(st.st_mode))
    out->kind = entry_kind::folder;
  else if (S_ISREG(st.st_mode))
    out->kind = entry_kind::file, out->size = static_cast<int64_t>(st.st_size);
  else
    out->kind = entry_kind::other;
  out->modified = st.st_mtime;
}

// A descriptor of the folder itself, refusing a link: O_NOFOLLOW only looks at the last
// component as written, so the trailing separators that would resolve it are dropped.
int open_folder_no_link(const char* path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

dir_listing* dir_open(const char* path, bool follow_link) {
  if (!path || !*path) return nullptr;
  DIR* dir = nullptr;
  if (follow_link) {
    dir = opendir(path);
  } else if (const int fd = open_folder_no_link(path); fd >= 0) {
    dir = fdopendir(fd);
    if (!dir) close(fd);
  }
  if (!dir) return nullptr;
  return new dir_listing{dir};
}

bool dir_next(dir_listing* listing, dir_entry* out) {
  if (!listing || !out) return false;
  struct dirent* e = readdir(listing->dir);
  if (!e) return false;
  out->name = e->d_name;
  out->info = path_info{};
  struct stat st;
  if (fstatat(dirfd(listing->dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
    fill_info(st, &out->info);
  else
    out->info.kind = entry_kind::other;  // vanished meanwhile: nothing to descend into
  return true;
}

void dir_close(dir_listing* listing) {
  if (!listing) return;
  closedir(listing->dir);
  delete listing;
}

bool path_examine(const char* path, bool follow_link, path_info* out) {
  *out = path_info{};
  if (!path || !*path) return false;
  struct stat st;
  int rc = follow_link ? stat(path, &st) : lstat(path, &st);
  if (rc != 0) return false;
  fill_info(st, out);
  return true;
}

}  // namespace plat

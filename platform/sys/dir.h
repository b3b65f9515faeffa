// Folder listings and path information: what the core's folder walk and file queries
// need of the file system, and no more.
//
// A listing yields the entries of one folder, "." and ".." included, each examined
// without following a symbolic link: a link is reported as a link, never as what it
// points to, so that a walk never leaves the tree it was given.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

namespace plat {

enum class entry_kind { missing, file, folder, link, other };

struct path_info {
  entry_kind kind = entry_kind::missing;
  int64_t size = 0;         // bytes (0 for a folder)
  std::time_t modified = 0;  // last modification, seconds since 1970 UTC
};

struct dir_entry {
  std::string name;  // as the file system holds it (case kept)
  path_info info;    // of the entry itself (a link is entry_kind::link)
};

struct dir_listing;  // an open listing

// Opens a listing of a folder; null when it cannot be read. With `follow_link` false a
// path whose last component is a symbolic link is refused (even when written with a
// trailing '/'), so that a folder replaced by a link after it was listed as a folder
// is never entered.
dir_listing* dir_open(const char* path, bool follow_link = true);
// The next entry; false when there is none left (or the listing fails).
bool dir_next(dir_listing* listing, dir_entry* out);
// Closes a listing (null is accepted).
void dir_close(dir_listing* listing);

// Examines a path; `follow_link` false reports a link itself (lstat), true what it
// points to (stat). False (kind missing) when the path cannot be examined.
bool path_examine(const char* path, bool follow_link, path_info* out);

}  // namespace plat

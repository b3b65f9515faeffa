// Paths, files and folders, and the operating-system queries of the core.
//
// Path arithmetic (paths.cpp) accepts both '/' and '\' as separators when it reads a
// path and writes '/'. A path is absolute when it begins with '/', with two
// backslashes, or holds ':' directly followed by a separator ("c:\maps", "http://").
// Case is always kept: the file systems are case-sensitive.
//
// File and folder operations go through std::filesystem and take the path as it is
// (a '\' inside a Linux file name is an ordinary character).
//
// The operating-system queries (osinfo.cpp) go through platform/sys: memory status,
// disk space, other running copies of the program, priority, the user's language and
// the per-user folders.
#pragma once
#include <cstddef>

// ---- Path arithmetic ----------------------------------------------------------------

// The separator the system writes: "/".
const char* path_sep();
// 1 for an absolute path (above); 0 for a relative or null one.
int path_is_absolute(const char* p);
// 1 when the last character is '/' or '\'.
int path_ends_with_sep(const char* p);
// Position after the last '/' or '\' (the whole path when there is none); null: "".
const char* path_basename(const char* p);
// Makes the owned string the folder part of `path` with its trailing separator (the
// path itself when it already ends with one). A bare name, which has no folder part,
// gives "./" (its folder is the current one). A null path: gblerr 15 and null.
// Returns the owned string.
char* path_folder(const char* path, char** owner);
// The same routine under the name the readers use.
inline char* path_add_sep(const char* path, char** owner) { return path_folder(path, owner); }
// Makes the owned string the lower-cased text after the last '.' of the file name (the
// last component); "" when the name has none. Returns the owned string.
char* path_get_extension(const char* path, char** owner);
// Replaces the text after the last '.' of the file name by `ext` (a '.' is put in front
// when `ext` has none); a name without '.' gets "." and the extension appended; a null
// or empty `ext` cuts the path at that '.'. A '.' in a folder name is never taken
// ("a.b/file" + "gpx" gives "a.b/file.gpx"). A null path: gblerr 15 and null.
// Returns the owned path.
char* path_set_extension(char** path, const char* ext);
// 1 when `a` is a prefix of `b`, '/' and '\' counting as equal (case is kept); 0 when
// they differ or either is null.
int path_equal(const char* a, const char* b);
// Makes the owned string the absolute path of `relative` seen from the folder `base`:
// an absolute `relative` is copied; otherwise leading "./" are skipped and each "../"
// removes the base's last component, then base + "/" + the rest. A "../" that would
// climb above the base's root ('/' for a Linux path, the first three characters of a
// "c:\" or "\\" path), a base that is not absolute, or a null base give null (the
// owned string is freed). Returns the owned string.
char* path_make_absolute(const char* base, const char* relative, char** owner);
// The same seen from the process's current folder (a path typed on a command line);
// null when that folder cannot be read.
char* path_from_current_folder(const char* path, char** owner);
// Drops a leading "root://" from the owned path; a relative remainder becomes `base`,
// a separator when the base lacks one, and the remainder; an absolute one is kept as
// it is. Returns the owned path (null stays null).
char* path_resolve_root(char** path, const char* base);
// Number of components of an absolute path, a leading drive or scheme ("c:", "http:")
// not counted and a trailing separator adding none; 0 for a relative path.
int path_depth(const char* p);

// ---- Files and folders --------------------------------------------------------------

// 1 when the path exists and is a regular file.
int file_exists(const char* path);
// 1 when the path (a trailing '/' dropped) exists and is a folder.
int path_is_dir(const char* path);
// 1 for a path that lies on a file system of this machine. Without asking the file
// system for its kind, the rule is: an absolute Linux path (one '/' first) is local;
// a "\\server" share, a "//server" path, a drive-letter path ("c:\", which names no
// folder here), a URL and a relative path are not.
int path_is_local_drive(const char* path);
// 1 when the folder exists or was created.
int dir_make(const char* path);
// Removes an existing (empty) folder; 1 when it was removed.
int dir_remove(const char* path);
// Creates every missing folder along a '/'-rooted path, the last component included;
// 1 on success, 0 on the first failure or for a path that is not '/'-rooted.
int path_make_dirs(const char* path);
// Removes a file, or a folder when it is empty; 1 when it was removed.
int path_remove(const char* path);
// Copies a file in 4096-byte blocks; 1 on success. Nothing is done (0) when the source
// cannot be opened, the destination cannot be created, or both name the same file.
int file_copy(const char* src, const char* dst);

// ---- Operating system ---------------------------------------------------------------

// Total physical memory, total swap, available physical memory, available swap and the
// memory committed by this process, in bytes; returns 1.
int get_memory_status(double out[5]);
// 1: normal priority, else idle; the system is asked only when the setting changes.
void set_process_priority(int normal);
// "FR" when the user's language is French or Basque, else null.
const char* get_user_lang();
// The local application-data folder ($XDG_DATA_HOME, created) with a trailing '/';
// computed once.
const char* get_local_appdata_dir();
// The user's application folder: $XDG_CONFIG_HOME + "Tarmelo Suite/" (created);
// computed once.
const char* get_user_app_dir();
// Number of running processes with this program's executable name; 1 when unknown.
int count_own_processes();
// Free space of the file system holding an absolute path, in GiB (bytes / 2^30); 0 for
// other paths or when it cannot be read.
double get_disk_free(const char* path);

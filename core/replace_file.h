// Writing a file that may replace another one.
//
// The bytes go to a temporary file beside the target, in the same folder so that the
// final rename stays on one file system. Only once everything is written, flushed and
// synced does the temporary file take the target's name: a write that fails part way
// (a full disk, a quota, an I/O error) leaves the old file exactly as it was and no
// temporary file behind. A target that is not a file (a device such as /dev/stdout, a
// pipe) is written in place: a file renamed over it would take its place.
//
// The system's reason for the last failure is kept per thread, so that the command
// that ran the writer can show it to the user beside the file name.
#pragma once

#include <cstdio>
#include <string>

struct replace_file_write;

struct replace_file_t {
  FILE* file = nullptr;                    // the stream the writer writes to
  int fd = -1;                             // the temporary file's descriptor under it
  std::string target;                      // the path the file gets once complete
  std::string temp;                        // the temporary file while it is being written
  replace_file_write* writes = nullptr;    // owned: the first write error met
};

// Opens the temporary file for writing ("wb"), creating the missing folders of an
// absolute path; a relative path names a file of the system folder, as for every
// writer. On failure: "Unable to open file <path>" in the trace log, the system's
// reason kept, null returned.
FILE* replace_file_open(replace_file_t* r, const char* path);
// Ends the write: flushes, syncs and closes the temporary file and renames it over the
// target. True when the target now holds the new bytes. On false the temporary file is
// removed, the target is untouched and the reason is kept.
bool replace_file_commit(replace_file_t* r);
// Gives a write up: the temporary file is closed and removed; the target is untouched.
void replace_file_abandon(replace_file_t* r);

// The system's reason for this thread's last failed write ("" when none), and its reset.
const char* file_write_reason();
void file_write_reason_clear();

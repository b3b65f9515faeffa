// Opening, reading lines from and seeking in files through the C library, for the
// readers and writers that do not go through the buffered reader's current file.
//
// A relative path names a file shipped with the program: it is looked for in the
// system folder, then in the program folder, never in the process's current folder.
// A path that does not open as written and holds '\' is tried once more with '/'.
#include <cstring>
#include <unistd.h>
#include <string>

#include "core/config.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/reader.h"
#include "core/reader_reopen.h"
#include "core/tracelog.h"

namespace {

bool is_rooted(const char* path) {
  if (path[0] == '/' || path[0] == '\\') return true;
  const char c = path[0];
  return ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && path[1] == ':';
}

std::FILE* open_either_separator(const std::string& path, const char* mode) {
  if (std::FILE* f = std::fopen(path.c_str(), mode)) return f;
  if (path.find('\\') == std::string::npos) return nullptr;
  std::string slashed = path;
  for (char& c : slashed)
    if (c == '\\') c = '/';
  return std::fopen(slashed.c_str(), mode);
}

}  // namespace

FILE* open_file_resolved(const char* path, const char* mode) {
  if (!path || !*path || !mode) return nullptr;
  if (is_rooted(path)) return open_either_separator(path, mode);
  if (std::FILE* f = open_either_separator(std::string(get_system_dir()) + path, mode)) return f;
  return open_either_separator(std::string(get_program_dir()) + path, mode);
}

FILE* open_file_msg(const char* path, const char* mode, FILE** out) {
  std::FILE* f = nullptr;
  if (path && *path) {
    if (path_is_absolute(path)) {
      char* folder = nullptr;
      if (path_folder(path, &folder)) path_make_dirs(folder);
      free_mem(&folder);
    }
    f = open_file_resolved(path, mode);
  }
  if (!f) {
    const std::string name = path ? path : "";
    const std::string text = is_french() ? "Ouverture du fichier <" + name + "> impossible"
                                         : "Unable to open file <" + name + ">";
    log_error_line(text.c_str());
  }
  if (out) *out = f;
  return f;
}

char* file_read_line(FILE* file, char* buffer, int n) {
  if (!file || !buffer || n < 1) return nullptr;
  int c;
  int kept = 0;
  bool any = false;
  while ((c = std::fgetc(file)) != EOF && c != '\n' && c != '\r') {
    any = true;
    if (kept < n - 1) buffer[kept++] = static_cast<char>(c);
  }
  buffer[kept] = '\0';
  if (c == EOF) return any ? buffer : nullptr;
  // One more LF or CR belongs to the same line end; anything else is the next line's.
  const int next = std::fgetc(file);
  if (next != '\n' && next != '\r' && next != EOF) std::ungetc(next, file);
  return buffer;
}

int64_t file_read_at(FILE* file, int64_t offset, void* buffer, int64_t n) {
  if (!file || offset < 0 || n <= 0) return 0;
  const int fd = fileno(file);
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, out + done, size_t(n - done), off_t(offset + done));
    if (got <= 0) break;
    done += got;
  }
  return done;
}

int file_seek_large(FILE* file, int64_t offset, int origin) {
  static_assert(sizeof(long) >= sizeof(int64_t), "fseek must take 64-bit offsets");
  if (!file) return -1;
  return std::fseek(file, static_cast<long>(offset), origin);
}

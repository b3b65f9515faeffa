// The join of numbered tracklog files: a receiver transfer writes a long track in parts
// "<base>_t00.tmt", "<base>_t01.tmt" ... and they are joined into "<base>.tmt", the
// header lines of the first part followed by the records of every part in order.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/paths.h"
#include "core/reader.h"
#include "formats/gpstext.h"

namespace {

// Header lines of a version-2 tracklog part: header, device and two presence lines.
constexpr int kPartHeaderLines = 4;

// The path without its extension and without a part suffix "_tNN".
std::string base_name(const std::string& path) {
  std::string base = path;
  const size_t slash = base.find_last_of('/');
  const size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
  const size_t n = base.size();
  if (n >= 4 && base.compare(n - 4, 2, "_t") == 0 && std::isdigit(static_cast<unsigned char>(base[n - 2])) &&
      std::isdigit(static_cast<unsigned char>(base[n - 1])))
    base.resize(n - 4);
  return base;
}

std::string part_name(const std::string& base, int k) {
  return base + (k < 10 ? "_t0" : "_t") + std::to_string(k) + ".tmt";
}

// Copies the lines of one part, its header lines only when `with_header`; false on a
// read error.
bool copy_part(FILE* in, FILE* out, bool with_header) {
  char* line = nullptr;
  size_t capacity = 0;
  int index = 0;
  ssize_t n = 0;
  while ((n = getline(&line, &capacity, in)) > 0) {
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
    if (with_header || index >= kPartHeaderLines) {
      std::fwrite(line, 1, size_t(n), out);
      std::fputc('\n', out);
    }
    ++index;
  }
  std::free(line);
  return !std::ferror(in);
}

}  // namespace

int tmt_join_numbered_files(const char* path) {
  if (!path) return 0;
  const std::string base = base_name(path);
  if (!file_exists(part_name(base, 0).c_str())) return 0;
  FILE* out = open_file_resolved((base + ".tmt").c_str(), "wb");
  if (!out) return set_gblerr(ERR_FILE_ACCESS);
  for (int k = 0;; ++k) {
    const std::string part = part_name(base, k);
    if (!file_exists(part.c_str())) break;
    FILE* in = open_file_resolved(part.c_str(), "rb");
    const bool copied = in && copy_part(in, out, k == 0);
    if (in) std::fclose(in);
    if (!copied) break;
  }
  set_gblerr(0);
  std::fclose(out);
  return 0;
}

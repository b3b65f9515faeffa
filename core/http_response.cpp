// The header of an HTTP answer (see http.h): where it ends in the bytes received so far,
// and the three things the client reads from it — the status, the announced length and
// the address of a redirection.
//
// The header arrives in chunks of whatever size the network gives, so its end is looked
// for in the accumulated bytes, from three bytes before the newest chunk on: a "\r\n\r\n"
// split between two chunks is found, and a NUL or any binary byte in a body that came
// with the header cannot hide or fake it. Every scan is bounded by the byte count.
#include <cstring>

#include "core/http.h"
#include "core/memory.h"
#include "core/strutil.h"

namespace {

constexpr size_t kStatusAt = 9;   // "HTTP/1.x " is 9 bytes
constexpr size_t kMinStatusLine = 15;
constexpr size_t kMaxLengthDigits = 18;  // a length that fits in int64_t

// One header line "name: value" (no line end): true when its name is `name` (case
// ignored); *value then points at the value with leading blanks skipped, *value_len
// its length with trailing blanks dropped.
bool header_field(const char* line, size_t n, const char* name, const char** value,
                  size_t* value_len) {
  const size_t name_len = std::strlen(name);
  if (n <= name_len || line[name_len] != ':' || strn_compare_ci(line, name, name_len) != 0)
    return false;
  const char* v = line + name_len + 1;
  const char* end = line + n;
  while (v < end && (*v == ' ' || *v == '\t')) ++v;
  while (end > v && is_ascii_space(end[-1])) --end;
  *value = v;
  *value_len = size_t(end - v);
  return true;
}

// The leading digits of a length (-1 without any). A length of more digits than an
// int64_t holds saturates, so that the memory budget refuses it at once.
int64_t read_length(const char* v, size_t n) {
  int64_t value = 0;
  size_t i = 0;
  for (; i < n && is_ascii_digit(v[i]); ++i) {
    if (i == kMaxLengthDigits) return INT64_MAX;
    value = value * 10 + (v[i] - '0');
  }
  return i == 0 ? -1 : value;
}

// A second Content-Length that disagrees with the first leaves no length to trust.
void read_line(const char* line, size_t n, http_response_t* out, bool* conflict) {
  const char* v = nullptr;
  size_t len = 0;
  if (header_field(line, n, "Content-Length", &v, &len)) {
    const int64_t length = read_length(v, len);
    if (out->content_length >= 0 && length != out->content_length) *conflict = true;
    out->content_length = length;
  } else if (http_is_redirect(out->status) && header_field(line, n, "Location", &v, &len) &&
             len > 0) {
    free_mem(&out->location);
    alloc_mem(&out->location, len + 1);
    std::memcpy(out->location, v, len);
    out->location[len] = '\0';
  }
}

}  // namespace

bool http_is_redirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

size_t http_header_end(const char* bytes, size_t n, size_t from) {
  for (size_t i = from; i + 4 <= n; ++i)
    if (bytes[i] == '\r' && std::memcmp(bytes + i, "\r\n\r\n", 4) == 0) return i + 4;
  return 0;
}

void http_parse_response(const char* header, size_t n, http_response_t* out) {
  free_mem(&out->location);
  out->status = 400;
  out->content_length = -1;
  if (!header || n < kMinStatusLine || std::memcmp(header, "HTTP/", 5) != 0) return;
  int status = 0;
  for (size_t i = kStatusAt; i < kStatusAt + 3; ++i) {
    if (!is_ascii_digit(header[i])) return;
    status = status * 10 + (header[i] - '0');
  }
  out->status = status;
  // Header lines after the status line; a line ends at "\n" (a "\r" before it is a blank).
  const char* end = header + n;
  const char* line = static_cast<const char*>(std::memchr(header, '\n', n));
  bool conflict = false;
  while (line && ++line < end) {
    const char* next = static_cast<const char*>(std::memchr(line, '\n', size_t(end - line)));
    const size_t len = size_t((next ? next : end) - line);
    read_line(line, len, out, &conflict);
    line = next;
  }
  if (!conflict) return;
  free_mem(&out->location);
  out->status = 400;
  out->content_length = -1;
}

void http_response_free(http_response_t* r) {
  if (r) free_mem(&r->location);
}

// Address arithmetic of the HTTP client and the link scanner (see http.h): the host and
// request target of a URL, blanks escaped and unescaped, a page's web root, a link or a
// Location resolved against the page that names it, and the access setting read from
// the configuration text.
//
// Resolution follows what browsers do with the common forms: an address with a scheme
// stands alone, "//host/..." keeps the page's scheme, "/..." starts at the host's root,
// "?..." replaces the page's query, anything else starts at the page's folder; then the
// "." and ".." segments of the path are applied, never climbing above the host.
#include <cctype>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/http.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/strutil.h"

namespace {

char* set_owned(const std::string& text, char** owner) {
  str_set(text.c_str(), owner);
  return *owner;
}

char* clear_owned(char** owner) {
  free_mem(owner);
  return nullptr;
}

std::string replace_all(const char* text, const char* from, const char* to) {
  std::string out;
  const size_t from_len = std::strlen(from);
  for (const char* p = text ? text : ""; *p;) {
    if (std::strncmp(p, from, from_len) == 0) {
      out += to;
      p += from_len;
    } else {
      out += *p++;
    }
  }
  return out;
}

// Length of "scheme:" at the start of a text (letters, digits, '+', '-', '.' after a
// first letter, then ':'); 0 when there is none.
size_t scheme_length(const std::string& s) {
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return 0;
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ':') return i + 1;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

// Where the path of an absolute URL begins (after "scheme://host"); npos without one.
size_t path_start(const std::string& url) {
  const size_t scheme = scheme_length(url);
  if (scheme == 0 || url.compare(scheme, 2, "//") != 0) return std::string::npos;
  const size_t at = url.find_first_of("/?#", scheme + 2);
  return at == std::string::npos ? url.size() : at;
}

// Removes "." and ".." segments from an absolute path ("/a/./b/../c" gives "/a/c"); a
// ".." at the root stays at the root.
std::string remove_dot_segments(const std::string& path) {
  std::string out;
  size_t i = 0;
  while (i < path.size()) {
    size_t end = path.find('/', i + 1);
    if (end == std::string::npos) end = path.size();
    const std::string seg = path.substr(i, end - i);  // "/name" (or "name" at a start)
    const bool last = end == path.size();
    if (seg == "/." || seg == ".") {
      if (last) out += '/';
    } else if (seg == "/.." || seg == "..") {
      const size_t cut = out.rfind('/');
      out.resize(cut == std::string::npos ? 0 : cut);
      if (last) out += '/';
    } else {
      out += seg;
    }
    i = end;
  }
  return out.empty() || out[0] != '/' ? "/" + out : out;
}

// Blanks and control bytes around a link are not part of it.
std::string trim(const char* text) {
  const char* b = text;
  while (*b && static_cast<unsigned char>(*b) <= ' ') ++b;
  const char* e = b + std::strlen(b);
  while (e > b && static_cast<unsigned char>(e[-1]) <= ' ') --e;
  return std::string(b, e);
}

// Splits a path, query and fragment: the path and the rest from the first '?' or '#'.
void split_tail(const std::string& s, std::string* path, std::string* tail) {
  const size_t q = s.find_first_of("?#");
  *path = s.substr(0, q);
  *tail = q == std::string::npos ? std::string() : s.substr(q);
}

std::string resolve(const std::string& base, const std::string& link) {
  if (scheme_length(link) > 0) return link;
  const size_t start = path_start(base);
  if (start == std::string::npos) return std::string();
  const std::string origin = base.substr(0, start);
  if (link.compare(0, 2, "//") == 0) return base.substr(0, scheme_length(base)) + link;
  std::string base_path, base_tail;
  split_tail(base.substr(start), &base_path, &base_tail);
  // Appended, not assigned from a literal, which g++ 12 at -O2 takes for an overlapping
  // copy (-Wrestrict).
  if (base_path.empty()) base_path.push_back('/');
  if (link[0] == '#') return origin + base_path + base_tail.substr(0, base_tail.find('#')) + link;
  if (link[0] == '?') return origin + base_path + link;
  std::string link_path, link_tail;
  split_tail(link, &link_path, &link_tail);
  if (link_path[0] != '/') link_path = base_path.substr(0, base_path.rfind('/') + 1) + link_path;
  return origin + remove_dot_segments(link_path) + link_tail;
}

}  // namespace

char* url_escape_spaces(const char* url, char** owner) {
  return set_owned(replace_all(url, " ", "%20"), owner);
}

char* url_unescape_space_copy(const char* url, char** owner) {
  return set_owned(replace_all(url, "%20", " "), owner);
}

char* url_default_page(const char* url, char** owner) {
  if (!url) return clear_owned(owner);
  const int levels = path_depth(url) - 1;  // the host is the first component
  if (levels >= 2) return path_folder(url, owner);
  if (levels == 1) return set_owned(url, owner);
  std::string page = url;
  if (!path_ends_with_sep(url)) page += '/';
  return set_owned(page + "index.htm", owner);
}

char* url_host(const char* url, char** owner) {
  if (!url || strn_compare_ci(url, "http://", 7) != 0) return set_owned("", owner);
  const char* host = url + 7;
  return set_owned(std::string(host, std::strcspn(host, "/")), owner);
}

char* url_request_target(const char* url, int proxy, char** owner) {
  if (!url) url = "";
  std::string target = url;
  if (!proxy) {
    const size_t start = strn_compare_ci(url, "http://", 7) == 0 ? path_start(target) : 0;
    target = start == std::string::npos ? std::string() : target.substr(start);
    if (target.empty() || target[0] != '/') target = "/" + target;
  }
  return url_escape_spaces(target.c_str(), owner);
}

char* url_resolve(const char* base, const char* link, char** owner) {
  const std::string l = trim(link ? link : "");
  if (l.empty() || !base) return clear_owned(owner);
  const std::string out = resolve(base, l);
  return out.empty() ? clear_owned(owner) : set_owned(out, owner);
}

char* url_resolve_location(const char* url, const char* location, char** owner) {
  return url_resolve(url, location, owner);
}

// ---- Access settings -------------------------------------------------------------------

namespace {

int read_access(const char* text, http_access_t* out) {
  if (!text) return -1;
  if (text[0] == '1') return 0;
  if (text[0] != '2' || text[1] == '\0') return -1;
  const char* p = text + 2;
  while (is_ascii_space(*p)) ++p;
  size_t n = 0;
  while (p[n] && !is_ascii_space(p[n])) ++n;
  if (n == 0 || n >= sizeof out->server) return -1;
  std::memcpy(out->server, p, n);
  out->server[n] = '\0';
  p += n;
  while (is_ascii_space(*p)) ++p;
  uint64_t port = 0;
  const char* end = scan_digits(p, 5, &port);
  if (end == p || port < 1 || port > 65535) return -1;
  out->proxy = 1;
  out->port = int(port);
  return 0;
}

}  // namespace

int http_read_access(const char* text, http_access_t* out) {
  *out = http_access_t{};
  if (read_access(text, out) == 0) return 0;
  *out = http_access_t{};
  return -1;
}

int http_split_port(char* name) {
  char* colon = name ? std::strchr(name, ':') : nullptr;
  if (!colon) return 80;
  *colon = '\0';
  uint64_t port = 0;
  const char* digits = colon + 1;
  const char* end = scan_digits(digits, 5, &port);
  if (*end != '\0' || port > 65535) return -1;
  return port == 0 ? 80 : int(port);
}

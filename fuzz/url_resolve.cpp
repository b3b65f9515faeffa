// Address arithmetic on arbitrary text: the input splits at its first NUL into a base
// address and a link (or Location); the link is resolved against the base as a page's
// link and as a redirection's Location, and the base goes through the host, the request
// target (direct and through a proxy), the web root, the escapes and the route of a GET.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/http.h"
#include "core/memory.h"
#include "fuzz/support/fuzz_env.h"

namespace {

void each_owned(const std::string& text) {
  char* out = nullptr;
  url_host(text.c_str(), &out);
  free_mem(&out);
  url_request_target(text.c_str(), 0, &out);
  free_mem(&out);
  url_request_target(text.c_str(), 1, &out);
  free_mem(&out);
  url_default_page(text.c_str(), &out);
  free_mem(&out);
  url_escape_spaces(text.c_str(), &out);
  free_mem(&out);
  url_unescape_space_copy(text.c_str(), &out);
  free_mem(&out);
  http_route_t route;
  http_route(text.c_str(), &route);
  std::string name = text.substr(0, 255);
  http_split_port(name.data());
  http_access_t access{};
  http_read_access(text.c_str(), &access);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  const std::string all(reinterpret_cast<const char*>(data), size);
  const size_t cut = all.find('\0');
  const std::string base = all.substr(0, cut);
  const std::string link = cut == std::string::npos ? std::string() : all.substr(cut + 1).c_str();
  char* out = nullptr;
  url_resolve(base.c_str(), link.c_str(), &out);
  if (out) {
    // A resolved address resolves again to itself as a link with a scheme.
    char* again = nullptr;
    url_resolve(out, out, &again);
    free_mem(&again);
  }
  free_mem(&out);
  url_resolve_location(base.c_str(), link.c_str(), &out);
  free_mem(&out);
  each_owned(base);
  set_gblerr(0);
  return 0;
}

// IPv4 addresses as text, and name resolution. getaddrinfo keeps no shared state, so
// threads may resolve names at the same time.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>

#include "platform/net/net.h"

namespace plat {

bool net_parse_dotted(const char* text, uint32_t* out_addr) {
  if (!text || !out_addr) return false;
  in_addr a{};
  if (inet_pton(AF_INET, text, &a) != 1) return false;
  *out_addr = a.s_addr;
  return true;
}

void net_format_dotted(uint32_t addr, char* out16) {
  if (!out16) return;
  unsigned char b[4];
  std::memcpy(b, &addr, 4);
  std::snprintf(out16, 16, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

bool net_resolve(const char* host, uint32_t* out_addr) {
  if (!host || !*host || !out_addr) return false;
  if (net_parse_dotted(host, out_addr)) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &list) != 0 || !list) return false;
  bool found = false;
  for (addrinfo* ai = list; ai && !found; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || !ai->ai_addr || ai->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in sin{};
    std::memcpy(&sin, ai->ai_addr, sizeof sin);
    *out_addr = sin.sin_addr.s_addr;
    found = true;
  }
  freeaddrinfo(list);
  return found;
}

}  // namespace plat

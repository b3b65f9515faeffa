// Destinations written as text: the items of IPADR (host ":" port joined by "_") and the
// value of an ACTIVE_ / INACTIVE_ key (host, blanks, port). Both come from the command line
// or the configuration file, so every read is bounded by the text and no host is ever
// cut into another name: a host too long for its place is refused whole.
//
// Only reading here; whether a port is usable (1..65535) is the channel's business.
#pragma once
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

constexpr size_t kQxIpadrHostMax = 999;  // host of an IPADR item
constexpr size_t kQxKeyHostMax = 95;     // host of a stored key

struct qx_dest_item {
  std::string host;
  int port = 0;
};

// Reads a decimal number as the C library's %d does (blanks, a sign, digits), without
// overflow: a value beyond 10^8 stays beyond 10^8 (never wraps into a small port).
// False, and *p unchanged, without a digit.
inline bool qx_read_number(const char** p, int* value) {
  const char* q = *p;
  while (std::isspace(static_cast<unsigned char>(*q))) ++q;
  bool negative = false;
  if (*q == '+' || *q == '-') negative = *q++ == '-';
  if (!std::isdigit(static_cast<unsigned char>(*q))) return false;
  int64_t v = 0;
  while (std::isdigit(static_cast<unsigned char>(*q))) {
    if (v <= 100000000) v = v * 10 + (*q - '0');
    ++q;
  }
  *value = int(negative ? -v : v);
  *p = q;
  return true;
}

// The IPADR items in order. The list ends at an item without a host, a colon and a
// number, and after a port followed by anything but "_" or the end of the text. An item
// whose host is longer than kQxIpadrHostMax is left out and the reading goes on.
inline std::vector<qx_dest_item> qx_ipadr_items(const char* text) {
  std::vector<qx_dest_item> items;
  const char* p = text ? text : "";
  while (*p) {
    const char* colon = std::strchr(p, ':');
    if (!colon || colon == p) break;
    const char* rest = colon + 1;
    int port = 0;
    if (!qx_read_number(&rest, &port)) break;
    if (size_t(colon - p) <= kQxIpadrHostMax) items.push_back({std::string(p, colon), port});
    p = rest;
    if (*p == '_') {
      ++p;
    } else if (*p) {
      break;
    }
  }
  return items;
}

// A stored key's value: a host of at most kQxKeyHostMax characters without blanks, then
// the port after blanks. False when either is missing or the host is too long.
inline bool qx_key_item(const char* value, qx_dest_item* out) {
  const char* p = value ? value : "";
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* start = p;
  while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
  const size_t len = size_t(p - start);
  if (len == 0 || len > kQxKeyHostMax) return false;
  int port = 0;
  if (!qx_read_number(&p, &port)) return false;
  out->host.assign(start, len);
  out->port = port;
  return true;
}

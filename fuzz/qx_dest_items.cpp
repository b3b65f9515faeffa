// The readers of destinations written as text (IPADR items, stored key values) on
// arbitrary bytes: the text runs up to the first NUL, as a configuration value does.
// Every host read comes from the text whole and within its bound, never cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "quellix/qx_dest_items.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* c = text.c_str();
  size_t colons = 0;
  for (const char* p = c; *p; ++p) colons += *p == ':';
  const auto items = qx_ipadr_items(c);
  if (items.size() > colons) std::abort();
  for (const qx_dest_item& item : items) {
    if (item.host.empty() || item.host.size() > kQxIpadrHostMax) std::abort();
    if (item.host.find(':') != std::string::npos) std::abort();
    if (std::string(c).find(item.host + ":") == std::string::npos) std::abort();
  }
  qx_dest_item key;
  if (qx_key_item(c, &key)) {
    if (key.host.empty() || key.host.size() > kQxKeyHostMax) std::abort();
    if (std::string(c).find(key.host) == std::string::npos) std::abort();
  }
  return 0;
}

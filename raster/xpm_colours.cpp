// The colour dictionary of the XPM reader (xpm_read.h): the generated table of names,
// searched by halves.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "raster/xpm_read.h"

namespace {

struct colour_name {
  const char* name;  // lower case, no spaces
  uint8_t r, g, b;
};

constexpr colour_name kColourNames[] = {
#include "raster/xpm_colour_names.inc"
};

}  // namespace

bool xpm_colour_by_name(const char* name, uint8_t rgb[3]) {
  std::string key;
  for (const char* p = name; p && *p; ++p)
    if (*p != ' ' && *p != '\t') key += char(std::tolower(static_cast<unsigned char>(*p)));
  if (key.empty()) return false;
  const colour_name* end = std::end(kColourNames);
  const colour_name* it = std::lower_bound(
      std::begin(kColourNames), end, key,
      [](const colour_name& c, const std::string& k) { return std::strcmp(c.name, k.c_str()) < 0; });
  if (it == end || key != it->name) return false;
  rgb[0] = it->r;
  rgb[1] = it->g;
  rgb[2] = it->b;
  return true;
}

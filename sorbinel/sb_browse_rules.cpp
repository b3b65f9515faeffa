// The rules of browsing that stand alone: the slideshow delay ladder and the path a
// fetched web image is saved under.
#include <string>

#include "platform/sys/sysinfo.h"
#include "sorbinel/sb_browse.h"

int sb_delay_after_step(int delay_ms, int step) {
  if (delay_ms > 2000) return delay_ms + step * 1000;
  struct rung { int from, up, down; };
  static constexpr rung kLadder[] = {
      {300, 600, 300}, {600, 1000, 300}, {1000, 1500, 600}, {1500, 2000, 1000}, {2000, 3000, 1500}};
  for (const rung& r : kLadder)
    if (r.from == delay_ms) return step > 0 ? r.up : (step < 0 ? r.down : delay_ms);
  return delay_ms;
}

std::string sb_web_save_folder() { return plat::temp_dir() + "sb"; }

std::string sb_web_save_path(const std::string& folder, const char* url) {
  if (folder.empty() || !url || !*url) return "";
  std::string name = url;
  for (char& c : name)
    if (c == '\\') c = '/';
  // The root: the scheme, the double slash and the host; else up to the first separator.
  const size_t dbl = name.find("//");
  size_t rest = 0;
  if (dbl != std::string::npos) {
    const size_t host_end = name.find('/', dbl + 2);
    rest = host_end == std::string::npos ? name.size() : host_end;
  } else {
    const size_t sep = name.find('/');
    rest = sep == std::string::npos ? 0 : sep;
  }
  name = name.substr(rest);
  const size_t first_slash = name.find('/');
  if (first_slash != std::string::npos)
    for (size_t i = first_slash + 1; i < name.size(); ++i)
      if (name[i] == ':') name[i] = '_';
  // Each component must stay inside the folder: no "..", nothing absolute, some name.
  std::string clean;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." || part.find(':') != std::string::npos) return "";
    if (!clean.empty()) clean += '/';
    clean += part;
  }
  if (clean.empty() || name.back() == '/') return "";
  std::string out = folder;
  if (out.back() != '/') out += '/';
  return out + clean;
}


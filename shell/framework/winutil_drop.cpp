// Dropped files: every path of a drop read whole, however long it is (the length is
// asked first and the buffer made to fit, so no path is ever cut).
#include <string>
#include <vector>

#include "platform/ui/dropfiles.h"
#include "shell/framework/winutil.h"

std::vector<std::string> dropped_paths(plat::Drop drop) {
  std::vector<std::string> paths;
  unsigned count = plat::drag_query_file(drop, 0xFFFFFFFFu, nullptr, 0);
  for (unsigned i = 0; i < count; ++i) {
    unsigned len = plat::drag_query_file(drop, i, nullptr, 0);
    if (len == 0) continue;
    std::string path(size_t(len) + 1, '\0');
    unsigned got = plat::drag_query_file(drop, i, path.data(), len + 1);
    path.resize(got);
    paths.push_back(path);
  }
  return paths;
}

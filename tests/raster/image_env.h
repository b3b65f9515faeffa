// The image loading state set back to a clean start for a test: the line store and its
// hooks, the bitmap and image-load hooks, the object store with the map model's classes,
// the decoder table with the raster library's own decoders, and no idle-priority change
// (the tests run their loads in the foreground); at the end, every file object left freed
// and that state set back again. Header only: the plug-in's tests use it
// as well as the raster library's.
#pragma once
#include <fstream>
#include <sstream>
#include <string>

#include "core/config.h"
#include "core/line_store.h"
#include "core/object.h"
#include "map/file_object.h"
#include "map/bitmap_record.h"
#include "raster/image_load.h"
#include "tests/map/map_model_fixture.h"
#include "tests/support/object_env.h"

namespace raster_test {

inline void reset_image_env() {
  line_store_reset();
  get_line_store_hooks() = line_store_hooks{};
  get_bitmap_hooks() = bitmap_hooks{};
  get_image_load_hooks() = image_load_hooks{};
  tm_test::reset_object_store();
  tm_test::map_model_env();
  line_store_register();
  image_decoders_reset();
  raster_module_init();
  get_image_load_hooks().set_idle_priority = nullptr;
}

// After a test, once its images and lists are freed: the file objects left go (the loop
// stops should one refuse), then the decoders, the line store, the object store and the
// hooks are set back, and the configuration cleared.
inline void end_image_env() {
  for (;;) {
    obj_t* f = nullptr;
    if (!obj_class_next(kFileClass, &f) || !f) break;
    free_obj(&f);
    if (f) break;  // refused: stop rather than loop
  }
  image_decoders_reset();
  line_store_reset();
  tm_test::reset_object_store();
  get_line_store_hooks() = line_store_hooks{};
  get_bitmap_hooks() = bitmap_hooks{};
  config_reset();
}

// The whole of a file's bytes; empty when it cannot be read.
inline std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace raster_test

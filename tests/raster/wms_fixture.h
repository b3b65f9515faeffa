// Test support for the WMS client: the real geodesy tables, the map model's classes, the
// XML engine and the image readers, the client's module started afresh, the test WMS
// server, and the fixture documents.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/socket.h"
#include "core/wstring.h"
#include "core/xml.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/quadtree.h"
#include "raster/image_load.h"
#include "raster/wms/wms.h"
#include "raster/wms/wms_internal.h"
#include "tests/map/map_model_fixture.h"
#include "tests/support/wms_server.h"

namespace wms_test {

inline std::string fixture(const std::string& name) {
  std::ifstream in(std::string(TM_SOURCE_DIR) + "/tests/fixtures/wms/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string utf8(const char16_t* w) {
  char* s = nullptr;
  wstr_to_utf8(w ? w : u"", &s);
  std::string out = s ? s : "";
  free_mem(&s);
  return out;
}

// "%g" of a number, for compact expectations.
inline std::string num(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

// One line per layer, depth-first: indentation, name, title, the systems with their
// boxes, the geographic box.
inline void describe(obj_t* parent, int depth, std::string* out) {
  int it = 0;
  while (wms_layer_t* l = wms_next_layer(parent, &it)) {
    *out += std::string(size_t(depth) * 2, ' ') + (l->name ? l->name : "-") + " '" +
            utf8(l->title) + "'";
    for (int i = 0; i < l->crs_count; ++i) {
      const wms_crs_t& e = l->crs[i];
      *out += " " + std::string(e.code);
      if (e.has_box)
        *out += "[" + num(e.box.xmin) + "," + num(e.box.ymin) + "," + num(e.box.xmax) + "," +
                num(e.box.ymax) + "]";
    }
    if (l->has_geo_box)
      *out += " geo[" + num(l->geo_box.xmin) + "," + num(l->geo_box.ymin) + "," +
              num(l->geo_box.xmax) + "," + num(l->geo_box.ymax) + "]";
    *out += "\n";
    if (l->father != parent) *out += "  !! wrong father\n";
    describe(l, depth + 1, out);
  }
}

inline std::string describe(wms_service_t* s) {
  std::string out;
  describe(s, 0, &out);
  return out;
}

// The first layer of the tree with this name (null when none).
inline wms_layer_t* find_layer(obj_t* parent, const char* name) {
  int it = 0;
  while (wms_layer_t* l = wms_next_layer(parent, &it)) {
    if (l->name && std::string(l->name) == name) return l;
    if (wms_layer_t* deeper = find_layer(l, name)) return deeper;
  }
  return nullptr;
}

class WmsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    get_bitmap_hooks() = bitmap_hooks{};
    get_image_load_hooks() = image_load_hooks{};
    visible_set_hooks(nullptr);
    tm_test::reset_object_store();
    tm_test::map_model_env();
    line_store_register();
    config_temp_dir_set(tm_test::fresh_dir("wmsswap").c_str(), "s_");
    xml_init();
    socket_register_type();
    image_decoders_reset();
    raster_module_init();
    wms_module_init();
    set_gblerr(0);
  }
  void TearDown() override {
    set_gblerr(0);
    for (bitmap_t*& b : images_) free_obj(&b);
    images_.clear();
    free_georefs();
    wms_services_free_all();
    rd_close_all();
    visible_set_hooks(nullptr);
    image_decoders_reset();
    line_store_reset();
    config_reset();
  }

  // A fixture document read into the module's list; the service (test fails when none).
  wms_service_t* read(const std::string& name) {
    const std::string doc = fixture(name);
    wms_service_t* s = nullptr;
    EXPECT_EQ(wms_read_capabilities(doc.data(), doc.size(), nullptr, &s), 1) << name;
    EXPECT_EQ(get_gblerr(), 0) << name;
    return s;
  }

  // A georef of a code, freed by the fixture.
  georef_t* crs(const char* code) {
    georef_t* g = nullptr;
    wms_crs_lookup(code, nullptr, &g);
    if (g) georefs_.push_back(g);
    return g;
  }
  void free_georefs() {
    for (georef_t*& g : georefs_) free_obj(&g);
    georefs_.clear();
  }

  std::vector<bitmap_t*> images_;
  std::vector<georef_t*> georefs_;
};

}  // namespace wms_test

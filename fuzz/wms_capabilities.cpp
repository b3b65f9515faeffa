// The WMS capabilities reader on arbitrary bytes: the document read into a fresh list of
// services, every layer's systems and boxes walked (the union of all layers' boxes in a
// geographic and a projected system, which carries geographic boxes between systems),
// and everything freed again.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/obj_list.h"
#include "core/xml.h"
#include "fuzz/support/reader_fuzz.h"
#include "raster/wms/wms.h"
#include "raster/wms/wms_internal.h"

namespace {

georef_t* g_geographic = nullptr;
georef_t* g_projected = nullptr;

void collect(obj_t* parent, container_t* all) {
  int it = 0;
  while (wms_layer_t* l = wms_next_layer(parent, &it)) {
    obj_list_append(all, l);
    collect(l, all);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init(false);
  tm_fuzz::load_geodesy(tm_fuzz::source_data_dir());
  xml_init();
  wms_module_init();
  wms_crs_lookup("CRS:84", nullptr, &g_geographic);
  wms_crs_lookup("EPSG:2154", nullptr, &g_projected);
  set_gblerr(0);
  return 0;
}

// The records are packed: the leak checker must follow pointers at any address.
extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::keep_budget();
  container_t* list = nullptr;
  obj_list_new(&list);
  wms_read_capabilities(data, size, list, nullptr);
  set_gblerr(0);
  container_t* all = nullptr;
  obj_list_new(&all);
  for (int i = 0; i < obj_list_count(list); ++i) {
    obj_t* s = nullptr;
    obj_list_get(list, i, &s);
    collect(s, all);
  }
  extent_t e{};
  wms_layers_extent(all, g_geographic, &e);
  wms_layers_extent(all, g_projected, &e);
  for (int i = 0; i < obj_list_count(all); ++i) {
    obj_t* l = nullptr;
    obj_list_get(all, i, &l);
    wms_layer_has_crs(static_cast<wms_layer_t*>(l), g_projected, 1);
  }
  set_gblerr(0);
  obj_list_set_count(all, 0);
  free_obj(&all);
  for (int i = obj_list_count(list) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    auto* s = static_cast<wms_service_t*>(o);
    wms_service_free(&s);
  }
  free_obj(&list);
  return 0;
}

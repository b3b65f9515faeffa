// What the files of the WMS client share: the records' helpers, the coordinate-system
// entries of a layer, the parse of a capabilities document and the image's state.
#pragma once
#include <cstddef>
#include <cstring>
#include <string>

#include "raster/wms/wms.h"

// Extents inside packed records are copied byte-wise (they may lie at any address).
inline extent_t wms_get_extent(const void* at) {
  extent_t e;
  std::memcpy(&e, at, sizeof e);
  return e;
}
inline void wms_put_extent(void* at, extent_t e) { std::memcpy(at, &e, sizeof e); }

// ---- Module parts ---------------------------------------------------------------------------
void wms_objects_register();        // the classes and a fresh service list
void wms_services_free_all();       // every service of the module's list, and the list
void wms_capabilities_register();   // the dictionaries
// The images of a service that is being freed forget it.
void wms_image_forget_service(const wms_service_t* service);

// ---- Records (wms_objects.cpp) -----------------------------------------------------------
wms_service_t* wms_service_new(container_t* list);
wms_layer_t* wms_layer_new(wms_service_t* service, obj_t* father);
// The layer's entry for the code (compared without regard to case), or null.
wms_crs_t* wms_layer_crs_by_code(wms_layer_t* layer, const char* code);
// Appends a system (the georef is taken in ownership); the entry.
wms_crs_t* wms_layer_add_crs(wms_layer_t* layer, const char* code, georef_t* georef);
// A sub-layer starts with its parent's systems, boxes and geographic box.
void wms_layer_inherit(wms_layer_t* layer, const wms_layer_t* parent);
// The EPSG-like number of a code, and whether its authority is "CRS" (then 84, 83 and
// 27 are the longitude/latitude systems of WGS 84, NAD83 and NAD27). 0 when none.
int wms_crs_number(const char* code, int* is_crs_authority);
// 1 when coordinates of this code in this version are written latitude first (WMS
// 1.3.0 with a geographic EPSG system).
int wms_axis_latitude_first(const char* version, const char* code, const georef_t* georef);
// A WGS 84 longitude/latitude georef in degrees (owned by the caller).
georef_t* wms_wgs84_georef(georef_t** out);
// Carries a box from one system into another (sampled along its edges); 0 when the
// systems cannot be joined.
int wms_carry_box(const georef_t* from, const georef_t* to, extent_t box, extent_t* out);

// ---- Fetching (wms_fetch.cpp) ---------------------------------------------------------------
// An answer of wms_fetch: its body (owned by the caller), size and status.
struct wms_answer {
  char* body = nullptr;
  size_t size = 0;
  int status = 0;
};
// wms_fetch of an owned address, which is freed whatever the outcome; on failure the
// answer holds no body (its status stays readable). 0 on success, as wms_fetch.
int wms_fetch_owned(char** url, wms_answer* a);

// ---- Decoding a picture (wms_image.cpp) ---------------------------------------------------
// A GetMap answer's body: the picture it holds (owned by the caller, its bytes freed
// with it), or null with gblerr 14 and *exception its text for a ServiceException
// document, or the reader's error for anything else.
bitmap_t* wms_decode_answer(const char* bytes, size_t size, std::string* exception);
// The decoder code of a picture from its first bytes (PNG, JPEG, GIF, BMP, TIFF, PNM),
// 0 when none is known.
int wms_sniff_format(const unsigned char* bytes, size_t n);

// The WMS client: services named by their address, their capabilities documents read
// into a tree of layer objects, and the map image (decoder code 63) that stands for the
// layers a user chose and that fetches its pictures from the service by GetMap.
//
// Objects. A service (class 130) holds its top-level layers (class 131); a layer holds
// its sub-layers, its name and title, and the coordinate systems it offers, each a
// georef (class 46) with the code the document wrote ("EPSG:4326", "CRS:84") and, when
// the document gave one, its bounding box. A sub-layer inherits its parent's systems
// (its own are added to them) and boxes (its own replace them) and the parent's
// geographic box when it has none. Every box is kept with x east and y north, whatever
// the axis order the document's version used.
//
// Reading. wms_get_capabilities completes the address into a GetCapabilities request,
// fetches it over HTTP with bounded waits (wms_fetch) and reads it through the core XML
// engine (wms_read_capabilities); the new service is appended to the service list
// given (null: the module's own list, wms_services()). Errors go to gblerr: 10 for an
// address that is not "http://..." or that fetched nothing, 5 for a document that is
// not a capabilities document, 3 for a service whose name does not hold "wms".
//
// The image. wms_make_image makes (or re-uses) the service's image object: a bitmap of
// format 63 in the graph space's georef, extent the union of the chosen layers' boxes.
// When the map draws it, wms_image_draw asks GetMap for the visible window, decodes the
// answer through the image loading's readers and draws the picture where its BBOX lies.
//
// Threads. Fetches run on the calling thread; every wait is bounded (kWmsReceiveSeconds
// per receive, kWmsAnswerSeconds for a whole answer, on the platform clock). The map
// draws images in the redraw task, never on the user-interface thread.
//
// Files: wms_objects.cpp (classes, records, lists, CRS codes and comparisons),
// wms_capabilities.cpp (the dictionaries and the element and attribute routines),
// wms_fetch.cpp (address completion and the HTTP fetch), wms_image.cpp (the image
// object, GetMap requests, decoding and drawing).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/obj_list.h"
#include "geodesy/extent.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"

struct graphspace_t;

constexpr int CLS_WMS_SERVICE = 130;
constexpr int CLS_WMS_LAYER = 131;
constexpr int kFormatWms = 63;  // `format` of the image object of a service

// Image size when the service names no MaxWidth / MaxHeight (docs/formats/wms.md).
constexpr int kWmsDefaultWidth = 2048;
constexpr int kWmsDefaultHeight = 2048;
// Bounded waits of a fetch (seconds).
constexpr int kWmsReceiveSeconds = 5;
constexpr int kWmsAnswerSeconds = 60;
// Largest answer kept (capabilities document or picture).
constexpr size_t kWmsMaxAnswer = 64u << 20;

// The request appended to a service address.
inline constexpr const char* kWmsCapabilitiesRequest =
    "REQUEST=GetCapabilities&VERSION=1.3.0&SERVICE=WMS";

#pragma pack(push, 1)
// One coordinate system a layer offers.
struct wms_crs_t {
  georef_t* georef;  // owned (class 46)
  char* code;        // owned: the code as the document wrote it, e.g. "EPSG:4326"
  int32_t has_box;   // 1 when `box` was given for this system
  extent_t box;      // in the system's coordinates, x east, y north
};

// Class 130.
struct wms_service_t : obj_t {
  container_t* layers;     // top-level layers (class 131), owned
  char* getmap_url;        // owned; null when the document named none
  char* version;           // owned: "1.0.0", "1.1.1", "1.3.0", ...
  char16_t* title;         // owned
  int32_t layer_limit;     // 0 when not given
  int32_t max_width;       // 0 when not given
  int32_t max_height;      // 0 when not given
  int32_t* formats;        // owned: raster decoder codes (4 PNG, 1 JPEG, 3 TIFF, ...)
  int32_t format_count;
  container_t* holder;     // the object list that holds the service
};

// Class 131.
struct wms_layer_t : obj_t {
  obj_t* father;           // the service or the enclosing layer
  container_t* sons;       // sub-layers (class 131), owned
  wms_service_t* service;
  char* name;              // owned UTF-8; null for a layer that cannot be requested
  char16_t* title;         // owned
  wms_crs_t* crs;          // owned array of crs_count systems
  int32_t crs_count;
  int32_t crs_capacity;
  int32_t no_subsets;
  int32_t fixed_width;
  int32_t fixed_height;
  int32_t has_geo_box;     // 1 when `geo_box` was given or inherited
  extent_t geo_box;        // WGS 84 longitude (x) / latitude (y) in degrees
};
#pragma pack(pop)

// Registers classes 130 and 131, builds the dictionaries and puts the image drawing in
// the map's raster slot (the previous slot still draws every other image). Runs at
// start-up after raster_module_init; calling it again (tests, after a reset of the
// object store) starts with an empty service list.
void wms_module_init();
// The module's list of services (never null after wms_module_init).
container_t* wms_services();

// ---- Capabilities ------------------------------------------------------------------------
// The completed GetCapabilities address (owned), or null with gblerr 10 when the address
// does not begin with "http://".
char* wms_complete_address(const char* address, char** owner);
// Completes, fetches and reads. 1 when at least one service resulted (*out the last one
// when out is not null), else 0 with gblerr 10, 5 or 3.
int wms_get_capabilities(const char* address, container_t* list, wms_service_t** out);
// Reads a capabilities document in memory into `list` (null: wms_services()); the
// services it makes are appended. Result as wms_get_capabilities.
int wms_read_capabilities(const void* bytes, size_t n, container_t* list,
                          wms_service_t** out);
// Frees a service with its layers (and takes it out of its holder list).
void wms_service_free(wms_service_t** service);

// ---- Layers and coordinate systems -------------------------------------------------------
// The next son layer of a service or layer: *iter starts at 0; null at the end.
wms_layer_t* wms_next_layer(obj_t* parent, int* iter);
// The system's entry of the layer, or null. `flag` 1 compares datum and projection only
// (the unit may differ), 0 also asks for the same unit.
const wms_crs_t* wms_layer_find_crs(const wms_layer_t* layer, const georef_t* georef,
                                    int flag);
// 1 when the layer offers the system (wms_layer_find_crs not null).
int wms_layer_has_crs(const wms_layer_t* layer, const georef_t* georef, int flag);
// A new list (the georefs are not owned by it) of the layer's systems.
container_t* wms_layer_crs_list(const wms_layer_t* layer, container_t** out);
// A new list of the georefs of `first` whose system `second` also holds (same datum and
// projection).
container_t* wms_common_crs(const container_t* first, const container_t* second,
                            container_t** out);
// The union of the layers' boxes in the system of `georef`: a layer that offers it with
// a box gives that box, any other its geographic box carried into the system. 1 when
// some box was found, else 0 (*out then cleared).
int wms_layers_extent(const container_t* layers, const georef_t* georef, extent_t* out);
// A georef for a coordinate system code ("EPSG:32631", "CRS:84", "epsg:4326"); null (no
// error) when the geodesy tables lack it. Owned by the caller; inserted in `list` when
// given.
georef_t* wms_crs_lookup(const char* code, container_t* list, georef_t** out);

// ---- The image ---------------------------------------------------------------------------
// The image object already made for the service, or null.
bitmap_t* wms_find_image(const wms_service_t* service);
// Makes (or re-uses) the image object for the service of the chosen layers (all of one
// service), in `georef` (the graph space's), and places it in the graph space (null: no
// placing). Null with gblerr 10 (no chosen layer) or 13 (no georef).
bitmap_t* wms_make_image(const container_t* layers, graphspace_t* gs, georef_t* georef,
                         bitmap_t** out);
// The layers an image shows (a list owned by the image; null for another bitmap).
const container_t* wms_image_layers(const bitmap_t* image);
// The service of an image object (null for another bitmap).
wms_service_t* wms_image_service(const bitmap_t* image);

// ---- GetMap -------------------------------------------------------------------------------
// The picture size asked for a window of w x h screen pixels: scaled down, keeping its
// shape, into the service's MaxWidth x MaxHeight (or the default size).
void wms_getmap_size(const wms_service_t* service, int w, int h, int* out_w, int* out_h);
// The format asked: PNG when offered, else the first format the readers know; its MIME
// type goes to *mime ("image/png", ...).
int wms_getmap_format(const wms_service_t* service, const char** mime);
// The GetMap address (owned) for the image's layers and system over `bbox` (x east,
// y north in the image's georef) at width x height pixels; null with gblerr 10 when the
// service has no GetMap address, 13 when the image's system has no code.
char* wms_getmap_url(const bitmap_t* image, extent_t bbox, int width, int height,
                     char** owner);
// Asks GetMap and decodes the answer into a new bitmap (owned by the caller) whose
// extent is `bbox` and georef the image's. Null with gblerr set: 19 for a failed fetch
// (404, time-out), 14 for a ServiceException answer (its text in the trace log and in
// wms_last_exception()), the reader's code for an undecodable picture.
bitmap_t* wms_getmap(bitmap_t* image, extent_t bbox, int width, int height, bitmap_t** out);
// The text of the last ServiceException answer of this thread ("" when none).
const char* wms_last_exception();
// The raster slot of the map: for an image of format 63, fetches the picture of the
// window being drawn (kept while the window does not change) and draws it; any other
// object goes to the slot that was in place. Non-zero when interrupted.
int wms_image_draw(obj_t* image);

// ---- Fetching -----------------------------------------------------------------------------
// One HTTP GET of an "http://" address, following up to three redirections; the body
// goes to *body (owned, NUL-terminated) and its size to *size. 0 on success (status
// 200), else gblerr 19 and *status the answer's status (0 when none came).
int wms_fetch(const char* url, char** body, size_t* size, int* status);
// Why the calling thread's last wms_fetch failed, in the HTTP client's words and the
// user's language: the server name that cannot be resolved, the connection refused, no
// answer in time, the status answered. "" after a success or before any fetch.
const char* wms_last_fetch_error();

// The image object of a service (decoder code 63) and its pictures.
//
// The image object is a bitmap without lines: its extent is the union of the chosen
// layers' boxes in the graph space's system and its size the service's MaxWidth x
// MaxHeight (or the default size), mapped onto that extent. What the map shows of it
// comes from GetMap: when the redraw draws the image into a rectangle, the part of the
// image under the rectangle is asked for at the rectangle's pixel size (scaled down
// into the service's limits), the answer is decoded by the image loading's readers
// into a picture placed on its BBOX, and the picture is drawn by the raster display
// like any image. The last picture is kept while the window does not change; a request
// that failed is not repeated for the same window (the error is in the trace log).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "core/tracelog.h"
#include "core/wstring.h"
#include "geodesy/georef.h"
#include "map/extent_map.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/raster_display.h"
#include "map/view_records.h"
#include "raster/image_load.h"
#include "raster/raster_ops.h"
#include "raster/wms/wms_internal.h"

namespace {

struct image_state {
  wms_service_t* service;   // null once the service is gone
  container_t* layers;      // the chosen layers (the list is owned, not the layers)
  bitmap_t* picture;        // the last picture, owned
  extent_t asked;           // the window of the last request
  int32_t asked_width, asked_height;
  int32_t failed;           // 1 when the last request failed
};

// What a picture owns beyond its record: the file object holding its bytes.
struct picture_block {
  fileatt_t* file;
};

void release_picture(void* decoder) {
  auto* block = static_cast<picture_block*>(decoder);
  if (!block || !block->file) return;
  const int saved = get_gblerr();
  set_gblerr(0);  // the store frees nothing while an error is pending
  rd_close_file(block->file);
  free_obj(&block->file);
  set_gblerr(saved);
}

thread_local std::string t_exception;
int g_folder_counter = 0;
int (*g_previous_draw)(obj_t*) = nullptr;

image_state* state_of(const bitmap_t* b) {
  if (!b || b->cls != CLS_BITMAP || b->format != kFormatWms) return nullptr;
  return static_cast<image_state*>(b->decoder);
}

void drop_picture(image_state* st) {
  free_obj(&st->picture);  // its file object goes with it
  st->failed = 0;
  st->asked_width = st->asked_height = 0;
}

void release_state(void* decoder) {
  auto* st = static_cast<image_state*>(decoder);
  if (!st) return;
  drop_picture(st);
  if (st->layers) {
    obj_list_set_count(st->layers, 0);
    free_obj(&st->layers);
  }
}

// The system of a georef without its pixel step: the images place themselves by a step
// of their own (image_georef_extent), which a shared step would not survive.
georef_t* georef_copy_of(const georef_t* g) {
  if (!g) return nullptr;
  georef_t* copy = nullptr;
  obj_new_registered(CLS_GEOREF, &copy);
  if (!copy) return nullptr;
  copy->refertype = g->refertype;
  copy->datum = g->datum;
  copy->projection = g->projection;
  copy->unit = g->unit;
  const int saved = get_gblerr();
  georef_unit_step(copy);  // a unit other than the system's own gets its step
  set_gblerr(saved);
  return copy;
}

// The code under which the chosen layers offer the image's system.
const char* image_crs_code(const bitmap_t* image, const image_state* st) {
  for (int i = 0; i < obj_list_count(st->layers); ++i) {
    obj_t* o = nullptr;
    obj_list_get(st->layers, i, &o);
    if (!o || o->cls != CLS_WMS_LAYER) continue;
    if (const wms_crs_t* e = wms_layer_find_crs(static_cast<wms_layer_t*>(o), image->georef, 1))
      return e->code;
  }
  return nullptr;
}

// Unreserved bytes as they are, every other one as %XX.
void append_escaped(std::string* out, const char* text) {
  static const char kHex[] = "0123456789ABCDEF";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    const unsigned char c = *p;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        c == '-' || c == '_' || c == '.' || c == '~' || c == ':') {
      out->push_back(char(c));
    } else {
      out->push_back('%');
      out->push_back(kHex[c >> 4]);
      out->push_back(kHex[c & 15]);
    }
  }
}

void append_number(std::string* out, double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  *out += buf;
}

// The text of a ServiceException answer, or false for any other answer.
bool service_exception(const char* body, size_t size, std::string* text) {
  const size_t scan = size < 4096 ? size : 4096;
  const std::string head(body, scan);
  if (head.find("ServiceException") == std::string::npos) return false;
  const std::string all(body, size);
  size_t at = all.find("<ServiceException");
  if (at != std::string::npos && all.compare(at, 18, "<ServiceExceptionR") == 0)
    at = all.find("<ServiceException", at + 18);
  text->clear();
  if (at != std::string::npos) {
    const size_t open_end = all.find('>', at);
    const size_t close = all.find("</ServiceException", open_end == std::string::npos ? at : open_end);
    if (open_end != std::string::npos && close != std::string::npos && close > open_end)
      text->assign(all, open_end + 1, close - open_end - 1);
  }
  // Blanks folded, the text kept short enough for a message.
  std::string folded;
  for (char c : *text) {
    const bool blank = is_ascii_space(c);
    if (blank && (folded.empty() || folded.back() == ' ')) continue;
    folded.push_back(blank ? ' ' : c);
  }
  while (!folded.empty() && folded.back() == ' ') folded.pop_back();
  if (folded.size() > 500) folded.resize(500);
  *text = folded.empty() ? std::string("ServiceException") : folded;
  return true;
}

// The picture decoded from bytes by the reader of their format; null with gblerr set.
bitmap_t* decode_picture(const char* bytes, size_t size, fileatt_t** out_file) {
  *out_file = nullptr;
  const int code = wms_sniff_format(reinterpret_cast<const unsigned char*>(bytes), size);
  if (code == 0) {
    set_gblerr(ERR_UNKNOWN_FORMAT);
    return nullptr;
  }
  fileatt_t* file = nullptr;
  if (!file_new_in_memory(&file)) return set_gblerr(ERR_MEMORY), nullptr;
  if (filemobj_append(file->store, bytes, int64_t(size)) != 0) {
    free_obj(&file);
    return set_gblerr(ERR_MEMORY), nullptr;
  }
  file_set_size(file, int64_t(size));
  file->filetype = kFileKindImage;
  file->fileformat = uint32_t(code);
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  if (!b) {
    free_obj(&file);
    return set_gblerr(ERR_MEMORY), nullptr;
  }
  b->file = file;
  b->format = code;
  b->gamma = -1.0;
  b->frame_number = 1;
  set_graylevel_lut(b);
  container_t* list = nullptr;
  obj_list_new(&list);
  int status = 0;
  image_decode_call call;
  call.image = &b;
  call.list = list;
  call.requested_line = kImageFirstLoadInMemory;
  call.status = &status;
  const int rc = image_decode(code, call);
  // Readers that put their images in the list (frames, pages): the picture is ours.
  for (int i = obj_list_count(list) - 1; i >= 0; --i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    obj_list_remove_at(list, i);
    if (o && o != b) free_obj(&o);
  }
  free_obj(&list);
  if (rc != 0 || !b || b->width < 1 || b->height < 1 || !b->lines) {
    const int err = rc != 0 ? rc : get_gblerr() != 0 ? get_gblerr() : ERR_BAD_FILE;
    set_gblerr(0);  // the store frees nothing while an error is pending
    free_obj(&b);
    rd_close_file(file);
    free_obj(&file);
    set_gblerr(err);
    return nullptr;
  }
  // The picture keeps its bytes (a dropped line is decoded again from them) and frees
  // them with itself.
  if (!b->decoder && !b->release) {
    picture_block* block = nullptr;
    alloc_mem_zero(&block, sizeof(picture_block));
    block->file = file;
    b->decoder = block;
    b->release = release_picture;
  } else {
    // A reader that keeps a state of its own (TIFF pages) keeps the picture; its bytes go
    // now, and a line it drops later is not decoded again.
    rd_close_file(file);
    b->file = nullptr;
    free_obj(&file);
  }
  *out_file = file;
  return b;
}

void log_failure(const bitmap_t* image, const char* what) {
  std::string line = "WMS GetMap";
  if (const image_state* st = state_of(image); st && st->service && st->service->getmap_url)
    line += std::string(" ") + st->service->getmap_url;
  line += " : ";
  line += what;
  log_line(line.c_str());
}

// The raster slot: WMS images here, every other object to the slot that was there.
int draw_slot(obj_t* object) {
  if (object && object->cls == CLS_BITMAP &&
      static_cast<bitmap_t*>(object)->format == kFormatWms)
    return wms_image_draw(object);
  if (g_previous_draw) return g_previous_draw(object);
  return raster_display_draw(object);
}

}  // namespace

// ---- Module -------------------------------------------------------------------------------

void wms_module_init() {
  // A second start (tests) follows a reset of the object store, which took the old
  // services with it: their list is forgotten, not freed.
  wms_objects_register();
  wms_capabilities_register();
  g_folder_counter = 0;
  visible_hooks h = visible_get_hooks();
  if (h.raster_draw != draw_slot) {
    g_previous_draw = h.raster_draw;
    h.raster_draw = draw_slot;
    visible_set_hooks(&h);
  }
}

void wms_image_forget_service(const wms_service_t* service) {
  bitmap_t* b = nullptr;
  obj_t* it = nullptr;
  while (obj_class_next(CLS_BITMAP, &it)) {
    b = static_cast<bitmap_t*>(it);
    if (image_state* st = state_of(b); st && st->service == service) {
      st->service = nullptr;
      drop_picture(st);
      if (st->layers) obj_list_set_count(st->layers, 0);
    }
  }
}

// ---- The image ----------------------------------------------------------------------------

bitmap_t* wms_find_image(const wms_service_t* service) {
  if (!service) return nullptr;
  obj_t* it = nullptr;
  while (obj_class_next(CLS_BITMAP, &it)) {
    auto* b = static_cast<bitmap_t*>(it);
    if (image_state* st = state_of(b); st && st->service == service) return b;
  }
  return nullptr;
}

const container_t* wms_image_layers(const bitmap_t* image) {
  const image_state* st = state_of(image);
  return st ? st->layers : nullptr;
}

wms_service_t* wms_image_service(const bitmap_t* image) {
  const image_state* st = state_of(image);
  return st ? st->service : nullptr;
}

bitmap_t* wms_make_image(const container_t* layers, graphspace_t* gs, georef_t* georef,
                         bitmap_t** out) {
  if (out) *out = nullptr;
  wms_service_t* service = nullptr;
  for (int i = 0; i < obj_list_count(layers) && !service; ++i) {
    obj_t* o = nullptr;
    obj_list_get(layers, i, &o);
    if (o && o->cls == CLS_WMS_LAYER) service = static_cast<wms_layer_t*>(o)->service;
  }
  if (!service) return set_gblerr(ERR_OBJECT), nullptr;
  if (!georef) return set_gblerr(ERR_GEOGRAPHIC), nullptr;
  bitmap_t* b = wms_find_image(service);
  const bool fresh = b == nullptr;
  if (fresh) {
    obj_new_registered(CLS_BITMAP, &b);
    if (!b) return set_gblerr(ERR_MEMORY), nullptr;
    b->format = kFormatWms;
    b->gamma = -1.0;
    b->frame_number = 1;
    b->samples_per_pixel = 3;
    b->bits_per_sample = 8;
    b->planes = 3;
    set_graylevel_lut(b);
    image_state* st = nullptr;
    alloc_mem_zero(&st, sizeof(image_state));
    st->service = service;
    b->decoder = st;
    b->release = release_state;
    char* name = nullptr;
    wstr_to_utf8(service->title ? service->title : u"WMS", &name);
    b->name = name;
  }
  image_state* st = state_of(b);
  drop_picture(st);
  if (!st->layers) obj_list_new(&st->layers);
  obj_list_set_count(st->layers, 0);
  for (int i = 0; i < obj_list_count(layers); ++i) {
    obj_t* o = nullptr;
    obj_list_get(layers, i, &o);
    if (o && o->cls == CLS_WMS_LAYER && static_cast<wms_layer_t*>(o)->service == service)
      obj_list_append(st->layers, o);
  }
  b->width = service->max_width > 0 ? service->max_width : kWmsDefaultWidth;
  b->height = service->max_height > 0 ? service->max_height : kWmsDefaultHeight;
  if (georef_t* g = b->georef) {
    // Re-used: its system changes in place (its pixel step is replaced below).
    g->refertype = georef->refertype;
    g->datum = georef->datum;
    g->projection = georef->projection;
    g->unit = georef->unit;
  } else {
    b->georef = georef_copy_of(georef);
  }
  extent_t e{};
  wms_layers_extent(st->layers, georef, &e);
  wms_put_extent(&b->extent, e);
  if (e.xmax > e.xmin && e.ymax > e.ymin) image_georef_extent(b, e);
  if (fresh && gs) {
    fileatt_t* file = nullptr;
    file_new_in_memory(&file);
    if (file) {
      str_set(service->getmap_url ? service->getmap_url : "WMS", &file->name);
      b->file = file;
      folder_t* folder = folder_get_or_create(file, b, 0, nullptr);
      if (folder) graphspace_add_file(gs, folder, &g_folder_counter);
    }
  }
  if (out) *out = b;
  return b;
}

// ---- GetMap -------------------------------------------------------------------------------

void wms_getmap_size(const wms_service_t* service, int w, int h, int* out_w, int* out_h) {
  const int max_w = service && service->max_width > 0 ? service->max_width : kWmsDefaultWidth;
  const int max_h = service && service->max_height > 0 ? service->max_height : kWmsDefaultHeight;
  if (w < 1) w = 1;
  if (h < 1) h = 1;
  double scale = 1.0;
  if (w > max_w) scale = std::fmin(scale, double(max_w) / w);
  if (h > max_h) scale = std::fmin(scale, double(max_h) / h);
  int rw = int(std::lround(w * scale)), rh = int(std::lround(h * scale));
  if (rw < 1) rw = 1;
  if (rh < 1) rh = 1;
  if (rw > max_w) rw = max_w;
  if (rh > max_h) rh = max_h;
  if (out_w) *out_w = rw;
  if (out_h) *out_h = rh;
}

int wms_getmap_format(const wms_service_t* service, const char** mime) {
  struct known { int code; const char* mime; };
  static constexpr known kKnown[] = {{kDecoderPng, "image/png"}, {kDecoderJpeg, "image/jpeg"},
                                     {kDecoderGif, "image/gif"}, {kDecoderTiff, "image/tiff"},
                                     {kDecoderBmp, "image/bmp"}, {8, "image/x-portable-pixmap"}};
  int chosen = kDecoderPng;  // also when the service names no format we know
  if (service && service->format_count > 0) {
    const int32_t* f = owner_get(&service->formats);
    bool png = false;
    for (int i = 0; i < service->format_count; ++i) png = png || f[i] == kDecoderPng;
    if (!png) chosen = f[0];
  }
  const char* m = "image/png";
  for (const known& k : kKnown)
    if (k.code == chosen) m = k.mime;
  if (mime) *mime = m;
  return chosen;
}

char* wms_getmap_url(const bitmap_t* image, extent_t bbox, int width, int height, char** owner) {
  if (owner) free_mem(owner);
  const image_state* st = state_of(image);
  if (!st || !st->service || !st->service->getmap_url) return set_gblerr(ERR_OBJECT), nullptr;
  const char* code = image_crs_code(image, st);
  if (!code) return set_gblerr(ERR_GEOGRAPHIC), nullptr;
  const wms_service_t* s = st->service;
  const char* version = s->version && *s->version ? s->version : "1.3.0";
  const bool v1_0 = std::strncmp(version, "1.0", 3) == 0;
  const bool v1_3 = std::strncmp(version, "1.3", 3) == 0;
  std::string url = s->getmap_url;
  if (url.find('?') == std::string::npos) url += '?';
  else if (url.back() != '?' && url.back() != '&') url += '&';
  if (v1_0) {
    url += "WMTVER=";
    url += version;
    url += "&REQUEST=map";
  } else {
    url += "SERVICE=WMS&VERSION=";
    url += version;
    url += "&REQUEST=GetMap";
  }
  url += "&LAYERS=";
  bool first = true;
  for (int i = 0; i < obj_list_count(st->layers); ++i) {
    obj_t* o = nullptr;
    obj_list_get(st->layers, i, &o);
    const char* name = o ? static_cast<wms_layer_t*>(o)->name : nullptr;
    if (!name || !*name) continue;
    if (!first) url += ',';
    append_escaped(&url, name);
    first = false;
  }
  url += "&STYLES=";
  url += v1_3 ? "&CRS=" : "&SRS=";
  append_escaped(&url, code);
  url += "&BBOX=";
  double v[4] = {bbox.xmin, bbox.ymin, bbox.xmax, bbox.ymax};
  if (wms_axis_latitude_first(version, code, image->georef)) {
    v[0] = bbox.ymin;
    v[1] = bbox.xmin;
    v[2] = bbox.ymax;
    v[3] = bbox.xmax;
  }
  for (int i = 0; i < 4; ++i) {
    if (i) url += ',';
    append_number(&url, v[i]);
  }
  url += "&WIDTH=" + std::to_string(width) + "&HEIGHT=" + std::to_string(height);
  const char* mime = nullptr;
  wms_getmap_format(s, &mime);
  url += "&FORMAT=";
  if (v1_0) {
    // 1.0 names formats by word: "PNG", "JPEG", ...
    std::string word = std::strchr(mime, '/') + 1;
    for (char& c : word) c = ascii_upper(c);
    url += word == "X-PORTABLE-PIXMAP" ? "PPM" : word;
  } else {
    append_escaped(&url, mime);
  }
  char* out = nullptr;
  str_set(url.c_str(), &out);
  if (owner) owner_put(owner, out);
  return out;
}

const char* wms_last_exception() { return t_exception.c_str(); }

bitmap_t* wms_getmap(bitmap_t* image, extent_t bbox, int width, int height, bitmap_t** out) {
  if (out) *out = nullptr;
  t_exception.clear();
  if (width < 1 || height < 1 || !(bbox.xmax > bbox.xmin) || !(bbox.ymax > bbox.ymin))
    return set_gblerr(ERR_VALUE), nullptr;
  char* url = nullptr;
  if (!wms_getmap_url(image, bbox, width, height, &url)) return nullptr;
  wms_answer a;
  if (wms_fetch_owned(&url, &a) != 0) {
    char what[80];
    if (a.status != 0) std::snprintf(what, sizeof what, "HTTP status %d", a.status);
    else std::snprintf(what, sizeof what, "no answer");
    log_failure(image, what);
    set_gblerr(ERR_HTTP);
    return nullptr;
  }
  std::string exception;
  bitmap_t* picture = wms_decode_answer(a.body, a.size, &exception);
  free_mem(&a.body);
  if (!picture) {
    const int err = get_gblerr();
    if (!exception.empty()) {
      t_exception = exception;
      log_failure(image, ("ServiceException: " + exception).c_str());
    } else {
      log_failure(image, get_error_text(err));
    }
    set_gblerr(err);
    return nullptr;
  }
  picture->georef = georef_copy_of(image->georef);
  wms_put_extent(&picture->extent, bbox);
  if (picture->georef) image_georef_extent(picture, bbox);
  if (out) *out = picture;
  return picture;
}

bitmap_t* wms_decode_answer(const char* bytes, size_t size, std::string* exception) {
  if (exception) exception->clear();
  std::string text;
  if (bytes && service_exception(bytes, size, &text)) {
    if (exception) *exception = text;
    set_gblerr(ERR_BAD_FILE);
    return nullptr;
  }
  fileatt_t* file = nullptr;
  bitmap_t* picture = decode_picture(bytes, size, &file);
  if (picture) picture->file = file;
  return picture;
}

int wms_image_draw(obj_t* object) {
  auto* image = static_cast<bitmap_t*>(object);
  image_state* st = state_of(image);
  if (!st || !st->service) return 0;
  raster_dib& d = raster_display_buffer();
  pane_t* pane = raster_display_pane();
  if (!d.active || !pane || d.width < 1 || d.height < 1) return 0;
  const screen_mapping m = pane_mapping(pane);
  extent_t world{};
  screen_to_world_extent(m, extent_t{double(d.x), double(d.x + d.width), double(d.y),
                                     double(d.y + d.height), 0},
                         &world);
  extent_t window = wms_get_extent(&image->extent);
  if (!(window.xmax > window.xmin) || !(window.ymax > window.ymin)) return 0;
  if (!extent_intersect(&window, world)) return 0;
  if (!(window.xmax > window.xmin) || !(window.ymax > window.ymin)) return 0;
  extent_t screen{};
  world_to_screen_extent(m, window, &screen);
  int w = 0, h = 0;
  wms_getmap_size(st->service, int(std::lround(screen.xmax - screen.xmin)),
                  int(std::lround(screen.ymax - screen.ymin)), &w, &h);
  const bool same = st->asked_width == w && st->asked_height == h &&
                    std::memcmp(&st->asked, &window, sizeof window) == 0;
  if (!same) {
    drop_picture(st);
    st->asked = window;
    st->asked_width = w;
    st->asked_height = h;
    const int saved = get_gblerr();
    bitmap_t* picture = wms_getmap(image, window, w, h, nullptr);
    if (picture) {
      st->picture = picture;
    } else {
      st->failed = 1;
    }
    set_gblerr(saved);
  }
  if (!st->picture) return 0;
  return draw_image_into_dib(st->picture, nullptr);
}

// ---- Picture formats ------------------------------------------------------------------------

int wms_sniff_format(const unsigned char* b, size_t n) {
  if (!b) return 0;
  if (n >= 8 && std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0) return kDecoderPng;
  if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return kDecoderJpeg;
  if (n >= 6 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0))
    return kDecoderGif;
  if (n >= 4 && (std::memcmp(b, "II*\0", 4) == 0 || std::memcmp(b, "MM\0*", 4) == 0))
    return kDecoderTiff;
  if (n >= 2 && b[0] == 'B' && b[1] == 'M') return kDecoderBmp;
  if (n >= 2 && b[0] == 'P' && b[1] >= '1' && b[1] <= '6') return kDecoderPnmFirst + (b[1] - '1');
  return 0;
}

// What a KML read does after the parse: the image requests (style icons and ground
// overlays) are loaded through the load dispatcher and the image loading, then the
// linked files of the NetworkLinks.
//
// An image taken from a file loaded here leaves that file's content list for the KML
// file's, and the image file is released at the end of the read; an image of a file that
// was loaded before is copied, its own file keeping its record. Several requests of one
// reference share one load: style icons share the image, overlays get copies.
//
// Linked files are loaded at most kKmlMaxLinkLoads times per outermost read on a
// thread: a linked KML file is read (and resolves its own links) inside its parent's
// read, so a chain of files that link on and on stops there.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/error.h"
#include "core/http.h"
#include "core/memory.h"
#include "core/paths.h"
#include "formats/file_load.h"
#include "formats/kml_read_internal.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "raster/image_load.h"
#include "raster/raster_georef_internal.h"
#include "raster/raster_ops.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// Rotations below this (degrees) place the box itself.
constexpr double kNoRotation = 2e-14;
// Layer priority of a ground overlay of draw order 0, and the span of draw orders kept.
constexpr int kOverlayPriority = 10000000;
constexpr int kOverlayOrderSpan = 1000000;
// Image files loaded by one read.
constexpr int kMaxImageLoads = 1000;

bool has_scheme(const std::string& s) { return s.find("://") != std::string::npos; }

// The first image record of a list.
bitmap_t* first_image(const container_t* list) {
  for (int i = 0; i < obj_list_count(list); ++i) {
    obj_t* o = list->elems[i];
    if (o && o->cls == CLS_BITMAP) return static_cast<bitmap_t*>(o);
  }
  return nullptr;
}

fileatt_t* first_member(const container_t* list) {
  for (int i = 0; i < obj_list_count(list); ++i)
    if (fileatt_t* f = file_of(list->elems[i])) return f;
  return nullptr;
}

void remove_from(container_t* list, obj_t* obj) {
  for (int i = obj_list_count(list) - 1; i >= 0; --i)
    if (list->elems[i] == obj) obj_list_remove_at(list, i);
}

// Loads the image of a reference: the record (owned by the caller), null when the file
// cannot be loaded or holds no image. Errors are cleared.
bitmap_t* load_image(kml_reader* st, const std::string& path) {
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 1, 1, &f);
  if (!f || get_gblerr()) {
    set_gblerr(0);
    return nullptr;
  }
  const bool was_loaded = f->sot != nullptr;
  int rc = file_load(f, nullptr, 0);
  set_gblerr(0);
  fileatt_t* source = f;
  if (rc == 0 && file_get_type(f) != kFileKindImage) rc = 3;
  if (rc != 0) {
    // An archive: its first member is loaded instead.
    fileatt_t* member = first_member(f->sot);
    if (!member) return nullptr;
    const bool member_loaded = member->sot != nullptr;
    rc = file_load(member, nullptr, 0);
    set_gblerr(0);
    if (rc != 0 || file_get_type(member) != kFileKindImage) return nullptr;
    source = member;
    if (!member_loaded) st->release.push_back(member);
  } else if (!was_loaded) {
    st->release.push_back(f);
  }
  bitmap_t* image = first_image(source->sot);
  if (!image) return nullptr;
  const bool shared = source == f ? was_loaded : false;
  if (shared) {
    bitmap_t* copy = nullptr;
    image_copy(image, &copy);
    set_gblerr(0);
    return copy;
  }
  remove_from(source->sot, image);
  if (folder_t* d = folder_of(source->folder))
    if (d->image == image) d->image = nullptr;
  return image;
}

// The pixel step of a box turned by `degrees` about its centre (counter-clockwise).
xform_affine3d_t* rotated_step(const kml_image_request& r, int width, int height) {
  xform_affine3d_t* a = nullptr;
  obj_new_registered(CLS_XFORM_AFFINE3D, &a);
  if (!a) return nullptr;
  const double t = r.rotation * kPi / 180.0;
  const double c = std::cos(t), s = std::sin(t);
  const double cx = (r.west + r.east) * 0.5, cy = (r.north + r.south) * 0.5;
  const double sx = (r.east - r.west) / width, sy = (r.south - r.north) / height;
  // Pixel (col, row) to the unturned box, then turned about the centre.
  const double a11 = sx * c, a12 = -sy * s, a21 = sx * s, a22 = sy * c;
  const double tx = cx + c * (r.west - cx) - s * (r.north - cy);
  const double ty = cy + s * (r.west - cx) + c * (r.north - cy);
  double f[16] = {a11, a12, 0, tx, a21, a22, 0, ty, 0, 0, 1, 0, 0, 0, 0, 1};
  const double det = a11 * a22 - a12 * a21;
  if (det == 0.0 || !std::isfinite(det)) {
    free_obj(&a);
    return nullptr;
  }
  const double b11 = a22 / det, b12 = -a12 / det, b21 = -a21 / det, b22 = a11 / det;
  double g[16] = {b11, b12, 0, -(b11 * tx + b12 * ty), b21, b22, 0, -(b21 * tx + b22 * ty),
                  0,   0,   1, 0,                      0,   0,   0, 1};
  std::memcpy(a->f, f, sizeof f);
  std::memcpy(a->g, g, sizeof g);
  return a;
}

// The image placed on the request's box (geographic WGS 84).
bool place_overlay(bitmap_t* image, const kml_image_request& r) {
  if (image->width < 1 || image->height < 1) return false;
  if (!std::isfinite(r.west + r.east + r.south + r.north)) return false;
  georef_t* fresh = nullptr;
  georef_create(nullptr, &fresh);
  if (!fresh) return false;
  if (!image->georef) {
    image->georef = fresh;
  } else {
    image->georef->refertype = fresh->refertype;
    image->georef->datum = fresh->datum;
    image->georef->projection = fresh->projection;
    image->georef->unit = fresh->unit;
    free_obj(&fresh);
  }
  if (image_georef_extent(image, extent_t{r.west, r.east, r.south, r.north, 0.0}) != 0)
    return false;
  if (std::fabs(r.rotation) >= kNoRotation) {
    xform_affine3d_t* a = rotated_step(r, image->width, image->height);
    if (!a) return false;
    georef_t* g = image->georef;
    obj_t* old = g->transfo;
    if (old) xform_free_step(XK_OFFSET_SCALE, &old);
    g->transfo = a;
    g->transfotype = XK_AFFINE3D;
  }
  image_place_in_georef(image);
  image_pixel_size(image);
  return get_gblerr() == 0;
}

// The drawing order of a ground overlay: its folder's layer priority, which orders the
// image among the images of the graph space (higher on top). Overlays sit at the top of
// the image priorities (an image file gets at most kOverlayPriority), in their draw order;
// equal orders keep the file's order.
int overlay_priority(int draw_order) {
  const int order = std::clamp(draw_order, -kOverlayOrderSpan, kOverlayOrderSpan);
  return kOverlayPriority + order;
}

void file_overlay(kml_reader* st, kml_image_request& r, bitmap_t* image) {
  if (!place_overlay(image, r)) {
    set_gblerr(0);
    free_obj(&image);
    return;
  }
  str_set(r.ref.c_str(), &image->name);
  r.image = image;
  obj_list_append(st->content, image);
  if (r.list && r.list != st->content) obj_list_append(r.list, image);
  folder_t* d = nullptr;
  folder_t* top = st->folders.empty() ? nullptr : st->folders.front();
  if (top) folder_get_or_create(top, image, 0, &d);
  if (d) {
    folder_set_name(d, r.ref.c_str());
    d->layer = overlay_priority(r.draw_order);
  }
  set_gblerr(0);
}

// A linked KML file's folder goes under the folder of its link. A timed link: the shell
// finds the folder by its name "reload", shows the linked file as a file of its own and
// reloads it every `refreshintrv` seconds.
void attach_linked(const kml_link_record& rec, fileatt_t* f) {
  folder_t* d = folder_of(f->folder);
  if (!d || !rec.folder || d == rec.folder) return;
  obj_detach(d);
  obj_add_son(rec.folder, d);
  if (rec.refresh > 0) {
    d->refreshintrv = rec.refresh;
    folder_set_name(d, "reload");
  }
  set_gblerr(0);
}

}  // namespace

std::string kml_resolve_reference(const obj_t* file, const std::string& ref) {
  if (ref.empty()) return {};
  if (ref.rfind("file://", 0) == 0) return ref.substr(7);
  if (has_scheme(ref)) return ref;
  const char* base = file_get_name(file_of(const_cast<obj_t*>(file)));
  const std::string b = base ? base : "";
  if (has_scheme(b)) {
    char* url = nullptr;
    url_resolve(b.c_str(), ref.c_str(), &url);
    std::string out = url ? url : "";
    free_mem(&url);
    return out;
  }
  if (path_is_absolute(ref.c_str()) || b.empty()) return ref;
  char* folder = nullptr;
  path_folder(b.c_str(), &folder);
  std::string out = std::string(folder ? folder : "") + ref;
  free_mem(&folder);
  set_gblerr(0);
  return out;
}

void kml_resolve_images(kml_reader* st) {
  std::unordered_map<std::string, bitmap_t*> loaded;  // by path: the first image
  int loads = 0;
  for (auto& req : st->requests) {
    if (get_gblerr() != 0) break;
    kml_image_request& r = *req;
    const std::string path = kml_resolve_reference(st->file, r.ref);
    if (path.empty()) continue;
    bitmap_t* image = nullptr;
    auto it = loaded.find(path);
    if (it != loaded.end()) {
      if (r.style_icon) {
        r.image = it->second;
        continue;
      }
      image_copy(it->second, &image);
      set_gblerr(0);
    } else {
      if (loads >= kMaxImageLoads) continue;
      ++loads;
      image = load_image(st, path);
      if (image && r.style_icon) loaded[path] = image;
    }
    if (!image) continue;
    if (r.style_icon) {
      r.image = image;
      obj_list_append(st->content, image);
    } else {
      file_overlay(st, r, image);
      if (r.image) loaded.emplace(path, r.image);
    }
  }
  for (auto& [point, req] : st->icon_users)
    if (req->image) point->icon = req->image;
  set_gblerr(0);
}

void kml_resolve_links(kml_reader* st) {
  for (size_t i = 0; i < st->links.size(); ++i) {
    if (!kml_take_link_load()) break;
    const kml_link_record& rec = st->links[i];
    const std::string path = kml_resolve_reference(st->file, rec.ref);
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, path.c_str(), 1, 1, &f);
    if (!f) {
      set_gblerr(0);
      continue;
    }
    file_load(f, nullptr, 0);
    set_gblerr(0);
    if (file_get_format(f) == uint32_t(kKmlFormat)) {
      attach_linked(rec, f);
      continue;
    }
    // An archive (a KMZ file): the KML files among its members, each one more load.
    std::vector<fileatt_t*> members;
    for (int k = 0; k < obj_list_count(f->sot); ++k)
      if (fileatt_t* m = file_of(f->sot->elems[k])) members.push_back(m);
    for (fileatt_t* m : members) {
      if (!kml_take_link_load()) break;
      file_load(m, nullptr, 0);
      set_gblerr(0);
      if (file_get_format(m) == uint32_t(kKmlFormat)) attach_linked(rec, m);
    }
  }
}

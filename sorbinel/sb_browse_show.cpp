// Loading and showing one file of the walk: the failure line, the files of a folder,
// the saving of fetched web images, the pages and frames counted, photos turned upright
// by their EXIF rotation, the pages of a multi-page image laid out one below the other,
// the stored zoom and the first (or last) page shown.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "formats/file_load.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_set.h"
#include "raster/image_place.h"
#include "raster/raster_ops.h"
#include "platform/sys/sysinfo.h"
#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_browse_internal.h"
#include "sorbinel/sb_state.h"

namespace {

constexpr int kBitmapClass = 1;
constexpr int kFrameClass = 29;
constexpr int kFileListClass = 34;
constexpr int kFormatPagesBelow = 3;  // multi-page images laid out one below the other
constexpr int kPageStart = 100000;
constexpr int kErrorUnknownType = 3;

// Classes that hang off a file's content without being drawn.
bool is_drawing_object(const obj_t* o) {
  switch (o ? o->cls : 0) {
    case 0: case kBitmapClass: case kFrameClass: case kFileClass: case kFolderClass:
    case kFileListClass: case 46: case 49: case 103:
      return false;
    default:
      return true;
  }
}

struct shown_folder {
  folder_t* folder;
  bitmap_t* image;  // null when it shows no image
  bool drawing;     // it holds drawing objects
};

// The displayed folders of the file, in the order of their walk.
std::vector<shown_folder> displayed_folders(fileatt_t* file) {
  std::vector<shown_folder> out;
  folder_t* it = nullptr;
  while (folder_t* f = file_next_folder(file, &it)) {
    if (!folder_visible(f)) continue;
    shown_folder d{f, nullptr, false};
    if (f->image && f->image->cls == kBitmapClass) d.image = static_cast<bitmap_t*>(f->image);
    const container_t* list = f->sot;
    // The first folder shares the file's own list: only its own drawing objects count.
    for (int i = 0; i < obj_list_count(list); ++i)
      if (is_drawing_object(list->elems[i])) {
        d.drawing = true;
        break;
      }
    if (d.image || d.drawing) out.push_back(d);
  }
  return out;
}

// The images of the displayed folders, in the order of their walk (top to bottom when
// the pages are laid out one below the other).
std::vector<bitmap_t*> page_images(fileatt_t* file) {
  std::vector<bitmap_t*> out;
  if (!file) return out;
  for (const shown_folder& d : displayed_folders(file))
    if (d.image) out.push_back(d.image);
  return out;
}

// The image's pixel step replaced by `step`: whatever kind of step it had goes.
void replace_pixel_step(georef_t* g, obj_t* step) {
  obj_t* old = g->transfo;
  g->transfo = step;
  g->transfotype = XK_OFFSET_SCALE;
  if (!old) return;
  if (old->cls == CLS_XFORM_OFFSET_SCALE)
    xform_free_step(XK_OFFSET_SCALE, &old);
  else if (old->cls == CLS_XFORM_AFFINE3D)
    xform_free_step(XK_AFFINE3D, &old);
  else
    free_obj(&old);
}

// A georeference of scale 1.0 that moves the image `offset` world units down (rows go
// down the document); its extent follows. False (gblerr set) when no record can be made.
bool place_at_offset(bitmap_t* image, double offset) {
  xform_offset_scale_t* step = nullptr;
  xform_control_point_t* origin = nullptr;
  obj_new_registered(CLS_XFORM_OFFSET_SCALE, &step);
  obj_new_registered(CLS_XFORM_CONTROL_POINT, &origin);
  georef_t* g = image->georef;
  if (!g) obj_new_registered(CLS_GEOREF, &g);
  if (!step || !origin || !g) {
    free_obj(&step);
    free_obj(&origin);
    if (g != image->georef) free_obj(&g);
    set_gblerr(ERR_MEMORY);
    return false;
  }
  step->sx = step->sy = step->sz = 1.0;
  origin->sx = origin->sy = origin->sz = 0.0;
  origin->tx = 0.0;
  origin->ty = offset;
  origin->tz = 0.0;
  step->origins = origin;
  image->georef = g;
  replace_pixel_step(g, step);
  image_place_in_georef(image);
  return true;
}

// Each page below the ones before it: its offset is the sum of their heights.
void lay_out_pages(const std::vector<shown_folder>& shown) {
  double offset = 0.0;
  for (const shown_folder& d : shown) {
    if (!d.image) continue;
    if (!place_at_offset(d.image, offset)) return;
    offset += d.image->height;
  }
}

// Every line of every plane mirrored left to right, in place.
void mirror_lines(bitmap_t* image) {
  for (int y = 0; y < image->height; ++y)
    for (int p = 0; p < image->planes; ++p) {
      uint8_t* line = get_img_line_adr(image, y, p);
      if (line) std::reverse(line, line + image->width);
    }
}

// The image replaced by `copy` in the file's content and in its folder.
void replace_image(fileatt_t* file, folder_t* folder, bitmap_t* old_image, bitmap_t* copy) {
  container_t* content = file->sot;
  bool placed = false;
  for (int i = 0; i < obj_list_count(content); ++i)
    if (content->elems[i] == old_image) {
      obj_list_set(content, i, copy);
      placed = true;
      break;
    }
  if (!placed) obj_list_append(content, copy);
  // Frame records keep pointing at the image of their frame.
  for (int i = 0; i < obj_list_count(content); ++i) {
    obj_t* o = content->elems[i];
    if (o && o->cls == kFrameClass && static_cast<img_frame_t*>(o)->bitmap == old_image)
      static_cast<img_frame_t*>(o)->bitmap = copy;
  }
  folder->image = copy;
  copy->file = old_image->file;
  free_obj(&old_image);
}

// Saves a fetched file's bytes under the web folder (WEBNAVIG set).
void save_web_file(fileatt_t* file) {
  const std::string target = sb_web_save_path(sb_web_save_folder(), file->name);
  if (target.empty()) return;
  char* source = get_filemobj_name(file);
  if (!source) return;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ec);
  FILE* in = std::fopen(source, "rb");
  FILE* out = in ? std::fopen(target.c_str(), "wb") : nullptr;
  if (in && out) {
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0)
      if (std::fwrite(buf, 1, n, out) != n) break;
  }
  if (out) std::fclose(out);
  if (in) std::fclose(in);
  free_mem(&source);
}

// The failure of a shown file: the error line with its placeholder, set aside.
void show_failure(fileatt_t* file, int code) {
  sb_state& s = sb();
  const char* text = get_error_text(code);
  fileatt_t* placeholder = code == kErrorUnknownType ? s.unknown_image : s.error_image;
  sb_set_aside(file);
  sb_show_load_error(file, placeholder, text);
}

// The file objects of a loaded content move into the browsing list; the file holding
// them is set aside and the walk restarts at the first of them.
void take_content_files(fileatt_t* file) {
  std::vector<fileatt_t*> files;
  container_t* content = file->sot;
  for (int i = obj_list_count(content) - 1; i >= 0; --i)
    if (fileatt_t* f = file_of(content->elems[i])) {
      obj_list_remove_at(content, i);
      files.push_back(f);
    }
  for (fileatt_t* f : files) sb_list_add(f);
  // The first of them in the list's order.
  fileatt_t* first = nullptr;
  int first_pos = -1;
  for (fileatt_t* f : files) {
    const int pos = index_position_of(sb_browse().list, f);
    if (pos >= 0 && (first_pos < 0 || pos < first_pos)) {
      first = f;
      first_pos = pos;
    }
  }
  sb_set_aside(file);
  sb_browse_restart_at(first);
}

}  // namespace

img_frame_t* sb_frame_of_page(fileatt_t* file, int page) {
  const container_t* content = file ? file->sot : nullptr;
  for (int i = 0; i < obj_list_count(content); ++i) {
    obj_t* o = content->elems[i];
    if (o && o->cls == kFrameClass && static_cast<img_frame_t*>(o)->frame_number == page)
      return static_cast<img_frame_t*>(o);
  }
  return nullptr;
}

bitmap_t* sb_apply_orientation(bitmap_t* image) {
  if (!image) return nullptr;
  const int code = image_rotation(image);
  bitmap_t* copy = nullptr;
  switch (code) {
    case 1: image_rotate(image, 1, &copy); break;
    case 2: image_rotate(image, 2, &copy); break;
    case 3:
      if (image_flip_vertical(image, &copy)) mirror_lines(copy);
      break;
    case 4:
      if (image_copy(image, &copy)) mirror_lines(copy);
      break;
    case 5: image_flip_vertical(image, &copy); break;
    case 6:
      if (image_rotate(image, 2, &copy)) mirror_lines(copy);
      break;
    case 7:
      if (image_rotate(image, 1, &copy)) mirror_lines(copy);
      break;
    default: return nullptr;
  }
  if (copy) image_set_rotation(copy, -code);
  return copy;
}

int sb_load_and_show(fileatt_t* file) {
  sb_state& s = sb();
  sb_file_filter_t* flt = s.filter;
  if (!(s.mode & kSbModeSlideshow)) sb_show_loading(file);
  const int result = file_load(file, nullptr, 0);
  if (result != 0) {
    const int code = get_gblerr() ? get_gblerr() : result;
    show_failure(file, code);
    return 0;
  }
  s.current = file;
  // A folder's files join the browsing list.
  if (file->filetype == 1) {
    sb_expand_folder(file);
    return 1;
  }
  if (obj_list_count_of_class(file->sot, kFileClass) > 0) {
    take_content_files(file);
    return 1;
  }
  if (file->from_url && config_get("WEBNAVIG") && sb_filter_accepts(file)) save_web_file(file);
  std::vector<shown_folder> shown = displayed_folders(file);
  if (shown.empty()) {
    show_failure(file, 0);
    return 0;
  }
  // Pages, and photos turned upright.
  flt->first_page = kPageStart;
  flt->page_count = -kPageStart;
  int images = 0;
  s.placed_image = nullptr;
  const bool drawing_only = std::any_of(shown.begin(), shown.end(), [](const shown_folder& d) {
    return d.drawing && !d.image;
  });
  if (!drawing_only)
    for (shown_folder& d : shown) {
      if (!d.image) continue;
      ++images;
      const int page = d.image->frame_number;
      if (page < flt->first_page) flt->first_page = page;
      if (page > flt->page_count) flt->page_count = page;
      // The photo's position is read before a turn replaces the image (the copy has none).
      const position_t* at = image_position(d.image);
      const bool placed = at != nullptr;
      const double lon = placed ? at->coords.x : 0, lat = placed ? at->coords.y : 0;
      if (bitmap_t* turned = sb_apply_orientation(d.image)) {
        replace_image(file, d.folder, d.image, turned);
        d.image = turned;
      }
      if (placed && images == 1) {
        s.placed_image = d.image;
        s.placed_lon = lon;
        s.placed_lat = lat;
      }
    }
  if (images != 1) s.placed_image = nullptr;
  flt->single_image = images == 1 ? 1 : 0;
  // The pages of a multi-page image, one below the other (a single page keeps its own
  // pixel grid, below).
  if (file->fileformat == kFormatPagesBelow && images > 1) lay_out_pages(shown);
  if (images == 1)
    for (shown_folder& d : shown)
      if (d.image) {
        // A georeference the loading made from the photo's position is the image's own:
        // it goes with the position (its step first), not left behind unowned.
        if (image_position(d.image) && d.image->georef) {
          georef_t* own = d.image->georef;
          image_place_forget(d.image);
          d.image->georef = nullptr;
          free_obj(&own);
        }
        d.image->georef = nullptr;
        image_set_position(d.image, nullptr);
      }
  s.info_text = sb_file_info_text(file);
  sb_document_show_file(file);
  if (file->fileformat == 26 || file->fileformat == 42) sb_set_orientation(-1);
  // Stored zoom: actual size for one image, or for images alone on pages of their own.
  bool images_alone = true;
  std::vector<int> pages;
  for (const shown_folder& d : shown) {
    if (d.drawing || !d.image) images_alone = false;
    if (d.image) pages.push_back(int{d.image->frame_number});
  }
  std::sort(pages.begin(), pages.end());
  if (std::adjacent_find(pages.begin(), pages.end()) != pages.end()) images_alone = false;
  const bool no_zoom_max = flt->no_zoom_max != 0 || config_get("NOZOOMMAX");
  flt->stored_zoom = !no_zoom_max && (flt->single_image == 1 || images_alone) ? 1.0 : 0.0;
  if (flt->first_page > flt->page_count) flt->first_page = flt->page_count = 0;
  flt->current_page = flt->first_page - 1;
  sb_page_step(file);
  return 0;
}

void sb_page_step(fileatt_t* file) {
  sb_state& s = sb();
  sb_file_filter_t* flt = s.filter;
  if (!file || !flt) return;
  flt->current_page += s.direction;
  if (flt->current_page > flt->page_count) flt->current_page = flt->first_page;
  if (flt->current_page < flt->first_page) flt->current_page = flt->page_count;
  // The image link of each page: 0 draws it, 1 hides it. Pages laid out one below the
  // other all stay drawn; the view goes to the current one instead.
  const bool below = sb_pages_below(file) != 0;
  for (bitmap_t* b : page_images(file))
    layer_link_set_value(s.document, b, below || b->frame_number == flt->current_page ? 0 : 1);
  sb_zoom_to(flt->stored_zoom);
  if (below && flt->stored_zoom > 0.0) sb_scroll_to_page(file, flt->current_page);
}

int sb_pages_below(const fileatt_t* file) {
  const sb_file_filter_t* flt = sb().filter;
  return file && flt && file->fileformat == kFormatPagesBelow && flt->page_count > flt->first_page ? 1 : 0;
}

int sb_page_at_view(fileatt_t* file) {
  const mapwin_t* win = sb().view;
  const std::vector<bitmap_t*> pages = page_images(file);
  if (!win || pages.empty()) return 0;
  extent_t visible{};
  screen_to_world_extent(win->map, extent_t{0.0, double(win->width), 0.0, double(win->height), 0.0}, &visible);
  if (extent_is_empty(visible)) return 0;
  const double half = (visible.ymin + visible.ymax) / 2.0;
  // Heights added from the top of the first page until they reach the half height.
  double reached = pages.front()->extent.ymin;
  for (bitmap_t* b : pages) {
    reached += b->extent.ymax - b->extent.ymin;
    if (reached >= half) return b->frame_number;
  }
  return pages.back()->frame_number;
}

void sb_scroll_to_page(fileatt_t* file, int page) {
  mapwin_t* win = sb().view;
  if (!win) return;
  const bitmap_t* shown = nullptr;
  for (const bitmap_t* b : page_images(file))
    if (b->frame_number == page) shown = b;
  const screen_mapping m = win->map;
  if (!shown || m.scale_x == 0.0 || m.scale_y == 0.0) return;
  const extent_t e = shown->extent;
  const double sy = std::fabs(m.scale_y);
  const double half = win->height / (2.0 * sy);
  double cy = (e.ymin + e.ymax) / 2.0;
  // Taller than the window: its top edge (the one at the window's top) shows.
  if (e.ymax - e.ymin > 2.0 * half) cy = m.scale_y > 0.0 ? e.ymin + half : e.ymax - half;
  const double cx = win->width / (2.0 * m.scale_x) - m.origin_x;
  view_set(win, cx, cy, m.scale_x, sy, 0);
  mapwin_request_redraw(win);
}

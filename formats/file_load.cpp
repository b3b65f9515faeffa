// The central load dispatch: file_load hands an identified file to the image loading or
// to the reader of its format code, turns an error left by a reader into the result,
// unloads what a failed read left and, for most GPS formats, filters the tracks;
// file_unload releases a load; file_load_module_init wires this module into the hooks
// of the layers below at start-up.
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/objxml.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "formats/file_list.h"
#include "formats/geonames.h"
#include "formats/gpstext.h"
#include "formats/gpx.h"
#include "formats/pcx5.h"
#include "formats/rowset.h"
#include "formats/shapefile.h"
#include "formats/tcx.h"
#include "map/file_object.h"
#include "map/track_filter.h"
#include "raster/image_load.h"

namespace {

constexpr int kFormatEcw = 16;
constexpr int kFormatSid = 18;
constexpr int kFormatGpsText = 0;  // slot of the system's own GPS text files
constexpr int kFirstStyleClass = 2;
constexpr int kLastStyleClass = 9;

// GPS formats whose tracks are kept as the file has them (no speed filter).
bool keeps_tracks(uint32_t format) {
  switch (format) {
    case 30: case 32: case 33: case 34: case 44: case 45: case 48: case 49: case 50:
    case 51: case 61: case 65: case 71: case 72: case 73:
      return true;
    default:
      return false;
  }
}

// Formats of kind 4 read by their own reader; every other goes to the GPS text reader.
bool has_own_gps_reader(uint32_t format) {
  switch (format) {
    case 30: case 32: case 33: case 34: case 37: case 44: case 45: case 48: case 49:
    case 50: case 51: case 61: case 64: case 65: case 69: case 70: case 71: case 72:
    case 73:
      return true;
    default:
      return false;
  }
}

int run_reader(int slot, fileatt_t* f) {
  format_reader reader = format_reader_of(slot);
  if (!reader) {
    set_gblerr(0);
    return ERR_UNKNOWN_FORMAT;
  }
  return reader(f, f->sot);
}

// A file whose content was unpacked only to be identified is unpacked in full before a
// reader reads it: its format code no longer tells the reader it is compressed.
int unpack_for_reader(fileatt_t* f) {
  if (f->store) return 0;
  if (f->source_size > 0) return gzip_open_member(f, 0);
  if (f->container && f->pack_kind != 0) return zip_open_member(f, 0);
  return 0;
}

int dispatch(fileatt_t* f, int* georef_request, int options) {
  if (f->filetype == kFileKindEcwp) return image_reload(f, f->sot);
  if (f->filetype != kFileKindRaster && f->filetype != kFileKindMap &&
      f->filetype != kFileKindGps && f->filetype != kFileKindXmlObjects) {
    set_gblerr(0);
    return ERR_UNKNOWN_FORMAT;
  }
  if (const int err = unpack_for_reader(f)) return err;
  if (f->filetype == kFileKindRaster)
    return image_load(f, f->sot, nullptr, kImageFirstLoad, georef_request, options);
  if (f->filetype == kFileKindGps && !has_own_gps_reader(f->fileformat))
    return run_reader(kFormatGpsText, f);
  return run_reader(int(f->fileformat), f);
}

// After a successful load the memory copy goes unless the file must be read again from
// it (a download, the image streams, embedded mode); the lines it keeps go to swap. Packed
// bytes held in memory stay (they are what the copy is unpacked from again), in swap.
void settle_memory_copy(fileatt_t* f) {
  if (f->packed) filemobj_write_all(f->packed);
  if (!f->store) return;
  if (!f->from_url && f->fileformat != kFormatEcw && f->fileformat != kFormatSid && !is_embedded()) {
    rd_close_file(f);
    file_set_store(f, nullptr);
    f->content_state = 0;
    if (f->source_size > 0) file_set_size(f, f->source_size);
  } else {
    filemobj_write_all(f->store);
  }
}

void trim_lists(fileatt_t* f) {
  obj_list_trim(f->sot);
  folder_t* it = nullptr;
  while (folder_t* d = file_next_folder(f, &it))
    if (d->sot) obj_list_trim(d->sot);
}

void show_progress(fileatt_t* f) {
  const file_load_hooks& hooks = get_file_load_hooks();
  if (hooks.progress_loading) hooks.progress_loading(f);
  if (hooks.wait_cursor) hooks.wait_cursor();
}

// ---- Readers of the table that adapt a reader of another shape ------------------------

int read_geonames(obj_t* file, container_t* list) {
  folder_t* folder = folder_get_or_create(file, list, 0, nullptr);
  return folder ? read_geonames_xml(file, folder) : get_gblerr();
}

int read_native_objects(obj_t* file, container_t*) { return read_obj_xml(file); }

// ---- The file objects' hooks ----------------------------------------------------------

int identify_hook(obj_t* file, obj_t* list, int flag) {
  file_identify_and_load(file, list, flag);
  return 0;
}

void identify_for_image(obj_t* file) { file_identify_and_load_default(file); }

// The folders of the file, parents before sons.
std::vector<folder_t*> folders_of(fileatt_t* f) {
  std::vector<folder_t*> out;
  folder_t* it = nullptr;
  while (folder_t* d = file_next_folder(f, &it)) out.push_back(d);
  return out;
}

// Drawing styles live in the folders' own lists beside references to objects that the
// content list owns: they are freed once each before the folders go.
void free_styles(fileatt_t* f, const std::vector<folder_t*>& folders) {
  std::vector<container_t*> lists;
  if (f->sot) lists.push_back(f->sot);
  for (folder_t* d : folders)
    if (d->sot && d->sot != f->sot) lists.push_back(d->sot);
  for (int cls = kFirstStyleClass; cls <= kLastStyleClass; ++cls)
    obj_lists_free_type(lists.data(), int(lists.size()), cls);
}

// The content list owns every object a read made, the georeference among them; the
// folders' lists only refer to them. A main folder kept through an unload (a reload
// keeps it) gives up what it referred to before the content goes: a list of its own
// (the KML reader's) is freed, not its elements, and an image of the content is no
// longer shown. So nothing reaches a freed object through it later (its next unload,
// the file's end, a redraw).
void forget_content(fileatt_t* f, folder_t* main) {
  if (main->sot && main->sot != f->sot) {
    container_t* own = main->sot;
    main->sot = nullptr;
    free_obj(&own);
  }
  for (int i = obj_list_count(f->sot) - 1; main->image && i >= 0; --i)
    if (f->sot->elems[i] == main->image) main->image = nullptr;
}

}  // namespace

file_load_hooks& get_file_load_hooks() {
  static file_load_hooks hooks;
  return hooks;
}

int file_load(obj_t* obj, int* georef_request, int options) {
  fileatt_t* f = file_of(obj);
  show_progress(f);
  if (!f) {
    set_gblerr(0);
    return 1;
  }
  if (f->sot) return 0;
  int no_request = 0;
  if (!georef_request) georef_request = &no_request;
  obj_list_new(&f->sot);
  if (f->filetype == kFileKindLocal || f->filetype == kFileKindHttp) {
    file_identify_and_load(f, reinterpret_cast<obj_t*>(f->sot), 1);
    if (obj_list_count(f->sot) > 0) return ERR_UNKNOWN_FORMAT;  // the caller loads them
    obj_list_clear(f->sot);
  }
  if (*georef_request != 0 && !f->georerefed) {
    *georef_request = -1;
    return 0;
  }
  int result = dispatch(f, georef_request, options);
  if (result == 0 && f->filetype == kFileKindGps && !keeps_tracks(f->fileformat))
    track_filter_segments(f->sot);
  if (result == 0) result = get_gblerr();
  set_gblerr(0);
  rd_close_file(f);
  if (result != 0) {
    file_unload(f, 1);
    return result;
  }
  settle_memory_copy(f);
  trim_lists(f);
  return 0;
}

void file_unload(obj_t* obj, int flag) {
  fileatt_t* f = file_of(obj);
  if (!f || f->filetype == kFileKindEcwp) return;
  rd_close_file(f);
  const std::vector<folder_t*> folders = folders_of(f);
  free_styles(f, folders);
  folder_t* main = folder_of(f->folder);
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    folder_t* d = *it;
    if (d != main) free_obj(&d);
  }
  if (main && flag) {
    f->folder = nullptr;
    free_obj(&main);
  } else if (main) {
    forget_content(f, main);
  }
  file_detach_content(f);
  if (f->store) filemobj_write_all(f->store);
  if (f->from_url && !f->store) {
    const int scheme = url_scheme(f->name);
    if (scheme) {
      // Fetched again at the next load: nothing of this download is kept.
      f->filetype = scheme;
      file_set_packed(f, nullptr);
      f->source_size = 0;
    }
  }
}

void file_load_module_init() {
  fileobj_hooks& hooks = get_fileobj_hooks();
  hooks.identify_and_load = identify_hook;
  hooks.unload = file_unload;
  get_image_load_hooks().identify = identify_for_image;
  register_format_reader(kFormatGpsText, gpstext_read);
  register_format_reader(30, read_gpx);
  register_format_reader(kGeonamesFormat, read_geonames);
  register_format_reader(75, read_native_objects);
  register_format_reader(kPcx5Format, pcx5_read);
  register_format_reader(kShapefileFormat, shp_read);
  register_format_reader(kTcxFormat, read_tcx);
  register_format_reader(kRowsetFormat, read_rowset);
  file_list_register();
}

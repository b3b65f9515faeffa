// Identification of files and the central load dispatch.
//
// Every file, web address and archive member is loaded in two steps. First
// file_identify_and_load decides what the file is (by its content, by its extension only
// as a last resort) and writes the file kind, the format code and the georeferenced flag
// into the file object; containers (gzip and ZIP archives, file lists, HTML pages) are
// expanded into further file objects. Then file_load hands the file, by kind and format,
// to the image loading or to the reader registered for its format code, cleans up after a
// failed read and filters the tracks of most GPS formats.
//
// Files: file_load.cpp (file_load, file_unload, start-up), file_load_table.cpp (the
// reader table), file_identify.cpp (identification and containers), recognise_*.cpp (the
// recognisers of recognise.h).
#pragma once
#include <cstdint>

struct obj_t;
struct container_t;

// File kinds (`filetype`) beyond those of map/file_object.h.
constexpr int kFileKindFolder = 1;
constexpr int kFileKindRaster = 2;
constexpr int kFileKindMap = 3;
constexpr int kFileKindGps = 4;
constexpr int kFileKindFileList = 9;
constexpr int kFileKindXmlObjects = 14;
constexpr int kFileKindOther = 126;
constexpr int kFileKindArchive = 128;

// Identification calls itself for what a container holds (a ZIP member, the content of
// a gzip file, a downloaded body): at most this many calls are active at once on a
// thread. A deeper call leaves its file unrecognised (kind 125), so that an archive
// that unpacks to itself cannot recurse without end. A gzip level takes one call (its
// content), a ZIP level two (the member, then its unpacked content): gzip files nest 15
// deep, ZIP archives about seven.
constexpr int kMaxIdentifyDepth = 16;

// ---- Identification ----------------------------------------------------------------------
// Identifies `file` and expands containers: the file objects found in an archive, a file
// list or a web page are appended to `list` (null: containers are identified, not
// expanded). `nested` is 0 for a first call and 1 when identification or the HTTP fetch
// calls again. The outcome is in the file's `filetype`, `fileformat` and `georerefed`.
void file_identify_and_load(obj_t* file, obj_t* list, int nested);
// The same with no list and not nested.
void file_identify_and_load_default(obj_t* file);
// How many identifications this thread refused so far because they passed
// kMaxIdentifyDepth: a caller compares the count before and after an identification to
// tell a nest too deep from content that is merely unrecognised.
int file_identify_depth_refusals();

// ---- Loading -----------------------------------------------------------------------------
// Loads `file` into its content list. `georef_request` (null: a local 0): when it holds a
// non-zero value and the file is not georeferenced it is set to -1 and nothing is loaded.
// `options` goes to the image loading. Result: 0 on success or when already loaded (the
// content list exists); 1 for a null file; 3 when unrecognised, of a kind that loads
// nothing, a container whose members are now in the content list, or a format without a
// reader; otherwise the reader's result (or the error code it left). A failed load is
// unloaded.
int file_load(obj_t* file, int* georef_request, int options);
// Releases what a load created: folders, the content list; the memory copy's lines go to
// swap; a fetched file without memory copy goes back to its URL kind (8 or 12) so that the
// next load fetches it again. Nothing for kind 12. `flag` is handed down by callers.
void file_unload(obj_t* file, int flag);

// ---- The reader table --------------------------------------------------------------------
// A reader of a vector or GPS format: reads `file` into `list` (the file's content list,
// made by file_load) and its folders. Result: 0, or an error code (2 cannot open, 3 bad
// header or variant, 14 bad size or record cut short ...); objects read before an error
// stay in the list (file_load unloads them).
using format_reader = int (*)(obj_t* file, container_t* list);
// Format codes the table holds: 0 to 127 (kind 3, kind 4 and kind 14 formats).
constexpr int kFormatReaderSlots = 128;
// Fills the slot of a format code (null empties it). Out-of-range codes are ignored.
void register_format_reader(int format, format_reader reader);
// The reader of a format code, or null for an empty slot; file_load answers 3 for one.
format_reader format_reader_of(int format);
// Empties every slot.
void format_readers_clear();

// ---- Services of the layers above ---------------------------------------------------------
// Empty slots do nothing (and the SID decoder counts as not bound).
struct file_load_hooks {
  // Shows "Loading " and the file's name in the progress window.
  void (*progress_loading)(obj_t* file) = nullptr;
  // Sets the wait cursor while a file loads.
  void (*wait_cursor)() = nullptr;
  // 1 when the outside SID decoder is bound (format 18 is loadable).
  int (*sid_decoder_bound)() = nullptr;
};
file_load_hooks& get_file_load_hooks();

// ---- Start-up ----------------------------------------------------------------------------
// Installs identification and unloading in the file objects' hooks (map/file_object.h)
// and image loading (raster/image_load.h), and fills the reader table with the readers
// built so far (GPX 30, GeoNames 59, native object XML 75).
void file_load_module_init();

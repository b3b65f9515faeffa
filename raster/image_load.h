// The image loading dispatcher: every raster image is loaded, and decoded again when
// its lines are gone, through image_load; every line of an image is read through
// image_line.
//
// image_load creates the image record (class 1), hands it to the decoder of the file's
// format code (a table of rows by code; an empty row answers 3), logs a failure in the
// trace log in both languages, adds the record to the object list, places an image that
// has a GPS position and no georeference, computes its pixel size and files it in a
// folder of the file object. Given an existing record it decodes into it again (second
// decode), keeping its line stores.
//
// Beside the full lines every image has an overview store: one sample per 10 x 10 tile
// (the tile's top-left pixel), built row by row on demand, or for TIFF images with a
// reduced-image folder configured, by the idle builder of command slot 2.
//
// Files: image_load.cpp (image_load, the trace line, filing), image_decoders.cpp (the
// decoder table and its rows), image_line.cpp (image_line, second decodes, reopened
// files), image_overview.cpp (overview rows, the queue, the idle builder),
// image_reload.cpp (the ECW path by address), raster_module.cpp (start-up: the hooks of
// the map layer filled from here).
#pragma once
#include <cstdint>

struct bitmap_t;
struct container_t;
struct obj_t;

// File kind of a raster image (the file object's `filetype`).
constexpr int kFileKindImage = 2;
// Container kind of an archive member: its data is read from memory.
constexpr int kContainerKindArchive = 128;
// Requested lines of a first load: the whole image from a file, or from memory.
constexpr int kImageFirstLoad = -1;
constexpr int kImageFirstLoadInMemory = -2;
// Line-store generation floor held while a decoder writes lines.
constexpr int kImageDecodeMinGeneration = 3;

// ---- Decoder rows -------------------------------------------------------------------------
// What a decoder row receives. `image` is the address of the image variable (the record
// exists, with file object, decoder code, identity tables and gamma -1.0 set); `list`
// is the target object list (null for a second decode); `requested_line` -1 or -2 for
// a first load, the wanted line for a second decode; `status` the caller's status.
struct image_decode_call {
  bitmap_t** image = nullptr;
  container_t* list = nullptr;
  int requested_line = kImageFirstLoad;
  int* status = nullptr;
  intptr_t extra = 0;
};
// A decoder row: 0, or the reader's result code (2 cannot open, 3 unsupported, 7
// refused by the outside library, 14 bad data, 1 memory).
using image_decoder_fn = int (*)(const image_decode_call& call);

// Codes of the table that have a reader (the others answer 3).
constexpr int kDecoderJpeg = 1;
constexpr int kDecoderGif = 2;
constexpr int kDecoderTiff = 3;
constexpr int kDecoderPng = 4;
constexpr int kDecoderXpm = 5;
constexpr int kDecoderPnmFirst = 6;
constexpr int kDecoderPnmLast = 11;
constexpr int kDecoderPcx = 12;
constexpr int kDecoderSunRaster = 13;
constexpr int kDecoderTga = 14;
constexpr int kDecoderEcw = 16;
constexpr int kDecoderSid = 18;
constexpr int kDecoderBmp = 19;
constexpr int kDecoderSgi = 43;
constexpr int kDecoderOziMap = 60;
constexpr int kDecoderCodeLimit = 64;  // codes 0 .. limit-1 have a row

// Fills (or empties, with null) the row of a code; -1 for a code outside the table.
int image_decoder_register(int code, image_decoder_fn fn);
// The row of a code, null when empty or outside the table.
image_decoder_fn image_decoder_for(int code);
// Calls the row of the record's decoder code; 3 when the row is empty.
int image_decode(int code, const image_decode_call& call);
// Fills the rows of the decoders this library holds (PNG, BMP, PCX, ECW...); called by
// raster_module_init, and by tests after image_decoders_reset.
void image_decoders_install();
// Every row empty again (tests).
void image_decoders_reset();

// ---- Services of layers above ------------------------------------------------------------
// Empty slots do nothing.
struct image_load_hooks {
  // Identifies an unidentified file object (kind and format code); the central load
  // dispatch fills it. Empty: the file object is taken as it is.
  void (*identify)(obj_t* file) = nullptr;
  // 1 when a command waits (the display and the overview builder give way). Empty: 0.
  int (*yield_requested)() = nullptr;
  // Idle and normal priority of the overview builder. Empty: nothing.
  void (*set_idle_priority)(int idle) = nullptr;
};
image_load_hooks& get_image_load_hooks();

// ---- The dispatcher -------------------------------------------------------------------
// First load (image null): file object required (-1 when both are null); it must be a
// raster image (kind 2) after identification, else 3. Creates the record, calls the
// reader, and on success adds it to `list`, georeferences it and files it. A failed
// first load frees its record. Second decode (image given): the status is set to 0, the
// file object is ignored, the reader decodes into the record's stores. Returns 0 or the
// reader's result; a failure writes "Erreur chargement " / "Loading error ", the file
// name, " : " and the message of the result to the trace log. A status of -1 asks for
// the file's description only: the record is freed after a successful decode.
int image_load(obj_t* file, container_t* list, bitmap_t* image, int requested_line,
               int* status, intptr_t extra);

// The size of the image a file holds, read from its header alone: no record is made,
// no line decoded. 1 with *width and *height for a local file (identified or not) whose
// first bytes are those of a PNG, JPEG or GIF file and whose header the reader would
// take (for a GIF, the screen grown by every larger frame, as the reader sizes its
// images); 0, with both 0, for anything else (another format, a file that cannot be
// read, a header the reader would refuse): a caller that needs the size then loads the
// file. Changes nothing in the file object (image_probe.cpp).
int image_probe_size(obj_t* file, int* width, int* height);

// The ECW path by address (file kind 12): 0 (also after a failed decode, which is
// logged and freed), 1 when the record cannot be made, -1 for a null file object. The
// ECW reader (ecw.h) is row 16.
int image_reload(obj_t* file, container_t* list);

// Address of plane `plane` of line `line`: the resident line, else the line brought
// back from swap, or, in embedded mode or for a store that never swaps, decoded again.
// Null only for a line or plane outside the image or an image without lines.
uint8_t* image_line(bitmap_t* image, int line, int plane);
// A line of the full image (overview 0) or of the overview (1); null when it is not
// resident and a command waits.
uint8_t* image_line_or_overview(bitmap_t* image, int line, int overview);

// The files reopened by second decodes; the redraw pass closes them when it ends.
container_t* image_reopened_files();
void image_close_reopened_files();

// ---- Overview ----------------------------------------------------------------------------
// Overview row r: for each tile column j and plane, the sample of pixel (10 j, 10 r).
void overview_build_row(bitmap_t* image, int row);
// After loading: a TIFF image with a reduced-image folder is queued for the idle
// builder (unless its overview is already on disk, or there is no swap folder, or
// another copy of the program was running at start).
void overview_queue_image(bitmap_t* image);
// The work of command slot 2: builds the queued overviews at idle priority, giving way
// when a command waits.
void overview_build_queued();
// Number of images in the queue; removing an image (freed elsewhere); emptying (tests).
int overview_queue_count();
void overview_queue_remove(bitmap_t* image);
void overview_queue_clear();

// ---- Plug-in -----------------------------------------------------------------------------
// Binding of the MrSID plug-in (sid_host.cpp): *flag 1 when bound. The plug-in is loaded
// once per process from the program's folder; bound, it fills row 18 and the raster
// display's SID slots. Without it (or its decoding library) *flag is 0, one message
// says why, recognition never hands code 18 to the dispatcher and its row stays empty.
void sid_plugin_load(int* flag);

// ---- Icons -------------------------------------------------------------------------------
// An icon file (PNG; a relative name in the system folder, then the program folder)
// decoded into a new bitmap without file object; null with gblerr set (2 missing, 14
// damaged or too large). The bitmap hooks' icon loader.
bitmap_t* raster_icon_load(const char* name);

// ---- Start-up ----------------------------------------------------------------------------
// Fills the decoder rows and the map layer's image hooks (raster display line reader,
// overview factor and ECW slot, the bitmap hooks' plug-in binding, destruction, ECW
// view and icon slots).
// Call once at start-up, before bitmap_module_init (which runs the plug-in binding) and
// before the icons are loaded; it needs nothing else started.
void raster_module_init();

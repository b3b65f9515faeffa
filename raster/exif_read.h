// The EXIF reader: the TIFF-structured metadata of a photo. It gives the image record the
// rotation code that brings the photo upright (image_rotation, raster/image_place.h), a
// photo metadata record (class 49: make and model, shooting date, exposure values) in the
// record's `exif` field, and a GPS position record (class 103, image_position) with the
// place, time, altitude, speed and direction of the shot.
//
// The JPEG reader calls exif_read on the APP1 "Exif" block; the TIFF reader hands the
// entries of its first directory that belong here to exif_ifd0_tag.
//
// Metadata never costs a photo its pixels: an entry of a wrong type or count, or whose
// values or sub-directory would lie outside the data, is skipped and the walk goes on.
// Every offset and count is checked against the end of the data before anything is read,
// each sub-directory is walked at most once per call (a pointer back at a directory
// already walked does not loop), and entry counts are bounded by the bytes there.
//
// Files: exif_read.cpp (header, directory walks, IFD0, the class), exif_tags.cpp (the
// Exif and GPS directory handlers).
#pragma once
#include <cstdint>

#include "core/dates.h"
#include "core/object.h"

struct bitmap_t;

constexpr int CLS_PHOTO_META = 49;

#pragma pack(push, 1)
// Class 49: what the camera wrote about the shot. Exposure values are 0 when absent.
struct photo_meta_t : obj_t {
  date_rec date;             // shooting date (DateTimeOriginal + SubSecTimeOriginal)
  double focal_length;       // millimetres
  int32_t iso;               // ISO speed
  double exposure_time;      // seconds
  double f_number;
  double subject_distance;   // metres; infinity for the EXIF value 4294967295 or more
  double max_aperture;       // as an f-number
  int32_t flash;             // 1 fired, -1 not fired, 0 unknown
  double focal_length_35mm;  // focal length in 35 mm film
  int32_t exposure_program;  // EXIF code
  char* make_model;          // owned: each of Make and Model followed by one blank
};
#pragma pack(pop)

// ---- JPEG ---------------------------------------------------------------------------------
// With the reader at the TIFF header inside the APP1 block, which ends at `block_end` (an
// absolute position that bounds every offset and count; 0: the end of the file): reads the
// header and walks IFD0, and from it the Exif and GPS directories. Returns 0, or the code
// of a bad header (14; 2 when cut short) with gblerr set. Bad entries are skipped (0).
int exif_read(bitmap_t* image, int64_t block_end);

// ---- TIFF ---------------------------------------------------------------------------------
// With the reader just after the tag of an entry of a TIFF page's directory: handles the
// tags 271 and 272 (Make, Model), 274 (Orientation), 34665 (Exif directory) and 34853 (GPS
// directory) as the EXIF walk of IFD0 does, and leaves the reader at the next entry (10
// bytes after the tag); other tags are left alone (the reader is not moved). `base` is
// the TIFF header's position, `limit` the end of the data (0: the end of the file).
// Returns 0: an entry that cannot be read is skipped, and gblerr is left clear.
int exif_ifd0_tag(bitmap_t* image, int tag, int order, int64_t base, int64_t limit);

// The image's photo metadata, created (empty) when it has none; null without an image.
photo_meta_t* exif_photo_meta(bitmap_t* image);

// ---- Start-up -----------------------------------------------------------------------------
// Registers class 49 with the object store (the bitmap hooks' EXIF slot).
void exif_register_class();

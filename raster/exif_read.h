// The EXIF reader: the TIFF-structured metadata of a photo. It gives the image record the
// rotation code that brings the photo upright (image_rotation, raster/image_place.h), a
// photo metadata record (class 49: make and model, shooting date, exposure values) in the
// record's `exif` field, and a GPS position record (class 103, image_position) with the
// place, time, altitude, speed and direction of the shot.
//
// The JPEG reader calls exif_read on the APP1 "Exif" block; the TIFF reader hands the
// entries of its first directory that belong here to exif_ifd0_tag.
#pragma once
#include <cstdint>

#include "core/dates.h"
#include "core/object.h"

struct bitmap_t;

constexpr int CLS_PHOTO_META = 49;

// ---- JPEG ---------------------------------------------------------------------------------
// With the reader at the TIFF header inside the APP1 block, which ends at `block_end` (an
// absolute position that bounds every offset and count): reads the header and walks IFD0,
// and from it the Exif and GPS directories. Returns 0, or the code of a bad header (14).
int exif_read(bitmap_t* image, int64_t block_end);

// ---- TIFF ---------------------------------------------------------------------------------
// With the reader just after the tag of an entry of a TIFF page's directory: handles the
// tags 271 and 272 (Make, Model), 34665 (Exif directory) and 34853 (GPS directory) as the
// EXIF walk of IFD0 does. `base` is the TIFF header's position, `limit` the end of the
// data (0: the end of the file). Returns 0 or the entry's error code (gblerr set).
int exif_ifd0_tag(bitmap_t* image, int tag, int order, int64_t base, int64_t limit);

// ---- Start-up -----------------------------------------------------------------------------
// Registers class 49 with the object store (the bitmap hooks' EXIF slot).
void exif_register_class();

// The image viewer's information texts: the image-size reader that the filter and the
// start-up window sizing use, the short description of the status line, the texts of the
// "File information" window (file and image parts) and the F12 command that shows it.
//
// Texts are English or French by is_french(). The routines read the file's content as
// loaded (sb_image_size loads it when it is not loaded yet) and change nothing in it.
// Declarations of the routines shared with browsing are in sb_state.h; the helpers
// below are for the window and the tests.
#pragma once
#include <string>

#include "sorbinel/sb_state.h"

struct obj_t;

// Name of the raster kind of an image (decoder code, refined by the reader's pixel
// kind for JPEG and GIF), bilingual; "" for an unknown code.
const char* sb_raster_kind_name(const bitmap_t* bitmap);

// Object counts of a file's content (the content list, every object list in it and the
// sons of every object, each object counted once), by class.
struct sb_object_counts {
  int total = 0;
  int by_class[256] = {};
  int of(int cls) const { return cls >= 0 && cls < 256 ? by_class[cls] : 0; }
};
sb_object_counts sb_count_objects(fileatt_t* file);

// The about title of F12: name, version, date, web address and the memory in use.
std::string sb_about_title(double memory_bytes);
// The maker's web address shown in the About title.
inline constexpr const char* kSbWebAddress = "sorbinel.example.org";

// Shared between the files of the image loading dispatcher.
#pragma once
#include <string>

#include "raster/image_load.h"

// Nominal half-size (metres) of an image the loader places at its GPS position.
constexpr double kLoaderHalfSize = 1000.0;

// A second decode into an image that already has stores. The reader allocates fresh
// stores (alloc_bitmap would free the held ones, and the addresses of their lines with
// them); here the held stores are set aside, the reader decodes, every line it wrote is
// copied into the held store of the same geometry, and the fresh stores are freed. A
// reader that gives another size fails with 14 and the held lines stay as they were.
int image_decode_keeping_stores(bitmap_t* image, const image_decode_call& call);

// 1 when a command waits: the own hook, else the redraw pass's yield test.
bool image_yield_requested();
// Forgets the list of reopened files (a new object store: the old list went with the
// old store), or frees it (the end of a test, before the store is reset).
void image_reopened_reset();
void image_reopened_free();

// The trace-log line of a failed load: "Erreur chargement " or "Loading error ", the
// file name, " : " and the message of the result code.
void image_log_load_error(const std::string& name, int result);

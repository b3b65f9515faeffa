// The programs' window icons from their icon picture files (see raster_icon_load in
// image_load.h: PNG images found in the system folder, then the program folder).
#pragma once
#include "platform/gdi/surface.h"
#include "platform/ui/types.h"

// The icon file `name` (when missing, `fallback` when not null) scaled to size x size
// pixels (nearest pixel), opaque. false when it cannot be read; gblerr left as it was.
bool raster_icon_surface(const char* name, const char* fallback, int size, plat::Surface* out);
// Gives a top-level window its large (32 x 32) and small (16 x 16) icons from an icon
// file (see raster_icon_surface); false when the file cannot be read.
bool raster_window_icons(plat::Wnd wnd, const char* name, const char* fallback);

// The drawing layer: device contexts over 32-bit surfaces, with pens, brushes, fonts,
// regions and palettes as objects selected into them, and the drawing primitives the
// system uses. Numbers the system stores (pen styles, stock objects, background modes,
// text formats, raster operations, region combinations) keep their usual values.
//
// A device context draws into a surface at an origin (the window's client area inside
// its top-level surface, a back buffer, a printer page), clipped to the surface, to an
// optional region given when it is made, and to the clip region selected into it.
#pragma once
#include <cstdint>

#include "platform/gdi/geometry.h"
#include "platform/gdi/region.h"
#include "platform/gdi/surface.h"

namespace plat {

struct DcRec;
using Dc = DcRec*;
struct GdiObjRec;
using GdiObj = GdiObjRec*;  // pen, brush, font, bitmap, region or palette
using Pen = GdiObj;
using Brush = GdiObj;
using Font = GdiObj;
using Bitmap = GdiObj;
using Rgn = GdiObj;
using Palette = GdiObj;

// ---- Contexts --------------------------------------------------------------------------
// A context drawing into `surface` with device point (0,0) at `origin` of the surface,
// clipped to `clip` (in surface coordinates) when given. The window system makes window
// contexts this way; the caller keeps the surface alive until delete_dc.
Dc create_surface_dc(Surface* surface, Point origin, const Region* clip);
// A memory context (back buffer) with a 1x1 bitmap selected until another one is.
Dc create_compatible_dc(Dc like);
int delete_dc(Dc dc);
Surface* dc_surface(Dc dc);
Point dc_origin(Dc dc);

// ---- Objects ----------------------------------------------------------------------------
GdiObj select_object(Dc dc, GdiObj obj);  // returns the object it replaces
int delete_object(GdiObj obj);            // stock objects are never deleted

}  // namespace plat

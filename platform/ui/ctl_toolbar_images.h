// Internal to the controls that draw small pictures (toolbar, tree view, list view):
// drawing a picture with transparent pixels, the check boxes of state images, and the
// standard toolbar images.
//   ctl_toolbar_images.cpp     image lists and the drawing of pictures and check boxes
//   ctl_toolbar_stdimages.cpp  the standard images, drawn with plain shapes
#pragma once
#include "platform/gdi/gdi.h"
#include "platform/ui/ctl_toolbar.h"

namespace plat::ui_detail {

// Draws `pic` with its top-left corner at (x, y): pixels whose alpha byte is 0 are left
// out; with `grey` the others take the shadow colour (a disabled picture).
void draw_picture(Dc dc, int x, int y, const Surface& pic, bool grey);
// A check box in `r` for a state image: 1 an empty box, 2 a checked one, higher ones
// a box filled grey; 0 draws nothing.
void draw_state_box(Dc dc, const Rect& r, unsigned image);
// Adds a picture to an image list (cut or padded to the list's size); its index, or
// -1 for a handle that is not a list.
int image_list_add_picture(ImageList list, const Surface& pic);
// A standard image (STD_CUT .. STD_PRINT) `size` pixels square, transparent around
// its shapes; an empty picture for an unknown index.
Surface standard_image(int index, int size);

}  // namespace plat::ui_detail

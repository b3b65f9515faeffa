// Image lists: lists of equal-sized small pictures with transparent pixels, as the
// toolbar holds its button images and the tree view its icons and state images.
//
// A list keeps each image as its own small surface; a pixel whose alpha byte is 0 is
// transparent. Lists live in a table under a mutex: a handle is looked up before use,
// so a destroyed list only makes a call fail, and a list may be made or used on any
// thread.
//
// The internal part below also draws the check boxes that stand for state images 1
// (unchecked) and 2 (checked) when a list view or tree view has no state image list.
#pragma once
#include "platform/gdi/gdi.h"
#include "platform/ui/types.h"

namespace plat {

struct ImageListTag;
using ImageList = ImageListTag*;
constexpr Color CLR_NONE = 0xFFFFFFFFu;     // no mask colour: only alpha 0 is transparent
constexpr Color CLR_DEFAULT = 0xFF000000u;  // the top-left pixel's colour is transparent

ImageList image_list_create(int cx, int cy);  // null for sizes outside 1 .. 256
bool image_list_destroy(ImageList list);
int image_list_count(ImageList list);  // -1 for a handle that is not a list
Size image_list_image_size(ImageList list);
// Adds the bitmap cut left to right into images of the list's width (an image's
// lower and right parts left out of the bitmap stay transparent). Pixels of the mask
// colour and pixels whose alpha byte is 0 are transparent. Returns the first new
// index, -1 on failure.
int image_list_add_masked(ImageList list, Bitmap bmp, Color mask);
// Draws an image with its transparency, greyed when `grey` (a disabled look).
bool image_list_draw(ImageList list, int index, Dc dc, int x, int y, bool grey = false);
// A list made from a .bmp file (see load_bitmap_file in ctl_toolbar.h for what is
// read), images `cx` pixels wide and as high as the bitmap.
ImageList image_list_load_file(const char* path, int cx, Color mask);

}  // namespace plat

namespace plat::ui_detail {

// Adds a picture to an image list (cut or padded to the list's size); its index, or
// -1 for a handle that is not a list or a full list.
int image_list_add_picture(ImageList list, const Surface& pic);
// A check box in `r` for a state image: 1 an empty box, 2 a checked one, higher ones
// a box filled grey; 0 draws nothing.
void draw_state_box(Dc dc, const Rect& r, unsigned image);

}  // namespace plat::ui_detail

// Internal to the toolbar: the standard images (ctl_toolbar_stdimages.cpp), drawn with
// plain shapes and added to the toolbar's image list (image_list.h).
#pragma once
#include "platform/gdi/gdi.h"
#include "platform/ui/image_list.h"

namespace plat::ui_detail {

// A standard image (STD_CUT .. STD_PRINT) `size` pixels square, transparent around
// its shapes; an empty picture for an unknown index.
Surface standard_image(int index, int size);

}  // namespace plat::ui_detail

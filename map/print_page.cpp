// The printer page window: its size in printer dots from the printable area, the ratio,
// the orientation, the printed area's aspect and an image's nominal size.
#include <algorithm>
#include <cmath>

#include "map/print.h"

namespace {

// Smallest page side, in dots, worth printing.
constexpr int kMinPageDots = 5;

// The printable size in dots with the entry's settings.
bool printable_size(printer_entry_t* entry, double* width, double* height) {
  plat::Dc dc = plat::create_printer_dc(entry->name, entry->devmode);
  if (!dc) return false;
  *width = plat::printer_device_caps(dc, plat::HORZRES);
  *height = plat::printer_device_caps(dc, plat::VERTRES);
  plat::delete_dc(dc);
  return true;
}

// Automatic orientation turns the page when its aspect differs from the area's, unless
// the image's nominal size fits across the page's shorter side as it stands.
bool wants_landscape(const printer_entry_t* entry, double w, double h, double area_w,
                     double area_h, double nominal_w, double nominal_h) {
  if (entry->orientation == PRINT_LANDSCAPE) return true;
  if (entry->orientation != PRINT_AUTOMATIC) return false;
  const bool differ = (w < h && area_w > area_h) || (w > h && area_w < area_h);
  if (!differ) return false;
  if (nominal_w != 0 && entry->quality > 0 &&
      entry->quality * std::max(nominal_w, nominal_h) <= std::min(w, h))
    return false;
  return true;
}

}  // namespace

int print_page_create(mapwin_t** out, printer_entry_t* entry, double area_width,
                      double area_height, double nominal_width, double nominal_height) {
  if (out) *out = nullptr;
  if (!entry || !entry->devmode) return 1;
  // A view showing none of the data has no area to print.
  if (!std::isfinite(area_width) || !std::isfinite(area_height) || area_width <= 0 ||
      area_height <= 0)
    return 1;
  if (entry->quality < 0) nominal_width = nominal_height = 0;
  printer_apply_quality(entry);
  printer_set_landscape(entry, 0);
  double w = 0, h = 0;
  if (!printable_size(entry, &w, &h)) return 1;
  if (entry->ratio > 0 && entry->ratio < 100) {
    w = double(int(w) * entry->ratio / 100);
    h = double(int(h) * entry->ratio / 100);
  }
  if (w < kMinPageDots || h < kMinPageDots) return 1;
  if (wants_landscape(entry, w, h, area_width, area_height, nominal_width, nominal_height) &&
      printer_set_landscape(entry, 1))
    std::swap(w, h);
  const double aspect = area_width / area_height;
  if (aspect <= w / h)
    w = h * aspect;
  else
    h = w / aspect;
  if (nominal_width > 0 && entry->quality > 0) {
    w = std::min(w, entry->quality * nominal_width);
    h = std::min(h, entry->quality * nominal_height);
  }
  mapwin_t* page = nullptr;
  mapwin_new(&page, 0, 0, std::max(1, int(w)), std::max(1, int(h)), colour_word(255, 255, 255),
             32, 0);
  if (!page) return 1;
  page->dc = plat::create_printer_dc(entry->name, entry->devmode);
  if (!page->dc) {
    obj_t* o = page;
    free_obj(&o);
    return 1;
  }
  if (entry->page_depth > 0) page->depth = entry->page_depth;
  set_current_mapwin(page);
  if (out) *out = page;
  return 0;
}

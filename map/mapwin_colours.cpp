// The colours of a map window: the monochrome flag with the colour its images are
// shaded in, and the inverse-display flag. Colour words are red, green, blue and a
// fourth byte 1 meaning "set".
#include "map/mapwin.h"

namespace {
mapwin_t* or_current(mapwin_t* win) { return win ? win : get_current_mapwin(); }
}  // namespace

void mapwin_get_colours(mapwin_t* win, int* monochrome, uint32_t* colour) {
  win = or_current(win);
  if (monochrome) *monochrome = win ? win->monochrome : 0;
  if (colour) *colour = win ? win->mono_colour : 0;
}

void mapwin_set_colours(mapwin_t* win, int monochrome, uint32_t colour) {
  win = or_current(win);
  if (!win) return;
  win->monochrome = monochrome;
  win->mono_colour = colour;
}

void mapwin_set_background_mode(mapwin_t* win, int flag) {
  win = or_current(win);
  if (win) win->inverse = flag;
}

int mapwin_get_background_mode(mapwin_t* win) {
  win = or_current(win);
  return win ? win->inverse : 0;
}

uint32_t* make_rgb(int red, int green, int blue, uint32_t* out) {
  if (out) *out = colour_word(red, green, blue);
  return out;
}

// The host side of the MrSID plug-in (sid_host.cpp), beside sid_plugin_load of
// image_load.h: what tests and the benchmarks reach besides the binding.
#pragma once
#include <cstdint>

#include "raster/sid_plugin.h"

// Where the next binding looks for the plug-in (null: beside the running program), and
// a fresh binding attempt at the next sid_plugin_load (tests). A plug-in already loaded
// stays loaded.
void sid_plugin_set_path(const char* path);
// The plug-in's display export, called directly; -1 when the plug-in is not bound.
int sid_display_image(bitmap_t* image, sid_window* window, int grey, uint8_t* dest8,
                      uint32_t* dest32, int stride);

// The program-wide display settings: the colour and the size in points of six kinds of
// data. The GPS classes take their default colours from them and the default drawing
// styles their label sizes. They start with fixed values, are changed by the colours
// dialog and last until the program ends (the configuration file does not hold them).
//
// The load task (a worker thread) reads them while the user-interface thread may change
// them: every value is an atomic word.
#pragma once
#include <cstdint>

enum class display_kind : int { waypoints, tracklogs, routes, navigation, pois, lois };
constexpr int kDisplayKindCount = 6;

// Colour words: red, green, blue and a fourth byte 1 meaning "set".
uint32_t display_colour(display_kind kind);
void set_display_colour(display_kind kind, uint32_t colour);
int display_size(display_kind kind);
void set_display_size(display_kind kind, int size);
// Every setting back to its starting value.
void display_settings_reset();

// The kind whose settings a GPS class follows (waypoints 100, tracklogs 102, routes
// 104, track points 112, points of interest 106, line sets and lines 107 and 115);
// false for any other class.
bool display_kind_of_class(int cls, display_kind* kind);

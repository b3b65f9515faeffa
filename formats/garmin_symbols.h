// The table that turns a Garmin waypoint symbol number into the waypoint symbol of the
// system's GPS classes (the icon "wpt<n>.png"). PCX5 files, the Garmin record codecs and
// the receiver transfers all map their symbols through it.
#pragma once
#include <cstdint>

// The system symbol of a Garmin symbol number; 0 for every number without one
// (negative numbers included).
int garmin_symbol_to_icon(int32_t garmin_symbol);

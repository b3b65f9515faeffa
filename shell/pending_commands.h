// Routines that the frame's menu commands, keys and map window reach in parts of the
// program that are not in this build yet. Each carries the name its own part gives it,
// so that the frame routes to it now and the real routine replaces it later without a
// change in the frame; until then each one only tells the pending-call observer that
// it was reached (tests and the trace log use that) and does nothing more.

#pragma once
#include <cstdint>

#include "platform/ui/dialog.h"
#include "platform/ui/types.h"
// The navigation logs' switches are the GPS library's own.
#include "gps/nmea_log.h"

struct obj_t;

// ---- Observer -----------------------------------------------------------------------------
// Called by every pending routine with its name and its arguments as text (numbers in
// decimal, doubles with 16 significant digits, pointers as "null" or "obj"). Null: no
// observer.
using pending_call_observer = void (*)(const char* routine, const char* args);
void set_pending_call_observer(pending_call_observer fn);

// ---- GPS and navigation ----------------------------------------------------------------------
void navig_stop();
int navig_title_active();
void navig_track_folder(obj_t** out);

// What the live reader and the navigation display share besides gps/navig.h: the display
// lock and the hand-over of the fix and of the pending event.
#pragma once
#include <mutex>

#include "gps/nmea_parser.h"

// Held by the display step while it uses the handed-over fix and the current port, and
// by the reader while it clears the current port before freeing it.
std::mutex& navig_display_lock();
// The handed-over fix (null when none); the display step reads it under the lock.
nmea_fix* navig_take_handed();
// The display gives the fix back (under the lock).
void navig_give_back();
// The pending event (0 none), cleared by the read.
int navig_take_event();
// The reader makes its UDP socket forget the remembered sender before its next read.
void navig_request_forget_sender();

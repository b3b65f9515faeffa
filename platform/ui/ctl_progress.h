// The progress bar control ("msctls_progress32"): shows how far a position has come
// from the low to the high end of a range, as a row of blocks or, with PBS_SMOOTH, one
// smooth bar. It takes no input and tells the parent nothing.
//
// A new progress bar has the range 0 to 100, position 0 and step 10. The position is
// kept within the range; PBM_STEPIT past the high end starts again from the low end.
#pragma once
#include <cstdint>

#include "platform/gdi/surface.h"
#include "platform/ui/types.h"

namespace plat {

// Styles.
constexpr uint32_t PBS_SMOOTH = 0x0001;

// Messages.
constexpr uint32_t PBM_SETRANGE = 0x0401;    // lParam MAKELONG(low, high), 16 bits each unsigned;
                                             // returns the old range the same way
constexpr uint32_t PBM_SETPOS = 0x0402;      // wParam the position; returns the old one
constexpr uint32_t PBM_DELTAPOS = 0x0403;    // wParam added to the position; returns the old one
constexpr uint32_t PBM_SETSTEP = 0x0404;     // wParam the step; returns the old one
constexpr uint32_t PBM_STEPIT = 0x0405;      // adds the step; returns the old position
constexpr uint32_t PBM_SETRANGE32 = 0x0406;  // wParam low, lParam high (int)
constexpr uint32_t PBM_GETRANGE = 0x0407;    // wParam true: returns the low end, false: the high;
                                             // lParam PbRange* filled with both (may be null)
constexpr uint32_t PBM_GETPOS = 0x0408;
constexpr uint32_t PBM_SETBARCOLOR = 0x0409;  // lParam a colour (kDefaultBarColor: the
                                              // highlight colour); returns the old one

// The usual "default colour" value (0xFF000000).
constexpr Color kDefaultBarColor = 0xFF000000u;

struct PbRange {
  int low = 0;
  int high = 0;
};

}  // namespace plat

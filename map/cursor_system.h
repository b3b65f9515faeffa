// The cursor coordinate system of a map window's pane and the compatibility of a
// system with a graph space.
//
// The pane's georef (pane_t::georef) is the system in which the cursor coordinate
// window shows the mouse position. Its transfo is a chain (kind 6) from the display
// system (the graph space's georef) to the cursor system: the display georef's own
// unit step first when it has one, then the conversion steps, then a unit step from
// the datum's (projection's) unit to the cursor unit, which the chain owns. The first
// step belongs to the display georef, so whoever changes the display system makes the
// chain again (cursor_set_transform).
//
// Nothing here shows anything: the dialogs that choose the systems are the shell's.
#pragma once
#include "geodesy/xform_records.h"
#include "map/view_records.h"

struct graphspace_t;

// Makes the pane's cursor system follow a display system. Nothing happens unless the
// window, its pane, the pane's georef and a display georef with a system are given. A
// cursor georef without system (refertype 0) becomes a copy of the display georef with
// an empty chain. Otherwise the chain is made anew: systems that cannot be converted
// set gblerr 13 (the cursor georef is then left without chain); a cursor georef
// without datum (geographic) or projection (projected) sets gblerr 13 at the unit step.
void cursor_set_transform(mapwin_t* win, const georef_t* display);

// Frees the cursor georef's chain (and a unit step it may hold) and clears its
// transfo; the georef itself stays. The pane calls it before freeing its georef.
void cursor_georef_release_chain(georef_t* cursor);

// Whether a georef fits a graph space (null: the current one). *result: 0 when the
// georef is missing or has no system; 1 when it is usable (also when the space has no
// system yet); -1 when it is convertible but, the space showing data (a layer with
// objects) and check_layers set, differs from the space's system (refertype, datum or projection; the unit is
// not compared), so that using it means changing the display system. Systems that
// cannot be converted give 0. Returns *result.
int system_compat_check(graphspace_t* gs, const georef_t* georef, int check_layers, int* result);

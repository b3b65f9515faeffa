// What the GPX writer's two files share (gpx_write.cpp, gpx_write_points.cpp).
#pragma once
#include <cstdio>

#include "core/obj_list.h"

struct folder_t;
struct georef_t;
struct xform_chain_t;

// The creator attribute: the program's name and version, and its web address.
inline constexpr const char* kGpxCreator = "Tarmelo v5.0.0 - http://www.tarmelo.net";

// The first georeference of the folder's list, or null.
georef_t* gpx_folder_georef(const folder_t* folder);
// A point's x and y carried through the chain (null: as they are).
void gpx_geographic(xform_chain_t* chain, const obj_t* point, double* x, double* y);
// The waypoints (those that are no route's points), routes, tracklogs and navigation
// segments of a folder's list, in that order.
void gpx_write_folder_objects(FILE* out, xform_chain_t* chain, const container_t* list);

// The track point filter: after a GPS file has been loaded, every timed track segment
// of enough points is cleaned of the points that imply an implausible speed.
//
// Three passes measure speeds from a moving reference point, which starts at the
// segment's earliest point: the first fixes a limit at twice the mean speed (at most
// 300), the second a limit at 3.1 times the mean of the speeds under the first (at least
// 120), the third keeps the points reached under the second limit. The filtered list
// (the earliest point, then the points the third pass kept) replaces the segment's
// points only when the third pass kept at least a quarter of them. Dropped
// points are not freed: they stay objects of the data set, out of the segment's list.
#pragma once
#include "core/obj_list.h"

struct georef_t;
struct trackseg_t;

// Filters every track segment (class 105) of the list, with speeds measured in the first
// georeference (class 46) of the list.
void track_filter_segments(container_t* objects);
// Filters one segment with speeds measured in `georef`; 1 when its point list was
// replaced, 0 when it was left alone.
int track_filter_segment(trackseg_t* segment, const georef_t* georef);

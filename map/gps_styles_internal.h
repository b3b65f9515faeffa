// Shared between the default styles and the merge of tracklogs: the per-folder form of
// the default track styles, which the merge applies to the folder it fills.
#pragma once

struct folder_t;
struct trackseg_t;
struct container_t;
struct obj_t;

// The default track styles of one folder (see file_default_track_styles); 0, or -1 with
// gblerr set.
int folder_default_track_styles(folder_t* folder, int with_labels, double scale);
// The style of one track segment, made in `list`, drawn in the colour and thickness of
// the points' tracklog; null when it could not be made.
obj_t* track_segment_style(container_t* list, trackseg_t* segment, double scale);

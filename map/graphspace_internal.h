// Shared by the files of the graph-space module (not part of its interface).
#pragma once
#include "map/graphspace.h"

// The given graph space, or the current one when null.
graphspace_t* graphspace_or_current(graphspace_t* gs);
// A new layer for a folder, inserted into the graph space's layers by the folder's
// `layer` value (priority), with its objects, folder, back pointer and movobj flag.
layer_t* layer_insert_new(graphspace_t* gs, obj_t* folder);
// Calls f(layer) for each layer of the space, in list order (the caller holds the
// graph-space lock); the count is taken once, before the first call.
template <class F> void for_each_layer(graphspace_t* gs, F&& f) {
  const int n = obj_list_count(gs->layers);
  for (int i = 0; i < n; ++i) {
    layer_t* layer = nullptr;
    obj_list_get(gs->layers, i, &layer);
    if (layer) f(layer);
  }
}
// The extent of the space after one of its layers changed from `before` to `after`
// (graphspace_compute_extent's result): the kept union of the layers grown by `after`
// when that holds `before` and the union is not stale, else the walk over every layer.
void graphspace_grow_extent(graphspace_t* gs, extent_t before, extent_t after, extent_t* out);
// Recomputes the domain of the graph space's georef.
void graphspace_update_domain(graphspace_t* gs);
// Removes a layer from its graph space's layers and frees it (a set error code is put
// aside while it is freed, so that the layer never stays behind).
void layer_remove_and_free(layer_t* layer);

// "Merge tracklogs": the track points of several lists become one track, ordered by time.
//
// The points are moved (not copied) into a new list that holds a georef and one
// tracklog; a sorted index on the points' date-time gives their order, and the one
// segment of the tracklog takes them in that order, so that the merged track is drawn
// as one line from the earliest point to the latest. Points of a list whose georef
// differs from the new list's are converted into it on the way, so that the merged
// coordinates are all in one system. The source lists then lose what described their
// tracks (tracklogs, segments and the styles of track points), which are freed; the
// source lists and the layers showing them are the caller's to refresh.
#include <algorithm>
#include <vector>

#include "core/error.h"
#include "core/index.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/gps_styles_internal.h"

namespace {

georef_t* first_georef(const container_t* list) {
  obj_t* g = nullptr;
  obj_list_first_of_class(list, CLS_GEOREF, &g);
  return static_cast<georef_t*>(g);
}

// The georef of the merged list: a copy of the first one met from the last list to the
// first (its points come first), else the default georef.
georef_t* merged_georef(container_t* list, int n, container_t* const* lists) {
  georef_t* model = nullptr;
  for (int i = n - 1; i >= 0 && !model; --i) model = first_georef(lists[i]);
  georef_t* g = nullptr;
  if (!model) return georef_create(list, &g);
  obj_new_registered(CLS_GEOREF, &g);
  if (!g || get_gblerr()) return g;
  obj_copy(model, g);
  id_list_insert(list, g);
  return g;
}

void free_chain(xform_chain_t* chain) {
  if (!chain) return;
  obj_t* c = chain;
  free_obj(&c);
}

// Moves the track points of one source list into the new list and the time index,
// converting them when the source's georef differs from the target's.
void move_points(container_t* source, const georef_t* target, container_t* list,
                 container_t* by_time) {
  const georef_t* from = first_georef(source);
  xform_chain_t* chain = nullptr;
  if (from && georef_differs(target, from)) georef_link_chain(target, from, &chain);
  const int n = obj_list_count(source);
  for (int i = 0; i < n && !get_gblerr(); ++i) {
    obj_t* p = source->elems[i];
    if (!p || p->cls != CLS_GPSPOS) continue;
    if (chain) gpsobj_project_point(chain, p);
    id_list_insert(list, p);
    index_insert(by_time, p);
  }
  obj_list_remove_type(source, CLS_GPSPOS);
  free_chain(chain);
}

bool describes_track(const obj_t* o) {
  if (o->cls == CLS_TRACKLOG || o->cls == CLS_TRACKSEG) return true;
  return o->cls == CLS_DSEGPOINT &&
         static_cast<const drawstyle_t*>(o)->typesrc == CLS_GPSPOS;
}

// Takes the tracklogs, segments and track point styles out of the source lists and frees
// each once (a list may appear twice among the sources).
void drop_track_descriptions(int n, container_t* const* lists, const container_t* merged) {
  std::vector<obj_t*> doomed;
  for (int i = 0; i < n; ++i) {
    container_t* l = lists[i];
    if (!l || l == merged) continue;
    int kept = 0;
    for (int k = 0; k < obj_list_count(l); ++k) {
      obj_t* o = l->elems[k];
      if (o && describes_track(o))
        doomed.push_back(o);
      else
        l->elems[kept++] = o;
    }
    obj_list_set_count(l, kept);
  }
  std::sort(doomed.begin(), doomed.end());
  doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
  for (obj_t* o : doomed) free_obj(&o);
}

}  // namespace

container_t* gpsobj_build_gpspos_list(obj_t* folder, int n, container_t* const* lists,
                                      container_t** out, double scale) {
  if (out) *out = nullptr;
  if (n < 0 || (n > 0 && !lists)) {
    set_gblerr(ERR_PARAMETERS);
    return nullptr;
  }
  container_t* list = nullptr;
  obj_list_new(&list);
  if (!list || get_gblerr()) return nullptr;
  if (out) *out = list;
  georef_t* georef = merged_georef(list, n, lists);
  tracklog_t* track = nullptr;
  tracklog_create(list, &track);
  container_t* by_time = nullptr;
  index_create(CLS_GPSPOS, AT_DATETIME, int(offsetof(gpspos_t, time)), &by_time);
  if (!georef || !track || !by_time || get_gblerr()) return list;

  for (int i = n - 1; i >= 0 && !get_gblerr(); --i)
    if (lists[i] && lists[i] != list) move_points(lists[i], georef, list, by_time);

  trackseg_t* segment = nullptr;
  trackseg_create(track, list, &segment);
  if (segment && !get_gblerr()) {
    const int count = obj_list_count(by_time);
    for (int i = 0; i < count; ++i) {
      auto* p = static_cast<gpspos_t*>(by_time->elems[i]);
      obj_list_append(segment->sons, p);
      p->father = track;
    }
  }
  free_obj(&by_time);
  if (get_gblerr()) return list;

  // The old descriptions go before the new styles are made: the folder's list may be
  // one of the sources.
  drop_track_descriptions(n, lists, list);
  if (folder_t* d = folder_of(folder)) {
    if (!d->sot) d->sot = list;
    if (d->sot == list)
      folder_default_track_styles(d, 0, scale);
    else if (segment)
      track_segment_style(d->sot, segment, scale);
  }
  return list;
}

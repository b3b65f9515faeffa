// The resampler: points inserted into the gaps of a read track, so that a replay sends a
// position at least every five seconds or so where the log was sparse.
//
// For two consecutive points p and c (c not the first of a recorded run) whose times are
// more than 2 s apart, gap = c.time - p.time - 1 s; on the grid step = 1 s, 5.99 s,
// 10.98 s ... below the gap, a = step / gap places a point at distance
// d = a c.distance + (1 - a) p.distance when d lies at least 5 m beyond the last point
// placed; its position, heights, speed and time are interpolated the same way and its
// sentences are synthesised. Points of the log keep their own sentences.
//
// The grid is walked in O(points placed): where d stays short of the next 5 m the walk
// jumps to the first grid step that reaches it, so a long gap over a short distance
// costs nothing, and the points placed are watched against the memory budget.
#include <cmath>
#include <cstring>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"

namespace {

constexpr int kInsertedBetweenLooks = 4096;
constexpr double kInsertRoom = 16.0 * 1024 * 1024;

struct resampler {
  container_t* list = nullptr;
  container_t* segment_points = nullptr;
  int64_t made = 0;
};

// One inserted point at fraction a of the way from p to c.
void insert_point(resampler* r, const replay_point* p, const replay_point* c, double a,
                  double distance) {
  const double b = 1.0 - a;
  replay_point* q = nullptr;
  qx_replay_point_new(&q);
  if (!q) return;
  q->latitude = b * p->latitude + a * c->latitude;
  q->longitude = b * p->longitude + a * c->longitude;
  q->separation = float(b * double(p->separation) + a * double(c->separation));
  q->altitude = b * p->altitude + a * c->altitude;
  q->height = q->altitude - double(q->separation);
  q->speed = std::trunc((b * p->speed + a * c->speed) * 100.0) * 0.01;
  q->time = b * p->time + a * c->time;
  q->distance = distance;
  q->inserted = 1;
  date_rec when;
  std::memcpy(&when, &p->date_time, sizeof when);
  date_add_days(&when, q->time - p->time);
  std::memcpy(&q->date_time, &when, sizeof when);
  qx_make_position_sentences(q);
  // New ids are the highest: the id-ordered list takes them at its end.
  const int n = obj_list_count(r->list);
  if (n > 0 && r->list->elems[n - 1]->id < q->id)
    obj_list_append(r->list, q);
  else
    id_list_insert(r->list, q);
  if (r->segment_points) obj_list_append(r->segment_points, q);
  if (++r->made % kInsertedBetweenLooks == 0 && compute_mem_budget() < kInsertRoom)
    set_gblerr(ERR_MEMORY);
}

void fill_gap(resampler* r, const replay_point* p, const replay_point* c) {
  const double gap = c->time - p->time - kQxSecond;
  if (!(kQxSecond + kQxResampleSlack < gap) || !std::isfinite(gap)) return;
  const double from = p->distance, to = c->distance;
  if (!std::isfinite(from) || !std::isfinite(to)) return;
  double last = from;
  double step = kQxSecond;
  // A step that lands on the gap would place a copy of c at c's own place (a = 1): fixes
  // 2 s apart, or a gap of 1 s plus a whole number of grid steps.
  while (step + kQxResampleSlack < gap && get_gblerr() == 0) {
    const double a = step / gap;
    const double d = a * to + (1.0 - a) * from;
    if (last + kQxResampleMinDistance <= d) {
      insert_point(r, p, c, a, d);
      last = d;
    } else if (to > from) {
      // The first step whose distance reaches last + 5 m: jump there when it lies more
      // than one step ahead.
      const double need = (last + kQxResampleMinDistance - from) / (to - from) * gap;
      if (!(need + kQxResampleSlack < gap)) break;
      const double skip = std::floor((need - step) / kQxResampleStep);
      if (skip > 1) step += (skip - 1) * kQxResampleStep;
    } else {
      break;
    }
    step += kQxResampleStep;
  }
}

}  // namespace

void qx_resample_track(obj_t* document) {
  fileatt_t* f = file_of(document);
  if (!f || !f->sot) return;
  container_t* list = f->sot;
  obj_list_remove_class(list, CLS_REPLAY_POINT);
  trackseg_t* segment = nullptr;
  for (int i = 0; i < obj_list_count(list) && !segment; ++i)
    if (list->elems[i] && list->elems[i]->cls == CLS_TRACKSEG)
      segment = static_cast<trackseg_t*>(list->elems[i]);
  if (!segment) return;
  std::vector<replay_point*> points;
  for (int i = 0; i < obj_list_count(segment->sons); ++i) {
    obj_t* o = segment->sons->elems[i];
    if (!o || o->cls != CLS_REPLAY_POINT) continue;
    points.push_back(static_cast<replay_point*>(o));
    id_list_insert(list, o);
  }
  if (points.empty()) return;
  // Time order (ties by id), as the time index of the replay sees them.
  container_t* index = nullptr;
  index_create_over(list, CLS_REPLAY_POINT, AT_DOUBLE, int(offsetof(replay_point, time)), &index);
  std::vector<replay_point*> ordered;
  for (int i = 0; i < obj_list_count(index); ++i)
    ordered.push_back(static_cast<replay_point*>(index->elems[i]));
  free_obj(&index);
  set_gblerr(0);
  if (ordered.size() != points.size()) ordered = points;
  resampler r;
  r.list = list;
  r.segment_points = segment->sons;
  for (size_t i = 1; i < ordered.size() && get_gblerr() == 0; ++i)
    if (ordered[i]->marker == QX_MARKER_NONE) fill_gap(&r, ordered[i - 1], ordered[i]);
}

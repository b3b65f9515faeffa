// The track point filter (see track_filter.h).
//
// The earliest point E is the reference every pass starts from, and it is also the
// first point of the filtered list: the passes measure the speeds of the other points,
// and a segment must not lose its own starting point to the cleaning.
#include "map/track_filter.h"

#include <algorithm>
#include <vector>

#include "core/error.h"
#include "geodesy/xform_records.h"
#include "map/gps_classes.h"

namespace {

constexpr int kMinPoints = 10;
constexpr double kFirstLimitCap = 300.0;
constexpr double kSecondLimitFloor = 120.0;

// Index of the point with the earliest date (the first of equal ones), 0 when none.
int earliest_point(const container_t* points) {
  int best = -1;
  date_rec best_time{};
  const int n = obj_list_count(points);
  for (int i = 0; i < n; ++i) {
    date_rec t;
    if (!gpsobj_point_time(points->elems[i], &t) || t.date == 0.0) continue;
    if (best < 0 || t.date < best_time.date) {
      best = i;
      best_time = t;
    }
  }
  return best < 0 ? 0 : best;
}

// One pass from E: the points whose speed from the last kept point is valid and below
// the limit (no limit when limit < 0). Returns the number kept and their sum of speeds.
// Every point but E is visited in list order: when E is first that is points 1 to n-1,
// and when it is not, the point that stands first is still measured.
int run_pass(const gps_speed_frame& frame, const container_t* points, int e_index, double limit,
             double* sum, std::vector<obj_t*>* kept) {
  const int n = obj_list_count(points);
  obj_t* prev = points->elems[e_index];
  int k = 0;
  *sum = 0.0;
  for (int i = 0; i < n; ++i) {
    if (i == e_index) continue;
    obj_t* p = points->elems[i];
    double s = 0.0;
    if (frame.speed(prev, p, &s) == -1) continue;
    if (limit >= 0.0 && !(s < limit)) continue;
    *sum += s;
    prev = p;
    ++k;
    if (kept) kept->push_back(p);
  }
  return k;
}

}  // namespace

int track_filter_segment(trackseg_t* segment, const georef_t* georef) {
  if (!segment) return 0;
  container_t* points = segment->sons;
  const int n = obj_list_count(points);
  if (n < kMinPoints || !track_has_times(points)) return 0;
  const int e_index = earliest_point(points);
  obj_t* e = points->elems[e_index];
  const gps_speed_frame frame(georef);
  double sum = 0.0;
  int k = run_pass(frame, points, e_index, -1.0, &sum, nullptr);
  if (k < 2) return 0;
  const double l1 = std::min(sum / (k * 0.5), kFirstLimitCap);
  k = run_pass(frame, points, e_index, l1, &sum, nullptr);
  if (k < kMinPoints) return 0;
  const double l2 = std::max(sum * 3.1 / k, kSecondLimitFloor);
  std::vector<obj_t*> result{e};
  // The quarter counts the points the last pass reached: E heads the list but was
  // never measured.
  if (run_pass(frame, points, e_index, l2, &sum, &result) < n / 4) return 0;
  obj_list_set_count(points, 0);
  for (obj_t* p : result) obj_list_append(points, p);
  return 1;
}

void track_filter_segments(container_t* objects) {
  obj_t* g = nullptr;
  obj_list_first_of_class(objects, CLS_GEOREF, &g);
  const georef_t* georef = static_cast<const georef_t*>(g);
  const int n = obj_list_count(objects);
  for (int i = 0; i < n && !get_gblerr(); ++i) {
    obj_t* o = objects->elems[i];
    if (o && o->cls == CLS_TRACKSEG) track_filter_segment(static_cast<trackseg_t*>(o), georef);
  }
}

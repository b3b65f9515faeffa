// Projection speed: WGS 84 longitudes and latitudes projected to Lambert-93 and to UTM
// zone 31 north by the projection alone (no datum change), one point at a time through
// proj_forward as a re-projected layer's vertices are.
//
// Figures guarded (Release, one core), as points per second (items_per_second):
//   Projection/lambert93, Projection/utm31n - 1,000,000 points spread over France (and the
//                          zone) per run; target: at least 10,000,000 points per second.
//   Projection/utm31n_run - the zone's points as one run (proj_forward_points), the form
//                          the comparison table sets against an array transform.
//   Projection/lambert93_inverse, Projection/utm31n_inverse - the way back, not a target:
//                          the inverse formulas iterate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/error.h"
#include "core/object.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"

namespace {

constexpr int kPoints = 1000000;

struct lcg {
  uint32_t state;
  double next() {  // in [0, 1)
    state = state * 1103515245u + 12345u;
    return (state >> 8) / 16777216.0;
  }
};

struct systems {
  cartproj_t* lambert93 = nullptr;
  cartproj_t* utm31n = nullptr;
};

// The geodetic classes on a fresh store, with the two systems built from their table
// parameters (RGF93 is on the same ellipsoid as WGS 84 up to 0.1 mm of b).
const systems& get_systems() {
  static systems s = [] {
    systems r;
    obj_store_init();
    obj_register_core_classes();
    geo_register_classes();
    pmeridian_t* greenwich = nullptr;
    pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &greenwich);
    ellipsoid_t* ell = nullptr;
    ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, LEN_METRE, 34, &ell);
    geodatum_t* wgs84 = nullptr;
    geodatum_create("WGS 84", ell, ANG_DEGREE, greenwich, nullptr, kRefDatumCode, &wgs84);
    const double l93[8] = {3.0, 46.5, 1.0, 700000.0, 6600000.0, 49.0, 44.0, 0.0};
    proj_create("Lambert-93", PK_LCC2, l93, LEN_METRE, ANG_DEGREE, wgs84, 2154, &r.lambert93);
    const double utm[8] = {3.0, 0.0, 0.9996, 500000.0, 0.0, 0.0, 0.0, 0.0};
    proj_create("UTM zone 31N", PK_TM, utm, LEN_METRE, ANG_DEGREE, wgs84, 32631, &r.utm31n);
    return r;
  }();
  return s;
}

std::vector<double> points(double lon0, double lon1, double lat0, double lat1) {
  std::vector<double> v(2 * size_t(kPoints));
  lcg rng{7};
  for (int i = 0; i < kPoints; ++i) {
    v[2 * i] = lon0 + (lon1 - lon0) * rng.next();
    v[2 * i + 1] = lat0 + (lat1 - lat0) * rng.next();
  }
  return v;
}

void run(benchmark::State& state, const cartproj_t* proj, const std::vector<double>& in,
         bool inverse) {
  std::vector<double> out(in.size());
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) {
      double x = in[2 * i], y = in[2 * i + 1];
      if (inverse)
        proj_inverse(proj, &x, &y);
      else
        proj_forward(proj, &x, &y);
      out[2 * i] = x;
      out[2 * i + 1] = y;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kPoints);
}

// The same points carried as one run (proj_forward_points), as a layer's vertices or an
// array of coordinates are: the yardstick's arrays go through in one call too.
void run_points(benchmark::State& state, const cartproj_t* proj, const std::vector<double>& in) {
  std::vector<double> out(in.size());
  for (auto _ : state) {
    std::copy(in.begin(), in.end(), out.begin());
    proj_forward_points(proj, &out[0], &out[1], kPoints, 2);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kPoints);
}

std::vector<double> projected(const cartproj_t* proj, std::vector<double> in) {
  for (int i = 0; i < kPoints; ++i) proj_forward(proj, &in[2 * i], &in[2 * i + 1]);
  return in;
}

const std::vector<double>& france() {
  static const std::vector<double> v = points(-5.0, 9.5, 41.0, 51.5);
  return v;
}
const std::vector<double>& zone31() {
  static const std::vector<double> v = points(0.0, 6.0, 0.0, 84.0);
  return v;
}

void lambert93(benchmark::State& state) { run(state, get_systems().lambert93, france(), false); }
void utm31n(benchmark::State& state) { run(state, get_systems().utm31n, zone31(), false); }
void utm31n_run(benchmark::State& state) { run_points(state, get_systems().utm31n, zone31()); }
void lambert93_inverse(benchmark::State& state) {
  static const std::vector<double> grid = projected(get_systems().lambert93, france());
  run(state, get_systems().lambert93, grid, true);
}
void utm31n_inverse(benchmark::State& state) {
  static const std::vector<double> grid = projected(get_systems().utm31n, zone31());
  run(state, get_systems().utm31n, grid, true);
}

}  // namespace

BENCHMARK(lambert93)->Name("Projection/lambert93")->Unit(benchmark::kMillisecond);
BENCHMARK(utm31n)->Name("Projection/utm31n")->Unit(benchmark::kMillisecond);
BENCHMARK(utm31n_run)->Name("Projection/utm31n_run")->Unit(benchmark::kMillisecond);
BENCHMARK(lambert93_inverse)->Name("Projection/lambert93_inverse")->Unit(benchmark::kMillisecond);
BENCHMARK(utm31n_inverse)->Name("Projection/utm31n_inverse")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

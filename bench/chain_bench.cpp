// Conversion chain speed: 1,000,000 points of WGS 84 geographic coordinates (degrees)
// carried to a projected system on another datum joined by a seven-parameter shift, as
// a layer is carried into a view at every redraw.
//
// Figures guarded (Release, one core):
//   ChainToLambert93/1000000 - points per second from WGS 84 to the Lambert-93 grid on
//                              a datum with a seven-parameter shift (geodetic to
//                              geocentric, shift, geocentric to geodetic, Lambert conic);
//                              target at least 3,000,000 per second.
//   ChainToUtm31/1000000     - the same to UTM zone 31 north on that datum (Transverse
//                              Mercator); target at least 3,000,000 per second.
//   ChainZeroShiftToLambert93/1000000 - WGS 84 to the Lambert-93 grid on RGF93, whose
//                              shift to WGS 84 is zero on an ellipsoid within 1 mm of WGS
//                              84's: the chain is the projection alone, so the figure is
//                              that of Projection/lambert93 (projection_bench).
//
// The systems are made with the creators of the tables (no file is read): the GRS 80
// ellipsoid, a datum on it with the seven parameters of a national shift, and its two
// projections. The points cover France on a regular grid, in a fixed pseudo-random order.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/error.h"
#include "core/object.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"

namespace {

struct systems {
  georef_t* wgs84 = nullptr;
  georef_t* lambert93 = nullptr;
  georef_t* utm31 = nullptr;
  georef_t* rgf93_lambert93 = nullptr;
};

georef_t* projected(cartproj_t* p) {
  georef_t* g = nullptr;
  georef_create(nullptr, &g);
  g->refertype = GEOREF_PROJECTED;
  g->projection = p;
  g->datum = p->datum;
  g->unit = p->unit;
  return g;
}

const systems& make_systems() {
  static systems s;
  if (s.wgs84) return s;
  obj_store_init();
  obj_register_core_classes();
  geo_register_classes();
  ellipsoid_t *wgs = nullptr, *grs = nullptr;
  ellipsoid_create("WGS 84", 6378137.0, 298.257223563, 0.0, LEN_METRE, 34, &wgs);
  ellipsoid_create("GRS 1980", 6378137.0, 298.257222101, 0.0, LEN_METRE, 7019, &grs);
  pmeridian_t* greenwich = nullptr;
  pmeridian_create("Greenwich", 0.0, ANG_DEGREE, 1, &greenwich);
  geodatum_t *ref = nullptr, *local = nullptr;
  geodatum_create("WGS 84", wgs, ANG_DEGREE, greenwich, nullptr, kRefDatumCode, &ref);
  geodatum_create("Local seven", grs, ANG_DEGREE, greenwich, nullptr, 1000, &local);
  const double seven[10] = {-168.0, -60.0, 320.0, 0.15, 0.247, 0.842, -20.489e-6};
  geocentric_t* t = nullptr;
  datumtrans_create(local, ref, DT_FILE_SEVEN, seven, LEN_METRE, ANG_SECOND, 0, 2, 1000, &t);
  geodatum_t* rgf93 = nullptr;
  geodatum_create("RGF93 v1", grs, ANG_DEGREE, greenwich, nullptr, 6171, &rgf93);
  const double zero[10] = {};
  datumtrans_create(rgf93, ref, DT_FILE_THREE, zero, LEN_METRE, ANG_SECOND, 0, 1, 1671, &t);
  geo_init_ref_datum();
  const double l93[8] = {3.0, 46.5, 1.0, 700000.0, 6600000.0, 49.0, 44.0, 0.0};
  cartproj_t *lcc = nullptr, *utm = nullptr;
  proj_create("Local / Lambert-93", 8, l93, LEN_METRE, ANG_DEGREE, local, 2154, &lcc);
  crs_name_utm(local, 31, 0, &utm);
  cartproj_t* l93_rgf = nullptr;
  proj_create("RGF93 v1 / Lambert-93", 8, l93, LEN_METRE, ANG_DEGREE, rgf93, 2155, &l93_rgf);
  georef_create(nullptr, &s.wgs84);
  s.lambert93 = projected(lcc);
  s.utm31 = projected(utm);
  s.rgf93_lambert93 = projected(l93_rgf);
  return s;
}

// Longitude, latitude pairs over France (about -5 to 9.5 E, 41 to 51.5 N).
const std::vector<double>& points(int n) {
  static std::vector<double> xy;
  if (int(xy.size()) == 2 * n) return xy;
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> lon(-5.0, 9.5), lat(41.0, 51.5);
  xy.resize(size_t(2 * n));
  for (int i = 0; i < n; ++i) {
    xy[size_t(2 * i)] = lon(rng);
    xy[size_t(2 * i + 1)] = lat(rng);
  }
  return xy;
}

void run_chain(benchmark::State& state, georef_t* target) {
  const systems& s = make_systems();
  const int n = int(state.range(0));
  const std::vector<double>& in = points(n);
  std::vector<double> out(in.size());
  xform_chain_t* chain = nullptr;
  georef_link_chain(target, s.wgs84, &chain);
  if (!chain || get_gblerr()) {
    state.SkipWithError("no chain");
    return;
  }
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) {
      double x = in[size_t(2 * i)], y = in[size_t(2 * i + 1)], z = 0.0;
      xform_chain_forward(chain, &x, &y, &z);
      out[size_t(2 * i)] = x;
      out[size_t(2 * i + 1)] = y;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.counters["points_per_second"] =
      benchmark::Counter(double(n), benchmark::Counter::kIsIterationInvariantRate);
  free_obj(&chain);
}

void ChainToLambert93(benchmark::State& state) { run_chain(state, make_systems().lambert93); }
void ChainToUtm31(benchmark::State& state) { run_chain(state, make_systems().utm31); }
void ChainZeroShiftToLambert93(benchmark::State& state) {
  run_chain(state, make_systems().rgf93_lambert93);
}

}  // namespace

BENCHMARK(ChainToLambert93)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(ChainToUtm31)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(ChainZeroShiftToLambert93)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

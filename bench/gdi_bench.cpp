// Drawing speed on a full-HD window surface (1920x1080), as the map redraw uses it.
//
// Figures guarded (Release, one core):
//   PolylineSegments/1000000  - milliseconds to draw 1,000,000 short segments (3 to 12
//                               pixels, a random walk over the surface) as polylines of
//                               500 points, one pixel wide; target under 150 ms.
//   PolylineSegmentsWide/1000000 - the same with a pen 3 pixels wide: not a target, it
//                               shows the cost of round joins and ends.
//   TextDraws/100000          - milliseconds for 100,000 text_out calls of 10
//                               characters at 13-pixel "Arial" in transparent mode,
//                               spread over the surface; target under 500 ms.
//   PointSymbols/10000        - milliseconds for 10,000 filled circles 9 pixels across
//                               with a thin outline, as the map draws point symbols: not
//                               a target, it guards the cost of one small ellipse call.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kChunk = 500;

// A random walk of short steps that stays on the surface.
std::vector<plat::Point> walk(size_t segments) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> step(-12, 12);
  std::vector<plat::Point> pts;
  pts.reserve(segments + 1);
  plat::Point p{kWidth / 2, kHeight / 2};
  pts.push_back(p);
  while (pts.size() < segments + 1) {
    int dx = step(rng), dy = step(rng);
    if (std::abs(dx) < 3 && std::abs(dy) < 3) continue;
    p.x = std::clamp(p.x + dx, 0, kWidth - 1);
    p.y = std::clamp(p.y + dy, 0, kHeight - 1);
    pts.push_back(p);
  }
  return pts;
}

void draw_polylines(benchmark::State& state, int width) {
  size_t segments = size_t(state.range(0));
  std::vector<plat::Point> pts = walk(segments);
  plat::Surface surface(kWidth, kHeight);
  plat::Dc dc = plat::create_surface_dc(&surface, plat::Point{}, nullptr);
  plat::Pen pen = plat::create_pen(plat::PS_SOLID, width, plat::rgb(200, 30, 30));
  plat::GdiObj old = plat::select_object(dc, pen);
  for (auto _ : state) {
    // Chunks share their end points, as the map's polyline drawing sends them.
    for (size_t at = 0; at + 1 < pts.size(); at += kChunk - 1) {
      size_t n = std::min(size_t(kChunk), pts.size() - at);
      plat::polyline(dc, pts.data() + at, int(n));
    }
    benchmark::DoNotOptimize(surface.pixels.data());
  }
  state.counters["segments/s"] = benchmark::Counter(double(segments), benchmark::Counter::kIsIterationInvariantRate);
  plat::select_object(dc, old);
  plat::delete_object(pen);
  plat::delete_dc(dc);
}

void PolylineSegments(benchmark::State& state) { draw_polylines(state, 1); }
void PolylineSegmentsWide(benchmark::State& state) { draw_polylines(state, 3); }

void TextDraws(benchmark::State& state) {
  int draws = int(state.range(0));
  plat::Surface surface(kWidth, kHeight);
  plat::Dc dc = plat::create_surface_dc(&surface, plat::Point{}, nullptr);
  plat::Font font = plat::create_font(-13, 0, 0, 0, plat::FW_NORMAL, 0, 0, 0, 0, 0, 0, 2, 0, "Arial");
  plat::GdiObj old = plat::select_object(dc, font);
  plat::set_bk_mode(dc, plat::TRANSPARENT);
  plat::set_text_color(dc, plat::rgb(20, 20, 120));
  // Ten-character labels, as the map writes place names.
  std::vector<std::u16string> labels = {u"Saint-Malo", u"Rennes 35A", u"Lac du Bas", u"Col de Vie",
                                        u"Pointe 412", u"Bois Noir ", u"N137 - D12", u"Le Moulin "};
  for (auto _ : state) {
    for (int i = 0; i < draws; ++i) {
      const std::u16string& s = labels[size_t(i) % labels.size()];
      plat::text_out(dc, (i * 197) % (kWidth - 100), (i * 89) % (kHeight - 20), s.c_str(), 10);
    }
    benchmark::DoNotOptimize(surface.pixels.data());
  }
  state.counters["draws/s"] = benchmark::Counter(double(draws), benchmark::Counter::kIsIterationInvariantRate);
  plat::select_object(dc, old);
  plat::delete_object(font);
  plat::delete_dc(dc);
}

void PointSymbols(benchmark::State& state) {
  int symbols = int(state.range(0));
  plat::Surface surface(kWidth, kHeight);
  plat::Dc dc = plat::create_surface_dc(&surface, plat::Point{}, nullptr);
  plat::Brush brush = plat::create_solid_brush(plat::rgb(30, 160, 40));
  plat::GdiObj old = plat::select_object(dc, brush);
  for (auto _ : state) {
    for (int i = 0; i < symbols; ++i) {
      int x = (i * 197) % (kWidth - 10), y = (i * 89) % (kHeight - 10);
      plat::ellipse(dc, x, y, x + 9, y + 9);
    }
    benchmark::DoNotOptimize(surface.pixels.data());
  }
  state.counters["symbols/s"] = benchmark::Counter(double(symbols), benchmark::Counter::kIsIterationInvariantRate);
  plat::select_object(dc, old);
  plat::delete_object(brush);
  plat::delete_dc(dc);
}

}  // namespace

BENCHMARK(PolylineSegments)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(PolylineSegmentsWide)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(TextDraws)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(PointSymbols)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

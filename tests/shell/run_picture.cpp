// The picture a whole headless run of the map program leaves, checked against the
// bundled samples: the relief image loaded through its calibration file, and the GPX
// track with its waypoints on top of it.
//
// Where things must be is derived from the samples themselves (the calibration file's
// corner points, the GPX file's vertices and waypoints, all in degrees on WGS 84) and
// from the view the program chose: the map window's own mapping (screen = (world +
// origin) * scale) in the graph space's geographic degrees. The view is taken from the
// program rather than recomputed from the fit rules, because which view a load ends on
// depends on the display options and on the order of the loads; what this test checks
// is that, whatever that view is, the image, the track and the waypoints are drawn
// where it puts them. The view is only required to show the whole image.
//
// The picture is read back from its PNG file with the raster library's reader. Like the
// program, the run is on the real clock: the headless loop waits for its loads and its
// delayed fit command; the test itself never sleeps.
//
// The same run then prints the samples on the PDF file printer (Ctrl+P, the dialog
// answered): on the page rendered by pdftoppm each waypoint's icon shows at its screen
// size times the page's symbol scale factor (the printer's dots per inch over 100 at the
// dialog's thickness factor 1.00), centred where the page's view puts the waypoint.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "core/hooks.h"
#include "core/line_store.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "formats/gpx.h"
#include "formats/osm.h"
#include "formats/polish_map.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/repr.h"
#include "map/gps_classes.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/print.h"
#include "map/view_records.h"
#include "platform/gdi/geometry.h"
#include "platform/gdi/surface.h"
#include "platform/print/printer.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/icons.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "platform/ui/ui.h"
#include "platform/ui/window.h"
#include "raster/icon_load.h"
#include "shell/command_table.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "shell/startup.h"
#include "shell/framework/print_dialog.h"
#include "tests/core/config_fixture.h"
#include "tests/platform/print_pdf.h"
#include "tests/shell/print_answer.h"
#include "tests/support/harness.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/program_run.h"
#include "tests/support/test_env.h"

namespace {

// ---- The sample files, read as the test's own reference -----------------------------------
struct geo_point {
  double lon = 0.0, lat = 0.0;
};
struct image_corner {
  double px = 0.0, py = 0.0;  // image pixel corner
  geo_point at;
};
struct waypoint {
  std::string name;
  geo_point at;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The calibration's corner points: "MMPXY,n,x,y" and "MMPLL,n,lon,lat" lines.
std::vector<image_corner> calibration_corners(const std::string& path) {
  std::vector<image_corner> corners;
  std::istringstream in(read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    int n = 0;
    double a = 0.0, b = 0.0;
    if (std::sscanf(line.c_str(), "MMPXY,%d,%lf,%lf", &n, &a, &b) == 3) {
      if (n > int(corners.size())) corners.resize(size_t(n));
      corners[size_t(n - 1)].px = a;
      corners[size_t(n - 1)].py = b;
    } else if (std::sscanf(line.c_str(), "MMPLL,%d,%lf,%lf", &n, &a, &b) == 3) {
      if (n > int(corners.size())) corners.resize(size_t(n));
      corners[size_t(n - 1)].at = {a, b};
    }
  }
  return corners;
}

// The value of attribute `name` in the tag text starting at `from`.
double attribute(const std::string& text, size_t from, const char* name) {
  const size_t at = text.find(std::string(name) + "=\"", from);
  return at == std::string::npos ? NAN : std::atof(text.c_str() + at + std::strlen(name) + 2);
}

std::vector<geo_point> track_vertices(const std::string& gpx) {
  std::vector<geo_point> out;
  for (size_t at = gpx.find("<trkpt "); at != std::string::npos; at = gpx.find("<trkpt ", at + 1))
    out.push_back({attribute(gpx, at, "lon"), attribute(gpx, at, "lat")});
  return out;
}

std::vector<waypoint> waypoints(const std::string& gpx) {
  std::vector<waypoint> out;
  for (size_t at = gpx.find("<wpt "); at != std::string::npos; at = gpx.find("<wpt ", at + 1)) {
    const size_t name = gpx.find("<name>", at) + 6;
    out.push_back({gpx.substr(name, gpx.find("</name>", name) - name),
                   {attribute(gpx, at, "lon"), attribute(gpx, at, "lat")}});
  }
  return out;
}

// ---- PNG pictures, read through the raster library's reader -------------------------------
using tm_test::picture;
using tm_test::rgb;

// ---- The view of the run: geographic degrees to pixels of the picture ----------------------
struct view {
  screen_mapping map{};
  plat::Point offset;  // the map window's client origin in the picture
  int width = 0, height = 0;
  double x(double lon) const { return (lon + map.origin_x) * map.scale_x + offset.x; }
  double y(double lat) const { return (lat + map.origin_y) * map.scale_y + offset.y; }
};

// A colour word: red in the low byte, then green, then blue.
rgb colour_of(uint32_t word) {
  return {int(word & 255), int(word >> 8 & 255), int(word >> 16 & 255)};
}

// A pixel drawn from an image pixel matches it within this sum of channel differences.
constexpr int kSameColour = 3;
// Pixels whose centre lies closer than this to an expected edge are not judged: the
// edge may fall on either side of them.
constexpr double kEdgeMargin = 1.0;

// The image's rectangle in the picture, from two opposite calibration corners.
struct frame_box {
  double left, top, right, bottom;
  bool inside(double x, double y, double margin) const {
    return x > left + margin && x < right - margin && y > top + margin && y < bottom - margin;
  }
};
frame_box image_box(const view& v, const std::vector<image_corner>& corners) {
  return {v.x(corners[0].at.lon), v.y(corners[0].at.lat), v.x(corners[2].at.lon),
          v.y(corners[2].at.lat)};
}

// The image pixel the calibration puts under the picture pixel (x, y): the pixel centre
// carried linearly from the rectangle of the corners to the image's pixel corners.
bool image_pixel_under(const frame_box& box, const std::vector<image_corner>& corners, int x,
                       int y, int* ix, int* iy) {
  const double u = (x + 0.5 - box.left) / (box.right - box.left);
  const double w = (y + 0.5 - box.top) / (box.bottom - box.top);
  *ix = int(std::floor(corners[0].px + u * (corners[2].px - corners[0].px)));
  *iy = int(std::floor(corners[0].py + w * (corners[2].py - corners[0].py)));
  return u >= 0.0 && w >= 0.0 && u < 1.0 && w < 1.0;
}

// The map window's pixels in the picture.
bool in_map_window(const view& v, int x, int y) {
  return x >= v.offset.x && y >= v.offset.y && x < v.offset.x + v.width &&
         y < v.offset.y + v.height;
}

// At each corner, in a square of picture pixels around it: the pixels inside the
// image's rectangle show the image pixel under them, those outside it but in the map
// window show the window's background.
void check_image_corners(const picture& shot, const picture& relief, const view& v,
                         const std::vector<image_corner>& corners, const rgb& background) {
  constexpr int kReach = 12;
  const frame_box box = image_box(v, corners);
  for (const image_corner& c : corners) {
    const int cx = int(std::lround(v.x(c.at.lon))), cy = int(std::lround(v.y(c.at.lat)));
    SCOPED_TRACE("corner " + std::to_string(int(c.px)) + "," + std::to_string(int(c.py)) +
                 " expected at " + std::to_string(cx) + "," + std::to_string(cy));
    int image_seen = 0, wrong = 0;
    for (int y = cy - kReach; y <= cy + kReach; ++y)
      for (int x = cx - kReach; x <= cx + kReach; ++x) {
        if (!shot.inside(x, y) || !in_map_window(v, x, y)) continue;
        int ix = 0, iy = 0;
        if (box.inside(x + 0.5, y + 0.5, kEdgeMargin)) {
          ASSERT_TRUE(image_pixel_under(box, corners, x, y, &ix, &iy));
          ++image_seen;
          if (shot.at(x, y).distance(relief.at(ix, iy)) > kSameColour) ++wrong;
        } else if (!box.inside(x + 0.5, y + 0.5, -kEdgeMargin)) {
          if (shot.at(x, y).distance(background) != 0) ++wrong;
        }
      }
    EXPECT_GT(image_seen, kReach * kReach / 2);
    EXPECT_EQ(wrong, 0);
  }
}

// Over the whole image: nearly every picture pixel shows the image pixel under it; the
// few others are covered by the track, the waypoints and their labels.
void check_image_content(const picture& shot, const picture& relief, const view& v,
                         const std::vector<image_corner>& corners) {
  const frame_box box = image_box(v, corners);
  int judged = 0, same = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      int ix = 0, iy = 0;
      if (!in_map_window(v, x, y) || !box.inside(x + 0.5, y + 0.5, kEdgeMargin)) continue;
      if (!image_pixel_under(box, corners, x, y, &ix, &iy)) continue;
      ++judged;
      if (shot.at(x, y).distance(relief.at(ix, iy)) <= kSameColour) ++same;
    }
  ASSERT_GT(judged, 0);
  EXPECT_GT(double(same) / judged, 0.95) << same << " of " << judged << " pixels";
}

// Whether a pixel of the colour lies within one pixel of (x, y).
bool colour_near(const picture& shot, int x, int y, const rgb& colour) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (shot.inside(x + dx, y + dy) && shot.at(x + dx, y + dy).distance(colour) == 0)
        return true;
  return false;
}

// Where a waypoint's symbol (centred on it) and its label (one line of text written to
// its right, from its height down) are drawn over the track.
constexpr int kSymbolReach = 8;
constexpr int kLabelWidth = 140;
constexpr int kLabelHeight = 24;

struct pixel_point {
  int x, y;
};
pixel_point pixel_of(const view& v, const geo_point& p) {
  return {int(std::floor(v.x(p.lon))), int(std::floor(v.y(p.lat)))};
}

bool under_a_waypoint(const view& v, const std::vector<waypoint>& points, pixel_point at) {
  for (const waypoint& p : points) {
    const pixel_point w = pixel_of(v, p.at);
    if (at.x >= w.x - kSymbolReach - 1 && at.x <= w.x + kLabelWidth &&
        at.y >= w.y - kSymbolReach - 1 && at.y <= w.y + kLabelHeight)
      return true;
  }
  return false;
}

// Every vertex of the track shows the track's colour at its pixel, but where a waypoint's
// symbol or label is drawn over it.
void check_track(const picture& shot, const view& v, const std::vector<geo_point>& vertices,
                 const std::vector<waypoint>& points, const rgb& colour) {
  ASSERT_FALSE(vertices.empty());
  std::string missed;
  size_t judged = 0;
  for (size_t i = 0; i < vertices.size(); ++i) {
    const pixel_point at = pixel_of(v, vertices[i]);
    if (under_a_waypoint(v, points, at)) continue;
    ++judged;
    if (!colour_near(shot, at.x, at.y, colour))
      missed += " " + std::to_string(i) + "@" + std::to_string(at.x) + "," + std::to_string(at.y);
  }
  EXPECT_GT(judged, vertices.size() * 3 / 4);
  EXPECT_EQ(missed, "") << "vertices without the track colour";
}

// At each waypoint a symbol is drawn: pixels near it that are neither the image under
// them nor the track, centred on the waypoint's own pixel.
void check_waypoints(const picture& shot, const picture& relief, const view& v,
                     const std::vector<image_corner>& corners, const std::vector<waypoint>& points,
                     const rgb& track) {
  constexpr int kForeign = 60;
  const frame_box box = image_box(v, corners);
  ASSERT_FALSE(points.empty());
  for (const waypoint& p : points) {
    const pixel_point w = pixel_of(v, p.at);
    const int px = w.x, py = w.y;
    SCOPED_TRACE(p.name + " expected at " + std::to_string(px) + "," + std::to_string(py));
    int symbol = 0, left = px + kSymbolReach, right = px - kSymbolReach;
    int top = py + kSymbolReach, bottom = py - kSymbolReach;
    for (int y = py - kSymbolReach; y <= py + kSymbolReach; ++y)
      for (int x = px - kSymbolReach; x <= px + kSymbolReach; ++x) {
        int ix = 0, iy = 0;
        if (!image_pixel_under(box, corners, x, y, &ix, &iy)) continue;
        const rgb seen = shot.at(x, y);
        if (seen.distance(relief.at(ix, iy)) <= kForeign || seen.distance(track) == 0) continue;
        ++symbol;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
    EXPECT_GE(symbol, 12);
    // The symbol is centred on the waypoint's pixel.
    EXPECT_LE(std::abs(left + right - 2 * px), 4) << "columns " << left << ".." << right;
    EXPECT_LE(std::abs(top + bottom - 2 * py), 4) << "rows " << top << ".." << bottom;
  }
}

// ---- The printed page ---------------------------------------------------------------------
// The printer page as its pass starts: the view, the size of the page window and of the
// sheet in dots (the page is centred on the sheet), the printer's resolution and the page's
// symbol scale factor.
// An icon's pixels, null where transparent.
struct icon_copy {
  int width = 0, height = 0;
  std::vector<std::optional<rgb>> pixels;
};

struct printed_page {
  bool seen = false;
  screen_mapping map{};
  int width = 0, height = 0, sheet_width = 0, sheet_height = 0, dpi = 0;
  double symbol_scale = 0;
  std::map<std::string, icon_copy> icons;  // the icon each waypoint shows, by its name
};
printed_page g_page;
worker_routine g_redraw_run = nullptr;

// The colour of an icon pixel, false where it is transparent.
bool icon_pixel(const bitmap_t* icon, int x, int y, rgb* out) {
  bitmap_t* b = const_cast<bitmap_t*>(icon);  // lines are read, not changed
  uint8_t v[3] = {};
  for (int p = 0; p < std::min<int>(icon->planes, 3); ++p) {
    const uint8_t* line = get_img_line_adr(b, y, p);
    if (!line) return false;
    v[p] = line[x];
  }
  if (icon->planes >= 3) {
    if (icon->has_transparent && v[0] == icon->transparent[0] && v[1] == icon->transparent[1] &&
        v[2] == icon->transparent[2])
      return false;
    *out = {v[0], v[1], v[2]};
  } else {
    if (icon->has_transparent && v[0] == icon->transparent[0]) return false;
    *out = {icon->lut_r[v[0]], icon->lut_g[v[0]], icon->lut_b[v[0]]};
  }
  return true;
}

// The icon each waypoint of the run shows, by the waypoint's name (copied: the data go
// with the program's exit).
std::map<std::string, icon_copy> waypoint_icons() {
  std::vector<const waypoint_t*> points;
  for (obj_t* f = nullptr; obj_class_next(kFileClass, &f);) {
    fileatt_t* file = file_of(f);
    folder_t* it = nullptr;
    for (folder_t* d = file ? file_next_folder(file, &it) : nullptr; d; d = file_next_folder(file, &it))
      for (int i = 0; i < obj_list_count(d->sot); ++i) {
        obj_t* o = nullptr;
        obj_list_get(d->sot, i, &o);
        if (o && o->cls == CLS_WAYPOINT) points.push_back(static_cast<const waypoint_t*>(o));
      }
  }
  std::map<std::string, icon_copy> icons;
  for (const waypoint_t* w : points) {
    char* name = nullptr;
    wstr_to_utf8(w->name, &name);
    if (name && w->icon) {
      icon_copy& c = icons[name];
      c.width = w->icon->width;
      c.height = w->icon->height;
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
          rgb colour;
          c.pixels.push_back(icon_pixel(w->icon, x, y, &colour) ? std::optional<rgb>(colour) : std::nullopt);
        }
    }
    free_mem(&name);
  }
  return icons;
}

// The program's redraw task, looking at the printer page first.
void redraw_watching_the_page(void* arg) {
  obj_t* cursor = nullptr;
  while (!g_page.seen && obj_class_next(CLS_PANE, &cursor)) {
    const pane_t* pane = static_cast<const pane_t*>(cursor);
    mapwin_t* win = pane->mapwin;
    if (!pane->printing || !win || !win->dc) continue;
    g_page.seen = true;
    g_page.map = mapwin_mapping(win);
    g_page.width = win->width;
    g_page.height = win->height;
    g_page.sheet_width = plat::get_device_caps(win->dc, plat::HORZRES);
    g_page.sheet_height = plat::get_device_caps(win->dc, plat::VERTRES);
    g_page.dpi = pane->resolution;
    g_page.symbol_scale = pane->symbol_scale;
    g_page.icons = waypoint_icons();
  }
  g_redraw_run(arg);
}

// The print dialog answered as a user does: the printer of that name chosen, OK.
void choose_printer_and_confirm(plat::Wnd dlg, const std::string& printer) {
  const bool listed = tm_test::choose_print_printer(dlg, printer);
  EXPECT_TRUE(listed) << "no printer " << printer << " in the print dialog";
  tm_test::click_control(dlg, listed ? IDC_PRINT_OK : IDC_PRINT_CANCEL);
}

// One axis of the icon as printed: `size` bitmap pixels drawn on `drawn` dots from dot
// `first`, each dot showing the bitmap pixel under its centre. The bitmap pixel that every
// dot of [from, to) shows, or -1 when they show several or fall outside the icon.
int icon_index_over(int first, int size, int drawn, int from, int to) {
  int index = -2;
  for (int d = from; d < to; ++d) {
    const int col = d - first;
    const int i = col >= 0 && col < drawn ? int((2L * col + 1) * size / (2L * drawn)) : -1;
    if (i < 0 || (index != -2 && i != index)) return -1;
    index = i;
  }
  return index;
}

// Distance from (x, y) to the segment a-b.
double segment_distance(double x, double y, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
  const double t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(x - ax - t * dx, y - ay - t * dy);
}

// At each waypoint of the page, rendered at half the printer's resolution, the icon
// scaled by the symbol factor, found within a few dots of the place centred on the
// waypoint: the render's pixels that lie wholly on one opaque icon pixel show its colour,
// colour by colour, and those that lie wholly on a transparent one do not show the icon's
// main colour. Pixels near the track,
// which is drawn over the icons, and those where the label (from 10 dots right of the
// waypoint, downwards) may be are not judged.
void check_printed_symbols(const print_test::Raster& render, const printed_page& page,
                           const std::vector<waypoint>& points, const std::vector<geo_point>& track) {
  constexpr int kDotsPerPixel = 2;
  constexpr int kSameColour = 24;
  constexpr double kTrackReach = 10.0;  // dots, beyond the track's printed half-width
  constexpr double kLabelOffset = 10.0;
  constexpr int kSearch = 4;  // dots
  const double factor = page.dpi * 0.01;  // the thickness factor is 1.00
  const double page_x = (page.sheet_width - page.width) / 2, page_y = (page.sheet_height - page.height) / 2;
  auto dot_x = [&](double lon) { return (lon + page.map.origin_x) * page.map.scale_x + page_x; };
  auto dot_y = [&](double lat) { return (lat + page.map.origin_y) * page.map.scale_y + page_y; };
  ASSERT_FALSE(points.empty());
  for (const waypoint& p : points) {
    SCOPED_TRACE(p.name);
    const auto found = page.icons.find(p.name);
    ASSERT_NE(found, page.icons.end());
    const icon_copy& icon = found->second;
    const int w = icon.width, h = icon.height;
    const int dw = int(std::lround(w * factor)), dh = int(std::lround(h * factor));
    const double cx = dot_x(p.at.lon), cy = dot_y(p.at.lat);
    const int left = int(std::floor(cx - dw / 2.0 + 0.5)), top = int(std::floor(cy - dh / 2.0 + 0.5));
    auto judged_here = [&](int rx, int ry) {
      const double x = (rx + 0.5) * kDotsPerPixel, y = (ry + 0.5) * kDotsPerPixel;
      if (x >= cx + kLabelOffset - kDotsPerPixel && y >= cy - kDotsPerPixel) return false;
      for (size_t i = 0; i + 1 < track.size(); ++i)
        if (segment_distance(x, y, dot_x(track[i].lon), dot_y(track[i].lat), dot_x(track[i + 1].lon),
                             dot_y(track[i + 1].lat)) < kTrackReach)
          return false;
      return true;
    };
    auto key = [](const rgb& c) { return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b); };
    std::map<std::string, int> frequency;
    rgb main_colour;
    for (const auto& px : icon.pixels)
      if (px && ++frequency[key(*px)] >= frequency[key(main_colour)]) main_colour = *px;
    // The render's pixels that are judged at all, around the expected place.
    const int rx0 = (left - kSearch) / kDotsPerPixel - 1, rx1 = (left + dw + kSearch) / kDotsPerPixel + 1;
    const int ry0 = (top - kSearch) / kDotsPerPixel - 1, ry1 = (top + dh + kSearch) / kDotsPerPixel + 1;
    std::vector<char> judged_at(size_t(rx1 - rx0 + 1) * size_t(ry1 - ry0 + 1));
    for (int ry = ry0; ry <= ry1; ++ry)
      for (int rx = rx0; rx <= rx1; ++rx)
        judged_at[size_t(ry - ry0) * size_t(rx1 - rx0 + 1) + size_t(rx - rx0)] =
            rx >= 0 && ry >= 0 && rx < render.width && ry < render.height && judged_here(rx, ry);
    // The icon drawn from (l, t): by colour the judged and matching pixels over its opaque
    // pixels, and the render's pixels over its transparent ones.
    std::map<std::string, std::pair<int, int>> opaque;
    std::vector<rgb> clear;
    auto compare_at = [&](int l, int t) {
      opaque.clear();
      clear.clear();
      int matched_all = 0;
      for (int ry = t / kDotsPerPixel; ry <= (t + dh) / kDotsPerPixel; ++ry) {
        const int iy = icon_index_over(t, h, dh, ry * kDotsPerPixel, (ry + 1) * kDotsPerPixel);
        if (iy < 0) continue;
        for (int rx = l / kDotsPerPixel; rx <= (l + dw) / kDotsPerPixel; ++rx) {
          const int ix = icon_index_over(l, w, dw, rx * kDotsPerPixel, (rx + 1) * kDotsPerPixel);
          if (ix < 0 || !judged_at[size_t(ry - ry0) * size_t(rx1 - rx0 + 1) + size_t(rx - rx0)]) continue;
          const auto c = render.at(rx, ry);
          const rgb seen{c[0], c[1], c[2]};
          const std::optional<rgb>& want = icon.pixels[size_t(iy) * size_t(w) + size_t(ix)];
          if (!want) {
            clear.push_back(seen);
            continue;
          }
          auto& [judged, matched] = opaque[key(*want)];
          ++judged;
          const bool same = seen.distance(*want) <= kSameColour;
          matched += same;
          matched_all += same;
        }
      }
      return matched_all;
    };
    // The symbol is looked for a few dots around where it is expected (the render's
    // rounding of the page onto its pixels may move it), then judged where it is.
    int best = -1, best_l = left, best_t = top;
    for (int t = top - kSearch; t <= top + kSearch; ++t)
      for (int l = left - kSearch; l <= left + kSearch; ++l)
        if (const int m = compare_at(l, t); m > best) best = m, best_l = l, best_t = t;
    compare_at(best_l, best_t);
    const std::string where = "the icon " + std::to_string(dw) + " by " + std::to_string(dh) + " dots from " +
                              std::to_string(best_l) + "," + std::to_string(best_t) + " (expected from " +
                              std::to_string(left) + "," + std::to_string(top) + ")";
    ASSERT_FALSE(opaque.empty()) << "no icon pixel judged on the page";
    for (const auto& [colour, counts] : opaque) {
      if (counts.first < 10) continue;
      EXPECT_GE(counts.second * 10, counts.first * 8)
          << "colour " << colour << ": " << counts.second << " of " << counts.first
          << " render pixels show it where " << where << " has it";
    }
    ASSERT_GE(clear.size(), 10u) << where;
    const long spilled = std::count_if(clear.begin(), clear.end(),
                                       [&](const rgb& c) { return c.distance(main_colour) <= kSameColour; });
    EXPECT_LE(spilled * 10, long(clear.size())) << spilled << " of " << clear.size()
                                               << " render pixels show the icon's colour " << key(main_colour)
                                               << " where " << where << " is transparent";
  }
}

// ---- The run, with the exit intercepted ------------------------------------------------------
struct exit_called {
  int code;
};
void throw_exit(int code) { throw exit_called{code}; }

int run_main(std::vector<const char*> args) {
  args.insert(args.begin(), "tarmelo");
  try {
    tarmelo_main(int(args.size()), const_cast<char**>(args.data()));
  } catch (const exit_called& e) {
    return e.code;
  }
  return -1000;
}

// The samples loaded headless as the program starts, then Ctrl+P printing them on the
// printer of that name with the dialog answered, then the program's exit.
int run_main_and_print(std::vector<const char*> args, const std::string& printer) {
  args.insert(args.begin(), "tarmelo");
  try {
    tarmelo_start(int(args.size()), const_cast<char**>(args.data()));
    // The program's redraw task, as start-up installed it, behind the page watch.
    g_redraw_run = get_dispatcher_hooks().redraw_run;
    get_dispatcher_hooks().redraw_run = redraw_watching_the_page;
    run_headless(nullptr);
    tm_test::answer_next_dialog([&](plat::Wnd dlg) { choose_printer_and_confirm(dlg, printer); });
    tm_test::press_key('P', tm_test::MOD_CTRL);
    app_exit_code(run_headless(nullptr));
  } catch (const exit_called& e) {
    return e.code;
  }
  return -1000;
}

class RunPicture : public tm_test::ConfigFixture {
 protected:
  void SetUp() override {
    ConfigFixture::SetUp();
    session_ = std::make_unique<tm_test::UiSession>();
    startup_table_reset();
    main_command_table_reset();
    get_startup_table().start_display = [] { return false; };
    get_startup_table().program_dir = [](const char*) { set_program_dir(TM_SOURCE_DIR "/data/"); };
    get_core_hooks().exit_program = throw_exit;
    frame_reset();
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    progress_state_reset();
    app_set_closing(0);
  }

  void TearDown() override {
    set_frame_exit_routine(nullptr);
    set_gblerr(0);
    for (plat::Wnd w : {main_frame_window(), main_toolbar(), main_map_window()})
      if (w && plat::is_window(w)) plat::destroy_window(w);
    session_.reset();
    plat::join_threads(10000);
    // The graph space (with the layer links to the loaded images) goes first; then what
    // the run loaded, one file object at a time, since a folder's file object frees the
    // file objects its list still holds.
    frame_reset();
    // The vector tables hold file objects of their own (the saved user lists).
    osm_free();
    mp_free();
    repr_tables_free();
    for (int left = 100000; left > 0; --left) {
      obj_t* first = nullptr;
      if (!obj_class_next(kFileClass, &first)) break;
      free_obj(&first);
    }
    gpx_free_tables();
    fileobj_tables_free();
    gpsobj_free_icons();
    geo_reset_tables();
    month_names_free();
    get_core_hooks() = core_hooks{};
    task_slots_init();
    dispatcher_hooks_reset();
    winutil_state_reset();
    startup_table_reset();
    main_command_table_reset();
    set_stop_request(0);
    app_set_closing(0);
    ConfigFixture::TearDown();
  }

  std::unique_ptr<tm_test::UiSession> session_;
};

const std::string kSamples = TM_SOURCE_DIR "/data/samples/";

TEST_F(RunPicture, TheSamplesAreDrawnWhereTheViewPutsThem) {
  // The real initialisers and tables, on the real clock, as the program runs.
  plat::use_virtual_clock(false);
  config_reset();
  const std::string path = tm_test::fresh_dir("run-picture") + "frame.png";
  setenv("TARMELO_PICTURE", path.c_str(), 1);
  const std::string calibration = kSamples + "relief.map";
  const std::string track = kSamples + "boucle.gpx";
  const int code = run_main({calibration.c_str(), "-load", track.c_str()});
  unsetenv("TARMELO_PICTURE");
  ASSERT_EQ(code, 0);

  // The view: the current map window's mapping, its place in the frame's picture.
  mapwin_t* win = get_current_mapwin();
  ASSERT_NE(win, nullptr);
  view v;
  std::memcpy(&v.map, &win->map, sizeof v.map);
  v.width = win->width;
  v.height = win->height;
  plat::Rect frame_rect;
  ASSERT_TRUE(plat::get_window_rect(main_frame_window(), &frame_rect));
  plat::Point origin;
  ASSERT_TRUE(plat::client_to_screen(main_map_window(), &origin));
  v.offset = {origin.x - frame_rect.left, origin.y - frame_rect.top};
  // The graph space is in geographic degrees, so world coordinates are longitude and latitude.
  graphspace_t* gs = graphspace_current();
  ASSERT_TRUE(gs && gs->georef);
  ASSERT_EQ(gs->georef->refertype, GEOREF_GEOGRAPHIC);
  ASSERT_EQ(gs->georef->unit, ANG_DEGREE);

  const picture shot = tm_test::read_picture(path);
  const picture relief = tm_test::read_picture(kSamples + "relief.png");
  ASSERT_GT(shot.width, 0);
  const rgb background = colour_of(win->background);
  const std::string gpx = read_file(track);
  // The calibration's first and third points are the image's top-left and bottom-right
  // pixel corners.
  const std::vector<image_corner> corners = calibration_corners(calibration);
  ASSERT_EQ(corners.size(), 4u);
  ASSERT_EQ(corners[0].px, 0.0);
  ASSERT_EQ(corners[0].py, 0.0);
  ASSERT_EQ(corners[2].px, relief.width);
  ASSERT_EQ(corners[2].py, relief.height);

  SCOPED_TRACE("picture " + path);
  // The view chosen shows the whole image.
  for (const image_corner& c : corners) {
    EXPECT_TRUE(in_map_window(v, int(std::lround(v.x(c.at.lon))) - int(c.px > 0),
                              int(std::lround(v.y(c.at.lat))) - int(c.py > 0)))
        << "corner " << c.px << "," << c.py << " outside the map window";
  }
  check_image_corners(shot, relief, v, corners, background);
  check_image_content(shot, relief, v, corners);
  const rgb track_colour = colour_of(gpsobj_default_colour(CLS_TRACKLOG));
  check_track(shot, v, track_vertices(gpx), waypoints(gpx), track_colour);
  check_waypoints(shot, relief, v, corners, waypoints(gpx), track_colour);

  // The frame carries the program's icon picture, large and 16 x 16; the About box shows
  // the same picture in place of the information icon.
  plat::Surface big, small, icon;
  ASSERT_TRUE(plat::get_window_icon(main_frame_window(), plat::kWindowIconBig, &big));
  ASSERT_TRUE(plat::get_window_icon(main_frame_window(), plat::kWindowIconSmall, &small));
  EXPECT_EQ(big.width, 32);
  EXPECT_EQ(big.height, 32);
  EXPECT_EQ(small.width, 16);
  EXPECT_EQ(small.height, 16);
  ASSERT_TRUE(raster_icon_surface(program_icon_file(kProgramIcon), nullptr, 32, &icon));
  EXPECT_EQ(big.pixels, icon.pixels);
  EXPECT_NE(std::count(big.pixels.begin(), big.pixels.end(), big.pixels[0]), 32 * 32)
      << "the picture, not one flat colour";
  tm_test::clear_message_boxes();
  about_box(kProgramIcon);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].flags & 0xF0u, plat::MB_USERICON);
}

}  // namespace

namespace {

TEST_F(RunPicture, PrintedWaypointSymbolsTakeThePrintersScale) {
  if (!tm_test::tool_present("pdftoppm")) GTEST_SKIP() << "no pdftoppm (poppler-utils)";
  plat::use_virtual_clock(false);
  config_reset();
  // No print server: the PDF file printer alone.
  tm_test::scoped_env no_server("CUPS_SERVER", (tm_test::fresh_dir("run-print-cups") + "none").c_str());
  plat::reset_printer_list();
  g_page = printed_page{};
  const std::string calibration = kSamples + "relief.map";
  const std::string track = kSamples + "boucle.gpx";
  const int code = run_main_and_print({calibration.c_str(), "-load", track.c_str()}, "PDF");
  // The printers the print enumerated live as long as the process: freed here.
  print_dialog_reset();
  for (obj_t* cursor = nullptr; obj_class_next(CLS_PRINTER_ENTRY, &cursor); cursor = nullptr) {
    obj_t* e = cursor;
    free_obj(&e);
  }
  plat::reset_printer_list();
  ASSERT_EQ(code, 0);
  ASSERT_TRUE(g_page.seen) << "no printer page was drawn";
  EXPECT_DOUBLE_EQ(g_page.symbol_scale, g_page.dpi * 0.01);
  ASSERT_EQ(g_page.dpi % 2, 0) << g_page.dpi;

  char* text = nullptr;
  main_get_title_text(nullptr, &text);
  const std::string status = text ? text : "";
  free_mem(&text);
  const size_t at = status.find("Printed to ");
  ASSERT_NE(at, std::string::npos) << status;
  const std::string pdf = status.substr(at + 11);
  const print_test::Raster render =
      print_test::render_page(pdf, 1, g_page.dpi / 2, tm_test::fresh_dir("run-print-page") + "page");
  std::filesystem::remove(pdf);
  ASSERT_GT(render.width, 0);
  // The page is the sheet.
  EXPECT_NEAR(render.width, g_page.sheet_width / 2.0, 1.0);
  EXPECT_NEAR(render.height, g_page.sheet_height / 2.0, 1.0);
  const std::string gpx = read_file(track);
  check_printed_symbols(render, g_page, waypoints(gpx), track_vertices(gpx));
}

}  // namespace

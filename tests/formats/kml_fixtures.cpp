// The KML reader and writer against outside tools, through the fixtures of
// scripts/fixtures/make_kml_fixtures.py: KML written by gpsbabel from GPX files the
// script made (tracks of several segments as MultiGeometry) read into the points and
// names of the GPX; our writer's output for a fixed set of objects, byte for byte the
// committed file that GDAL's KML driver read back to the same folders, names and
// coordinates; every truncation of a fixture loads or fails cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "geodesy/georef.h"
#include "tests/formats/kml_fixture.h"

namespace {

using tm_test::KmlFixture;
using tm_test::kKmlFixtures;
using tm_test::slurp_file;

std::vector<std::vector<std::string>> tab_lines(const std::string& text) {
  std::vector<std::vector<std::string>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream l(line);
    while (std::getline(l, field, '\t')) fields.push_back(field);
    if (!fields.empty()) out.push_back(fields);
  }
  return out;
}

std::u16string wide_of(const std::string& s) {
  char16_t* w = nullptr;
  utf8_to_wcs(s.c_str(), &w);
  std::u16string out = w ? w : u"";
  free_mem(&w);
  return out;
}

class KmlFixtures : public KmlFixture {};

class KmlGpsbabel : public KmlFixture, public ::testing::WithParamInterface<const char*> {};

// gpsbabel's KML of a GPX: each waypoint a point of interest with its name and
// position, each route and each track segment a line with the GPX's points.
TEST_P(KmlGpsbabel, ObjectsMatchTheGpx) {
  const std::string name = GetParam();
  int rc = -1;
  fileatt_t* f = load_path(kKmlFixtures + "gpsbabel/" + name + ".kml", &rc);
  ASSERT_EQ(rc, 0);
  struct line_ref {
    std::vector<std::vector<std::string>> points;
  };
  std::vector<std::vector<std::string>> waypoints;
  std::vector<line_ref> expected_lines;
  for (auto& fields : tab_lines(slurp_file(kKmlFixtures + "gpsbabel/" + name + ".txt"))) {
    if (fields[0] == "W") waypoints.push_back(fields);
    if (fields[0] == "L") expected_lines.emplace_back();
    if (fields[0] == "P") expected_lines.back().points.push_back(fields);
  }
  auto p = pois(f);
  ASSERT_EQ(p.size(), waypoints.size());
  for (size_t i = 0; i < p.size(); ++i) {
    SCOPED_TRACE(waypoints[i][1]);
    EXPECT_EQ(text(p[i]->name), wide_of(waypoints[i][1]));
    EXPECT_NEAR(p[i]->coords.x, std::atof(waypoints[i][2].c_str()), 1e-6);
    EXPECT_NEAR(p[i]->coords.y, std::atof(waypoints[i][3].c_str()), 1e-6);
    const double ele = waypoints[i][4] == "-" ? 0.0 : std::atof(waypoints[i][4].c_str());
    EXPECT_NEAR(p[i]->altitude, ele, 1e-3);
  }
  auto l = lines(f);
  ASSERT_EQ(l.size(), expected_lines.size());
  for (size_t k = 0; k < l.size(); ++k) {
    SCOPED_TRACE(k);
    auto pts = points_of(l[k]);
    ASSERT_EQ(pts.size(), expected_lines[k].points.size());
    for (size_t i = 0; i < pts.size(); ++i) {
      const auto& e = expected_lines[k].points[i];
      EXPECT_NEAR(pts[i]->coords.x, std::atof(e[1].c_str()), 1e-6);
      EXPECT_NEAR(pts[i]->coords.y, std::atof(e[2].c_str()), 1e-6);
      EXPECT_NEAR(pts[i]->altitude, e[3] == "-" ? 0.0 : std::atof(e[3].c_str()), 1e-3);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, KmlGpsbabel, ::testing::Values("points", "tracks", "route"));

// Every cut of the gpsbabel files loads or fails with a code, never worse.
TEST_F(KmlFixtures, TruncatedGpsbabelFiles) {
  const std::string doc = slurp_file(kKmlFixtures + "gpsbabel/tracks.kml");
  ASSERT_FALSE(doc.empty());
  for (size_t n = 0; n < doc.size(); n += 97) {
    SCOPED_TRACE(n);
    int rc = -1;
    fileatt_t* f = load(doc.substr(0, n), &rc, "cut" + std::to_string(n) + ".kml");
    ASSERT_NE(f, nullptr);
    if (rc != 0) continue;
    for (lois_t* l : lines(f)) EXPECT_LE(points_of(l).size(), 12u);
  }
}

// The objects of the written fixture: a folder "Trip" and its sub-folder "Inner".
class KmlWritten : public KmlFixture {
 protected:
  folder_t* build() {
    fileatt_t* f = open(put("trip.src", "x"));
    obj_list_new(&f->sot);
    container_t* c = f->sot;
    georef_t* g = nullptr;
    georef_create(c, &g);
    folder_t* top = nullptr;
    folder_get_or_create(f, c, 0, &top);
    folder_set_name(top, "Trip");
    waypoint_t* camp = nullptr;
    waypoint_create(6.5, 45.25, u"Camp", u"by the lake", 1, 3, 0, 1200.5, c, &camp);
    camp->colour = gps_rgb(255, 0, 0);
    obj_t* view = nullptr;
    gpsobj_new_point(CLS_POI, c, &view);
    static_cast<poi_t*>(view)->coords = gps_point_t{6.6, 45.3, 0.0f};
    wstr_set(u"View", &static_cast<poi_t*>(view)->name);
    route_t* r = nullptr;
    route_create(c, &r);
    wstr_set(u"Way", &r->name);
    container_t* rpts = obj_create_sons_list(r, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
      waypoint_t* w = nullptr;
      const std::u16string n = u"R" + std::u16string(1, char16_t(u'1' + i));
      waypoint_create(7.0 + i * 0.1, 46.0 + i * 0.05, n.c_str(), nullptr, 1, 0, 0, 0.0, c, &w);
      obj_list_append(rpts, w);
    }
    tracklog_t* t = nullptr;
    tracklog_create(c, &t);
    wstr_set(u"Walk", &t->name);
    for (int s = 0; s < 2; ++s) {
      trackseg_t* seg = nullptr;
      trackseg_create(t, c, &seg);
      for (int i = 0; i < 4 - s; ++i)
        gpspos_create(6.0 + s * 0.1 + i * 0.01, 45.0 + i * 0.01, nullptr, 300.0 + i, seg, c, nullptr);
    }
    lois_t* lake = nullptr;
    obj_t* o = nullptr;
    obj_new_in_list(c, CLS_LOIS, &o);
    lake = static_cast<lois_t*>(o);
    wstr_set(u"Lake", &lake->name);
    lake->colour = gpsobj_default_colour(CLS_LOIS);
    lake->thickness = 2;
    container_t* ring = obj_create_sons_list(lake, 0, 0, 0);
    const double xy[5][2] = {{6.1, 45.1}, {6.2, 45.1}, {6.2, 45.2}, {6.1, 45.2}, {6.1, 45.1}};
    for (const auto& p : xy) {
      obj_t* q = nullptr;
      obj_new_in_list(c, CLS_LOIPOINT, &q);
      static_cast<loipoint_t*>(q)->coords = gps_point_t{p[0], p[1], 0.0f};
      static_cast<loipoint_t*>(q)->pere = lake;
      obj_list_append(ring, q);
    }
    // As the reader makes them: the content list owns every object, the folders show
    // lists of their own (the route's points and the track points are reached through
    // their route and segments).
    container_t* shown = nullptr;
    obj_list_new(&shown);
    for (obj_t* x : std::initializer_list<obj_t*>{g, camp, view, r})
      obj_list_append(shown, x);
    for (int i = 0; i < obj_list_count(c); ++i)
      if (c->elems[i]->cls == CLS_TRACKSEG) obj_list_append(shown, c->elems[i]);
    obj_list_append(shown, lake);
    top->sot = shown;
    container_t* inner_list = nullptr;
    obj_list_new(&inner_list);
    obj_list_append(inner_list, g);
    folder_t* inner = nullptr;
    folder_get_or_create(top, inner_list, 0, &inner);
    folder_set_name(inner, "Inner");
    waypoint_t* hut = nullptr;
    waypoint_create(7.25, 46.5, u"Hut", nullptr, 1, 0, 0, 0.0, c, &hut);
    obj_list_append(inner_list, hut);
    return top;
  }
  void TearDown() override {
    free_obj(&roots_);
    KmlFixture::TearDown();
  }
  std::string write_trip() {
    folder_t* top = build();
    obj_list_new(&roots_);
    obj_list_append(roots_, top);
    const std::string path = dir_ + "trip.kml";
    write_kml(path.c_str(), roots_);
    EXPECT_EQ(get_gblerr(), 0);
    return path;
  }
  container_t* roots_ = nullptr;
};

TEST_F(KmlWritten, OutputIsTheCommittedFile) {
  const std::string path = write_trip();
  EXPECT_EQ(slurp_file(path), slurp_file(kKmlFixtures + "written/trip.kml"))
      << "written to " << path;
}

// What GDAL's KML driver read from that file: one layer per folder, each feature's name
// and every vertex, equal to the objects written.
TEST_F(KmlWritten, GdalReadsTheSameFoldersNamesAndCoordinates) {
  const auto rows = tab_lines(slurp_file(kKmlFixtures + "written/trip.ogr.txt"));
  ASSERT_FALSE(rows.empty());
  struct feature {
    std::string name, type;
    std::vector<std::vector<double>> points;
  };
  std::vector<std::pair<std::string, std::vector<feature>>> layers;
  for (const auto& r : rows) {
    if (r[0] == "LAYER") layers.push_back({r.size() > 1 ? r[1] : "", {}});
    if (r[0] == "F") layers.back().second.push_back({r.size() > 1 ? r[1] : "", r.size() > 2 ? r[2] : "", {}});
    if (r[0] == "P")
      layers.back().second.back().points.push_back(
          {std::atof(r[1].c_str()), std::atof(r[2].c_str()), std::atof(r[3].c_str())});
  }
  ASSERT_EQ(layers.size(), 2u);
  EXPECT_EQ(layers[0].first, "Trip");
  EXPECT_EQ(layers[1].first, "Inner");
  const auto& trip = layers[0].second;
  ASSERT_EQ(trip.size(), 6u);  // Camp, View, Way, Walk (two segments), Lake
  EXPECT_EQ(trip[0].name, "Camp");
  EXPECT_EQ(trip[0].type, "POINT");
  ASSERT_EQ(trip[0].points.size(), 1u);
  EXPECT_NEAR(trip[0].points[0][0], 6.5, 1e-9);
  EXPECT_NEAR(trip[0].points[0][1], 45.25, 1e-9);
  EXPECT_NEAR(trip[0].points[0][2], 1200.5, 1e-9);
  EXPECT_EQ(trip[1].name, "View");
  EXPECT_EQ(trip[2].name, "Way");
  ASSERT_EQ(trip[2].points.size(), 3u);
  EXPECT_NEAR(trip[2].points[2][0], 7.2, 1e-9);
  EXPECT_NEAR(trip[2].points[2][1], 46.1, 1e-9);
  // The two segments of the tracklog, each a placemark named after it.
  EXPECT_EQ(trip[3].name, "Walk");
  EXPECT_EQ(trip[4].name, "Walk");
  ASSERT_EQ(trip[3].points.size(), 4u);
  ASSERT_EQ(trip[4].points.size(), 3u);
  EXPECT_NEAR(trip[3].points[3][2], 303.0, 1e-9);
  EXPECT_NEAR(trip[4].points[0][0], 6.1, 1e-9);
  EXPECT_EQ(trip[5].name, "Lake");
  EXPECT_EQ(trip[5].type, "POLYGON");
  EXPECT_EQ(trip[5].points.size(), 5u);
  ASSERT_EQ(layers[1].second.size(), 1u);
  EXPECT_EQ(layers[1].second[0].name, "Hut");
  EXPECT_NEAR(layers[1].second[0].points[0][0], 7.25, 1e-9);
}

// Our reader on our writer's output: the same names, positions and folders.
TEST_F(KmlWritten, OurReaderReadsItBack) {
  int rc = -1;
  fileatt_t* f = load_path(write_trip(), &rc);
  ASSERT_EQ(rc, 0);
  folder_t* trip = nullptr;
  for (folder_t* d : sub_folders(file_get_first_folder(f, nullptr)))
    if (text_of(d) == u"Trip") trip = d;
  ASSERT_NE(trip, nullptr);
  auto points = of_class<poi_t>(trip->sot, CLS_POI);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(text(points[0]->name), u"Camp");
  EXPECT_EQ(text(points[0]->comment), u"by the lake");
  EXPECT_EQ(points[0]->colour, gps_rgb(255, 0, 0));
  EXPECT_FLOAT_EQ(points[0]->altitude, 1200.5f);
  auto l = of_class<lois_t>(trip->sot, CLS_LOIS);
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(text(l[0]->name), u"Way");
  EXPECT_EQ(text(l[3]->name), u"Lake");
  EXPECT_EQ(points_of(l[3]).size(), 5u);
  folder_t* inner = nullptr;
  for (folder_t* d : sub_folders(trip))
    if (text_of(d) == u"Inner") inner = d;
  ASSERT_NE(inner, nullptr);
  auto hut = of_class<poi_t>(inner->sot, CLS_POI);
  ASSERT_EQ(hut.size(), 1u);
  EXPECT_EQ(text(hut[0]->name), u"Hut");
}

}  // namespace

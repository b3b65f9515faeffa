// The KML writer: the lines of points (altitude or not), the inline styles of colours
// that differ from the class default, names of unnamed routes, long lines in parts of
// 65000 points read back whole, nested folders read back by our reader, a folder without
// georeference, and map data written through the class descriptors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "geodesy/georef.h"
#include "tests/formats/kml_fixture.h"

namespace {

using tm_test::KmlFixture;

class KmlWrite : public KmlFixture {
 protected:
  void TearDown() override {
    for (container_t* r : roots_) free_obj(&r);
    KmlFixture::TearDown();
  }

  // A file object whose first folder shows a new content list with a georeference.
  folder_t* new_top(const std::string& name, bool georef = true) {
    fileatt_t* f = open(put(name, "x"));
    obj_list_new(&f->sot);
    if (georef) georef_create(f->sot, nullptr);
    folder_t* d = nullptr;
    folder_get_or_create(f, f->sot, 0, &d);
    folder_set_name(d, name.c_str());
    return d;
  }
  // A sub-folder showing a list of its own (objects are made in the file's content
  // list, which owns them, and added to the sub-folder's list with `share`).
  folder_t* new_sub(folder_t* parent, const char* name) {
    container_t* list = nullptr;
    obj_list_new(&list);
    int it = 0;
    obj_t* g = nullptr;
    obj_list_next_of_type(content(parent), 46, &it, &g);
    if (g) obj_list_append(list, g);
    folder_t* d = nullptr;
    folder_get_or_create(parent, list, 0, &d);
    folder_set_name(d, name);
    return d;
  }
  static container_t* content(folder_t* d) {
    fileatt_t* f = file_of(d->file);
    return f ? f->sot : d->sot;
  }
  static void share(folder_t* d, obj_t* o) {
    if (d->sot != content(d)) obj_list_append(d->sot, o);
  }

  std::string write(std::initializer_list<folder_t*> folders, const std::string& name = "out.kml") {
    container_t* roots = nullptr;
    obj_list_new(&roots);
    for (folder_t* d : folders) obj_list_append(roots, d);
    roots_.push_back(roots);
    const std::string path = dir_ + name;
    write_kml(path.c_str(), roots);
    return path;
  }
  static bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  static int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  // A track of n points (x = i * 1e-4, y = 45) in the folder's list.
  static void add_track(container_t* list, int n, double altitude = 0.0) {
    tracklog_t* t = nullptr;
    tracklog_create(list, &t);
    trackseg_t* s = nullptr;
    trackseg_create(t, list, &s);
    for (int i = 0; i < n; ++i) gpspos_create(i * 1e-4, 45.0, nullptr, altitude, s, list, nullptr);
  }

  std::vector<container_t*> roots_;
};

TEST_F(KmlWrite, DocumentFrameAndSharedStyles) {
  folder_t* top = new_top("empty");
  const std::string text = tm_test::slurp_file(write({top}));
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n", 0), 0u);
  for (const char* id : {"tmstywpt", "tmstypoi", "tmstytrk", "tmstyrte", "tmstyloi", "tmstynvg",
                         "tmstytxt", "tmstypnt"})
    EXPECT_TRUE(has(text, std::string("<Style id=\"") + id + "\">")) << id;
  EXPECT_TRUE(has(text, "<Folder>\n  <name>empty</name>\n</Folder>\n"));
  EXPECT_EQ(text.substr(text.size() - 18), "</Document>\n</kml>");
  const uint32_t c = gpsobj_default_colour(CLS_TRACKLOG);
  char colour[16];
  std::snprintf(colour, sizeof colour, "ff%02x%02x%02x", (c >> 16) & 255, (c >> 8) & 255, c & 255);
  EXPECT_TRUE(has(text, std::string("<color>") + colour + "</color>"));
}

TEST_F(KmlWrite, PointAltitudes) {
  folder_t* top = new_top("points");
  waypoint_create(6.25, 45.5, u"Zero", nullptr, 1, 0, 0, 0.0, top->sot, nullptr);
  waypoint_create(-1.5, -2.25, u"High", nullptr, 1, 7, 0, 12.5, top->sot, nullptr);
  const std::string text = tm_test::slurp_file(write({top}));
  EXPECT_TRUE(has(text, "    <name>Zero</name>\n    <styleUrl>#tmstywpt</styleUrl>\n"));
  EXPECT_TRUE(has(text, "    <Point>\n      <coordinates>6.250000000,45.500000000</coordinates>\n"
                        "    </Point>\n"));
  EXPECT_TRUE(has(text, "    <Point>\n      <altitudeMode>absolute</altitudeMode>\n"
                        "      <coordinates>-1.500000000,-2.250000000,12.50</coordinates>\n"));
  EXPECT_EQ(count(text, "<altitudeMode>"), 1);
  // Symbol 7 gets its icon; symbol 0 none.
  EXPECT_EQ(count(text, "<Icon><href>wpt7.png</href></Icon>"), 1);
}

// A colour equal to its class default gives an empty inline style; another colour a
// LabelStyle; a route without name is named by its number.
TEST_F(KmlWrite, InlineStylesAndRouteNames) {
  folder_t* top = new_top("styles");
  waypoint_t* same = nullptr;
  waypoint_create(1, 1, u"same", nullptr, 1, 0, 0, 0.0, top->sot, &same);
  waypoint_t* red = nullptr;
  waypoint_create(1, 1, u"red", nullptr, 1, 0, 0, 0.0, top->sot, &red);
  red->colour = gps_rgb(255, 0, 0);
  route_t* r = nullptr;
  route_create(top->sot, &r);
  r->number = 3;
  waypoint_t* rp = nullptr;
  waypoint_create(2, 2, u"rp", nullptr, 1, 0, 0, 0.0, top->sot, &rp);
  obj_list_append(obj_create_sons_list(r, 0, 0, 0), rp);
  const std::string text = tm_test::slurp_file(write({top}));
  EXPECT_TRUE(has(text, "    <name>same</name>\n    <styleUrl>#tmstywpt</styleUrl>\n    <Style>\n"
                        "    </Style>\n"));
  EXPECT_TRUE(has(text, "    <name>red</name>\n    <styleUrl>#tmstywpt</styleUrl>\n    <Style>\n"
                        "      <LabelStyle>\n        <color>ff0000ff</color>\n      </LabelStyle>\n"
                        "    </Style>\n"));
  EXPECT_TRUE(has(text, "    <name>3</name>\n    <styleUrl>#tmstyrte</styleUrl>\n"));
}

// A route and a track without name or number (gpsbabel's GPX, made from a list of points
// by its transform filter): their placemarks have no name, never "0".
TEST_F(KmlWrite, UnnamedRouteAndTrackWithoutNumberHaveNoName) {
  int rc = -1;
  fileatt_t* f = load_path(TM_FIXTURE_DIR "/kml/unnamed/unnamed.gpx", &rc);
  ASSERT_EQ(rc, 0);
  auto routes = of_class<route_t>(f->sot, CLS_ROUTE);
  auto tracks = of_class<tracklog_t>(f->sot, CLS_TRACKLOG);
  ASSERT_EQ(routes.size(), 1u);
  ASSERT_EQ(tracks.size(), 1u);
  ASSERT_EQ(routes[0]->number, NULL_INT);
  ASSERT_EQ(tracks[0]->number, NULL_INT);
  const std::string text = tm_test::slurp_file(write({file_get_first_folder(f, nullptr)}));
  EXPECT_FALSE(has(text, "<name>0</name>"));
  EXPECT_TRUE(has(text, "  <Placemark>\n    <styleUrl>#tmstyrte</styleUrl>\n"));
  EXPECT_TRUE(has(text, "  <Placemark>\n    <styleUrl>#tmstytrk</styleUrl>\n"));
  // A number of 0 is a number.
  routes[0]->number = 0;
  const std::string numbered = tm_test::slurp_file(write({file_get_first_folder(f, nullptr)}, "n.kml"));
  EXPECT_TRUE(has(numbered, "    <name>0</name>\n    <styleUrl>#tmstyrte</styleUrl>\n"));
}

// Lines of n points: ceil(n / 65000) parts of 65000 points of their own, each part after
// the first starting again at the last point of the one before; read back, no point and
// no segment is lost and no part is empty.
TEST_F(KmlWrite, LongLinesInPartsReadBackWhole) {
  struct Case {
    int points;
    int parts;
  };
  const Case cases[] = {{2, 1},      {64999, 1},  {65000, 1},
                        {65001, 2},  {130000, 2}, {130001, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.points);
    folder_t* top = new_top("track" + std::to_string(c.points));
    add_track(top->sot, c.points);
    const std::string path = write({top}, "t" + std::to_string(c.points) + ".kml");
    const std::string text = tm_test::slurp_file(path);
    EXPECT_EQ(count(text, "<LineString>"), c.parts);
    EXPECT_EQ(count(text, "<MultiGeometry>"), c.parts > 1 ? 1 : 0);
    int rc = -1;
    fileatt_t* back = load_path(path, &rc);
    ASSERT_EQ(rc, 0);
    auto l = lines(back);
    ASSERT_EQ(l.size(), size_t(c.parts));
    size_t total = 0;
    double expected_x = 0.0;
    for (size_t k = 0; k < l.size(); ++k) {
      auto pts = points_of(l[k]);
      ASSERT_FALSE(pts.empty());
      EXPECT_LE(pts.size(), size_t(kKmlPartPoints) + (k > 0 ? 1 : 0));
      // Each part starts where the one before ended.
      if (k > 0) expected_x -= 1e-4;
      EXPECT_NEAR(pts.front()->coords.x, expected_x, 1e-9);
      expected_x = pts.back()->coords.x + 1e-4;
      total += pts.size();
    }
    EXPECT_EQ(total, size_t(c.points + c.parts - 1));
    EXPECT_NEAR(points_of(l.back()).back()->coords.x, (c.points - 1) * 1e-4, 1e-9);
  }
}

TEST_F(KmlWrite, TrackAltitudesAndInlineLineStyle) {
  folder_t* top = new_top("alt");
  add_track(top->sot, 3, 250.0);
  auto tracks = of_class<tracklog_t>(top->sot, CLS_TRACKLOG);
  ASSERT_EQ(tracks.size(), 1u);
  tracks[0]->colour = gps_rgb(1, 2, 3);
  tracks[0]->thickness = 4;
  const std::string text = tm_test::slurp_file(write({top}));
  EXPECT_TRUE(has(text, "      <altitudeMode>absolute</altitudeMode>\n      <coordinates>\n"
                        "        0.000000000,45.000000000,250.00 0.000100000,45.000000000,250.00"));
  EXPECT_TRUE(has(text, "      <LineStyle>\n        <color>ff030201</color>\n        <width>4</width>\n"));
}

// Folders nest as they are; a folder with objects and no georeference gives error 13
// and the rest is written.
TEST_F(KmlWrite, NestedFoldersAndMissingGeoreference) {
  folder_t* top = new_top("Trip");
  folder_t* inner = new_sub(top, "Inner & co");
  obj_t* p = nullptr;
  gpsobj_new_point(CLS_POI, content(top), &p);
  static_cast<poi_t*>(p)->coords = gps_point_t{3.5, 4.5, 0.0f};
  wstr_set(u"in", &static_cast<poi_t*>(p)->name);
  share(inner, p);
  folder_t* lost = new_top("Lost", false);
  waypoint_create(1, 1, u"nowhere", nullptr, 1, 0, 0, 0.0, lost->sot, nullptr);
  const std::string path = write({top, lost});
  EXPECT_EQ(get_gblerr(), 13);
  set_gblerr(0);
  const std::string out = tm_test::slurp_file(path);
  // The sub-folder is written inside its parent, after the parent's objects.
  const size_t trip_at = out.find("<Folder>\n  <name>Trip</name>\n");
  const size_t inner_at = out.find("<Folder>\n  <name>Inner &amp; co</name>\n");
  ASSERT_NE(trip_at, std::string::npos);
  ASSERT_NE(inner_at, std::string::npos);
  EXPECT_LT(trip_at, inner_at);
  EXPECT_LT(inner_at, out.find("<Folder>\n  <name>Lost</name>"));
  EXPECT_TRUE(has(out, "<Folder>\n  <name>Lost</name>\n</Folder>\n"));
  EXPECT_FALSE(has(out, "nowhere"));
  // Read back: the same folders and the point in the inner one.
  int rc = -1;
  fileatt_t* back = load_path(path, &rc);
  ASSERT_EQ(rc, 0);
  folder_t* trip = nullptr;
  for (folder_t* d : sub_folders(file_get_first_folder(back, nullptr)))
    if (text_of(d) == u"Trip") trip = d;
  ASSERT_NE(trip, nullptr);
  folder_t* in = nullptr;
  for (folder_t* d : sub_folders(trip))
    if (text_of(d) == u"Inner & co") in = d;
  ASSERT_NE(in, nullptr);
  auto pts = of_class<poi_t>(in->sot, CLS_POI);
  ASSERT_EQ(pts.size(), 1u);
  EXPECT_EQ(text(pts[0]->name), u"in");
  EXPECT_DOUBLE_EQ(pts[0]->coords.x, 3.5);
}

TEST_F(KmlWrite, NothingForNoRootsOrAnUnwritablePath) {
  write_kml((dir_ + "none.kml").c_str(), nullptr);
  EXPECT_TRUE(tm_test::slurp_file(dir_ + "none.kml").empty());
  folder_t* top = new_top("x");
  container_t* roots = nullptr;
  obj_list_new(&roots);
  roots_.push_back(roots);
  obj_list_append(roots, top);
  write_kml("/proc/no/such/dir/out.kml", roots);
  set_gblerr(0);
}

}  // namespace

// Map data (nodes, ways and way lines) is written through the class descriptors, by
// attribute name, with the representation style of the folder's feature. The classes
// are registered here as the map model describes them when the map model has not.
class KmlWriteMapData : public KmlWrite {
 protected:
  static constexpr attr_desc kNode[] = {{"id", AT_ID},         {"type", AT_INT},
                                        {"father", AT_FATHER}, {"coords", AT_POINT},
                                        {"altitude", AT_FLOAT}, {"geoidh", AT_FLOAT},
                                        {"name", AT_WSTRING}};
  static constexpr attr_desc kWay[] = {{"id", AT_ID},         {"type", AT_INT},
                                       {"father", AT_FATHER}, {"sons", AT_LIST},
                                       {"name", AT_WSTRING}};
  static constexpr attr_desc kWayline[] = {{"id", AT_ID},         {"type", AT_INT},
                                           {"father", AT_FATHER}, {"name", AT_WSTRING},
                                           {"loicoord", AT_COORDS}};
  static inline const objdesc kNodeDesc{"node", 7, kNode};
  static inline const objdesc kWayDesc{"way", 5, kWay};
  static inline const objdesc kWaylineDesc{"wayline", 5, kWayline};

  void SetUp() override {
    KmlWrite::SetUp();
    const objdesc* d = nullptr;
    if (!obj_class_descriptor(150, &d)) obj_register_class(150, 0, &kNodeDesc);
    if (!obj_class_descriptor(151, &d)) {
      obj_register_class(151, 0, &kWayDesc);
      obj_set_tree_links(151, TREE_FATHER_AND_SONS);
    }
    if (!obj_class_descriptor(152, &d)) obj_register_class(152, 0, &kWaylineDesc);
  }
  void TearDown() override {
    for (obj_t* o : made_) {
      int type = 0, off = 0;
      const char* nm = nullptr;
      for (int i = 0; i < obj_class_attr_count(o->cls); ++i) {
        if (!obj_attr_info(o->cls, i, &type, &off, &nm)) continue;
        char* at = reinterpret_cast<char*>(o) + off;
        if (type == AT_WSTRING) {
          char16_t* s = nullptr;
          std::memcpy(&s, at, sizeof s);
          free_mem(&s);
          std::memset(at, 0, sizeof s);
        } else if (type == AT_COORDS) {
          coord_list c;
          std::memcpy(&c, at, sizeof c);
          coords_free(&c);
          std::memset(at, 0, sizeof c);
        } else if (type == AT_LIST && o->cls == 151) {
          container_t* l = nullptr;
          std::memcpy(&l, at, sizeof l);
          if (l) l->count = 0;
          free_obj(&l);
          std::memset(at, 0, sizeof l);
        }
      }
    }
    made_.clear();
    KmlWrite::TearDown();
  }
  template <class T> static void set(obj_t* o, const char* name, int type, const T& v) {
    for (int i = 0; i < obj_class_attr_count(o->cls); ++i) {
      int t = 0, off = 0;
      const char* nm = nullptr;
      if (obj_attr_info(o->cls, i, &t, &off, &nm) && t == type && nm &&
          std::strcmp(nm, name) == 0) {
        std::memcpy(reinterpret_cast<char*>(o) + off, &v, sizeof v);
        return;
      }
    }
    ADD_FAILURE() << "no attribute " << name;
  }
  obj_t* make(int cls, container_t* list, const char16_t* name) {
    obj_t* o = nullptr;
    obj_new_in_list(list, cls, &o);
    EXPECT_NE(o, nullptr);
    char16_t* s = nullptr;
    wstr_set(name, &s);
    set(o, "name", AT_WSTRING, s);
    made_.push_back(o);
    return o;
  }
  obj_t* node(container_t* list, const char16_t* name, double x, double y) {
    obj_t* o = make(150, list, name);
    set(o, "coords", AT_POINT, gps_point_t{x, y, 0.0f});
    return o;
  }
  std::vector<obj_t*> made_;
};

TEST_F(KmlWriteMapData, NodesWaysAndWayLines) {
  folder_t* top = new_top("restaurant");
  node(top->sot, u"Chez Lou", 2.25, 48.5);
  obj_t* way = make(151, top->sot, u"Rue Haute");
  container_t* sons = obj_create_sons_list(way, 0, 0, 0);
  ASSERT_NE(sons, nullptr);
  obj_list_append(sons, node(top->sot, u"n1", 2.0, 48.0));
  obj_list_append(sons, node(top->sot, u"n2", 2.1, 48.1));
  obj_t* line = make(152, top->sot, u"Quai");
  coord_list c{};
  coords_add(&c, 3.0, 49.0);
  coords_add(&c, 3.5, 49.5);
  set(line, "loicoord", AT_COORDS, c);
  const std::string text = tm_test::slurp_file(write({top}));
  EXPECT_TRUE(has(text, "  <Style id=\"tmstyrestaurant\">\n    <IconStyle>\n      <scale>0.8</scale>\n"));
  EXPECT_EQ(count(text, "<styleUrl>#tmstyrestaurant</styleUrl>"), 5);
  EXPECT_TRUE(has(text, "    <name>Chez Lou</name>\n    <styleUrl>#tmstyrestaurant</styleUrl>\n"
                        "    <Point>\n      <coordinates>2.250000000,48.500000000</coordinates>\n"));
  EXPECT_TRUE(has(text, "    <name>Rue Haute</name>\n    <styleUrl>#tmstyrestaurant</styleUrl>\n"
                        "    <LineString>\n      <coordinates>\n        2.000000000,48.000000000 "
                        "2.100000000,48.100000000\n"));
  EXPECT_TRUE(has(text, "        3.000000000,49.000000000 3.500000000,49.500000000\n"));
}

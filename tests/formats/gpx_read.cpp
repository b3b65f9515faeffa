// The GPX reader on small documents: what each element gives the objects, the Garmin and
// gpx_style extensions, elements in places where they make nothing, and hostile input.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/config.h"
#include "core/config_state.h"
#include "core/wstring.h"
#include "formats/mif.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "tests/formats/gpx_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::GpxFixture;
using tm_test::wide;

class GpxRead : public GpxFixture {};

TEST_F(GpxRead, WaypointTakesEveryValueOfItsElements) {
  const std::string comment80(80, 'c');
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<wpt lat=\"45.123456789\" lon=\"-6,5\"><ele>100</ele>"
                     "<name>Col &amp; lac</name><cmt>" + comment80 + "</cmt>"
                     "<sym>Summit</sym><extensions><gpxx:WaypointExtension>"
                     "<gpxx:Proximity>25.5</gpxx:Proximity>"
                     "<gpxx:Temperature>12.5</gpxx:Temperature><gpxx:Depth>5</gpxx:Depth>"
                     "<gpxx:DisplayMode>SymbolOnly</gpxx:DisplayMode>"
                     "</gpxx:WaypointExtension><gpx_style:text>"
                     "<gpx_style:color>10a0Ff</gpx_style:color></gpx_style:text></extensions>"
                     "</wpt>"),
                 &f),
            0);
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_DOUBLE_EQ(val(w[0]->coords.y), 45.123456789);
  EXPECT_DOUBLE_EQ(val(w[0]->coords.x), -6.5);
  EXPECT_FLOAT_EQ(val(w[0]->altitude), 95.0f);  // ele 100, depth 5
  EXPECT_FLOAT_EQ(val(w[0]->coords.z), 100.0f);
  EXPECT_EQ(wide(w[0]->name), u"Col & lac");
  EXPECT_EQ(wide(w[0]->comment), std::u16string(63, u'c'));
  EXPECT_EQ(val(w[0]->symbol), 27);
  EXPECT_DOUBLE_EQ(val(w[0]->proxim), 25.5);
  EXPECT_DOUBLE_EQ(val(w[0]->tpre), 12.5);
  EXPECT_EQ(val(w[0]->display), 1);
  EXPECT_EQ(val(w[0]->colour), gps_rgb(0x10, 0xa0, 0xff));
}

TEST_F(GpxRead, SymbolNamesAndDisplayModes) {
  struct Case {
    const char* sym;
    int symbol;
  } const symbols[] = {{"Summit", 27}, {"City (Small)", 19}, {"Drinking Water", 54},
                       {"Dot", 0},     {"summit", 0},        {"Swimming Area", 18}};
  for (const Case& c : symbols) {
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(gpx(std::string("<wpt lat=\"1\" lon=\"2\"><sym>") + c.sym + "</sym></wpt>"), &f), 0);
    ASSERT_EQ(waypoints(f).size(), 1u) << c.sym;
    EXPECT_EQ(val(waypoints(f)[0]->symbol), c.symbol) << c.sym;
  }
  struct Mode {
    const char* body;
    int display;
  } const modes[] = {
      {"<name>A</name><extensions><gpxx:WaypointExtension><gpxx:DisplayMode>"
       "SymbolAndDescription</gpxx:DisplayMode></gpxx:WaypointExtension></extensions>", 2},
      {"<extensions><gpxx:WaypointExtension><gpxx:DisplayMode>SymbolOnly</gpxx:DisplayMode>"
       "</gpxx:WaypointExtension></extensions><cmt>x</cmt>", 2},
      {"<extensions><gpxx:WaypointExtension><gpxx:DisplayMode>SymbolOnly</gpxx:DisplayMode>"
       "</gpxx:WaypointExtension></extensions><name>n</name>", 0},
      {"<extensions><gpxx:WaypointExtension><gpxx:DisplayMode>SymbolAndName</gpxx:DisplayMode>"
       "</gpxx:WaypointExtension></extensions>", 0},
  };
  for (const Mode& m : modes) {
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(gpx(std::string("<wpt lat=\"1\" lon=\"2\">") + m.body + "</wpt>"), &f), 0);
    ASSERT_EQ(waypoints(f).size(), 1u);
    EXPECT_EQ(val(waypoints(f)[0]->display), m.display) << m.body;
  }
}

TEST_F(GpxRead, TrackPointsCarryTimeSpeedAndFixData) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<trk><name>Morning</name><number>7</number><trkseg>"
                     "<trkpt lat=\"45.5\" lon=\"6.25\"><ele>100</ele>"
                     "<time>2020-05-01T10:11:12Z</time><magvar>1.5</magvar>"
                     "<geoidheight>50</geoidheight><fix>dgps</fix><sat>7</sat>"
                     "<hdop>1.2</hdop><vdop>2.5</vdop><pdop>3</pdop>"
                     "<ageofdgpsdata>4.25</ageofdgpsdata><dgpsid>12</dgpsid>"
                     "<extensions><gpxx:TrackPointExtension><gpxx:Temperature>21</gpxx:Temperature>"
                     "<gpxx:Depth>3</gpxx:Depth></gpxx:TrackPointExtension></extensions>"
                     "</trkpt><trkpt lat=\"45.6\" lon=\"6.3\"><speed>10</speed><course>90.5</course>"
                     "<fix>2d</fix></trkpt></trkseg><trkseg><trkpt lat=\"1\" lon=\"2\">"
                     "<ele>100</ele><fix>none</fix></trkpt></trkseg></trk>"),
                 &f),
            0);
  const auto t = tracklogs(f);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(wide(t[0]->name), u"Morning");
  EXPECT_EQ(val(t[0]->number), 7);
  ASSERT_EQ(obj_list_count(t[0]->sons), 2);
  const auto p = trackpoints(f);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0]->father, t[0]);
  const date_rec when = val(p[0]->time);
  int year = 0, month = 0;
  double day = 0;
  date_rec_split(&when, &year, &month, &day);
  EXPECT_EQ(year, 2020);
  EXPECT_EQ(month, 5);
  EXPECT_NEAR(day, 1.0 + (10 * 3600 + 11 * 60 + 12) / 86400.0, 1e-9);
  EXPECT_FLOAT_EQ(val(p[0]->altitude), 97.0f);  // ele 100, depth 3
  EXPECT_FLOAT_EQ(val(p[0]->coords.z), 50.0f);  // ele 100 less the geoid's 50
  EXPECT_DOUBLE_EQ(val(p[0]->tpre), 21.0);
  const auto* n = static_cast<const navigation_t*>(p[0]->navig);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(val(n->fix), 3);
  EXPECT_EQ(val(n->dgps), 1);
  EXPECT_EQ(val(n->nbsatsused), 7);
  EXPECT_DOUBLE_EQ(val(n->hdop), 1.2);
  EXPECT_DOUBLE_EQ(val(n->vdop), 2.5);
  EXPECT_DOUBLE_EQ(val(n->pdop), 3.0);
  EXPECT_DOUBLE_EQ(val(n->magvar), 1.5);
  const auto* d = static_cast<const dgps_t*>(p[0]->dgps);
  ASSERT_NE(d, nullptr);
  EXPECT_DOUBLE_EQ(val(d->ageofdgpsdata), 4.25);
  EXPECT_EQ(val(d->dgpsstation), 12);
  EXPECT_DOUBLE_EQ(val(p[1]->speed), 36.0);
  EXPECT_DOUBLE_EQ(val(p[1]->direction), 90.5);
  EXPECT_EQ(val(static_cast<const navigation_t*>(p[1]->navig)->fix), 2);
  EXPECT_EQ(val(static_cast<const navigation_t*>(p[2]->navig)->fix), 0);
  EXPECT_FLOAT_EQ(val(p[2]->coords.z), 100.0f);  // no geoid height
}

TEST_F(GpxRead, GeoidHeightAfterElevationLowersTheThirdCoordinate) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>100</ele></trkpt>"
                     "<trkpt lat=\"1\" lon=\"2\"><ele>100</ele><geoidheight>50</geoidheight>"
                     "</trkpt><trkpt lat=\"1\" lon=\"2\"><geoidheight>50</geoidheight>"
                     "</trkpt></trkseg></trk>"),
                 &f),
            0);
  const auto p = trackpoints(f);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_FLOAT_EQ(val(p[0]->coords.z), 100.0f);
  EXPECT_FLOAT_EQ(val(p[1]->altitude), 100.0f);
  EXPECT_FLOAT_EQ(val(p[1]->coords.z), 50.0f);
  EXPECT_FLOAT_EQ(val(p[2]->coords.z), 0.0f);  // no altitude: nothing to lower
  EXPECT_FLOAT_EQ(val(p[2]->geoidh), 50.0f);
}

TEST_F(GpxRead, RoutesKeepTheirPointsAndEmptyRoutesAreDropped) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<rte><name>Way</name><cmt>by the lake</cmt><number>3</number>"
                     "<rtept lat=\"1\" lon=\"2\"><name>A</name><sym>Bank</sym></rtept>"
                     "<rtept lat=\"3\" lon=\"4\"><name>B</name><ele>12</ele></rtept></rte>"
                     "<rte><name>Empty</name></rte>"),
                 &f),
            0);
  const auto r = routes(f);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(wide(r[0]->name), u"Way");
  EXPECT_EQ(wide(r[0]->comment), u"by the lake");
  EXPECT_EQ(val(r[0]->number), 3);
  ASSERT_EQ(obj_list_count(r[0]->sons), 2);
  const auto* a = static_cast<const waypoint_t*>(r[0]->sons->elems[0]);
  const auto* b = static_cast<const waypoint_t*>(r[0]->sons->elems[1]);
  EXPECT_EQ(wide(a->name), u"A");
  EXPECT_EQ(val(a->symbol), 24);
  EXPECT_DOUBLE_EQ(val(b->coords.y), 3.0);
  EXPECT_FLOAT_EQ(val(b->altitude), 12.0f);
}

// Colours by hexadecimal text (gpx_style) or by Garmin display-colour name, through the
// wrappers that enclose them.
TEST_F(GpxRead, ColoursReachTheirObjectThroughUnknownWrappers) {
  const uint32_t route_default = gps_rgb(0, 128, 0);
  const uint32_t track_default = gps_rgb(255, 0, 0);
  struct Case {
    const char* body;
    int cls;
    uint32_t colour;
  } const cases[] = {
      {"<trk><color>FF0000</color><trkseg/></trk>", CLS_TRACKLOG, gps_rgb(255, 0, 0)},
      {"<trk><color>00FF0</color></trk>", CLS_TRACKLOG, track_default},
      {"<trk><color>00FFzz</color></trk>", CLS_TRACKLOG, track_default},
      {"<trk><extensions><gpx_style:line><gpx_style:color>0000ff</gpx_style:color>"
       "</gpx_style:line></extensions></trk>", CLS_TRACKLOG, gps_rgb(0, 0, 255)},
      {"<trk><extensions><gpxx:TrackExtension><gpxx:DisplayColor>DarkRed</gpxx:DisplayColor>"
       "</gpxx:TrackExtension></extensions></trk>", CLS_TRACKLOG, default_colour_word(13)},
      {"<trk><extensions><gpxx:TrackExtension><gpxx:DisplayColor>Cyan</gpxx:DisplayColor>"
       "</gpxx:TrackExtension></extensions></trk>", CLS_TRACKLOG, default_colour_word(0)},
      {"<trk><extensions><gpxx:TrackExtension><gpxx:DisplayColor>Mauve</gpxx:DisplayColor>"
       "</gpxx:TrackExtension></extensions></trk>", CLS_TRACKLOG, default_colour_word(0)},
      {"<rte><extensions><gpxx:RouteExtension><gpxx:DisplayColor>Blue</gpxx:DisplayColor>"
       "</gpxx:RouteExtension></extensions><rtept lat=\"1\" lon=\"1\"/></rte>", CLS_ROUTE,
       route_default},
      {"<rte><extensions><gpx_style:line><gpx_style:color>102030</gpx_style:color>"
       "</gpx_style:line></extensions><rtept lat=\"1\" lon=\"1\"/></rte>", CLS_ROUTE,
       gps_rgb(0x10, 0x20, 0x30)},
      {"<wpt lat=\"1\" lon=\"1\"><extensions><gpxx:WaypointExtension><gpxx:DisplayColor>Red"
       "</gpxx:DisplayColor></gpxx:WaypointExtension></extensions></wpt>", CLS_WAYPOINT,
       gpsobj_default_colour(CLS_WAYPOINT)},
      {"<wpt lat=\"1\" lon=\"1\"><extensions><x><gpxx:DisplayColor>White</gpxx:DisplayColor>"
       "</x></extensions></wpt>", CLS_WAYPOINT, default_colour_word(1)},
  };
  for (const Case& c : cases) {
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(gpx(c.body), &f), 0) << c.body;
    const auto objects = all_of<obj_t>(f, c.cls);
    ASSERT_EQ(objects.size(), 1u) << c.body;
    uint32_t colour = 0;
    if (c.cls == CLS_TRACKLOG) colour = static_cast<tracklog_t*>(objects[0])->colour;
    if (c.cls == CLS_ROUTE) colour = static_cast<route_t*>(objects[0])->colour;
    if (c.cls == CLS_WAYPOINT) colour = static_cast<waypoint_t*>(objects[0])->colour;
    EXPECT_EQ(colour, c.colour) << c.body;
  }
}

TEST_F(GpxRead, Gpx10DocumentWithSpeedAndCourseInThePoint) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("<?xml version=\"1.0\"?>\n<gpx version=\"1.0\" creator=\"old\" "
                 "xmlns=\"http://www.topografix.com/GPX/1/0\">\n<time>2002-02-27T17:18:33Z</time>"
                 "<bounds minlat=\"42.4\" minlon=\"-71.1\" maxlat=\"42.5\" maxlon=\"-71.0\"/>"
                 "<wpt lat=\"42.438878\" lon=\"-71.119277\"><ele>44.586548</ele>"
                 "<time>2001-11-28T21:05:28Z</time><name>5066</name><desc>Crossing</desc>"
                 "<sym>Crossing</sym></wpt><trk><name>T</name><trkseg>"
                 "<trkpt lat=\"42.4\" lon=\"-71.1\"><ele>10</ele><time>2002-02-27T17:18:33Z</time>"
                 "<course>45</course><speed>2.5</speed></trkpt></trkseg></trk></gpx>\n",
                 &f),
            0);
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(wide(w[0]->name), u"5066");
  EXPECT_EQ(val(w[0]->symbol), 29);
  EXPECT_NEAR(val(w[0]->altitude), 44.586548, 1e-4);
  const auto p = trackpoints(f);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_DOUBLE_EQ(val(p[0]->speed), 9.0);
  EXPECT_DOUBLE_EQ(val(p[0]->direction), 45.0);
}

TEST_F(GpxRead, LoadedObjectsAreShownInTheFilesFolderWithStyles) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<wpt lat=\"1\" lon=\"2\"><name>W</name></wpt>"
                     "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/><trkpt lat=\"1.1\" lon=\"2\"/>"
                     "</trkseg></trk>"),
                 &f),
            0);
  folder_t* folder = file_get_first_folder(f, nullptr);
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->sot, f->sot);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_GEOREF), 1);
  EXPECT_GT(count_styles(f->sot), 0);
  EXPECT_NE(waypoints(f)[0]->icon, nullptr);
}

// The file's list holds every waypoint the read made, route points included, so the
// icons are given in one walk over it: a walk into the sons lists afterwards finds
// nothing left to give (no icon changes, no copy is added).
TEST_F(GpxRead, EveryWaypointHasItsIconAfterOneWalkOverTheList) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<wpt lat=\"1\" lon=\"2\"><sym>Summit</sym></wpt>"
                     "<rte><rtept lat=\"1\" lon=\"2\"><sym>Anchor</sym></rtept>"
                     "<rtept lat=\"1.1\" lon=\"2\"><sym>Summit</sym></rtept>"
                     "<rtept lat=\"1.2\" lon=\"2\"/></rte>"
                     "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk>"),
                 &f),
            0);
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 4u);
  std::vector<bitmap_t*> icons;
  for (waypoint_t* p : w) {
    EXPECT_NE(val(p->icon), nullptr);
    icons.push_back(val(p->icon));
  }
  EXPECT_EQ(icons[0], icons[2]);  // one copy per symbol
  EXPECT_NE(icons[0], icons[1]);
  const int bitmaps = obj_list_count_of_class(f->sot, CLS_BITMAP);
  EXPECT_EQ(bitmaps, 3);
  gpsobj_attach_icons(f->sot, CLS_WAYPOINT);  // the walk into the sons lists
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_BITMAP), bitmaps);
  for (size_t i = 0; i < w.size(); ++i) EXPECT_EQ(val(w[i]->icon), icons[i]) << i;
}

// The styles a load puts in the file's own list: a track point style per segment holding
// points and a tracklog label style; a route point style and a route label style only
// while a route keeps its points.
TEST_F(GpxRead, DefaultStylesFollowWhatTheDocumentHolds) {
  const std::string track =
      "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/><trkpt lat=\"1.1\" lon=\"2\"/></trkseg>"
      "<trkseg/></trk>";
  const std::string route = "<rte><rtept lat=\"1\" lon=\"1\"/><rtept lat=\"2\" lon=\"1\"/></rte>";
  const struct {
    std::string body;
    int track_points, track_labels, route_points, route_labels;
  } cases[] = {
      {track, 1, 1, 0, 0},
      {route, 0, 0, 1, 1},
      {track + route, 1, 1, 1, 1},
      {track + "<rte><name>Empty</name></rte>", 1, 1, 0, 0},
  };
  const auto count = [](const container_t* list, int style_cls, int typesrc) {
    int n = 0;
    for (int i = 0; i < obj_list_count(list); ++i) {
      const obj_t* o = list->elems[i];
      if (o && o->cls == style_cls && static_cast<const drawstyle_t*>(o)->typesrc == typesrc) ++n;
    }
    return n;
  };
  for (const auto& c : cases) {
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(gpx(c.body), &f), 0) << c.body;
    EXPECT_EQ(count(f->sot, CLS_DSEGPOINT, CLS_GPSPOS), c.track_points) << c.body;
    EXPECT_EQ(count(f->sot, CLS_DTEXT, CLS_TRACKLOG), c.track_labels) << c.body;
    EXPECT_EQ(count(f->sot, CLS_DSEGPOINT, CLS_WAYPOINT), c.route_points) << c.body;
    EXPECT_EQ(count(f->sot, CLS_DTEXT, CLS_ROUTE), c.route_labels) << c.body;
    free_loaded(f);
  }
}

// A track and a route that cross the 180th meridian have their labels on it, not at the
// plain mean of their longitudes (near 0), and the MIF export writes the label there.
TEST_F(GpxRead, LabelsOfLinesAcrossTheAntimeridianStayOnIt) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<trk><name>Dateline</name><trkseg><trkpt lat=\"-17\" lon=\"179.99\"/>"
                     "<trkpt lat=\"-17.2\" lon=\"-179.99\"/></trkseg></trk>"
                     "<rte><name>Ferry</name><rtept lat=\"-16\" lon=\"179.5\"/>"
                     "<rtept lat=\"-16\" lon=\"-179.7\"/></rte>"),
                 &f),
            0);
  ASSERT_EQ(tracklogs(f).size(), 1u);
  ASSERT_EQ(routes(f).size(), 1u);
  const tracklog_t* t = tracklogs(f)[0];
  const route_t* r = routes(f)[0];
  const double tx = t->txtcoord.x, ty = t->txtcoord.y, rx = r->txtcoord.x;
  EXPECT_NEAR(std::fabs(tx), 180.0, 1e-9);
  EXPECT_NEAR(ty, -17.1, 1e-9);
  EXPECT_NEAR(rx, 179.9, 1e-9);

  container_t* list = nullptr;
  obj_list_new(&list);
  obj_t* g = nullptr;
  obj_list_first_of_class(f->sot, CLS_GEOREF, &g);
  if (g) obj_list_append(list, g);
  obj_list_append(list, file_get_first_folder(f, nullptr));
  const std::string path = dir_ + "/labels.mif";
  mif_write(path.c_str(), list);
  obj_list_set_count(list, 0);
  free_obj(&list);
  EXPECT_EQ(get_gblerr(), 0);
  const std::string text = tm_test::slurp_file(path);
  for (const char* name : {"TEXT \"Dateline\"\n", "TEXT \"Ferry\"\n"}) {
    SCOPED_TRACE(name);
    const size_t at = text.find(name);
    ASSERT_NE(at, std::string::npos) << text;
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(text.c_str() + at + std::strlen(name), "%lf %lf", &x, &y), 2);
    EXPECT_GT(std::fabs(x), 179.8) << text.substr(at, 80);
    EXPECT_LT(y, -15.9);
  }
  free_loaded(f);
}

TEST_F(GpxRead, TextOutsideUtf8KeepsItsAccents) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<wpt lat=\"1\" lon=\"2\"><name>Col de l'\xC9pine</name></wpt>"
                     "<wpt lat=\"1\" lon=\"2\"><name>\xC3\x89tang</name></wpt>"),
                 &f),
            0);
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(wide(w[0]->name), u"Col de l'\u00C9pine");
  EXPECT_EQ(wide(w[1]->name), u"\u00C9tang");
}

TEST_F(GpxRead, MissingFileGivesTwo) {
  EXPECT_EQ(load_path(dir_ + "/absent.gpx"), 2);
}

// ---- Elements in places where they make nothing -------------------------------------------

// Each document loads (result 0) with exactly the objects listed; values of misplaced
// elements reach no other object.
TEST_F(GpxRead, MisplacedElementsMakeNothingAndChangeNothing) {
  struct Case {
    const char* body;
    size_t waypoints, points, routes, tracklogs;
  } const cases[] = {
      // A waypoint inside a route is no waypoint; its name and height name nothing.
      {"<rte><name>R</name><wpt lat=\"1\" lon=\"1\"><name>W</name><ele>5</ele></wpt>"
       "<rtept lat=\"1\" lon=\"1\"/></rte>", 1, 0, 1, 0},
      // A name with no object to name.
      {"<name>lost</name><wpt lat=\"1\" lon=\"1\"/><x><name>lost</name></x>", 1, 0, 0, 0},
      // A segment outside a tracklog, with points in it.
      {"<trkseg><trkpt lat=\"1\" lon=\"1\"><ele>9</ele></trkpt></trkseg>", 0, 0, 0, 0},
      // A segment of a tracklog that is not the document's own.
      {"<x><trk><trkseg><trkpt lat=\"1\" lon=\"1\"/></trkseg></trk></x>", 0, 0, 0, 0},
      // Route points of a route outside the document's root.
      {"<x><rte><rtept lat=\"1\" lon=\"1\"/></rte></x><rtept lat=\"2\" lon=\"2\"/>", 0, 0, 0, 0},
      // Track points straight in a tracklog, and a segment in a route.
      {"<trk><trkpt lat=\"1\" lon=\"1\"/></trk><rte><trkseg><trkpt lat=\"1\" lon=\"1\"/>"
       "</trkseg></rte>", 0, 0, 0, 1},
  };
  for (const Case& c : cases) {
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(gpx(c.body), &f), 0) << c.body;
    EXPECT_EQ(waypoints(f).size(), c.waypoints) << c.body;
    EXPECT_EQ(trackpoints(f).size(), c.points) << c.body;
    EXPECT_EQ(routes(f).size(), c.routes) << c.body;
    EXPECT_EQ(tracklogs(f).size(), c.tracklogs) << c.body;
  }
}

// The values of an element go to the object its own parent made, never to an object made
// earlier at the same depth or to one of another class.
TEST_F(GpxRead, ValuesNeverReachAnEarlierObject) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<wpt lat=\"1\" lon=\"1\"><name>first</name><ele>10</ele></wpt>"
                     "<trk><name>T</name><trkseg><trkpt lat=\"5\" lon=\"5\"><ele>20</ele>"
                     "</trkpt></trkseg></trk>"
                     "<x><wpt lat=\"9\" lon=\"9\"><name>second</name><ele>99</ele>"
                     "<extensions><gpxx:WaypointExtension><gpxx:Depth>50</gpxx:Depth>"
                     "<gpxx:Proximity>7</gpxx:Proximity></gpxx:WaypointExtension></extensions>"
                     "</wpt></x>"
                     "<x><trkseg><trkpt lat=\"8\" lon=\"8\"><ele>77</ele><extensions>"
                     "<gpxx:TrackPointExtension><gpxx:Temperature>3</gpxx:Temperature>"
                     "</gpxx:TrackPointExtension></extensions></trkpt></trkseg></x>"
                     "<trk><extensions><gpxx:WaypointExtension><gpxx:Depth>4</gpxx:Depth>"
                     "<gpxx:DisplayMode>SymbolOnly</gpxx:DisplayMode></gpxx:WaypointExtension>"
                     "</extensions><ele>66</ele><geoidheight>3</geoidheight></trk>"),
                 &f),
            0);
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(wide(w[0]->name), u"first");
  EXPECT_FLOAT_EQ(val(w[0]->altitude), 10.0f);
  EXPECT_EQ(val(w[0]->proxim), NULL_DOUBLE);
  EXPECT_EQ(val(w[0]->display), 0);
  const auto p = trackpoints(f);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_FLOAT_EQ(val(p[0]->altitude), 20.0f);
  EXPECT_EQ(val(p[0]->tpre), NULL_DOUBLE);
  EXPECT_FLOAT_EQ(val(p[0]->geoidh), 0.0f);
  ASSERT_EQ(tracklogs(f).size(), 2u);
  EXPECT_EQ(obj_list_count(tracklogs(f)[0]->sons), 1);
}

// A name of several megabytes is kept whole in the waypoint, whatever its characters
// (one, two and four UTF-8 bytes); the label, which is what the map draws, holds only
// the bounded prefix the drawing uses, not a second copy of the whole text.
TEST_F(GpxRead, AHugeNameIsKeptWholeAndTheLabelIsItsDrawnPrefix) {
  const struct {
    const char* name;
    std::string piece;     // UTF-8
    std::u16string units;  // the same in UTF-16
  } cases[] = {
      {"ASCII", "Ab", u"Ab"},
      {"two-byte characters", "\xC3\xA9", u"\u00E9"},
      {"pairs", "\xF0\x9F\x98\x80", u"\U0001F600"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    constexpr size_t kRepeat = (size_t(3) << 20) / 2;
    std::string text;
    text.reserve(c.piece.size() * kRepeat);
    for (size_t i = 0; i < kRepeat; ++i) text += c.piece;
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(gpx("<wpt lat=\"1\" lon=\"2\"><name>" + text + "</name></wpt>"), &f), 0);
    const auto w = waypoints(f);
    ASSERT_EQ(w.size(), 1u);
    ASSERT_NE(w[0]->name, nullptr);
    const std::u16string name(w[0]->name);
    ASSERT_EQ(name.size(), c.units.size() * kRepeat);
    size_t wrong = 0;
    for (size_t i = 0; i < name.size(); ++i)
      if (name[i] != c.units[i % c.units.size()]) ++wrong;
    EXPECT_EQ(wrong, 0u);
    ASSERT_NE(w[0]->label, nullptr);
    const std::u16string label(w[0]->label);
    EXPECT_EQ(label.size(), size_t(label_units(w[0]->name)));
    EXPECT_LE(label.size(), size_t(kLabelMaxUnits));
    EXPECT_EQ(label, name.substr(0, label.size()));
    free_loaded(f);
  }
}

// A short name is its own label.
TEST_F(GpxRead, AShortNameIsItsLabel) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<wpt lat=\"1\" lon=\"2\"><name>Col du Lautaret</name></wpt>"), &f), 0);
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 1u);
  ASSERT_NE(w[0]->label, nullptr);
  EXPECT_EQ(std::u16string(w[0]->label), u"Col du Lautaret");
}

// Nesting far past the engine's stack: the objects before and after it load.
TEST_F(GpxRead, DeepNestingLoadsTheRest) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += (i % 2) ? "<trk>" : "<wpt lat=\"1\" lon=\"1\">";
  deep += "<name>deep</name>";
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(gpx("<wpt lat=\"3\" lon=\"4\"><name>before</name></wpt><x>" + deep +
                     "</x><wpt lat=\"5\" lon=\"6\"><name>after</name></wpt>"),
                 &f),
            0);
  // The nested elements are never closed, so the last waypoint is no child of the root.
  const auto w = waypoints(f);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(wide(w[0]->name), u"before");
}

// A file whose objects would leave less than the reader's margin of the memory budget
// stops with "not enough memory" (the budget here: a ceiling 100 MB above what the
// process held before).
TEST_F(GpxRead, ObjectsBeyondTheMemoryBudgetStopTheRead) {
  std::string points;
  for (int i = 0; i < 5000; ++i) points += "<trkpt lat=\"1\" lon=\"2\"/>";
  const std::string doc = gpx("<trk><trkseg>" + points + "</trkseg></trk>");
  // The ceiling: 100 MB above what the process holds before the block below.
  const std::string ceiling = tm_test::maxmem_above_held(100);
  if (ceiling.empty()) GTEST_SKIP() << "the process already holds more than the largest memory ceiling";
  constexpr size_t kHeld = size_t(160) << 20;
  auto held = std::make_unique<char[]>(kHeld);
  std::memset(held.get(), 1, kHeld);  // resident, so counted as committed
  config_set("MAXMEM", ceiling.c_str());
  config_detail::forget_maxmem();
  const int result = load(doc);
  config_set("MAXMEM", "1500");  // the default ceiling
  config_detail::forget_maxmem();
  EXPECT_EQ(result, 1);
  fileatt_t* f = nullptr;
  EXPECT_EQ(load(doc, &f), 0);
  EXPECT_EQ(trackpoints(f).size(), 5000u);
}

}  // namespace

// The GPX writer: its exact lines for a small folder, the bounds, the cases where it
// writes nothing or leaves a folder out, and what it writes read back by our reader.
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "core/dates.h"
#include "core/wstring.h"
#include "tests/formats/gpx_fixture.h"

namespace {

using tm_test::slurp_file;

using tm_test::GpxFixture;
using tm_test::wide;

class GpxWrite : public GpxFixture {
 protected:
  // The written text with the metadata's time of writing replaced by "NOW" (checked to
  // be an ISO date and time in UTC first).
  static std::string without_now(std::string text) {
    const size_t at = text.find("    <time>");
    if (at == std::string::npos) return text;
    const size_t end = text.find("</time>", at);
    const std::string now = text.substr(at + 10, end - at - 10);
    EXPECT_EQ(now.size(), 20u) << now;
    EXPECT_EQ(now[10], 'T');
    EXPECT_EQ(now.back(), 'Z');
    return text.replace(at + 10, end - at - 10, "NOW");
  }
  // A list of roots holding the folders given (freed at the end).
  container_t* roots(std::initializer_list<folder_t*> folders) {
    container_t* r = new_list_of_refs();
    for (folder_t* d : folders) obj_list_append(r, d);
    return r;
  }
  // A list that a file made by new_file takes in ownership.
  static container_t* file_list() {
    container_t* l = nullptr;
    obj_list_new(&l);
    return l;
  }
  container_t* new_list_of_refs() {
    container_t* r = nullptr;
    obj_list_new(&r);
    refs_.push_back(r);
    return r;
  }
  void TearDown() override {
    for (container_t* r : refs_) free_obj(&r);
    GpxFixture::TearDown();
  }
  static date_rec at(int h, int m, int s) {
    date_rec d;
    return *parse_date_iso_rec(&d, ("2020-05-01T" + std::to_string(100 + h).substr(1) + ":" +
                                    std::to_string(100 + m).substr(1) + ":" +
                                    std::to_string(100 + s).substr(1) + "Z")
                                       .c_str());
  }

 private:
  std::vector<container_t*> refs_;
};

std::string colour_hex(uint32_t c) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x%02x%02x", c & 255u, (c >> 8) & 255u, (c >> 16) & 255u);
  return text;
}

const char kHead[] =
    "<?xml version=\"1.0\" standalone=\"yes\" ?>\n"
    "<gpx version=\"1.1\"\n"
    "     creator=\"Tarmelo v5.0.0 - http://www.tarmelo.net\"\n"
    "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
    "     xmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\"\n"
    "     xmlns:gpx_style=\"http://www.topografix.com/GPX/gpx_style/0/2\"\n"
    "     xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
    "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
    "http://www.topografix.com/GPX/1/1/gpx.xsd\n"
    "     http://www.garmin.com/xmlschemas/GpxExtensions/v3 "
    "http://www.garmin.com/xmlschemas/GpxExtensionsv3.xsd     "
    "http://www.topografix.com/GPX/gpx_style/0/2 "
    "http://www.topografix.com/GPX/gpx_style/0/2/gpx_style.xsd\">\n"
    "  <metadata>\n"
    "    <time>NOW</time>\n";

TEST_F(GpxWrite, SmallFolderGivesTheseExactLines) {
  container_t* list = file_list();
  add_georef(list);
  waypoint_t* w = nullptr;
  waypoint_create(6.5, 45.25, u"A&B", u"note", 1, 27, 2, 100.0, list, &w);
  w->colour = gps_rgb(0x11, 0x22, 0x33);
  w->time = at(10, 11, 12);
  route_t* r = nullptr;
  route_create(list, &r);
  wstr_set(u"R", &r->name);
  r->number = 3;
  r->colour = gps_rgb(1, 2, 3);
  waypoint_t* rp = nullptr;
  waypoint_create(1.0, 2.0, nullptr, nullptr, 1, 8, 0, 0.0, list, &rp);
  obj_list_append(r->sons, rp);
  tracklog_t* t = nullptr;
  tracklog_create(list, &t);
  wstr_set(u"T", &t->name);
  trackseg_t* s = nullptr;
  trackseg_create(t, list, &s);
  const date_rec when = at(10, 11, 12);
  gpspos_t* p = nullptr;
  gpspos_create(6.25, 45.5, &when, 12.5, s, list, &p);
  p->speed = 36.0;
  p->direction = 90.0;
  obj_t* nav = nullptr;
  alloc_obj(CLS_NAVIGATION, &nav);
  p->navig = nav;
  static_cast<navigation_t*>(nav)->fix = 1;
  static_cast<navigation_t*>(nav)->nbsatsused = 5;
  static_cast<navigation_t*>(nav)->hdop = 1.5;
  obj_t* dgps = nullptr;
  alloc_obj(CLS_DGPS, &dgps);
  p->dgps = dgps;
  static_cast<dgps_t*>(dgps)->ageofdgpsdata = 2.5;
  static_cast<dgps_t*>(dgps)->dgpsstation = 7;
  fileatt_t* f = new_file(list);

  const std::string path = dir_ + "/out.gpx";
  write_gpx(path.c_str(), roots({first_folder(f)}));
  ASSERT_EQ(get_gblerr(), 0);
  const std::string expected = std::string(kHead) +
      "    <bounds minlat=\"2.000000000\" minlon=\"1.000000000\" "
      "maxlat=\"45.500000000\" maxlon=\"6.500000000\" />\n"
      "  </metadata>\n"
      "  <wpt lat=\"45.250000000\" lon=\"6.500000000\">\n"
      "    <ele>100.00</ele>\n"
      "    <time>2020-05-01T10:11:12Z</time>\n"
      "    <name>A&amp;B</name>\n"
      "    <cmt>note</cmt>\n"
      "    <sym>Rock</sym>\n"
      "    <extensions>\n"
      "      <gpxx:WaypointExtension>\n"
      "        <gpxx:DisplayMode>SymbolAndDescription</gpxx:DisplayMode>\n"
      "      </gpxx:WaypointExtension>\n"
      "      <gpx_style:text>\n"
      "        <gpx_style:color>112233</gpx_style:color>\n"
      "      </gpx_style:text>\n"
      "    </extensions>\n"
      "  </wpt>\n"
      "  <rte>\n"
      "    <name>R</name>\n"
      "    <number>3</number>\n"
      "    <extensions>\n"
      "      <gpx_style:line>\n"
      "        <gpx_style:color>010203</gpx_style:color>\n"
      "      </gpx_style:line>\n"
      "      <gpx_style:text>\n"
      "        <gpx_style:color>010203</gpx_style:color>\n"
      "      </gpx_style:text>\n"
      "    </extensions>\n"
      "  <rtept lat=\"2.000000000\" lon=\"1.000000000\">\n"
      "    <sym>Dot</sym>\n"
      "    <extensions>\n"
      "      <gpxx:WaypointExtension>\n"
      "        <gpxx:DisplayMode>SymbolAndName</gpxx:DisplayMode>\n"
      "      </gpxx:WaypointExtension>\n"
      "      <gpx_style:text>\n"
      "        <gpx_style:color>" + colour_hex(gpsobj_default_colour(CLS_WAYPOINT)) +
      "</gpx_style:color>\n"
      "      </gpx_style:text>\n"
      "    </extensions>\n"
      "  </rtept>\n"
      "  </rte>\n"
      "  <trk>\n"
      "    <name>T</name>\n"
      "    <extensions>\n"
      "      <gpx_style:line>\n"
      "        <gpx_style:color>ff0000</gpx_style:color>\n"
      "      </gpx_style:line>\n"
      "      <gpx_style:text>\n"
      "        <gpx_style:color>ff0000</gpx_style:color>\n"
      "      </gpx_style:text>\n"
      "    </extensions>\n"
      "    <trkseg>\n"
      "      <trkpt lat=\"45.500000000\" lon=\"6.250000000\">\n"
      "        <ele>12.50</ele>\n"
      "        <time>2020-05-01T10:11:12Z</time>\n"
      "<!--\n"
      "        <speed>10.00</speed>\n"
      "        <course>90.00</course>\n"
      "-->\n"
      "        <sat>5</sat>\n"
      "        <hdop>1.50</hdop>\n"
      "        <ageofdgpsdata>2.500</ageofdgpsdata>\n"
      "        <dgpsid>7</dgpsid>\n"
      "      </trkpt>\n"
      "    </trkseg>\n"
      "  </trk>\n"
      "</gpx>";
  EXPECT_EQ(without_now(slurp_file(path)), expected);
}

// A navigation segment (a live track) is written as a track of one segment in the default
// colour of track points.
TEST_F(GpxWrite, NavigationSegmentBecomesATrack) {
  container_t* list = file_list();
  add_georef(list);
  obj_t* nav = nullptr;
  obj_new_in_list(list, CLS_NAVSEG, &nav);
  container_t* points = obj_create_sons_list(nav, 0, 0, 0);
  gpspos_t* p = nullptr;
  gpspos_create(7.5, 46.25, nullptr, 0.0, nullptr, list, &p);
  obj_list_append(points, p);
  fileatt_t* f = new_file(list);
  const std::string path = dir_ + "/nav.gpx";
  write_gpx(path.c_str(), roots({first_folder(f)}));
  ASSERT_EQ(get_gblerr(), 0);
  const std::string text = slurp_file(path);
  const std::string expected =
      "  </metadata>\n"
      "  <trk>\n"
      "    <extensions>\n"
      "      <gpx_style:line>\n"
      "        <gpx_style:color>" + colour_hex(gpsobj_default_colour(CLS_GPSPOS)) +
      "</gpx_style:color>\n"
      "      </gpx_style:line>\n"
      "    </extensions>\n"
      "    <trkseg>\n"
      "      <trkpt lat=\"46.250000000\" lon=\"7.500000000\">\n"
      "      </trkpt>\n"
      "    </trkseg>\n"
      "  </trk>\n"
      "</gpx>";
  ASSERT_GE(text.size(), expected.size());
  EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
}

TEST_F(GpxWrite, EmptyRootListWritesZeroBounds) {
  const std::string path = dir_ + "/empty.gpx";
  write_gpx(path.c_str(), roots({}));
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(without_now(slurp_file(path)),
            std::string(kHead) +
                "    <bounds minlat=\"0.000000000\" minlon=\"0.000000000\" "
                "maxlat=\"0.000000000\" maxlon=\"0.000000000\" />\n"
                "  </metadata>\n</gpx>");
}

TEST_F(GpxWrite, NothingIsWrittenWithoutRootsOrWithoutAFile) {
  const std::string path = dir_ + "/none.gpx";
  write_gpx(path.c_str(), nullptr);
  EXPECT_FALSE(std::ifstream(path).good());
  // A path below a regular file cannot be created.
  const std::string blocked = put("x", "plain") + "/sub/out.gpx";
  write_gpx(blocked.c_str(), roots({}));
  EXPECT_FALSE(std::ifstream(blocked).good());
  EXPECT_EQ(get_gblerr(), 2);  // a file that cannot be made is a failure to report
  set_gblerr(0);
}

TEST_F(GpxWrite, FolderWithoutGeoreferenceIsLeftOut) {
  container_t* bare = file_list();
  waypoint_create(1.0, 2.0, u"lost", nullptr, 1, 0, 0, 0.0, bare, nullptr);
  container_t* placed = file_list();
  add_georef(placed);
  waypoint_create(3.0, 4.0, u"kept", nullptr, 1, 0, 0, 0.0, placed, nullptr);
  fileatt_t* a = new_file(bare);
  fileatt_t* b = new_file(placed);
  const std::string path = dir_ + "/partial.gpx";
  write_gpx(path.c_str(), roots({first_folder(a), first_folder(b)}));
  EXPECT_EQ(get_gblerr(), 13);
  set_gblerr(0);
  const std::string text = slurp_file(path);
  EXPECT_EQ(text.find("lost"), std::string::npos);
  EXPECT_NE(text.find("<name>kept</name>"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 6), "</gpx>");
}

// A folder in UTM zone 31 is written in geographic WGS 84 degrees (positions from PROJ,
// through pyproj: EPSG:32631 to EPSG:4326), its bounds too.
TEST_F(GpxWrite, ProjectedFolderIsWrittenInGeographicDegrees) {
  container_t* list = file_list();
  add_utm_georef(list, 31);
  waypoint_create(500000.0, 5000000.0, u"north", nullptr, 1, 0, 0, 0.0, list, nullptr);
  tracklog_t* t = nullptr;
  tracklog_create(list, &t);
  trackseg_t* s = nullptr;
  trackseg_create(t, list, &s);
  gpspos_create(400000.0, 4000000.0, nullptr, 0.0, s, list, nullptr);
  fileatt_t* f = new_file(list);
  const std::string path = dir_ + "/utm.gpx";
  write_gpx(path.c_str(), roots({first_folder(f)}));
  ASSERT_EQ(get_gblerr(), 0);
  const std::string text = slurp_file(path);
  EXPECT_NE(text.find("<bounds minlat=\"36.13956"), std::string::npos) << text;
  fileatt_t* back = nullptr;
  ASSERT_EQ(load_path(path, &back), 0);
  ASSERT_EQ(waypoints(back).size(), 1u);
  ASSERT_EQ(trackpoints(back).size(), 1u);
  EXPECT_NEAR(val(waypoints(back)[0]->coords.x), 3.0, 1e-8);
  EXPECT_NEAR(val(waypoints(back)[0]->coords.y), 45.153477183, 1e-8);
  EXPECT_NEAR(val(trackpoints(back)[0]->coords.x), 1.888521968, 1e-8);
  EXPECT_NEAR(val(trackpoints(back)[0]->coords.y), 36.139560450, 1e-8);
}

// Everything the writer writes comes back through the reader: positions to 1e-9 degree,
// heights to the centimetre, times, names, symbols, colours and display modes.
TEST_F(GpxWrite, ReaderGetsBackWhatTheWriterWrote) {
  fileatt_t* src = nullptr;
  ASSERT_EQ(load(gpx("<wpt lat=\"45.123456789\" lon=\"6.987654321\"><ele>1234.56</ele>"
                     "<name>Été &lt;1&gt;</name><cmt>c</cmt><sym>Bank</sym><extensions>"
                     "<gpxx:WaypointExtension><gpxx:DisplayMode>SymbolOnly</gpxx:DisplayMode>"
                     "</gpxx:WaypointExtension><gpx_style:text><gpx_style:color>abcdef"
                     "</gpx_style:color></gpx_style:text></extensions></wpt>"
                     "<wpt lat=\"-33.5\" lon=\"-70.25\"><name>B</name><extensions>"
                     "<gpxx:WaypointExtension><gpxx:DisplayMode>SymbolAndDescription"
                     "</gpxx:DisplayMode></gpxx:WaypointExtension></extensions></wpt>"
                     "<rte><name>R</name><color>00ff00</color><rtept lat=\"1.000000001\" "
                     "lon=\"2\"><name>R1</name></rtept><rtept lat=\"3\" lon=\"4\"/></rte>"
                     "<trk><name>T</name><number>4</number><color>123456</color><trkseg>"
                     "<trkpt lat=\"10.111111111\" lon=\"20.222222222\"><ele>5.5</ele>"
                     "<time>2021-03-04T05:06:07Z</time><speed>2.5</speed><course>180</course>"
                     "<geoidheight>48.25</geoidheight><fix>3d</fix><sat>9</sat><hdop>0.8</hdop>"
                     "<ageofdgpsdata>1.5</ageofdgpsdata><dgpsid>33</dgpsid></trkpt>"
                     "<trkpt lat=\"10.2\" lon=\"20.3\"><time>2021-03-04T05:06:08.250Z</time>"
                     "</trkpt></trkseg></trk>"),
                 &src),
            0);
  const std::string path = dir_ + "/round.gpx";
  write_gpx(path.c_str(), roots({first_folder(src)}));
  ASSERT_EQ(get_gblerr(), 0);
  fileatt_t* back = nullptr;
  ASSERT_EQ(load_path(path, &back), 0);

  const auto w0 = waypoints(src), w1 = waypoints(back);
  ASSERT_EQ(w0.size(), w1.size());
  for (size_t i = 0; i < w0.size(); ++i) {
    EXPECT_NEAR(val(w1[i]->coords.y), val(w0[i]->coords.y), 1e-9);
    EXPECT_NEAR(val(w1[i]->coords.x), val(w0[i]->coords.x), 1e-9);
    EXPECT_NEAR(val(w1[i]->altitude), val(w0[i]->altitude), 0.005);
    EXPECT_EQ(wide(w1[i]->name), wide(w0[i]->name));
    EXPECT_EQ(val(w1[i]->symbol), val(w0[i]->symbol));
    EXPECT_EQ(val(w1[i]->colour), val(w0[i]->colour));
    // A name read after the display mode sets it back to 0; the writer puts names first.
    EXPECT_EQ(val(w1[i]->display), val(w0[i]->display));
  }
  const auto r0 = routes(src), r1 = routes(back);
  ASSERT_EQ(r1.size(), 1u);
  EXPECT_EQ(val(r1[0]->colour), val(r0[0]->colour));
  ASSERT_EQ(obj_list_count(r1[0]->sons), 2);
  EXPECT_NEAR(val(static_cast<waypoint_t*>(r1[0]->sons->elems[0])->coords.y), 1.000000001, 1e-12);
  const auto t0 = tracklogs(src), t1 = tracklogs(back);
  ASSERT_EQ(t1.size(), 1u);
  EXPECT_EQ(wide(t1[0]->name), u"T");
  EXPECT_EQ(val(t1[0]->number), 4);
  EXPECT_EQ(val(t1[0]->colour), val(t0[0]->colour));
  const auto p0 = trackpoints(src), p1 = trackpoints(back);
  ASSERT_EQ(p1.size(), p0.size());
  for (size_t i = 0; i < p0.size(); ++i) {
    EXPECT_NEAR(val(p1[i]->coords.y), val(p0[i]->coords.y), 1e-9);
    EXPECT_NEAR(val(p1[i]->coords.x), val(p0[i]->coords.x), 1e-9);
    EXPECT_NEAR(val(p1[i]->altitude), val(p0[i]->altitude), 0.005);
    EXPECT_NEAR(val(p1[i]->geoidh), val(p0[i]->geoidh), 0.005);
    EXPECT_NEAR(val(p1[i]->time).day, val(p0[i]->time).day, 1e-8);
    EXPECT_EQ(val(p1[i]->time).date == 0.0, val(p0[i]->time).date == 0.0);
  }
  // Speed and course are written inside a comment: they do not come back.
  EXPECT_EQ(val(p1[0]->speed), NULL_DOUBLE);
  const auto* n = static_cast<const navigation_t*>(p1[0]->navig);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(val(n->fix), 3);
  EXPECT_EQ(val(n->nbsatsused), 9);
  EXPECT_NEAR(val(n->hdop), 0.8, 1e-9);
  const auto* d = static_cast<const dgps_t*>(p1[0]->dgps);
  ASSERT_NE(d, nullptr);
  EXPECT_NEAR(val(d->ageofdgpsdata), 1.5, 1e-9);
  EXPECT_EQ(val(d->dgpsstation), 33);
}

}  // namespace

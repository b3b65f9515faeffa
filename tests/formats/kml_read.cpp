// The KML reader on small documents: placemarks, coordinates, feature texts and times,
// styles (new and old forms, style maps, undefined references, short colours), polygon
// rings, geometry inside elements outside the dictionary, folders, and hostile input
// (deep nesting, huge texts and counts, truncation).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "core/config.h"
#include "core/config_state.h"
#include "core/dates.h"
#include "core/xml.h"
#include "tests/formats/kml_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::KmlFixture;

class KmlRead : public KmlFixture {};

TEST_F(KmlRead, PointPlacemarkTakesNameDescriptionTimeAndCoordinates) {
  int rc = -1;
  fileatt_t* f = load(kml(placemark(
                          "<name>Summit &amp; hut</name><description>Long text</description>"
                          "<TimeStamp><when>2024-05-06T07:08:09Z</when></TimeStamp>"
                          "<Point><coordinates>6.5,45.25,1234.5</coordinates></Point>")),
                      &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(file_get_format(f), 38u);
  auto p = pois(f);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(text(+(p[0]->name)), u"Summit & hut");
  EXPECT_EQ(text(+(p[0]->comment)), u"Long text");
  EXPECT_DOUBLE_EQ(+(p[0]->coords.x), 6.5);
  EXPECT_DOUBLE_EQ(+(p[0]->coords.y), 45.25);
  EXPECT_FLOAT_EQ(+(p[0]->coords.z), 1234.5f);
  EXPECT_FLOAT_EQ(+(p[0]->altitude), 1234.5f);
  EXPECT_EQ(+(p[0]->icosize.w), 32);
  EXPECT_EQ(+(p[0]->icosize.h), 32);
  date_rec expected{};
  parse_date_iso_rec(&expected, "2024-05-06T07:08:09Z");
  EXPECT_DOUBLE_EQ(+(p[0]->time.day), expected.day);
  EXPECT_EQ(+(p[0]->colour), gpsobj_default_colour(CLS_POI));
  // Read as geographic WGS 84.
  int it = 0;
  obj_t* g = nullptr;
  EXPECT_NE(obj_list_next_of_type(+(f->sot), 46, &it, &g), nullptr);
}

TEST_F(KmlRead, CoordinatesWithAndWithoutAltitude) {
  int rc = -1;
  fileatt_t* f = load(kml(placemark(
                          "<LineString><coordinates>\n 1.5,2.5,30 \n\t-3.25,4.75\n</coordinates>"
                          "</LineString>")),
                      &rc);
  ASSERT_EQ(rc, 0);
  auto l = lines(f);
  ASSERT_EQ(l.size(), 1u);
  auto pts = points_of(l[0]);
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_DOUBLE_EQ(+(pts[0]->coords.x), 1.5);
  EXPECT_DOUBLE_EQ(+(pts[0]->coords.y), 2.5);
  EXPECT_FLOAT_EQ(+(pts[0]->altitude), 30.0f);
  EXPECT_DOUBLE_EQ(+(pts[1]->coords.x), -3.25);
  EXPECT_DOUBLE_EQ(+(pts[1]->coords.y), 4.75);
  EXPECT_FLOAT_EQ(+(pts[1]->altitude), 0.0f);
  EXPECT_EQ(+(pts[0]->pere), l[0]);
}

// Texts are read in the document's declared encoding.
TEST_F(KmlRead, DeclaredEncoding) {
  int rc = -1;
  fileatt_t* f = load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<kml><Document><Folder>"
                      "<name>Eau \xE0 boire</name><Placemark><name>\xC9t\xE9</name><Point>"
                      "<coordinates>1,2</coordinates></Point></Placemark></Folder></Document></kml>",
                      &rc);
  ASSERT_EQ(rc, 0);
  auto p = pois(f);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(text(p[0]->name), u"\u00C9t\u00E9");
  bool named = false;
  for (folder_t* d : sub_folders(file_get_first_folder(f, nullptr)))
    named = named || text_of(d) == u"Eau \u00E0 boire";
  EXPECT_TRUE(named);
}

// A description after a snippet is ignored; a snippet after a description replaces it.
TEST_F(KmlRead, SnippetAndDescriptionOrder) {
  fileatt_t* f = load(kml(placemark("<name>A</name><snippet>S1</snippet><description>D1</description>"
                                    "<Point><coordinates>1,2</coordinates></Point>") +
                          placemark("<name>B</name><description>D2</description><snippet>S2</snippet>"
                                    "<Point><coordinates>1,2</coordinates></Point>")));
  auto p = pois(f);
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(text(+(p[0]->comment)), u"S1");
  EXPECT_EQ(text(+(p[1]->comment)), u"S2");
}

TEST_F(KmlRead, LineStyleColourIsReadAsAlphaBlueGreenRed) {
  fileatt_t* f = load(kml("<Style id=\"red\"><LineStyle><color>ff0000ff</color><width>5</width>"
                          "</LineStyle></Style>" +
                          placemark("<styleUrl>#red</styleUrl><LineString><coordinates>0,0 1,1"
                                    "</coordinates></LineString>")));
  auto l = lines(f);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(+(l[0]->colour), gps_rgb(255, 0, 0));
  EXPECT_EQ(+(l[0]->thickness), 5);
}

// A colour shorter than eight hexadecimal digits is not read past its end: the colour
// stays what it was.
TEST_F(KmlRead, ShortOrBadColourKeepsTheOldColour) {
  struct Case {
    const char* colour;
    uint32_t expected;
  };
  const uint32_t old = gps_rgb(0x12, 0x34, 0x56);
  const Case cases[] = {
      {"ff563412", old},     {"#ff563412", old}, {"ff5634", old}, {"f", old},
      {"", old},             {"ff56341z", old},  {"#", old},      {"ff00ff00", gps_rgb(0, 255, 0)},
      {"00FF0000", gps_rgb(0, 0, 255)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colour);
    fileatt_t* f = load(kml(placemark(std::string("<Style><LineStyle><color>ff563412</color></LineStyle>"
                                                  "<LineStyle><color>") +
                                      c.colour + "</color></LineStyle></Style>"
                                                 "<LineString><coordinates>0,0 1,1</coordinates>"
                                                 "</LineString>")),
                        nullptr, std::string("c") + std::to_string(&c - cases) + ".kml");
    auto l = lines(f);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(+(l[0]->colour), c.expected);
  }
  // The parse itself, on texts ending at every length.
  uint32_t colour = 7;
  const std::string full = "#80aabbcc";
  for (size_t n = 0; n < full.size(); ++n) {
    EXPECT_EQ(kml_parse_colour(full.substr(0, n).c_str(), &colour), 0);
    EXPECT_EQ(colour, 7u);
  }
  EXPECT_EQ(kml_parse_colour(full.c_str(), &colour), 1);
  EXPECT_EQ(colour, gps_rgb(0xcc, 0xbb, 0xaa));
}

TEST_F(KmlRead, InlineStyleColoursPointAndOldFormColours) {
  fileatt_t* f = load(kml(
      placemark("<Style><IconStyle><color>ff00ff00</color><scale>2.5</scale></IconStyle></Style>"
                "<Point><coordinates>1,2</coordinates></Point>") +
      placemark("<Style><LabelStyle><color>ffff0000</color></LabelStyle></Style>"
                "<Point><coordinates>1,2</coordinates></Point>") +
      placemark("<Style><labelColor>ff0000ff</labelColor></Style>"
                "<Point><coordinates>1,2</coordinates></Point>") +
      placemark("<Style><geomColor>ff00ffff</geomColor><geomScale>7</geomScale></Style>"
                "<LineString><coordinates>0,0 1,1</coordinates></LineString>") +
      // A placemark without style gets the default again.
      placemark("<Point><coordinates>1,2</coordinates></Point>")));
  auto p = pois(f);
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(+(p[0]->colour), gps_rgb(0, 255, 0));
  EXPECT_DOUBLE_EQ(+(p[0]->icoscale), 2.5);
  EXPECT_EQ(+(p[1]->colour), gps_rgb(0, 0, 255));
  EXPECT_EQ(+(p[2]->colour), gps_rgb(255, 0, 0));
  EXPECT_EQ(+(p[3]->colour), gpsobj_default_colour(CLS_POI));
  EXPECT_DOUBLE_EQ(+(p[3]->icoscale), 1.0);
  auto l = lines(f);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(+(l[0]->colour), gps_rgb(255, 255, 0));
  EXPECT_EQ(+(l[0]->thickness), 7);
}

// Colour elements after the geometry change the current object too.
TEST_F(KmlRead, StyleAfterGeometryColoursTheCurrentObject) {
  fileatt_t* f = load(kml(placemark("<LineString><coordinates>0,0 1,1</coordinates></LineString>"
                                    "<Style><LineStyle><color>ff0000ff</color><width>9</width>"
                                    "</LineStyle></Style>")));
  auto l = lines(f);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(+(l[0]->colour), gps_rgb(255, 0, 0));
  EXPECT_EQ(+(l[0]->thickness), 9);
}

// Style elements where no style is open change no style: the placemarks without style
// keep the defaults.
TEST_F(KmlRead, StrayStyleValuesLeaveTheDefaultStyle) {
  fileatt_t* f = load(kml("<IconStyle><color>ff0000ff</color><scale>9</scale></IconStyle>"
                          "<LineStyle><color>ff0000ff</color><width>9</width></LineStyle>"
                          "<PolyStyle><fill>1</fill></PolyStyle>" +
                          placemark("<Point><coordinates>1,2</coordinates></Point>") +
                          placemark("<LineString><coordinates>0,0 1,1</coordinates></LineString>")));
  auto p = pois(f);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(+(p[0]->colour), gpsobj_default_colour(CLS_POI));
  EXPECT_DOUBLE_EQ(p[0]->icoscale, 1.0);
  auto l = lines(f);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(+(l[0]->colour), gpsobj_default_colour(CLS_LOIS));
  EXPECT_EQ(+(l[0]->thickness), 2);
}

TEST_F(KmlRead, StyleUrlNamingNoStyleLeavesTheDefault) {
  fileatt_t* f = load(kml("<Style id=\"s\"><LineStyle><color>ff0000ff</color></LineStyle></Style>" +
                          placemark("<styleUrl>#nothing</styleUrl><LineString><coordinates>0,0 1,1"
                                    "</coordinates></LineString>") +
                          placemark("<styleUrl>s</styleUrl><LineString><coordinates>0,0 1,1"
                                    "</coordinates></LineString>")));
  auto l = lines(f);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(+(l[0]->colour), gpsobj_default_colour(CLS_LOIS));
  EXPECT_EQ(+(l[1]->colour), gpsobj_default_colour(CLS_LOIS));  // no '#': not a reference
}

TEST_F(KmlRead, StyleMapTakesItsNormalStyle) {
  fileatt_t* f = load(kml(
      "<Style id=\"n\"><LineStyle><color>ff00ff00</color><width>4</width></LineStyle></Style>"
      "<Style id=\"h\"><LineStyle><color>ff0000ff</color></LineStyle></Style>"
      "<StyleMap id=\"m\"><Pair><key>normal</key><styleUrl>#n</styleUrl></Pair>"
      "<Pair><key>highlight</key><styleUrl>#h</styleUrl></Pair></StyleMap>"
      "<StyleMap id=\"m2\"><Pair><key>highlight</key><styleUrl>#h</styleUrl></Pair>"
      "<Pair><key>normal</key><styleUrl>#n</styleUrl></Pair></StyleMap>" +
      placemark("<styleUrl>#m</styleUrl><LineString><coordinates>0,0 1,1</coordinates></LineString>") +
      placemark("<styleUrl>#m2</styleUrl><LineString><coordinates>0,0 1,1</coordinates></LineString>")));
  auto l = lines(f);
  ASSERT_EQ(l.size(), 2u);
  for (lois_t* x : l) {
    EXPECT_EQ(+(x->colour), gps_rgb(0, 255, 0));
    EXPECT_EQ(+(x->thickness), 4);
  }
}

// A "fill" of 0 still sets the fill flag; the outer ring takes the polygon colour and
// the fill, an inner ring neither; rings inside a MultiGeometry are read.
TEST_F(KmlRead, PolygonRingsAndFill) {
  fileatt_t* f = load(kml(
      "<Style id=\"p\"><PolyStyle><color>7f00ff00</color><fill>0</fill></PolyStyle></Style>" +
      placemark("<styleUrl>#p</styleUrl><MultiGeometry><Polygon>"
                "<outerBoundaryIs><LinearRing><coordinates>0,0 4,0 4,4 0,4 0,0</coordinates>"
                "</LinearRing></outerBoundaryIs>"
                "<innerBoundaryIs><LinearRing><coordinates>1,1 2,1 2,2 1,1</coordinates>"
                "</LinearRing></innerBoundaryIs></Polygon>"
                "<LineString><coordinates>9,9 8,8</coordinates></LineString></MultiGeometry>") +
      // A LinearRing outside a Polygon makes nothing.
      placemark("<LinearRing><coordinates>0,0 1,1 0,1 0,0</coordinates></LinearRing>")));
  auto l = lines(f);
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(points_of(l[0]).size(), 5u);
  EXPECT_EQ(+(l[0]->fillmotif), 1);
  EXPECT_EQ(+(l[0]->fillcolor), gps_rgb(0, 255, 0));
  EXPECT_EQ(points_of(l[1]).size(), 4u);
  EXPECT_EQ(+(l[1]->fillmotif), 0);
  EXPECT_EQ(points_of(l[2]).size(), 2u);
}

// Each ring's extent is taken once its points are read: its box is that of its points,
// and a ring whose writer left out the closing repetition gets its first point again (a
// line string is never closed).
TEST_F(KmlRead, RingsAndLinesKeepTheirPointsAndExtent) {
  fileatt_t* f = load(kml(placemark(
      "<Polygon><outerBoundaryIs><LinearRing><coordinates>-2,1 6,1,10 6,5 -2,5</coordinates>"
      "</LinearRing></outerBoundaryIs>"
      "<innerBoundaryIs><LinearRing><coordinates>1,2 2,2 2,3 1,2</coordinates>"
      "</LinearRing></innerBoundaryIs></Polygon>") +
                          placemark("<LineString><coordinates>0,0 1,0 1,1</coordinates></LineString>")));
  auto l = lines(f);
  ASSERT_EQ(l.size(), 3u);
  const struct {
    size_t points;
    extent_t box;
  } want[] = {{4, {-2, 6, 1, 5, 0}}, {4, {1, 2, 2, 3, 0}}, {3, {0, 1, 0, 1, 0}}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    gps_track_extent e;
    EXPECT_EQ(gpsobj_track_extent(l[i], &e), int(want[i].points));
    EXPECT_EQ(points_of(l[i]).size(), want[i].points);
    EXPECT_DOUBLE_EQ(e.box.xmin, want[i].box.xmin);
    EXPECT_DOUBLE_EQ(e.box.xmax, want[i].box.xmax);
    EXPECT_DOUBLE_EQ(e.box.ymin, want[i].box.ymin);
    EXPECT_DOUBLE_EQ(e.box.ymax, want[i].box.ymax);
  }
  // A ring is kept as written: its last point stays where the file puts it.
  const auto outer = points_of(l[0]);
  EXPECT_DOUBLE_EQ(+(outer.back()->coords.x), -2.0);
  EXPECT_DOUBLE_EQ(+(outer.back()->coords.y), 5.0);
}

// Geometry whose placemark is not its parent (a Point in a Folder) makes nothing.
TEST_F(KmlRead, GeometryOutOfPlaceMakesNothing) {
  int rc = -1;
  fileatt_t* f = load(kml("<Point><coordinates>1,2</coordinates></Point>"
                          "<Folder><LineString><coordinates>0,0 1,1</coordinates></LineString>"
                          "</Folder><ExtendedData><Placemark><Point><coordinates>3,4</coordinates>"
                          "</Point></Placemark></ExtendedData>"),
                      &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(lines(f).size(), 0u);
  // ExtendedData is outside the dictionary: the placemark in it is passed over to.
  auto p = pois(f);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_DOUBLE_EQ(+(p[0]->coords.x), 3.0);
}

TEST_F(KmlRead, FoldersNestAndHoldTheirObjects) {
  int rc = -1;
  fileatt_t* f = load(kml(placemark("<name>top</name><Point><coordinates>1,1</coordinates></Point>") +
                          "<Folder><name>Outer</name><visibility>0</visibility>" +
                          placemark("<name>o1</name><Point><coordinates>2,2</coordinates></Point>") +
                          "<Folder><name>Inner &lt;1&gt;</name>" +
                          placemark("<name>i1</name><LineString><coordinates>0,0 1,1</coordinates>"
                                    "</LineString>") +
                          "</Folder>" +
                          placemark("<name>o2</name><Point><coordinates>3,3</coordinates></Point>") +
                          "</Folder><Folder/>"),
                      &rc);
  ASSERT_EQ(rc, 0);
  folder_t* top = file_get_first_folder(f, nullptr);
  ASSERT_NE(top, nullptr);
  auto top_pois = of_class<poi_t>(top->sot, CLS_POI);
  ASSERT_EQ(top_pois.size(), 1u);
  EXPECT_EQ(text(+(top_pois[0]->name)), u"top");
  auto subs = sub_folders(top);
  // The sub-folders of the file's folder: "Outer", the empty one, and the styles' own.
  std::vector<folder_t*> named;
  for (folder_t* d : subs)
    if (d->name && (text(d->name) == u"Outer" || text(d->name) == u"folder")) named.push_back(d);
  ASSERT_EQ(named.size(), 2u);
  folder_t* outer = named[0];
  EXPECT_EQ(text(+(outer->name)), u"Outer");
  EXPECT_EQ(+(outer->displayed), 0);
  auto outer_pois = of_class<poi_t>(outer->sot, CLS_POI);
  ASSERT_EQ(outer_pois.size(), 2u);
  EXPECT_EQ(text(+(outer_pois[0]->name)), u"o1");
  EXPECT_EQ(text(+(outer_pois[1]->name)), u"o2");
  folder_t* inner = nullptr;
  for (folder_t* d : sub_folders(outer))
    if (d->name && text(d->name) == u"Inner <1>") inner = d;
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(of_class<lois_t>(+(inner->sot), CLS_LOIS).size(), 1u);
  // Each list has the georeference; the content list owns every object.
  EXPECT_EQ(obj_list_count_of_class(+(outer->sot), 46), 1);
  EXPECT_EQ(obj_list_count_of_class(+(inner->sot), 46), 1);
  EXPECT_EQ(pois(f).size(), 3u);
  EXPECT_EQ(lines(f).size(), 1u);
  // Unloading frees each object once (the sanitizers watch).
  file_unload(f, 1);
  EXPECT_EQ(+(f->sot), nullptr);
}

// A folder's name and visibility are the ones written right inside it: those of an
// element the reader passes over (screen overlays, with their own name and flag) leave
// the folder's alone.
TEST_F(KmlRead, NameAndVisibilityOfUnknownElementsAreNotTheFolders) {
  int rc = -1;
  fileatt_t* f = load(kml("<Folder><name>Screen Overlays</name>"
                          "<ScreenOverlay><name>Simple crosshairs</name><visibility>0</visibility></ScreenOverlay>"
                          "<ScreenOverlay><name>Dynamic Positioning: Right of screen</name>"
                          "<visibility>0</visibility></ScreenOverlay></Folder>"
                          "<Folder><name>Paths</name><visibility>0</visibility>" +
                          placemark("<name>Path</name><visibility>1</visibility><LineString>"
                                    "<coordinates>0,0 1,1</coordinates></LineString>") +
                          "</Folder>"),
                      &rc);
  ASSERT_EQ(rc, 0);
  folder_t* top = file_get_first_folder(f, nullptr);
  ASSERT_NE(top, nullptr);
  folder_t* overlays = nullptr;
  folder_t* paths = nullptr;
  for (folder_t* d : sub_folders(top)) {
    if (d->name && text(d->name) == u"Screen Overlays") overlays = d;
    if (d->name && text(d->name) == u"Paths") paths = d;
  }
  ASSERT_NE(overlays, nullptr);
  EXPECT_EQ(+(overlays->displayed), 1);
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(+(paths->displayed), 0);
  file_unload(f, 1);
}

TEST_F(KmlRead, UnknownElementsArePassedOver) {
  int rc = -1;
  fileatt_t* f = load(kml("<gx:Tour><gx:Playlist/></gx:Tour><Schema name=\"s\"><SimpleField/></Schema>" +
                          placemark("<name>P</name><ExtendedData><Data name=\"a\"><value>1</value>"
                                    "</Data></ExtendedData><Point><extrude>1</extrude>"
                                    "<coordinates>5,6</coordinates></Point>")),
                      &rc);
  EXPECT_EQ(rc, 0);
  auto p = pois(f);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(text(+(p[0]->name)), u"P");
  EXPECT_DOUBLE_EQ(+(p[0]->coords.y), 6.0);
}

// Hostile documents: the read ends with a code or succeeds, never crashes or hangs, and
// what was read before stays until the dispatcher unloads a failure.
TEST_F(KmlRead, HostileDocuments) {
  struct Case {
    const char* name;
    std::string text;
  };
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<Folder>";
  deep += placemark("<Point><coordinates>1,2</coordinates></Point>");
  std::string many_commas = "<Placemark><LineString><coordinates>" + std::string(200000, ',') +
                            "</coordinates></LineString></Placemark>";
  std::string many_tuples = "<Placemark><LineString><coordinates>";
  for (int i = 0; i < 20000; ++i) many_tuples += "1,2,3,4,5,6 ";
  many_tuples += "</coordinates></LineString></Placemark>";
  std::string many_styles;
  for (int i = 0; i < 3000; ++i)
    many_styles += "<Style id=\"s" + std::to_string(i) + "\"><IconStyle><Icon><href>none" +
                   std::to_string(i) + ".png</href></Icon></IconStyle></Style>";
  const Case cases[] = {
      {"deep", kml(deep)},
      {"commas", kml(many_commas)},
      {"tuples", kml(many_tuples)},
      {"styles", kml(many_styles)},
      {"truncated", kml(placemark("<Point><coordinates>1,2</coordinates></Point>")).substr(0, 150)},
      {"garbage coords", kml(placemark("<Point><coordinates>nan,inf,1e999 x</coordinates></Point>"))},
      {"huge numbers", kml(placemark("<LineString><coordinates>1e308,1e308 -1e308,2</coordinates>"
                                     "</LineString><Style><LineStyle><width>1e300</width></LineStyle>"
                                     "</Style>"))},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int rc = -1;
    fileatt_t* f = load(c.text, &rc, std::string(c.name) + ".kml");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(rc == 0 || rc == 3 || rc == 14 || rc == 1) << rc;
  }
}

// The reader called directly on a file that cannot be opened: code 2, and what the read
// made for itself (its styles) is freed all the same (the leak checker watches).
TEST_F(KmlRead, FileThatCannotBeOpened) {
  fileatt_t* f = open(dir_ + "missing.kml");
  ASSERT_NE(f, nullptr);
  obj_list_new(&f->sot);
  EXPECT_EQ(read_kml(f, f->sot), 2);
  set_gblerr(0);
  file_unload(f, 1);
}

TEST_F(KmlRead, TruncatedDocumentKeepsWhatWasRead) {
  const std::string doc = kml(placemark("<name>A</name><Point><coordinates>1,2</coordinates></Point>") +
                              placemark("<name>B</name><LineString><coordinates>0,0 1,1 2,2"
                                        "</coordinates></LineString>"));
  for (size_t n = 40; n < doc.size(); n += 7) {
    SCOPED_TRACE(n);
    int rc = -1;
    fileatt_t* f = load(doc.substr(0, n), &rc, "t" + std::to_string(n) + ".kml");
    ASSERT_NE(f, nullptr);
    if (rc != 0) continue;
    for (poi_t* p : pois(f)) EXPECT_EQ(text(+(p->name)), u"A");
    for (lois_t* l : lines(f)) EXPECT_LE(points_of(l).size(), 3u);
  }
}

// Points that would leave less than the reader's margin of the memory budget stop the
// read with "not enough memory" (a ceiling 100 MB above what the process held before).
TEST_F(KmlRead, ObjectsBeyondTheMemoryBudgetStopTheRead) {
  std::string tuples;
  for (int i = 0; i < 5000; ++i) tuples += "1,2 ";
  const std::string doc = kml(placemark("<LineString><coordinates>" + tuples +
                                        "</coordinates></LineString>"));
  // The ceiling: 100 MB above what the process holds before the block below.
  const std::string ceiling = tm_test::maxmem_above_held(100);
  if (ceiling.empty()) GTEST_SKIP() << "the process already holds more than the largest memory ceiling";
  constexpr size_t kHeld = size_t(160) << 20;
  auto held = std::make_unique<char[]>(kHeld);
  std::memset(held.get(), 1, kHeld);  // resident, so counted as committed
  config_set("MAXMEM", ceiling.c_str());
  config_detail::forget_maxmem();
  int rc = -1;
  load(doc, &rc, "big.kml");
  config_set("MAXMEM", "1500");  // the default ceiling
  config_detail::forget_maxmem();
  EXPECT_EQ(rc, 1);
  fileatt_t* f = load(doc, &rc, "again.kml");
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(lines(f).size(), 1u);
  EXPECT_EQ(points_of(lines(f)[0]).size(), 5000u);
}

}  // namespace

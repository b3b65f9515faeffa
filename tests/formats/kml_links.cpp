// What the KML reader loads after the parse: ground overlays (placed on their box, turned
// by their rotation), style icons, and linked files (NetworkLink) fetched from a server
// in the test process, their refresh, a file that links to itself and a chain of links
// that never ends.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/extent_map.h"
#include "tests/formats/kml_fixture.h"
#include "tests/support/http_server.h"

namespace {

using tm_test::KmlFixture;

class KmlLinks : public KmlFixture {
 protected:
  void SetUp() override {
    KmlFixture::SetUp();
    put("overlay.png", tm_test::slurp_file(tm_test::kKmlFixtures + "images/overlay.png"));
    put("icon.png", tm_test::slurp_file(tm_test::kKmlFixtures + "images/icon.png"));
  }
  void TearDown() override {
    server.stop();
    KmlFixture::TearDown();
  }
  std::string url(const std::string& path) { return "http://" + server.authority() + path; }
  static std::string kml_reply(const std::string& body) {
    return tm_test::http_server::reply("200 OK", "Content-Type: application/vnd.google-earth.kml+xml\r\n",
                                       body);
  }
  static bitmap_t* image_in(const fileatt_t* f) {
    auto images = of_class<bitmap_t>(f->sot, CLS_BITMAP);
    for (bitmap_t* b : images)
      if (b->georef) return b;  // not the default icons of the points
    return images.empty() ? nullptr : images[0];
  }
  // A pixel position carried through the image's georeference.
  static void to_world(const bitmap_t* b, double col, double row, double* x, double* y) {
    double z = 0.0;
    *x = col;
    *y = row;
    xform_forward(b->georef->transfo, b->georef->transfotype, x, y, &z);
  }
  static std::string overlay(const std::string& rotation) {
    return "<GroundOverlay><name>Map</name><drawOrder>3</drawOrder>"
           "<Icon><href>overlay.png</href></Icon>"
           "<LatLonBox><north>46</north><south>45</south><east>8</east><west>6</west>" +
           rotation + "</LatLonBox></GroundOverlay>";
  }

  tm_test::http_server server;
};

TEST_F(KmlLinks, GroundOverlayIsPlacedOnItsBox) {
  int rc = -1;
  fileatt_t* f = load(kml(overlay("")), &rc);
  ASSERT_EQ(rc, 0);
  bitmap_t* b = image_in(f);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(+(b->width), 16);
  EXPECT_EQ(+(b->height), 8);
  ASSERT_NE(+(b->georef), nullptr);
  extent_t world{};
  georef_image_to_world(b, extent_t{0, 16, 0, 8, 0}, &world);
  EXPECT_NEAR(world.xmin, 6.0, 1e-9);
  EXPECT_NEAR(world.xmax, 8.0, 1e-9);
  EXPECT_NEAR(world.ymin, 45.0, 1e-9);
  EXPECT_NEAR(world.ymax, 46.0, 1e-9);
  // The first row is the northern edge.
  double x = 0, y = 0;
  to_world(b, 0, 0, &x, &y);
  EXPECT_NEAR(x, 6.0, 1e-9);
  EXPECT_NEAR(y, 46.0, 1e-9);
  EXPECT_STREQ(+(b->name), "overlay.png");
  // Red on the left half, blue on the right.
  EXPECT_EQ(get_img_line_adr(b, 0, 0)[0], 255);
  EXPECT_EQ(get_img_line_adr(b, 0, 2)[15], 255);
  // A folder of the KML file named by the reference shows it.
  folder_t* shown = nullptr;
  for (folder_t* d : sub_folders(file_get_first_folder(f, nullptr)))
    if (d->image == b) shown = d;
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(text(+(shown->name)), u"overlay.png");
}

// The draw order ranks the overlays' images: each image's folder gets it as its layer
// priority's offset, so the higher draw order is drawn later, on top, whatever the order
// of the file; equal orders keep the file's order.
TEST_F(KmlLinks, DrawOrderRanksTheOverlaysImages) {
  const std::string bytes = tm_test::slurp_file(tm_test::kKmlFixtures + "images/overlay.png");
  put("first.png", bytes);
  put("second.png", bytes);
  auto overlay_of = [](const char* image, int order) {
    return "<GroundOverlay><drawOrder>" + std::to_string(order) + "</drawOrder><Icon><href>" +
           image + "</href></Icon><LatLonBox><north>46</north><south>45</south><east>8</east>"
           "<west>6</west></LatLonBox></GroundOverlay>";
  };
  int rc = -1;
  fileatt_t* f = load(kml(overlay_of("first.png", 5) + overlay_of("second.png", -2)), &rc);
  ASSERT_EQ(rc, 0);
  int first = 0, second = 0;
  for (folder_t* d : sub_folders(file_get_first_folder(f, nullptr))) {
    if (text(+(d->name)) == u"first.png") first = d->layer;
    if (text(+(d->name)) == u"second.png") second = d->layer;
  }
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_EQ(first - second, 7);
  EXPECT_GT(second, 30000) << "above the priorities of the files' folders";
}

TEST_F(KmlLinks, RotatedOverlayTurnsAboutTheBoxCentre) {
  struct Case {
    double rotation;
  };
  for (double rotation : {90.0, 30.0, -45.0, 400.0}) {
    SCOPED_TRACE(rotation);
    int rc = -1;
    fileatt_t* f = load(kml(overlay("<rotation>" + std::to_string(rotation) + "</rotation>")), &rc,
                        "r" + std::to_string(int(rotation)) + ".kml");
    ASSERT_EQ(rc, 0);
    bitmap_t* b = image_in(f);
    ASSERT_NE(b, nullptr);
    const double t = std::fmod(rotation, 360.0) * M_PI / 180.0;
    // Each corner of the box turned about (7, 45.5) counter-clockwise.
    const double corners[4][4] = {{0, 0, 6, 46}, {16, 0, 8, 46}, {16, 8, 8, 45}, {0, 8, 6, 45}};
    for (const auto& c : corners) {
      double x = 0, y = 0;
      to_world(b, c[0], c[1], &x, &y);
      const double dx = c[2] - 7.0, dy = c[3] - 45.5;
      EXPECT_NEAR(x, 7.0 + dx * std::cos(t) - dy * std::sin(t), 1e-9);
      EXPECT_NEAR(y, 45.5 + dx * std::sin(t) + dy * std::cos(t), 1e-9);
    }
  }
}

TEST_F(KmlLinks, StyleIconBecomesThePointsIcon) {
  int rc = -1;
  fileatt_t* f = load(kml("<Style id=\"i\"><IconStyle><scale>0.7</scale><Icon><href>icon.png</href></Icon>"
                          "</IconStyle></Style>"
                          "<Style id=\"j\"><IconStyle><icon>icon.png</icon></IconStyle></Style>" +
                          placemark("<styleUrl>#i</styleUrl><Point><coordinates>1,2</coordinates></Point>") +
                          placemark("<styleUrl>#i</styleUrl><Point><coordinates>3,4</coordinates></Point>") +
                          placemark("<styleUrl>#j</styleUrl><Point><coordinates>5,6</coordinates></Point>") +
                          placemark("<Point><coordinates>7,8</coordinates></Point>")),
                      &rc);
  ASSERT_EQ(rc, 0);
  auto p = pois(f);
  ASSERT_EQ(p.size(), 4u);
  ASSERT_NE(+(p[0]->icon), nullptr);
  EXPECT_EQ(+(p[0]->icon->width), 4);
  EXPECT_EQ(+(p[1]->icon), +(p[0]->icon));
  EXPECT_EQ(+(p[2]->icon), +(p[0]->icon));  // one load of one file
  EXPECT_DOUBLE_EQ(+(p[0]->icoscale), 0.7);
  EXPECT_NE(+(p[3]->icon), +(p[0]->icon));
  EXPECT_EQ(obj_list_count_of_class(+(f->sot), CLS_BITMAP) >= 1, true);
}

TEST_F(KmlLinks, MissingImagesAreDropped) {
  int rc = -1;
  fileatt_t* f = load(kml("<GroundOverlay><Icon><href>nowhere.png</href></Icon><LatLonBox>"
                          "<north>1</north></LatLonBox></GroundOverlay>"
                          "<GroundOverlay><Icon><href>doc.kml</href></Icon></GroundOverlay>" +
                          placemark("<Point><coordinates>1,2</coordinates></Point>")),
                      &rc);
  EXPECT_EQ(rc, 0);
  // Only the default icon of the point: no image was placed.
  for (bitmap_t* b : of_class<bitmap_t>(f->sot, CLS_BITMAP)) EXPECT_EQ(+(b->georef), nullptr);
  EXPECT_EQ(pois(f).size(), 1u);
}

TEST_F(KmlLinks, NetworkLinkIsFetchedAndAttachedUnderItsFolder) {
  server.queue(kml_reply(kml(placemark("<name>Linked</name><Point><coordinates>9,9</coordinates>"
                                       "</Point>"))));
  int rc = -1;
  fileatt_t* f = load(kml("<Folder><name>Live</name><NetworkLink><name>feed</name><Link><href>" +
                          url("/feed.kml") +
                          "</href><refreshMode>onInterval</refreshMode><refreshInterval>30"
                          "</refreshInterval></Link></NetworkLink></Folder>"),
                      &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(server.requests().size(), 1u);
  fileatt_t* linked = nullptr;
  file_find_by_name(url("/feed.kml").c_str(), &linked);
  ASSERT_NE(linked, nullptr);
  ASSERT_EQ(pois(linked).size(), 1u);
  EXPECT_EQ(text(pois(linked)[0]->name), u"Linked");
  folder_t* live = nullptr;
  for (folder_t* d : sub_folders(file_get_first_folder(f, nullptr)))
    if (text(d->name) == u"Live") live = d;
  ASSERT_NE(live, nullptr);
  folder_t* attached = folder_of(linked->folder);
  ASSERT_NE(attached, nullptr);
  auto under = sub_folders(live);
  EXPECT_NE(std::find(under.begin(), under.end(), attached), under.end());
  EXPECT_EQ(+(attached->refreshintrv), 30);
  // Named for the shell, which reloads the files of "reload" folders.
  EXPECT_EQ(text_of(attached), u"reload");
}

// A refreshMode other than onInterval sets the interval to 0, even after an interval;
// onInterval without an interval gives 4.
TEST_F(KmlLinks, RefreshModes) {
  struct Case {
    const char* link;
    int refresh;
  };
  const Case cases[] = {
      {"<refreshInterval>30</refreshInterval><refreshMode>onChange</refreshMode>", 0},
      {"<refreshMode>onInterval</refreshMode>", 4},
      {"<refreshInterval>12</refreshInterval><refreshMode>onInterval</refreshMode>", 12},
      {"<refreshInterval>12</refreshInterval>", 12},
      {"", 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    const std::string target = "linked" + std::to_string(n) + ".kml";
    put(target, kml(placemark("<Point><coordinates>1,1</coordinates></Point>")));
    int rc = -1;
    load(kml("<NetworkLink><Url><href>" + target + "</href>" + c.link + "</Url></NetworkLink>"), &rc,
         "root" + std::to_string(n++) + ".kml");
    ASSERT_EQ(rc, 0);
    fileatt_t* linked = nullptr;
    file_find_by_name((dir_ + target).c_str(), &linked);
    ASSERT_NE(linked, nullptr);
    ASSERT_NE(folder_of(+(linked->folder)), nullptr);
    folder_t* d = folder_of(linked->folder);
    EXPECT_EQ(+(d->refreshintrv), c.refresh);
    EXPECT_EQ(text_of(d) == u"reload", c.refresh > 0);
  }
}

// A link to a KMZ archive loads the KML file inside it.
TEST_F(KmlLinks, LinkToAnArchiveLoadsItsKml) {
  put("pack.kmz", tm_test::zip_of({{"doc.kml", kml(placemark("<name>Packed</name><Point>"
                                                             "<coordinates>4,5</coordinates></Point>"))}}));
  int rc = -1;
  fileatt_t* f = load(kml("<NetworkLink><Link><href>pack.kmz</href></Link></NetworkLink>"), &rc,
                      "root.kml");
  ASSERT_EQ(rc, 0);
  fileatt_t* pack = nullptr;
  file_find_by_name((dir_ + "pack.kmz").c_str(), &pack);
  ASSERT_NE(pack, nullptr);
  fileatt_t* member = nullptr;
  for (int i = 0; i < obj_list_count(pack->sot); ++i)
    if (fileatt_t* m = file_of(pack->sot->elems[i])) member = m;
  ASSERT_NE(member, nullptr);
  ASSERT_EQ(pois(member).size(), 1u);
  EXPECT_EQ(text(pois(member)[0]->name), u"Packed");
  auto under = sub_folders(file_get_first_folder(f, nullptr));
  EXPECT_NE(std::find(under.begin(), under.end(), folder_of(member->folder)), under.end());
}

// A KMZ archive: the KML inside it finds its overlay image among the archive's members.
TEST_F(KmlLinks, OverlayInsideAnArchive) {
  std::string doc_kml = kml(overlay(""));
  doc_kml.replace(doc_kml.find("overlay.png"), 11, "files/inside.png");
  put("map.kmz", tm_test::zip_of({{"doc.kml", doc_kml},
                                  {"files/inside.png", tm_test::slurp_file(tm_test::kKmlFixtures +
                                                                           "images/overlay.png"),
                                   false}}));
  fileatt_t* archive = open(dir_ + "map.kmz");
  EXPECT_EQ(file_load(archive, nullptr, 0), 3);  // the caller loads the members
  set_gblerr(0);
  fileatt_t* doc = nullptr;
  for (int i = 0; i < obj_list_count(archive->sot); ++i)
    if (fileatt_t* m = file_of(archive->sot->elems[i]))
      if (std::string(file_get_name(m)).find("doc.kml") != std::string::npos) doc = m;
  ASSERT_NE(doc, nullptr);
  ASSERT_EQ(file_load(doc, nullptr, 0), 0);
  bitmap_t* b = image_in(doc);
  ASSERT_NE(b, nullptr) << file_get_name(doc);
  EXPECT_EQ(+(b->width), 16);
}

// A file that links to itself, and two files that link to each other, are read once.
TEST_F(KmlLinks, SelfLinksLoadOnce) {
  put("b.kml", kml("<NetworkLink><Link><href>doc.kml</href></Link></NetworkLink>"
                   "<NetworkLink><Link><href>b.kml</href></Link></NetworkLink>" +
                   placemark("<name>B</name><Point><coordinates>1,1</coordinates></Point>")));
  int rc = -1;
  fileatt_t* f = load(kml("<NetworkLink><Link><href>doc.kml</href></Link></NetworkLink>"
                          "<NetworkLink><Link><href>b.kml</href></Link></NetworkLink>" +
                          placemark("<name>A</name><Point><coordinates>1,1</coordinates></Point>")),
                      &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(pois(f).size(), 1u);
  fileatt_t* b = nullptr;
  file_find_by_name((dir_ + "b.kml").c_str(), &b);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(pois(b).size(), 1u);
}

// A server whose every file links to a new one: the links stop after 100 loads.
TEST_F(KmlLinks, EndlessChainOfLinksStopsAt100) {
  for (int i = 0; i < 130; ++i)
    server.queue(kml_reply(kml("<NetworkLink><Link><href>" + url("/n" + std::to_string(i + 1) + ".kml") +
                               "</href></Link></NetworkLink>" +
                               placemark("<Point><coordinates>1,1</coordinates></Point>"))));
  int rc = -1;
  load(kml("<NetworkLink><Link><href>" + url("/n0.kml") + "</href></Link></NetworkLink>"), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(server.requests().size(), size_t(kKmlMaxLinkLoads));
  // The budget is per outermost read: another file loads links again (the 30 replies
  // left go on linking, and stop at the budget of the new read).
  load(kml("<NetworkLink><Link><href>" + url("/again.kml") + "</href></Link></NetworkLink>"), &rc,
       "other.kml");
  EXPECT_EQ(rc, 0);
  EXPECT_GT(server.requests().size(), size_t(kKmlMaxLinkLoads) + 30);
  EXPECT_LE(server.requests().size(), size_t(2 * kKmlMaxLinkLoads));
}

}  // namespace

// The WMS image object and GetMap: the image made from chosen layers, the request's
// parameters in each version, the picture decoded from the server's answer, the picture
// drawn on the map where its BBOX lies (through the map's raster slot and display), and
// the failed answers (404, stall, ServiceException).
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "core/tracelog.h"
#include "map/graphspace.h"
#include "map/raster_display.h"
#include "map/view_records.h"
#include "platform/net/net.h"
#include "platform/sys/clock.h"
#include "tests/map/raster_display_fixture.h"
#include "tests/raster/wms_fixture.h"

namespace wms_test {
namespace {

using tm_test::wms_params;
using tm_test::wms_server;

// A one-layer capabilities document of a version, its layer "grid" offering EPSG:4326
// (and EPSG:2154) over the box x east 10..30, y north 5..25, written in the version's
// own axis order; the GetMap address is the test server's.
std::string one_layer_doc(const std::string& version, int max_width = 0) {
  const bool v13 = version == "1.3.0", v10 = version == "1.0.0";
  const std::string crs = v13 ? "CRS" : "SRS";
  std::string doc = std::string("<") + (v13 ? "WMS_Capabilities" : "WMT_MS_Capabilities") +
                    " version=\"" + version + "\"><Service><Name>WMS</Name><Title>T " + version +
                    "</Title>";
  if (max_width) doc += "<MaxWidth>" + std::to_string(max_width) + "</MaxWidth>";
  doc += "</Service><Capability><Request>";
  if (v10)
    doc += "<Map><Format><PNG/></Format><DCPType><HTTP><Get onlineResource=\"{{BASE}}/map10\"/>"
           "</HTTP></DCPType></Map>";
  else
    doc += "<GetMap><Format>image/jpeg</Format><Format>image/png</Format><DCPType><HTTP><Get>"
           "<OnlineResource xlink:href=\"{{BASE}}/map?key=1\"/></Get></HTTP></DCPType></GetMap>";
  doc += "</Request><Layer><Name>grid</Name><Title>Grid</Title><" + crs + ">EPSG:4326</" + crs +
         "><" + crs + ">EPSG:2154</" + crs + ">";
  if (v13)
    doc += "<BoundingBox CRS=\"EPSG:4326\" minx=\"5\" miny=\"10\" maxx=\"25\" maxy=\"30\"/>";
  else
    doc += "<BoundingBox SRS=\"EPSG:4326\" minx=\"10\" miny=\"5\" maxx=\"30\" maxy=\"25\"/>";
  doc += "<BoundingBox " + crs + "=\"EPSG:2154\" minx=\"600000\" miny=\"6000000\" maxx=\"700000\" "
         "maxy=\"6100000\"/><Layer><Name>sub layer</Name><Title>Sub</Title></Layer></Layer>"
         "</Capability></" + std::string(v13 ? "WMS_Capabilities" : "WMT_MS_Capabilities") + ">";
  return doc;
}

class WmsGetMap : public WmsTest {
 protected:
  // The service of a document served at `path` and read from the server.
  wms_service_t* serve(const std::string& path, const std::string& doc) {
    server.set_capabilities(path, doc);
    wms_service_t* s = nullptr;
    EXPECT_EQ(wms_get_capabilities(server.url(path).c_str(), nullptr, &s), 1) << path;
    return s;
  }
  // The image of the named layers in the system of `code`.
  bitmap_t* image_of(wms_service_t* s, std::initializer_list<const char*> names, const char* code) {
    container_t* chosen = nullptr;
    obj_list_new(&chosen);
    for (const char* n : names) {
      wms_layer_t* l = find_layer(s, n);
      EXPECT_NE(l, nullptr) << n;
      if (l) obj_list_append(chosen, l);
    }
    bitmap_t* b = wms_make_image(chosen, nullptr, crs(code), nullptr);
    obj_list_set_count(chosen, 0);
    free_obj(&chosen);
    if (b && std::find(images_.begin(), images_.end(), b) == images_.end()) images_.push_back(b);
    return b;
  }
  static wms_params params_of(const char* url) {
    const std::string u = url ? url : "";
    const size_t q = u.find('?');
    return wms_server::parse_query(q == std::string::npos ? "" : u.substr(q + 1));
  }

  wms_server server;
};

// The request's parameters in each version: the system under SRS or CRS, the BBOX in the
// version's axis order, the size asked, PNG preferred among the formats offered.
TEST_F(WmsGetMap, RequestParametersPerVersion) {
  const struct {
    const char* version;
    const char* code;
    extent_t bbox;
    const char* path;
    wms_params want;
  } cases[] = {
      {"1.3.0", "EPSG:4326", {10, 30, 5, 25, 0}, "/map",
       {{"KEY", "1"}, {"SERVICE", "WMS"}, {"VERSION", "1.3.0"}, {"REQUEST", "GetMap"},
        {"LAYERS", "grid,sub layer"}, {"STYLES", ""}, {"CRS", "EPSG:4326"},
        {"BBOX", "5,10,25,30"}, {"WIDTH", "64"}, {"HEIGHT", "48"}, {"FORMAT", "image/png"}}},
      {"1.3.0", "EPSG:2154", {600000, 700000.5, 6000000, 6100000, 0}, "/map",
       {{"KEY", "1"}, {"SERVICE", "WMS"}, {"VERSION", "1.3.0"}, {"REQUEST", "GetMap"},
        {"LAYERS", "grid,sub layer"}, {"STYLES", ""}, {"CRS", "EPSG:2154"},
        {"BBOX", "600000,6000000,700000.5,6100000"}, {"WIDTH", "64"}, {"HEIGHT", "48"},
        {"FORMAT", "image/png"}}},
      {"1.1.1", "EPSG:4326", {10, 30, 5, 25, 0}, "/map",
       {{"KEY", "1"}, {"SERVICE", "WMS"}, {"VERSION", "1.1.1"}, {"REQUEST", "GetMap"},
        {"LAYERS", "grid,sub layer"}, {"STYLES", ""}, {"SRS", "EPSG:4326"},
        {"BBOX", "10,5,30,25"}, {"WIDTH", "64"}, {"HEIGHT", "48"}, {"FORMAT", "image/png"}}},
      {"1.0.0", "EPSG:4326", {10, 30, 5, 25, 0}, "/map10",
       {{"WMTVER", "1.0.0"}, {"REQUEST", "map"}, {"LAYERS", "grid,sub layer"}, {"STYLES", ""},
        {"SRS", "EPSG:4326"}, {"BBOX", "10,5,30,25"}, {"WIDTH", "64"}, {"HEIGHT", "48"},
        {"FORMAT", "PNG"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.code);
    wms_service_t* s = serve(std::string("/caps") + c.version, one_layer_doc(c.version));
    ASSERT_NE(s, nullptr);
    bitmap_t* image = image_of(s, {"grid", "sub layer"}, c.code);
    ASSERT_NE(image, nullptr);
    char* url = nullptr;
    ASSERT_NE(wms_getmap_url(image, c.bbox, 64, 48, &url), nullptr);
    EXPECT_EQ(std::string(url).rfind(server.url(c.path) + "?", 0), 0u) << url;
    EXPECT_EQ(params_of(url), c.want) << url;
    EXPECT_EQ(std::string(url).find(' '), std::string::npos) << url;
    free_mem(&url);
    // The server receives the same parameters.
    bitmap_t* picture = wms_getmap(image, c.bbox, 64, 48, nullptr);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(server.getmap_requests().back(), c.want);
    free_obj(&picture);
  }
}

// The image object: the service's maximum size, or the default size when the document
// names none; its extent the union of the chosen layers' boxes; one image per service.
TEST_F(WmsGetMap, ImageObjectOfChosenLayers) {
  wms_service_t* sized = serve("/sized", one_layer_doc("1.3.0", 300));
  wms_service_t* plain = serve("/plain", one_layer_doc("1.1.1"));
  ASSERT_TRUE(sized && plain);
  bitmap_t* a = image_of(sized, {"grid"}, "EPSG:4326");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(int(a->format), kFormatWms);
  EXPECT_EQ(int(a->width), 300);
  EXPECT_EQ(int(a->height), kWmsDefaultHeight);
  const extent_t e = wms_get_extent(&a->extent);
  EXPECT_EQ(num(e.xmin) + "," + num(e.ymin) + "," + num(e.xmax) + "," + num(e.ymax), "10,5,30,25");
  EXPECT_EQ(wms_image_service(a), sized);
  EXPECT_EQ(wms_find_image(sized), a);
  EXPECT_EQ(obj_list_count(wms_image_layers(a)), 1);

  bitmap_t* b = image_of(plain, {"grid"}, "EPSG:2154");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(int(b->width), kWmsDefaultWidth);  // no MaxWidth / MaxHeight: never 0 x 0
  EXPECT_EQ(int(b->height), kWmsDefaultHeight);
  const extent_t f = wms_get_extent(&b->extent);
  EXPECT_EQ(num(f.xmin) + "," + num(f.ymin) + "," + num(f.xmax) + "," + num(f.ymax),
            "600000,6e+06,700000,6.1e+06");

  // Made again: the same object, with the new choice.
  EXPECT_EQ(image_of(sized, {"grid", "sub layer"}, "EPSG:4326"), a);
  EXPECT_EQ(obj_list_count(wms_image_layers(a)), 2);

  // No chosen layer: 10; no georef: 13.
  container_t* none = nullptr;
  obj_list_new(&none);
  set_gblerr(0);
  EXPECT_EQ(wms_make_image(none, nullptr, crs("EPSG:4326"), nullptr), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_OBJECT);
  obj_list_append(none, find_layer(sized, "grid"));
  set_gblerr(0);
  EXPECT_EQ(wms_make_image(none, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_GEOGRAPHIC);
  set_gblerr(0);
  obj_list_set_count(none, 0);
  free_obj(&none);

  // A service freed before its image: the image forgets it and asks nothing.
  wms_service_free(&plain);
  EXPECT_EQ(wms_image_service(b), nullptr);
  char* url = nullptr;
  EXPECT_EQ(wms_getmap_url(b, extent_t{0, 1, 0, 1, 0}, 4, 4, &url), nullptr);
  set_gblerr(0);
}

// Made for a graph space: the image joins its image layer, through a folder of an
// in-memory file named after the GetMap address; made again it is not added twice.
TEST_F(WmsGetMap, ImageJoinsTheGraphSpace) {
  wms_service_t* s = serve("/gs", one_layer_doc("1.3.0"));
  ASSERT_NE(s, nullptr);
  graphspace_t* gs = nullptr;
  graphspace_new(crs("EPSG:4326"), &gs);
  ASSERT_NE(gs, nullptr);
  layer_t* images = graphspace_layer_of_priority(gs, kImageLayerPriority, nullptr);
  ASSERT_NE(images, nullptr);
  container_t* chosen = nullptr;
  obj_list_new(&chosen);
  obj_list_append(chosen, find_layer(s, "grid"));
  bitmap_t* image = wms_make_image(chosen, gs, gs->georef, nullptr);
  ASSERT_NE(image, nullptr);
  images_.push_back(image);
  EXPECT_EQ(wms_make_image(chosen, gs, gs->georef, nullptr), image);
  obj_list_set_count(chosen, 0);
  free_obj(&chosen);
  int links = 0;
  for (int i = 0; i < obj_list_count(images->objects); ++i) {
    obj_t* o = nullptr;
    obj_list_get(images->objects, i, &o);
    if (o && o->cls == CLS_LAYER_LINK) {
      ++links;
      EXPECT_EQ(static_cast<layer_link_t*>(o)->object, static_cast<obj_t*>(image));
    }
  }
  EXPECT_EQ(links, 1);
  auto* file = static_cast<fileatt_t*>(image->file);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::string(file->name), server.url("/map?key=1"));
  graphspace_remove_object(gs, image);
  graphspace_free(&gs);
  obj_t* fo = file;
  free_obj(&fo);
}

TEST_F(WmsGetMap, PictureSizeWithinTheServiceLimits) {
  wms_service_t s{};
  const struct {
    int max_w, max_h, w, h, want_w, want_h;
  } cases[] = {{256, 200, 100, 50, 100, 50},  {256, 200, 512, 100, 256, 50},
               {256, 200, 300, 400, 150, 200}, {0, 0, 5000, 1000, kWmsDefaultWidth, 410},
               {0, 0, 0, -3, 1, 1},            {10, 10, 1000, 1, 10, 1}};
  for (const auto& c : cases) {
    s.max_width = c.max_w;
    s.max_height = c.max_h;
    int w = 0, h = 0;
    wms_getmap_size(&s, c.w, c.h, &w, &h);
    EXPECT_EQ(w, c.want_w) << c.w << "x" << c.h;
    EXPECT_EQ(h, c.want_h) << c.w << "x" << c.h;
  }
}

// The answer decoded by the PNG reader: every pixel holds the coordinates of its centre,
// so the picture is the BBOX the request named, in each version's axis order.
TEST_F(WmsGetMap, PictureOfTheRequestedBox) {
  for (const char* version : {"1.3.0", "1.1.1", "1.0.0"}) {
    SCOPED_TRACE(version);
    wms_service_t* s = serve(std::string("/p") + version, one_layer_doc(version));
    ASSERT_NE(s, nullptr);
    bitmap_t* image = image_of(s, {"grid"}, "EPSG:4326");
    ASSERT_NE(image, nullptr);
    bitmap_t* p = wms_getmap(image, extent_t{10, 30, 5, 25, 0}, 20, 10, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(int(p->width), 20);
    EXPECT_EQ(int(p->height), 10);
    const extent_t e = wms_get_extent(&p->extent);
    EXPECT_EQ(num(e.xmin) + "," + num(e.ymin) + "," + num(e.xmax) + "," + num(e.ymax), "10,5,30,25");
    for (int y : {0, 4, 9}) {
      const uint8_t* r = image_line(p, y, 0);
      const uint8_t* g = image_line(p, y, 1);
      ASSERT_TRUE(r && g);
      for (int x : {0, 7, 19}) {
        EXPECT_EQ(int(r[x]), 10 + x) << x << "," << y;       // one degree a pixel east
        EXPECT_EQ(int(g[x]), 24 - 2 * y) << x << "," << y;   // two degrees a pixel south
      }
    }
    free_obj(&p);
  }
}

// GetMap answers that carry no picture: a clear error each, and nothing made.
TEST_F(WmsGetMap, FailedAnswers) {
  wms_service_t* s = serve("/f", one_layer_doc("1.3.0"));
  ASSERT_NE(s, nullptr);
  bitmap_t* image = image_of(s, {"grid"}, "EPSG:4326");
  ASSERT_NE(image, nullptr);
  const extent_t box{10, 30, 5, 25, 0};

  server.set_getmap_mode(wms_server::getmap_mode::not_found);
  set_gblerr(0);
  EXPECT_EQ(wms_getmap(image, box, 8, 8, nullptr), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_HTTP);

  server.set_getmap_mode(wms_server::getmap_mode::exception);
  set_gblerr(0);
  EXPECT_EQ(wms_getmap(image, box, 8, 8, nullptr), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_BAD_FILE);
  EXPECT_STREQ(wms_last_exception(), "Layer not defined: nothing");

  // An answer that is no picture at all.
  server.set_getmap_mode(wms_server::getmap_mode::picture);
  server.http().queue(tm_test::http_server::reply("200 OK", "Content-Length: 5\r\n", "hello"));
  set_gblerr(0);
  EXPECT_EQ(wms_getmap(image, box, 8, 8, nullptr), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_UNKNOWN_FORMAT);
  // A PNG cut short.
  const std::string png = wms_server::picture_for(wms_server::parse_query(
      "WIDTH=8&HEIGHT=8&BBOX=0,0,8,8&VERSION=1.1.1&SRS=EPSG:4326"));
  ASSERT_FALSE(png.empty());
  const std::string cut = png.substr(0, png.size() / 2);
  server.http().queue(tm_test::http_server::reply(
      "200 OK", "Content-Length: " + std::to_string(cut.size()) + "\r\n", cut));
  set_gblerr(0);
  EXPECT_EQ(wms_getmap(image, box, 8, 8, nullptr), nullptr);
  EXPECT_NE(get_gblerr(), 0);
  set_gblerr(0);
  EXPECT_EQ(obj_class_count(CLS_BITMAP, nullptr), 1);  // the image alone
}

// A server that reads the request and never answers: the fetch gives up after its
// receive time-out on the virtual clock.
TEST_F(WmsGetMap, StalledServerTimesOut) {
  wms_service_t* s = serve("/st", one_layer_doc("1.3.0"));
  ASSERT_NE(s, nullptr);
  bitmap_t* image = image_of(s, {"grid"}, "EPSG:4326");
  ASSERT_NE(image, nullptr);
  server.set_getmap_mode(wms_server::getmap_mode::stall);
  plat::use_virtual_clock(true);
  std::atomic<int> done{0};
  std::atomic<int> error{-1};
  std::thread client([&] {
    set_gblerr(0);
    bitmap_t* p = wms_getmap(image, extent_t{10, 30, 5, 25, 0}, 8, 8, nullptr);
    error = p ? -2 : get_gblerr();
    done = 1;
  });
  ASSERT_TRUE(server.http().wait_stalled());
  while (plat::net_waiters() < 1) std::this_thread::yield();
  plat::advance_virtual_ms(kWmsReceiveSeconds * 1000 - 100);
  for (int i = 0; i < 50; ++i) std::this_thread::yield();
  EXPECT_EQ(done.load(), 0);  // still waiting
  plat::advance_virtual_ms(100);
  client.join();
  EXPECT_EQ(error.load(), ERR_HTTP);
  server.http().release_stall();
  plat::use_virtual_clock(false);
  set_gblerr(0);
}

// ---- Through the map's display --------------------------------------------------------

class WmsDisplay : public WmsGetMap, protected rd_test::SurfaceWindow {
 protected:
  void SetUp() override {
    WmsGetMap::SetUp();
    bitmap_module_init();
    reset_display_luts();
    log_dir_ = tm_test::fresh_dir("wmslog");
    ASSERT_TRUE(open_window());
    // World x east 0..40, y north 0..30 fills the surface, north up.
    set_mapping(1, -1, 0, -30);
    set_rect(extent_t{0, kW, 0, kH, 0});
    set_page(extent_t{0, kW, 0, kH, 0});
  }
  void TearDown() override {
    close_window();
    WmsGetMap::TearDown();
  }
  // One rectangle composed through the map's raster slot.
  int draw(bitmap_t* image) {
    surface_ = plat::Surface(kW, kH, 0xFF123456u);
    raster_display_begin();
    const int r = visible_get_hooks().raster_draw(image);
    raster_display_end();
    return r;
  }
  std::string log_dir_;
};

// The picture lands where its BBOX says: each screen pixel inside the layer's box shows
// the coordinates of its own centre, every one outside it the window's background.
TEST_F(WmsDisplay, PictureLandsWhereItsBoxSays) {
  for (const char* version : {"1.3.0", "1.1.1"}) {
    SCOPED_TRACE(version);
    wms_service_t* s = serve(std::string("/d") + version, one_layer_doc(version));
    ASSERT_NE(s, nullptr);
    bitmap_t* image = image_of(s, {"grid"}, "EPSG:4326");
    ASSERT_NE(image, nullptr);
    const size_t before = server.getmap_requests().size();
    EXPECT_EQ(draw(image), 0);
    ASSERT_EQ(server.getmap_requests().size(), before + 1);
    const wms_params p = server.getmap_requests().back();
    EXPECT_EQ(p.at("WIDTH"), "20");
    EXPECT_EQ(p.at("HEIGHT"), "20");
    for (int sy = 0; sy < kH; ++sy)
      for (int sx = 0; sx < kW; ++sx) {
        const double x = sx + 0.5, y = kH - sy - 0.5;
        const bool inside = x > 10 && x < 30 && y > 5 && y < 25;
        const uint32_t want = inside ? (uint32_t(int(x)) << 16 | uint32_t(int(y)) << 8 | 77u)
                                     : 0xC8C8C8u;
        ASSERT_EQ(at(sx, sy), want) << sx << "," << sy;
      }
    // The same window again: the picture kept, nothing asked.
    EXPECT_EQ(draw(image), 0);
    EXPECT_EQ(server.getmap_requests().size(), before + 1);
    EXPECT_EQ(at(15, 15), uint32_t(15) << 16 | uint32_t(14) << 8 | 77u);
  }
}

// A window larger than the service allows: the picture asked within MaxWidth, and drawn
// stretched over the same place.
TEST_F(WmsDisplay, ZoomedWindowWithinMaxWidth) {
  wms_service_t* s = serve("/z", one_layer_doc("1.3.0", 10));
  ASSERT_NE(s, nullptr);
  bitmap_t* image = image_of(s, {"grid"}, "EPSG:4326");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(draw(image), 0);
  ASSERT_EQ(server.getmap_requests().size(), 1u);
  EXPECT_EQ(server.getmap_requests()[0].at("WIDTH"), "10");
  EXPECT_EQ(server.getmap_requests()[0].at("HEIGHT"), "10");
  // Two screen pixels a picture pixel: the red of a pixel is its world x within two.
  for (int sx : {11, 17, 28}) {
    const int red = int(at(sx, 12) >> 16);
    EXPECT_LE(std::abs(red - sx), 2) << sx;
    EXPECT_EQ(int(at(sx, 12) & 255), 77);
  }
  EXPECT_EQ(at(5, 12), 0xC8C8C8u);
}

// A failed request draws nothing, says why in the trace log, and is not repeated for the
// same window.
TEST_F(WmsDisplay, FailedRequestDrawsNothing) {
  wms_service_t* s = serve("/e", one_layer_doc("1.1.1"));
  ASSERT_NE(s, nullptr);
  bitmap_t* image = image_of(s, {"grid"}, "EPSG:4326");
  ASSERT_NE(image, nullptr);
  server.set_getmap_mode(wms_server::getmap_mode::exception);
  set_gblerr(0);
  EXPECT_EQ(draw(image), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(at(20, 15), 0xC8C8C8u);
  EXPECT_EQ(draw(image), 0);
  EXPECT_EQ(server.getmap_requests().size(), 1u);
}

}  // namespace
}  // namespace wms_test

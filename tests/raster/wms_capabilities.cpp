// The WMS client's capabilities: address completion, the documents of each version read
// into services and layer trees (inheritance, axis order, addresses, formats), the
// coordinate systems and their comparisons, and the fetch from a server on 127.0.0.1.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/net.h"
#include "platform/sys/clock.h"

#include "tests/raster/wms_fixture.h"

namespace wms_test {
namespace {

using tm_test::wms_server;

constexpr const char* kRequest = "REQUEST=GetCapabilities&VERSION=1.3.0&SERVICE=WMS";

TEST(WmsAddress, CompletionTable) {
  const struct {
    const char* typed;
    std::string completed;  // "" when refused
  } cases[] = {
      {"http://h/wms", std::string("http://h/wms?") + kRequest},
      {"http://h/wms?", std::string("http://h/wms?") + kRequest},
      {"http://h/wms?map=x", std::string("http://h/wms?map=x&") + kRequest},
      {"http://h/wms?map=x&", std::string("http://h/wms?map=x&") + kRequest},
      {"http://h/wms?SERVICE=WMS&Request=GetCapabilities", "http://h/wms?SERVICE=WMS&Request=GetCapabilities"},
      {"http://h/w?a=1&request=GETCAPABILITIES&v=2", "http://h/w?a=1&request=GETCAPABILITIES&v=2"},
      {"  http://h/wms \n", std::string("http://h/wms?") + kRequest},
      {"https://h/wms", ""},
      {"HTTP://h/wms", ""},
      {"ftp://h/wms", ""},
      {"h/wms", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    set_gblerr(0);
    char* out = nullptr;
    wms_complete_address(c.typed, &out);
    if (c.completed.empty()) {
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(get_gblerr(), ERR_OBJECT);
    } else {
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(std::string(out), c.completed);
      EXPECT_EQ(get_gblerr(), 0);
    }
    free_mem(&out);
  }
  set_gblerr(0);
}

class WmsCapabilities : public WmsTest {};

// Each version's document: the service's fields and the whole layer tree. Sub-layers
// carry their parents' systems and boxes, replace what they give themselves, and every
// box is east/north whatever the version wrote.
TEST_F(WmsCapabilities, EachVersionGivesItsServiceAndLayerTree) {
  const struct {
    const char* file;
    const char* version;
    const char* title;
    const char* getmap;
    int limit, max_w, max_h;
    std::vector<int> formats;
    const char* tree;
  } cases[] = {
      {"caps_1_3_0.xml", "1.3.0", "Test service 1.3.0", "{{BASE}}/wms13/map?", 4, 256, 200,
       {kDecoderPng, kDecoderJpeg, kDecoderGif},
       "- 'World' EPSG:4326[-10,35,30,60] CRS:84[-10,35,30,60] geo[-10,35,30,60]\n"
       "  roads 'Roads' EPSG:4326[-10,35,30,60] CRS:84[-10,35,30,60] "
       "EPSG:2154[100000,6e+06,1.2e+06,7.2e+06] geo[-10,35,30,60]\n"
       "    roads_major 'Major roads' EPSG:4326[-5,42,10,51] CRS:84[-10,35,30,60] "
       "EPSG:2154[100000,6e+06,1.2e+06,7.2e+06] geo[-5,42,10,51]\n"
       "  - 'Water' EPSG:4326[-10,35,30,60] CRS:84[-10,35,30,60] geo[-10,35,30,60]\n"
       "    rivers 'Rivers' EPSG:4326[-10,35,30,60] CRS:84[-10,35,30,60] geo[-10,35,30,60]\n"},
      {"caps_1_1_1.xml", "1.1.1", "Service d'essai 1.1.1 \xc3\xa9t\xc3\xa9", "{{BASE}}/wms11/map", 0,
       0, 0, {kDecoderTiff, kDecoderPng},
       "- 'Britain' EPSG:4326[-8,49,2,61] EPSG:27700[0,0,700000,1.3e+06] geo[-8,49,2,61]\n"
       "  coast 'Coast line' EPSG:4326[-8,49,2,61] EPSG:27700[0,0,700000,1.3e+06] "
       "geo[-6,50,1,59]\n"},
      {"caps_1_0_0.xml", "1.0.0", "Old service 1.0.0", "{{BASE}}/wms10/map?", 0, 0, 0, {},
       "- 'Base' EPSG:4326 geo[0,0,40,30]\n"
       "  grid 'Grid' EPSG:4326 geo[0,0,40,30]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    wms_service_t* s = read(c.file);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->cls, CLS_WMS_SERVICE);
    EXPECT_STREQ(s->version, c.version);
    EXPECT_EQ(utf8(s->title), c.title);
    ASSERT_NE(s->getmap_url, nullptr);
    EXPECT_STREQ(s->getmap_url, c.getmap);
    EXPECT_EQ(s->layer_limit, c.limit);
    EXPECT_EQ(s->max_width, c.max_w);
    EXPECT_EQ(s->max_height, c.max_h);
    EXPECT_EQ(std::vector<int>(s->formats, s->formats + s->format_count), c.formats);
    EXPECT_EQ(describe(s), c.tree);
    EXPECT_EQ(s->holder, wms_services());
  }
  EXPECT_EQ(obj_list_count(wms_services()), 3);
}

TEST_F(WmsCapabilities, LayerAttributesAndNoSubsets) {
  wms_service_t* s = read("caps_1_3_0.xml");
  ASSERT_NE(s, nullptr);
  wms_layer_t* roads = find_layer(s, "roads");
  ASSERT_NE(roads, nullptr);
  EXPECT_EQ(roads->no_subsets, 1);
  EXPECT_EQ(roads->fixed_width, 512);
  EXPECT_EQ(roads->fixed_height, 384);
  EXPECT_EQ(roads->service, s);
  EXPECT_EQ(roads->father->cls, CLS_WMS_LAYER);
  wms_layer_t* major = find_layer(s, "roads_major");
  ASSERT_NE(major, nullptr);
  EXPECT_EQ(major->father, roads);
  EXPECT_EQ(major->no_subsets, 0);
}

// Small documents, each showing one rule of the reader.
TEST_F(WmsCapabilities, ReaderRules) {
  const std::string head =
      "<WMT_MS_Capabilities version=\"1.1.1\"><Service><Name>OGC:WMS</Name></Service>"
      "<Capability><Request><GetMap>";
  const std::string layer_head = "</GetMap></Request><Layer><Name>a</Name><SRS>EPSG:2154</SRS>";
  const std::string tail = "</Layer></Capability></WMT_MS_Capabilities>";
  const struct {
    const char* what;
    std::string doc;
    const char* getmap;      // expected GetMap address ("" none)
    std::vector<int> formats;
    const char* tree;
  } cases[] = {
      {"xlink:href inside Get sets the address",
       head + "<DCPType><HTTP><Get><OnlineResource xmlns:xlink=\"x\" xlink:href=\"http://a/g?\"/>"
              "</Get></HTTP></DCPType>" + layer_head + tail,
       "http://a/g?", {}, "a '' EPSG:2154\n"},
      {"onlineResource on Get sets the address",
       head + "<DCPType><HTTP><Get onlineResource=\"http://b/g\"/></HTTP></DCPType>" + layer_head + tail,
       "http://b/g", {}, "a '' EPSG:2154\n"},
      {"a Post address is not the GetMap address",
       head + "<DCPType><HTTP><Post><OnlineResource xlink:href=\"http://p/\"/></Post>"
              "<Get><OnlineResource xlink:href=\"http://g/\"/></Get></HTTP></DCPType>" + layer_head + tail,
       "http://g/", {}, "a '' EPSG:2154\n"},
      {"png named twice in one Format counts once",
       head + "<Format>image/png; mode=png8</Format><Format>image/jpeg</Format><Format>text/html</Format>" +
           layer_head + tail,
       "", {kDecoderPng, kDecoderJpeg}, "a '' EPSG:2154\n"},
      {"bounds in the order minx miny maxx maxy, the system last",
       head + layer_head +
           "<BoundingBox minx=\"1\" miny=\"2\" maxx=\"3\" maxy=\"4\" SRS=\"EPSG:2154\"/>" + tail,
       "", {}, "a '' EPSG:2154[1,2,3,4]\n"},
      {"a box of a system the layer does not offer is ignored",
       head + layer_head + "<BoundingBox SRS=\"EPSG:27700\" minx=\"1\" miny=\"2\" maxx=\"3\" maxy=\"4\"/>" + tail,
       "", {}, "a '' EPSG:2154\n"},
      {"a layer outside Capability is not made",
       head + "</GetMap></Request></Capability><Layer><Name>lost</Name></Layer></WMT_MS_Capabilities>",
       "", {}, ""},
      {"the outer layer is current again after the inner one",
       head + layer_head + "<Layer><Name>in</Name></Layer><Title>outer title</Title>" + tail,
       "", {}, "a 'outer title' EPSG:2154\n  in '' EPSG:2154\n"},
      {"an unknown system and a code without number are left out",
       head + layer_head + "<SRS>EPSG:0</SRS><SRS>EPSG:</SRS><SRS>EPSG:123456789</SRS><SRS>junk</SRS>" + tail,
       "", {}, "a '' EPSG:2154\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    wms_service_t* s = nullptr;
    ASSERT_EQ(wms_read_capabilities(c.doc.data(), c.doc.size(), nullptr, &s), 1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::string(s->getmap_url ? s->getmap_url : ""), c.getmap);
    EXPECT_EQ(std::vector<int>(s->formats, s->formats + s->format_count), c.formats);
    EXPECT_EQ(describe(s), c.tree);
  }
}

// A document that is not a capabilities document, and a service that is not a WMS:
// clear errors, no service, and the services read before stay.
TEST_F(WmsCapabilities, RefusedDocumentsLeaveTheListAsItWas) {
  wms_service_t* first = read("caps_1_3_0.xml");
  ASSERT_NE(first, nullptr);
  const struct {
    std::string doc;
    int error;
  } cases[] = {
      {fixture("not_a_wms.xml"), ERR_UNKNOWN_FORMAT},
      {fixture("other.xml"), ERR_NO_COMM},
      {"", ERR_NO_COMM},
      {"not xml at all \x01\x02", ERR_NO_COMM},
      {fixture("caps_1_3_0.xml").substr(0, 300), ERR_NO_COMM + 0},  // cut inside Service
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(i++);
    set_gblerr(0);
    wms_service_t* s = reinterpret_cast<wms_service_t*>(1);
    const int r = wms_read_capabilities(c.doc.data(), c.doc.size(), nullptr, &s);
    if (c.doc.size() == 300) {
      // A document cut short still makes its service, with what it held.
      EXPECT_EQ(r, 1);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(utf8(s->title), "Test service 1.3.0");
      wms_service_free(&s);
      continue;
    }
    EXPECT_EQ(r, 0);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(get_gblerr(), c.error);
    ASSERT_EQ(obj_list_count(wms_services()), 1);
    EXPECT_EQ(obj_list_first(wms_services(), nullptr), first);
  }
  EXPECT_EQ(obj_class_count(CLS_WMS_SERVICE, nullptr), 1);
  set_gblerr(0);
}

// Coordinate system codes: EPSG codes of datums and projections, and the "CRS"
// authority's own codes, CRS:84 being WGS 84 longitude/latitude (not EPSG 84).
TEST_F(WmsCapabilities, CoordinateSystemCodes) {
  const struct {
    const char* code;
    int kind;        // 0 not found, 1 geographic, 2 projected
    int datum_code;  // of the georef's datum
    int proj_code;
  } cases[] = {
      {"EPSG:4326", 1, 214, 0},  {"epsg:4326", 1, 214, 0}, {"CRS:84", 1, 214, 0},
      {"crs:84", 1, 214, 0},     {"EPSG:2154", 2, -1, 2154}, {"EPSG:27700", 2, -1, 27700},
      {"urn:ogc:def:crs:EPSG::2154", 2, -1, 2154},
      {"CRS:1", 0, 0, 0},        {"AUTO:42001", 0, 0, 0}, {"EPSG:999999", 0, 0, 0},
      {"EPSG:", 0, 0, 0},        {"", 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    set_gblerr(0);
    georef_t* g = crs(c.code);
    EXPECT_EQ(get_gblerr(), 0);
    if (c.kind == 0) {
      EXPECT_EQ(g, nullptr);
      continue;
    }
    ASSERT_NE(g, nullptr);
    const int kind = g->refertype, unit = g->unit;
    geodatum_t* datum = g->datum;
    cartproj_t* projection = g->projection;
    EXPECT_EQ(kind, c.kind);
    ASSERT_NE(datum, nullptr);
    if (c.kind == 1) {
      EXPECT_EQ(int(datum->code), c.datum_code);
      EXPECT_EQ(unit, int(ANG_DEGREE));
    } else {
      ASSERT_NE(projection, nullptr);
      EXPECT_EQ(int(projection->code), c.proj_code);
    }
  }
  // CRS:84 and EPSG:4326 are one system; the axis order differs only in 1.3.0.
  EXPECT_EQ(georef_same_system(crs("CRS:84"), crs("EPSG:4326")), 0);
  EXPECT_EQ(wms_axis_latitude_first("1.3.0", "EPSG:4326", crs("EPSG:4326")), 1);
  EXPECT_EQ(wms_axis_latitude_first("1.1.1", "EPSG:4326", crs("EPSG:4326")), 0);
  EXPECT_EQ(wms_axis_latitude_first("1.3.0", "CRS:84", crs("CRS:84")), 0);
  EXPECT_EQ(wms_axis_latitude_first("1.3.0", "EPSG:2154", crs("EPSG:2154")), 0);
}

TEST_F(WmsCapabilities, LayerSystemsCommonListsAndExtents) {
  wms_service_t* s = read("caps_1_3_0.xml");
  ASSERT_NE(s, nullptr);
  wms_layer_t* roads = find_layer(s, "roads");
  wms_layer_t* rivers = find_layer(s, "rivers");
  wms_layer_t* major = find_layer(s, "roads_major");
  ASSERT_TRUE(roads && rivers && major);
  georef_t* lambert = crs("EPSG:2154");
  georef_t* wgs = crs("EPSG:4326");
  georef_t* british = crs("EPSG:27700");
  EXPECT_EQ(wms_layer_has_crs(roads, lambert, 1), 1);
  EXPECT_EQ(wms_layer_has_crs(rivers, lambert, 1), 0);
  EXPECT_EQ(wms_layer_has_crs(rivers, wgs, 1), 1);
  EXPECT_EQ(wms_layer_has_crs(roads, british, 1), 0);

  container_t *a = nullptr, *b = nullptr, *common = nullptr;
  wms_layer_crs_list(roads, &a);
  wms_layer_crs_list(rivers, &b);
  EXPECT_EQ(obj_list_count(a), 3);
  wms_common_crs(a, b, &common);
  // roads' EPSG:4326 and CRS:84 are both WGS 84 geographic, which rivers offers.
  ASSERT_EQ(obj_list_count(common), 2);
  for (int i = 0; i < 2; ++i) {
    obj_t* g = nullptr;
    obj_list_get(common, i, &g);
    EXPECT_EQ(georef_same_system(static_cast<georef_t*>(g), wgs), 0);
  }
  for (container_t* l : {a, b, common}) {
    container_t* list = l;
    obj_list_set_count(list, 0);
    free_obj(&list);
  }

  // Extents: a layer offering the system gives its box, one that does not is carried
  // from its geographic box.
  container_t* chosen = nullptr;
  obj_list_new(&chosen);
  obj_list_append(chosen, major);
  obj_list_append(chosen, rivers);
  extent_t e{};
  ASSERT_EQ(wms_layers_extent(chosen, wgs, &e), 1);
  EXPECT_EQ(num(e.xmin) + "," + num(e.ymin) + "," + num(e.xmax) + "," + num(e.ymax), "-10,35,30,60");
  obj_list_set_count(chosen, 0);
  obj_list_append(chosen, rivers);
  ASSERT_EQ(wms_layers_extent(chosen, lambert, &e), 1);
  // The box of -10..30 E, 35..60 N in Lambert-93: its edges sampled 8 times a side and
  // carried by pyproj (EPSG:4326 to EPSG:2154) give these bounds.
  EXPECT_NEAR(e.xmin, -502924.18, 50);
  EXPECT_NEAR(e.ymin, 5318249.60, 50);
  EXPECT_NEAR(e.xmax, 3161082.77, 50);
  EXPECT_NEAR(e.ymax, 8378839.72, 50);
  obj_list_set_count(chosen, 0);
  EXPECT_EQ(wms_layers_extent(chosen, lambert, &e), 0);
  free_obj(&chosen);
}

class WmsFetch : public WmsTest {
 protected:
  wms_server server;
};

// The address completed and fetched from a server on 127.0.0.1, for each version; the
// GetMap address arrives as the document gives it.
TEST_F(WmsFetch, GetCapabilitiesFromAServer) {
  const struct {
    const char* path;
    const char* file;
    const char* getmap;
  } cases[] = {{"/v13", "caps_1_3_0.xml", "/wms13/map?"},
               {"/v11", "caps_1_1_1.xml", "/wms11/map"},
               {"/v10", "caps_1_0_0.xml", "/wms10/map?"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    server.set_capabilities(c.path, fixture(c.file));
    wms_service_t* s = nullptr;
    ASSERT_EQ(wms_get_capabilities(server.url(c.path).c_str(), nullptr, &s), 1);
    EXPECT_EQ(get_gblerr(), 0);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->getmap_url, nullptr);
    EXPECT_EQ(std::string(s->getmap_url), server.url(c.getmap));
  }
  const auto requests = server.http().requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find('\r')),
            std::string("GET /v13?") + kRequest + " HTTP/1.0");
  EXPECT_EQ(obj_list_count(wms_services()), 3);
}

TEST_F(WmsFetch, AddressesThatFetchNothingOrNoService) {
  server.set_capabilities("/other", fixture("other.xml"));
  server.set_capabilities("/wfs", fixture("not_a_wms.xml"));
  const std::string at = server.http().authority();
  const struct {
    std::string address;
    int error;
    std::string why;  // the HTTP client's own words ("": none)
  } cases[] = {
      {"ftp://127.0.0.1/wms", ERR_OBJECT, ""},
      {server.url("/missing"), ERR_OBJECT, "The server " + at + " answered with status 404"},
      {"http://127.0.0.1:1/wms", ERR_OBJECT, "Cannot connect to 127.0.0.1:1: connection refused"},
      // A name under .invalid never resolves, and no query leaves the machine for it.
      {"http://no-such-server.invalid/wms", ERR_OBJECT, "Cannot resolve the server name: no-such-server.invalid"},
      {server.url("/other"), ERR_NO_COMM, ""},
      {server.url("/wfs"), ERR_UNKNOWN_FORMAT, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    set_gblerr(0);
    EXPECT_EQ(wms_get_capabilities(c.address.c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(get_gblerr(), c.error);
    EXPECT_EQ(std::string(wms_last_fetch_error()), c.why);
  }
  EXPECT_EQ(obj_list_count(wms_services()), 0);
  set_gblerr(0);
}

// A server that never answers: the fetch says it timed out once the receive wait has
// passed (virtual time).
TEST_F(WmsFetch, ServerThatNeverAnswersTimesOut) {
  tm_test::http_server& http = server.http();
  http.queue(tm_test::http_reply{"", true});
  const std::string address = "http://" + http.authority() + "/slow";
  plat::use_virtual_clock(true);
  std::atomic<int> done{0};
  std::atomic<int> error{-1};
  std::string why;
  std::thread client([&] {
    set_gblerr(0);
    error = wms_get_capabilities(address.c_str(), nullptr, nullptr) ? -2 : get_gblerr();
    why = wms_last_fetch_error();
    done = 1;
  });
  ASSERT_TRUE(http.wait_stalled());
  while (plat::net_waiters() < 1) std::this_thread::yield();
  plat::advance_virtual_ms(kWmsReceiveSeconds * 1000);
  client.join();
  EXPECT_EQ(error.load(), ERR_OBJECT);
  EXPECT_EQ(why, "No answer from " + http.authority() + ": timed out");
  http.release_stall();
  plat::use_virtual_clock(false);
  set_gblerr(0);
}

}  // namespace
}  // namespace wms_test

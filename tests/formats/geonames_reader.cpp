// The GeoNames reader on answers fetched from a server in the test process with the
// core's HTTP client, as a load of a web address fetches them: accented names,
// elevation and population, documents that make no point (a foreign root, a "geoname"
// outside "geonames" or inside another one), a record cut by the end of the body, a
// body shorter than announced and a stalled server given up on the virtual clock.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/http.h"
#include "core/reader.h"
#include "core/socket.h"
#include "formats/geonames.h"
#include "geodesy/georef.h"
#include "geodesy/xform_records.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "platform/net/net.h"
#include "platform/sys/clock.h"
#include "tests/map/file_types_env.h"
#include "tests/map/gps_fixture.h"
#include "tests/support/http_server.h"

namespace {

using tm_test::http_server;

std::atomic<int> g_progress_calls{0};
void count_progress(const char*) { ++g_progress_calls; }

// What the test expects of one point of interest.
struct place {
  std::u16string name;
  double x, y;
  float altitude;
  std::u16string comment;
};

class GeonamesReader : public tm_test::GpsFixture {
 protected:
  void SetUp() override {
    GpsFixture::SetUp();
    // The real file objects receive the downloads: tables of their own, whatever an
    // earlier suite registered.
    tm_test::file_types_detail::free_file_tables();
    fileobj_types_register();
    drawobj_types_register();
    socket_register_type();
    http_failures_reset();
    geonames_register_vocab();
    g_progress_calls = 0;
    get_command_hooks().progress_file_position = count_progress;
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override {
    server.stop();
    set_gblerr(0);
    rd_close_all();
    for (fileatt_t*& f : files_) free_obj(&f);
    get_command_hooks().progress_file_position = nullptr;
    tm_test::file_types_detail::free_file_tables();
    file_ops_install(nullptr);
    http_hooks_install(nullptr);
    if (plat::virtual_clock_on()) plat::use_virtual_clock(false);
    GpsFixture::TearDown();
  }

  std::string url(const std::string& path) { return "http://" + server.authority() + path; }

  // A file object of the web address with its first folder, freed at the end.
  fileatt_t* web_file(const std::string& address) {
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, address.c_str(), 0, 0, &f);
    EXPECT_NE(f, nullptr);
    container_t* content = nullptr;
    obj_list_new(&content);
    f->sot = content;
    folder_get_or_create(f, content, 0, nullptr);
    files_.push_back(f);
    return f;
  }
  static folder_t* folder(fileatt_t* f) { return file_get_first_folder(f, nullptr); }

  // Serves the body as a plain 200 answer, fetches it and reads it; the reader's result.
  int fetch_and_read(const std::string& body, fileatt_t** out) {
    server.queue(http_server::reply("200 OK", "Content-Type: text/xml\r\n", body));
    fileatt_t* f = web_file(url("/search?q=paris"));
    EXPECT_EQ(http_get(f, nullptr, 0), 0);
    *out = f;
    return read_geonames_xml(f, folder(f));
  }

  static std::vector<poi_t*> points(fileatt_t* f) {
    std::vector<poi_t*> out;
    container_t* list = folder(f)->sot;
    for (int i = 0; i < obj_list_count(list); ++i)
      if (list->elems[i] && list->elems[i]->cls == CLS_POI) out.push_back(static_cast<poi_t*>(list->elems[i]));
    return out;
  }

  static void expect_places(fileatt_t* f, const std::vector<place>& want) {
    const std::vector<poi_t*> got = points(f);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE(i);
      const poi_t* p = got[i];
      EXPECT_EQ(tm_test::wide(p->name), want[i].name);
      EXPECT_DOUBLE_EQ(p->coords.x, want[i].x);
      EXPECT_DOUBLE_EQ(p->coords.y, want[i].y);
      EXPECT_FLOAT_EQ(p->altitude, want[i].altitude);
      EXPECT_FLOAT_EQ(p->coords.z, want[i].altitude);
      EXPECT_EQ(tm_test::wide(p->comment), want[i].comment);
      EXPECT_EQ(p->display, 0);
    }
  }

  http_server server;
  std::vector<fileatt_t*> files_;
};

const char kTwoPlaces[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
    "<geonames style=\"MEDIUM\">\n<totalResultsCount>2</totalResultsCount>\n"
    "<geoname>\n<toponymName>P\xC3\xA2ris</toponymName>\n<name>P\xC3\xA2ris</name>\n"
    "<lat>48.85341</lat>\n<lng>2.3488</lng>\n<countryCode>FR</countryCode>\n"
    "<countryName>France</countryName>\n<fcode>PPLC</fcode>\n"
    "<population>2138551</population>\n<elevation>35</elevation>\n</geoname>\n"
    "<geoname>\n<name>Saint-\xC3\x89tienne</name>\n<lat>45.43389</lat>\n<lng>4.39</lng>\n"
    "</geoname>\n</geonames>\n";

TEST_F(GeonamesReader, ResultsBecomePointsOfInterestInGeographicCoordinates) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(fetch_and_read(kTwoPlaces, &f), 0);
  expect_places(f, {{u"P\u00E2ris", 2.3488, 48.85341, 35.0f, u"2138551"},
                    {u"Saint-\u00C9tienne", 4.39, 45.43389, 0.0f, u"<null>"}});
  // The folder is geographic on the reference datum, and the points are drawn.
  obj_t* g = nullptr;
  obj_list_first_of_class(folder(f)->sot, CLS_GEOREF, &g);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(static_cast<georef_t*>(g)->refertype, 1);
  int styles = 0;
  for (int i = 0; i < obj_list_count(folder(f)->sot); ++i)
    styles += is_drawable_type(folder(f)->sot->elems[i]->cls) ? 1 : 0;
  EXPECT_GT(styles, 0);
  // Each record told the progress window where the read was.
  EXPECT_EQ(g_progress_calls.load(), 2);
}

// Documents whose records cannot all become points: what is made, and the result.
TEST_F(GeonamesReader, RecordsOutsideTheirPlaceMakeNoPointAndWriteNowhere) {
  struct Case {
    const char* name;
    std::string body;
    int result;
    std::vector<place> places;
  };
  const std::string good = "<geoname><name>A</name><lat>1.5</lat><lng>2.5</lng></geoname>";
  const Case cases[] = {
      {"foreign root with its own elements",
       "<results><place><name>X</name><lat>1</lat><lng>2</lng></place></results>", 0, {}},
      {"foreign root around a record", "<results>" + good + "</results>", ERR_BAD_FILE, {}},
      {"record without a name outside geonames",
       "<geoname><lat>50</lat><lng>60</lng><elevation>7</elevation></geoname>", 0, {}},
      {"stray record after the answer",
       "<geonames>" + good + "</geonames><geoname><lat>50</lat><lng>60</lng>"
       "<elevation>7</elevation><population>9</population></geoname>",
       0, {{u"A", 2.5, 1.5, 0.0f, u"<null>"}}},
      {"record inside a record",
       "<geonames><geoname><name>A</name><geoname><lat>9</lat><elevation>3</elevation>"
       "</geoname><lat>1.5</lat><lng>2.5</lng></geoname></geonames>",
       0, {{u"A", 2.5, 1.5, 0.0f, u"<null>"}}},
      {"values directly under geonames",
       "<geonames>" + good + "<lat>7</lat><name>B</name></geonames>", 0,
       {{u"A", 2.5, 1.5, 0.0f, u"<null>"}}},
      {"name of a stray record stops the read",
       "<geonames>" + good + "</geonames><geoname><name>B</name></geoname>", ERR_BAD_FILE,
       {{u"A", 2.5, 1.5, 0.0f, u"<null>"}}},
      {"numbers with a comma and an exponent",
       "<geonames><geoname><lat>-33,5</lat><lng>1.512e2</lng><elevation>-4.5</elevation>"
       "<name>Sydney</name></geoname></geonames>",
       0, {{u"Sydney", 151.2, -33.5, -4.5f, u"<null>"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fileatt_t* f = nullptr;
    EXPECT_EQ(fetch_and_read(c.body, &f), c.result);
    set_gblerr(0);
    expect_places(f, c.places);
  }
}

// A connection that closes inside a record: the records before it are kept, the cut
// one (no closing tag, its position unread) makes no point.
TEST_F(GeonamesReader, ARecordCutByTheEndOfTheBodyIsDropped) {
  const std::string doc = kTwoPlaces;
  const std::string cut = doc.substr(0, doc.find("<lng>4.39"));
  fileatt_t* f = nullptr;
  ASSERT_EQ(fetch_and_read(cut, &f), 0);
  expect_places(f, {{u"P\u00E2ris", 2.3488, 48.85341, 35.0f, u"2138551"}});
}

// Answers that leave nothing to read: a body shorter than its announced length is
// dropped by the client, and a server that never answers is given up after the
// receive time-out. The reader then reports the file access error and makes nothing.
TEST_F(GeonamesReader, NothingFetchedGivesTheFileAccessError) {
  server.queue(http_server::reply("200 OK", "Content-Length: 5000\r\n", kTwoPlaces));
  fileatt_t* f = web_file(url("/short"));
  EXPECT_EQ(http_get(f, nullptr, 0), 0);
  EXPECT_EQ(read_geonames_xml(f, folder(f)), ERR_FILE_ACCESS);
  set_gblerr(0);
  expect_places(f, {});

  server.queue(tm_test::http_reply{"", true});
  plat::use_virtual_clock(true);
  fileatt_t* stalled = web_file(url("/stall"));
  std::atomic<int> rc{-100};
  std::thread client([&] { rc = http_get(stalled, nullptr, 0); });
  ASSERT_TRUE(server.wait_stalled());
  while (plat::net_waiters() < 1) std::this_thread::yield();
  plat::advance_virtual_ms(kHttpReceiveSeconds * 1000);
  client.join();
  EXPECT_EQ(rc.load(), 0);
  server.release_stall();
  EXPECT_EQ(read_geonames_xml(stalled, folder(stalled)), ERR_FILE_ACCESS);
  set_gblerr(0);
  expect_places(stalled, {});
}

}  // namespace

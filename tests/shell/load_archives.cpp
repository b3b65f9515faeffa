// Compressed files through the load command, as a user loads them: a gzip file fetched
// from a web address, archives inside archives (each shows its innermost data, and the
// inner archive is no "cannot display"), archives nested deeper than identification
// goes (a clear message), and what decoding shows meanwhile: the Deflate read position
// in the progress window and the ZIP ticks of the activity indicator.
#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/checksum.h"
#include "core/config.h"
#include "core/inflate.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "shell/framework/progress.h"
#include "shell/framework/progress_state.h"
#include "shell/startup.h"
#include "tests/shell/load_fixture.h"
#include "tests/support/http_server.h"

namespace frame_test {
namespace {

void put16(std::string* s, unsigned v) {
  s->push_back(char(v & 255));
  s->push_back(char(v >> 8 & 255));
}
void put32(std::string* s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

// A gzip file of stored Deflate blocks.
std::string gzip_of(const std::string& data) {
  std::string out("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(data.size() - at, 65535);
    out.push_back(at + n == data.size() ? 1 : 0);
    put16(&out, unsigned(n));
    put16(&out, unsigned(~n & 0xFFFF));
    out.append(data, at, n);
    at += n;
  } while (at < data.size());
  put32(&out, crc32_update(kCrc32Init, data.data(), data.size()));
  put32(&out, uint32_t(data.size()));
  return out;
}

// A ZIP archive of stored members (local headers only: the walk reads nothing else).
std::string zip_of(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string out;
  for (const auto& [name, data] : members) {
    put32(&out, 0x04034b50);
    put16(&out, 20);
    put16(&out, 0);
    put16(&out, 0);
    put32(&out, 0);
    put32(&out, crc32_update(kCrc32Init, data.data(), data.size()));
    put32(&out, uint32_t(data.size()));
    put32(&out, uint32_t(data.size()));
    put16(&out, unsigned(name.size()));
    put16(&out, 0);
    out += name;
    out += data;
  }
  return out;
}

// A GPX file of one track of `points` points around (lon, lat).
std::string track_text(double lon, double lat, int points = 4) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><name>t</name><trkseg>\n";
  for (int i = 0; i < points; ++i)
    s += "<trkpt lat=\"" + std::to_string(lat + 0.01 * (i % 7)) + "\" lon=\"" +
         std::to_string(lon + 0.001 * i) + "\"></trkpt>\n";
  return s + "</trkseg></trk></gpx>\n";
}

class LoadArchives : public LoadFixture {
 protected:
  static std::string status_text() {
    char* status = nullptr;
    main_get_title_text(nullptr, &status);
    std::string s = status ? status : "";
    free_mem(&status);
    return s;
  }
  // The files shown whose name ends with `tail`.
  static int shown_ending(const std::string& tail) {
    int n = 0;
    for (const std::string& name : layer_files())
      if (name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0) ++n;
    return n;
  }
};

TEST_F(LoadArchives, GzipFetchedFromAnAddressIsShown) {
  tm_test::http_server server;
  server.queue(tm_test::http_server::reply("200 OK", "Content-Type: application/gzip\r\n",
                                           gzip_of(track_text(3.0, 45.0))));
  const std::string url = "http://" + server.authority() + "/track.gpx.gz";
  open_file(url.c_str());
  settle();
  server.stop();
  EXPECT_EQ(shown_ending("/track.gpx.gz"), 1) << ::testing::PrintToString(layer_files());
  EXPECT_THAT(status_text(), ::testing::Not(::testing::HasSubstr("Cannot display")));
  EXPECT_EQ(get_gblerr(), 0);
}

// Each nest shows its innermost track once, and nothing says it cannot be displayed.
TEST_F(LoadArchives, NestedArchivesShowTheirInnermostTrack) {
  const std::string gpx = track_text(2.0, 46.0);
  const struct {
    const char* name;
    std::string bytes;
    const char* shown;  // the end of the name of the file shown
  } cases[] = {
      {"twice.gpx.gz.gz", gzip_of(gzip_of(gpx)), "twice.gpx.gz.gz"},
      {"member.zip", zip_of({{"t.gpx.gz", gzip_of(gpx)}}), "member.zip/t.gpx.gz"},
      {"outer.zip", zip_of({{"inner.zip", zip_of({{"t.gpx", gpx}})}}), "inner.zip/t.gpx"},
  };
  const std::string d = tm_test::fresh_dir("load_nested");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = tm_test::write_file(d + c.name, c.bytes);
    main_set_status_text(nullptr, "", 0);
    open_file(path.c_str());
    settle();
    EXPECT_EQ(shown_ending(c.shown), 1) << ::testing::PrintToString(layer_files());
    EXPECT_THAT(status_text(), ::testing::Not(::testing::HasSubstr("Cannot display")));
    EXPECT_EQ(get_gblerr(), 0);
  }
}

TEST_F(LoadArchives, NestTooDeepIsNamedAsSuch) {
  std::string bytes = track_text(1.0, 44.0);
  for (int i = 0; i < kMaxIdentifyDepth + 4; ++i) bytes = gzip_of(bytes);
  const std::string d = tm_test::fresh_dir("load_deep");
  config_set("LOG_DIR", d.c_str());
  config_set("LOGERROR", "1");
  log_init("TARM");
  const std::string path = tm_test::write_file(d + "deep.gz", bytes);
  open_file(path.c_str());
  settle();
  EXPECT_EQ(shown_ending("deep.gz"), 0);
  const std::string expected = "Invalid file (archives nested too deep): " + path;
  EXPECT_THAT(status_text(), ::testing::HasSubstr(expected));
  std::ifstream in(log_path(), std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(log, ::testing::HasSubstr(expected));
  EXPECT_EQ(get_gblerr(), 0);
}

// A large gzip file decoded while the progress window is up shows the Deflate read
// position, in the language of the configuration.
void expect_deflate_label(const char* label) {
  const std::string d = tm_test::fresh_dir("load_progress");
  const std::string path = tm_test::write_file(d + "big.gpx.gz", gzip_of(track_text(5.0, 45.0, 40000)));
  progress_state_reset();
  progress_window_create();
  ASSERT_NE(progress_window(), nullptr);
  // The window has been up long enough to show itself at the first step.
  progress_globals().created_ms = progress_globals().created_ms.load() - 10000;
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &f);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(gzip_open_member(f, 0), 0);
  const std::string text = plat::dlg_item_text(progress_window(), kProgressTextId);
  EXPECT_THAT(text, ::testing::StartsWith(std::string(label)));
  EXPECT_THAT(text, ::testing::EndsWith("%"));
  EXPECT_TRUE(progress_shown());
  rd_close_file(f);
  free_obj(&f);
  progress_close();
}

TEST_F(LoadArchives, DeflateReadPositionIsShownInTheProgressWindow) {
  expect_deflate_label("Deflate read position ");
}

class LoadArchivesFrench : public LoadArchives {
 protected:
  void SetUp() override { SetUpIn("FRANCAIS"); }
};

TEST_F(LoadArchivesFrench, DeflateReadPositionIsShownInTheProgressWindow) {
  expect_deflate_label("Position de lecture Deflate ");
}

// Listing a ZIP archive ticks the activity indicator with the ZIP text.
TEST_F(LoadArchives, ZipListingTicksTheIndicator) {
  const std::string d = tm_test::fresh_dir("load_ticks");
  const std::string path =
      tm_test::write_file(d + "pack.zip", zip_of({{"a.gpx", track_text(1.0, 45.0)}}));
  progress_state_reset();  // the next tick is allowed at once
  main_set_status_text(nullptr, "", 0);
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, path.c_str(), 1, 1, &f);
  ASSERT_NE(f, nullptr);
  container_t* members = nullptr;
  obj_list_new(&members);
  file_identify_and_load(f, reinterpret_cast<obj_t*>(members), 1);
  EXPECT_EQ(obj_list_count(members), 1);
  std::string status = status_text();
  std::transform(status.begin(), status.end(), status.begin(), ::toupper);
  EXPECT_THAT(status, ::testing::HasSubstr("ZIP SURF"));
  obj_list_clear(members);
  free_obj(&members);
}

}  // namespace
}  // namespace frame_test

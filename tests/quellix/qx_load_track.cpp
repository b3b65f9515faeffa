// Loading a track for replay: NMEA logs as they are, other GPS files through the NMEA
// export (a GPX and an own-format track replay exactly like the NMEA file our export
// writes of them), and the messages for files that are no GPS data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/hooks.h"
#include "formats/file_load.h"
#include "gps/nmea_files.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"
#include "tests/quellix/qx_builders_test_support.h"

namespace {

using tm_test::lat_field;
using tm_test::rmc;

std::vector<std::string> g_messages;
void record_message(const char* text, const char* caption) {
  g_messages.push_back(std::string(caption) + "|" + text);
}

class QxLoadTrack : public tm_test::QxBuildersFixture {
 protected:
  void SetUp() override {
    QxBuildersFixture::SetUp();
    g_messages.clear();
    get_core_hooks().message_box = record_message;
  }
  void TearDown() override {
    get_core_hooks().message_box = nullptr;
    QxBuildersFixture::TearDown();
  }

  // A copy of a fixture file in the test's folder, opened (not identified).
  fileatt_t* copy_of(const std::string& fixture, const std::string& name) {
    return open(put("/" + name, tm_test::slurp_file(fixture)));
  }
};

struct source_case {
  const char* name;
  std::string fixture;
  const char* file_name;
};

// The replay of a GPS file equals the replay of its NMEA export written to disk.
TEST_F(QxLoadTrack, OtherGpsFilesReplayLikeTheirNmeaExport) {
  const source_case cases[] = {
      {"gpx", std::string(TM_FIXTURE_DIR) + "/gpx/gpx10.gpx", "track.gpx"},
      {"own_track", std::string(TM_FIXTURE_DIR) + "/gpstext/v2_track.tmt", "track.tmt"},
  };
  for (const source_case& c : cases) {
    SCOPED_TRACE(c.name);
    // The export of the file as the map program writes it.
    fileatt_t* source = copy_of(c.fixture, std::string("src_") + c.file_name);
    file_identify_and_load_default(source);
    ASSERT_EQ(file_load(source, nullptr, 0), 0);
    const std::string exported = dir_ + "/" + c.name + ".nmea";
    nmea_export(exported.c_str(), nullptr, source);
    ASSERT_EQ(get_gblerr(), 0);
    fileatt_t* nmea = open(exported);
    file_identify_and_load_default(nmea);
    ASSERT_EQ(uint32_t(nmea->fileformat), uint32_t(kNmeaFileFormat));
    ASSERT_EQ(qx_load_track_file(nmea), 0);
    const auto expected = points_of(nmea);
    ASSERT_FALSE(expected.empty());

    fileatt_t* f = copy_of(c.fixture, c.file_name);
    ASSERT_EQ(qx_load_track_file(f), 0);
    EXPECT_EQ(int(f->filetype), kFileKindGps);
    EXPECT_EQ(uint32_t(f->fileformat), uint32_t(kNmeaFileFormat));
    const auto got = points_of(f);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(text_of(got[i]), text_of(expected[i]));
      EXPECT_EQ(double(got[i]->time), double(expected[i]->time));
      EXPECT_EQ(double(got[i]->distance), double(expected[i]->distance));
      EXPECT_EQ(double(got[i]->longitude), double(expected[i]->longitude));
      EXPECT_EQ(double(got[i]->latitude), double(expected[i]->latitude));
      EXPECT_EQ(int(got[i]->marker), int(expected[i]->marker));
    }
    EXPECT_TRUE(g_messages.empty());
  }
}

TEST_F(QxLoadTrack, NmeaLogIsReadAndResampled) {
  fileatt_t* f = open(put("/log.nmea", rmc("100000", lat_field(0), "00600.0000", "3.6", "100324") +
                                           rmc("100030", lat_field(0.108), "00600.0000", "3.6", "100324")));
  ASSERT_EQ(qx_load_track_file(f), 0);
  // Two points of the log and six in the gap between them.
  EXPECT_EQ(points_of(f).size(), 8u);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(QxLoadTrack, FilesThatAreNoGpsDataAreTold) {
  struct message_case {
    const char* name;
    const char* file_name;
    std::string bytes;
    int result;
    std::string message;  // after the path
  } cases[] = {
      {"not_gps", "notes.txt", "just some words\n", 3, "Loading error|"},
      {"gpx_without_objects", "empty.gpx",
       "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\"></gpx>\n", 0, "End of loading|"},
  };
  for (const message_case& c : cases) {
    SCOPED_TRACE(c.name);
    g_messages.clear();
    const std::string path = put(std::string("/") + c.file_name, c.bytes);
    fileatt_t* f = open(path);
    EXPECT_EQ(qx_load_track_file(f), c.result);
    ASSERT_EQ(g_messages.size(), 1u);
    const std::string tail = c.result == 3 ? "\nUnkown File Format" : "\nNo NMEA data.";
    EXPECT_EQ(g_messages[0], c.message + path + tail);
    EXPECT_TRUE(points_of(f).empty());
  }
}

}  // namespace

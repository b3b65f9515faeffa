// The Training Center reader on the files gpsbabel wrote (scripts/fixtures/
// make_tcx_fixtures.py: courses, activities) checked against the GPX values they came
// from; the three roots and where each lets tracks and laps start; lap markers, course
// points and their symbols; what a read gives the file; and cut or misplaced documents.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/xml.h"
#include "formats/tcx.h"
#include "geodesy/georef.h"
#include "map/draw_styles.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace {

const std::string kDir = TM_FIXTURE_DIR "/tcx/";

std::string narrow(const char16_t* w) {
  std::string out;
  for (; w && *w; ++w) out.push_back(char(*w));
  return out;
}

class TcxRead : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    xml_init();
    tcx_register_tables();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void free_tables() override { tcx_free_tables(); }

  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -100;
    const int result = read_tcx(f, f->sot);
    loaded_.unload_at_end(f, result != 0);
    set_gblerr(0);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& text, fileatt_t** out = nullptr) {
    return load_path(tm_test::write_file(dir_ + "/t.tcx", text), out);
  }

  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return tm_test::objects_of<T>(f->sot, cls);
  }
  // The points of each tracklog, in list order.
  static std::vector<std::vector<gpspos_t*>> tracks_of(const fileatt_t* f) {
    std::vector<std::vector<gpspos_t*>> out;
    for (tracklog_t* t : all_of<tracklog_t>(f, CLS_TRACKLOG)) {
      std::vector<gpspos_t*> points;
      for (int s = 0; s < obj_list_count(t->sons); ++s) {
        auto* seg = static_cast<trackseg_t*>(t->sons->elems[s]);
        for (int k = 0; k < obj_list_count(seg->sons); ++k)
          points.push_back(static_cast<gpspos_t*>(seg->sons->elems[k]));
      }
      out.push_back(points);
    }
    return out;
  }

};

struct when {
  int year = 0, month = 0;
  double day = 0;
};
when split(const date_rec* packed) {
  date_rec t;
  std::memcpy(&t, packed, sizeof t);
  when w;
  date_rec_split(&t, &w.year, &w.month, &w.day);
  return w;
}
bool has_time(const date_rec* packed) {
  date_rec t;
  std::memcpy(&t, packed, sizeof t);
  return t.date != 0.0 || t.day != 0.0;
}

// ---- Files written by gpsbabel ----------------------------------------------------------------

class TcxFixtures : public TcxRead, public ::testing::WithParamInterface<const char*> {};

TEST_P(TcxFixtures, TracksAndMarkersMatchTheSourceValues) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + GetParam() + ".tcx", &f), 0);
  const auto tracks = tracks_of(f);
  const auto begins = all_of<lap_t>(f, CLS_LAP_BEGIN);
  const auto ends = all_of<lap_t>(f, CLS_LAP_END);
  std::ifstream in(kDir + GetParam() + ".txt");
  std::string tag;
  size_t track = 0, begin = 0, end = 0;
  while (in >> tag) {
    if (tag == "BEGIN" || tag == "END") {
      double lon = 0, lat = 0;
      in >> lon >> lat;
      const auto& markers = tag == "BEGIN" ? begins : ends;
      size_t& at = tag == "BEGIN" ? begin : end;
      ASSERT_LT(at, markers.size());
      EXPECT_NEAR(markers[at]->coords.x, lon, 1e-9);
      EXPECT_NEAR(markers[at]->coords.y, lat, 1e-9);
      ++at;
      continue;
    }
    ASSERT_EQ(tag, "TRACK");
    size_t n = 0;
    in >> n;
    ASSERT_LT(track, tracks.size());
    const auto& points = tracks[track++];
    ASSERT_EQ(points.size(), n) << "tracklog " << track;
    for (size_t k = 0; k < n; ++k) {
      SCOPED_TRACE("tracklog " + std::to_string(track) + " point " + std::to_string(k));
      double lon, lat, alt;
      int y, mo, d, h, mi, s;
      in >> lon >> lat >> alt >> y >> mo >> d >> h >> mi >> s;
      const gpspos_t* p = points[k];
      EXPECT_NEAR(p->coords.x, lon, 1e-9);
      EXPECT_NEAR(p->coords.y, lat, 1e-9);
      EXPECT_EQ(p->altitude, float(alt));
      EXPECT_EQ(p->coords.z, float(alt));
      if (y == 0) {
        EXPECT_FALSE(has_time(&p->time));
        continue;
      }
      const when w = split(&p->time);
      EXPECT_EQ(w.year, y);
      EXPECT_EQ(w.month, mo);
      EXPECT_NEAR(w.day, d + (h * 3600.0 + mi * 60.0 + s) / 86400.0, 1e-8);
    }
  }
  EXPECT_EQ(track, tracks.size());
  EXPECT_EQ(begin, begins.size());
  EXPECT_EQ(end, ends.size());
}

INSTANTIATE_TEST_SUITE_P(Gpsbabel, TcxFixtures, ::testing::Values("course", "activity", "running"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

TEST_F(TcxRead, AReadFileGetsItsFolderStylesAndALapMarkerFolder) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "course.tcx", &f), 0);
  folder_t* folder = first_folder(f);
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->sot, f->sot);
  const auto georefs = all_of<georef_t>(f, CLS_GEOREF);
  ASSERT_EQ(georefs.size(), 1u);
  EXPECT_EQ(georefs[0]->refertype, GEOREF_GEOGRAPHIC);
  EXPECT_FALSE(styles_in(f->sot, CLS_DSEGPOINT).empty()) << "track styles";
  // The lap markers are drawn from a sub-folder holding their icon and text styles.
  bool marker_folder = false;
  for (int i = 0; i < obj_list_count(folder->sons); ++i) {
    const folder_t* sub = folder_of(folder->sons->elems[i]);
    if (sub && !styles_in(sub->sot, CLS_DIMAGE).empty()) marker_folder = true;
  }
  EXPECT_TRUE(marker_folder);
}

// ---- The three roots ------------------------------------------------------------------

const char* kHistory = R"(<?xml version="1.0"?>
<History xmlns="x"><Running><Run>
 <Lap>
  <BeginPosition><Latitude>45.5</Latitude><Longitude>6.5</Longitude></BeginPosition>
  <EndPosition><Latitude>45.6</Latitude><Longitude>6.6</Longitude></EndPosition>
 </Lap>
 <Track><Trackpoint><Position><Latitude>45.5</Latitude><Longitude>6.5</Longitude>
   <Altitude>812.5</Altitude></Position><Time>2023-07-14T08:30:00Z</Time></Trackpoint>
  <Trackpoint><Time>2023-07-14T08:31:00Z</Time><Position><Latitude>45.55</Latitude>
   <Longitude>6.55</Longitude></Position></Trackpoint></Track>
 <Lap>
  <BeginPosition><Latitude>45.6</Latitude><Longitude>6.6</Longitude></BeginPosition>
  <EndPosition><Latitude>45.7</Latitude><Longitude>6.7</Longitude></EndPosition>
 </Lap>
</Run></Running></History>
)";

TEST_F(TcxRead, EachLapOfAHistoryRunAddsTwoMarkersAndTwoPoints) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(kHistory, &f), 0);
  EXPECT_EQ(all_of<lap_t>(f, CLS_LAP_BEGIN).size(), 2u);
  EXPECT_EQ(all_of<lap_t>(f, CLS_LAP_END).size(), 2u);
  const auto tracks = tracks_of(f);
  ASSERT_EQ(tracks.size(), 3u);  // lap, track, lap
  ASSERT_EQ(tracks[0].size(), 2u);
  EXPECT_EQ(tracks[0][0]->coords.x, 6.5);
  EXPECT_EQ(tracks[0][1]->coords.y, 45.6);
  ASSERT_EQ(tracks[2].size(), 2u);
  EXPECT_EQ(tracks[2][1]->coords.x, 6.7);
  ASSERT_EQ(tracks[1].size(), 2u);
  EXPECT_EQ(tracks[1][0]->altitude, 812.5f);
  EXPECT_EQ(tracks[1][0]->coords.z, 812.5f);
}

// A time that follows its position still dates the point (the first point here); a time
// before it (the second) is the point's at once.
TEST_F(TcxRead, ATimeAfterThePositionStillDatesThePoint) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(kHistory, &f), 0);
  const auto tracks = tracks_of(f);
  ASSERT_EQ(tracks.size(), 3u);
  ASSERT_EQ(tracks[1].size(), 2u);
  EXPECT_NEAR(split(&tracks[1][0]->time).day, 14 + 8.5 / 24, 1e-8);
  EXPECT_NEAR(split(&tracks[1][1]->time).day, 14 + (8.5 + 1 / 60.0) / 24, 1e-8);
}

// A point whose element gives no time has none, whatever the point before it had.
TEST_F(TcxRead, APointWithoutTimeTakesNoneFromItsNeighbour) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("<TrainingCenterDatabase><Activities><Activity><Lap><Track>"
                 "<Trackpoint><Time>2023-07-14T08:30:00Z</Time><Position><LatitudeDegrees>1"
                 "</LatitudeDegrees></Position><AltitudeMeters>50</AltitudeMeters></Trackpoint>"
                 "<Trackpoint><Position><LatitudeDegrees>2</LatitudeDegrees></Position></Trackpoint>"
                 "</Track></Lap></Activity></Activities></TrainingCenterDatabase>",
                 &f),
            0);
  const auto tracks = tracks_of(f);
  ASSERT_EQ(tracks.size(), 1u);
  ASSERT_EQ(tracks[0].size(), 2u);
  EXPECT_TRUE(has_time(&tracks[0][0]->time));
  EXPECT_FALSE(has_time(&tracks[0][1]->time));
  EXPECT_EQ(float(tracks[0][1]->altitude), 0.0f);
}

std::string history_database(const std::string& parent_open, const std::string& parent_close) {
  return "<HistoryDatabase><Running><Run>" + parent_open +
         "<Track><Trackpoint><Position><Latitude>1.5</Latitude><Longitude>2.5</Longitude>"
         "<AltitudeMeters>33</AltitudeMeters></Position></Trackpoint></Track>" +
         parent_close + "</Run></Running></HistoryDatabase>";
}

TEST_F(TcxRead, AHistoryDatabaseTrackStartsUnderALapOnly) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(history_database("<Lap>", "</Lap>"), &f), 0);
  auto tracks = tracks_of(f);
  ASSERT_EQ(tracks.size(), 1u);
  ASSERT_EQ(tracks[0].size(), 1u);
  EXPECT_EQ(tracks[0][0]->coords.x, 2.5);
  EXPECT_EQ(tracks[0][0]->altitude, 33.0f);
  ASSERT_EQ(load(history_database("", ""), &f), 0);
  EXPECT_TRUE(tracks_of(f).empty());
  EXPECT_TRUE(all_of<gpspos_t>(f, CLS_GPSPOS).empty());
}

struct placement_case {
  const char* name;
  std::string doc;
  size_t tracks;
};

std::vector<placement_case> placement_cases() {
  const std::string track = "<Track><Trackpoint><Position><LatitudeDegrees>1</LatitudeDegrees>"
                            "<LongitudeDegrees>2</LongitudeDegrees></Position></Trackpoint></Track>";
  auto tcd = [](const std::string& inner) {
    return "<TrainingCenterDatabase><Activities>" + inner + "</Activities></TrainingCenterDatabase>";
  };
  return {
      {"UnderLap", tcd("<Activity><Lap>" + track + "</Lap></Activity>"), 1},
      {"UnderTransition", tcd("<Transition>" + track + "</Transition>"), 1},
      {"UnderCourse", tcd("<Course>" + track + "</Course>"), 1},
      {"UnderActivity", tcd("<Activity>" + track + "</Activity>"), 0},
      {"LapUnderTheRoot", "<TrainingCenterDatabase><Lap>" + track + "</Lap></TrainingCenterDatabase>", 1},
      {"UnderRunOfHistory", "<History><x><Run>" + track + "</Run></x></History>", 1},
      {"UnderLapOfHistory", "<History><x><Lap>" + track + "</Lap></x></History>", 0},
      {"UnknownRoot", "<Other><x><Lap>" + track + "</Lap></x></Other>", 0},
      {"NoXml", "no markup at all", 0},
  };
}

class TcxPlacement : public TcxRead, public ::testing::WithParamInterface<placement_case> {};

TEST_P(TcxPlacement, TheRootAndTheParentDecideWhereATrackStarts) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(GetParam().doc, &f), 0);
  EXPECT_EQ(tracks_of(f).size(), GetParam().tracks);
  EXPECT_EQ(all_of<gpspos_t>(f, CLS_GPSPOS).size(), GetParam().tracks);
}

INSTANTIATE_TEST_SUITE_P(Roots, TcxPlacement, ::testing::ValuesIn(placement_cases()),
                         [](const ::testing::TestParamInfo<placement_case>& info) {
                           return std::string(info.param.name);
                         });

// ---- Course points and markers ---------------------------------------------------------------

const char* kCourse = R"(<TrainingCenterDatabase><Courses><Course><Name>C</Name>
<Lap><BeginPosition><LatitudeDegrees>1</LatitudeDegrees><LongitudeDegrees>2</LongitudeDegrees>
</BeginPosition><BeginAltitudeMeters>120</BeginAltitudeMeters>
<EndPosition><LatitudeDegrees>3</LatitudeDegrees><LongitudeDegrees>4</LongitudeDegrees>
</EndPosition><EndAltitudeMeters>140</EndAltitudeMeters></Lap>
<CoursePoint><Name>Top</Name><Time>2022-01-02T03:04:05Z</Time><Position>
<LatitudeDegrees>10</LatitudeDegrees><LongitudeDegrees>11</LongitudeDegrees></Position>
<AltitudeMeters>2500</AltitudeMeters><PointType>Summit</PointType></CoursePoint>
<CoursePoint><Position><LatitudeDegrees>12</LatitudeDegrees><LongitudeDegrees>13</LongitudeDegrees>
</Position><Name>Turn</Name><PointType>Left</PointType></CoursePoint>
<CoursePoint><Name>Odd</Name><Position><LatitudeDegrees>14</LatitudeDegrees>
<LongitudeDegrees>15</LongitudeDegrees></Position><PointType>Nowhere</PointType></CoursePoint>
<CoursePoint><Name>Aid</Name><Position/><PointType>First Aid</PointType></CoursePoint>
</Course></Courses>
<CoursePoint><Position><LatitudeDegrees>9</LatitudeDegrees></Position></CoursePoint>
</TrainingCenterDatabase>)";

TEST_F(TcxRead, CoursePointsTakeTheSymbolOfTheirType) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(kCourse, &f), 0);
  const auto points = all_of<coursepoint_t>(f, CLS_COURSEPOINT);
  ASSERT_EQ(points.size(), 4u) << "a course point outside a course makes nothing";
  EXPECT_EQ(points[0]->symbol, 27);
  EXPECT_EQ(points[1]->symbol, 0);
  EXPECT_EQ(points[2]->symbol, 0);
  EXPECT_EQ(points[3]->symbol, 14);
  EXPECT_EQ(narrow(points[0]->name), "Top");
  EXPECT_EQ(narrow(points[1]->name), "Turn");
  EXPECT_EQ(narrow(points[2]->name), "Odd");
  EXPECT_EQ(points[0]->coords.x, 11.0);
  EXPECT_EQ(points[0]->coords.y, 10.0);
  EXPECT_EQ(points[0]->altitude, 2500.0f);
  EXPECT_EQ(points[0]->coords.z, 2500.0f);
  const when w = split(&points[0]->time);
  EXPECT_EQ(w.year, 2022);
  EXPECT_NEAR(w.day, 2 + (3 * 3600 + 4 * 60 + 5) / 86400.0, 1e-8);
  EXPECT_EQ(points[1]->coords.x, 13.0);
}

TEST_F(TcxRead, CourseLapMarkersTakeTheirAltitudes) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(kCourse, &f), 0);
  const auto begins = all_of<lap_t>(f, CLS_LAP_BEGIN);
  const auto ends = all_of<lap_t>(f, CLS_LAP_END);
  ASSERT_EQ(begins.size(), 1u);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(begins[0]->coords.x, 2.0);
  EXPECT_EQ(begins[0]->altitude, 120.0f);
  EXPECT_EQ(ends[0]->coords.y, 3.0);
  EXPECT_EQ(ends[0]->coords.z, 140.0f);
  const auto tracks = tracks_of(f);
  ASSERT_EQ(tracks.size(), 1u);
  ASSERT_EQ(tracks[0].size(), 2u);
  EXPECT_EQ(tracks[0][1]->coords.x, 4.0);
}

// ---- Bad documents ------------------------------------------------------------------------

TEST_F(TcxRead, ACutFileKeepsThePointsReadBeforeTheCut) {
  std::ifstream in(kDir + "activity.tcx");
  std::stringstream s;
  s << in.rdbuf();
  const std::string whole = s.str();
  const size_t cut = whole.find("<Trackpoint>", whole.find("10:01:00Z"));
  ASSERT_NE(cut, std::string::npos);
  const size_t inside = whole.find("<LatitudeDegrees>", cut) + 20;
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(whole.substr(0, inside), &f), 0);
  const auto tracks = tracks_of(f);
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0].size(), 4u);  // the fourth is cut inside its position
}

TEST_F(TcxRead, AMissingFileGivesTwo) {
  EXPECT_EQ(load_path(dir_ + "/missing.tcx"), ERR_FILE_ACCESS);
}

TEST_F(TcxRead, DeepNestingAndStrayEndTagsChangeNothing) {
  std::string doc = "<TrainingCenterDatabase><Activities><Activity><Lap><Track>";
  for (int i = 0; i < 200; ++i) doc += "<Trackpoint>";
  doc += "<Position><LatitudeDegrees>1</LatitudeDegrees></Position>";
  doc += "</Track></Lap></Lap></Track></Position></BeginPosition></EndPosition>";
  doc += "<Lap><Track><Trackpoint><Position><LongitudeDegrees>5</LongitudeDegrees></Position>"
         "</Trackpoint></Track></Lap>";
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc, &f), 0);
  for (const gpspos_t* p : all_of<gpspos_t>(f, CLS_GPSPOS)) EXPECT_TRUE(std::isfinite(p->coords.x));
}

}  // namespace

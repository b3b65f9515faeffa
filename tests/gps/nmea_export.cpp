// The NMEA export: the sentences of a track point (each field, its conditions), the
// waypoint and route sentences, the frame and track blocks, the file and memory outputs,
// and the mended faults: names that would break a sentence, route names that never fit,
// minutes and seconds that round up to 60, an unopenable path, a layer without
// georeference between others.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/line_store.h"
#include "map/file_object.h"
#include "tests/gps/nmea_import_fixture.h"

namespace {

using tm_test::at_time;

class NmeaExport : public tm_test::NmeaFilesFixture {
 protected:
  // A point with everything: navigation record, a dgps record, satellites.
  gpspos_t* full_point(container_t* layer, trackseg_t* s, int satellites) {
    const date_rec t = at_time(2024, 3, 9, 14, 5, 7.25);
    gpspos_t* p = add_point(layer, s, 2.5, 48.75, &t, 123.0);
    p->geoidh = 47.5f;
    p->speed = 18.52;  // 10 knots
    p->direction = 271.5;
    navigation_t* n = nullptr;
    alloc_obj(CLS_NAVIGATION, &n);
    n->fix = 3;
    n->dgps = 0;
    n->nbsatsinvue = satellites;
    n->hdop = 1.25;
    n->pdop = 2.5;
    n->vdop = 2.0;
    n->magvar = 1.5;
    p->navig = n;
    container_t* ids = nullptr;
    obj_list_new(&ids);
    p->idsats = ids;
    for (int i = 0; i < satellites; ++i) {
      satellite_t* sat = nullptr;
      obj_new_in_list(layer, CLS_SATELLITE, reinterpret_cast<obj_t**>(&sat));
      sat->prn = 3 + i;
      sat->elevation = 10 * i;
      sat->azimuth = 100 + i;
      sat->snr = i == 1 ? NULL_INT : 30 + i;
      sat->used = 1;
      obj_list_append(ids, sat);
    }
    return p;
  }
  std::vector<std::string> point_lines(const gpspos_t* p) {
    nmea_output out;
    return nmea_point_sentences(p, nullptr, out);
  }
};

TEST_F(NmeaExport, FullPointWritesEverySentenceWithItsFields) {
  container_t* layer = new_layer();
  trackseg_t* s = add_track(layer, {});
  gpspos_t* p = full_point(layer, s, 5);
  const std::vector<std::string> want = {
      "$GPGLL,4845.0000,N,00230.0000,E,140507.250,A",
      "$GPGGA,140507.250,4845.0000,N,00230.0000,E,1,5,1.25,123.00,M,47.50,M,,",
      "$GPGSA,,3,3,4,5,6,7,,,,,,,,2.50,1.25,2.00",
      "$GPGSV,2,1,5,3,0,100,30,4,10,101,,5,20,102,32,6,30,103,33",
      "$GPGSV,2,2,5,7,40,104,34",
      "$GPRMC,140507.250,A,4845.0000,N,00230.0000,E,10.0000,271.5000,090324,001.5",
      "$GPVTG,271.5000,T,,,10.0000,N,18.5200,K",
      "$GPZDA,140507.250,09,03,2024,,",
  };
  EXPECT_EQ(point_lines(p), want);
}

TEST_F(NmeaExport, PointWithoutTimeOrValuesLeavesTheirFieldsEmpty) {
  container_t* layer = new_layer();
  trackseg_t* s = add_track(layer, {});
  gpspos_t* p = add_point(layer, s, -0.5, -10.25);
  const std::vector<std::string> want = {
      "$GPGLL,1015.0000,S,00030.0000,W,,A",
      "$GPGGA,,1015.0000,S,00030.0000,W,1,,,,,,,,",
      "$GPRMC,,A,1015.0000,S,00030.0000,W,,,,",
  };
  EXPECT_EQ(point_lines(p), want);
}

TEST_F(NmeaExport, QualityAndDgpsFieldsFollowTheNavigationRecords) {
  container_t* layer = new_layer();
  trackseg_t* s = add_track(layer, {});
  const date_rec t = at_time(2024, 3, 9, 0, 0, 0.0);
  gpspos_t* p = add_point(layer, s, 1, 1, &t);
  navigation_t* n = nullptr;
  alloc_obj(CLS_NAVIGATION, &n);
  n->dgps = 1;
  n->fix = 0;
  p->navig = n;
  dgps_t* d = nullptr;
  alloc_obj(CLS_DGPS, &d);
  d->ageofdgpsdata = 3.0;
  d->dgpsstation = 17;
  p->dgps = d;
  p->speed = 3.704;  // 2 knots, no course
  const auto lines = point_lines(p);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "$GPGGA,000000.000,0100.0000,N,00100.0000,E,2,,,,,,,3,17");
  EXPECT_EQ(lines[3], "$GPVTG,,,,,2.0000,N,3.7040,K");
  n->dgps = 0;
  n->fix = 1;
  n->vdop = 1.0;
  const auto again = point_lines(p);
  EXPECT_EQ(again[1], "$GPGGA,000000.000,0100.0000,N,00100.0000,E,1,,,,,,,3,17");
  EXPECT_EQ(again[2], "$GPGSA,,2,,,,,,,,,,,,,,,1.00");
  // A record that says "no fix" leaves the quality empty; an unknown fix is a fix.
  n->fix = 0;
  EXPECT_EQ(point_lines(p)[1], "$GPGGA,000000.000,0100.0000,N,00100.0000,E,,,,,,,,3,17");
  n->fix = NULL_INT;
  EXPECT_EQ(point_lines(p)[1], "$GPGGA,000000.000,0100.0000,N,00100.0000,E,1,,,,,,,3,17");
}

TEST_F(NmeaExport, GsaFixTypeMapping) {
  container_t* layer = new_layer();
  trackseg_t* s = add_track(layer, {});
  gpspos_t* p = add_point(layer, s, 1, 1);
  navigation_t* n = nullptr;
  alloc_obj(CLS_NAVIGATION, &n);
  n->pdop = 1.0;
  p->navig = n;
  const struct { int32_t fix; const char* text; } cases[] = {
      {0, "1"}, {1, "2"}, {2, "2"}, {3, "3"}, {NULL_INT, ""}};
  for (const auto& c : cases) {
    n->fix = c.fix;
    const auto lines = point_lines(p);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], std::string("$GPGSA,,") + c.text + ",,,,,,,,,,,,,1.00,,") << c.fix;
  }
}

TEST_F(NmeaExport, MinutesThatRoundToSixtyCarryIntoTheDegrees) {
  const struct { double deg; const char* lat; const char* lon; } cases[] = {
      {45.999999999, "4600.0000,N", "04600.0000,E"},
      {-45.999999999, "4600.0000,S", "04600.0000,W"},
      {179.99999999, "18000.0000,N", "18000.0000,E"},
      {0.0, "0000.0000,N", "00000.0000,E"},
      {12.5, "1230.0000,N", "01230.0000,E"},
      {-0.000001, "0000.0001,S", "00000.0001,W"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nmea_latitude_text(c.deg), c.lat) << c.deg;
    EXPECT_EQ(nmea_longitude_text(c.deg), c.lon) << c.deg;
  }
  // Not a coordinate: never an overflowing integer.
  EXPECT_EQ(nmea_latitude_text(std::nan("")), "0000.0000,N");
}

TEST_F(NmeaExport, SecondsThatRoundToSixtyCarryIntoTheMinutesAndTheDate) {
  container_t* layer = new_layer();
  trackseg_t* s = add_track(layer, {});
  const date_rec t = at_time(2024, 2, 29, 23, 59, 59.9996);
  gpspos_t* p = add_point(layer, s, 1, 1, &t);
  const auto lines = point_lines(p);
  EXPECT_EQ(lines[0], "$GPGLL,0100.0000,N,00100.0000,E,000000.000,A");
  EXPECT_EQ(lines.back(), "$GPZDA,000000.000,01,03,2024,,");
  const date_rec u = at_time(2024, 3, 1, 10, 14, 59.99995);
  gpspos_t* q = add_point(layer, s, 1, 1, &u);
  EXPECT_EQ(point_lines(q)[0], "$GPGLL,0100.0000,N,00100.0000,E,101500.000,A");
}

TEST_F(NmeaExport, WaypointSouthAndEastAndNamesMadeSafe) {
  container_t* layer = new_layer();
  waypoint_create(151.2, -33.8666666666667, "Sydney", nullptr, 0, 0, 0, 0.0, layer, nullptr);
  waypoint_create(1, 1, "A, B*C$D\r\nE", nullptr, 0, 0, 0, 0.0, layer, nullptr);
  waypoint_create(1, 1, "Caf\xc3\xa9", nullptr, 0, 0, 0, 0.0, layer, nullptr);
  const auto lines = bodies_of(export_text({layer}));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "$PTMQH,NMEA File Header");
  EXPECT_EQ(lines[1], "$PGRMM,WGS 84");
  EXPECT_EQ(lines[2], "$GPWPL,3352.0000,S,15112.0000,E,Sydney");
  EXPECT_EQ(lines[3], "$GPWPL,0100.0000,N,00100.0000,E,A  B C D  E");
  EXPECT_EQ(lines[4], "$GPWPL,0100.0000,N,00100.0000,E,Caf ");
}

TEST_F(NmeaExport, NamesWithSeparatorsReadBackWhole) {
  container_t* layer = new_layer();
  waypoint_create(1, 1, "A, B", nullptr, 0, 0, 0, 0.0, layer, nullptr);
  export_text({layer});
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(dir_ + "/out.nmea", &f), 0);
  const auto w = all_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(tm_test::narrow_text(w[0]->name), "A  B");
}

route_t* add_route(container_t* layer, const char* name, const std::vector<std::string>& names) {
  route_t* r = nullptr;
  route_create(layer, &r);
  mbs_to_wcs(name, &r->name);
  for (const std::string& n : names) {
    waypoint_t* w = nullptr;
    waypoint_create(1, 1, n.c_str(), nullptr, 0, 0, 0, 0.0, layer, &w);
    obj_list_append(r->sons, w);
  }
  return r;
}

TEST_F(NmeaExport, RouteSplitsUnderEightyCharactersWithOneTotal) {
  container_t* layer = new_layer();
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) names.push_back("WAYPOINT" + std::to_string(i));
  route_t* r = add_route(layer, "Long route", names);
  const auto lines = nmea_route_sentences(r);
  ASSERT_GT(lines.size(), 1u);
  std::vector<std::string> seen;
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string& l = lines[k];
    EXPECT_LE(l.size(), 80u) << l;
    const std::string head = "$GPRTE," + std::to_string(lines.size()) + "," +
                             std::to_string(k + 1) + ",c,Long route,";
    ASSERT_EQ(l.compare(0, head.size(), head), 0) << l;
    std::stringstream rest(l.substr(head.size()));
    for (std::string n; std::getline(rest, n, ',');) seen.push_back(n);
  }
  EXPECT_EQ(seen, names);
}

TEST_F(NmeaExport, RouteTotalIsTheNumberOfSentencesWritten) {
  // Names sized so that a header measured with a wider total would need one more
  // sentence than the one written: the count and the series must agree.
  container_t* layer = new_layer();
  for (int len = 1; len < 40; ++len) {
    std::vector<std::string> names(7, std::string(size_t(len), 'N'));
    route_t* r = add_route(layer, "R", names);
    const auto lines = nmea_route_sentences(r);
    for (size_t k = 0; k < lines.size(); ++k) {
      const std::string head = "$GPRTE," + std::to_string(lines.size()) + "," +
                               std::to_string(k + 1) + ",c,R";
      EXPECT_EQ(lines[k].compare(0, head.size(), head), 0) << len << " " << lines[k];
    }
  }
}

TEST_F(NmeaExport, NameThatNeverFitsIsCutAndTheSeriesEnds) {
  container_t* layer = new_layer();
  const std::string huge(200, 'W');
  route_t* r = add_route(layer, std::string(120, 'R').c_str(), {huge, "B", huge});
  const auto lines = nmea_route_sentences(r);
  // The route name is cut to 40 characters; each long waypoint name to what fits in a
  // sentence of its own (80 characters before the tail).
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "$GPRTE,3,1,c," + std::string(40, 'R') + "," + std::string(26, 'W'));
  EXPECT_EQ(lines[1], "$GPRTE,3,2,c," + std::string(40, 'R') + ",B");
  EXPECT_EQ(lines[2], "$GPRTE,3,3,c," + std::string(40, 'R') + "," + std::string(26, 'W'));
  // The route number stands for an empty name.
  route_t* numbered = add_route(layer, "", {"A"});
  numbered->number = 42;
  EXPECT_EQ(nmea_route_sentences(numbered), std::vector<std::string>{"$GPRTE,1,1,c,42,A"});
  // A route without points writes nothing.
  EXPECT_TRUE(nmea_route_sentences(add_route(layer, "E", {})).empty());
}

TEST_F(NmeaExport, TrackBlocksCarryStampsFromTheExportTime) {
  container_t* layer = new_layer();
  const date_rec t = at_time(2024, 3, 9, 10, 0, 0.0);
  trackseg_t* s = add_track(layer, {});
  add_point(layer, s, 1, 1, &t);
  add_point(layer, s, 1, 2);
  nmea_output out;
  out.base = at_time(2024, 12, 31, 23, 59, 59.0);
  const std::string path = dir_ + "/blk.nmea";
  out.file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out.file, nullptr);
  nmea_write_track(s, nullptr, &out);
  std::fclose(out.file);
  const auto lines = bodies_of(tm_test::slurp_file(path));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "$PTMQT,START");
  EXPECT_EQ(lines[1], "$PTMQB,235959,31122024");
  EXPECT_EQ(lines[6], "$PTMQB,000000,01012025");
  EXPECT_EQ(lines[10], "$PTMQT,STOP");
}

TEST_F(NmeaExport, SentencesCarryTheirChecksumAndCrLf) {
  container_t* layer = new_layer();
  waypoint_create(1, 1, "X", nullptr, 0, 0, 0, 0.0, layer, nullptr);
  const std::string text = export_text({layer});
  EXPECT_EQ(text.substr(0, 30), "$PTMQH,NMEA File Header*62\r\n$P");
  for (const std::string& l : lines_of(text)) {
    const size_t star = l.rfind('*');
    ASSERT_NE(star, std::string::npos);
    int sum = 0;
    for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(l[i]);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    EXPECT_EQ(l.substr(star + 1), hex) << l;
  }
}

TEST_F(NmeaExport, UnopenablePathIsAnError) {
  container_t* layer = new_layer();
  waypoint_create(1, 1, "X", nullptr, 0, 0, 0, 0.0, layer, nullptr);
  tm_test::write_file(dir_ + "/plain", "x");
  nmea_export_lists((dir_ + "/plain/sub.nmea").c_str(), nullptr, {layer}, kExportTime);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
  nmea_write_file(nullptr, nullptr);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
}

TEST_F(NmeaExport, LayerWithoutGeoreferenceLeavesTheOthersWhole) {
  container_t* first = new_layer();
  trackseg_t* s1 = add_track(first, {});
  add_point(first, s1, 1, 1);
  add_point(first, s1, 1, 2);
  container_t* unplaced = new_list();
  waypoint_create(5, 5, "LOST", nullptr, 0, 0, 0, 0.0, unplaced, nullptr);
  container_t* last = new_layer();
  trackseg_t* s2 = add_track(last, {});
  add_point(last, s2, 2, 1);
  add_point(last, s2, 2, 2);
  int err = 0;
  const auto lines = bodies_of(export_text({first, unplaced, last}, &err));
  EXPECT_EQ(err, ERR_GEOGRAPHIC);
  int starts = 0, stops = 0, stamps = 0;
  for (const std::string& l : lines) {
    starts += l == "$PTMQT,START";
    stops += l == "$PTMQT,STOP";
    stamps += l.rfind("$PTMQB,", 0) == 0;
    EXPECT_EQ(l.find("LOST"), std::string::npos);
  }
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(stops, 2);
  EXPECT_EQ(stamps, 4);
  EXPECT_EQ(lines.back(), "$PTMQT,STOP");
}

TEST_F(NmeaExport, MemoryFileReceivesTheSameBytes) {
  container_t* layer = new_layer();
  waypoint_create(3, 4, "M", nullptr, 0, 0, 0, 0.0, layer, nullptr);
  const std::string disk = export_text({layer});
  fileatt_t* mem = nullptr;
  file_new_in_memory(&mem);
  ASSERT_NE(mem, nullptr);
  nmea_export_lists(nullptr, mem, {layer}, kExportTime);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(memory_bytes(mem), disk);
  obj_t* o = mem;
  free_obj(&o);
}

}  // namespace

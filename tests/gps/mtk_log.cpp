// The MediaTek log reader: every field of the format mask decoded into the point, its
// quality, DGPS and satellite records; a record without '*' dropped; a satellite field
// of count 0; a format change by separator; logs of more than one sector; the file the
// driver downloaded from the simulated logger loaded back into the truth; hostile and
// truncated logs read without passing their bytes; and the outside decoder (gpsbabel's
// mtk-bin) reading the same memory images into the same points.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "gps/loggers/mtk.h"
#include "gps/port_io.h"
#include "map/gps_classes.h"
#include "tests/formats/gpstext_fixture.h"
#include "tests/formats/load_fixture.h"
#include "tests/gps/navilink_fixture.h"
#include "tests/support/gps_sim/mtk_sim.h"
#include "tests/support/run_tool.h"

namespace {

using gps_sim::mtk_point;
using gps_sim::mtk_sim;

constexpr uint32_t kFull = 0xFFFFF;
constexpr uint32_t kSmall = 0x1 | 0x4 | 0x8 | 0x10;  // time, latitude, longitude, height

std::string hex_of(const std::string& bytes) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

// The text the download writes for a memory image: the format answer and one data line
// per block of 2048 bytes.
std::string log_text(uint32_t format, const std::string& image) {
  char head[64];
  std::snprintf(head, sizeof head, "$PMTK182,3,2,%08X", format);
  std::string text = mtk_sim::sentence(head);
  for (size_t at = 0; at < image.size(); at += 2048) {
    char addr[32];
    std::snprintf(addr, sizeof addr, "$PMTK182,8,%08X,", unsigned(at));
    text += mtk_sim::sentence(addr + hex_of(image.substr(at, 2048)));
  }
  return text;
}

std::vector<mtk_point> truth() {
  std::vector<mtk_point> p(4);
  p[0].utc = 1262304000;  // 2010-01-01 00:00:00
  p[0].valid = 4;
  p[0].lat = 48.1234567;
  p[0].lon = -123.7654321;
  p[0].height = 123.5f;
  p[0].speed = 45.25f;
  p[0].heading = 270.5f;
  p[0].dsta = 17;
  p[0].dage = 2.5f;
  p[0].pdop = 150;
  p[0].hdop = 90;
  p[0].vdop = 120;
  p[0].in_view = 9;
  p[0].in_use = 7;
  p[0].sats = {{5, true, 45, 180, 40}, {12, false, -3, 359, 0}, {31, true, 89, 0, 50}};
  p[0].ms = 250;
  p[0].distance = 1234.5;
  // No satellite known: one word; the push-to-log flag after it.
  p[1] = p[0];
  p[1].utc += 5;
  p[1].lat += 0.001;
  p[1].sats.clear();
  p[1].rcr = 8;
  p[1].ms = 0;
  // Not followed by '*'.
  p[2] = p[0];
  p[2].utc += 10;
  p[2].starred = false;
  // A separator switches to the small format.
  p[3].new_format = kSmall;
  p[3].utc = 1262304060;
  p[3].lat = -33.5;
  p[3].lon = 151.25;
  p[3].height = -12.0f;
  return p;
}

class MtkLog : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    mtk_module_init();
  }
  void TearDown() override {
    mtk_module_free();
    ReaderFixture::TearDown();
  }
  int decode(const std::string& text) {
    return mtk_decode_log_text(reinterpret_cast<const uint8_t*>(text.data()), text.size(), list_);
  }
  std::vector<gpspos_t*> points() const { return tm_test::objects_of<gpspos_t>(list_, CLS_GPSPOS); }
  static double seconds_of(const gpspos_t* p) {
    int y, m;
    double d;
    date_split(p->time.date, &y, &m, &d);
    return (date_from_ymd(y, m, d - 1) - date_from_ymd(2010, 1, 0)) * 86400.0;
  }
};

TEST_F(MtkLog, EveryFieldOfTheFormatMask) {
  const auto t = truth();
  EXPECT_EQ(decode(log_text(kFull, gps_sim::mtk_build_image(kFull, t))), 3);
  const auto pts = points();
  ASSERT_EQ(pts.size(), 3u);
  const gpspos_t* a = pts[0];
  EXPECT_NEAR(a->coords.y, 48.1234567, 1e-9);
  EXPECT_NEAR(a->coords.x, -123.7654321, 1e-9);
  EXPECT_NEAR(a->altitude, 123.5, 1e-6);
  EXPECT_NEAR(a->speed, 45.25, 1e-6);
  EXPECT_NEAR(a->direction, 270.5, 1e-6);
  int y, m;
  double d;
  date_split(a->time.date, &y, &m, &d);
  EXPECT_EQ(y, 2010);
  EXPECT_EQ(m, 1);
  EXPECT_NEAR((d - 1) * 86400.0, 0.25, 1e-3);  // 250 ms
  const obj_t* navig = a->navig;  // packed records: fields copied before use
  const obj_t* dgps = a->dgps;
  const container_t* ids = a->idsats;
  ASSERT_NE(navig, nullptr);
  const auto* n = static_cast<const navigation_t*>(navig);
  EXPECT_EQ(tm_test::packed(n->fix), 1);
  EXPECT_EQ(tm_test::packed(n->dgps), 1);
  EXPECT_EQ(tm_test::packed(n->pdop), 150);
  EXPECT_EQ(tm_test::packed(n->hdop), 90);
  EXPECT_EQ(tm_test::packed(n->vdop), 120);
  EXPECT_EQ(tm_test::packed(n->nbsatsinvue), 9);
  EXPECT_EQ(tm_test::packed(n->nbsatsused), 7);
  ASSERT_NE(dgps, nullptr);
  EXPECT_EQ(tm_test::packed(static_cast<const dgps_t*>(dgps)->dgpsstation), 17);
  EXPECT_NEAR(static_cast<const dgps_t*>(dgps)->ageofdgpsdata, 2.5, 1e-6);
  ASSERT_EQ(obj_list_count(ids), 3);
  const struct {
    int prn, used, elevation, azimuth, snr;
  } sats[] = {{5, 1, 45, 180, 40}, {12, 0, -3, 359, 0}, {31, 1, 89, 0, 50}};
  for (int i = 0; i < 3; ++i) {
    const auto* s = static_cast<const satellite_t*>(ids->elems[i]);
    EXPECT_EQ(tm_test::packed(s->prn), sats[i].prn);
    EXPECT_EQ(tm_test::packed(s->used), sats[i].used);
    EXPECT_EQ(tm_test::packed(s->elevation), sats[i].elevation);
    EXPECT_EQ(tm_test::packed(s->azimuth), sats[i].azimuth);
    EXPECT_EQ(tm_test::packed(s->snr), sats[i].snr);
  }
  // The satellite field of count 0 took one word: the fields after it are in place.
  const gpspos_t* b = pts[1];
  EXPECT_NEAR(b->coords.y, 48.1244567, 1e-9);
  const container_t* b_ids = b->idsats;
  EXPECT_EQ(obj_list_count(b_ids), 0);
  const auto wpts = tm_test::objects_of<waypoint_t>(list_, CLS_WAYPOINT);
  ASSERT_EQ(wpts.size(), 1u);  // the push-to-log flag of the second record
  // The third record had no '*': after the separator comes the small-format record.
  const gpspos_t* c = pts[2];
  EXPECT_NEAR(c->coords.y, -33.5, 1e-12);
  EXPECT_NEAR(c->coords.x, 151.25, 1e-12);
  EXPECT_NEAR(c->altitude, -12.0, 1e-6);
  const obj_t* c_navig = c->navig;
  const obj_t* c_dgps = c->dgps;
  EXPECT_EQ(c_navig, nullptr);
  EXPECT_EQ(c_dgps, nullptr);
}

TEST_F(MtkLog, LogsOfSeveralSectors) {
  std::vector<mtk_point> t(6000);
  for (size_t i = 0; i < t.size(); ++i) {
    t[i].utc = 1262304000 + uint32_t(i);
    t[i].lat = 10.0 + i * 1e-5;
    t[i].lon = -20.0 - i * 1e-5;
    t[i].height = float(i);
  }
  const std::string image = gps_sim::mtk_build_image(kSmall, t);
  ASSERT_GT(image.size(), 0x20000u);
  EXPECT_EQ(decode(log_text(kSmall, image)), 6000);
  const auto pts = points();
  ASSERT_EQ(pts.size(), 6000u);
  for (size_t i = 0; i < pts.size(); i += 997) {
    EXPECT_NEAR(pts[i]->coords.y, 10.0 + i * 1e-5, 1e-9) << i;
    EXPECT_NEAR(pts[i]->coords.x, -20.0 - i * 1e-5, 1e-9) << i;
  }
}

// Logs cut short or made up never read past their bytes and never fail the read.
TEST_F(MtkLog, HostileAndTruncatedLogs) {
  const std::string image = gps_sim::mtk_build_image(kFull, truth());
  const std::string header_only = image.substr(0, 0x200);
  std::string many_sats = header_only;
  {
    std::string r;
    const uint32_t utc = 1;
    r.append(reinterpret_cast<const char*>(&utc), 4);
    r += std::string(2 + 8 + 8 + 4 + 4 + 4 + 2 + 4 + 2 + 2 + 2 + 2, '\0');
    const uint32_t sid = 200u << 16 | 7;  // 200 satellites announced, one there
    r.append(reinterpret_cast<const char*>(&sid), 4);
    many_sats += r;
  }
  std::string long_separator = header_only + std::string(7, '\xAA') + '\x02' + std::string(3000, '\x11');
  const struct {
    const char* what;
    std::string text;
    int points;
  } cases[] = {
      {"sector header cut short", log_text(kFull, std::string("\x01\x00\xBB\xBB\xBB\xBB", 6)), 0},
      {"sector header alone", log_text(kFull, header_only), 0},
      {"record cut inside a field", log_text(kFull, image.substr(0, 0x200 + 30)), 0},
      {"satellites announced, not there", log_text(kFull, many_sats), 0},
      {"separator longer than its buffer", log_text(kFull, long_separator), 0},
      {"data that is no hexadecimal", mtk_sim::sentence("$PMTK182,8,00000000,0G1Z"), 0},
      {"odd count of digits", mtk_sim::sentence("$PMTK182,8,00000000,ABC"), 0},
      {"address that is no number", mtk_sim::sentence("$PMTK182,8,ZZ,AAAA"), 0},
      {"no data field", mtk_sim::sentence("$PMTK182,8,00000000"), 0},
      {"every record of the image", log_text(kFull, image), 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    obj_list_free_elements(list_);
    EXPECT_EQ(decode(c.text), c.points);
    EXPECT_EQ(get_gblerr(), 0);
  }
}

// Records after a data line that does not start a sector use the format and count of
// the type-3 answers.
TEST_F(MtkLog, RecordsWithoutSectorHeaderUseTheQueriedFormat) {
  std::vector<mtk_point> t(2);
  t[0].utc = 100;
  t[0].lat = 1.5;
  t[0].lon = 2.5;
  t[1] = t[0];
  t[1].lat = 3.5;
  std::string body;
  for (const auto& p : t) body += gps_sim::mtk_record(kSmall, p) + "*" + std::string(1, '\0');
  std::string text = mtk_sim::sentence("$PMTK182,3,2,0000001D") + mtk_sim::sentence("$PMTK182,3,10,00000002");
  text += mtk_sim::sentence("$PMTK182,8,00000200," + hex_of(body));
  EXPECT_EQ(decode(text), 2);
  ASSERT_EQ(points().size(), 2u);
  EXPECT_NEAR(points()[1]->coords.y, 3.5, 1e-12);
}

// The download from the simulated logger loads back through the reader of format 69.
TEST_F(MtkLog, DownloadedFileLoadsBackIntoTheTruth) {
  tm_test::pty_pair pty;
  ASSERT_TRUE(pty.ok());
  mtk_sim sim(pty);
  sim.format = kFull;
  sim.image = gps_sim::mtk_build_image(kFull, truth());
  sim.start();
  com_device* dev = nullptr;
  ASSERT_NE(com_open(pty.path().c_str(), 115200, &dev), nullptr);
  mtk_ctx* ctx = nullptr;
  ASSERT_EQ(mtk_ctx_new(dev, &ctx), 0);
  const std::string base = dir_ + "/log";
  int32_t count = 0;
  ASSERT_GE(lnav_test::run_with(sim, [&] { mtk_download_datalog(dev, ctx, &count, base.c_str(), "mtkt"); }), 0);
  mtk_ctx_free(&ctx);
  com_close(&dev);
  sim.stop();
  EXPECT_EQ(count, 1);
  fileatt_t* f = loaded_.open(base + ".mtkt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_mtk_bin(f, f->sot), 0);
  EXPECT_EQ(get_gblerr(), 0);
  const auto pts = tm_test::objects_of<gpspos_t>(f->sot, CLS_GPSPOS);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_NEAR(pts[0]->coords.y, 48.1234567, 1e-9);
  EXPECT_NEAR(pts[2]->coords.x, 151.25, 1e-9);
  EXPECT_EQ(tm_test::objects_of<tracklog_t>(f->sot, CLS_TRACKLOG).size(), 1u);
  // A file that is not there.
  fileatt_t* missing = loaded_.open(dir_ + "/none.mtkt");
  if (missing) {
    EXPECT_EQ(read_mtk_bin(missing, missing->sot), ERR_FILE_ACCESS);
  }
}

// gpsbabel's decoder of raw memory images reads the images behind our files into the
// same points (1e-7 degree, 1 s), for formats without satellite fields (which that
// decoder does not take).
TEST_F(MtkLog, OutsideDecoderReadsTheSameImages) {
  for (const uint32_t format : {0x1Du, 0x3Fu, 0x1FFFu, 0xE1FFFu}) {
    SCOPED_TRACE(format);
    obj_list_free_elements(list_);
    std::vector<mtk_point> t = truth();
    t.resize(2);
    t[1].rcr = 1;
    t[1].lon = -0.0000001;
    const std::string image = gps_sim::mtk_build_image(format, t);
    const std::string path = dir_ + "/image.bin";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << image;
    std::string out;
    const int rc = tm_test::run_tool(
        {"gpsbabel", "-t", "-i", "mtk-bin", "-f", path, "-o", "gpx", "-F", "-"}, &out, 60000);
    if (rc == 127) GTEST_SKIP() << "gpsbabel is not installed";
    ASSERT_EQ(rc, 0) << out;
    const std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">[\\s\\S]*?<time>([^<]*)</time>");
    std::vector<std::smatch> found;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), point); it != std::sregex_iterator(); ++it)
      found.push_back(*it);
    EXPECT_EQ(decode(log_text(format, image)), 2);
    const auto pts = points();
    ASSERT_EQ(found.size(), pts.size()) << out;
    for (size_t i = 0; i < pts.size(); ++i) {
      EXPECT_NEAR(std::stod(found[i][1]), pts[i]->coords.y, 1e-7);
      EXPECT_NEAR(std::stod(found[i][2]), pts[i]->coords.x, 1e-7);
      char when[40];
      format_date_iso(pts[i]->time.date, 1, 1, when, sizeof when);
      EXPECT_EQ(found[i][3].str().substr(0, 19), std::string(when).substr(0, 19));
    }
  }
}

}  // namespace

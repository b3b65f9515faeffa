// The MediaTek log reader on the script-made fixtures (scripts/fixtures/
// make_mtk_fixtures.py): each file loads into the points of expected.txt; files cut
// inside a record or a sector header load without error and without a point; and the
// outside decoder of memory images reads the same points from the images behind them.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "gps/loggers/mtk.h"
#include "map/gps_classes.h"
#include "tests/formats/gpstext_fixture.h"
#include "tests/formats/load_fixture.h"
#include "tests/support/run_tool.h"

namespace {

const std::string kDir = TM_FIXTURE_DIR "/mtk/";

struct row {
  double lat, lon;
  long utc;
  int ms;
  double height;
  int sats;
};

std::map<std::string, std::vector<row>> expected() {
  std::map<std::string, std::vector<row>> out;
  std::istringstream in(tm_test::slurp_file(kDir + "expected.txt"));
  for (std::string line; std::getline(in, line);) {
    const auto f = tm_test::split_fields(line, ';');
    if (f.size() != 7) continue;
    out[f[0]].push_back({std::stod(f[1]), std::stod(f[2]), std::stol(f[3]), std::stoi(f[4]),
                         std::stod(f[5]), std::stoi(f[6])});
  }
  return out;
}

class MtkFiles : public tm_test::ReaderFixture {
 protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    mtk_module_init();
  }
  void TearDown() override {
    mtk_module_free();
    ReaderFixture::TearDown();
  }
  std::vector<gpspos_t*> load(const std::string& name, int* result) {
    fileatt_t* f = loaded_.open(kDir + name);
    if (!f) return {};
    *result = read_mtk_bin(f, f->sot);
    return tm_test::objects_of<gpspos_t>(f->sot, CLS_GPSPOS);
  }
};

TEST_F(MtkFiles, FixturesLoadIntoTheTruth) {
  const auto truth = expected();
  ASSERT_EQ(truth.size(), 3u);
  for (const auto& [name, rows] : truth) {
    SCOPED_TRACE(name);
    int result = -1;
    const auto pts = load(name + ".mtkt", &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(get_gblerr(), 0);
    ASSERT_EQ(pts.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_NEAR(pts[i]->coords.y, rows[i].lat, 1e-9);
      EXPECT_NEAR(pts[i]->coords.x, rows[i].lon, 1e-9);
      EXPECT_NEAR(pts[i]->altitude, rows[i].height, 1e-3);
      date_rec when = kNoDate;
      date_rec_from_time_t(&when, std::time_t(rows[i].utc));
      date_add_ms(rows[i].ms, &when);
      EXPECT_NEAR(date_diff(when.date, pts[i]->time.date) * 86400.0, 0.0, 1e-3);
      const container_t* ids = pts[i]->idsats;
      EXPECT_EQ(obj_list_count(ids), rows[i].sats);
    }
  }
}

TEST_F(MtkFiles, CutFilesLoadWithoutPoints) {
  for (const char* name : {"cut_record.mtkt", "cut_header.mtkt"}) {
    SCOPED_TRACE(name);
    int result = -1;
    EXPECT_TRUE(load(name, &result).empty());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(get_gblerr(), 0);
  }
}

TEST_F(MtkFiles, OutsideDecoderReadsTheImagesBehindTheFixtures) {
  const auto truth = expected();
  for (const char* name : {"small", "plain"}) {
    SCOPED_TRACE(name);
    std::string out;
    const int rc = tm_test::run_tool(
        {"gpsbabel", "-t", "-i", "mtk-bin", "-f", kDir + name + ".bin", "-o", "gpx", "-F", "-"}, &out,
        60000);
    if (rc == 127) GTEST_SKIP() << "gpsbabel is not installed";
    ASSERT_EQ(rc, 0) << out;
    const std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">");
    std::vector<std::pair<double, double>> found;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), point); it != std::sregex_iterator(); ++it)
      found.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
    const auto& rows = truth.at(name);
    ASSERT_EQ(found.size(), rows.size()) << out;
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_NEAR(found[i].first, rows[i].lat, 1e-7);
      EXPECT_NEAR(found[i].second, rows[i].lon, 1e-7);
    }
  }
}

}  // namespace

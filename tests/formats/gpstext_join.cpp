// The join of numbered tracklog parts into one file: header lines from the first part,
// records of every part in order, and the stop at the first missing part.
#include <fstream>
#include <sstream>
#include <string>

#include "core/paths.h"
#include "tests/formats/gpstext_fixture.h"

namespace {

using tm_test::slurp_file;

using tm_test::GpsTextFixture;

const char* kPartHeader =
    "TMT-V2_Tarmelo_Tracklog\nGarmin test 1\n0;0;0;0;0;0;0;1;\n1;1;0;0;0;0;0;\n";

std::string record_of(int k) { return "1;\n" + std::to_string(k) + ".5;1.0;\n"; }

class GpsTextJoin : public GpsTextFixture {
 protected:
  // Parts 0 .. n-1 under base "trk", skipping `missing`; CR LF lines in odd parts.
  void write_parts(int n, int missing = -1) {
    for (int k = 0; k < n; ++k) {
      if (k == missing) continue;
      std::string text = std::string(kPartHeader) + record_of(k);
      if (k % 2) {
        std::string crlf;
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        text = crlf;
      }
      put(text, (k < 10 ? "trk_t0" : "trk_t") + std::to_string(k) + ".tmt");
    }
  }
};

TEST_F(GpsTextJoin, TwelvePartsGiveOneFileInOrder) {
  write_parts(12);
  ASSERT_EQ(tmt_join_numbered_files((dir_ + "/trk_t03.tmt").c_str()), 0);
  std::string want = kPartHeader;
  for (int k = 0; k < 12; ++k) want += record_of(k);
  EXPECT_EQ(slurp_file(dir_ + "/trk.tmt"), want);
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(dir_ + "/trk.tmt", &f), 0);
  EXPECT_EQ(points(f).size(), 12u);
  EXPECT_EQ(tracklogs(f).size(), 12u);
}

TEST_F(GpsTextJoin, AGapEndsTheJoin) {
  write_parts(8, 5);
  ASSERT_EQ(tmt_join_numbered_files((dir_ + "/trk.tmt").c_str()), 0);
  std::string want = kPartHeader;
  for (int k = 0; k < 5; ++k) want += record_of(k);
  EXPECT_EQ(slurp_file(dir_ + "/trk.tmt"), want);
}

TEST_F(GpsTextJoin, NothingWithoutTheFirstPart) {
  write_parts(3, 0);
  EXPECT_EQ(tmt_join_numbered_files((dir_ + "/trk.tmt").c_str()), 0);
  EXPECT_FALSE(file_exists((dir_ + "/trk.tmt").c_str()));
}

}  // namespace

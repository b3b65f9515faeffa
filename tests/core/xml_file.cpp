// The XML engine reading files through the buffered reader: disk files and files held
// in memory give the same events as the same bytes parsed in memory, also when a
// character, a reference or a surrogate pair straddles the blocks the engine reads;
// a file that cannot be read sets gblerr 2 and calls no handler.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/reader.h"
#include "tests/core/xml_recorder.h"
#include "tests/support/file_stub.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace {

using xml_test::event;
using xml_test::recorder;

class XmlFile : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    tm_test::install_file_stub();
    xml_init();
  }
  void TearDown() override {
    set_gblerr(0);
    rd_close_all();
    tm_test::free_stub_files();
  }
};

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

const std::vector<std::string> kElements = {"catalog", "title", "note", "mixed", "b", "br",
                                            "item", "split", "raw", "empty", "selfclosed",
                                            "spaced", "multi", "ns.name-1", "gpx", "metadata",
                                            "name", "time", "bounds", "wpt", "ele", "cmt",
                                            "sym", "extensions", "color", "trk", "trkseg",
                                            "trkpt", "liste", "ville", "prix", "a", "root", "d"};
const std::vector<std::string> kAttributes = {"version", "lang", "code", "plain", "attr", "a",
                                              "b", "c", "a_b", "x", "ext", "creator",
                                              "minlat", "minlon", "maxlat", "maxlon", "lat",
                                              "lon", "nom", "pays", "devise", "level"};

TEST_F(XmlFile, FilesGiveTheEventsOfTheirBytes) {
  for (const char* name : {"utf8_basic", "utf16le_bom", "utf16be_bom", "latin1_declared",
                           "gpx_like", "deep_nesting"}) {
    const std::string path = std::string(TM_FIXTURE_DIR) + "/xml/" + name + ".xml";
    const std::string bytes = read_all(path);
    recorder rec(kElements, kAttributes);
    const std::vector<event> want = rec.parse(bytes);
    ASSERT_GT(want.size(), 5u) << name;
    EXPECT_EQ(rec.parse_file(tm_test::stub_file(path.c_str())), want) << name;
    EXPECT_EQ(get_gblerr(), 0) << name;
    for (int32_t line_size : {7, 4096}) {
      obj_t* memory = tm_test::stub_memory_file(bytes.data(), int64_t(bytes.size()), line_size);
      EXPECT_EQ(rec.parse_file(memory), want) << name << " " << line_size;
      EXPECT_EQ(get_gblerr(), 0) << name;
    }
  }
}

// A document several times the engine's block and the reader's buffer, whose
// multi-byte characters and references fall on every alignment.
TEST_F(XmlFile, LargeFilesAcrossBlockBoundaries) {
  std::string doc = "<catalog>";
  for (int i = 0; i < 9000; ++i)
    doc += "<item code=\"" + std::to_string(i) + "&amp;\u00e9\">t\u20ac" + std::string(size_t(i % 7), 'x') +
           "&#x1F600;<![CDATA[]]]]></item>\n";
  doc += "</catalog>";
  ASSERT_GT(doc.size(), 4u * 131072);
  const std::string path = tm_test::write_file(tm_test::sandbox_dir() + "large.xml", doc);
  recorder rec(kElements, kAttributes);
  const std::vector<event> want = rec.parse(doc);
  ASSERT_EQ(want.size(), 2u + 9000u * 4u);
  EXPECT_EQ(want[3].value, "t\u20ac\U0001F600]]");
  EXPECT_EQ(rec.parse_file(tm_test::stub_file(path.c_str())), want);
}

TEST_F(XmlFile, SurrogatePairAcrossTwoBlocks) {
  std::u16string text(65536 / 2 - 5, u'x');  // the pair starts 2 bytes before a block end
  std::u16string units = u"<a>" + text + u"\U0001F600</a>";
  std::string doc = "\xff\xfe";
  for (char16_t u : units) doc += std::string{char(u & 0xFF), char(u >> 8)};
  ASSERT_EQ(doc.substr(65534, 2), "\x3d\xd8");  // the high surrogate ends the first block
  const std::string path = tm_test::write_file(tm_test::sandbox_dir() + "pair.xml", doc);
  recorder rec(kElements, kAttributes);
  const std::vector<event> got = rec.parse_file(tm_test::stub_file(path.c_str()));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].value, std::string(text.size(), 'x') + "\U0001F600");
}

TEST_F(XmlFile, UnreadableFilesCallNoHandler) {
  const std::string empty = tm_test::write_file(tm_test::sandbox_dir() + "empty.xml", "");
  const std::string missing = tm_test::sandbox_dir() + "missing.xml";
  int i = 0;
  for (obj_t* file : {tm_test::stub_file(missing.c_str()), tm_test::stub_file(empty.c_str()),
                      static_cast<obj_t*>(nullptr)}) {
    recorder rec(kElements, kAttributes);
    EXPECT_TRUE(rec.parse_file(file).empty()) << i;
    EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS) << i++;
    set_gblerr(0);
  }
}

}  // namespace

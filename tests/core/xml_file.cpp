// The XML engine reading files through the buffered reader: disk files and files held
// in memory give the same events as the same bytes parsed in memory, also when a
// character, a reference or a surrogate pair straddles the blocks the engine reads;
// a file that cannot be read sets gblerr 2 and calls no handler; handlers that read
// other files through the reader mid-parse do not disturb the parse.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
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

// Handlers read other files through the reader while the document is parsed: the
// parse goes on reading the document, where it was, whatever the handler did to the
// reader's current file and its table.
xml_element_handler g_item_handler = nullptr;
std::function<void()> g_disturb;
int g_items = 0;

void disturbing_item(xml_parser_t* ctx, const char* text) {
  if (!text && !ctx->end_tag && ++g_items % 500 == 0) g_disturb();
  g_item_handler(ctx, text);
}

TEST_F(XmlFile, HandlersReadingOtherFilesDoNotDisturbTheParse) {
  std::string doc = "<catalog>";
  for (int i = 0; i < 9000; ++i)
    doc += "<item code=\"" + std::to_string(i) + "\">text " + std::to_string(i * 7) + "</item>\n";
  doc += "</catalog>";
  ASSERT_GT(doc.size(), 2u * 131072);
  const std::string dir = tm_test::fresh_dir("xml_other");
  const std::string path = tm_test::write_file(dir + "doc.xml", doc);
  std::vector<obj_t*> others;
  for (int i = 0; i < kReaderOpenFiles + 5; ++i) {
    const std::string other = tm_test::write_file(dir + "o" + std::to_string(i),
                                                  std::string(300, char('a' + i % 26)));
    others.push_back(tm_test::stub_file(other.c_str()));
  }
  const auto read_other = [&](obj_t* f) {
    ASSERT_EQ(rd_open(f, 1024, 1), 0);
    char b[200];
    EXPECT_EQ(rd_read_bytes(b, 200), 200);
  };
  const struct {
    const char* what;
    std::function<void()> disturb;
  } cases[] = {
      {"reads another file", [&] { read_other(others[0]); }},
      {"opens more files than the table holds",
       [&] { std::for_each(others.begin(), others.end(), read_other); }},
      {"closes every file", [] { rd_close_all(); }},
  };
  recorder rec(kElements, kAttributes);
  const std::vector<event> want = rec.parse(doc);
  ASSERT_EQ(want.size(), 2u + 9000u * 4u);
  // Ids follow the recorder's order: 0 unknown, 1 "xml", then the names given.
  const auto item = std::find(kElements.begin(), kElements.end(), "item");
  const int item_id = int(item - kElements.begin()) + 2;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (obj_t* file : {tm_test::stub_file(path.c_str()),
                        tm_test::stub_memory_file(doc.data(), int64_t(doc.size()), 4096)}) {
      g_disturb = c.disturb;
      g_items = 0;
      xml_parser_t* ctx = rec.begin();
      g_item_handler = ctx->element_handlers[item_id];
      ctx->element_handlers[item_id] = disturbing_item;
      xml_read_file(file, ctx);
      rec.finish();
      EXPECT_EQ(get_gblerr(), 0);
      EXPECT_EQ(g_items, 9000);
      EXPECT_TRUE(rec.events() == want);
      set_gblerr(0);
    }
  }
  g_disturb = nullptr;
}

}  // namespace

// The Polish map reader on the fixtures of scripts/fixtures/make_polish_fixtures.py: our
// nodes and way lines equal the file's own pairs (longitude as x, latitude as y, areas
// closed), names, references, labels and features; the lexer's edge cases (types and
// subtypes, label codes and tildes, a section left open, comments, keys outside a
// section); datums named, custom and refused; files cut short and hostile input give
// their code and keep what was read; the folders by main type; the feature tables the map
// features window edits.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/paths.h"
#include "core/config_state.h"
#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "formats/file_load.h"
#include "formats/polish_map.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/xform_records.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/saved_tables.h"
#include "tests/formats/load_fixture.h"
#include "tests/map/repr_fixture.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::slurp_file;
using tm_test::split_fields;

const std::string kDir = TM_FIXTURE_DIR "/polish/";

class PolishFixture : public tm_test::ReprFixture {
 protected:
  void SetUp() override {
    ReprFixture::SetUp();
    ASSERT_EQ(repr_load_from((tm_test::kReprDataDir + kReprFileName).c_str()), 0);
    ASSERT_EQ(mp_init_from(tm_test::kReprDataDir.c_str(), nullptr), 2);
    ASSERT_EQ(get_gblerr(), 0);
    dir_ = tm_test::fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    set_gblerr(0);
    loaded_.free_all();
    mp_free();
    format_readers_clear();
    ReprFixture::TearDown();
  }

  std::string put(const std::string& text, const char* name = "map.mp") {
    return tm_test::write_file(dir_ + "/" + name, text);
  }
  // Runs the reader on a disk file. Returns the error code it left (0: read whole); the
  // reader's own result must be 0 (128 only for a file that cannot be opened). The
  // objects stay in the file's list whatever the code; gblerr is cleared.
  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return -1;
    const int result = mp_read(f, f->sot);
    const int code = get_gblerr();
    EXPECT_EQ(result, code == ERR_FILE_ACCESS ? 128 : 0);
    set_gblerr(0);
    if (out) *out = f;
    return code;
  }
  int load(const std::string& text, fileatt_t** out = nullptr) {
    return load_path(put(text), out);
  }

  static georef_t* georef_of(const fileatt_t* f) {
    auto g = all_of<georef_t>(f, CLS_GEOREF);
    return g.empty() ? nullptr : g.front();
  }
  // The nodes and way lines of a file, in list order.
  static std::vector<obj_t*> elements(const fileatt_t* f) {
    std::vector<obj_t*> out;
    for (int i = 0; i < obj_list_count(f->sot); ++i) {
      obj_t* o = f->sot->elems[i];
      if (o && (o->cls == CLS_NODE || o->cls == CLS_WAYLINE)) out.push_back(o);
    }
    return out;
  }
  static const char16_t* node_name(obj_t* o) { return val(static_cast<node_t*>(o)->name); }
  // The single node a text gives (null, with a failure, when it gives another count).
  node_t* one_node(const std::string& text) {
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(text, &f), 0);
    auto nodes = all_of<node_t>(f, CLS_NODE);
    EXPECT_EQ(nodes.size(), 1u) << text;
    return nodes.size() == 1 ? nodes[0] : nullptr;
  }

  std::string dir_;
  tm_test::loaded_files loaded_;
};

// ---- Fixtures --------------------------------------------------------------------------------

class PolishFixtures : public PolishFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(PolishFixtures, ElementsEqualTheFilesOwnPairs) {
  fileatt_t* f = nullptr;
  const std::string name = GetParam();
  ASSERT_EQ(load_path(kDir + name + ".mp", &f), 0);
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : split_fields(slurp_file(kDir + name + ".ref"), '\n'))
    if (!line.empty()) rows.push_back(split_fields(line, '\t'));
  const auto got = elements(f);
  ASSERT_EQ(got.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& r = rows[i];
    ASSERT_EQ(r.size(), 7u);
    SCOPED_TRACE(std::to_string(i) + ": " + r[2]);
    std::vector<double> expected;
    for (const std::string& p : split_fields(r[5], ';')) {
      const auto xy = split_fields(p, ',');
      expected.push_back(std::stod(xy[0]));
      expected.push_back(std::stod(xy[1]));
    }
    if (r[0] == "node") {
      ASSERT_EQ(got[i]->cls, CLS_NODE);
      auto* n = static_cast<node_t*>(got[i]);
      // The text converts to the very double the file was written from.
      EXPECT_EQ(val(n->coords.x), expected[0]);
      EXPECT_EQ(val(n->coords.y), expected[1]);
      EXPECT_EQ(mnemo_of(val(n->feature)), r[1]);
      EXPECT_EQ(utf8(val(n->name)), r[2]);
      EXPECT_EQ(utf8(val(n->ref)), r[3]);
      EXPECT_EQ(utf8(val(n->label)), r[4]);
    } else {
      ASSERT_EQ(got[i]->cls, CLS_WAYLINE);
      auto* l = static_cast<wayline_t*>(got[i]);
      const coord_list c = val(l->loicoord);
      ASSERT_EQ(size_t(c.count) * 2, expected.size());
      for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(c.pts[k], expected[k]) << k;
      const auto t = split_fields(r[6], ',');
      EXPECT_NEAR(val(l->txtcoord.x), std::stod(t[0]), 1e-9);
      EXPECT_NEAR(val(l->txtcoord.y), std::stod(t[1]), 1e-9);
      EXPECT_EQ(mnemo_of(val(l->feature)), r[1]);
      EXPECT_EQ(utf8(val(l->name)), r[2]);
      EXPECT_EQ(utf8(val(l->ref)), r[3]);
      EXPECT_EQ(utf8(val(l->label)), r[4]);
    }
  }
  // One georeference: geographic, on the reference datum (W84, or no Datum key).
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_GEOREF), 1);
  georef_t* g = georef_of(f);
  ASSERT_NE(g, nullptr);
  ASSERT_NE(val(g->datum), nullptr);
  EXPECT_EQ(val(val(g->datum)->code), kRefDatumCode);
}

INSTANTIATE_TEST_SUITE_P(Files, PolishFixtures, ::testing::Values("basic", "basic_crlf", "long"),
                         [](const auto& info) { return std::string(info.param); });

// ---- Types, subtypes and kinds -----------------------------------------------------------------

struct type_case {
  const char* what;
  const char* section;
  const char* keys;  // key lines before Data0
  int maintype, subtype;  // -1: no feature
};

TEST_F(PolishFixture, TypeAndSubTypeFindTheFeatureOfTheSectionsKind) {
  const type_case cases[] = {
      {"one hexadecimal number", "POI", "Type=0x2f06\n", 0x2f, 6},
      {"Type then SubType", "POI", "Type=0x2f\nSubType=0x06\n", 0x2f, 6},
      {"decimal", "POI", "Type=12038\n", 0x2f, 6},
      {"octal", "POI", "Type=027406\n", 0x2f, 6},
      {"upper-case hexadecimal prefix", "POI", "Type=0X2F06\n", 0x2f, 6},
      {"SubType before Type keeps its value", "POI", "SubType=6\nType=0x2f\n", 0x2f, 6},
      {"a later Type replaces", "POI", "Type=0x2f01\nType=0x2f06\n", 0x2f, 6},
      {"above 0xFFFF aliases nothing", "POI", "Type=0x12f06\n", -1, -1},
      {"above 0xFFFF then SubType", "POI", "Type=0x12f06\nSubType=6\n", -1, -1},
      {"far above 64 bits", "POI", "Type=0xffffffffffffffffffff\n", -1, -1},
      {"negative", "POI", "Type=-5\n", -1, -1},
      {"SubType above 255", "POI", "Type=0x2f\nSubType=0x106\n", -1, -1},
      {"no Type", "POI", "", -1, -1},
      {"unknown type", "POI", "Type=0x7777\n", -1, -1},
      {"a point type in a polyline", "POLYLINE", "Type=0x2f06\n", -1, -1},
      {"polyline", "POLYLINE", "Type=0x01\n", 1, 0},
      {"polygon", "POLYGON", "Type=0x01\n", 1, 0},
      {"RGN10 is a point", "RGN10", "Type=0x2f06\n", 0x2f, 6},
      {"RGN40 is a line", "RGN40", "Type=0x1f\n", 0x1f, 0},
      {"RGN80 is an area", "RGN80", "Type=0x50\n", 0x50, 0},
      {"value after blanks", "POI", "Type=   0x2f06   trailing\n", 0x2f, 6},
  };
  for (const type_case& c : cases) {
    SCOPED_TRACE(c.what);
    fileatt_t* f = nullptr;
    ASSERT_EQ(load(std::string("[") + c.section + "]\n" + c.keys + "Data0=(45,5),(46,6)\n[END]\n", &f), 0);
    const auto els = elements(f);
    ASSERT_EQ(els.size(), 1u);
    feature_t* feat = els[0]->cls == CLS_NODE ? val(static_cast<node_t*>(els[0])->feature)
                                              : val(static_cast<wayline_t*>(els[0])->feature);
    if (c.maintype < 0) {
      EXPECT_EQ(feat, nullptr);
      continue;
    }
    ASSERT_NE(feat, nullptr);
    EXPECT_EQ(val(feat->maintype), c.maintype);
    EXPECT_EQ(val(feat->subtype), c.subtype);
    const int kind = els[0]->cls == CLS_NODE ? kPolishPoi
                     : std::string(c.section).find("GON") != std::string::npos ||
                             std::string(c.section) == "RGN80"
                         ? kPolishPolygon
                         : kPolishPolyline;
    EXPECT_EQ(val(feat->elttype), kind);
  }
}

TEST_F(PolishFixture, SectionsOutsideTheThreeKindsMakeNothing) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[IMG ID]\nData0=(1,2)\n[END-IMG ID]\n[WPT]\nData0=(1,2)\n[END]\n"
                 "[SHP]\nData0=(1,2)\n[END]\n[FILE]\nOrigin0=(1,2)\n[END]\n"
                 "[UNKNOWN]\nData0=(1,2)\n[END]\n",
                 &f),
            0);
  EXPECT_TRUE(elements(f).empty());
}

// ---- Labels ----------------------------------------------------------------------------------

TEST_F(PolishFixture, LabelsDropCodesAndKeepTildes) {
  const std::pair<const char*, const char*> cases[] = {
      {"~[0x1f]1250", "1250"},
      {"A~[0x1e]B~[0x2c]C", "ABC"},
      {"~x", "~x"},
      {"tilde at the end~", "tilde at the end~"},
      {"~~[0x1f]", "~"},
      {"~[0x1f", ""},  // a code left open ends at the line end
      {"", ""},
      {"  blanks kept  ", "  blanks kept  "},
      {"a=b;c[d]", "a=b;c[d]"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    node_t* n = one_node(std::string("[POI]\nType=0x2f06\nLabel=") + text + "\nData0=(1,2)\n[END]\n");
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(utf8(val(n->name)), expected);
    EXPECT_EQ(utf8(val(n->label)), expected);
  }
  // A code left open does not swallow the next lines.
  node_t* n = one_node("[POI]\nLabel=~[0x1f\nType=0x2f06\nData0=(1,2)\n[END]\n");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(mnemo_of(val(n->feature)), "BANK");
}

TEST_F(PolishFixture, LabelsBeforeAndAfterTheDataNameTheNodes) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[POI]\nLabel=Before\nData0=(1,2)\nLabel=After\nData0=(3,4)\n[END]\n"
                 "[POI]\nData0=(5,6)\n[END]\n",
                 &f),
            0);
  const auto nodes = all_of<node_t>(f, CLS_NODE);
  ASSERT_EQ(nodes.size(), 3u);
  // The first node took the first label, then the second label renamed it (the last
  // object of the section); the second node was made with the second label.
  EXPECT_EQ(utf8(val(nodes[0]->name)), "After");
  EXPECT_EQ(utf8(val(nodes[1]->name)), "After");
  // A new section starts without label.
  EXPECT_EQ(val(nodes[2]->name), nullptr);
}

TEST_F(PolishFixture, StreetDescriptionsGiveTheReference) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[POLYLINE]\nType=1\nData0=(1,2),(3,4)\nStreetDesc=Main street\n[END]\n"
                 "[POI]\nData0=(1,2)\nLabel=Name\nLabel2=Second\n[END]\n"
                 "[POI]\nLabel2=Before data\nData0=(1,2)\n[END]\n",
                 &f),
            0);
  const auto lines = all_of<wayline_t>(f, CLS_WAYLINE);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(utf8(val(lines[0]->ref)), "Main street");
  EXPECT_EQ(utf8(val(lines[0]->label)), "Main street");  // no display text yet
  EXPECT_EQ(val(lines[0]->name), nullptr);
  const auto nodes = all_of<node_t>(f, CLS_NODE);
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(utf8(val(nodes[0]->ref)), "Second");
  EXPECT_EQ(utf8(val(nodes[0]->label)), "Name");  // the display text stays the name's
  EXPECT_EQ(val(nodes[1]->ref), nullptr);        // nothing to describe yet
}

TEST_F(PolishFixture, CityNamesNameOnlyCityPoints) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[POI]\nType=4\nCity=Y\nCityName=Yes\nData0=(1,2)\n[END]\n"
                 "[POI]\nType=4\nCity=0\nCityName=Zero\nData0=(1,2)\n[END]\n"
                 "[POI]\nType=4\nCity=N\nCityName=No\nData0=(1,2)\n[END]\n"
                 "[POLYLINE]\nType=1\nCity=Y\nCityName=Line\nData0=(1,2),(3,4)\n[END]\n"
                 "[RGN20]\nType=4\nCityName=Rgn\nData0=(1,2)\n[END]\n"
                 "[POI]\nType=4\nCity=\nCityName=Empty\nData0=(1,2)\n[END]\n",
                 &f),
            0);
  const auto nodes = all_of<node_t>(f, CLS_NODE);
  ASSERT_EQ(nodes.size(), 5u);
  EXPECT_EQ(utf8(val(nodes[0]->name)), "Yes");
  EXPECT_EQ(utf8(val(nodes[1]->name)), "Zero");
  EXPECT_EQ(val(nodes[2]->name), nullptr);
  EXPECT_EQ(utf8(val(nodes[3]->name)), "Rgn");
  EXPECT_EQ(val(nodes[4]->name), nullptr);
  const auto lines = all_of<wayline_t>(f, CLS_WAYLINE);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(val(lines[0]->name), nullptr);
}

// ---- The lexer ---------------------------------------------------------------------------------

TEST_F(PolishFixture, ASectionLeftOpenHidesTheKeysOfTheNextOne) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[POI]\nType=0x2f06\nData0=(1,2)\n"
                 "[POLYLINE]\nType=1\nData0=(1,2),(3,4)\n[END]\n",
                 &f),
            0);
  // The polyline's name ends the point section; its keys are not read.
  EXPECT_EQ(all_of<node_t>(f, CLS_NODE).size(), 1u);
  EXPECT_TRUE(all_of<wayline_t>(f, CLS_WAYLINE).empty());
  // Closed, the same point section lets the polyline read.
  ASSERT_EQ(load("[POI]\nType=0x2f06\nData0=(1,2)\n[END]\n"
                 "[POLYLINE]\nType=1\nData0=(1,2),(3,4)\n[END]\n",
                 &f),
            0);
  const auto lines = all_of<wayline_t>(f, CLS_WAYLINE);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(mnemo_of(val(lines[0]->feature)), "MOTORWAY");
}

TEST_F(PolishFixture, CommentsKeysOutsideSectionsAndOddKeyLines) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("; header comment\nData0=(9,9)\nType=0x2f06\n"
                 "[POI]\n; Data0=(8,8)\nType=0x2f06\n   \nD a t a 0=(1,2)\n"
                 "NoEquals\nData0=(3,4)\n[END]\n"
                 "[POI]\nType=0x2f06\nSomeOtherKey=(5,6)\nLabel=x;y\nOrigin0=(7,8)\n[END]\n",
                 &f),
            0);
  const auto nodes = all_of<node_t>(f, CLS_NODE);
  // Outside a section nothing is read; a comment is skipped; blanks in a key name are
  // dropped; a line without "=" stays in front of the next key ("NoEqualsData0" is not
  // a key); an unknown key is skipped.
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(val(nodes[0]->coords.x), 2.0);
  EXPECT_EQ(val(nodes[0]->coords.y), 1.0);
  EXPECT_EQ(val(nodes[1]->coords.x), 8.0);
  EXPECT_EQ(utf8(val(nodes[1]->name)), "x;y");
}

TEST_F(PolishFixture, CoordinateLinesWithoutAWholePairMakeNoObject) {
  const char* lines[] = {
      "Data0=", "Data0=()", "Data0=(", "Data0=45,5", "Data0=(45)", "Data0=(abc,5)",
      "Data0=(45,abc)", "Data0=(45,)", "Data0=,(45,5)", "Data0=(1e999,5)", "Data0=(nan,5)",
      "Data0=(45;5)",
  };
  for (const char* kind : {"POI", "POLYLINE", "POLYGON"}) {
    for (const char* line : lines) {
      SCOPED_TRACE(std::string(kind) + " " + line);
      fileatt_t* f = nullptr;
      ASSERT_EQ(load(std::string("[") + kind + "]\nType=1\n" + line + "\n[END]\n", &f), 0);
      EXPECT_TRUE(elements(f).empty());
    }
  }
  // Pairs after a bad one are not read; the good ones before it are.
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[POLYLINE]\nType=1\nData0=(1,2),(3,4),(x,5),(6,7)\n[END]\n", &f), 0);
  const auto l = all_of<wayline_t>(f, CLS_WAYLINE);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(val(l[0]->loicoord.count), 2);
  // A pair with blanks, a sign, a comma decimal is not a decimal (it separates).
  ASSERT_EQ(load("[POLYGON]\nType=0x50\nData0=(  -1.5 ,  +2.25 ),(3,4)\n[END]\n", &f), 0);
  const auto g = all_of<wayline_t>(f, CLS_WAYLINE);
  ASSERT_EQ(g.size(), 1u);
  const coord_list c = val(g[0]->loicoord);
  ASSERT_EQ(c.count, 3);
  EXPECT_EQ(c.pts[0], 2.25);
  EXPECT_EQ(c.pts[1], -1.5);
  EXPECT_EQ(c.pts[4], 2.25);
  EXPECT_EQ(c.pts[5], -1.5);
  // No way line ever gets a label point that is not a number.
  EXPECT_TRUE(std::isfinite(val(g[0]->txtcoord.x)));
}

TEST_F(PolishFixture, AClosedRingOfThreePointsFromTwoPairs) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[POLYGON]\nType=0x50\nData0=(45.1,5.2),(45.2,5.3)\n[END]\n", &f), 0);
  const auto l = all_of<wayline_t>(f, CLS_WAYLINE);
  ASSERT_EQ(l.size(), 1u);
  const coord_list c = val(l[0]->loicoord);
  ASSERT_EQ(c.count, 3);
  EXPECT_EQ(c.pts[0], 5.2);
  EXPECT_EQ(c.pts[1], 45.1);
  EXPECT_EQ(c.pts[4], 5.2);
  EXPECT_EQ(c.pts[5], 45.1);
  // A polyline is left open.
  ASSERT_EQ(load("[POLYLINE]\nType=1\nData0=(45.1,5.2),(45.2,5.3)\n[END]\n", &f), 0);
  EXPECT_EQ(val(all_of<wayline_t>(f, CLS_WAYLINE)[0]->loicoord.count), 2);
}

// ---- Datums -----------------------------------------------------------------------------------

TEST_F(PolishFixture, NamedDatumsComeFromThePolishScheme) {
  // The format's default datum name is the reference datum.
  geodatum_t* w84 = nullptr;
  ASSERT_NE(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_POLISH, "W84", &w84), nullptr);
  EXPECT_EQ(val(w84->code), kRefDatumCode);
  {
    fileatt_t* f = nullptr;
    ASSERT_EQ(load("[IMG ID]\nDatum=W84\n[END-IMG ID]\n[POI]\nData0=(1,2)\n[END]\n", &f), 0);
    EXPECT_EQ(val(georef_of(f)->datum), w84);
  }
  geodatum_t* nad83 = nullptr;
  ASSERT_NE(geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_POLISH, "NAD83", &nad83), nullptr);
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[IMG ID]\nDatum=NAD83   ; the rest is skipped\n[END-IMG ID]\n"
                 "[POI]\nData0=(1,2)\n[END]\n",
                 &f),
            0);
  georef_t* g = georef_of(f);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(val(g->datum), nad83);
  EXPECT_EQ(val(g->refertype), GEOREF_GEOGRAPHIC);
  EXPECT_EQ(all_of<node_t>(f, CLS_NODE).size(), 1u);
  // The datum ends at its line: the next line is a key.
  ASSERT_EQ(load("[IMG ID]\r\nDatum=NAD83\r\n[END-IMG ID]\r\n[POI]\r\nData0=(1,2)\r\n[END]\r\n", &f), 0);
  EXPECT_EQ(val(georef_of(f)->datum), nad83);
}

TEST_F(PolishFixture, UnknownDatumsStopTheReadWithError13AndKeepWhatWasRead) {
  for (const char* name : {"Nowhere", "WGS 84" /* a blank ends the name: "WGS" */, "", "W",
                           "Custom", "Custom 1 2 3", "Custom 1 2 3 0 298",
                           "Custom 1 2 3 6378137 -4", "Custom a b c d e",
                           "Custom 1 2 3 6378137 nan"}) {
    SCOPED_TRACE(name);
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(std::string("[POI]\nType=0x2f06\nData0=(1,2)\n[END]\n[IMG ID]\nDatum=") + name +
                       "\n[END-IMG ID]\n[POI]\nData0=(3,4)\n[END]\n",
                   &f),
              ERR_GEOGRAPHIC);
    // The node before the datum stays; nothing after it is read.
    const auto nodes = all_of<node_t>(f, CLS_NODE);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(val(nodes[0]->coords.x), 2.0);
    EXPECT_EQ(mnemo_of(val(nodes[0]->feature)), "BANK");
  }
}

TEST_F(PolishFixture, CustomDatumsAreFoundOrMadeFromTheirShifts) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[IMG ID]\nDatum=Custom -87 -98 -121 6378388 297\n[END-IMG ID]\n"
                 "[POI]\nData0=(1,2)\n[END]\n",
                 &f),
            0);
  geodatum_t* d = val(georef_of(f)->datum);
  ASSERT_NE(d, nullptr);
  ASSERT_NE(val(d->ellip), nullptr);
  EXPECT_DOUBLE_EQ(val(val(d->ellip)->a), 6378388.0);
  // The same values again (blanks and commas between them) find the same datum.
  fileatt_t* again = nullptr;
  ASSERT_EQ(load("[IMG ID]\nDatum=Custom  -87\t-98,-121 , 6378388 297\n[END-IMG ID]\n", &again), 0);
  EXPECT_EQ(val(georef_of(again)->datum), d);
}

// ---- Cut short and hostile ---------------------------------------------------------------------

TEST_F(PolishFixture, AFileCutShortGivesTheCodeAndKeepsWhatWasRead) {
  const std::string doc = slurp_file(kDir + "basic.mp");
  fileatt_t* whole = nullptr;
  ASSERT_EQ(load_path(kDir + "basic.mp", &whole), 0);
  const auto all = elements(whole);
  // Cut inside the pairs of the polyline: error 14, the objects before it stay.
  const size_t at = doc.find("(45.1,5.1)");
  ASSERT_NE(at, std::string::npos);
  fileatt_t* f = nullptr;
  EXPECT_EQ(load(doc.substr(0, at + 6), &f), ERR_BAD_FILE);
  const auto got = elements(f);
  // The points before the line, and the line's first pair as a way line.
  ASSERT_EQ(got.size(), 12u);
  EXPECT_EQ(got[11]->cls, CLS_WAYLINE);
  EXPECT_EQ(val(static_cast<wayline_t*>(got[11])->loicoord.count), 1);
  // Every cut: 0 or 14 (13 for a datum name cut short), and the objects made are those
  // of the whole read, in order.
  const size_t datum_from = doc.find("Datum=W84");
  const size_t datum_to = datum_from + std::strlen("Datum=W84");
  ASSERT_NE(datum_from, std::string::npos);
  for (size_t n = 0; n <= doc.size(); ++n) {
    const int r = load(doc.substr(0, n), &f);
    const bool in_datum = n > datum_from && n < datum_to;
    ASSERT_TRUE(r == 0 || r == ERR_BAD_FILE || (in_datum && r == ERR_GEOGRAPHIC)) << n << ": " << r;
    const auto part = elements(f);
    ASSERT_LE(part.size(), all.size()) << n;
    for (size_t i = 0; i < part.size(); ++i) {
      ASSERT_EQ(part[i]->cls, all[i]->cls) << n;
      if (part[i]->cls == CLS_NODE && i + 1 < part.size()) {
        EXPECT_EQ(val(static_cast<node_t*>(part[i])->coords.x),
                  val(static_cast<node_t*>(all[i])->coords.x))
            << n;
      }
    }
  }
}

TEST_F(PolishFixture, AFileThatCannotBeOpenedGives128) {
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, (dir_ + "/missing.mp").c_str(), 0, 0, &f);
  ASSERT_NE(f, nullptr);
  loaded_.adopt(f);
  obj_list_new(&f->sot);
  EXPECT_EQ(mp_read(f, f->sot), 128);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
}

TEST_F(PolishFixture, HostileInputNeverCrashesAndStaysBounded) {
  const std::string many_pairs = [] {
    std::string s = "[POLYGON]\nType=0x50\nData0=";
    for (int i = 0; i < 20000; ++i) s += "(1,2),";
    return s + "(3,4)\n[END]\n";
  }();
  const std::vector<std::string> docs = {
      "",
      "[",
      "]]]]",
      "[" + std::string(100000, 'P') + "]\n",
      "[POI]\n" + std::string(100000, 'K') + "=1\n",
      "[POI]\nLabel=" + std::string(100000, 'L') + "\nData0=(1,2)\n",
      "[POI]\nLabel=" + std::string(50000, '~') + "\n",
      "[POI]\nType=" + std::string(100000, '9') + "\nData0=(1,2)\n",
      "[POI]\nDatum=" + std::string(100000, 'D') + "\n",
      "[POI]\nData0=(" + std::string(100000, '1') + "," + std::string(100000, '2') + ")\n",
      "[POI]\nData0=" + std::string(100000, '(') + "\n",
      "[POI]\nData0=" + std::string(100000, ',') + "\n",
      many_pairs,
      std::string("[POI]\0\nData0=(1,2)\n\0\0\0", 20),
      "[POI]\nCity=",
      "[POI]\nCity=Y",
      "[POI]\nData0=(1,2)\nLabel=~",
      "[POI]\nData0=(1,2)\nLabel=~[",
      "[IMG ID]\nDatum=Custom",
      "[IMG ID]\nDatum=Custom 1 2 3 6378137 298.257223563",
      "\xff\xfe[\x80\x81]\r\r\r\n=\t=\t;[[[]]]",
  };
  for (const std::string& d : docs) {
    fileatt_t* f = nullptr;
    const int r = load(d, &f);
    EXPECT_TRUE(r == 0 || r == ERR_BAD_FILE || r == ERR_GEOGRAPHIC ||
                (d.empty() && r == ERR_FILE_ACCESS))
        << d.substr(0, 40) << ": " << r;
    for (node_t* n : all_of<node_t>(f, CLS_NODE)) {
      // Names are cut at the label's length.
      EXPECT_LE(utf8(val(n->name)).size(), 4095u);
      EXPECT_TRUE(std::isfinite(val(n->coords.x)));
    }
  }
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(many_pairs, &f), 0);
  const auto l = all_of<wayline_t>(f, CLS_WAYLINE);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(val(l[0]->loicoord.count), 20002);
}

// A line of a few bytes copies the section's label into a new object: a file whose
// objects would leave less than the reader's margin of the memory budget stops with "not
// enough memory" and keeps what it made (the budget here: a ceiling 100 MB above what
// the process held before).
TEST_F(PolishFixture, ObjectsBeyondTheMemoryBudgetStopTheRead) {
  std::string doc = "[POI]\nType=0x2f06\nLabel=" + std::string(4000, 'L') + "\n";
  for (int i = 0; i < 2000; ++i) doc += "Data0=(1,2)\n";
  doc += "[END]\n";
  // The ceiling: 100 MB above what the process holds before the block below.
  const std::string ceiling = tm_test::maxmem_above_held(100);
  if (ceiling.empty()) GTEST_SKIP() << "the process already holds more than the largest memory ceiling";
  constexpr size_t kHeld = size_t(160) << 20;
  auto held = std::make_unique<char[]>(kHeld);
  std::memset(held.get(), 1, kHeld);  // resident, so counted as committed
  // One coordinate line longer than the budget allows, after a point.
  std::string line = "[POI]\nData0=(1,2)\n[END]\n[POLYLINE]\nType=1\nData0=(1,2)";
  for (int i = 0; i < 400000; ++i) line += ",(1,2)";
  line += "\n[END]\n";
  config_set("MAXMEM", ceiling.c_str());
  config_detail::forget_maxmem();
  fileatt_t* f = nullptr;
  const int result = load(doc, &f);
  fileatt_t* g = nullptr;
  const int line_result = load(line, &g);
  config_set("MAXMEM", "1500");  // the default ceiling
  config_detail::forget_maxmem();
  EXPECT_EQ(result, ERR_MEMORY);
  const size_t kept = all_of<node_t>(f, CLS_NODE).size();
  EXPECT_GE(kept, 1u);
  EXPECT_LT(kept, 2000u);
  EXPECT_EQ(line_result, ERR_MEMORY);
  EXPECT_EQ(all_of<node_t>(g, CLS_NODE).size(), 1u);
  EXPECT_TRUE(all_of<wayline_t>(g, CLS_WAYLINE).empty());
  ASSERT_EQ(load(doc, &f), 0);
  EXPECT_EQ(all_of<node_t>(f, CLS_NODE).size(), 2000u);
  ASSERT_EQ(load(line, &g), 0);
  EXPECT_EQ(val(all_of<wayline_t>(g, CLS_WAYLINE).at(0)->loicoord.count), 400001);
}

// ---- Folders ----------------------------------------------------------------------------------

TEST_F(PolishFixture, FeaturesGoToDisplayFoldersUnderTheirMainTypes) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "basic.mp", &f), 0);
  folder_t* top = first_folder(f);
  ASSERT_NE(top, nullptr);
  // One sub-folder per main type of the main features, named after them.
  const auto subs = sub_folders(top);
  EXPECT_EQ(subs.size(), size_t(obj_list_count(mp_main_features())));
  std::map<std::string, folder_t*> mains;
  for (folder_t* d : subs) mains[folder_name(d)] = d;
  ASSERT_TRUE(mains.count("Services"));  // main type 0x2f
  std::map<std::string, folder_t*> shown;
  for (folder_t* d : sub_folders(mains["Services"])) shown[folder_name(d)] = d;
  ASSERT_TRUE(shown.count("Bank"));
  folder_t* bank = shown["Bank"];
  const auto bank_nodes = of_class<node_t>(val(bank->sot), CLS_NODE);
  ASSERT_EQ(bank_nodes.size(), 2u);
  EXPECT_EQ(val(bank->layer), kReprPointPriority);
  EXPECT_EQ(utf8(val(bank_nodes[0]->name)), "1250");
  // A polygon feature's display folder holds its way line with a line style.
  bool found_wood = false;
  for (folder_t* m : subs)
    for (folder_t* d : sub_folders(m))
      if (folder_name(d) == "Woods") {
        found_wood = true;
        EXPECT_EQ(val(d->layer), kReprLinePriority);
        EXPECT_EQ(of_class<wayline_t>(val(d->sot), CLS_WAYLINE).size(), 1u);
      }
  EXPECT_TRUE(found_wood);
}

// Main types beyond those of the features (a user's main feature) have their folder: the
// folders are not kept in an array sized by the features' main types. A user's feature
// of such a main type lands in its folder.
TEST_F(PolishFixture, MainTypesBeyondTheFeaturesHaveTheirFolders) {
  for (int type : {250, 240}) {
    feature_t* m = nullptr;
    feature_create(nullptr, type, 0, 0, nullptr, type == 250 ? "Far main type" : "Near main type",
                   &m);
    index_insert(mp_user_main_features(), m);
  }
  mp_feature_record_change(feature(240, 3, kPolishPoi, "BANK", "Far bank"));
  mp_features_rebuild();
  // No feature has main type 250; the largest is 240.
  const container_t* features = mp_features();
  int largest = 0;
  for (int i = 0; i < obj_list_count(features); ++i)
    largest = std::max(largest, int(val(static_cast<feature_t*>(features->elems[i])->maintype)));
  ASSERT_EQ(largest, 240);
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[POI]\nType=0xf003\nLabel=Far\nData0=(1,2)\n[END]\n", &f), 0);
  std::map<std::string, folder_t*> mains;
  for (folder_t* d : sub_folders(first_folder(f))) mains[folder_name(d)] = d;
  ASSERT_TRUE(mains.count("Far main type"));
  EXPECT_TRUE(sub_folders(mains["Far main type"]).empty());
  ASSERT_TRUE(mains.count("Near main type"));
  const auto shown = sub_folders(mains["Near main type"]);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(folder_name(shown[0]), "Far bank");
}

// ---- Tables ------------------------------------------------------------------------------------

TEST_F(PolishFixture, TheFeatureTablesHoldTheShippedFiles) {
  feature_t* f = nullptr;
  ASSERT_NE(mp_feature_find(0x2f, 6, kPolishPoi, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "BANK");
  EXPECT_EQ(mp_feature_find(0x2f, 6, kPolishPolyline, &f), nullptr);
  EXPECT_EQ(mp_feature_find(0x12f, 6, kPolishPoi, &f), nullptr);
  EXPECT_EQ(mp_feature_find(-1, 6, kPolishPoi, &f), nullptr);
  EXPECT_EQ(obj_list_count(mp_features()), 262);
  EXPECT_EQ(obj_list_count(mp_main_features()), 73);
  ASSERT_NE(mp_user_features(), nullptr);
  ASSERT_NE(mp_user_main_features(), nullptr);
  EXPECT_STREQ(val(mp_user_features()->name), kPolishUserFeatures);
  EXPECT_STREQ(val(mp_user_main_features()->name), kPolishUserMainFeatures);
  EXPECT_EQ(obj_list_count(mp_user_features()), 0);
  // Format 47's reader slot and the Polish description hook are filled.
  EXPECT_EQ(format_reader_of(kPolishFormat), &mp_read);
}

TEST_F(PolishFixture, DescriptionsListEveryFeatureOfAMnemonic) {
  char* text = nullptr;
  mp_feature_describe("BANK", &text);
  EXPECT_STREQ(text, "Polish format\n0x2f\n0x06\nPOI\n");
  free_mem(&text);
  mp_feature_describe("WOOD", &text);
  EXPECT_STREQ(text, "Polish format\n0x4f\n0x00\nPOLYGON\nPolish format\n0x50\n0x00\nPOLYGON\n");
  free_mem(&text);
  mp_feature_describe("MOTORWAY", &text);
  EXPECT_STREQ(text, "Polish format\n0x01\n0x00\nPOLYLINE\n");
  free_mem(&text);
  mp_feature_describe("bank", &text);  // exact comparison
  EXPECT_EQ(text, nullptr);
  free_mem(&text);
  // Through the representation engine's header text.
  feature_t* bank = nullptr;
  mp_feature_find(0x2f, 6, kPolishPoi, &bank);
  repr_header_text(bank, &text);
  EXPECT_NE(std::string(text).find("Polish format\n0x2f\n0x06\nPOI\n"), std::string::npos);
  free_mem(&text);
}

TEST_F(PolishFixture, RecordedChangesWinAfterARebuildAndLoadedFeaturesStayValid) {
  node_t* n = one_node("[POI]\nType=0x2f06\nData0=(1,2)\n[END]\n");
  ASSERT_NE(n, nullptr);
  feature_t* before = val(n->feature);
  ASSERT_NE(before, nullptr);
  // The same values record nothing.
  mp_feature_record_change(feature(0x2f, 6, kPolishPoi, "BANK", "Bank"));
  EXPECT_EQ(obj_list_count(mp_user_features()), 0);
  // A changed mnemonic, a changed name, a new feature.
  mp_feature_record_change(feature(0x2f, 6, kPolishPoi, "SHOP", "Bank"));
  mp_feature_record_change(feature(0x2f, 1, kPolishPoi, "FUEL", "Petrol"));
  mp_feature_record_change(feature(0x99, 2, kPolishPolyline, "RIVER", "New line"));
  EXPECT_EQ(obj_list_count(mp_user_features()), 3);
  // A second change of the same feature replaces the recorded one.
  mp_feature_record_change(feature(0x2f, 6, kPolishPoi, "POST", "Bank"));
  EXPECT_EQ(obj_list_count(mp_user_features()), 3);
  // Nothing changes before the rebuild.
  feature_t* f = nullptr;
  EXPECT_STREQ(val(mp_feature_find(0x2f, 6, kPolishPoi, &f)->mnemo), "BANK");
  mp_features_rebuild();
  EXPECT_STREQ(val(mp_feature_find(0x2f, 6, kPolishPoi, &f)->mnemo), "POST");
  EXPECT_STREQ(val(mp_feature_find(0x2f, 1, kPolishPoi, &f)->name), "Petrol");
  ASSERT_NE(mp_feature_find(0x99, 2, kPolishPolyline, &f), nullptr);
  EXPECT_EQ(obj_list_count(mp_features()), 263);
  // The node loaded before keeps its record, which now holds the new values.
  EXPECT_EQ(val(n->feature), before);
  EXPECT_EQ(val(before->cls), CLS_FEATURE);
  EXPECT_STREQ(val(before->mnemo), "POST");
  // New loads classify by the new table.
  node_t* m = one_node("[POI]\nType=0x2f01\nData0=(1,2)\n[END]\n");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(mnemo_of(val(m->feature)), "FUEL");
}

TEST_F(PolishFixture, UserTablesAreReadBackAtStartUp) {
  // A user feature table saved by an earlier run.
  mp_feature_record_change(feature(0x2f, 6, kPolishPoi, "SHOP", "My bank"));
  fileatt_t* file = nullptr;
  const std::string path = dir_ + "/" + kPolishUserFeatures + ".sot";
  file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &file);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(savfile_write(file, mp_user_features()), 0);
  free_obj(&file);
  ASSERT_EQ(mp_init_from(tm_test::kReprDataDir.c_str(), (dir_ + "/").c_str()), 2);
  EXPECT_EQ(obj_list_count(mp_user_features()), 1);
  feature_t* f = nullptr;
  ASSERT_NE(mp_feature_find(0x2f, 6, kPolishPoi, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "SHOP");
  EXPECT_STREQ(val(f->name), "My bank");
}

// At start-up the tables come from the system data folder; a change the window records
// is queued with the saved tables, written at exit and read back at the next start.
TEST_F(PolishFixture, ChangesPersistBetweenRunsThroughTheSavedTables) {
  const std::string program = tm_test::fresh_dir("polish_program");
  const std::string system = program + "/system/";
  std::filesystem::create_directories(system);
  for (const char* name : {kPolishFeatureFile, kPolishMainFeatureFile})
    std::filesystem::copy_file(tm_test::kReprDataDir + name, system + name);
  const std::string before = get_program_dir() ? get_program_dir() : "";
  set_program_dir(program.c_str());
  tm_test::forget_saved_tables();  // a first run
  mp_init();
  EXPECT_EQ(obj_list_count(mp_features()), 262);
  EXPECT_EQ(savfile_queue_count(), 0);
  mp_feature_record_change(feature(0x2f, 6, kPolishPoi, "SHOP", "Kept bank"));
  EXPECT_EQ(savfile_queue_count(), 1);
  savfile_flush();
  // The user's features are kept with the user's settings.
  EXPECT_TRUE(std::filesystem::exists(std::string(get_user_app_dir()) + kPolishUserFeatures + ".sot"));
  // The next run.
  mp_init();
  set_program_dir(before.empty() ? nullptr : before.c_str());
  feature_t* f = nullptr;
  ASSERT_NE(mp_feature_find(0x2f, 6, kPolishPoi, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "SHOP");
  EXPECT_STREQ(val(f->name), "Kept bank");
  EXPECT_EQ(obj_list_count(mp_features()), 262);
  tm_test::forget_saved_tables();
}

TEST_F(PolishFixture, MissingFeatureFilesAreLoggedAndClassifyNothing) {
  config_reset();
  const std::string logs = tm_test::fresh_dir("polish_logs");
  config_set("LOG_DIR", logs.c_str());
  config_set("LOGERROR", "1");
  log_init("TARM");
  ASSERT_TRUE(log_path());
  const std::string empty = tm_test::fresh_dir("polish_empty") + "/";
  EXPECT_EQ(mp_init_from(empty.c_str(), nullptr), 0);
  EXPECT_EQ(get_gblerr(), 0);
  std::ifstream in(log_path());
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(text.find("Unable to load features") != std::string::npos ||
              text.find("Impossible de charger les features") != std::string::npos)
      << text;
  EXPECT_EQ(obj_list_count(mp_features()), 0);
  EXPECT_EQ(obj_list_count(mp_main_features()), 0);
  // Files still read, with no features and no main-type folders.
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("[POI]\nType=0x2f06\nData0=(1,2)\n[END]\n", &f), 0);
  const auto nodes = all_of<node_t>(f, CLS_NODE);
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(val(nodes[0]->feature), nullptr);
  EXPECT_TRUE(sub_folders(first_folder(f)).empty());
  config_reset();
}

// Feature files whose list holds itself, or holds another list of the file, start the
// tables without freeing anything twice: the first is refused (nothing classified), the
// second loads the features it holds directly.
TEST_F(PolishFixture, FeatureFilesWhoseListsHoldListsStartSafely) {
  const std::string fixtures = TM_SOURCE_DIR "/tests/fixtures/objxml/";
  const std::string self = tm_test::fresh_dir("polish_self_list") + "/";
  std::filesystem::copy_file(fixtures + "self_list.xml", self + "pfmsfeat.xml");
  std::string text = slurp_file(self + "pfmsfeat.xml");
  text.replace(text.find("<Fname>x<"), 9, "<Fname>pfmsfeat<");
  tm_test::write_file(self + "pfmsfeat.xml", text);
  EXPECT_EQ(mp_init_from(self.c_str(), nullptr), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(obj_list_count(mp_features()), 0);
  const std::string nested = tm_test::fresh_dir("polish_nested_list") + "/";
  text = slurp_file(fixtures + "list_in_list.xml");
  text.replace(text.find("<Fname>x<"), 9, "<Fname>pfmsfeat<");
  text.replace(text.find("<Fmnemo>A<"), 10, "<Fmaintype>47</Fmaintype><Fmnemo>A<");
  tm_test::write_file(nested + "pfmsfeat.xml", text);
  std::filesystem::copy_file(tm_test::kReprDataDir + "pfmmfeat.xml", nested + "pfmmfeat.xml");
  EXPECT_EQ(mp_init_from(nested.c_str(), nullptr), 2);
  EXPECT_EQ(obj_list_count(mp_features()), 1);
  mp_free();
  EXPECT_EQ(get_gblerr(), 0);
}

// The map features window rebuilds the tables on its thread while a load reads them: the
// features the load gave its elements stay valid.
TEST_F(PolishFixture, ARebuildWhileALoadRunsLeavesEveryFeatureValid) {
  std::string doc;
  for (int i = 0; i < 3000; ++i) doc += "[POI]\nType=0x2f06\nData0=(1,2)\n[END]\n";
  const std::string path = put(doc);
  feature_t* a = feature(0x2f, 6, kPolishPoi, "SHOP", "A");
  feature_t* b = feature(0x2f, 6, kPolishPoi, "POST", "B");
  std::atomic<bool> done{false};
  std::thread ui([&] {
    for (int i = 0; !done.load(); ++i) {
      mp_feature_record_change(i % 2 ? a : b);
      mp_features_rebuild();
      // A user's Apply, not a tight loop: the load must get the tables between rebuilds
      // (the lock is not fair), or this test would only measure the scheduler.
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  fileatt_t* f = nullptr;
  const int r = load_path(path, &f);
  done = true;
  ui.join();
  ASSERT_EQ(r, 0);
  for (node_t* n : all_of<node_t>(f, CLS_NODE)) {
    feature_t* feat = val(n->feature);
    ASSERT_NE(feat, nullptr);
    EXPECT_EQ(val(feat->cls), CLS_FEATURE);
  }
}

// ---- Dispatch ----------------------------------------------------------------------------------

TEST_F(PolishFixture, RecognisedFilesLoadThroughTheDispatcher) {
  file_load_module_init();
  mp_init_from(tm_test::kReprDataDir.c_str(), nullptr);
  fileatt_t* f = nullptr;
  const std::string path = put(slurp_file(kDir + "basic.mp"), "dispatch.mp");
  file_open_object(nullptr, nullptr, path.c_str(), 1, 1, &f);
  ASSERT_NE(f, nullptr);
  loaded_.adopt(f);
  EXPECT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(int(f->fileformat), kPolishFormat);
  ASSERT_NE(f->sot, nullptr);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_NODE), 11);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYLINE), 5);
  // A read stopped by an unknown datum is unloaded by the dispatcher.
  fileatt_t* bad = nullptr;
  file_open_object(nullptr, nullptr,
                   put("[IMG ID]\nDatum=Nowhere\n[END-IMG ID]\n", "bad.mp").c_str(), 1, 1, &bad);
  ASSERT_NE(bad, nullptr);
  loaded_.adopt(bad);
  EXPECT_EQ(file_load(bad, nullptr, 0), ERR_GEOGRAPHIC);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(bad->sot, nullptr);
  get_fileobj_hooks() = fileobj_hooks{};
  get_image_load_hooks() = image_load_hooks{};
}

}  // namespace

// The OpenStreetMap reader on the fixtures osmium wrote (scripts/fixtures/
// make_osm_fixtures.py): our nodes and ways equal osmium's reading of the same files
// (coordinates, names, references, elevations, lanes, node lists) and carry the features
// of our vocabularies; versions 0.5 and 0.6 are read and others refused; files cut short
// and hostile documents give the bad-data code and keep what was read; the feature
// folders and their styles; the feature tables the map features window edits.
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <atomic>
#include <chrono>
#include <vector>

#include "core/dict.h"
#include "map/draw_styles.h"
#include "tests/formats/osm_fixture.h"

namespace {

using tm_test::slurp_file;
using tm_test::split_fields;

using tm_test::OsmFixture;

const std::string kDir = TM_FIXTURE_DIR "/osm/";

// One row of osmium's reading (basic.ref).
struct ref_row {
  std::string kind, id, lon, lat, name, ref, ele, lanes, tags;
  std::vector<std::string> nodes;
};
std::vector<ref_row> reference() {
  std::vector<ref_row> rows;
  for (const std::string& line : split_fields(slurp_file(kDir + "basic.ref"), '\n')) {
    if (line.empty()) continue;
    auto f = split_fields(line, '\t');
    EXPECT_EQ(f.size(), 10u) << line;
    if (f.size() != 10) continue;
    ref_row r{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], {}};
    if (!f[9].empty()) r.nodes = split_fields(f[9], '|');
    rows.push_back(r);
  }
  return rows;
}

// The feature each element of basic.osm gets from our vocabularies (by its tags: the
// key's feature for the value, else for the key's default value).
const std::map<std::string, std::string> kNodeFeatures = {
    {"1", "PEAK"}, {"2", "TOWN"}, {"3", "CAFE"}, {"4", "BUSSTOP"}, {"5", "SHOP"},
    {"6", ""}, {"14", "CITY"}, {"15", "SPRING"}};
const std::map<std::string, std::string> kWayFeatures = {
    {"100", "PRIMARY"}, {"101", "BUILDING"}, {"102", "RIVER"}, {"103", "RESIDENTIAL"},
    {"104", ""}, {"105", "BUILDING"}, {"106", "POWERLINE"}};

class OsmFixtures : public OsmFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(OsmFixtures, NodesAndWaysEqualOsmiumsReading) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + GetParam(), &f), 0);
  const auto nodes = all_of<node_t>(f, CLS_NODE);
  const auto ways = all_of<way_t>(f, CLS_WAY);
  std::map<std::string, node_t*> by_id;
  for (node_t* n : nodes) by_id[val(n->osmident) ? std::string(val(n->osmident)) : ""] = n;
  const auto rows = reference();
  size_t node_rows = 0, way_rows = 0, w = 0;
  for (const ref_row& r : rows) {
    if (r.kind == "node") {
      ++node_rows;
      ASSERT_TRUE(by_id.count(r.id)) << r.id;
      node_t* n = by_id[r.id];
      SCOPED_TRACE("node " + r.id);
      EXPECT_NEAR(val(n->coords.x), std::stod(r.lon), 1e-9);
      EXPECT_NEAR(val(n->coords.y), std::stod(r.lat), 1e-9);
      EXPECT_EQ(utf8(val(n->name)), r.name);
      EXPECT_EQ(utf8(val(n->ref)), r.ref);
      if (!r.ele.empty()) {
        EXPECT_NEAR(val(n->altitude), std::stod(r.ele), 1e-3);
        EXPECT_NEAR(val(n->coords.z), std::stod(r.ele), 1e-3);
      }
      // The label is the name, else the reference.
      EXPECT_EQ(utf8(val(n->label)), r.name.empty() ? r.ref : r.name);
      const auto it = kNodeFeatures.find(r.id);
      EXPECT_EQ(mnemo_of(val(n->feature)), it == kNodeFeatures.end() ? "" : it->second);
    } else {
      ++way_rows;
      ASSERT_LT(w, ways.size());
      way_t* way = ways[w++];  // ways keep the file's order
      SCOPED_TRACE("way " + r.id);
      EXPECT_EQ(utf8(val(way->name)), r.name);
      EXPECT_EQ(utf8(val(way->ref)), r.ref);
      int lanes = 0;
      if (!r.lanes.empty() && std::isdigit(static_cast<unsigned char>(r.lanes[0])))
        lanes = std::stoi(r.lanes);
      EXPECT_EQ(val(way->lanes), lanes);
      // The nodes that exist, in order; references to missing nodes are dropped.
      std::vector<std::string> expected;
      for (const std::string& id : r.nodes)
        if (by_id.count(id)) expected.push_back(id);
      std::vector<std::string> got;
      container_t* sons = val(way->sons);
      ASSERT_NE(sons, nullptr);
      for (int i = 0; i < obj_list_count(sons); ++i)
        got.push_back(val(static_cast<node_t*>(sons->elems[i])->osmident));
      EXPECT_EQ(got, expected);
      EXPECT_EQ(mnemo_of(val(way->feature)), kWayFeatures.at(r.id));
    }
  }
  EXPECT_EQ(nodes.size(), node_rows);
  EXPECT_EQ(ways.size(), way_rows);
  EXPECT_EQ(node_rows, 15u);
  EXPECT_EQ(way_rows, 7u);
  // One georeference, geographic WGS 84.
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_GEOREF), 1);
}

INSTANTIATE_TEST_SUITE_P(Versions, OsmFixtures, ::testing::Values("basic.osm", "basic05.osm"),
                         [](const auto& info) {
                           return std::string(info.param) == "basic.osm" ? std::string("v06")
                                                                         : std::string("v05");
                         });

// ---- Versions --------------------------------------------------------------------------------

struct version_case {
  const char* name;
  const char* version;
  int result;
};
class OsmVersions : public OsmFixture, public ::testing::WithParamInterface<version_case> {};

TEST_P(OsmVersions, OnlyTheTwoKnownVersionsAreRead) {
  const version_case& c = GetParam();
  const std::string doc = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<osm version=\"") +
                          c.version + "\" generator=\"x\">\n<node id=\"1\" lat=\"1\" lon=\"2\"/>\n</osm>\n";
  fileatt_t* f = nullptr;
  EXPECT_EQ(load(doc, &f), c.result);
  EXPECT_EQ(all_of<node_t>(f, CLS_NODE).size(), c.result == 0 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OsmVersions,
    ::testing::Values(version_case{"v05", "0.5", 0}, version_case{"v06", "0.6", 0},
                      version_case{"v04", "0.4", kOsmBadData},
                      version_case{"v07", "0.7", kOsmBadData},
                      version_case{"v10", "1.0", kOsmBadData},
                      version_case{"v06_suffix", "0.6.1", kOsmBadData},
                      version_case{"v05_prefix", "10.5", kOsmBadData},
                      version_case{"empty", "", kOsmBadData}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Reading details ---------------------------------------------------------------------------

TEST_F(OsmFixture, LonBeforeLatAndTagsOutsideTheirElementAreReadRightly) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("<osm version=\"0.6\">"
                 "<node lon=\"2.5\" id=\"7\" lat=\"48.25\"><tag v=\"Paris\" k=\"name\"/>"
                 "<tag k=\"unknownkey\" v=\"x\"/><tag k=\"natural\" v=\"peak\"/></node>"
                 "<tag k=\"name\" v=\"stray\"/>"
                 "<node id=\"8\" lat=\"1\" lon=\"1\"/><tag k=\"name\" v=\"after empty\"/>"
                 "<way id=\"9\"><nd ref=\"7\"/><nd ref=\"8\"/><nd ref=\"abc\"/>"
                 "<tag k=\"lanes\" v=\"4\"/></way><nd ref=\"7\"/>"
                 "<group><node id=\"10\" lat=\"3\" lon=\"3\"/></group></osm>",
                 &f),
            0);
  const auto nodes = all_of<node_t>(f, CLS_NODE);
  ASSERT_EQ(nodes.size(), 2u);  // the node inside another element is not one
  EXPECT_DOUBLE_EQ(val(nodes[0]->coords.x), 2.5);
  EXPECT_DOUBLE_EQ(val(nodes[0]->coords.y), 48.25);
  EXPECT_EQ(utf8(val(nodes[0]->name)), "Paris");  // v before k
  EXPECT_EQ(mnemo_of(val(nodes[0]->feature)), "PEAK");
  EXPECT_EQ(val(nodes[1]->name), nullptr);
  const auto ways = all_of<way_t>(f, CLS_WAY);
  ASSERT_EQ(ways.size(), 1u);
  EXPECT_EQ(obj_list_count(val(ways[0]->sons)), 2);
  EXPECT_EQ(val(ways[0]->lanes), 4);
}

TEST_F(OsmFixture, AWayWhoseNodesAreAllMissingEndsEmpty) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("<osm version=\"0.6\"><way id=\"1\"><nd ref=\"5\"/><nd ref=\"6\"/>"
                 "<tag k=\"highway\" v=\"primary\"/></way></osm>",
                 &f),
            0);
  const auto ways = all_of<way_t>(f, CLS_WAY);
  ASSERT_EQ(ways.size(), 1u);
  ASSERT_NE(val(ways[0]->sons), nullptr);
  EXPECT_EQ(obj_list_count(val(ways[0]->sons)), 0);
  // No way line is drawn from a way without nodes.
  EXPECT_TRUE(all_of<wayline_t>(f, CLS_WAYLINE).empty());
}

// ---- Cut short and hostile ---------------------------------------------------------------------

TEST_F(OsmFixture, AFileCutShortGivesTheCodeAndKeepsWhatWasRead) {
  const std::string doc = slurp_file(kDir + "basic.osm");
  const size_t end = doc.rfind("</osm>");
  ASSERT_NE(end, std::string::npos);
  // Cut in the middle of the ways: the nodes before the cut stay in the list.
  const size_t cut = doc.find("<way id=\"103\"");
  ASSERT_NE(cut, std::string::npos);
  fileatt_t* f = nullptr;
  EXPECT_EQ(load(doc.substr(0, cut + 10), &f, true), kOsmBadData);
  EXPECT_EQ(all_of<node_t>(f, CLS_NODE).size(), 15u);
  EXPECT_EQ(all_of<way_t>(f, CLS_WAY).size(), 4u);
  // Every cut before the end: the code, never anything worse; the whole file reads.
  for (size_t n = 0; n < doc.size(); n += 97) {
    const int r = load(doc.substr(0, n));
    // An empty file cannot be read (2); a cut before the "osm" element holds nothing.
    EXPECT_TRUE(r == kOsmBadData || (n == 0 && r == 2) || (n < 50 && r == 0)) << n << ": " << r;
  }
  EXPECT_EQ(load(doc.substr(0, end + 6)), 0);
}

TEST_F(OsmFixture, HostileDocumentsNeverCrash) {
  const std::vector<std::string> docs = {
      "",
      "<osm",
      "<osm version=\"0.6\">" + std::string(5000, '<') + "</osm>",
      "<osm version=\"0.6\">" + [] {
        std::string s;
        for (int i = 0; i < 200; ++i) s += "<node id=\"1\" lat=\"x\" lon=\"1e999\">";
        return s;
      }() + "</osm>",
      "<osm version=\"0.6\"><way id=\"1\">" + [] {
        std::string s;
        for (int i = 0; i < 5000; ++i) s += "<nd ref=\"99999999999999999999999\"/><nd ref=\"-1\"/>";
        return s;
      }() + "</way></osm>",
      "<osm version=\"0.6\"><node id=\"1\" lat=\"1\" lon=\"1\"><tag k=\"ele\" v=\"nan\"/>"
      "<tag k=\"lanes\" v=\"-5\"/><tag k=\"name\"/><tag v=\"only value\"/></node></osm>",
      "<osm version=\"0.6\"><node id=\"1\"><node id=\"2\"><tag k=\"name\" v=\"n\"/></node></node></osm>",
      std::string("<osm version=\"0.6\"><node id=\"1\" lat=\"1\" lon=\"1\"><tag k=\"name\" v=\"\xff\xfe\xc3\"/></node></osm>"),
  };
  for (const std::string& d : docs) {
    const int r = load(d);
    EXPECT_TRUE(r == 0 || r == kOsmBadData || (d.empty() && r == 2)) << d.substr(0, 60) << ": " << r;
  }
}

// ---- Folders and styles ------------------------------------------------------------------------

TEST_F(OsmFixture, FeaturesGoToDisplayFoldersUnderTheirMainTypesWithStyles) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(kDir + "basic.osm", &f), 0);
  folder_t* top = first_folder(f);
  ASSERT_NE(top, nullptr);
  std::map<std::string, folder_t*> mains;
  for (folder_t* d : sub_folders(top)) mains[folder_name(d)] = d;
  for (const char* key : {"natural", "place", "amenity", "highway", "shop", "building",
                          "waterway", "power"})
    EXPECT_TRUE(mains.count(key)) << key;
  EXPECT_EQ(mains.size(), 8u);
  // natural: the peak and the spring, each in the folder of its feature.
  std::map<std::string, folder_t*> shown;
  for (folder_t* d : sub_folders(mains["natural"])) shown[folder_name(d)] = d;
  ASSERT_TRUE(shown.count("Peak"));
  folder_t* peak = shown["Peak"];
  const auto peak_nodes = of_class<node_t>(val(peak->sot), CLS_NODE);
  ASSERT_EQ(peak_nodes.size(), 1u);
  EXPECT_EQ(utf8(val(peak_nodes[0]->name)), "Mont Blanc");
  EXPECT_EQ(val(peak->layer), kReprPointPriority);
  EXPECT_EQ(styles_in(val(peak->sot), CLS_DPOINT).size(), 1u);
  EXPECT_EQ(styles_in(val(peak->sot), CLS_DTEXT).size(), 1u);
  // highway: the primary road as a way line with a polyline style.
  shown.clear();
  for (folder_t* d : sub_folders(mains["highway"])) shown[folder_name(d)] = d;
  ASSERT_TRUE(shown.count("Primary road"));
  folder_t* primary = shown["Primary road"];
  EXPECT_EQ(val(primary->layer), kReprLinePriority);
  const auto lines = of_class<wayline_t>(val(primary->sot), CLS_WAYLINE);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(val(lines[0]->loicoord.count), 3);
  EXPECT_DOUBLE_EQ(val(lines[0]->loicoord.pts)[0], 5.733);
  EXPECT_EQ(utf8(val(lines[0]->label)), "Route des Alpes");
  EXPECT_NEAR(val(lines[0]->txtcoord.x), 5.734, 1e-12);
  EXPECT_EQ(styles_in(val(primary->sot), CLS_DPOLYCURVE).size(), 1u);
  EXPECT_TRUE(of_class<way_t>(val(primary->sot), CLS_WAY).empty());
  // The fuel icon representation: amenity=cafe is a symbol; none of the fixture's
  // features asks for an icon outside the table.
  EXPECT_EQ(all_of<wayline_t>(f, CLS_WAYLINE).size(), 5u);  // the ways with feature and nodes
}

// ---- Tables --------------------------------------------------------------------------------

TEST_F(OsmFixture, TheVocabulariesAndTheirFixedKeys) {
  EXPECT_EQ(osm_key_code("name"), kOsmKeyName);
  EXPECT_EQ(osm_key_code("ele"), kOsmKeyElevation);
  EXPECT_EQ(osm_key_code("ref"), kOsmKeyRef);
  EXPECT_EQ(osm_key_code("lanes"), kOsmKeyLanes);
  EXPECT_EQ(osm_key_code("no such key"), 0);
  const int highway = osm_key_code("highway");
  ASSERT_NE(highway, 0);
  EXPECT_STREQ(osm_key_name(highway), "highway");
  const int primary = osm_value_code("primary");
  ASSERT_NE(primary, 0);
  EXPECT_STREQ(osm_value_name(primary), "primary");
  feature_t* f = nullptr;
  ASSERT_NE(osm_feature_find(highway, primary, kEltWay, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "PRIMARY");
  EXPECT_EQ(osm_feature_find(highway, primary, kEltNode, &f), nullptr);
  feature_t* kw = nullptr;
  ASSERT_NE(osm_keyword_find(osm_key_code("building"), &kw), nullptr);
  EXPECT_EQ(val(kw->subtype), osm_value_code("yes"));
  char* text = nullptr;
  osm_feature_text("PEAK", &text);
  EXPECT_STREQ(text, "OSM\nnatural\npeak\nnode\nOSM\nnatural\nvolcano\nnode\n");
  free_mem(&text);
  repr_header_text(feature(1, 1, kEltNode, "RIVER"), &text);
  EXPECT_STREQ(text, "FORMAT\nMAIN TYPE\nSUBTYPE\nELEMENT TYPE\nOSM\nwaterway\nriver\nway\n");
  free_mem(&text);
}

TEST_F(OsmFixture, UserFeaturesAndKeysChangeTheClassificationAfterARebuild) {
  const int newkey = osm_key_add("piste:type");
  EXPECT_GT(newkey, 26);
  EXPECT_EQ(osm_key_add("piste:type"), newkey);
  EXPECT_EQ(osm_key_code("piste:type"), newkey);
  const int downhill = osm_value_add("downhill");
  EXPECT_GT(downhill, 0);
  EXPECT_STREQ(osm_value_name(downhill), "downhill");
  // A feature for the new key's value, and a changed feature.
  osm_feature_record(feature(newkey, downhill, kEltWay, "PATH", "Ski run"));
  const int highway = osm_key_code("highway");
  osm_feature_record(feature(highway, osm_value_code("primary"), kEltWay, "MOTORWAY", "Big road"));
  osm_keyword_record(highway, osm_value_code("road"));
  osm_tables_rebuild();
  // The new key got a keyword record, so that it selects features.
  feature_t* kw = nullptr;
  EXPECT_NE(osm_keyword_find(newkey, &kw), nullptr);
  feature_t* f = nullptr;
  ASSERT_NE(osm_feature_find(newkey, downhill, kEltWay, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "PATH");
  ASSERT_NE(osm_feature_find(highway, osm_value_code("primary"), kEltWay, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "MOTORWAY");
  fileatt_t* file = nullptr;
  ASSERT_EQ(load("<osm version=\"0.6\"><node id=\"1\" lat=\"1\" lon=\"1\"/>"
                 "<node id=\"2\" lat=\"2\" lon=\"2\"/>"
                 "<way id=\"3\"><nd ref=\"1\"/><nd ref=\"2\"/><tag k=\"piste:type\" v=\"downhill\"/></way>"
                 "<way id=\"4\"><nd ref=\"1\"/><nd ref=\"2\"/><tag k=\"highway\" v=\"primary\"/></way>"
                 "<way id=\"5\"><nd ref=\"1\"/><nd ref=\"2\"/><tag k=\"highway\" v=\"weird\"/></way>"
                 "</osm>",
                 &file),
            0);
  const auto ways = all_of<way_t>(file, CLS_WAY);
  ASSERT_EQ(ways.size(), 3u);
  EXPECT_EQ(mnemo_of(val(ways[0]->feature)), "PATH");
  EXPECT_EQ(mnemo_of(val(ways[1]->feature)), "MOTORWAY");
  EXPECT_EQ(mnemo_of(val(ways[2]->feature)), "ROAD");  // the key's new default value
}

// The user's keys, values, keyword records and features are saved tables: written at
// exit, read back by the next start.
TEST_F(OsmFixture, TheUserListsAreSavedAndReadBack) {
  const std::string user = dir_ + "/";
  ASSERT_EQ(osm_init_from(tm_test::kReprDataDir.c_str(), user.c_str()), 4);
  const int key = osm_key_add("seamark:type");
  const int value = osm_value_add("buoy_lateral");
  osm_keyword_record(key, value);
  osm_feature_record(feature(key, value, kEltNode, "INFO", "Buoy"));
  EXPECT_GE(savfile_queue_count(), 3);
  savfile_flush();
  osm_free();
  ASSERT_EQ(osm_init_from(tm_test::kReprDataDir.c_str(), user.c_str()), 4);
  EXPECT_EQ(osm_key_code("seamark:type"), key);
  EXPECT_EQ(osm_value_code("buoy_lateral"), value);
  feature_t* kw = nullptr;
  ASSERT_NE(osm_keyword_find(key, &kw), nullptr);
  EXPECT_EQ(val(kw->subtype), value);
  feature_t* f = nullptr;
  ASSERT_NE(osm_feature_find(key, value, kEltNode, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "INFO");
  // A node with the new tag is classified by it.
  fileatt_t* file = nullptr;
  ASSERT_EQ(load("<osm version=\"0.6\"><node id=\"1\" lat=\"1\" lon=\"1\">"
                 "<tag k=\"seamark:type\" v=\"anything\"/></node></osm>", &file), 0);
  const auto nodes = all_of<node_t>(file, CLS_NODE);
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(mnemo_of(val(nodes[0]->feature)), "INFO");  // by the key's default value
}

// The map features window rebuilds the tables on its thread while a load reads them: the
// features the load gave its elements stay valid.
TEST_F(OsmFixture, ARebuildWhileALoadRunsLeavesEveryFeatureValid) {
  std::string doc = "<osm version=\"0.6\">";
  for (int i = 1; i <= 3000; ++i)
    doc += "<node id=\"" + std::to_string(i) + "\" lat=\"1\" lon=\"1\"><tag k=\"natural\" v=\"peak\"/></node>";
  doc += "</osm>";
  const std::string path = put(doc);
  feature_t* user = feature(osm_key_code("natural"), osm_value_code("peak"), kEltNode, "SPRING", "Mine");
  std::atomic<bool> done{false};
  std::thread ui([&] {
    while (!done.load()) {
      osm_feature_record(user);
      osm_tables_rebuild();
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

}  // namespace

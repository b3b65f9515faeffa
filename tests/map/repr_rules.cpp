// The representation rules: the classes' copies and destructors, the tables loaded from
// the shipped "representation.xml", the user's scheme (what it adds, what it replaces,
// that it is saved and read back), the feature index helpers, the display folders of
// repr_apply and the styles of repr_render_calc with their scales.
#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "core/core_classes.h"
#include "core/index.h"
#include "map/draw_styles.h"
#include "map/repr_lists.h"
#include "tests/map/repr_fixture.h"

namespace {

using tm_test::ReprFixture;

class ReprRules : public ReprFixture {
 protected:
  void load_shipped() { ASSERT_EQ(repr_load_from((tm_test::kReprDataDir + kReprFileName).c_str()), 0); }

  // Runs the rendering calculation over `list` into the file's folder; the index is freed
  // at the end of the test.
  container_t* render(fileatt_t* f, container_t* features) {
    container_t* index = nullptr;
    EXPECT_EQ(repr_render_calc(val(f->sot), f, features, &index), 0);
    EXPECT_EQ(get_gblerr(), 0);
    indexes_.push_back(index);
    return index;
  }
  void TearDown() override {
    set_gblerr(0);
    for (container_t* i : indexes_) {
      obj_list_free_elements(i);
      free_obj(&i);
    }
    for (container_t* l : feature_lists_) free_obj(&l);
    ReprFixture::TearDown();
  }
  // A list of the fixture's features (freed without them).
  container_t* features_of(std::initializer_list<feature_t*> fs) {
    container_t* l = nullptr;
    obj_list_new(&l);
    for (feature_t* f : fs) obj_list_append(l, f);
    feature_lists_.push_back(l);
    return l;
  }
  std::vector<container_t*> feature_lists_;
  std::vector<container_t*> indexes_;
};

// ---- Classes ---------------------------------------------------------------------------

TEST_F(ReprRules, CopiesOwnTheirStringsAndARepresentationCopyLosesItsTree) {
  representation_t* r = representation("ROAD", 5, 2, 1, 0, 8, 2, kEltWay);
  obj_list_new(&r->sons);
  r->father = r;  // any father: the copy must not take it
  representation_t* c = nullptr;
  representation_create(nullptr, nullptr, &c);
  owned_.push_back(c);
  obj_copy(r, c);
  ASSERT_NE(val(c->mnemo), nullptr);
  EXPECT_NE(val(c->mnemo), val(r->mnemo));
  EXPECT_STREQ(val(c->mnemo), "ROAD");
  EXPECT_EQ(val(c->father), nullptr);
  EXPECT_EQ(val(c->sons), nullptr);
  EXPECT_EQ(val(c->thickmeter), 5);
  r->father = nullptr;

  feature_t* f = feature(1, 2, kEltNode, "PEAK", "Peak");
  feature_t* g = feature(0, 0, 0, nullptr, nullptr);
  obj_copy(f, g);
  EXPECT_NE(val(g->mnemo), val(f->mnemo));
  EXPECT_NE(val(g->name), val(f->name));
  EXPECT_STREQ(val(g->name), "Peak");
  EXPECT_EQ(val(g->elttype), kEltNode);

  // A way copy shares no node list; a way line copy has coordinates of its own.
  node_t* n = add_node(list_, 1, 2, nullptr, "n");
  way_t* w = add_way(list_, {n}, nullptr);
  obj_t* wc = nullptr;
  obj_new_in_list(list_, CLS_WAY, &wc);
  obj_copy(w, wc);
  EXPECT_EQ(val(static_cast<way_t*>(wc)->sons), nullptr);
  wayline_t* l = add_wayline(list_, {1, 2, 3, 4}, nullptr);
  obj_t* lc = nullptr;
  obj_new_in_list(list_, CLS_WAYLINE, &lc);
  obj_copy(l, lc);
  auto* lcopy = static_cast<wayline_t*>(lc);
  ASSERT_EQ(val(lcopy->loicoord.count), 2);
  EXPECT_NE(val(lcopy->loicoord.pts), val(l->loicoord.pts));
  EXPECT_EQ(val(lcopy->loicoord.pts)[3], 4.0);
}

// ---- Tables ---------------------------------------------------------------------------------

TEST_F(ReprRules, LoadsTheShippedRepresentationsIntoTheMnemonicIndex) {
  load_shipped();
  const int loaded = obj_list_count(repr_loaded_list());
  EXPECT_GT(loaded, 50);
  EXPECT_EQ(obj_list_count(repr_mnemo_index()), loaded);  // mnemonics are unique
  representation_t* r = nullptr;
  int pos = -2;
  repr_find_mnemo("MOTORWAY", &r, &pos);
  ASSERT_NE(r, nullptr);
  EXPECT_GE(pos, 0);
  EXPECT_EQ(val(r->feattype), kEltWay);
  EXPECT_EQ(val(r->colour), gps_rgb(220, 60, 60));
  EXPECT_EQ(val(r->thickmeter), 12);
  EXPECT_EQ(val(r->lanes), 2);
  // The index holds copies, never the loaded objects.
  for (int i = 0; i < loaded; ++i) EXPECT_NE(repr_loaded_list()->elems[i], r);
  repr_find_mnemo("FUEL", &r, nullptr);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(val(r->motiforsymb), -1);
  EXPECT_EQ(val(r->filloricon), 2);
  EXPECT_EQ(val(r->feattype), kEltNode);
  EXPECT_EQ(repr_find_mnemo("NO SUCH", &r, &pos), nullptr);
  EXPECT_EQ(pos, -1);
  EXPECT_EQ(repr_find_by_mnemo(nullptr, &r, &pos), nullptr);
  EXPECT_EQ(pos, -1);
}

// The shipped feature files name representations that exist, of their element's kind
// (points drawn by point representations, lines and areas by line ones).
TEST_F(ReprRules, EveryShippedFeatureNamesARepresentationOfItsKind) {
  load_shipped();
  struct data_file {
    const char* file;
    const char* list;
    int min_count;
  };
  for (const data_file& d : {data_file{"osmvfeat.xml", "posmvfeatsch", 200},
                             data_file{"pfmsfeat.xml", "pfmsfeat", 200}}) {
    SCOPED_TRACE(d.file);
    container_t* list = nullptr;
    ASSERT_EQ(repr_load_named_list((tm_test::kReprDataDir + d.file).c_str(), d.list, &list), 0);
    EXPECT_GE(obj_list_count(list), d.min_count);
    for (int i = 0; i < obj_list_count(list); ++i) {
      const auto* f = static_cast<const feature_t*>(list->elems[i]);
      ASSERT_EQ(val(f->cls), CLS_FEATURE);
      representation_t* r = nullptr;
      ASSERT_NE(repr_find_by_mnemo(f, &r, nullptr), nullptr) << val(f->mnemo);
      EXPECT_EQ(repr_elt_is_point(val(f->elttype)), val(r->feattype) == kEltNode) << val(f->mnemo);
      EXPECT_NE(val(f->name), nullptr);
    }
    obj_list_free_elements(list);
    free_obj(&list);
  }
  // The main types of the Polish map: one each, named.
  container_t* mains = nullptr;
  ASSERT_EQ(repr_load_named_list((tm_test::kReprDataDir + "pfmmfeat.xml").c_str(), "pfmmfeat", &mains), 0);
  EXPECT_GT(obj_list_count(mains), 50);
  std::set<int> types;
  for (int i = 0; i < obj_list_count(mains); ++i) {
    const auto* f = static_cast<const feature_t*>(mains->elems[i]);
    EXPECT_TRUE(types.insert(val(f->maintype)).second) << val(f->maintype);
    EXPECT_NE(val(f->name), nullptr);
  }
  obj_list_free_elements(mains);
  free_obj(&mains);
}

TEST_F(ReprRules, AMissingFileLeavesEmptyTablesThatStillWork) {
  const std::string dir = tm_test::fresh_dir("repr_missing");
  EXPECT_NE(repr_load_from((dir + "/representation.xml").c_str()), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(repr_loaded_list(), nullptr);
  ASSERT_NE(repr_mnemo_index(), nullptr);
  ASSERT_NE(repr_scheme(), nullptr);
  EXPECT_EQ(obj_list_count(repr_mnemo_index()), 0);
  representation_t* r = nullptr;
  EXPECT_EQ(repr_find_by_mnemo(feature(1, 1, kEltNode, "PEAK"), &r, nullptr), nullptr);
  // The user may still add representations.
  EXPECT_EQ(repr_add_representation(representation("NEW", 1, 1, 1, 0, 8, 1, kEltNode)), 1);
  EXPECT_NE(repr_find_mnemo("NEW", &r, nullptr), nullptr);
}

TEST_F(ReprRules, AFileWithoutTheNamedListIsRefused) {
  const std::string dir = tm_test::fresh_dir("repr_nolist");
  const std::string path = tm_test::write_file(
      dir + "/representation.xml",
      "<?xml version=\"1.0\"?>\n<tmobjnative>\n<representation id=\"RP1\" type=\"154\">"
      "<Fmnemo>A</Fmnemo></representation>\n<container id=\"LI2\" type=\"34\"><Fname>other"
      "</Fname><Fobjs><IDS>RP1</IDS></Fobjs></container>\n</tmobjnative>\n");
  EXPECT_EQ(repr_load_from(path.c_str()), 3);
  EXPECT_EQ(obj_list_count(repr_mnemo_index()), 0);
}

// Lists that hold lists: the list asked for keeps every list it holds (and what they
// hold), the other lists go without freeing what the kept one reaches, and a list that
// holds itself (directly or through another list) is refused as an invalid file. Every
// list returned is freed with its elements as its owners free it.
TEST_F(ReprRules, ListsHoldingListsAreKeptWholeOrRefusedWhenTheyHoldThemselves) {
  const std::string dir = TM_SOURCE_DIR "/tests/fixtures/objxml/";
  struct refused_case {
    const char* file;
    const char* list;
  };
  for (const refused_case& c : {refused_case{"self_list.xml", "x"}, refused_case{"ring_lists.xml", "x"},
                                refused_case{"ring_lists.xml", "y"}}) {
    SCOPED_TRACE(std::string(c.file) + " " + c.list);
    container_t* list = reinterpret_cast<container_t*>(1);
    EXPECT_EQ(repr_load_named_list((dir + c.file).c_str(), c.list, &list), ERR_BAD_FILE);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(get_gblerr(), 0);
  }
  // The asked list holds a feature twice and list y; z, another list, holds y as well.
  container_t* x = nullptr;
  ASSERT_EQ(repr_load_named_list((dir + "list_in_list.xml").c_str(), "x", &x), 0);
  ASSERT_EQ(obj_list_count(x), 3);
  ASSERT_EQ(val(x->elems[1]->cls), CLS_CONTAINER);
  const auto* y = reinterpret_cast<const container_t*>(x->elems[1]);
  ASSERT_EQ(obj_list_count(y), 2);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(val(y->elems[i]->cls), CLS_FEATURE);
    EXPECT_STREQ(val(static_cast<const feature_t*>(y->elems[i])->mnemo), i ? "C" : "B");
  }
  EXPECT_STREQ(val(static_cast<const feature_t*>(x->elems[0])->mnemo), "A");
  // Freed with everything it reaches, the nested list's elements included.
  repr_free_list_deep(&x);
  EXPECT_EQ(x, nullptr);
  // A list whose ids name objects loaded before the read: those stay with their owner,
  // and the returned list does not hold them.
  feature_t* before = feature(1, 2, kEltNode, "OWNED");
  ASSERT_GT(val(before->id), 0);
  const std::string id = std::to_string(val(before->id));
  const std::string path = tm_test::write_file(
      tm_test::fresh_dir("repr_foreign_ids") + "/lists.xml",
      "<tmobjnative><feature id=\"FE1000001\" type=\"153\"><Fmnemo>N</Fmnemo></feature>"
      "<container id=\"LI1000002\" type=\"34\"><Fname>x</Fname><Fobjs><IDS>FE1000001 FE" +
          id + "</IDS></Fobjs></container><container id=\"LI1000003\" type=\"34\"><Fname>o</Fname>"
          "<Fobjs><IDS>FE" + id + "</IDS></Fobjs></container></tmobjnative>");
  ASSERT_EQ(repr_load_named_list(path.c_str(), "x", &x), 0);
  ASSERT_EQ(obj_list_count(x), 1);
  EXPECT_STREQ(val(static_cast<const feature_t*>(x->elems[0])->mnemo), "N");
  obj_list_free_elements(x);
  free_obj(&x);
  EXPECT_STREQ(val(before->mnemo), "OWNED");
}

TEST_F(ReprRules, TheSchemeWinsOverTheFileAndAnIdenticalRepresentationIsNotAdded) {
  load_shipped();
  representation_t* known = nullptr;
  repr_find_mnemo("PRIMARY", &known, nullptr);
  ASSERT_NE(known, nullptr);
  // All compared fields equal: nothing added.
  representation_t* same = representation("PRIMARY", known->thickmeter, known->thickpixel,
                                          known->motiforsymb, known->filloricon, known->fontsz,
                                          known->lanes + 5, known->feattype, known->colour);
  EXPECT_EQ(repr_add_representation(same), 0);
  EXPECT_EQ(obj_list_count(repr_scheme()), 0);
  // A different colour: a new scheme element, and the index shows it.
  representation_t* changed = representation("PRIMARY", 9, 4, 1, 0, 10, 2, kEltWay, gps_rgb(1, 2, 3));
  EXPECT_EQ(repr_add_representation(changed), 1);
  EXPECT_EQ(obj_list_count(repr_scheme()), 1);
  representation_t* now = nullptr;
  repr_find_mnemo("PRIMARY", &now, nullptr);
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(val(now->colour), gps_rgb(1, 2, 3));
  EXPECT_EQ(val(now->thickmeter), 9);
  // Changing it again replaces the scheme's element: result 0, one element.
  changed->thickmeter = 11;
  EXPECT_EQ(repr_add_representation(changed), 0);
  EXPECT_EQ(obj_list_count(repr_scheme()), 1);
  repr_find_mnemo("PRIMARY", &now, nullptr);
  EXPECT_EQ(val(now->thickmeter), 11);
  // Rebuilding keeps the scheme's values.
  repr_rebuild_index();
  repr_find_mnemo("PRIMARY", &now, nullptr);
  EXPECT_EQ(val(now->thickmeter), 11);
}

TEST_F(ReprRules, TheSchemeIsSavedAndReadBackAtTheNextLoad) {
  const std::string dir = tm_test::fresh_dir("repr_scheme");
  std::filesystem::copy_file(tm_test::kReprDataDir + kReprFileName, dir + "/" + kReprFileName);
  const std::string path = dir + "/" + kReprFileName;
  ASSERT_EQ(repr_load_from(path.c_str()), 0);
  EXPECT_EQ(std::string(repr_scheme_path()), dir + "/prepressch.sot");
  EXPECT_EQ(repr_add_representation(representation("MINE", 7, 3, 2, -1, 12, 1, kEltNode)), 1);
  EXPECT_EQ(savfile_queue_count(), 1);
  savfile_flush();
  ASSERT_TRUE(std::filesystem::exists(dir + "/prepressch.sot"));
  repr_tables_free();
  ASSERT_EQ(repr_load_from(path.c_str()), 0);
  EXPECT_EQ(obj_list_count(repr_scheme()), 1);
  representation_t* r = nullptr;
  repr_find_mnemo("MINE", &r, nullptr);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(val(r->thickmeter), 7);
  EXPECT_EQ(val(r->fontsz), 12);
}

TEST_F(ReprRules, FeatureIndexesFindByMainTypeOrSubtypeAndElementType) {
  container_t* index = nullptr;
  feature_index_create(&index);
  repr_add_feature(index, feature(0x2f, 0x06, kEltPoi, "BANK", "Bank"));
  repr_add_feature(index, feature(0x2f, 0x01, kEltPoi, "FUEL", "Fuel"));
  repr_add_feature(index, feature(0x01, 0x00, kEltPolyline, "MOTORWAY", "Major"));
  repr_add_feature(index, feature(0x01, 0x00, kEltPolygon, "URBAN", "Urban"));
  EXPECT_EQ(obj_list_count(index), 4);
  // The same (type, subtype, element type) again replaces the entry's values.
  feature_t* entry = repr_add_feature(index, feature(0x2f, 0x06, kEltPoi, "CAFE", "Renamed"));
  EXPECT_EQ(obj_list_count(index), 4);
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(val(entry->mnemo), "CAFE");

  feature_t* f = nullptr;
  EXPECT_NE(feature_find_sub(index, 0x2f, 0x06, kEltPoi, &f), nullptr);
  EXPECT_STREQ(val(f->name), "Renamed");
  EXPECT_EQ(feature_find_sub(index, 0x2f, 0x06, kEltPolyline, &f), nullptr);
  EXPECT_EQ(f, nullptr);
  EXPECT_NE(feature_find_sub(index, 0x01, 0x00, kEltPolygon, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "URBAN");
  EXPECT_NE(feature_find_main(index, 0x01, 0x01, kEltPolyline, &f), nullptr);
  EXPECT_STREQ(val(f->mnemo), "MOTORWAY");
  EXPECT_EQ(feature_find_main(index, 0x30, 0x30, kEltPoi, &f), nullptr);
  obj_list_free_elements(index);
  free_obj(&index);
}

TEST_F(ReprRules, HeaderTextAppendsTheFormatsDescriptionsInOrder) {
  repr_set_describe_hook(kReprDescribeOsm, [](const char* m, char** t) {
    str_cat("OSM\nhighway\n", t);
    str_cat(m, t);
    str_cat("\n", t);
  });
  repr_set_describe_hook(kReprDescribePolish, [](const char* m, char** t) {
    str_cat("Polish format\n", t);
    str_cat(m, t);
    str_cat("\n", t);
  });
  char* text = nullptr;
  repr_header_text(representation("ROAD", 1, 1, 1, 0, 8, 1, kEltWay), &text);
  EXPECT_STREQ(text, "FORMAT\nMAIN TYPE\nSUBTYPE\nELEMENT TYPE\nOSM\nhighway\nROAD\n"
                     "Polish format\nROAD\n");
  repr_header_text(list_, &text);
  EXPECT_STREQ(text, "FORMAT\nMAIN TYPE\nSUBTYPE\nELEMENT TYPE\n");
  free_mem(&text);
}

// ---- Display folders ------------------------------------------------------------------------

TEST_F(ReprRules, ApplyMakesOneFolderPerFeatureWithThePriorityOfItsKind) {
  fileatt_t* file = new_file();
  folder_t* top = first_folder(file);
  container_t* index = nullptr;
  index_create(CLS_IDPAIR, AT_ID, int(offsetof(idpair_t, key)), &index);
  indexes_.push_back(index);
  feature_t* peak = feature(1, 1, kEltNode, "PEAK", "Peaks");
  feature_t* road = feature(2, 1, kEltPolyline, "ROAD", "Roads");
  feature_t* none = feature(3, 1, 0, "ROAD", "Ignored");
  node_t* n1 = add_node(file->sot, 1, 1, peak);
  node_t* n2 = add_node(file->sot, 2, 2, peak);
  folder_t* a = nullptr;
  folder_t* b = nullptr;
  repr_apply(index, peak, file, n1, &a);
  repr_apply(index, peak, file, n2, &b);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(val(a->layer), kReprPointPriority);
  EXPECT_EQ(folder_of(val(a->father)), top);
  EXPECT_EQ(folder_name(a), "Peaks");
  ASSERT_EQ(obj_list_count(val(a->sot)), 1);  // the object that made the folder
  EXPECT_EQ(val(a->sot->elems)[0], n1);
  folder_t* c = nullptr;
  repr_apply(index, road, top, nullptr, &c);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(val(c->layer), kReprLinePriority);
  EXPECT_EQ(repr_folder_of(index, road), c);
  folder_t* d = reinterpret_cast<folder_t*>(1);
  EXPECT_EQ(repr_apply(index, none, top, n1, &d), nullptr);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(obj_list_count(index), 2);
}

TEST_F(ReprRules, RenderSortsElementsAndLeavesThoseWithoutFeatureOut) {
  fileatt_t* file = new_file();
  add_georef(file->sot);
  representation("PT", 100, 8, 2, -1, 10, 1, kEltNode);
  feature_t* peak = feature(1, 1, kEltNode, "PT", "Peaks");
  feature_t* spring = feature(1, 2, kEltNode, "NOREPR", "Springs");
  node_t* a = add_node(file->sot, 1, 1, peak, "A");
  node_t* b = add_node(file->sot, 2, 2, spring, "B");
  node_t* loose = add_node(file->sot, 3, 3, nullptr, "C");
  container_t* index = render(file, features_of({peak, spring}));
  folder_t* fp = repr_folder_of(index, peak);
  folder_t* fs = repr_folder_of(index, spring);
  ASSERT_NE(fp, nullptr);
  ASSERT_NE(fs, nullptr);
  EXPECT_EQ(of_class<node_t>(val(fp->sot), CLS_NODE), std::vector<node_t*>{a});
  EXPECT_EQ(of_class<node_t>(val(fs->sot), CLS_NODE), std::vector<node_t*>{b});
  // Each display folder draws in the georeference of the file.
  EXPECT_EQ(obj_list_count_of_class(val(fp->sot), CLS_GEOREF), 1);
  for (folder_t* d : sub_folders(first_folder(file)))
    for (node_t* n : of_class<node_t>(d->sot, CLS_NODE)) EXPECT_NE(n, loose);
  // A feature without representation gets its folder, and no style.
  EXPECT_EQ(count_styles(val(fs->sot)), 0);
  // Without representation table at all, sorting still works.
  EXPECT_EQ(count_styles(val(fp->sot)), 0);
}

// The shared icon and symbol cases: a point representation asking for an icon.
struct icon_case {
  const char* name;
  int filloricon;
  bool icon;  // an icon style in a sub-folder, else a symbol style
};
class ReprIcons : public ReprRules, public ::testing::WithParamInterface<icon_case> {};

TEST_P(ReprIcons, AnIconInsideTheTableIsDrawnAsIconElseAsSymbol) {
  const icon_case& c = GetParam();
  ASSERT_EQ(repr_load_from("/nonexistent/representation.xml") != 0, true);
  EXPECT_EQ(repr_add_representation(representation("ICON", 160, 10, -1, c.filloricon, 10, 1,
                                                    kEltNode)), 1);
  fileatt_t* file = new_file();
  add_georef(file->sot);
  feature_t* f = feature(1, 1, kEltNode, "ICON", "Icons");
  add_node(file->sot, 1, 1, f, "A");
  container_t* index = render(file, features_of({f}));
  folder_t* d = repr_folder_of(index, f);
  ASSERT_NE(d, nullptr);
  const auto subs = sub_folders(d);
  if (c.icon) {
    ASSERT_EQ(subs.size(), 1u);
    EXPECT_EQ(subs[0]->layer, kReprPointPriority);
    const auto icons = styles_in(subs[0]->sot, CLS_DIMAGE);
    ASSERT_EQ(icons.size(), 1u);
    const auto* s = static_cast<const dimage_t*>(icons[0]);
    EXPECT_EQ(val(s->contsrc), val(d->sot));  // it draws the folder's nodes
    EXPECT_EQ(val(s->typesrc), CLS_NODE);
    EXPECT_NE(val(s->vimg), nullptr);
    EXPECT_NE(val(s->vimg), reinterpret_cast<obj_t*>(gpsobj_get_icon(c.filloricon, nullptr)));  // a copy
    EXPECT_DOUBLE_EQ(val(s->vscale), 1.0);
    EXPECT_DOUBLE_EQ(val(s->meterpixsize), 160 * 0.0625);
    EXPECT_TRUE(styles_in(val(d->sot), CLS_DPOINT).empty());
  } else {
    EXPECT_TRUE(subs.empty());
    const auto symbols = styles_in(d->sot, CLS_DPOINT);
    ASSERT_EQ(symbols.size(), 1u);
    EXPECT_EQ(val(static_cast<const dpoint_t*>(symbols[0])->vshape), -1);
  }
  EXPECT_EQ(styles_in(val(d->sot), CLS_DTEXT).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReprIcons,
    ::testing::Values(icon_case{"first", 0, true}, icon_case{"last", 60, true},
                      icon_case{"past_the_table", 61, false},
                      icon_case{"far_past", 100000, false},
                      icon_case{"negative", -1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReprRules, StylesCarryTheRepresentationsValuesAndScales) {
  repr_load_from("/nonexistent/representation.xml");
  repr_add_representation(representation("SYM", 100, 9, 3, -1, 20, 2, kEltNode, gps_rgb(1, 1, 1)));
  repr_add_representation(representation("WAY", 12, 4, 9, 7, 10, 3, kEltWay, gps_rgb(2, 2, 2)));
  repr_add_representation(representation("LINE", 6, 0, 8, 1, 0, 2, kEltWay, gps_rgb(3, 3, 3)));
  fileatt_t* file = new_file();
  add_georef(file->sot);
  feature_t* fsym = feature(1, 1, kEltNode, "SYM", "Symbols");
  feature_t* fway = feature(2, 1, kEltWay, "WAY", "Ways");
  feature_t* fline = feature(3, 1, kEltPolyline, "LINE", "Lines");
  node_t* n1 = add_node(file->sot, 0, 0, fsym, "N");
  node_t* n2 = add_node(file->sot, 2, 4, nullptr);
  way_t* own_lanes = add_way(file->sot, {n1, n2}, fway, 5);
  way_t* no_lanes = add_way(file->sot, {n2, n1}, fway, 0);
  way_t* empty = add_way(file->sot, {}, fway, 1);
  add_wayline(file->sot, {0, 0, 1, 1}, fline);
  container_t* index = render(file, features_of({fsym, fway, fline}));

  folder_t* dsym = repr_folder_of(index, fsym);
  ASSERT_NE(dsym, nullptr);
  auto points = styles_in(dsym->sot, CLS_DPOINT);
  ASSERT_EQ(points.size(), 1u);
  const auto* p = static_cast<const dpoint_t*>(points[0]);
  EXPECT_EQ(val(p->vcolour), gps_rgb(1, 1, 1));
  EXPECT_EQ(val(p->vthickness), 4);  // 9 / 2
  EXPECT_EQ(val(p->vshape), 3);
  EXPECT_EQ(val(p->vmotif), 0);
  EXPECT_EQ(val(p->pptcoord), kPointCoordsOffset);
  EXPECT_DOUBLE_EQ(val(p->meterpixsize), 100.0 / 4.0);
  auto texts = styles_in(dsym->sot, CLS_DTEXT);
  ASSERT_EQ(texts.size(), 1u);
  const auto* t = static_cast<const dtext_t*>(texts[0]);
  EXPECT_EQ(val(t->pstring), int(offsetof(node_t, name)));
  EXPECT_EQ(val(t->vsize), 20);
  EXPECT_EQ(val(t->vthickness), 3);
  EXPECT_EQ(val(t->vpixy.x), 10);
  EXPECT_DOUBLE_EQ(val(t->meterpixsize), 100.0 / (20 * 50.0));

  folder_t* dway = repr_folder_of(index, fway);
  ASSERT_NE(dway, nullptr);
  auto segs = styles_in(dway->sot, CLS_DSEGPOINT);
  ASSERT_EQ(segs.size(), 2u);  // one per way with nodes
  for (obj_t* o : segs) {
    const auto* s = static_cast<const dsegpoint_t*>(o);
    EXPECT_EQ(val(s->typesrc), CLS_NODE);
    EXPECT_EQ(val(s->vlinkthick), 4);
    EXPECT_EQ(val(s->vlinkmotif), 9);
    EXPECT_EQ(val(s->vmotif), 7);
    EXPECT_EQ(val(s->vthickness), 1);
    if (s->contsrc == own_lanes->sons) EXPECT_DOUBLE_EQ(val(s->meterpixsize), 12.0 * 5 / 4);
    else if (s->contsrc == no_lanes->sons) EXPECT_DOUBLE_EQ(val(s->meterpixsize), 12.0 * 3 / 4);  // R.lanes
    else ADD_FAILURE() << "a style over another list";
  }
  // Every way's label sits at the centroid of its nodes.
  EXPECT_DOUBLE_EQ(val(own_lanes->txtcoord.x), 1.0);
  EXPECT_DOUBLE_EQ(val(own_lanes->txtcoord.y), 2.0);
  EXPECT_DOUBLE_EQ(val(empty->txtcoord.x), 0.0);
  auto way_texts = styles_in(dway->sot, CLS_DTEXT);
  ASSERT_EQ(way_texts.size(), 1u);
  EXPECT_EQ(val(static_cast<const dtext_t*>(way_texts[0])->pstring), int(offsetof(way_t, label)));
  EXPECT_DOUBLE_EQ(val(static_cast<const dtext_t*>(way_texts[0])->meterpixsize), 3.0 * 12 / 10);

  folder_t* dline = repr_folder_of(index, fline);
  ASSERT_NE(dline, nullptr);
  auto curves = styles_in(dline->sot, CLS_DPOLYCURVE);
  ASSERT_EQ(curves.size(), 1u);
  const auto* c = static_cast<const dpolycurve_t*>(curves[0]);
  EXPECT_EQ(val(c->plcoord), int(offsetof(wayline_t, loicoord)));
  EXPECT_EQ(val(c->vedgemotif), 8);
  EXPECT_EQ(val(c->vfillmotif), 1);
  EXPECT_EQ(val(c->vthickness), 0);
  EXPECT_DOUBLE_EQ(val(c->meterpixsize), 2.0 * 6 / 1);  // max(1, 0) guards the divisor
  auto line_texts = styles_in(dline->sot, CLS_DTEXT);
  ASSERT_EQ(line_texts.size(), 1u);
  EXPECT_DOUBLE_EQ(val(static_cast<const dtext_t*>(line_texts[0])->meterpixsize), 2.0 * 6 / 1);
}

TEST_F(ReprRules, ASetErrorStopsTheStyleLoops) {
  repr_load_from("/nonexistent/representation.xml");
  repr_add_representation(representation("SYM", 100, 9, 3, -1, 20, 2, kEltNode));
  fileatt_t* file = new_file();
  feature_t* f = feature(1, 1, kEltNode, "SYM", "Symbols");
  add_node(file->sot, 0, 0, f);
  set_gblerr(14);
  container_t* index = nullptr;
  EXPECT_EQ(repr_render_calc(val(file->sot), file, features_of({f}), &index), -1);
  EXPECT_EQ(get_gblerr(), 14);
  set_gblerr(0);
  EXPECT_EQ(repr_folder_of(index, f), nullptr);
  indexes_.push_back(index);
}

}  // namespace

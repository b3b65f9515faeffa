// The "Find place name" window driven as a user would, over layers built in the test:
// whole-name matches blind to case and accents and the star's partial matches, the
// categories and "All", the cap of 1000 rows in index order, sorting by a column header
// in alternate directions, Localize centring the map without changing the scale (and
// refusing an object a reload freed), Close and the frame's menus, pictures in both
// languages; and GeoNames answers fetched over HTTP, read and then found by the search.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/http.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/socket.h"
#include "core/wstring.h"
#include "formats/geonames.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/print.h"
#include "map/quadtree.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/menu.h"
#include "shell/place_window.h"
#include "tests/map/map_model_fixture.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_views.h"
#include "tests/support/http_server.h"
#include "tests/support/test_env.h"

namespace frame_test {
namespace {

// A street-map node as the search reads it: its name at attribute 6, its ref at 7.
constexpr int kNodeClass = 150;
const attr_desc kNodeAttrs[] = {{"id", AT_ID},        {"type", AT_INT},       {"a", AT_INT},
                                {"b", AT_INT},        {"c", AT_INT},          {"d", AT_INT},
                                {"name", AT_WSTRING}, {"ref", AT_WSTRING}};
const objdesc kNodeDesc = {"node", 8, kNodeAttrs};

// One row of the result list: its text, its type and its data word.
struct row {
  std::string text, type;
  intptr_t data;
};

std::string narrow(const std::u16string& w) {
  char* s = nullptr;
  wstr_to_utf8(w.c_str(), &s);
  std::string out = s ? s : "";
  free_mem(&s);
  return out;
}

class PlaceWindow : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    create_ui_font();  // as start-up does: the window's controls take the dialog font
    register_gps_classes();
    obj_register_class(kNodeClass, 0, &kNodeDesc);
    register_drawing();
    ASSERT_EQ(get_gblerr(), 0);
  }
  void TearDown() override {
    if (plat::Wnd w = placedlg_window()) plat::destroy_window(w);
    FrameFixture::TearDown();
    for (folder_t* f : folders_) tm_test::free_point_folder(f);
  }

  // A layer of the current graph space showing the objects `fill` makes in its list
  // (and a style that draws its waypoints).
  template <class Fill> container_t* layer(Fill fill) {
    container_t* list = nullptr;
    obj_list_new(&list);
    fill(list);
    tm_test::make_point_style(list);
    folder_t* f = nullptr;
    folder_get_or_create(nullptr, list, 0, &f);
    folders_.push_back(f);
    EXPECT_EQ(graphspace_add_file(get_current_graphspace(), f, &counter_), 1);
    return list;
  }
  static waypoint_t* waypoint(container_t* list, const char16_t* name, const char16_t* comment = nullptr,
                              double x = 0, double y = 0) {
    waypoint_t* w = nullptr;
    waypoint_create(x, y, name, comment, 1, 0, 0, 0.0, list, &w);
    return w;
  }
  static obj_t* node(container_t* list, const char16_t* name) {
    obj_t* o = nullptr;
    obj_new(0, kNodeClass, &o);
    int offset = 0;
    obj_attr_info(kNodeClass, 6, nullptr, &offset, nullptr);
    field_store(o, offset, name);  // a borrowed literal: the class frees nothing
    obj_list_append(list, o);
    return o;
  }
  static poi_t* poi(container_t* list, const char* name) {
    obj_t* o = nullptr;
    gpsobj_new_point(CLS_POI, list, &o);
    auto* p = static_cast<poi_t*>(o);
    utf8_to_wcs(name, &p->name);
    return p;
  }

  plat::Wnd open() {
    command(IDM_FIND_PLACE);
    plat::Wnd w = placedlg_window();
    EXPECT_NE(w, nullptr);
    return w;
  }
  static plat::Wnd item(plat::Wnd w, int id) { return tm_test::dlg_control(w, id); }
  static bool enabled(plat::Wnd w, int id) { return plat::is_window_enabled(item(w, id)); }
  static bool is_checked(plat::Wnd w, int id) {
    return plat::send_message(item(w, id), plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED;
  }
  static void click(plat::Wnd w, int id) {
    ASSERT_TRUE(tm_test::click_control(w, id));
    tm_test::run_until_idle();
  }
  static void search(plat::Wnd w, const char* text) {
    ASSERT_TRUE(tm_test::type_into(w, IDC_PLACE_EDIT, text));
    tm_test::run_until_idle();
    click(w, IDC_PLACE_FIND);
  }
  static std::vector<row> rows(plat::Wnd w) {
    plat::Wnd lv = item(w, IDC_PLACE_LIST);
    std::vector<row> out;
    const int n = int(plat::send_message(lv, plat::LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      row r;
      for (int column = 0; column < 2; ++column) {
        char16_t buf[256] = {};
        plat::LvItem it;
        it.sub_item = column;
        it.text = buf;
        it.text_max = 256;
        plat::send_message(lv, plat::LVM_GETITEMTEXT, plat::WParam(i), plat::LParam(&it));
        (column == 0 ? r.text : r.type) = narrow(buf);
      }
      plat::LvItem it;
      it.mask = plat::LVIF_PARAM;
      it.item = i;
      plat::send_message(lv, plat::LVM_GETITEM, 0, plat::LParam(&it));
      r.data = intptr_t(it.param);
      out.push_back(r);
    }
    return out;
  }
  static std::vector<std::string> texts(plat::Wnd w, int column = 0) {
    std::vector<std::string> out;
    for (const row& r : rows(w)) out.push_back(column == 0 ? r.text : r.type);
    return out;
  }
  bool menus_greyed() {
    const unsigned state = plat::get_menu_state(main_menu(), 0, plat::MF_BYPOSITION);
    return (state & plat::MF_GRAYED) != 0 && !plat::is_window_enabled(main_toolbar());
  }

  std::vector<folder_t*> folders_;
  int counter_ = 0;
};

// ---- Matching ---------------------------------------------------------------------------

TEST_F(PlaceWindow, PatternsMatchWholeTextsBlindToCaseAndAccents) {
  layer([](container_t* l) {
    waypoint(l, u"Paris");
    waypoint(l, u"PARIS");
    waypoint(l, u"P\u00E2ris");
    waypoint(l, u"Parisot");
    waypoint(l, u"Gare", u"paris");  // found by its comment, which the row shows
    waypoint(l, u"Saint-Denis");
    waypoint(l, u"");                // a name set, even empty, matches a lone star
    waypoint(l, nullptr);            // neither name nor comment: never listed
  });
  plat::Wnd w = open();
  struct Case {
    const char* pattern;
    std::vector<std::string> found;
  };
  const std::vector<std::string> all = {"Paris", "PARIS", "P\xC3\xA2ris", "Parisot", "Gare", "Saint-Denis", ""};
  const Case cases[] = {
      {"paris", {"Paris", "PARIS", "P\xC3\xA2ris", "paris"}},
      {"P\xC3\x80RIS", {"Paris", "PARIS", "P\xC3\xA2ris", "paris"}},
      {"paris*", {"Paris", "PARIS", "P\xC3\xA2ris", "Parisot", "paris"}},
      {"*den*", {"Saint-Denis"}},
      {"saint*", {"Saint-Denis"}},
      {"*", all},
      {"**", all},
      {"lyon", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    search(w, c.pattern);
    EXPECT_EQ(texts(w), c.found);
  }
  for (const row& r : rows(w)) EXPECT_EQ(r.type, "waypoint");
}

TEST_F(PlaceWindow, CategoriesChooseTheClassesSearched) {
  layer([](container_t* l) {
    node(l, u"Paris");
    waypoint(l, u"Paris");
    poi(l, "Paris");
  });
  plat::Wnd w = open();
  for (int id : {IDC_PLACE_MAP, IDC_PLACE_GPS, IDC_PLACE_GRAPHIC, IDC_PLACE_ALL}) EXPECT_TRUE(is_checked(w, id));
  search(w, "paris");
  EXPECT_EQ(texts(w, 1), (std::vector<std::string>{"node", "waypoint", "poi"}));
  // Only GPS data: the street-map node and the point of interest are not listed.
  click(w, IDC_PLACE_MAP);
  EXPECT_FALSE(is_checked(w, IDC_PLACE_ALL));
  click(w, IDC_PLACE_GRAPHIC);
  click(w, IDC_PLACE_FIND);
  EXPECT_EQ(texts(w, 1), (std::vector<std::string>{"waypoint"}));
  // No category: Find is off. "All" checks them all again.
  click(w, IDC_PLACE_GPS);
  EXPECT_FALSE(enabled(w, IDC_PLACE_FIND));
  click(w, IDC_PLACE_ALL);
  for (int id : {IDC_PLACE_MAP, IDC_PLACE_GPS, IDC_PLACE_GRAPHIC}) EXPECT_TRUE(is_checked(w, id));
  EXPECT_TRUE(enabled(w, IDC_PLACE_FIND));
  click(w, IDC_PLACE_FIND);
  EXPECT_EQ(rows(w).size(), 3u);
}

TEST_F(PlaceWindow, FindAndLocalizeAreEnabledByWhatTheyNeed) {
  layer([](container_t* l) { waypoint(l, u"Lyon"); });
  plat::Wnd w = open();
  EXPECT_EQ(tm_test::focused_control_id(), IDC_PLACE_EDIT);
  EXPECT_FALSE(enabled(w, IDC_PLACE_FIND));
  EXPECT_FALSE(enabled(w, IDC_PLACE_LOCALIZE));
  ASSERT_TRUE(tm_test::type_into(w, IDC_PLACE_EDIT, "l"));
  tm_test::run_until_idle();
  EXPECT_TRUE(enabled(w, IDC_PLACE_FIND));
  ASSERT_TRUE(tm_test::type_into(w, IDC_PLACE_EDIT, ""));
  tm_test::press_key(plat::VK_BACK);
  tm_test::run_until_idle();
  EXPECT_FALSE(enabled(w, IDC_PLACE_FIND));
  search(w, "lyon");
  EXPECT_FALSE(enabled(w, IDC_PLACE_LOCALIZE));
  ASSERT_TRUE(tm_test::click_list_item(item(w, IDC_PLACE_LIST), 0));
  tm_test::run_until_idle();
  EXPECT_TRUE(enabled(w, IDC_PLACE_LOCALIZE));
  click(w, IDC_PLACE_LOCALIZE);
  EXPECT_FALSE(enabled(w, IDC_PLACE_LOCALIZE));
}

TEST_F(PlaceWindow, AtMostAThousandRowsInIndexOrder) {
  auto fill = [](int from, int to) {
    return [from, to](container_t* l) {
      for (int i = from; i < to; ++i) {
        char16_t name[8] = {u'W'};
        const std::string digits = std::to_string(10000 + i).substr(1);
        for (size_t k = 0; k < digits.size(); ++k) name[1 + k] = char16_t(digits[k]);
        waypoint(l, name);
      }
    };
  };
  layer(fill(0, 700));
  layer(fill(700, 1500));
  plat::Wnd w = open();
  search(w, "w*");
  const std::vector<row> got = rows(w);
  ASSERT_EQ(got.size(), size_t(kPlaceMaxRows));
  EXPECT_EQ(got.front().text, "W0000");
  EXPECT_EQ(got.back().text, "W0999");
  for (size_t i = 1; i < got.size(); ++i) {
    EXPECT_LT(got[i - 1].text, got[i].text);
    EXPECT_LT(got[i - 1].data, got[i].data);
  }
}

TEST_F(PlaceWindow, HeaderClicksSortAscendingThenDescending) {
  layer([](container_t* l) {
    poi(l, "b");
    waypoint(l, u"C");
    node(l, u"a");
  });
  plat::Wnd w = open();
  search(w, "*");
  plat::Wnd lv = item(w, IDC_PLACE_LIST);
  ASSERT_EQ(texts(w), (std::vector<std::string>{"b", "C", "a"}));
  struct Click {
    int column;
    std::vector<std::string> names, types;
  };
  const Click clicks[] = {
      {1, {"a", "b", "C"}, {"node", "poi", "waypoint"}},
      {1, {"C", "b", "a"}, {"waypoint", "poi", "node"}},
      {0, {"a", "b", "C"}, {"node", "poi", "waypoint"}},
      {0, {"C", "b", "a"}, {"waypoint", "poi", "node"}},
      {1, {"a", "b", "C"}, {"node", "poi", "waypoint"}},
  };
  for (const Click& c : clicks) {
    ASSERT_TRUE(tm_test::click_list_header(lv, c.column));
    tm_test::run_until_idle();
    EXPECT_EQ(texts(w), c.names);
    EXPECT_EQ(texts(w, 1), c.types);
  }
}

// Every search builds a new index: the window can search for as long as it is used.
TEST_F(PlaceWindow, SearchesDoNotWearOutTheIndex) {
  layer([](container_t* l) { waypoint(l, u"Lyon"); });
  plat::Wnd w = open();
  search(w, "lyon");
  for (int i = 0; i < kUserClassSlots + 10; ++i) placedlg_search();
  EXPECT_EQ(texts(w), (std::vector<std::string>{"Lyon"}));
}

// ---- Localize -----------------------------------------------------------------------------

TEST_F(PlaceWindow, LocalizeCentresOnTheObjectAndKeepsTheScale) {
  show_data_in_the_middle();
  layer([](container_t* l) {
    waypoint(l, u"Nantes", nullptr, 2000, 3000);
    waypoint(l, u"Brest", nullptr, 7000, 6000);
  });
  map_object_->map = screen_mapping{-5000.0, -5000.0, 0.5, 0.5};
  plat::Wnd w = open();
  search(w, "brest");
  ASSERT_EQ(rows(w).size(), 1u);
  ASSERT_TRUE(tm_test::click_list_item(item(w, IDC_PLACE_LIST), 0));
  tm_test::run_until_idle();
  clear_seen();
  click(w, IDC_PLACE_LOCALIZE);
  mapwin_apply_scroll(map_object_);
  const screen_mapping m = map_object_->map;
  EXPECT_DOUBLE_EQ(m.scale_x, 0.5);
  EXPECT_DOUBLE_EQ(m.scale_y, 0.5);
  EXPECT_NEAR(map_object_->width * 0.5 / m.scale_x - m.origin_x, 7000, 1.0 / m.scale_x);
  EXPECT_NEAR(map_object_->height * 0.5 / m.scale_y - m.origin_y, 6000, 1.0 / m.scale_y);
  EXPECT_GE(redraws(), 1);
  // A double click on a row locates it too.
  search(w, "nantes");
  ASSERT_TRUE(tm_test::double_click_list_item(item(w, IDC_PLACE_LIST), 0));
  tm_test::run_until_idle();
  mapwin_apply_scroll(map_object_);
  const screen_mapping n = map_object_->map;
  EXPECT_DOUBLE_EQ(n.scale_x, 0.5);
  EXPECT_NEAR(map_object_->width * 0.5 / n.scale_x - n.origin_x, 2000, 1.0 / n.scale_x);
}

// A reload frees the objects a search listed and makes new ones: the row's object is
// looked for again by its id, and one that is gone is not located.
TEST_F(PlaceWindow, LocalizeRefusesAnObjectFreedSinceTheSearch) {
  show_data_in_the_middle();
  container_t* list = layer([](container_t* l) { waypoint(l, u"Brest", nullptr, 7000, 6000); });
  plat::Wnd w = open();
  search(w, "brest");
  ASSERT_TRUE(tm_test::click_list_item(item(w, IDC_PLACE_LIST), 0));
  tm_test::run_until_idle();
  // What a reload does to the layer: the old object freed, a new one read in its place.
  obj_t* old = nullptr;
  obj_list_first_of_class(list, CLS_WAYPOINT, &old);
  ASSERT_NE(old, nullptr);
  graphspace_remove_object(get_current_graphspace(), old);
  for (int i = 0; i < obj_list_count(list); ++i)
    if (list->elems[i] == old) obj_list_remove_at(list, i);
  free_obj(&old);
  waypoint(list, u"Brest", nullptr, 100, 100);
  layer_t* shown = nullptr;
  mapwin_find_layer(get_current_graphspace(), folders_.back(), &shown);
  ASSERT_NE(shown, nullptr);
  graphspace_update_layer(get_current_graphspace(), shown, 1);
  const screen_mapping before = map_object_->map;
  tm_test::answer_next_message_box(plat::IDOK);
  click(w, IDC_PLACE_LOCALIZE);
  mapwin_apply_scroll(map_object_);
  const screen_mapping after = map_object_->map;
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_FALSE(enabled(w, IDC_PLACE_LOCALIZE));
  // A new search finds the new object, and that one is located.
  search(w, "brest");
  ASSERT_TRUE(tm_test::double_click_list_item(item(w, IDC_PLACE_LIST), 0));
  tm_test::run_until_idle();
  mapwin_apply_scroll(map_object_);
  const screen_mapping m = map_object_->map;
  EXPECT_NEAR(map_object_->width * 0.5 / m.scale_x - m.origin_x, 100, 1.0 / m.scale_x);
}

// ---- Opening and closing ------------------------------------------------------------------

TEST_F(PlaceWindow, MenusAreOffWhileTheWindowIsOpen) {
  for (bool by_button : {true, false}) {
    SCOPED_TRACE(by_button ? "Close" : "frame");
    plat::Wnd w = open();
    EXPECT_TRUE(menus_greyed());
    command(IDM_FIND_PLACE);  // one window at a time
    EXPECT_EQ(placedlg_window(), w);
    if (by_button)
      click(w, IDC_PLACE_CLOSE);
    else
      plat::post_message(w, plat::WM_CLOSE, 0, 0), tm_test::run_until_idle();
    EXPECT_EQ(placedlg_window(), nullptr);
    EXPECT_FALSE(plat::is_window(w));
    EXPECT_FALSE(menus_greyed());
  }
}

class PlaceWindowPicture : public PlaceWindow, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override { SetUpIn(GetParam()); }
};

TEST_P(PlaceWindowPicture, LaidOutAndPictured) {
  layer([](container_t* l) {
    waypoint(l, u"Saint-\u00C9tienne");
    poi(l, "Saint-Malo");
  });
  plat::Wnd w = open();
  const bool french = std::strcmp(GetParam(), "FRANCAIS") == 0;
  EXPECT_EQ(plat::window_text(w), french ? "Recherche d'un nom de lieu" : "Find place name");
  EXPECT_EQ(plat::window_text(item(w, IDC_PLACE_LOCALIZE)), french ? "Localiser" : "Localize");
  plat::Rect client;
  plat::get_client_rect(w, &client);
  EXPECT_EQ(client.width(), 536);
  EXPECT_EQ(client.height(), 380);
  EXPECT_THAT(tm_test::dialog_layout_faults(w), ::testing::IsEmpty());
  search(w, "saint*");
  EXPECT_EQ(rows(w).size(), 2u);
  const std::string dir = tm_test::fresh_dir((std::string("place_window_") + GetParam()).c_str());
  EXPECT_TRUE(tm_test::dialog_picture(w, dir + "/place.png"));
}

INSTANTIATE_TEST_SUITE_P(Languages, PlaceWindowPicture, ::testing::Values("ENGLISH", "FRANCAIS"),
                         [](const ::testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

// ---- GeoNames results found by the search --------------------------------------------------

class PlaceWindowGeonames : public PlaceWindow {
 protected:
  void SetUp() override {
    PlaceWindow::SetUp();
    socket_register_type();
    http_failures_reset();
    geonames_register_vocab();
  }
  void TearDown() override {
    server_.stop();
    PlaceWindow::TearDown();
    for (fileatt_t*& f : files_) free_obj(&f);
  }
  tm_test::http_server server_;
  std::vector<fileatt_t*> files_;
};

TEST_F(PlaceWindowGeonames, FetchedPlacesAreFoundAndLocated) {
  server_.queue(tm_test::http_server::reply(
      "200 OK", "Content-Type: text/xml\r\n",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<geonames><totalResultsCount>2</totalResultsCount>"
      "<geoname><name>P\xC3\xA2ris</name><lat>48.85341</lat><lng>2.3488</lng>"
      "<population>2138551</population></geoname>"
      "<geoname><name>Paris</name><lat>33.66094</lat><lng>-95.55551</lng><elevation>182</elevation>"
      "</geoname></geonames>\n"));
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, ("http://" + server_.authority() + "/search").c_str(), 0, 0, &f);
  ASSERT_NE(f, nullptr);
  files_.push_back(f);
  container_t* content = nullptr;
  obj_list_new(&content);
  f->sot = content;
  folder_t* folder = nullptr;
  folder_get_or_create(f, content, 0, &folder);
  ASSERT_EQ(http_get(f, nullptr, 0), 0);
  ASSERT_EQ(read_geonames_xml(f, folder), 0);
  EXPECT_EQ(graphspace_add_file(get_current_graphspace(), folder, &counter_), 1);

  plat::Wnd w = open();
  search(w, "PARIS");
  ASSERT_EQ(texts(w), (std::vector<std::string>{"P\xC3\xA2ris", "Paris"}));
  EXPECT_EQ(texts(w, 1), (std::vector<std::string>{"poi", "poi"}));
  // The population is the comment: found by it, the row shows it.
  search(w, "2138*");
  EXPECT_EQ(texts(w), (std::vector<std::string>{"2138551"}));
  ASSERT_TRUE(tm_test::click_list_item(item(w, IDC_PLACE_LIST), 0));
  tm_test::run_until_idle();
  click(w, IDC_PLACE_LOCALIZE);
  EXPECT_FALSE(enabled(w, IDC_PLACE_LOCALIZE));
}

}  // namespace
}  // namespace frame_test

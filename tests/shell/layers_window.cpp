// The layers window driven as a user would, from the menu of the frame: its layout and
// pictures in both languages with the menus off while it is open; the tree built from
// the loaded files (shown folders, folders the user may not show, initial checks);
// the click rules; Apply switching the layers of the map window, seen in its pixels;
// and folders freed by a reload while the window is open.
#include <algorithm>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/obj_list.h"
#include "core/wstring.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/print.h"
#include "map/quadtree.h"
#include "map/redraw.h"
#include "platform/ui/ctl_button.h"
#include "shell/command_table.h"
#include "shell/layers_window.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_views.h"
#include "tests/support/test_env.h"

namespace frame_test {
namespace {

const plat::Color kRed = plat::rgb(255, 0, 0);
const plat::Color kBlue = plat::rgb(0, 0, 255);

// What a test builds: file objects with their folder trees; the objects of every
// sub-folder are owned by the file's own list, as the readers do.
class LayersWindow : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    register_gps_classes();
    register_drawing();
    redraw_interrupt(0);
    // Commands are recorded and then run by the program's table (21: a layer on or off).
    get_dispatcher_hooks().run_command = [](int slot) {
      on_command(slot);
      run_command(slot);
    };
    get_dispatcher_hooks().redraw_run = redraw_run;
  }
  void TearDown() override {
    if (plat::Wnd w = layers_window_handle()) plat::destroy_window(w);
    get_fileobj_hooks().unload = nullptr;
    FrameFixture::TearDown();
    for (fileatt_t* f : files_) free_obj(&f);
  }

  // A file whose first folder is named after it, entered in the file table and the
  // list of loaded files.
  fileatt_t* file(const char* name, int userdisplay = 1) {
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, (std::string("/nowhere/") + name).c_str(), 0, 1, &f);
    EXPECT_NE(f, nullptr);
    container_t* list = nullptr;
    obj_list_new(&list);
    f->sot = list;
    folder_t* root = nullptr;
    folder_get_or_create(f, list, 0, &root);
    folder_set_name(root, name);
    root->userdisplay = userdisplay;
    obj_list_append(get_file_list(), f);
    files_.push_back(f);
    return f;
  }
  static folder_t* root_of(fileatt_t* f) { return file_get_first_folder(f, nullptr); }
  // A filled square of the colour over world x0..x0+20, 10..30 in `list`, owned by the
  // file of `owner` (a folder); with its drawing style.
  static void square_in(folder_t* owner, container_t* list, uint32_t colour, double x0) {
    fileatt_t* f = file_of(owner->file);
    const double xy[] = {x0, 10, x0 + 20, 10, x0 + 20, 30, x0, 30, x0, 10};
    loil_t* square = nullptr;
    obj_new(0, CLS_LOIL, reinterpret_cast<obj_t**>(&square));
    coords_set(&square->loicoord, 5, xy);
    obj_list_append(f->sot, square);
    if (list != f->sot) obj_list_append(list, square);
    dpolycurve_t* style = nullptr;
    obj_new(0, CLS_DPOLYCURVE, reinterpret_cast<obj_t**>(&style));
    style->typesrc = CLS_LOIL;
    style->plcoord = offsetof(loil_t, loicoord);
    style->vcolour = colour;
    style->vthickness = 1;
    style->vedgemotif = 1;
    style->vfillmotif = 1;
    obj_list_append(list, style);
  }
  // A sub-folder; with a colour, it holds a filled square of that colour over world
  // x0..x0+20, 10..30 and becomes a layer of the map window.
  folder_t* folder(folder_t* parent, const char* name, int userdisplay, int displayed,
                   uint32_t colour = 0, double x0 = 0) {
    container_t* list = nullptr;
    obj_list_new(&list);
    if (colour) square_in(parent, list, colour, x0);
    folder_t* d = nullptr;
    folder_get_or_create(parent, list, 0, &d);
    folder_set_name(d, name);
    d->userdisplay = userdisplay;
    d->displayed = displayed;
    if (colour) {
      EXPECT_EQ(graphspace_add_file(get_current_graphspace(), d, &counter_), 1) << name;
    }
    return d;
  }

  // The window opened from the menu.
  plat::Wnd open() {
    command(IDM_LAYERS);
    plat::Wnd w = layers_window_handle();
    EXPECT_NE(w, nullptr);
    return w;
  }
  static plat::Wnd tree_of(plat::Wnd w) { return plat::get_dlg_item(w, kLayersTree); }

  static std::string window_text(plat::Wnd w) {
    char buf[128] = "";
    plat::get_window_text(w, buf, sizeof buf);
    return buf;
  }
  static std::string text_of(plat::Wnd tree, plat::TreeItem item) {
    char16_t buf[128] = {};
    plat::TvItem tv;
    tv.mask = plat::TVIF_TEXT | plat::TVIF_HANDLE;
    tv.item = item;
    tv.text = buf;
    tv.text_max = 128;
    plat::send_message(tree, plat::TVM_GETITEM, 0, plat::LParam(&tv));
    std::string s;
    for (const char16_t* p = buf; *p; ++p) s += char(*p);
    return s;
  }
  static unsigned state_of(plat::Wnd tree, plat::TreeItem item) {
    return plat::tree_state_image_of(unsigned(
        plat::send_message(tree, plat::TVM_GETITEMSTATE, plat::WParam(item), plat::TVIS_STATEIMAGEMASK)));
  }
  static plat::TreeItem next(plat::Wnd tree, plat::TreeItem item, unsigned how) {
    return reinterpret_cast<plat::TreeItem>(plat::send_message(tree, plat::TVM_GETNEXTITEM, how, plat::LParam(item)));
  }
  // The tree as lines "<indent><name> <state>[ +]" (+ for an open item), depth first.
  static void dump_items(plat::Wnd tree, plat::TreeItem item, int depth, std::vector<std::string>* out) {
    for (; item; item = next(tree, item, plat::TVGN_NEXT)) {
      const bool open = (plat::send_message(tree, plat::TVM_GETITEMSTATE, plat::WParam(item), plat::TVIS_EXPANDED) &
                         plat::TVIS_EXPANDED) != 0;
      out->push_back(std::string(size_t(depth) * 2, ' ') + text_of(tree, item) + " " +
                     std::to_string(state_of(tree, item)) + (open ? " +" : ""));
      dump_items(tree, next(tree, item, plat::TVGN_CHILD), depth + 1, out);
    }
  }
  static std::vector<std::string> dump(plat::Wnd tree) {
    std::vector<std::string> out;
    dump_items(tree, next(tree, nullptr, plat::TVGN_ROOT), 0, &out);
    return out;
  }
  static plat::TreeItem find_item(plat::Wnd tree, plat::TreeItem item, const std::string& name) {
    for (; item; item = next(tree, item, plat::TVGN_NEXT)) {
      if (text_of(tree, item) == name) return item;
      if (plat::TreeItem in = find_item(tree, next(tree, item, plat::TVGN_CHILD), name)) return in;
    }
    return nullptr;
  }
  // A click on a part of the named item, shown first as the user would open its parents.
  void click_item(plat::Wnd tree, const std::string& name, tm_test::TreePart part = tm_test::TreePart::state_icon) {
    plat::TreeItem item = find_item(tree, next(tree, nullptr, plat::TVGN_ROOT), name);
    ASSERT_NE(item, nullptr) << name;
    plat::send_message(tree, plat::TVM_ENSUREVISIBLE, 0, plat::LParam(item));
    ASSERT_TRUE(tm_test::click_tree_item(tree, item, part)) << name;
    tm_test::run_until_idle();
  }
  void press(plat::Wnd w, int id) {
    ASSERT_TRUE(tm_test::click_control(w, id));
    tm_test::run_until_idle();
  }
  int toggles() {
    int n = 0;
    for (const std::string& c : commands()) n += c.rfind("21:", 0) == 0;
    return n;
  }

  // The map window shows world 0..100 x 0..50 at 2 pixels a unit, y upwards.
  void show_squares() {
    mapwin_set_orientation(map_object_, 1);
    map_object_->map = screen_mapping{0.0, -50.0, 2.0, -2.0};
    mapwin_request_redraw(map_object_);
    post_command(6, 0, "1");
    tm_test::run_until_idle();
  }
  plat::Color at_world(double x, double y) {
    return plat::color_of_pixel(tm_test::pixel_at(map_object_->wnd, int(x * 2), int((y - 50) * -2)));
  }

  std::vector<fileatt_t*> files_;
  int counter_ = 0;
};

// ---- Layout, language, menus ------------------------------------------------------------------

struct language_case {
  const char* lang;
  const char* title;
  const char* apply;
  const char* close;
  const char* picture;
};

class LayersWindowLanguage : public LayersWindow, public ::testing::WithParamInterface<language_case> {
 protected:
  void SetUp() override { SetUpIn(GetParam().lang); }
};

TEST_P(LayersWindowLanguage, KeepsItsLayoutAndTurnsTheMenusOffUntilClosed) {
  const language_case& c = GetParam();
  fileatt_t* f = file("tracks.gpx");
  folder_t* day = folder(root_of(f), "Day 1", 1, 1);
  folder(day, "Morning", 1, 1);
  folder(root_of(f), "Waypoints", 1, 0);
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(window_text(w), c.title);
  plat::Rect r;
  plat::get_window_rect(w, &r);
  EXPECT_EQ(r, (plat::Rect{100, 100, 700, 520}));
  EXPECT_EQ(plat::get_owner(w), frame_);
  plat::Rect client;
  plat::get_client_rect(w, &client);
  const int cw = client.width(), ch = client.height();
  auto placed = [&](int id) {
    plat::Rect cr;
    plat::Wnd ctl = plat::get_dlg_item(w, id);
    plat::get_window_rect(ctl, &cr);
    plat::Point tl{cr.left, cr.top};
    plat::screen_to_client(w, &tl);
    return plat::Rect{tl.x, tl.y, tl.x + cr.width(), tl.y + cr.height()};
  };
  EXPECT_EQ(placed(kLayersTree), (plat::Rect{8, 8, cw - 8, ch - 44}));
  EXPECT_EQ(placed(kLayersApply), (plat::Rect{8, ch - 36, 108, ch - 8}));
  EXPECT_EQ(placed(kLayersClose), (plat::Rect{cw - 124, ch - 36, cw - 24, ch - 8}));
  EXPECT_EQ(window_text(plat::get_dlg_item(w, kLayersApply)), c.apply);
  EXPECT_EQ(window_text(plat::get_dlg_item(w, kLayersClose)), c.close);
  EXPECT_EQ(tm_test::focused_control_id(), kLayersClose);
  // The boxes come from the program's bitmap: unchecked and checked, 16 pixels wide.
  auto states = reinterpret_cast<plat::ImageList>(
      plat::send_message(tree_of(w), plat::TVM_GETIMAGELIST, plat::TVSIL_STATE, 0));
  EXPECT_EQ(plat::image_list_count(states), 2);
  EXPECT_EQ(plat::image_list_image_size(states), (plat::Size{16, 16}));
  EXPECT_THAT(tm_test::dialog_layout_faults(w), ::testing::IsEmpty());
  // The menu bar and the toolbar are off while it is open.
  EXPECT_FALSE(plat::is_window_enabled(main_toolbar()));
  EXPECT_NE(plat::get_menu_state(menu_, 0, plat::MF_BYPOSITION) & plat::MF_GRAYED, 0u);
  EXPECT_TRUE(tm_test::window_picture(w, tm_test::fresh_dir("layerswin") + c.picture));
  press(w, kLayersClose);
  EXPECT_EQ(layers_window_handle(), nullptr);
  EXPECT_FALSE(plat::is_window(w));
  EXPECT_TRUE(plat::is_window_enabled(main_toolbar()));
  EXPECT_EQ(plat::get_menu_state(menu_, 0, plat::MF_BYPOSITION) & plat::MF_GRAYED, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LayersWindowLanguage,
    ::testing::Values(language_case{"ENGLISH", "Graphic layers management", "Apply", "Close", "layers_en.png"},
                      language_case{"FRANCAIS", "Gestion des couches graphiques", "Appliquer", "Fermer",
                                    "layers_fr.png"}));

// ---- The tree -------------------------------------------------------------------------------------

TEST_F(LayersWindow, TreeShowsTheFoldersTheUserMayShowWithTheirInitialChecks) {
  fileatt_t* a = file("a.gpx");
  folder_t* roads = folder(root_of(a), "roads", 1, 1);
  folder(roads, "minor", 1, 1);
  folder_t* hidden = folder(root_of(a), "hidden", 0, 1);
  folder(hidden, "inner", 1, 0);
  folder(hidden, "inner shown", 1, 1);
  // Not displayed, while its sub-folder is: it starts unchecked, the sub-folder checked.
  folder_t* off = folder(root_of(a), "off", 1, 0);
  folder(off, "on under off", 1, 1);
  fileatt_t* b = file("b.gpx", 0);  // its first folder is not offered: no root
  folder(root_of(b), "never", 1, 1);
  fileatt_t* c = file("c.gpx");
  folder(root_of(c), "c1", 1, 1);
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(dump(tree_of(w)), (std::vector<std::string>{
                                  "a.gpx 0 +",
                                  "  roads 2",
                                  "    minor 2",
                                  "  inner 1",
                                  "  inner shown 2",
                                  "  off 1",
                                  "    on under off 2",
                                  "c.gpx 0 +",
                                  "  c1 2",
                              }));
  // Each item names the pair of its folder, counted in visiting order (hidden folders
  // too, the file without root not at all).
  plat::Wnd tree = tree_of(w);
  for (const char* name : {"a.gpx", "roads", "minor", "inner", "inner shown", "off", "on under off", "c1"}) {
    plat::TreeItem item = find_item(tree, next(tree, nullptr, plat::TVGN_ROOT), name);
    folder_t* d = layers_item_folder(tree, item);
    ASSERT_NE(d, nullptr) << name;
    char* utf8 = nullptr;
    wstr_to_utf8(d->name, &utf8);
    EXPECT_STREQ(utf8, name);
    free_mem(&utf8);
  }
  press(w, kLayersClose);
}

TEST_F(LayersWindow, WithoutFilesTheTreeIsEmptyAndApplyChangesNothing) {
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(plat::send_message(tree_of(w), plat::TVM_GETCOUNT, 0, 0), 0);
  clear_seen();
  press(w, kLayersApply);
  EXPECT_EQ(toggles(), 0);
  // 1005 and unknown commands are answered 0 and leave the window open.
  EXPECT_EQ(plat::send_message(w, plat::WM_COMMAND, kLayersQuietCommand, 0), 0);
  EXPECT_EQ(plat::send_message(w, plat::WM_COMMAND, 4242, 0), 0);
  tm_test::run_until_idle();
  EXPECT_EQ(layers_window_handle(), w);
  plat::send_message(w, plat::WM_CLOSE, 0, 0);
  EXPECT_EQ(layers_window_handle(), nullptr);
  EXPECT_TRUE(plat::is_window_enabled(main_toolbar()));
}

// Without the program's bitmap the tree draws check boxes of its own; the rules stay.
TEST_F(LayersWindow, WithoutTheBitmapTheTreeDrawsItsOwnBoxes) {
  fileatt_t* a = file("a.gpx");
  folder_t* roads = folder(root_of(a), "roads", 1, 1);
  folder(roads, "minor", 1, 1);
  set_program_dir(tm_test::fresh_dir("nobitmap").c_str());
  plat::Wnd w = open();
  set_program_dir(TM_SOURCE_DIR "/data/");
  ASSERT_NE(w, nullptr);
  plat::Wnd tree = tree_of(w);
  EXPECT_EQ(plat::send_message(tree, plat::TVM_GETIMAGELIST, plat::TVSIL_STATE, 0), 0);
  EXPECT_NE(plat::get_window_long(tree, plat::GWL_STYLE) & plat::TVS_CHECKBOXES, 0);
  click_item(tree, "minor");
  EXPECT_EQ(dump(tree), (std::vector<std::string>{"a.gpx 0 +", "  roads 1 +", "    minor 1"}));
  press(w, kLayersClose);
}

// ---- Clicks ----------------------------------------------------------------------------------------

struct click_case {
  const char* what;
  std::vector<std::pair<const char*, tm_test::TreePart>> clicks;
  std::vector<std::string> tree;
};

class LayersWindowClicks : public LayersWindow, public ::testing::WithParamInterface<click_case> {};

TEST_P(LayersWindowClicks, FollowTheCheckRules) {
  fileatt_t* a = file("a.gpx");
  folder_t* roads = folder(root_of(a), "roads", 1, 1);
  folder_t* minor = folder(roads, "minor", 1, 1);
  folder(minor, "lanes", 1, 1);
  folder_t* hidden = folder(roads, "hidden", 0, 1);
  folder(hidden, "paths", 1, 1);
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  for (const auto& [name, part] : GetParam().clicks) click_item(tree_of(w), name, part);
  std::vector<std::string> got = dump(tree_of(w));
  for (std::string& line : got)  // open or closed does not matter here
    if (line.size() > 2 && line.compare(line.size() - 2, 2, " +") == 0) line.resize(line.size() - 2);
  EXPECT_EQ(got, GetParam().tree) << GetParam().what;
  press(w, kLayersClose);
}

using P = tm_test::TreePart;
INSTANTIATE_TEST_SUITE_P(
    Cases, LayersWindowClicks,
    ::testing::Values(
        click_case{"unchecking a folder unchecks its descendants, under a hidden folder too",
                   {{"roads", P::state_icon}},
                   {"a.gpx 0", "  roads 1", "    minor 1", "      lanes 1", "    paths 1"}},
        click_case{"unchecking a sub-folder unchecks its parents; checking it does not check them back",
                   {{"lanes", P::state_icon}, {"lanes", P::state_icon}},
                   {"a.gpx 0", "  roads 1", "    minor 1", "      lanes 2", "    paths 2"}},
        click_case{"checking a folder checks its descendants again",
                   {{"roads", P::state_icon}, {"roads", P::state_icon}},
                   {"a.gpx 0", "  roads 2", "    minor 2", "      lanes 2", "    paths 2"}},
        click_case{"the label flips as the box does",
                   {{"minor", P::label}},
                   {"a.gpx 0", "  roads 1", "    minor 1", "      lanes 1", "    paths 2"}},
        click_case{"the root item has no box: nothing changes",
                   {{"a.gpx", P::label}},
                   {"a.gpx 0", "  roads 2", "    minor 2", "      lanes 2", "    paths 2"}}),
    [](const ::testing::TestParamInfo<click_case>& info) { return "Case" + std::to_string(info.index); });

// ---- Apply -----------------------------------------------------------------------------------------

TEST_F(LayersWindow, ApplyRemovesAnUncheckedLayerFromThePictureAndBringsItBack) {
  fileatt_t* f = file("shapes.gpx");
  folder_t* red = folder(root_of(f), "red", 1, 1, colour_word(255, 0, 0), 10);
  folder_t* blue = folder(root_of(f), "blue", 1, 1, colour_word(0, 0, 255), 50);
  show_squares();
  ASSERT_EQ(at_world(20, 20), kRed);
  ASSERT_EQ(at_world(60, 20), kBlue);
  const plat::Color background = at_world(40, 20);
  ASSERT_NE(background, kRed);
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  click_item(tree_of(w), "red");
  // A click only changes the box: the map changes on Apply.
  EXPECT_EQ(at_world(20, 20), kRed);
  press(w, kLayersApply);
  EXPECT_EQ(at_world(20, 20), background);
  EXPECT_EQ(at_world(60, 20), kBlue);
  EXPECT_EQ(red->displayed, 0);
  EXPECT_EQ(blue->displayed, 1);
  EXPECT_EQ(layers_window_handle(), w);  // the window stays open
  click_item(tree_of(w), "red");
  press(w, kLayersApply);
  EXPECT_EQ(at_world(20, 20), kRed);
  EXPECT_EQ(at_world(60, 20), kBlue);
  EXPECT_EQ(red->displayed, 1);
  press(w, kLayersClose);
}

// A file whose objects lie in its first folder, with no sub-folder of its own to switch
// (a GPX file, an image): its root item has a box, checked while it is shown, so that it
// can be hidden and shown again; a file with switched sub-folders keeps its root without
// box, whatever the boxes under it say.
TEST_F(LayersWindow, RootOfAFileWithoutSwitchedFoldersHasItsOwnBox) {
  fileatt_t* flat = file("flat.gpx");
  folder_t* root = root_of(flat);
  square_in(root, root->sot, colour_word(255, 0, 0), 10);
  ASSERT_EQ(graphspace_add_file(get_current_graphspace(), root, &counter_), 1);
  folder(root, "labels", 0, 1);  // a sub-folder the user may not switch (icons, labels)
  fileatt_t* other = file("other.gpx");
  folder(root_of(other), "blue", 1, 1, colour_word(0, 0, 255), 50);
  show_squares();
  ASSERT_EQ(at_world(20, 20), kRed);
  ASSERT_EQ(at_world(60, 20), kBlue);
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(dump(tree_of(w)), (std::vector<std::string>{"flat.gpx 2 +", "other.gpx 0 +", "  blue 2"}));
  click_item(tree_of(w), "blue");
  press(w, kLayersApply);
  EXPECT_NE(at_world(60, 20), kBlue);
  EXPECT_EQ(at_world(20, 20), kRed);
  EXPECT_EQ(root->displayed, 1);
  EXPECT_EQ(root_of(other)->displayed, 1);
  click_item(tree_of(w), "flat.gpx");
  EXPECT_EQ(dump(tree_of(w)), (std::vector<std::string>{"flat.gpx 1 +", "other.gpx 0 +", "  blue 1"}));
  press(w, kLayersApply);
  EXPECT_NE(at_world(20, 20), kRed);
  EXPECT_EQ(root->displayed, 0);
  click_item(tree_of(w), "flat.gpx");
  press(w, kLayersApply);
  EXPECT_EQ(at_world(20, 20), kRed);
  EXPECT_EQ(root->displayed, 1);
  press(w, kLayersClose);
}

// A folder that starts not displayed (a KML folder whose visibility is 0) is not drawn,
// as its unchecked box says, until the user checks it and applies.
TEST_F(LayersWindow, FolderNotDisplayedAtLoadIsNotDrawnUntilChecked) {
  fileatt_t* f = file("doc.kml");
  folder_t* paths = folder(root_of(f), "Paths", 1, 0, colour_word(255, 0, 0), 10);
  folder(root_of(f), "Placemarks", 1, 1, colour_word(0, 0, 255), 50);
  show_squares();
  EXPECT_NE(at_world(20, 20), kRed);
  EXPECT_EQ(at_world(60, 20), kBlue);
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(dump(tree_of(w)), (std::vector<std::string>{"doc.kml 0 +", "  Paths 1", "  Placemarks 2"}));
  click_item(tree_of(w), "Paths");
  press(w, kLayersApply);
  EXPECT_EQ(at_world(20, 20), kRed);
  EXPECT_EQ(at_world(60, 20), kBlue);
  EXPECT_EQ(paths->displayed, 1);
  press(w, kLayersClose);
}

// A file reloaded while the window is open: its folders are freed (and made anew), the
// window's items for them are left alone by clicks and skipped by Apply, which still
// switches the folders of the other files.
TEST_F(LayersWindow, FoldersFreedByAReloadWhileOpenAreSkipped) {
  fileatt_t* gone = file("reloaded.gpx");
  folder(root_of(gone), "old", 1, 1, colour_word(255, 0, 0), 10);
  fileatt_t* kept = file("kept.gpx");
  folder(root_of(kept), "blue", 1, 1, colour_word(0, 0, 255), 50);
  show_squares();
  plat::Wnd w = open();
  ASSERT_NE(w, nullptr);
  plat::Wnd tree = tree_of(w);
  click_item(tree, "old");
  click_item(tree, "blue");
  // The reader's unload frees the folder tree of the file; the reload command then
  // closes the file as it does before loading it again.
  get_fileobj_hooks().unload = [](obj_t* obj, int) {
    fileatt_t* f = file_of(obj);
    std::vector<folder_t*> all;
    for (folder_t* it = nullptr; folder_t* d = file_next_folder(f, &it);) all.push_back(d);
    f->folder = nullptr;
    for (auto d = all.rbegin(); d != all.rend(); ++d) {
      folder_t* one = *d;
      // The drawing styles belong to the folder's own list, the shapes to the file's.
      for (int i = obj_list_count(one->sot) - 1; one->sot != f->sot && i >= 0; --i) {
        obj_t* o = one->sot->elems[i];
        if (o->cls == CLS_DPOLYCURVE) free_obj(&o);
      }
      free_obj(&one);
    }
    file_detach_content(f);
  };
  ASSERT_EQ(graphspace_reload_text((std::string("0") + file_get_name(gone)).c_str()), 1);
  get_fileobj_hooks().unload = nullptr;
  tm_test::run_until_idle();
  EXPECT_EQ(layers_item_folder(tree, find_item(tree, next(tree, nullptr, plat::TVGN_ROOT), "old")), nullptr);
  click_item(tree, "old");
  EXPECT_EQ(state_of(tree, find_item(tree, next(tree, nullptr, plat::TVGN_ROOT), "old")), 1u);
  clear_seen();
  press(w, kLayersApply);
  EXPECT_EQ(toggles(), 1);
  EXPECT_NE(at_world(60, 20), kBlue);
  press(w, kLayersClose);
}

}  // namespace
}  // namespace frame_test

// The load and save commands around the reading itself: a folder opened as the list of
// its files, the open dialog, the fit command waiting for the last load and positioning
// the view by the display options, the exports (the replace question, a name used twice
// in one run, a write failure, the command's own list), the change of display system
// with the cursor chains, and the end of a GPS download.
#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include "geodesy/georef.h"
#include "map/cursor_system.h"
#include "map/mapwin.h"
#include "platform/ui/msgbox.h"
#include "shell/cursor_window.h"
#include "shell/menu.h"
#include "shell/preference_dialogs.h"
#include "tests/map/map_model_fixture.h"
#include "tests/shell/load_fixture.h"

namespace frame_test {
namespace {

constexpr int kWgs84 = 214;

// ---- Opening ----------------------------------------------------------------------------------

using LoadOpen = LoadFixture;

// A folder becomes a file object whose list holds a file object for every file and
// folder below it, never the folder itself; a path that cannot be opened gives nothing
// and leaves no error.
TEST_F(LoadOpen, FolderBecomesTheListOfWhatItHolds) {
  const std::string dir = tm_test::fresh_dir("load_walk");
  std::filesystem::create_directories(dir + "Sub");
  tm_test::write_file(dir + "a.gpx", "x");
  tm_test::write_file(dir + "Sub/b.GPX", "y");
  fileatt_t* folder = nullptr;
  for (const std::string& path : {dir, dir.substr(0, dir.size() - 1)}) {
    SCOPED_TRACE(path);
    ASSERT_EQ(open_object_file(path.c_str(), &folder), folder);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(get_gblerr(), 0);
    std::vector<std::string> names;
    for (int i = 0; i < obj_list_count(folder->sot); ++i) {
      obj_t* o = nullptr;
      obj_list_get(folder->sot, i, &o);
      names.push_back(file_get_name(file_of(o)));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{dir + "Sub/", dir + "Sub/b.GPX", dir + "a.gpx"}));
  }
  fileatt_t* none = reinterpret_cast<fileatt_t*>(1);
  EXPECT_EQ(open_object_file("", &none), nullptr);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
}

// The open dialog posts one load per chosen file, the last one first; Cancel posts none.
TEST_F(LoadOpen, DialogPostsEveryChosenFileLastFirst) {
  get_dispatcher_hooks().run_command = on_command;
  const std::string dir = tm_test::fresh_dir("load_dialog");
  const std::string a = tm_test::write_file(dir + "a.gpx", "x"), b = tm_test::write_file(dir + "B.gpx", "y"),
                    c = tm_test::write_file(dir + "c d.gpx", "z");
  tm_test::answer_next_open_dialog({a, b, c});
  cmd_open_files(2);
  tm_test::run_until_idle();
  EXPECT_EQ(commands(), (std::vector<std::string>{"14:1" + c, "14:1" + b, "14:1" + a}));
  clear_seen();
  tm_test::cancel_next_dialog();
  cmd_open_files(2);
  tm_test::run_until_idle();
  EXPECT_THAT(commands(), ::testing::IsEmpty());
}

// ---- The fit command --------------------------------------------------------------------------

class LoadFit : public LoadFixture {
 protected:
  // A file of points, shown as a layer and counted as loaded by the last run.
  void loaded_points(std::initializer_list<tm_test::point_xy> points, georef_t* georef = nullptr) {
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, ("/nowhere/points" + std::to_string(folders_.size())).c_str(), 0, 1, &f);
    ASSERT_NE(f, nullptr);
    f->filetype = kFileKindGps;
    folder_t* folder = tm_test::make_point_folder(f, georef, points);
    folders_.push_back(folder);
    f->sot = folder->sot;
    ASSERT_EQ(graphspace_add_file(get_current_graphspace(), folder, &counter_), 1);
    obj_list_append(load_loaded_files(), f);
  }
  std::vector<folder_t*> folders_;  // owned by their files, freed with them
  int counter_ = 0;
};

// With the global view the data fill the window; with only the centring option the
// window is centred on them at its scale; with neither the view stays.
TEST_F(LoadFit, DataArePositionedByTheDisplayOptions) {
  struct FitCase {
    int global, centre;
    bool moves, rescales;
  };
  const FitCase cases[] = {{1, 1, true, true}, {1, 0, true, true}, {0, 1, true, false}, {0, 0, false, false}};
  loaded_points({{1000, 1000}, {2000, 3000}});
  for (const FitCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "global " << c.global << " centre " << c.centre);
    show_data_in_the_middle();
    const auto before = view_centre();
    opt_global_view_last = c.global;
    opt_center_last_loaded = c.centre;
    cmd_zoom_to_loaded();
    tm_test::run_until_idle();
    const auto after = view_centre();
    const screen_mapping m = mapwin_mapping(get_current_mapwin());
    if (c.moves) {
      EXPECT_NEAR(after.first, 1500, 1.0);
      EXPECT_NEAR(after.second, 2000, 1.0);
    } else {
      EXPECT_NEAR(after.first, before.first, 1e-6);
      EXPECT_NEAR(after.second, before.second, 1e-6);
    }
    EXPECT_EQ(std::fabs(m.scale_x - 1.0) > 1e-9, c.rescales);
  }
}

// The fit command posted while a load is still to come posts itself again every 100 ms
// and positions the view only after that load has run.
TEST_F(LoadFit, WaitsForTheLastLoad) {
  ASSERT_EQ(post_command(14, 1000, "1/nowhere/later.gpx"), 1);
  ASSERT_EQ(post_command(19, 0, nullptr), 1);
  settle();
  std::vector<int> seen = slots();
  const auto load = std::find(seen.begin(), seen.end(), 14);
  ASSERT_NE(load, seen.end());
  EXPECT_GE(std::count(seen.begin(), load, 19), 5);  // re-posted while the load waited
  EXPECT_EQ(seen.back(), 19);                         // and once more after it
  EXPECT_EQ(task_slot_state(19), 0);
}

// A folder named "reload" that shows another file arms that file's periodic reload: the
// other file counts as loaded and as a file of the session, and its folder leaves the
// tree it was hung in.
TEST_F(LoadFit, ReloadFolderArmsTheReloadOfItsFile) {
  get_dispatcher_hooks().run_command = on_command;
  config_set("RELOAD_AND_REDRAW", "10");
  loaded_points({{1000, 1000}});
  fileatt_t* main_file = file_of(folders_[0]->file);
  fileatt_t* live = nullptr;
  file_open_object(nullptr, nullptr, "/nowhere/live.gpx", 0, 1, &live);
  ASSERT_NE(live, nullptr);
  container_t* list = nullptr;
  obj_list_new(&list);
  live->sot = list;
  folder_t* reload = nullptr;
  folder_get_or_create(live, list, 0, &reload);
  ASSERT_NE(reload, nullptr);
  folder_set_name(reload, "reload");
  reload->refreshintrv = 30;
  obj_add_son(folders_[0], reload);
  obj_list_clear(load_loaded_files());

  attach_file_to_graphspace(main_file);
  obj_t* father = nullptr;
  EXPECT_EQ(obj_get_father(reload, &father), nullptr);
  EXPECT_EQ(loaded_names(), (std::vector<std::string>{"/nowhere/points0", "/nowhere/live.gpx"}));
  int at = 0;
  EXPECT_EQ(id_list_find(get_file_list(), live->id, &at), 1);
  tm_test::run_until_idle();
  tm_test::advance_time(30000);
  settle();
  EXPECT_THAT(commands(), ::testing::Contains("20:1/nowhere/live.gpx"));
}

// ---- Export -----------------------------------------------------------------------------------

class LoadExport : public LoadFixture {
 protected:
  // A loaded GPS file of one waypoint named `name` in geographic WGS 84.
  void gps_file(const std::string& path, const char16_t* name) {
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, path.c_str(), 0, 1, &f);
    ASSERT_NE(f, nullptr);
    f->filetype = kFileKindGps;
    container_t* list = nullptr;
    obj_list_new(&list);
    obj_list_append(list, tm_test::make_georef(kWgs84, 0));
    waypoint_t* w = nullptr;
    waypoint_create(2.5, 48.5, name, nullptr, 1, 0, 0, 0.0, list, &w);
    tm_test::make_point_style(list);
    folder_t* folder = nullptr;
    folder_get_or_create(f, list, 0, &folder);
    folders_.push_back(folder);
    f->sot = list;
    obj_add_to_id_list(get_file_list(), f);
  }
  // save_file (GPS data) into `dir`, choosing GPX in the dialog.
  void export_gps(const std::string& dir) {
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      tm_test::type_into(dlg, IDC_EXPORT_FOLDER, dir.c_str());
      EXPECT_TRUE(tm_test::select_combo_text(plat::get_dlg_item(dlg, IDC_EXPORT_TYPE), "Format GPX (*.gpx)"));
      tm_test::click_control(dlg, IDC_EXPORT_OK);
    });
    save_file(kExportKindGps);
    settle();
  }
  std::vector<std::string> questions() {
    std::vector<std::string> out;
    for (const auto& box : tm_test::message_boxes()) out.push_back(box.caption + "|" + box.text);
    return out;
  }
  std::vector<folder_t*> folders_;  // owned by their files, freed with them
};

// Two files of one base name go to one output name: the second is asked about although
// the first is not written yet, and No keeps the first; exporting again asks for both,
// and Yes replaces.
TEST_F(LoadExport, ExistingOrAlreadyUsedNamesAreReplacedOnlyOnYes) {
  gps_file("/nowhere/a/track.gpx", u"first");
  gps_file("/nowhere/b/track.gpx", u"second");
  const std::string dir = tm_test::fresh_dir("load_export");
  const std::string out = dir + "track_gpx.gpx";
  const std::string question = "Replace File|File " + out + " already exists.\nDo you want to replace it?";
  tm_test::clear_message_boxes();
  tm_test::answer_next_message_box(plat::IDNO);
  export_gps(dir);
  EXPECT_EQ(questions(), (std::vector<std::string>{question}));
  EXPECT_NE(read_text(out).find("first"), std::string::npos);
  EXPECT_EQ(read_text(out).find("second"), std::string::npos);

  tm_test::clear_message_boxes();
  tm_test::answer_next_message_box(plat::IDNO);
  tm_test::answer_next_message_box(plat::IDYES);
  export_gps(dir);
  EXPECT_EQ(questions(), (std::vector<std::string>{question, question}));
  EXPECT_NE(read_text(out).find("second"), std::string::npos);
  EXPECT_EQ(get_gblerr(), 0);
}

// A file that cannot be written is reported with its name by the export command itself.
TEST_F(LoadExport, WriteFailureIsReportedWithTheName) {
  gps_file("/nowhere/c/blocked.gpx", u"p");
  const std::string dir = tm_test::fresh_dir("load_export_fail");
  const std::string out = dir + "blocked_gpx.gpx";
  std::filesystem::create_directories(out);  // a folder where the file should go
  tm_test::clear_message_boxes();
  export_gps(dir);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "Unable to save");
  EXPECT_EQ(tm_test::message_boxes()[0].text, "Error while saving file " + out + "\nIs a directory");
  EXPECT_EQ(get_gblerr(), 0);
  // Nothing is left beside the folder that stood in the way.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// A folder where no file can be made: the box names the file and the system's reason,
// and the file it would have replaced is left as it was.
TEST_F(LoadExport, AFolderThatRefusesTheFileIsReportedWithTheReason) {
  gps_file("/nowhere/h/locked.gpx", u"p");
  const std::string dir = tm_test::fresh_dir("load_export_locked");
  const std::string out = dir + "locked_gpx.gpx";
  tm_test::write_file(out, "old bytes\n");
  std::string reason;
  if (geteuid() == 0) {
    // The superuser writes in any folder: a folder that holds no room for a new name
    // (a file where the folder should be) stands in for it.
    std::filesystem::remove(out);
    tm_test::write_file(dir + "locked", "a file");
    reason = "Not a directory";
    tm_test::clear_message_boxes();
    export_gps(dir + "locked/");
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    EXPECT_EQ(tm_test::message_boxes()[0].text,
              "Error while saving file " + dir + "locked/locked_gpx.gpx\n" + reason);
  } else {
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    tm_test::clear_message_boxes();
    tm_test::answer_next_message_box(plat::IDYES);  // replace it
    export_gps(dir);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    ASSERT_EQ(tm_test::message_boxes().size(), 2u);
    EXPECT_EQ(tm_test::message_boxes()[1].text, "Error while saving file " + out + "\nPermission denied");
    EXPECT_EQ(read_text(out), "old bytes\n");
  }
  EXPECT_EQ(get_gblerr(), 0);
}

// Each writer, stopped part way by the file size limit (as a full disk stops it), leaves
// the file it was replacing byte for byte and no temporary file beside it.
TEST_F(LoadExport, AWriteThatFailsPartWayKeepsTheOldFile) {
  gps_file("/nowhere/i/kept.gpx", u"a waypoint with a name long enough to pass the limit");
  struct writer_case {
    int kind, format;
    const char* name;
  };
  const writer_case cases[] = {{kExportKindGps, 30, "kept.gpx"},
                               {kExportKindGps, 39, "kept.nmea"},
                               {kExportKindGraphics, 38, "kept.kml"},
                               {kExportKindGraphics, 27, "kept.mif"}};
  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &before);
  for (const writer_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = tm_test::fresh_dir("load_export_partway");
    const std::string out = dir + c.name;
    std::string old = "the old file\n";
    for (int i = 0; i < 64; ++i) old += char('a' + i % 26);
    tm_test::write_file(out, old);
    container_t* list = nullptr;
    obj_list_new(&list);
    obj_list_append(list, folders_[0]);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 40;  // every writer's header is longer
    setrlimit(RLIMIT_FSIZE, &small);
    tm_test::clear_message_boxes();
    post_export_command(list, c.kind, c.format, out.c_str());
    settle();
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    EXPECT_EQ(tm_test::message_boxes()[0].text, "Error while saving file " + out + "\nFile too large");
    EXPECT_EQ(read_text(out), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    EXPECT_EQ(get_gblerr(), 0);
  }
  sigaction(SIGXFSZ, &before, nullptr);
}

// Command 15 takes the list its text names and frees it once: a second command naming
// the same list, or a list never posted, writes and frees nothing.
TEST_F(LoadExport, CommandFreesItsListOnce) {
  gps_file("/nowhere/d/once.gpx", u"p");
  const std::string dir = tm_test::fresh_dir("load_export_once");
  container_t* list = nullptr;
  obj_list_new(&list);
  obj_list_append(list, folders_[0]);
  ASSERT_EQ(post_export_command(list, kExportKindGps, 30, (dir + "one.gpx").c_str()), 1);
  char forged[128];
  std::snprintf(forged, sizeof forged, "%ld 4 30 %stwo.gpx", long(intptr_t(list)), dir.c_str());
  post_command(15, 0, forged);
  container_t* never = nullptr;
  obj_list_new(&never);
  std::snprintf(forged, sizeof forged, "%ld 4 30 %sthree.gpx", long(intptr_t(never)), dir.c_str());
  post_command(15, 0, forged);
  settle();
  EXPECT_TRUE(file_exists((dir + "one.gpx").c_str()));
  EXPECT_FALSE(file_exists((dir + "two.gpx").c_str()));
  EXPECT_FALSE(file_exists((dir + "three.gpx").c_str()));
  free_obj(&never);
}

// The same questions and reports in French.
class LoadExportFrench : public LoadExport {
 protected:
  void SetUp() override { SetUpIn("FRANCAIS"); }
};

TEST_F(LoadExportFrench, QuestionAndFailureAreInFrench) {
  gps_file("/nowhere/e/trace.gpx", u"p");
  gps_file("/nowhere/f/trace.gpx", u"q");
  gps_file("/nowhere/g/bloque.gpx", u"r");
  const std::string dir = tm_test::fresh_dir("load_export_fr");
  std::filesystem::create_directories(dir + "bloque_gpx.gpx");
  tm_test::clear_message_boxes();
  tm_test::answer_next_message_box(plat::IDNO);
  export_gps(dir);
  EXPECT_EQ(questions(),
            (std::vector<std::string>{"Remplacement de fichier|Le fichier " + dir +
                                          "trace_gpx.gpx existe deja.\nVoulez-vous le remplacer ?",
                                      "Erreur lors de la sauvegarde|Erreur lors de la sauvegarde du fichier " +
                                          dir + "bloque_gpx.gpx\nIs a directory"}));
}

// ---- Display system ---------------------------------------------------------------------------

class LoadDisplaySystem : public LoadFit {
 protected:
  // The current graph space in geographic WGS 84 with points in it.
  graphspace_t* geographic_space() {
    graphspace_t* gs = get_current_graphspace();
    georef_t* g = tm_test::make_georef(kWgs84, 0);
    graphspace_take_system(gs, g);
    free_obj(&g);
    loaded_points({{2.0, 48.0}, {3.0, 49.0}}, tm_test::make_georef(kWgs84, 0));
    graphspace_rebuild(gs);
    return gs;
  }
  static void choose_datum_or_projection(plat::Wnd dlg, int id, const char* name) {
    EXPECT_TRUE(tm_test::select_combo_text(plat::get_dlg_item(dlg, id), name)) << name;
    tm_test::click_control(dlg, IDC_SYS_OK);
  }
};

// The chosen projection becomes the graph space's system; the cursor system of the map
// window follows it; the data stay in view.
TEST_F(LoadDisplaySystem, ChosenSystemReprojectsTheSpaceAndTheCursor) {
  graphspace_t* gs = geographic_space();
  std::string title;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    title = plat::window_text(dlg);
    choose_datum_or_projection(dlg, IDC_SYS_PROJ, "WGS 84 / UTM zone 31N");
  });
  cmd_choose_display_system(gs);
  settle();
  EXPECT_EQ(title, "Choose display system");
  ASSERT_NE(gs->georef, nullptr);
  EXPECT_EQ(int(gs->georef->refertype), GEOREF_PROJECTED);
  EXPECT_THAT(commands(), ::testing::Contains(::testing::StartsWith("12:")));
  pane_t* pane = nullptr;
  mapwin_get_pane(get_current_mapwin(), &pane);
  ASSERT_NE(pane, nullptr);
  ASSERT_NE(pane->georef, nullptr);
  EXPECT_EQ(int(pane->georef->refertype), GEOREF_PROJECTED);
  const cartproj_t* cursor_projection = pane->georef->projection;
  const cartproj_t* display_projection = gs->georef->projection;
  EXPECT_EQ(cursor_projection, display_projection);
  // The data (about 430 to 500 km east, 5.3 to 5.4 Mm north) are in the window.
  const auto centre = view_centre();
  EXPECT_GT(centre.first, 300000);
  EXPECT_LT(centre.first, 700000);
  EXPECT_EQ(get_gblerr(), 0);
}

// The mouse keeps moving over the map while the display system changes: the cursor
// window reads the cursor chain on the user-interface thread, and the change remakes
// the chain there too (a thread checker run of this test sees any other order).
TEST_F(LoadDisplaySystem, MouseMovesWhileTheSystemChanges) {
  graphspace_t* gs = geographic_space();
  register_cursor_class();
  cursor_set_transform(get_current_mapwin(), gs->georef);
  command(IDM_CURSOR_DISPLAY);
  plat::Wnd wnd = cursor_window();
  ASSERT_NE(wnd, nullptr);
  tm_test::answer_next_dialog([](plat::Wnd dlg) { choose_datum_or_projection(dlg, IDC_SYS_PROJ, "WGS 84 / UTM zone 31N"); });
  cmd_choose_display_system(gs);
  for (int i = 0; i < 40; ++i) {
    tm_test::mouse_move(main_map_window(), 10 + i, 20 + i);
    tm_test::pump(4);
  }
  settle();
  tm_test::mouse_move(main_map_window(), 30, 30);
  tm_test::run_until_idle();
  // The cursor keeps its own system, now reached from the new display system.
  EXPECT_EQ(plat::window_text(wnd), "WGS 84 (Degree)");
  EXPECT_EQ(int(gs->georef->refertype), GEOREF_PROJECTED);
  pane_t* pane = nullptr;
  mapwin_get_pane(get_current_mapwin(), &pane);
  ASSERT_NE(pane, nullptr);
  const obj_t* chain = pane->georef->transfo;
  EXPECT_NE(chain, nullptr);
  command(IDM_CURSOR_DISPLAY);
  EXPECT_EQ(get_gblerr(), 0);
}

// Cancel posts nothing; a space without system refuses with error 8; a command whose
// graph space or georef is unknown ends at once and changes nothing, and one that names
// a georef the dialog did not make leaves it alone.
TEST_F(LoadDisplaySystem, CancelMissingSystemAndUnknownIdsChangeNothing) {
  graphspace_t* gs = geographic_space();
  tm_test::answer_next_dialog([](plat::Wnd dlg) { tm_test::click_control(dlg, IDC_SYS_CANCEL); });
  cmd_choose_display_system(gs);
  settle();
  EXPECT_THAT(commands(), ::testing::Not(::testing::Contains(::testing::StartsWith("12:"))));
  EXPECT_EQ(int(gs->georef->refertype), GEOREF_GEOGRAPHIC);

  graphspace_t* bare = nullptr;
  graphspace_new(nullptr, &bare);
  cmd_choose_display_system(bare);
  EXPECT_EQ(get_gblerr(), 8);
  set_gblerr(0);
  graphspace_free(&bare);

  post_command(12, 0, "999999 888888");
  post_command(12, 0, "not numbers");
  // Texts naming the space's own georef: it is neither freed nor changed.
  const std::string own = std::to_string(gs->georef->id);
  post_command(12, 0, (std::to_string(gs->id) + " " + own).c_str());
  post_command(12, 0, ("999999 " + own).c_str());
  settle();
  EXPECT_EQ(task_slot_state(12), 0);
  EXPECT_EQ(int(gs->georef->refertype), GEOREF_GEOGRAPHIC);
}

}  // namespace
}  // namespace frame_test

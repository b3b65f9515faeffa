// Shared by the tests of the zoom level and manual localisation dialogs: the frame built
// as start-up builds it, the real geodesy tables, a display system chosen by the test on
// the frame's graph space, data and a view of it, images in the image layer, and a
// dialog run from the menu through a series of user steps.
#pragma once
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/obj_list.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "map/graphspace.h"
#include "map/view_set.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/dialog.h"
#include "platform/ui/window.h"
#include "shell/zoom_dialogs.h"
#include "tests/geodesy/geodesy_fixture.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/test_env.h"

namespace frame_test {

// One step of a user in a dialog; the dialog takes its input in between.
using dialog_step = std::function<void(plat::Wnd dlg)>;

class ZoomDialogFixture : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    register_zoom_dialogs();
    bitmap_module_init();
    ASSERT_NO_FATAL_FAILURE(load_geodesy());
    gs_ = get_current_graphspace();
    ASSERT_NE(gs_, nullptr);
    ASSERT_NE(gs_->georef, nullptr);
    folder_ = tm_test::fresh_dir("zoomdlg");
    watch_redraw_requests();
  }
  void TearDown() override {
    layer_t* layer = image_layer();
    for (bitmap_t* b : images_) {
      if (layer) obj_list_remove_id(layer->objects, b->id);
      free_obj(&b);
    }
    images_.clear();
    watched() = nullptr;
    register_dialog_template("Nivzoom", nullptr);
    FrameFixture::TearDown();
  }

  // The graph space's system: refertype 0 (none), 1 (geographic on the reference datum)
  // or 2 (UTM zone 31 north on it), with its coordinates in `unit`.
  void use_system(int refertype, int unit) {
    georef_t* g = gs_->georef;
    geodatum_t* datum = nullptr;
    geo_find_by_code(CLS_GEODATUM, 214, &datum);
    ASSERT_NE(datum, nullptr);
    g->refertype = refertype;
    g->datum = refertype ? datum : nullptr;
    g->projection = nullptr;
    if (refertype == 2) {
      cartproj_t* p = nullptr;
      crs_name_utm(datum, 31, 0, &p);
      ASSERT_NE(p, nullptr);
      g->projection = p;
    }
    g->unit = unit;
  }

  // Data over `data`; the window, y upwards, shows the world point (cx, cy) at its
  // centre with `scale` pixels per graph unit on both axes.
  void show(extent_t data, double cx, double cy, double scale) {
    graphspace_set_extent(gs_, data);
    mapwin_set_orientation(map_object_, 0);
    ASSERT_EQ(view_set(map_object_, cx, cy, scale, scale, 0), 1);
  }
  double scale_x() const { return double(map_object_->map.scale_x); }
  double scale_y() const { return double(map_object_->map.scale_y); }
  // The world rectangle the window shows.
  extent_t visible() const {
    extent_t out{};
    screen_to_world_extent(map_object_->map,
                           extent_t{0, double(map_object_->width), 0, double(map_object_->height), 0}, &out);
    return out;
  }
  // How many times the dirty-window pass (command 6) found the map window flagged for a
  // redraw since SetUp.
  static int& redraw_requests() {
    static int n = 0;
    return n;
  }
  static mapwin_t*& watched() {
    static mapwin_t* w = nullptr;
    return w;
  }
  static void count_redraw_requests() {
    if (watched() && watched()->redraw_needed) ++redraw_requests();
    redraw_dirty_mapwins();
  }
  void watch_redraw_requests() {
    redraw_requests() = 0;
    watched() = map_object_;
    get_dispatcher_hooks().redraw_dirty_mapwins = count_redraw_requests;
  }

  layer_t* image_layer() {
    layer_t* layer = nullptr;
    if (gs_) graphspace_layer_of_priority(gs_, 0, &layer);
    return layer;
  }
  // An image of w x h pixels without georeference (its world rectangle is its pixel
  // rectangle) in the image layer.
  bitmap_t* add_image(const char* name, int w, int h) {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    b->width = w;
    b->height = h;
    char* n = nullptr;
    str_set(name, &n);
    b->name = n;
    layer_t* layer = image_layer();
    EXPECT_NE(layer, nullptr);
    if (layer) obj_list_append(layer->objects, b);
    images_.push_back(b);
    return b;
  }

  // Runs a dialog from the menu; each step acts once the dialog has taken the input of
  // the step before. A dialog still open after the last step is closed as Escape would.
  void run_from_menu(unsigned command_id, std::vector<dialog_step> steps) {
    for (dialog_step& s : steps) tm_test::answer_next_dialog(std::move(s));
    command(command_id);
  }

  static std::string text(plat::Wnd dlg, int id) { return plat::dlg_item_text(dlg, id); }
  static bool enabled(plat::Wnd dlg, int id) { return plat::is_window_enabled(plat::get_dlg_item(dlg, id)); }
  static std::string selected(plat::Wnd dlg, int id) {
    char buf[128] = "";
    combo_selected_text(plat::get_dlg_item(dlg, id), buf, sizeof buf);
    return buf;
  }
  static std::string title(plat::Wnd dlg) {
    char buf[128] = "";
    plat::get_window_text(dlg, buf, sizeof buf);
    return buf;
  }
  // Chooses the item of a combo box whose data is `data`, as the list would.
  static void choose(plat::Wnd dlg, int id, intptr_t data) {
    plat::Wnd list = plat::get_dlg_item(dlg, id);
    ASSERT_GE(combo_select_data(list, data), 0) << data;
    plat::send_message(dlg, plat::WM_COMMAND, plat::WParam(id | (plat::CBN_SELCHANGE << 16)),
                       reinterpret_cast<plat::LParam>(list));
  }
  // The layout check and a picture of the dialog, for each language's test.
  void check_layout_and_picture(plat::Wnd dlg, const std::string& name) {
    EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
    EXPECT_TRUE(tm_test::dialog_picture(dlg, folder_ + "/" + name + ".png"));
  }

  graphspace_t* gs_ = nullptr;
  std::vector<bitmap_t*> images_;
  std::string folder_;
};

}  // namespace frame_test

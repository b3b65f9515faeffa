// Shared by the tests of the load and save commands: the frame as start-up builds it,
// with the map model's classes, the GPX and GeoNames vocabularies, the load dispatch
// with its readers, and the program's own command table behind the recording of every
// command that arrives. Every file object a test makes or loads is freed at the end.
#pragma once
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "core/socket.h"
#include "core/http.h"
#include "formats/file_load.h"
#include "formats/geonames.h"
#include "formats/gpx.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/print.h"
#include "map/quadtree.h"
#include "map/redraw.h"
#include "raster/image_load.h"
#include "shell/command_table.h"
#include "shell/load_commands.h"
#include "shell/system_dialogs.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/harness_lists.h"
#include "tests/support/test_env.h"

namespace frame_test {

class LoadFixture : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    ASSERT_NO_FATAL_FAILURE(load_geodesy());
    register_gps_classes();
    register_drawing();
    redraw_interrupt(0);
    socket_register_type();
    http_failures_reset();
    gpx_register_tables();
    geonames_register_vocab();
    bitmap_module_init();
    image_decoders_reset();
    raster_module_init();
    format_readers_clear();
    file_load_module_init();
    load_state_reset();
    system_dialog_reset();
    // Commands are recorded, then run by the program's own table.
    get_dispatcher_hooks().run_command = [](int slot) {
      on_command(slot);
      run_command(slot);
    };
  }

  void TearDown() override {
    load_state_reset();
    format_readers_clear();
    overview_queue_clear();
    image_decoders_reset();
    get_image_load_hooks() = image_load_hooks{};
    get_fileobj_hooks() = fileobj_hooks{};
    main_command_table_reset();
    FrameFixture::TearDown();
    // One at a time: a folder's file object frees the file objects its list still holds.
    set_gblerr(0);
    for (int left = 100000; left > 0; --left) {
      obj_t* first = nullptr;
      if (!obj_class_next(kFileClass, &first)) break;
      free_obj(&first);
    }
    gpx_free_tables();
  }

  // Runs what was posted, moving the virtual clock over the delayed posts (the fit
  // command waits 100 ms each time it is posted).
  static void settle() {
    for (int i = 0; i < 30; ++i) {
      tm_test::run_until_idle();
      tm_test::advance_time(100);
    }
    tm_test::run_until_idle();
  }

  // The slots of the commands that arrived, in order ("14", "19", ...).
  static std::vector<int> slots() {
    std::vector<int> out;
    for (const std::string& c : commands()) out.push_back(std::stoi(c.substr(0, c.find(':'))));
    return out;
  }

  // The files whose folders are layers of the current graph space, by name.
  static std::vector<std::string> layer_files() {
    std::vector<std::string> out;
    graphspace_t* gs = get_current_graphspace();
    graphspace_lock lock(graphspace_mutex());
    for (int i = 0; gs && i < obj_list_count(gs->layers); ++i) {
      obj_t* o = nullptr;
      obj_list_get(gs->layers, i, &o);
      layer_t* layer = static_cast<layer_t*>(o);
      folder_t* folder = folder_of(layer->folder);
      if (folder && file_of(folder->file)) out.push_back(file_get_name(file_of(folder->file)));
      if (layer->priority != 0) continue;
      // The image layer shows images through links to their folders.
      for (int k = 0; k < obj_list_count(layer->objects); ++k) {
        obj_t* l = nullptr;
        obj_list_get(layer->objects, k, &l);
        if (!l || l->cls != CLS_LAYER_LINK) continue;
        folder_t* shown = folder_of(static_cast<layer_link_t*>(l)->folder);
        if (shown && file_of(shown->file)) out.push_back(file_get_name(file_of(shown->file)));
      }
    }
    return out;
  }

  static std::vector<std::string> loaded_names() {
    std::vector<std::string> out;
    container_t* loaded = load_loaded_files();
    for (int i = 0; i < obj_list_count(loaded); ++i) {
      obj_t* o = nullptr;
      obj_list_get(loaded, i, &o);
      out.push_back(file_get_name(file_of(o)));
    }
    return out;
  }

  // A GPX file of waypoints at the given (lon, lat) pairs.
  static std::string write_gpx_file(const std::string& path, std::vector<std::pair<double, double>> points,
                                    const char* name = "wp") {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (const auto& [lon, lat] : points)
      text += "<wpt lat=\"" + std::to_string(lat) + "\" lon=\"" + std::to_string(lon) + "\"><name>" +
              name + "</name></wpt>\n";
    text += "</gpx>\n";
    return tm_test::write_file(path, text);
  }

  // The world point at the centre of the current map window.
  static std::pair<double, double> view_centre() {
    mapwin_t* win = get_current_mapwin();
    const double width = win->width, height = win->height;
    const screen_mapping m = mapwin_mapping(win);
    return {width / 2.0 / m.scale_x - m.origin_x, height / 2.0 / m.scale_y - m.origin_y};
  }
};

}  // namespace frame_test

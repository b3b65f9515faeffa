// Test support of browsing: a fresh object store with the map model, image loading and
// the load dispatch, the viewer's state and browsing lists, a frame window that is the
// command target (its procedure hands commands to the dispatcher) on the virtual clock,
// and the command table of the viewer for the browsing slots. Fixture folders are copied
// into a folder of the test, so that deleting touches only the copy.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/html.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "map/bitmap_record.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"
#include "raster/image_load.h"
#include "raster/image_load_internal.h"
#include "raster/kap_read.h"
#include "shell/framework/dispatcher.h"
#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_state.h"
#include "tests/framework/test_frame.h"
#include "tests/map/file_types_env.h"
#include "tests/map/map_model_fixture.h"
#include "tests/support/harness.h"
#include "tests/support/test_env.h"

namespace sb_test {

namespace fs = std::filesystem;

inline std::string fixture(const std::string& name) {
  return std::string(TM_FIXTURE_DIR) + "/sorbinel/" + name;
}

// The viewer's table for the browsing slots, as the shell binds them.
inline void browse_run_command(int slot) {
  const sb_state& s = sb();
  switch (slot) {
    case kSbSlotSlideshowNext:
      if ((s.mode & kSbModeSlideshow) && task_slot_state(kSbSlotRedisplay) == 0)
        post_command(kSbSlotSlideshowStep, 0, nullptr);
      break;
    case kSbSlotSlideshowStep:
      if (!(s.mode & kSbModeAnimation)) sb_slideshow_step();
      break;
    case kSbSlotNextFrame:
      if (s.mode & kSbModeAnimation) sb_next_frame();
      break;
    case kSbSlotRedisplay:
      if (!(s.mode & kSbModeAnimation)) sb_redisplay();
      break;
    case kSbSlotDelete: sb_delete_current(); break;
    case kSbSlotNextFile: sb_next_task(); break;
    default: break;
  }
}

inline plat::LResult frame_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  if (msg == kCommandMessage) {
    task_dispatch_message(wp, lp);
    return 0;
  }
  return plat::def_window_proc(wnd, msg, wp, lp);
}

inline int chart_row(const image_decode_call& call) { return sb_chart_parse(*call.image); }

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<tm_test::UiSession>();
    line_store_reset();
    get_line_store_hooks() = line_store_hooks{};
    get_bitmap_hooks() = bitmap_hooks{};
    get_image_load_hooks() = image_load_hooks{};
    tm_test::reset_object_store();
    tm_test::map_model_env();
    line_store_register();
    dir_ = tm_test::fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    image_decoders_reset();
    raster_module_init();
    get_image_load_hooks().set_idle_priority = nullptr;
    sb_chart_register();
    image_decoder_register(kDecoderChart, chart_row);
    image_decoder_register(kDecoderChartOther, chart_row);
    config_reset();
    fs::create_directories(dir_ + "swap");
    config_temp_dir_set((dir_ + "swap/").c_str(), "s_");
    config_set("LANG", "ENGLISH");
    file_detail::file_ops_table_install();
    xml_init();
    html_init();
    format_readers_clear();
    file_load_module_init();
    sb_state_init();
    sb_browse_init();
    graphspace_new(nullptr, &sb().document);
    task_slots_init();
    dispatcher_hooks_reset();
    set_run_command(browse_run_command);
    frame_ = framework_test::open_test_frame("SbBrowseFrame", "frame", 300, 200, frame_proc);
    set_command_target(&target_, frame_);
    set_gblerr(0);
  }

  void TearDown() override {
    session_.reset();
    plat::join_threads(10000);
    task_slots_init();
    dispatcher_hooks_reset();
    sb_browse_free();
    // The shown document owns no georeference: the one the shell gave it goes with it.
    georef_t* georef = sb().document ? sb().document->georef : nullptr;
    graphspace_free(&sb().document);
    if (georef) free_obj(&georef);
    if (sb().filter) {
      obj_t* record = sb().filter;
      free_obj(&record);
    }
    sb_state_reset();
    set_gblerr(0);
    rd_close_all();
    image_close_reopened_files();
    image_reopened_free();
    overview_queue_clear();
    for (;;) {
      obj_t* f = nullptr;
      if (!obj_class_next(kFileClass, &f) || !f) break;
      free_obj(&f);
      if (f) break;
    }
    get_fileobj_hooks() = fileobj_hooks{};
    get_file_load_hooks() = file_load_hooks{};
    format_readers_clear();
    sb_chart_unregister();
    image_decoders_reset();
    line_store_reset();
    tm_test::reset_object_store();
    get_line_store_hooks() = line_store_hooks{};
    get_bitmap_hooks() = bitmap_hooks{};
    get_image_load_hooks() = image_load_hooks{};
    config_reset();
  }

  // A copy of a fixture file or folder in the test's folder; its path.
  std::string copy_fixture(const std::string& name, const std::string& as = "") {
    const std::string to = dir_ + (as.empty() ? fs::path(name).filename().string() : as);
    fs::copy(fixture(name), to, fs::copy_options::recursive);
    return to;
  }

  // Runs the posted commands until nothing is left to do now.
  static void settle() { tm_test::run_until_idle(); }
  // Queues paths and shows the first file, as start-up does.
  void start(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) ASSERT_EQ(sb_queue_path(p.c_str()), 0) << p;
    sb_take_queue();
    post_command(kSbSlotNextFile, 0, nullptr);
    settle();
  }
  // Space (shift: backwards) and what it brings.
  static void space(int shift = 0) {
    sb_next_file(shift, 0);
    settle();
  }
  // The shown file's name relative to the test's folder ("" when none).
  std::string shown() const {
    const fileatt_t* f = sb().current;
    if (!f || !f->name) return "";
    const std::string name = f->name;
    return name.rfind(dir_, 0) == 0 ? name.substr(dir_.size()) : name;
  }
  // The images of the shown file's folders.
  static std::vector<bitmap_t*> shown_images() {
    std::vector<bitmap_t*> out;
    folder_t* it = nullptr;
    while (folder_t* f = file_next_folder(sb().current, &it))
      if (f->image && f->image->cls == CLS_BITMAP) out.push_back(static_cast<bitmap_t*>(f->image));
    return out;
  }
  // The image numbers drawn in the document (image links of value 0; 1 hides).
  static std::vector<int> drawn_pages() {
    std::vector<int> out;
    for (bitmap_t* b : shown_images()) {
      int v = -1;
      layer_link_get_value(sb().document, b, &v);
      if (v == 0) out.push_back(int{b->frame_number});
    }
    return out;
  }

  std::unique_ptr<tm_test::UiSession> session_;
  obj_t target_{};
  plat::Wnd frame_ = nullptr;
  std::string dir_;
};

}  // namespace sb_test

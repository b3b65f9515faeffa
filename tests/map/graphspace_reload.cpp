// The reload command: "0" + name closes a file shown in the graph spaces, "1" + name
// closes it and posts the load command again (without fitting the view).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/framework/dispatcher.h"
#include "tests/map/map_model_fixture.h"
#include "tests/support/test_env.h"

namespace {

std::vector<int> g_unloads;
void record_unload(obj_t*, int reload) { g_unloads.push_back(reload); }

struct shown_file {
  fileatt_t* file = nullptr;
  folder_t* folder = nullptr;
  std::string path;
};

shown_file open_shown_file(const char* name) {
  shown_file s;
  s.path = tm_test::write_file(tm_test::fresh_dir(name) + "points.txt", "x");
  file_open(nullptr, nullptr, s.path.c_str(), &s.file);
  EXPECT_NE(s.file, nullptr);
  s.file->filetype = 4;
  s.folder = tm_test::make_point_folder(s.file, nullptr, {{1, 2}});
  return s;
}

void release(shown_file& s) {
  container_t* list = s.folder->sot;
  obj_list_free_elements(list);
  free_obj(&list);
  s.folder->sot = nullptr;
  s.file->sot = nullptr;
  obj_t* folder = s.folder;
  free_obj(&folder);
  obj_t* file = s.file;
  free_obj(&file);
}

TEST(GraphspaceReload, CloseAndReloadRemoveTheFilesLayers) {
  tm_test::map_model_env();
  task_slots_init();
  get_fileobj_hooks().unload = record_unload;
  for (const char mode : {'0', '1'}) {
    SCOPED_TRACE(mode);
    g_unloads.clear();
    graphspace_t* current = nullptr;
    graphspace_t* other = nullptr;
    graphspace_new(tm_test::make_georef(214, 0), &current);
    graphspace_new(tm_test::make_georef(214, 0), &other);
    graphspace_set_current(current);
    shown_file kept = open_shown_file("kept");
    shown_file gone = open_shown_file(mode == '0' ? "closed" : "reloaded");
    int counter = 0;
    ASSERT_EQ(graphspace_add_file(current, kept.folder, &counter), 1);
    ASSERT_EQ(graphspace_add_file(current, gone.folder, &counter), 1);
    int other_counter = 0;
    ASSERT_EQ(graphspace_add_file(other, gone.folder, &other_counter), 1);
    const int queued = task_queue_length(14);
    EXPECT_EQ(graphspace_reload_text((std::string(1, mode) + gone.path).c_str()), 1);
    EXPECT_EQ(mapwin_find_layer(current, gone.folder, nullptr), nullptr);
    EXPECT_EQ(mapwin_find_layer(other, gone.folder, nullptr), nullptr);
    EXPECT_NE(mapwin_find_layer(current, kept.folder, nullptr), nullptr);
    EXPECT_EQ(val(gone.file->filetype), 0);
    EXPECT_EQ(g_unloads, std::vector<int>{0});
    EXPECT_EQ(task_queue_length(14), queued + (mode == '1' ? 1 : 0));
    // Unknown names and bad texts change nothing.
    EXPECT_EQ(graphspace_reload_text("0/no/such/file"), 0);
    EXPECT_EQ(graphspace_reload_text("2x"), 0);
    EXPECT_EQ(graphspace_reload_text("1"), 0);
    EXPECT_EQ(graphspace_reload_text(nullptr), 0);
    georef_t* g1 = current->georef;
    georef_t* g2 = other->georef;
    graphspace_free(&current);
    graphspace_free(&other);
    release(kept);
    release(gone);
    obj_t* a = g1;
    obj_t* b = g2;
    free_obj(&a);
    free_obj(&b);
  }
  get_fileobj_hooks().unload = nullptr;
  task_slots_init();
}

}  // namespace

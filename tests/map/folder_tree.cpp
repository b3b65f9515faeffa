// Folders: the first folder of a file, sub-folders and the walk over them, visibility
// through the ancestors, the copy made for export, the display switches, and the
// periodic reload posting command 20 after its delay on the virtual clock.
#include <cstring>
#include <string>

#include "core/memory.h"
#include "core/pairlist.h"
#include "core/wstring.h"
#include "platform/sys/clock.h"
#include "shell/framework/dispatcher.h"
#include "tests/map/file_fixture.h"
#include "tests/support/wait.h"

namespace {

using Folders = tm_test::FileFixture;

std::string utf8(const char16_t* w) {
  char* s = nullptr;
  wstr_to_utf8(w, &s);
  std::string out = s ? s : "";
  free_mem(&s);
  return out;
}

TEST_F(Folders, AFileHasOneFirstFolderAndSubFoldersUnderIt) {
  fileatt_t* f = file_open(nullptr, nullptr, "http://h/Data.gpx", nullptr);
  container_t* list = nullptr;
  obj_list_new(&list);
  f->sot = list;
  folder_t* first = folder_get_or_create(f, list, 20001, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(file_get_first_folder(f, nullptr), first);
  EXPECT_EQ(static_cast<obj_t*>(first->file), f);
  EXPECT_EQ(folder_get_objects(first, nullptr), list);
  EXPECT_EQ(int(first->layer), 20001);
  EXPECT_EQ(int(first->displayed), 1);
  EXPECT_EQ(int(first->userdisplay), 1);
  EXPECT_EQ(utf8(first->name), "http://h/Data.gpx");
  // Asked again for the file: the same folder (the file's name is appended again).
  EXPECT_EQ(folder_get_or_create(f, nullptr, 5, nullptr), first);
  EXPECT_EQ(int(first->layer), 20001);

  folder_t* a = folder_get_or_create(first, nullptr, 0, nullptr);
  folder_t* a1 = folder_get_or_create(a, nullptr, 0, nullptr);
  folder_t* b = folder_get_or_create(first, nullptr, 0, nullptr);
  folder_set_name(b, "Été");
  EXPECT_EQ(utf8(b->name), "Été");
  EXPECT_EQ(static_cast<obj_t*>(a1->file), f);
  EXPECT_EQ(a1->father, a);
  folder_t* it = nullptr;
  std::vector<folder_t*> walk;
  while (file_next_folder(f, &it)) walk.push_back(it);
  EXPECT_EQ(walk, (std::vector<folder_t*>{first, a, a1, b}));
  // From the bottom of a deeper branch the walk climbs back to the next sibling.
  folder_t* a11 = folder_get_or_create(a1, nullptr, 0, nullptr);
  walk.clear();
  while (file_next_folder(f, &it)) walk.push_back(it);
  EXPECT_EQ(walk, (std::vector<folder_t*>{first, a, a1, a11, b}));

  EXPECT_EQ(folder_visible(a1), 1);
  a->displayed = 0;
  EXPECT_EQ(folder_visible(a1), 0);
  EXPECT_EQ(folder_visible(b), 1);
  EXPECT_EQ(folder_visible(nullptr), 1);

  // Releasing the file frees its folders with it.
  free_obj(&f);
  EXPECT_EQ(obj_class_count(kFolderClass, nullptr), 0);
}

TEST_F(Folders, TheExportCopyDropsFoldersWithNothingToShow) {
  fileatt_t* f = file_open(nullptr, nullptr, "http://h/k.kml", nullptr);
  fileatt_t* other = file_open(nullptr, nullptr, "http://h/o.kml", nullptr);
  folder_t* root = folder_get_or_create(f, nullptr, 0, nullptr);
  folder_t* full = folder_get_or_create(root, nullptr, 0, nullptr);
  folder_t* empty = folder_get_or_create(root, nullptr, 0, nullptr);
  folder_t* only_files = folder_get_or_create(full, nullptr, 0, nullptr);
  container_t *l1 = nullptr, *l2 = nullptr;
  obj_list_new(&l1);
  obj_list_new(&l2);
  obj_list_append(l1, reinterpret_cast<obj_t*>(other));  // a file object: nothing to show
  obj_list_append(l1, reinterpret_cast<obj_t*>(l2));     // a list: something to show
  full->sot = l1;
  obj_list_append(l2, reinterpret_cast<obj_t*>(other));
  only_files->sot = l2;
  (void)empty;

  container_t* out = nullptr;
  folder_rebuild(root, &out);
  ASSERT_EQ(obj_list_count(out), 1);
  folder_t* copy = folder_of(out->elems[0]);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, root);
  ASSERT_EQ(obj_list_count(copy->sons), 1);  // "full" kept, its empty son and "empty" gone
  folder_t* kept = folder_of(copy->sons->elems[0]);
  EXPECT_EQ(obj_list_count(kept->sot), 2);
  EXPECT_NE(kept->sot, l1);
  EXPECT_EQ(obj_list_count(kept->sons), 0);
  EXPECT_EQ(obj_class_count(kFolderClass, nullptr), 6);  // four folders, two copies
  free_obj(&kept);
  free_obj(&copy);
  free_obj(&out);
}

TEST_F(Folders, DisplaySwitchesStopAtAFolderWithItsOwnSwitch) {
  fileatt_t* f = file_open(nullptr, nullptr, "http://h/s.gpx", nullptr);
  folder_t* root = folder_get_or_create(f, nullptr, 0, nullptr);
  folder_t* plain = folder_get_or_create(root, nullptr, 0, nullptr);
  plain->userdisplay = 0;
  folder_t* own = folder_get_or_create(root, nullptr, 0, nullptr);
  pairlist* pairs = nullptr;
  pairlist_add(&pairs, 0, reinterpret_cast<std::intptr_t>(root));
  folders_set_displayed(nullptr, pairs);
  EXPECT_EQ(int(root->displayed), 0);
  EXPECT_EQ(int(plain->displayed), 0);
  EXPECT_EQ(int(own->displayed), 1);
  free_mem(&pairs->data);
  free_mem(&pairs);
}

// Without a command target the delayed post lands in the slot's text queue once its
// delay has passed on the virtual clock.
TEST_F(Folders, PeriodicReloadPostsCommandTwentyAfterTheLongerDelay) {
  plat::use_virtual_clock(true);
  task_slots_init();
  const struct {
    const char* floor_s;
    int interval;
    int64_t delay_ms;  // 0: nothing posted
  } cases[] = {{"60", 10, 60000}, {"5", 10, 10000}, {"0", 10, 0}, {nullptr, 10, 0}, {"5", 0, 0}};
  for (const auto& c : cases) {
    config_set("RELOAD_AND_REDRAW", c.floor_s);
    fileatt_t* f = file_open(nullptr, nullptr, "http://h/live.gpx", nullptr);
    folder_t* d = folder_get_or_create(f, nullptr, 0, nullptr);
    d->refreshintrv = c.interval;
    reload_and_redraw(f);
    if (c.delay_ms == 0) {
      EXPECT_EQ(task_slot_state(kReloadCommand), 0) << (c.floor_s ? c.floor_s : "absent");
      free_all_files();
      continue;
    }
    EXPECT_EQ(task_slot_state(kReloadCommand), 2);
    ASSERT_TRUE(tm_test::wait_for([] { return plat::virtual_sleepers_waiting() == 1; }));
    plat::advance_virtual_ms(c.delay_ms - 1);
    EXPECT_EQ(plat::virtual_sleepers_waiting(), 1);
    EXPECT_EQ(task_queue_length(kReloadCommand), 0);
    plat::advance_virtual_ms(1);
    ASSERT_TRUE(tm_test::wait_for([] { return task_queue_length(kReloadCommand) == 1; }));
    char* text = task_queue_take(kReloadCommand);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "1http://h/live.gpx");
    free_mem(&text);
    ASSERT_TRUE(tm_test::wait_for([] { return plat::virtual_sleepers() == 0; }));
    task_slots_init();
    free_all_files();
  }
  plat::use_virtual_clock(false);
}

// The reload command reloads the whole file and the next load arms the next reload: a
// file with several timed folders posts one reload, after the shortest interval, so
// that its pending reloads do not multiply at every round.
TEST_F(Folders, AFileWithSeveralTimedFoldersPostsOneReload) {
  plat::use_virtual_clock(true);
  task_slots_init();
  config_set("RELOAD_AND_REDRAW", "5");
  fileatt_t* f = file_open(nullptr, nullptr, "http://h/two.gpx", nullptr);
  folder_t* root = folder_get_or_create(f, nullptr, 0, nullptr);
  folder_t* sub = folder_get_or_create(root, nullptr, 0, nullptr);
  folder_t* idle = folder_get_or_create(root, nullptr, 0, nullptr);
  root->refreshintrv = 30;
  sub->refreshintrv = 12;
  idle->refreshintrv = 0;
  reload_and_redraw(f);
  ASSERT_TRUE(tm_test::wait_for([] { return plat::virtual_sleepers_waiting() >= 1; }));
  EXPECT_EQ(plat::virtual_sleepers_waiting(), 1);
  plat::advance_virtual_ms(12000);
  ASSERT_TRUE(tm_test::wait_for([] { return task_queue_length(kReloadCommand) == 1; }));
  ASSERT_TRUE(tm_test::wait_for([] { return plat::virtual_sleepers() == 0; }));
  EXPECT_EQ(task_queue_length(kReloadCommand), 1);
  char* text = task_queue_take(kReloadCommand);
  EXPECT_STREQ(text, "1http://h/two.gpx");
  free_mem(&text);
  task_slots_init();
  free_all_files();
  plat::use_virtual_clock(false);
}

}  // namespace

// The worker tasks of the download window, through the command dispatcher: command 13
// downloads, reports an error or an empty download in a message box, or loads the
// files of the items asked in table order; the port goes in every case. Command 18
// searches and hands the list of idle ports to the window's routine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/obj_list.h"
#include "gps/gpsport.h"
#include "tests/framework/dispatcher_fixture.h"
#include "tests/gps/gpsport_fixture.h"

namespace gpsport_test {
namespace {

using Strings = std::vector<std::string>;

void gps_run_command(int slot) {
  if (slot == kGpsDownloadCommand) {
    task_start(slot, task_gps_download);
    return;
  }
  if (slot == kGpsProbeCommand) {
    task_start(slot, task_gps_probe);
    return;
  }
  dispatch_test::stub_run_command(slot);
}

Strings& probe_results() {
  static Strings results;
  return results;
}

void record_probe_result(container_t* list) {
  std::string names;
  for (int i = 0; i < obj_list_count(list); ++i)
    names += std::string(i ? "|" : "") + static_cast<gpsport_t*>(list->elems[i])->display_name;
  probe_results().push_back(list ? names : "<no list>");
  if (list) {
    obj_list_free_elements(list);
    obj_t* l = reinterpret_cast<obj_t*>(list);
    free_obj(&l);
  }
}

class GpsCommands : public dispatch_test::DispatcherFixture {
 protected:
  void SetUp() override {
    DispatcherFixture::SetUp();
    std::memcpy(saved_table_, gps_device_table, sizeof saved_table_);
    gpsport_register();
    reset_world();
    install_stub_families();
    get_dispatcher_hooks().run_command = gps_run_command;
    set_gps_probe_result_routine(record_probe_result);
    probe_results().clear();
    tm_test::clear_message_boxes();
    ASSERT_TRUE(pty_.ok());
    open_frame();
  }
  void TearDown() override {
    set_gps_probe_result_routine(nullptr);
    std::memcpy(gps_device_table, saved_table_, sizeof saved_table_);
    DispatcherFixture::TearDown();
  }

  static Strings loads() {
    Strings out;
    for (const std::string& e : dispatch_test::events())
      if (e.rfind("task 14:", 0) == 0) out.push_back(e);
    return out;
  }

  static Strings boxes() {
    Strings out;
    for (const auto& box : tm_test::message_boxes()) out.push_back(box.caption + ": " + box.text);
    return out;
  }

  gps_device_column saved_table_[kGpsFamilyCount + 1];
  Pty pty_;
};

TEST_F(GpsCommands, DownloadLoadsTheFilesOrReportsWhyNot) {
  struct Case {
    const char* what;
    int family, flags;
    int32_t counts[4];
    int errors[4];
    Strings loads, boxes;
  };
  const Case cases[] = {
      {"every Navilink item", 5, 0x20 | 0x4 | 0x2 | 0x1, {1, 2, 3, 4}, {0, 0, 0, 0},
       {"task 14:1/gps/my day.tmw", "task 14:1/gps/my day.track.tmn", "task 14:1/gps/my day.tmr",
        "task 14:1/gps/my day.datalog.tmn"},
       {}},
      {"Royaltek waypoints and log", 6, 0x20 | 0x1, {0, 0, 0, 9}, {0, 0, 0, 0},
       {"task 14:1/gps/my day.rtkw", "task 14:1/gps/my day.rtkt"}, {}},
      {"nothing downloaded", 5, 0x1 | 0x2, {0, 0, 0, 0}, {0, 0, 0, 0}, {},
       {"End of download: No point downloaded from GPS"}},
      {"an error", 5, 0x1 | 0x2, {5, 0, 0, 0}, {0, ERR_NO_COMM, 0, 0}, {},
       {std::string(get_error_title(ERR_NO_COMM)) + ": " + get_error_text(ERR_NO_COMM)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reset_world();
    tm_test::clear_message_boxes();
    {
      std::lock_guard<std::mutex> guard(dispatch_test::R().lock);
      dispatch_test::R().events.clear();
    }
    for (int i = 0; i < 4; ++i) {
      W().play[c.family].item_counts[i] = c.counts[i];
      W().play[c.family].item_errors[i] = c.errors[i];
    }
    gpsport_t* port = nullptr;
    gpsport_create(1, GPSPORT_SERIAL, 9600, c.family, "", &port);
    str_set(pty_.path().c_str(), &port->device_path);
    const int id = port->id;
    post_command(kGpsDownloadCommand, 0,
                 (std::to_string(id) + " " + std::to_string(c.flags) + " /gps/my day").c_str());
    ASSERT_TRUE(tm_test::run_until_idle());
    EXPECT_EQ(loads(), c.loads);
    EXPECT_EQ(boxes(), c.boxes);
    obj_t* again = nullptr;
    EXPECT_EQ(obj_find_in_class(CLS_GPSPORT, id, &again), nullptr) << "the port is freed";
    EXPECT_EQ(W().drivers_alive, 0);
    EXPECT_EQ(get_gblerr(), 0);
    expect_at_rest();
  }
}

TEST_F(GpsCommands, DownloadOfAnUnknownPortOrBadTextEndsTheTask) {
  for (const char* text : {"424242 1 /gps/none", "12", "", "5 1", "5 1 "}) {
    SCOPED_TRACE(text);
    post_command(kGpsDownloadCommand, 0, text);
    ASSERT_TRUE(tm_test::run_until_idle());
    expect_at_rest();
  }
  EXPECT_TRUE(calls().empty());
  EXPECT_TRUE(tm_test::message_boxes().empty());
}

TEST_F(GpsCommands, ProbeHandsTheIdlePortsToTheWindow) {
  config_set("COM2", pty_.path().c_str());
  W().play[4].identify_result = 1;
  post_command(kGpsProbeCommand, 0, "1 2 0");
  ASSERT_TRUE(tm_test::run_until_idle());
  post_command(kGpsProbeCommand, 0, "1 2 7");
  ASSERT_TRUE(tm_test::run_until_idle());
  post_command(kGpsProbeCommand, 0, "garbage");
  ASSERT_TRUE(tm_test::run_until_idle());
  EXPECT_EQ(probe_results(), (Strings{"Stub4 receiver", "<no list>", "<no list>"}));
  EXPECT_EQ(W().drivers_alive, 0);
  expect_at_rest();
}

}  // namespace
}  // namespace gpsport_test

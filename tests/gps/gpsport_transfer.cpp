// The transfer: connect, the chosen items in the order waypoints, tracks, routes,
// datalog, the first item error stopping the rest and handed back after the port was
// closed, the deletion questions (tracklogs first, none when nothing was downloaded or
// the download of that log failed), the switch-off, empty slots skipped.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gps/gpsport.h"
#include "platform/ui/msgbox.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/support/harness.h"

namespace gpsport_test {
namespace {

class GpsTransfer : public GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    ASSERT_TRUE(pty_.ok());
    install_stub_families();
    session_ = std::make_unique<tm_test::UiSession>();
    tm_test::clear_message_boxes();
  }
  void TearDown() override {
    session_.reset();
    GpsPortFixture::TearDown();
  }

  // A port found by the probe of `family`, closed again, as the dialog offers it.
  gpsport_t* found_port(int family) {
    gpsport_t* port = nullptr;
    gpsport_create(1, GPSPORT_SERIAL, 9600, family, "", &port);
    str_set(pty_.path().c_str(), &port->device_path);
    return port;
  }

  // Downloads and checks that the port ends closed with every driver context freed.
  int32_t download(gpsport_t* port, const char* base, int flags) {
    int32_t count = -1;
    gps_download(port, base, flags, &count);
    EXPECT_EQ(port->connection, nullptr);
    EXPECT_EQ(port->driver, nullptr);
    EXPECT_EQ(W().drivers_alive, 0);
    return count;
  }

  static std::vector<std::string> questions() {
    std::vector<std::string> out;
    for (const auto& box : tm_test::message_boxes()) out.push_back(box.caption + ": " + box.text);
    return out;
  }

  Pty pty_;
  std::unique_ptr<tm_test::UiSession> session_;
};

TEST_F(GpsTransfer, ItemsComeInTableOrderIntoTheirFiles) {
  W().play[5].item_counts[0] = 3;
  W().play[5].item_counts[1] = 40;
  W().play[5].item_counts[2] = 2;
  W().play[5].item_counts[3] = 500;
  gpsport_t* port = found_port(GPS_NAVILINK);
  const int32_t count = download(port, "/data/day", 0x20 | 0x4 | 0x2 | 0x1);
  EXPECT_EQ(count, 545);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(calls(), (std::vector<std::string>{
                         "connect 5", "download 5 0 /data/day.tmw", "download 5 1 /data/day.track.tmn",
                         "download 5 2 /data/day.tmr", "download 5 3 /data/day.datalog.tmn", "close 5"}));
  EXPECT_TRUE(tm_test::message_boxes().empty());
}

TEST_F(GpsTransfer, OnlyTheFlaggedItemsAndFilledSlotsAreAsked) {
  struct Case {
    int family, flags;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {GPS_NAVILINK, 0x2, {"connect 5", "download 5 1 /d/x.track.tmn", "close 5"}},
      {GPS_GARMIN, 0x4 | 0x1, {"connect 1", "download 1 0 /d/x.tmw", "download 1 2 /d/x.tmr", "close 1"}},
      // Emtac has only the datalog: waypoints, tracks and routes are skipped.
      {GPS_EMTAC, 0x1 | 0x2 | 0x4, {"connect 3", "close 3"}},
      {GPS_EMTAC, 0x1 | 0x20, {"connect 3", "download 3 3 /d/x.emt", "close 3"}},
      {GPS_ROYALTEK, 0x20 | 0x1, {"connect 6", "download 6 0 /d/x.rtkw", "download 6 3 /d/x.rtkt", "close 6"}},
      {GPS_MEDIATEK, 0, {"connect 8", "close 8"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.family) + " flags " + std::to_string(c.flags));
    reset_world();
    gpsport_t* port = found_port(c.family);
    download(port, "/d/x", c.flags);
    EXPECT_EQ(calls(), c.expected);
    EXPECT_EQ(get_gblerr(), 0);
    free_obj(&port);
  }
}

// An error while tracks download stops before routes and datalog; the waypoints already
// counted stay, the port is closed, the error comes back afterwards.
TEST_F(GpsTransfer, AnItemErrorStopsTheRestAndIsReportedAfterClosing) {
  W().play[5].item_counts[0] = 7;
  W().play[5].item_counts[1] = 4;
  W().play[5].item_errors[1] = ERR_NO_COMM;
  gpsport_t* port = found_port(GPS_NAVILINK);
  const int32_t count = download(port, "/d/x", 0x1 | 0x2 | 0x4 | 0x20 | 0x10 | 0x8);
  EXPECT_EQ(count, 11);
  EXPECT_EQ(get_gblerr(), ERR_NO_COMM);
  set_gblerr(0);
  // The tracklogs whose download failed are not offered for deletion; the datalog was
  // never downloaded. The switch-off still goes.
  EXPECT_EQ(calls(), (std::vector<std::string>{"connect 5", "download 5 0 /d/x.tmw",
                                               "download 5 1 /d/x.track.tmn", "switch off 5 kind 1",
                                               "close 5"}));
  EXPECT_TRUE(questions().empty());
}

TEST_F(GpsTransfer, AConnectFailureClosesWithTheErrorAndNothingDownloaded) {
  W().play[5].connect_fails = true;
  W().play[5].item_counts[0] = 9;
  gpsport_t* port = found_port(GPS_NAVILINK);
  const int32_t count = download(port, "/d/x", 0x1 | 0x10 | 0x8);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(get_gblerr(), ERR_COM_OPEN);
  set_gblerr(0);
  EXPECT_EQ(calls(), (std::vector<std::string>{"connect 5"}));
}

TEST_F(GpsTransfer, AnEmptyBaseNameConnectsNothing) {
  gpsport_t* port = found_port(GPS_NAVILINK);
  EXPECT_EQ(download(port, "", 0x1), 0);
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(get_gblerr(), 0);
}

// Deletion questions: tracklogs first, then datalog; Yes erases, No does not; nothing
// downloaded asks nothing.
TEST_F(GpsTransfer, DeletionIsAskedPerLogAfterADownload) {
  struct Case {
    const char* what;
    int flags;
    int32_t waypoints, tracks, datalog;
    std::vector<int> answers;
    std::vector<std::string> asked;
    std::vector<std::string> erased;
  };
  const std::string q = "Confirm deletion: Delete ";
  const Case cases[] = {
      {"both, yes yes", 0x2 | 0x20 | 0x10, 0, 5, 6, {plat::IDYES, plat::IDYES},
       {q + "tracklog(s) ?", q + "datalog ?"}, {"erase 5 tracklogs", "erase 5 datalog"}},
      {"both, no yes", 0x2 | 0x20 | 0x10, 0, 5, 6, {plat::IDNO, plat::IDYES},
       {q + "tracklog(s) ?", q + "datalog ?"}, {"erase 5 datalog"}},
      {"tracks only, no", 0x2 | 0x10, 0, 5, 6, {plat::IDNO}, {q + "tracklog(s) ?"}, {}},
      {"datalog only", 0x20 | 0x10, 0, 0, 6, {plat::IDYES}, {q + "datalog ?"}, {"erase 5 datalog"}},
      {"waypoints only: no log to delete", 0x1 | 0x10, 4, 0, 0, {}, {}, {}},
      {"count 0: nothing asked", 0x2 | 0x20 | 0x10, 0, 0, 0, {}, {}, {}},
      {"no delete flag", 0x2 | 0x20, 0, 5, 6, {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reset_world();
    tm_test::clear_message_boxes();
    W().play[5].item_counts[0] = c.waypoints;
    W().play[5].item_counts[1] = c.tracks;
    W().play[5].item_counts[3] = c.datalog;
    for (int a : c.answers) tm_test::answer_next_message_box(a);
    gpsport_t* port = found_port(GPS_NAVILINK);
    download(port, "/d/x", c.flags);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(questions(), c.asked);
    std::vector<std::string> erased;
    for (const std::string& call : calls())
      if (call.rfind("erase", 0) == 0) erased.push_back(call);
    EXPECT_EQ(erased, c.erased);
    free_obj(&port);
  }
}

// A family without delete routine is never asked; nor one without switch-off switched.
TEST_F(GpsTransfer, EmptyDeleteAndSwitchOffSlotsAreSkipped) {
  gps_device_table[GPS_MEDIATEK].erase[1] = nullptr;
  W().play[8].item_counts[3] = 10;
  gpsport_t* port = found_port(GPS_MEDIATEK);
  EXPECT_EQ(download(port, "/d/x", 0x20 | 0x10 | 0x8), 10);
  EXPECT_TRUE(questions().empty());
  EXPECT_EQ(calls(), (std::vector<std::string>{"connect 8", "download 8 3 /d/x.mtkt", "close 8"}));
}

}  // namespace
}  // namespace gpsport_test

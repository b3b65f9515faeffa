// Port objects: creation from a number, from a navigation port name, the list of idle
// ports, close and destroy (the driver's close routine, errors kept, nothing added).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/index.h"
#include "core/obj_list.h"
#include "gps/gpsport.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "tests/gps/gpsport_fixture.h"

namespace gpsport_test {
namespace {

std::string text(const char* s) { return s ? s : "<null>"; }

class GpsPortObject : public GpsPortFixture {};

TEST_F(GpsPortObject, CreateNamesSerialAndUdpPorts) {
  struct Case {
    int number, kind;
    const char* suffix;
    const char* path;
    const char* name;
  };
  const Case cases[] = {
      {3, GPSPORT_SERIAL, "Garmin", "\\\\.\\COM3", "SERIAL PORT \\\\.\\COM3 Garmin"},
      {12, GPSPORT_SERIAL, nullptr, "\\\\.\\COM12", "SERIAL PORT \\\\.\\COM12 "},
      {10110, GPSPORT_UDP, "NMEA", "10110", "UDP PORT 10110 NMEA"},
      {0, GPSPORT_USB, "x", "<null>", "<null>"},
      {7, 9, "x", "<null>", "<null>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gpsport_t* port = nullptr;
    ASSERT_EQ(gpsport_create(c.number, c.kind, 4800, 5, c.suffix, &port), port);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->cls, CLS_GPSPORT);
    EXPECT_EQ(port->kind, c.kind);
    EXPECT_EQ(port->family, 5);
    EXPECT_EQ(port->speed, 4800);
    EXPECT_EQ(text(port->device_path), c.path);
    EXPECT_EQ(text(port->display_name), c.name);
    EXPECT_EQ(port->connection, nullptr);
    obj_t* found = nullptr;
    EXPECT_EQ(obj_find_in_class(CLS_GPSPORT, port->id, &found), port);
    free_obj(&port);
    EXPECT_EQ(port, nullptr);
  }
}

TEST_F(GpsPortObject, ParseNameBuildsTheNavigationPort) {
  struct Case {
    const char* name;
    const char* speed;
    bool made;
    int kind, family, speed_value;
    const char* path;
    const char* display;
    const char* upper;  // the name after the call
  };
  const Case cases[] = {
      {"COM3", "12345", true, 1, 2, 4800, "\\\\.\\COM3", "SERIAL PORT \\\\.\\COM3 NMEA", "COM3"},
      {"com4", "38400", true, 1, 2, 38400, "\\\\.\\COM4", "SERIAL PORT \\\\.\\COM4 NMEA", "COM4"},
      {"Com1", "115200", true, 1, 2, 115200, "\\\\.\\COM1", "SERIAL PORT \\\\.\\COM1 NMEA", "COM1"},
      {"COM2", "0", true, 1, 2, 4800, "\\\\.\\COM2", "SERIAL PORT \\\\.\\COM2 NMEA", "COM2"},
      {"COM3", nullptr, false, 0, 0, 0, "", "", "COM3"},
      {"COM3", "", false, 0, 0, 0, "", "", "COM3"},
      {"COMX", "4800", false, 0, 0, 0, "", "", "COMX"},
      {"COM", "4800", false, 0, 0, 0, "", "", "COM"},
      {"COM3A", "4800", false, 0, 0, 0, "", "", "COM3A"},
      {"COM99999999999999999999", "4800", false, 0, 0, 0, "", "", "COM99999999999999999999"},
      {"udp10110", nullptr, true, 3, 2, 0, "10110", "UDP PORT 10110", "UDP10110"},
      {"UDP", nullptr, false, 0, 0, 0, "", "", "UDP"},
      {"usb", nullptr, true, 2, 0, 0, "<null>", "<null>", "USB"},
      {"uSb", "4800", true, 2, 0, 0, "<null>", "<null>", "USB"},
      {"USB0", nullptr, false, 0, 0, 0, "", "", "USB0"},
      {"/dev/ttyUSB0", "9600", true, 1, 2, 9600, "/dev/ttyUSB0", "SERIAL PORT /dev/ttyUSB0 NMEA",
       "/dev/ttyUSB0"},
      {"/dev/ttyUSB0", nullptr, false, 0, 0, 0, "", "", "/dev/ttyUSB0"},
      {"", "4800", false, 0, 0, 0, "", "", ""},
      {"LPT1", "4800", false, 0, 0, 0, "", "", "LPT1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " / " + text(c.speed));
    std::vector<char> name(c.name, c.name + std::strlen(c.name) + 1);
    gpsport_t* port = reinterpret_cast<gpsport_t*>(0x1);
    gpsport_parse_name(name.data(), c.speed, &port);
    EXPECT_STREQ(name.data(), c.upper);
    EXPECT_EQ(get_gblerr(), 0);
    if (!c.made) {
      EXPECT_EQ(port, nullptr);
      continue;
    }
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->kind, c.kind);
    EXPECT_EQ(port->family, c.family);
    EXPECT_EQ(port->speed, c.speed_value);
    EXPECT_EQ(text(port->device_path), c.path);
    EXPECT_EQ(text(port->display_name), c.display);
    free_obj(&port);
  }
}

// A port in use by live navigation (run flag 1 or a stop request) is never offered.
TEST_F(GpsPortObject, IdleListLeavesOutLivePortsAndSortsByName) {
  gpsport_t* a = nullptr;
  gpsport_t* b = nullptr;
  gpsport_t* c = nullptr;
  gpsport_t* d = nullptr;
  gpsport_create(2, GPSPORT_SERIAL, 4800, 1, "Zeta", &a);
  gpsport_create(1, GPSPORT_SERIAL, 4800, 1, "Alpha", &b);
  gpsport_create(10110, GPSPORT_UDP, 0, 2, "live", &c);
  gpsport_create(4, GPSPORT_SERIAL, 4800, 2, "stopping", &d);
  c->run.store(1);
  d->run.store(-1);
  container_t* list = nullptr;
  gpsport_list_idle(&list);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(obj_list_count(list), 2);
  EXPECT_EQ(list->elems[0], b);
  EXPECT_EQ(list->elems[1], a);
  obj_t* l = reinterpret_cast<obj_t*>(list);
  free_obj(&l);
  // The ports themselves stay.
  EXPECT_EQ(obj_class_count(CLS_GPSPORT, nullptr), 4);
}

// Close calls the family's close routine with the context field, closes the device and
// keeps an error that was set before; destroy closes too.
TEST_F(GpsPortObject, CloseEndsTheDriverAndKeepsAnEarlierError) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  install_stub_families();
  for (int earlier : {0, int(ERR_PROTOCOL)}) {
    SCOPED_TRACE(earlier);
    reset_world();
    gpsport_t* port = nullptr;
    gpsport_create(1, GPSPORT_SERIAL, 9600, GPS_NAVILINK, "", &port);
    str_set(pty.path().c_str(), &port->device_path);
    stub_connect<GPS_NAVILINK>(port);
    ASSERT_NE(port->connection, nullptr);
    ASSERT_NE(port->driver, nullptr);
    set_gblerr(earlier);
    gpsport_close(port);
    EXPECT_EQ(get_gblerr(), earlier);
    set_gblerr(0);
    EXPECT_EQ(port->connection, nullptr);
    EXPECT_EQ(port->driver, nullptr);
    EXPECT_EQ(W().drivers_alive, 0);
    EXPECT_EQ(calls(), (std::vector<std::string>{"connect 5", "close 5"}));
    // The device is free again: it opens.
    com_device* dev = nullptr;
    com_open(pty.path().c_str(), 9600, &dev);
    EXPECT_NE(dev, nullptr);
    com_close(&dev);
    gpsport_close(port);  // nothing left to close
    gpsport_close(nullptr);
    EXPECT_EQ(get_gblerr(), 0);
    free_obj(&port);
  }
}

TEST_F(GpsPortObject, DestroyClosesAnOpenPort) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  install_stub_families();
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 9600, GPS_MEDIATEK, "", &port);
  str_set(pty.path().c_str(), &port->device_path);
  stub_connect<GPS_MEDIATEK>(port);
  ASSERT_NE(port->connection, nullptr);
  free_obj(&port);
  EXPECT_EQ(port, nullptr);
  EXPECT_EQ(W().drivers_alive, 0);
  EXPECT_EQ(calls(), (std::vector<std::string>{"connect 8", "close 8"}));
  com_device* dev = nullptr;
  com_open(pty.path().c_str(), 9600, &dev);
  EXPECT_NE(dev, nullptr);
  com_close(&dev);
}

TEST_F(GpsPortObject, TableHoldsTheFamiliesExtensionsAndNames) {
  const char* const expected[kGpsFamilyCount + 1][4] = {
      {"", "", "", ""},
      {"tmw", "tmt", "tmr", ""},
      {"mglw", "mglt", "mglr", ""},
      {"", "", "", "emt"},
      {"", "", "", "tmn"},
      {"tmw", "track.tmn", "tmr", "datalog.tmn"},
      {"rtkw", "", "", "rtkt"},
      {"", "", "", "tmn"},
      {"", "", "", "mtkt"},
      {"", "", "", "tmn"},
  };
  for (int f = 1; f <= kGpsFamilyCount; ++f)
    for (int i = 0; i < 4; ++i) EXPECT_STREQ(gps_device_table[f].extensions[i], expected[f][i]) << f << " " << i;
  EXPECT_STREQ(gps_family_name(5), "Navilink (Locosys, Amaryllo)");
  EXPECT_STREQ(gps_family_name(8), "MediaTek logger (i-Blue, Qstarz, i.Trek)");
  EXPECT_STREQ(gps_family_name(0), "");
  EXPECT_STREQ(gps_family_name(10), "");
  EXPECT_EQ(gps_family_column(0), nullptr);
  EXPECT_EQ(gps_family_column(10), nullptr);
  char* path = nullptr;
  gps_item_file_name("/data/day", "track.tmn", &path);
  EXPECT_STREQ(path, "/data/day.track.tmn");
  free_mem(&path);
}

// A live NMEA port: destroying it switches the receiver's NMEA output off through the
// device it holds, then frees the reader and closes the device. After a close the
// reader's device is gone: nothing is written then.
TEST_F(GpsPortObject, DestroySwitchesNmeaOffOnlyThroughAnOpenDevice) {
  ASSERT_EQ(nmea_module_init(), 0);
  Pty pty;
  ASSERT_TRUE(pty.ok());
  for (bool closed_first : {false, true}) {
    SCOPED_TRACE(closed_first ? "closed first" : "open");
    std::vector<char> name(pty.path().begin(), pty.path().end());
    name.push_back('\0');
    gpsport_t* port = nullptr;
    gpsport_parse_name(name.data(), "4800", &port);
    ASSERT_NE(port, nullptr);
    com_device* dev = nullptr;
    com_open(port->device_path, port->speed, &dev);
    ASSERT_NE(dev, nullptr);
    port->connection = dev;
    nmea_parser* reader = nullptr;
    ASSERT_GE(run_on_virtual_clock([&] { gps_nmea_on(dev, &reader); }), 0);
    ASSERT_NE(reader, nullptr);
    port->reader = reader;
    pty.drain();
    if (closed_first) gpsport_close(port);
    const int64_t took = run_on_virtual_clock([&] { free_obj(&port); });
    ASSERT_GE(took, 0);
    EXPECT_EQ(port, nullptr);
    const std::string off = "$PMGNCMD,NMEAOFF*3A\r\n" +
                            std::string(reinterpret_cast<const char*>(kNmeaOffFrame), kNmeaSwitchFrameSize);
    EXPECT_EQ(pty.drain(), closed_first ? "" : off);
    com_open(pty.path().c_str(), 4800, &dev);
    EXPECT_NE(dev, nullptr) << "the device was closed";
    com_close(&dev);
  }
}

// The driver modules start in their fixed order, whatever the order they were installed.
TEST_F(GpsPortObject, RegisterStartsTheDriverModulesInOrder) {
  static std::vector<std::string> started;
  started.clear();
  gpsport_set_startup(GPS_STARTUP_ROYALTEK, [] { started.push_back("royaltek"); });
  gpsport_set_startup(GPS_STARTUP_EMTAC, [] { started.push_back("emtac"); });
  gpsport_set_startup(GPS_STARTUP_GARMIN, [] { started.push_back("garmin"); });
  gpsport_set_startup(GPS_STARTUP_MEDIATEK, [] { started.push_back("mediatek"); });
  gpsport_set_startup(GPS_STARTUP_MAGELLAN, [] { started.push_back("magellan"); });
  gpsport_set_startup(GPS_STARTUP_COUNT, [] { started.push_back("none"); });
  gpsport_register();
  for (int m = 0; m < GPS_STARTUP_COUNT; ++m) gpsport_set_startup(m, nullptr);
  EXPECT_EQ(started, (std::vector<std::string>{"garmin", "magellan", "emtac", "mediatek", "royaltek"}));
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 4800, 1, "", &port);
  EXPECT_NE(port, nullptr);
}

}  // namespace
}  // namespace gpsport_test

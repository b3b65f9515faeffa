// The Garmin links against the simulated receiver, on the virtual clock: identification
// and switch-off over the pty with the receiver's faults (refused requests, bad check
// bytes, lone DLEs, junk, short and unterminated product data), and the USB probe with
// stray packets, the bulk pipe, extended product data and oversize packets.
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "gps/garmin/link.h"
#include "gps/garmin/product.h"
#include "gps/gpsport.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/gps_sim/garmin_sim.h"

namespace {

using tm_test::garmin_model;
using tm_test::garmin_sim_faults;
using tm_test::virtual_worker;

garmin_model trail_model() {
  garmin_model m;
  m.product_id = 695;
  m.version = 330;
  m.description = "Trail Sim";
  m.wpt_type = 110;
  m.trk_hdr_type = 312;
  m.trk_type = 302;
  m.offers_pvt = true;
  return m;
}

class GarminLinkSim : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    garmin_init();
    gps_device_table[GPS_GARMIN].close = garmin_close;
  }
  void TearDown() override {
    GpsPortFixture::TearDown();
    plat::usb_sim_enable(false);
  }
  gpsport_t* serial_port() {
    gpsport_t* port = nullptr;
    gpsport_create(1, GPSPORT_SERIAL, 9600, 0, nullptr, &port);
    return port;
  }
};

struct SerialCase {
  const char* name;
  garmin_sim_faults faults;
  int32_t found;
};

garmin_sim_faults serial_fault(int which) {
  garmin_sim_faults f;
  switch (which) {
    case 0: break;
    case 1: f.nak = {0, 3}; break;                // the product request refused three times
    case 2: f.bad_check = {0, 2}; break;          // product data spoilt twice
    case 3: f.stray_dle = {1, 1}; f.dle_offset = 2; break;  // a lone DLE in the array
    case 4: f.junk = {0, 1}; break;               // line noise before the product data
    case 5: f.nak = {0, -1}; break;               // the product request refused for ever
    case 6: f.short_record = {0, -1}; break;      // product data of 3 bytes
    case 7: f.unterminated = {0, -1}; break;      // description without its end
    case 8: f.silence = {0, 1}; break;            // nothing at all
    case 9: f.size_beyond = {0, 2}; break;        // size byte beyond the data, twice
    case 10: f.size_beyond = {0, -1}; break;      // ... and for ever
    case 11: f.bad_check = {0, -1}; break;        // product data spoilt for ever
  }
  return f;
}

class GarminLinkSimSerial : public GarminLinkSim,
                            public ::testing::WithParamInterface<SerialCase> {};

TEST_P(GarminLinkSimSerial, IdentifyOverThePty) {
  const SerialCase& c = GetParam();
  tm_test::garmin_sim_pty sim(trail_model(), c.faults);
  ASSERT_TRUE(sim.ok());
  gpsport_t* port = serial_port();
  ASSERT_NE(port, nullptr);
  int32_t r = -5;
  {
    virtual_worker w([&] { r = garmin_identify(sim.path().c_str(), port); });
    EXPECT_GE(sim.drive(w), 0);
  }
  EXPECT_EQ(r, c.found);
  EXPECT_EQ(get_gblerr(), 0);
  if (c.found != 1) {
    EXPECT_EQ(port->connection, nullptr);
    return;
  }
  EXPECT_STREQ(port->display_name, "Trail Sim");
  const garmin_product* e = static_cast<const garmin_product*>(port->driver);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->from_receiver, 1u);
  EXPECT_EQ(e->waypoint_type->number, 110);
  EXPECT_EQ(e->track_header_type->number, 312);
  EXPECT_EQ(e->realtime, nullptr);
  // Switch off: the command goes through, acknowledged.
  {
    virtual_worker w([&] { garmin_power_off(port->connection, port->driver, port->kind); });
    EXPECT_GE(sim.drive(w), 0);
  }
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_TRUE(sim.trace().powered_off);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, GarminLinkSimSerial,
    ::testing::Values(SerialCase{"Clean", serial_fault(0), 1},
                      SerialCase{"RequestRefusedThrice", serial_fault(1), 1},
                      SerialCase{"BadCheckByteTwice", serial_fault(2), 1},
                      SerialCase{"LoneDle", serial_fault(3), 1},
                      SerialCase{"Junk", serial_fault(4), 1},
                      SerialCase{"RequestRefusedForEver", serial_fault(5), 0},
                      SerialCase{"ShortProductData", serial_fault(6), 0},
                      SerialCase{"UnterminatedDescription", serial_fault(7), 0},
                      SerialCase{"Silent", serial_fault(8), 0},
                      SerialCase{"SizeBeyondTheDataTwice", serial_fault(9), 1},
                      SerialCase{"SizeBeyondTheDataForEver", serial_fault(10), 0},
                      SerialCase{"BadCheckByteForEver", serial_fault(11), 0}),
    [](const ::testing::TestParamInfo<SerialCase>& info) { return std::string(info.param.name); });

struct UsbCase {
  const char* name;
  int fault;
  int found;
  int err;  // left after the probe
};

class GarminLinkSimUsb : public GarminLinkSim, public ::testing::WithParamInterface<UsbCase> {};

TEST_P(GarminLinkSimUsb, ProbeOverUsb) {
  const UsbCase& c = GetParam();
  plat::usb_sim_enable(true);
  garmin_model m = trail_model();
  garmin_sim_faults f;
  switch (c.fault) {
    case 1: f.usb_stray_before_session = 5; break;
    case 2: f.usb_bulk_always = true; m.ext_product_data = {"one", "two", "three"}; break;
    case 3: m.send_protocol_array = false; break;
    case 4: f.size_beyond = {0, -1}; break;
    case 5: f.size_beyond = {1, -1}; break;
    case 6: f.unterminated = {0, -1}; break;
    case 7: f.endless_interrupt = true; break;
  }
  tm_test::garmin_sim_usb sim(m, f);
  ASSERT_EQ(sim.add(), 0);
  gpsport_t* port = nullptr;
  int r = -1;
  virtual_worker w([&] { r = garmin_usb_probe(0, &port); });
  EXPECT_GE(w.run(), 0);
  EXPECT_EQ(r, c.found);
  EXPECT_EQ(get_gblerr(), c.err);
  if (!c.found) {
    EXPECT_EQ(port, nullptr);
    return;
  }
  ASSERT_NE(port, nullptr);
  EXPECT_STREQ(port->display_name, "Trail Sim");
  EXPECT_TRUE(sim.trace().session_started);
  EXPECT_NE(port->capabilities & GPS_TRACKS, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, GarminLinkSimUsb,
    ::testing::Values(UsbCase{"Clean", 0, 1, 0}, UsbCase{"StrayBeforeSession", 1, 1, 0},
                      UsbCase{"BulkWithExtProductData", 2, 1, 0},
                      UsbCase{"NoProtocolArray", 3, 0, 0},
                      UsbCase{"ProductDataBeyondItsBytes", 4, 0, 0},
                      UsbCase{"ProtocolArrayBeyondItsBytes", 5, 0, 0},
                      UsbCase{"UnterminatedDescription", 6, 0, 0},
                      // An interrupt message that never ends fails the read itself.
                      UsbCase{"EndlessInterrupt", 7, 0, ERR_NO_COMM}),
    [](const ::testing::TestParamInfo<UsbCase>& info) { return std::string(info.param.name); });

}  // namespace

// Identification of a Garmin receiver over the serial link, against a pseudo-terminal
// playing the receiver on the virtual clock: product request until acknowledged,
// product data read only inside the packet, the product table or the protocol array,
// and the family routines identify, reconnect, switch off and close.
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/link.h"
#include "gps/garmin/link_internal.h"
#include "gps/garmin/product.h"
#include "gps/gpsport.h"
#include "gps/port_io.h"
#include "tests/gps/garmin_link_frames.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"

namespace {

using namespace garmin_link_test;
using tm_test::pty_pair;
using tm_test::virtual_worker;

const std::string kProductRqst("\x10\xfe\x00\x02\x10\x03", 6);

const triple kArray[] = {{'P', 0},   {'L', 1},   {'A', 10},  {'A', 100}, {'D', 108},
                         {'A', 201}, {'D', 202}, {'D', 108}, {'D', 210}, {'A', 301},
                         {'D', 310}, {'D', 301}, {'A', 800}};

class GarminIdentify : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    ASSERT_TRUE(pty.ok());
    garmin_init();
    gps_device_table[GPS_GARMIN].close = garmin_close;
  }
  void TearDown() override {
    garmin_close(&entry_holder);
    garmin_link_free();
    com_close(&dev);
    GpsPortFixture::TearDown();
  }
  void open_link() {
    com_open(pty.path().c_str(), 9600, &dev);
    ASSERT_NE(dev, nullptr);
    ASSERT_EQ(garmin_link_open(), 0);
  }
  int identify(garmin_product** out) {
    int err = -1;
    virtual_worker w([&] { err = garmin_serial_identify(dev, out); });
    EXPECT_GE(w.run(), 0);
    entry_holder = *out;
    return err;
  }
  template <class F> void run(F f) {
    virtual_worker w(f);
    EXPECT_GE(w.run(), 0);
  }

  pty_pair pty;
  com_device* dev = nullptr;
  void* entry_holder = nullptr;  // freed (when from a protocol array) after the test
};

TEST_F(GarminIdentify, AReceiverWithoutProtocolArrayIsServedByTheTable) {
  open_link();
  ASSERT_TRUE(pty.send(ack(254) + frame(255, product_data(29, 400, "eTrex Test"))));
  garmin_product* e = nullptr;
  ASSERT_EQ(identify(&e), 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->from_receiver, 0u);
  EXPECT_EQ(e->product_id, 29);
  EXPECT_STREQ(e->description, "eTrex Test");
  ASSERT_NE(e->waypoint_type, nullptr);
  EXPECT_EQ(e->waypoint_type->number, 102);
  EXPECT_EQ(get_gblerr(), 0);  // the missing protocol array is no error
  // The request, then the ACK of the product data.
  EXPECT_EQ(pty.drain(), kProductRqst + ack(255));
}

TEST_F(GarminIdentify, AProtocolArrayBuildsAFreshEntry) {
  open_link();
  ASSERT_TRUE(pty.send(ack(254) + frame(255, product_data(29, 400, "Newer")) +
                       frame(253, protocol_array(kArray))));
  garmin_product* e = nullptr;
  ASSERT_EQ(identify(&e), 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->from_receiver, 1u);
  EXPECT_STREQ(e->description, "Newer");
  EXPECT_EQ(e->link, &garmin_link_l001);
  EXPECT_EQ(e->command, &garmin_cmd_a010);
  EXPECT_EQ(e->waypoint_type->number, 108);
  EXPECT_EQ(e->route_header_type->number, 202);
  EXPECT_EQ(e->track_header_type->number, 310);
  EXPECT_EQ(e->track_point_type->number, 301);
  EXPECT_NE(e->waypoint_transfer, nullptr);
  EXPECT_EQ(e->realtime, nullptr);  // A800 is for the USB link only
  EXPECT_EQ(pty.drain(), kProductRqst + ack(255) + ack(253));
}

TEST_F(GarminIdentify, TheProductRequestIsRepeatedUntilAcknowledged) {
  open_link();
  ASSERT_TRUE(pty.send(nak(254) + ack(10) + ack(254) + frame(255, product_data(29, 399, "R")) +
                       frame(253, protocol_array(kArray))));
  garmin_product* e = nullptr;
  EXPECT_EQ(identify(&e), 0);
  EXPECT_EQ(pty.drain(), kProductRqst + kProductRqst + kProductRqst + ack(255) + ack(253));
}

struct FailCase {
  const char* name;
  std::string line;
  int requests;  // product requests written
};

class GarminIdentifyFails : public GarminIdentify,
                            public ::testing::WithParamInterface<FailCase> {};

TEST_P(GarminIdentifyFails, AReceiverThatDoesNotAnswerAsExpectedIsRefused) {
  const FailCase& c = GetParam();
  open_link();
  if (!c.line.empty()) {
    ASSERT_TRUE(pty.send(c.line));
  }
  garmin_product* e = reinterpret_cast<garmin_product*>(8);
  EXPECT_EQ(identify(&e), ERR_PROTOCOL);
  EXPECT_EQ(get_gblerr(), ERR_PROTOCOL);
  EXPECT_EQ(e, nullptr);
  // Exactly that many product requests went out.
  const std::string written = pty.drain();
  int requests = 0;
  for (size_t at = written.find(kProductRqst); at != std::string::npos;
       at = written.find(kProductRqst, at + 1)) {
    ++requests;
  }
  EXPECT_EQ(requests, c.requests);
}

std::string naks(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += nak(254);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Receivers, GarminIdentifyFails,
    ::testing::Values(
        FailCase{"Silent", "", 1},
        FailCase{"NeverAcknowledged", naks(12), kGarminSendTries},
        FailCase{"OtherPacketThanProductData", ack(254) + frame(35, "xx"), 1},
        // Product data too short for id and version, or a description without its end.
        FailCase{"ShortProductData", ack(254) + frame(255, std::string("\x1d\x00\x90", 3)), 1},
        FailCase{"UnterminatedDescription", ack(254) + frame(255, std::string("\x1d\x00\x90\x01" "abc", 7)),
                 1},
        // A product id past the table's last and no protocol array.
        FailCase{"UnknownWithoutArray", ack(254) + frame(255, product_data(5000, 100, "Odd")), 1}),
    [](const ::testing::TestParamInfo<FailCase>& info) { return std::string(info.param.name); });

// ---- Family routines ---------------------------------------------------------------------

TEST_F(GarminIdentify, IdentifyFillsThePortOrLeavesNothingBehind) {
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 9600, 0, nullptr, &port);
  ASSERT_NE(port, nullptr);
  // A device that cannot be opened.
  EXPECT_EQ(garmin_identify("/nonexistent/ttyG0", port), GPS_IDENTIFY_UNOPENABLE);
  EXPECT_EQ(garmin_link().buf, nullptr);
  // A silent device: not a Garmin, no error left, nothing held.
  int32_t r = -5;
  run([&] { r = garmin_identify(pty.path().c_str(), port); });
  EXPECT_EQ(r, GPS_IDENTIFY_NONE);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(garmin_link().buf, nullptr);
  // A receiver.
  pty.drain();
  ASSERT_TRUE(pty.send(ack(254) + frame(255, product_data(29, 400, "Newer")) +
                       frame(253, protocol_array(kArray))));
  run([&] { r = garmin_identify(pty.path().c_str(), port); });
  EXPECT_EQ(r, 1);
  EXPECT_EQ(port->family, GPS_GARMIN);
  EXPECT_EQ(port->kind, GPSPORT_SERIAL);
  EXPECT_EQ(std::string(port->device_path), pty.path());
  EXPECT_STREQ(port->display_name, "Newer");
  EXPECT_NE(port->connection, nullptr);
  ASSERT_NE(port->driver, nullptr);
  EXPECT_EQ(port->capabilities, uint32_t(GPS_SWITCH_OFF | GPS_WAYPOINTS | GPS_TRACKS | GPS_ROUTES));
  gpsport_close(port);
  EXPECT_EQ(port->driver, nullptr);
  EXPECT_EQ(garmin_link().buf, nullptr);
}

TEST_F(GarminIdentify, ReconnectingToAnotherReceiverClosesThePort) {
  gpsport_t* port = nullptr;
  gpsport_create(1, GPSPORT_SERIAL, 9600, 0, nullptr, &port);
  ASSERT_NE(port, nullptr);
  str_set(pty.path().c_str(), &port->device_path);
  str_set("Newer", &port->display_name);
  // The same receiver: connected, entry in the port.
  ASSERT_TRUE(pty.send(ack(254) + frame(255, product_data(29, 400, "Newer")) +
                       frame(253, protocol_array(kArray))));
  int err = -1;
  run([&] { err = garmin_serial_reconnect(port); });
  EXPECT_EQ(err, 0);
  EXPECT_NE(port->connection, nullptr);
  EXPECT_NE(port->driver, nullptr);
  // Another receiver on the same device.
  pty.drain();
  ASSERT_TRUE(pty.send(ack(254) + frame(255, product_data(29, 400, "Other")) +
                       frame(253, protocol_array(kArray))));
  run([&] { err = garmin_serial_reconnect(port); });
  EXPECT_EQ(err, ERR_PROTOCOL);
  EXPECT_EQ(get_gblerr(), ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(port->driver, nullptr);
  // The device is free again: the port closed it.
  com_device* again = nullptr;
  EXPECT_NE(com_open(pty.path().c_str(), 9600, &again), nullptr);
  com_close(&again);
  // A device that cannot be opened: 4.
  set_gblerr(0);
  str_set("/nonexistent/ttyG0", &port->device_path);
  EXPECT_EQ(garmin_serial_reconnect(port), ERR_COM_OPEN);
  EXPECT_EQ(port->connection, nullptr);
}

TEST_F(GarminIdentify, SwitchingOffRepeatsTheCommandUntilAcknowledged) {
  open_link();
  garmin_product entry{};
  entry.link = &garmin_link_l002;
  entry.command = &garmin_cmd_a011;
  ASSERT_TRUE(pty.send(nak(11) + ack(11)));
  run([&] { garmin_power_off(dev, &entry, GPSPORT_SERIAL); });
  EXPECT_EQ(get_gblerr(), 0);
  const std::string sent = frame(11, word(26));
  EXPECT_EQ(pty.drain(), sent + sent);
}

}  // namespace

namespace {

TEST_F(GarminIdentify, CloseFreesOnlyEntriesBuiltFromAProtocolArray) {
  garmin_product_data pd{29, 400, "Kept"};
  garmin_product* table = nullptr;
  ASSERT_EQ(garmin_product_lookup(&pd, &table), 1);
  ASSERT_EQ(garmin_link_open(), 0);
  void* driver = table;
  garmin_close(&driver);
  EXPECT_EQ(driver, nullptr);
  EXPECT_EQ(garmin_link().buf, nullptr);
  EXPECT_EQ(garmin_link().cap, 0u);
  // The table entry is still there, the same one.
  garmin_product* again = nullptr;
  ASSERT_EQ(garmin_product_lookup(&pd, &again), 1);
  EXPECT_EQ(again, table);
  EXPECT_STREQ(again->description, "Kept");
  // An entry of the receiver's own goes (the leak checker sees it otherwise).
  garmin_product* own = nullptr;
  ASSERT_NE(garmin_product_from_array(&pd, &own), nullptr);
  driver = own;
  garmin_close(&driver);
  EXPECT_EQ(driver, nullptr);
}

}  // namespace

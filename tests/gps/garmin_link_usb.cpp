// Garmin USB link against simulated receivers on the virtual clock: packet headers,
// the session start, the move to the bulk pipe after "data available", zero-length and
// multi-packet interrupt messages, identification with its product data and protocol
// array, packets shorter than their header or their announced data, the drain, the
// command packet, the probe by index and the reconnection check.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/link.h"
#include "gps/garmin/product.h"
#include "gps/gpsport.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"
#include "tests/gps/garmin_link_frames.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"

namespace {

using namespace garmin_link_test;
using tm_test::virtual_worker;

// One reply of a simulated receiver: an interrupt message (cut into 64-byte packets,
// a zero-length packet after a last full one) or one bulk transfer.
struct reply {
  bool bulk;
  std::string bytes;
};
reply intr(uint8_t type, uint16_t id, const std::string& data, long long announced = -1) {
  return {false, usb_packet(type, id, data, announced)};
}
reply bulk(uint8_t type, uint16_t id, const std::string& data, long long announced = -1) {
  return {true, usb_packet(type, id, data, announced)};
}
reply raw_intr(const std::string& bytes) { return {false, bytes}; }
using replies = std::map<uint16_t, std::vector<reply>>;

// What the host wrote to the receivers, in order.
struct host_writes {
  std::mutex mutex;
  std::vector<std::string> all;
  void add(const std::string& s) {
    std::lock_guard<std::mutex> lock(mutex);
    all.push_back(s);
  }
  std::vector<std::string> get() {
    std::lock_guard<std::mutex> lock(mutex);
    return all;
  }
};

void send(plat::usb_sim_link& link, const reply& r) {
  if (r.bulk) {
    link.send_bulk(r.bytes.data(), r.bytes.size());
    return;
  }
  size_t at = 0;
  while (r.bytes.size() - at >= 64) {
    link.send_interrupt(r.bytes.data() + at, 64);
    at += 64;
  }
  link.send_interrupt(r.bytes.data() + at, r.bytes.size() - at);  // short or zero-length
}

// A receiver that answers each host packet by its id with the replies listed for it;
// `pick` chooses the table by the number of the open (from 0).
plat::usb_sim_script answering(std::vector<replies> by_open, host_writes* rec,
                               std::shared_ptr<std::atomic<int>> opens) {
  return [by_open, rec, opens](plat::usb_sim_link& link) {
    const int n = opens->fetch_add(1);
    const replies& table = by_open[size_t(n) < by_open.size() ? size_t(n) : by_open.size() - 1];
    char buf[8192];
    for (;;) {
      const long got = link.receive(buf, sizeof buf);
      if (got < 0) return;
      if (got == 0) continue;
      rec->add(std::string(buf, size_t(got)));
      if (got < 12) continue;
      const uint16_t id = uint16_t(uint8_t(buf[4]) | (uint8_t(buf[5]) << 8));
      const auto it = table.find(id);
      if (it == table.end()) continue;
      for (const reply& r : it->second) send(link, r);
    }
  };
}

int fake_realtime(com_device*, garmin_product*) { return 0; }

const triple kArray[] = {{'P', 0},   {'L', 1},   {'A', 10},  {'A', 100}, {'D', 110},
                         {'A', 201}, {'D', 202}, {'D', 110}, {'D', 210}, {'A', 302},
                         {'D', 312}, {'D', 302}, {'A', 800}, {'D', 800}};

const std::string kSessionStart = usb_packet(0, 5, "");
const std::string kProductRqst = usb_packet(20, 254, "");

std::vector<reply> many(const reply& r, int n) { return std::vector<reply>(size_t(n), r); }

class GarminUsb : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    plat::usb_sim_enable(true);
    garmin_init();
    garmin_set_realtime_routine(fake_realtime);
    gps_device_table[GPS_GARMIN].close = garmin_close;
  }
  void TearDown() override {
    garmin_close(&entry_holder);
    com_close(&dev);
    free_mem(&path);
    GpsPortFixture::TearDown();
    plat::usb_sim_enable(false);
    garmin_set_realtime_routine(nullptr);
  }
  void add(replies r) { add_opens({std::move(r)}); }
  void add_opens(std::vector<replies> r) {
    plat::usb_sim_add(64, answering(std::move(r), &writes, std::make_shared<std::atomic<int>>(0)));
  }
  void open_first() { ASSERT_NE(usb_find_device(0, &path, &dev), nullptr); }
  template <class F> void run(F f) {
    virtual_worker w(f);
    EXPECT_GE(w.run(), 0);
  }

  host_writes writes;
  com_device* dev = nullptr;
  char* path = nullptr;
  void* entry_holder = nullptr;
};

// ---- Packets -----------------------------------------------------------------------------

TEST_F(GarminUsb, PacketsAreReadFromTheirHeaderAndCheckedAgainstTheBytesThatCame) {
  add({{1, {intr(20, 0x1234, "abcd"), intr(20, 7, "ab", 3), raw_intr("short"),
            intr(0, 2, ""), bulk(20, 9, std::string(100, 'b'))}}});
  open_first();
  // What each read gave (the packet itself lies in the device's buffer until the next).
  struct seen {
    garmin_usb_packet p;
    std::string data;
    int index = 0;
    int check = -1;
  } r[4];
  run([&] {
    usb_write(dev, usb_packet(20, 1, "").data(), 12);
    for (seen& x : r) {
      garmin_usb_read(dev, &x.index, &x.p);
      x.check = garmin_usb_packet_check(&x.p);
      if (x.check == 0) x.data.assign(reinterpret_cast<const char*>(x.p.data), x.p.size);
      set_gblerr(0);
    }
  });
  EXPECT_EQ(r[0].p.count, 16);
  EXPECT_EQ(r[0].p.type, 20);
  EXPECT_EQ(r[0].p.id, 0x1234);
  EXPECT_EQ(r[0].p.size, 4u);
  EXPECT_EQ(r[0].data, "abcd");
  EXPECT_EQ(r[0].check, 0);
  EXPECT_EQ(r[0].index, 0);
  // Three bytes announced, two came.
  EXPECT_EQ(r[1].p.size, 3u);
  EXPECT_EQ(r[1].check, ERR_PROTOCOL);
  // Shorter than a header.
  EXPECT_EQ(r[2].p.count, 5);
  EXPECT_EQ(r[2].p.data, nullptr);
  EXPECT_EQ(r[2].check, ERR_PROTOCOL);
  // Data available: the packet comes from the bulk pipe, which serves the rest.
  EXPECT_EQ(r[3].index, 1);
  EXPECT_EQ(r[3].p.id, 9);
  EXPECT_EQ(r[3].data, std::string(100, 'b'));
}

TEST_F(GarminUsb, CommandPacketsHaveFourteenBytes) {
  add({});
  open_first();
  garmin_product entry{};
  entry.link = &garmin_link_l001;
  entry.command = &garmin_cmd_a010;
  run([&] {
    EXPECT_EQ(garmin_usb_send_command(dev, 0x0102, 10), 0);
    garmin_power_off(dev, &entry, GPSPORT_USB);
  });
  // Nothing answers a command: wait until the receiver has both.
  EXPECT_TRUE(tm_test::wait_for([&] { return writes.get().size() >= 2; }));
  const std::vector<std::string> w = writes.get();
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0], std::string("\x14\0\0\0\x0a\0\0\0\x02\0\0\0\x02\x01", 14));
  EXPECT_EQ(w[1], usb_packet(20, 10, word(8)));
}

// ---- Session start -----------------------------------------------------------------------

struct SessionCase {
  const char* name;
  std::vector<reply> answer;
  int err;
};

class GarminUsbSession : public GarminUsb, public ::testing::WithParamInterface<SessionCase> {};

TEST_P(GarminUsbSession, TheSessionStartsOnSessionStarted) {
  const SessionCase& c = GetParam();
  add({{5, c.answer}});
  open_first();
  int err = -1;
  run([&] { err = garmin_usb_start_session(dev); });
  EXPECT_EQ(err, c.err);
  EXPECT_EQ(get_gblerr(), c.err);
  const std::vector<std::string> w = writes.get();
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w[0], kSessionStart);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, GarminUsbSession,
    ::testing::Values(
        SessionCase{"Direct", {intr(0, 6, word(1234) + word(0))}, 0},
        SessionCase{"StrayPacketsFirst",
                    {intr(20, 255, "x"), intr(20, 12, ""), intr(0, 9, ""), raw_intr("tiny"),
                     intr(0, 6, "")},
                    0},
        SessionCase{"DataAvailableThenBulk", {intr(0, 2, ""), bulk(0, 6, "")}, 0},
        SessionCase{"Nothing", {}, ERR_PROTOCOL},
        SessionCase{"ZeroLengthMessage", {raw_intr("")}, ERR_PROTOCOL},
        SessionCase{"EndlessStrayPackets", many(intr(20, 12, ""), 300), ERR_PROTOCOL}),
    [](const ::testing::TestParamInfo<SessionCase>& info) { return std::string(info.param.name); });

// ---- Identification ----------------------------------------------------------------------

struct IdentifyCase {
  const char* name;
  std::vector<reply> answer;  // to the product request
  int err;
};

class GarminUsbIdentify : public GarminUsb, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(GarminUsbIdentify, TheProtocolArrayMakesTheEntry) {
  const IdentifyCase& c = GetParam();
  add({{254, c.answer}});
  open_first();
  garmin_product* e = reinterpret_cast<garmin_product*>(8);
  int err = -1;
  run([&] { err = garmin_usb_identify(dev, &e); });
  entry_holder = err == 0 ? e : nullptr;
  EXPECT_EQ(err, c.err);
  EXPECT_EQ(get_gblerr(), c.err);
  EXPECT_EQ(writes.get().at(0), kProductRqst);
  if (c.err != 0) {
    EXPECT_EQ(e, nullptr);
    return;
  }
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->from_receiver, 1u);
  EXPECT_EQ(e->product_id, 695);
  EXPECT_STREQ(e->description, "Trail USB");
  EXPECT_EQ(e->link, &garmin_link_l001);
  EXPECT_EQ(e->waypoint_type->number, 110);
  EXPECT_EQ(e->track_header_type->number, 312);
  EXPECT_EQ(e->track_point_type->number, 302);
  EXPECT_EQ(e->realtime, fake_realtime);  // A800 over USB
}

const std::string kProduct = product_data(695, 330, "Trail USB");
const std::string kArrayData = protocol_array(kArray);

INSTANTIATE_TEST_SUITE_P(
    Answers, GarminUsbIdentify,
    ::testing::Values(
        IdentifyCase{"Interrupt", {intr(20, 255, kProduct), intr(20, 253, kArrayData)}, 0},
        IdentifyCase{"ExtProductDataSkipped",
                     {intr(20, 255, kProduct), intr(20, 248, "ext one"), intr(20, 248, "ext two"),
                      intr(20, 248, "ext three"), intr(20, 253, kArrayData)},
                     0},
        // Product data of exactly 64 bytes (a zero-length packet ends it) and a protocol
        // array spread over several interrupt packets.
        IdentifyCase{"FullPacketsAndZeroLength",
                     {intr(20, 255, kProduct + std::string(52 - kProduct.size(), 'z')),
                      intr(20, 253, kArrayData + kArrayData + kArrayData)},
                     0},
        IdentifyCase{"DataAvailableThenBulk",
                     {intr(0, 2, ""), bulk(20, 255, kProduct), bulk(20, 248, "ext"),
                      bulk(20, 253, kArrayData), bulk(20, 99, "stray"), bulk(20, 0, "")},
                     0},
        // No product table over USB: a receiver without a protocol array is refused,
        // even one the table knows.
        IdentifyCase{"NoProtocolArray", {intr(20, 255, product_data(29, 400, "Old"))}, ERR_PROTOCOL},
        IdentifyCase{"EmptyProtocolArray", {intr(20, 255, kProduct), intr(20, 253, "")}, ERR_PROTOCOL},
        IdentifyCase{"OtherReply", {intr(20, 12, kProduct)}, ERR_PROTOCOL},
        IdentifyCase{"ShortHeader", {raw_intr(std::string("\x14\0\0\0\xff\0\0\0", 8))}, ERR_PROTOCOL},
        IdentifyCase{"ProductDataBeyondTheBytes", {intr(20, 255, kProduct, 200)}, ERR_PROTOCOL},
        IdentifyCase{"ShortProductData", {intr(20, 255, std::string("\xb7\x02\x4a", 3))}, ERR_PROTOCOL},
        IdentifyCase{"UnterminatedDescription", {intr(20, 255, std::string("\xb7\x02\x4a\x01" "Trail", 9))},
                     ERR_PROTOCOL},
        IdentifyCase{"ProtocolArrayBeyondTheBytes",
                     {intr(20, 255, kProduct), intr(20, 253, kArrayData, 4000)}, ERR_PROTOCOL},
        IdentifyCase{"EndlessExtProductData",
                     [] {
                       std::vector<reply> r{intr(20, 255, kProduct)};
                       const std::vector<reply> ext = many(intr(20, 248, "ext"), 300);
                       r.insert(r.end(), ext.begin(), ext.end());
                       return r;
                     }(),
                     ERR_PROTOCOL},
        IdentifyCase{"Silent", {}, ERR_PROTOCOL}),
    [](const ::testing::TestParamInfo<IdentifyCase>& info) { return std::string(info.param.name); });

TEST_F(GarminUsb, TheDrainStopsAtAnEmptyPacket) {
  add({{254,
        {intr(0, 2, ""), bulk(20, 255, kProduct), bulk(20, 253, kArrayData), bulk(20, 99, "one"),
         bulk(20, 99, "two"), bulk(20, 0, ""), bulk(20, 77, "after")}}});
  open_first();
  garmin_product* e = nullptr;
  garmin_usb_packet next{};
  int index = 1;
  run([&] {
    EXPECT_EQ(garmin_usb_identify(dev, &e), 0);
    garmin_usb_read(dev, &index, &next);
  });
  entry_holder = e;
  EXPECT_EQ(next.id, 77);
  EXPECT_EQ(next.size, 5u);
}

// ---- Probe and reconnect -----------------------------------------------------------------

replies receiver_named(const std::string& name) {
  return {{5, {intr(0, 6, "")}},
          {254, {intr(20, 255, product_data(695, 330, name)), intr(20, 253, kArrayData)}}};
}

TEST_F(GarminUsb, TheProbeMakesAPortForTheReceiverAtItsIndex) {
  add(receiver_named("Trail USB"));
  add({});  // a device that never answers
  gpsport_t* found[3] = {nullptr, nullptr, nullptr};
  int r[3] = {-1, -1, -1};
  run([&] {
    for (int i = 0; i < 3; ++i) r[i] = garmin_usb_probe(i, &found[i]);
  });
  EXPECT_EQ(r[0], 1);
  ASSERT_NE(found[0], nullptr);
  EXPECT_EQ(found[0]->family, GPS_GARMIN);
  EXPECT_EQ(found[0]->kind, GPSPORT_USB);
  EXPECT_STREQ(found[0]->device_path, "sim:0");
  EXPECT_STREQ(found[0]->display_name, "Trail USB");
  EXPECT_NE(found[0]->connection, nullptr);
  EXPECT_NE(found[0]->driver, nullptr);
  EXPECT_EQ(found[0]->capabilities,
            uint32_t(GPS_SWITCH_OFF | GPS_WAYPOINTS | GPS_TRACKS | GPS_ROUTES | GPS_REALTIME));
  // The silent one: nothing made, no error left, its device closed again.
  EXPECT_EQ(r[1], 0);
  EXPECT_EQ(found[1], nullptr);
  EXPECT_EQ(r[2], 0);
  EXPECT_EQ(get_gblerr(), 0);
  com_device* again = nullptr;
  EXPECT_NE(usb_open("sim:1", 1, &again), nullptr);
  com_close(&again);
}

TEST_F(GarminUsb, ReconnectingToAnotherReceiverGives17AndClosesThePort) {
  // The same device path answers with another description from its third open on.
  add_opens({receiver_named("Trail USB"), receiver_named("Trail USB"), receiver_named("Other")});
  gpsport_t* port = nullptr;
  int err[2] = {-1, -1};
  run([&] {
    garmin_usb_probe(0, &port);
    if (!port) return;
    gpsport_close(port);  // as the search leaves it
    err[0] = garmin_usb_reconnect(port);
    err[1] = garmin_usb_reconnect(port);
  });
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(err[0], 0);
  EXPECT_EQ(err[1], ERR_PROTOCOL);
  EXPECT_EQ(get_gblerr(), ERR_PROTOCOL);
  EXPECT_EQ(port->connection, nullptr);
  EXPECT_EQ(port->driver, nullptr);
  com_device* again = nullptr;
  EXPECT_NE(usb_open("sim:0", 0, &again), nullptr);
  com_close(&again);
}

}  // namespace

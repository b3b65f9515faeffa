// The Garmin real-time stream: chunks gathered into packets and handled (position,
// measurements, satellites), packets and records that are short or announce more than
// they carry dropped, a packet that never ends kept within bounds and skipped; the poll
// of a simulated receiver's interrupt pipe (short and zero-length packets ending a
// packet, a receiver that never stops, an unplugged one); the read that hands the
// position to the live reader; the PVT NMEA log and the raw receiver log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/product.h"
#include "gps/garmin/pvt.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_log.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "platform/usb/usb.h"
#include "tests/gps/garmin_pvt_fixture.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/pty_fixture.h"
#include "tests/support/test_env.h"
#include "tests/support/wait.h"

namespace {

using namespace garmin_pvt_test;
using tm_test::virtual_worker;

constexpr int32_t kUntouched = 4242;  // wn_days of a record no packet has replaced

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> files_with_prefix(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) out.push_back(name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The stream's packets cut into interrupt chunks of at most 64 bytes; a packet whose
// length is a multiple of 64 is followed by a zero-length chunk.
std::vector<std::string> chunks_of(const std::vector<std::string>& packets) {
  std::vector<std::string> out;
  for (const std::string& p : packets) {
    for (size_t at = 0; at < p.size(); at += 64) out.push_back(p.substr(at, 64));
    if (p.size() % 64 == 0) out.push_back("");
  }
  return out;
}

class GarminPvtStream : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    saved_usb_ = get_gps_usb_hooks();
    saved_live_ = get_navig_pvt_hooks();
    garmin_pvt_install();
    state_ = pvt_state_new(nullptr, nullptr);
    ASSERT_NE(state_, nullptr);
    state_->pvt.wn_days = kUntouched;
    log_dir_ = tm_test::fresh_dir("pvtlogs");
    config_set_dir("LOG_DIR", nullptr, log_dir_.c_str());
  }
  void TearDown() override {
    if (state_) {
      com_close(&state_->device);
      pvt_state_free(&state_);
    }
    plat::usb_sim_enable(false);
    plat::use_virtual_clock(false);
    get_gps_usb_hooks() = saved_usb_;
    get_navig_pvt_hooks() = saved_live_;
    garmin_set_realtime_routine(nullptr);
    GpsPortFixture::TearDown();
  }

  // Feeds the packet whole, as one chunk that ends it.
  int feed_packet(const std::string& packet) {
    return pvt_feed_chunk(state_, bytes_of(packet), int(packet.size()), 1);
  }
  // Feeds chunks as the interrupt pipe gives them: a chunk below 64 bytes ends a packet.
  int feed_chunks(const std::vector<std::string>& chunks) {
    int flags = 0;
    for (const std::string& c : chunks)
      flags |= pvt_feed_chunk(state_, bytes_of(c), int(c.size()), c.size() < 64 ? 1 : 0);
    return flags;
  }
  // A simulated receiver on the USB backend whose device the state reads.
  void open_receiver(plat::usb_sim_script script) {
    plat::usb_sim_enable(true);
    plat::usb_sim_add(64, std::move(script));
    char* path = nullptr;
    ASSERT_NE(usb_find_device(0, &path, &state_->device), nullptr);
    free_mem(&path);
  }
  // A Garmin USB port whose reader is the state (the port owns it from now on).
  gpsport_t* port_with_state() {
    gpsport_t* port = nullptr;
    gpsport_create(0, GPSPORT_USB, 0, GPS_GARMIN, "", &port);
    EXPECT_NE(port, nullptr);
    if (port) {
      port->reader = state_;
      state_ = nullptr;
    }
    return port;
  }

  pvt_state* state_ = nullptr;
  std::string log_dir_;
  gps_usb_hooks saved_usb_;
  navig_pvt_hooks saved_live_;
};

struct PacketCase {
  const char* name;
  std::string packet;
  int flag;
};

TEST_F(GarminPvtStream, PacketsAreHandledOnlyWhenWholeAndTheirRecordComplete) {
  const std::string d800 = first_of("case").data;
  const std::string rcv = first_of("rcv").data;
  const std::string sat = first_of("sat").data;
  const PacketCase cases[] = {
      {"position", usb_packet(51, d800), kPvtGotPosition},
      {"measurements", usb_packet(52, rcv), kPvtGotReceiver},
      {"satellites", usb_packet(114, sat), kPvtGotSatellites},
      {"more data than announced", usb_packet(51, d800 + "xyz", 64), kPvtGotPosition},
      {"header cut short", usb_packet(51, d800).substr(0, 11), 0},
      {"no data", usb_packet(51, ""), 0},
      {"announced beyond the data", usb_packet(51, d800, 84), 0},
      {"announced size 4 GiB", usb_packet(51, d800, 0xfffffff0u), 0},
      {"position one byte short", usb_packet(51, d800.substr(0, 63)), 0},
      {"measurements one byte short", usb_packet(52, rcv.substr(0, 225)), 0},
      {"satellites one byte short", usb_packet(114, sat.substr(0, 83)), 0},
      {"unknown packet", usb_packet(99, d800), 0},
  };
  for (const PacketCase& c : cases) {
    SCOPED_TRACE(c.name);
    pvt_state_free(&state_);
    state_ = pvt_state_new(nullptr, nullptr);
    ASSERT_NE(state_, nullptr);
    state_->pvt.wn_days = kUntouched;
    state_->receiver.week = -7;
    state_->satellites[0].svid = 201;
    EXPECT_EQ(feed_packet(c.packet), c.flag);
    EXPECT_EQ(state_->used, 0u);
    EXPECT_EQ(state_->pvt.wn_days != kUntouched, c.flag == kPvtGotPosition);
    EXPECT_EQ(state_->nmea_text != nullptr, c.flag == kPvtGotPosition);
    EXPECT_EQ(state_->receiver.week != -7, c.flag == kPvtGotReceiver);
    EXPECT_EQ(state_->satellites[0].svid != 201, c.flag == kPvtGotSatellites);
  }
}

TEST_F(GarminPvtStream, ChunksAreGatheredUntilAShortOrEmptyChunkEndsThePacket) {
  const Block rec = first_of("case");
  // 76 bytes: a full chunk and a short one.
  EXPECT_EQ(feed_chunks(chunks_of({usb_packet(51, rec.data)})), kPvtGotPosition);
  ASSERT_NE(state_->nmea_text, nullptr);
  EXPECT_EQ(std::string(state_->nmea_text), rec.expected);
  // 64 bytes exactly: the zero-length chunk after it ends it.
  std::string satellites = first_of("sat").data;
  const std::vector<std::string> chunks = chunks_of({usb_packet(114, satellites.substr(0, 52))});
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(feed_chunks(chunks), 0);  // too short for the satellites: dropped
  EXPECT_EQ(state_->used, 0u);
  // Then a whole measurement packet in four chunks.
  EXPECT_EQ(feed_chunks(chunks_of({usb_packet(52, first_of("rcv").data)})), kPvtGotReceiver);
}

// A receiver that never ends its packet: the buffer stops at the largest packet, the
// rest up to the packet's end is skipped (even when it looks like a packet), and the
// next packet is read again.
TEST_F(GarminPvtStream, APacketThatNeverEndsIsKeptWithinBoundsAndSkipped) {
  const std::string chunk(64, '\x33');
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(pvt_feed_chunk(state_, bytes_of(chunk), 64, 0), 0);
    ASSERT_LE(state_->used, kPvtMaxPacket);
    ASSERT_LE(state_->capacity, 4 * kPvtMaxPacket);
  }
  const std::string tail = usb_packet(51, first_of("case").data);
  EXPECT_EQ(pvt_feed_chunk(state_, bytes_of(tail), int(tail.size()), 1), 0);
  EXPECT_EQ(state_->pvt.wn_days, kUntouched);
  EXPECT_EQ(feed_packet(tail), kPvtGotPosition);
}

TEST_F(GarminPvtStream, ThePollReadsTheReceiversPacketsInOrder) {
  const Block pos = first_of("case"), rcv = first_of("rcv"), sat = first_of("sat");
  const std::vector<std::string> chunks = chunks_of(
      {usb_packet(51, pos.data), usb_packet(114, sat.data), usb_packet(7, std::string(52, 'u')),
       usb_packet(52, rcv.data)});
  open_receiver([chunks](plat::usb_sim_link& link) {
    for (const std::string& c : chunks) link.send_interrupt(c.data(), c.size());
    char buf[16];
    while (link.receive(buf, sizeof buf) >= 0) {
    }
  });
  ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }));
  std::vector<int> results;
  virtual_worker w([&] {
    for (int i = 0; i < 4; ++i) results.push_back(pvt_poll(state_));
  });
  EXPECT_GE(w.run(), 0);
  int flags = 0;
  for (int r : results) {
    EXPECT_GE(r, 0);
    flags |= r;
  }
  EXPECT_EQ(flags, kPvtGotPosition | kPvtGotSatellites | kPvtGotReceiver);
  ASSERT_NE(state_->nmea_text, nullptr);
  EXPECT_EQ(std::string(state_->nmea_text), pos.expected);
  pvt_satellite s[kPvtChannels];
  ASSERT_EQ(garmin_sat_unpack(bytes_of(sat.data), sat.data.size(), s), 0);
  EXPECT_EQ(state_->satellites[11].svid, s[11].svid);
  EXPECT_EQ(state_->satellites[11].azimuth, s[11].azimuth);
  EXPECT_EQ(state_->used, 0u);
}

TEST_F(GarminPvtStream, AReceiverThatNeverStopsSendingCannotHoldThePoll) {
  open_receiver([](plat::usb_sim_link& link) {
    const std::string p(64, 'r');
    while (!link.host_closed()) {
      if (!link.send_interrupt(p.data(), p.size())) link.sleep(1);
    }
  });
  std::vector<int> results;
  virtual_worker w([&] {
    for (int i = 0; i < 8; ++i) results.push_back(pvt_poll(state_));
  });
  EXPECT_GE(w.run(), 0);
  ASSERT_EQ(results.size(), 8u);
  for (int r : results) EXPECT_EQ(r, 0);
  EXPECT_LE(state_->used, kPvtMaxPacket);
  EXPECT_LE(state_->capacity, 4 * kPvtMaxPacket);
}

// The read goes through the receiver's A800 routine; a position fills the fix with the
// position's NMEA text as its raw bytes; an unplugged receiver is a read error.
TEST_F(GarminPvtStream, TheReadHandsOverPositionsAndReportsAnUnpluggedReceiver) {
  const Block pos = first_of("case");
  const std::vector<std::string> chunks = chunks_of({usb_packet(51, pos.data)});
  open_receiver([chunks](plat::usb_sim_link& link) {
    for (const std::string& c : chunks) link.send_interrupt(c.data(), c.size());
    link.sleep(50);  // then unplugged
  });
  garmin_product entry{};
  garmin_apply_protocol('A', 800, &entry, 1);
  ASSERT_NE(entry.realtime, nullptr);
  state_->product = &entry;  // a table-like entry: never freed by the state
  ASSERT_TRUE(tm_test::wait_for([] { return plat::usb_sim_settled(); }));
  nmea_fix* fix = nullptr;
  ASSERT_NE(nmea_fix_new(&fix), nullptr);
  std::vector<int> results;
  std::string raw;
  virtual_worker w([&] {
    for (int i = 0; i < 100; ++i) {
      const int r = pvt_read(state_, fix);
      results.push_back(r);
      if (r == 1) raw.assign(reinterpret_cast<char*>(fix->raw), size_t(fix->raw_length));
      if (r < 0) break;
      plat::sleep_ms(10);
    }
  });
  EXPECT_GE(w.run(), 0);
  ASSERT_FALSE(results.empty());
  EXPECT_EQ(std::count(results.begin(), results.end(), 1), 1);
  EXPECT_EQ(results.back(), -1);
  EXPECT_EQ(raw, pos.expected);
  EXPECT_EQ(fix->valid.position, 1);
  nmea_fix_free(&fix);
  state_->product = nullptr;
  // Without a real-time routine nothing can be read.
  EXPECT_EQ(pvt_read(state_, nullptr), -1);
}

// The PVT NMEA log: header and datum sentences, then the four sentences of every position;
// the live reader's log routines close it. The raw log: its header line, then the lines
// of the measurements and satellites; its switch closes it.
TEST_F(GarminPvtStream, BothLogsHoldTheirHeaderAndEveryRecord) {
  const Block pos = first_of("case"), rcv = first_of("rcv"), sat = first_of("sat");
  pvt_state* state = state_;
  gpsport_t* port = port_with_state();
  ASSERT_NE(port, nullptr);
  navig_log_set(1);
  navig_logs_open();  // the live reader's routine: the PVT NMEA log of a Garmin USB port
  EXPECT_EQ(port->nmea_log_open.load(), 1);
  navig_rawlog_set(1);  // opens the raw log of every Garmin USB port
  EXPECT_EQ(port->raw_log_open.load(), 1);
  const std::vector<std::string> pvt_logs = files_with_prefix(log_dir_, "PVT_");
  const std::vector<std::string> raw_logs = files_with_prefix(log_dir_, "RCV_");
  ASSERT_EQ(pvt_logs.size(), 1u);
  ASSERT_EQ(raw_logs.size(), 1u);
  EXPECT_EQ(pvt_logs[0].size(), std::string("PVT_2026-12-10_10h10m10s.nmea").size());
  EXPECT_EQ(pvt_logs[0].substr(pvt_logs[0].size() - 5), ".nmea");
  EXPECT_EQ(raw_logs[0].substr(raw_logs[0].size() - 4), ".tmr");

  EXPECT_EQ(pvt_feed_chunk(state, bytes_of(usb_packet(52, rcv.data)), 238, 1), kPvtGotReceiver);
  EXPECT_EQ(pvt_feed_chunk(state, bytes_of(usb_packet(51, pos.data)), 76, 1), kPvtGotPosition);
  EXPECT_EQ(pvt_feed_chunk(state, bytes_of(usb_packet(114, sat.data)), 96, 1), kPvtGotSatellites);

  const std::string header =
      "$PTMQH,NMEA File Header*62\r\n$PGRMM,WGS 84*06\r\n";
  EXPECT_EQ(read_all(log_dir_ + pvt_logs[0]), header + pos.expected);
  EXPECT_EQ(read_all(log_dir_ + raw_logs[0]),
            std::string(kPvtRawLogHeader) + "\n" + rcv.expected + sat.expected);

  navig_rawlog_set(0);
  EXPECT_EQ(port->raw_log_open.load(), 0);
  EXPECT_EQ(state->raw_log, nullptr);
  navig_logs_close();
  EXPECT_EQ(port->nmea_log_open.load(), 0);
  EXPECT_EQ(state->nmea_log, nullptr);
  // Nothing more is written once closed.
  EXPECT_EQ(pvt_feed_chunk(state, bytes_of(usb_packet(51, pos.data)), 76, 1), kPvtGotPosition);
  EXPECT_EQ(read_all(log_dir_ + pvt_logs[0]), header + pos.expected);

  // Opened again within the same second: a log of its own.
  pvt_nmea_log_open(port);
  pvt_nmea_log_open(port);  // the port has its log: nothing more
  const std::vector<std::string> again = files_with_prefix(log_dir_, "PVT_");
  ASSERT_EQ(again.size(), 2u);
  EXPECT_NE(std::find(again.begin(), again.end(),
                      pvt_logs[0].substr(0, pvt_logs[0].size() - 5) + "_2.nmea"),
            again.end());
  navig_log_set(0);
  obj_t* o = port;
  free_obj(&o);  // the port's destroy stops the state through the hook
  EXPECT_EQ(files_with_prefix(log_dir_, "PVT_").size(), 2u);
}

TEST_F(GarminPvtStream, LogsNeedAStateAndAFolderTheyCanBeCreatedIn) {
  gpsport_t* bare = nullptr;
  gpsport_create(0, GPSPORT_USB, 0, GPS_GARMIN, "", &bare);
  ASSERT_NE(bare, nullptr);
  pvt_nmea_log_open(bare);
  pvt_raw_log_open(bare);
  EXPECT_EQ(bare->nmea_log_open.load(), 0);
  EXPECT_EQ(bare->raw_log_open.load(), 0);
  EXPECT_TRUE(files_with_prefix(log_dir_, "PVT_").empty());
  EXPECT_TRUE(files_with_prefix(log_dir_, "RCV_").empty());

  // A log folder replaced by a plain file: the logs stay closed and nothing is written.
  const std::string folder = log_dir_ + "gone/";
  config_set_dir("LOG_DIR", nullptr, folder.c_str());
  ASSERT_STREQ(get_log_dir(), folder.c_str());
  std::filesystem::remove(folder);
  tm_test::write_file(folder.substr(0, folder.size() - 1), "x");
  pvt_state* state = state_;
  gpsport_t* port = port_with_state();
  ASSERT_NE(port, nullptr);
  pvt_nmea_log_open(port);
  pvt_raw_log_open(port);
  EXPECT_EQ(state->nmea_log, nullptr);
  EXPECT_EQ(state->raw_log, nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  const std::string pos = usb_packet(51, first_of("case").data);
  EXPECT_EQ(pvt_feed_chunk(state, bytes_of(pos), int(pos.size()), 1), kPvtGotPosition);
  obj_t* o = port;
  free_obj(&o);
  o = bare;
  free_obj(&o);
  set_gblerr(0);
}

// The raw logging switch is turned on the user-interface thread while the reader thread
// handles measurements: every log holds its header and whole measurement blocks only.
TEST_F(GarminPvtStream, TheRawLogSwitchTurnsWhileTheReaderWrites) {
  const Block rcv = first_of("rcv");
  pvt_state* state = state_;
  gpsport_t* port = port_with_state();
  ASSERT_NE(port, nullptr);
  const std::string packet = usb_packet(52, rcv.data);
  std::thread reader([&] {
    for (int i = 0; i < 300; ++i)
      EXPECT_EQ(pvt_feed_chunk(state, bytes_of(packet), int(packet.size()), 1), kPvtGotReceiver);
  });
  for (int i = 0; i < 30; ++i) {
    pvt_raw_log_open(port);
    std::this_thread::yield();
    pvt_raw_log_close(port);
  }
  reader.join();
  pvt_raw_log_close(port);
  const std::vector<std::string> raw = files_with_prefix(log_dir_, "RCV_");
  ASSERT_FALSE(raw.empty());
  for (const std::string& name : raw) {
    std::string text = read_all(log_dir_ + name);
    const std::string header = std::string(kPvtRawLogHeader) + "\n";
    ASSERT_EQ(text.compare(0, header.size(), header), 0) << name;
    text.erase(0, header.size());
    while (!text.empty()) {
      ASSERT_EQ(text.compare(0, rcv.expected.size(), rcv.expected), 0) << name;
      text.erase(0, rcv.expected.size());
    }
  }
  obj_t* o = port;
  free_obj(&o);
}

}  // namespace

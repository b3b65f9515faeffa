// NMEA output: tails over the characters after "$" in a buffer of exactly six bytes,
// sentences of any length sent in one piece, file and in-memory writes, and the bytes
// that switch a receiver's NMEA output on and off, in order.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/memory.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "tests/core/config_fixture.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/support/test_env.h"

namespace gpsport_test {
namespace {

// The tail worked out here: XOR of the characters after "$".
std::string reference_tail(const std::string& sentence) {
  int sum = 0;
  for (size_t i = 1; i < sentence.size(); ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return tail;
}

// A sentence of n characters: "$GPTXT," and fields.
std::string long_sentence(size_t n) {
  std::string s = "$GPTXT,01,01,02,";
  while (s.size() < n) s += char('A' + s.size() % 26);
  return s.substr(0, n);
}

TEST(NmeaOutput, TailFitsSixBytesAndCoversTheCharactersAfterTheDollar) {
  static_assert(kNmeaTailSize == 6);
  struct Case {
    const char* sentence;
    const char* tail;
  };
  const Case cases[] = {
      {"$PMGNCMD,NMEAON", "*74\r\n"},
      {"$PMGNCMD,NMEAOFF", "*3A\r\n"},
      {"$PROY103,1,0", "*27\r\n"},
      {"$PTMQH,NMEA File Header", "*62\r\n"},
      {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", "*47\r\n"},
      {"$", "*00\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sentence);
    // Exactly the size the interface names, on the heap: a write past it is caught.
    std::unique_ptr<char[]> tail(new char[kNmeaTailSize]);
    EXPECT_EQ(nmea_checksum_suffix(c.sentence, tail.get()), 2);
    EXPECT_STREQ(tail.get(), c.tail);
    EXPECT_EQ(reference_tail(c.sentence), c.tail);
  }
}

TEST(NmeaOutput, SwitchFramesAreTheTenBytesOfTheCommand) {
  const uint8_t on[] = {0xA0, 0xA2, 0x00, 0x02, 0xBC, 0x01, 0x00, 0xBD, 0xB0, 0xB3};
  const uint8_t off[] = {0xA0, 0xA2, 0x00, 0x02, 0xBC, 0x00, 0x00, 0xBC, 0xB0, 0xB3};
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(kNmeaOnFrame), 10),
            std::string(reinterpret_cast<const char*>(on), 10));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(kNmeaOffFrame), 10),
            std::string(reinterpret_cast<const char*>(off), 10));
}

class NmeaOutputFiles : public tm_test::ConfigFixture {};

TEST_F(NmeaOutputFiles, SentencesOfAnyLengthGoToFilesAndMemoryWithTheirTail) {
  const std::string path = tm_test::fresh_dir("nmea_out") + "out.nmea";
  const std::string sentences[] = {"$PMGNCMD,NMEAON", long_sentence(94), long_sentence(95),
                                   long_sentence(1000)};
  std::string expected;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  filemobj_t* store = nullptr;
  line_store_register();
  ASSERT_EQ(filemobj_create(nullptr, nullptr, 0, 256, 3, &store), 0);
  for (const std::string& s : sentences) {
    EXPECT_EQ(nmea_sentence_write(file, s.c_str()), 1);
    EXPECT_EQ(nmea_sentence_write_mem(store, s.c_str()), 1);
    expected += s + reference_tail(s);
  }
  std::fclose(file);
  std::FILE* in = std::fopen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  std::string written(expected.size() + 16, '\0');
  written.resize(std::fread(&written[0], 1, written.size(), in));
  std::fclose(in);
  EXPECT_EQ(written, expected);
  ASSERT_EQ(filemobj_data_size(store), int64_t(expected.size()));
  std::string in_memory;
  for (int64_t at = 0; at < filemobj_data_size(store);) {
    int64_t n = filemobj_data_size(store) - at;
    const uint8_t* p = filemobj_read_ptr(store, at, &n);
    ASSERT_NE(p, nullptr);
    in_memory.append(reinterpret_cast<const char*>(p), size_t(n));
    at += n;
  }
  EXPECT_EQ(in_memory, expected);
  free_obj(&store);
  EXPECT_EQ(nmea_sentence_write(nullptr, "$X"), 0);
  EXPECT_EQ(nmea_sentence_write_mem(nullptr, "$X"), 0);
}

// Rate commands carry a receiver's own numbers and may pass 94 characters: the whole
// sentence goes out, in one write, with its tail.
TEST_F(NmeaOutputFiles, SendWritesTheWholeSentenceAndTailToTheDevice) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  com_device* dev = nullptr;
  com_open(pty.path().c_str(), 4800, &dev);
  ASSERT_NE(dev, nullptr);
  std::string expected;
  for (size_t n : {size_t(15), size_t(94), size_t(95), size_t(99), size_t(250), size_t(900)}) {
    const std::string s = n == 15 ? std::string("$PROY103,1,1") : long_sentence(n);
    EXPECT_EQ(nmea_send(dev, s.c_str()), int(s.size() + 5));
    expected += s + reference_tail(s);
  }
  com_close(&dev);
  EXPECT_EQ(pty.drain(), expected);
}

// NMEA on: the command, the frame, the two rate sentences, in that order, and a reader
// with its fix on the device; off: the command and the frame, after half a second.
TEST_F(NmeaOutputFiles, NmeaOnAndOffWriteTheirBytesInOrder) {
  ASSERT_EQ(nmea_module_init(), 0);
  Pty pty;
  ASSERT_TRUE(pty.ok());
  com_device* dev = nullptr;
  com_open(pty.path().c_str(), 4800, &dev);
  ASSERT_NE(dev, nullptr);
  nmea_parser* reader = nullptr;
  const std::string frame_on(reinterpret_cast<const char*>(kNmeaOnFrame), 10);
  const std::string frame_off(reinterpret_cast<const char*>(kNmeaOffFrame), 10);
  const int64_t on_took = run_on_virtual_clock([&] { gps_nmea_on(dev, &reader); });
  ASSERT_GE(on_took, 0);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->device, dev);
  EXPECT_NE(reader->fix, nullptr);
  EXPECT_EQ(reader->log, nullptr);
  EXPECT_EQ(pty.drain(), "$PMGNCMD,NMEAON*74\r\n" + frame_on + "$PROY103,1,0*27\r\n$PROY103,1,1*26\r\n");
  const int64_t off_took = run_on_virtual_clock([&] { gps_nmea_off(reader); });
  EXPECT_GE(off_took, 500);
  EXPECT_EQ(pty.drain(), "$PMGNCMD,NMEAOFF*3A\r\n" + frame_off);
  nmea_reader_free(&reader);
  com_close(&dev);
}

}  // namespace
}  // namespace gpsport_test

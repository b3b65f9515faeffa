// The Deflate decoder on raw and zlib-wrapped streams: agreement with zlib on the
// streams of the fixtures, the hand-made streams of the format's corners, and the
// refusal of every kind of damaged stream with a clear code.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/checksum.h"
#include "core/config.h"
#include "core/tracelog.h"
#include "tests/core/inflate_fixture.h"

namespace tm_test {
namespace {

class InflateStream : public InflateFixture {};

// ---- Streams made by zlib --------------------------------------------------------------

struct zlib_stream {
  std::string name, kind;
  bool zlib;
  std::string bytes;
};

std::vector<zlib_stream> zlib_streams() {
  const std::string blob = read_deflate_fixture("streams.bin");
  std::istringstream index(read_deflate_fixture("streams.txt"));
  std::vector<zlib_stream> out;
  std::string name, kind, wrap;
  size_t size = 0, offset = 0;
  while (index >> name >> kind >> wrap >> size) {
    out.push_back({name, kind, wrap == "zlib", blob.substr(offset, size)});
    offset += size;
  }
  EXPECT_EQ(offset, blob.size());
  return out;
}

// Levels 0-9, the filtered, Huffman-only, run-length and fixed strategies, windows of
// 2^9 to 2^15 bytes, raw and zlib-wrapped, streams of many blocks (stored, fixed and
// dynamic, empty ones among them), on text, image rows, long runs, data repeated more
// than 16 KiB later and bytes whose codes take 15 bits.
TEST_F(InflateStream, AgreesWithZlibOnEveryStream) {
  const auto streams = zlib_streams();
  ASSERT_FALSE(streams.empty());
  for (const zlib_stream& s : streams) {
    SCOPED_TRACE(s.name);
    const std::string expected = read_deflate_fixture("input_" + s.kind + ".bin");
    const inflate_result r = inflate_bytes(s.bytes, s.zlib);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.gblerr, 0);
    EXPECT_EQ(r.finished, 1);
    EXPECT_TRUE(r.out == expected) << "decoded " << r.out.size() << " of " << expected.size();
    EXPECT_EQ(r.position, int64_t(s.bytes.size()));
  }
}

// The reader is left just after the stream (its trailer included): what follows it is
// read next. A short tail is met by the byte-by-byte end of the decoder; a long one
// lets its fast loop read past the end of the stream before the bytes it did not use
// are handed back.
TEST_F(InflateStream, LeavesTheReaderAfterTheStream) {
  const auto streams = zlib_streams();
  const std::string tails[] = {"TAIL-BYTES", "LONG-TAIL" + std::string(100, '\xA5') + "END"};
  const char* const names[] = {
      "text-raw-level6",       // dynamic block, final mid-byte
      "runs-raw-level0",       // stored block
      "image-raw-fixed",       // fixed block
      "text-raw-mem1-level6",  // many blocks
      "far-raw-flushes",       // ends with an empty stored block and an empty fixed one
      "text-level6",           // zlib: after the Adler-32 trailer
  };
  for (const char* name : names) {
    const zlib_stream* found = nullptr;
    for (const zlib_stream& s : streams)
      if (s.name == name) found = &s;
    ASSERT_NE(found, nullptr) << name;
    for (const std::string& tail : tails) {
      SCOPED_TRACE(std::string(name) + " + " + std::to_string(tail.size()) + " bytes");
      const std::string bytes = found->bytes + tail;
      obj_t* input = stub_memory_file(bytes.data(), int64_t(bytes.size()));
      obj_t* output = get_file_ops().new_in_memory();
      inflater_t inf;
      inf.input = input;
      inf.window_size = 32768;
      inf.store = reinterpret_cast<filemobj_t*>(file_store_of(output));
      if (found->zlib)
        ASSERT_EQ(zlib_read_header(&inf), 0);
      else
        ASSERT_EQ(rd_open(input, 131072, 1), 0);
      ASSERT_EQ(inflate_blocks(&inf), 0);
      EXPECT_EQ(inf.finished, 1);
      EXPECT_EQ(rd_tell(), int64_t(found->bytes.size()));
      std::string rest(tail.size(), '\0');
      EXPECT_EQ(rd_read_bytes(rest.data(), int64_t(rest.size())), int64_t(tail.size()));
      EXPECT_EQ(rest, tail);
      rd_close_all();
      get_file_ops().free_file(output);
      get_file_ops().free_file(input);
    }
  }
}

// ---- Hand-made streams ----------------------------------------------------------------

// A header whose code lengths use repeats (code-length symbols 16-18): literal/length
// lengths 'a' 2, 'b' 2, 256 2, 257 3, 258 3, then one 16-repeat of the 3 that runs
// over symbol 258 into the first five distance lengths, and a second one for the last
// three. `first_repeat` and `last_repeat` (3..6) set the two repeat counts.
void crossing_header(bit_writer& w, int first_repeat, int last_repeat, bool repeat_first) {
  w.bits(1, 1);
  w.bits(2, 2);
  w.bits(259 - 257, 5);
  w.bits(8 - 1, 5);
  w.bits(16 - 4, 4);
  // Code-length code: 2, 3, 18 of length 2; 16, 17 of length 3.
  const int cl_in_order[16] = {3, 3, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2};
  for (int l : cl_in_order) w.bits(uint32_t(l), 3);
  const canonical_code cl = canonical(lengths_of(19, {{2, 2}, {3, 2}, {18, 2}, {16, 3}, {17, 3}}));
  if (repeat_first) {
    put(w, cl, 16);
    w.bits(0, 2);
  }
  put(w, cl, 18), w.bits(97 - 11, 7);   // 0..96
  put(w, cl, 2), put(w, cl, 2);         // 'a', 'b'
  put(w, cl, 18), w.bits(138 - 11, 7);  // 99..236
  put(w, cl, 18), w.bits(19 - 11, 7);   // 237..255
  put(w, cl, 2);                        // 256
  put(w, cl, 3);                        // 257
  put(w, cl, 16), w.bits(uint32_t(first_repeat - 3), 2);
  put(w, cl, 16), w.bits(uint32_t(last_repeat - 3), 2);
}

std::string crossing_stream(int first_repeat, int last_repeat, bool repeat_first = false) {
  bit_writer w;
  crossing_header(w, first_repeat, last_repeat, repeat_first);
  const canonical_code lit = canonical(lengths_of(259, {{'a', 2}, {'b', 2}, {256, 2}, {257, 3}, {258, 3}}));
  const canonical_code dist = canonical(std::vector<int>(8, 3));
  put(w, lit, 'a'), put(w, lit, 'b');
  put(w, lit, 257), put(w, dist, 1);                   // length 3, distance 2
  put(w, lit, 258), put(w, dist, 4), w.bits(0, 1);     // length 4, distance 5
  put(w, lit, 256);
  return w.data();
}

std::string fixed_stream(std::initializer_list<int> symbols_and_distances) {
  // Symbols below 286 are literal/length symbols; a value v >= 1000 is the distance
  // code v - 1000 (no extra bits).
  bit_writer w;
  w.bits(1, 1);
  w.bits(1, 2);
  for (int v : symbols_and_distances) {
    if (v >= 1000) w.fixed_distance(v - 1000);
    else w.fixed_symbol(v);
  }
  return w.data();
}

std::string repeat_258_stream() {
  return fixed_stream({'x', 285, 1000, 256});
}

std::string mixed_blocks_stream() {
  bit_writer w;
  stored_block(w, "hello ", false);
  stored_block(w, "", false);
  w.bits(1, 1);
  w.bits(1, 2);
  for (char c : std::string("world")) w.fixed_symbol(uint8_t(c));
  w.fixed_symbol(256);
  return w.data();
}

std::string literals_only_stream() {
  bit_writer w;
  const auto lit = lengths_of(257, {{'h', 1}, {'i', 2}, {256, 2}});
  dynamic_header(w, true, lit, {0});
  const canonical_code c = canonical(lit);
  put(w, c, 'h'), put(w, c, 'i'), put(w, c, 'h'), put(w, c, 256);
  return w.data();
}

std::string single_distance_stream() {
  bit_writer w;
  const auto lit = lengths_of(258, {{'a', 1}, {256, 2}, {257, 2}});
  dynamic_header(w, true, lit, {1});
  const canonical_code c = canonical(lit);
  put(w, c, 'a'), put(w, c, 257), w.code(0, 1), put(w, c, 256);
  return w.data();
}

struct good_case {
  const char* name;
  std::string stream;
  std::string expected;
};

TEST_F(InflateStream, DecodesTheCornersOfTheFormat) {
  const good_case cases[] = {
      {"distance 1 length 258", repeat_258_stream(), std::string(259, 'x')},
      {"16-repeat running into the distance lengths", crossing_stream(6, 3), "ababaabab"},
      {"distance equal to the output so far", fixed_stream({'a', 'b', 'c', 'd', 258, 1003, 256}),
       "abcdabcd"},
      {"stored, empty stored and fixed blocks", mixed_blocks_stream(), "hello world"},
      {"no distance code at all", literals_only_stream(), "hih"},
      {"a single one-bit distance code", single_distance_stream(), "aaaa"},
  };
  for (const good_case& c : cases) {
    SCOPED_TRACE(c.name);
    const inflate_result r = inflate_bytes(c.stream, false);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.finished, 1);
    EXPECT_EQ(r.out, c.expected);
  }
}

// ---- Long streams ------------------------------------------------------------------------

constexpr int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                   33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

// The code of a value: the last base not above it.
template <size_t N> int code_of(const int (&bases)[N], int value) {
  int code = 0;
  while (code + 1 < int(N) && bases[code + 1] <= value) ++code;
  return code;
}

struct long_stream {
  std::string stream, expected;
};

// One fixed block of literals and back-references chosen by a seeded generator, and
// the bytes it decodes to: much more input than the decoder reads at once, much more
// output than its window buffer holds, distances from 1 to 32768.
long_stream make_long_stream(size_t size) {
  uint32_t seed = 99;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  long_stream r;
  bit_writer w;
  w.bits(1, 1);
  w.bits(1, 2);
  while (r.expected.size() < size) {
    if (r.expected.size() < 16 || next() % 3 == 0) {
      const int c = int(next() % 4 == 0 ? next() % 256 : 'a' + next() % 16);
      w.fixed_symbol(c);
      r.expected.push_back(char(c));
      continue;
    }
    const int length = 3 + int(next() % 8 == 0 ? next() % 256 : next() % 32);
    const int most = int(std::min<size_t>(r.expected.size(), 32768));
    const int distance = 1 + int(next() % 2 ? next() % std::min(most, 20) : next() % most);
    const int lc = code_of(kLengthBase, length), dc = code_of(kDistanceBase, distance);
    w.fixed_symbol(257 + lc);
    w.bits(uint32_t(length - kLengthBase[lc]), kLengthExtra[lc]);
    w.fixed_distance(dc);
    w.bits(uint32_t(distance - kDistanceBase[dc]), dc < 4 ? 0 : dc / 2 - 1);
    for (int i = 0; i < length; ++i) r.expected.push_back(r.expected[r.expected.size() - size_t(distance)]);
  }
  w.fixed_symbol(256);
  r.stream = w.data();
  return r;
}

long_stream make_stored_stream(int blocks) {
  uint32_t seed = 7;
  long_stream r;
  bit_writer w;
  for (int b = 0; b < blocks; ++b) {
    std::string data(65535, '\0');
    for (char& c : data) c = char((seed = seed * 1103515245u + 12345u) >> 16);
    stored_block(w, data, b == blocks - 1);
    r.expected += data;
  }
  r.stream = w.data();
  return r;
}

TEST_F(InflateStream, DecodesLongStreamsAcrossItsBuffers) {
  const struct {
    const char* name;
    long_stream s;
  } cases[] = {
      {"fixed block of 3 MB", make_long_stream(3000000)},
      {"stored blocks of 64 KiB", make_stored_stream(5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GT(c.s.stream.size(), size_t(4) * 65536);  // several reads of the input
    const inflate_result r = inflate_bytes(c.s.stream, false);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out.size(), c.s.expected.size());
    EXPECT_TRUE(r.out == c.s.expected);
  }
}

// ---- Damaged streams ------------------------------------------------------------------

std::string header_only(std::initializer_list<std::pair<uint32_t, int>> fields) {
  bit_writer w;
  for (auto [value, n] : fields) w.bits(value, n);
  for (int i = 0; i < 8; ++i) w.byte(0);
  return w.data();
}

std::string code_length_code_stream(std::initializer_list<int> lengths_in_order) {
  bit_writer w;
  w.bits(1, 1);
  w.bits(2, 2);
  w.bits(0, 5);
  w.bits(0, 5);
  w.bits(uint32_t(lengths_in_order.size() - 4), 4);
  for (int l : lengths_in_order) w.bits(uint32_t(l), 3);
  // Enough zero bits for every code length the stream may read with a 1-bit code.
  for (int i = 0; i < 100; ++i) w.byte(0);
  return w.data();
}

std::string dynamic_with(const std::vector<int>& lit, const std::vector<int>& dist,
                         std::initializer_list<int> symbols) {
  bit_writer w;
  dynamic_header(w, true, lit, dist);
  const canonical_code c = canonical(lit);
  for (int s : symbols) put(w, c, s);
  for (int i = 0; i < 8; ++i) w.byte(0);
  return w.data();
}

std::string stored_with_bad_nlen() {
  bit_writer w;
  w.bits(1, 1);
  w.bits(0, 2);
  w.align();
  w.bits(5, 16);
  w.bits(0x1234, 16);
  for (char c : std::string("hello")) w.byte(uint8_t(c));
  return w.data();
}

struct bad_case {
  const char* name;
  std::string stream;
  int code;
};

TEST_F(InflateStream, RefusesDamagedStreams) {
  const bad_case cases[] = {
      {"block type 3", header_only({{1, 1}, {3, 2}}), 14},
      {"stored length not matched by its complement", stored_with_bad_nlen(), 14},
      {"287 literal/length codes", header_only({{1, 1}, {2, 2}, {30, 5}, {0, 5}, {0, 4}}), 14},
      {"over-subscribed code-length code",
       code_length_code_stream({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}), 14},
      {"incomplete code-length code", code_length_code_stream({0, 0, 0, 2, 2}), 14},
      {"over-subscribed literal/length code",
       dynamic_with(lengths_of(257, {{'a', 1}, {'b', 1}, {256, 1}}), {1}, {'a'}), 14},
      {"incomplete literal/length code",
       dynamic_with(lengths_of(257, {{'a', 2}, {256, 2}}), {1}, {'a', 256}), 14},
      {"no end-of-block code", dynamic_with(lengths_of(257, {{'a', 1}, {'b', 1}}), {1}, {'a'}), 14},
      {"16-repeat with no length before it", crossing_stream(6, 3, true), 14},
      {"16-repeat past the last length", crossing_stream(6, 4), 14},
      {"literal/length symbol 286", fixed_stream({'a', 286, 256}), 14},
      {"literal/length symbol 287", fixed_stream({'a', 287, 256}), 14},
      {"distance code 30", fixed_stream({'a', 'b', 'c', 'd', 257, 1030, 256}), 14},
      {"distance code 31", fixed_stream({'a', 'b', 'c', 'd', 257, 1031, 256}), 14},
      {"distance beyond the bytes produced", fixed_stream({'a', 'b', 257, 1002, 256}), 14},
      {"back-reference before any byte", fixed_stream({257, 1000, 256}), 14},
      {"length with no distance code",
       dynamic_with(lengths_of(258, {{'a', 1}, {256, 2}, {257, 2}}), {0}, {'a', 257}), 14},
      {"no final block", [] {
         bit_writer w;
         stored_block(w, "abc", false);
         return w.data();
       }(), 2},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.name);
    const inflate_result r = inflate_bytes(c.stream, false);
    EXPECT_EQ(r.rc, c.code);
    EXPECT_EQ(r.gblerr, c.code);
    EXPECT_EQ(r.finished, 0);
  }
}

// A code-length code may be incomplete: its missing codes are refused only when the
// stream uses one, and the trace log names the code (most significant bit first).
TEST_F(InflateStream, MissingCodeLengthCodeIsLogged) {
  const std::string dir = fresh_dir("inflate_log");
  config_set("LOG_DIR", dir.c_str());
  config_set("LOGERROR", "1");
  log_init("TARM");
  // Symbols 0 and 8 have the 2-bit codes 00 and 01; 10 and 11 have no symbol.
  const struct {
    uint32_t code;
    const char* line;
  } cases[] = {{2, "CODE HUFF TREE NON TROUV 2"}, {3, "CODE HUFF TREE NON TROUV 3"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    bit_writer w;
    w.bits(1, 1);
    w.bits(2, 2);
    w.bits(0, 5);
    w.bits(0, 5);
    w.bits(1, 4);
    for (int l : {0, 0, 0, 2, 2}) w.bits(uint32_t(l), 3);
    w.code(0, 2);  // one zero length, then the missing code
    w.code(c.code, 2);
    for (int i = 0; i < 8; ++i) w.byte(0);
    const inflate_result r = inflate_bytes(w.data(), false);
    EXPECT_EQ(r.rc, 14);
    EXPECT_EQ(r.gblerr, 14);
    std::ifstream in(log_path(), std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find(std::string(c.line) + "\n"), std::string::npos) << log;
  }
  config_set("LOGERROR", nullptr);
}

// A zlib stream around a fixed block: `count` literals, then a back-reference of
// length 3 at `distance` (given as its code and extra bits), with the Adler-32 of what
// that decodes to.
std::string zlib_with_reference(int cmf, int count, int distance_code, int extra_bits,
                                uint32_t extra, int distance) {
  const int flg = (31 - (cmf * 256) % 31) % 31;
  bit_writer w;
  w.byte(uint8_t(cmf));
  w.byte(uint8_t(flg));
  w.bits(1, 1);
  w.bits(1, 2);
  std::string out;
  for (int i = 0; i < count; ++i) {
    w.fixed_symbol('a' + i % 26);
    out.push_back(char('a' + i % 26));
  }
  w.fixed_symbol(257);
  w.fixed_distance(distance_code);
  w.bits(extra, extra_bits);
  w.fixed_symbol(256);
  w.align();
  for (int i = 0; i < 3; ++i) out.push_back(out[out.size() - size_t(distance)]);
  const uint32_t adler = adler32_update(kAdler32Init, out.data(), out.size());
  for (int shift = 24; shift >= 0; shift -= 8) w.byte(uint8_t(adler >> shift));
  return w.data();
}

// A zlib header's window bounds the distances: here 2^8 bytes (CMF 0x08) against the
// usual 2^15 (CMF 0x78). Distance code 15 is 193 + 6 extra bits, 16 is 257 + 7.
TEST_F(InflateStream, HoldsZlibStreamsToTheirWindow) {
  const struct {
    const char* name;
    std::string stream;
    int code;
  } cases[] = {
      {"256 in a 256-byte window", zlib_with_reference(0x08, 300, 15, 6, 63, 256), 0},
      {"257 in a 256-byte window", zlib_with_reference(0x08, 300, 16, 7, 0, 257), 14},
      {"257 in a 32 KiB window", zlib_with_reference(0x78, 300, 16, 7, 0, 257), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const inflate_result r = inflate_bytes(c.stream, true);
    EXPECT_EQ(r.rc, c.code);
    if (c.code == 0) {
      EXPECT_EQ(r.out.size(), 303u);
    }
  }
}

TEST_F(InflateStream, RefusesBadZlibHeaders) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"method 7", std::string("\x77\x01\x03\x00", 4)},
      {"window beyond 32 KiB", std::string("\x88\x1c\x03\x00", 4)},
      {"preset dictionary", std::string("\x78\xbb\x03\x00", 4)},
      {"one byte", std::string("\x78", 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const inflate_result r = inflate_bytes(c.bytes, true);
    EXPECT_EQ(r.rc, 14);
    EXPECT_TRUE(r.out.empty());
  }
}

TEST_F(InflateStream, ChecksTheAdlerTrailer) {
  for (const zlib_stream& s : zlib_streams()) {
    if (!s.zlib || s.name.find("level6") == std::string::npos) continue;
    SCOPED_TRACE(s.name);
    for (size_t byte = s.bytes.size() - 4; byte < s.bytes.size(); ++byte) {
      std::string bad = s.bytes;
      bad[byte] = char(bad[byte] ^ 0x10);
      EXPECT_EQ(inflate_bytes(bad, true).rc, 14);
    }
  }
}

// Every cut of a stream (its trailer included) is refused: end of data (2) when the
// bits ran out, bad data (14) when what was read made no sense. Never a success.
TEST_F(InflateStream, RefusesEveryTruncation) {
  for (const zlib_stream& s : zlib_streams()) {
    if (s.name != "text-level6" && s.name != "runs-rle" && s.name != "image-level0" &&
        s.name != "far-wbits14" && s.name != "text-mem1-level1" && s.name != "skewed-huffman")
      continue;
    SCOPED_TRACE(s.name);
    for (size_t n = 0; n < s.bytes.size(); ++n) {
      const inflate_result r = inflate_bytes(s.bytes.substr(0, n), true);
      ASSERT_TRUE(r.rc == 2 || r.rc == 14) << "cut at " << n << " gave " << r.rc;
    }
  }
}

// Damage anywhere never makes the decoder read or write out of bounds (the sanitizers
// watch), never hangs, and gives either a success or one of the two codes.
TEST_F(InflateStream, SurvivesRandomDamage) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (const zlib_stream& s : zlib_streams()) {
    if (s.name != "text-raw-level9" && s.name != "far-raw-fixed" && s.name != "image-raw-level1" &&
        s.name != "text-raw-mem1-level6" && s.name != "skewed-huffman")
      continue;
    SCOPED_TRACE(s.name);
    for (int round = 0; round < 150; ++round) {
      std::string bad = s.bytes;
      const int flips = 1 + int(next() % 4);
      for (int i = 0; i < flips; ++i) bad[next() % bad.size()] ^= char(1 << (next() % 8));
      const inflate_result r = inflate_bytes(bad, s.zlib);
      ASSERT_TRUE(r.rc == 0 || r.rc == 2 || r.rc == 14) << r.rc;
    }
  }
}

// ---- The output limit ------------------------------------------------------------------

std::string stored_blocks(int blocks, int size) {
  bit_writer w;
  for (int i = 0; i < blocks; ++i) stored_block(w, std::string(size_t(size), char('a' + i)), i == blocks - 1);
  return w.data();
}

TEST_F(InflateStream, StopsAfterTheFirstBlockPastTheLimit) {
  const struct {
    const char* name;
    int blocks, size;
    int64_t limit;
    size_t expected;
    int finished;
  } cases[] = {
      {"limit inside the fifth block", 10, 1000, 4096, 5000, 0},
      {"limit at a block end", 10, 1024, 4096, 5120, 0},
      {"limit beyond the data", 3, 1000, 4096, 3000, 1},
      {"no limit", 10, 1000, 0, 10000, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const inflate_result r = inflate_bytes(stored_blocks(c.blocks, c.size), false, c.limit);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out.size(), c.expected);
    EXPECT_EQ(r.finished, c.finished);
  }
}

// A stream that decodes to more than the caller knows it should is refused as a bad
// file as soon as its output passes that size, inside the block that passes it.
TEST_F(InflateStream, RefusesOutputBeyondTheKnownSize) {
  const struct {
    const char* name;
    std::string stream;
    int64_t max_output;
    int rc;
  } cases[] = {
      {"exactly the size", stored_blocks(3, 1000), 3000, 0},
      {"one block too many", stored_blocks(4, 1000), 3000, ERR_BAD_FILE},
      {"a bomb in one block", bomb_stream(100000), 65536, ERR_BAD_FILE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const inflate_result r = inflate_bytes(c.stream, false, 0, 32768, c.max_output);
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_LE(int64_t(r.out.size()), c.max_output);
  }
}

// ---- Caller's source and sink ----------------------------------------------------------

// A source that hands the bytes over in small uneven pieces, and a sink that gathers the
// output, stopping the decoding with `stop_code` once it holds `stop_after` bytes.
struct pieces {
  std::string bytes;
  size_t at = 0, calls = 0;
  std::string out;
  int64_t stop_after = -1;
  int stop_code = 0;
};

int64_t piece_source(void* context, uint8_t* buffer, int64_t count) {
  pieces* p = static_cast<pieces*>(context);
  const size_t n = std::min({size_t(count), p->bytes.size() - p->at, size_t(1 + p->calls++ % 13)});
  std::memcpy(buffer, p->bytes.data() + p->at, n);
  p->at += n;
  return int64_t(n);
}

int piece_sink(void* context, const uint8_t* bytes, int64_t count) {
  pieces* p = static_cast<pieces*>(context);
  p->out.append(reinterpret_cast<const char*>(bytes), size_t(count));
  return p->stop_after >= 0 && int64_t(p->out.size()) >= p->stop_after ? p->stop_code : 0;
}

// Decodes a stream (zlib-wrapped or raw) whose bytes come from piece_source into piece_sink.
int inflate_pieces(pieces* p, bool zlib = true, int64_t max_output = 0) {
  inflater_t inf;
  inf.source = piece_source;
  inf.source_context = p;
  inf.sink = piece_sink;
  inf.sink_context = p;
  inf.max_output = max_output;
  int rc = 0;
  if (zlib) {
    uint8_t header[2];
    if (piece_source(p, header, 1) != 1 || piece_source(p, header + 1, 1) != 1) return -1;
    rc = zlib_check_header(&inf, header[0], header[1]);
  }
  if (rc == 0) rc = inflate_blocks(&inf);
  EXPECT_EQ(inf.produced, int64_t(p->out.size()));
  set_gblerr(0);
  return rc;
}

// Bytes taken from the caller's routine and output given to the caller's routine decode
// as from the reader into a store: the same bytes, the same codes for damaged streams.
TEST_F(InflateStream, DecodesFromASourceIntoASink) {
  for (const zlib_stream& s : zlib_streams()) {
    if (!s.zlib) continue;
    SCOPED_TRACE(s.name);
    pieces whole{s.bytes};
    EXPECT_EQ(inflate_pieces(&whole), 0);
    EXPECT_TRUE(whole.out == read_deflate_fixture("input_" + s.kind + ".bin"));
    if (s.name != "text-level6" && s.name != "image-level0" && s.name != "text-mem1-level1")
      continue;
    for (size_t n = 2; n < s.bytes.size(); n += 1 + n / 7) {
      pieces cut{s.bytes.substr(0, n)};
      const inflate_result r = inflate_bytes(cut.bytes, true);
      EXPECT_EQ(inflate_pieces(&cut), r.rc) << "cut at " << n;
      EXPECT_TRUE(cut.out == r.out) << "cut at " << n;
    }
    std::string bad = s.bytes;
    bad.back() = char(bad.back() ^ 1);  // the Adler-32 trailer
    pieces damaged{bad};
    EXPECT_EQ(inflate_pieces(&damaged), ERR_BAD_FILE);
  }
}

// The sink's code ends the decoding at the flush that met it; the known size still
// bounds the output.
TEST_F(InflateStream, SinkStopsTheDecoding) {
  const std::string stream = bomb_stream(4000);
  const std::string expected(1 + 4000 * 258, 'A');
  pieces whole{stream};
  EXPECT_EQ(inflate_pieces(&whole, false), 0);
  EXPECT_TRUE(whole.out == expected);
  pieces stopped{stream};
  stopped.stop_after = 1;
  stopped.stop_code = ERR_BAD_FILE;
  EXPECT_EQ(inflate_pieces(&stopped, false), ERR_BAD_FILE);
  EXPECT_FALSE(stopped.out.empty());
  EXPECT_LT(stopped.out.size(), expected.size());
  pieces bounded{stream};
  EXPECT_EQ(inflate_pieces(&bounded, false, 500000), ERR_BAD_FILE);
  EXPECT_LE(bounded.out.size(), size_t(500000));
}

// ---- The memory budget -----------------------------------------------------------------

class InflateBudget : public InflateBudgetFixture {};

// 128 MiB from 130 KB: decoding stops at the memory budget with "not enough memory"
// and the store holds no more than the budget allowed (about 100 MiB).
TEST_F(InflateBudget, StopsABombAtTheMemoryBudget) {
  // Well below the budget the same kind of stream decodes.
  const inflate_result small = inflate_bytes(bomb_stream(4000), false);
  EXPECT_EQ(small.rc, 0);
  EXPECT_EQ(small.out, std::string(1 + 4000 * 258, 'A'));
  const int copies = 128 * 1048576 / 258;
  const inflate_result r = inflate_bytes(bomb_stream(copies), false);
  EXPECT_EQ(r.rc, ERR_MEMORY);
  EXPECT_EQ(r.gblerr, ERR_MEMORY);
  EXPECT_LT(r.out.size(), size_t(100) * 1048576);
}

}  // namespace
}  // namespace tm_test

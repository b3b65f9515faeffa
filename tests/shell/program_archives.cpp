// The map program itself, run headless: a track fetched from a web address as a gzip
// file, and one inside nested archives, are drawn as the plain GPX file is drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/checksum.h"
#include "tests/shell/load_fixture.h"
#include "tests/support/http_server.h"
#include "tests/support/program_run.h"
#include "tests/support/test_env.h"

namespace {

void put16(std::string* s, unsigned v) {
  s->push_back(char(v & 255));
  s->push_back(char(v >> 8 & 255));
}
void put32(std::string* s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

std::string gzip_of(const std::string& data) {
  std::string out("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(data.size() - at, 65535);
    out.push_back(at + n == data.size() ? 1 : 0);
    put16(&out, unsigned(n));
    put16(&out, unsigned(~n & 0xFFFF));
    out.append(data, at, n);
    at += n;
  } while (at < data.size());
  put32(&out, crc32_update(kCrc32Init, data.data(), data.size()));
  put32(&out, uint32_t(data.size()));
  return out;
}

std::string zip_of(const std::string& name, const std::string& data) {
  std::string out;
  put32(&out, 0x04034b50);
  put16(&out, 20);
  put16(&out, 0);
  put16(&out, 0);
  put32(&out, 0);
  put32(&out, crc32_update(kCrc32Init, data.data(), data.size()));
  put32(&out, uint32_t(data.size()));
  put32(&out, uint32_t(data.size()));
  put16(&out, unsigned(name.size()));
  put16(&out, 0);
  return out + name + data;
}

// A zigzag track over a degree of longitude: many pixels wherever the view puts it.
std::string zigzag_track() {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"t\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><name>z</name><trkseg>\n";
  for (int i = 0; i <= 40; ++i)
    s += "<trkpt lat=\"" + std::to_string(45.0 + (i % 2) * 0.5) + "\" lon=\"" +
         std::to_string(5.0 + i * 0.025) + "\"></trkpt>\n";
  return s + "</trkseg></trk></gpx>\n";
}

class ProgramArchives : public frame_test::LoadFixture {
 protected:
  // The picture the program leaves after loading `argument` (none: no file).
  tm_test::picture run(const std::string& argument) {
    const std::string program = tm_test::program_folder() + "tarmelo";
    EXPECT_EQ(access(program.c_str(), X_OK), 0) << program << " is built beside the tests";
    const std::string picture = dir_ + "frame" + std::to_string(runs_++) + ".png";
    const std::string home = tm_test::fresh_dir("archives-home");
    std::vector<std::string> args{program};
    if (!argument.empty()) args.push_back(argument);
    std::string out;
    EXPECT_EQ(tm_test::run_program_headless(args, picture, home, &out), 0) << out;
    return tm_test::read_picture(picture);
  }
  // Pixels that differ between two pictures of the same size (-1 when the sizes differ).
  static long differing(const tm_test::picture& a, const tm_test::picture& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    long n = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i)
      if (a.pixels[i].distance(b.pixels[i]) > 30) ++n;
    return n;
  }

  std::string dir_ = tm_test::fresh_dir("program-archives");
  int runs_ = 0;
};

TEST_F(ProgramArchives, CompressedTracksAreDrawnAsThePlainFile) {
  const std::string track = zigzag_track();
  const std::string plain = tm_test::write_file(dir_ + "z.gpx", track);
  const std::string nested =
      tm_test::write_file(dir_ + "z.zip", zip_of("in.zip", zip_of("z.gpx.gz", gzip_of(track))));
  tm_test::http_server server;
  server.set_handler([&](const std::string&) {
    return tm_test::http_reply{
        tm_test::http_server::reply("200 OK", "Content-Type: application/gzip\r\n", gzip_of(track)), false};
  });
  const tm_test::picture empty = run("");
  const tm_test::picture reference = run(plain);
  ASSERT_GT(reference.width, 0);
  const long drawn = differing(reference, empty);
  ASSERT_GT(drawn, 300) << "the plain track is drawn";
  const struct {
    const char* name;
    std::string argument;
  } cases[] = {
      {"fetched gzip", "http://" + server.authority() + "/z.gpx.gz"},
      {"gzip in a ZIP in a ZIP", nested},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const tm_test::picture shot = run(c.argument);
    const long from_empty = differing(shot, empty), from_reference = differing(shot, reference);
    ASSERT_GE(from_empty, 0);
    // The track is there, where the plain file puts it; the frame's texts (the file's
    // name) may differ.
    EXPECT_GT(from_empty, drawn / 2);
    EXPECT_LT(from_reference, drawn / 4) << from_reference << " of " << drawn;
  }
  server.stop();
}

}  // namespace

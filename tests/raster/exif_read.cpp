// The EXIF reader: photos and TIFF pages whose tags exiftool wrote, against exiftool's
// reading of the same files; the rotation codes applied with the raster operations
// against PIL's upright images; entries in any order; hostile blocks (offsets and
// counts past the block, directories pointing back, entry counts larger than the
// block) that cost nothing but the entry.
#include "raster/exif_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "geodesy/geodesy_records.h"
#include "map/gps_classes.h"
#include "raster/image_place.h"
#include "raster/raster_ops.h"
#include "raster/tiff_values.h"
#include "tests/raster/image_load_fixture.h"

namespace {

using raster_test::bytes;

// ---- Reading the fixtures --------------------------------------------------------------

using expect_map = std::map<std::string, std::vector<std::string>>;

expect_map read_expect(const std::string& path) {
  expect_map m;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key, w;
    words >> key;
    while (words >> w) m[key].push_back(w);
  }
  return m;
}

double num(const expect_map& m, const std::string& key, size_t i = 0) {
  const std::string& s = m.at(key).at(i);
  return s == "inf" ? INFINITY : std::stod(s);
}

// Position and end of the TIFF header of the first APP1 "Exif" block of a JPEG file.
bool find_exif_block(const bytes& f, int64_t* tiff_at, int64_t* end) {
  size_t p = 2;
  while (p + 4 <= f.size() && f[p] == 0xFF) {
    const int marker = f[p + 1];
    const size_t len = size_t(f[p + 2]) << 8 | f[p + 3];
    if (marker == 0xE1 && p + 10 <= f.size() && std::memcmp(&f[p + 4], "Exif\0\0", 6) == 0) {
      *tiff_at = int64_t(p + 10);
      *end = int64_t(p + 2 + len);
      return true;
    }
    if (marker == 0xDA) break;
    p += 2 + len;
  }
  return false;
}

std::vector<std::string> fixtures_of(const std::string& ext) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(raster_test::fixture("exif", "")))
    if (e.path().extension() == ext) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ExifTest : public raster_test::ImageLoadTest {
 protected:
  void SetUp() override {
    ImageLoadTest::SetUp();
    exif_register_class();  // the bitmap module started before the raster module's hooks
  }
  // An image record whose file holds the bytes, opened as the reader's current file.
  bitmap_t* open_bytes(const bytes& data) {
    bitmap_t* image = new_image(2, 2, 1);
    fileatt_t* file = memory_image_file(data, 1);
    EXPECT_EQ(rd_open(reinterpret_cast<obj_t*>(file), 0, 1), 0);
    return image;
  }
  // exif_read on the APP1 block of a JPEG file held in memory.
  bitmap_t* read_jpeg(const bytes& data, int* rc = nullptr) {
    int64_t at = 0, end = 0;
    EXPECT_TRUE(find_exif_block(data, &at, &end));
    bitmap_t* image = open_bytes(data);
    rd_seek(at, 0);
    const int r = exif_read(image, end);
    if (rc) *rc = r;
    EXPECT_EQ(get_gblerr(), r);
    set_gblerr(0);
    return image;
  }
  // exif_read on a block held alone (its TIFF header at 0), the block ending at `end`
  // (0: its size).
  bitmap_t* read_block(const bytes& block, int64_t end = 0, int* rc = nullptr) {
    bitmap_t* image = open_bytes(block);
    rd_seek(0, 0);
    const int r = exif_read(image, end ? end : int64_t(block.size()));
    if (rc) *rc = r;
    set_gblerr(0);
    return image;
  }
  // A TIFF page: IFD0 walked here, the entries handed to exif_ifd0_tag.
  bitmap_t* read_tiff(const bytes& data) {
    bitmap_t* image = open_bytes(data);
    int order = 0;
    EXPECT_EQ(tiff_read_header(0, &order), 0);
    const int64_t dir = rd_tell();
    const int count = tiff_numbers(order).u16();
    for (int i = 0; i < count; ++i) {
      rd_seek(dir + 2 + 12 * i, 0);
      const int tag = tiff_numbers(order).u16();
      EXPECT_EQ(exif_ifd0_tag(image, tag, order, 0, 0), 0);
      EXPECT_EQ(get_gblerr(), 0);
    }
    return image;
  }
};

photo_meta_t* meta_of(bitmap_t* image) {
  obj_t* m = image->exif;
  return m && m->cls == CLS_PHOTO_META ? static_cast<photo_meta_t*>(m) : nullptr;
}

std::string make_model(bitmap_t* image) {
  photo_meta_t* m = meta_of(image);
  char* s = m ? m->make_model : nullptr;
  return s ? s : "";
}

// Every fact of the .expect file found in the image record.
void check_against_exiftool(bitmap_t* image, const expect_map& want, const std::string& name) {
  SCOPED_TRACE(name);
  EXPECT_EQ(image_rotation(image), want.count("rotation") ? num(want, "rotation") : 0);
  photo_meta_t* meta = meta_of(image);
  if (want.count("make_model")) {
    std::string text = want.at("make_model")[0];
    for (char& c : text)
      if (c == '_') c = ' ';
    EXPECT_EQ(make_model(image), text);
  }
  if (want.count("date")) {
    ASSERT_NE(meta, nullptr);
    int year = 0, month = 0;
    double day = 0;
    date_rec got = meta->date;
    date_rec_split(&got, &year, &month, &day);
    EXPECT_EQ(year, num(want, "date", 0));
    EXPECT_EQ(month, num(want, "date", 1));
    const double want_day = num(want, "date", 2) +
                            hms_to_day_fraction(0, num(want, "date", 3), num(want, "date", 4),
                                                num(want, "date", 5));
    EXPECT_NEAR(day, want_day, 1e-9);
  }
  using getter = double (*)(const photo_meta_t*);
  const std::pair<const char*, getter> reals[] = {
      {"exposure", [](const photo_meta_t* m) { return double(m->exposure_time); }},
      {"fnumber", [](const photo_meta_t* m) { return double(m->f_number); }},
      {"focal", [](const photo_meta_t* m) { return double(m->focal_length); }},
      {"focal35", [](const photo_meta_t* m) { return double(m->focal_length_35mm); }},
      {"max_aperture", [](const photo_meta_t* m) { return double(m->max_aperture); }}};
  for (const auto& [key, get] : reals) {
    if (!want.count(key)) continue;
    ASSERT_NE(meta, nullptr) << key;
    EXPECT_NEAR(get(meta), num(want, key), 1e-6 * num(want, key)) << key;
  }
  if (want.count("distance")) {
    ASSERT_NE(meta, nullptr);
    if (std::isinf(num(want, "distance")))
      EXPECT_TRUE(std::isinf(val(meta->subject_distance)));
    else
      EXPECT_NEAR(meta->subject_distance, num(want, "distance"), 1e-9);
  }
  if (want.count("iso")) {
    EXPECT_EQ(val(meta->iso), num(want, "iso"));
  }
  if (want.count("program")) {
    EXPECT_EQ(val(meta->exposure_program), num(want, "program"));
  }
  if (want.count("flash")) {
    EXPECT_EQ(val(meta->flash), num(want, "flash"));
  }

  position_t* pos = image_position(image);
  if (!want.count("gps")) {
    EXPECT_EQ(pos, nullptr);
    return;
  }
  ASSERT_NE(pos, nullptr);
  obj_t* wgs84 = nullptr;
  geo_find_by_code(CLS_GEODATUM, kRefDatumCode, &wgs84);
  EXPECT_NE(wgs84, nullptr);
  EXPECT_EQ(val(pos->datum), wgs84);
  EXPECT_NEAR(pos->coords.y, num(want, "lat"), 1e-9);
  EXPECT_NEAR(pos->coords.x, num(want, "lon"), 1e-9);
  EXPECT_NEAR(pos->coords.z, num(want, "alt"), 1e-3);
  if (want.count("speed")) {
    EXPECT_NEAR(pos->speed, num(want, "speed"), 1e-6);
  }
  if (want.count("direction")) {
    EXPECT_NEAR(pos->direction, num(want, "direction") * M_PI / 180, 1e-9);
  }
  const double tod = want.count("gps_time")
                         ? hms_to_day_fraction(0, num(want, "gps_time", 0),
                                               num(want, "gps_time", 1), num(want, "gps_time", 2))
                         : 0.0;
  date_rec t = pos->time;
  int year = 0, month = 0;
  double day = 0;
  date_rec_split(&t, &year, &month, &day);
  if (want.count("gps_date")) {
    EXPECT_EQ(year, num(want, "gps_date", 0));
    EXPECT_EQ(month, num(want, "gps_date", 1));
    EXPECT_NEAR(day, num(want, "gps_date", 2) + tod, 1e-9);
  } else if (want.count("gps_time")) {
    EXPECT_EQ(year, 0);
    EXPECT_NEAR(day, 1 + tod, 1e-9);
  }
}

class ExifPhotos : public ExifTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ExifPhotos, MatchExiftool) {
  const std::string name = GetParam();
  bitmap_t* image = read_jpeg(raster_test::read_bytes(raster_test::fixture("exif", name)));
  const std::string stem = name.substr(0, name.rfind('.'));
  check_against_exiftool(image, read_expect(raster_test::fixture("exif", stem + ".expect")),
                         name);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExifPhotos, ::testing::ValuesIn(fixtures_of(".jpg")),
                         raster_test::case_name);

class ExifTiffPages : public ExifTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ExifTiffPages, MatchExiftool) {
  const std::string name = GetParam();
  bitmap_t* image = read_tiff(raster_test::read_bytes(raster_test::fixture("exif", name)));
  const std::string stem = name.substr(0, name.rfind('.'));
  check_against_exiftool(image, read_expect(raster_test::fixture("exif", stem + ".expect")),
                         name);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExifTiffPages, ::testing::ValuesIn(fixtures_of(".tif")),
                         raster_test::case_name);

// ---- Rotation codes --------------------------------------------------------------------

// The stored image of the orientation fixtures (5 x 3) as an image record.
bitmap_t* stored_image(ExifTest* t, bitmap_t* image) {
  const bytes rgb = raster_test::read_bytes(raster_test::fixture("exif", "stored.rgb"));
  for (int y = 0; y < image->height; ++y)
    for (int p = 0; p < 3; ++p) {
      uint8_t* line = get_img_line_adr(image, y, p);
      for (int x = 0; x < image->width; ++x) line[x] = rgb[size_t(y * image->width + x) * 3 + p];
    }
  (void)t;
  return image;
}

class ExifRotation : public ExifTest, public ::testing::WithParamInterface<int> {
 protected:
  bitmap_t* turn(bitmap_t* b, int direction) { return own(image_rotate(b, direction, nullptr)); }
  bitmap_t* flip(bitmap_t* b) { return own(image_flip_vertical(b, nullptr)); }
  bitmap_t* mirror(bitmap_t* b) { return flip(turn(turn(b, 1), 1)); }
  // The rotation code applied as the image viewer applies it.
  bitmap_t* upright(bitmap_t* b, int code) {
    switch (code) {
      case 1: return turn(b, 1);
      case 2: return turn(b, 2);
      case 3: return turn(turn(b, 1), 1);
      case 4: return mirror(b);
      case 5: return flip(b);
      case 6: return mirror(turn(b, 2));
      case 7: return mirror(turn(b, 1));
      default: return b;
    }
  }
};

TEST_P(ExifRotation, CodeBringsThePhotoUprightAsPilDoes) {
  const int orientation = GetParam();
  const std::string name = "orientation_" + std::to_string(orientation);
  bitmap_t* photo = read_jpeg(raster_test::read_bytes(raster_test::fixture("exif", name + ".jpg")));
  const int code = image_rotation(photo);
  EXPECT_EQ(code, num(read_expect(raster_test::fixture("exif", name + ".expect")), "rotation"));
  bitmap_t* b = upright(stored_image(this, new_image(5, 3, 3)), code);
  ASSERT_NE(b, nullptr);
  const bytes want = raster_test::read_bytes(
      raster_test::fixture("exif", "upright_" + std::to_string(orientation) + ".rgb"));
  EXPECT_EQ(val(b->width) * val(b->height) * 3, int(want.size()));
  EXPECT_EQ(val(b->width), orientation >= 5 ? 3 : 5);
  EXPECT_EQ(raster_test::image_rgb(b), want);
}

INSTANTIATE_TEST_SUITE_P(Orientations, ExifRotation, ::testing::Range(1, 9));

// ---- Hand-built blocks -----------------------------------------------------------------

// A TIFF structure written field by field at chosen positions, in either byte order.
struct block_writer {
  bool big = true;
  bytes b;
  void put(size_t at, uint32_t v, int n) {
    if (b.size() < at + size_t(n)) b.resize(at + size_t(n), 0);
    for (int i = 0; i < n; ++i)
      b[at + size_t(i)] = uint8_t(v >> (8 * (big ? n - 1 - i : i)));
  }
  void text(size_t at, const std::string& s) {
    if (b.size() < at + s.size() + 1) b.resize(at + s.size() + 1, 0);
    std::memcpy(&b[at], s.c_str(), s.size() + 1);
  }
  void header(uint32_t first) {
    b.resize(std::max<size_t>(b.size(), 8));
    b[0] = b[1] = big ? 'M' : 'I';
    put(2, 42, 2);
    put(4, first, 4);
  }
  // A directory at `at` with its entry count; entries are then written by entry().
  void directory(size_t at, uint32_t count) { put(at, count, 2); }
  // Entry i of the directory at `dir`: the value field holds `value` (a SHORT or BYTE
  // value is left-justified, as in a file).
  void entry(size_t dir, int i, int tag, int type, uint32_t count, uint32_t value) {
    const size_t at = dir + 2 + 12 * size_t(i);
    put(at, uint32_t(tag), 2);
    put(at + 2, uint32_t(type), 2);
    put(at + 4, count, 4);
    if (type == kTiffShort && count == 1) {
      put(at + 8, value, 2);
      put(at + 10, 0, 2);
    } else {
      put(at + 8, value, 4);
    }
  }
  void ascii2(size_t dir, int i, int tag, char letter) {
    const size_t at = dir + 2 + 12 * size_t(i);
    put(at, uint32_t(tag), 2);
    put(at + 2, kTiffAscii, 2);
    put(at + 4, 2, 4);
    if (b.size() < at + 12) b.resize(at + 12, 0);
    b[at + 8] = uint8_t(letter);
    b[at + 9] = b[at + 10] = b[at + 11] = 0;
  }
  void byte1(size_t dir, int i, int tag, uint8_t v) {
    const size_t at = dir + 2 + 12 * size_t(i);
    put(at, uint32_t(tag), 2);
    put(at + 2, kTiffByte, 2);
    put(at + 4, 1, 4);
    if (b.size() < at + 12) b.resize(at + 12, 0);
    b[at + 8] = v;
    b[at + 9] = b[at + 10] = b[at + 11] = 0;
  }
  void rationals(size_t at, std::initializer_list<std::pair<uint32_t, uint32_t>> values) {
    for (const auto& [n, d] : values) {
      put(at, n, 4);
      put(at + 4, d, 4);
      at += 8;
    }
  }
};

constexpr int kMake = 271, kModel = 272, kOrientation = 274, kExifIfd = 34665, kGpsIfd = 34853;

// IFD0 at 8 with Make (text at 200), Model (text at 220) and Orientation 6.
block_writer make_model_block(bool big) {
  block_writer w;
  w.big = big;
  w.header(8);
  w.directory(8, 3);
  w.entry(8, 0, kMake, kTiffAscii, 7, 200);
  w.entry(8, 1, kModel, kTiffAscii, 7, 220);
  w.entry(8, 2, kOrientation, kTiffShort, 1, 6);
  w.text(200, "Maker1");
  w.text(220, "Model2");
  w.b.resize(240, 0);
  return w;
}

TEST_F(ExifTest, MakeAndModelEachFollowedByOneBlankInEntryOrder) {
  for (bool big : {true, false}) {
    bitmap_t* image = read_block(make_model_block(big).b);
    EXPECT_EQ(make_model(image), "Maker1 Model2 ");
    EXPECT_EQ(image_rotation(image), 2);
  }
}

// The TIFF reader's walk: each entry handed over in turn, the reader left at the next
// one, a bad entry skipped with nothing pending.
TEST_F(ExifTest, TiffEntriesAreHandedOverOneAfterAnother) {
  block_writer w = make_model_block(false);
  w.entry(8, 0, kMake, kTiffAscii, 0xFFFFFFFFu, 200);
  bitmap_t* image = open_bytes(w.b);
  rd_seek(10, 0);
  for (int i = 0; i < 3; ++i) {
    const int tag = tiff_numbers(kTiffLittleEndian).u16();
    EXPECT_EQ(exif_ifd0_tag(image, tag, kTiffLittleEndian, 0, int64_t(w.b.size())), 0);
    EXPECT_EQ(get_gblerr(), 0);
    EXPECT_EQ(rd_tell(), 10 + 12 * (i + 1));
  }
  EXPECT_EQ(make_model(image), "Model2 ");
  EXPECT_EQ(image_rotation(image), 2);
}

TEST_F(ExifTest, BadHeaderIsRefused) {
  block_writer w = make_model_block(true);
  w.put(2, 43, 2);
  int rc = 0;
  bitmap_t* image = read_block(w.b, 0, &rc);
  EXPECT_EQ(rc, ERR_BAD_FILE);
  EXPECT_EQ(make_model(image), "");
}

TEST_F(ExifTest, OrientationOutsideOneToEightLeavesTheCode) {
  block_writer w = make_model_block(true);
  w.entry(8, 2, kOrientation, kTiffShort, 1, 9);
  bitmap_t* image = open_bytes(w.b);
  image_set_rotation(image, 5);
  rd_seek(0, 0);
  EXPECT_EQ(exif_read(image, int64_t(w.b.size())), 0);
  EXPECT_EQ(image_rotation(image), 5);
}

// Entries whose values cannot be read are skipped, and the walk goes on: the entries
// after them in IFD0 still count.
TEST_F(ExifTest, BadIfd0EntriesAreSkippedAndTheWalkGoesOn) {
  struct bad_make {
    const char* what;
    int type;
    uint32_t count, offset;
  };
  const bad_make cases[] = {
      {"offset past the block", kTiffAscii, 7, 5000},
      {"count 2^32-1", kTiffAscii, 0xFFFFFFFFu, 200},
      {"values running past the block end", kTiffAscii, 60, 200},
      {"offset wrapping round", kTiffAscii, 16, 0xFFFFFFF8u},
      {"not text", kTiffShort, 7, 200},
      {"unknown type", 99, 7, 200},
  };
  for (const bad_make& c : cases) {
    SCOPED_TRACE(c.what);
    block_writer w = make_model_block(true);
    w.entry(8, 0, kMake, c.type, c.count, c.offset);
    int rc = -1;
    bitmap_t* image = read_block(w.b, 0, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(make_model(image), "Model2 ");
    EXPECT_EQ(image_rotation(image), 2);
  }
}

// In a photo the block ends before the file does: values beyond it are not read even
// though the file holds bytes there.
TEST_F(ExifTest, ValuesBeyondTheBlockEndAreNotRead) {
  block_writer w = make_model_block(true);
  w.b.resize(300, 0);
  w.text(260, "Outside");
  w.entry(8, 0, kMake, kTiffAscii, 8, 260);
  bitmap_t* image = read_block(w.b, 240);
  EXPECT_EQ(make_model(image), "Model2 ");
}

TEST_F(ExifTest, EntryCountLargerThanTheBlockEndsAtTheBlock) {
  block_writer w = make_model_block(false);
  w.directory(8, 0xFFFF);
  int rc = -1;
  bitmap_t* image = read_block(w.b, 0, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(make_model(image), "Maker1 Model2 ");
}

// Sub-directory pointers back at IFD0, at themselves or at each other end.
TEST_F(ExifTest, DirectoriesPointingBackDoNotLoop) {
  block_writer w;
  w.header(8);
  w.directory(8, 4);
  w.entry(8, 0, kOrientation, kTiffShort, 1, 8);
  w.entry(8, 1, kExifIfd, kTiffLong, 1, 8);  // the Exif directory is IFD0
  w.entry(8, 2, kGpsIfd, kTiffLong, 1, 100);
  w.entry(8, 3, kExifIfd, kTiffLong, 1, 100);  // a second pointer: walked once only
  w.directory(100, 3);
  w.entry(100, 0, kGpsIfd, kTiffLong, 1, 100);  // the GPS directory points at itself
  w.entry(100, 1, kExifIfd, kTiffLong, 1, 8);
  w.entry(100, 2, 33434, kTiffRational, 1, 160);  // ExposureTime: not a GPS tag
  w.rationals(160, {{1, 60}});
  w.b.resize(200, 0);
  int rc = -1;
  bitmap_t* image = read_block(w.b, 0, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(image_rotation(image), 1);
  ASSERT_NE(meta_of(image), nullptr);
  EXPECT_EQ(val(meta_of(image)->exposure_time), 0.0);
  EXPECT_NE(image_position(image), nullptr);
}

TEST_F(ExifTest, SubDirectoryPointerOfAWrongTypeIsSkipped) {
  block_writer w;
  w.header(8);
  w.directory(8, 2);
  w.entry(8, 0, kExifIfd, kTiffShort, 1, 60);
  w.entry(8, 1, kGpsIfd, kTiffLong, 2, 60);
  w.directory(60, 1);
  w.entry(60, 0, 2, kTiffRational, 3, 100);
  w.rationals(100, {{1, 1}, {2, 1}, {3, 1}});
  w.b.resize(140, 0);
  bitmap_t* image = read_block(w.b);
  EXPECT_EQ(meta_of(image), nullptr);
  EXPECT_EQ(image_position(image), nullptr);
}

// ---- Exif and GPS directories in any order ---------------------------------------------

// An Exif directory at 100 of the given entries (tag, type, count, value) and values.
struct raw_entry {
  int tag, type;
  uint32_t count, value;
};

bytes exif_dir_block(const std::vector<raw_entry>& entries, int pointer_tag,
                     void (*values)(block_writer&)) {
  block_writer w;
  w.header(8);
  w.directory(8, 1);
  w.entry(8, 0, pointer_tag, kTiffLong, 1, 100);
  w.directory(100, uint32_t(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const raw_entry& e = entries[i];
    if (e.type == kTiffAscii && e.count == 2)
      w.ascii2(100, int(i), e.tag, char(e.value));
    else if (e.type == kTiffByte)
      w.byte1(100, int(i), e.tag, uint8_t(e.value));
    else
      w.entry(100, int(i), e.tag, e.type, e.count, e.value);
  }
  values(w);
  w.b.resize(std::max<size_t>(w.b.size(), 400), 0);
  return w.b;
}

void gps_values(block_writer& w) {
  w.rationals(300, {{48, 1}, {30, 1}, {0, 1}});   // latitude
  w.rationals(330, {{2, 1}, {15, 1}, {0, 1}});    // longitude
  w.rationals(360, {{100, 1}});                   // altitude and speed
  w.rationals(370, {{10, 1}, {30, 1}, {30, 2}});  // 10:30:15
  w.text(260, "2021:03:04");
}

TEST_F(ExifTest, GpsReferencesApplyWhicheverEntryComesFirst) {
  const raw_entry lat_ref{1, kTiffAscii, 2, 'S'}, lat{2, kTiffRational, 3, 300};
  const raw_entry lon_ref{3, kTiffAscii, 2, 'W'}, lon{4, kTiffRational, 3, 330};
  const raw_entry alt_ref{5, kTiffByte, 1, 1}, alt{6, kTiffRational, 1, 360};
  const raw_entry speed_ref{12, kTiffAscii, 2, 'N'}, speed{13, kTiffRational, 1, 360};
  const raw_entry time{7, kTiffRational, 3, 370}, date{29, kTiffAscii, 11, 260};
  const std::vector<std::vector<raw_entry>> orders = {
      {lat_ref, lat, lon_ref, lon, alt_ref, alt, time, speed_ref, speed, date},
      {lat, lat_ref, lon, lon_ref, alt, alt_ref, date, time, speed, speed_ref},
      {date, speed, alt, lon, lat, time, speed_ref, alt_ref, lon_ref, lat_ref},
  };
  for (size_t k = 0; k < orders.size(); ++k) {
    SCOPED_TRACE(k);
    bitmap_t* image = read_block(exif_dir_block(orders[k], kGpsIfd, gps_values));
    position_t* p = image_position(image);
    ASSERT_NE(p, nullptr);
    EXPECT_DOUBLE_EQ(val(p->coords.y), -48.5);
    EXPECT_DOUBLE_EQ(val(p->coords.x), -2.25);
    EXPECT_FLOAT_EQ(val(p->coords.z), -100.0f);
    EXPECT_DOUBLE_EQ(val(p->speed), 100 * 1852.0);
    int year = 0, month = 0;
    double day = 0;
    date_rec t = p->time;
    date_rec_split(&t, &year, &month, &day);
    EXPECT_EQ(year, 2021);
    EXPECT_EQ(month, 3);
    EXPECT_NEAR(day, 4 + (10 * 3600 + 30 * 60 + 15) / 86400.0, 1e-9);
  }
}

TEST_F(ExifTest, BadGpsEntriesAreSkippedOneByOne) {
  const std::vector<raw_entry> entries = {
      {1, kTiffAscii, 3, 0},                 // reference of count 3
      {2, kTiffRational, 2, 300},            // latitude of two rationals
      {4, kTiffRational, 3, 330},            // longitude: read
      {5, kTiffShort, 1, 1},                 // altitude reference not a BYTE
      {6, kTiffRational, 0xFFFFFFFFu, 360},  // altitude of 2^32-1 values
      {13, kTiffRational, 1, 9000},          // speed beyond the block
      {40, kTiffRational, 1, 360},           // tag beyond the table
  };
  bitmap_t* image = read_block(exif_dir_block(entries, kGpsIfd, gps_values));
  position_t* p = image_position(image);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(val(p->coords.y), 0.0);
  EXPECT_DOUBLE_EQ(val(p->coords.x), 2.25);
  EXPECT_EQ(val(p->coords.z), 0.0f);
  EXPECT_EQ(val(p->speed), NULL_DOUBLE);  // no speed read: left empty
  EXPECT_EQ(val(p->direction), NULL_DOUBLE);
}

void exif_values(block_writer& w) {
  w.rationals(300, {{1, 125}});          // 1/125 s
  w.rationals(310, {{6, 1}});            // shutter speed value 6: 1/64 s
  w.rationals(320, {{4294967295u, 1}});  // infinite distance
  w.rationals(330, {{5, 1}});            // aperture value 5
  w.text(340, "2010:11:12 13:14:15");
  w.text(370, "75");
}

TEST_F(ExifTest, ExposureTimeWinsOverShutterSpeedWhicheverComesFirst) {
  const raw_entry exposure{33434, kTiffRational, 1, 300}, shutter{37377, kTiffSRational, 1, 310};
  for (const auto& order : {std::vector<raw_entry>{exposure, shutter},
                            std::vector<raw_entry>{shutter, exposure}}) {
    bitmap_t* image = read_block(exif_dir_block(order, kExifIfd, exif_values));
    ASSERT_NE(meta_of(image), nullptr);
    EXPECT_DOUBLE_EQ(val(meta_of(image)->exposure_time), 0.008);
  }
  bitmap_t* image = read_block(exif_dir_block({shutter}, kExifIfd, exif_values));
  EXPECT_DOUBLE_EQ(val(meta_of(image)->exposure_time), 1.0 / 64);
}

// SubSecTimeOriginal digits are a fraction of a second, before or after the date.
TEST_F(ExifTest, SubSecondDigitsAreAFractionOfASecond) {
  const raw_entry date{36867, kTiffAscii, 20, 340}, subsec{37521, kTiffAscii, 5, 370};
  for (const auto& order :
       {std::vector<raw_entry>{date, subsec}, std::vector<raw_entry>{subsec, date}}) {
    bitmap_t* image = read_block(exif_dir_block(order, kExifIfd, exif_values));
    ASSERT_NE(meta_of(image), nullptr);
    date_rec d = meta_of(image)->date;
    int year = 0, month = 0;
    double day = 0;
    date_rec_split(&d, &year, &month, &day);
    EXPECT_EQ(year, 2010);
    EXPECT_EQ(month, 11);
    EXPECT_NEAR(day, 12 + (13 * 3600 + 14 * 60 + 15.75) / 86400.0, 1e-9);
  }
}

TEST_F(ExifTest, ExifValuesOfWrongTypesAreSkippedOthersRead) {
  const std::vector<raw_entry> entries = {
      {34855, kTiffLong, 1, 400},            // ISO not a SHORT
      {36867, kTiffAscii, 19, 340},          // date shorter than 20
      {37382, kTiffRational, 1, 320},        // infinite distance
      {37378, kTiffRational, 1, 330},        // aperture value: f-number 2^2.5
      {37381, kTiffAscii, 1, 0},             // max aperture as text
      {37385, kTiffShort, 1, 24},            // flash not fired
      {41989, kTiffShort, 0xFFFFFFFFu, 28},  // 35 mm focal length of 2^32-1 values
  };
  bitmap_t* image = read_block(exif_dir_block(entries, kExifIfd, exif_values));
  photo_meta_t* m = meta_of(image);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(val(m->iso), 0);
  EXPECT_EQ(val(m->date.date), 0.0);
  EXPECT_TRUE(std::isinf(val(m->subject_distance)));
  EXPECT_DOUBLE_EQ(val(m->f_number), std::pow(2.0, 2.5));
  EXPECT_EQ(val(m->max_aperture), 0.0);
  EXPECT_EQ(val(m->flash), -1);
  EXPECT_EQ(m->focal_length_35mm, 0.0);
}

TEST_F(ExifTest, PhotoMetaIsCopiedAndFreedWithTheImage) {
  bitmap_t* image = read_block(make_model_block(true).b);
  bitmap_t* copy = own(bitmap_clone_header(image, nullptr));
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(meta_of(copy), nullptr);
  EXPECT_NE(meta_of(copy), meta_of(image));
  EXPECT_EQ(make_model(copy), "Maker1 Model2 ");
}

}  // namespace

// ---- Through the whole readers ----------------------------------------------------------

// The same photos and pages loaded by the JPEG and TIFF readers through the image loading:
// the metadata reaches the loaded image as it does when the blocks are read alone.
class ExifThroughReaders : public ExifTest, public ::testing::WithParamInterface<std::string> {};

std::vector<std::string> photos_and_pages() {
  std::vector<std::string> all = fixtures_of(".jpg");
  for (const std::string& n : fixtures_of(".tif")) all.push_back(n);
  return all;
}

TEST_P(ExifThroughReaders, MatchExiftool) {
  const std::string name = GetParam();
  const bool tiff = name.size() > 4 && name.compare(name.size() - 4, 4, ".tif") == 0;
  fileatt_t* file = image_file(raster_test::fixture("exif", name), tiff ? kDecoderTiff : kDecoderJpeg);
  int rc = -1;
  bitmap_t* image = load(file, &rc);
  ASSERT_EQ(rc, 0) << name;
  ASSERT_NE(image, nullptr) << name;
  EXPECT_GT(int(image->width), 0);
  const std::string stem = name.substr(0, name.rfind('.'));
  expect_map want = read_expect(raster_test::fixture("exif", stem + ".expect"));
  // The TIFF reader turns the pixels of a page itself: its image is upright already and
  // must carry no rotation code for the viewer to apply a second time.
  if (tiff) want.erase("rotation");
  check_against_exiftool(image, want, name);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ExifThroughReaders, ::testing::ValuesIn(photos_and_pages()),
                         raster_test::case_name);

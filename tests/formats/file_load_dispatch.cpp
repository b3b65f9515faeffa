// The central load dispatch: the results of file_load (null file, unrecognised files,
// formats without a reader, readers' codes and the error codes they leave, a file
// already loaded), the unloading of a failed read, the georeference request, the road
// of GPS formats to their own reader or the GPS text reader, the track filter of the
// formats that get it, and file_unload.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/obj_list.h"
#include "geodesy/georef.h"
#include "map/bitmap_record.h"
#include "map/gps_classes.h"
#include "raster/image_load.h"
#include "tests/formats/load_fixture.h"

namespace {

// What the stand-in readers did and are to do.
int g_calls = 0;
int g_result = 0;
int g_left_error = 0;

// Makes a folder and a waypoint, then answers as told.
int scripted_reader(obj_t* file, container_t* list) {
  ++g_calls;
  folder_get_or_create(file, list, 0, nullptr);
  waypoint_t* w = nullptr;
  obj_new_in_list(list, CLS_WAYPOINT, reinterpret_cast<obj_t**>(&w));
  if (g_left_error) set_gblerr(g_left_error);
  return g_result;
}

constexpr double kDegPerMetre = 1.0 / 111195.0;

// A walk north of 20 points a second apart, the eighth jumping 10 km east.
int track_reader(obj_t* file, container_t* list) {
  ++g_calls;
  georef_create(list, nullptr);
  tracklog_t* track = nullptr;
  tracklog_create(list, &track);
  trackseg_t* seg = nullptr;
  trackseg_create(track, list, &seg);
  for (int i = 0; i < 20; ++i) {
    const double fraction = (10 * 3600.0 + i) / 86400.0;
    const date_rec d{20200601.0 + fraction, 1.0 + fraction};
    const double x = 2.0 + (i == 7 ? 10000.0 * kDegPerMetre : 0.0);
    gpspos_create(x, 45.0 + i * 1.4 * kDegPerMetre, &d, 0, seg, list, nullptr);
  }
  folder_get_or_create(file, list, 0, nullptr);
  return 0;
}

class FileLoadDispatch : public tm_test::LoadFixture {
 protected:
  void SetUp() override {
    LoadFixture::SetUp();
    g_calls = 0;
    g_result = 0;
    g_left_error = 0;
  }
  // An APRS map file (kind 3, format 42), read by whatever holds slot 42.
  fileatt_t* aprs_file(const std::string& name) { return open(put(name, "APRS map of the area\n\n\n\n\n\n\n\n\n\n\n")); }

  static int points_of_first_segment(const fileatt_t* f) {
    obj_t* seg = nullptr;
    obj_list_first_of_class(f->sot, CLS_TRACKSEG, &seg);
    return seg ? obj_list_count(static_cast<trackseg_t*>(seg)->sons) : -1;
  }
};

TEST_F(FileLoadDispatch, NullAndUnrecognisedFiles) {
  set_gblerr(14);
  EXPECT_EQ(file_load(nullptr, nullptr, 0), 1);
  EXPECT_EQ(get_gblerr(), 0);

  fileatt_t* text = open(put("notes.txt", "nothing this system reads, only words\n"));
  EXPECT_EQ(file_load(text, nullptr, 0), 3);
  EXPECT_EQ(int(text->filetype), kFileKindNone);
  EXPECT_TRUE(text->sot == nullptr);

  fileatt_t* missing = open(dir_ + "does-not-exist.gpx");
  EXPECT_EQ(file_load(missing, nullptr, 0), 3);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(FileLoadDispatch, ReaderResultsAndTheErrorsTheyLeave) {
  const struct {
    const char* what;
    bool reader;
    int result, left_error;
    int expected;
  } cases[] = {
      {"success", true, 0, 0, 0},
      {"no reader in the slot", false, 0, 0, 3},
      {"record cut short", true, 14, 0, 14},
      {"zero returned, datum missing left behind", true, 0, 13, 13},
      {"cannot open", true, 2, 0, 2},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    register_format_reader(42, c.reader ? scripted_reader : nullptr);
    g_result = c.result;
    g_left_error = c.left_error;
    fileatt_t* f = aprs_file("map" + std::to_string(n++) + ".txt");
    EXPECT_EQ(file_load(f, nullptr, 0), c.expected);
    EXPECT_EQ(get_gblerr(), 0);
    if (c.expected == 0) {
      ASSERT_TRUE(f->sot != nullptr);
      EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 1);
      EXPECT_TRUE(f->folder != nullptr);
    } else {
      // A failed read is unloaded: no content list, no folder left.
      EXPECT_TRUE(f->sot == nullptr);
      EXPECT_TRUE(f->folder == nullptr);
    }
  }
}

TEST_F(FileLoadDispatch, AlreadyLoadedChangesNothing) {
  register_format_reader(42, scripted_reader);
  fileatt_t* f = aprs_file("once.txt");
  ASSERT_EQ(file_load(f, nullptr, 0), 0);
  container_t* content = f->sot;
  const int count = obj_list_count(content);
  EXPECT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(g_calls, 1);
  EXPECT_TRUE(f->sot == content);
  EXPECT_EQ(obj_list_count(f->sot), count);
}

TEST_F(FileLoadDispatch, GpxLoadsThroughItsSlot) {
  fileatt_t* f = open(put("walk.gpx", tm_test::gpx_doc("Summit")));
  EXPECT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(int(f->filetype), kFileKindGps);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 1);
  EXPECT_TRUE(f->folder != nullptr);
}

// A PNG chunk: length, type, data, CRC of type and data.
std::string png_chunk(const std::string& type, const std::string& data) {
  std::string out;
  const uint32_t n = uint32_t(data.size());
  for (int shift : {24, 16, 8, 0}) out.push_back(char(n >> shift & 0xFF));
  out += type + data;
  const uint32_t crc = tm_test::crc_of(type + data);
  for (int shift : {24, 16, 8, 0}) out.push_back(char(crc >> shift & 0xFF));
  return out;
}

// A 2 x 1 grey PNG image, its data in a stored Deflate block.
std::string grey_png() {
  const std::string rows("\0\x10\xF0", 3);  // filter byte, two samples
  std::string zlib("\x78\x01", 2);
  zlib += tm_test::deflate_stored(rows);
  const uint32_t adler = adler32_update(kAdler32Init, rows.data(), rows.size());
  for (int shift : {24, 16, 8, 0}) zlib.push_back(char(adler >> shift & 0xFF));
  const std::string ihdr("\0\0\0\x02\0\0\0\x01\x08\0\0\0\0", 13);
  return std::string("\x89PNG\r\n\x1A\n", 8) + png_chunk("IHDR", ihdr) + png_chunk("IDAT", zlib) +
         png_chunk("IEND", "");
}

TEST_F(FileLoadDispatch, RasterImagesGoToTheImageLoading) {
  image_decoders_install();
  fileatt_t* f = open(put("grey.png", grey_png()));
  EXPECT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(int(f->filetype), kFileKindRaster);
  obj_t* image = nullptr;
  obj_list_first_of_class(f->sot, CLS_BITMAP, &image);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(int(static_cast<bitmap_t*>(image)->width), 2);
  image_decoders_reset();
}

TEST_F(FileLoadDispatch, GeoreferenceRequest) {
  // A plain picture is not georeferenced: the request comes back -1, nothing loads.
  const std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\0\0\0\0", 29);
  fileatt_t* picture = open(put("plain.png", png));
  int request = 1;
  EXPECT_EQ(file_load(picture, &request, 0), 0);
  EXPECT_EQ(request, -1);
  EXPECT_EQ(obj_list_count(picture->sot), 0);

  register_format_reader(42, scripted_reader);
  fileatt_t* map = aprs_file("placed.txt");
  request = 1;
  EXPECT_EQ(file_load(map, &request, 0), 0);
  EXPECT_EQ(request, 1);
  EXPECT_EQ(g_calls, 1);
}

TEST_F(FileLoadDispatch, GpsFormatsGoToTheirReaderOrTheTextReader) {
  register_format_reader(0, scripted_reader);  // the GPS text reader
  fileatt_t* tracklog = open(put("t.txt", "TMT-tracklog\n1 2 3\n4 5 6\n7 8 9\n"));
  EXPECT_EQ(file_load(tracklog, nullptr, 0), 0);
  EXPECT_EQ(int(tracklog->fileformat), 28);
  EXPECT_EQ(g_calls, 1);
  // A format with a reader of its own never falls back to the text reader.
  fileatt_t* logger = open(put("m.txt", "$PMTK182,8,1,2*3C\r\n$PMTK182,8,1,2*3C\r\n"));
  EXPECT_EQ(file_load(logger, nullptr, 0), 3);
  EXPECT_EQ(g_calls, 1);
}

TEST_F(FileLoadDispatch, TracksFilteredUnlessTheFormatKeepsThem) {
  register_format_reader(69, track_reader);  // MediaTek log: filtered
  register_format_reader(71, track_reader);  // Wintec TK1: kept as read
  fileatt_t* filtered = open(put("a.bin", "$PMTK182,8,1,2*3C\r\n$PMTK182,8,1,2*3C\r\n"));
  fileatt_t* kept = open(put("b.bin", "WintecLogFormat\r\nwhatever follows\r\n"));
  ASSERT_EQ(file_load(filtered, nullptr, 0), 0);
  ASSERT_EQ(file_load(kept, nullptr, 0), 0);
  EXPECT_EQ(points_of_first_segment(filtered), 19);
  EXPECT_EQ(points_of_first_segment(kept), 20);
}

TEST_F(FileLoadDispatch, UnloadReleasesTheLoad) {
  for (int flag : {0, 1}) {
    SCOPED_TRACE(flag);
    fileatt_t* f = open(put("u" + std::to_string(flag) + ".gpx", tm_test::gpx_doc("Hut")));
    ASSERT_EQ(file_load(f, nullptr, 0), 0);
    ASSERT_TRUE(f->folder != nullptr);
    file_unload(f, flag);
    EXPECT_TRUE(f->sot == nullptr);
    // The main folder stays for a reload unless the flag asks for it too.
    EXPECT_EQ(f->folder != nullptr, flag == 0);
    // Unloaded, the file loads again.
    EXPECT_EQ(file_load(f, nullptr, 0), 0);
    EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 1);
  }
}

}  // namespace

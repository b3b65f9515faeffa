// Recognition of files by their bytes: the magics and prefixes of the head, the
// Shapefile checks that end recognition, the XML roots within the first 9000 bytes and
// the rules of the text search, the kind of an OziExplorer file, the text markers, files
// too short to say anything, and the extension as the last resort.
#include <gtest/gtest.h>

#include <string>

#include "formats/format_names.h"
#include "formats/recognise.h"
#include "tests/formats/load_fixture.h"

namespace {

using tm_test::LoadFixture;

struct recognition_case {
  const char* label;
  std::string bytes;
  const char* name;  // file name (its extension is the last resort)
  int kind, format, georef;
};

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(char(b));
  return s;
}
// Text padded with line ends to 40 bytes, so that no file is too short.
std::string text(const std::string& head) { return head + std::string(head.size() < 40 ? 40 - head.size() : 1, '\n'); }
// Bytes padded with zeros to 40 bytes.
std::string binary(const std::string& head) { return head + std::string(40, '\0'); }

std::string shapefile(size_t size, uint32_t first_record) {
  std::string s = bytes({0x00, 0x00, 0x27, 0x0A});
  s.resize(size, '\0');
  if (size >= 104) {
    s[100] = char(first_record >> 24);
    s[101] = char(first_record >> 16);
    s[102] = char(first_record >> 8);
    s[103] = char(first_record);
  }
  return s;
}

class FileRecognition : public LoadFixture {
 protected:
  void check(const std::vector<recognition_case>& cases) {
    for (size_t i = 0; i < cases.size(); ++i) {
      const recognition_case& c = cases[i];
      SCOPED_TRACE(c.label);
      // Each case its own file: a path already identified would be reused as it is.
      fileatt_t* f = identify(std::to_string(i) + "_" + c.name, c.bytes);
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(int(f->filetype), c.kind);
      if (c.kind != kFileKindNone) {
        EXPECT_EQ(int(f->fileformat), c.format);
        EXPECT_EQ(int(f->georerefed), c.georef);
      }
      EXPECT_EQ(get_gblerr(), 0);
    }
  }
};

TEST_F(FileRecognition, MaskedMagicsOfTheHead) {
  check({
      {"jpeg", binary(bytes({0xFF, 0xD8, 0xFF, 0xE0})), "a.bin", 2, 1, 1},
      {"tiff little-endian", binary(bytes({0x49, 0x49, 0x2A, 0x00})), "a.bin", 2, 3, 1},
      {"tiff big-endian, third byte masked", binary(bytes({0x4D, 0x4D, 0x7F, 0x2A})), "a.bin", 2, 3, 1},
      {"png", binary(bytes({0x89, 'P', 'N', 'G', 0x0D})), "a.bin", 2, 4, 0},
      {"sun raster", binary(bytes({0x59, 0xA6, 0x6A, 0x95})), "a.bin", 2, 13, 0},
      {"pcx plain, version byte masked", binary(bytes({0x0A, 0x05, 0x00})), "a.bin", 2, 12, 0},
      {"pcx run-length", binary(bytes({0x0A, 0x05, 0x01})), "a.bin", 2, 12, 0},
      {"pcx with an unknown encoding", binary(bytes({0x0A, 0x05, 0x02})), "a.bin", 125, 0, 0},
      {"ecw", binary(bytes({0x65, 0x02, 0x01})), "a.bin", 2, 16, 1},
      {"sgi", binary(bytes({0x01, 0xDA, 0x01})), "a.bin", 2, 43, 0},
      {"mapsend", binary("\r4D53"), "a.bin", 4, 32, 1},
      {"wpr", binary(bytes({0x00, 0xA6, 0x38, 0x5C})), "a.bin", 4, 49, 1},
      {"wpo", binary(bytes({0x31, 0xA6, 0x38, 0x5C})), "a.bin", 4, 50, 1},
      {"trk", binary(bytes({0xA2, 0x12, 0xCB, 0x38})), "a.bin", 4, 51, 1},
      {"usr", binary(bytes({0x02, 0x00, 0x00, 0x00})), "a.bin", 4, 65, 1},
      {"usr needs the whole word", binary(bytes({0x02, 0x00, 0x00, 0x01})), "a.bin", 125, 0, 0},
  });
}

TEST_F(FileRecognition, ShapefileChecksEndRecognition) {
  check({
      {"first record 1", shapefile(120, 1), "a.shp", 3, 26, 1},
      {"first record 49", shapefile(111, 49), "a.shp", 3, 26, 1},
      {"first record 50", shapefile(120, 50), "a.tga", 125, 0, 0},
      {"110 bytes only, extension not tried", shapefile(110, 1), "a.tga", 125, 0, 0},
  });
}

TEST_F(FileRecognition, EveryPrefixAtItsOffset) {
  struct row {
    const char* head;
    int kind, format, georef;
  };
  const row rows[] = {
      {"BM", 2, 19, 0}, {"GIF89a", 2, 2, 0}, {"P1", 2, 6, 0}, {"P2", 2, 7, 0}, {"P3", 2, 8, 0},
      {"P4", 2, 9, 0}, {"P5", 2, 10, 0}, {"P6", 2, 11, 0}, {"BSB/", 2, 22, 0},
      {"APRS", 3, 42, 1}, {"WU2Z", 3, 42, 1}, {"100K", 3, 42, 1}, {"DCW ", 3, 42, 1},
      {"TGR ", 3, 42, 1}, {"\x01\x02TrackMaker", 4, 33, 1}, {"Version,212", 4, 44, 1},
      {"TMT-tracklog", 4, 28, 1}, {"TMW-waypoint", 4, 29, 1},
      {"TMT-V2_Tarmelo_Tracklog", 4, 35, 1}, {"TMW-V2_Tarmelo_Waypoint", 4, 36, 1},
      {"$PMGNWPL,4807.038,N", 4, 37, 1}, {"TMN-Tarmelo_NMEA_logfile", 4, 40, 1},
      {"TMR-V2_Tarmelo_Route", 4, 41, 1}, {"$PTMQH,NMEA File Header", 4, 39, 1},
      {"FileList V1.0", 9, 54, 1}, {"GeoFileList V2.0", 9, 55, 1}, {"$PEMT16", 4, 64, 1},
      {"TMN-V3_Tarmelo_Navigation_logfile", 4, 66, 1}, {"[Symbol 1]", 3, 58, 1},
      {"<kml xmlns", 3, 38, 1}, {"$PMTK182", 4, 69, 1}, {"$LOG1", 4, 70, 1},
      {"WintecLogFormat", 4, 71, 1}, {"WintecLogTk2", 4, 72, 1},
  };
  std::vector<recognition_case> cases;
  for (const row& r : rows) cases.push_back({r.head, text(r.head), "a.dat", r.kind, r.format, r.georef});
  // The prefixes win over what the rest of the file says.
  cases.push_back({"TrackMaker two bytes late", text("TrackMaker"), "a.dat", 125, 0, 0});
  cases.push_back({"msid without the decoder", text("msid"), "a.dat", 125, 0, 0});
  check(cases);
}

TEST_F(FileRecognition, MagellanSentenceNamesElseNmeaLog) {
  check({
      {"track sentence", text("$PMGNTRK,4807.038,N,01131.000,E,00100,M"), "a.log", 4, 37, 1},
      {"version sentence", text("$PMGNVER,19,1.47*3A"), "a.log", 4, 37, 1},
      {"format sentence", text("$PMGNFMT,%TRK,LAT"), "a.log", 4, 37, 1},
      {"unknown sentence", text("$PMGNXYZ,1,2,3"), "a.log", 4, 39, 1},
      {"longer name", text("$PMGNWPLX,1,2,3"), "a.log", 4, 39, 1},
  });
  EXPECT_EQ(magellan_log_check("$PMGNRTE*", 9), 1);
  EXPECT_EQ(magellan_log_check("PMGNRTE,", 8), 0);
}

TEST_F(FileRecognition, ArchivesByTheirMagic) {
  // A damaged gzip member and a ZIP archive of nothing loadable are unrecognised; their
  // magic is what sends them to the unpacking.
  check({
      {"gzip with a bad stream", binary(bytes({0x1F, 0x8B, 0x08, 0x00})), "a.gz", 125, 0, 0},
      {"gzip of a gpx", tm_test::gzip_of(tm_test::gpx_doc("G")), "a.gpx.gz", 4, 30, 1},
  });
  fileatt_t* zip = identify("a.zip", tm_test::zip_of({{"x.gpx", tm_test::gpx_doc("Z")}}));
  EXPECT_EQ(int(zip->filetype), kFileKindArchive);
  EXPECT_EQ(int(zip->fileformat), 53);
}

std::string xml_with(const std::string& body) { return "<?xml version=\"1.0\"?>\n" + body + "\n"; }

TEST_F(FileRecognition, XmlRootsInTableOrder) {
  check({
      {"gpx", xml_with("<gpx version=\"1.1\">"), "a.xml", 4, 30, 1},
      {"kml", xml_with("<kml xmlns=\"x\">"), "a.xml", 3, 38, 1},
      {"geonames", xml_with("<geonames>"), "a.xml", 3, 59, 1},
      {"training center", xml_with("<TrainingCenterDatabase>"), "a.xml", 4, 61, 1},
      {"history database", xml_with("<HistoryDatabase>"), "a.xml", 4, 61, 1},
      {"native objects", xml_with("<tmobjnative version=\"1\">"), "a.xml", 14, 75, 1},
      {"rowset", xml_with("<ROWSET>"), "a.xml", 14, 76, 1},
      {"osm", xml_with("<osm version=\"0.6\">"), "a.xml", 3, 68, 1},
      {"placemark", xml_with("<Document><Placemark>"), "a.xml", 3, 38, 1},
      {"ground overlay", xml_with("<GroundOverlay>"), "a.xml", 3, 38, 1},
      {"history", xml_with("<History>"), "a.xml", 4, 61, 1},
      {"an earlier row wins over an earlier place", xml_with("<osm><gpx>"), "a.xml", 4, 30, 1},
      {"roots are case-sensitive", xml_with("<GPX>"), "a.xml", 125, 0, 0},
      {"unknown root", xml_with("<svg>"), "a.xml", 125, 0, 0},
      {"no declaration, text marker finds it", "\n\n<?xml version=\"1.0\"?><gpx>\n", "a.xml", 4, 30, 1},
  });
}

// "<gpx>" placed so that its last byte has index `last`, behind an XML declaration.
std::string gpx_root_ending_at(size_t last) {
  std::string s = "<?xml version=\"1.0\"?>";
  s.resize(last + 1 - 4, ' ');
  return s + "<gpx>\n</gpx>\n";
}

TEST_F(FileRecognition, TextSearchRules) {
  check({
      {"root ending at byte 9000", gpx_root_ending_at(8999), "a.xml", 4, 30, 1},
      {"root ending at byte 9001", gpx_root_ending_at(9000), "a.xml", 125, 0, 0},
      {"a control byte before the root", xml_with(std::string("<!-- \x01 -->") + "<gpx>"), "a.xml", 125, 0, 0},
      {"a tab is text", xml_with("\t<gpx>"), "a.xml", 4, 30, 1},
      {"doubled bracket", xml_with("<<gpx version=\"1.1\">"), "a.xml", 125, 0, 0},
      {"blank between the brackets", xml_with("< <gpx version=\"1.1\">"), "a.xml", 4, 30, 1},
      {"root at the very end", "<?xml version=\"1.0\"?>\n<svg>\n<gpx", "a.xml", 125, 0, 0},
      {"root with one byte after it", "<?xml version=\"1.0\"?>\n<svg>\n<gpx>", "a.xml", 4, 30, 1},
  });
}

TEST_F(FileRecognition, OziExplorerKinds) {
  check({
      {"waypoints", text("OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\n"), "a.wpt", 4, 34, 1},
      {"track", text("OziExplorer Track Point File Version 2.1\r\n"), "a.plt", 4, 34, 1},
      {"route", text("OziExplorer Route File Version 1.0\r\n"), "a.rte", 4, 34, 1},
      {"event", text("OziExplorer Event File\r\n"), "a.evt", 4, 34, 1},
      {"point", text("OziExplorer Point File\r\n"), "a.pnt", 4, 34, 1},
      {"map", text("OziExplorer Map Data File Version 2.2\r\n"), "a.map", 2, 60, 1},
      {"pocket map", text("OziExplorer CE Map Data File Version 3.0\r\n"), "a.map", 2, 60, 1},
      {"grid", text("OziExplorer Grid File\r\n"), "a.grd", 125, 0, 0},
      {"lower-case word", text("OziExplorer map Data File\r\n"), "a.map", 125, 0, 0},
  });
}

TEST_F(FileRecognition, TextMarkers) {
  const std::string rmc = "$GPRMC,092751.000,A,5321.6802,N,00630.3371,W,0.06,31.66,280511,,,A*45\r\n";
  check({
      {"xpm", text("  /* XPM */\nstatic char *x[] = {"), "a.xpm", 2, 5, 0},
      {"mif version", text("Version 300\nCharset \"WindowsLatin1\""), "a.mif", 3, 27, 1},
      {"mif version with a tab", text("VERSION\t300"), "a.mif", 3, 27, 1},
      {"pcx5", text("H  SOFTWARE NAME & VERSION\r\nI  PCX5 2.09\r\n"), "a.txt", 4, 45, 1},
      {"polish map", text("; comment\r\n[IMG ID]\r\nID=1\r\n"), "a.txt", 3, 47, 1},
      {"nmea rmc", "junk line\r\n" + rmc, "a.txt", 4, 39, 1},
      {"nmea gga", text("x\r\n$GPGGA,092751.000,5321.6802,N"), "a.txt", 4, 39, 1},
      {"nmea gll", text("x\r\n$GPGLL,5321.6802,N,00630.3371,W"), "a.txt", 4, 39, 1},
      {"nmea sentence one byte from the end", "some text before it...\r\n$GPRMC,", "a.txt", 125, 0, 0},
      {"nmea sentence two bytes from the end", "some text before it...\r\n$GPRMC,,", "a.txt", 4, 39, 1},
      {"bsb later in the file", text("!Copyright notice\r\nBSB/NA=CHART"), "a.kap", 2, 22, 1},
      {"html in capitals", text("<!DOCTYPE html>\n<HTML><body>"), "a.htm", 10, 0, 1},
      {"kml later in the file", text("\n\n<kml xmlns=\"x\">"), "a.txt", 3, 38, 1},
      {"plain text", text("nothing to see in this text file"), "a.txt", 125, 0, 0},
  });
}

TEST_F(FileRecognition, ShortFilesAndExtensions) {
  const std::string png = bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
  check({
      {"19 bytes of png", png + std::string(11, '\0'), "a.png", 125, 0, 0},
      {"20 bytes of png", png + std::string(12, '\0'), "a.png", 2, 4, 0},
      {"short gif", "GIF89a", "a.gif", 125, 0, 0},
      {"short tga by name", "tiny", "a.tga", 125, 0, 0},
      {"tga in capitals", text("unknown content"), "A.TGA", 2, 14, 0},
      {"trl", text("unknown content"), "track.trl", 4, 48, 1},
      {"tk3", binary(std::string(1024, '\0')), "push.TK3", 4, 73, 1},
      {"content before extension", binary(png), "picture.tga", 2, 4, 0},
      {"no dot before the letters", text("unknown content"), "a_tga", 125, 0, 0},
  });
}

TEST_F(FileRecognition, SidOnlyWithItsDecoderAndImageStreams) {
  get_file_load_hooks().sid_decoder_bound = [] { return 1; };
  check({{"msid with the decoder", text("msid"), "a.sid", 2, 18, 1}});
  // An image stream by address is the ECW reader's, never fetched here.
  fileatt_t* stream = open("ecwp://example.org/images/world.ecw");
  ASSERT_EQ(int(stream->filetype), kFileKindEcwp);
  file_identify_and_load_default(stream);
  EXPECT_EQ(int(stream->filetype), kFileKindEcwp);
  EXPECT_EQ(int(stream->fileformat), 16);
  EXPECT_EQ(int(stream->georerefed), 1);
}

TEST(FormatNames, TableRunsFrom26To73) {
  const struct {
    int format;
    const char* name;  // null: no name
  } cases[] = {
      {25, nullptr},
      {26, "ESRI Shapefile"},
      {30, "GPS eXchange"},
      {31, " "},
      {38, "Keyhole Markup Language (Google Earth)"},
      {40, " "},
      {43, " "},
      {55, "GeoFileList "},
      {59, "GeoNames XML"},
      {63, " "},
      {66, "Tarmelo Navigation"},
      {73, "Wintec waypoints TK3"},
      {74, nullptr},
      {75, nullptr},
      {76, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const char* got = format_display_name(c.format);
    if (!c.name)
      EXPECT_EQ(got, nullptr);
    else
      EXPECT_STREQ(got, c.name);
  }
}

}  // namespace

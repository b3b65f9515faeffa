// The printer list from the configuration, document properties (defaults, merging, what
// a printer accepts and refuses) and the device capabilities of printer contexts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/print/printer.h"
#include "tests/support/test_env.h"

namespace {

using plat::DevMode;

class PrintSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = tm_test::fresh_dir("printers");
    plat::set_printer_config({{"Office", folder, 300, true},
                              {"Fine", folder, 600, true},
                              {"Laser", folder, 300, false}});
  }
  void TearDown() override { plat::set_printer_config({}); }

  // document_properties on an open printer with DM_IN_BUFFER | DM_OUT_BUFFER.
  DevMode merged(const char* printer, const DevMode& in) {
    plat::Printer p = nullptr;
    EXPECT_TRUE(plat::open_printer(printer, &p));
    DevMode out;
    EXPECT_EQ(plat::document_properties(p, &out, &in, plat::DM_IN_BUFFER | plat::DM_OUT_BUFFER), 1);
    plat::close_printer(p);
    return out;
  }
  std::string folder;
};

TEST_F(PrintSetup, ListComesFromTheConfiguration) {
  EXPECT_EQ(plat::enum_printers(), (std::vector<std::string>{"Office", "Fine", "Laser"}));
  EXPECT_EQ(plat::get_default_printer(), "Office");
  EXPECT_EQ(plat::printer_output_folder("Fine"), folder);
  EXPECT_EQ(plat::printer_output_folder("Nobody"), "");

  // Nameless and repeated entries are left out; a resolution out of range becomes 300; a
  // folder written with '\' is read as written with '/'.
  plat::set_printer_config({{"", "/x", 300, true},
                            {"B", "", 5000, true},
                            {"A", "/srv\\prints", 150, true},
                            {"B", "/other", 150, true}});
  EXPECT_EQ(plat::enum_printers(), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(plat::get_default_printer(), "B");
  EXPECT_EQ(plat::printer_output_folder("A"), "/srv/prints/");
  plat::Dc dc = plat::create_printer_dc("B", nullptr);
  EXPECT_EQ(plat::get_device_caps(dc, plat::LOGPIXELSX), 300);
  plat::delete_dc(dc);

  plat::set_printer_config({});
  EXPECT_EQ(plat::enum_printers(), std::vector<std::string>{"PDF"});
  EXPECT_EQ(plat::get_default_printer(), "PDF");
}

TEST_F(PrintSetup, OpenAndCapabilitiesOfPrinters) {
  plat::Printer p = nullptr;
  EXPECT_FALSE(plat::open_printer("Nobody", &p));
  EXPECT_EQ(p, nullptr);
  EXPECT_FALSE(plat::open_printer(nullptr, &p));
  EXPECT_EQ(plat::document_properties(nullptr, nullptr, nullptr, 0), int(sizeof(DevMode)));
  DevMode out;
  EXPECT_EQ(plat::document_properties(nullptr, &out, nullptr, plat::DM_OUT_BUFFER), -1);
  ASSERT_TRUE(plat::open_printer("Office", &p));
  EXPECT_EQ(plat::document_properties(p, nullptr, nullptr, plat::DM_OUT_BUFFER), -1);  // no buffer
  EXPECT_EQ(plat::document_properties(p, &out, nullptr, plat::DM_IN_BUFFER), -1);
  EXPECT_TRUE(plat::close_printer(p));

  EXPECT_EQ(plat::device_capabilities("Office", plat::DC_ORIENTATION), 90);
  EXPECT_EQ(plat::device_capabilities("Office", plat::DC_COLORDEVICE), 1);
  EXPECT_EQ(plat::device_capabilities("Laser", plat::DC_COLORDEVICE), 0);
  EXPECT_EQ(plat::device_capabilities("Nobody", plat::DC_ORIENTATION), -1);
  EXPECT_EQ(plat::device_capabilities("Office", 9999), -1);
}

TEST_F(PrintSetup, DefaultsDescribeThePrinter) {
  struct Case {
    const char* printer;
    int16_t quality, color;
  };
  const Case cases[] = {{"Office", 300, plat::DMCOLOR_COLOR}, {"Fine", 600, plat::DMCOLOR_COLOR},
                        {"Laser", 300, plat::DMCOLOR_MONOCHROME}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printer);
    plat::Printer p = nullptr;
    ASSERT_TRUE(plat::open_printer(c.printer, &p));
    DevMode d;
    ASSERT_EQ(plat::document_properties(p, &d, nullptr, plat::DM_OUT_BUFFER), 1);
    plat::close_printer(p);
    EXPECT_STREQ(d.device_name, c.printer);
    EXPECT_EQ(d.size, sizeof(DevMode));
    EXPECT_TRUE(d.fields & plat::DM_ORIENTATION);
    EXPECT_TRUE(d.fields & plat::DM_PRINTQUALITY);
    EXPECT_TRUE(d.fields & plat::DM_YRESOLUTION);
    EXPECT_EQ(d.orientation, plat::DMORIENT_PORTRAIT);
    EXPECT_EQ(d.paper_size, plat::DMPAPER_A4);
    EXPECT_EQ(d.paper_width, 2100);
    EXPECT_EQ(d.paper_length, 2970);
    EXPECT_EQ(d.copies, 1);
    EXPECT_EQ(d.print_quality, c.quality);
    EXPECT_EQ(d.y_resolution, c.quality);
    EXPECT_EQ(d.color, c.color);
  }
}

// Each setting given alone: kept when the printer accepts it, the default otherwise.
TEST_F(PrintSetup, SettingsAreMergedWhenThePrinterAcceptsThem) {
  struct Case {
    const char* what;
    const char* printer;
    void (*set)(DevMode*);
    void (*expect)(const DevMode&);
  };
  const Case cases[] = {
      {"landscape", "Office", [](DevMode* d) { d->fields = plat::DM_ORIENTATION; d->orientation = plat::DMORIENT_LANDSCAPE; },
       [](const DevMode& d) { EXPECT_EQ(d.orientation, plat::DMORIENT_LANDSCAPE); }},
      {"unknown orientation", "Office", [](DevMode* d) { d->fields = plat::DM_ORIENTATION; d->orientation = 3; },
       [](const DevMode& d) { EXPECT_EQ(d.orientation, plat::DMORIENT_PORTRAIT); }},
      {"letter", "Office", [](DevMode* d) { d->fields = plat::DM_PAPERSIZE; d->paper_size = plat::DMPAPER_LETTER; },
       [](const DevMode& d) {
         EXPECT_EQ(d.paper_size, plat::DMPAPER_LETTER);
         EXPECT_EQ(d.paper_width, 2159);
         EXPECT_EQ(d.paper_length, 2794);
       }},
      {"unknown paper", "Office", [](DevMode* d) { d->fields = plat::DM_PAPERSIZE; d->paper_size = 99; },
       [](const DevMode& d) { EXPECT_EQ(d.paper_size, plat::DMPAPER_A4); }},
      {"a lower resolution, y following", "Office",
       [](DevMode* d) { d->fields = plat::DM_PRINTQUALITY; d->print_quality = 150; },
       [](const DevMode& d) {
         EXPECT_EQ(d.print_quality, 150);
         EXPECT_EQ(d.y_resolution, 150);
       }},
      {"a resolution above the printer's", "Office",
       [](DevMode* d) { d->fields = plat::DM_PRINTQUALITY | plat::DM_YRESOLUTION; d->print_quality = 600; d->y_resolution = 600; },
       [](const DevMode& d) {
         EXPECT_EQ(d.print_quality, 300);
         EXPECT_EQ(d.y_resolution, 300);
       }},
      {"a resolution no printer has", "Fine", [](DevMode* d) { d->fields = plat::DM_PRINTQUALITY; d->print_quality = 123; },
       [](const DevMode& d) { EXPECT_EQ(d.print_quality, 600); }},
      {"quality code high", "Fine",
       [](DevMode* d) {
         d->fields = plat::DM_PRINTQUALITY | plat::DM_YRESOLUTION;
         d->print_quality = plat::DMRES_HIGH;
         d->y_resolution = plat::DMRES_HIGH;
       },
       [](const DevMode& d) {
         EXPECT_EQ(d.print_quality, plat::DMRES_HIGH);
         EXPECT_EQ(d.y_resolution, plat::DMRES_HIGH);
       }},
      {"a different y resolution", "Fine",
       [](DevMode* d) { d->fields = plat::DM_PRINTQUALITY | plat::DM_YRESOLUTION; d->print_quality = 600; d->y_resolution = 300; },
       [](const DevMode& d) {
         EXPECT_EQ(d.print_quality, 600);
         EXPECT_EQ(d.y_resolution, 300);
       }},
      {"grey on a colour printer", "Office", [](DevMode* d) { d->fields = plat::DM_COLOR; d->color = plat::DMCOLOR_MONOCHROME; },
       [](const DevMode& d) { EXPECT_EQ(d.color, plat::DMCOLOR_MONOCHROME); }},
      {"colour on a grey printer", "Laser", [](DevMode* d) { d->fields = plat::DM_COLOR; d->color = plat::DMCOLOR_COLOR; },
       [](const DevMode& d) { EXPECT_EQ(d.color, plat::DMCOLOR_MONOCHROME); }},
      {"copies", "Office", [](DevMode* d) { d->fields = plat::DM_COPIES; d->copies = 3; },
       [](const DevMode& d) { EXPECT_EQ(d.copies, 3); }},
      {"no copies", "Office", [](DevMode* d) { d->fields = plat::DM_COPIES; d->copies = 0; },
       [](const DevMode& d) { EXPECT_EQ(d.copies, 1); }},
      {"fields not named are not read", "Office",
       [](DevMode* d) { d->fields = 0; d->orientation = plat::DMORIENT_LANDSCAPE; d->print_quality = 150; },
       [](const DevMode& d) {
         EXPECT_EQ(d.orientation, plat::DMORIENT_PORTRAIT);
         EXPECT_EQ(d.print_quality, 300);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DevMode in;
    c.set(&in);
    c.expect(merged(c.printer, in));
  }
}

// What the printing code's search for a printer's resolutions finds: every candidate is
// handed in (quality and y resolution together), and those read back unchanged are kept.
TEST_F(PrintSetup, PrintersKeepTheResolutionsTheyPrintAt) {
  const int candidates[] = {4800, 4000, 3600, 3000, 3200, 2880, 2400, 2000, 1600, 1440, 1200, 1000, 800, 720, 600,
                            480,  400,  360,  300,  288,  240,  200,  150,  144,  120,  100,  75,   72,   60};
  struct Case {
    const char* printer;
    std::vector<int> kept;
  };
  const Case cases[] = {{"Office", {300, 200, 150, 100, 75, 72}}, {"Fine", {600, 300, 200, 150, 100, 75, 72}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.printer);
    std::vector<int> kept;
    for (int dpi : candidates) {
      DevMode in;
      in.fields = plat::DM_PRINTQUALITY | plat::DM_YRESOLUTION;
      in.print_quality = int16_t(dpi);
      in.y_resolution = int16_t(dpi);
      DevMode out = merged(c.printer, in);
      if (out.print_quality == dpi && out.y_resolution == dpi) kept.push_back(dpi);
    }
    EXPECT_EQ(kept, c.kept);
  }
}

// In and out may be the same record, as the printing code passes its own.
TEST_F(PrintSetup, SettingsRoundTripThroughOneRecord) {
  plat::Printer p = nullptr;
  ASSERT_TRUE(plat::open_printer("Office", &p));
  DevMode d;
  ASSERT_EQ(plat::document_properties(p, &d, nullptr, plat::DM_OUT_BUFFER), 1);
  d.fields = plat::DM_ORIENTATION | plat::DM_PRINTQUALITY | plat::DM_YRESOLUTION | plat::DM_PAPERSIZE;
  d.orientation = plat::DMORIENT_LANDSCAPE;
  d.print_quality = plat::DMRES_DRAFT;
  d.y_resolution = plat::DMRES_DRAFT;
  d.paper_size = plat::DMPAPER_LETTER;
  ASSERT_EQ(plat::document_properties(p, &d, &d, plat::DM_IN_BUFFER | plat::DM_OUT_BUFFER), 1);
  DevMode again;
  ASSERT_EQ(plat::document_properties(p, &again, &d, plat::DM_IN_BUFFER | plat::DM_OUT_BUFFER), 1);
  plat::close_printer(p);
  EXPECT_EQ(again.orientation, plat::DMORIENT_LANDSCAPE);
  EXPECT_EQ(again.print_quality, plat::DMRES_DRAFT);
  EXPECT_EQ(again.paper_size, plat::DMPAPER_LETTER);
  EXPECT_EQ(again.paper_width, 2159);
  EXPECT_STREQ(again.device_name, "Office");
  // The printer's own defaults are not changed by what a caller asked.
  ASSERT_TRUE(plat::open_printer("Office", &p));
  DevMode fresh;
  plat::document_properties(p, &fresh, nullptr, plat::DM_OUT_BUFFER);
  plat::close_printer(p);
  EXPECT_EQ(fresh.orientation, plat::DMORIENT_PORTRAIT);
  EXPECT_EQ(fresh.print_quality, 300);

  // A draft landscape letter page on a 300 dpi printer: 150 dpi, 11 x 8.5 inches.
  plat::Dc dc = plat::create_printer_dc("Office", &again);
  EXPECT_EQ(plat::get_device_caps(dc, plat::HORZRES), 1650);
  EXPECT_EQ(plat::get_device_caps(dc, plat::VERTRES), 1275);
  EXPECT_EQ(plat::get_device_caps(dc, plat::LOGPIXELSY), 150);
  plat::delete_dc(dc);
}

// A printer context answers as a colour raster printer at its resolution, its page the
// whole A4 sheet.
TEST_F(PrintSetup, DeviceCapsOfPrinterContexts) {
  struct Cap {
    int index;
    int office, fine, laser;  // 300 dpi colour, 600 dpi colour, 300 dpi grey
  };
  const Cap caps[] = {
      {plat::HORZRES, 2480, 4961, 2480},       {plat::VERTRES, 3508, 7016, 3508},
      {plat::PHYSICALWIDTH, 2480, 4961, 2480}, {plat::PHYSICALHEIGHT, 3508, 7016, 3508},
      {plat::PHYSICALOFFSETX, 0, 0, 0},        {plat::PHYSICALOFFSETY, 0, 0, 0},
      {plat::LOGPIXELSX, 300, 600, 300},       {plat::LOGPIXELSY, 300, 600, 300},
      {plat::HORZSIZE, 210, 210, 210},         {plat::VERTSIZE, 297, 297, 297},
      {plat::BITSPIXEL, 32, 32, 8},            {plat::PLANES, 1, 1, 1},
      {plat::NUMCOLORS, -1, -1, 256},          {plat::TECHNOLOGY, plat::DT_RASPRINTER, plat::DT_RASPRINTER, plat::DT_RASPRINTER},
  };
  for (const char* printer : {"Office", "Fine", "Laser"}) {
    SCOPED_TRACE(printer);
    plat::Dc dc = plat::create_printer_dc(printer, nullptr);
    ASSERT_NE(dc, nullptr) << plat::last_print_error();
    EXPECT_TRUE(plat::is_printer_dc(dc));
    for (const Cap& c : caps) {
      int want = printer[0] == 'O' ? c.office : printer[0] == 'F' ? c.fine : c.laser;
      EXPECT_EQ(plat::printer_device_caps(dc, c.index), want) << "index " << c.index;
      EXPECT_EQ(plat::get_device_caps(dc, c.index), want) << "the drawing layer's answer, index " << c.index;
    }
    // What the drawing layer answers itself agrees where it knows the answer.
    for (int index : {plat::HORZRES, plat::VERTRES, plat::LOGPIXELSX, plat::LOGPIXELSY, plat::PHYSICALWIDTH,
                      plat::PHYSICALHEIGHT, plat::PHYSICALOFFSETX, plat::PLANES})
      EXPECT_EQ(plat::get_device_caps(dc, index), plat::printer_device_caps(dc, index)) << "index " << index;
    // What the printing code requires of a printer.
    EXPECT_TRUE(plat::printer_device_caps(dc, plat::RASTERCAPS) & plat::RC_DIBTODEV);
    EXPECT_TRUE(plat::printer_device_caps(dc, plat::RASTERCAPS) & plat::RC_STRETCHDIB);
    EXPECT_TRUE(plat::printer_device_caps(dc, plat::LINECAPS) & plat::LC_POLYLINE);
    EXPECT_TRUE(plat::printer_device_caps(dc, plat::TEXTCAPS) & plat::TC_OP_CHARACTER);
    plat::delete_dc(dc);
  }
  plat::Dc memory = plat::create_compatible_dc(nullptr);
  EXPECT_EQ(plat::printer_device_caps(memory, plat::TECHNOLOGY), plat::DT_RASDISPLAY);
  EXPECT_EQ(plat::printer_device_caps(memory, plat::LOGPIXELSX), 96);
  EXPECT_EQ(plat::get_device_caps(memory, plat::TECHNOLOGY), plat::DT_RASDISPLAY);
  plat::delete_dc(memory);
}

}  // namespace

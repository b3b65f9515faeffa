// Printing through the test printers (300 dpi colour, 600 dpi grey), read back with the
// poppler tools: the printer list and its qualities, the page's size and orientation,
// and the print command drawing what the screen shows into one PDF page, centred on
// the sheet; a view that shows none of the data, or no printer chosen, prints nothing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/print.h"
#include "map/raster_display.h"
#include "map/redraw.h"
#include "platform/print/printer.h"
#include "tests/map/draw_fixture.h"
#include "tests/map/mapwin_fixture.h"
#include "tests/platform/print_pdf.h"
#include "tests/support/test_env.h"

namespace {

using mapwin_test::MapWinFixture;

// What the stand-in dialog answers: the printer of that name (none: cancel), its
// settings, and the quality of that value (0: none chosen).
struct dialog_answer {
  std::string printer;
  int quality = 0;
  int ratio = 100;
  int orientation = PRINT_AUTOMATIC;
  int image_res = -1;  // typed into the image resolutions (-1: left as given)
  int calls = 0;
};
dialog_answer& answer() {
  static dialog_answer a;
  return a;
}

int answer_dialog(mapwin_t*, container_t* printers, printer_entry_t** printer,
                  quality_entry_t** quality, double* font, double* thickness, int* hres,
                  int* vres, int*) {
  ++answer().calls;
  if (hres && vres && answer().image_res >= 0) *hres = *vres = answer().image_res;
  for (int i = 0; i < obj_list_count(printers); ++i) {
    printer_entry_t* e = nullptr;
    obj_list_get(printers, i, &e);
    if (answer().printer != e->name) continue;
    e->ratio = answer().ratio;
    e->orientation = answer().orientation;
    *printer = e;
    *quality = nullptr;
    container_t* qs = nullptr;
    printer_qualities(e, &qs);
    for (int k = 0; k < obj_list_count(qs); ++k) {
      quality_entry_t* q = nullptr;
      obj_list_get(qs, k, &q);
      if (q->value == answer().quality) *quality = q;
    }
    free_obj(reinterpret_cast<obj_t**>(&qs));
    *font = *thickness = 1.0;
    return 1;
  }
  return 0;
}

// The test image's grey (60), give or take the rendering's rounding.
bool image_grey(std::array<int, 3> p) {
  return p[0] == p[1] && p[1] == p[2] && p[0] >= 57 && p[0] <= 63;
}

std::string& task_text() {
  static std::string t;
  return t;
}
const char* answer_task_text() { return task_text().c_str(); }

class PrintFixture : public MapWinFixture {
 protected:
  void SetUp() override {
    MapWinFixture::SetUp();
    font_table_init();
    redraw_types_register();
    print_install_page_offsets();
    redraw_interrupt(0);
    redraw_install_hooks(nullptr);
    folder_ = tm_test::fresh_dir("printpage");
    plat::set_printer_config({{"Colour", folder_, 300, true}, {"Grey", folder_, 600, false}});
    answer() = dialog_answer{};
    print_dialog_hooks h;
    h.run = answer_dialog;
    print_set_dialog_hooks(&h);
    get_command_hooks().current_task_text = answer_task_text;
    win_ = window(120, 100);
    set_current_mapwin(win_);
    // World (0, 0) at the lower-left corner, 2 pixels a unit, y upwards.
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    win_->map = screen_mapping{0, -50, 2, -2};
  }
  void TearDown() override {
    visible_list_reset();
    redraw_set_current_pane(nullptr);
    print_set_dialog_hooks(nullptr);
    get_raster_display_hooks().page_offsets = nullptr;
    shapes_.forget_points();
    if (image_) graphspace_remove_object(gs_, image_);
    obj_t* b = image_;
    if (b) free_obj(&b);
    MapWinFixture::TearDown();
    shapes_.free_folders();
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_PRINTER_ENTRY, &cursor)) {
      obj_t* e = cursor;
      cursor = nullptr;
      free_obj(&e);
    }
    plat::set_printer_config({});
  }

  void shape_layer(std::vector<std::vector<double>>& lines, uint32_t colour, int fill) {
    int counter = 0;
    shapes_.add(gs_, lines, colour, fill, &counter);
  }

  // A filled blue square and a red track: the data spans 5..55 x 5..30.
  void build_graph_space() {
    polygon_ = {{5, 5, 25, 5, 25, 20, 5, 20, 5, 5}};
    track_ = {{30, 10, 55, 10, 55, 30}};
    shape_layer(polygon_, tm_test::kBlueWord, 1);
    shape_layer(track_, tm_test::kRedWord, 0);
    ASSERT_TRUE(graphspace_has_data(gs_));
  }
  // A grey image of 20 x 15 pixels at 10 dpi (2 x 1.5 inches) on world 0..20 x 0..15.
  void image_layer() {
    config_temp_dir_set(tm_test::fresh_dir("printswap").c_str(), "s_");
    obj_new(0, CLS_BITMAP, reinterpret_cast<obj_t**>(&image_));
    ASSERT_EQ(alloc_bitmap(image_, 20, 15, 1, 0), 0);
    set_graylevel_lut(image_);
    for (int y = 0; y < 15; ++y) std::memset(get_img_line_adr(image_, y, 0), 60, 20);
    const extent_t e{0, 20, 0, 15, 0};
    std::memcpy(reinterpret_cast<char*>(image_) + offsetof(bitmap_t, extent), &e, sizeof e);
    const int32_t dpi = 10;
    std::memcpy(reinterpret_cast<char*>(image_) + offsetof(bitmap_t, xres), &dpi, sizeof dpi);
    std::memcpy(reinterpret_cast<char*>(image_) + offsetof(bitmap_t, yres), &dpi, sizeof dpi);
    layer_t* images = nullptr;
    graphspace_layer_of_priority(gs_, 0, &images);
    ASSERT_NE(images, nullptr);
    layer_link_t* link = nullptr;
    obj_new(0, CLS_LAYER_LINK, reinterpret_cast<obj_t**>(&link));
    link->object = image_;
    obj_list_append(images->objects, link);
    obj_list_append(images->objects, image_);
    graphspace_update_layer(gs_, images, 1);
  }
  printer_entry_t* entry(const char* name) {
    printer_list_load();
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_PRINTER_ENTRY, &cursor))
      if (std::strcmp(static_cast<printer_entry_t*>(cursor)->name, name) == 0)
        return static_cast<printer_entry_t*>(cursor);
    return nullptr;
  }
  static std::vector<int> quality_values(const printer_entry_t* e) {
    std::vector<int> values;
    container_t* qs = nullptr;
    printer_qualities(e, &qs);
    for (int k = 0; k < obj_list_count(qs); ++k) {
      quality_entry_t* q = nullptr;
      obj_list_get(qs, k, &q);
      values.push_back(q->value);
    }
    free_obj(reinterpret_cast<obj_t**>(&qs));
    return values;
  }
  static int windows_alive() {
    int n = 0;
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_MAPWIN, &cursor)) ++n;
    return n;
  }
  // Command 8 on the window, then the passes it asked for; the printed file.
  std::string print(const char* printer, int image_option = 0) {
    answer().printer = printer;
    task_text() = std::to_string(win_->id) + " " + std::to_string(image_option);
    if (print_setup() != 1) return "";
    redraw_dirty_mapwins();
    redraw_schedule();
    for (int i = 0; i < 100 && redraw_pass() == 0; ++i) {}
    return folder_ + "/Map.pdf";
  }
  // Where world (x, y) lands on the sheet rendered at `dpi`, for a page of `scale` dots
  // a unit whose corner is at (ox, oy) dots, the printer printing at `printer_dpi`.
  static std::pair<int, int> on_sheet(double x, double y, double scale, double ox, double oy,
                                      double printer_dpi, int dpi) {
    const double f = dpi / printer_dpi;
    return {int((ox + (x - 5) * scale) * f), int((oy + (30 - y) * scale) * f)};
  }
  // Whether a pixel within 2 of (x, y) satisfies the test.
  template <class F> static bool near(const print_test::Raster& r, std::pair<int, int> at, F test) {
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx) {
        const int x = at.first + dx, y = at.second + dy;
        if (x >= 0 && y >= 0 && x < r.width && y < r.height && test(r.at(x, y))) return true;
      }
    return false;
  }

  std::string folder_;
  mapwin_t* win_ = nullptr;
  tm_test::ShapeLayers shapes_;
  std::vector<std::vector<double>> polygon_, track_;
  bitmap_t* image_ = nullptr;
};

TEST_F(PrintFixture, PrintersAndTheirQualities) {
  printer_entry_t* colour = entry("Colour");
  printer_entry_t* grey = entry("Grey");
  ASSERT_NE(colour, nullptr);
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ(mapwin_test::v(colour->quality), 300);
  EXPECT_EQ(mapwin_test::v(grey->quality), 600);
  EXPECT_EQ(mapwin_test::v(colour->ratio), 100);
  EXPECT_EQ(mapwin_test::v(colour->page_depth), 32);
  EXPECT_EQ(mapwin_test::v(grey->page_depth), 8);
  // The printer's own resolution first, then the candidates it accepts, none above it.
  std::vector<int> q = quality_values(colour);
  ASSERT_FALSE(q.empty());
  EXPECT_EQ(q[0], 300);
  EXPECT_EQ(std::count(q.begin(), q.end(), 300), 1);
  EXPECT_EQ(*std::max_element(q.begin(), q.end()), 300);
  EXPECT_NE(std::find(q.begin(), q.end(), 150), q.end());
  EXPECT_NE(std::find(quality_values(grey).begin(), quality_values(grey).end(), 300),
            quality_values(grey).end());
  // An unknown printer, or one listed already, gets no entry.
  EXPECT_EQ(printer_entry_add("Nowhere"), nullptr);
  EXPECT_EQ(printer_entry_add("Grey"), nullptr);
  EXPECT_EQ(printer_entry_add(""), nullptr);
  // Loading again adds nothing.
  const int n = obj_class_count(CLS_PRINTER_ENTRY, nullptr);
  printer_list_load();
  EXPECT_EQ(obj_class_count(CLS_PRINTER_ENTRY, nullptr), n);
  EXPECT_EQ(n, 2);
}

TEST_F(PrintFixture, QualityNames) {
  const struct {
    int value;
    const char* name;
  } cases[] = {{-4, "HIGH"}, {-3, "MEDIUM"}, {-2, "LOW"}, {-1, "DRAFT"}, {300, " 300"},
               {72, "  72"}, {1200, "1200"}, {0, nullptr},  {-5, nullptr}};
  for (const auto& c : cases) {
    quality_entry_t q{};
    q.value = c.value;
    quality_entry_name(&q);
    const char* name = q.name;
    if (c.name)
      EXPECT_STREQ(name, c.name) << c.value;
    else
      EXPECT_EQ(name, nullptr) << c.value;
    free_mem(&q.name);
  }
}

// A4 at 300 dpi is 2480 x 3508 dots.
TEST_F(PrintFixture, PageSizeFromRatioOrientationAndAspect) {
  printer_entry_t* e = entry("Colour");
  ASSERT_NE(e, nullptr);
  const struct {
    int ratio, orientation;
    double area_w, area_h;
    int width, height;
  } cases[] = {
      {100, PRINT_AUTOMATIC, 200, 100, 3508, 1754},  // wide area: landscape
      {100, PRINT_AUTOMATIC, 100, 200, 1754, 3508},  // tall area stays portrait
      {100, PRINT_PORTRAIT, 200, 100, 2480, 1240},
      {100, PRINT_LANDSCAPE, 100, 100, 2480, 2480},
      {50, PRINT_AUTOMATIC, 200, 100, 1754, 877},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ratio * 1000 + c.orientation);
    e->ratio = c.ratio;
    e->orientation = c.orientation;
    mapwin_t* page = nullptr;
    ASSERT_EQ(print_page_create(&page, e, c.area_w, c.area_h, 0, 0), 0);
    EXPECT_EQ(mapwin_test::v(page->width), c.width);
    EXPECT_EQ(mapwin_test::v(page->height), c.height);
    EXPECT_EQ(get_current_mapwin(), page);
    plat::delete_dc(page->dc);
    obj_t* o = page;
    free_obj(&o);
  }
}

TEST_F(PrintFixture, NominalSizeCapsThePageAndKeepsPortrait) {
  printer_entry_t* e = entry("Colour");
  ASSERT_NE(e, nullptr);
  // A 4 x 2 inch image: 1200 x 600 dots at 300 dpi, fitting across the portrait sheet.
  mapwin_t* page = nullptr;
  ASSERT_EQ(print_page_create(&page, e, 400, 200, 4, 2), 0);
  EXPECT_EQ(mapwin_test::v(page->width), 1200);
  EXPECT_EQ(mapwin_test::v(page->height), 600);
  EXPECT_EQ(e->devmode->orientation, plat::DMORIENT_PORTRAIT);
  plat::delete_dc(page->dc);
  obj_t* o = page;
  free_obj(&o);
}

TEST_F(PrintFixture, EmptyOrBrokenAreaOrTinyPageFails) {
  printer_entry_t* e = entry("Colour");
  mapwin_t* page = reinterpret_cast<mapwin_t*>(1);
  const int alive = windows_alive();
  EXPECT_EQ(print_page_create(&page, e, 0, 0, 0, 0), 1);
  EXPECT_EQ(print_page_create(&page, e, NAN, 10, 0, 0), 1);
  EXPECT_EQ(print_page_create(&page, nullptr, 10, 10, 0, 0), 1);
  e->ratio = 0;  // 0 keeps the whole page: only 1..99 reduce it
  EXPECT_EQ(print_page_create(&page, e, 10, 10000000, 0, 0), 0);
  EXPECT_EQ(mapwin_test::v(page->width), 1);  // fitted, never below one dot
  plat::delete_dc(page->dc);
  obj_t* o = page;
  free_obj(&o);
  page = nullptr;
  EXPECT_EQ(windows_alive(), alive);
}

// An area twice as wide as tall on the colour printer: one A4 page in landscape, the
// square and the track where the screen has them.
TEST_F(PrintFixture, CommandPrintsTheScreensLayersOnOneLandscapePage) {
  build_graph_space();
  const int alive = windows_alive();
  const std::string pdf = print("Colour");
  ASSERT_FALSE(pdf.empty());
  EXPECT_EQ(windows_alive(), alive);  // the page window was freed
  EXPECT_EQ(get_current_mapwin(), win_);
  std::map<std::string, std::string> info = print_test::pdfinfo(pdf);
  EXPECT_EQ(info["Pages"], "1");
  EXPECT_NE(info["Page size"].find("(A4)"), std::string::npos) << info["Page size"];
  EXPECT_EQ(info["Page size"].rfind("841.", 0), 0u) << info["Page size"];  // landscape
  const print_test::Raster r =
      print_test::render_page(pdf, 1, 60, tm_test::fresh_dir("printraster") + "/p");
  ASSERT_EQ(r.width, 702);  // 11.69 inches across
  const double scale = 3508.0 / 50, oy = (2480 - 1754) / 2.0;
  auto blue = [](std::array<int, 3> p) { return p[0] < 60 && p[1] < 60 && p[2] > 200; };
  // A thin track, smoothed by the rendering: red ahead of green and blue.
  auto red = [](std::array<int, 3> p) { return p[0] > 200 && p[0] - p[1] > 25 && p[0] - p[2] > 25; };
  auto white = [](std::array<int, 3> p) { return p[0] > 250 && p[1] > 250 && p[2] > 250; };
  EXPECT_TRUE(near(r, on_sheet(15, 12, scale, 0, oy, 300, 60), blue));
  EXPECT_TRUE(near(r, on_sheet(42, 10, scale, 0, oy, 300, 60), red));
  EXPECT_TRUE(near(r, on_sheet(50, 10, scale, 0, oy, 300, 60), red));
  EXPECT_TRUE(white(r.at(on_sheet(40, 25, scale, 0, oy, 300, 60).first,
                         on_sheet(40, 25, scale, 0, oy, 300, 60).second)));
  EXPECT_TRUE(white(r.at(5, 5)));  // above the centred page
}

// Ratio 50: the page is half as large and centred on the sheet.
TEST_F(PrintFixture, RatioFiftyHalvesAndCentres) {
  build_graph_space();
  answer().ratio = 50;
  const std::string pdf = print("Colour");
  ASSERT_FALSE(pdf.empty());
  const print_test::Raster r =
      print_test::render_page(pdf, 1, 60, tm_test::fresh_dir("printhalf") + "/p");
  const double scale = 1754.0 / 50, ox = (3508 - 1754) / 2.0, oy = (2480 - 877) / 2.0;
  auto blue = [](std::array<int, 3> p) { return p[0] < 60 && p[1] < 60 && p[2] > 200; };
  // A thin track, smoothed by the rendering: red ahead of green and blue.
  auto red = [](std::array<int, 3> p) { return p[0] > 200 && p[0] - p[1] > 25 && p[0] - p[2] > 25; };
  EXPECT_TRUE(near(r, on_sheet(15, 12, scale, ox, oy, 300, 60), blue));
  EXPECT_TRUE(near(r, on_sheet(42, 10, scale, ox, oy, 300, 60), red));
  // Left of the half-size page the sheet stays white.
  const std::array<int, 3> left = r.at(int(ox * 60 / 300) - 5, r.height / 2);
  EXPECT_TRUE(left[0] > 250 && left[1] > 250 && left[2] > 250);
}

// The grey printer at 600 dpi: every pixel is a grey level, the square darker than paper.
TEST_F(PrintFixture, GreyPrinterPrintsGreyLevels) {
  build_graph_space();
  const std::string pdf = print("Grey");
  ASSERT_FALSE(pdf.empty());
  const print_test::Raster r =
      print_test::render_page(pdf, 1, 60, tm_test::fresh_dir("printgrey") + "/p");
  ASSERT_GT(r.width, 0);
  for (int y = 0; y < r.height; y += 3)
    for (int x = 0; x < r.width; x += 3) {
      const std::array<int, 3> p = r.at(x, y);
      ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;
    }
  const double scale = 7016.0 / 50, oy = (4961 - 3508) / 2.0;
  EXPECT_TRUE(near(r, on_sheet(15, 12, scale, 0, oy, 600, 60),
                   [](std::array<int, 3> p) { return p[0] < 128; }));
}

// A view showing none of the data, a cancelled dialog, or an unknown window: nothing is
// printed and no page window is left behind.
TEST_F(PrintFixture, NothingToPrintMakesNoFile) {
  build_graph_space();
  const int alive = windows_alive();
  {
    std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
    win_->map = screen_mapping{-1000, -1000, 2, -2};  // far from the data
  }
  EXPECT_EQ(print("Colour"), "");
  EXPECT_EQ(print("No such printer"), "");
  task_text() = "999999 0";
  EXPECT_EQ(print_setup(), 0);
  task_text() = "junk";
  EXPECT_EQ(print_setup(), 0);
  EXPECT_EQ(windows_alive(), alive);
  EXPECT_EQ(get_current_mapwin(), win_);
  EXPECT_TRUE(print_test::read_all(folder_ + "/Map.pdf").empty());
}

// An image print on the colour printer: 2 x 1.5 inches on a portrait sheet (it fits
// across), 600 x 450 dots centred, the image's grey where it lies; with the image
// resolution typed as 20 dpi, half that size.
TEST_F(PrintFixture, ImagePrintAtItsNominalSize) {
  image_layer();
  for (int typed : {-1, 20}) {
    SCOPED_TRACE(typed);
    answer().image_res = typed;
    const double inches_w = typed < 0 ? 2.0 : 1.0, inches_h = inches_w * 0.75;
    const std::string pdf = print("Colour", 1);
    ASSERT_FALSE(pdf.empty());
    std::map<std::string, std::string> info = print_test::pdfinfo(pdf);
    EXPECT_EQ(info["Page size"].rfind("595.", 0), 0u) << info["Page size"];  // portrait
    const print_test::Raster r =
        print_test::render_page(pdf, 1, 60, tm_test::fresh_dir("printimage") + "/p");
    ASSERT_EQ(r.width, 497);  // 8.27 inches across
    const double cx = r.width / 2.0, cy = r.height / 2.0;
    const double half_w = inches_w * 60 / 2, half_h = inches_h * 60 / 2;
    EXPECT_TRUE(image_grey(r.at(int(cx), int(cy))));
    EXPECT_TRUE(image_grey(r.at(int(cx - half_w + 3), int(cy - half_h + 3))));
    for (std::pair<double, double> out : {std::pair<double, double>{cx - half_w - 4, cy},
                                          {cx + half_w + 4, cy}, {cx, cy - half_h - 4},
                                          {cx, cy + half_h + 4}}) {
      const std::array<int, 3> p = r.at(int(out.first), int(out.second));
      EXPECT_GT(p[0], 250) << out.first << "," << out.second;
    }
    std::remove(pdf.c_str());
  }
}

// The image in a map print: printed where the screen has it, under the shapes.
TEST_F(PrintFixture, MapPrintShowsTheImageWhereTheScreenHasIt) {
  build_graph_space();
  image_layer();
  const std::string pdf = print("Colour");
  ASSERT_FALSE(pdf.empty());
  const print_test::Raster r =
      print_test::render_page(pdf, 1, 60, tm_test::fresh_dir("printmapimage") + "/p");
  // The data now spans 0..55 x 0..30: landscape, 3508 / 55 dots a unit.
  const double scale = 3508.0 / 55, oy = (2480 - 30 * scale) / 2.0;
  auto at = [&](double x, double y) {
    return r.at(int(x * scale * 60 / 300), int((oy + (30 - y) * scale) * 60 / 300));
  };
  EXPECT_TRUE(image_grey(at(2, 2)));
  EXPECT_TRUE(image_grey(at(18, 3)));
  const std::array<int, 3> square = at(15, 12);
  EXPECT_TRUE(square[0] < 60 && square[2] > 200);  // the square drawn over it
  const std::array<int, 3> outside = at(2, 25);
  EXPECT_GT(outside[0], 250);
}

// No quality chosen keeps the printer's own; a chosen one becomes the printer's.
TEST_F(PrintFixture, ChosenQualityIsCopiedIntoThePrinter) {
  double factors[2] = {1, 1};
  printer_entry_t* chosen = nullptr;
  answer().printer = "Grey";
  ASSERT_EQ(print_choose_printer(win_, factors, nullptr, nullptr, &chosen), 1);
  EXPECT_EQ(mapwin_test::v(chosen->quality), 600);
  answer().quality = 300;
  ASSERT_EQ(print_choose_printer(win_, factors, nullptr, nullptr, &chosen), 1);
  EXPECT_EQ(mapwin_test::v(chosen->quality), 300);
  print_set_dialog_hooks(nullptr);
  EXPECT_EQ(print_choose_printer(win_, factors, nullptr, nullptr, &chosen), 0);
  EXPECT_EQ(chosen, nullptr);
}

}  // namespace

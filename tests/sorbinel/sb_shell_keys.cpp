// The viewer's shell driven as a user would: the zoom keys and their factors, the
// toolbar commands that stand for keys, rotation by F7 and F8 against the raster
// operations, mirroring, the mouse (pan, double-click zoom), the path field, the
// information window, printing through the set-up dialog to a PDF file, Esc, and an error code that a step leaves
// set (shown and cleared: the viewer goes on).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>

#include "core/error.h"
#include "core/config.h"
#include "core/hooks.h"
#include "map/mapwin.h"
#include "platform/print/printer.h"
#include "platform/ui/icons.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/keys.h"
#include "platform/ui/messages.h"
#include "raster/raster_ops.h"
#include "shell/framework/print_dialog.h"
#include "shell/framework/progress.h"
#include "tests/support/harness_dialogs.h"
#include "tests/sorbinel/sb_shell_fixture.h"
#include "tests/support/run_tool.h"

namespace {

using sb_test::ShellTest;

struct exit_called {
  int code;
};
[[noreturn]] void throw_exit(int code) { throw exit_called{code}; }

class ShellKeys : public ShellTest {
 protected:
  // Shows one file as start-up does and checks it is the shown one.
  void show(const std::string& fixture) {
    const std::string path = copy_fixture(fixture);
    start({path});
    drain();
    ASSERT_EQ(shown(), std::filesystem::path(fixture).filename().string());
  }
  static double zoom() { return std::fabs(scale_x()); }
  static void key(int vk, unsigned mods = 0) {
    tm_test::press_key(vk, mods);
    drain();
  }
};

TEST_F(ShellKeys, ZoomKeysApplyTheirFactors) {
  show("info/gradient.png");
  EXPECT_DOUBLE_EQ(zoom(), 1.0);  // one image: the stored zoom is actual size
  EXPECT_EQ(sb_filter()->single_image, 1);
  struct row {
    std::vector<int> keys;
    double factor;
  };
  const double in = std::pow(2.0, 0.25), out = std::pow(2.0, -1.0 / 3.0);
  const row rows[] = {
      {{plat::VK_F1}, in},
      {{plat::VK_F2}, out},
      {{plat::VK_F2, plat::VK_F1}, out * in},
      {{plat::VK_F1, plat::VK_F1, plat::VK_F3}, 1.0},
      {{plat::VK_F2, plat::VK_F4}, 1.0},  // the stored zoom
      {{plat::VK_ADD}, in},               // keypad + outside a slideshow zooms
      {{plat::VK_SUBTRACT}, out},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.keys.size());
    key(plat::VK_F3);
    ASSERT_DOUBLE_EQ(zoom(), 1.0);
    for (int k : r.keys) key(k);
    EXPECT_NEAR(zoom(), r.factor, 1e-12);
  }
  // F2 then F1 is not the way back.
  EXPECT_GT(std::fabs(out * in - 1.0), 0.01);
  // F5: the whole image in the window, touching two of its sides.
  key(plat::VK_F5);
  const double fit = std::min(view()->width / 40.0, view()->height / 24.0);
  EXPECT_NEAR(zoom(), fit, fit * 0.02);
}

// The window's picture: the image pixel for pixel about the document window's centre
// (red 6 a column, green 10 a row), the background around it.
TEST_F(ShellKeys, ShownImageIsDrawnPixelForPixel) {
  show("info/gradient.png");
  const int cx = view()->width / 2, cy = view()->height / 2;
  struct row {
    int dx, dy;
    int column, line;
  };
  const row rows[] = {{0, 0, 20, 12}, {-15, 0, 5, 12}, {15, -8, 35, 4}, {-19, 11, 1, 23}};
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(r.dx) + "," + std::to_string(r.dy));
    const uint32_t p = document_pixel(cx + r.dx, cy + r.dy);
    EXPECT_NEAR(int((p >> 16) & 255), r.column * 6, 6);
    EXPECT_NEAR(int((p >> 8) & 255), r.line * 10, 10);
  }
  const uint32_t outside = document_pixel(cx + 40, cy);
  EXPECT_EQ(outside, document_pixel(cx, cy + 30));
  EXPECT_NE(outside, document_pixel(cx, cy));
  // After F2 the image covers fewer pixels: the point 15 to the right shows column 20 + 15 / 0.79.
  key(plat::VK_F2);
  const uint32_t p = document_pixel(cx + 15, cy);
  EXPECT_NEAR(int((p >> 16) & 255), int((20 + 15 / std::pow(2.0, -1.0 / 3.0)) * 6), 12);
}

TEST_F(ShellKeys, ToolbarButtonsActAsTheirKeys) {
  show("info/gradient.png");
  struct row {
    unsigned id;
    double factor;
  };
  const row rows[] = {
      {SB_ID_ZOOM_IN, std::pow(2.0, 0.25)},
      {SB_ID_ZOOM_OUT, std::pow(2.0, -1.0 / 3.0)},
      {SB_ID_ACTUAL_SIZE, 1.0},
      {SB_ID_STORED_ZOOM, 1.0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.id);
    key(plat::VK_F3);
    // The button of the command, clicked at its middle.
    const int index = int(plat::send_message(sb().toolbar, plat::TB_COMMANDTOINDEX, r.id, 0));
    ASSERT_GE(index, 0);
    plat::Rect b;
    ASSERT_TRUE(plat::send_message(sb().toolbar, plat::TB_GETITEMRECT, plat::WParam(index), plat::LParam(&b)));
    tm_test::click(sb().toolbar, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
    drain();
    EXPECT_NEAR(zoom(), r.factor, 1e-12);
  }
}

// The turned image is the raster operations' own quarter turn of the shown one.
TEST_F(ShellKeys, RotationKeysTurnTheImageAsTheRasterOperations) {
  show("info/gradient.png");
  struct row {
    int vk;
    int direction;  // image_rotate: 1 anticlockwise, 2 clockwise
  };
  for (const row& r : {row{plat::VK_F7, 1}, row{plat::VK_F8, 2}}) {
    SCOPED_TRACE(r.vk);
    ASSERT_EQ(shown_images().size(), 1u);
    bitmap_t* before = shown_images()[0];
    const int before_height = before->height;
    bitmap_t* expected = nullptr;
    image_rotate(before, r.direction, &expected);
    ASSERT_NE(expected, nullptr);
    key(r.vk);
    ASSERT_EQ(shown_images().size(), 1u);
    bitmap_t* after = shown_images()[0];
    EXPECT_NE(after, before);
    const int width = after->width, height = after->height, planes = after->planes;
    ASSERT_EQ(width, int{expected->width});
    ASSERT_EQ(height, int{expected->height});
    EXPECT_EQ(width, before_height);
    for (int y = 0; y < height; ++y)
      for (int p = 0; p < planes; ++p) {
        const uint8_t* got = get_img_line_adr(after, y, p);
        const uint8_t* want = get_img_line_adr(expected, y, p);
        ASSERT_TRUE(got && want);
        ASSERT_EQ(std::memcmp(got, want, size_t(width)), 0) << "row " << y << " plane " << p;
      }
    free_obj(&expected);
    EXPECT_DOUBLE_EQ(zoom(), 1.0);  // zoomed to the stored zoom again
  }
}

TEST_F(ShellKeys, RotationNeedsASingleImage) {
  show("info/gradient.png");
  sb_filter()->single_image = 0;
  bitmap_t* before = shown_images()[0];
  key(plat::VK_F7);
  key(plat::VK_F8);
  EXPECT_EQ(shown_images()[0], before);
  EXPECT_EQ(int{before->width}, 40);
}

TEST_F(ShellKeys, MirrorInvertsTheHorizontalScale) {
  show("info/gradient.png");
  const double sx = scale_x(), sy = scale_y();
  const uint32_t left = document_pixel(view()->width / 2 - 15, view()->height / 2);
  const uint32_t right = document_pixel(view()->width / 2 + 15, view()->height / 2);
  ASSERT_NE(left, right);
  key(plat::VK_F6);
  EXPECT_DOUBLE_EQ(scale_x(), -sx);
  EXPECT_DOUBLE_EQ(scale_y(), sy);  // the vertical axis stays
  // The picture is turned round about the window's centre (to the pixel: the image's
  // red grows by 6 a column, its green by 10 a row), and the zoom keeps it so.
  auto near_column = [](uint32_t got, uint32_t want) {
    const int dr = int((got >> 16) & 255) - int((want >> 16) & 255);
    return std::abs(dr) <= 6 && ((got >> 8) & 255) == ((want >> 8) & 255);
  };
  EXPECT_TRUE(near_column(document_pixel(view()->width / 2 + 15, view()->height / 2), left));
  EXPECT_TRUE(near_column(document_pixel(view()->width / 2 - 15, view()->height / 2), right));
  key(plat::VK_F3);
  EXPECT_DOUBLE_EQ(scale_x(), -sx);
  key(plat::VK_F6);
  EXPECT_DOUBLE_EQ(scale_x(), sx);
}

TEST_F(ShellKeys, DoubleClicksZoomAboutThePointAndDragPans) {
  show("dims/small_300x200.png");
  plat::Wnd doc = sb().document_window;
  tm_test::double_click(doc, 100, 80);
  drain();
  EXPECT_DOUBLE_EQ(zoom(), 2.0);
  tm_test::double_click(doc, 100, 80, plat::MouseButton::right);
  drain();
  EXPECT_DOUBLE_EQ(zoom(), 1.0);
  // The world point under the pointer when the drag starts follows the pointer.
  const double ox = view()->map.origin_x, oy = view()->map.origin_y;
  tm_test::mouse_down(doc, 100, 100);
  tm_test::mouse_move(doc, 130, 110);
  tm_test::mouse_up(doc, 130, 110);
  drain();
  EXPECT_NEAR(view()->map.origin_x - ox, 30.0 / scale_x(), 1e-9);
  EXPECT_NEAR(view()->map.origin_y - oy, 10.0 / scale_y(), 1e-9);
}

TEST_F(ShellKeys, PathFieldEnterShowsTheTypedFile) {
  const std::string path = copy_fixture("info/gradient.png");
  ASSERT_NE(sb().path_field, nullptr);
  plat::set_focus(sb().path_field);
  tm_test::type_text(path.c_str());
  key(plat::VK_RETURN);
  EXPECT_EQ(shown(), "gradient.png");
  EXPECT_NE(title().find("gradient.png"), std::string::npos) << title();
}

TEST_F(ShellKeys, F12OpensTheInformationWindowAndRestoresTheTitle) {
  show("info/gradient.png");
  const std::string before = title();
  key(plat::VK_F12);
  plat::Wnd info = tm_test::find_window(nullptr, "File information");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(title(), before);
  EXPECT_NE(sb().info_text.find("Name\n"), std::string::npos);
  EXPECT_NE(sb().info_text.find("Dimension\n40 x 24 pixels"), std::string::npos) << sb().info_text;
  plat::destroy_window(info);
}

// A photo tagged with its GPS position by exiftool: the information window (F12) shows
// where it was taken, as exiftool reads it, whether it is shown as stored or turned
// upright from its EXIF orientation.
class ShellKeysGps : public ShellKeys, public ::testing::WithParamInterface<const char*> {};

TEST_P(ShellKeysGps, F12ShowsTheGpsPositionOfAPhoto) {
  for (const char* tool : {"exiftool", "convert"})
    if (!tm_test::tool_present(tool)) GTEST_SKIP() << "no " << tool;
  {
    const char* orientation = GetParam();
    const std::string path = dir_ + "gps_" + orientation + ".jpg";
    std::string out;
    ASSERT_EQ(tm_test::run_tool({"convert", "-size", "64x40", "gradient:#3060a0-#e0c040", path}, &out, 20000), 0)
        << out;
    ASSERT_EQ(tm_test::run_tool({"exiftool", "-q", "-overwrite_original", "-GPSLatitude=45.9171234",
                                 "-GPSLatitudeRef=N", "-GPSLongitude=6.8801234", "-GPSLongitudeRef=W",
                                 std::string("-Orientation#=") + orientation, path},
                                &out, 20000),
              0)
        << out;
    std::string json;
    ASSERT_EQ(tm_test::run_tool({"exiftool", "-n", "-j", "-GPSLatitude", "-GPSLongitude", path}, &json, 20000), 0);
    std::smatch lat, lon;
    ASSERT_TRUE(std::regex_search(json, lat, std::regex("\"GPSLatitude\": (-?[0-9.]+)"))) << json;
    ASSERT_TRUE(std::regex_search(json, lon, std::regex("\"GPSLongitude\": (-?[0-9.]+)"))) << json;
    start({path});
    drain();
    ASSERT_EQ(shown(), "gps_" + std::string(orientation) + ".jpg");
    key(plat::VK_F12);
    plat::Wnd info = tm_test::find_window(nullptr, "File information");
    ASSERT_NE(info, nullptr);
    char expected[128];
    std::snprintf(expected, sizeof expected, "\nGPS position (lon ; lat)\n(%.7lf ° ; %.7lf °)",
                  std::atof(lon[1].str().c_str()), std::atof(lat[1].str().c_str()));
    EXPECT_NE(sb().info_text.find(expected), std::string::npos) << sb().info_text;
    plat::destroy_window(info);
    drain();
    // Turned a quarter, it was still taken there.
    sb_rotate(kSbRotateClockwise);
    drain();
    EXPECT_NE(sb_file_info_text(sb().current).find(expected), std::string::npos) << sb_file_info_text(sb().current);
  }
}
// Stored upright, and stored on its side (EXIF orientation 6: turned when shown).
INSTANTIATE_TEST_SUITE_P(Orientations, ShellKeysGps, ::testing::Values("1", "6"));

// The icon group "SORBV": the viewer's icon picture, large and 16 x 16.
TEST_F(ShellKeys, TheMainWindowCarriesTheViewersIcon) {
  plat::Surface big, small;
  ASSERT_TRUE(plat::get_window_icon(sb().main, plat::kWindowIconBig, &big));
  ASSERT_TRUE(plat::get_window_icon(sb().main, plat::kWindowIconSmall, &small));
  EXPECT_EQ(big.width, 32);
  EXPECT_EQ(big.height, 32);
  EXPECT_EQ(small.width, 16);
  EXPECT_EQ(small.height, 16);
}

// "-title": the queued files are shown under the title, in the status part and the page
// label.
TEST_F(ShellKeys, TheTitleOfTheCommandLineNamesTheQueuedFiles) {
  const std::string path = copy_fixture("info/gradient.png");
  sb_parse_command_line(("-title Vue_du_col -load " + path).c_str());
  sb_title_queued_files();
  sb_take_queue();
  post_command(kSbSlotNextFile, 0, nullptr);
  settle();
  drain();
  ASSERT_EQ(shown(), "gradient.png");
  EXPECT_EQ(sb_page_label(sb().current).rfind("Vue_du_col", 0), 0u) << sb_page_label(sb().current);
  ASSERT_NE(sb().frame, nullptr);
  ASSERT_NE(sb().frame->status_part, nullptr);
  EXPECT_STREQ(sb().frame->status_part, "Vue_du_col");
  EXPECT_STREQ(sb_file_shown_name(nullptr), "");
  // Without SBTITLE nothing is titled.
  sb_file_titles_clear();
  config_set("SBTITLE", "");
  sb_title_queued_files();
  EXPECT_STREQ(sb_file_shown_name(sb().current), file_get_name(sb().current));
}

TEST_F(ShellKeys, PageLabelNamesThePageAndTheDescription) {
  show("pages.tif");
  const std::string label = sb_page_label(sb().current);
  EXPECT_NE(label.find(" page 1/4"), std::string::npos) << label;
  EXPECT_NE(label.find("  TIFF format "), std::string::npos) << label;
}

// Ctrl+P shows the print set-up dialog first, in its image variant (the image's
// resolutions and the full-page box in place of the map's factors); OK prints one PDF
// page, Cancel prints nothing.
class ShellPrint : public ShellKeys {
 protected:
  void SetUp() override {
    ShellKeys::SetUp();
    folder_ = dir_ + "pdf/";
    std::filesystem::create_directories(folder_);
    plat::PrinterConfig printer;
    printer.name = "PDF";
    printer.folder = folder_;
    printer.dpi = 72;
    plat::set_printer_config({printer});
    print_dialog_reset();
  }
  void TearDown() override {
    print_dialog_reset();
    plat::set_printer_config({});
    ShellKeys::TearDown();
  }
  std::vector<std::string> pdfs() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder_))
      if (e.path().extension() == ".pdf") out.push_back(e.path().string());
    return out;
  }
  // Ctrl+P with the dialog answered by `act`; the task runs to its end.
  void print(const std::function<void(plat::Wnd)>& act) {
    bool asked = false;
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      asked = true;
      act(dlg);
    });
    key('P', tm_test::MOD_CTRL);
    for (int i = 0; i < 50 && task_running_slot() != 0; ++i) drain();
    EXPECT_TRUE(asked) << "no print set-up dialog";
    EXPECT_EQ(task_running_slot(), 0);
  }
  std::string folder_;
};

TEST_F(ShellPrint, CtrlPShowsTheImageSetUpThenPrintsAPdfPage) {
  if (!tm_test::tool_present("pdfinfo")) GTEST_SKIP() << "no pdfinfo";
  show("info/gradient.png");
  bool image_variant = false, map_factors = true, full_page_box = false;
  std::string title;
  print([&](plat::Wnd dlg) {
    char text[64] = "";
    plat::get_window_text(dlg, text, sizeof text);
    title = text;
    const auto visible = [&](int id) { return plat::is_window_visible(plat::get_dlg_item(dlg, id)); };
    image_variant = visible(IDC_PRINT_IMG_H) && visible(IDC_PRINT_IMG_V);
    map_factors = visible(IDC_PRINT_FONT) || visible(IDC_PRINT_THICK);
    full_page_box = visible(IDC_PRINT_FULL_PAGE);
    tm_test::click_control(dlg, IDC_PRINT_OK);
  });
  EXPECT_EQ(title, "Print");
  EXPECT_TRUE(image_variant);
  EXPECT_FALSE(map_factors);
  EXPECT_TRUE(full_page_box);
  const std::vector<std::string> files = pdfs();
  ASSERT_EQ(files.size(), 1u) << "no PDF in " << folder_;
  std::string out;
  ASSERT_EQ(tm_test::run_tool({"pdfinfo", files[0]}, &out, 20000), 0) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("\nPages: +1\n"))) << out;
}

TEST_F(ShellPrint, CancelPrintsNothing) {
  show("info/gradient.png");
  const int windows = [] {
    int n = 0;
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_MAPWIN, &cursor)) ++n;
    return n;
  }();
  print([](plat::Wnd dlg) { tm_test::click_control(dlg, IDC_PRINT_CANCEL); });
  EXPECT_TRUE(pdfs().empty());
  int after = 0;
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_MAPWIN, &cursor)) ++after;
  EXPECT_EQ(after, windows);  // no printer page was made
}

TEST_F(ShellKeys, PrintWaitsWhileASlideshowRuns) {
  show("info/gradient.png");
  sb().mode |= kSbModeSlideshow;
  sb_on_key('P', 0, 1);
  EXPECT_EQ(task_slot_state(8), 0);
  sb_on_command(SB_ID_PRINT);
  EXPECT_EQ(task_slot_state(8), 0);
  sb().mode = 0;
}

TEST_F(ShellKeys, EscapeEndsTheProgram) {
  show("info/gradient.png");
  const core_hooks saved = get_core_hooks();
  get_core_hooks().exit_program = throw_exit;
  int code = -1;
  plat::use_virtual_clock(false);
  try {
    sb_main_wndproc(sb().main, plat::WM_KEYDOWN, plat::VK_ESCAPE, 0);
  } catch (const exit_called& e) {
    code = e.code;
  }
  plat::use_virtual_clock(true);
  get_core_hooks() = saved;
  sb_exit_reset();
  app_set_closing(0);
  set_stop_request(0);
  EXPECT_EQ(code, 0);
}

// An error code still set when the status is refreshed is the user's to see: it goes to
// the error line, is cleared, and the viewer goes on.
TEST_F(ShellKeys, ErrorLeftAtStatusRefreshIsShownAndTheViewerGoesOn) {
  show("info/gradient.png");
  const core_hooks saved = get_core_hooks();
  get_core_hooks().exit_program = throw_exit;
  for (int code : {ERR_BAD_FILE, ERR_MEMORY, ERR_UNKNOWN_FORMAT}) {
    SCOPED_TRACE(code);
    set_gblerr(code);
    EXPECT_NO_THROW(sb_refresh_status());
    EXPECT_EQ(get_gblerr(), 0);
    busy_reset();
    EXPECT_NE(title().find(get_error_title(code)), std::string::npos) << title();
    EXPECT_EQ(sb_filter()->stored_zoom, 1.0);
  }
  // A message handled with an error left: the same, through the window procedure.
  set_gblerr(ERR_BAD_FILE);
  EXPECT_NO_THROW(sb_main_wndproc(sb().main, plat::WM_KEYUP, plat::VK_F1, 0));
  EXPECT_EQ(get_gblerr(), 0);
  get_core_hooks() = saved;
  // And the viewer still answers its keys.
  key(plat::VK_F1);
  EXPECT_NEAR(zoom(), std::pow(2.0, 0.25), 1e-12);
}

}  // namespace

// The cursor coordinate window: the texts of a position in every format of the two
// tables (with the carry of rounded seconds and minutes and the sign of values between
// -1 degree and 0), points carried by PROJ through the chain and the formats
// (tests/fixtures/cursor/cursor_points.txt), the caption in both languages; the
// window's toggle, placement, update and procedure; and the two cursor commands with
// their boxes.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/memory.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/cursor_system.h"
#include "platform/ui/input.h"
#include "platform/ui/messages.h"
#include "platform/ui/styles.h"
#include "shell/menu.h"
#include "tests/shell/system_dialogs_fixture.h"

namespace frame_test {
namespace {

class CursorWindow : public SystemDialogFixture {
 protected:
  void TearDown() override {
    cursor_georef_release_chain(cursor());
    SystemDialogFixture::TearDown();
  }
  // The cursor system set by hand over an empty chain: positions pass unchanged.
  void plain_cursor(int refertype, int unit) {
    cursor_georef_release_chain(cursor());
    set_system(cursor(), refertype, unit);
    xform_chain_t* chain = nullptr;
    xform_chain_create(0, &chain);
    cursor()->transfo = chain;
    cursor()->transfotype = 6;
  }
  // The texts at the display point (x, y): the pane's mapping puts it at pixel (0, 0).
  bool texts_at(double x, double y, std::string* position, std::string* system = nullptr) {
    pane()->map = screen_mapping{-x, -y, 1.0, 1.0};
    char* p = nullptr;
    char* s = nullptr;
    const int made = format_cursor_position(0, 0, pane(), &p, &s);
    if (position) *position = p ? p : "";
    if (system) *system = s ? s : "";
    free_mem(&p);
    free_mem(&s);
    return made == 1;
  }
  std::string position_at(double x, double y) {
    std::string text;
    EXPECT_TRUE(texts_at(x, y, &text));
    return text;
  }
};

std::string printed(const char* format, double x, double y) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, x, y);
  return buf;
}

// The formats that print the values as they are, against printf with the same format.
TEST_F(CursorWindow, PlainFormatsOfBothTables) {
  struct plain {
    int refertype;
    std::vector<int> units;
    const char* format;
  };
  const plain cases[] = {
      {GEOREF_GEOGRAPHIC, {0}, " ( %+013.10lf , %+013.10lf )          "},
      {GEOREF_GEOGRAPHIC, {1, 3}, " ( %+014.9lf , %+013.9lf )        "},
      {GEOREF_GEOGRAPHIC, {4, 9}, " ( %+014.5lf , %+013.5lf )           "},
      {GEOREF_GEOGRAPHIC, {5, 8, 10}, " ( %+014.7lf , %+013.7lf )           "},
      {GEOREF_GEOGRAPHIC, {6}, " ( %+013.4lf , %+013.4lf )           "},
      {GEOREF_PROJECTED, {0, 4, 5, 10, 11, 12, 15, 16, 18, 20, 22}, " ( %014.5lf , %014.5lf )           "},
      {GEOREF_PROJECTED, {1, 6, 7, 8, 9}, " ( %014.4lf , %014.4lf )           "},
      {GEOREF_PROJECTED, {2, 3, 19}, " ( %014.8lf , %014.8lf )           "},
      {GEOREF_PROJECTED, {13, 14, 17, 21}, " ( %014.6lf , %014.6lf )           "},
      {3, {0}, " ( %014.5lf , %014.5lf )           "},  // geocentric: the linear table
  };
  const double points[][2] = {{2.5, 48.25}, {-123.456789012, -0.5}, {654321.123456, 6789012.5}};
  for (const plain& c : cases) {
    for (int unit : c.units) {
      SCOPED_TRACE(std::to_string(c.refertype) + " unit " + std::to_string(unit));
      plain_cursor(c.refertype, unit);
      for (const auto& p : points) EXPECT_EQ(position_at(p[0], p[1]), printed(c.format, p[0], p[1]));
    }
  }
  // Units beyond the tables: an empty position text.
  for (const auto& [refertype, unit] : {std::pair{GEOREF_GEOGRAPHIC, 12}, std::pair{GEOREF_PROJECTED, 23},
                                        std::pair{GEOREF_PROJECTED, 46}}) {
    plain_cursor(refertype, unit);
    std::string text = "x";
    EXPECT_TRUE(texts_at(2.5, 48.25, &text));
    EXPECT_EQ(text, "") << unit;
  }
}

// Degrees, minutes and seconds (values in seconds) and degrees and minutes (values in
// minutes): the shown cases, the sign of values between -1 degree and 0, and the carry
// of seconds and minutes that round up to 60.
TEST_F(CursorWindow, DegreeMinuteSecondAndDegreeMinuteTexts) {
  struct split {
    int unit;
    double x, y;
    const char* text;
  };
  const split cases[] = {
      {ANG_DMS, 9000, 173700, " ( +002\xC2\xB0" "30'00.00000\" , +48\xC2\xB0" "15'00.00000\" )   "},
      {11, 9000, 173700, " ( +002\xC2\xB0" "30'00.00000\" , +48\xC2\xB0" "15'00.00000\" )   "},
      {ANG_DM, 150, 2895, " ( +002\xC2\xB0" "30.0000000' , +48\xC2\xB0" "15.0000000' )    "},
      {ANG_DMS, 0, 0, " ( +000\xC2\xB0" "00'00.00000\" , +00\xC2\xB0" "00'00.00000\" )   "},
      // West and south, beyond and within one degree.
      {ANG_DMS, -16149.5, -1800, " ( -004\xC2\xB0" "29'09.50000\" , -00\xC2\xB0" "30'00.00000\" )   "},
      {ANG_DMS, -0.25, -3599.75, " ( -000\xC2\xB0" "00'00.25000\" , -00\xC2\xB0" "59'59.75000\" )   "},
      {ANG_DM, -30.5, -269.125, " ( -000\xC2\xB0" "30.5000000' , -04\xC2\xB0" "29.1250000' )    "},
      // Rounded seconds and minutes carry.
      {ANG_DMS, 3599.999996, 59.999999, " ( +001\xC2\xB0" "00'00.00000\" , +00\xC2\xB0" "01'00.00000\" )   "},
      {ANG_DMS, -7199.999996, 215999.999999, " ( -002\xC2\xB0" "00'00.00000\" , +60\xC2\xB0" "00'00.00000\" )   "},
      {ANG_DM, 59.99999999, -119.99999999, " ( +001\xC2\xB0" "00.0000000' , -02\xC2\xB0" "00.0000000' )    "},
  };
  for (const split& c : cases) {
    SCOPED_TRACE(c.text);
    plain_cursor(GEOREF_GEOGRAPHIC, c.unit);
    EXPECT_EQ(position_at(c.x, c.y), c.text);
  }
}

TEST_F(CursorWindow, NothingWithoutCursorSystemOrChain) {
  char* p = nullptr;
  char* s = nullptr;
  EXPECT_EQ(format_cursor_position(0, 0, nullptr, &p, &s), 0);
  ASSERT_EQ(val(cursor()->refertype), GEOREF_NONE);
  EXPECT_EQ(format_cursor_position(0, 0, pane(), &p, &s), 0);
  set_system(cursor(), GEOREF_GEOGRAPHIC, ANG_DEGREE);  // no chain yet
  EXPECT_EQ(format_cursor_position(0, 0, pane(), &p, &s), 0);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(s, nullptr);
}

// A map point outside the cursor system's domain (far beyond a UTM zone, where the
// inverse gives NaN) shows no number in any format: an empty text (the window then erases
// what it showed). So do NaN and infinity over a plain chain.
TEST_F(CursorWindow, APointOutsideTheSystemShowsNoNumber) {
  cartproj_t* utm31n = nullptr;
  geo_find_by_code(CLS_CARTPROJ, 32631, &utm31n);
  ASSERT_NE(utm31n, nullptr);
  georef_t* display = gs_->georef;
  display->refertype = GEOREF_PROJECTED;
  display->projection = utm31n;
  display->datum = utm31n->datum;
  display->unit = LEN_METRE;
  for (int unit : {ANG_DEGREE, ANG_DMS, ANG_DM, ANG_RADIAN}) {
    SCOPED_TRACE(unit);
    cursor_georef_release_chain(cursor());
    set_system(cursor(), GEOREF_GEOGRAPHIC, unit);
    cursor_set_transform(map_object_, display);
    ASSERT_EQ(get_gblerr(), 0);
    const std::string inside = position_at(500000.0, 5000000.0);
    ASSERT_NE(inside.find('('), std::string::npos) << inside;
    EXPECT_EQ(position_at(24123054.42, 6957165.25), "");
    EXPECT_EQ(position_at(20500000.0, 0.0), "");
  }
  const double nan = std::nan(""), inf = HUGE_VAL;
  for (const auto& [refertype, unit] : {std::pair{GEOREF_PROJECTED, int(LEN_METRE)},
                                        std::pair{GEOREF_GEOGRAPHIC, int(ANG_DEGREE)}}) {
    plain_cursor(refertype, unit);
    EXPECT_FALSE(position_at(1.0, 2.0).empty());
    for (const auto& [x, y] : {std::pair{nan, 2.0}, std::pair{1.0, nan}, std::pair{inf, 2.0}, std::pair{1.0, -inf}})
      EXPECT_EQ(position_at(x, y), "") << x << " " << y;
  }
}

// ---- Points carried by PROJ ------------------------------------------------------------------

struct carried_point {
  int display, cursor;
  double x_in, y_in, x_out, y_out;
  std::string name;
};

std::vector<carried_point> carried_points() {
  std::ifstream in(TM_SOURCE_DIR "/tests/fixtures/cursor/cursor_points.txt");
  std::vector<carried_point> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    carried_point p;
    fields >> p.display >> p.cursor >> p.x_in >> p.y_in >> p.x_out >> p.y_out >> p.name;
    if (fields) out.push_back(p);
  }
  return out;
}

// The reference texts, from PROJ's values with the window's formats: degrees,
// minutes and seconds as the formats' arguments are defined, the sign written apart
// so that a value between -1 degree and 0 keeps it.
std::string signed_degrees(const char* format, int d, bool negative, double rest) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, std::abs(d), rest);
  std::string s = buf;
  s[0] = negative ? '-' : '+';
  return s;
}
std::string dms_reference(double degrees, bool longitude) {
  const double v = degrees * 3600.0;
  const int i = int(v);
  const int d = i / 3600;
  const int m = std::abs(i - 3600 * d) / 60;
  const double s = std::fabs(v) - (std::abs(3600 * d) + 60 * m);
  char buf[64];
  std::snprintf(buf, sizeof buf, longitude ? "%+04d\xC2\xB0%02d'%08.5lf\"" : "%+03d\xC2\xB0%02d'%08.5lf\"",
                std::abs(d), m, s);
  std::string out = buf;
  out[0] = v < 0 ? '-' : '+';
  return out;
}
std::string dm_reference(double degrees, bool longitude) {
  const double v = degrees * 60.0;
  const int d = int(v) / 60;
  return signed_degrees(longitude ? "%+04d\xC2\xB0%010.7lf'" : "%+03d\xC2\xB0%010.7lf'", d, v < 0,
                        std::fabs(v - 60.0 * d));
}

// The fixture's points lie away from every rounding edge of the formats, so the texts
// are compared whole.
TEST_F(CursorWindow, PointsCarriedByProjShowAsProjShowsThem) {
  const std::vector<carried_point> points = carried_points();
  ASSERT_GE(points.size(), 15u);
  struct unit_format {
    int unit;
    std::function<std::string(double, double)> reference;
  };
  const unit_format geographic[] = {
      {ANG_DEGREE, [](double x, double y) { return printed(" ( %+014.9lf , %+013.9lf )        ", x, y); }},
      {ANG_DMS, [](double x, double y) { return " ( " + dms_reference(x, true) + " , " + dms_reference(y, false) + " )   "; }},
      {ANG_DM, [](double x, double y) { return " ( " + dm_reference(x, true) + " , " + dm_reference(y, false) + " )    "; }},
  };
  const unit_format projected[] = {
      {LEN_METRE, [](double x, double y) { return printed(" ( %014.5lf , %014.5lf )           ", x, y); }},
      {LEN_KILOMETRE,
       [](double x, double y) { return printed(" ( %014.8lf , %014.8lf )           ", x / 1000, y / 1000); }},
  };
  for (const carried_point& p : points) {
    SCOPED_TRACE(p.name + " " + std::to_string(p.display) + " to " + std::to_string(p.cursor));
    georef_t* display = gs_->georef;
    if (p.display == 4326) {
      set_system(display, GEOREF_GEOGRAPHIC, ANG_DEGREE);
    } else {
      cartproj_t* proj = nullptr;
      geo_find_by_code(CLS_CARTPROJ, p.display, &proj);
      ASSERT_NE(proj, nullptr);
      display->refertype = GEOREF_PROJECTED;
      display->projection = proj;
      display->datum = proj->datum;
      display->unit = LEN_METRE;
    }
    const bool to_geographic = p.cursor == 4326;
    for (const unit_format& f : to_geographic ? std::vector<unit_format>(std::begin(geographic), std::end(geographic))
                                              : std::vector<unit_format>(std::begin(projected), std::end(projected))) {
      SCOPED_TRACE(f.unit);
      cursor_georef_release_chain(cursor());
      set_system(cursor(), to_geographic ? GEOREF_GEOGRAPHIC : GEOREF_PROJECTED, f.unit);
      cursor_set_transform(map_object_, display);
      ASSERT_EQ(get_gblerr(), 0);
      EXPECT_EQ(position_at(p.x_in, p.y_in), f.reference(p.x_out, p.y_out));
    }
  }
}

// ---- Caption ------------------------------------------------------------------------------

class CursorCaption : public CursorWindow {
 protected:
  void SetUp() override {}
  void captions(const char* lang, const std::vector<std::string>& expected) {
    SetUpIn(lang);
    const std::pair<int, int> systems[] = {{GEOREF_GEOGRAPHIC, ANG_DEGREE},
                                           {GEOREF_GEOGRAPHIC, ANG_DMS},
                                           {GEOREF_PROJECTED, LEN_KILOMETRE},
                                           {3, LEN_METRE}};
    std::vector<std::string> seen;
    for (const auto& [refertype, unit] : systems) {
      plain_cursor(refertype, unit);
      std::string system;
      EXPECT_TRUE(texts_at(1, 1, nullptr, &system));
      seen.push_back(system);
    }
    EXPECT_EQ(seen, expected);
  }
};

TEST_F(CursorCaption, French) {
  captions("FRANCAIS", {"WGS 84 (Degr\xC3\xA9)", "WGS 84 (Degr\xC3\xA9 Minute Seconde)",
                        "RGF93 v1 / Lambert-93 (Kilom\xC3\xA8tre)", "Geocentrique"});
}

TEST_F(CursorCaption, English) {
  captions("ENGLISH",
           {"WGS 84 (Degree)", "WGS 84 (Degree Minute Second)", "RGF93 v1 / Lambert-93 (Kilometer)", "Geocentric"});
}

// ---- The window ----------------------------------------------------------------------------

TEST_F(CursorWindow, ToggleShowsPlacesAndHidesTheWindow) {
  ASSERT_EQ(cursor_window(), nullptr);
  ASSERT_FALSE(menu_is_checked(IDM_CURSOR_DISPLAY));
  command(IDM_CURSOR_DISPLAY);
  plat::Wnd wnd = cursor_window();
  ASSERT_NE(wnd, nullptr);
  EXPECT_TRUE(plat::is_window_visible(wnd));
  EXPECT_EQ(plat::get_class_name(wnd), "curseur");
  EXPECT_EQ(plat::get_owner(wnd), frame_);
  EXPECT_EQ(title(wnd), "");
  EXPECT_TRUE(menu_is_checked(IDM_CURSOR_DISPLAY));
  EXPECT_EQ(opt_cursor_display.load(), 1);
  EXPECT_EQ(plat::get_active_window(), frame_);
  // Placement: 380 x 20 client pixels, left 500 pixels from the frame's right edge
  // (adjusted for caption and edge), 3 pixels from the top.
  plat::Rect frame_rect{}, r{}, client{};
  plat::get_window_rect(frame_, &frame_rect);
  plat::Rect expected{(frame_rect.right - frame_rect.left) - 500, 30, (frame_rect.right - frame_rect.left) - 120, 50};
  plat::adjust_window_rect(&expected, plat::WS_VISIBLE | plat::WS_CAPTION, false, plat::WS_EX_CLIENTEDGE);
  plat::get_window_rect(wnd, &r);
  plat::get_client_rect(wnd, &client);
  EXPECT_EQ(r.right - r.left, expected.right - expected.left);
  EXPECT_EQ(r.bottom - r.top, expected.bottom - expected.top);
  EXPECT_EQ(client.right, 380);
  EXPECT_EQ(client.bottom, 20);
  // Twice: back to the start.
  command(IDM_CURSOR_DISPLAY);
  EXPECT_EQ(cursor_window(), nullptr);
  EXPECT_FALSE(plat::is_window(wnd));
  EXPECT_FALSE(menu_is_checked(IDM_CURSOR_DISPLAY));
  EXPECT_EQ(opt_cursor_display.load(), 0);
}

TEST_F(CursorWindow, NoWindowWithoutCurrentMapWindow) {
  set_current_mapwin(nullptr);
  cursor_window_toggle();
  EXPECT_EQ(cursor_window(), nullptr);
  EXPECT_FALSE(menu_is_checked(IDM_CURSOR_DISPLAY));
  EXPECT_EQ(opt_cursor_display.load(), 0);
  set_current_mapwin(map_object_);
}

TEST_F(CursorWindow, FinishedMoveGivesTheActivationBackToTheFrame) {
  cursor_window_toggle();
  plat::Wnd wnd = cursor_window();
  ASSERT_NE(wnd, nullptr);
  plat::set_active_window(wnd);
  ASSERT_EQ(plat::get_active_window(), wnd);
  EXPECT_EQ(plat::send_message(wnd, plat::WM_EXITSIZEMOVE, 0, 0), 0);
  EXPECT_EQ(plat::get_active_window(), frame_);
  cursor_window_toggle();
}

TEST_F(CursorWindow, ASecondRegistrationIsRefused) {
  EXPECT_EQ(register_cursor_class(), 0);
  EXPECT_EQ(get_gblerr(), ERR_OS);
  set_gblerr(0);
}

// A mouse move over the map window: the caption names the cursor system, the
// position is drawn in the client area.
TEST_F(CursorWindow, MouseMovesOverTheMapShowThePosition) {
  use_display(GEOREF_PROJECTED, LEN_METRE);
  set_system(cursor(), GEOREF_GEOGRAPHIC, ANG_DMS);
  cursor_set_transform(map_object_, gs_->georef);
  ASSERT_EQ(get_gblerr(), 0);
  command(IDM_CURSOR_DISPLAY);
  plat::Wnd wnd = cursor_window();
  ASSERT_NE(wnd, nullptr);
  // The map shows Lambert-93 at one metre a pixel, a point of the fixture at (10, 10).
  map_object_->map = screen_mapping{-662876.972, -6794514.406, 1.0, 1.0};
  pane()->map = map_object_->map;
  tm_test::mouse_move(main_map_window(), 10, 10);
  tm_test::run_until_idle();
  EXPECT_EQ(title(wnd), "WGS 84 (Degree Minute Second)");
  int dark = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 380; ++x)
      if ((tm_test::pixel_at(wnd, x, y) & 0xFFFFFF) < 0x404040) ++dark;
  EXPECT_GT(dark, 50);
  const std::string folder = tm_test::fresh_dir("cursorwin");
  EXPECT_TRUE(tm_test::window_picture(wnd, folder + "/cursor_window.png"));
  std::string shown;
  ASSERT_TRUE(texts_at(662886.972, 6794524.406, &shown));
  EXPECT_EQ(shown, " ( " + dms_reference(2.5000079718282047, true) + " , " +
                       dms_reference(48.25000360013749, false) + " )   ");
  command(IDM_CURSOR_DISPLAY);
}

// ---- The two cursor commands ------------------------------------------------------------------

TEST_F(CursorWindow, TheUnitCommandRefusesACursorWithoutSystem) {
  bool opened = false;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    opened = true;
    tm_test::click_control(dlg, IDC_UNIT_CANCEL);
  });
  cursor_unit_command(map_object_);
  EXPECT_FALSE(opened);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, "Choose first cursor coordinates system");
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "Not georeferenced");
  // The answer left waiting goes to a dialog of this test.
  set_system(cursor(), GEOREF_GEOGRAPHIC, ANG_DEGREE);
  cursor_unit_command(map_object_);
  EXPECT_TRUE(opened);
}

// The system, then the unit, as the menu runs them: the chain follows each choice.
TEST_F(CursorWindow, SystemThenUnitThroughTheMenu) {
  use_display(GEOREF_PROJECTED, LEN_METRE);
  std::string system_title, unit_title;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    system_title = title(dlg);
    choose(dlg, IDC_SYS_DATUM, "WGS 84");
    tm_test::click_control(dlg, IDC_SYS_OK);
  });
  command(IDM_CURSOR_SYSTEM);
  EXPECT_EQ(system_title, "Choose cursor coordinates system");
  EXPECT_EQ(val(cursor()->refertype), GEOREF_GEOGRAPHIC);
  EXPECT_EQ(val(cursor()->unit), ANG_DEGREE);
  EXPECT_EQ(val(cursor()->transfotype), 6);
  std::string text;
  ASSERT_TRUE(texts_at(662886.972, 6794524.406, &text));
  EXPECT_EQ(text, printed(" ( %+014.9lf , %+013.9lf )        ", 2.5000079718282047, 48.25000360013749));

  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    unit_title = title(dlg);
    EXPECT_TRUE(tm_test::select_combo_text(plat::get_dlg_item(dlg, IDC_UNIT_LIST), "Degree Minute"));
    tm_test::click_control(dlg, IDC_UNIT_OK);
  });
  command(IDM_CURSOR_UNIT);
  EXPECT_EQ(unit_title, "Choose cursor coordinates unit");
  EXPECT_EQ(val(cursor()->unit), ANG_DM);
  ASSERT_TRUE(texts_at(662886.972, 6794524.406, &text));
  EXPECT_EQ(text, " ( " + dm_reference(2.5000079718282047, true) + " , " + dm_reference(48.25000360013749, false) +
                      " )    ");
  EXPECT_TRUE(tm_test::message_boxes().empty());

  // A projected system then: its unit is that of the projection again.
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    choose(dlg, IDC_SYS_PROJ, "RGF93 v1 / Lambert-93");
    tm_test::click_control(dlg, IDC_SYS_OK);
  });
  command(IDM_CURSOR_SYSTEM);
  EXPECT_EQ(val(cursor()->refertype), GEOREF_PROJECTED);
  EXPECT_EQ(val(cursor()->unit), LEN_METRE);
  ASSERT_TRUE(texts_at(662886.972, 6794524.406, &text));
  EXPECT_EQ(text, printed(" ( %014.5lf , %014.5lf )           ", 662886.972, 6794524.406));
}

TEST_F(CursorWindow, SystemCommandCancelledChangesNothing) {
  use_display(GEOREF_PROJECTED, LEN_METRE);
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    choose(dlg, IDC_SYS_DATUM, "WGS 84");
    tm_test::click_control(dlg, IDC_SYS_CANCEL);
  });
  cursor_system_command(map_object_);
  EXPECT_EQ(val(cursor()->refertype), GEOREF_NONE);
  EXPECT_EQ(val(cursor()->transfo), nullptr);
  EXPECT_TRUE(tm_test::message_boxes().empty());
}

TEST_F(CursorWindow, AnUnreachableSystemShowsTheErrorBox) {
  use_display(GEOREF_PROJECTED, LEN_METRE);
  lone_datum();
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    choose(dlg, IDC_SYS_DATUM, "Lone datum");
    tm_test::click_control(dlg, IDC_SYS_OK);
  });
  cursor_system_command(map_object_);
  ASSERT_EQ(tm_test::message_boxes().size(), 1u);
  EXPECT_EQ(tm_test::message_boxes()[0].text, "Unable to define the transformation");
  EXPECT_EQ(tm_test::message_boxes()[0].caption, "System coordinate error");
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(val(cursor()->transfo), nullptr);
}

}  // namespace
}  // namespace frame_test

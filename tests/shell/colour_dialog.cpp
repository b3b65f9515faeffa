// The "Couleurs" dialog run from the menu as a user would: buttons painted in the
// settings' colours, a colour chosen through the colour chooser, sizes typed and
// stepped, OK writing every setting back (a typed size beyond the arrows' range kept,
// an empty one 0) and the next track drawn in the chosen colour, Cancel keeping every
// setting; its picture and layout in both languages.
#include <cstring>
#include <string>

#include "core/obj_list.h"
#include "map/display_settings.h"
#include "map/draw_styles.h"
#include "map/gps_classes.h"
#include "platform/gdi/surface.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/dialog.h"
#include "shell/menu.h"
#include "shell/preference_dialogs.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/test_env.h"

namespace frame_test {
namespace {

struct row {
  display_kind kind;
  int button, edit, spin;
};
const row kRows[] = {
    {display_kind::waypoints, IDC_COLOUR_WAYPOINTS, IDC_SIZE_WAYPOINTS, IDC_SPIN_WAYPOINTS},
    {display_kind::tracklogs, IDC_COLOUR_TRACKLOGS, IDC_SIZE_TRACKLOGS, IDC_SPIN_TRACKLOGS},
    {display_kind::routes, IDC_COLOUR_ROUTES, IDC_SIZE_ROUTES, IDC_SPIN_ROUTES},
    {display_kind::navigation, IDC_COLOUR_NAVIGATION, IDC_SIZE_NAVIGATION, IDC_SPIN_NAVIGATION},
    {display_kind::pois, IDC_COLOUR_POIS, IDC_SIZE_POIS, IDC_SPIN_POIS},
    {display_kind::lois, IDC_COLOUR_LOIS, IDC_SIZE_LOIS, IDC_SPIN_LOIS},
};

class ColourDialog : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    display_settings_reset();
    register_preference_dialogs();
  }
  void TearDown() override {
    display_settings_reset();
    FrameFixture::TearDown();
  }
  // The colour a button shows, read in its middle.
  static plat::Color shown(plat::Wnd dlg, int id) {
    plat::Wnd b = tm_test::dlg_control(dlg, id);
    plat::Rect r;
    plat::get_client_rect(b, &r);
    return plat::color_of_pixel(tm_test::pixel_at(b, r.width() / 2, r.height() / 2));
  }
  // A click on the up arrow of an up-down control.
  static void step_up(plat::Wnd dlg, int id) {
    plat::Wnd spin = tm_test::dlg_control(dlg, id);
    plat::Rect r;
    plat::get_client_rect(spin, &r);
    tm_test::click(spin, r.width() / 2, 2);
  }
  static uint32_t word(plat::Color c) { return colour_word(c & 255, (c >> 8) & 255, (c >> 16) & 255); }
};

TEST_F(ColourDialog, OpensOnTheSettingsWithTheirColoursAndSizes) {
  set_display_colour(display_kind::routes, colour_word(0, 0, 200));
  set_display_size(display_kind::pois, 33);
  std::string sizes[6];
  plat::Color colours[6] = {};
  int low = -1, high = -1;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    for (int i = 0; i < 6; ++i) {
      sizes[i] = plat::dlg_item_text(dlg, kRows[i].edit);
      colours[i] = shown(dlg, kRows[i].button);
    }
    plat::send_dlg_item_message(dlg, IDC_SPIN_LOIS, plat::UDM_GETRANGE32, plat::WParam(&low), plat::LParam(&high));
    tm_test::click_control(dlg, IDC_COLOUR_CANCEL);
  });
  command(IDM_COLOURS);
  const char* want_sizes[] = {"12", "10", "10", "10", "33", "10"};
  const plat::Color want_colours[] = {plat::rgb(255, 128, 0), plat::rgb(255, 0, 0), plat::rgb(0, 0, 200),
                                      plat::rgb(255, 0, 255), plat::rgb(0, 0, 0),   plat::rgb(255, 0, 0)};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(sizes[i], want_sizes[i]) << i;
    EXPECT_EQ(colours[i], want_colours[i]) << i;
  }
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 80);
}

// A chosen colour repaints its button; OK writes the colours and the sizes as typed or
// stepped (the arrows stop at 80, typing does not); the next track is drawn in the
// chosen colour.
TEST_F(ColourDialog, OkWritesChosenColoursAndSizes) {
  plat::Color repainted = 0;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    tm_test::answer_next_color_dialog(plat::rgb(0, 0, 255));
    tm_test::answer_next_dialog([&](plat::Wnd same) {  // back in "Couleurs"
      repainted = shown(same, IDC_COLOUR_TRACKLOGS);
      tm_test::type_into(same, IDC_SIZE_TRACKLOGS, "90");
      step_up(same, IDC_SPIN_WAYPOINTS);
      tm_test::type_into(same, IDC_SIZE_ROUTES, "80");
      step_up(same, IDC_SPIN_ROUTES);
      plat::set_dlg_item_text(same, IDC_SIZE_POIS, "");
      tm_test::click_control(same, IDC_COLOUR_OK);
    });
    tm_test::click_control(dlg, IDC_COLOUR_TRACKLOGS);
  });
  command(IDM_COLOURS);
  EXPECT_EQ(repainted, plat::rgb(0, 0, 255));
  const struct {
    display_kind kind;
    uint32_t colour;
    int size;
  } want[] = {
      {display_kind::waypoints, colour_word(255, 128, 0), 13},
      {display_kind::tracklogs, colour_word(0, 0, 255), 90},
      {display_kind::routes, colour_word(0, 128, 0), 80},
      {display_kind::navigation, colour_word(255, 0, 255), 10},
      {display_kind::pois, colour_word(0, 0, 0), 0},
      {display_kind::lois, colour_word(255, 0, 0), 10},
  };
  for (const auto& w : want) {
    EXPECT_EQ(display_colour(w.kind), w.colour) << int(w.kind);
    EXPECT_EQ(display_size(w.kind), w.size) << int(w.kind);
  }

  // The next track: its tracklog and the style that draws its points.
  int n = 0;
  const gps_class_entry* classes = gps_class_table(&n);
  for (int i = 0; i < n; ++i) {  // the classes without their icons
    obj_register_class(classes[i].cls, classes[i].size, classes[i].desc);
    if (classes[i].free_fn) obj_set_free_callback(classes[i].cls, classes[i].free_fn);
  }
  drawobj_types_register();
  container_t* content = nullptr;
  obj_list_new(&content);
  fileatt_t* file = nullptr;
  obj_new_registered(kFileClass, &file);
  file->sot = content;
  folder_get_or_create(file, content, 0, nullptr);
  tracklog_t* track = nullptr;
  tracklog_create(content, &track);
  trackseg_t* segment = nullptr;
  trackseg_create(track, content, &segment);
  const date_rec when{20200601.5, 1.5};
  for (double x : {0.0, 1.0}) gpspos_create(x, 0.0, &when, 0.0, segment, content, nullptr);
  ASSERT_EQ(file_default_track_styles(file, 0, 1000.0), 0);
  obj_t* style = nullptr;
  ASSERT_TRUE(obj_list_first_of_class(content, CLS_DSEGPOINT, &style));
  attrs_dsegpoint(style, segment->sons->elems[0], track);
  EXPECT_EQ(track->colour, gps_rgb(0, 0, 255));
  uint32_t drawn = 0;
  std::memcpy(&drawn, reinterpret_cast<char*>(style) + offsetof(dsegpoint_t, vcolour), sizeof drawn);
  EXPECT_EQ(drawn & 0xFFFFFFu, gps_rgb(0, 0, 255));
  obj_t* f = file;
  free_obj(&f);
}

TEST_F(ColourDialog, CancelAfterChoosingKeepsEverySetting) {
  const struct {
    int cancel_id;
  } cases[] = {{IDC_COLOUR_CANCEL}, {plat::IDCANCEL}};
  for (const auto& c : cases) {
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      tm_test::answer_next_color_dialog(plat::rgb(1, 2, 3));
      tm_test::answer_next_color_dialog(plat::rgb(4, 5, 6));
      tm_test::answer_next_dialog([&](plat::Wnd same) {
        tm_test::type_into(same, IDC_SIZE_NAVIGATION, "44");
        if (c.cancel_id == plat::IDCANCEL)
          tm_test::press_escape();
        else
          tm_test::click_control(same, c.cancel_id);
      });
      tm_test::click_control(dlg, IDC_COLOUR_WAYPOINTS);
      tm_test::click_control(dlg, IDC_COLOUR_LOIS);
    });
    command(IDM_COLOURS);
    EXPECT_EQ(display_colour(display_kind::waypoints), colour_word(255, 128, 0));
    EXPECT_EQ(display_colour(display_kind::lois), colour_word(255, 0, 0));
    EXPECT_EQ(display_size(display_kind::navigation), 10);
  }
}

TEST_F(ColourDialog, PictureEnglish) {
  const std::string path = tm_test::fresh_dir("colourdlg") + "colours_en.png";
  std::string title, cancel;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    title = plat::window_text(dlg);
    cancel = plat::dlg_item_text(dlg, IDC_COLOUR_CANCEL);
    EXPECT_TRUE(tm_test::dialog_picture(dlg, path));
    EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
    tm_test::click_control(dlg, IDC_COLOUR_CANCEL);
  });
  command(IDM_COLOURS);
  EXPECT_EQ(title, "Colors / fonts");
  EXPECT_EQ(cancel, "Cancel");
}

class ColourDialogFr : public ColourDialog {
 protected:
  void SetUp() override { SetUpIn("FRANCAIS"); }
};

TEST_F(ColourDialogFr, PictureFrench) {
  const std::string path = tm_test::fresh_dir("colourdlg") + "colours_fr.png";
  std::string title, cancel;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    title = plat::window_text(dlg);
    cancel = plat::dlg_item_text(dlg, IDC_COLOUR_CANCEL);
    EXPECT_TRUE(tm_test::dialog_picture(dlg, path));
    EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
    tm_test::click_control(dlg, IDC_COLOUR_CANCEL);
  });
  command(IDM_COLOURS);
  EXPECT_EQ(title, "Couleurs / polices");
  EXPECT_EQ(cancel, "Annuler");
}

}  // namespace
}  // namespace frame_test

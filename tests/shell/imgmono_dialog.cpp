// The "IMGMONO" dialog run from the menu: its button painted in the current map
// window's monochrome colour, a colour chosen through the colour chooser, OK giving the
// window the colour (its monochrome flag kept), Cancel keeping the colour; a grey image
// of the map picture redrawn shaded red once red is chosen; pictures and layout in both
// languages.
#include <cstring>
#include <string>

#include "map/bitmap_record.h"
#include "map/draw_styles.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/quadtree.h"
#include "map/redraw.h"
#include "platform/gdi/surface.h"
#include "platform/ui/dialog.h"
#include "shell/framework/choosers.h"
#include "shell/menu.h"
#include "shell/preference_dialogs.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_common.h"
#include "tests/support/harness_dialogs.h"
#include "tests/support/test_env.h"

namespace frame_test {
namespace {

class ImgmonoDialog : public FrameFixture {
 protected:
  void SetUp() override { SetUpIn("ENGLISH"); }
  void SetUpIn(const char* lang) {
    FrameFixture::SetUpWith(lang);
    register_preference_dialogs();
  }
  // The colour a button shows, read in its middle.
  static plat::Color shown(plat::Wnd dlg, int id) {
    plat::Wnd b = tm_test::dlg_control(dlg, id);
    plat::Rect r;
    plat::get_client_rect(b, &r);
    return plat::color_of_pixel(tm_test::pixel_at(b, r.width() / 2, r.height() / 2));
  }
  // The dialog from the menu: the colour chooser answered with `chosen`, then the
  // dialog ended with `end_id`.
  void choose_and_end(plat::Color chosen, int end_id, plat::Color* shown_first = nullptr,
                      plat::Color* shown_after = nullptr) {
    tm_test::answer_next_dialog([=](plat::Wnd dlg) {
      if (shown_first) *shown_first = shown(dlg, IDC_IMGMONO_COLOUR);
      tm_test::answer_next_color_dialog(chosen);
      tm_test::answer_next_dialog([=](plat::Wnd same) {
        if (shown_after) *shown_after = shown(same, IDC_IMGMONO_COLOUR);
        tm_test::click_control(same, end_id);
      });
      tm_test::click_control(dlg, IDC_IMGMONO_COLOUR);
    });
    command(IDM_MONOCHROME_COLOUR);
  }
};

// The redraw that OK requests shows in ImgmonoPicture.
TEST_F(ImgmonoDialog, OkGivesTheWindowTheColourCancelKeepsIt) {
  const struct {
    int monochrome;
    int end_id;
    uint32_t want;
  } cases[] = {
      {1, IDC_IMGMONO_OK, colour_word(255, 0, 0)},
      {0, IDC_IMGMONO_OK, colour_word(255, 0, 0)},
      {1, IDC_IMGMONO_CANCEL, colour_word(10, 200, 30)},
      {0, plat::IDCANCEL, colour_word(10, 200, 30)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.monochrome << " " << c.end_id);
    mapwin_set_colours(nullptr, c.monochrome, colour_word(10, 200, 30));
    plat::Color first = 0, after = 0;
    choose_and_end(plat::rgb(255, 0, 0), c.end_id, &first, &after);
    EXPECT_EQ(first, plat::rgb(10, 200, 30));
    EXPECT_EQ(after, plat::rgb(255, 0, 0));
    int monochrome = -1;
    uint32_t colour = 0;
    mapwin_get_colours(map_object_, &monochrome, &colour);
    EXPECT_EQ(monochrome, c.monochrome);
    EXPECT_EQ(colour, c.want);
  }
}

// A grey image in the map window shown in monochrome: white shading at first, red once
// red is chosen.
class ImgmonoPicture : public ImgmonoDialog {
 protected:
  void SetUp() override {
    ImgmonoDialog::SetUp();
    redraw_interrupt(0);
    get_dispatcher_hooks().redraw_run = redraw_run;
    config_temp_dir_set(tm_test::fresh_dir("imgmonoswap").c_str(), "s_");
    bitmap_module_init();
    qtree_init();
    drawobj_types_register();
    drawobj_init_table();
    gindex_init();
    gs_ = get_current_graphspace();
    ASSERT_NE(gs_, nullptr);
    obj_new_registered(CLS_BITMAP, &image_);
    ASSERT_EQ(alloc_bitmap(image_, kSide, kSide, 1, 0), 0);
    set_graylevel_lut(image_);
    for (int y = 0; y < kSide; ++y) std::memset(get_img_line_adr(image_, y, 0), 128, kSide);
    const extent_t e{0, kSide, 0, kSide, 0};
    std::memcpy(reinterpret_cast<char*>(image_) + offsetof(bitmap_t, extent), &e, sizeof e);
    layer_t* images = nullptr;
    graphspace_layer_of_priority(gs_, 0, &images);
    ASSERT_NE(images, nullptr);
    obj_new(0, CLS_LAYER_LINK, reinterpret_cast<obj_t**>(&link_));
    link_->object = image_;
    obj_list_append(images->objects, link_);
    obj_list_append(images->objects, image_);
    graphspace_update_layer(gs_, images, 1);
    graphspace_set_extent(gs_, extent_t{0, 100, 0, 100, 0});
    mapwin_set_orientation(map_object_, 1);
    map_object_->map = screen_mapping{0.0, 0.0, 1.0, 1.0};
  }
  void TearDown() override {
    if (image_) graphspace_remove_object(gs_, image_);
    free_obj(&image_);
    FrameFixture::TearDown();
  }
  plat::Color image_pixel() {
    return plat::color_of_pixel(tm_test::pixel_at(map_object_->wnd, kSide / 2, kSide / 2));
  }
  static constexpr int kSide = 20;
  graphspace_t* gs_ = nullptr;
  bitmap_t* image_ = nullptr;
  layer_link_t* link_ = nullptr;
};

TEST_F(ImgmonoPicture, ChosenColourShadesTheImage) {
  mapwin_request_redraw(map_object_);
  tm_test::run_until_idle();
  EXPECT_EQ(image_pixel(), plat::rgb(128, 128, 128));
  command(IDM_MONOCHROME);
  ASSERT_EQ(map_object_->monochrome, 1);
  const plat::Color white_shade = image_pixel();
  EXPECT_EQ(color_red(white_shade), color_green(white_shade));
  EXPECT_EQ(color_green(white_shade), color_blue(white_shade));
  choose_and_end(plat::rgb(255, 0, 0), IDC_IMGMONO_OK);
  const plat::Color red_shade = image_pixel();
  EXPECT_NEAR(color_red(red_shade), 128, 2);
  EXPECT_EQ(color_green(red_shade), 0);
  EXPECT_EQ(color_blue(red_shade), 0);
}

TEST_F(ImgmonoDialog, PictureEnglish) {
  const std::string path = tm_test::fresh_dir("imgmonodlg") + "imgmono_en.png";
  std::string title, label, cancel;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    title = plat::window_text(dlg);
    label = plat::dlg_item_text(dlg, IDC_IMGMONO_LABEL);
    cancel = plat::dlg_item_text(dlg, IDC_IMGMONO_CANCEL);
    EXPECT_TRUE(tm_test::dialog_picture(dlg, path));
    EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
    tm_test::click_control(dlg, IDC_IMGMONO_CANCEL);
  });
  command(IDM_MONOCHROME_COLOUR);
  EXPECT_EQ(title, "Monochrome images");
  EXPECT_EQ(label, "Monochrome color");
  EXPECT_EQ(cancel, "Cancel");
}

class ImgmonoDialogFr : public ImgmonoDialog {
 protected:
  void SetUp() override { SetUpIn("FRANCAIS"); }
};

TEST_F(ImgmonoDialogFr, PictureFrench) {
  const std::string path = tm_test::fresh_dir("imgmonodlg") + "imgmono_fr.png";
  std::string title, label, cancel;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    title = plat::window_text(dlg);
    label = plat::dlg_item_text(dlg, IDC_IMGMONO_LABEL);
    cancel = plat::dlg_item_text(dlg, IDC_IMGMONO_CANCEL);
    EXPECT_TRUE(tm_test::dialog_picture(dlg, path));
    EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
    tm_test::click_control(dlg, IDC_IMGMONO_CANCEL);
  });
  command(IDM_MONOCHROME_COLOUR);
  EXPECT_EQ(title, "Images monochromes");
  EXPECT_EQ(label, "Couleur monochrome");
  EXPECT_EQ(cancel, "Annuler");
}

}  // namespace
}  // namespace frame_test

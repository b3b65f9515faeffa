// The picture of the sample dialog, drawn headless: every control paints itself, so the
// labelled area of each holds text pixels, and the PNG written is a real picture.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/platform/dialog_fixture.h"
#include "tests/support/harness_common.h"
#include "tests/support/test_env.h"

using namespace plat;
using namespace ui_test;

namespace {

class SampleDialog : public CtlTest {};

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(SampleDialog, EveryControlPaintsAndThePictureIsWritten) {
  Wnd dlg = tm_test::create_sample_dialog(parent_);
  ASSERT_NE(dlg, nullptr);
  tm_test::run_until_idle();
  for (const tm_test::SampleItem& item : tm_test::sample_dialog_labels()) {
    Wnd c = tm_test::dlg_control(dlg, item.id);
    ASSERT_NE(c, nullptr) << item.label;
    Rect r;
    get_client_rect(c, &r);
    EXPECT_TRUE(any_pixel(c, r, inky)) << "no text pixels where \"" << item.label << "\" is shown";
  }
  // The owner-drawn button is painted by the dialog in its own colour.
  Wnd owner_drawn = tm_test::dlg_control(dlg, 110);
  Rect r;
  get_client_rect(owner_drawn, &r);
  EXPECT_EQ(tm_test::pixel_at(owner_drawn, 2, 2) & 0xFFFFFF, 0x0060A0u);

  const std::string path = tm_test::sandbox_dir() + "sample_dialog.png";
  ASSERT_TRUE(tm_test::dialog_picture(dlg, path));
  const std::string png = read_all(path);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_GT(png.size(), 4000u) << "a picture of many controls does not compress to almost nothing";
  destroy_window(dlg);
}

}  // namespace

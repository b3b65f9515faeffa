// The sample dialog on a real X server (a private Xvfb): shown modeless through the X11
// presenter, an outside screen capture finds it drawn at its place, not blank, and
// matching the dialog's own surface at chosen points; the capture is kept as a PNG.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/ui/ui.h"
#include "platform/x11/x11_presenter.h"
#include "tests/support/harness_common.h"
#include "tests/support/test_env.h"
#include "tests/x11/x11_loop.h"
#include "tests/x11/x_server.h"

namespace {

using namespace plat;
using x11_test::Capture;
using x11_test::Clock;

constexpr int kOwnerDrawnId = 110;      // the sample's owner-drawn button
constexpr uint32_t kOwnerFace = 0x0060A0;  // 0xRRGGBB it paints itself in

class X11SampleDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!x11_test::XServer::installed()) GTEST_SKIP() << "Xvfb is not installed";
    std::string why;
    ASSERT_TRUE(server_.start(&why)) << why;
    ui_reset();
    set_ui_thread();
    ASSERT_TRUE(x11_start(server_.display().c_str())) << "no connection to " << server_.display();
    started_ = true;
  }
  void TearDown() override {
    if (started_) x11_test::stop_presenter();
    server_.stop();
  }

  void pump_for(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    do {
      Msg m;
      while (peek_message(&m, nullptr, 0, 0, PM_REMOVE)) {
        translate_message(&m);
        dispatch_message(&m);
      }
      wait_message(std::min<int64_t>(x11_test::ms_left(until), 20));
    } while (x11_test::ms_left(until) > 0);
  }

  Point on_screen(Wnd w, Point client) {
    client_to_screen(w, &client);
    return client;
  }

  // The surface's colour at a client point of a control, as 0xRRGGBB.
  static uint32_t surface_rgb(Wnd w, int x, int y) { return tm_test::pixel_at(w, x, y) & 0xFFFFFF; }

  x11_test::XServer server_;
  bool started_ = false;
};

TEST_F(X11SampleDialog, TheDialogShowsOnScreenAsItsSurfaceHoldsIt) {
  Wnd dlg = tm_test::create_sample_dialog(nullptr);
  ASSERT_NE(dlg, nullptr);
  Wnd owner_drawn = get_dlg_item(dlg, kOwnerDrawnId);
  const Point mark = on_screen(owner_drawn, Point{3, 3});
  Capture cap;
  bool shown = false;
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (!shown && x11_test::ms_left(until) > 0) {
    pump_for(30);
    shown = x11_test::capture_screen(server_.display(), &cap) && cap.at(mark.x, mark.y) == kOwnerFace;
  }
  ASSERT_TRUE(shown) << "the dialog never showed on the screen";

  // Not blank: the labelled areas hold dark text pixels on the screen too.
  for (const tm_test::SampleItem& item : tm_test::sample_dialog_labels()) {
    Wnd c = get_dlg_item(dlg, item.id);
    Rect r;
    ASSERT_TRUE(get_client_rect(c, &r));
    bool ink = false;
    for (int y = r.top; y < r.bottom && !ink; ++y)
      for (int x = r.left; x < r.right && !ink; ++x) {
        const Point p = on_screen(c, Point{x, y});
        const uint32_t px = cap.at(p.x, p.y);
        ink = ((px >> 16) & 255) + ((px >> 8) & 255) + (px & 255) < 300;
      }
    EXPECT_TRUE(ink) << "no text on screen where \"" << item.label << "\" is shown";
  }

  // The screen matches the surface at points inside several controls.
  // The owner-drawn button, the "Name:" label, its edit, the bitmap, the up-down, the
  // progress bar and OK.
  const int ids[] = {kOwnerDrawnId, 101, 102, 103, 117, 119, IDOK};
  for (int id : ids) {
    Wnd c = get_dlg_item(dlg, id);
    Rect r;
    ASSERT_TRUE(get_client_rect(c, &r));
    for (Point p : {Point{r.width() / 2, r.height() / 2}, Point{2, 2}, Point{r.width() / 4, r.height() / 3}}) {
      const Point s = on_screen(c, p);
      EXPECT_EQ(cap.at(s.x, s.y), surface_rgb(c, p.x, p.y)) << "control " << id << " at " << p.x << "," << p.y;
    }
  }

  // The outside capture, kept as a picture.
  const std::string png = tm_test::sandbox_dir() + "sample_dialog_x11.png";
  EXPECT_TRUE(x11_test::run_tool(server_.display(), {"import", "-window", "root", png}).ran);
  EXPECT_EQ(access(png.c_str(), R_OK), 0);
}

}  // namespace

// What the progress window shows while the data loggers' downloads run: the framework
// fills the line store's text slot when it starts (as each program's start-up does),
// so the Navilink and MediaTek drivers' step texts, and the swap size, reach the
// window's text control; the datalog steps also move the bar by the share downloaded.
// The downloads run against the simulated loggers on the virtual clock, on a worker,
// while the test's thread handles the window's messages; every text the text control
// takes, and every position the bar takes with the text shown then, is recorded (both
// controls are subclassed).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "gps/gpsport.h"
#include "gps/loggers/mtk.h"
#include "gps/loggers/navilink.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "platform/sys/utf.h"
#include "platform/ui/ctl_progress.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "tests/gps/gpsport_fixture.h"
#include "tests/gps/navilink_fixture.h"
#include "tests/support/gps_sim/mtk_sim.h"
#include "tests/support/harness.h"
#include "tests/support/test_env.h"

namespace {

using lnav_test::run_with;

// The texts the progress window's text control took, in order.
std::mutex g_texts_lock;
std::vector<std::string> g_texts;
plat::WndProc g_text_proc = nullptr;

plat::LResult recording_proc(plat::Wnd w, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  if (msg == plat::WM_SETTEXT) {
    const auto* text = reinterpret_cast<const char16_t*>(lp);
    std::lock_guard<std::mutex> hold(g_texts_lock);
    g_texts.push_back(text ? plat::utf16_to_utf8(std::u16string_view(text)) : std::string());
  }
  return plat::call_window_proc(g_text_proc, w, msg, wp, lp);
}

// The positions the bar took, each with the text the text control showed then.
struct bar_step {
  std::string text;
  int pos;
};
std::vector<bar_step> g_bar;
plat::WndProc g_bar_proc = nullptr;

plat::LResult bar_recording_proc(plat::Wnd w, uint32_t msg, plat::WParam wp, plat::LParam lp) {
  if (msg == plat::PBM_SETPOS) {
    std::lock_guard<std::mutex> hold(g_texts_lock);
    g_bar.push_back({g_texts.empty() ? std::string() : g_texts.back(), int(wp)});
  }
  return plat::call_window_proc(g_bar_proc, w, msg, wp, lp);
}

class LoggerProgressWindow : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    ASSERT_TRUE(pty_.ok());
    session_ = std::make_unique<tm_test::UiSession>();
    mtk_module_init();
    mtk_install();
    navilink_install();
    task_slots_init();
    progress_state_reset();
    plat::WndClass cls;
    cls.proc = plat::def_window_proc;
    cls.name = "LoggerProgressFrame";
    plat::register_class(cls);
    frame_ = plat::create_window(0, cls.name, "frame", plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE,
                                 0, 0, 800, 600, nullptr, 0);
    ASSERT_NE(frame_, nullptr);
    obj_list_new(&target_);
    set_command_target(target_, frame_);
    progress_window_create();
    ASSERT_NE(progress_window(), nullptr);
    progress_show();
    plat::Wnd text = plat::get_dlg_item(progress_window(), kProgressTextId);
    ASSERT_NE(text, nullptr);
    g_text_proc = reinterpret_cast<plat::WndProc>(
        plat::set_window_long(text, plat::GWLP_WNDPROC, reinterpret_cast<intptr_t>(recording_proc)));
    plat::Wnd bar = plat::get_dlg_item(progress_window(), kProgressBarId);
    ASSERT_NE(bar, nullptr);
    g_bar_proc = reinterpret_cast<plat::WndProc>(
        plat::set_window_long(bar, plat::GWLP_WNDPROC, reinterpret_cast<intptr_t>(bar_recording_proc)));
    base_ = tm_test::fresh_dir("logger-progress") + "/dl";
  }
  void TearDown() override {
    progress_close();
    progress_state_reset();
    plat::use_virtual_clock(false);
    task_slots_init();  // forgets the target
    get_line_store_hooks().progress_text = nullptr;
    if (frame_ && plat::is_window(frame_)) plat::destroy_window(frame_);
    obj_t* t = target_;
    free_obj(&t);
    session_.reset();
    mtk_module_free();
    GpsPortFixture::TearDown();
  }

  // The texts the window's text control took while `call` ran.
  template <class Sim>
  std::vector<std::string> texts_during(const Sim& sim, const std::function<void()>& call) {
    {
      std::lock_guard<std::mutex> hold(g_texts_lock);
      g_texts.clear();
      g_bar.clear();
    }
    fresh_time();
    EXPECT_GE(run_with(sim, call, 10, 60000, [] { tm_test::pump(20); }), 0) << "the download hung";
    tm_test::pump(100);
    std::lock_guard<std::mutex> hold(g_texts_lock);
    return g_texts;
  }

  // The window updates at most every 0.1 s on the platform clock. Each run on the virtual
  // clock ends with the clock off, its time having run ahead of the real clock: the clock
  // goes on virtual here, an hour further than the time before for every run, so that the
  // last text shown is always older than the next.
  void fresh_time() {
    plat::use_virtual_clock(true);
    epoch_ms_ += 3600000;
    plat::advance_virtual_ms(epoch_ms_);
  }

  // The bar positions taken while the text began with `counter`: each must be the share
  // "<done> / <total>" that follows the counter in the text, of the bar's range. Returns
  // how many such positions were past the start.
  static int check_bar(const std::string& counter) {
    std::lock_guard<std::mutex> hold(g_texts_lock);
    int moved = 0;
    for (const bar_step& b : g_bar) {
      if (b.text.rfind(counter, 0) != 0) continue;
      unsigned done = 0, total = 0;
      if (std::sscanf(b.text.c_str() + counter.size(), "%u / %u", &done, &total) != 2 || total == 0) {
        ADD_FAILURE() << "no count in \"" << b.text << "\"";
        continue;
      }
      EXPECT_EQ(b.pos, int(double(done) / total * kProgressBarRange)) << b.text;
      if (b.pos > 0) ++moved;
    }
    return moved;
  }

  static bool has(const std::vector<std::string>& texts, const std::string& t) {
    return std::find(texts.begin(), texts.end(), t) != texts.end();
  }
  static std::string joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& t : texts) out += "[" + t + "]";
    return out;
  }

  std::unique_ptr<tm_test::UiSession> session_;
  plat::Wnd frame_ = nullptr;
  container_t* target_ = nullptr;
  tm_test::pty_pair pty_;
  std::string base_;
  int64_t epoch_ms_ = 0;
};

const char* const kLanguages[] = {"FRANCAIS", "ENGLISH"};

TEST_F(LoggerProgressWindow, NavilinkDownloadsShowTheirSteps) {
  gps_sim::navilink_sim sim(pty_);
  lnav_test::navilink_truth(sim);
  sim.start();
  struct step {
    gps_download_item_fn fn;
    const char* ext;
    const char* headline;
    const char* counter;  // the start of the step texts that follow
    bool moves_bar;       // its steps give the share done as well
  };
  const step steps[] = {
      {navilink_download_waypoints, "tmw", "Navilink - Waypoints", "Waypoint ", false},
      {navilink_download_tracklog, "tmn", "Navilink - Tracklog", "Tracklog : point ", false},
      {navilink_download_datalog, "dl.tmn", "Navilink - Datalog", "Datalog : point ", true},
      {navilink_download_routes, "tmr", "Navilink - Routes", "Route ", false},
  };
  for (const char* lang : kLanguages) {
    config_reset();  // the language is read once per configuration
    config_set("LANG", lang);
    for (const step& s : steps) {
      SCOPED_TRACE(std::string(lang) + " " + s.headline);
      com_device* dev = nullptr;
      navilink_ctx* ctx = nullptr;
      ASSERT_NE(com_open(pty_.path().c_str(), 115200, &dev), nullptr);
      ASSERT_EQ(navilink_ctx_new(dev, &ctx), 0);
      int32_t count = -1;
      const auto texts = texts_during(sim, [&] { s.fn(dev, ctx, &count, base_.c_str(), s.ext); });
      navilink_ctx_free(&ctx);
      com_close(&dev);
      EXPECT_GT(count, 0);
      EXPECT_TRUE(has(texts, s.headline)) << joined(texts);
      // The headline comes first; the counted steps follow it, never before.
      const auto at = std::find(texts.begin(), texts.end(), s.headline);
      for (auto it = texts.begin(); it != at; ++it)
        EXPECT_NE(it->rfind(s.counter, 0), 0u) << joined(texts);
      // The datalog's steps move the bar by the records received of the count.
      if (s.moves_bar) {
        EXPECT_GT(check_bar(s.counter), 0) << joined(texts);
      }
    }
  }
  sim.stop();
}

TEST_F(LoggerProgressWindow, MediaTekDownloadShowsItsSteps) {
  gps_sim::mtk_sim sim(pty_);
  sim.format = 0x3F;
  sim.image = std::string(5000, '\x5A');
  sim.start();
  for (const char* lang : kLanguages) {
    SCOPED_TRACE(lang);
    config_reset();  // the language is read once per configuration
    config_set("LANG", lang);
    com_device* dev = nullptr;
    mtk_ctx* ctx = nullptr;
    ASSERT_NE(com_open(pty_.path().c_str(), 115200, &dev), nullptr);
    ASSERT_EQ(mtk_ctx_new(dev, &ctx), 0);
    int32_t count = -1;
    const auto texts = texts_during(sim, [&] {
      mtk_download_datalog(dev, ctx, &count, base_.c_str(), "mtkt");
    });
    mtk_ctx_free(&ctx);
    com_close(&dev);
    EXPECT_GT(count, 0);
    EXPECT_TRUE(has(texts, "MTK - Datalog")) << joined(texts);
    // Each block moves the bar by the last address received of the bytes used.
    EXPECT_GT(check_bar("Datalog : adresse "), 0) << joined(texts);
  }
  sim.stop();
}

// The line store's swap size goes to the same window, in the user's language.
TEST_F(LoggerProgressWindow, TheSwapSizeFollowsTheLanguage) {
  const std::string mb = std::to_string(static_cast<long long>(swap_total_bytes() / 1048576.0));
  const struct {
    const char* lang;
    std::string text;
  } cases[] = {{"FRANCAIS", "Taille du swap " + mb + " Mo"}, {"ENGLISH", "Swap size " + mb + "MB"}};
  for (const auto& c : cases) {
    config_reset();  // the language is read once per configuration
    config_set("LANG", c.lang);
    fresh_time();
    swap_show_size();
    tm_test::pump(20);
    EXPECT_EQ(plat::dlg_item_text(progress_window(), kProgressTextId), c.text);
    std::lock_guard<std::mutex> hold(g_texts_lock);
    ASSERT_FALSE(g_texts.empty());
    EXPECT_EQ(g_texts.back(), c.text);
  }
}

}  // namespace

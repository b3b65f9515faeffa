// The frame's title and status texts: changes flagged once, the 20-second rule of
// timed status texts on the virtual clock, the document name and the composed title.
#include "platform/sys/clock.h"
#include "tests/map/mapwin_fixture.h"

namespace {

using mapwin_test::MapWinFixture;
using mapwin_test::record;
using mapwin_test::v;

class MapWinTexts : public MapWinFixture {
 protected:
  void SetUp() override {
    MapWinFixture::SetUp();
    plat::use_virtual_clock(true);
    frame_ = bare_window();
    record().target = frame_;
  }
  void TearDown() override {
    plat::use_virtual_clock(false);
    MapWinFixture::TearDown();
  }
  std::string status() const { return frame_->status_text ? frame_->status_text : ""; }
  std::string title() {
    char* text = nullptr;
    main_get_title_text(nullptr, &text);
    std::string out = text ? text : "";
    free_mem(&text);
    return out;
  }
  void seconds(int s) { plat::advance_virtual_ms(int64_t(s) * 1000); }

  mapwin_t* frame_ = nullptr;
};

TEST_F(MapWinTexts, SameTextTwiceFlagsOnce) {
  main_set_status_text(nullptr, "Loading", 0);
  EXPECT_EQ(v(frame_->texts_changed), 1);
  frame_->texts_changed = 0;
  main_set_status_text(nullptr, "Loading", 0);
  EXPECT_EQ(v(frame_->texts_changed), 0);
  main_set_title_text("Tarmelo");
  EXPECT_EQ(v(frame_->texts_changed), 1);
  frame_->texts_changed = 0;
  main_set_title_text("Tarmelo");
  main_set_status_part(nullptr);  // null is the empty text, which it already is
  EXPECT_EQ(v(frame_->texts_changed), 0);
}

TEST_F(MapWinTexts, TimedTextHoldsTwentySecondsAgainstTimedTexts) {
  main_set_status_text(nullptr, "first", 1);
  EXPECT_EQ(v(frame_->timed_status), 1);
  seconds(19);
  main_set_status_text(nullptr, "second", 1);
  EXPECT_EQ(status(), "first");
  main_set_status_text(nullptr, "", 0);  // the dispatcher's clearing at each command
  EXPECT_EQ(status(), "first");
  seconds(1);
  main_set_status_text(nullptr, "second", 1);
  EXPECT_EQ(status(), "second");
  EXPECT_EQ(v(frame_->timed_status), 1);
}

TEST_F(MapWinTexts, UntimedTextReplacesATimedOneAtOnce) {
  main_set_status_text(nullptr, "timed", 1);
  seconds(2);
  main_set_status_text(nullptr, "plain", 0);
  EXPECT_EQ(status(), "plain");
  EXPECT_EQ(v(frame_->timed_status), 0);
  EXPECT_EQ(v(frame_->status_start), 0.0);
  // Now nothing timed shows: a timed empty text changes nothing, an untimed one clears.
  main_set_status_text(nullptr, "", 1);
  EXPECT_EQ(status(), "plain");
  main_set_status_text(nullptr, "", 0);
  EXPECT_EQ(status(), "");
}

TEST_F(MapWinTexts, DocTextSetsTheTitleAndClearsTheStatus) {
  main_set_title_text("Tarmelo");
  main_set_status_part("WGS 84");
  main_set_status_text(nullptr, "ready", 0);
  EXPECT_EQ(title(), "Tarmelo   WGS 84   ready");
  main_set_doc_text("map.gpx");
  EXPECT_EQ(title(), "map.gpx      ");
  // A timed text is left to its 20 seconds.
  main_set_status_text(nullptr, "saved", 1);
  main_set_doc_text("other.gpx");
  EXPECT_EQ(title(), "other.gpx      saved");
}

TEST_F(MapWinTexts, NoTargetNoText) {
  record().target = nullptr;
  main_set_title_text("x");
  main_set_status_text(nullptr, "y", 1);
  main_set_doc_text("z");
  EXPECT_EQ(v(frame_->title), nullptr);
  EXPECT_EQ(v(frame_->status_text), nullptr);
  EXPECT_EQ(title(), "");
}

}  // namespace

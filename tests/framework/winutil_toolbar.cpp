// The toolbar builder and toolbar_check: the buttons a table gives (standard images,
// images from .bmp files in the program folder, separators, check buttons), their
// tooltips in the user's language, the two layouts and the sizes handed back, the cap on
// buttons, and tables or files that are wrong.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ui/ctl_toolbar.h"
#include "tests/framework/winutil_fixture.h"
#include "tests/support/harness_views.h"

namespace {

using winutil_test::ToolkitTest;

// A 16 x 16 24-bit bitmap file of one colour (0x00BBGGRR).
void write_bmp(const std::string& path, uint32_t colour) {
  const int w = 16, h = 16, row = w * 3;
  const uint32_t data = 54, size = data + uint32_t(row * h);
  std::vector<uint8_t> b(size, 0);
  auto put16 = [&](size_t at, uint32_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v), put16(at + 2, v >> 16); };
  b[0] = 'B', b[1] = 'M';
  put32(2, size);
  put32(10, data);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  put16(26, 1);
  put16(28, 24);
  for (int i = 0; i < w * h; ++i) {
    b[data + size_t(i) * 3] = uint8_t(colour >> 16);
    b[data + size_t(i) * 3 + 1] = uint8_t(colour >> 8);
    b[data + size_t(i) * 3 + 2] = uint8_t(colour);
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

class ToolbarTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    dir = tm_test::fresh_dir("program");
    set_program_dir(dir.c_str());
    write_bmp(dir + "green.bmp", plat::rgb(0, 200, 0));
  }
  plat::TbButton button(plat::Wnd tb, int index) {
    plat::TbButton b;
    plat::send_message(tb, plat::TB_GETBUTTON, plat::WParam(index), plat::LParam(&b));
    return b;
  }
  std::string dir;
};

// A table as the main program writes one: standard images, a separator, an image
// file, a check button, and the end record.
const toolbar_button kTable[] = {
    {0, 1, 1, nullptr, plat::STD_FILEOPEN, "Ouvrir", "Open", 101},
    {0, 1, 1, nullptr, plat::STD_PRINT, "Imprimer", "Print", 102},
    {0, 2, 1, nullptr, 0, "", "", 0},
    {0, 3, 2, "green.bmp", 0, "Vert", "Green", 103},
    {0, 1, 2, nullptr, plat::STD_FIND, "Chercher", "Find", 104},
    {0, 0, 0, nullptr, 0, nullptr, nullptr, 0},
    {0, 1, 1, nullptr, plat::STD_HELP, "Apres", "After", 105},  // past the end
};

TEST_F(ToolbarTest, ButtonsFollowTheTable) {
  int width = -1, height = -1;
  plat::Wnd tb = nullptr;
  plat::Wnd got = create_toolbar(frame, 1, 0, 10000, &width, &height, kTable, &tb);
  ASSERT_NE(tb, nullptr);
  EXPECT_EQ(got, tb);
  EXPECT_EQ(plat::get_class_name(tb), "ToolbarWindow32");
  EXPECT_EQ(plat::get_parent(tb), frame);
  EXPECT_EQ(get_gblerr(), 0);
  ASSERT_EQ(plat::send_message(tb, plat::TB_BUTTONCOUNT, 0, 0), 5);
  struct Want {
    int command;
    uint8_t style;
    int bitmap;  // -2: not checked (a separator's width)
  } want[] = {
      {101, plat::TBSTYLE_BUTTON, plat::STD_FILEOPEN},
      {102, plat::TBSTYLE_BUTTON, plat::STD_PRINT},
      {-1, plat::TBSTYLE_SEP, -2},
      {103, plat::TBSTYLE_CHECK, plat::STD_IMAGE_COUNT},  // the first image after the standard ones
      {104, plat::TBSTYLE_CHECK, plat::STD_FIND},
  };
  for (int i = 0; i < 5; ++i) {
    plat::TbButton b = button(tb, i);
    EXPECT_EQ(b.command, want[i].command) << i;
    EXPECT_EQ(b.style, want[i].style) << i;
    EXPECT_TRUE(b.state & plat::TBSTATE_ENABLED) << i;
    EXPECT_FALSE(b.state & plat::TBSTATE_CHECKED) << i;
    if (want[i].bitmap != -2) {
      EXPECT_EQ(b.bitmap, want[i].bitmap) << i;
    }
  }
  EXPECT_EQ(plat::send_message(tb, plat::TB_COMMANDTOINDEX, 105, 0), -1);
}

TEST_F(ToolbarTest, ClicksReachTheParentAndCheckButtonsToggle) {
  static std::vector<int> commands;
  commands.clear();
  plat::set_window_proc(frame, [](plat::Wnd w, uint32_t m, plat::WParam wp, plat::LParam lp) -> plat::LResult {
    if (m == plat::WM_COMMAND) commands.push_back(int(plat::loword(wp)));
    return winutil_test::frame_proc(w, m, wp, lp);
  });
  plat::Wnd tb = nullptr;
  int width = 0, height = 0;
  create_toolbar(frame, 1, 0, 10000, &width, &height, kTable, &tb);
  ASSERT_NE(tb, nullptr);
  for (int command : {101, 103, 104}) ASSERT_TRUE(tm_test::click_toolbar_button(tb, command)) << command;
  tm_test::run_until_idle();
  EXPECT_EQ(commands, (std::vector<int>{101, 103, 104}));
  EXPECT_EQ(plat::send_message(tb, plat::TB_ISBUTTONCHECKED, 103, 0) != 0, true);
  EXPECT_EQ(plat::send_message(tb, plat::TB_ISBUTTONCHECKED, 101, 0) != 0, false);
}

TEST_F(ToolbarTest, TooltipsInTheUsersLanguage) {
  struct Case {
    const char* lang;
    int command;
    const char* tip;
  } cases[] = {
      {"ENGLISH", 101, "Open"}, {"ENGLISH", 103, "Green"}, {"FRANCAIS", 101, "Ouvrir"}, {"FRANCAIS", 104, "Chercher"},
  };
  for (const Case& c : cases) {
    config_reset();
    config_set("LANG", c.lang);
    plat::Wnd tb = nullptr;
    int width = 0, height = 0;
    create_toolbar(frame, 1, 0, 10000, &width, &height, kTable, &tb);
    ASSERT_NE(tb, nullptr);
    plat::Wnd tip = tm_test::hover_toolbar_button(tb, c.command);
    ASSERT_NE(tip, nullptr) << c.lang << " " << c.command;
    char text[80] = {};
    plat::get_window_text(tip, text, sizeof text);
    EXPECT_STREQ(text, c.tip) << c.lang;
    tm_test::mouse_move(frame, 700, 500);
    tm_test::run_until_idle();
    plat::destroy_window(tb);
  }
}

TEST_F(ToolbarTest, VerticalAndHorizontalLayouts) {
  for (int vertical : {1, 0}) {
    for (int large : {0, 1}) {
      int width = -1, height = -1;
      plat::Wnd tb = nullptr;
      create_toolbar(frame, vertical, large, vertical ? 10000 : 0, &width, &height, kTable, &tb);
      ASSERT_NE(tb, nullptr);
      plat::Size bounds;
      plat::send_message(tb, plat::TB_GETMAXSIZE, 0, plat::LParam(&bounds));
      plat::Rect r;
      plat::get_window_rect(tb, &r);
      plat::Point at{r.left, r.top};
      plat::screen_to_client(frame, &at);
      EXPECT_EQ(at.x, 0);
      EXPECT_EQ(at.y, 0);
      EXPECT_EQ(r.width(), width) << vertical << large;
      EXPECT_EQ(r.height(), height) << vertical << large;
      plat::Rect first, last;
      plat::send_message(tb, plat::TB_GETITEMRECT, 0, plat::LParam(&first));
      plat::send_message(tb, plat::TB_GETITEMRECT, 4, plat::LParam(&last));
      int image = large ? 24 : 16;
      EXPECT_GE(first.width(), image);
      if (vertical) {
        // One button per row, in a column as high as asked and wide enough for them.
        EXPECT_EQ(height, 10000);
        EXPECT_GT(last.top, first.top);
        EXPECT_EQ(last.left, first.left);
        EXPECT_GE(width, first.right);
        EXPECT_LT(width, first.right + 16);
      } else {
        // One row across the frame, its own height + 4.
        plat::Rect pc;
        plat::get_client_rect(frame, &pc);
        EXPECT_EQ(width, pc.width());
        EXPECT_EQ(height, bounds.cy + 4);
        EXPECT_GT(last.left, first.left);
        EXPECT_EQ(last.top, first.top);
      }
      plat::destroy_window(tb);
    }
  }
}

TEST_F(ToolbarTest, AtMostFortyNineButtons) {
  std::vector<toolbar_button> table;
  for (int i = 0; i < 60; ++i) table.push_back({0, 1, 1, nullptr, i % 15, "t", "t", 200 + i});
  table.push_back({0, 0, 0, nullptr, 0, nullptr, nullptr, 0});
  plat::Wnd tb = nullptr;
  int width = 0, height = 0;
  create_toolbar(frame, 0, 0, 0, &width, &height, table.data(), &tb);
  ASSERT_NE(tb, nullptr);
  EXPECT_EQ(plat::send_message(tb, plat::TB_BUTTONCOUNT, 0, 0), kToolbarMaxButtons);
  EXPECT_EQ(button(tb, kToolbarMaxButtons - 1).command, 200 + kToolbarMaxButtons - 1);
}

TEST_F(ToolbarTest, WrongTablesAndFilesMakeNoFault) {
  const toolbar_button missing_file[] = {
      {0, 3, 1, "absent.bmp", 0, "x", "Absent", 301},
      {0, 3, 1, nullptr, 0, "x", "No file", 302},
      {0, 3, 1, "sub\\green.bmp", 0, "x", "Backslash", 303},
      {0, 9, 1, nullptr, 0, nullptr, nullptr, 304},  // a kind that does not exist, no tips
      {0, 1, 1, nullptr, 2, "x", "Paste", 305},
      {0, 0, 0, nullptr, 0, nullptr, nullptr, 0},
  };
  std::filesystem::create_directories(dir + "sub");
  write_bmp(dir + "sub/green.bmp", plat::rgb(0, 200, 0));
  plat::Wnd tb = nullptr;
  int width = 0, height = 0;
  create_toolbar(frame, 1, 0, 500, &width, &height, missing_file, &tb);
  ASSERT_NE(tb, nullptr);
  ASSERT_EQ(plat::send_message(tb, plat::TB_BUTTONCOUNT, 0, 0), 5);
  EXPECT_EQ(button(tb, 4).bitmap, 2);   // the standard images still count from 0
  EXPECT_GE(button(tb, 2).bitmap, plat::STD_IMAGE_COUNT);  // '\' read as a separator
  EXPECT_TRUE(tm_test::window_picture(frame, dir + "toolbar.png"));
  EXPECT_TRUE(tm_test::click_toolbar_button(tb, 301));
  tm_test::run_until_idle();

  // No table at all, and a table that ends at once: an empty toolbar.
  const toolbar_button empty[] = {{0, 0, 0, nullptr, 0, nullptr, nullptr, 0}};
  for (const toolbar_button* t : {static_cast<const toolbar_button*>(nullptr), empty}) {
    plat::Wnd e = nullptr;
    create_toolbar(frame, 0, 0, 0, &width, &height, t, &e);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(plat::send_message(e, plat::TB_BUTTONCOUNT, 0, 0), 0);
  }
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(ToolbarTest, NoParentIsAnError) {
  int width = 7, height = 7;
  plat::Wnd tb = reinterpret_cast<plat::Wnd>(1);
  EXPECT_EQ(create_toolbar(nullptr, 1, 0, 100, &width, &height, kTable, &tb), nullptr);
  EXPECT_EQ(tb, nullptr);
  EXPECT_EQ(get_gblerr(), ERR_OS);
}

TEST_F(ToolbarTest, CheckByCommand) {
  plat::Wnd tb = nullptr;
  int width = 0, height = 0;
  create_toolbar(frame, 1, 0, 10000, &width, &height, kTable, &tb);
  ASSERT_NE(tb, nullptr);
  struct Step {
    int command, checked;
    bool want103, want104;
  } steps[] = {
      {103, 1, true, false}, {104, 7, true, true},  // any non-zero checks
      {103, 0, false, true}, {999, 1, false, true},  // an unknown command changes nothing
      {104, 0, false, false},
  };
  for (const Step& s : steps) {
    toolbar_check(tb, s.command, s.checked);
    EXPECT_EQ(plat::send_message(tb, plat::TB_ISBUTTONCHECKED, 103, 0) != 0, s.want103) << s.command;
    EXPECT_EQ(plat::send_message(tb, plat::TB_ISBUTTONCHECKED, 104, 0) != 0, s.want104) << s.command;
  }
  toolbar_check(nullptr, 103, 1);  // no toolbar: nothing
  EXPECT_EQ(posted_slots(), std::vector<int>{});
}

}  // namespace

// The layout check the dialog tests rely on finds each kind of fault it names: a control
// past the client area, two controls on one place, a text wider than its control; a
// group box around other controls and a label that wraps into its height are sound.
#include <string>
#include <vector>

#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/dialog.h"
#include "platform/ui/styles.h"
#include "tests/shell/frame_fixture.h"
#include "tests/support/dialog_layout.h"
#include "tests/support/harness_dialogs.h"

namespace frame_test {
namespace {

using LayoutCheck = FrameFixture;

std::vector<std::string> faults_of(const plat::DlgTemplate& t) {
  std::vector<std::string> faults;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    faults = tm_test::dialog_layout_faults(dlg);
    plat::end_dialog(dlg, 0);
  });
  plat::dialog_box_indirect(t, nullptr, [](plat::Wnd, uint32_t, plat::WParam, plat::LParam) -> intptr_t { return 0; });
  return faults;
}

plat::DlgTemplate base() {
  plat::DlgTemplate t;
  t.title = "Layout";
  t.cx = 160;
  t.cy = 80;
  return t;
}

TEST_F(LayoutCheck, SoundDialogHasNoFault) {
  plat::DlgTemplate t = base();
  t.items = {
      {"Button", 10, "Frame", plat::BS_GROUPBOX, 4, 4, 152, 50},
      {"Static", 11, "A label long enough to wrap onto a second line", plat::SS_LEFT, 10, 14, 90, 20},
      {"Button", 12, "Check", plat::BS_AUTOCHECKBOX, 10, 38, 60, 10},
      {"Button", 1, "OK", plat::BS_DEFPUSHBUTTON, 100, 60, 50, 14},
  };
  EXPECT_THAT(faults_of(t), ::testing::IsEmpty());
}

TEST_F(LayoutCheck, FindsEachKindOfFault) {
  const struct {
    plat::DlgItem a, b;
    const char* fault;
  } cases[] = {
      {{"Button", 1, "OK", plat::BS_PUSHBUTTON, 130, 60, 50, 14}, {"Static", 2, "x", 0, 4, 4, 20, 10}, "outside"},
      {{"Button", 1, "OK", plat::BS_PUSHBUTTON, 10, 10, 50, 14}, {"Static", 2, "x", 0, 30, 12, 20, 10}, "overlaps"},
      {{"Button", 1, "A caption far too long for it", plat::BS_PUSHBUTTON, 10, 10, 30, 14},
       {"Static", 2, "x", 0, 100, 10, 20, 10}, "needs"},
      {{"Static", 1, "Wrapped words that need more lines than it has", plat::SS_LEFT, 10, 10, 60, 10},
       {"Static", 2, "x", 0, 100, 10, 20, 10}, "does not fit"},
  };
  for (const auto& c : cases) {
    plat::DlgTemplate t = base();
    t.items = {c.a, c.b};
    const std::vector<std::string> faults = faults_of(t);
    ASSERT_EQ(faults.size(), 1u) << c.fault;
    EXPECT_NE(faults[0].find(c.fault), std::string::npos) << faults[0];
  }
}

}  // namespace
}  // namespace frame_test

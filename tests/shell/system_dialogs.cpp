// The system dialog driven as a user would: the lists it opens with, a choice from each
// list shown on OK and made the default, one choice at a time, the georef OK builds,
// the display variant's remembered choice against the cursor variant, the closing
// button that becomes the next default, mode 2 without projections; the unit dialog on
// angles and distances, with a unit that has no name kept; pictures and layout in both
// languages.
#include "tests/shell/system_dialogs_fixture.h"

#include "geodesy/units.h"
#include "platform/ui/ctl_button.h"
#include "shell/framework/dispatcher.h"

namespace frame_test {
namespace {

class SystemDialog : public SystemDialogFixture {
 protected:
  // Runs the display variant; `act` plays the user. The georef it made is kept.
  int run(std::function<void(plat::Wnd)> act, int mode = kSystemModeAll, georef_t** made = nullptr,
          const char16_t* caption = u"Display system") {
    tm_test::answer_next_dialog(std::move(act));
    georef_t* g = nullptr;
    const int ok = choose_system_dialog(caption, mode, &g);
    if (g) georefs_.push_back(g);
    if (made) *made = g;
    return ok;
  }
};

TEST_F(SystemDialog, OpensWithTheSystemsInUseAndNothingChosen) {
  use_display(GEOREF_PROJECTED, LEN_METRE);
  session_georef(GEOREF_GEOGRAPHIC, ANG_DEGREE);
  session_georef(GEOREF_PROJECTED, LEN_KILOMETRE);  // the same system again: listed once
  std::vector<std::string> in_use;
  std::string caption, ok_text;
  bool ok_on = true, proj_on = false, datum_on = false, define_datum_on = true, define_proj_on = true;
  int datums = 0, projections = 0, datum_sel = 0, proj_sel = 0, list_sel = 0, def = 0;
  georef_t* made = nullptr;
  const int ok = run(
      [&](plat::Wnd dlg) {
        caption = title(dlg);
        in_use = list_texts(dlg, IDC_SYS_IN_USE);
        ok_text = plat::dlg_item_text(dlg, IDC_SYS_OK);
        ok_on = enabled(dlg, IDC_SYS_OK);
        proj_on = enabled(dlg, IDC_SYS_PROJ) && enabled(dlg, IDC_SYS_PROJ_LABEL);
        datum_on = enabled(dlg, IDC_SYS_DATUM);
        define_datum_on = enabled(dlg, IDC_SYS_DEFINE_DATUM);
        define_proj_on = enabled(dlg, IDC_SYS_DEFINE_PROJ);
        datums = combo_count(dlg, IDC_SYS_DATUM);
        projections = combo_count(dlg, IDC_SYS_PROJ);
        datum_sel = combo_selection(dlg, IDC_SYS_DATUM);
        proj_sel = combo_selection(dlg, IDC_SYS_PROJ);
        list_sel = list_selection(dlg, IDC_SYS_IN_USE);
        def = default_button(dlg);
        tm_test::click_control(dlg, IDC_SYS_CANCEL);
      },
      kSystemModeAll, &made);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(caption, "Display system");
  // In the order the georefs were made, which the test does not fix.
  EXPECT_THAT(in_use, ::testing::UnorderedElementsAre("RGF93 v1 / Lambert-93", "WGS 84"));
  EXPECT_EQ(ok_text, "OK");
  EXPECT_FALSE(ok_on);
  EXPECT_TRUE(proj_on);
  EXPECT_TRUE(datum_on);
  EXPECT_FALSE(define_datum_on);
  EXPECT_FALSE(define_proj_on);
  int datum_objects = 0, named_projections = 0;
  obj_class_count(CLS_GEODATUM, &datum_objects);
  for (obj_t* c = nullptr; obj_class_next(CLS_CARTPROJ, &c);) {
    const char* name = static_cast<cartproj_t*>(c)->name;
    if (name && *name) ++named_projections;
  }
  EXPECT_EQ(datums, datum_objects);
  EXPECT_EQ(projections, named_projections);
  EXPECT_EQ(datum_sel, -1);
  EXPECT_EQ(proj_sel, -1);
  EXPECT_EQ(list_sel, -1);
  EXPECT_EQ(def, IDC_SYS_CANCEL);  // the last closing button, Cancel at the start
  // Cancelled: a georef without system all the same, for the caller to free.
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(val(made->refertype), GEOREF_NONE);
}

// A choice from each list: its name on OK, OK enabled and default, the other lists
// cleared; OK builds the georef of that name.
// The display system counts among the systems in use even when nothing else uses it.
TEST_F(SystemDialog, TheDisplaySystemIsInUse) {
  use_display(GEOREF_PROJECTED, LEN_METRE);
  std::vector<std::string> in_use;
  run([&](plat::Wnd dlg) {
    in_use = list_texts(dlg, IDC_SYS_IN_USE);
    tm_test::click_control(dlg, IDC_SYS_CANCEL);
  });
  EXPECT_EQ(in_use, std::vector<std::string>{"RGF93 v1 / Lambert-93"});
}

TEST_F(SystemDialog, EachListGivesItsChoiceToTheOkButton) {
  use_display(GEOREF_PROJECTED, LEN_METRE);
  session_georef(GEOREF_PROJECTED, LEN_METRE);
  struct choice {
    int first_list;  // chosen first, then replaced by the second choice
    const char* first;
    int list;
    const char* name;
    int refertype;
  };
  const choice cases[] = {
      {IDC_SYS_PROJ, "RGF93 v1 / Lambert-93", IDC_SYS_DATUM, "WGS 84", GEOREF_GEOGRAPHIC},
      {IDC_SYS_DATUM, "WGS 84", IDC_SYS_PROJ, "WGS 84 / UTM zone 31N", GEOREF_PROJECTED},
      {IDC_SYS_DATUM, "WGS 84", IDC_SYS_IN_USE, "RGF93 v1 / Lambert-93", GEOREF_PROJECTED},
      {IDC_SYS_IN_USE, "RGF93 v1 / Lambert-93", IDC_SYS_DATUM, "RGF93 v1", GEOREF_GEOGRAPHIC},
  };
  for (const choice& c : cases) {
    SCOPED_TRACE(c.name);
    system_dialog_reset();
    std::string ok_text;
    bool ok_on = false;
    int def = 0, others_selected = 0;
    georef_t* made = nullptr;
    const int ok = run(
        [&](plat::Wnd dlg) {
          choose(dlg, c.first_list, c.first);
          choose(dlg, c.list, c.name);
          ok_text = plat::dlg_item_text(dlg, IDC_SYS_OK);
          ok_on = enabled(dlg, IDC_SYS_OK);
          def = default_button(dlg);
          for (int id : {IDC_SYS_DATUM, IDC_SYS_PROJ})
            if (id != c.list && combo_selection(dlg, id) >= 0) ++others_selected;
          if (c.list != IDC_SYS_IN_USE && list_selection(dlg, IDC_SYS_IN_USE) >= 0) ++others_selected;
          tm_test::click_control(dlg, IDC_SYS_OK);
        },
        kSystemModeAll, &made);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(ok_text, c.name);
    EXPECT_TRUE(ok_on);
    EXPECT_EQ(def, IDC_SYS_OK);
    EXPECT_EQ(others_selected, 0);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(val(made->refertype), c.refertype);
    const char* name = nullptr;
    object_get_system(made, &name);
    EXPECT_STREQ(name, c.name);
    const bool geographic = c.refertype == GEOREF_GEOGRAPHIC;
    ASSERT_NE(geographic ? static_cast<obj_t*>(made->datum) : made->projection, nullptr);
    EXPECT_EQ(val(made->unit), geographic ? val(made->datum->unit) : val(made->projection->unit));
    EXPECT_EQ(get_gblerr(), 0);
  }
}

// The display variant opens on the system confirmed last, its name on OK; the cursor
// variant opens on nothing. The button that closed a dialog is the next default.
TEST_F(SystemDialog, TheDisplayVariantRemembersItsChoiceTheCursorVariantDoesNot) {
  use_display(GEOREF_GEOGRAPHIC, ANG_DEGREE);
  georef_t* first = nullptr;
  ASSERT_EQ(run([&](plat::Wnd dlg) {
              choose(dlg, IDC_SYS_PROJ, "RGF93 v1 / Lambert-93");
              tm_test::click_control(dlg, IDC_SYS_OK);
            },
            kSystemModeAll, &first),
            1);
  ASSERT_NE(first, nullptr);
  // Again: preselected in the list, on OK, OK default; OK at once gives the same system.
  std::string ok_text, selected;
  bool ok_on = false;
  int def = 0;
  georef_t* again = nullptr;
  EXPECT_EQ(run([&](plat::Wnd dlg) {
              ok_text = plat::dlg_item_text(dlg, IDC_SYS_OK);
              ok_on = enabled(dlg, IDC_SYS_OK);
              def = default_button(dlg);
              const int sel = list_selection(dlg, IDC_SYS_IN_USE);
              if (sel >= 0) selected = list_texts(dlg, IDC_SYS_IN_USE)[size_t(sel)];
              tm_test::click_control(dlg, IDC_SYS_OK);
            },
            kSystemModeAll, &again),
            1);
  EXPECT_EQ(ok_text, "RGF93 v1 / Lambert-93");
  EXPECT_EQ(selected, "RGF93 v1 / Lambert-93");
  EXPECT_TRUE(ok_on);
  EXPECT_EQ(def, IDC_SYS_OK);
  EXPECT_EQ(val(again->refertype), GEOREF_PROJECTED);
  EXPECT_EQ(val(again->projection), lambert93());

  // The cursor variant: nothing preselected, its choice not remembered.
  georef_t* edited = session_georef(GEOREF_NONE, 0);
  std::string cursor_ok;
  bool cursor_ok_on = true;
  int cursor_sel = 0, cursor_def = 0;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    cursor_ok = plat::dlg_item_text(dlg, IDC_SYS_OK);
    cursor_ok_on = enabled(dlg, IDC_SYS_OK);
    cursor_sel = list_selection(dlg, IDC_SYS_IN_USE);
    cursor_def = default_button(dlg);
    choose(dlg, IDC_SYS_DATUM, "WGS 84");
    tm_test::click_control(dlg, IDC_SYS_OK);
  });
  EXPECT_EQ(run_system_dialog(u"Cursor", kSystemModeAll, edited, chxsyst_cursor_dlgproc), 1);
  EXPECT_EQ(cursor_ok, "OK");
  EXPECT_FALSE(cursor_ok_on);
  EXPECT_EQ(cursor_sel, -1);
  EXPECT_EQ(cursor_def, IDC_SYS_OK);
  EXPECT_EQ(val(edited->refertype), GEOREF_GEOGRAPHIC);

  // Cancelled: the display variant still remembers Lambert-93, and Cancel is the
  // next default.
  EXPECT_EQ(run([](plat::Wnd dlg) { tm_test::click_control(dlg, IDC_SYS_CANCEL); }), 0);
  EXPECT_EQ(run([&](plat::Wnd dlg) {
              ok_text = plat::dlg_item_text(dlg, IDC_SYS_OK);
              def = default_button(dlg);
              tm_test::click_control(dlg, IDC_SYS_CANCEL);
            }),
            0);
  EXPECT_EQ(ok_text, "RGF93 v1 / Lambert-93");
  EXPECT_EQ(def, IDC_SYS_CANCEL);
}

// The "define" buttons are disabled; a press that reaches the dialog anyway only says
// that they are not available yet.
TEST_F(SystemDialog, DefineButtonsAreNotAvailableYet) {
  for (int id : {IDC_SYS_DEFINE_DATUM, IDC_SYS_DEFINE_PROJ}) {
    SCOPED_TRACE(id);
    tm_test::clear_message_boxes();
    EXPECT_EQ(run([&](plat::Wnd dlg) {
                tm_test::click_control(dlg, id);  // disabled: nothing
                tm_test::run_until_idle();
                EXPECT_TRUE(tm_test::message_boxes().empty());
                plat::send_message(dlg, plat::WM_COMMAND, plat::WParam(id), 0);
                tm_test::click_control(dlg, IDC_SYS_CANCEL);
              }),
              0);
    ASSERT_EQ(tm_test::message_boxes().size(), 1u);
    EXPECT_EQ(tm_test::message_boxes()[0].text, "Pas encore disponible...");
    EXPECT_EQ(tm_test::message_boxes()[0].caption, "Bientot !");
  }
}

TEST_F(SystemDialog, ModeTwoOffersDatumsOnly) {
  use_display(GEOREF_PROJECTED, LEN_METRE);
  session_georef(GEOREF_PROJECTED, LEN_METRE);
  session_georef(GEOREF_GEOGRAPHIC, ANG_DEGREE);
  std::vector<std::string> in_use;
  bool proj_on = true, label_on = true;
  georef_t* made = nullptr;
  EXPECT_EQ(run(
                [&](plat::Wnd dlg) {
                  in_use = list_texts(dlg, IDC_SYS_IN_USE);
                  proj_on = enabled(dlg, IDC_SYS_PROJ);
                  label_on = enabled(dlg, IDC_SYS_PROJ_LABEL);
                  choose(dlg, IDC_SYS_IN_USE, "WGS 84");
                  tm_test::click_control(dlg, IDC_SYS_OK);
                },
                kSystemModeGeographic, &made),
            1);
  EXPECT_EQ(in_use, std::vector<std::string>{"WGS 84"});
  EXPECT_FALSE(proj_on);
  EXPECT_FALSE(label_on);
  EXPECT_EQ(val(made->refertype), GEOREF_GEOGRAPHIC);
}

TEST_F(SystemDialog, WithoutFrameWindowNothingOpens) {
  obj_t* target = get_command_target();
  plat::Wnd wnd = get_command_target_wnd();
  set_command_target(nullptr, nullptr);
  bool opened = false;
  tm_test::answer_next_dialog([&](plat::Wnd dlg) {
    opened = true;
    tm_test::click_control(dlg, IDC_SYS_CANCEL);
  });
  georef_t* made = reinterpret_cast<georef_t*>(1);
  EXPECT_EQ(choose_system_dialog(u"Display system", kSystemModeAll, &made), 0);
  EXPECT_EQ(made, nullptr);
  EXPECT_FALSE(opened);
  set_command_target(target, wnd);
  // With the frame back, the answer waiting is taken.
  georef_t* g = nullptr;
  EXPECT_EQ(choose_system_dialog(u"Display system", kSystemModeAll, &g), 0);
  georefs_.push_back(g);
  EXPECT_TRUE(opened);
}

// ---- The unit dialog -----------------------------------------------------------------------

TEST_F(SystemDialog, TheUnitDialogOffersAnglesOrDistances) {
  struct unit_case {
    int refertype, unit;
    const char* label;
    int count;
    const char* shown;   // selected at opening
    const char* chosen;  // chosen by the user
    int stored;
  };
  const unit_case cases[] = {
      {GEOREF_GEOGRAPHIC, ANG_DEGREE, "Angle", 11, "Degree", "Degree Minute Second", ANG_DMS},
      {GEOREF_GEOGRAPHIC, ANG_DMS, "Angle", 11, "Degree Minute Second", "Degree Minute", ANG_DM},
      {GEOREF_PROJECTED, LEN_METRE, "Distance", 23, "Meter", "Kilometer", LEN_KILOMETRE},
      {GEOREF_PROJECTED, LEN_KILOMETRE, "Distance", 23, "Kilometer", "Clarke Link", 22},
  };
  for (const unit_case& c : cases) {
    SCOPED_TRACE(c.chosen);
    georef_t* g = session_georef(c.refertype, c.unit);
    std::string label, shown, caption;
    int count = 0;
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      caption = title(dlg);
      label = plat::dlg_item_text(dlg, IDC_UNIT_LABEL);
      count = combo_count(dlg, IDC_UNIT_LIST);
      shown = combo_text(dlg, IDC_UNIT_LIST);
      EXPECT_TRUE(tm_test::select_combo_text(plat::get_dlg_item(dlg, IDC_UNIT_LIST), c.chosen));
      tm_test::click_control(dlg, IDC_UNIT_OK);
    });
    EXPECT_EQ(run_unit_dialog(nullptr, g), 1);
    EXPECT_EQ(caption, "Units - Cursor coordinates");
    EXPECT_EQ(label, c.label);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(val(g->unit), c.stored);
    // Cancel changes nothing.
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      tm_test::select_combo_text(plat::get_dlg_item(dlg, IDC_UNIT_LIST), c.shown);
      tm_test::click_control(dlg, IDC_UNIT_CANCEL);
    });
    EXPECT_EQ(run_unit_dialog(nullptr, g), 0);
    EXPECT_EQ(val(g->unit), c.stored);
  }
}

// Units without a name (angular 11, linear 23 and up) are not offered: the list opens
// without selection, and OK keeps the unit instead of storing -1.
TEST_F(SystemDialog, OkWithoutSelectionKeepsTheUnit) {
  const struct {
    int refertype, unit;
  } cases[] = {{GEOREF_GEOGRAPHIC, 11}, {GEOREF_PROJECTED, 23}, {GEOREF_PROJECTED, 46}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.unit);
    georef_t* g = session_georef(c.refertype, c.unit);
    int selected = 0;
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      selected = combo_selection(dlg, IDC_UNIT_LIST);
      tm_test::click_control(dlg, IDC_UNIT_OK);
    });
    EXPECT_EQ(run_unit_dialog(nullptr, g), 1);
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(val(g->unit), c.unit);
  }
}

// ---- Pictures and layout in both languages -------------------------------------------------

class SystemDialogPictures : public SystemDialogFixture {
 protected:
  void SetUp() override {}
  void picture_both(const char* lang, const char* expected_cancel, const char* expected_unit_title) {
    SetUpIn(lang);
    use_display(GEOREF_PROJECTED, LEN_METRE);
    session_georef(GEOREF_GEOGRAPHIC, ANG_DEGREE);
    const std::string folder = tm_test::fresh_dir("sysdlg");
    std::string cancel, unit_title;
    tm_test::answer_next_dialog([&](plat::Wnd dlg) {
      cancel = plat::dlg_item_text(dlg, IDC_SYS_CANCEL);
      EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
      EXPECT_TRUE(tm_test::dialog_picture(dlg, folder + "/system_" + lang + ".png"));
      // With a long system's name on OK.
      choose(dlg, IDC_SYS_PROJ, "RGF93 v1 / Lambert-93");
      EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
      EXPECT_TRUE(tm_test::dialog_picture(dlg, folder + "/system_chosen_" + lang + ".png"));
      tm_test::click_control(dlg, IDC_SYS_CANCEL);
    });
    georef_t* g = nullptr;
    choose_system_dialog(u"Syst\u00E8me", kSystemModeAll, &g);
    georefs_.push_back(g);
    EXPECT_EQ(cancel, expected_cancel);
    for (int refertype : {GEOREF_GEOGRAPHIC, GEOREF_PROJECTED}) {
      georef_t* edited = session_georef(refertype, refertype == GEOREF_GEOGRAPHIC ? ANG_DMS : 13);
      tm_test::answer_next_dialog([&](plat::Wnd dlg) {
        unit_title = title(dlg);
        EXPECT_THAT(tm_test::dialog_layout_faults(dlg), ::testing::IsEmpty());
        EXPECT_TRUE(tm_test::dialog_picture(
            dlg, folder + "/unit_" + std::to_string(refertype) + "_" + lang + ".png"));
        tm_test::click_control(dlg, IDC_UNIT_CANCEL);
      });
      run_unit_dialog(nullptr, edited);
      EXPECT_EQ(unit_title, expected_unit_title);
    }
  }
};

TEST_F(SystemDialogPictures, French) {
  picture_both("FRANCAIS", "Annuler", "Unit\xC3\xA9s - Coordonn\xC3\xA9" "es du curseur");
}

TEST_F(SystemDialogPictures, English) { picture_both("ENGLISH", "Cancel", "Units - Cursor coordinates"); }

}  // namespace
}  // namespace frame_test

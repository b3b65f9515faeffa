// The toolbar builder: a "ToolbarWindow32" child built from a table of button records
// (standard images, images from .bmp files in the program folder, separators), with
// bilingual tooltips, laid out as a column at the frame's left or as a row.
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/ui.h"
#include "shell/framework/ui_text.h"
#include "shell/framework/winutil.h"

namespace {

// Adds one button's image; its index, -1 when it has none.
int add_image(plat::Wnd tb, const toolbar_button& b, int std_first) {
  if (b.kind == 1) return std_first + b.std_image;
  if (b.kind != 3 || !b.file) return -1;
  std::string path = std::string(get_program_dir()) + b.file;
  plat::Bitmap bmp = plat::load_bitmap_file(path.c_str(), plat::LR_LOADTRANSPARENT | plat::LR_LOADMAP3DCOLORS);
  if (!bmp) return -1;
  plat::TbAddBitmap add;
  add.instance = 0;
  add.id = uintptr_t(bmp);
  int index = int(plat::send_message(tb, plat::TB_ADDBITMAP, 1, plat::LParam(&add)));
  plat::delete_object(bmp);  // the toolbar keeps a copy of the pixels
  return index;
}

}  // namespace

plat::Wnd create_toolbar(plat::Wnd parent, int vertical, int large, int height, int* out_width, int* out_height,
                         const toolbar_button* table, plat::Wnd* out_toolbar) {
  if (out_toolbar) *out_toolbar = nullptr;
  plat::register_controls();
  uint32_t style = plat::WS_CHILD | plat::WS_VISIBLE | plat::TBSTYLE_TOOLTIPS | plat::TBSTYLE_FLAT |
                   plat::CCS_NORESIZE | plat::CCS_NOMOVEY;
  if (vertical) style |= plat::CCS_NODIVIDER | plat::CCS_VERT;
  plat::Wnd tb = plat::create_window(0, plat::kToolbarClass, "", style, 0, 0, 0, 0, parent, 0);
  if (!tb) return set_gblerr(ERR_OS), nullptr;
  plat::send_message(tb, plat::TB_BUTTONSTRUCTSIZE, sizeof(plat::TbButton), 0);
  plat::TbAddBitmap std_bmp;
  std_bmp.instance = plat::HINST_COMMCTRL;
  std_bmp.id = large ? plat::IDB_STD_LARGE_COLOR : plat::IDB_STD_SMALL_COLOR;
  int std_first = int(plat::send_message(tb, plat::TB_ADDBITMAP, 0, plat::LParam(&std_bmp)));
  const bool fr = is_french();
  std::vector<plat::TbButton> buttons;
  std::vector<std::u16string> tips;
  for (const toolbar_button* b = table; b && b->kind != 0 && tips.size() < size_t(kToolbarMaxButtons); ++b)
    tips.push_back(ui_wide(fr ? b->tip_fr : b->tip_en));
  for (size_t i = 0; i < tips.size(); ++i) {
    const toolbar_button& b = table[i];
    plat::TbButton btn;
    btn.state = plat::TBSTATE_ENABLED;
    if (b.kind == 2) {
      btn.style = plat::TBSTYLE_SEP;
      btn.command = -1;
      btn.bitmap = 0;
    } else {
      btn.style = b.style == 2 ? plat::TBSTYLE_CHECK : plat::TBSTYLE_BUTTON;
      btn.command = b.command;
      btn.bitmap = add_image(tb, b, std_first);
      btn.string = intptr_t(tips[i].c_str());
    }
    buttons.push_back(btn);
  }
  plat::send_message(tb, plat::TB_ADDBUTTONS, buttons.size(), plat::LParam(buttons.data()));
  plat::send_message(tb, plat::TB_SETMAXTEXTROWS, 0, 0);
  plat::Size size;
  plat::send_message(tb, plat::TB_GETMAXSIZE, 0, plat::LParam(&size));
  int w = 0, h = 0;
  if (vertical) {
    w = size.cx + 4;
    h = height;
    plat::move_window(tb, 0, 0, w, h, true);
  } else {
    plat::send_message(tb, plat::TB_AUTOSIZE, 0, 0);
    plat::Rect pc;
    plat::get_client_rect(parent, &pc);
    w = pc.width();
    h = size.cy + 4;
    plat::move_window(tb, 0, 0, w, h, true);
  }
  if (out_width) *out_width = w;
  if (out_height) *out_height = h;
  if (out_toolbar) *out_toolbar = tb;
  return tb;
}

void toolbar_check(plat::Wnd toolbar, int command, int checked) {
  if (!toolbar) return;
  plat::send_message(toolbar, plat::TB_CHECKBUTTON, plat::WParam(command), checked ? 1 : 0);
}

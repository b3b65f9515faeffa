// Colour fields and the colour chooser, the open and save file dialogs with the folder
// each kind remembers for its next use, and the folder chooser. All of them are modal
// common dialogs owned by the command target's window.
#include "shell/framework/choosers.h"

#include <mutex>

#include "core/error.h"
#include "platform/ui/common_dlg.h"
#include "platform/ui/ui.h"
#include "shell/framework/winutil.h"

namespace {

// The remembered folders of open (0) and save (1) dialogs.
std::mutex g_folder_lock;
std::string g_folders[2];

const char* kDialogError = "ERRRREUR!";

void show_dialog_error() {
  if (plat::comm_dlg_extended_error() != 0) msg_box(kDialogError, "");
}

}  // namespace

// ---- Colours ------------------------------------------------------------------------------------
void color_field_init(color_field* field, plat::Wnd wnd, uint32_t color) {
  if (!field) return;
  field->wnd = wnd;
  color_field_set(field, color);
}

void color_field_set(color_field* field, uint32_t color) {
  if (!field) return;
  field->color = color & 0xFFFFFFu;
  plat::Brush old = field->brush;
  field->brush = plat::create_solid_brush(plat::Color(field->color));
  if (old) plat::delete_object(old);
  if (field->wnd) plat::invalidate_rect(field->wnd, nullptr, true);
}

void color_field_default(color_field* field) {
  color_field_set(field, plat::get_sys_color(plat::COLOR_BTNFACE));
}

void color_field_free(color_field* field) {
  if (!field || !field->brush) return;
  plat::delete_object(field->brush);
  field->brush = nullptr;
}

int choose_colour(uint8_t rgb[3]) {
  plat::ChooseColor cc;
  cc.owner = command_target_window();
  cc.rgb = plat::rgb(rgb[0], rgb[1], rgb[2]);
  cc.flags = plat::CC_RGBINIT | plat::CC_FULLOPEN;
  if (!plat::choose_color(&cc)) {
    show_dialog_error();
    return 0;
  }
  rgb[0] = uint8_t(plat::red_of(cc.rgb));
  rgb[1] = uint8_t(plat::green_of(cc.rgb));
  rgb[2] = uint8_t(plat::blue_of(cc.rgb));
  return 1;
}

intptr_t color_field_paint(const color_field* field, plat::Dc dc) {
  if (!field) return 0;
  plat::set_bk_color(dc, plat::Color(field->color));
  return reinterpret_cast<intptr_t>(field->brush);
}

int color_field_pick(color_field* field) {
  if (!field) return 0;
  uint8_t rgb[3] = {uint8_t(color_red(field->color)), uint8_t(color_green(field->color)),
                    uint8_t(color_blue(field->color))};
  if (!choose_colour(rgb)) return 0;
  color_field_set(field, plat::rgb(rgb[0], rgb[1], rgb[2]));
  return 1;
}

// ---- Files ---------------------------------------------------------------------------------------
// The text is copied under the lock into the calling thread's own string, so that a
// folder remembered meanwhile by another thread never frees what the caller reads.
const char* remembered_folder(int save) {
  thread_local std::string copy;
  std::lock_guard<std::mutex> lock(g_folder_lock);
  copy = g_folders[save ? 1 : 0];
  return copy.c_str();
}

void set_remembered_folder(int save, const char* folder) {
  std::lock_guard<std::mutex> lock(g_folder_lock);
  g_folders[save ? 1 : 0] = folder ? folder : "";
}

namespace {

// The record every file dialog starts from: its owner, filters, title, the filter it
// opens on and the remembered folder of its kind.
plat::OpenFileName file_record(plat::Wnd owner, const char* filter, const char* title, int filter_index,
                               int save) {
  plat::OpenFileName ofn;
  ofn.owner = owner;
  if (filter) ofn.filters = plat::parse_filter_list(filter);
  ofn.filter_index = filter_index;
  ofn.initial_dir = remembered_folder(save);
  ofn.title = title ? title : "";
  return ofn;
}

// Runs the open or save dialog; a failure that is not a Cancel is shown.
bool run_file_dialog(plat::OpenFileName* ofn, int save) {
  bool ok = save ? plat::get_save_file_name(ofn) : plat::get_open_file_name(ofn);
  if (!ok) show_dialog_error();
  return ok;
}

}  // namespace

int file_dialog(const char* filter, plat::Wnd owner, std::string* out, const char* title, int save,
                int* filter_index) {
  if (out) out->clear();  // the name starts empty: Cancel leaves it so
  plat::OpenFileName ofn = file_record(owner, filter, title, 1, save);
  ofn.flags = plat::OFN_EXPLORER | plat::OFN_FILEMUSTEXIST | plat::OFN_OVERWRITEPROMPT;
  if (!save) ofn.flags |= plat::OFN_ALLOWMULTISELECT;
  if (!run_file_dialog(&ofn, save)) return 0;
  if (out) *out = ofn.file;
  if (save && filter_index) *filter_index = ofn.filter_index - 1;
  return 1;
}

int file_dialog_single(std::string* out, const char* title, const char* filter, int* filter_index, int save) {
  if (out) out->clear();
  plat::OpenFileName ofn =
      file_record(command_target_window(), filter, title, filter_index ? *filter_index : 1, save);
  ofn.flags = plat::OFN_EXPLORER | (save ? plat::OFN_OVERWRITEPROMPT : plat::OFN_FILEMUSTEXIST);
  if (!run_file_dialog(&ofn, save)) return 0;
  if (out) *out = ofn.file;
  if (filter_index) *filter_index = ofn.filter_index - 1;
  set_remembered_folder(save, ofn.folder.c_str());
  return 1;
}

int file_dialog_multi(plat::Wnd owner, std::vector<std::string>* out, const char* title, const char* filter) {
  if (out) out->clear();
  plat::OpenFileName ofn = file_record(owner ? owner : command_target_window(), filter, title, 1, 0);
  ofn.flags = plat::OFN_EXPLORER | plat::OFN_FILEMUSTEXIST | plat::OFN_ALLOWMULTISELECT;
  if (!run_file_dialog(&ofn, 0)) return 0;
  if (out) *out = ofn.files;
  set_remembered_folder(0, ofn.folder.c_str());
  return ofn.files.empty() ? 0 : 1;
}

// ---- Folders -------------------------------------------------------------------------------------
int browse_for_folder_captioned(std::string* path, const char* title, const char* caption) {
  plat::BrowseInfo bi;
  bi.owner = command_target_window();
  bi.title = title ? title : "";
  bi.caption = caption ? caption : "";
  if (path) bi.initial_dir = *path;
  if (!plat::browse_for_folder(&bi)) return 0;
  if (path) *path = bi.path;
  return 1;
}

int browse_for_folder(std::string* path, const char* title) {
  return browse_for_folder_captioned(path, title, nullptr);
}

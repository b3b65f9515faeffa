// The viewer's windows: the main window with its toolbar and path field, the document
// window "fdocument" (painting, drag to pan, double-click zoom), the keys, the toolbar
// commands, rotation, mirroring, printing and dropped files. Contract in sb_shell.h.
//
// After every handled message an error code left set is shown on the error line and
// cleared (sb_after_message): the viewer never ends for an error a message raised.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/obj_list.h"
#include "core/tracelog.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_records.h"
#include "map/view_set.h"
#include "platform/sys/clock.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/dropfiles.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/ui.h"
#include "platform/ui/window.h"
#include "raster/icon_load.h"
#include "raster/raster_ops.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "shell/framework/winutil.h"
#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_info.h"
#include "sorbinel/sb_shell.h"

namespace {

constexpr int kDrawingObjectKind = 16;  // an object of this type makes the view not mirrorable
constexpr int kNoRotateKindA = 16;      // bitmaps of these kinds are not turned
constexpr int kNoRotateKindB = 18;
constexpr int kPathFieldMax = 1000;
constexpr int kPathFieldTop = 2;
constexpr int kPathFieldRightMargin = 4;
// The smallest window the viewer opens: the path field at least this wide beside the
// toolbar, and a document area at least this high.
constexpr int kMinPathFieldWidth = 200;
constexpr int kMinClientWidth = 320;
constexpr int kMinDocumentHeight = 160;
constexpr int kDocumentGap = 6;

plat::WndProc g_edit_previous = nullptr;  // the path field's class procedure
plat::WndProc g_doc_previous = nullptr;   // the document window's class procedure
int g_toolbar_width = 0;
int g_toolbar_height = 0;
bool g_dragging = false;  // the left button went down in the document window

const char* tr(const char* en, const char* fr) { return is_french() ? fr : en; }

bool key_held(int vk) { return (plat::get_key_state(vk) & 0x8000) != 0; }

int single_image() { return sb_filter()->single_image; }
bool slideshow() { return (sb().mode & kSbModeSlideshow) != 0; }

// The bitmap of the current page of the shown file (its displayed folder's image).
bitmap_t* current_page_bitmap(folder_t** folder_out) {
  fileatt_t* file = sb().current;
  if (folder_out) *folder_out = nullptr;
  if (!file) return nullptr;
  folder_t* it = nullptr;
  bitmap_t* first = nullptr;
  folder_t* first_folder = nullptr;
  const int page = sb_filter()->current_page;
  for (folder_t* f = file_get_first_folder(file, &it); f; f = file_next_folder(file, &it)) {
    obj_t* image = f->image;
    if (!image || image->cls != CLS_BITMAP) continue;
    bitmap_t* b = static_cast<bitmap_t*>(image);
    if (!first) first = b, first_folder = f;
    if (b->frame_number == page) {
      if (folder_out) *folder_out = f;
      return b;
    }
  }
  if (folder_out) *folder_out = first_folder;
  return first;
}

bool document_has_kind(int cls) {
  fileatt_t* file = sb().current;
  if (!file) return false;
  container_t* list = nullptr;
  file_get_objects(file, &list);
  return obj_list_has_class(list, cls) != 0;
}

// Replaces `old_image` by `image` in the file's content list and the folder.
void replace_image(folder_t* folder, bitmap_t* old_image, bitmap_t* image) {
  container_t* list = nullptr;
  file_get_objects(sb().current, &list);
  for (int i = 0; i < obj_list_count(list); ++i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    if (o == old_image) obj_list_set(list, i, image);
  }
  if (folder) folder->image = image;
  // A turned photo was still taken where it was.
  if (sb().placed_image == old_image) sb().placed_image = image;
  if (folder && folder->sot && folder->sot != list)
    for (int i = 0; i < obj_list_count(folder->sot); ++i) {
      obj_t* o = nullptr;
      obj_list_get(folder->sot, i, &o);
      if (o == old_image) obj_list_set(folder->sot, i, image);
    }
}

void refresh() {
  sb_page_label(sb().current);
  sb_refresh_status();
}

plat::Wnd toolbar_parent_edit(plat::Wnd parent) {
  const int x = g_toolbar_width + 4;
  plat::Rect client;
  plat::get_client_rect(parent, &client);
  const int width = client.width() - x - kPathFieldRightMargin;
  plat::Wnd edit = plat::create_window(plat::WS_EX_CLIENTEDGE, "EDIT", "",
                                       plat::WS_CHILD | plat::WS_VISIBLE | plat::ES_AUTOHSCROLL, x, kPathFieldTop,
                                       width > 10 ? width : 10, g_toolbar_height - 2 * kPathFieldTop, parent,
                                       SB_ID_PATH_FIELD);
  if (!edit) return nullptr;
  if (plat::Font f = ui_font()) plat::send_message(edit, plat::WM_SETFONT, plat::WParam(f), 0);
  g_edit_previous = plat::set_window_proc(edit, sb_title_edit_proc);
  return edit;
}

const toolbar_button kToolbar[] = {
    {0, 3, 1, "sb_previous.bmp", 0, "Fichier précédent (Maj Espace)", "Previous file (Shift Space)", SB_ID_PREVIOUS},
    {0, 3, 1, "sb_next.bmp", 0, "Fichier suivant (Espace)", "Next file (Space)", SB_ID_NEXT},
    {0, 2, 1, nullptr, 0, "", "", -1},
    {0, 3, 1, "sb_zoomin.bmp", 0, "Zoom + (F1)", "Zoom + (F1)", SB_ID_ZOOM_IN},
    {0, 3, 1, "sb_zoomout.bmp", 0, "Zoom - (F2)", "Zoom - (F2)", SB_ID_ZOOM_OUT},
    {0, 3, 1, "sb_actual.bmp", 0, "Taille réelle (F3)", "Actual size (F3)", SB_ID_ACTUAL_SIZE},
    {0, 3, 1, "sb_stored.bmp", 0, "Zoom mémorisé (F4)", "Stored zoom (F4)", SB_ID_STORED_ZOOM},
    {0, 3, 1, "sb_mirror.bmp", 0, "Miroir (F6)", "Mirror (F6)", SB_ID_MIRROR},
    {0, 3, 1, "sb_rotleft.bmp", 0, "Rotation anti-horaire (F7)", "Rotate anticlockwise (F7)",
     SB_ID_ROTATE_ANTICLOCKWISE},
    {0, 3, 1, "sb_rotright.bmp", 0, "Rotation horaire (F8)", "Rotate clockwise (F8)", SB_ID_ROTATE_CLOCKWISE},
    {0, 2, 1, nullptr, 0, "", "", -1},
    {0, 3, 1, "sb_slideback.bmp", 0, "Diaporama arrière", "Slideshow backwards", SB_ID_SLIDESHOW_BACKWARDS},
    {0, 3, 1, "sb_slidefwd.bmp", 0, "Diaporama avant (Ctrl Espace)", "Slideshow forwards (Ctrl Space)",
     SB_ID_SLIDESHOW_FORWARDS},
    {0, 3, 1, "sb_slower.bmp", 0, "Diaporama plus lent (+)", "Slower slideshow (+)", SB_ID_DELAY_LONGER},
    {0, 3, 1, "sb_faster.bmp", 0, "Diaporama plus rapide (-)", "Faster slideshow (-)", SB_ID_DELAY_SHORTER},
    {0, 2, 1, nullptr, 0, "", "", -1},
    {0, 3, 1, "sb_print.bmp", 0, "Imprimer (Ctrl P)", "Print (Ctrl P)", SB_ID_PRINT},
    {0, 3, 1, "sb_info.bmp", 0, "Informations (F12)", "Information (F12)", SB_ID_INFO},
    {0, 0, 0, nullptr, 0, nullptr, nullptr, 0},
};

// Keys shared by the main window and the path field.
bool function_key(unsigned vk) {
  switch (vk) {
    case plat::VK_F1: sb_on_command(SB_ID_ZOOM_IN); return true;
    case plat::VK_F2: sb_on_command(SB_ID_ZOOM_OUT); return true;
    case plat::VK_F3: sb_on_command(SB_ID_ACTUAL_SIZE); return true;
    case plat::VK_F4: sb_on_command(SB_ID_STORED_ZOOM); return true;
    case plat::VK_F5: sb_zoom_value(0.0); return true;
    case plat::VK_F6: sb_on_command(SB_ID_MIRROR); return true;
    case plat::VK_F7: sb_on_command(SB_ID_ROTATE_ANTICLOCKWISE); return true;
    case plat::VK_F8: sb_on_command(SB_ID_ROTATE_CLOCKWISE); return true;
    case plat::VK_F12: sb_on_command(SB_ID_INFO); return true;
    default: return false;
  }
}

void scroll(int bar, int code) {
  mapwin_scroll_cmd(sb().view, bar, code);
  refresh();
}

}  // namespace

// ---- Windows ------------------------------------------------------------------------------------
plat::Wnd sb_create_main_window(int width, int height) {
  sb_state& s = sb();
  plat::WndClass existing;
  if (!plat::get_class_info(kSbAppName, &existing)) {
    plat::WndClass cls;
    cls.style = plat::CS_DBLCLKS;
    cls.proc = sb_main_wndproc;
    cls.cursor = plat::load_cursor(plat::IDC_ARROW);
    cls.name = kSbAppName;
    if (!plat::register_class(cls)) {
      set_gblerr(ERR_OS);
      return nullptr;
    }
  }
  const plat::Rect wa = plat::get_work_area();
  if (width <= 0 || height <= 0) width = wa.width(), height = wa.height();
  plat::Wnd wnd = plat::create_window(plat::WS_EX_ACCEPTFILES, kSbAppName, sb_main_title().c_str(),
                                      plat::WS_OVERLAPPEDWINDOW | plat::WS_VISIBLE, wa.left, wa.top, width, height,
                                      nullptr, 0);
  if (!wnd) {
    set_gblerr(ERR_OS);
    return nullptr;
  }
  s.main = wnd;
  // The icon group "SORBV": the program's icon picture, large and small.
  raster_window_icons(wnd, "sorbinel.ico", "sorbinel-data/sorbinel.ico");
  mapwin_t* frame = nullptr;
  plat::Rect client;
  plat::get_client_rect(wnd, &client);
  attach_window_object(&frame, wnd, 0, 0, client.width(), client.height(), config_back_color(), 32, 0);
  s.frame = frame;
  return wnd;
}

int sb_create_toolbar() {
  sb_state& s = sb();
  int w = 0, h = 0;
  plat::Wnd tb = nullptr;
  create_toolbar(s.main, 0, 0, 0, &w, &h, kToolbar, &tb);
  if (!tb) return 0;
  s.toolbar = tb;
  plat::Rect r;
  plat::get_window_rect(tb, &r);
  g_toolbar_width = 0;
  // The buttons' extent: the right edge of the last button.
  const int count = int(plat::send_message(tb, plat::TB_BUTTONCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    plat::Rect b;
    if (plat::send_message(tb, plat::TB_GETITEMRECT, plat::WParam(i), plat::LParam(&b)) && b.right > g_toolbar_width)
      g_toolbar_width = b.right;
  }
  g_toolbar_height = h > 0 ? h : r.height();
  s.path_field = toolbar_parent_edit(s.main);
  return 1;
}

int sb_toolbar_height() { return sb().toolbar ? g_toolbar_height : 0; }

void sb_min_client_size(int* width, int* height) {
  // The whole toolbar and a path field that shows a path of some length, or, without the
  // toolbar, room for the status texts; below, room for a small image to sit in.
  const int bar = sb().toolbar ? g_toolbar_width + 4 + kMinPathFieldWidth + kPathFieldRightMargin : 0;
  *width = bar > kMinClientWidth ? bar : kMinClientWidth;
  *height = sb_toolbar_height() + kDocumentGap + kMinDocumentHeight;
}

int sb_create_document_window() {
  sb_state& s = sb();
  set_map_subclass_routine(sb_paint);
  mapwin_t* view = nullptr;
  create_scrolled_child("fdocument", s.frame, &view, 1, 0, sb_toolbar_height() + kDocumentGap);
  if (!view || get_gblerr() != 0) return 0;
  s.view = view;
  s.document_window = window_object_wnd(view);
  g_doc_previous = map_subclass_previous();
  set_current_mapwin(view);
  return 1;
}

void sb_resize_children() {
  sb_state& s = sb();
  if (!s.main) return;
  plat::Rect client;
  plat::get_client_rect(s.main, &client);
  if (s.frame && s.view) {
    main_resize_children(s.frame, s.view, client.width(), client.height());
    mapwin_set_size(s.view, s.view->width, s.view->height);
  }
  if (s.path_field) {
    const int x = g_toolbar_width + 4;
    const int width = client.width() - x - kPathFieldRightMargin;
    plat::move_window(s.path_field, x, kPathFieldTop, width > 10 ? width : 10,
                      g_toolbar_height - 2 * kPathFieldTop, true);
  }
}

void sb_after_message() {
  const int err = get_gblerr();
  if (err == 0) return;
  const char* title = get_error_title(err);
  sb_show_load_error(nullptr, nullptr, title && *title ? title : nullptr);
}

plat::LResult sb_main_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  plat::LResult result = 0;
  switch (msg) {
    case plat::WM_KEYDOWN:
      sb_on_key(unsigned(wparam), key_held(plat::VK_SHIFT), key_held(plat::VK_CONTROL));
      break;
    case plat::WM_KEYUP:
      break;
    case plat::WM_COMMAND:
      sb_on_command(plat::loword(wparam));
      break;
    case plat::WM_TIMER:
    case plat::WM_USER:
      task_dispatch_message(wparam, lparam);
      break;
    case plat::WM_SIZE:
      if (wparam == plat::SIZE_RESTORED || wparam == plat::SIZE_MAXIMIZED) sb_resize_children();
      break;
    case plat::WM_KILLFOCUS:
      restore_focus();
      break;
    case plat::WM_DROPFILES: {
      plat::Drop drop = reinterpret_cast<plat::Drop>(wparam);
      const std::vector<std::string> paths = dropped_paths(drop);
      plat::drag_finish(drop);
      std::vector<const char*> p;
      for (const std::string& s : paths) p.push_back(s.c_str());
      sb_on_drop_files(p.data(), int(p.size()));
      break;
    }
    case plat::WM_CLOSE:
    case plat::WM_DESTROY:
      // Only the program's own main window ends it (not one a reset is taking down).
      if (wnd == sb().main) sb_app_exit(0);
      return plat::def_window_proc(wnd, msg, wparam, lparam);
    default:
      return plat::def_window_proc(wnd, msg, wparam, lparam);
  }
  sb_after_message();
  return result;
}

plat::LResult sb_paint(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  bool& dragging = g_dragging;
  if (msg == plat::WM_RBUTTONDOWN) return 0;
  if (msg == plat::WM_PAINT) {
    plat::Region rgn;
    const int type = plat::get_update_rgn(wnd, &rgn, false);
    plat::LResult r = plat::call_window_proc(g_doc_previous ? g_doc_previous : plat::def_window_proc, wnd, msg,
                                             wparam, lparam);
    if ((type == plat::SIMPLEREGION || type == plat::COMPLEXREGION) && sb().view) region_rects(sb().view, rgn);
    return r;
  }
  if (msg == plat::WM_KEYDOWN || msg == plat::WM_KEYUP || msg == plat::WM_COMMAND)
    return sb_main_wndproc(sb().main, msg, wparam, lparam);
  plat::LResult r =
      plat::call_window_proc(g_doc_previous ? g_doc_previous : plat::def_window_proc, wnd, msg, wparam, lparam);
  mapwin_t* view = sb().view;
  switch (msg) {
    case plat::WM_LBUTTONDOWN:
      plat::set_focus(wnd);
      dragging = true;
      mapwin_scroll_to(view, plat::x_of_lparam(lparam), plat::y_of_lparam(lparam), 0);
      break;
    case plat::WM_MOUSEMOVE: {
      if (!dragging || !(wparam & plat::MK_LBUTTON)) break;
      plat::Msg later;
      // A further move already waiting makes this one pointless.
      if (plat::peek_message(&later, wnd, plat::WM_MOUSEMOVE, plat::WM_MOUSEMOVE, plat::PM_NOREMOVE)) break;
      mapwin_scroll_to(view, plat::x_of_lparam(lparam), plat::y_of_lparam(lparam), 1);
      break;
    }
    case plat::WM_LBUTTONUP:
      dragging = false;
      break;
    case plat::WM_LBUTTONDBLCLK:
    case plat::WM_RBUTTONDBLCLK:
      view_zoom_at(view, plat::x_of_lparam(lparam), plat::y_of_lparam(lparam),
                   msg == plat::WM_LBUTTONDBLCLK ? 2.0 : 0.5);
      mapwin_request_redraw(view);
      break;
    case plat::WM_SIZE:
    case plat::WM_SETFOCUS:
    case plat::WM_TIMER:
    case plat::WM_USER:
    case plat::WM_DROPFILES:
      return sb_main_wndproc(sb().main, msg, wparam, lparam);
    default:
      return r;
  }
  sb_after_message();
  return r;
}

plat::LResult sb_title_edit_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  if (msg == plat::WM_KEYDOWN) {
    const unsigned vk = unsigned(wparam);
    if (vk == plat::VK_RETURN) {
      char text[kPathFieldMax + 1] = {};
      plat::get_window_text(wnd, text, sizeof text);
      // The queue is taken by the next step, which runs on this thread after this
      // message: a path typed while earlier ones wait simply joins them.
      if (text[0] && sb_queue_path(text) == 0) post_command_simple(kSbSlotNextFile);
      sb_after_message();
      return 0;
    }
    if (vk == plat::VK_ESCAPE) {
      if (sb_browse_count() == 0) sb_app_exit(0);
      return 0;
    }
    if (function_key(vk)) {
      sb_after_message();
      return 0;
    }
  }
  plat::LResult r =
      plat::call_window_proc(g_edit_previous ? g_edit_previous : plat::def_window_proc, wnd, msg, wparam, lparam);
  // A click in the field hands the keys back to the document window (typing goes to
  // the field once it has the focus).
  if (msg == plat::WM_LBUTTONDOWN && sb().document_window) plat::set_focus(sb().document_window);
  return r;
}

// ---- Keys and commands ------------------------------------------------------------------------------
void sb_on_key(unsigned vk, int shift, int ctrl) {
  switch (vk) {
    case plat::VK_ESCAPE:
      sb_app_exit(0);
    case plat::VK_SPACE:
      sb_next_file(shift, ctrl);
      return;
    case plat::VK_UP: scroll(1, 1); return;
    case plat::VK_DOWN: scroll(1, 2); return;
    case plat::VK_PRIOR: scroll(1, 5); return;
    case plat::VK_NEXT: scroll(1, 6); return;
    case plat::VK_HOME: scroll(1, 9); return;
    case plat::VK_END: scroll(1, 10); return;
    case plat::VK_LEFT: scroll(2, 3); return;
    case plat::VK_RIGHT: scroll(2, 4); return;
    case plat::VK_DELETE:
      sb_delete_file();
      return;
    case 'P':
      if (ctrl && !slideshow()) sb_print();
      return;
    case plat::VK_ADD:
      if (slideshow())
        sb_slideshow_delay_step(1);
      else
        sb_zoom_by(kSbZoomIn);
      return;
    case plat::VK_SUBTRACT:
      if (slideshow())
        sb_slideshow_delay_step(-1);
      else
        sb_zoom_by(kSbZoomOut);
      return;
    default:
      function_key(vk);
      return;
  }
}

void sb_on_command(unsigned id) {
  sb_file_filter_t* f = sb_filter();
  switch (id) {
    case SB_ID_PRINT:
      if (!slideshow()) sb_print();
      break;
    case SB_ID_MIRROR:
      sb_mirror();
      break;
    case SB_ID_ROTATE_ANTICLOCKWISE:
      if (single_image()) post_command(kSbSlotRotate, 0, kSbRotateAnticlockwise);
      break;
    case SB_ID_ROTATE_CLOCKWISE:
      if (single_image()) post_command(kSbSlotRotate, 0, kSbRotateClockwise);
      break;
    case SB_ID_ACTUAL_SIZE:
      sb_zoom_value(1.0);
      if (f->page_count > f->first_page) {
        // Pages one below the other: the current page comes into view.
        if (sb_pages_below(sb().current)) sb_scroll_to_page(sb().current, f->current_page);
        sb_page_label(sb().current);
      }
      break;
    case SB_ID_ZOOM_IN:
      sb_zoom_by(kSbZoomIn);
      break;
    case SB_ID_ZOOM_OUT:
      sb_zoom_by(kSbZoomOut);
      break;
    case SB_ID_STORED_ZOOM:
      sb_zoom_value(f->stored_zoom);
      break;
    case SB_ID_INFO:
      sb_show_file_info();
      break;
    case SB_ID_NEXT:
      sb_next_file(0, 0);
      break;
    case SB_ID_PREVIOUS:
      sb_next_file(1, 0);
      break;
    case SB_ID_DELAY_LONGER:
      sb_slideshow_delay_step(1);
      break;
    case SB_ID_DELAY_SHORTER:
      sb_slideshow_delay_step(-1);
      break;
    case SB_ID_SLIDESHOW_BACKWARDS:
      sb_slideshow_toggle(-1);
      break;
    case SB_ID_SLIDESHOW_FORWARDS:
      sb_slideshow_toggle(1);
      break;
    default:
      break;
  }
}

void sb_mirror() {
  if (document_has_kind(kDrawingObjectKind)) return;
  if (!sb().view) return;
  sb().mirror = -sb().mirror;
  sb_zoom_value(sb_filter()->stored_zoom);
  sb_page_label(sb().current);
  post_command_simple(kSbSlotRefresh);
}

void sb_print() {
  mapwin_t* view = sb().view;
  char text[48];
  std::snprintf(text, sizeof text, "%ld %d", long(view ? view->id : 0), int(single_image()));
  post_command(8, 0, text);
}

void sb_rotate(const char* text) {
  if (!single_image()) return;
  folder_t* folder = nullptr;
  bitmap_t* image = current_page_bitmap(&folder);
  if (!image || image->variant == kNoRotateKindA || image->variant == kNoRotateKindB) return;
  const int direction = text && std::strcmp(text, kSbRotateAnticlockwise) == 0 ? 1 : 2;
  bitmap_t* turned = nullptr;
  image_rotate(image, direction, &turned);
  if (!turned || get_gblerr() != 0) {
    // A failed turn leaves the shown image as it was; the error goes to the error line.
    log_error_line(tr("Internal Error.", "Erreur interne."));
    if (turned) free_obj(&turned);
    return;
  }
  replace_image(folder, image, turned);
  // The old document links the unturned image: it goes before the image does.
  sb_document_show_file(sb().current);
  free_obj(&image);
  sb_zoom_value(sb_filter()->stored_zoom);
  sb_redraw_now();
}

void sb_on_drop_files(const char* const* paths, int count) {
  // Dropped files arrive on the thread that prepares a walk, never during one: they join
  // the queue, which the next step takes.
  for (int i = count - 1; i >= 0; --i)
    if (sb_queue_path(paths[i]) != 0) break;
  post_command_simple(kSbSlotNextFile);
}

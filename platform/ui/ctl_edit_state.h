// Internal to the edit control: the state an edit keeps (reached through its first
// per-window value) and the routines its parts share.
//   ctl_edit.cpp         the window procedure and the edit messages
//   ctl_edit_layout.cpp  measuring, lines (with word wrap), positions, scrolling
//   ctl_edit_input.cpp   changes of the text, keys, characters, mouse
//   ctl_edit_paint.cpp   painting
// Positions are UTF-16 indices into the text; a surrogate pair is stepped over whole.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_state.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

// One line as shown: text[start, start + length), its line break left out.
struct EditLine {
  int start = 0;
  int length = 0;
};

// Owns its measuring context, which goes with it.
struct EditData {
  EditData() = default;
  EditData(const EditData&) = delete;
  EditData& operator=(const EditData&) = delete;
  ~EditData();

  std::u16string text;
  int anchor = 0, caret = 0;  // the selection runs between them; the caret is at `caret`
  int limit = kEditDefaultLimit;
  bool modified = false;
  bool focused = false;
  bool tracking = false;  // selecting with the mouse (captured)
  char16_t password = 0;  // shown in place of every character when set
  Font font = nullptr;    // WM_SETFONT's font; null: the interface font
  Dc measure = nullptr;   // a private memory context with the font selected
  std::unordered_map<char32_t, int> widths;
  int line_height = 13;
  std::vector<EditLine> lines;
  bool layout_valid = false;
  int first_line = 0;  // first line shown (multi-line)
  int x_offset = 0;    // pixels scrolled sideways
  int goal_x = -1;     // the x that Up and Down keep, -1 when none
  // One step of undo: the text and caret before the last change.
  std::u16string undo_text;
  int undo_caret = 0;
  bool can_undo = false;
  int typing_end = -1;  // where the last typed character went, to undo a typed run at once
};

inline EditData* edit_data(Wnd wnd) { return control_state_of<EditData>(wnd); }
inline uint32_t edit_style(Wnd wnd) { return uint32_t(get_window_long(wnd, GWL_STYLE)); }
inline bool is_multiline(Wnd wnd) { return edit_style(wnd) & ES_MULTILINE; }
inline int sel_low(const EditData& d) { return d.anchor < d.caret ? d.anchor : d.caret; }
inline int sel_high(const EditData& d) { return d.anchor < d.caret ? d.caret : d.anchor; }

// ---- Layout (ctl_edit_layout.cpp) ------------------------------------------------------------
void edit_set_font(Wnd wnd, EditData& d, Font font);
// The area text is drawn in (client coordinates).
Rect edit_format_rect(Wnd wnd, const EditData& d);
// Makes the lines again when the text, the font or the size changed.
void edit_invalidate_layout(EditData& d);
void edit_ensure_layout(Wnd wnd, EditData& d);
int edit_char_width(EditData& d, int pos);  // width of the character starting at pos
int edit_line_width(EditData& d, const EditLine& line);
int edit_line_of(Wnd wnd, EditData& d, int pos);
// The x (format rectangle coordinates, before scrolling) where a line's text starts,
// by the alignment; and of a position on its line.
int edit_line_left(Wnd wnd, EditData& d, int line);
int edit_x_of(Wnd wnd, EditData& d, int pos);
// The position nearest a client point.
int edit_pos_from_point(Wnd wnd, EditData& d, Point client);
// The position nearest an x (format coordinates) on a line.
int edit_pos_on_line(Wnd wnd, EditData& d, int line, int x);
int edit_visible_lines(Wnd wnd, const EditData& d);
// Scrolls so that the caret shows; updates the scroll bar of a multi-line edit.
void edit_scroll_to_caret(Wnd wnd, EditData& d);
void edit_update_scroll_bar(Wnd wnd, EditData& d);
// Scrolls a multi-line edit by lines (clamped); returns the lines moved.
int edit_scroll_lines(Wnd wnd, EditData& d, int delta);
int edit_prev_pos(const EditData& d, int pos);
int edit_next_pos(const EditData& d, int pos);
int edit_word_left(const EditData& d, int pos);
int edit_word_right(const EditData& d, int pos);

// ---- Changes and input (ctl_edit_input.cpp) ---------------------------------------------------
// Replaces the selection by `insert` as far as the limit lets it, sets the modified
// flag and raises EN_UPDATE, EN_CHANGE (and EN_MAXTEXT when cut). `typed`: one typed
// character, which joins the typed run for undo. Returns false when nothing changed.
bool edit_replace_selection(Wnd wnd, EditData& d, std::u16string insert, bool typed);
// Sets the whole text as code does: no limit, modified flag cleared, caret at the start,
// EN_UPDATE and EN_CHANGE raised.
void edit_set_text(Wnd wnd, EditData& d, const std::u16string& text);
bool edit_undo(Wnd wnd, EditData& d);
void edit_set_selection(Wnd wnd, EditData& d, int anchor, int caret);
LResult edit_on_char(Wnd wnd, EditData& d, char16_t ch);
LResult edit_on_key_down(Wnd wnd, EditData& d, int vk);
LResult edit_on_mouse(Wnd wnd, EditData& d, uint32_t msg, WParam wp, LParam lp);

// ---- Painting (ctl_edit_paint.cpp) -----------------------------------------------------------
void edit_paint(Wnd wnd, EditData& d);

}  // namespace plat::ui_detail

// Internal to the window system: the records behind the handles and the one state
// record every part of the window system shares, with the helpers they all use.
//
// Locking: one recursive mutex (Guard) covers the whole state; it is held only for
// short reads and writes and never while a window procedure, a hook or the presenter
// runs (call_proc checks this). Each top-level surface has its own lock (SurfaceBox),
// held by a device context from get_dc/begin_paint until it is released; the order is
// always surface lock first, state lock second (the box's own small mutex is a leaf).
//
// A worker thread that holds a surface and hands a call to the user-interface thread
// (send_message, or any call that runs a window procedure) lends the surface to it until
// the call returns: the worker cannot draw meanwhile, so the user-interface thread may,
// and a handler that paints the very window the worker draws into never waits for the
// thread that waits for it. While waiting for a surface that is not lent, the
// user-interface thread keeps delivering sent messages; the loop neither paints nor
// copies out a surface that a worker is drawing into, so it stays responsive (the
// worker's release_dc wakes it for them).
//
// Records are held by shared_ptr: code that calls out (to a procedure) and then looks at
// the record again keeps it alive, and checks `destroyed` or looks the handle up anew.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/accel.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/presenter.h"
#include "platform/ui/types.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

// ---- Records ------------------------------------------------------------------------------
struct ClassRec {
  std::string name;
  WndClass cls;  // name pointer cleared
  uint16_t atom = 0;
};

struct BarState {
  int min = 0, max = 100;
  unsigned page = 0;
  int pos = 0, track = 0;
  bool disabled = false;
};

// A top-level window's pixels and the lock over them (see the locking note above).
struct SurfaceBox {
  std::mutex m;  // guards the fields below, never held while waiting for anything else
  std::condition_variable cv;
  std::thread::id owner;  // the thread holding the surface (depth > 0)
  int depth = 0;          // nested holds of the owner
  int lent = 0;           // holds the user-interface thread took from a waiting owner
  Surface surface;
};

struct WndRec {
  Wnd handle = nullptr;
  std::shared_ptr<ClassRec> cls;
  WndProc proc = nullptr;
  uint32_t style = 0, ex_style = 0;
  uintptr_t id = 0;
  intptr_t user_data = 0;
  std::vector<uint8_t> extra;
  Wnd parent = nullptr;  // children only
  Wnd owner = nullptr;   // top-level windows only
  std::vector<Wnd> children;  // first created first (top of the stacking order)
  std::u16string text;
  Surface icons[2];  // top-level: small and large icon (empty: none)
  Rect rect;         // screen (top-level) or parent client coordinates (child)
  Rect normal_rect;  // the rectangle to restore after minimise / maximise
  bool minimized = false, maximized = false;
  Menu menu = nullptr;
  BarState bars[3];
  Region update;  // client coordinates
  bool erase_pending = false;
  bool nc_dirty = true;
  std::shared_ptr<SurfaceBox> surface;  // top-level windows only
  Rect surface_dirty;                   // top-level: changed since the presenter was told
  bool destroying = false, destroyed = false;
  bool frame_told = false;    // the manager reported this window's frame ...
  FrameExtents frame_extents;  // ... as thick as this (else UiState::usual_frame)
  Size sent_size{-1, -1};  // client size last told with WM_SIZE
  Point sent_origin{-(1 << 30), -(1 << 30)};  // client origin last told with WM_MOVE
};

struct SentItem {
  std::function<LResult()> fn;
  std::thread::id sender;  // blocked until `done`
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  LResult result = 0;
};

struct TimerRec {
  Wnd wnd = nullptr;
  uintptr_t id = 0;
  int64_t interval = 0;
  int64_t due = 0;
  TimerProc proc = nullptr;
};

struct MenuItem {
  unsigned flags = 0;  // MF_* state bits kept: GRAYED, DISABLED, CHECKED, POPUP, SEPARATOR, HILITE...
  uintptr_t id = 0;
  Menu popup = nullptr;
  std::u16string text;
};

struct MenuRec {
  std::vector<MenuItem> items;
  Wnd owner_window = nullptr;  // the window whose bar this is
};

struct DropRec {
  std::vector<std::string> files;
  Point pt;
};

struct DcEntry {
  Wnd wnd = nullptr;
  std::shared_ptr<SurfaceBox> box;
  Rect bounds;  // area of the top-level surface the context may draw in
  Region clip;  // the same, as a region (surface coordinates)
  Point origin;
};

// Scroll-bar dragging in progress (one at a time).
struct BarDrag {
  Wnd wnd = nullptr;
  int bar = -1;
  int grab = 0;  // distance from the thumb's start to the point where it was grabbed
};

// Wakes the user-interface thread's wait (posts, sends, invalidations, timer changes).
struct Waker {
  std::mutex m;
  std::condition_variable cv;
  uint64_t epoch = 0;
  uint64_t current();
  void notify();
  // Waits until the epoch differs from `seen` or `real_ms` pass (negative: no limit).
  void wait(uint64_t seen, int64_t real_ms);
};

struct UiState {
  std::recursive_mutex mu;
  Waker waker;
  std::atomic<bool> has_ui{false};
  std::thread::id ui_thread;
  uintptr_t serial = 0;

  std::unordered_map<uintptr_t, std::shared_ptr<WndRec>> wnds;
  std::vector<Wnd> tops;  // creation order
  std::vector<std::shared_ptr<ClassRec>> classes;
  uint16_t next_atom = 0xC000;

  std::deque<Msg> posted;
  bool quit = false;
  int quit_code = 0;
  std::deque<std::shared_ptr<SentItem>> inbox;

  std::vector<TimerRec> timers;
  uintptr_t next_thread_timer = 1;

  Wnd focus = nullptr, active = nullptr, capture = nullptr;
  Cursor cursor = nullptr;
  Point cursor_pos;
  Point message_pos;          // cursor position when the message being handled was queued
  uint32_t message_time = 0;  // and the clock reading then
  std::array<uint8_t, 256> key_sync{}, key_async{};
  bool alt_alone = false;  // as of the message being handled: Alt down, nothing pressed since
  BarDrag drag;

  std::unordered_map<uintptr_t, std::unique_ptr<MenuRec>> menus;
  std::unordered_map<uintptr_t, std::vector<AccelEntry>> accels;
  std::unordered_map<uintptr_t, DropRec> drops;
  std::unordered_map<Dc, DcEntry> dcs;
  std::unordered_map<uintptr_t, intptr_t> modal_results;  // end_modal codes by window

  // Any thread may wake the presenter; wake_mu keeps it installed while one does, so
  // that set_presenter(nullptr) returning means no thread still calls into it.
  std::atomic<Presenter*> presenter{nullptr};
  std::mutex wake_mu;
  Cursor reported_cursor = nullptr;  // the cursor the presenter was last told of
  Rect screen{0, 0, 1024, 768};
  Rect work{0, 0, 1024, 768};
  bool frames_by_manager = false;  // see presenter.h
  FrameExtents usual_frame;

  std::function<bool(Wnd)> modal_idle_hook;
  std::function<unsigned(Menu, Wnd)> popup_chooser;
  std::function<void(const MessageBoxInfo&)> message_box_hook;
};

UiState& S();

// The state lock, counted per thread so that call_proc can check it is not held.
class Guard {
 public:
  Guard();
  ~Guard();
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
};
bool lock_held_here();

// ---- Handles ------------------------------------------------------------------------------
uintptr_t new_serial();  // distinct, never reused, never 0
inline uintptr_t key_of(const void* h) { return reinterpret_cast<uintptr_t>(h); }
template <class H>
H handle_of(uintptr_t v) {
  return reinterpret_cast<H>(v);
}
// Lookups; the lock must be held. Null when the handle is not a live window.
WndRec* find(Wnd wnd);
std::shared_ptr<WndRec> ref(Wnd wnd);  // takes the lock itself
MenuRec* find_menu(Menu menu);

std::shared_ptr<ClassRec> class_by_name(const char* name);  // takes the lock itself

// ---- Threads and delivery -------------------------------------------------------------------
bool is_ui_thread();
// Runs fn on the user-interface thread (at once when this is it, or when there is none)
// and returns its result.
LResult run_on_ui(std::function<LResult()> fn);
// Delivers the work other threads handed over (on the user-interface thread only; a
// no-op elsewhere); true when there was some.
bool service_sends();
void wake_ui();
// Installs the presenter (null: none) so that no wake() is still running into the old one.
void install_presenter(Presenter* p);
// On the user-interface thread: true when `id` is blocked waiting for a call this
// thread is running now (so whatever `id` holds is lent to this thread meanwhile).
bool waiting_on_this_thread(std::thread::id id);
// Calls a window's procedure (user-interface thread, state lock not held).
LResult call_proc(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam);
// Queues a message (lock held or not); false for a missing window.
bool enqueue(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam);

// ---- Geometry (lock held) --------------------------------------------------------------------
struct NcLayout {
  Rect client;  // window coordinates
  Rect caption, close_box, menu_bar, vbar, hbar, size_box;  // window coordinates, empty if none
  int frame = 0;  // outer frame thickness
  int edge = 0;   // client edge thickness
  Rect edge_rect;  // outer rectangle of the client edge (window coordinates)
};
constexpr int kCaptionHeight = 20;
constexpr int kMenuBarHeight = 20;
constexpr int kScrollSize = 16;
NcLayout nc_layout(const WndRec& w);
// The window manager's frame around a top-level window with a caption while frames are
// the manager's; false when the window draws its own frame.
bool manager_frame(const WndRec& w, FrameExtents* out);
int frame_thickness(uint32_t style, uint32_t ex_style);
int edge_thickness(uint32_t ex_style);
bool is_top(const WndRec& w);
WndRec* top_of(WndRec* w);
// Top-left corner of the window inside its top-level window (window coordinates of the
// top-level window = surface coordinates).
Point window_origin_in_top(const WndRec& w);
Point client_origin_in_top(const WndRec& w);
Point client_origin_on_screen(const WndRec& w);
Rect window_rect_on_screen(const WndRec& w);
// Shown, with every ancestor shown.
bool visible_chain(const WndRec& w);
bool enabled_chain(const WndRec& w);
// Where the window may draw in its top-level surface: its client area (or whole window
// with `whole`), clipped to the ancestors' client areas, minus its visible children
// when it has WS_CLIPCHILDREN; empty for a hidden window.
Region visible_region(const WndRec& w, bool whole);
void add_surface_dirty(WndRec* top, const Rect& r);
// The window under a screen point among `wnd` (which covers it) and its descendants, and
// its WM_NCHITTEST answer in *hit (when given); null when every one of them answers
// HTTRANSPARENT. Runs window procedures: no lock held.
Wnd window_at(Wnd wnd, Point screen, int* hit);

// ---- Placement (user-interface thread, no lock held) ------------------------------------
// Gives the window a new rectangle: repaints what it uncovers and what it shows,
// resizes a top-level surface, tells the presenter, then sends WM_SIZE / WM_MOVE.
void apply_window_rect(Wnd wnd, const Rect& r, unsigned size_kind);
// Sends WM_SIZE when the client size differs from the one last told (or `force_size`)
// and WM_MOVE when the client origin does.
void sync_geometry_messages(Wnd wnd, unsigned size_kind, bool force_size);

// ---- Painting helpers ---------------------------------------------------------------------------
// Invalidates (lock held): adds the region (client coordinates) to the update region
// and, for a window without WS_CLIPCHILDREN, to the children under it.
void invalidate_locked(WndRec* w, const Region& rgn, bool erase);
// The same for the children under a region of w's client area only.
void invalidate_children_locked(WndRec* w, const Region& rgn, bool erase);
// Locks a top-level surface: on the user-interface thread while delivering sends, and
// at once when its holder is waiting for the call the user-interface thread runs.
// Never with the state lock held.
void lock_surface(SurfaceBox& box);
// The same without waiting; false when another thread draws into the surface.
bool try_lock_surface(SurfaceBox& box);
void unlock_surface(SurfaceBox& box);
// True when another thread holds the surface and is not waiting for the calling thread.
bool surface_busy(SurfaceBox& box);
// Surface holds the calling thread has on loan now.
int lent_holds_here();
// Redraws the frame, caption, menu bar and scroll bars of a window (no lock held). On
// the user-interface thread, when another thread holds the surface, it is left for the
// window's next WM_PAINT instead; draw_nonclient_now with `may_wait` waits for it.
void redraw_nonclient(Wnd wnd);
void draw_nonclient_now(Wnd wnd, bool may_wait);
// Resizes a top-level window's surface to its window size.
void resize_surface(Wnd top);
// Tells the presenter about changed surface areas.
void flush_presenter();
// Draws the window's frame again when it was marked for it (before WM_PAINT).
void paint_prepare(Wnd wnd);
void notify_presenter_moved(Wnd top);

// ---- Text --------------------------------------------------------------------------------
std::u16string utf8_to_utf16(const char* s);
std::string utf16_to_utf8(const std::u16string& s);
bool same_ascii_ci(const std::string& a, const char* b);

// ---- Parts that other parts call --------------------------------------------------------
void timers_forget_window(Wnd wnd);  // lock held
bool take_due_timer(Wnd filter, bool remove, Msg* out);  // lock held
TimerProc timer_proc_of(Wnd wnd, uintptr_t id);          // lock held
// The first visible window (parents before children, for the filter window and its
// descendants or any) with a non-empty update region. Lock held.
Wnd find_paint_window(Wnd filter);
// The character a key types with the given modifiers (0: none).
char16_t char_for_key(int vk, bool shift, bool caps, bool ctrl);
void capture_forget(Wnd wnd);        // lock held: no message
void report_cursor();                // tells the presenter of a new cursor (UI thread)
void update_key_state_on_removal(const Msg& m);  // lock held
// Key presses and releases (WM_KEYDOWN, WM_KEYUP and their system forms).
constexpr bool is_key_message(uint32_t msg) {
  return msg == WM_KEYDOWN || msg == WM_KEYUP || msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP;
}
// The window keys go to now: the focus window, else the active window; null when
// neither is there or it is disabled.
Wnd keyboard_target();
void update_sync_key(int vk, bool down);          // lock held
void update_async_key(int vk, bool down);         // lock held
// Whether Alt went down, as of the message being handled, with no other key or button
// pressed since (its release then works the menu bar).
bool alt_pressed_alone();
bool bar_click(Wnd wnd, int hit, Point window_pt);  // a press on a scroll bar
void bar_drag_move(Point window_pt);
void bar_drag_end();
bool menu_bar_click(Wnd wnd, Point window_pt);  // a press on the menu bar (window coordinates)
void menus_forget_window(WndRec* w);  // destroys the window's menu; lock held
// The items of a window's menu bar laid out in the bar (window coordinates). Lock held.
struct BarItem {
  Rect r;
  std::u16string text;
  unsigned flags = 0;
  int pos = -1;  // position in the menu
};
std::vector<BarItem> menu_bar_items(const WndRec& w, const Rect& bar);
void draw_menu_bar_items(Dc dc, const Rect& bar, const std::vector<BarItem>& items);
// Shows a popup menu as a window at a screen point and runs it; the command chosen or 0.
unsigned show_popup_window(Menu popup, Wnd owner, Point screen);
// The thumb of a bar whose track is `len` pixels long: false when it has none.
bool bar_thumb(const BarState& s, int len, int* offset, int* size);
void draw_scroll_bar_into(Dc dc, const BarState& s, const Rect& r, bool vertical);
int hit_test(const WndRec& w, Point window_pt);  // lock held
// The default background of a class (brush or system colour) filled into a context.
bool erase_background(Wnd wnd, Dc dc);

}  // namespace plat::ui_detail

// Types of the window system: handles, message parameters, window and timer
// procedures and the message record.
//
// Handles (windows, menus, accelerator tables, cursors, drop handles) are opaque
// numbers that look like pointers so that the system's records can store them in
// their 8-byte handle fields. They are never dereferenced: every call looks a
// handle up in its table first, so a stale or made-up handle only makes the call
// fail, never crash.
#pragma once
#include <cstdint>

#include "platform/gdi/geometry.h"

namespace plat {

struct WndTag;
struct MenuTag;
struct AccelTag;
struct CursorTag;
struct DropTag;
using Wnd = WndTag*;        // a window
using Menu = MenuTag*;      // a menu bar or popup menu
using Accel = AccelTag*;    // an accelerator table
using Cursor = CursorTag*;  // a mouse cursor shape
using Drop = DropTag*;      // the files of one drop (WM_DROPFILES)

using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;

using WndProc = LResult (*)(Wnd wnd, uint32_t msg, WParam wparam, LParam lparam);
// Called for WM_TIMER in place of the window procedure when a timer has one:
// (window, WM_TIMER, timer id, clock reading in ms).
using TimerProc = void (*)(Wnd wnd, uint32_t msg, uintptr_t id, uint32_t time);

struct Msg {
  Wnd wnd = nullptr;
  uint32_t message = 0;
  WParam wparam = 0;
  LParam lparam = 0;
  uint32_t time = 0;  // clock reading (ms) when the message was queued
  Point pt;           // cursor position (screen) when the message was queued
};

// Packing of two 16-bit values, as the messages carry them.
constexpr LParam make_lparam(int lo, int hi) {
  return LParam(uint32_t((uint32_t(lo) & 0xFFFFu) | ((uint32_t(hi) & 0xFFFFu) << 16)));
}
constexpr WParam make_wparam(int lo, int hi) {
  return WParam(uint32_t((uint32_t(lo) & 0xFFFFu) | ((uint32_t(hi) & 0xFFFFu) << 16)));
}
constexpr unsigned loword(uintptr_t v) { return unsigned(v & 0xFFFFu); }
constexpr unsigned hiword(uintptr_t v) { return unsigned((v >> 16) & 0xFFFFu); }
// Signed coordinates of a mouse message's lParam.
constexpr int x_of_lparam(LParam lp) { return int(int16_t(uint16_t(uintptr_t(lp) & 0xFFFFu))); }
constexpr int y_of_lparam(LParam lp) { return int(int16_t(uint16_t((uintptr_t(lp) >> 16) & 0xFFFFu))); }

}  // namespace plat

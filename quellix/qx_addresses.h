// The destination address window ("ClasseAdresses"): adds a host:port destination and
// moves known destinations between the not-selected and the selected list
// (qx_destinations.h). The main window is disabled while it is open; closing it enables
// the main window again and posts command 17, which rebuilds the sending list.
//
// One window at a time, on the user-interface thread.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

// Control ids of the window.
constexpr int kQxAddrAdd = 1050;       // "+"
constexpr int kQxAddrSelect = 1051;    // "->"
constexpr int kQxAddrUnselect = 1052;  // "<-"
constexpr int kQxAddrClose = 1000;     // "Close"
// The other controls (ids of their own so that they can be found).
constexpr int kQxAddrHost = 1060;
constexpr int kQxAddrPort = 1061;
constexpr int kQxAddrNotSelectedList = 1062;
constexpr int kQxAddrSelectedList = 1063;

// Longest texts read from the two edit fields.
constexpr int kQxAddrHostMax = 380;
constexpr int kQxAddrPortMax = 10;
// Most entries moved by one press of "->" or "<-".
constexpr int kQxAddrMoveMax = 100;

// Registers the window class (start-up); 1 when registered or already there.
int qx_register_addresses_class();
// Builds and shows the window (or brings the open one forward), disables the main
// window (the owner of the program's dialogs) and gives the host field the focus.
void qx_open_addresses_window();
// The open window, null when none.
plat::Wnd qx_addresses_window();

plat::LResult qx_addresses_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);

// Style words and the other numbers of window management: window and class styles,
// show commands, window-position flags, window-value indices, relations, system
// colours and metrics. The values are the usual ones, since the system stores them.
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

namespace plat {

// ---- Window styles -----------------------------------------------------------------------
constexpr uint32_t WS_OVERLAPPED = 0x00000000u;
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_CHILD = 0x40000000u;
constexpr uint32_t WS_MINIMIZE = 0x20000000u;
constexpr uint32_t WS_VISIBLE = 0x10000000u;
constexpr uint32_t WS_DISABLED = 0x08000000u;
constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000u;
constexpr uint32_t WS_CLIPCHILDREN = 0x02000000u;
constexpr uint32_t WS_MAXIMIZE = 0x01000000u;
constexpr uint32_t WS_CAPTION = 0x00C00000u;  // WS_BORDER | WS_DLGFRAME
constexpr uint32_t WS_BORDER = 0x00800000u;
constexpr uint32_t WS_DLGFRAME = 0x00400000u;
constexpr uint32_t WS_VSCROLL = 0x00200000u;
constexpr uint32_t WS_HSCROLL = 0x00100000u;
constexpr uint32_t WS_SYSMENU = 0x00080000u;
constexpr uint32_t WS_THICKFRAME = 0x00040000u;
constexpr uint32_t WS_GROUP = 0x00020000u;
constexpr uint32_t WS_TABSTOP = 0x00010000u;
constexpr uint32_t WS_MINIMIZEBOX = 0x00020000u;
constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000u;
constexpr uint32_t WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr uint32_t WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;

// ---- Extended window styles ----------------------------------------------------------------
constexpr uint32_t WS_EX_DLGMODALFRAME = 0x00000001u;
constexpr uint32_t WS_EX_NOPARENTNOTIFY = 0x00000004u;
constexpr uint32_t WS_EX_TOPMOST = 0x00000008u;
constexpr uint32_t WS_EX_ACCEPTFILES = 0x00000010u;
constexpr uint32_t WS_EX_TRANSPARENT = 0x00000020u;
constexpr uint32_t WS_EX_TOOLWINDOW = 0x00000080u;
constexpr uint32_t WS_EX_WINDOWEDGE = 0x00000100u;
constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200u;
constexpr uint32_t WS_EX_CONTROLPARENT = 0x00010000u;
constexpr uint32_t WS_EX_STATICEDGE = 0x00020000u;
constexpr uint32_t WS_EX_APPWINDOW = 0x00040000u;

// ---- Class styles --------------------------------------------------------------------------
constexpr uint32_t CS_VREDRAW = 0x0001u;
constexpr uint32_t CS_HREDRAW = 0x0002u;
constexpr uint32_t CS_DBLCLKS = 0x0008u;
constexpr uint32_t CS_OWNDC = 0x0020u;
constexpr uint32_t CS_CLASSDC = 0x0040u;
constexpr uint32_t CS_PARENTDC = 0x0080u;
constexpr uint32_t CS_NOCLOSE = 0x0200u;
constexpr uint32_t CS_SAVEBITS = 0x0800u;
constexpr uint32_t CS_GLOBALCLASS = 0x4000u;

// ---- show_window commands -------------------------------------------------------------------
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// ---- set_window_pos flags -------------------------------------------------------------------
constexpr unsigned SWP_NOSIZE = 0x0001;
constexpr unsigned SWP_NOMOVE = 0x0002;
constexpr unsigned SWP_NOZORDER = 0x0004;
constexpr unsigned SWP_NOREDRAW = 0x0008;
constexpr unsigned SWP_NOACTIVATE = 0x0010;
constexpr unsigned SWP_FRAMECHANGED = 0x0020;
constexpr unsigned SWP_SHOWWINDOW = 0x0040;
constexpr unsigned SWP_HIDEWINDOW = 0x0080;
// Places for the `insert_after` argument of set_window_pos (never real windows).
inline const Wnd HWND_TOP = nullptr;
inline const Wnd HWND_BOTTOM = reinterpret_cast<Wnd>(uintptr_t(1));
inline const Wnd HWND_TOPMOST = reinterpret_cast<Wnd>(~uintptr_t(0));
inline const Wnd HWND_NOTOPMOST = reinterpret_cast<Wnd>(~uintptr_t(1));

// Default position or size for create_window.
constexpr int CW_USEDEFAULT = int(0x80000000u);

// ---- Window values (get_window_long / set_window_long) ---------------------------------------
constexpr int GWLP_WNDPROC = -4;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GWLP_HWNDPARENT = -8;
constexpr int GWLP_ID = -12;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int GWLP_USERDATA = -21;

// ---- Relations (get_window, get_ancestor) ---------------------------------------------------------
constexpr unsigned GW_HWNDFIRST = 0;
constexpr unsigned GW_HWNDLAST = 1;
constexpr unsigned GW_HWNDNEXT = 2;
constexpr unsigned GW_HWNDPREV = 3;
constexpr unsigned GW_OWNER = 4;
constexpr unsigned GW_CHILD = 5;
constexpr unsigned GA_PARENT = 1;
constexpr unsigned GA_ROOT = 2;
constexpr unsigned GA_ROOTOWNER = 3;

// ---- System colours (get_sys_color) -----------------------------------------------------------------
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_3DFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_3DSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DHILIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_COUNT = 25;

// ---- System metrics (get_system_metrics) -------------------------------------------------------------
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CYVSCROLL = 20;
constexpr int SM_CXHSCROLL = 21;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXMAXIMIZED = 61;
constexpr int SM_CYMAXIMIZED = 62;

}  // namespace plat

// The window system in one include: windows and classes, the message queue, timers,
// painting and scrolling, scroll bars, menus and accelerators, input, cursors, dropped
// files, message boxes and the presenter interface.
#pragma once

#include "platform/ui/accel.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dropfiles.h"
#include "platform/ui/input.h"
#include "platform/ui/keys.h"
#include "platform/ui/menu.h"
#include "platform/ui/messages.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/paint.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "platform/ui/scrollbar.h"
#include "platform/ui/styles.h"
#include "platform/ui/timer.h"
#include "platform/ui/types.h"
#include "platform/ui/window.h"

// The two ways a control tells its parent what the user did.
#include "platform/ui/controls.h"

#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"

namespace plat {

LResult notify_command(Wnd control, int code) {
  Wnd parent = get_parent(control);
  if (!parent) return 0;
  const uintptr_t id = uintptr_t(get_window_long(control, GWLP_ID));
  return send_message(parent, WM_COMMAND, WParam((id & 0xFFFF) | (uint32_t(code & 0xFFFF) << 16)),
                      LParam(reinterpret_cast<intptr_t>(control)));
}

LResult notify_parent(Wnd control, NmHdr* nm, int32_t code) {
  Wnd parent = get_parent(control);
  if (!parent || !nm) return 0;
  nm->hwnd_from = control;
  nm->id_from = uintptr_t(get_window_long(control, GWLP_ID));
  nm->code = code;
  return send_message(parent, WM_NOTIFY, WParam(nm->id_from), LParam(reinterpret_cast<intptr_t>(nm)));
}

}  // namespace plat

// Registration of every control class.
#include "platform/ui/controls.h"


namespace plat {

// Each family registers its class only when it is not registered yet, so this may run
// again after the window system was reset (tests).
void register_controls() {
  {
    register_static_control();
    register_button_control();
    register_edit_control();
    register_combo_control();
    register_listbox_control();
    register_updown_control();
    register_trackbar_control();
    register_progress_control();
    register_tab_control();
    register_listview_control();
    register_treeview_control();
    register_toolbar_control();
    register_dialog_class();
  }
}

}  // namespace plat

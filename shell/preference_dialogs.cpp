// The templates of the preference dialogs that the menu runs by name.
#include "shell/frame.h"
#include "shell/preference_dialogs.h"

void register_preference_dialogs() {
  register_dialog_template("COULEUR", &colour_dialog_template());
  register_dialog_template("IMGMONO", &imgmono_dialog_template());
}

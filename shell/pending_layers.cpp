// Stand-ins of the layers window until its code lands; the file goes with them.
#include "shell/pending_commands.h"

#include "platform/ui/messages.h"

void layers_window(const char* title) { pending_reached("layers_window", "%s", title ? title : ""); }

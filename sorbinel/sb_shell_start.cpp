// The image viewer's life: command line, start-up, deferred commands, exit and loops.
#include "sorbinel/sb_shell.h"

int sb_main(int, char**) { return 0; }

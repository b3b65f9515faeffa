// The diffusion program's process entry: everything happens in qx_main.
#include "quellix/qx_shell.h"

int main(int argc, char** argv) { return qx_main(argc, argv); }

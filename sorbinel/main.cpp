// The image viewer's process entry: everything happens in sb_main.
#include "sorbinel/sb_shell.h"

int main(int argc, char** argv) { return sb_main(argc, argv); }

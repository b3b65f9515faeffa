// The map program's process entry: everything happens in tarmelo_main.
#include "shell/startup.h"

int main(int argc, char** argv) { return tarmelo_main(argc, argv); }

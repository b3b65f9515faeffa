// The readers of the GPS file formats that have no start-up step of their own in the
// program's table (Lowrance USR, WinAPRS maps...): one routine registers them all in the
// reader table. Run by the format modules' start-up of each program that loads files.
#pragma once

void gps_file_formats_init();

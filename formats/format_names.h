// Display names of the vector and GPS format codes (26 to 73), as the load and export
// dialogs and the file information show them. Codes that no format uses hold a single
// blank; codes outside the table (the raster codes below 26, 75 and 76) have no name.
#pragma once

constexpr int kFirstNamedFormat = 26;
constexpr int kLastNamedFormat = 73;

// The name of a format code, or null outside 26..73.
const char* format_display_name(int format);

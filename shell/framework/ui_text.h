// Text conversions the toolkit needs between the programs' 8-bit texts and the UTF-16
// the controls hold (internal to the framework). Both follow the system's local code
// page rule of core/wstring.h, so that a text reads the same in a control as it does
// everywhere else.
#pragma once
#include <string>

// Local code page text to UTF-16: UTF-8 when the whole text is valid UTF-8, else
// Windows-1252 byte by byte (null: empty).
std::u16string ui_wide(const char* text);
// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string ui_narrow(const std::u16string& text);

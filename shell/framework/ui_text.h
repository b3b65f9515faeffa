// Text conversions the toolkit needs between the programs' UTF-8 texts and the UTF-16
// the controls hold (internal to the framework).
#pragma once
#include <string>

// UTF-8 to UTF-16; a byte that does not start a valid sequence stands for itself
// (Windows-1252 texts keep their letters).
std::u16string ui_wide(const char* utf8);
// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string ui_narrow(const std::u16string& text);

// The process-wide error code. A failing routine stores a code with set_gblerr and
// returns 0, -1 or null; long loops and parsers stop as soon as the code is non-zero,
// and the code that reports the error to the user clears it. Codes 1 to 19 each have
// a French and an English message and a category caption (messages.cpp).
#pragma once
#include <atomic>

// Shared by every thread (and bound by name by the plug-in): one atomic word.
extern "C" std::atomic<int> gblerr;

enum tm_error : int {
  ERR_NONE = 0,
  ERR_MEMORY = 1,        // not enough memory
  ERR_FILE_ACCESS = 2,   // no access to the file / end of data
  ERR_UNKNOWN_FORMAT = 3,
  ERR_COM_OPEN = 4,
  ERR_NO_COMM = 5,
  ERR_TRANSFORM = 6,
  ERR_LOADING = 7,
  ERR_DISPLAY = 8,
  ERR_INIT = 9,
  ERR_OBJECT = 10,
  ERR_OS = 11,
  ERR_VALUE = 12,
  ERR_GEOGRAPHIC = 13,
  ERR_BAD_FILE = 14,
  ERR_PARAMETERS = 15,
  ERR_UNHANDLED = 16,
  ERR_PROTOCOL = 17,
  ERR_HEAP = 18,
  ERR_HTTP = 19,
};

// Stores the code in gblerr and returns it; 0 clears the error.
int set_gblerr(int code);
inline int get_gblerr() { return gblerr.load(std::memory_order_acquire); }

// The message and the category caption of a code 0..19 in the current language
// (is_french()); "" for codes outside the table.
const char* get_error_text(int code);
const char* get_error_title(int code);
// The same in a given language, for callers that must not consult the configuration.
const char* get_error_text_lang(int code, bool french);
const char* get_error_title_lang(int code, bool french);

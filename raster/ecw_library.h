// Binding of the outside ECW decoding library: loaded at run time (dlopen) from the
// program folder, each call bound by name through one table of (ordinal, name). When
// the library is missing only ECW images are off: every open fails (result 7) and the
// trace log says once why.
#pragma once
#include "platform/ecw/ecw_api.h"

// File name of the library in the program folder.
constexpr const char* kEcwLibraryName = "libtm_ecw.so";

struct ecw_calls {
  ecw_close_fn close_view = nullptr;       // 70
  ecw_info_fn file_info = nullptr;         // 71
  ecw_open_fn open_view = nullptr;         // 73
  ecw_read_rgb_fn read_rgb = nullptr;      // 77
  ecw_read_bands_fn read_bands = nullptr;  // 78
  ecw_set_view_fn set_view = nullptr;      // 82
};

// The bound calls, binding the library on first use; null when it is missing.
const ecw_calls* ecw_library();
// Binds the library of a path (null: the program folder's); 0, or -1 when it cannot be
// loaded or lacks a call (the message then goes to the trace log). Replaces a binding.
int ecw_library_bind(const char* path);
// Forgets the binding (the library stays loaded: views may outlive it in a test).
void ecw_library_reset();

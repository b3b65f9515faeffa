// The toolkit's control-text conversions: thin value-returning wrappers over the owned
// wide strings of core/wstring.h.
#include "shell/framework/ui_text.h"

#include "core/memory.h"
#include "core/wstring.h"

std::u16string ui_wide(const char* text) {
  char16_t* w = nullptr;
  mbs_to_wcs(text, &w);
  std::u16string out(w ? w : u"");
  free_mem(&w);
  return out;
}

std::string ui_narrow(const std::u16string& text) {
  char* s = nullptr;
  wcs_to_mbs(text.c_str(), &s);
  std::string out(s ? s : "");
  free_mem(&s);
  return out;
}

// The user's language, from the locale variables in the order the C library reads
// them for messages: LC_ALL, then LC_MESSAGES, then LANG. The first one that is set
// decides; the "C" and "POSIX" locales carry no language.
#include <stdlib.h>

#include <string>

#include "platform/sys/sysinfo.h"

namespace plat {
namespace {

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// "fr_FR.UTF-8" and "fr@euro" give "fr". The language part of a locale name is a two-
// letter code, or a three-letter one for languages that have no two-letter code; any
// other shape (including "C", "C.UTF-8" and "POSIX") gives "".
std::string language_of_locale(const char* locale) {
  std::string code;
  const char* p = locale;
  while (is_ascii_letter(*p)) code += ascii_lower(*p++);
  if (*p != '\0' && *p != '_' && *p != '.' && *p != '@') return std::string();
  if (code.size() < 2 || code.size() > 3) return std::string();
  return code;
}

}  // namespace

std::string user_language() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = getenv(variable);
    if (value && value[0]) return language_of_locale(value);
  }
  return std::string();
}

}  // namespace plat

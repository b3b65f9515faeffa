// The command line of the map program, and the joining of the process's arguments into
// one command line.
//
// Words are read one after another; an option's value is the next word. Options are
// compared exactly after lower-casing, but values (file names, URLs, port names,
// speeds) are read as written: Linux paths and device names are case-sensitive.
//
// A file named relative to the current folder is made absolute before it is posted:
// the load command takes any relative text for a web address.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/tracelog.h"
#include "gps/nmea_log.h"
#include "shell/load_commands.h"
#include "shell/startup.h"

namespace {

// What separates words on a command line (as the word reader sees it).
constexpr const char kBlanks[] = " \t\r\n";

// The next word as written (an option's value); "" at the end of the line.
std::string next_value(const char** cursor) {
  char* word = cmdline_next_word(cursor, 0);
  std::string value = word ? word : "";
  free_mem(&word);
  return value;
}

// A local file given relative to the current folder, as an absolute path; any other
// text (an absolute path, a web address) as it is.
std::string file_argument(const char* text) {
  if (!*text || path_is_absolute(text) || !file_exists(text)) return text;
  char* absolute = nullptr;
  path_from_current_folder(text, &absolute);
  std::string result = absolute ? absolute : text;
  free_mem(&absolute);
  return result;
}

void load_argument(const char* text) { open_file(file_argument(text).c_str()); }

void log_unknown(const char* word) {
  std::string line = is_french() ? "Parametre inconnu :" : "Unknow Parameter:";
  line += word;
  log_error_line(line.c_str());
  // The trace log is only read when something went wrong: whoever typed the command
  // sees the word on the terminal as well (the program goes on without it).
  std::fprintf(stderr, "%s\n", line.c_str());
}

// The options of the map program; false for a word that is none of them.
bool program_option(const char* word, const char** cursor) {
  if (std::strcmp(word, "-navig") == 0) {
    config_set("NAVIGPORT", next_value(cursor).c_str());
  } else if (std::strcmp(word, "-naviglog") == 0) {
    navig_log_set(1);
    config_set("NAVIGPORT", next_value(cursor).c_str());
  } else if (std::strcmp(word, "-navigportspeed") == 0) {
    config_set("NAVIGPORTSPEED", next_value(cursor).c_str());
  } else if (std::strcmp(word, "-load") == 0) {
    load_argument(next_value(cursor).c_str());
  } else {
    return false;
  }
  return true;
}

}  // namespace

void parse_command_line(const char* command_line) {
  if (!command_line) return;
  const char* cursor = command_line;
  // Items: an option with its value counts as one.
  for (int item = 0;; ++item) {
    while (*cursor && std::strchr(kBlanks, *cursor)) ++cursor;
    if (!*cursor) return;
    char* word = cmdline_next_word_lower(&cursor, 0);
    if (!word) return;
    if (parse_option(word, &cursor) != 0 && !program_option(word, &cursor)) {
      if (item == 0 && word[0] != '-')
        load_argument(word);
      else
        log_unknown(word);
    }
    free_mem(&word);
  }
}


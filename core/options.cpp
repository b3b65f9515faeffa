// The generic command-line options that every program of the system accepts. Each
// option writes into the configuration cache, so that an option given on the command
// line wins over the configuration file. Values are taken exactly as written: folders,
// file names and port names keep their case.
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/config.h"
#include "core/config_state.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "core/tracelog.h"

namespace {

void opt_embedded(const char*) {
  set_embedded(true);
  config_set("EMBEDDED", "TRUE");
}

void opt_maxmem(const char* value) {
  config_set("MAXMEM", value);
  config_detail::forget_maxmem();
}

// The trace log was started before the command line was read: it moves to the folder
// given here.
void opt_log_dir(const char* value) {
  config_set_dir("LOG_DIR", nullptr, value);
  log_follow_folder();
}

// The file is used only when it exists. A relative name is the user's, relative to
// the current folder: it is made absolute so that the file read is the one checked
// (the reader would otherwise take a relative name from the system folder).
void opt_config_file(const char* value) {
  if (!*value || !file_exists(value)) return;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(value, ec);
  config_set("CONFIG_FILE", ec ? value : absolute.string().c_str());
}

void opt_webnavig(const char*) { config_set("WEBNAVIG", "TRUE"); }

void opt_webnavigdepth(const char* value) { config_set("WEBNAVIGDEPTH", value); }

struct option_entry {
  const char* word;
  bool takes_value;
  void (*apply)(const char* value);
};

const option_entry kOptions[] = {
    {"-embedded", false, opt_embedded},       {"-maxmem", true, opt_maxmem},
    {"-log_dir", true, opt_log_dir},          {"-config_file", true, opt_config_file},
    {"-webnavig", false, opt_webnavig},       {"-webnavigdepth", true, opt_webnavigdepth},
};

}  // namespace

int parse_option(const char* word, const char** cursor) {
  if (!word) return -1;
  for (const option_entry& option : kOptions) {
    if (std::strcmp(word, option.word) != 0) continue;
    if (!option.takes_value) {
      option.apply(nullptr);
      return 0;
    }
    char* value = nullptr;
    if (cursor && *cursor)
      value = cmdline_next_word(cursor, 0);
    else
      str_set("", &value);
    option.apply(value);
    free_mem(&value);
    return 0;
  }
  return -1;
}

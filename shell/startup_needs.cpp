// What the initialisers read from the program folder, so that an initialisation failure
// that comes from a file that cannot be opened can name the file or folder that is
// missing instead of leaving the user with a bare error number. The table follows the initialisers that read files: the geodesy tables
// (each table and its name table), looked for as the readers look for them, in the
// folder "system/" of the program folder first and in the program folder itself.
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/reader.h"
#include "shell/startup.h"

namespace {

struct step_needs {
  const char* step;         // the initialiser's name in the start-up table
  const char* files[12];    // what it opens, null-terminated
};

const step_needs kNeeds[] = {
    {"geo_load_tables",
     {"ellipsoi.txt", "ellipsil.txt", "pmeridian.txt", "pmeridil.txt", "datum.txt", "datumil.txt", "gcentric.txt",
      "gcentril.txt", "cartproj.txt", "cartpril.txt", nullptr}},
};

bool can_open(const char* name) {
  std::FILE* f = open_file_resolved(name, "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

bool is_folder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

// The first thing the step needs that is missing, in words; empty when nothing is.
std::string missing_for(const step_needs& needs) {
  const std::string program = get_program_dir() ? get_program_dir() : "";
  if (!is_folder(program)) return "missing folder " + program;
  for (const char* const* f = needs.files; *f; ++f)
    if (!can_open(*f))
      return std::string("missing file ") + *f + " (looked in " + get_system_dir() + " and " + program + ")";
  return {};
}

std::string error_words(int code) {
  const char* text = get_error_text_lang(code, false);
  return "error " + std::to_string(code) + (text && *text ? std::string(": ") + text : std::string());
}

}  // namespace

std::string init_failure_reason() {
  const int code = get_gblerr();
  const char* step = init_failed_step();
  if (!step) return error_words(code);
  // Only a file that could not be opened is looked for; a file that was read and found
  // wrong is the reader's error.
  for (const step_needs& needs : kNeeds) {
    if (code != ERR_FILE_ACCESS || std::string(step) != needs.step) continue;
    const std::string missing = missing_for(needs);
    if (!missing.empty()) return missing;
  }
  return std::string(step) + " failed (" + error_words(code) + ")";
}

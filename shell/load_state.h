// Process-wide state shared by the files of the load and save commands (see
// load_commands.h): command slots, the folder counter that numbers the layers of loaded
// files, the first-image and display-system flags and the names exported in this run.
#pragma once
#include <atomic>
#include <string>

constexpr int kDisplaySystemCommand = 12;
constexpr int kDownloadCommand = 13;
constexpr int kLoadCommand = 14;
constexpr int kExportCommand = 15;
constexpr int kFitCommand = 19;
constexpr int kFitDelayMs = 100;
constexpr int kMenuDisplaySystem = 40012;

// The counter graphspace_add_file numbers the folders of loaded files with (load task).
int* load_folder_counter();
// Cleared once the first image was positioned (fit command, user-interface thread).
extern std::atomic<int> g_first_image;
// Cleared when the first system is settled (load task), which greys 40012.
extern std::atomic<int> g_display_system_open;
// Marks the first settled system: greys 40012 once.
void load_system_settled();

// Output names given to exports in this run: a second file of the same base name must
// not replace the first one silently. Both are called on the user-interface thread.
bool export_name_used(const std::string& name);
void export_name_remember(const std::string& name);
void export_names_clear();

// Frees the three load lists (load_run.cpp).
void load_lists_free();

// Internal to the common dialogs: what they need of the file system and of paths
// (normalising typed paths, joining, listing one folder for display, matching
// filters), and the error word comm_dlg_extended_error reports.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plat::cdlg_detail {

// A path with '\' turned into '/', repeated '/' and "." removed, ".." folded into the
// component before it, no trailing '/' (but "/" itself). A relative path is taken from
// `base` (the working folder when `base` is empty).
std::string normalize_path(const std::string& path, const std::string& base = {});
std::string join_path(const std::string& folder, const std::string& name);
// The folder part of a normalized path and its last component.
std::string parent_of(const std::string& path);
std::string leaf_of(const std::string& path);
std::string working_folder();

bool is_folder(const std::string& path);
bool is_file(const std::string& path);  // a regular file (links followed)

// One folder's entries for a list: sub-folders and files (links followed), names
// starting with '.' left out, each group sorted without regard to case.
struct Listing {
  std::vector<std::string> folders;
  std::vector<std::string> files;
  bool readable = false;
};
Listing list_folder(const std::string& folder);

// Whether a name matches one of the ';'-separated patterns, case ignored. An empty
// pattern list matches everything, as does "*.*".
bool matches_filter(const std::string& name, const std::string& patterns);
bool has_wildcard(const std::string& text);

// Lower-case comparison of ASCII letters, for sorting names.
bool less_ignoring_case(const std::string& a, const std::string& b);

void set_last_error(uint32_t code);

}  // namespace plat::cdlg_detail

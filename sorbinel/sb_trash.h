// The user's trash folder (the freedesktop layout): a deleted file moves to
// $XDG_DATA_HOME/Trash/files (default ~/.local/share) and a record of where it came
// from and when it went is written beside it in Trash/info/<name>.trashinfo, so that
// the desktop can put it back. A name already in the trash gets a number before its
// extension ("photo.2.jpg"). No confirmation is asked.
#pragma once
#include <string>

// Moves the file at `path` (a regular file or a symbolic link, never a folder) to the
// trash. 0 on success with the name it has in Trash/files in *trashed (may be null);
// -1 when the path is not a file or the trash cannot take it (nothing is lost: the
// file stays where it was and no record is left behind).
int sb_trash_file(const char* path, std::string* trashed);
// The trash folder in use, with a trailing '/' ("" when there is none).
std::string sb_trash_dir();
// The text of a .trashinfo record for an absolute path and a local time
// ("YYYY-MM-DDThh:mm:ss"): the path escaped as a URL path.
std::string sb_trash_info_text(const std::string& absolute_path, const std::string& when);

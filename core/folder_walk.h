// A recursive walk over a folder tree, driven by a small state table.
//
// The walk owns the listings, the current path and a stack of open levels; what
// happens at each step is decided by a table of seven callbacks supplied by the
// caller (a callback may be one of the walk's own steps below). Each step leaves an
// event word saying what it found; the cell (state, event) of the transition table
// names the next callback and the next state:
//
//   event:  1 continue (a file was found, or a level was left)   2 a folder was found
//           (the path now names it)   3 no further entry in this folder   4 the entry
//           path was built
//   slots:  0 abort   1 search the folder named by the path   2 a file was found
//           3 handle the file   4 resume   5 next entry   6 the folder is finished
//
// A file gets slots 2, 3 and 4, then 5; a subfolder is entered with slot 1; a folder
// without further entries gets slot 6, which climbs back to the parent; the walk ends
// when the top level is left. The standard table empties a folder, deepest first, and
// keeps the folder itself.
//
// Paths keep their case and use '/' ('\' is accepted in the top path). A symbolic link
// is never followed: it is delivered as a file, so emptying a folder removes the link
// and never what it points to. The walk never changes the process's current folder.
// Its state is process-wide: walks do not nest and run on one thread at a time.
#pragma once

using dirscan_fn = void (*)();
constexpr int kDirscanSlots = 7;

enum dirscan_event : int {
  DIRSCAN_CONTINUE = 1,
  DIRSCAN_FOLDER = 2,
  DIRSCAN_NO_MORE = 3,
  DIRSCAN_ENTRY_PATH = 4,
};

// Walks the tree under `path` with a table of kDirscanSlots callbacks. Returns 0, or
// the error code: 15 when the top folder cannot be listed (no callback runs), 11 when a
// subfolder cannot be listed or the walk was aborted. A callback that leaves no event
// aborts the walk. Every listing still open is closed before it returns.
int dirscan_walk(const char* path, const dirscan_fn* callbacks);
// Empties an existing folder with the standard callbacks (the folder itself is kept);
// nothing happens when the path is not a folder.
void dir_scan_if_exists(const char* path);
// The standard callback table (dirscan_walk of it empties a folder).
const dirscan_fn* dirscan_standard_callbacks();

// ---- Steps (callbacks) ----------------------------------------------------------------
void dirscan_abort();         // finished -1, gblerr 11
void dirscan_first();         // lists the folder named by the path; first entry's event
void dirscan_next();          // the next entry of the current listing
void dirscan_entry_path();    // entry path = path + entry name; event 4
void dirscan_reset_state();   // event 1
void dirscan_close();         // closes the current listing
void dirscan_pop();           // back to the parent level; finished at the top
void dirscan_up();            // dirscan_close, then dirscan_pop
void dirscan_remove_entry();  // removes the file (or link) at the entry path; event 3
// Closes the current listing, removes the folder when it is below the top one, and
// goes back to the parent level.
void dirscan_remove_folder();

// ---- State seen by callbacks ----------------------------------------------------------
const char* dirscan_path();        // the folder being listed, ending with '/'
const char* dirscan_entry_name();  // the entry path (path + name)
int dirscan_depth();               // number of open levels
// Custom callbacks report what they did through the event word.
void dirscan_set_event(int event);

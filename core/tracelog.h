// The trace log: an append-only text file into which error paths write dated entries
// when the configuration holds "LOGERROR". Each write is one open-append-close, so
// entries survive a crash and several programs may write in turn.
#pragma once

// Called once at start-up with the program's four-letter tag ("TARM"): reads
// "EMBEDDED" and builds the log path <log folder>/zz_<tag>.log.
void log_init(const char* tag);
// The log folder changed after log_init (the -log_dir option is read after the log was
// started): later entries go to zz_<tag>.log in the new folder. Nothing before log_init.
void log_follow_folder();
const char* log_path();
void log_write_separator();
void log_line(const char* text);
void log_text(const char* text);
void log_error_line(const char* text);

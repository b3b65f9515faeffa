// Saved tables: a sorted index of object-store records written to a file as rows of
// fixed-width fields laid out by the records' class schema, and read back at the next
// start. The line store keeps its swap index ("mof2.sot") this way.
//
// File layout (little-endian, no gaps): the 8-byte magic "Tarmelo\0", version 1, class
// id, record count N, attribute count A, A field widths, N rows, and a check sum (the
// sum modulo 2^32 of the first word, the id, of every row). Strings are stored as their
// characters; no pointer is ever written (reference, list and coordinate fields are
// written as zeros and never read back).
//
// A write first copies the previous file to "<name>sav" and removes that backup once
// the new file is complete. A reader that finds a backup keeps the newer of the two
// that is complete: the main file when it reads whole, else the backup.
//
// Reading never trusts the file: every width, count and size is checked against the
// class and against the bytes that remain, and a table is only changed once the whole
// file has been read and its check sum matches.
//
// Tables are queued while the program runs and written together at exit.
#pragma once
#include <cstdint>

#include "core/obj_list.h"

struct fileatt_t;

constexpr uint32_t kSavedTableVersion = 1;
constexpr int kSavedTableBuffer = 131072;
// Largest row a reader accepts; a longer one is a corrupt file.
constexpr uint32_t kSavedTableMaxRow = 1u << 20;

// Results of savfile_read (gblerr is never left set by a refused file).
enum savfile_result : int {
  SAVFILE_OK = 0,
  SAVFILE_NO_FILE = 2,   // missing or unreadable
  SAVFILE_FOREIGN = 3,   // magic, version, class or attribute count differ
  SAVFILE_CORRUPT = 14,  // truncated, widths out of range, bad counts or check sum
};

// Appends (table, file) to the write queue unless that pair is already queued.
void savfile_queue(container_t* table, fileatt_t* file);
// Writes the queued tables in queue order, removing each, until the queue is empty.
void savfile_flush();
// Pairs waiting in the queue.
int savfile_queue_count();
// Writes the table to the file object's path; 0, or 2 when the file cannot be written
// or the previous file cannot be backed up (the previous file and any backup then stay
// in place).
int savfile_write(fileatt_t* file, container_t* table);
// Reads the file `name` into the table (records inserted, ids new); *out_file (when
// given) receives the file object opened for the name, else a file object made for the
// read is freed. A refused file leaves the table as it was.
int savfile_read(const char* name, container_t* table, fileatt_t** out_file);
// Fills the line store's saved-table hooks (read and queue of the swap index).
void savfile_install_hooks();
// Forgets the queue (tests; a new object store).
void savfile_reset();

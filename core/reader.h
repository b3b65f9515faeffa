// The buffered file reader: one current file at a time, read byte by byte, as numbers,
// or bit by bit, through a buffer aligned on multiples of its size.
//
// The current file is a disk file or a file held in memory in a line store (an archive
// member, a downloaded page). Up to 20 recently used files stay open in a table ordered
// by last use, so that formats which alternate between a header file and a data file do
// not reopen them. End of data is reported through gblerr 2 ("No access to the file"):
// format readers read field after field and test the error once.
//
// The reader state is process-wide: only the one running task reads files at a time.
#pragma once
#include <cstdint>
#include <cstdio>

struct obj_t;

constexpr int kReaderOpenFiles = 20;

// ---- Opening and closing ------------------------------------------------------------
// Makes the file object the current file. buffer_size 0 asks for the whole file; 1 to
// 1024 become 1024; any size is cut to the file size. Returns 0, or 1 (no error code
// set) when there is no file object, its disk file cannot be opened (a missing file),
// or its compressed content cannot be extracted; the file that was current before a
// failed open stays current. An empty file opens (0) with a buffer of 1 byte and is
// at its end at once: its first read gives gblerr 2, as any read past the end does.
//
// A gzip file (format 52) or a ZIP member (53) whose content state is 0 and that has
// no line store is first decompressed into one. A decoder sets the content state
// before it reads the raw bytes through the reader, so its own opens (and a decoder
// called directly) read the compressed bytes and never start a second decoding.
//
// Data that proves shorter than its recorded size ends where its bytes end: rd_size
// then gives the bytes really there.
int rd_open(obj_t* file, int64_t buffer_size, int rewind);
// Moves the object's entry (or a free one) to the front; the entry that falls off the
// end of the table is closed. An entry whose line store is no longer the file's (its
// content was replaced or freed) is closed rather than read. Whoever frees a file
// object, or frees a store that another file's entry may still read, closes its entry
// first (rd_close_file).
void rd_make_current(obj_t* file);
void rd_close_file(obj_t* file);
void rd_close_all();
// Reads the next opened memory-held file's lines in place instead of copying them.
void rd_use_store_memory();
// The file object that is current, or null.
obj_t* rd_current_file();
// 1 when the open-file table holds an entry for the file object.
int rd_table_holds(obj_t* file);
// Size of the current file's buffer (0 when no file is current).
int64_t rd_buffer_size();
// Largest buffer the reader allocates: a larger request (the whole of a big file) gets
// a buffer of this size, and the file is read through it by refills.
constexpr int64_t kReaderMaxBuffer = int64_t(256) << 20;
// Longest string rd_read_cstring and rd_read_string_n build; a longer one is bad data.
constexpr int64_t kReaderMaxString = int64_t(64) << 20;

// Opens a path with the C library; a relative path is tried in the system folder, then
// in the program folder. Empty path: null.
FILE* open_file_resolved(const char* path, const char* mode);
// Creates the missing folders of an absolute path, then opens it; on failure logs
// "Unable to open file <path>" to the trace log. Returns the file or null (also in *out).
FILE* open_file_msg(const char* path, const char* mode, FILE** out);
// Reads up to LF, CR or end of file, storing at most n - 1 characters and a NUL, then
// consumes one following LF or CR. Returns buffer, or null at end of file.
char* file_read_line(FILE* file, char* buffer, int n);
// Seeks with a 64-bit offset (the C library's long is 64 bits in this build, so one
// call reaches any position); 0 on success, as fseek.
int file_seek_large(FILE* file, int64_t offset, int origin);

// ---- Positions -----------------------------------------------------------------------
// origin 0 absolute, 1 from the current position, 2 from the end.
void rd_seek(int64_t offset, int origin);
int64_t rd_tell();
int64_t rd_size();
int64_t rd_bytes_left();
int rd_at_end();
void rd_refill();

// ---- Bytes and numbers (each first moves to the next whole byte) ----------------------
int rd_read_byte();
// Reads n bytes across refills; returns the number read (gblerr 2 when short).
int64_t rd_read_bytes(void* buffer, int64_t n);
// n bytes at an absolute position, the read position unchanged; returns the number read
// (gblerr 2 when the range passes the end of the file). Any position of the file can be
// read, held in memory or on disk.
int64_t rd_read_at(int64_t position, void* buffer, int64_t n);
uint16_t rd_read_u16();
uint32_t rd_read_u32();
float rd_read_float();
double rd_read_double();
uint16_t rd_read_u16_swapped();
uint32_t rd_read_u32_swapped();
double rd_read_double_swapped();
// Appends bytes up to a NUL to an owned string.
char* rd_read_cstring(char** owner);
// Reads a field of n bytes (all that is left when n is 0 or larger) and makes the owned
// string its text up to the first NUL; the position moves past the whole field.
char* rd_read_string_n(int64_t n, char** owner);
// Converts one value with a scanf format whose digits after '%' give the field width
// ("%4d" reads 4 bytes); returns 1 when converted. The field is copied and ended by a
// NUL before it is converted, so the conversion never reads past it; a field wider than
// what is left, or a value that does not convert, gives gblerr 2 and 0.
int rd_scanf(const char* format, void* out);

// ---- Bits ----------------------------------------------------------------------------
int rd_read_bit();                 // MSB first, JPEG byte stuffing; 2 when a marker follows
// n bits (at most 32) of rd_read_bit, first most significant; a bit that meets a
// marker counts as 0.
uint32_t rd_read_bits(int n);
int rd_read_bit_msb();
uint32_t rd_read_bits_msb(int n);
int rd_read_bit_lsb();
uint32_t rd_read_bits_lsb(int n);  // first bit read becomes bit 0 (Deflate fields)
uint32_t rd_read_code_lsb(int n);  // first bit read becomes the most significant
uint32_t rd_read_bits_lsb_skip(int n, int64_t p1, int64_t p2);
int rd_bit_mask();

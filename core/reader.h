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
// 1024 become 1024; any size is cut to the file size. Returns 0, or 1 when there is
// nothing to read or the file cannot be opened.
int rd_open(obj_t* file, int64_t buffer_size, int rewind);
void rd_make_current(obj_t* file);
void rd_close_file(obj_t* file);
void rd_close_all();
// Reads the next opened memory-held file's lines in place instead of copying them.
void rd_use_store_memory();
// The file object that is current, or null.
obj_t* rd_current_file();

// Opens a path with the C library; a relative path is tried in the system folder, then
// in the program folder. Empty path: null.
FILE* open_file_resolved(const char* path, const char* mode);
// Creates the missing folders of an absolute path, then opens it; on failure logs
// "Unable to open file <path>" to the trace log. Returns the file or null (also in *out).
FILE* open_file_msg(const char* path, const char* mode, FILE** out);
// Reads up to LF, CR or end of file, storing at most n - 1 characters and a NUL, then
// consumes one following LF or CR. Returns buffer, or null at end of file.
char* file_read_line(FILE* file, char* buffer, int n);
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
// n bytes at an absolute position, the read position unchanged; returns the number read.
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
// Up to n bytes (all that is left when n is 0 or larger) up to a NUL, owned.
char* rd_read_string_n(int64_t n, char** owner);
// Converts one value with a scanf format whose second character is the field width
// ("%4d" reads 4 bytes); returns 1 when converted.
int rd_scanf(const char* format, void* out);

// ---- Bits ----------------------------------------------------------------------------
int rd_read_bit();                 // MSB first, JPEG byte stuffing; 2 when a marker follows
uint32_t rd_read_bits(int n);
int rd_read_bit_msb();
uint32_t rd_read_bits_msb(int n);
int rd_read_bit_lsb();
uint32_t rd_read_bits_lsb(int n);  // first bit read becomes bit 0 (Deflate fields)
uint32_t rd_read_code_lsb(int n);  // first bit read becomes the most significant
uint32_t rd_read_bits_lsb_skip(int n, int64_t p1, int64_t p2);
int rd_bit_mask();

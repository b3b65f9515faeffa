// Text scanning for the parsers: a scanner that reads lines, tokens and numbers from
// the current file of the buffered reader (reader.h) while counting down a byte budget,
// and tokenisers that walk a NUL-terminated text in memory. Both families share one
// table that sorts the 256 byte values into eight classes.
//
// Budgets: every scanner routine takes the address of a signed count of the bytes it may
// still read (typically the file size, or what remains of a record); each byte read
// decrements it and reading stops when it reaches 0. Reading past the end of the file
// gives the reader's gblerr 2, as every reader of this system reports end of data.
//
// Sizes: `size` is always the byte size of the caller's buffer, its NUL included: at
// most size - 1 characters are stored, then a NUL; a buffer of size 0 receives nothing.
// The characters of a longer line, token or word are read and dropped.
//
// Text cursors: the address of a pointer into a NUL-terminated text; the tokenisers
// advance it and never move it, nor read, past the NUL. A null `text` argument reads as "".
//
// (The file scanner lives in scanner.cpp, its number reader in scanner_number.cpp, the
// tokenisers in tokens.cpp.)
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// ---- Character classes ----------------------------------------------------------------

enum char_class_code : uint8_t {
  CC_DIGIT = 0,      // '0' to '9'
  CC_SIGN = 1,       // '+', '-'
  CC_NUMBER = 2,     // '.', 'E', 'e'
  CC_BLANK = 3,      // tab, LF, CR, blank
  CC_COMMA = 4,      // ','
  CC_SEMICOLON = 5,  // ';'
  CC_QUOTE = 6,      // '"'
  CC_OTHER = 7,      // every other byte value, NUL included
};

constexpr std::array<uint8_t, 256> make_char_classes() {
  std::array<uint8_t, 256> t{};
  for (auto& c : t) c = CC_OTHER;
  for (unsigned c = '0'; c <= '9'; ++c) t[c] = CC_DIGIT;
  t['+'] = t['-'] = CC_SIGN;
  t['.'] = t['E'] = t['e'] = CC_NUMBER;
  t['\t'] = t['\n'] = t['\r'] = t[' '] = CC_BLANK;
  t[','] = CC_COMMA;
  t[';'] = CC_SEMICOLON;
  t['"'] = CC_QUOTE;
  return t;
}
inline constexpr std::array<uint8_t, 256> kCharClass = make_char_classes();

// The class of a character; indexed by its unsigned byte value, so that UTF-8 bytes
// (negative as char) fall in class 7.
inline int char_class(char c) { return kCharClass[static_cast<unsigned char>(c)]; }
inline int char_class(int byte) { return kCharClass[static_cast<unsigned>(byte) & 0xFF]; }

// The value of an integer text of n characters, read as the runtime's atol reads it: an
// optional sign in front, then the digits up to the first other character ("-1-2" gives
// -1, "+-5" gives 0). At most 18 characters are read.
int64_t integer_run_value(const char* run, size_t n);

// ---- Scanner over the current file of the reader ----------------------------------------

// Reads to the end of the line (LF, CR, or CR LF: after a CR the next byte is read and
// given back when it is not LF). A budget of 0 gives "". Returns buffer.
char* rd_read_line(size_t size, int64_t* budget, char* buffer);
// rd_read_line until a line is not empty, or the budget or the file ends (then "").
char* rd_read_line_nonempty(size_t size, int64_t* budget, char* buffer);
// Consume to the end of one line, or of n lines, with the same end-of-line rule.
void rd_skip_line(int64_t* budget);
void rd_skip_lines(int64_t n, int64_t* budget);
// Skips blanks (class 3), then stores the characters up to the next blank; *stop (when
// given) receives that blank, or NUL when the budget or the file ended the token (the
// characters read until then are kept). Returns buffer.
char* rd_read_token(size_t size, int64_t* budget, char* buffer, char* stop);
// From the character `first`, then the characters read after it, the value of the first
// digit; 0 when the budget or the file ends before one.
int rd_read_digit(int first, int64_t* budget);
// Skips characters of classes 2 to 7, then gathers the run of digits and signs that
// follows (the character after it is consumed), keeps its first 12 characters and
// returns their value: an optional sign in front, then digits ("-1-2" gives -1).
int64_t rd_read_long(int64_t* budget);
// The same with digits only (every non-digit before them is skipped).
int64_t rd_read_ulong(int64_t* budget);
// Skips to the first double quote and stores the characters up to the next one (which
// is consumed). Returns buffer.
char* rd_read_quoted(size_t size, int64_t* budget, char* buffer);
// Skips tabs and blanks, then stores the characters up to *stop (or, with
// stop_at_line_end, up to LF or CR); *stop receives the character that ended the word
// (NUL when the budget or the file ended it). A CR followed by LF consumes the LF.
char* rd_read_word(size_t size, int stop_at_line_end, int64_t* budget, char* stop,
                   char* buffer);
// rd_read_bytes into buffer; returns n.
int64_t rd_read_bytes_len(int64_t ignored, int64_t n, void* buffer);
// Reads a decimal number: characters of classes 3 to 7 are skipped, then an optional
// sign, digits with one '.', and an optional exponent 'e' (lower case) with an optional
// sign. Any other character ends the number and is consumed (',' is never a decimal
// separator here; 'E' ends the number). The value is the decimal text read, rounded to a
// double. A file that ends before a number gives 0 (and gblerr 2).
double rd_scan_double();
// rd_scan_double; *bytes_left receives the bytes left in the file after the number.
double rd_scan_double_len(int64_t* bytes_left);

// ---- Tokenisers over a text in memory ---------------------------------------------------

// n < 0: the text's length; n > 0: the offset where line n (counted from 1, lines end at
// LF) begins, the length when the text has fewer lines; n = 0: 0. Stored in *out (when
// given) and returned.
int64_t line_offset(const char* text, int64_t n, int64_t* out);
// Copies the line beginning at *offset (at line n when offset is null or *offset < 0)
// up to LF into the owned string *owner, and moves *offset past the LF (to the NUL when
// the line has none). The offset must lie within the text. Returns *owner.
char* next_line(const char* text, int64_t n, char** owner, int64_t* offset);
// Skips blanks; copies the following run of non-blanks when it fits (size >= length + 1)
// and advances past it; otherwise the buffer is "" and the cursor stays after the
// blanks. Returns buffer.
char* next_token(size_t size, const char** cursor, char* buffer);
// Skips characters of classes 2 to 7; the run of digits and signs that follows gives its
// value when it has 1 to 14 characters (the cursor moves past it); otherwise 0, the
// cursor left at the run.
int64_t next_token_long(const char** cursor);
// The same with digits only.
int64_t next_token_ulong(const char** cursor);
// Skips characters of classes 3 to 7; the run of classes 0 to 2 that follows, when it
// has at most 24 characters, is read with the system's number parser and passed;
// otherwise 0, the cursor left at the run.
double next_token_double(const char** cursor);
// The text between the next pair of double quotes (the cursor moves past the closing
// one); without a closing quote, the rest of the text. Returns buffer.
char* next_quoted(size_t size, const char** cursor, char* buffer);
// One field of a separated line (NMEA sentences, CSV): skips blanks (neither the
// separator nor, with stop_at_line_end, LF and CR), then takes the characters up to the
// separator (or LF / CR with stop_at_line_end, or the NUL). The field is stored when it
// fits in size - 1 characters, else the buffer is "". The cursor moves past a separator;
// it stays on a line end or the NUL, so that further fields of the line read "".
// Returns buffer.
char* get_field(size_t size, int stop_at_line_end, char separator, const char** cursor,
                char* buffer);
// The number of fields of the text that begin with a character other than the separator
// (and, with stop_at_line_end, LF or CR): the non-empty fields. Stored in *out (when
// given) and returned.
int64_t count_field_chars(int stop_at_line_end, char separator, const char* text,
                          int64_t* out);
// Advances the cursor over class-3 characters.
void skip_blanks(const char** cursor);
// The number of lines of the text: runs of characters other than LF and CR. Stored in
// *out (when given) and returned.
int64_t count_line_chars(const char* text, int64_t* out);

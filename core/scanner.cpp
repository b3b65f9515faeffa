// The text scanner over the current file of the reader: lines, tokens, words, quoted
// texts and integers, each read byte by byte against the caller's budget (see
// scanner.h). The decimal number reader is in scanner_number.cpp.
//
// Every byte goes through take_byte, which refuses to read once the budget is spent
// (no error: the caller's record has simply ended) or the file has ended (gblerr 2,
// the reader's end of data). Every character stored goes through text_sink, which
// never writes past the buffer's size.
#include "core/error.h"
#include "core/reader.h"
#include "core/scanner.h"

namespace {

bool take_byte(int64_t* budget, int* c) {
  if (*budget <= 0) return false;
  if (rd_at_end()) {
    set_gblerr(ERR_FILE_ACCESS);
    return false;
  }
  *c = rd_read_byte();
  --*budget;
  return true;
}

// Consumes the next byte when it is `wanted` and gives it back otherwise. Running out
// of budget or of file here is no error: the line has already ended.
void consume_if(int64_t* budget, int wanted) {
  if (*budget <= 0 || rd_at_end()) return;
  if (rd_read_byte() == wanted) {
    --*budget;
  } else {
    rd_seek(-1, 1);
  }
}

bool is_line_end(int c) { return c == '\n' || c == '\r'; }

// Characters stored into a caller's buffer of `size` bytes: at most size - 1 of them,
// always followed by a NUL (nothing at all for a buffer of size 0).
class text_sink {
 public:
  text_sink(char* buffer, size_t size) : buffer_(buffer), size_(size) { finish(); }
  void put(int c) {
    if (size_ > 0 && stored_ + 1 < size_) buffer_[stored_++] = static_cast<char>(c);
  }
  void finish() {
    if (size_ > 0) buffer_[stored_] = '\0';
  }

 private:
  char* buffer_;
  size_t size_;
  size_t stored_ = 0;
};

// One line into the sink. Returns the line's length (stored or not); *ended tells
// whether a line end (rather than the budget or the file) ended it.
int64_t read_line_into(text_sink& sink, int64_t* budget, bool* ended) {
  int64_t length = 0;
  int c = 0;
  *ended = false;
  while (take_byte(budget, &c)) {
    if (is_line_end(c)) {
      if (c == '\r') consume_if(budget, '\n');
      *ended = true;
      break;
    }
    sink.put(c);
    ++length;
  }
  sink.finish();
  return length;
}

// The first byte that is not of class 3 (blanks), or false when none comes.
bool skip_blank_bytes(int64_t* budget, int* c) {
  do {
    if (!take_byte(budget, c)) return false;
  } while (char_class(*c) == CC_BLANK);
  return true;
}

// Skips bytes of classes first..7, then gathers the run of classes 0..first-1 that
// follows (the byte after it is consumed), keeping at most 12 characters.
int64_t read_integer(int64_t* budget, int first_skipped_class) {
  int c = 0;
  do {
    if (!take_byte(budget, &c)) return 0;
  } while (char_class(c) >= first_skipped_class);
  char run[12];
  size_t n = 0;
  do {
    if (n < sizeof run) run[n++] = static_cast<char>(c);
  } while (take_byte(budget, &c) && char_class(c) < first_skipped_class);
  return integer_run_value(run, n);
}

}  // namespace

// ---- Lines --------------------------------------------------------------------------------

char* rd_read_line(size_t size, int64_t* budget, char* buffer) {
  text_sink sink(buffer, size);
  bool ended = false;
  read_line_into(sink, budget, &ended);
  return buffer;
}

char* rd_read_line_nonempty(size_t size, int64_t* budget, char* buffer) {
  bool ended = true;
  // A line counts as non-empty by its length, not by what a small buffer could keep.
  while (ended) {
    text_sink sink(buffer, size);
    if (read_line_into(sink, budget, &ended) > 0) break;
  }
  return buffer;
}

void rd_skip_line(int64_t* budget) { rd_skip_lines(1, budget); }

void rd_skip_lines(int64_t n, int64_t* budget) {
  bool ended = true;
  for (int64_t i = 0; i < n && ended; ++i) {
    text_sink nowhere(nullptr, 0);
    read_line_into(nowhere, budget, &ended);
  }
}

// ---- Tokens and words ---------------------------------------------------------------------

char* rd_read_token(size_t size, int64_t* budget, char* buffer, char* stop) {
  text_sink sink(buffer, size);
  int c = 0;
  char ended_by = '\0';
  if (skip_blank_bytes(budget, &c)) {
    do {
      if (char_class(c) == CC_BLANK) {
        ended_by = static_cast<char>(c);
        break;
      }
      sink.put(c);
    } while (take_byte(budget, &c));
  }
  sink.finish();
  if (stop) *stop = ended_by;
  return buffer;
}

char* rd_read_word(size_t size, int stop_at_line_end, int64_t* budget, char* stop,
                   char* buffer) {
  const int wanted = stop ? static_cast<unsigned char>(*stop) : 0;
  text_sink sink(buffer, size);
  int c = 0;
  char ended_by = '\0';
  bool have = take_byte(budget, &c);
  while (have && (c == ' ' || c == '\t') && c != wanted) have = take_byte(budget, &c);
  for (; have; have = take_byte(budget, &c)) {
    if (c == wanted || (stop_at_line_end && is_line_end(c))) {
      ended_by = static_cast<char>(c);
      if (c == '\r') consume_if(budget, '\n');
      break;
    }
    sink.put(c);
  }
  sink.finish();
  if (stop) *stop = ended_by;
  return buffer;
}

char* rd_read_quoted(size_t size, int64_t* budget, char* buffer) {
  text_sink sink(buffer, size);
  int c = 0;
  bool have = take_byte(budget, &c);
  while (have && c != '"') have = take_byte(budget, &c);
  if (have) {
    while (take_byte(budget, &c) && c != '"') sink.put(c);
  }
  sink.finish();
  return buffer;
}

// ---- Digits and integers ------------------------------------------------------------------

int rd_read_digit(int first, int64_t* budget) {
  int c = first;
  while (c < '0' || c > '9') {
    if (!take_byte(budget, &c)) return 0;
  }
  return c - '0';
}

int64_t rd_read_long(int64_t* budget) { return read_integer(budget, CC_NUMBER); }

int64_t rd_read_ulong(int64_t* budget) { return read_integer(budget, CC_SIGN); }

int64_t rd_read_bytes_len(int64_t /*ignored*/, int64_t n, void* buffer) {
  if (n > 0) rd_read_bytes(buffer, n);
  return n;
}

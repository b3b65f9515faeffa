// The state of one GIF read, shared by the block automaton (gif_read.cpp), the LZW
// decoder (gif_lzw.cpp) and the frame composition (gif_frames.cpp).
#pragma once
#include <cstdint>
#include <vector>

struct bitmap_t;
struct container_t;
struct img_frame_t;

constexpr int kGifMaxCodes = 4096;  // LZW table entries; codes are at most 12 bits
constexpr int kGifWindowSpare = 32;  // bytes past a string that its copy may write

// The LZW decoder of one image: a table of strings, each kept as its prefix code, its
// last index, its first index and its length, so that its memory is fixed whatever the
// data says and a string is written straight into place. Where an earlier copy of an
// entry's prefix string is still in the frame's window (gif_state::window), the string
// is copied from there; else it is spelt through the table, last index first.
struct gif_lzw_entry {
  uint16_t prefix;  // the code of the string without its last index (a root: itself)
  uint8_t suffix;   // last index
  uint8_t first;    // first index
};

struct gif_lzw {
  int min_size = 0;           // the minimum code size byte
  int size = 0;               // bits of the next code
  int clear = 0;              // clear code (2^min_size)
  int end = 0;                // end code
  int next = 0;               // next free code; kGifMaxCodes when the table is full
  int prev = -1;              // previous code, -1 just after a clear
  bool done = false;          // end code met (or frame full): later data is ignored
  uint64_t bits = 0;          // bit accumulator, least significant bit first
  int nbits = 0;
  int prev_at = -1;           // where the previous code's string starts in the window
  gif_lzw_entry table[kGifMaxCodes];
  uint16_t length[kGifMaxCodes];  // indices in each code's string
  int at[kGifMaxCodes];           // window offset of a copy of each entry's prefix, or -1
};

// The picture a frame is drawn on: an earlier image (null: nothing drawn yet), with a
// rectangle restored to the background when the frame before asked for it.
struct gif_base {
  bitmap_t* image = nullptr;
  bool cleared = false;
  int cx = 0, cy = 0, cw = 0, ch = 0;
};

struct gif_state {
  // The file.
  int pixel_kind = 7;             // 5 "87a", 6 "89a", 7 any other version
  int bits_per_sample = 1;
  int screen_w = 0, screen_h = 0;
  uint8_t global[768] = {};       // red at 0, green at 256, blue at 512
  int global_count = 0;           // entries of the global table (0 without one)
  int64_t file_size = 0;
  int end_flag = 0;               // -1 after an error, 1 at the trailer
  int loop_count = 0;             // from "NETSCAPE2.0"; 0 in the file reads 65535

  // Where the images go.
  container_t* list = nullptr;
  bitmap_t* record = nullptr;     // the caller's record: the first image
  bool record_used = false;       // the record holds an image (it was filed)
  int images = 0;                 // images made so far
  int64_t pixel_bytes = 0;        // cost of all images made so far (gif_frames.cpp)

  // The last graphic control, for the next image.
  img_frame_t* frame = nullptr;   // frame record waiting for its image
  std::vector<img_frame_t*> frames;  // every frame record made
  bool transparent = false;
  int key = 0;                    // transparent index
  int disposal = 0;               // kept until the image's data ends

  // The image being decoded.
  bitmap_t* image = nullptr;
  bool rgb = false;               // composed in red, green and blue planes
  int left = 0, top = 0, fw = 0, fh = 0;
  bool interlaced = false;
  uint8_t palette[768] = {};      // the frame's colours (its lookup tables), white added
  int palette_count = 0;          // entries of the frame's table
  int background = 0;             // index of white in `palette`
  gif_base base;                  // what this frame is drawn on
  bool open = false;              // between the image descriptor and its terminator
  // The frame's indices as decoded: the window holds the unfinished row at `row_at`
  // (`col` indices of it so far) and, before it, the indices decoded last, from which
  // later strings are copied; it slides back when the next string may not fit. Rows are
  // laid on the image as they are completed, in file order (`rows_done` of them).
  std::vector<uint8_t> window;
  int window_size = 0;            // strings end before this; the vector has spare past it
  int row_at = 0;
  int col = 0;
  int64_t rows_done = 0;
  std::vector<uint8_t> scratch;   // one image line, for composing
  gif_lzw lzw;
};

// ---- gif_lzw.cpp -------------------------------------------------------------------
// Starts the decoder for a minimum code size of 1 to 8.
void gif_lzw_start(gif_lzw* z, int min_size);
// Decodes n bytes of image data (one sub-block). Returns 0, or 14 with gblerr set for a
// code that cannot be decoded.
int gif_lzw_feed(gif_state* st, const uint8_t* data, int n);

// ---- gif_frames.cpp ----------------------------------------------------------------
// After an image descriptor has been read (geometry, palette, minimum code size):
// makes, files and prepares the frame's image. Returns 0, or the result code (gblerr
// set: 1 memory, 14 size).
int gif_begin_image(gif_state* st);
// The frame row that lies at `px` (st->fw indices) is complete: it is laid over its
// image line. Returns true when the frame is full. Not called for an empty frame
// (gif_frame_empty).
bool gif_row_done(gif_state* st, const uint8_t* px);
// A frame of no pixels: its first string already fills it.
inline bool gif_frame_empty(const gif_state* st) { return st->fw <= 0 || st->fh <= 0; }
// The frame's data has ended: its disposal decides what the next frame is drawn on.
void gif_end_image(gif_state* st);

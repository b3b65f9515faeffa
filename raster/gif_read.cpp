// The GIF reader (gif_read.h): the header, the block automaton and the extensions.
//
// After the header and the global colour table, each byte read at the top of a block
// is given a class and the pair (state, class) selects an action and the next state
// from one table. Image data is handed to the LZW decoder one sub-block at a time
// (gif_lzw.cpp); the images are made and composed in gif_frames.cpp.
#include "raster/gif_read.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/gif_state.h"

namespace {

constexpr int64_t kGifBuffer = int64_t(64) << 10;
constexpr int kProgressEvery = 64;  // blocks between two progress updates

int bad_file() { return set_gblerr(ERR_BAD_FILE); }

// ---- The block automaton ------------------------------------------------------------
enum gif_action : uint8_t {
  A_NONE,
  A_ERROR,
  A_IMAGE,        // image descriptor
  A_TRAILER,
  A_APPLICATION,  // application extension
  A_CONTROL,      // graphic control extension
  A_PLAIN_TEXT,   // plain text extension header
  A_DATA,         // image data sub-block
  A_END_IMAGE,
  A_SKIP,         // extension sub-block
};

enum gif_block_state : uint8_t { S_TOP, S_EXTENSION, S_TERMINATOR, S_DATA, S_SUB_BLOCKS };

struct gif_step {
  gif_action action;
  gif_block_state next;
};

// Byte classes: 0x21, 0x00, 0xFF, 0xFE, 0xF9, 0x2C, 0x01, 0x3B, any other.
int byte_class(int b) {
  switch (b) {
    case 0x21: return 0;
    case 0x00: return 1;
    case 0xFF: return 2;
    case 0xFE: return 3;
    case 0xF9: return 4;
    case 0x2C: return 5;
    case 0x01: return 6;
    case 0x3B: return 7;
    default: return 8;
  }
}

constexpr gif_step E{A_ERROR, S_TOP};
constexpr gif_step D{A_DATA, S_DATA};
constexpr gif_step K{A_SKIP, S_SUB_BLOCKS};

// The plain text extension goes on to its text sub-blocks like any other extension.
constexpr gif_step kSteps[5][9] = {
    // 0x21 0x00 0xFF 0xFE 0xF9 0x2C 0x01 0x3B other
    {{A_NONE, S_EXTENSION}, {A_NONE, S_TOP}, E, E, E, {A_IMAGE, S_DATA}, E,
     {A_TRAILER, S_TOP}, E},
    {E, E, {A_APPLICATION, S_SUB_BLOCKS}, {A_NONE, S_SUB_BLOCKS},
     {A_CONTROL, S_TERMINATOR}, E, {A_PLAIN_TEXT, S_SUB_BLOCKS}, E, E},
    {E, {A_NONE, S_TOP}, E, E, E, E, E, E, E},
    {D, {A_END_IMAGE, S_TOP}, D, D, D, D, D, D, D},
    {K, {A_NONE, S_TOP}, K, K, K, K, K, K, K},
};

// ---- Reading helpers -------------------------------------------------------------------
// Skips n bytes; 14 when fewer are left.
int skip(int64_t n) {
  if (n <= 0) return 0;
  if (n > rd_bytes_left()) return bad_file();
  rd_seek(n, 1);
  return 0;
}

// n bytes; 14 when fewer are left.
int read_exact(void* out, int64_t n) {
  if (n > rd_bytes_left() || rd_read_bytes(out, n) != n) return bad_file();
  return 0;
}

int le16(const uint8_t* p) { return p[0] | p[1] << 8; }

// A colour table of n entries into a working palette (red at 0, green 256, blue 512).
int read_palette(uint8_t* palette, int n) {
  uint8_t raw[768];
  if (int rc = read_exact(raw, 3 * n)) return rc;
  std::memset(palette, 0, 768);
  for (int i = 0; i < n; ++i) {
    palette[i] = raw[3 * i];
    palette[256 + i] = raw[3 * i + 1];
    palette[512 + i] = raw[3 * i + 2];
  }
  return 0;
}

// ---- Header --------------------------------------------------------------------------
int read_header(gif_state* st) {
  uint8_t h[13];
  if (read_exact(h, 13) || std::memcmp(h, "GIF", 3) != 0) return bad_file();
  if (std::memcmp(h + 3, "87a", 3) == 0)
    st->pixel_kind = kGifPixelKind87a;
  else if (std::memcmp(h + 3, "89a", 3) == 0)
    st->pixel_kind = kGifPixelKind89a;
  else
    st->pixel_kind = kGifPixelKindOther;
  st->screen_w = le16(h + 6);
  st->screen_h = le16(h + 8);
  const int packed = h[10];
  st->bits_per_sample = (packed & 7) + 1;
  if (packed & 0x80) {
    st->global_count = 1 << st->bits_per_sample;
    if (int rc = read_palette(st->global, st->global_count)) return rc;
  }
  return 0;
}

// ---- Actions -------------------------------------------------------------------------
int image_descriptor(gif_state* st) {
  uint8_t d[9];
  if (int rc = read_exact(d, 9)) return rc;
  st->left = le16(d);
  st->top = le16(d + 2);
  st->fw = le16(d + 4);
  st->fh = le16(d + 6);
  const int packed = d[8];
  st->interlaced = (packed & 0x40) != 0;
  if (packed & 0x80) {
    st->palette_count = 1 << ((packed & 7) + 1);
    if (int rc = read_palette(st->palette, st->palette_count)) return rc;
  } else {
    std::memcpy(st->palette, st->global, sizeof st->palette);
    st->palette_count = st->global_count;
  }
  const int min_size = rd_read_byte();
  if (get_gblerr()) return bad_file();
  // Indices are bytes: a minimum code size above 8 cannot be decoded.
  if (min_size < 1 || min_size > 8) return bad_file();
  if (int rc = gif_begin_image(st)) return rc;
  gif_lzw_start(&st->lzw, min_size);
  return 0;
}

int image_sub_block(gif_state* st, int length) {
  if (length > rd_bytes_left()) {
    // A trailer where a sub-block length was expected: the data was cut short.
    if (length != 0x3B) return bad_file();
    gif_end_image(st);
    st->end_flag = 1;
    return 0;
  }
  uint8_t data[255];
  if (int rc = read_exact(data, length)) return rc;
  return gif_lzw_feed(st, data, length);
}

int application(gif_state* st) {
  const int size = rd_read_byte();
  uint8_t id[11];
  if (get_gblerr() || size < 11) return bad_file();
  if (int rc = read_exact(id, 11)) return rc;
  if (int rc = skip(size - 11)) return rc;
  if (std::memcmp(id, "NETSCAPE2.0", 11) != 0) return 0;
  // Sub-blocks up to the one whose identifier is 1: the loop count.
  for (;;) {
    const int length = rd_read_byte();
    if (get_gblerr() || length < 1) return bad_file();
    const int sub_id = rd_read_byte();
    if (get_gblerr()) return bad_file();
    if ((sub_id & 7) != 1) {
      if (int rc = skip(length - 1)) return rc;
      continue;
    }
    if (length < 3) return bad_file();
    uint8_t v[2];
    if (int rc = read_exact(v, 2)) return rc;
    st->loop_count = le16(v) == 0 ? 65535 : le16(v);
    return skip(length - 3);
  }
}

int graphic_control(gif_state* st) {
  const int size = rd_read_byte();
  if (get_gblerr() || size < 4) return bad_file();
  uint8_t c[4];
  if (int rc = read_exact(c, 4)) return rc;
  if (int rc = skip(size - 4)) return rc;
  img_frame_t* f = nullptr;
  obj_new_registered(CLS_IMG_FRAME, &f);
  if (!f) return set_gblerr(ERR_MEMORY);
  obj_add_to_id_list(st->list, f);
  st->frames.push_back(f);
  st->frame = f;
  const int packed = c[0];
  st->disposal = (packed >> 2) & 7;
  st->transparent = (packed & 1) != 0;
  st->key = c[3];
  f->disposal = uint8_t(st->disposal);
  f->user_input = uint8_t((packed >> 1) & 1);
  f->delay = uint16_t(le16(c + 1));
  f->loop_count = uint16_t(st->loop_count);
  return 0;
}

int plain_text_header() {
  const int size = rd_read_byte();
  if (get_gblerr()) return bad_file();
  return skip(size);
}

int run_action(gif_state* st, gif_action action, int byte) {
  switch (action) {
    case A_NONE: return 0;
    case A_ERROR: return bad_file();
    case A_IMAGE: return image_descriptor(st);
    case A_TRAILER: st->end_flag = 1; return 0;
    case A_APPLICATION: return application(st);
    case A_CONTROL: return graphic_control(st);
    case A_PLAIN_TEXT: return plain_text_header();
    case A_DATA: return image_sub_block(st, byte);
    case A_END_IMAGE: gif_end_image(st); return 0;
    case A_SKIP: return skip(byte);
  }
  return bad_file();
}

int read_blocks(gif_state* st) {
  gif_block_state state = S_TOP;
  const char* name = file_name_of(st->record->file);
  for (int64_t n = 0; st->end_flag == 0; ++n) {
    if (n % kProgressEvery == 0) core_progress_file_position(name);
    if (rd_bytes_left() <= 0) break;
    const int byte = rd_read_byte();
    if (get_gblerr()) return bad_file();
    const gif_step step = kSteps[state][byte_class(byte)];
    const int rc = run_action(st, step.action, byte);
    if (rc || get_gblerr()) {
      st->end_flag = -1;
      return get_gblerr() ? get_gblerr() : rc;
    }
    state = step.next;
  }
  // The file ends inside an image's data: the frame is as far as the data went.
  if (st->open) gif_end_image(st);
  return 0;
}

// ---- Clean-up --------------------------------------------------------------------------
void drop(container_t* list, obj_t* obj) {
  if (!obj) return;
  obj_list_remove_id(list, obj->id);
  free_obj(&obj);
}

// After an error the image being decoded is dropped with its frame record; frame
// records that got no image are dropped too. The caller's record, when it holds no
// image, is freed here.
void finish(gif_state* st, bool failed) {
  if (failed && st->open) {
    for (img_frame_t*& f : st->frames)
      if (f && f->bitmap == st->image) drop(st->list, std::exchange(f, nullptr));
    if (st->image == st->record) st->record_used = false;
    else drop(st->list, st->image);
    st->image = nullptr;
    st->open = false;
  }
  // The loop count belongs to the animation: frames whose control came before the
  // "NETSCAPE2.0" block get it too.
  for (img_frame_t*& f : st->frames) {
    if (f && !f->bitmap) drop(st->list, std::exchange(f, nullptr));
    if (f) f->loop_count = uint16_t(st->loop_count);
  }
  if (!st->record_used) {
    obj_list_remove_id(st->list, st->record->id);
    free_obj(&st->record);
  }
}

int read_file(gif_state* st) {
  obj_t* file = st->record->file;
  if (rd_open(file, kGifBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  st->file_size = rd_size();
  int rc = read_header(st);
  if (rc == 0) rc = read_blocks(st);
  set_gblerr(0);
  rd_close_file(file);
  return rc;
}

// A first load: every image goes to the list.
int first_load(bitmap_t** image, container_t* list) {
  auto st = std::make_unique<gif_state>();
  st->list = list;
  st->record = *image;
  const int rc = read_file(st.get());
  finish(st.get(), rc != 0);
  *image = nullptr;
  return rc;
}

// A second decode (no list): the file is decoded again into images of a list of its
// own, and the lines of the image of the same number go into the given record.
int second_decode(bitmap_t* target) {
  container_t* list = obj_list_new(nullptr);
  bitmap_t* record = nullptr;
  bitmap_clone_header(target, &record);
  if (!list || !record) {
    free_obj(&record);
    free_obj(&list);
    set_gblerr(0);
    return ERR_MEMORY;
  }
  const int rc = first_load(&record, list);
  const int number = target->frame_number;
  const int wanted = std::max(number, 1);
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    obj_t* o = obj_list_get(list, i, nullptr);
    if (!o || o->cls != CLS_BITMAP) continue;
    bitmap_t* b = static_cast<bitmap_t*>(o);
    if (b->frame_number != wanted) continue;
    if (b->width != target->width || b->height != target->height || b->planes != target->planes)
      break;
    const size_t bytes = size_t(b->width) * size_t(b->planes);
    for (int y = 0; y < b->height; ++y) {
      const uint8_t* src = get_img_line_adr(b, y, 0);
      uint8_t* dst = get_img_line_adr(target, y, 0);
      src = get_img_line_adr(b, y, 0);
      if (src && dst) std::memcpy(dst, src, bytes);
    }
    break;
  }
  obj_list_free_elements(list);
  free_obj(&list);
  return rc;
}

}  // namespace

int gif_read(bitmap_t** image, container_t* list) {
  if (!image || !*image) return ERR_BAD_FILE;
  if (!list) return second_decode(*image);
  return first_load(image, list);
}

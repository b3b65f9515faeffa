// The images of the GIF reader (gif_state.h): one per frame, each the whole picture at
// that moment.
//
// A frame's image is made before its data is decoded: every line starts as the
// picture the frame is drawn on (the image before, with the area that the frame
// before it disposed of restored to the white background), and each frame row, once
// decoded, is laid over it, clipped to the image, its transparent pixels leaving what
// lies beneath. So the working memory is one frame row and one image line, whatever
// the sizes.
//
// The image stays one plane of palette indices while the frame's colours (lookup
// tables with white) and transparency are those of the picture beneath. When they
// differ (a local colour table, another transparent index), indices of one palette
// cannot stand for the other's colours, so the image is composed in red, green and
// blue planes instead: beneath colours through their own tables, the transparent
// pixels of the picture beneath as white. Every later frame follows in RGB. This
// composition is done here rather than through image_combine, which knows neither a
// disposed area nor a change of palette.
#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/obj_list.h"
#include "map/bitmap_record.h"
#include "raster/gif_state.h"
#include "raster/raster_limits.h"
#include "raster/raster_ops.h"

namespace {

// An image of more pixels than this must be one the file's data could fill: each byte
// of LZW data gives at most 4096 pixels.
constexpr int64_t kFreePixels = int64_t(1) << 24;
constexpr int64_t kPixelsPerByte = 4096;

constexpr uint8_t kWhite = 255;

int bad_size() { return set_gblerr(ERR_BAD_FILE); }
int no_memory() { return set_gblerr(ERR_MEMORY); }

bool same_transparency(const bitmap_t* b, const gif_state* st) {
  if (bool(b->has_transparent) != st->transparent) return false;
  return !st->transparent || b->transparent[0] == st->key;
}

bool same_palette(const bitmap_t* b, const gif_state* st) {
  return std::memcmp(b->lut_r, st->palette, 256) == 0 &&
         std::memcmp(b->lut_g, st->palette + 256, 256) == 0 &&
         std::memcmp(b->lut_b, st->palette + 512, 256) == 0;
}

// RGB when the picture beneath is RGB or its indices mean other colours.
bool compose_in_rgb(const gif_state* st) {
  const bitmap_t* under = st->base.image;
  if (!under) return false;
  return under->planes == 3 || !same_palette(under, st) || !same_transparency(under, st);
}

// What an image costs against the cap on all the images of a file: its pixel bytes and
// the line store's bookkeeping of each row (a file of many frames of many short rows
// costs more than its pixels say).
int64_t image_cost(int64_t w, int64_t h, int planes) {
  return h * (w * planes + kRasterRowOverhead);
}

int check_size(gif_state* st, int64_t w, int64_t h, int planes) {
  if (raster_check_size(w, h, planes)) return ERR_MEMORY;
  const int64_t pixels = w * h;
  if (pixels > kFreePixels && pixels / kPixelsPerByte > st->file_size) return bad_size();
  if (st->pixel_bytes + image_cost(w, h, planes) > raster_max_image_bytes()) return no_memory();
  return 0;
}

// The record of the next image: the caller's for the first, a copy of the header of
// the image before for the others.
bitmap_t* next_record(gif_state* st) {
  if (!st->record_used) {
    st->record_used = true;
    return st->record;
  }
  bitmap_t* b = nullptr;
  bitmap_clone_header(st->image ? st->image : st->record, &b);
  return b;
}

void set_header(gif_state* st, bitmap_t* b) {
  b->variant = st->pixel_kind;
  b->frame_number = st->images;
  b->samples_per_pixel = st->rgb ? 3 : 1;
  b->bits_per_sample = st->rgb ? 8 : st->bits_per_sample;
  std::memset(b->transparent, 0, sizeof b->transparent);
  b->has_transparent = 0;
  if (st->rgb) {
    set_graylevel_lut(b);
    return;
  }
  std::memcpy(b->lut_r, st->palette, 256);
  std::memcpy(b->lut_g, st->palette + 256, 256);
  std::memcpy(b->lut_b, st->palette + 512, 256);
  if (st->transparent) {
    b->has_transparent = 1;
    b->transparent[0] = uint8_t(st->key);
  }
}

// Line y of the picture beneath into st->scratch, in the new image's layout.
void base_line(gif_state* st, int y) {
  bitmap_t* img = st->image;
  const int w = img->width;
  uint8_t* out = st->scratch.data();
  if (st->rgb)
    std::memset(out, kWhite, size_t(w) * 3);
  else
    std::memset(out, st->background, size_t(w));
  const gif_base& base = st->base;
  bitmap_t* under = base.image;
  if (!under || y >= under->height) return;
  const uint8_t* src = get_img_line_adr(under, y, 0);
  if (!src) return;
  const int uw = under->width;
  const int n = std::min(w, uw);
  if (!st->rgb) {
    std::memcpy(out, src, size_t(n));
  } else if (under->planes == 3) {
    for (int p = 0; p < 3; ++p) std::memcpy(out + p * w, src + p * uw, size_t(n));
  } else {
    for (int x = 0; x < n; ++x) {
      const uint8_t v = src[x];
      if (under->has_transparent && v == under->transparent[0]) continue;  // stays white
      out[x] = under->lut_r[v];
      out[w + x] = under->lut_g[v];
      out[2 * w + x] = under->lut_b[v];
    }
  }
  if (!base.cleared || y < base.cy || y >= base.cy + base.ch) return;
  const int x0 = std::min(base.cx, w), x1 = std::min(base.cx + base.cw, w);
  if (x1 <= x0) return;
  if (st->rgb)
    for (int p = 0; p < 3; ++p) std::memset(out + p * w + x0, kWhite, size_t(x1 - x0));
  else
    std::memset(out + x0, st->background, size_t(x1 - x0));
}

void fill_from_base(gif_state* st) {
  bitmap_t* img = st->image;
  const size_t bytes = size_t(img->width) * size_t(img->planes);
  for (int y = 0; y < img->height; ++y) {
    base_line(st, y);
    uint8_t* dst = get_img_line_adr(img, y, 0);
    if (dst) std::memcpy(dst, st->scratch.data(), bytes);
  }
}

// Frame row number of the k-th row of the data of an interlaced frame of h rows: every
// 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
int64_t interlaced_row(int64_t k, int64_t h) {
  const int64_t pass1 = (h + 7) / 8, pass2 = (h + 3) / 8, pass3 = (h + 1) / 4;
  if (k < pass1) return 8 * k;
  k -= pass1;
  if (k < pass2) return 8 * k + 4;
  k -= pass2;
  if (k < pass3) return 4 * k + 2;
  return 2 * (k - pass3) + 1;
}

// A completed frame row, laid over its image line: as one copy where no pixel is
// transparent, else index by index (the picture beneath stays under transparent ones).
void write_row(gif_state* st, const uint8_t* px) {
  bitmap_t* img = st->image;
  const int64_t r = st->interlaced ? interlaced_row(st->rows_done, st->fh) : st->rows_done;
  const int64_t y = st->top + r;
  if (y >= img->height || st->left >= img->width) return;
  uint8_t* dst = get_img_line_adr(img, int(y), 0);
  if (!dst) return;
  const int w = img->width;
  const int left = st->left;
  const int n = int(std::min<int64_t>(st->fw, int64_t(w) - left));
  // Transparent pixels show the picture beneath; with none, they stay transparent.
  const bool see_through = st->transparent && st->base.image;
  const uint8_t key = uint8_t(st->key);
  if (!st->rgb) {
    uint8_t* out = dst + left;
    if (!see_through) {
      std::memcpy(out, px, size_t(n));
      return;
    }
    for (int x = 0; x < n; ++x) {
      const uint8_t v = px[x];
      out[x] = v == key ? out[x] : v;
    }
    return;
  }
  const uint8_t* lut = st->palette;
  uint8_t* red = dst + left;
  uint8_t* green = dst + w + left;
  uint8_t* blue = dst + 2 * w + left;
  for (int x = 0; x < n; ++x) {
    const uint8_t v = px[x];
    if (see_through && v == key) continue;
    red[x] = lut[v];
    green[x] = lut[256 + v];
    blue[x] = lut[512 + v];
  }
}

}  // namespace

int gif_begin_image(gif_state* st) {
  // A frame larger than the screen makes the screen grow, for it and the frames after.
  st->screen_w = std::max({st->screen_w, st->fw, 1});
  st->screen_h = std::max({st->screen_h, st->fh, 1});
  int count = st->palette_count;
  uint8_t white = 0;
  palette_find_or_add_white(st->palette, &count, &white);
  st->background = white;
  st->rgb = compose_in_rgb(st);
  const int planes = st->rgb ? 3 : 1;
  if (int rc = check_size(st, st->screen_w, st->screen_h, planes)) return rc;
  bitmap_t* img = next_record(st);
  if (!img) return no_memory();
  st->image = img;
  st->open = true;
  ++st->images;
  set_header(st, img);
  obj_add_to_id_list(st->list, img);
  if (st->frame) {
    st->frame->frame_number = st->images;
    st->frame->bitmap = img;
    st->frame = nullptr;
  }
  if (alloc_bitmap(img, st->screen_w, st->screen_h, planes, 2) != 0) return no_memory();
  st->pixel_bytes += image_cost(st->screen_w, st->screen_h, planes);
  st->scratch.assign(size_t(st->screen_w) * planes, 0);
  fill_from_base(st);
  // History enough for most strings' prefixes; room for a whole row and a whole string.
  constexpr int kHistory = 32 << 10;
  st->window_size = 2 * std::max(kHistory, st->fw) + kGifMaxCodes;
  st->window.assign(size_t(st->window_size) + kGifWindowSpare, 0);
  st->row_at = 0;
  st->col = 0;
  st->rows_done = 0;
  return 0;
}

bool gif_row_done(gif_state* st, const uint8_t* px) {
  write_row(st, px);
  return ++st->rows_done >= st->fh;
}

void gif_end_image(gif_state* st) {
  st->open = false;
  bitmap_t* img = st->image;
  switch (st->disposal) {
    case 2:  // the frame's area goes back to the background
      st->base = gif_base{img, true, st->left, st->top, st->fw, st->fh};
      break;
    case 3:  // the next frame is drawn on what this one was drawn on
      break;
    default:
      st->base = gif_base{img, false, 0, 0, 0, 0};
      break;
  }
  // A graphic control applies to the one image that follows it.
  st->transparent = false;
  st->key = 0;
  st->disposal = 0;
}

// The GIF reader of the image loading dispatcher (decoder code 2).
//
// Reads GIF87a and GIF89a files with a table-driven block automaton and an LZW
// decoder, and makes one image record per frame, each holding the whole picture at
// that moment: the frame laid over the picture before it (what the previous frame's
// disposal left: kept, its area restored to the background, or the picture before it).
// The background is white: the palette's white, or white added to it, or the entry
// nearest to white in a full palette. Transparent pixels show the picture beneath; in
// a first frame they keep the transparent index and the image its transparency flag.
//
// An image is one plane of palette indices (its lookup tables are the frame's local
// or global colour table) as long as its palette and transparency are those of the
// picture beneath. A frame whose colours differ would show the picture beneath in the
// wrong colours if it were kept as indices, so that image, and every one after it, is
// composed in red, green and blue planes (3 samples per pixel, 8 bits, identity
// tables, no transparency: what was transparent beneath is white).
//
// A graphic control extension makes a frame record (`img_frame`, class 29) with its
// delay, disposal, user-input flag and the loop count of the "NETSCAPE2.0" extension
// (0 in the file is stored as 65535; every frame record gets it, wherever the block
// stands); it applies to the next image only and points
// to it. Frames past the screen edge are clipped; a frame larger than the screen makes
// the screen (and every later image) grow. Plain text and comment extensions are
// skipped. The LZW table stops at 4096 codes until the next clear code.
//
// Contract: `*image` is the record prepared by the dispatcher (file object, decoder
// code, identity tables, gamma -1.0). With a list (a first load) the record becomes the
// first image; every image and frame record is filed in the list here, and `*image`
// is null on return (a record that got no image is freed). Images carry the pixel
// kind 5 ("87a"), 6 ("89a") or 7 (other versions), image numbers 1, 2, ..., bits per
// sample from the global table size (8 for RGB images), store mode 2. Without a list
// (a second decode) the file is decoded again and the image of the record's number is
// written into the record, which stays the caller's.
//
// Returns 0 (also for data that ends at a block boundary, or a trailer byte where an
// image sub-block length was expected); 2 when the file cannot be opened; 14 for a bad
// signature, block, size, cut-short block or LZW data; 1 when the images do not fit
// in memory. Every size is checked before anything is allocated, and an image larger
// than 2^24 pixels must be one the file's data could fill. On an error the images
// already completed stay in the list; the one being decoded is dropped with its frame
// record. gblerr is clear on return.
//
// Files: gif_read.cpp (header, automaton, extensions, the result), gif_lzw.cpp (LZW),
// gif_frames.cpp (images, composition, interlaced rows), gif_state.h (shared state).
#pragma once

struct bitmap_t;
struct container_t;

constexpr int kGifPixelKind87a = 5;
constexpr int kGifPixelKind89a = 6;
constexpr int kGifPixelKindOther = 7;

int gif_read(bitmap_t** image, container_t* list);

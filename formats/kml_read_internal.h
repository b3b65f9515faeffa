// What the KML reader's files share: the reader state of one read and the lookups of
// the element stack (kml_read.cpp, kml_read_text.cpp, kml_resolve.cpp).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/dates.h"
#include "core/xml.h"
#include "formats/kml.h"

struct bitmap_t;
struct folder_t;
struct fileatt_t;
struct poi_t;

// One "href" or "icon": a ground overlay image, or the icon of a style.
struct kml_image_request {
  std::string ref;
  container_t* list = nullptr;  // ground overlay: the list that receives the image
  double west = 0.0, east = 0.0, south = 0.0, north = 0.0;
  double rotation = 0.0;        // degrees, in (-180, 180]
  int draw_order = 0;
  bool style_icon = false;
  bitmap_t* image = nullptr;    // after resolution
};

// One "href" of a NetworkLink's "Link" or "Url".
struct kml_link_record {
  container_t* list = nullptr;
  folder_t* folder = nullptr;
  std::string ref;
  int refresh = 0;
  int link_record = -1;  // the record the current NetworkLink made, -1 none
};

struct kml_reader {
  obj_t* file = nullptr;
  container_t* content = nullptr;
  // The current feature.
  char16_t* name = nullptr;
  char16_t* description = nullptr;
  date_rec time{};
  // A "drawOrder" read before the overlay's image reference: the request takes it.
  int draw_order = 0;
  // Styles: every style record the read made (freed at its end), the dictionary by
  // identifier, the default one, the current one, and an anonymous record reused by
  // the next "Style" without identifier.
  std::vector<kml_style_t*> owned_styles;
  std::unordered_map<std::string, kml_style_t*> styles;
  kml_style_t* default_style = nullptr;
  kml_style_t* style = nullptr;
  kml_style_t* scratch = nullptr;
  kml_style_t* style_map = nullptr;
  kml_style_t sink{};  // takes style values met where no style is open (never read)
  bool map_normal = false;
  // Images and the points that wait for a style icon.
  std::vector<std::unique_ptr<kml_image_request>> requests;
  std::vector<std::pair<poi_t*, kml_image_request*>> icon_users;
  // Linked files, and the file objects released at the end.
  std::vector<kml_link_record> links;
  std::vector<fileatt_t*> release;
  int refresh = 0;
  int link_record = -1;  // the record the current NetworkLink made, -1 none
  // The current object list and folder, stacked by "Folder" (back is current); which
  // stack positions pushed one.
  std::vector<container_t*> lists;
  std::vector<folder_t*> folders;
  bool pushed[kXmlMaxDepth] = {};
  // The current object (a point, a line or null) and image request.
  obj_t* current = nullptr;
  kml_image_request* request = nullptr;
  obj_t* georef = nullptr;  // the content list's georeference
  int64_t made = 0;         // objects made, for the memory budget watch
};

inline kml_reader* kml_state(xml_parser_t* ctx) { return static_cast<kml_reader*>(ctx->user); }

// Position of the element on top of the stack (-1 when none is stacked).
inline int kml_top(const xml_parser_t* ctx) {
  return (ctx->depth < kXmlMaxDepth ? ctx->depth : kXmlMaxDepth) - 1;
}
// The code of the element at a stack position; names outside the dictionary give 0.
inline int kml_code_at(const xml_parser_t* ctx, int k) {
  if (k < 0) return KML_NONE;
  const int id = ctx->stack[k];
  return id >= 1 && id < kKmlElementRoutines ? id : KML_NONE;
}
// Position of the element that encloses position k, passing over elements outside the
// dictionary; -1 when there is none.
inline int kml_parent_at(const xml_parser_t* ctx, int k) {
  for (int p = k - 1; p >= 0; --p)
    if (kml_code_at(ctx, p) != KML_NONE) return p;
  return -1;
}
inline int kml_parent_code(const xml_parser_t* ctx, int k) {
  return kml_code_at(ctx, kml_parent_at(ctx, k));
}

// The style that style values go to: the current one, or the sink while the current
// one is the default style, which no element may change.
inline kml_style_t* kml_edit_style(kml_reader* st) {
  return st->style && st->style != st->default_style ? st->style : &st->sink;
}

// The current list and folder.
inline container_t* kml_list(const kml_reader* st) { return st->lists.back(); }
inline folder_t* kml_folder(const kml_reader* st) { return st->folders.back(); }

// A new object made: the memory budget is looked at every few thousand objects.
void kml_count_made(kml_reader* st);
// Adds an object made in the content list to the current list too (nested folders).
void kml_share(kml_reader* st, obj_t* obj);

// Text routine of an element code, given the element's stack position and its text.
using kml_text_fn = void (*)(xml_parser_t* ctx, int top, const char* text);
extern const kml_text_fn kml_text_routines[kKmlElementRoutines];

// After the parse (kml_resolve.cpp): the image requests, then the linked files.
void kml_resolve_images(kml_reader* st);
void kml_resolve_links(kml_reader* st);
// The path or address of a reference seen from the KML file (owned by the string).
std::string kml_resolve_reference(const obj_t* file, const std::string& ref);
// Linked-file loads left in the outermost read running on this thread.
bool kml_take_link_load();

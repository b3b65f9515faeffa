// The extent list (class 58): the rectangles waiting to be redrawn, in drawing order.
//
// Rectangles are added with merging (a new one joins the first entry whose union with
// it stays cheap), taken one at a time from the front, and subtracted once drawn, which
// splits every entry the drawn rectangle overlaps into its parts outside it. Entries
// live in the list's element buffer (40-byte records); a growth may move the buffer, so
// entries are copied out by value before anything is appended.
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "geodesy/extent.h"

namespace {

extent_t* entry_at(extent_list_t* list, uint32_t i) {
  void* p = nullptr;
  buf_at(&list->buf, i, &p);
  return static_cast<extent_t*>(p);
}

extent_t copy_at(const extent_list_t* list, uint32_t i) {
  extent_t e;
  std::memcpy(&e, list->buf.data + size_t(i) * sizeof(extent_t), sizeof e);
  return e;
}

void put_at(extent_list_t* list, uint32_t i, const extent_t& e) {
  std::memcpy(entry_at(list, i), &e, sizeof e);
}

void push_back(extent_list_t* list, const extent_t& e) {
  buf_grow(&list->buf, 1);
  put_at(list, list->buf.count - 1, e);
}

void remove_at(extent_list_t* list, uint32_t i) { buf_remove_range(&list->buf, i, i); }

// The union of every entry and e replaces the whole list.
void collapse(extent_list_t* list, extent_t e) {
  for (uint32_t i = 0; i < list->buf.count; ++i) extent_union(&e, copy_at(list, i));
  list->buf.count = 0;
  push_back(list, e);
}

// Strict overlap: rectangles that only touch do not overlap.
bool overlaps(const extent_t& r, const extent_t& e) {
  return r.xmin < e.xmax && r.xmax > e.xmin && r.ymin < e.ymax && r.ymax > e.ymin;
}

// Appends the parts of e outside r: below, above, then the full-height left and right
// strips (they overlap the first two in the corners).
void append_outside_parts(const obj_t* gs, extent_list_t* list, const extent_t& e,
                          const extent_t& r) {
  if (r.ymin > e.ymin) {
    extent_t below = e;
    below.ymax = r.ymin;
    extent_list_append(gs, list, below);
  }
  if (r.ymax < e.ymax) {
    extent_t above = e;
    above.ymin = r.ymax;
    extent_list_append(gs, list, above);
  }
  if (r.xmin > e.xmin) {
    extent_t left = e;
    left.xmax = r.xmin;
    extent_list_append(gs, list, left);
  }
  if (r.xmax < e.xmax) {
    extent_t right = e;
    right.xmin = r.xmax;
    extent_list_append(gs, list, right);
  }
}

}  // namespace

extent_list_t* extent_list_create(obj_t* /*owner*/, extent_list_t** out) {
  extent_list_t* list = nullptr;
  obj_new_registered(CLS_EXTENT_LIST, &list);
  if (list) {
    list->buf.count = 0;
    list->buf.elem_size = sizeof(extent_t);
    list->buf.capacity = 0;
    list->buf.data = nullptr;
  }
  if (out) *out = list;
  return list;
}

void extent_list_delete(extent_list_t** list) {
  if (!list || !*list) return;
  free_obj(list);
  *list = nullptr;
}

int extent_list_count(const extent_list_t* list) {
  return list ? static_cast<int>(list->buf.count) : 0;
}

extent_t extent_list_at(const extent_list_t* list, int i) {
  if (!list || i < 0 || uint32_t(i) >= list->buf.count) return extent_t{};
  return copy_at(list, uint32_t(i));
}

void extent_list_append(const obj_t* graph_space, extent_list_t* list, extent_t e) {
  if (!list || extent_is_empty(e)) return;
  extent_snap_grid(graph_space, &e);
  push_back(list, e);
}

int extent_merge_worth(extent_t a, extent_t b, extent_t* merged) {
  // Rectangles that only touch may merge.
  if (a.xmin > b.xmax || a.xmax < b.xmin || a.ymin > b.ymax || a.ymax < b.ymin) return 0;
  extent_t u = a;
  extent_union(&u, b);
  const double areas = extent_width(a) * extent_height(a) + extent_width(b) * extent_height(b);
  if (!(extent_width(u) * extent_height(u) < 3.0 * areas)) return 0;
  if (merged) *merged = u;
  return 1;
}

void extent_list_add_merged(const obj_t* graph_space, extent_list_t* list, extent_t e) {
  if (!list || extent_is_empty(e)) return;
  extent_snap_grid(graph_space, &e);
  const uint32_t n = list->buf.count;
  if (n > uint32_t(kExtentListMergeLimit)) {
    collapse(list, e);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    extent_t merged;
    if (extent_merge_worth(copy_at(list, i), e, &merged)) {
      put_at(list, i, merged);
      return;
    }
  }
  push_back(list, e);
}

int extent_list_next(const obj_t* graph_space, extent_list_t* list, extent_t** out) {
  if (out) *out = nullptr;
  if (!list) return 0;
  while (list->buf.count > 0) {
    extent_t first = copy_at(list, 0);
    extent_snap_grid(graph_space, &first);
    if (!extent_is_empty(first)) {
      if (out) *out = entry_at(list, 0);
      return 1;
    }
    remove_at(list, 0);
  }
  return 0;
}

void extent_list_subtract(const obj_t* graph_space, extent_list_t* list, extent_t r) {
  if (!list || list->buf.count == 0) return;
  extent_snap_grid(graph_space, &r);
  if (extent_is_empty(r)) return;
  uint32_t i = 0;
  // The entries present at the start, each visited once; pieces appended at the end
  // during the walk are not visited again.
  for (uint32_t left = list->buf.count; left > 0; --left) {
    extent_t e = copy_at(list, i);
    extent_snap_grid(graph_space, &e);
    if (!overlaps(r, e) && !extent_is_empty(e)) {
      ++i;
      continue;
    }
    append_outside_parts(graph_space, list, e, r);
    remove_at(list, i);  // the next entry takes index i
  }
}

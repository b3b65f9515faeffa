// The class holder (class 59): a cursor that fills one record of a run-time class from
// the elements of several lists.
//
// The holder defines its record class from a descriptor when it is made (the class
// registered for that descriptor before, if any), and keeps links: for a source class,
// which attribute of its elements goes into which attribute of the record. Stepping through the parts (a list of lists) finds the next element
// whose class has links, copies the linked values into the record and returns it. The
// record's string and object attributes then point into the element: they are borrowed,
// never owned.
#include "core/memory.h"
#include "core/obj_list.h"

namespace {

holder_link_t* link_at(const container_t* links, int i) {
  return reinterpret_cast<holder_link_t*>(obj_list_get(links, i, nullptr));
}

bool has_links_for(const class_holder_t* h, int cls) {
  const container_t* links = h->links;
  for (int i = 0; i < obj_list_count(links); ++i)
    if (link_at(links, i)->source_class == cls) return true;
  return false;
}

// Copies the linked values of one element into the record. A value that would not fit
// inside the record or the element is skipped.
void apply_links(class_holder_t* h, obj_t* elem) {
  obj_t* record = h->record;
  if (!record) return;
  const int record_size = obj_class_size(h->record_class);
  const int elem_size = obj_class_size(elem->cls);
  const container_t* links = h->links;
  for (int i = 0; i < obj_list_count(links); ++i) {
    const holder_link_t* l = link_at(links, i);
    if (l->source_class != elem->cls) continue;
    const int bytes = attr_type_size(l->source_type);
    const bool itself = l->source_offset == 0;
    if (l->target_offset + bytes > record_size) continue;
    if (!itself && l->source_offset + bytes > elem_size) continue;
    const void* src = itself ? static_cast<const void*>(&elem)
                             : reinterpret_cast<const char*>(elem) + l->source_offset;
    index_key_store(l->source_type, reinterpret_cast<char*>(record) + l->target_offset, src);
  }
}

// Part i of the holder; a part that is not a list counts as an empty one.
const container_t* part_list(const class_holder_t* h, int i) {
  const obj_t* part = obj_list_get(h->parts, i, nullptr);
  return part && part->cls == CLS_CONTAINER ? reinterpret_cast<const container_t*>(part) : nullptr;
}

// One step over the parts from (part, index): the next element with links, or null.
obj_t* step(class_holder_t* h, int* part, int* index, int* visited) {
  const container_t* parts = h->parts;
  while (*part >= 0 && *part < obj_list_count(parts)) {
    const container_t* list = part_list(h, *part);
    while (*index >= 0 && *index < obj_list_count(list)) {
      obj_t* e = list->elems[(*index)++];
      if (visited) ++*visited;
      if (e && has_links_for(h, e->cls)) {
        apply_links(h, e);
        return h->record;
      }
    }
    ++*part;
    *index = 0;
  }
  return nullptr;
}

int part_count(const class_holder_t* h, int part) { return obj_list_count(part_list(h, part)); }

// The run-time class already registered for a descriptor, 0 when none: holders made
// again and again over one descriptor (a search window's index, rebuilt by every
// search) share one class instead of using up the store's run-time class slots.
int registered_class_of(const objdesc* desc) {
  for (int cls = kUserClassBase + 1; cls < kUserClassBase + kUserClassSlots; ++cls) {
    const objdesc* d = obj_class_descriptor(cls, nullptr);
    if (!d) return 0;
    if (d == desc) return cls;
  }
  return 0;
}

}  // namespace

class_holder_t* obj_new_class_holder(const objdesc* desc, class_holder_t** out) {
  obj_t* obj = nullptr;
  obj_new(0, CLS_CLASS_HOLDER, &obj);
  class_holder_t* h = reinterpret_cast<class_holder_t*>(obj);
  if (h) {
    int cls = desc ? registered_class_of(desc) : 0;
    if (!cls) obj_register_user_class(desc, &cls);
    h->record_class = cls;
    obj_t* record = nullptr;
    if (cls) alloc_obj(cls, &record);
    h->record = record;
  }
  if (out) *out = h;
  return h;
}

int obj_get_word6(const class_holder_t* holder) { return holder ? holder->record_class : 0; }

// A target attribute the record class does not have makes no link.
void obj_add_link(class_holder_t* holder, int target_attr, int source_class, int source_attr) {
  if (!holder) return;
  int target_offset = 0;
  if (!obj_attr_info(holder->record_class, target_attr, nullptr, &target_offset, nullptr)) return;
  int source_type = 0, source_offset = 0;
  obj_attr_info(source_class, source_attr, &source_type, &source_offset, nullptr);
  if (source_offset == 0) source_type = AT_REF;
  holder_link_t* link = nullptr;
  alloc_mem_zero(&link, sizeof(holder_link_t));
  link->target_attr = uint16_t(target_attr);
  link->target_offset = uint16_t(target_offset);
  link->source_class = uint16_t(source_class);
  link->source_type = uint16_t(source_type);
  link->source_offset = uint16_t(source_offset);
  container_t* links = holder->links;
  if (!links) obj_list_new(&links);
  holder->links = links;
  obj_list_append(links, reinterpret_cast<obj_t*>(link));
}

obj_t* parts_find_index(class_holder_t* holder, int* inout_index, obj_t** out_record) {
  obj_t* found = nullptr;
  if (holder && inout_index && *inout_index >= 0) {
    int part = 0, index = *inout_index;
    while (part < obj_list_count(holder->parts) && index >= part_count(holder, part))
      index -= part_count(holder, part++);
    found = step(holder, &part, &index, nullptr);
    int global = index;
    for (int p = 0; p < part && p < obj_list_count(holder->parts); ++p) global += part_count(holder, p);
    *inout_index = global;
  }
  if (out_record) *out_record = found;
  return found;
}

obj_t* parts_find_range(class_holder_t* holder, int* inout_part, obj_t** out_record,
                        int* inout_index, int* inout_visited) {
  obj_t* found = nullptr;
  if (holder && inout_part && inout_index) found = step(holder, inout_part, inout_index, inout_visited);
  if (out_record) *out_record = found;
  return found;
}

// Frees what the holder owns: its text, its links, its lists and its record (whose
// attributes are borrowed, so only the record itself goes).
void obj_group_destroy(obj_t* obj) {
  class_holder_t* h = reinterpret_cast<class_holder_t*>(obj);
  if (!h) return;
  free_mem(&h->text);
  container_t* links = h->links;
  for (int i = 0; i < obj_list_count(links); ++i) {
    holder_link_t* l = link_at(links, i);
    free_mem(&l);
  }
  obj_list_clear(links);
  obj_t* lists[3] = {reinterpret_cast<obj_t*>(links), reinterpret_cast<obj_t*>(h->sons),
                     reinterpret_cast<obj_t*>(h->parts)};
  for (obj_t*& l : lists) free_obj(&l);
  h->links = nullptr;
  h->sons = nullptr;
  h->parts = nullptr;
  obj_t* record = h->record;
  free_obj(&record);
  h->record = nullptr;
  h->word9 = 0;
}

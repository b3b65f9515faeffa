// The core's file-object routine table (core/file_ops.h) and the HTTP client's hooks
// (core/http.h), filled from the real file objects. The core's readers, decoders and
// web code reach file objects only through these.
#include "core/file_ops.h"

#include "core/http.h"
#include "core/line_store_record.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "map/file_internal.h"
#include "map/file_object.h"

namespace {

// Readers of one field each, indexed by file_field; a null file reads as unknown.
int64_t get(obj_t* obj, file_field field) {
  const fileatt_t* f = file_of(obj);
  if (!f) return field == FF_TYPE || field == FF_FORMAT ? kFileKindNone : 0;
  switch (field) {
    case FF_TYPE: return f->filetype;
    case FF_FORMAT: return f->fileformat;
    case FF_SIZE: return file_get_size(f);
    case FF_START: return f->start64;
    case FF_DATA_OFFSET: return f->data_offset;
    case FF_CONTENT_STATE: return f->content_state;
    case FF_PACKED_SIZE: return f->packed_size;
    case FF_PACK_KIND: return f->pack_kind;
    case FF_SOURCE_SIZE: return f->source_size;
    default: return 0;
  }
}

uint32_t saturate32(int64_t v) { return v < 0 ? 0 : v > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(v); }

void set(obj_t* obj, file_field field, int64_t v) {
  fileatt_t* f = file_of(obj);
  if (!f) return;
  switch (field) {
    case FF_TYPE: f->filetype = int32_t(v); break;
    case FF_FORMAT: f->fileformat = uint32_t(v); break;
    case FF_SIZE: file_set_size(f, v); break;
    case FF_START:
      f->start64 = v;
      f->deboffset = saturate32(v);
      break;
    case FF_DATA_OFFSET: f->data_offset = v; break;
    case FF_CONTENT_STATE: f->content_state = v; break;
    case FF_PACKED_SIZE: f->packed_size = v; break;
    case FF_PACK_KIND: f->pack_kind = v; break;
    case FF_SOURCE_SIZE: f->source_size = v; break;
    default: break;
  }
}

const char* name(obj_t* obj) { return file_get_name(file_of(obj)); }
double date(obj_t* obj) {
  const fileatt_t* f = file_of(obj);
  return f ? f->lastupdatedate : 0;
}
obj_t* store(obj_t* obj) {
  const fileatt_t* f = file_of(obj);
  return f ? f->store : nullptr;
}
void set_store(obj_t* obj, obj_t* s) {
  file_set_store(file_of(obj), s && s->cls == 25 ? reinterpret_cast<filemobj_t*>(s) : nullptr);
}
obj_t* container(obj_t* obj) {
  const fileatt_t* f = file_of(obj);
  return f ? f->container : nullptr;
}
void set_container(obj_t* member, obj_t* archive) {
  if (fileatt_t* f = file_of(member)) f->container = archive;
}
obj_t* new_in_memory() { return file_new_in_memory(nullptr); }
obj_t* open(obj_t* parent, const char* path) {
  return file_open(parent, nullptr, path, nullptr);
}
obj_t* find_by_name(const char* path) { return file_find_by_name(path, nullptr); }
int identify_and_load(obj_t* file, obj_t* list, int flag) {
  if (auto fn = get_fileobj_hooks().identify_and_load) return fn(file, list, flag);
  return 1;  // no formats yet: nothing identified
}
void free_file(obj_t* obj) {
  if (file_of(obj)) free_obj(&obj);
}
obj_t* packed(obj_t* obj) {
  const fileatt_t* f = file_of(obj);
  return f ? f->packed : nullptr;
}
void set_packed(obj_t* obj, obj_t* s) {
  file_set_packed(file_of(obj), s && s->cls == 25 ? reinterpret_cast<filemobj_t*>(s) : nullptr);
}

const file_ops kFileOps = {get,      set,          name,          date,
                           store,    set_store,    container,     set_container,
                           new_in_memory, open,    find_by_name,  identify_and_load,
                           free_file, packed,      set_packed};

// ---- HTTP client hooks ---------------------------------------------------------------

void rename_file(obj_t* obj, const char* url) {
  fileatt_t* f = file_of(obj);
  if (!f || !url) return;
  str_set(url, &f->name);
  file_rename(f);
}

// A link already known that lies more than one level below the page moves under it.
void adopt_link(obj_t* page, obj_t* link) {
  fileatt_t* f = file_of(link);
  if (!f || !file_of(page) || page == link) return;
  if (obj_depth(link) > obj_depth(page) + 1) file_add_child(page, f);
}

// Links of a scanned page keep to its web root and the configured depth.
void filter_links(obj_t* page, container_t* list) {
  if (fileatt_t* f = file_of(page)) html_filter_links(f, list);
}

}  // namespace

namespace file_detail {

void file_ops_table_install() {
  file_ops_install(&kFileOps);
  http_hooks hooks{};
  hooks.rename = rename_file;
  hooks.adopt_link = adopt_link;
  hooks.filter_links = filter_links;
  http_hooks_install(&hooks);
}

}  // namespace file_detail

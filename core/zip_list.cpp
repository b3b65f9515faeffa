// Listing a ZIP archive: the local file headers are walked from the start of the
// archive (the central directory is never read), one file object is made per member,
// then each member is identified and loaded like any file.
//
// The walk stops at the first header it cannot take: another signature (the central
// directory), encryption, a method or version it does not know, or a header or data
// running past the end of the archive. A member whose sizes follow its data (a data
// descriptor) cannot be stepped over: the archive is then unreadable (type 125).
#include <string>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/obj_list.h"
#include "core/reader.h"

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr int kLocalHeaderSize = 30;
constexpr int kVersionLimit = 22;
constexpr int kFlagEncrypted = 0x01;
constexpr int kFlagDescriptor = 0x08;
constexpr int kTypeInMemory = 7;
constexpr int kTypeUnreadable = 125;
constexpr int kTypeArchive = 128;
constexpr int kFormatZip = 53;
constexpr int kFormatEcw = 16;
constexpr int kFormatMrsid = 18;

// Compression kind by method: 0 stored, 8 Deflate, 9 its 64 KiB-window variant.
int kind_of_method(int method) {
  switch (method) {
    case 0: return 0;
    case 8: return 1;
    case 9: return 2;
    default: return -1;
  }
}

struct local_header {
  int flags;
  int kind;
  uint32_t packed_size;
  uint32_t size;
  std::string name;
};

// Reads the fixed part, the name and the extra field; false when the walk must stop.
bool read_local_header(local_header* h) {
  if (rd_bytes_left() < kLocalHeaderSize) return false;
  if (rd_read_u32() != kLocalHeaderSignature) return false;
  if (rd_read_u16() >= kVersionLimit) return false;
  h->flags = rd_read_byte();
  if (h->flags & kFlagEncrypted) return false;
  rd_read_byte();
  h->kind = kind_of_method(rd_read_u16());
  if (h->kind < 0) return false;
  rd_seek(8, 1);  // time, date, CRC-32 (checked when the member is decoded)
  h->packed_size = rd_read_u32();
  h->size = rd_read_u32();
  const int name_length = rd_read_u16();
  const int extra_length = rd_read_u16();
  if (rd_bytes_left() < name_length + extra_length) return false;
  h->name.resize(size_t(name_length));
  if (name_length > 0) rd_read_bytes(h->name.data(), name_length);
  rd_seek(extra_length, 1);
  return get_gblerr() == 0;
}

bool skip_data(int64_t n) {
  if (n > rd_bytes_left()) return false;
  rd_seek(n, 1);
  return true;
}

bool is_folder_entry(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

// A new member's file object, its fields set from the header; null when none can be made.
obj_t* new_member(obj_t* archive, const std::string& path, const local_header& h) {
  const file_ops& ops = get_file_ops();
  obj_t* member = ops.open(archive, path.c_str());
  if (!member) return nullptr;
  file_set(member, FF_SIZE, h.size);
  file_set(member, FF_PACKED_SIZE, h.packed_size);
  file_set(member, FF_PACK_KIND, h.kind);
  file_set(member, FF_FORMAT, file_get(archive, FF_FORMAT));
  ops.set_container(member, archive);
  file_set(member, FF_TYPE, kTypeInMemory);
  file_set(member, FF_DATA_OFFSET, rd_tell());
  // A stored member is read in place, from the archive; a compressed one from its own
  // memory once decoded.
  file_set(member, FF_START, h.kind == 0 ? rd_tell() : 0);
  file_set(member, FF_CONTENT_STATE, 0);
  return member;
}

// zip_read_local_header, also noting the members it creates in `created` when given.
int read_member(container_t* members, container_t* created) {
  obj_t* archive = rd_current_file();
  local_header h{};
  if (!read_local_header(&h)) return 0;
  const bool sized = !(h.flags & kFlagDescriptor);
  const std::string path = std::string(file_name_of(archive)) + "/" + h.name;
  const file_ops& ops = get_file_ops();
  obj_t* known = is_folder_entry(h.name) ? nullptr : ops.find_by_name(path.c_str());
  if (is_folder_entry(h.name) || known) {
    if (!sized && known) {
      file_set(archive, FF_TYPE, kTypeUnreadable);
      return 0;
    }
    if (!skip_data(sized ? h.packed_size : 0)) return 0;
    if (known) obj_add_to_id_list(members, known);
    return 1;
  }
  obj_t* member = new_member(archive, path, h);
  if (!member) return 0;
  if (!sized) {
    ops.free_file(member);
    file_set(archive, FF_TYPE, kTypeUnreadable);
    return 0;
  }
  // Data running past the end of the archive: the member is dropped, the walk ends
  // and the members before it are kept.
  if (!skip_data(h.packed_size)) {
    ops.free_file(member);
    return 0;
  }
  if (h.packed_size == 0) {
    ops.free_file(member);  // an empty member holds nothing to load
    return 1;
  }
  obj_add_to_id_list(members, member);
  if (created) obj_list_append(created, member);
  return 1;
}

int archive_type(obj_t* archive) { return int(file_get(archive, FF_TYPE)); }

// Loads the members one by one into `result` (each member, then what it holds).
void load_members(obj_t* archive, container_t* members, container_t* result,
                  container_t* loaded) {
  const file_ops& ops = get_file_ops();
  while (obj_list_count(members) > 0) {
    obj_t* member = nullptr;
    obj_list_get(members, 0, &member);
    obj_list_remove_at(members, 0);
    core_busy_tick("ZIP");
    obj_list_append(result, member);
    container_t* fresh = nullptr;
    obj_list_new(&fresh);
    const int rc = ops.identify_and_load(member, reinterpret_cast<obj_t*>(fresh), 1);
    if (rc != 0 || get_gblerr() != 0) {
      set_gblerr(0);
      file_set(archive, FF_TYPE, kTypeUnreadable);
      obj_list_free_elements(fresh);
      free_obj(&fresh);
      return;
    }
    const int64_t format = file_get(member, FF_FORMAT);
    if (format != kFormatEcw && format != kFormatMrsid) {
      obj_list_append_all(fresh, result);
      obj_list_append_all(fresh, loaded);
    }
    free_obj(&fresh);
  }
}

// An unreadable archive gives nothing: what this walk made or loaded is freed; file
// objects that existed before it are left as they were.
void drop_all(container_t* const* lists, int n, container_t* created, container_t* loaded) {
  const file_ops& ops = get_file_ops();
  for (int i = 0; i < obj_list_count(created); ++i) {
    obj_t* member = nullptr;
    ops.free_file(obj_list_get(created, i, &member));
  }
  obj_list_clear(created);
  for (int k = 0; k < n; ++k) obj_list_clear(lists[k]);
  obj_list_free_elements(loaded);
}

}  // namespace

int zip_read_local_header(container_t* members) { return read_member(members, nullptr); }

int zip_list_archive(obj_t* archive, obj_t* target_list) {
  if (rd_open(archive, 1024, 1) != 0) return set_gblerr(ERR_FILE_ACCESS);
  file_set(archive, FF_TYPE, kTypeArchive);
  file_set(archive, FF_FORMAT, kFormatZip);
  container_t *members = nullptr, *result = nullptr, *created = nullptr, *loaded = nullptr;
  obj_list_new(&members);
  obj_list_new(&result);
  obj_list_new(&created);
  obj_list_new(&loaded);
  core_busy_tick("ZIP");
  while (rd_bytes_left() > kLocalHeaderSize) {
    if (!read_member(members, created) || archive_type(archive) == kTypeUnreadable) break;
  }
  if (get_gblerr() != 0 || obj_list_count(members) == 0) {
    set_gblerr(0);
    file_set(archive, FF_TYPE, kTypeUnreadable);
  }
  if (archive_type(archive) != kTypeUnreadable) load_members(archive, members, result, loaded);
  if (obj_list_count(result) == 0) file_set(archive, FF_TYPE, kTypeUnreadable);
  if (archive_type(archive) != kTypeUnreadable) {
    obj_list_append_all(result, reinterpret_cast<container_t*>(target_list));
    obj_list_clear(result);
  } else {
    container_t* lists[2] = {members, result};
    drop_all(lists, 2, created, loaded);
  }
  free_obj(&members);
  free_obj(&result);
  free_obj(&created);
  free_obj(&loaded);
  return 0;
}

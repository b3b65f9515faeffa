// Names of the reduced-image cache: a name is a path of digits ("0/0/0/0/0/0/0/0/0/0")
// read as a number, so that no folder of the cache ever holds more than ten entries.
// A new record takes the name after the last one, or the first gap left by records
// that were dropped; when every digit has wrapped the whole cache moves one level
// down, under "0", and counting goes on with one digit more.
#include <climits>
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/index.h"
#include "core/line_store.h"
#include "core/line_store_state.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/swap_index.h"

namespace ls_detail {
namespace {

constexpr const char* kFirstName = "0/0/0/0/0/0/0/0/0/0";

const char* record_name(const container_t* index, int i) {
  const auto* r = reinterpret_cast<const memobjfile_t*>(index->elems[i]);
  return r->name ? r->name : "";
}

bool name_taken(const container_t* index, const std::string& name) {
  int pos = -1;
  return index_find_exact(index, name.c_str(), &pos) == 1;  // -1: empty index
}

// The first name of the shape of `model`: every digit '0'.
std::string zero_name(const char* model) {
  std::string name = model;
  for (size_t k = 0; k < name.size(); k += 2) name[k] = '0';
  return name.empty() ? std::string(kFirstName) : name;
}

// Position of the first record whose number differs from its position (n when every
// number matches).
int first_gap(const container_t* index) {
  const int n = index->count;
  for (int i = 0; i < n; ++i)
    if (swap_name_number(record_name(index, i)) != i) return i;
  return n;
}

// The name the next record takes, or "" when the names have run out (rotate).
std::string next_free_name(const container_t* index) {
  const int n = obj_list_count(index);
  if (n == 0) return kFirstName;
  int base = n - 1;
  if (swap_name_number(record_name(index, base)) >= n) {
    const int gap = first_gap(index);
    // A gap before the first record: the first name itself is free.
    if (gap == 0) return zero_name(record_name(index, 0));
    base = gap - 1;
  }
  std::string name = record_name(index, base);
  // Names read from a damaged table may repeat: go on counting past any name taken.
  for (int tries = 0; tries <= n; ++tries) {
    if (!swap_name_count_up(name.data())) return std::string();
    if (!name_taken(index, name)) return name;
  }
  return std::string();
}

}  // namespace

memobjfile_t* next_name_record(const source_key& key) {
  // Each rotation adds a digit, so the second attempt always finds a name.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const container_t* index = st().by_name;
    if (!index) return nullptr;
    const std::string name = next_free_name(index);
    if (!name.empty()) return create_record(name.c_str(), key);
    rotate_cache();
  }
  return nullptr;
}

// R being the reduced-image folder: R0 .. R9 move into Rz, which then becomes R0.
void rotate_cache() {
  const char* folder = get_reduce_image_dir();
  if (!folder) return;
  close_all_files();
  const std::string root = folder;
  const std::string z = root + "z";
  path_make_dirs(root.c_str());
  dir_make(z.c_str());
  for (char d = '0'; d <= '9'; ++d) {
    const std::string from = root + d;
    if (path_is_dir(from.c_str()) || file_exists(from.c_str()))
      std::rename(from.c_str(), (z + "/" + d).c_str());
  }
  std::rename(z.c_str(), (root + "0").c_str());
  const container_t* index = st().by_name;
  for (int i = 0; i < obj_list_count(index); ++i) {
    auto* r = reinterpret_cast<memobjfile_t*>(index->elems[i]);
    std::string name = std::string("0/") + (r->name ? r->name : "");
    str_set(name.c_str(), &r->name);
    if (r->full_path) str_set((root + name).c_str(), &r->full_path);
  }
  // Every name changed: the saved table must follow.
  defer_queue_index();
}

}  // namespace ls_detail

using namespace ls_detail;

int64_t swap_name_number(const char* name) {
  if (!name) return 0;
  int64_t n = 0;
  for (size_t k = 0; name[k]; k += 2) {
    const int digit = name[k] >= '0' && name[k] <= '9' ? name[k] - '0' : 0;
    n = n > (INT64_MAX - digit) / 10 ? INT64_MAX : n * 10 + digit;
    if (!name[k + 1]) break;
  }
  return n;
}

// From the last character leftwards, two characters at a time. A character that is
// not a digit counts as '0'.
int swap_name_count_up(char* name) {
  if (!name || !*name) return 0;
  std::string::size_type len = std::char_traits<char>::length(name);
  for (int64_t k = int64_t(len) - 1; k >= 0; k -= 2) {
    if (name[k] >= '0' && name[k] < '9') {
      ++name[k];
      return 1;
    }
    if (name[k] != '9') {
      name[k] = '1';
      return 1;
    }
    name[k] = '0';
  }
  return 0;
}

memobjfile_t* swap_record_next_name(obj_t* file) {
  swap_index_init();
  const source_key key = source_key_of(file);
  guard g;
  return next_name_record(key);
}

void swap_rotate() {
  guard g;
  rotate_cache();
}

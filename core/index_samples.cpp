// Sampled keys of large sorted indexes (see index_samples.h).
//
// A few indexes at a time have samples, in slots shared by all threads under one lock;
// the samples themselves are immutable once made and shared by reference, so that a
// search reads them outside the lock, and each thread keeps a reference to the last
// ones it used. A slot notices a change of its index by the
// index's element array, count, key type and offset; after a change the samples are made
// again only once the index has been searched often enough unchanged that making them
// (one read per sixteen elements) costs no more than the searches did: an index that is
// searched between insertions, as a loader does, never gets any.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "core/index_samples.h"

namespace index_detail {
namespace {

constexpr int kStride = 16;        // elements per sample
constexpr int kMinCount = 8192;    // smaller indexes stay in the cache
constexpr int kSlots = 4;          // indexes with samples at a time
constexpr int kReadsPerSearch = 16;  // about the element reads of one whole search

// The key kinds with samples: the number types, compared in place.
enum class sample_kind { none, int32, real };

sample_kind kind_of(int key_type) {
  switch (key_type) {
    case AT_INT: case AT_UINT: case AT_ID: case AT_KEY: return sample_kind::int32;
    case AT_DOUBLE: case AT_DATE: return sample_kind::real;
    default: return sample_kind::none;
  }
}

// The keys of elements 0, kStride, 2 kStride, ... as the elements hold them.
struct sample_set {
  std::vector<int32_t> int32;
  std::vector<double> real;
};

struct slot {
  const container_t* index = nullptr;
  obj_t* const* elems = nullptr;
  int count = 0;
  int key_type = 0;
  int key_offset = 0;
  int64_t searches = 0;  // searches since the index last changed
  uint64_t last_use = 0;
  std::shared_ptr<const sample_set> samples;
};

struct sample_table {
  std::mutex mu;
  slot slots[kSlots];
  uint64_t clock = 0;
};

sample_table& table() {
  static sample_table t;
  return t;
}

bool same_index(const slot& s, const container_t* index) {
  return s.elems == index->elems && s.count == index->count &&
         s.key_type == index->key_type && s.key_offset == index->key_offset;
}

std::shared_ptr<const sample_set> make_samples(const container_t* index, sample_kind kind) {
  auto set = std::make_shared<sample_set>();
  const int n = index->count;
  const int key_offset = index->key_offset;
  for (int i = 0; i < n; i += kStride) {
    const void* key = elem_key(key_offset, index->elems[i]);
    if (kind == sample_kind::int32)
      set->int32.push_back(field_load<int32_t>(key, 0));
    else
      set->real.push_back(field_load<double>(key, 0));
  }
  return set;
}

// The samples of the index, made when it has been searched unchanged often enough; null
// when there are none.
std::shared_ptr<const sample_set> shared_samples_of(const container_t* index, sample_kind kind) {
  sample_table& t = table();
  std::lock_guard<std::mutex> lock(t.mu);
  slot* s = nullptr;
  for (slot& candidate : t.slots)
    if (candidate.index == index) s = &candidate;
  if (!s) {
    s = &t.slots[0];
    for (slot& candidate : t.slots)
      if (candidate.last_use < s->last_use) s = &candidate;
    s->index = index;
    s->count = -1;  // no index has that count: taken as a change below
  }
  s->last_use = ++t.clock;
  if (!same_index(*s, index)) {
    s->elems = index->elems;
    s->count = index->count;
    s->key_type = index->key_type;
    s->key_offset = index->key_offset;
    s->searches = 0;
    s->samples.reset();
  }
  // Making the samples reads count / kStride elements: as many as that many searches.
  if (!s->samples && ++s->searches >= index->count / kStride / kReadsPerSearch)
    s->samples = make_samples(index, kind);
  return s->samples;
}

// The samples a thread used last, kept by the thread so that a run of searches in one
// index takes neither the lock nor a reference each time.
thread_local slot t_last;

const sample_set* samples_of(const container_t* index, sample_kind kind) {
  if (t_last.index == index && t_last.samples && same_index(t_last, index))
    return t_last.samples.get();
  std::shared_ptr<const sample_set> set = shared_samples_of(index, kind);
  if (!set) return nullptr;
  t_last.index = index;
  t_last.elems = index->elems;
  t_last.count = index->count;
  t_last.key_type = index->key_type;
  t_last.key_offset = index->key_offset;
  t_last.samples = std::move(set);
  return t_last.samples.get();
}

// Samples that did not hold are dropped; they are made again later if the index stays.
void drop_samples(const container_t* index, const sample_set* set) {
  {
    sample_table& t = table();
    std::lock_guard<std::mutex> lock(t.mu);
    for (slot& s : t.slots) {
      if (s.index != index || s.samples.get() != set) continue;
      s.samples.reset();
      s.searches = 0;
    }
  }
  if (t_last.samples.get() == set) t_last = slot{};
}

template <class Order, class T>
bool bound_by_samples(const container_t* index, const Order& ord, const std::vector<T>& samples,
                      const key_spec& ks, const void* k, bool upper, int* pos) {
  // 1 when a key (given by address) stands left of the bound, as the whole search asks.
  auto key_left = [&](const void* key) {
    return upper ? ord.compare(k, key) != 1 : ord.compare(key, k) == 1;
  };
  const int n = index->count;
  const int ns = int(samples.size());
  int j = 0;
  obj_t* const* elems = index->elems;
  bool asked = false;
  for (int m = ns; m > 0;) {
    // Once a few samples are left, the slots of the elements between them are asked
    // for while the last steps run over the samples.
    if (!asked && m <= 4) {
      asked = true;
      const int from = (j > 0 ? j - 1 : 0) * kStride;
      const int to = std::min(n, (j + m) * kStride + 1);
      for (int i = from; i < to; i += 8) __builtin_prefetch(&elems[i]);
    }
    const int half = m / 2;
    if (key_left(&samples[size_t(j + half)])) {
      j += half + 1;
      m -= half + 1;
    } else {
      m = half;
    }
  }
  // Every element up to sample j - 1 stands left, none from sample j on: the bound lies
  // in (sample j - 1, sample j].
  const int low = j == 0 ? 0 : (j - 1) * kStride + 1;
  const int high = j == ns ? n : j * kStride;
  for (int i = low > 0 ? low - 1 : 0; i < high; ++i)
    __builtin_prefetch(elem_key(ks.offset, elems[i]));
  if (high < n) __builtin_prefetch(elem_key(ks.offset, elems[high]));
  if ((j > 0 && !key_left(ks.of(elems[low - 1]))) || (high < n && key_left(ks.of(elems[high]))))
    return false;
  *pos = partition_point(elems, low, high, ks.offset,
                         [&](const obj_t* e) { return key_left(ks.of(e)); });
  return true;
}

}  // namespace

bool sampled_key_bound(const container_t* index, const key_spec& ks, const void* k, bool upper,
                       int* pos) {
  const sample_kind kind = kind_of(ks.type);
  if (kind == sample_kind::none || index->count < kMinCount || !index->elems) return false;
  const sample_set* set = samples_of(index, kind);
  if (!set) return false;
  const bool found = kind == sample_kind::int32
                         ? bound_by_samples(index, int32_keys{}, set->int32, ks, k, upper, pos)
                         : bound_by_samples(index, double_keys{}, set->real, ks, k, upper, pos);
  if (!found) drop_samples(index, set);
  return found;
}

}  // namespace index_detail

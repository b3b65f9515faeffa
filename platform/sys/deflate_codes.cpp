// Huffman code lengths and canonical codes for the Deflate writer (see deflate_block.h).
//
// The lengths come from the classic construction: the two lightest trees are joined
// until one is left, and a symbol's length is its depth. When the deepest leaf is
// beyond the limit, the counts are halved (a counted symbol stays counted) and the
// tree is built again: flatter counts give a flatter tree, and equal counts give a
// balanced one, far within every limit Deflate sets, so this ends after a few rounds.
#include "platform/sys/deflate_block.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

namespace plat::deflate_detail {

namespace {

constexpr int kLongestCode = 15;

// Depth of each counted symbol in a Huffman tree of the counts; 0 for the others.
// Returns the greatest depth.
int tree_depths(const std::vector<uint32_t>& counts, std::vector<int>* depth) {
  const int n = int(counts.size());
  std::vector<int> parent(size_t(2 * n), -1);
  using Node = std::pair<uint64_t, int>;  // weight, node; ties go to the lower node
  std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
  for (int s = 0; s < n; ++s)
    if (counts[size_t(s)]) heap.push({counts[size_t(s)], s});
  int next = n;
  while (heap.size() > 1) {
    const Node a = heap.top();
    heap.pop();
    const Node b = heap.top();
    heap.pop();
    parent[size_t(a.second)] = parent[size_t(b.second)] = next;
    heap.push({a.first + b.first, next++});
  }
  int deepest = 0;
  depth->assign(size_t(n), 0);
  for (int s = 0; s < n; ++s) {
    if (!counts[size_t(s)]) continue;
    int d = 0;
    for (int at = s; parent[size_t(at)] >= 0; at = parent[size_t(at)]) ++d;
    (*depth)[size_t(s)] = d;
    deepest = std::max(deepest, d);
  }
  return deepest;
}

uint32_t reversed(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i) r = (r << 1) | ((code >> i) & 1u);
  return r;
}

}  // namespace

void build_code(const uint32_t* counts, int n, int max_length, HuffmanCode* code) {
  std::vector<uint32_t> c(counts, counts + n);
  const auto counted = size_t(std::count_if(c.begin(), c.end(), [](uint32_t v) { return v > 0; }));
  for (size_t added = counted; added < 2 && added < c.size(); ++added)
    *std::find(c.begin(), c.end(), 0u) = 1;
  std::vector<int> depth;
  while (tree_depths(c, &depth) > max_length)
    for (uint32_t& v : c) v = (v + 1) / 2;
  *code = HuffmanCode{};
  code->symbols = n;
  for (int s = 0; s < n; ++s) code->length[s] = uint8_t(depth[size_t(s)]);
  assign_codes(code);
}

// Codes of each length are consecutive, starting just after the last code of the
// length below, shifted by one bit (RFC 1951, 3.2.2).
void assign_codes(HuffmanCode* code) {
  int count_of_length[kLongestCode + 1] = {};
  for (int s = 0; s < code->symbols; ++s) ++count_of_length[code->length[s]];
  count_of_length[0] = 0;
  uint32_t next_of_length[kLongestCode + 1] = {};
  uint32_t next = 0;
  for (int len = 1; len <= kLongestCode; ++len) {
    next = (next + uint32_t(count_of_length[len - 1])) << 1;
    next_of_length[len] = next;
  }
  for (int s = 0; s < code->symbols; ++s) {
    const int len = code->length[s];
    if (len) code->bits[s] = uint16_t(reversed(next_of_length[len]++, len));
  }
}

}  // namespace plat::deflate_detail

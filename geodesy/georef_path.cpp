// The datum path search: the cheapest chain of datum transformations between two
// datums, found by a shortest-path search over the transformations of the tables and
// cached as a new direct transformation composed from the path.
//
// The search runs from the target datum towards the source, so that the link kept for
// each datum leads from it one step toward the target: the transformation itself when
// it arrives at the datum nearer the target, else its inverse. Datums are the nodes of
// the search in ascending code order (ties in the choice of the next datum go to the
// highest code); they are taken from the code index, which holds only datums whose
// creation is complete, and indexed densely, never by their code, so that a negative or
// huge code cannot reach outside the search arrays nor size them.
//
// The edges are the transformations the tables were given (by the files or by a reader
// of a file), each usable both ways. The records derived from them are never edges:
// the inverses made on demand (an inverse always gets a higher code than the record it
// inverts), and the transformations composed here, which are a cache of answers: a
// search that finds the same path again gets the same record back. So the answer for
// two datums depends only on the transformations of the tables, never on the
// conversions asked for before; a composed record taken as an edge one cheaper than
// its path would let it beat a path of equal cost, and two of them a cheaper path.
//
// Everything runs under the tables' lock: the load task may add datums and
// transformations while a drawing thread builds its chains. A record is complete
// before it is entered in an index and never changes afterwards.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/error.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"

namespace {

constexpr int64_t kCostPerDatum = 250;

// The transformations composed by the search (under the tables' lock).
std::unordered_set<const geocentric_t*>& composed_records() {
  static std::unordered_set<const geocentric_t*> records;
  return records;
}

struct search_link {
  geocentric_t* trans = nullptr;
  bool inverse = false;  // the link is the inverse of trans
};

struct path_search {
  std::vector<geodatum_t*> nodes;  // ascending code, then id
  std::unordered_map<const geodatum_t*, int> node_index;
  std::vector<int64_t> distance;
  std::vector<char> visited;
  std::vector<int> predecessor;
  std::vector<search_link> link;
  int64_t infinity = 0;
};

// The node index of a datum; -1 when it is not a node (a datum still being built).
int node_of(const path_search& s, const geodatum_t* d) {
  const auto it = s.node_index.find(d);
  return it != s.node_index.end() ? it->second : -1;
}

void collect_nodes(path_search& s) {
  const container_t* by_code = geo_code_index(CLS_GEODATUM);
  const int count = obj_list_count(by_code);
  for (int i = 0; i < count; ++i) {
    obj_t* o = nullptr;
    obj_list_get(by_code, i, &o);
    if (!o) continue;
    s.node_index.emplace(static_cast<geodatum_t*>(o), int(s.nodes.size()));
    s.nodes.push_back(static_cast<geodatum_t*>(o));
  }
  const size_t n = s.nodes.size();
  // Infinity as the tables would have it: 250 per code up to the highest code, and at
  // least 250 per datum.
  const int64_t highest = n ? int64_t(s.nodes.back()->code) + 1 : 0;
  s.infinity = std::max<int64_t>(highest, int64_t(n)) * kCostPerDatum;
  s.distance.assign(n, s.infinity);
  s.visited.assign(n, 0);
  s.predecessor.assign(n, -1);
  s.link.assign(n, search_link{});
}

// A transformation of the tables, as opposed to one derived from them.
bool is_edge(const geocentric_t* t) {
  if (composed_records().count(t)) return false;
  const geocentric_t* inv = t->inverse;
  return !inv || inv->code > t->code;
}

// Relaxes the transformations of the current datum; false when one lacks its other
// datum (the search then fails).
bool relax(path_search& s, int current) {
  geodatum_t* d = s.nodes[size_t(current)];
  geocentric_t* t = nullptr;
  int direction = 0;
  while (datumtrans_next_of_datum(d, &t, &direction)) {
    if (!is_edge(t)) continue;
    const bool departing = direction == 0;
    const geodatum_t* other_datum = departing ? t->datuma : t->datumd;
    if (!other_datum) return false;
    const int other = node_of(s, other_datum);
    if (other < 0) continue;
    const int64_t candidate = s.distance[size_t(current)] + int64_t(t->weight);
    if (candidate < s.distance[size_t(other)]) {
      s.distance[size_t(other)] = candidate;
      s.predecessor[size_t(other)] = current;
      s.link[size_t(other)] = search_link{t, departing};
    }
  }
  return true;
}

// The unvisited node of smallest finite distance, the highest code first among equals.
int next_current(const path_search& s) {
  int best = -1;
  for (int i = int(s.nodes.size()) - 1; i >= 0; --i) {
    if (s.visited[size_t(i)] || s.distance[size_t(i)] >= s.infinity) continue;
    if (best < 0 || s.distance[size_t(i)] < s.distance[size_t(best)]) best = i;
  }
  return best;
}

// Runs the search from `to`; false when it failed on a broken transformation.
bool run_search(path_search& s, int from, int to) {
  s.distance[size_t(to)] = 0;
  s.visited[size_t(to)] = 1;
  int current = to;
  for (size_t pass = 0; pass < s.nodes.size() && !s.visited[size_t(from)]; ++pass) {
    if (!relax(s, current)) return false;
    const int next = next_current(s);
    if (next < 0) break;  // nothing more can be reached
    s.visited[size_t(next)] = 1;
    current = next;
  }
  return true;
}

// The transformation a link stands for; an inverse is made once and kept by the tables
// (for a seven-parameter shift with the parameters of the exact inverse).
geocentric_t* materialize(const search_link& l) {
  if (!l.inverse) return l.trans;
  geocentric_t* inv = nullptr;
  return datumtrans_inverse(l.trans, &inv);
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A transformation composed before from the same datums with the same result.
geocentric_t* find_composed(const geocentric_t& acc, int weight) {
  for (const geocentric_t* c : composed_records()) {
    if (c->datumd != acc.datumd || c->datuma != acc.datuma || c->trsftype != acc.trsftype ||
        c->weight != weight)
      continue;
    if (same_bits(c->tx, acc.tx) && same_bits(c->ty, acc.ty) && same_bits(c->tz, acc.tz) &&
        same_bits(c->epsilonx, acc.epsilonx) && same_bits(c->epsilony, acc.epsilony) &&
        same_bits(c->epsilonz, acc.epsilonz) && same_bits(c->de, acc.de))
      return const_cast<geocentric_t*>(c);
  }
  return nullptr;
}

// A new transformation of the tables holding the composition.
geocentric_t* store_composed(const geocentric_t& acc, int weight) {
  geodatum_t* d_from = acc.datumd;
  geodatum_t* d_to = acc.datuma;
  geocentric_t* t = nullptr;
  const double none[10] = {};
  datumtrans_create(d_from, d_to, DT_FILE_IDENTITY, none, 0, 0, 0, 0,
                    geo_next_code(CLS_GEOCENTRIC, nullptr), &t);
  if (!t) return nullptr;
  t->trsftype = acc.trsftype;
  t->weight = weight;
  t->tx = acc.tx;
  t->ty = acc.ty;
  t->tz = acc.tz;
  t->epsilonx = acc.epsilonx;
  t->epsilony = acc.epsilony;
  t->epsilonz = acc.epsilonz;
  t->de = acc.de;
  if (t->trsftype == TRSF_MERIDIAN_SHIFT) {
    // The longitude difference is in radians between the two datums' units.
    t->unit = d_from->unit;
    t->unit2 = d_to->unit;
  }
  composed_records().insert(t);
  return t;
}

// The links from `from` to `to` composed into one transformation: the one composed
// before for the same path, else a new one.
geocentric_t* compose_path(const path_search& s, int from, int to) {
  geocentric_t acc{};
  acc.datumd = s.nodes[size_t(from)];
  acc.datuma = s.nodes[size_t(from)];
  // The predecessors lead to `to` in at most one pass per datum (negative weights in a
  // table could make them loop: the bound stops that).
  size_t steps = 0;
  for (int x = from; x != to; x = s.predecessor[size_t(x)]) {
    if (x < 0 || ++steps > s.nodes.size()) return nullptr;
    const geocentric_t* link = materialize(s.link[size_t(x)]);
    if (!link) return nullptr;
    if (datumtrans_compose(&acc, link) != 0) return nullptr;
  }
  const int weight = acc.weight - 1;
  if (geocentric_t* known = find_composed(acc, weight)) return known;
  return store_composed(acc, weight);
}

}  // namespace

void geo_path_forget_freed() {
  geo_lock lock(geo_state().mutex);
  std::unordered_set<const geocentric_t*> live;
  obj_t* o = nullptr;
  while (obj_class_next(CLS_GEOCENTRIC, &o) && o) live.insert(static_cast<geocentric_t*>(o));
  auto& records = composed_records();
  for (auto it = records.begin(); it != records.end();)
    it = live.count(*it) ? std::next(it) : records.erase(it);
}

int datumtrans_compose(geocentric_t* acc, const geocentric_t* next) {
  if (!acc || !next || acc->datuma != next->datumd) return set_gblerr(ERR_GEOGRAPHIC);
  acc->datuma = next->datuma;
  const int acc_kind = acc->trsftype;
  const int next_kind = next->trsftype;
  acc->trsftype = std::max(acc_kind, next_kind);
  // Weights come from files: their sum is held to the range of the field (and leaves
  // room for the one taken off a composed transformation).
  const int64_t weight = int64_t(acc->weight) + int64_t(next->weight);
  acc->weight = int32_t(std::clamp<int64_t>(weight, INT32_MIN + 1, INT32_MAX));
  if (next_kind == TRSF_MERIDIAN_SHIFT) {
    // A geocentric composition already sees every datum from Greenwich: the meridian
    // difference, in radians, belongs only to a composition of meridian shifts.
    if (acc_kind <= TRSF_MERIDIAN_SHIFT) acc->tx += next->tx;
    return 0;
  }
  if (next_kind == TRSF_IDENTITY) return 0;
  if (acc_kind == TRSF_MERIDIAN_SHIFT) acc->tx = 0.0;  // radians, not metres
  acc->tx += next->tx;
  acc->ty += next->ty;
  acc->tz += next->tz;
  acc->epsilonx += next->epsilonx;
  acc->epsilony += next->epsilony;
  acc->epsilonz += next->epsilonz;
  acc->de += next->de;
  return 0;
}

int geo_datum_path(geodatum_t* from, geodatum_t* to, geocentric_t** trans, int* cost) {
  if (trans) *trans = nullptr;
  if (!from || !to) return 0;
  geo_lock lock(geo_state().mutex);
  path_search s;
  collect_nodes(s);
  const int f = node_of(s, from);
  const int t = node_of(s, to);
  if (f < 0 || t < 0) return 0;
  if (!run_search(s, f, t) || !s.visited[size_t(f)]) return 0;
  if (!trans && !cost) return 1;
  if (f == t) {
    if (cost) *cost = 0;
    return 1;
  }
  geocentric_t* result = nullptr;
  if (s.predecessor[size_t(f)] == t)
    result = materialize(s.link[size_t(f)]);
  else
    result = compose_path(s, f, t);
  if (!result) return 0;
  if (trans) *trans = result;
  if (cost) *cost = result->weight;
  return 1;
}

int georef_convertible(const georef_t* a, const georef_t* b) {
  if (!a || !b) return 0;
  if (a->datum == b->datum) return 1;
  return geo_datum_path(a->datum, b->datum, nullptr, nullptr);
}

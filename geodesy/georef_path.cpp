// The datum path search: the cheapest chain of datum transformations between two
// datums, found by a shortest-path search over the transformations of the tables and
// cached as a new direct transformation composed from the path.
//
// The search runs from the target datum towards the source, so that the link kept for
// each datum leads from it one step toward the target: the transformation itself when
// it arrives at the datum nearer the target, else its inverse. Datums are the nodes of
// the search in ascending code order (ties in the choice of the next datum go to the
// highest code); they are indexed densely, never by their code, so that a negative or
// huge code cannot reach outside the search arrays nor size them. Inverses are made
// only for the links of the path found.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/error.h"
#include "geodesy/datum_shift.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_state.h"

namespace {

constexpr int64_t kCostPerDatum = 250;

struct search_link {
  geocentric_t* trans = nullptr;
  bool inverse = false;  // the link is the inverse of trans
};

struct path_search {
  std::vector<geodatum_t*> nodes;  // ascending code, then id
  std::vector<int64_t> distance;
  std::vector<char> visited;
  std::vector<int> predecessor;
  std::vector<search_link> link;
  int64_t infinity = 0;
};

bool node_before(const geodatum_t* a, const geodatum_t* b) {
  if (a->code != b->code) return a->code < b->code;
  return a->id < b->id;
}

// The node index of a datum; -1 when it is not a node.
int node_of(const path_search& s, const geodatum_t* d) {
  if (!d) return -1;
  const auto it = std::lower_bound(s.nodes.begin(), s.nodes.end(), d,
                                   [](const geodatum_t* a, const geodatum_t* b) {
                                     return node_before(a, b);
                                   });
  return it != s.nodes.end() && *it == d ? int(it - s.nodes.begin()) : -1;
}

void collect_nodes(path_search& s) {
  obj_t* o = nullptr;
  while (obj_class_next(CLS_GEODATUM, &o) && o) s.nodes.push_back(static_cast<geodatum_t*>(o));
  std::sort(s.nodes.begin(), s.nodes.end(), node_before);
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

// Relaxes the transformations of the current datum; false when one lacks its other
// datum (the search then fails).
bool relax(path_search& s, int current) {
  geodatum_t* d = s.nodes[size_t(current)];
  geocentric_t* t = nullptr;
  int direction = 0;
  while (datumtrans_next_of_datum(d, &t, &direction)) {
    const bool departing = direction == 0;
    const int other = node_of(s, departing ? t->datuma : t->datumd);
    if (other < 0) return false;
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

// The transformation a link stands for, its inverse made (and, for a seven-parameter
// shift, given the parameters of the exact inverse) when needed.
geocentric_t* materialize(const search_link& l) {
  if (!l.inverse) return l.trans;
  geocentric_t* inv = nullptr;
  datumtrans_inverse(l.trans, &inv);
  if (inv && (l.trans->trsftype == TRSF_SHIFT7 || l.trans->trsftype == TRSF_SHIFT10))
    datum_shift7_invert_params(l.trans, inv);
  return inv;
}

// Composes the links from `from` to `to` into a new transformation of the tables.
geocentric_t* compose_path(const path_search& s, int from, int to) {
  geodatum_t* d_from = s.nodes[size_t(from)];
  geodatum_t* d_to = s.nodes[size_t(to)];
  geocentric_t acc{};
  acc.datumd = d_from;
  acc.datuma = d_from;
  // The predecessors lead to `to` in at most one pass per datum (negative weights in a
  // table could make them loop: the bound stops that).
  size_t steps = 0;
  for (int x = from; x != to; x = s.predecessor[size_t(x)]) {
    if (x < 0 || ++steps > s.nodes.size()) return nullptr;
    const geocentric_t* link = materialize(s.link[size_t(x)]);
    if (!link) return nullptr;
    if (datumtrans_compose(&acc, link) != 0) return nullptr;
  }
  geocentric_t* t = nullptr;
  const double none[10] = {};
  datumtrans_create(d_from, d_to, DT_FILE_IDENTITY, none, 0, 0, 0, 0,
                    geo_next_code(CLS_GEOCENTRIC, nullptr), &t);
  if (!t) return nullptr;
  t->trsftype = acc.trsftype;
  t->weight = acc.weight - 1;
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
  return t;
}

}  // namespace

int datumtrans_compose(geocentric_t* acc, const geocentric_t* next) {
  if (!acc || !next || acc->datuma != next->datumd) return set_gblerr(ERR_GEOGRAPHIC);
  acc->datuma = next->datuma;
  const int acc_kind = acc->trsftype;
  const int next_kind = next->trsftype;
  acc->trsftype = std::max(acc_kind, next_kind);
  acc->weight += next->weight;
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

// Sorted indexes: (key, id) order by insertion and by the bucket build, number keys at
// their edge values against the store's comparison, the five search modes, nearest, the
// searches for one object, maintenance, and the build's source rules (class filter,
// father filter, null slot, class list).
#include "core/index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "tests/support/object_env.h"

namespace {

// A test class with one attribute of each key type the tests use.
constexpr int kItem = 200;
constexpr int kOther = 201;

#pragma pack(push, 1)
struct item_t : tree_obj_t {
  int32_t key;      // type 1
  char* name;       // type 10, owned
  double real;      // type 3
  obj_t* ref;       // type 11
  char16_t* wname;  // type 9, owned
  double stamp[2];  // type 8
};
#pragma pack(pop)

constexpr attr_desc kItemAttrs[] = {
    {"id", AT_ID},    {"type", AT_INT},   {"father", AT_FATHER}, {"sons", AT_LIST},
    {"key", AT_INT},  {"name", AT_STRING}, {"real", AT_DOUBLE},  {"ref", AT_REF},
    {"wname", AT_WSTRING}, {"stamp", AT_DATETIME}};
constexpr objdesc kItemDesc = {"item", 10, kItemAttrs};

static_assert(sizeof(item_t) == attr_layout_size(kItemAttrs, 10));
constexpr int kKeyOff = attr_offset_in(kItemAttrs, 4);
constexpr int kNameOff = attr_offset_in(kItemAttrs, 5);
constexpr int kRealOff = attr_offset_in(kItemAttrs, 6);
constexpr int kRefOff = attr_offset_in(kItemAttrs, 7);
constexpr int kStampOff = attr_offset_in(kItemAttrs, 9);

void item_free(obj_t* obj) {
  item_t* it = static_cast<item_t*>(obj);
  char* name = it->name;
  free_mem(&name);
  it->name = nullptr;
  char16_t* wname = it->wname;
  free_mem(&wname);
  it->wname = nullptr;
}

// Reads element i of a list (packed record: through a local).
obj_t* at(const container_t* list, int i) {
  obj_t* o = nullptr;
  obj_list_get(list, i, &o);
  return o;
}

std::vector<obj_t*> elements(const container_t* list) {
  std::vector<obj_t*> v;
  for (int i = 0; i < obj_list_count(list); ++i) v.push_back(at(list, i));
  return v;
}

int key_of(const obj_t* o) { return static_cast<const item_t*>(o)->key; }

class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    obj_register_class(kItem, sizeof(item_t), &kItemDesc);
    obj_register_class(kOther, sizeof(item_t), &kItemDesc);
    obj_set_free_callback(kItem, item_free);
    obj_set_free_callback(kOther, item_free);
    // Ids set by hand in the tests stay below the ids the store hands out.
    obj_set_max_id(100000);
  }

  void TearDown() override {
    set_gblerr(0);
    for (container_t*& l : lists_) free_obj(&l);
    for (item_t*& o : items_) free_obj(&o);
  }

  // An item not in any class list, with an optional id and owned name.
  item_t* item(int key, int id = 0, const char* name = nullptr, int cls = kItem) {
    item_t* it = nullptr;
    alloc_obj(cls, &it);
    it->id = id;
    it->key = key;
    if (name) attr_set_value(AT_STRING, reinterpret_cast<char*>(it) + kNameOff, name);
    items_.push_back(it);
    return it;
  }

  // An item in the class list of its class (fresh id).
  item_t* registered(int key) {
    item_t* it = nullptr;
    obj_new_registered(kItem, &it);
    it->key = key;
    items_.push_back(it);
    return it;
  }

  container_t* keep(container_t* list) {
    lists_.push_back(list);
    return list;
  }
  container_t* new_list() {
    container_t* l = nullptr;
    return keep(obj_list_new(&l));
  }
  container_t* new_index(int key_type, int key_off) {
    container_t* ix = nullptr;
    return keep(index_create(kItem, key_type, key_off, &ix));
  }
  container_t* index_over(container_t* source, int key_type, int key_off, int father = 0) {
    container_t* ix = nullptr;
    return keep(index_create_from(source, father, kItem, key_type, key_off, &ix));
  }
  // An integer index over items with the given keys, inserted in order.
  container_t* int_index(const std::vector<int>& keys) {
    container_t* ix = new_index(AT_INT, kKeyOff);
    for (int k : keys) index_insert(ix, item(k));
    return ix;
  }

  std::vector<item_t*> items_;
  std::vector<container_t*> lists_;
};

TEST_F(IndexTest, TestClassLayoutMatchesItsDescriptor) {
  // The struct's fields are packed in descriptor order (its size is checked above).
  const int expected[] = {0, 4, 8, 16, 24, 28, 36, 44, 52, 60};
  for (int i = 0; i < 10; ++i) {
    int off = -1;
    obj_attr_info(kItem, i, nullptr, &off, nullptr);
    EXPECT_EQ(off, expected[i]) << "attribute " << i;
  }
}

// ---- Order ------------------------------------------------------------------------

struct order_case {
  const char* what;
  int key_type;
  std::vector<int> keys;            // integer keys (key type 1)
  std::vector<const char*> names;   // string keys (key type 10)
  std::vector<int> ids;
  std::vector<int> expected;        // input positions in index order
};

TEST_F(IndexTest, InsertAndBuildOrderByKeyThenId) {
  const order_case cases[] = {
      {"equal keys by id", AT_INT, {5, 3, 5}, {}, {10, 11, 12}, {1, 0, 2}},
      {"ids against arrival", AT_INT, {5, 5, 5}, {}, {30, 10, 20}, {1, 2, 0}},
      {"negative keys", AT_INT, {0, -1, 7, -9}, {}, {1, 2, 3, 4}, {3, 1, 0, 2}},
      {"case-insensitive first", AT_STRING, {}, {"b", "a", "C"}, {1, 2, 3}, {1, 0, 2}},
      {"upper case first on a tie", AT_STRING, {}, {"b", "B"}, {1, 2}, {1, 0}},
      {"prefix first", AT_STRING, {}, {"ab", "a", "A", "aB"}, {1, 2, 3, 4}, {2, 1, 3, 0}},
      {"same name by id", AT_STRING, {}, {"x", "x"}, {9, 4}, {1, 0}},
  };
  for (const order_case& c : cases) {
    const int off = c.key_type == AT_INT ? kKeyOff : kNameOff;
    std::vector<item_t*> in;
    container_t* source = new_list();
    for (size_t i = 0; i < c.ids.size(); ++i) {
      in.push_back(c.key_type == AT_INT ? item(c.keys[i], c.ids[i])
                                        : item(0, c.ids[i], c.names[i]));
      obj_list_append(source, in.back());
    }
    std::vector<obj_t*> want;
    for (int p : c.expected) want.push_back(in[p]);

    container_t* forward = new_index(c.key_type, off);
    for (item_t* it : in) index_insert(forward, it);
    container_t* backward = new_index(c.key_type, off);
    for (auto it = in.rbegin(); it != in.rend(); ++it) index_insert(backward, *it);
    container_t* built = index_over(source, c.key_type, off);

    EXPECT_EQ(elements(forward), want) << c.what << " (insert)";
    EXPECT_EQ(elements(backward), want) << c.what << " (insert, reversed)";
    EXPECT_EQ(elements(built), want) << c.what << " (build)";
  }
}

TEST_F(IndexTest, OtherKeyTypesOrderUpward) {
  // Doubles.
  container_t* reals = new_index(AT_DOUBLE, kRealOff);
  for (double d : {2.5, -1.0, 0.25}) {
    item_t* it = item(0);
    it->real = d;
    index_insert(reals, it);
  }
  std::vector<double> got;
  for (obj_t* o : elements(reals)) got.push_back(field_load<double>(o, kRealOff));
  EXPECT_EQ(got, (std::vector<double>{-1.0, 0.25, 2.5}));

  // Date and time: the date decides, the time breaks a tie.
  container_t* stamps = new_index(AT_DATETIME, kStampOff);
  const double pairs[][2] = {{5, 2}, {4, 9}, {5, 1}};
  for (const auto& p : pairs) {
    item_t* it = item(0);
    std::memcpy(it->stamp, p, sizeof p);
    index_insert(stamps, it);
  }
  std::vector<double> got_pairs;
  for (obj_t* o : elements(stamps)) {
    got_pairs.push_back(field_load<double>(o, kStampOff));
    got_pairs.push_back(field_load<double>(o, kStampOff + 8));
  }
  EXPECT_EQ(got_pairs, (std::vector<double>{4, 9, 5, 1, 5, 2}));

  // References run by the referenced object's id, null first; a search takes the
  // object pointer itself.
  item_t* t5 = item(0, 5);
  item_t* t3 = item(0, 3);
  container_t* refs = new_index(AT_REF, kRefOff);
  item_t* to5 = item(0);
  to5->ref = t5;
  item_t* to_null = item(0);
  item_t* to3 = item(0);
  to3->ref = t3;
  for (item_t* it : {to5, to_null, to3}) index_insert(refs, it);
  EXPECT_EQ(elements(refs), (std::vector<obj_t*>{to_null, to3, to5}));
  EXPECT_EQ(index_find_pos(refs, t5), 2);
  EXPECT_EQ(index_find_pos(refs, t3), 1);
}

// The searches compare number keys in place rather than through index_compare_keys;
// both must give one order, edge values included (extremes, signed zeros, NaN).
TEST_F(IndexTest, NumberKeysFollowTheStoreComparisonAtTheEdges) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> reals = {1.0, nan, -0.0, inf, -1e100, 0.0, -inf, 1e-300, nan, 1.0};
  const std::vector<double> real_probes = {nan, -inf, -1e100, -0.0, 0.0, 5e-324, 1.0, 2.0, inf};
  const std::vector<int> ints = {0, INT32_MAX, -1, INT32_MIN, 1, 0, -1, INT32_MAX};
  const std::vector<int> int_probes = {INT32_MIN, -2, -1, 0, 1, 2, INT32_MAX - 1, INT32_MAX};
  struct row {
    int key_type;
    bool real;
  };
  const row rows[] = {{AT_INT, false},   {AT_UINT, false},  {AT_ID, false},
                      {AT_KEY, false},   {AT_DOUBLE, true}, {AT_DATE, true}};
  for (const row& r : rows) {
    const int off = r.real ? kRealOff : kKeyOff;
    const size_t n = r.real ? reals.size() : ints.size();
    // Items in arrival order, ids descending so that ties do not follow arrival.
    std::vector<item_t*> in;
    container_t* source = new_list();
    for (size_t i = 0; i < n; ++i) {
      item_t* it = item(r.real ? 0 : ints[i], static_cast<int>(50 - i));
      if (r.real) it->real = reals[i];
      in.push_back(it);
      obj_list_append(source, it);
    }
    container_t* inserted = new_index(r.key_type, off);
    for (item_t* it : in) index_insert(inserted, it);
    container_t* built = index_over(source, r.key_type, off);
    ASSERT_EQ(elements(built), elements(inserted)) << r.key_type;

    const auto key = [&](const obj_t* e) { return reinterpret_cast<const char*>(e) + off; };
    // Neighbours stand in (key, id) order by the store's comparison.
    for (size_t i = 1; i < n; ++i) {
      const int c = index_compare_keys(r.key_type, key(at(built, i - 1)), key(at(built, i)));
      EXPECT_TRUE(c == 1 || (c == 0 && at(built, i - 1)->id < at(built, i)->id))
          << r.key_type << " at " << i;
    }
    // Every search agrees with a scan that uses the store's comparison.
    const size_t probes = r.real ? real_probes.size() : int_probes.size();
    for (size_t p = 0; p < probes; ++p) {
      const int32_t ik = r.real ? 0 : int_probes[p];
      const double dk = r.real ? real_probes[p] : 0;
      const void* k = r.real ? static_cast<const void*>(&dk) : &ik;
      int before = 0, not_after = 0;
      for (size_t i = 0; i < n; ++i) {
        before += index_compare_keys(r.key_type, key(at(built, i)), k) == 1;
        not_after += index_compare_keys(r.key_type, k, key(at(built, i))) != 1;
      }
      const bool found = before < static_cast<int>(n) &&
                         index_compare_keys(r.key_type, key(at(built, before)), k) == 0;
      int pos = -2;
      EXPECT_EQ(index_find_exact(built, k, &pos), found ? 1 : 0) << r.key_type << " probe " << p;
      EXPECT_EQ(pos, before) << r.key_type << " probe " << p;
      EXPECT_EQ(index_find_before(built, k, &pos), before - 1) << r.key_type << " probe " << p;
      EXPECT_EQ(index_find_after(built, k, &pos), not_after < static_cast<int>(n) ? not_after : -1)
          << r.key_type << " probe " << p;
    }
    for (size_t i = 0; i < n; ++i) {
      EXPECT_EQ(index_position_of(built, at(built, i)), static_cast<int>(i)) << r.key_type;
      obj_t* o = at(built, i);
      EXPECT_EQ(index_lookup(built, &o), i ? at(built, i - 1) : nullptr) << r.key_type;
    }
  }
}

// ---- Searches by key ----------------------------------------------------------------

TEST_F(IndexTest, SearchModesOnRepeatedKeys) {
  container_t* ix = int_index({1, 3, 3, 7});
  struct row {
    int mode, key;
    int elem_pos;  // position of the element returned, -1 for none
    int result;
  };
  const row rows[] = {
      {IDX_BEFORE, 3, 0, 0},          {IDX_LAST_EQUAL, 3, 2, -1},
      {IDX_FIRST_EQUAL, 3, 1, 1},     {IDX_EQUAL_OR_AFTER, 3, 1, -1},
      {IDX_AFTER, 3, 3, 3},           {IDX_EQUAL_OR_AFTER, 4, 3, -1},
      {IDX_LAST_EQUAL, 4, 2, -1},     {IDX_BEFORE, 1, -1, -1},
      {IDX_BEFORE, 100, 3, 3},        {IDX_FIRST_EQUAL, 4, -1, -1},
      {IDX_AFTER, 7, -1, -1},         {IDX_EQUAL_OR_AFTER, 8, -1, -1},
      {IDX_LAST_EQUAL, 0, -1, -1},    {IDX_AFTER, 0, 0, 0},
      {0, 3, -1, -1},                 {6, 3, -1, -1},
  };
  for (const row& r : rows) {
    obj_t* found = reinterpret_cast<obj_t*>(1);
    const int result = index_search(ix, r.mode, &r.key, &found);
    EXPECT_EQ(result, r.result) << "mode " << r.mode << " key " << r.key;
    EXPECT_EQ(found, r.elem_pos < 0 ? nullptr : at(ix, r.elem_pos))
        << "mode " << r.mode << " key " << r.key;
  }
}

TEST_F(IndexTest, FindExactBeforeAfterAndPos) {
  container_t* ix = int_index({1, 3, 3, 7});
  struct row {
    int key;
    int exact, exact_pos, before, after, pos;
  };
  const row rows[] = {
      {0, 0, 0, -1, 0, -1}, {1, 1, 0, -1, 1, 0}, {3, 1, 1, 0, 3, 1},
      {4, 0, 3, 2, 3, -1},  {7, 1, 3, 2, -1, 3}, {8, 0, 4, 3, -1, -1},
  };
  for (const row& r : rows) {
    int p = -2;
    EXPECT_EQ(index_find_exact(ix, &r.key, &p), r.exact) << r.key;
    EXPECT_EQ(p, r.exact_pos) << r.key;
    EXPECT_EQ(index_find_before(ix, &r.key, &p), r.before) << r.key;
    EXPECT_EQ(p, r.before) << r.key;
    EXPECT_EQ(index_find_after(ix, &r.key, &p), r.after) << r.key;
    EXPECT_EQ(p, r.after) << r.key;
    EXPECT_EQ(index_find_pos(ix, &r.key), r.pos) << r.key;
  }
}

TEST_F(IndexTest, NullIndexNullKeyAndEmptyIndexFindNothing) {
  container_t* empty = new_index(AT_INT, kKeyOff);
  container_t* full = int_index({1, 2});
  const int key = 1;
  struct probe {
    const container_t* ix;
    const void* key;
  };
  for (const probe& p : {probe{nullptr, &key}, probe{empty, &key}, probe{full, nullptr}}) {
    int pos = 5;
    obj_t* found = reinterpret_cast<obj_t*>(1);
    EXPECT_EQ(index_find_exact(p.ix, p.key, &pos), -1);
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(index_find_before(p.ix, p.key, &pos), -1);
    EXPECT_EQ(index_find_after(p.ix, p.key, &pos), -1);
    EXPECT_EQ(index_find_pos(p.ix, p.key), -1);
    for (int mode = 1; mode <= 5; ++mode) {
      EXPECT_EQ(index_search(p.ix, mode, p.key, &found), -1);
      EXPECT_EQ(found, nullptr);
    }
    found = nullptr;
    EXPECT_EQ(index_get(p.ix, p.key, &found), nullptr);
    double d = 0;
    EXPECT_EQ(index_nearest(p.ix, p.key, &found, &d), nullptr);
    EXPECT_EQ(d, -1);
  }
  index_insert(nullptr, item(1));  // nothing happens
  EXPECT_EQ(index_create(kItem, AT_INT, kKeyOff, nullptr), nullptr);
  EXPECT_EQ(index_create_over(nullptr, kItem, AT_INT, kKeyOff, nullptr), nullptr);
  EXPECT_EQ(index_is_sorted(nullptr), 0);
  EXPECT_EQ(index_is_sorted(full), 1);
  EXPECT_EQ(index_is_sorted(new_list()), 0);
}

TEST_F(IndexTest, NearestPrefersTheCloserAndOnATieTheOneAfter) {
  struct row {
    std::vector<int> keys;
    int key;
    int expected_key;  // -1: none
    double distance;
  };
  const row rows[] = {
      {{1, 3, 7}, 4, 3, 1},  {{3, 7}, 5, 7, 2}, {{3, 7}, 0, 3, 3},
      {{3, 7}, 9, 7, 2},     {{3, 7}, 3, 3, 0}, {{3, 7}, 6, 7, 1},
  };
  for (const row& r : rows) {
    container_t* ix = int_index(r.keys);
    obj_t* found = nullptr;
    double d = -5;
    index_nearest(ix, &r.key, &found, &d);
    ASSERT_NE(found, nullptr) << r.key;
    EXPECT_EQ(key_of(found), r.expected_key) << r.key;
    EXPECT_DOUBLE_EQ(d, r.distance) << r.key;
  }
}

TEST_F(IndexTest, GetWalksTheRunOfEqualKeysCaseIncluded) {
  container_t* ix = new_index(AT_STRING, kNameOff);
  item_t* b1 = item(0, 1, "b");
  item_t* upper = item(0, 2, "B");
  item_t* b3 = item(0, 3, "b");
  item_t* c = item(0, 4, "c");
  for (item_t* it : {c, b3, upper, b1}) index_insert(ix, it);

  std::vector<obj_t*> run;
  obj_t* cur = nullptr;
  while (index_get(ix, "b", &cur)) run.push_back(cur);
  EXPECT_EQ(run, (std::vector<obj_t*>{b1, b3}));

  cur = nullptr;
  EXPECT_EQ(index_get(ix, "B", &cur), upper);
  EXPECT_EQ(index_get(ix, "B", &cur), nullptr);
  cur = nullptr;
  EXPECT_EQ(index_get(ix, "bb", &cur), nullptr);
  // A starting element that is not in the index ends the walk.
  cur = item(0, 9, "b");
  EXPECT_EQ(index_get(ix, "b", &cur), nullptr);
}

// ---- Searches for one object --------------------------------------------------------

TEST_F(IndexTest, PositionLookupAndLocateFollowKeyThenId) {
  item_t* a = item(5, 10);
  item_t* b = item(3, 11);
  item_t* c = item(5, 12);
  container_t* ix = new_index(AT_INT, kKeyOff);
  for (item_t* it : {a, b, c}) index_insert(ix, it);  // [b, a, c]

  item_t* stranger = item(5, 13);   // not in the index
  item_t* twin_of_c = item(5, 12);  // another object with c's key and id
  struct row {
    item_t* obj;
    int position_of, position_by_id;
    obj_t* preceding;
  };
  const row rows[] = {
      {b, 0, 0, nullptr},
      {a, 1, 1, b},
      {c, 2, 2, a},
      {stranger, -1, -1, c},
      {twin_of_c, -1, 2, a},
      {item(4, 1), -1, -1, b},
      {item(5, 11), -1, -1, a},
  };
  for (const row& r : rows) {
    EXPECT_EQ(index_position_of(ix, r.obj), r.position_of) << r.obj->key << "/" << r.obj->id;
    EXPECT_EQ(index_position_by_id(ix, r.obj), r.position_by_id)
        << r.obj->key << "/" << r.obj->id;
    obj_t* o = r.obj;
    EXPECT_EQ(index_lookup(ix, &o), r.preceding) << r.obj->key << "/" << r.obj->id;
  }

  std::vector<obj_t*> walk;
  std::vector<int> positions;
  obj_t* cur = nullptr;
  int pos = -2;
  while (index_locate(ix, &cur, &pos)) {
    walk.push_back(cur);
    positions.push_back(pos);
  }
  EXPECT_EQ(walk, (std::vector<obj_t*>{b, a, c}));
  EXPECT_EQ(positions, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(pos, -1);
  // From an object that is not in the index: the element after its place.
  cur = item(4, 1);
  EXPECT_EQ(index_locate(ix, &cur, &pos), a);
  EXPECT_EQ(pos, 1);
}

TEST_F(IndexTest, KeysOfElementsAreInTheFormSearchesTake) {
  container_t* ints = int_index({8, 2});
  const void* k = nullptr;
  EXPECT_EQ(index_key_of(ints, at(ints, 0), &k), reinterpret_cast<char*>(at(ints, 0)) + kKeyOff);
  EXPECT_EQ(field_load<int32_t>(index_last_key(ints, &k), 0), 8);
  EXPECT_EQ(index_search(ints, IDX_FIRST_EQUAL, k, static_cast<obj_t**>(nullptr)), 1);

  container_t* names = new_index(AT_STRING, kNameOff);
  item_t* x = item(0, 0, "x");
  index_insert(names, x);
  const char* x_name = x->name;
  EXPECT_EQ(index_key_of(names, x, &k), x_name);
  EXPECT_EQ(index_find_pos(names, k), 0);

  container_t* refs = new_index(AT_REF, kRefOff);
  item_t* target = item(0, 7);
  item_t* holder = item(0);
  holder->ref = target;
  index_insert(refs, holder);
  EXPECT_EQ(index_key_of(refs, holder, &k), target);
  EXPECT_EQ(index_find_pos(refs, k), 0);

  EXPECT_EQ(index_last_key(new_index(AT_INT, kKeyOff), &k), nullptr);
  EXPECT_EQ(k, nullptr);
  EXPECT_EQ(index_compare_elements(ints, at(ints, 0), at(ints, 1)), 1);
  EXPECT_EQ(index_compare_elements(ints, at(ints, 1), at(ints, 0)), -1);
  EXPECT_EQ(index_compare_elements(ints, at(ints, 1), at(ints, 1)), 0);
}

// ---- Maintenance --------------------------------------------------------------------

TEST_F(IndexTest, InsertGivesIdsAndLeavesAPresentObjectAlone) {
  container_t* ix = int_index({4, 1, 9});
  const std::vector<obj_t*> before = elements(ix);
  for (obj_t* o : before) EXPECT_GT(o->id, 100000);  // fresh ids were given
  for (obj_t* o : before) index_insert(ix, o);
  EXPECT_EQ(elements(ix), before);
  index_insert(ix, nullptr);
  EXPECT_EQ(elements(ix), before);
}

TEST_F(IndexTest, RemoveTakesOutThatVeryObject) {
  item_t* a = item(5, 1);
  item_t* b = item(5, 2);
  item_t* c = item(6, 3);
  container_t* ix = new_index(AT_INT, kKeyOff);
  for (item_t* it : {c, b, a}) index_insert(ix, it);
  index_remove(ix, item(5, 2));  // same key and id, another object: stays
  EXPECT_EQ(elements(ix), (std::vector<obj_t*>{a, b, c}));
  index_remove(ix, b);
  EXPECT_EQ(elements(ix), (std::vector<obj_t*>{a, c}));
  index_remove(ix, b);
  EXPECT_EQ(elements(ix), (std::vector<obj_t*>{a, c}));
  index_remove(nullptr, a);
}

TEST_F(IndexTest, AddNewAddCopyAndPutCopy) {
  container_t* ix = new_index(AT_INT, kKeyOff);
  obj_t* made = nullptr;
  const int seven = 7;
  index_add_new(ix, &made, &seven);
  items_.push_back(static_cast<item_t*>(made));
  ASSERT_NE(made, nullptr);
  obj_t* made_seven = made;
  EXPECT_EQ(made->cls, kItem);
  EXPECT_NE(made->id, 0);
  EXPECT_EQ(key_of(made), 7);
  EXPECT_EQ(index_find_pos(ix, &seven), 0);

  container_t* names = new_index(AT_STRING, kNameOff);
  char text[] = "kw";
  index_add_new(names, &made, text);
  items_.push_back(static_cast<item_t*>(made));
  ASSERT_NE(made, nullptr);
  const char* stored = static_cast<item_t*>(made)->name;
  EXPECT_NE(stored, text);  // an owned copy
  EXPECT_STREQ(stored, "kw");
  EXPECT_EQ(index_find_pos(names, "kw"), 0);

  item_t* src = item(4, 55);
  src->real = 1.5;
  obj_t* copy = nullptr;
  index_add_copy(src, ix, &copy);
  items_.push_back(static_cast<item_t*>(copy));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, src);
  EXPECT_NE(copy->id, 0);
  EXPECT_NE(copy->id, src->id);
  EXPECT_EQ(key_of(copy), 4);
  EXPECT_EQ(elements(ix), (std::vector<obj_t*>{copy, made_seven}));

  // put_copy: an element with the key takes the source's values in place.
  item_t* update = item(4);
  update->real = 2.5;
  obj_t* put = nullptr;
  index_put_copy(update, ix, &put);
  EXPECT_EQ(put, copy);
  EXPECT_EQ(obj_list_count(ix), 2);
  EXPECT_EQ(field_load<double>(copy, kRealOff), 2.5);
  // ...and a new key is added.
  item_t* fresh = item(1);
  index_put_copy(fresh, ix, &put);
  items_.push_back(static_cast<item_t*>(put));
  ASSERT_NE(put, nullptr);
  EXPECT_NE(put, fresh);
  EXPECT_EQ(obj_list_count(ix), 3);
  EXPECT_EQ(at(ix, 0), put);

  EXPECT_EQ(index_add_new(nullptr, &made, &seven), nullptr);
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(index_add_copy(nullptr, ix, &made), nullptr);
}

// ---- Build --------------------------------------------------------------------------

TEST_F(IndexTest, BuildOverEmptySourcesGivesAnEmptyIndex) {
  container_t* over_empty_list = index_over(new_list(), AT_INT, kKeyOff);
  EXPECT_EQ(obj_list_count(over_empty_list), 0);
  EXPECT_EQ(over_empty_list->capacity, list_capacity_for(0));
  EXPECT_EQ(index_is_sorted(over_empty_list), 1);
  container_t* over_empty_class = index_over(nullptr, AT_INT, kKeyOff);
  EXPECT_EQ(obj_list_count(over_empty_class), 0);
}

TEST_F(IndexTest, BuildFiltersByClassFatherAndStopsAtANullSlot) {
  item_t* f1 = item(0, 501);
  item_t* f2 = item(0, 502);
  item_t* a = item(4, 1);
  item_t* other = item(0, 2, nullptr, kOther);
  item_t* b = item(1, 3);
  item_t* orphan = item(2, 4);
  item_t* d = item(1, 5);
  item_t* after_null = item(0, 6);
  obj_set_father_link(a, f1);
  obj_set_father_link(other, f1);
  obj_set_father_link(b, f2);
  obj_set_father_link(d, f1);
  obj_set_father_link(after_null, f1);

  container_t* source = new_list();
  for (item_t* it : {a, other, b, orphan, d, after_null}) obj_list_append(source, it);
  obj_list_set(source, 5, nullptr);  // a null slot ends the source
  obj_list_append(source, after_null);

  struct row {
    int father;
    std::vector<obj_t*> expected;
  };
  const row rows[] = {
      {0, {b, d, orphan, a}},
      {501, {d, a}},
      {502, {b}},
      {503, {}},
  };
  for (const row& r : rows) {
    container_t* ix = index_over(source, AT_INT, kKeyOff, r.father);
    EXPECT_EQ(elements(ix), r.expected) << "father " << r.father;
    EXPECT_EQ(ix->source, source);
  }
}

TEST_F(IndexTest, BuildWithoutSourceUsesTheClassListAndRebuildFollowsKeyChanges) {
  std::vector<item_t*> made;
  for (int k : {3, 1, 2}) made.push_back(registered(k));
  container_t* ix = index_over(nullptr, AT_INT, kKeyOff);
  EXPECT_EQ(elements(ix), (std::vector<obj_t*>{made[1], made[2], made[0]}));
  made[0]->key = 0;
  index_rebuild(ix);
  EXPECT_EQ(elements(ix), (std::vector<obj_t*>{made[0], made[1], made[2]}));
  EXPECT_EQ(ix->capacity, list_capacity_for(3));
}

TEST_F(IndexTest, NothingIsFilledWhileAnErrorIsPending) {
  container_t* source = new_list();
  obj_list_append(source, item(1));
  set_gblerr(ERR_VALUE);
  container_t* ix = index_over(source, AT_INT, kKeyOff);
  ASSERT_NE(ix, nullptr);
  EXPECT_EQ(index_is_sorted(ix), 0);
  EXPECT_EQ(obj_list_count(ix), 0);
  set_gblerr(0);
  ix = index_over(source, AT_INT, kKeyOff);
  set_gblerr(ERR_VALUE);
  static_cast<item_t*>(at(source, 0))->key = 2;
  obj_list_append(source, item(0));
  index_rebuild(ix);
  EXPECT_EQ(obj_list_count(ix), 1);
  set_gblerr(0);
}

// Reference order: (key, id) by a comparator of its own, stable for elements equal in
// both, so that it can be checked against the build.
std::vector<obj_t*> reference_order(std::vector<item_t*> v, bool by_name) {
  auto lower = [](const char* s) {
    std::string r(s);
    for (char& ch : r) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return r;
  };
  auto key_less = [&](const item_t* a, const item_t* b) {
    if (!by_name) return a->key < b->key ? -1 : (a->key > b->key ? 1 : 0);
    const std::string la = lower(a->name), lb = lower(b->name);
    if (la != lb) return la < lb ? -1 : 1;
    const int c = std::strcmp(a->name, b->name);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  };
  std::stable_sort(v.begin(), v.end(), [&](const item_t* a, const item_t* b) {
    const int c = key_less(a, b);
    return c != 0 ? c < 0 : a->id < b->id;
  });
  return std::vector<obj_t*>(v.begin(), v.end());
}

TEST_F(IndexTest, BuildAgreesWithAStableSortReference) {
  struct row {
    const char* what;
    int n;
    int key_range;
    bool by_name;
    bool without_ids;  // half the elements have no id yet
    bool class_list;   // build over the class list instead of a shuffled plain list
  };
  const row rows[] = {
      {"single", 1, 10, false, false, false},
      {"two", 2, 10, false, true, false},
      {"tiny", 3, 2, false, true, false},
      {"small", 17, 5, false, true, false},
      {"ties with and without ids", 20000, 300, false, true, false},
      {"all distinct", 20000, 1 << 30, false, false, false},
      {"class list", 20000, 1000, false, false, true},
      {"strings", 5000, 0, true, true, false},
  };
  std::mt19937 rng(12345);
  const char alphabet[] = "aAbBc1";
  for (const row& r : rows) {
    items_.reserve(items_.size() + r.n);
    std::vector<item_t*> in;
    for (int i = 0; i < r.n; ++i) {
      const int key = static_cast<int>(rng() % static_cast<unsigned>(r.key_range ? r.key_range : 1));
      std::string name;
      for (unsigned len = 1 + rng() % 3; len > 0; --len) name += alphabet[rng() % 6];
      item_t* it = r.class_list ? registered(key) : item(key, 0, r.by_name ? name.c_str() : nullptr);
      if (!r.class_list && !(r.without_ids && rng() % 2)) it->id = obj_new_id();
      in.push_back(it);
    }
    container_t* source = nullptr;
    if (!r.class_list) {
      std::shuffle(in.begin(), in.end(), rng);
      source = new_list();
      for (item_t* it : in) obj_list_append(source, it);
    }
    const int off = r.by_name ? kNameOff : kKeyOff;
    container_t* ix = index_over(source, r.by_name ? AT_STRING : AT_INT, off);
    // Ids given to splitters during the build are part of the order: the reference is
    // taken afterwards, from the source order.
    EXPECT_EQ(elements(ix), reference_order(in, r.by_name)) << r.what;
    EXPECT_EQ(ix->capacity, list_capacity_for(r.n)) << r.what;

    // Every element is found again, by position and by its key and id.
    int misses = 0;
    for (int i = 0; i < r.n; ++i)
      if (index_position_of(ix, at(ix, i)) != i || index_position_by_id(ix, at(ix, i)) < 0)
        ++misses;
    EXPECT_EQ(misses, 0) << r.what;
    for (item_t*& it : items_) free_obj(&it);
    items_.clear();
  }
}

// A large index searched again and again answers from sampled keys: every search mode
// must still find what a search over the sorted keys finds, for keys present, absent,
// repeated and beyond both ends, for integer and double keys; and once the index has
// changed under its samples (an element replaced in place, a removal and an insertion
// that leave the count as it was) the answers follow the index, not the samples.
TEST_F(IndexTest, LargeIndexesSearchedManyTimesAnswerAsTheSortedKeys) {
  constexpr int kCount = 40000;
  std::mt19937 rng(777);
  container_t* source = new_list();
  items_.reserve(kCount + 8);
  for (int i = 0; i < kCount; ++i) {
    // Keys 0, 2, 4, ... with runs of repeats: odd probes fall between keys.
    item_t* it = item(2 * static_cast<int>(rng() % 15000), obj_new_id());
    it->real = it->key / 4.0;
    obj_list_append(source, it);
  }
  container_t* by_int = index_over(source, AT_INT, kKeyOff);
  container_t* by_real = index_over(source, AT_DOUBLE, kRealOff);

  auto check_all = [&](container_t* ix, bool real, const char* what) {
    std::vector<double> keys;
    for (int i = 0; i < obj_list_count(ix); ++i) {
      const auto* it = static_cast<const item_t*>(at(ix, i));
      keys.push_back(real ? it->real : it->key);
    }
    ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end())) << what;
    const int n = static_cast<int>(keys.size());
    int wrong = 0;
    // Several rounds over every probe: the samples are made during the first.
    for (int round = 0; round < 3; ++round) {
      for (int probe = -3; probe <= 30003; ++probe) {
        const int32_t ik = probe;
        const double dk = probe / 4.0;
        const void* key = real ? static_cast<const void*>(&dk) : static_cast<const void*>(&ik);
        const double v = real ? dk : ik;
        const int lb = int(std::lower_bound(keys.begin(), keys.end(), v) - keys.begin());
        const int ub = int(std::upper_bound(keys.begin(), keys.end(), v) - keys.begin());
        const bool present = lb < ub;
        obj_t* found = nullptr;
        if (index_search(ix, IDX_FIRST_EQUAL, key, &found) != (present ? lb : -1) ||
            found != (present ? at(ix, lb) : nullptr))
          ++wrong;
        index_search(ix, IDX_BEFORE, key, &found);
        if (found != (lb > 0 ? at(ix, lb - 1) : nullptr)) ++wrong;
        index_search(ix, IDX_LAST_EQUAL, key, &found);
        if (found != (ub > 0 ? at(ix, ub - 1) : nullptr)) ++wrong;
        index_search(ix, IDX_EQUAL_OR_AFTER, key, &found);
        if (found != (lb < n ? at(ix, lb) : nullptr)) ++wrong;
        if (index_search(ix, IDX_AFTER, key, &found) != (ub < n ? ub : -1)) ++wrong;
        int pos = -2;
        if (index_find_exact(ix, key, &pos) != (present ? 1 : 0) || pos != lb) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << what;
  };
  check_all(by_int, false, "integer keys");
  check_all(by_real, true, "double keys");

  // An element replaced in place by one with another key that keeps the order: same
  // array, same count.
  const int middle = kCount / 2;
  const int low_key = key_of(at(by_int, middle - 1)), high_key = key_of(at(by_int, middle + 1));
  item_t* replacement = item(low_key + 1 < high_key ? low_key + 1 : low_key, obj_new_id());
  replacement->real = replacement->key / 4.0;
  obj_list_set(by_int, middle, replacement);
  check_all(by_int, false, "an element replaced in place");
  // A removal and an insertion: the count is back where it was.
  index_remove(by_int, at(by_int, 10));
  index_insert(by_int, item(29999, obj_new_id()));
  check_all(by_int, false, "a removal and an insertion");
}

// Several threads searching large indexes at once share the sampled keys: each finds
// what the sorted keys say, while the samples are made, used and given way to (more
// indexes than there are places for samples).
TEST_F(IndexTest, ThreadsSearchLargeIndexesTogether) {
  constexpr int kCount = 20000;
  constexpr int kIndexes = 6;
  std::vector<container_t*> indexes;
  items_.reserve(kCount + 8);
  container_t* source = new_list();
  for (int i = 0; i < kCount; ++i) obj_list_append(source, item(3 * i, obj_new_id()));
  for (int k = 0; k < kIndexes; ++k) indexes.push_back(index_over(source, AT_INT, kKeyOff));
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 rng(t);
      for (int round = 0; round < 20000; ++round) {
        const container_t* ix = indexes[(round / 500 + t) % kIndexes];
        const int32_t key = int32_t(rng() % (3 * kCount));
        obj_t* found = nullptr;
        const int pos = index_search(ix, IDX_EQUAL_OR_AFTER, &key, &found);
        (void)pos;
        const int expected = (key + 2) / 3;  // the first multiple of 3 not below the key
        if (found != (expected < kCount ? at(ix, expected) : nullptr)) ++wrong[size_t(t)];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[size_t(t)], 0) << "thread " << t;
}

}  // namespace

// Pair lists: creation and growth, sorted insertion, finding, the null-list errors,
// and values wide enough to hold a pointer.
#include <gtest/gtest.h>
#include <cstddef>

#include <cstdint>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/pairlist.h"

namespace {

using pairs = std::vector<std::pair<std::intptr_t, std::intptr_t>>;

pairs contents(const pairlist* list) {
  pairs out;
  for (int i = 0; i < pairlist_count(list); ++i) {
    std::intptr_t a = 0, b = 0;
    EXPECT_EQ(pairlist_get(list, i, &a, &b), 1);
    out.emplace_back(a, b);
  }
  return out;
}

class PairList : public ::testing::Test {
 protected:
  void SetUp() override { set_gblerr(0); }
  void TearDown() override {
    pairlist_free(&list_);
    set_gblerr(0);
  }
  pairlist* list_ = nullptr;
};

TEST_F(PairList, CreatedOnFirstAddAndGrowsByTenThousand) {
  pairlist_add(&list_, 1, 2);
  ASSERT_NE(list_, nullptr);
  EXPECT_EQ(list_->capacity, 10000u);
  EXPECT_EQ(list_->kind, 1u);
  EXPECT_EQ(list_->elem_size, 16u);
  EXPECT_EQ(sizeof(pair_entry), 16u);
  // Growth happens when the capacity is no more than count + 4.
  while (pairlist_count(list_) < 9996) pairlist_add(&list_, pairlist_count(list_), 0);
  EXPECT_EQ(list_->capacity, 10000u);
  pairlist_add(&list_, 9996, 0);
  EXPECT_EQ(list_->capacity, 20000u);
  EXPECT_EQ(pairlist_count(list_), 9997);
  std::intptr_t a = 0;
  pairlist_get(list_, 9996, &a, nullptr);
  EXPECT_EQ(a, 9996);
}

TEST_F(PairList, SortedInsertion) {
  const struct {
    pairs before;
    std::pair<std::intptr_t, std::intptr_t> inserted;
    pairs after;
  } cases[] = {
      {{{3, 9}, {5, 0}, {7, 2}}, {5, 1}, {{3, 9}, {5, 0}, {5, 1}, {7, 2}}},
      {{{3, 9}, {5, 0}, {7, 2}}, {5, 0}, {{3, 9}, {5, 0}, {7, 2}}},  // already present
      {{{3, 9}, {5, 0}}, {1, 1}, {{1, 1}, {3, 9}, {5, 0}}},
      {{{3, 9}, {5, 0}}, {8, 1}, {{3, 9}, {5, 0}, {8, 1}}},
      {{}, {4, 4}, {{4, 4}}},
      {{{-5, 1}, {5, 1}}, {-7, 0}, {{-7, 0}, {-5, 1}, {5, 1}}},
  };
  for (const auto& c : cases) {
    pairlist_free(&list_);
    for (const auto& p : c.before) pairlist_insert_sorted(&list_, p.first, p.second);
    pairlist_insert_sorted(&list_, c.inserted.first, c.inserted.second);
    EXPECT_EQ(contents(list_), c.after);
  }
}

TEST_F(PairList, Find) {
  for (const auto& p : pairs{{1, 10}, {2, 20}, {2, 30}, {3, 20}}) pairlist_add(&list_, p.first, p.second);
  const struct {
    int match_first;
    std::intptr_t first;
    int match_second;
    std::intptr_t second;
    int expected;
  } cases[] = {
      {1, 2, 0, 0, 1},  {0, 0, 1, 20, 1}, {1, 2, 1, 30, 2},
      {1, 3, 1, 20, 3}, {1, 4, 0, 0, -1}, {0, 2, 0, 20, -1},  // no flag: -1
  };
  for (const auto& c : cases)
    EXPECT_EQ(pairlist_find(list_, c.match_first, c.first, c.match_second, c.second), c.expected);
  EXPECT_EQ(pairlist_find(nullptr, 1, 1, 0, 0), -1);
}

TEST_F(PairList, NullListsAndBadIndexes) {
  std::intptr_t a = 7, b = 7;
  const struct {
    const char* what;
    int (*call)(pairlist*);
  } errors[] = {
      {"get null", [](pairlist*) { return pairlist_get(nullptr, 0, nullptr, nullptr); }},
      {"set null", [](pairlist*) { return pairlist_set(nullptr, 0, 1, 1); }},
      {"get_raw null", [](pairlist*) { return pairlist_get_raw(nullptr, 0, nullptr, nullptr); }},
      {"data null", [](pairlist*) { return pairlist_data(nullptr) ? 1 : 0; }},
      {"get past end", [](pairlist* l) { return pairlist_get(l, 1, nullptr, nullptr); }},
      {"get negative", [](pairlist* l) { return pairlist_get(l, -1, nullptr, nullptr); }},
      {"set past end", [](pairlist* l) { return pairlist_set(l, 1, 0, 0); }},
  };
  pairlist_add(&list_, 5, 6);
  for (const auto& e : errors) {
    set_gblerr(0);
    EXPECT_EQ(e.call(list_), 0) << e.what;
    EXPECT_EQ(get_gblerr(), ERR_HEAP) << e.what;
  }
  set_gblerr(0);
  EXPECT_EQ(pairlist_count(nullptr), 0);
  EXPECT_EQ(pairlist_pop(nullptr, &a, &b), 0);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(contents(list_), (pairs{{5, 6}}));
}

TEST_F(PairList, KindCheckOnlyInCheckedGet) {
  pairlist_add(&list_, 5, 6);
  list_->kind = 2;
  std::intptr_t a = 0, b = 0;
  EXPECT_EQ(pairlist_get(list_, 0, &a, &b), 0);
  EXPECT_EQ(pairlist_get_raw(list_, 0, &a, &b), 1);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 6);
}

TEST_F(PairList, ValuesHoldPointers) {
  char* text = nullptr;
  str_set("queued command text", &text);
  pairlist_add(&list_, 3, reinterpret_cast<std::intptr_t>(text));
  pairlist_add(&list_, INTPTR_MIN, INTPTR_MAX);
  std::intptr_t slot = 0, value = 0;
  ASSERT_EQ(pairlist_pop(list_, &slot, &value), 1);
  EXPECT_EQ(slot, INTPTR_MIN);
  EXPECT_EQ(value, INTPTR_MAX);
  ASSERT_EQ(pairlist_pop(list_, &slot, &value), 1);
  char* back = reinterpret_cast<char*>(value);
  EXPECT_EQ(back, text);
  EXPECT_STREQ(back, "queued command text");
  EXPECT_EQ(pairlist_pop(list_, nullptr, nullptr), 0);  // now empty
  free_mem(&text);
}

TEST_F(PairList, SetCountCopyAndUserWord) {
  pairlist_add(&list_, 1, 1);
  pairlist_add(&list_, 2, 2);
  ASSERT_EQ(pairlist_set(list_, 1, 20, 21), 1);
  *pairlist_data(list_) = 77;

  pairlist* copy = nullptr;
  pairlist_copy(list_, &copy);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->capacity, 2u);
  EXPECT_EQ(*pairlist_data(copy), 77u);
  EXPECT_EQ(contents(copy), (pairs{{1, 1}, {20, 21}}));
  pairlist_add(&copy, 3, 3);  // a full copy grows on its next insertion
  EXPECT_EQ(copy->capacity, 10002u);
  pairlist_copy(copy, &copy);  // onto itself
  EXPECT_EQ(contents(copy), (pairs{{1, 1}, {20, 21}, {3, 3}}));
  pairlist_copy(nullptr, &copy);
  EXPECT_EQ(copy, nullptr);

  pairlist_set_count(list_, 1);
  EXPECT_EQ(contents(list_), (pairs{{1, 1}}));
  pairlist_set_count(list_, 12000);  // beyond the capacity: new pairs read as zeros
  EXPECT_GE(list_->capacity, 12000u);
  std::intptr_t a = 9, b = 9;
  pairlist_get(list_, 11999, &a, &b);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
}

// The owner pointer of a list is often a field of a packed record, at any address.
#pragma pack(push, 1)
struct packed_owner {
  char tag;
  pairlist* list;
};
#pragma pack(pop)

TEST_F(PairList, OwnerMayBeAFieldOfAPackedRecord) {
  packed_owner rec{};
  auto** owner = reinterpret_cast<pairlist**>(reinterpret_cast<char*>(&rec) +
                                               offsetof(packed_owner, list));
  pairlist_add(owner, 1, 2);
  pairlist_insert_sorted(owner, 0, 5);
  pairlist_copy(owner_get(owner), owner);  // onto itself
  EXPECT_EQ(contents(owner_get(owner)), (pairs{{0, 5}, {1, 2}}));
  pairlist_free(owner);
  EXPECT_EQ(owner_get(owner), nullptr);
}

}  // namespace

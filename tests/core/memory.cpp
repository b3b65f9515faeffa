// Owner-pointer wrappers, owned strings, string lists, growth steps, element buffers,
// the scratch block, the budget and the out-of-memory exit.
#include "core/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/config.h"
#include "core/hooks.h"
#include "tests/support/object_env.h"

TEST(Memory, AllocFreesTheOldBlockAndFreeNullsTheOwner) {
  char* owner = nullptr;
  alloc_mem(&owner, 16);
  ASSERT_NE(owner, nullptr);
  std::strcpy(owner, "first");
  alloc_mem(&owner, 32);  // the old block is freed (ASan would report a leak otherwise)
  ASSERT_NE(owner, nullptr);
  free_mem(&owner);
  EXPECT_EQ(owner, nullptr);
  free_mem(&owner);  // a null owner is left alone
  EXPECT_EQ(owner, nullptr);
}

TEST(Memory, ReallocSizeZeroFreesAndNullOwnerAllocates) {
  char* owner = nullptr;
  EXPECT_EQ(realloc_mem(&owner, 0), nullptr);
  EXPECT_EQ(owner, nullptr);
  realloc_mem(&owner, 8);
  ASSERT_NE(owner, nullptr);
  std::memcpy(owner, "abcdefg", 8);
  realloc_mem(&owner, 4096);
  EXPECT_STREQ(owner, "abcdefg");  // contents kept on a resize
  realloc_mem(&owner, 0);
  EXPECT_EQ(owner, nullptr);
}

TEST(Memory, AllocZeroFillsTheBlock) {
  unsigned char* owner = nullptr;
  alloc_mem_zero(&owner, 64);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(owner[i], 0);
  free_mem(&owner);
}

TEST(Memory, GrowthSteps) {
  struct Case { uint32_t from, to; };
  const Case cases[] = {
      {0, 0},           {1023, 1023},       {1024, 4096},       {4095, 4096},
      {4096, 16384},    {16383, 16384},     {16384, 65536},     {65536, 262144},
      {262143, 262144}, {262144, 1048576},  {1048575, 1048576}, {1048576, 2097152},
      {2097152 - 10, 4194304},  // c + 10 reaches 2 MiB
      {2097152 - 11, 2097152},  {3000000, 4194304},
  };
  for (const Case& c : cases) EXPECT_EQ(grow_capacity_value(c.from), c.to) << c.from;
}

TEST(Memory, GrowCapacityResizesTheBlock) {
  char* block = nullptr;
  uint32_t capacity = 1024;
  grow_capacity(&block, &capacity);
  EXPECT_EQ(capacity, 4096u);
  ASSERT_NE(block, nullptr);
  block[4095] = 'x';  // the whole new capacity is addressable
  capacity = 0;
  grow_capacity(&block, &capacity);  // capacity 0 frees the block
  EXPECT_EQ(block, nullptr);
}

TEST(OwnedString, SetCatAndSelfAppend) {
  char* s = nullptr;
  str_set(nullptr, &s);
  ASSERT_NE(s, nullptr);  // a null source gives an allocated empty string
  EXPECT_STREQ(s, "");
  str_set("hello", &s);
  str_cat(" world", &s);
  EXPECT_STREQ(s, "hello world");
  str_cat(s, &s);  // appending a string to itself doubles it
  EXPECT_STREQ(s, "hello worldhello world");
  str_set(s, &s);  // setting a string to itself changes nothing
  EXPECT_STREQ(s, "hello worldhello world");
  str_set(s + 6, &s);  // a source inside the owned block
  EXPECT_STREQ(s, "worldhello world");
  str_cat(nullptr, &s);
  EXPECT_STREQ(s, "worldhello world");
  free_mem(&s);

  str_cat("abc", &s);  // a null owner behaves as str_set
  str_cat_int(-42, &s);
  str_cat_long(123456789012345LL, &s);
  str_cat_char('!', &s);
  EXPECT_STREQ(s, "abc-42123456789012345!");
  free_mem(&s);
}

TEST(OwnedString, StrEnd) {
  const char* text = "abc";
  const char* end = nullptr;
  str_end(text, &end);
  EXPECT_EQ(end, text + 4);
  str_end(nullptr, &end);
  EXPECT_EQ(end, nullptr);
}

TEST(StringList, AppendSkipsEmptyAndKeepsTheDoubleNul) {
  char* list = nullptr;
  strlist_append("", &list);
  EXPECT_EQ(list, nullptr);
  strlist_append("one", &list);
  strlist_append("", &list);
  strlist_append("two", &list);
  strlist_append("three", &list);
  ASSERT_NE(list, nullptr);
  std::string joined;
  for (const char* p = list; *p; p += std::strlen(p) + 1) joined += std::string(p) + "|";
  EXPECT_EQ(joined, "one|two|three|");
  free_mem(&list);
}

TEST(ElementBuffer, GrowRemoveAndAddress) {
  elem_buf b{0, sizeof(int), 0, nullptr};
  buf_grow(&b, 10);
  EXPECT_EQ(b.count, 10u);
  EXPECT_GE(b.capacity, 40u);
  for (uint32_t i = 0; i < b.count; ++i) {
    void* p = nullptr;
    buf_at(&b, i, &p);
    int v = int(i);
    std::memcpy(p, &v, sizeof v);
  }
  buf_remove_range(&b, 2, 4);  // removes 2, 3, 4
  ASSERT_EQ(b.count, 7u);
  const int expected[] = {0, 1, 5, 6, 7, 8, 9};
  for (uint32_t i = 0; i < b.count; ++i) {
    void* p = nullptr;
    buf_at(&b, i, &p);
    int v;
    std::memcpy(&v, p, sizeof v);
    EXPECT_EQ(v, expected[i]);
    uint32_t index = 99;
    buf_index_of(&b, p, &index);
    EXPECT_EQ(index, i);
  }
  buf_remove_range(&b, 5, 6);  // the tail: nothing to move
  EXPECT_EQ(b.count, 5u);
  buf_remove_range(&b, 3, 50);  // out of range: left alone
  EXPECT_EQ(b.count, 5u);
  buf_grow(&b, 2000);  // 2005 * 4 bytes crosses the 4 KiB step
  EXPECT_EQ(b.capacity, 16384u);
  buf_free(&b);
  EXPECT_EQ(b.count, 0u);
  EXPECT_EQ(b.capacity, 0u);
  const uint8_t* data = b.data;  // a packed field: read it into a local
  EXPECT_EQ(data, nullptr);
}

TEST(ScratchBlock, GrowsOnlyAndIsPerThread) {
  char* a = static_cast<char*>(get_loc_mem(100));
  ASSERT_NE(a, nullptr);
  a[101] = 'x';  // size + 2 bytes are usable
  EXPECT_EQ(get_loc_mem(50), a);  // smaller requests reuse the block
  char* b = static_cast<char*>(get_loc_mem(1000));
  ASSERT_NE(b, nullptr);
  b[999] = 'y';
}

TEST(MemoryBudget, CeilingFollowsMaxmem) {
  tm_test::reset_object_store();
  config_set("MAXMEM", "50");
  const double budget = compute_mem_budget();
  EXPECT_LE(budget, 100.0 * 1048576);
  EXPECT_EQ(last_mem_budget(), budget);
  double out = 0;
  EXPECT_EQ(*get_mem_budget(&out), out);
  config_reset();
}

TEST(MemoryDeathTest, OversizedRequestEndsTheProgramWithTheMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        tm_test::reset_object_store();
        config_set("LANG", "ENGLISH");
        char* p = nullptr;
        alloc_mem(&p, kMaxBlock + 1);
      },
      ::testing::ExitedWithCode(EXIT_FAILURE), "There is not enough memory");
}

TEST(MemoryDeathTest, AFailureWhileReportingStillEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        tm_test::reset_object_store();
        // A message box that itself runs out of memory must not recurse forever.
        get_core_hooks().message_box = [](const char*, const char*) {
          char* p = nullptr;
          alloc_mem(&p, kMaxBlock + 1);
        };
        char* p = nullptr;
        alloc_mem(&p, kMaxBlock + 1);
      },
      ::testing::ExitedWithCode(EXIT_FAILURE), "");
}

// Pooled object records: cut from blocks, handled by the memory wrappers as any block,
// freed from any thread, and the block given back once all of its records are freed.
#include "core/record_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "tests/support/object_env.h"

namespace {

constexpr int kPooledClass = 190;  // a free built-in slot for the test's class

struct RecordPool : ::testing::Test {
  void SetUp() override {
    tm_test::reset_object_store();
    obj_register_class(kPooledClass, 116, nullptr);
    obj_set_pooled(kPooledClass, true);
  }
  void TearDown() override { tm_test::reset_object_store(); }
};

TEST_F(RecordPool, RecordsAreZeroFilledAndFreedThroughTheWrappers) {
  // A size that is no multiple of the grain still gets a whole record.
  char* a = static_cast<char*>(pool_alloc_zero(13));
  char* b = static_cast<char*>(pool_alloc_zero(13));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(pool_owns(a));
  EXPECT_GE(pool_record_size(a), 13u);
  EXPECT_GE(b - a, 13);  // records do not overlap
  for (int i = 0; i < 13; ++i) EXPECT_EQ(a[i], 0) << i;
  std::memcpy(a, "pooled text", 12);
  // A resize moves the record to the heap with its contents.
  realloc_mem(&a, 64);
  ASSERT_NE(a, nullptr);
  EXPECT_FALSE(pool_owns(a));
  EXPECT_STREQ(a, "pooled text");
  free_mem(&a);
  free_mem(&b);
  EXPECT_EQ(b, nullptr);
  // Heap blocks and null are no pooled records.
  char* heap = nullptr;
  alloc_mem(&heap, 32);
  EXPECT_FALSE(pool_owns(heap));
  EXPECT_FALSE(pool_release(heap));
  free_mem(&heap);
  EXPECT_FALSE(pool_owns(nullptr));
  EXPECT_EQ(pool_alloc_zero(kPooledRecordMax + 1), nullptr);  // too large: the caller's heap
}

TEST_F(RecordPool, ObjectsOfAPooledClassLiveInTheListsAsAnyOther) {
  container_t* list = nullptr;
  obj_list_new(&list);
  std::vector<obj_t*> made;
  // More than one block's worth, so that a thread moves on to a second block.
  const int n = int(2 * (2u << 20) / 120) + 10;
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_new_in_list(list, kPooledClass, &o);
    ASSERT_NE(o, nullptr);
    made.push_back(o);
  }
  EXPECT_EQ(obj_list_count(list), n);
  EXPECT_TRUE(pool_owns(made.front()));
  EXPECT_TRUE(pool_owns(made.back()));
  EXPECT_EQ(made.back()->cls, kPooledClass);
  // Ids follow the order of creation, as for heap records.
  EXPECT_LT(made.front()->id, made.back()->id);
  obj_list_free_elements(list);
  obj_t* l = list;
  free_obj(&l);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(RecordPool, RecordsMadeOnAWorkerAreFreedOnAnotherThread) {
  std::vector<obj_t*> made;
  std::thread worker([&] {
    for (int i = 0; i < 20000; ++i) {
      obj_t* o = nullptr;
      obj_new(0, kPooledClass, &o);
      made.push_back(o);
    }
  });
  worker.join();  // the worker has ended: its block is held by its records only
  ASSERT_EQ(made.size(), 20000u);
  EXPECT_TRUE(pool_owns(made[0]));
  // Freeing them all gives the block back: its records are no longer known.
  const obj_t* first = made[0];
  for (obj_t*& o : made) free_obj(&o);
  EXPECT_FALSE(pool_owns(first));
}

TEST_F(RecordPool, AnUnpooledClassStaysOnTheHeap) {
  obj_set_pooled(kPooledClass, false);
  obj_t* o = nullptr;
  obj_new(0, kPooledClass, &o);
  ASSERT_NE(o, nullptr);
  EXPECT_FALSE(pool_owns(o));
  free_obj(&o);
}

}  // namespace

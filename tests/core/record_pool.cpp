// Pooled object records: cut from blocks, handled by the memory wrappers as any block,
// freed from any thread, and the block given back once all of its records are freed.
#include "core/record_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

// ---- Lines of large stores --------------------------------------------------------

constexpr size_t kLine = 24000;  // a row of an 8000-pixel RGB image
const size_t kPerBlock = ((2u << 20) - 64) / kLine;

TEST(LinePool, SlotsAreZeroFilledReusedAndHandledByTheWrappers) {
  std::vector<uint8_t*> lines;
  // More than a block's worth: the slots of two blocks.
  for (size_t i = 0; i < kPerBlock + 5; ++i) {
    auto* p = static_cast<uint8_t*>(pool_alloc_line(kLine, true));
    ASSERT_NE(p, nullptr) << i;
    EXPECT_TRUE(pool_owns(p));
    EXPECT_GE(pool_record_size(p), kLine);
    for (size_t k = 0; k < kLine; k += 997) ASSERT_EQ(p[k], 0) << i << " " << k;
    std::memset(p, 0xA5, kLine);
    lines.push_back(p);
  }
  // Slots never overlap.
  std::vector<uint8_t*> sorted = lines;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 1; i < sorted.size(); ++i) EXPECT_GE(size_t(sorted[i] - sorted[i - 1]), kLine);
  // A freed slot is the next one handed out, cleared when asked for zeros.
  uint8_t* middle = lines[3];
  free_mem(&lines[3]);
  EXPECT_EQ(lines[3], nullptr);
  lines[3] = static_cast<uint8_t*>(pool_alloc_line(kLine, true));
  EXPECT_EQ(lines[3], middle);
  for (size_t k = 0; k < kLine; ++k) ASSERT_EQ(lines[3][k], 0) << k;
  // A resize moves the line to the heap with its contents, as for records.
  uint8_t* moved = lines[4];
  realloc_mem(&moved, kLine + 10);
  EXPECT_FALSE(pool_owns(moved));
  EXPECT_EQ(moved[kLine - 1], 0xA5);
  lines[4] = moved;
  for (uint8_t*& p : lines) free_mem(&p);
  // Sizes out of the pool's range go to the heap.
  EXPECT_EQ(pool_alloc_line(kPooledLineMin - 1, true), nullptr);
  EXPECT_EQ(pool_alloc_line(kPooledLineMax + 1, true), nullptr);
}

TEST(LinePool, AnEmptiedBlockIsClearedForItsNextLinesOfAnySize) {
  // Fill a whole block with data and free it: the block is kept for the next lines.
  std::vector<uint8_t*> lines;
  for (size_t i = 0; i < 2 * kPerBlock; ++i) {
    auto* p = static_cast<uint8_t*>(pool_alloc_line(kLine, true));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0x5A, kLine);
    lines.push_back(p);
  }
  for (uint8_t*& p : lines) free_mem(&p);
  // Lines of another size laid over the old data read as zeros wherever they fall.
  const size_t other = 4160;
  for (size_t i = 0; i < 2 * (2u << 20) / other; ++i) {
    auto* p = static_cast<uint8_t*>(pool_alloc_line(other, true));
    ASSERT_NE(p, nullptr);
    for (size_t k = 0; k < other; k += 64) ASSERT_EQ(p[k], 0) << i << " " << k;
    ASSERT_EQ(p[other - 1], 0) << i;
    lines.push_back(p);
  }
  for (uint8_t*& p : lines) free_mem(&p);
}

TEST(LinePool, ManySizesOverTimeKeepBeingPooled) {
  // A viewer shows images of every width one after another: sizes whose lines are all
  // freed leave room for new ones.
  for (size_t size = 2048; size < 2048 + 300 * 64; size += 64) {
    void* a = pool_alloc_line(size, true);
    void* b = pool_alloc_line(size, false);
    ASSERT_NE(a, nullptr) << size;
    ASSERT_NE(b, nullptr) << size;
    EXPECT_TRUE(pool_owns(a));
    free_mem(&a);
    free_mem(&b);
  }
}

TEST(LinePool, ThreadsTakeAndFreeLinesTogether) {
  // Lines made on one thread and freed on another (a decoder's worker and the display),
  // with several threads at it at once.
  std::vector<std::thread> threads;
  std::vector<std::vector<void*>> made(4);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&made, t] {
      for (int i = 0; i < 400; ++i) {
        void* p = pool_alloc_line(kLine + size_t(t % 2) * 64, true);
        ASSERT_NE(p, nullptr);
        std::memset(p, t + 1, kLine);
        made[size_t(t)].push_back(p);
        if (i % 3 == 0) {
          free_mem(&made[size_t(t)].front());
          made[size_t(t)].erase(made[size_t(t)].begin());
        }
      }
    });
  for (std::thread& t : threads) t.join();
  threads.clear();
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&made, t] {
      // Each thread frees what another one made, checking it was left alone.
      for (void*& p : made[size_t((t + 1) % 4)]) {
        EXPECT_EQ(static_cast<uint8_t*>(p)[kLine - 1], uint8_t((t + 1) % 4 + 1));
        free_mem(&p);
      }
    });
  for (std::thread& t : threads) t.join();
}

}  // namespace

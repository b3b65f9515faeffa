// Object trees: father links and sons lists, names, the depth-first walk, sorted sons
// lists, and freeing a tree from its root.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "tests/support/object_env.h"

namespace {

// Two tree classes with a key and an owned label; their free routine releases the
// label and the sons list, as tree classes do.
constexpr int kFolder = 140, kItem = 141;
constexpr attr_desc kNodeAttrs[] = {{"id", AT_ID},     {"type", AT_INT}, {"father", AT_FATHER},
                                {"sons", AT_LIST}, {"key", AT_INT},  {"label", AT_STRING}};
const objdesc kFolderDesc = {"folder", 6, kNodeAttrs};
const objdesc kItemDesc = {"item", 6, kNodeAttrs};
constexpr int kKeyOffset = 24;
constexpr int kLabelOffset = 28;
static_assert(attr_offset_in(kNodeAttrs, 4) == kKeyOffset);
static_assert(attr_offset_in(kNodeAttrs, 5) == kLabelOffset);

template <class T> void free_record(T** p) {
  obj_t* o = reinterpret_cast<obj_t*>(*p);
  free_obj(&o);
  *p = reinterpret_cast<T*>(o);
}

int g_freed = 0;
void node_free(obj_t* o) {
  ++g_freed;
  char* label = field_load<char*>(o, kLabelOffset);
  free_mem(&label);
  obj_t* sons = field_load<obj_t*>(o, 16);
  free_obj(&sons);
}

class ObjectTree : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    obj_register_class(kFolder, 0, &kFolderDesc);
    obj_register_class(kItem, 0, &kItemDesc);
    obj_set_free_callback(kFolder, node_free);
    obj_set_free_callback(kItem, node_free);
    g_freed = 0;
  }
  void TearDown() override {
    set_gblerr(0);
    for (obj_t*& o : roots_) {
      obj_tree_free_containers(o);
      free_obj(&o);
    }
  }
  obj_t* node(int cls, const char* label, obj_t* father, int key = 0) {
    obj_t* o = nullptr;
    obj_new_registered(cls, &o);
    char* s = nullptr;
    str_set(label, &s);
    field_store(o, kLabelOffset, s);
    field_store<int32_t>(o, kKeyOffset, key);
    if (father)
      obj_set_father(father, o);
    else
      roots_.push_back(o);
    return o;
  }
  static std::string label(const obj_t* o) { return o ? field_load<const char*>(o, kLabelOffset) : "-"; }
  static std::string walk(obj_t* root, int cls, const char* name = nullptr) {
    std::string out;
    for (obj_t* c = nullptr; obj_tree_walk(name, root, cls, &c);) out += label(c) + " ";
    return out;
  }
  std::vector<obj_t*> roots_;
};

TEST_F(ObjectTree, SetFatherLinksOnceAndDetachUnlinks) {
  obj_t* root = node(kFolder, "root", nullptr);
  obj_t* son = node(kItem, "son", nullptr);
  roots_.pop_back();
  obj_set_father(root, son);
  obj_add_son(root, son);
  container_t* sons = field_load<container_t*>(root, 16);
  ASSERT_NE(sons, nullptr);
  EXPECT_EQ(sons->father, root);
  EXPECT_EQ(obj_list_count(sons), 1);
  EXPECT_EQ(obj_get_father(son, nullptr), root);
  EXPECT_EQ(obj_depth(son), 1);
  EXPECT_EQ(obj_depth(root), 0);
  EXPECT_EQ(obj_get_father(nullptr, nullptr), nullptr);

  obj_detach(son);
  EXPECT_EQ(obj_list_count(sons), 0);
  EXPECT_EQ(obj_get_father(son, nullptr), nullptr);
  free_obj(&son);
}

TEST_F(ObjectTree, SonsWithoutIdAreNumberedWhenLinked) {
  obj_t* root = node(kFolder, "root", nullptr);
  obj_t* son = nullptr;
  alloc_obj(kItem, &son);
  obj_set_father(root, son);
  EXPECT_NE(son->id, 0);
  obj_t* first = nullptr;
  EXPECT_EQ(obj_son_of_class(root, kItem, &first), son);
}

TEST_F(ObjectTree, WalkIsDepthFirstPreOrderBelowTheRoot) {
  obj_t* root = node(kFolder, "R", nullptr);
  obj_t* a = node(kFolder, "A", root);
  node(kItem, "a1", a);
  obj_t* a2 = node(kFolder, "a2", a);
  node(kItem, "a2x", a2);
  obj_t* b = node(kItem, "B", root);
  node(kItem, "b1", b);
  node(kFolder, "C", root);

  struct row {
    obj_t* root;
    int cls;
    const char* expected;
  } rows[] = {
      {root, 0, "A a1 a2 a2x B b1 C "},
      {root, kFolder, "A a2 C "},  // descends only through objects of the class
      {root, kItem, "B b1 "},
      {a, 0, "a1 a2 a2x "},        // never climbs above the root
      {b, 0, "b1 "},
  };
  for (const row& r : rows) EXPECT_EQ(walk(r.root, r.cls), r.expected) << label(r.root) << " " << r.cls;

  container_t* all = nullptr;
  obj_list_new(&all);
  obj_tree_collect(a, 0, all);
  EXPECT_EQ(obj_list_count(all), 4);
  EXPECT_EQ(obj_list_get(all, 0, nullptr), a);
  obj_tree_collect(root, kItem, all);
  EXPECT_EQ(obj_list_count(all), 4 + 3);
  free_record(&all);
}

TEST_F(ObjectTree, NamesLiveInTheSonsList) {
  obj_t* root = node(kFolder, "R", nullptr);
  EXPECT_EQ(obj_name_get(root), nullptr);
  obj_name_set(root, "Rivers");
  EXPECT_STREQ(obj_name_get(root), "Rivers");
  container_t* sons = field_load<container_t*>(root, 16);
  EXPECT_STREQ(obj_name_text(sons), "Rivers");
  EXPECT_EQ(obj_name_text(nullptr), nullptr);
  obj_t* son = node(kItem, "x", root);

  struct row {
    const char* name;
    obj_t* expected;
  } rows[] = {{nullptr, son}, {"rivers", son}, {"RIVERS", son}, {"Lakes", nullptr}, {"River", nullptr}};
  for (const row& r : rows) {
    obj_t* out = reinterpret_cast<obj_t*>(&sons);
    EXPECT_EQ(obj_son_next(r.name, root, kItem, &out), r.expected) << (r.name ? r.name : "null");
    EXPECT_EQ(out, r.expected);
  }
  EXPECT_EQ(walk(root, 0, "lakes"), "");
  EXPECT_EQ(walk(root, 0, "rivers"), "x ");
  obj_name_set(root, "Lakes");
  EXPECT_STREQ(obj_name_get(root), "Lakes");
}

TEST_F(ObjectTree, SortedSonsListKeepsKeyOrderAndIsWalked) {
  obj_t* root = node(kFolder, "R", nullptr);
  container_t* sons = obj_create_sons_list(root, kItem, AT_INT, kKeyOffset);
  ASSERT_NE(sons, nullptr);
  EXPECT_EQ(sons->father, root);
  EXPECT_EQ(sons->key_type, AT_INT);
  EXPECT_EQ(obj_create_sons_list(root, 0, 0, 0), sons);  // an existing list is kept
  node(kItem, "k5", root, 5);
  obj_t* k1 = node(kItem, "k1", root, 1);
  node(kItem, "k3", root, 3);
  node(kItem, "k9", k1, 9);
  obj_set_father(root, k1);  // already there
  EXPECT_EQ(obj_list_count(sons), 3);

  EXPECT_EQ(walk(root, kItem), "k1 k9 k3 k5 ");
  EXPECT_EQ(walk(root, 0), "k1 k9 k3 k5 ");
  EXPECT_EQ(walk(root, kFolder), "");

  obj_detach(k1);
  EXPECT_EQ(walk(root, kItem), "k3 k5 ");
  obj_set_father(root, k1);
  EXPECT_EQ(walk(root, kItem), "k1 k9 k3 k5 ");
}

TEST_F(ObjectTree, SonsListOfAPlainObjectTakesKeysWhileEmpty) {
  obj_t* root = node(kFolder, "R", nullptr);
  obj_name_set(root, "named");
  container_t* sons = obj_create_sons_list(root, kItem, AT_INT, kKeyOffset);
  EXPECT_EQ(sons->key_type, AT_INT);
  EXPECT_STREQ(obj_name_get(root), "named");
  EXPECT_EQ(obj_create_sons_list(nullptr, 0, 0, 0), nullptr);
}

TEST_F(ObjectTree, FreeingATreeFreesEverythingBelowTheRoot) {
  obj_t* root = node(kFolder, "R", nullptr);
  obj_t* a = node(kFolder, "A", root);
  node(kItem, "a1", a);
  obj_t* a2 = node(kItem, "a2", a);
  obj_name_set(a2, "named leaf");  // a sons list without sons
  node(kItem, "B", root);

  set_gblerr(ERR_LOADING);
  obj_tree_free_containers(root);
  EXPECT_EQ(g_freed, 0);
  EXPECT_EQ(walk(root, 0), "A a1 a2 B ");

  set_gblerr(0);
  obj_tree_free_containers(root);
  EXPECT_EQ(g_freed, 4);
  EXPECT_EQ(obj_class_count(kItem, nullptr), 0);
  EXPECT_EQ(obj_class_count(kFolder, nullptr), 1);
  EXPECT_EQ(walk(root, 0), "");
  // The root stays usable.
  node(kItem, "again", root);
  EXPECT_EQ(walk(root, 0), "again ");
}

TEST_F(ObjectTree, ContainersInATreeAreVisitedAndTheirElementsFreed) {
  obj_register_class(7, 12, nullptr);
  obj_t* root = node(kFolder, "R", nullptr);
  obj_t* a = node(kFolder, "A", root);
  container_t* list1 = nullptr;
  container_t* list2 = nullptr;
  obj_list_new(&list1);
  obj_list_new(&list2);
  obj_set_father(a, reinterpret_cast<obj_t*>(list1));
  obj_set_father(root, reinterpret_cast<obj_t*>(list2));
  std::vector<obj_t*> elems;
  for (container_t* l : {list1, list1, list2}) {
    obj_t* e = nullptr;
    obj_new(0, 7, &e);
    obj_list_append(l, e);
    elems.push_back(e);
  }
  obj_t* foreign = node(kItem, "foreign", nullptr);
  obj_list_append(list2, foreign);

  std::vector<container_t*> seen;
  std::vector<obj_t*> fathers;
  obj_t* father = nullptr;
  for (container_t* c = nullptr; obj_tree_next_container(root, &father, &c);) {
    seen.push_back(c);
    fathers.push_back(father);
  }
  EXPECT_EQ(seen, (std::vector<container_t*>{list1, list2}));
  EXPECT_EQ(fathers, (std::vector<obj_t*>{a, root}));

  std::vector<obj_t*> found;
  container_t* cursor = list1;
  for (obj_t* e = nullptr; obj_tree_next_of_class(&cursor, 7, &e);) found.push_back(e);
  EXPECT_EQ(found, elems);
  found.clear();
  cursor = list1;
  for (obj_t* e = nullptr; obj_tree_next_any(&cursor, &e);) found.push_back(e);
  EXPECT_EQ(found.size(), 4u);

  // Elements of class 7 are freed with the tree; the foreign item is not.
  obj_tree_free(root, 7);
  EXPECT_EQ(walk(root, 0), "");
  EXPECT_EQ(g_freed, 1);  // A
  EXPECT_EQ(label(foreign), "foreign");
}

TEST_F(ObjectTree, ARootThatIsAContainerComesFirst) {
  container_t* top = nullptr;
  obj_list_new(&top);
  container_t* inner = nullptr;
  obj_list_new(&inner);
  obj_set_father(reinterpret_cast<obj_t*>(top), reinterpret_cast<obj_t*>(inner));
  std::vector<container_t*> seen;
  for (container_t* c = nullptr; obj_tree_next_container(reinterpret_cast<obj_t*>(top), nullptr, &c);)
    seen.push_back(c);
  EXPECT_EQ(seen, (std::vector<container_t*>{top, inner}));
  obj_detach(reinterpret_cast<obj_t*>(inner));
  free_record(&inner);
  free_record(&top);
}

// Records whose third and fourth fields hold something other than tree links (an owner
// pointer, numbers, an owned string) are never read as a father or a sons list, however
// large they are; a class without descriptor takes part in trees only once its owner
// says so, and only with the links its record can hold.
TEST_F(ObjectTree, OnlyDeclaredOrDescribedClassesHaveTreeLinks) {
  const attr_desc flat_attrs[] = {{"id", AT_ID}, {"type", AT_INT}, {"owner", AT_REF}, {"sons", AT_LIST}};
  const objdesc flat_desc = {"flat", 4, flat_attrs};
  const attr_desc father_attrs[] = {{"id", AT_ID}, {"type", AT_INT}, {"father", AT_FATHER}, {"n", AT_INT}};
  const objdesc father_desc = {"leaf", 4, father_attrs};
  constexpr int kBuiltIn = -2, kUndeclared = -1;
  struct row {
    int cls;
    int size;
    const objdesc* desc;
    int declared;
    int links;
  } rows[] = {
      {60, 24, nullptr, kUndeclared, TREE_NONE},  // an owned string as fourth field
      {61, 28, nullptr, kUndeclared, TREE_NONE},  // three numbers, then a string
      {62, 61, nullptr, kUndeclared, TREE_NONE},  // an owner pointer third
      {63, 0, &flat_desc, kUndeclared, TREE_NONE},
      {64, 0, &father_desc, kUndeclared, TREE_FATHER},
      {65, 24, nullptr, TREE_FATHER_AND_SONS, TREE_FATHER_AND_SONS},
      {66, 20, nullptr, TREE_FATHER_AND_SONS, TREE_FATHER},  // no room for the sons list
      {67, 12, nullptr, TREE_FATHER, TREE_NONE},             // no room for the father
      {CLS_CLASS_HOLDER, 0, nullptr, kBuiltIn, TREE_FATHER_AND_SONS},
      {CLS_CONTAINER, 0, nullptr, kBuiltIn, TREE_FATHER_AND_SONS},
  };
  obj_t* root = node(kFolder, "R", nullptr);
  for (const row& r : rows) {
    SCOPED_TRACE(r.cls);
    if (r.declared != kBuiltIn) obj_register_class(r.cls, r.size, r.desc);
    if (r.declared >= 0) obj_set_tree_links(r.cls, r.declared);
    EXPECT_EQ(obj_class_tree_links(r.cls), r.links);
    if (r.declared == kBuiltIn) continue;

    obj_t* o = nullptr;
    alloc_obj(r.cls, &o);
    char* fields = reinterpret_cast<char*>(o) + 8;
    const int n = obj_class_size(r.cls) - 8;
    if (r.links == TREE_NONE) {
      // Nothing is read from, or written into, the record's fields.
      std::vector<char> bytes(n);
      for (int i = 0; i < n; ++i) bytes[i] = static_cast<char>(0xA0 + i);
      std::memcpy(fields, bytes.data(), n);
      obj_name_set(o, "name");
      obj_set_father_link(o, root);
      EXPECT_EQ(obj_create_sons_list(o, 0, 0, 0), nullptr);
      EXPECT_EQ(obj_get_father(o, nullptr), nullptr);
      EXPECT_EQ(obj_name_get(o), nullptr);
      EXPECT_EQ(obj_depth(o), 0);
      obj_t* cursor = nullptr;
      EXPECT_EQ(obj_tree_walk(nullptr, o, 0, &cursor), nullptr);
      EXPECT_EQ(std::memcmp(fields, bytes.data(), n), 0);
    } else {
      obj_set_father(root, o);
      EXPECT_EQ(obj_get_father(o, nullptr), root);
      obj_name_set(o, "name");
      EXPECT_EQ(obj_name_get(o) != nullptr, r.links == TREE_FATHER_AND_SONS);
      obj_detach(o);
      EXPECT_EQ(walk(root, 0), "");
      obj_t* sons = r.links == TREE_FATHER_AND_SONS ? field_load<obj_t*>(o, 16) : nullptr;
      free_obj(&sons);
    }
    free_obj(&o);
  }
}

TEST_F(ObjectTree, ALinkThatWouldCloseALoopIsRefused) {
  obj_t* root = node(kFolder, "R", nullptr);
  obj_t* a = node(kFolder, "A", root);
  obj_t* b = node(kFolder, "B", a);
  obj_t* c = node(kItem, "c", b);
  auto shape = [&] {
    std::string fathers;
    for (obj_t* o : {root, a, b, c}) fathers += label(obj_get_father(o, nullptr));
    return walk(root, 0) + "| " + fathers;
  };
  const std::string before = shape();
  EXPECT_EQ(before, "A B c | -RAB");
  struct row {
    obj_t* father;
    obj_t* son;
  } rows[] = {{b, a}, {c, root}, {a, a}, {c, b}};
  for (const row& r : rows) {
    obj_set_father(r.father, r.son);
    EXPECT_EQ(shape(), before) << label(r.son) << " under " << label(r.father);
  }
  // Moving a subtree elsewhere closes no loop.
  obj_t* d = node(kFolder, "D", root);
  obj_detach(b);
  obj_set_father(d, b);
  EXPECT_EQ(shape(), "A D B c | -RDB");
}

}  // namespace

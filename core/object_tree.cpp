// Father/sons trees of objects, and object names.
//
// A tree object keeps its father reference in its third field and its sons list in its
// fourth: a plain list kept in id order, or a sorted index of one son class. Which
// classes have these links is recorded in the registry (obj_class_tree_links); the
// fields of any other record are never read as links. The name of an object is the name
// text of its sons list, which is made on first use.
//
// The walk is depth-first and pre-order: a step descends to the first son of the class
// when there is one, and otherwise climbs from the current node to the next sibling of
// the class under each father in turn, stopping at the root.
#include <cstddef>
#include <vector>

#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/strutil.h"

namespace {

constexpr int kFatherOffset = offsetof(tree_obj_t, father);
constexpr int kSonsOffset = offsetof(tree_obj_t, sons);
// Climbing stops after this many fathers, so that a father loop cannot hang a walk.
constexpr int kMaxDepth = 1 << 20;

bool has_father(const obj_t* o) { return o && (obj_class_tree_links(o->cls) & TREE_FATHER); }
bool has_sons(const obj_t* o) { return o && obj_class_tree_links(o->cls) == TREE_FATHER_AND_SONS; }

container_t* sons_of(const obj_t* o) {
  return has_sons(o) ? field_load<container_t*>(o, kSonsOffset) : nullptr;
}
void set_sons(obj_t* o, container_t* list) { field_store(o, kSonsOffset, list); }

bool is_sorted(const container_t* list) { return list && list->key_type != 0; }

// The sons list of an object, made as a plain list on first use.
container_t* ensure_sons(obj_t* o) {
  if (!has_sons(o)) return nullptr;
  container_t* sons = sons_of(o);
  if (!sons) {
    obj_list_new(&sons);
    if (!sons) return nullptr;
    sons->father = o;
    set_sons(o, sons);
  }
  return sons;
}

// The next sibling of the class after `node` under `father`, or null.
obj_t* next_sibling(const obj_t* father, int cls, obj_t* node) {
  obj_t* sib = node;
  return obj_son_of_class(father, cls, &sib);
}

obj_t* climb(const obj_t* root, int cls, obj_t* node) {
  for (int depth = 0; node && node != root && depth < kMaxDepth; ++depth) {
    obj_t* father = obj_get_father(node, nullptr);
    if (!father) return nullptr;
    if (obj_t* sib = next_sibling(father, cls, node)) return sib;
    node = father;
  }
  return nullptr;
}

std::vector<obj_t*> collect_below(obj_t* root, int cls) {
  std::vector<obj_t*> nodes;
  obj_t* cursor = nullptr;
  while (obj_tree_walk(nullptr, root, cls, &cursor)) nodes.push_back(cursor);
  return nodes;
}

// Position of an element in a list: by id in an id-ordered list, else by scanning.
int position_in(const container_t* list, const obj_t* elem) {
  int pos = 0;
  if (id_list_find(list, elem->id, &pos) && list->elems[pos] == elem) return pos;
  for (int i = 0; i < obj_list_count(list); ++i)
    if (list->elems[i] == elem) return i;
  return -1;
}

// Whether `o` is `node` or one of its ancestors.
bool is_self_or_ancestor(const obj_t* o, const obj_t* node) {
  for (int depth = 0; node && depth < kMaxDepth; ++depth, node = obj_get_father(node, nullptr))
    if (node == o) return true;
  return false;
}

// The top of the tree an object belongs to.
obj_t* tree_top(obj_t* o) {
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    obj_t* father = obj_get_father(o, nullptr);
    if (!father) break;
    o = father;
  }
  return o;
}

}  // namespace

// ---- Names --------------------------------------------------------------------------

void obj_name_set(obj_t* obj, const char* text) {
  container_t* sons = ensure_sons(obj);
  if (!sons) return;
  if (text)
    str_set(text, &sons->name_text);
  else
    free_mem(&sons->name_text);
}

const char* obj_name_get(const obj_t* obj) { return obj_name_text(sons_of(obj)); }

const char* obj_name_text(const container_t* list) { return list ? list->name_text : nullptr; }

// ---- Links --------------------------------------------------------------------------

obj_t* obj_get_father(const obj_t* obj, obj_t** out) {
  obj_t* father = has_father(obj) ? field_load<obj_t*>(obj, kFatherOffset) : nullptr;
  if (out) *out = father;
  return father;
}

void obj_set_father_link(obj_t* obj, obj_t* father) {
  if (has_father(obj)) field_store(obj, kFatherOffset, father);
}

int obj_depth(const obj_t* obj) {
  int depth = 0;
  for (obj_t* f = obj_get_father(obj, nullptr); f && depth < kMaxDepth; f = obj_get_father(f, nullptr))
    ++depth;
  return depth;
}

// A son that is the father itself or one of its ancestors would close a loop that every
// walk below it would follow for ever (fathers may come from a file): such a link is
// refused and nothing changes.
void obj_set_father(obj_t* father, obj_t* son) {
  if (!son || is_self_or_ancestor(son, father)) return;
  obj_set_father_link(son, father);
  container_t* sons = father ? ensure_sons(father) : nullptr;
  if (!sons) return;
  if (is_sorted(sons))
    index_insert(sons, son);
  else
    obj_add_to_id_list(sons, son);
}

void obj_add_son(obj_t* father, obj_t* son) { obj_set_father(father, son); }

void obj_detach(obj_t* son) {
  obj_t* father = obj_get_father(son, nullptr);
  container_t* sons = sons_of(father);
  if (sons) {
    if (is_sorted(sons)) {
      index_remove(sons, son);
    } else {
      int pos = 0;
      if (id_list_find(sons, son->id, &pos) && sons->elems[pos] == son) obj_list_remove_at(sons, pos);
    }
  }
  obj_set_father_link(son, nullptr);
}

// An object that already has a sons list keeps it: an empty plain one takes the key
// fields asked for, any other stays as it is. A new list gets its fields only while no
// error is pending.
container_t* obj_create_sons_list(obj_t* obj, int cls, int key_type, int key_offset) {
  if (!has_sons(obj)) return nullptr;
  container_t* sons = sons_of(obj);
  const bool ok = get_gblerr() == 0;
  if (sons) {
    if (ok && cls != 0 && obj_list_count(sons) == 0 && !is_sorted(sons)) {
      sons->elem_class = uint16_t(cls);
      sons->key_type = uint16_t(key_type);
      sons->key_offset = uint16_t(key_offset);
    }
    return sons;
  }
  if (cls != 0) index_create(cls, key_type, key_offset, &sons);
  if (!sons) obj_list_new(&sons);
  if (!sons) return nullptr;
  if (ok) sons->father = obj;
  set_sons(obj, sons);
  return sons;
}

// Class 0 stands for any class, also in a sorted sons list.
obj_t* obj_son_of_class(const obj_t* obj, int cls, obj_t** inout_son) {
  if (!inout_son) return nullptr;
  const container_t* sons = sons_of(obj);
  if (!sons) {
    *inout_son = nullptr;
    return nullptr;
  }
  if (!is_sorted(sons)) return obj_list_next_of_class_by_id(sons, cls, inout_son);
  if (cls != 0 && sons->elem_class != cls) {
    *inout_son = nullptr;
    return nullptr;
  }
  int pos = -1;
  return index_locate(sons, inout_son, &pos);
}

obj_t* obj_son_next(const char* name, const obj_t* obj, int cls, obj_t** out) {
  obj_t* son = nullptr;
  const char* list_name = obj_name_get(obj);
  if (!(name && list_name && str_compare_ci(name, list_name) != 0)) obj_son_of_class(obj, cls, &son);
  if (out) *out = son;
  return son;
}

// ---- Walks --------------------------------------------------------------------------

obj_t* obj_tree_walk(const char* name, obj_t* root, int cls, obj_t** cursor) {
  if (!cursor) return nullptr;
  obj_t* current = *cursor ? *cursor : root;
  obj_t* next = nullptr;
  if (current) {
    obj_son_next(name, current, cls, &next);
    if (!next) next = climb(root, cls, current);
  }
  *cursor = next;
  return next;
}

obj_t* obj_tree_next(obj_t* root, int cls, obj_t** cursor) {
  return obj_tree_walk(nullptr, root, cls, cursor);
}

void obj_tree_collect(obj_t* root, int cls, container_t* list) {
  if (!root || !list) return;
  obj_list_append(list, root);
  for (obj_t* o : collect_below(root, cls)) obj_list_append(list, o);
}

// Every object below the root is freed, deepest and last visited first, together with
// its sons list (taken from it before its free routine runs, so that it is freed once);
// the root's sons list is then emptied, since all its sons are gone.
void obj_tree_free_containers(obj_t* root) {
  if (!root || get_gblerr() != 0) return;
  std::vector<obj_t*> nodes = collect_below(root, 0);
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    obj_t* node = *it;
    obj_t* sons = reinterpret_cast<obj_t*>(sons_of(node));
    if (sons) set_sons(node, nullptr);
    free_obj(&node);
    free_obj(&sons);
  }
  container_t* root_sons = sons_of(root);
  if (root_sons) obj_list_clear(root_sons);
}

void obj_tree_free(obj_t* root, int cls) {
  if (!root || get_gblerr() != 0) return;
  std::vector<container_t*> containers;
  obj_t* father = nullptr;
  container_t* c = nullptr;
  while (obj_tree_next_container(root, &father, &c)) containers.push_back(c);
  obj_lists_free_type(containers.data(), static_cast<int>(containers.size()), cls);
  obj_tree_free_containers(root);
}

// The root first when it is a container, then every container met in the walk.
container_t* obj_tree_next_container(obj_t* root, obj_t** out_father, container_t** cursor) {
  if (!cursor) return nullptr;
  obj_t* node = reinterpret_cast<obj_t*>(*cursor);
  if (!node && root && root->cls == CLS_CONTAINER) {
    node = root;
  } else {
    while (obj_tree_walk(nullptr, root, 0, &node) && node->cls != CLS_CONTAINER) {
    }
  }
  *cursor = reinterpret_cast<container_t*>(node);
  if (out_father) *out_father = obj_get_father(node, nullptr);
  return *cursor;
}

// The containers looked through after the cursor's one are those that follow it in the
// walk of its whole tree (from the top of the tree), so that the order is the same
// whichever container the cursor stands on.
obj_t* obj_tree_next_of_class(container_t** cursor, int cls, obj_t** inout_elem) {
  if (!cursor || !inout_elem) return nullptr;
  while (*cursor) {
    const container_t* list = *cursor;
    int pos = 0;
    if (*inout_elem) {
      const int at = position_in(list, *inout_elem);
      pos = at < 0 ? obj_list_count(list) : at + 1;
    }
    for (; pos < obj_list_count(list); ++pos) {
      obj_t* e = list->elems[pos];
      if (e && (cls == 0 || e->cls == cls)) return *inout_elem = e;
    }
    *inout_elem = nullptr;
    obj_tree_next_container(tree_top(reinterpret_cast<obj_t*>(*cursor)), nullptr, cursor);
  }
  return nullptr;
}

obj_t* obj_tree_next_any(container_t** cursor, obj_t** inout_elem) {
  return obj_tree_next_of_class(cursor, 0, inout_elem);
}

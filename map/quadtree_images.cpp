// The image tree of the image layer (priority 0).
//
// Its slots pair an image's graphic index entry with the image's `layer_link`, kept in
// ascending drawing order in every node. A node is split while some image in it would
// still show more than half of its width and height inside the node: small nodes then
// hold the images seen at full resolution, large ones those seen reduced.
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"

using namespace qtree_detail;

namespace {

// 1 when the node, seen in the image's pixels, is more than half the image wide and high.
bool image_qualifies(const qtree_node* node, const qtree_slot& slot) {
  const auto& hooks = visible_get_hooks();
  if (!hooks.image_pixels || !slot.entry) return false;
  obj_t* image = view_access::link_object(slot.link);
  if (!image) image = slot.entry->object;
  extent_t px{};
  int w = 0, h = 0;
  if (!hooks.image_pixels(image, node->extent, &px, &w, &h)) return false;
  return extent_width(px) > w / 2.0 && extent_height(px) > h / 2.0;
}

}  // namespace

void qtree_node_add(qtree_node* node, obj_t* link, gindex_entry_t* entry) {
  if (!node || !entry) return;
  const int order = view_access::link_order(link);
  const extent_t e = entry->extent;  // the record is packed: copied, never bound
  if (order != 0 && !meets(e, node->extent)) return;
  int at = node->count;
  for (int i = 0; i < node->count; ++i)
    if (view_access::link_order(node->entries[i].link) > order) {
      at = i;
      break;
    }
  ensure_room(node, node->count + 1);
  for (int i = node->count; i > at; --i) node->entries[i] = node->entries[i - 1];
  node->entries[at] = qtree_slot{entry, {link}};
  node->flags |= kQtreeLinks;
  ++node->count;
}

void qtree_split_images(qtree_node* node) {
  if (!node || node->count == 0 || !is_leaf(node) || !can_split(node)) return;
  bool any = false;
  for (int i = 0; i < node->count && !any; ++i) any = image_qualifies(node, node->entries[i]);
  if (!any) return;
  make_children(node);
  for (int k = 3; k >= 0; --k) {
    qtree_node* child = node->child[k];
    for (int i = 0; i < node->count; ++i)
      qtree_node_add(child, node->entries[i].link, node->entries[i].entry);
    qtree_split_images(child);
  }
  node->count = 0;
}

void qtree_insert_image(qtree_node* node, obj_t* link, gindex_entry_t* entry) {
  if (!node || !entry) return;
  const extent_t e = entry->extent;
  if (!meets(e, node->extent)) return;
  if (!is_leaf(node)) {
    for (int k = 3; k >= 0; --k) qtree_insert_image(node->child[k], link, entry);
    return;
  }
  qtree_node_add(node, link, entry);
  qtree_split_images(node);
}

void qtree_build_images(layer_t* layer) {
  if (!layer) return;
  graphspace_lock lock(graphspace_mutex());
  if (layer->graphspace) layer->graphspace->rebuild_layers = 0;
  qtree_build(layer);
  if (!layer->qtree) return;
  qtree_node* root = layer->qtree->root;
  const container_t* objects = layer->objects;
  const int n = obj_list_count(objects);
  for (int i = 0; i < n; ++i) {
    obj_t* link = objects->elems[i];
    if (!link || link->cls != view_access::kLayerLinkClass) continue;
    gindex_entry_t* entry = nullptr;
    gindex_find(layer, view_access::link_object(link), &entry);
    qtree_insert_image(root, link, entry);
  }
}

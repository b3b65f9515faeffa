// The reload command (slot 20): a file shown in the current graph space is closed, or
// closed and loaded again. Its text is "1" (reload) or "0" (close) followed by the
// file's name.
//
// Every layer of a graph space that shows one of the file's folders leaves
// the space, and every image the file showed leaves the image layer; the file is then
// marked unloaded (kind 0, so that opening it again loads it anew), its in-memory
// content is released and its objects unloaded. A close rebuilds the space; a reload
// posts the load command without fitting the view. The task then ends.
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/graphspace_internal.h"

namespace {

void remove_folder_layers(graphspace_t* gs, obj_t* folder) {
  for (int i = obj_list_count(gs->layers) - 1; i >= 0; --i) {
    layer_t* layer = nullptr;
    obj_list_get(gs->layers, i, &layer);
    if (layer && layer->folder == folder) layer_remove_and_free(layer);
  }
}

void remove_folder_images(graphspace_t* gs, obj_t* folder) {
  layer_t* images = graphspace_layer_of_priority(gs, 0, nullptr);
  if (!images) return;
  std::vector<obj_t*> shown;
  const int n = obj_list_count(images->objects);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(images->objects, i, &o);
    if (o && o->cls == CLS_LAYER_LINK && static_cast<layer_link_t*>(o)->folder == folder)
      shown.push_back(static_cast<layer_link_t*>(o)->object);
  }
  for (obj_t* object : shown) graphspace_remove_object(gs, object);
}

}  // namespace

int graphspace_reload_text(const char* text) {
  if (!text || (text[0] != '0' && text[0] != '1') || !text[1]) return 0;
  const bool reload = text[0] == '1';
  const char* name = text + 1;
  fileatt_t* file = nullptr;
  file_find_by_name(name, &file);
  graphspace_t* gs = graphspace_current();
  if (!file) return 0;
  {
    // Every graph space, not only the current one: the unload below frees the objects
    // that a layer of any space showing the folder would still point to.
    graphspace_lock lock(graphspace_mutex());
    obj_t* cursor = nullptr;
    while (obj_class_next(CLS_GRAPHSPACE, &cursor)) {
      graphspace_t* space = static_cast<graphspace_t*>(cursor);
      folder_t* it = nullptr;
      while (folder_t* folder = file_next_folder(file, &it)) {
        remove_folder_layers(space, folder);
        remove_folder_images(space, folder);
      }
    }
  }
  const std::string path = file_get_name(file);
  file->filetype = 0;
  file_set_store(file, nullptr);
  // Opened again, the file is unpacked anew from what it holds then.
  file_set_packed(file, nullptr);
  file->content_state = 0;
  file->source_size = 0;
  if (fileobj_hooks& hooks = get_fileobj_hooks(); hooks.unload) hooks.unload(file, 0);
  if (!reload) {
    graphspace_rebuild(gs);
  } else {
    core_post_load_command(path.c_str(), 0);
  }
  return 1;
}

int graphspace_reload_files() {
  const int r = graphspace_reload_text(core_current_task_text());
  core_task_end();
  return r;
}

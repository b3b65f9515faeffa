// The image viewer's program-wide state and its settings record (class 170).
#include "sorbinel/sb_state.h"

#include "core/object.h"

namespace {

constexpr attr_desc kFilterAttrs[] = {
    {"id", AT_ID},          {"type", AT_INT},        {"mindim", AT_INT},        {"maxdim", AT_INT},
    {"orientation", AT_INT}, {"minfilesize", AT_INT}, {"maxfilesize", AT_INT},   {"singleimage", AT_INT},
    {"zoom", AT_DOUBLE},    {"nozoommax", AT_INT},   {"currentpage", AT_INT},   {"firstpage", AT_INT},
    {"pagecount", AT_INT},
};
const objdesc kFilterDesc = {"feature", int(sizeof kFilterAttrs / sizeof kFilterAttrs[0]), kFilterAttrs};

sb_state g_state;

}  // namespace

sb_state& sb() { return g_state; }

sb_file_filter_t* sb_filter() {
  if (!g_state.filter) sb_state_init();
  return g_state.filter;
}

void sb_state_init() {
  if (g_state.filter) {
    obj_t* old = g_state.filter;
    free_obj(&old);
  }
  g_state = sb_state{};
  if (obj_class_size(kSbFilterClass) == 0)
    obj_register_class(kSbFilterClass, int(sizeof(sb_file_filter_t)), &kFilterDesc);
  obj_t* record = nullptr;
  obj_new_registered(kSbFilterClass, &record);
  g_state.filter = static_cast<sb_file_filter_t*>(record);
  if (g_state.filter) g_state.filter->stored_zoom = 1.0;
}

void sb_state_reset() { g_state = sb_state{}; }

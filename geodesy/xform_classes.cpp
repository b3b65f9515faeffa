// Registration of the step classes and of the georef class, called by the geodesy
// tables' registration so that every test or program that has the geodetic classes
// also has these.
#include "core/object.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"

const objdesc georef_desc = {"georef", kGeorefAttrCount, kGeorefAttrs};

namespace {

struct step_class {
  int cls;
  int size;
  const objdesc* desc;
  obj_free_fn free_fn;
  obj_copy_fn copy_fn;
};

constexpr step_class kStepClasses[] = {
    {CLS_XFORM_CONTROL_POINT, sizeof(xform_control_point_t), nullptr, nullptr, nullptr},
    {CLS_XFORM_OFFSET_SCALE, sizeof(xform_offset_scale_t), nullptr, nullptr, nullptr},
    {CLS_XFORM_SCALE, sizeof(xform_scale_t), nullptr, nullptr, nullptr},
    {CLS_XFORM_AFFINE3D, sizeof(xform_affine3d_t), nullptr, nullptr, nullptr},
    {CLS_XFORM_LINEAR2D, sizeof(xform_linear2d_t), nullptr, nullptr, nullptr},
    {CLS_XFORM_CHAIN, sizeof(xform_chain_t), nullptr, xform_chain_free, xform_chain_copy},
    {CLS_GEOREF, sizeof(georef_t), &georef_desc, georef_free, georef_copy},
};

}  // namespace

void xform_register_classes() {
  for (const step_class& c : kStepClasses) {
    obj_register_class(c.cls, c.size, c.desc);
    if (c.free_fn) obj_set_free_callback(c.cls, c.free_fn);
    if (c.copy_fn) obj_set_copy_callback(c.cls, c.copy_fn);
  }
  // The tables are being set up anew: transformations composed for the old ones are gone.
  geo_path_forget_freed();
}

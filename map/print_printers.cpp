// The printer list of the object store: one entry per usable printer with its document
// settings, and one quality entry per print quality its driver accepts. The driver is
// asked by handing it settings and reading back what it kept.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>

#include "core/index.h"
#include "core/memory.h"
#include "map/print.h"

namespace {

// Resolutions tried, in this order, and the quality codes.
constexpr int kResolutions[] = {4800, 4000, 3600, 3000, 3200, 2880, 2400, 2000, 1600, 1440,
                                1200, 1000, 800,  720,  600,  480,  400,  360,  300,  288,
                                240,  200,  150,  144,  120,  100,  75,   72,   60};
constexpr int kQualityCodes[] = {-4, -3, -2, -1};
// A printer reporting no quality takes the highest accepted resolution below this.
constexpr int kAutomaticQualityLimit = 801;

void quality_entry_free(obj_t* obj) { free_mem(&static_cast<quality_entry_t*>(obj)->name); }

// The settings with print quality and y resolution set to q, as the driver keeps them.
bool driver_keeps_quality(plat::Printer p, printer_entry_t* entry, int q) {
  plat::DevMode in = *entry->devmode;
  in.fields = plat::DM_PRINTQUALITY | plat::DM_YRESOLUTION;
  in.print_quality = int16_t(q);
  in.y_resolution = int16_t(q);
  plat::DevMode out;
  if (plat::document_properties(p, &out, &in, plat::DM_IN_BUFFER | plat::DM_OUT_BUFFER) < 0) return false;
  return out.print_quality == q;
}

quality_entry_t* quality_entry_new(printer_entry_t* entry, int value) {
  quality_entry_t* q = nullptr;
  obj_new_registered(CLS_QUALITY_ENTRY, &q);
  if (!q) return nullptr;
  q->father = entry;
  q->value = value;
  quality_entry_name(q);
  return q;
}

// Landscape accepted, then a context that can copy bitmaps, draw polylines and write
// characters: its depth and colours are stored. False for an unusable printer.
bool printer_usable(printer_entry_t* entry) {
  if (!(entry->devmode->fields & plat::DM_ORIENTATION)) return false;
  if (!printer_set_landscape(entry, 1)) return false;
  plat::Dc dc = plat::create_printer_dc(entry->name, entry->devmode);
  if (!dc) return false;
  const bool able = (plat::printer_device_caps(dc, plat::RASTERCAPS) & plat::RC_DIBTODEV) &&
                    (plat::printer_device_caps(dc, plat::LINECAPS) & plat::LC_POLYLINE) &&
                    (plat::printer_device_caps(dc, plat::TEXTCAPS) & plat::TC_OP_CHARACTER);
  entry->colour_depth =
      plat::printer_device_caps(dc, plat::PLANES) * plat::printer_device_caps(dc, plat::BITSPIXEL);
  entry->num_colours = plat::printer_device_caps(dc, plat::NUMCOLORS);
  entry->page_depth = entry->colour_depth <= 8 ? 8 : 32;
  plat::delete_dc(dc);
  return able;
}

printer_entry_t* find_entry(const char* name) {
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_PRINTER_ENTRY, &cursor)) {
    printer_entry_t* e = static_cast<printer_entry_t*>(cursor);
    if (e->name && std::strcmp(e->name, name) == 0) return e;
  }
  return nullptr;
}

}  // namespace

void redraw_types_register() {
  obj_register_class(CLS_PRINTER_ENTRY, int(sizeof(printer_entry_t)), nullptr);
  obj_set_free_callback(CLS_PRINTER_ENTRY, printer_entry_free);
  obj_register_class(CLS_QUALITY_ENTRY, int(sizeof(quality_entry_t)), nullptr);
  obj_set_free_callback(CLS_QUALITY_ENTRY, quality_entry_free);
}

void printer_list_load() {
  if (obj_class_count(CLS_PRINTER_ENTRY, nullptr) > 0) return;
  for (const std::string& name : plat::enum_printers()) printer_entry_add(name.c_str());
  printer_quality_lists();
}

printer_entry_t* printer_entry_add(const char* name) {
  if (!name || !*name || find_entry(name)) return nullptr;
  if (plat::device_capabilities(name, plat::DC_ORIENTATION) <= 0) return nullptr;
  plat::Printer p = nullptr;
  if (!plat::open_printer(name, &p)) return nullptr;
  const int size = plat::document_properties(p, nullptr, nullptr, 0);
  printer_entry_t* entry = nullptr;
  obj_new_registered(CLS_PRINTER_ENTRY, &entry);
  bool ok = entry && size == int(sizeof(plat::DevMode));
  if (ok) {
    str_set(name, &entry->name);
    entry->ratio = 100;
    entry->devmode = new plat::DevMode;
    ok = plat::document_properties(p, entry->devmode, nullptr, plat::DM_OUT_BUFFER) > 0;
    entry->quality = entry->devmode->print_quality;
  }
  plat::close_printer(p);
  if (ok) ok = printer_usable(entry);
  if (!ok && entry) {
    obj_t* o = entry;
    free_obj(&o);
    return nullptr;
  }
  return entry;
}

void printer_quality_list(printer_entry_t* entry) {
  if (!entry || !entry->devmode) return;
  plat::Printer p = nullptr;
  if (!plat::open_printer(entry->name, &p)) return;
  const int q = entry->devmode->print_quality;
  if (q != 0) {
    quality_entry_new(entry, q);
    entry->quality = q;
  }
  auto try_candidate = [&](int c) {
    if (c == q || !driver_keeps_quality(p, entry, c)) return;
    quality_entry_new(entry, c);
    if (q == 0 && c > entry->quality && c < kAutomaticQualityLimit) entry->quality = c;
  };
  if (q < 0)
    for (int c : kQualityCodes) try_candidate(c);
  else
    for (int c : kResolutions) try_candidate(c);
  plat::close_printer(p);
}

void printer_quality_lists() {
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_PRINTER_ENTRY, &cursor))
    printer_quality_list(static_cast<printer_entry_t*>(cursor));
}

void quality_entry_name(quality_entry_t* q) {
  if (!q) return;
  static const char* const kCodeNames[] = {"DRAFT", "LOW", "MEDIUM", "HIGH"};
  const int v = q->value;
  if (v >= -4 && v <= -1) {
    str_set(kCodeNames[-v - 1], &q->name);
  } else if (v > 0) {
    // A blank for each unit, or part of one, by which 3 exceeds log10(v): the numbers
    // line up on the right.
    const int blanks = std::max(0, int(std::ceil(3.0 - std::log10(double(v)))));
    char text[32];
    std::snprintf(text, sizeof text, "%*s%d", blanks, "", v);
    str_set(text, &q->name);
  }
}

container_t* printer_qualities(const printer_entry_t* entry, container_t** out) {
  container_t* list = nullptr;
  obj_list_new(&list);
  obj_t* cursor = nullptr;
  while (list && obj_class_next(CLS_QUALITY_ENTRY, &cursor))
    if (static_cast<quality_entry_t*>(cursor)->father == entry) obj_list_append(list, cursor);
  if (out) *out = list;
  return list;
}

void quality_list_indexes(container_t* list, container_t** by_value, container_t** by_name) {
  if (by_value)
    index_create_over(list, CLS_QUALITY_ENTRY, AT_INT, int(offsetof(quality_entry_t, value)), by_value);
  if (by_name)
    index_create_over(list, CLS_QUALITY_ENTRY, AT_STRING, int(offsetof(quality_entry_t, name)), by_name);
}

container_t* printer_index_by_name(container_t** out) {
  return index_create_over(obj_class_list(CLS_PRINTER_ENTRY), CLS_PRINTER_ENTRY, AT_STRING,
                           int(offsetof(printer_entry_t, name)), out);
}

container_t* printer_index_default_first(container_t** out) {
  container_t* by_name = nullptr;
  printer_index_by_name(&by_name);
  container_t* list = nullptr;
  obj_list_new(&list);
  // Three passes over the names in order: the server's default, its other
  // destinations, then the file printers.
  const std::string default_name = plat::get_default_printer();
  for (int group = 0; list && group < 3; ++group) {
    for (int i = 0; i < obj_list_count(by_name); ++i) {
      printer_entry_t* e = nullptr;
      obj_list_get(by_name, i, &e);
      if (!e) continue;
      const bool system = e->name && plat::is_system_printer(e->name);
      const int in = !system ? 2 : default_name == e->name ? 0 : 1;
      if (in == group) obj_list_append(list, e);
    }
  }
  free_obj(reinterpret_cast<obj_t**>(&by_name));
  if (out) *out = list;
  return list;
}

void printer_apply_quality(printer_entry_t* entry) {
  if (!entry || !entry->devmode || entry->quality == 0) return;
  plat::Printer p = nullptr;
  if (!plat::open_printer(entry->name, &p)) return;
  plat::DevMode in = *entry->devmode;
  in.fields = plat::DM_PRINTQUALITY | plat::DM_YRESOLUTION | plat::DM_ORIENTATION;
  in.print_quality = int16_t(entry->quality);
  in.y_resolution = int16_t(entry->quality);
  plat::document_properties(p, entry->devmode, &in, plat::DM_IN_BUFFER | plat::DM_OUT_BUFFER);
  plat::close_printer(p);
}

int printer_set_landscape(printer_entry_t* entry, int landscape) {
  if (!entry || !entry->devmode || !(entry->devmode->fields & plat::DM_ORIENTATION)) return 0;
  plat::Printer p = nullptr;
  if (!plat::open_printer(entry->name, &p)) return 0;
  plat::DevMode in = *entry->devmode;
  in.fields = plat::DM_ORIENTATION | plat::DM_PRINTQUALITY | plat::DM_YRESOLUTION;
  in.orientation = landscape ? plat::DMORIENT_LANDSCAPE : plat::DMORIENT_PORTRAIT;
  plat::document_properties(p, entry->devmode, &in, plat::DM_IN_BUFFER | plat::DM_OUT_BUFFER);
  plat::close_printer(p);
  return entry->devmode->orientation == plat::DMORIENT_LANDSCAPE ? 1 : 0;
}

void printer_entry_free(obj_t* obj) {
  printer_entry_t* entry = static_cast<printer_entry_t*>(obj);
  delete entry->devmode;
  entry->devmode = nullptr;
  free_mem(&entry->name);
  container_t* sons = nullptr;
  printer_qualities(entry, &sons);
  for (int i = 0; sons && i < obj_list_count(sons); ++i) {
    obj_t* q = nullptr;
    obj_list_get(sons, i, &q);
    free_obj(&q);
  }
  free_obj(reinterpret_cast<obj_t**>(&sons));
}

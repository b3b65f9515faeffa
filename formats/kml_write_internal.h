// What the KML writer's two files share (kml_write.cpp, kml_write_objects.cpp).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/obj_list.h"

struct xform_chain_t;

// One folder being written: the output, the chain to geographic WGS 84 (null: none is
// needed) and the folder's feature name (the representation style of map data).
struct kml_writer {
  FILE* out = nullptr;
  xform_chain_t* chain = nullptr;
  std::string feature;
};

// Writes one object as a Placemark through the table of writer routines by class;
// classes without a routine are skipped.
void kml_write_object(kml_writer* w, const obj_t* obj);
// 1 when the class has a writer routine.
int kml_class_written(int cls);
// "ff" then blue, green and red of a colour word, in hexadecimal.
std::string kml_colour_text(uint32_t colour, int alpha = 255);
// The icon address written for a waypoint symbol number.
std::string kml_icon_address(int symbol);
// The representation style of the map data of a folder (ways, way lines and nodes).
void kml_write_representation_style(kml_writer* w, bool nodes);

// Shared between the attribute loading and the extent routines of the drawing styles:
// the loaders that also tell whether the object's coordinates could be read (1), so
// that an extent routine draws nothing for an object without them.
#pragma once
struct obj_t;

int load_dimage(obj_t* style, obj_t* object, obj_t* father);
int load_dsegment(obj_t* style, obj_t* object, obj_t* father);
int load_dpoint(obj_t* style, obj_t* object, obj_t* father);
int load_dtext(obj_t* style, obj_t* object, obj_t* father);
int load_dsegpoint(obj_t* style, obj_t* object, obj_t* father);
int load_dpolycurve(obj_t* style, obj_t* object, obj_t* father);
int load_drectangle(obj_t* style, obj_t* object, obj_t* father);
int load_darcellip(obj_t* style, obj_t* object, obj_t* father);

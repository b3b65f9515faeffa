// The ROWSET reader (format 76, kind 14): XML database exports in which each "ROW"
// names a class of the object store in its "TYPE" element and gives attribute values in
// child elements named after the attributes, in upper case. Every row naming a class
// becomes an object of that class in the file's content list. The vocabulary is built
// from the class registry on each read, so any registered class with a descriptor can
// be loaded (classes 1 to 199).
//
// What a row can never set: objects of the classes that hold system resources (file
// objects, their memory copies and line stores, GPS ports, sockets) are not made; a
// reference or list attribute is left empty (a row has no id of its own, so no other row
// can name it, and pointing into objects loaded elsewhere would let this object's free
// routine release what their owner still lists). Every object made stays in the list,
// which alone frees it.
#pragma once

struct obj_t;
struct container_t;

constexpr int kRowsetFormat = 76;

// Reads the file into `list` (its content list). Always returns 0; an error (2: the file
// cannot be opened, 1: the objects would leave less than 16 MiB of the memory budget)
// stays in gblerr, and the objects read before it stay in the list.
int read_rowset(obj_t* file, container_t* list);

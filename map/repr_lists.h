// The lists read by repr_load_named_list (map/repr.h) and how their owners free them.
//
// A named list keeps the lists it holds with what they hold (the file's other lists go
// with what only they hold), and a list that holds itself, directly or through another
// list, is refused with code 14. Such a list is freed with everything it reaches.
#pragma once

struct container_t;

// Frees a list with everything it reaches: its elements, and the elements of the lists
// among them at any depth, each object once (the list itself included when it is among
// them). Null lists are left alone; *list becomes null. Frees nothing while gblerr is set.
void repr_free_list_deep(container_t** list);

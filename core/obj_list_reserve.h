// Room made in advance in a list that is about to take many elements at its end (a
// reader that knows from its file how many objects come): one allocation instead of a
// resize at every growth step, each copying the whole array into fresh memory.
#pragma once
#include "core/obj_list.h"

// Gives `list` room for `count` elements in all without changing its contents or its
// count; a list that already holds that many is left alone.
void obj_list_reserve(container_t* list, int count);

// A fresh object store for tests: the registry tables, the core classes and the
// keyword dictionary class, with the error code cleared.
#pragma once

namespace tm_test {

// Resets the whole store: every registered class, class list and the id counter
// (the first id given afterwards is 2). The configuration cache, which lives in the
// store, is forgotten first, and the cleanups below run before that.
void reset_object_store();

// Adds a routine that frees what a layer above the core keeps in the store across
// tests (tables loaded once, their indexes). reset_object_store runs these, last added
// first, so that objects of an earlier test are freed rather than lost with the store
// they were listed in: the test programs run many tests in one process.
void add_store_cleanup(void (*cleanup)());

}  // namespace tm_test

// A fresh object store for tests: the registry tables, the core classes and the
// keyword dictionary class, with the error code cleared.
#pragma once

namespace tm_test {

// Resets the whole store: every registered class, class list and the id counter
// (the first id given afterwards is 2). The configuration cache, which lives in the
// store, is forgotten first.
void reset_object_store();

}  // namespace tm_test

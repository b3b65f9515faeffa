// The representation rules and the OpenStreetMap and Polish map vocabularies live in the object store:
// before a test resets the store (and starts the program again), they are freed, so that
// a start-up never finds the tables of the run before.
#include "formats/osm.h"
#include "formats/polish_map.h"
#include "map/repr.h"
#include "tests/support/object_env.h"

namespace {

void free_vector_tables() {
  osm_free();
  mp_free();
  repr_tables_free();
}

const bool kVectorTablesCleanupAdded = (tm_test::add_store_cleanup(free_vector_tables), true);

}  // namespace

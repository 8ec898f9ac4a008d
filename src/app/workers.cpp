// Placeholders until the search and detail workers land.
#include "app/workers.h"

namespace kestrava {

void search_worker() {}

void detail_worker() {}

}  // namespace kestrava

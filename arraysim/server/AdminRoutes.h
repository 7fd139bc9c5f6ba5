// The admin interface under /admin/ (docs/arraysim.md): seed, state, reset,
// faults and the call record, behind the X-Admin-Token header.
#pragma once

#include <httplib.h>

#include "arraysim/server/SimContext.h"

namespace arraysim {

void addAdminRoutes(httplib::Server& server, SimContext& context);

}  // namespace arraysim

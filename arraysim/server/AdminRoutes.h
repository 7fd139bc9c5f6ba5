// The admin interface under /admin/ (docs/arraysim.md): seed, state, reset,
// faults and the call record, behind the X-Admin-Token header.
#pragma once

#include "arraysim/server/HttpsServer.h"

#include "arraysim/server/SimContext.h"

namespace arraysim {

void addAdminRoutes(HttpsServer& server, SimContext& context);

}  // namespace arraysim

// The admin interface under /admin/ (docs/arraysim.md): seed, state, reset,
// faults and the call record, behind the X-Admin-Token header.
#pragma once

#include "arraysim/server/HttpsServer.h"

#include "arraysim/server/SimContext.h"

namespace arraysim {

void addAdminRoutes(HttpsServer& server, SimContext& context);

// The body gate of admin requests: a body is read only when the admin
// interface is on and the head carries its token; else 403 or 401.
bool adminAdmitsBody(SimContext& context, const Request& head, Reply& refusal);

}  // namespace arraysim

// The storage API of docs/array-api.md under /v7, /v8 and /v9: each request
// meets its injected faults, is authenticated by the array's credentials,
// answered from the model, and any change is saved before the answer.
#pragma once

#include "arraysim/server/HttpsServer.h"

#include "arraysim/server/SimContext.h"

namespace arraysim {

void addStorageRoutes(HttpsServer& server, SimContext& context);

}  // namespace arraysim

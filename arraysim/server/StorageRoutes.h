// The storage API of docs/array-api.md under /v7, /v8 and /v9: each request
// meets its injected faults, is authenticated by the array's credentials,
// answered from the model, and any change is saved before the answer.
#pragma once

#include <string>

#include "arraysim/server/HttpsServer.h"

#include "arraysim/server/SimContext.h"

namespace arraysim {

void addStorageRoutes(HttpsServer& server, SimContext& context);

// Whether `path` is under the storage API.
bool isStoragePath(const std::string& path);
// The body gate of storage requests: a body is read only when the head's
// credentials reach an array (and allow a change); else 401 or 403.
bool storageAdmitsBody(SimContext& context, const Request& head, Reply& refusal);

}  // namespace arraysim

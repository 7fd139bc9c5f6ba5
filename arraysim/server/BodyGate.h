// Which requests may send the simulator a body: those whose head carries
// the credentials of the interface they address. The others are answered
// from the head alone, so a client without credentials never makes the
// simulator invite (100 Continue), read or hold a body.
#pragma once

#include "arraysim/server/HttpsServer.h"
#include "arraysim/server/SimContext.h"

namespace arraysim {

void addBodyGate(HttpsServer& server, SimContext& context);

}  // namespace arraysim

// The client's probe of an array endpoint: getVirtualServerInfo's request,
// sent once on a connection of its own, cut into its phases with libcurl's
// phase times and its result code, as the curl tool reports a transfer.
#pragma once

#include <string>
#include <vector>

#include "host/QzManageHNAS.h"
#include "client/ArraySession.h"

namespace managehnas {

// One record per phase up to and including the first that failed (see
// QzManageHNAS::probe); `address` is the endpoint's address as init got it.
// False, with the client's `cause`, when a phase failed.
bool probeArray(ArraySession& session, const std::string& address, const std::string& arrayId,
                std::vector<QzProbePhase>& phases, std::string& cause);

}  // namespace managehnas

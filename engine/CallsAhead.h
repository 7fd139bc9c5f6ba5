// Calls made ahead: with more than one request in flight allowed, an
// operation's group start hands the client the independent array calls its
// devices will make (QzManageHNAS::runAhead); each device's work then makes
// its calls as always and gets the outcomes made ahead, so that every host
// call, status and log line of a device keeps its place.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "engine/OperationFrame.h"

// True when the client may have more than one request in flight to the
// group's array.
bool makesCallsAhead(OperationState& state);

// Calls to make ahead, each request once: add() drops a call whose request
// is already among them.
struct AheadCalls {
    std::vector<QzAheadCall> calls;
    std::unordered_set<std::string> keys;
    // True when the call was added (its request was not there yet).
    bool add(const QzAheadCall& call);
};

// The share name, its form on the array and its type as map and unmap
// work them out for `info` (getUniqueShareForPath, getShareName,
// getNetworkShareType), without their log lines; false for a device whose
// work would log a failure there (its calls are left to it).
bool plannedShare(const HNASUtils& utils, const _HNASDeviceInfo& info, std::string& candidate,
                  std::string& shareName, std::string& shareType);

// Shares that an earlier version made under a share name longer than 80
// characters. It kept the name's last 80 characters; this version gives
// such a name a digest of the whole name instead (two snapshots of one long
// share got one name under the earlier rule). A share mapped before an
// upgrade therefore stands under the earlier name, and map and unmap must
// still find it.
#pragma once

#include <string>

#include "engine/OperationFrame.h"

// The earlier version's share of this device's snapshot, when the device's
// share name was shortened and a share of the earlier name exists and
// points into the device's snapshot (e.g. "\~snapshot\QZHNAS-u1-fs1\data"):
// its name (e.g. "...-QZShare") and its name in the array's form ("/" before
// an export) in `candidate` and `shareName`. A share of that name that
// points elsewhere belongs to another snapshot: it is left alone, and a line
// at level 0 says so.
bool findEarlierShare(OperationState& state, const OperationSpec& spec, HNASUtils& utils, const _HNASDeviceInfo& info,
                      const std::string& shareType, std::string& candidate, std::string& shareName);

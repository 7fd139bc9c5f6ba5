// The snap statuses by name in tests: assertions name the status they expect
// (QZSO::SNAP_STATUS_MAPPED), and GoogleTest prints a QZSO::SnapStatus, alone
// or in a Statuses list, as its name with its number.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/SnapStatus.h"

namespace QZSO {

// Found by GoogleTest through the value's namespace.
void PrintTo(SnapStatus status, std::ostream* os);

}  // namespace QZSO

namespace testsupport {

// "SNAP_STATUS_MAPPED (12)"; "status 7" for a number that names no status.
std::string statusName(int status);

// The statuses of a job's devices, in the job's order.
using Statuses = std::vector<QZSO::SnapStatus>;

}  // namespace testsupport

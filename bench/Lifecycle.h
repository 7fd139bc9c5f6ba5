// The eight operation entry points in the order a backup runs them, for the
// benchmarks that drive one lifecycle.
#pragma once

#include "engine/QzSnapEngineHNAS.h"

namespace bench {

using EntryPoint = QZSO::SnapOperation;

struct Operation {
    const char* name;
    EntryPoint entry;
};

const Operation kLifecycle[] = {
    {"prepare", qzso_prepareDevices}, {"snap", qzso_snapDevices},       {"isMapped", qzso_isMapped},
    {"map", qzso_mapSnaps},           {"unmap", qzso_unmapSnaps},       {"reconcile", qzso_reconcileSnaps},
    {"revert", qzso_revertSnaps},     {"delete", qzso_deleteSnaps},
};

}  // namespace bench

// The one pre-operation the grouping calls on every device: chooses the one
// that fills the record for the device's operation.
#include "device/HNASSnapDevice.h"
#include "host/EvDebug.h"

namespace {
const char kDispatchContext[] = "HNASSnapDevice::preOperation";
}  // namespace

bool HNASSnapDevice::preOperation() {
    if (opType == HNAS_SNAP_OP_INVALID) {
        snapInfo->logFormatted(2, kDispatchContext, "Invalid Snap operation[%d]", static_cast<int>(opType));
        return false;
    }
    snapInfo->logFormatted(0, kDispatchContext, "Snap operation[%d]", static_cast<int>(opType));
    switch (static_cast<unsigned>(opType)) {
        case HNAS_SNAP_OP_PREPARE:
            return prePrepareDevice();
        case HNAS_SNAP_OP_SNAP:
        case HNAS_SNAP_OP_ISMAPPED:
        case HNAS_SNAP_OP_DELETE:
        case HNAS_SNAP_OP_REVERT:
        case HNAS_SNAP_OP_RECONCILE:
            return preOperationCommon();
        case HNAS_SNAP_OP_MAP:
        case HNAS_SNAP_OP_UNMAP:
            return preOperationMapUnMap();
        default: {
            EvDebug log;
            log.DebugLvl(kDispatchContext, -1, jobId, "Internal error: Operation [%d] not implemented",
                         static_cast<int>(opType));
            return false;
        }
    }
}

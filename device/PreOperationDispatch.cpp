// The one pre-operation the grouping calls on every device: chooses the one
// that fills the record for the device's operation.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "device/HNASSnapDevice.h"
#include "host/EvDebug.h"

namespace {

const char kDispatchContext[] = "HNASSnapDevice::preOperation";

using PreOperationFn = bool (HNASSnapDevice::*)();

// The pre-operation of each operation type, indexed by the type (0 is no
// operation and is refused before the table is read).
const PreOperationFn kPreOperationByType[] = {
    nullptr,                                 // HNAS_SNAP_OP_INVALID
    &HNASSnapDevice::prePrepareDevice,       // HNAS_SNAP_OP_PREPARE
    &HNASSnapDevice::preOperationCommon,     // HNAS_SNAP_OP_SNAP
    &HNASSnapDevice::preOperationCommon,     // HNAS_SNAP_OP_ISMAPPED
    &HNASSnapDevice::preOperationMapUnMap,   // HNAS_SNAP_OP_MAP
    &HNASSnapDevice::preOperationMapUnMap,   // HNAS_SNAP_OP_UNMAP
    &HNASSnapDevice::preOperationCommon,     // HNAS_SNAP_OP_DELETE
    &HNASSnapDevice::preOperationCommon,     // HNAS_SNAP_OP_REVERT
    &HNASSnapDevice::preOperationCommon,     // HNAS_SNAP_OP_RECONCILE
};

}  // namespace

bool HNASSnapDevice::preOperation() {
    if (opType == HNAS_SNAP_OP_INVALID) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kDispatchContext, "Invalid Snap operation[%d]",
                               static_cast<int>(opType));
        return false;
    }
    snapInfo->logFormatted(QZSO::HostLog::kProgress, kDispatchContext, "Snap operation[%d]", static_cast<int>(opType));
    // Compared unsigned, so that a negative type counts as above the table.
    const unsigned index = static_cast<unsigned>(opType);
    if (index >= sizeof(kPreOperationByType) / sizeof(kPreOperationByType[0])) {
        EvDebug log;
        log.DebugLvl(kDispatchContext, DebugLevel::kFailure, jobId, "Internal error: Operation [%d] not implemented",
                     static_cast<int>(opType));
        return false;
    }
    return (this->*kPreOperationByType[index])();
}

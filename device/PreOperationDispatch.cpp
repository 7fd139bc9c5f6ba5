// The one pre-operation the grouping calls on every device: chooses the one
// that fills the record for the device's operation.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "device/HNASSnapDevice.h"
#include "host/EvDebug.h"

namespace {

const char kDispatchContext[] = "HNASSnapDevice::preOperation";

using PreOperationFn = bool (HNASSnapDevice::*)();

// The pre-operation that fills the record for an operation type: prepare
// finds the device on its array, map and unmap also read the mount, and
// every other operation reads what prepare stored. Null for a type that is
// no operation.
PreOperationFn preOperationFor(_HNASSnapOpType type) {
    switch (type) {
        case HNAS_SNAP_OP_INVALID: return nullptr;
        case HNAS_SNAP_OP_PREPARE: return &HNASSnapDevice::prePrepareDevice;
        case HNAS_SNAP_OP_MAP:
        case HNAS_SNAP_OP_UNMAP: return &HNASSnapDevice::preOperationMapUnMap;
        default: return isSnapOpType(type) ? &HNASSnapDevice::preOperationCommon : nullptr;
    }
}

}  // namespace

bool HNASSnapDevice::preOperation() {
    if (opType == HNAS_SNAP_OP_INVALID) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kDispatchContext, "Invalid Snap operation[%d]",
                               static_cast<int>(opType));
        return false;
    }
    snapInfo->logFormatted(QZSO::HostLog::kProgress, kDispatchContext, "Snap operation[%d]", static_cast<int>(opType));
    const PreOperationFn preOperationOfType = preOperationFor(opType);
    if (preOperationOfType == nullptr) {
        EvDebug log;
        log.DebugLvl(kDispatchContext, DebugLevel::kFailure, jobId, "Internal error: Operation [%d] not implemented",
                     static_cast<int>(opType));
        return false;
    }
    return (this->*preOperationOfType)();
}

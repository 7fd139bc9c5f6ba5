// The per-operation work the frame runs, one file each under engine/.
#pragma once

#include "engine/OperationFrame.h"

extern const OperationSpec kPrepareOperation;
extern const OperationSpec kSnapOperation;
extern const OperationSpec kIsMappedOperation;
extern const OperationSpec kMapOperation;
extern const OperationSpec kUnmapOperation;
extern const OperationSpec kDeleteOperation;
extern const OperationSpec kRevertOperation;
extern const OperationSpec kReconcileOperation;

// The operation of `type`, e.g. &kSnapOperation for HNAS_SNAP_OP_SNAP; null
// for a type outside 1 to 8.
const OperationSpec* operationSpecFor(_HNASSnapOpType type);

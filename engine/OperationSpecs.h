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

// The per-operation work the frame runs, one file each under engine/.
#pragma once

#include "engine/OperationFrame.h"

// The operation of each type, defined in its own file under engine/, e.g.
// operationSpec<HNAS_SNAP_OP_SNAP>() in SnapOperation.cpp; null for
// HNAS_SNAP_OP_INVALID, which has none.
template <_HNASSnapOpType type>
const OperationSpec* operationSpec();
#define HNAS_DECLARE_OPERATION_SPEC(entry, type, ...) \
    template <>                                       \
    const OperationSpec* operationSpec<HNAS_SNAP_OP_##type>();
QZSO_OPERATIONS(HNAS_DECLARE_OPERATION_SPEC)
#undef HNAS_DECLARE_OPERATION_SPEC

// The operation of `type`, e.g. operationSpec<HNAS_SNAP_OP_SNAP>() for
// HNAS_SNAP_OP_SNAP; null for HNAS_SNAP_OP_INVALID and for a type that is
// none of QZSO_OPERATIONS.
const OperationSpec* operationSpecFor(_HNASSnapOpType type);

// The operation entry points in the order a backup runs them in one
// snapshot's life, for the benchmarks that drive one lifecycle: the order is
// the benchmark's, the names and entry points are those of QZSO_OPERATIONS.
#pragma once

#include "engine/QzSnapEngineHNAS.h"
#include "records/HNASDeviceRecords.h"

namespace bench {

using EntryPoint = QZSO::SnapOperation;

struct Operation {
    const char* name;   // e.g. "isMapped"
    EntryPoint entry;
};

// The operation of `type`, e.g. {"snap", qzso_snapDevices}.
constexpr Operation operationOf(_HNASSnapOpType type) {
    switch (type) {
#define HNAS_BENCH_OPERATION(entry, operation, number, name, ...) \
    case HNAS_SNAP_OP_##operation:                                 \
        return {name, entry};
        QZSO_OPERATIONS(HNAS_BENCH_OPERATION)
#undef HNAS_BENCH_OPERATION
    }
    return {nullptr, nullptr};
}

// Delete last: it removes the snapshot that reconcile and revert work on.
constexpr Operation kLifecycle[] = {
    operationOf(HNAS_SNAP_OP_PREPARE), operationOf(HNAS_SNAP_OP_SNAP),      operationOf(HNAS_SNAP_OP_ISMAPPED),
    operationOf(HNAS_SNAP_OP_MAP),     operationOf(HNAS_SNAP_OP_UNMAP),     operationOf(HNAS_SNAP_OP_RECONCILE),
    operationOf(HNAS_SNAP_OP_REVERT),  operationOf(HNAS_SNAP_OP_DELETE),
};

// Every operation with a type has its place in the lifecycle.
#define HNAS_BENCH_COUNT_TYPED(entry, operation, ...) +(HNAS_SNAP_OP_##operation != HNAS_SNAP_OP_INVALID ? 1 : 0)
static_assert(sizeof(kLifecycle) / sizeof(kLifecycle[0]) == 0 QZSO_OPERATIONS(HNAS_BENCH_COUNT_TYPED),
              "a new operation needs its place in the benchmarks' lifecycle");
#undef HNAS_BENCH_COUNT_TYPED

}  // namespace bench

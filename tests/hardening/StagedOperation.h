// The operations of QZSO_OPERATIONS that have a type, as a table with what
// each is expected to leave, and the staging that brings an engine fixture's
// descriptors to the point where one of them would succeed: the operations a
// backup runs before it, against an honest host and array.
#pragma once

#include <string>
#include <vector>

#include "tests/support/EngineFixture.h"

namespace hardening {

// The operations the tests name, by the plug-in's operation type.
enum class Op : int {
    Prepare = HNAS_SNAP_OP_PREPARE,
    Snap = HNAS_SNAP_OP_SNAP,
    IsMapped = HNAS_SNAP_OP_ISMAPPED,
    Map = HNAS_SNAP_OP_MAP,
    Unmap = HNAS_SNAP_OP_UNMAP,
    Delete = HNAS_SNAP_OP_DELETE,
    Revert = HNAS_SNAP_OP_REVERT,
    Reconcile = HNAS_SNAP_OP_RECONCILE
};

// In place of a status: the device keeps the one it had before the call.
const int kStatusUnchanged = -1;

struct OpTraits {
    Op op;
    const char* name;                // e.g. "isMapped"
    testsupport::EntryPoint entry;
    int successStatus;               // or kStatusUnchanged
    int presetStatus;                // what a device the operation never finishes keeps, or kStatusUnchanged
    int errorCode;                   // set with a per-device failure; 0: none
};

// One for each operation with a type, in the contract's order.
const std::vector<OpTraits>& allOps();
const OpTraits& traits(Op op);

// Runs, with the host and array as the fixture set them up, the operations
// that come before `op` in a lifecycle (prepare, snap, and map before
// is-mapped and unmap), so that `op` alone would succeed on every device.
// `withMap` false leaves out the map step. False, with the reason in `why`,
// when one of them does not return 0.
bool stageFor(testsupport::EngineFixture& f, Op op, std::string& why, bool withMap = true);

// The status a device of `f` should hold after `op` succeeded on it, given
// the status it held before the call.
int successStatusAfter(const OpTraits& op, int statusBefore);
// The status a device holds when `op` never finished it.
int presetStatusAfter(const OpTraits& op, int statusBefore);
// What `op` returns when none of its devices succeeded.
int codeWhenNoneSucceeded(const OpTraits& op);

}  // namespace hardening

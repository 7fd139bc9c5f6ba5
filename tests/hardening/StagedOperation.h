// The eight operations as a table, and the staging that brings an engine
// fixture's descriptors to the point where one of them would succeed: the
// operations a backup runs before it, against an honest host and array.
#pragma once

#include <string>
#include <vector>

#include "tests/support/EngineFixture.h"

namespace hardening {

enum class Op { Prepare, Snap, IsMapped, Map, Unmap, Delete, Revert, Reconcile };

// In place of a status: the device keeps the one it had before the call.
const int kStatusUnchanged = -1;

struct OpTraits {
    Op op;
    const char* name;                // e.g. "snap"
    testsupport::EntryPoint entry;
    int successStatus;               // or kStatusUnchanged
    int presetStatus;                // what a device the operation never finishes keeps, or kStatusUnchanged
    int errorCode;                   // set with a per-device failure; 0: none
};

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

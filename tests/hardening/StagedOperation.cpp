#include "tests/hardening/StagedOperation.h"

#include <stdexcept>

namespace hardening {

using namespace QZSO;

namespace {

// What a test expects `op` to leave: the status on success, the status of a
// device it never finished, and the error code of a failed device.
OpTraits expected(Op op, const char* name, testsupport::EntryPoint entry) {
    switch (op) {
        case Op::Prepare: return {op, name, entry, SNAP_STATUS_PREPARED, SNAP_STATUS_PREPARE_FAILED, ERROR_PREPARE_FAILED};
        case Op::Snap: return {op, name, entry, SNAP_STATUS_SNAPPED, SNAP_STATUS_SNAP_FAILED, ERROR_SNAP_FAILED};
        case Op::IsMapped: return {op, name, entry, SNAP_STATUS_MAPPED, SNAP_STATUS_NOT_MAPPED, 0};
        case Op::Map: return {op, name, entry, SNAP_STATUS_MAPPED, SNAP_STATUS_MAP_FAILED, ERROR_MAP_FAILED};
        case Op::Unmap: return {op, name, entry, SNAP_STATUS_UNMAPPED, SNAP_STATUS_UNMAP_FAILED, ERROR_UNMAP_FAILED};
        case Op::Delete: return {op, name, entry, SNAP_STATUS_DELETED, SNAP_STATUS_DELETE_FAILED, ERROR_DELETE_FAILED};
        case Op::Revert: return {op, name, entry, kStatusUnchanged, SNAP_STATUS_REVERT_FAILED, ERROR_REVERT_FAILED};
        case Op::Reconcile: return {op, name, entry, kStatusUnchanged, kStatusUnchanged, 0};
    }
    // An operation the tests do not know yet: its expectations are to be written above.
    throw std::logic_error(std::string("no expectations for the operation ") + name);
}

}  // namespace

const std::vector<OpTraits>& allOps() {
    static const std::vector<OpTraits> ops = [] {
        std::vector<OpTraits> list;
#define HNAS_STAGED_OPERATION(entry, type, number, name, ...) \
    if (HNAS_SNAP_OP_##type != HNAS_SNAP_OP_INVALID) list.push_back(expected(Op(number), name, entry));
        QZSO_OPERATIONS(HNAS_STAGED_OPERATION)
#undef HNAS_STAGED_OPERATION
        return list;
    }();
    return ops;
}

const OpTraits& traits(Op op) {
    for (const OpTraits& t : allOps())
        if (t.op == op) return t;
    throw std::out_of_range("no such operation");
}

bool stageFor(testsupport::EngineFixture& f, Op op, std::string& why, bool withMap) {
    std::vector<Op> before;
    if (op != Op::Prepare) before.push_back(Op::Prepare);
    if (op != Op::Prepare && op != Op::Snap) before.push_back(Op::Snap);
    if (withMap && (op == Op::IsMapped || op == Op::Unmap)) before.push_back(Op::Map);
    for (Op step : before) {
        const int code = f.run(traits(step).entry);
        if (code != 0) {
            why = std::string("staging ") + traits(step).name + " returned " + std::to_string(code);
            for (auto& snap : f.snaps) why += "; " + snap->errorMessage.substr(0, 300);
            return false;
        }
    }
    return true;
}

int successStatusAfter(const OpTraits& op, int statusBefore) {
    return op.successStatus == kStatusUnchanged ? statusBefore : op.successStatus;
}

int presetStatusAfter(const OpTraits& op, int statusBefore) {
    return op.presetStatus == kStatusUnchanged ? statusBefore : op.presetStatus;
}

int codeWhenNoneSucceeded(const OpTraits& op) { return op.op == Op::IsMapped ? 0 : 1; }

}  // namespace hardening

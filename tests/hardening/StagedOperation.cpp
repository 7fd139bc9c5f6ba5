#include "tests/hardening/StagedOperation.h"

namespace hardening {

using namespace QZSO;

const std::vector<OpTraits>& allOps() {
    static const std::vector<OpTraits> ops = {
        {Op::Prepare, "prepare", qzso_prepareDevices, SNAP_STATUS_PREPARED, SNAP_STATUS_PREPARE_FAILED,
         ERROR_PREPARE_FAILED},
        {Op::Snap, "snap", qzso_snapDevices, SNAP_STATUS_SNAPPED, SNAP_STATUS_SNAP_FAILED, ERROR_SNAP_FAILED},
        {Op::IsMapped, "isMapped", qzso_isMapped, SNAP_STATUS_MAPPED, SNAP_STATUS_NOT_MAPPED, 0},
        {Op::Map, "map", qzso_mapSnaps, SNAP_STATUS_MAPPED, SNAP_STATUS_MAP_FAILED, ERROR_MAP_FAILED},
        {Op::Unmap, "unmap", qzso_unmapSnaps, SNAP_STATUS_UNMAPPED, SNAP_STATUS_UNMAP_FAILED, ERROR_UNMAP_FAILED},
        {Op::Delete, "delete", qzso_deleteSnaps, SNAP_STATUS_DELETED, SNAP_STATUS_DELETE_FAILED, ERROR_DELETE_FAILED},
        {Op::Revert, "revert", qzso_revertSnaps, kStatusUnchanged, SNAP_STATUS_REVERT_FAILED, ERROR_REVERT_FAILED},
        {Op::Reconcile, "reconcile", qzso_reconcileSnaps, kStatusUnchanged, kStatusUnchanged, 0},
    };
    return ops;
}

const OpTraits& traits(Op op) { return allOps().at(static_cast<size_t>(op)); }

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

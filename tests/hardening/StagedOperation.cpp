#include "tests/hardening/StagedOperation.h"

namespace hardening {

const std::vector<OpTraits>& allOps() {
    static const std::vector<OpTraits> ops = {
        {Op::Prepare, "prepare", qzso_prepareDevices, 1, 2, QZSO::ERROR_PREPARE_FAILED},
        {Op::Snap, "snap", qzso_snapDevices, 5, 6, QZSO::ERROR_SNAP_FAILED},
        {Op::IsMapped, "isMapped", qzso_isMapped, 12, 13, 0},
        {Op::Map, "map", qzso_mapSnaps, 12, 11, QZSO::ERROR_MAP_FAILED},
        {Op::Unmap, "unmap", qzso_unmapSnaps, 14, 15, QZSO::ERROR_UNMAP_FAILED},
        {Op::Delete, "delete", qzso_deleteSnaps, 20, 21, QZSO::ERROR_DELETE_FAILED},
        {Op::Revert, "revert", qzso_revertSnaps, -1, 23, QZSO::ERROR_REVERT_FAILED},
        {Op::Reconcile, "reconcile", qzso_reconcileSnaps, -1, -1, 0},
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
    return op.successStatus < 0 ? statusBefore : op.successStatus;
}

int presetStatusAfter(const OpTraits& op, int statusBefore) {
    return op.presetStatus < 0 ? statusBefore : op.presetStatus;
}

int codeWhenNoneSucceeded(const OpTraits& op) { return op.op == Op::IsMapped ? 0 : 1; }

}  // namespace hardening

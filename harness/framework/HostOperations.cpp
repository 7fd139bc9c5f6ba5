#include "harness/framework/HostOperations.h"

#include "host/SnapStatus.h"

const std::vector<HostOperation>& hostOperations() {
    static const std::vector<HostOperation> operations = {
        {"prepare", &PluginEntryPoints::prepareDevices, false, false,
         "find each device's file system and share on its array and store them"},
        {"unprepare", &PluginEntryPoints::unprepareDevices, false, false, "undo a prepare (nothing to do)"},
        {"snap", &PluginEntryPoints::snapDevices, false, true,
         "create one snapshot per file system, shared by its devices"},
        {"is-mapped", &PluginEntryPoints::isMapped, false, false,
         "check whether each snapshot's share or export exists"},
        {"map", &PluginEntryPoints::mapSnaps, true, false, "expose each snapshot through a share or export"},
        {"unmap", &PluginEntryPoints::unmapSnaps, true, false, "remove the share or export made by map"},
        {"delete", &PluginEntryPoints::deleteSnaps, false, false, "delete each device's snapshot"},
        {"revert", &PluginEntryPoints::revertSnaps, false, false,
         "roll each device's file system back to its snapshot"},
        {"reconcile", &PluginEntryPoints::reconcileSnaps, false, false,
         "mark snapshots that no longer exist on the array"},
    };
    return operations;
}

const HostOperation* findHostOperation(const std::string& name) {
    for (const HostOperation& operation : hostOperations())
        if (name == operation.name) return &operation;
    return nullptr;
}

std::string snapStatusName(int status) {
    switch (status) {
        case 0: return "NONE";
        case QZSO::SNAP_STATUS_PREPARED: return "PREPARED";
        case QZSO::SNAP_STATUS_PREPARE_FAILED: return "PREPARE_FAILED";
        case QZSO::SNAP_STATUS_SNAPPED: return "SNAPPED";
        case QZSO::SNAP_STATUS_SNAP_FAILED: return "SNAP_FAILED";
        case QZSO::SNAP_STATUS_MAP_FAILED: return "MAP_FAILED";
        case QZSO::SNAP_STATUS_MAPPED: return "MAPPED";
        case QZSO::SNAP_STATUS_NOT_MAPPED: return "NOT_MAPPED";
        case QZSO::SNAP_STATUS_UNMAPPED: return "UNMAPPED";
        case QZSO::SNAP_STATUS_UNMAP_FAILED: return "UNMAP_FAILED";
        case QZSO::SNAP_STATUS_DELETED: return "DELETED";
        case QZSO::SNAP_STATUS_DELETE_FAILED: return "DELETE_FAILED";
        case QZSO::SNAP_STATUS_REVERT_FAILED: return "REVERT_FAILED";
        case QZSO::SNAP_STATUS_EXTERNALLY_DELETED: return "EXTERNALLY_DELETED";
        default: return "STATUS_" + std::to_string(status);
    }
}

#include "harness/framework/HostOperations.h"

#include "host/SnapStatus.h"

const std::vector<HostOperation>& hostOperations() {
    static const std::vector<HostOperation> operations = {
        {"prepare", &PluginEntryPoints::qzso_prepareDevices, false, false,
         "find each device's file system and share on its array and store them", QZSO::SNAP_STATUS_PREPARE_FAILED},
        {"unprepare", &PluginEntryPoints::qzso_unprepareDevices, false, false, "undo a prepare (nothing to do)", 0},
        {"snap", &PluginEntryPoints::qzso_snapDevices, false, true,
         "create one snapshot per file system, shared by its devices", QZSO::SNAP_STATUS_SNAP_FAILED},
        {"is-mapped", &PluginEntryPoints::qzso_isMapped, false, false,
         "check whether each snapshot's share or export exists", 0},
        {"map", &PluginEntryPoints::qzso_mapSnaps, true, false, "expose each snapshot through a share or export",
         QZSO::SNAP_STATUS_MAP_FAILED},
        {"unmap", &PluginEntryPoints::qzso_unmapSnaps, true, false, "remove the share or export made by map",
         QZSO::SNAP_STATUS_UNMAP_FAILED},
        {"delete", &PluginEntryPoints::qzso_deleteSnaps, false, false, "delete each device's snapshot",
         QZSO::SNAP_STATUS_DELETE_FAILED},
        {"revert", &PluginEntryPoints::qzso_revertSnaps, false, false,
         "roll each device's file system back to its snapshot", QZSO::SNAP_STATUS_REVERT_FAILED},
        {"reconcile", &PluginEntryPoints::qzso_reconcileSnaps, false, false,
         "mark snapshots that no longer exist on the array", 0},
    };
    return operations;
}

const HostOperation* findHostOperation(const std::string& name) {
    for (const HostOperation& operation : hostOperations())
        if (name == operation.name) return &operation;
    return nullptr;
}

std::string snapStatusName(int status) {
    if (status == 0) return "NONE";
    const char* name = QZSO::snapStatusName(status);
    return name != nullptr ? name : "STATUS_" + std::to_string(status);
}

#include "harness/framework/HostOperations.h"

#include "host/SnapStatus.h"

const std::vector<HostOperation>& hostOperations() {
    static const std::vector<HostOperation> operations = {
        {"prepare", &PluginEntryPoints::qzso_prepareDevices, false, false,
         "find each device's file system and share on its array and store them"},
        {"unprepare", &PluginEntryPoints::qzso_unprepareDevices, false, false, "undo a prepare (nothing to do)"},
        {"snap", &PluginEntryPoints::qzso_snapDevices, false, true,
         "create one snapshot per file system, shared by its devices"},
        {"is-mapped", &PluginEntryPoints::qzso_isMapped, false, false,
         "check whether each snapshot's share or export exists"},
        {"map", &PluginEntryPoints::qzso_mapSnaps, true, false, "expose each snapshot through a share or export"},
        {"unmap", &PluginEntryPoints::qzso_unmapSnaps, true, false, "remove the share or export made by map"},
        {"delete", &PluginEntryPoints::qzso_deleteSnaps, false, false, "delete each device's snapshot"},
        {"revert", &PluginEntryPoints::qzso_revertSnaps, false, false,
         "roll each device's file system back to its snapshot"},
        {"reconcile", &PluginEntryPoints::qzso_reconcileSnaps, false, false,
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
    if (status == 0) return "NONE";
    const char* name = QZSO::snapStatusName(status);
    return name != nullptr ? name : "STATUS_" + std::to_string(status);
}

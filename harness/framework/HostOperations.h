// The operations a job can run, by their command-line names (one for each
// row of QZSO_OPERATIONS), and the names of the snap statuses the plug-in
// reports.
#pragma once

#include <string>
#include <vector>

#include "harness/framework/PluginLoader.h"

struct HostOperation {
    std::string name;                         // e.g. "is-mapped"
    PluginOperation PluginEntryPoints::*entry;
    bool needsMountRequestSource;             // map and unmap read it
    bool startsNewSnapshot;                   // snap: the host gives each descriptor a fresh snap UUID
    const char* summary;                      // one line for --help
    int failureStatus;                        // the status a device this operation failed ends with; 0: none
};

// Every operation, in the contract's order.
const std::vector<HostOperation>& hostOperations();
// "OPERATION is one of: prepare, unprepare, ..., reconcile.", for help.
std::string hostOperationChoices();
// The operation called `name`, or null.
const HostOperation* findHostOperation(const std::string& name);

// e.g. "SNAPPED" for 5, "NONE" for 0, "STATUS_99" for an unknown value.
std::string snapStatusName(int status);
// The status called `name` as snapStatusName gives it (any case, e.g.
// "snapped" or "NONE"); false for no status's name.
bool snapStatusFromName(const std::string& name, int& status);
// "NONE, PREPARED, ..., EXTERNALLY_DELETED", for a refusal.
std::string snapStatusChoices();

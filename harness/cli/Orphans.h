// `hnas-host orphans [--delete] [--yes]`: snapshots the plug-in made that no
// descriptor of the store refers to any more, as a job that died between
// the array's work and the host's record leaves them. Per array, every
// snapshot named "QZHNAS-..." is listed (through libQzManageHNAS.so) unless
// a device refers to it: its snap UUID is the snapshot's name, or the
// name's UUID part ("QZHNAS-<snap UUID>-<fs>": the fresh UUID a snap job
// stores before the plug-in runs), or its metadata names it. A snapshot
// without the prefix is never listed, never deleted.
#pragma once

#include <string>
#include <vector>

#include "harness/framework/ArrayAccess.h"  // kNoOrphans, the text printed when there is none
#include "harness/framework/HostRecords.h"
#include "harness/framework/HostStore.h"

struct OrphanOptions {
    bool remove = false;     // --delete
    bool confirmed = false;  // --yes: no question asked
};

// True when a device refers to the snapshot stored as `name`.
bool snapshotReferenced(const std::string& name, const std::vector<DeviceRecord>& devices);

// Lists (and with `remove` deletes, after a yes on standard input unless
// `confirmed`) the orphans of every array. kExitOk when every array could be
// asked and every deletion asked for was done; kExitCheckFailed otherwise;
// kExitHostError with `error` when nothing could be looked at.
int findOrphans(HostStore& store, const OrphanOptions& options, std::string& error);

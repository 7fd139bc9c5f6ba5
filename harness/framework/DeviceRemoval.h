// Removing devices from a store without losing track of a snapshot: a
// device that a job holds is refused (kExitBusy), and so is one whose record
// says its snapshot is still on the array, unless forced or another device
// that stays has the same snapshot (one per file system). A forced removal
// leaves the snapshot to `hnas-host orphans`, which lists every snapshot of
// the store that no device refers to. The history keeps the removed
// devices' names.
#pragma once

#include <string>
#include <vector>

#include "harness/framework/HostRecords.h"
#include "harness/framework/HostStore.h"

// The snapshot device `d` still has on the array by its record: its snap
// UUID names a snapshot the plug-in made ("QZHNAS-...") and no delete or
// reconcile reported it gone. "" when none.
std::string liveSnapshotOf(const DeviceRecord& d);

// Removes the devices named by `refs` (labels or ids), all or none. Each
// device removed is described in `removed` ("removed device data (id 3)"),
// a forced one with its snapshot. Returns kExitOk, or the exit code with
// `error`: kExitBadInput for an unknown device or (without `force`) one with
// a live snapshot, with what to do; kExitBusy while a job holds one.
int removeDevices(HostStore& store, const std::vector<std::string>& refs, bool force,
                  std::vector<std::string>& removed, std::string& error);

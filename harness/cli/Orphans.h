// `hnas-host orphans [--delete] [--yes] [--array NAME]... [--older-than AGE]`:
// snapshots this store made that no descriptor of it refers to any more, as
// a job that died between the array's work and the host's record leaves
// them, or a delete that reported done while the snapshot stayed. Per
// array (a snapshot reached through two registrations of one endpoint is
// listed once, under the first), every snapshot whose name carries the
// store's identity (SnapshotOwnership.h) and a snap UUID the store handed
// out (HostStore::loadSnapUuids) is listed (through libQzManageHNAS.so) unless
//   - a device refers to it: its snap UUID is the snapshot's name, or the
//     name's UUID part ("QZHNAS-<snap UUID>-<fs>": the fresh UUID a snap job
//     stores before the plug-in runs), or its metadata names it; a device
//     whose status is "deleted" refers to nothing any more;
//   - a restore point holds it (each snap that succeeded left one, with the
//     snap UUID and metadata of that snap), until a delete job deleted it;
//   - a share or export on the array points into it (its path passes
//     through a directory of the snapshot's name): it is kept and said so.
// A snapshot of another store, of a copy of this one, of an administrator
// or of a store made before identities is never listed, never deleted. Both conditions are
// checked again just before each deletion.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "harness/framework/ArrayAccess.h"  // kNoOrphans, the text printed when there is none
#include "harness/framework/HostRecords.h"
#include "harness/framework/HostStore.h"
#include "harness/framework/JsonOutput.h"
#include "host/QzManageHNAS.h"

struct OrphanOptions {
    bool remove = false;                // --delete
    bool confirmed = false;             // --yes: no question asked
    std::vector<std::string> arrays;    // --array: only these; empty: every array
    int64_t olderThanSeconds = -1;      // --older-than: only snapshots made this long ago or more; -1: all
    bool json = false;                  // --json: one document on standard output, the question on stderr
};

// True when a device refers to the snapshot stored as `name` (a device
// reported deleted refers to nothing).
bool snapshotReferenced(const std::string& name, const std::vector<DeviceRecord>& devices);

// The name of the first share or export of `shares` whose path points into
// the snapshot `name` ("\~snapshot\<name>\...", "/.snapshot/<name>/..."),
// or "" when none does.
std::string shareInto(const std::string& name, const std::vector<__HNASFileSystemShares>& shares);

// "2h" as seconds: a number with s, m, h or d (none: seconds). False when
// it is not one.
bool parseAge(const std::string& text, int64_t& seconds);

// Lists (and with `remove` deletes, after a yes on standard input unless
// `confirmed`) the orphans of the chosen arrays, as text or (`json`) as one
// document: each orphan with its array, endpoint, file system, name,
// creation time and what was done with it. kExitOk when every array
// could be asked and every deletion asked for was done; kExitCheckFailed
// otherwise; kExitBadInput for an unknown array; kExitHostError with
// `error` when nothing could be looked at.
int findOrphans(HostStore& store, const OrphanOptions& options, std::string& error);

// `state --check-arrays`: asks the arrays of `devices` (a device that names
// none: every array; `everyArray`: every array) for their snapshots. For
// each of `devices` reported deleted whose snapshot is still there, one
// line: "leaked: <device> was reported deleted, but its snapshot <name> is
// still on array <array> ..." (a delete that reported done while the
// snapshot stayed), or "retained: ..." when the array accepted the delete
// and keeps the snapshot only until its retention expires, which is no
// leak. Then each file system past 90% of the snapshots it can hold
// (nearLimitText). kExitOk when every array could be asked, else
// kExitCheckFailed; kExitHostError with `error` when nothing could be
// looked at. With `document`, the findings go into its "leaks",
// "retained", "nearSnapshotLimit" and "arraysNotAsked" instead of lines.
int reportLeakedSnapshots(HostStore& store, const std::vector<DeviceRecord>& devices, bool everyArray,
                          std::string& error, JsonValue* document = nullptr);

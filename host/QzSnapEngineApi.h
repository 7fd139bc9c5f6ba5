// The plug-in's binary contract, declared once for the plug-in and for every
// host that loads it: eleven functions with C linkage that the host's
// snapshot framework resolves by name, e.g. dlsym(handle, "qzso_mapSnaps").
//
// Ownership: the host owns the descriptors (`snaps`, an array of `count`
// pointers) and `osUtil`; a call creates and releases everything else before
// it returns. Each device's outcome is written into its descriptor (status,
// error code and message, snap UUID, snap device, metadata; the statuses and
// error codes are in host/SnapStatus.h).
//
// Operation results: 0 when every descriptor succeeded, 1 when none did (or
// no device could be grouped), 2 in between. qzso_isMapped and
// qzso_unprepareDevices always return 0. qzso_version stores the interface
// version 1, 0, 0; qzso_isSupported always returns 1 and reads none of its
// arguments, which are the host's.
//
// The lists below are the one source of the entry points and of the
// operations: the declarations here, a host's loader (QZSO_ENTRY_POINTS(X)
// with its own X), the plug-in's entry points, its operation type and the
// tables by that type, hnas-host's `run`, the export check
// (scripts/check-exports.sh reads the names from this file) and the linker's
// version script (which exports "qzso_*") all follow them.
#pragma once

#include "host/QZOSUtil.h"
#include "host/QzExport.h"
#include "host/SnapInfo.h"
#include "host/SnapStatus.h"

namespace QZSO {

// What a host hands an operation besides its descriptors.
enum OperationInput {
    kDescriptorsOnly,
    kFreshSnapUuids,       // a snap UUID of its own in every descriptor, new for this call
    kMountRequestSource    // QZOSUtil's mount request source (who asked for the mount)
};

}  // namespace QZSO

// The entry points that work on the host's descriptors, in the contract's
// order: OP(X, entry point, type, number, name, failure status, input, summary)
//   type, number    the plug-in's operation type (HNAS_SNAP_OP_SNAP, 2); its
//                   log lines show the number ("Snap operation[2]").
//                   qzso_unprepareDevices makes no devices and has none
//                   (INVALID, 0).
//   name            e.g. "isMapped"; a command line writes "is-mapped"
//   failure status  what a device the operation failed on is left with
//                   (a QZSO::SnapStatus; SnapStatus(0): none)
//   input           what the host gives the call (QZSO::OperationInput)
//   summary         what it does, in one line, e.g. for a host's help
// QZSO_OPERATIONS(X) calls X with the row's fields after OP's X.
#define QZSO_OPERATION_ROWS(OP, X)                                                                          \
    OP(X, qzso_prepareDevices, PREPARE, 1, "prepare", SNAP_STATUS_PREPARE_FAILED, kDescriptorsOnly,         \
       "find each device's file system and share on its array and store them")                              \
    OP(X, qzso_unprepareDevices, INVALID, 0, "unprepare", SnapStatus(0), kDescriptorsOnly,                  \
       "undo a prepare (nothing to do)")                                                                    \
    OP(X, qzso_snapDevices, SNAP, 2, "snap", SNAP_STATUS_SNAP_FAILED, kFreshSnapUuids,                      \
       "create one snapshot per file system, shared by its devices")                                        \
    OP(X, qzso_isMapped, ISMAPPED, 3, "isMapped", SnapStatus(0), kDescriptorsOnly,                          \
       "check whether each snapshot's share or export exists")                                              \
    OP(X, qzso_mapSnaps, MAP, 4, "map", SNAP_STATUS_MAP_FAILED, kMountRequestSource,                        \
       "expose each snapshot through a share or export")                                                    \
    OP(X, qzso_unmapSnaps, UNMAP, 5, "unmap", SNAP_STATUS_UNMAP_FAILED, kMountRequestSource,                \
       "remove the share or export made by map")                                                            \
    OP(X, qzso_deleteSnaps, DELETE, 6, "delete", SNAP_STATUS_DELETE_FAILED, kDescriptorsOnly,               \
       "delete each device's snapshot")                                                                     \
    OP(X, qzso_revertSnaps, REVERT, 7, "revert", SNAP_STATUS_REVERT_FAILED, kDescriptorsOnly,               \
       "roll each device's file system back to its snapshot")                                               \
    OP(X, qzso_reconcileSnaps, RECONCILE, 8, "reconcile", SnapStatus(0), kDescriptorsOnly,                  \
       "mark snapshots that no longer exist on the array")

#define QZSO_OPERATION_ROW(X, ...) X(__VA_ARGS__)
#define QZSO_OPERATIONS(X) QZSO_OPERATION_ROWS(QZSO_OPERATION_ROW, X)

// X(name, result, parameters) for each entry point: the two that describe
// the plug-in, then the operations.
#define QZSO_OPERATION_ENTRY_POINT(X, entry, ...) \
    X(entry, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))
#define QZSO_ENTRY_POINTS(X)                                                                         \
    X(qzso_version, void, (short* major, short* minor, short* patch))                                \
    X(qzso_isSupported, int, (void* arg1, int arg2, void* arg3, void* arg4, short arg5))             \
    QZSO_OPERATION_ROWS(QZSO_OPERATION_ENTRY_POINT, X)

extern "C" {
#define QZSO_DECLARE_ENTRY_POINT(name, result, parameters) QZ_API result name parameters;
QZSO_ENTRY_POINTS(QZSO_DECLARE_ENTRY_POINT)
#undef QZSO_DECLARE_ENTRY_POINT
}

namespace QZSO {

// The type every operation entry point shares, e.g. that of qzso_snapDevices.
using SnapOperation = decltype(&::qzso_snapDevices);

// The array's name of every snapshot the plug-in makes is this prefix, "-",
// the snap UUID, "-" and the file system's label, e.g. "QZHNAS-1234-fs1".
constexpr char kSnapshotPrefix[] = "QZHNAS";

}  // namespace QZSO

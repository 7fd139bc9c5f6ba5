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
// The list below is the one source of the entry points: the declarations
// here, a host's loader (QZSO_ENTRY_POINTS(X) with its own X), the export
// check (scripts/check-exports.sh reads the names from this file) and the
// linker's version script (which exports "qzso_*") all follow it.
#pragma once

#include "host/QZOSUtil.h"
#include "host/QzExport.h"
#include "host/SnapInfo.h"
#include "host/SnapStatus.h"

// X(name, result, parameters) for each entry point, in the contract's order.
#define QZSO_ENTRY_POINTS(X)                                                                         \
    X(qzso_version, void, (short* major, short* minor, short* patch))                                \
    X(qzso_isSupported, int, (void* arg1, int arg2, void* arg3, void* arg4, short arg5))             \
    X(qzso_prepareDevices, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))     \
    X(qzso_unprepareDevices, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))   \
    X(qzso_snapDevices, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))        \
    X(qzso_isMapped, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))           \
    X(qzso_mapSnaps, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))           \
    X(qzso_unmapSnaps, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))         \
    X(qzso_deleteSnaps, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))        \
    X(qzso_revertSnaps, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))        \
    X(qzso_reconcileSnaps, int, (QZSO::SnapInfo * *snaps, short count, QZSO::QZOSUtil* osUtil))

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

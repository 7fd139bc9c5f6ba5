// The plug-in's binary contract: eleven functions with C linkage that the
// host's snapshot framework resolves by name.
//
// Ownership: the host owns the descriptors (`snaps`, an array of `count`
// pointers) and `osUtil`; a call creates and releases everything else before
// it returns. Each device's outcome is written into its descriptor (status,
// error code and message, snap UUID, snap device, metadata).
//
// Operation results: 0 when every descriptor succeeded, 1 when none did (or
// no device could be grouped), 2 in between. qzso_isMapped and
// qzso_unprepareDevices always return 0.
#pragma once

#include "host/QZOSUtil.h"
#include "host/QzExport.h"
#include "host/SnapInfo.h"

extern "C" {

// Stores the interface version 1, 0, 0.
QZ_API void qzso_version(short* major, short* minor, short* patch);
// Always 1; the arguments are the host's and are not read.
QZ_API int qzso_isSupported(void* arg1, int arg2, void* arg3, void* arg4, short arg5);

QZ_API int qzso_prepareDevices(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);
// Nothing to undo after a prepare: logs one line and returns 0.
QZ_API int qzso_unprepareDevices(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);
QZ_API int qzso_snapDevices(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);
QZ_API int qzso_isMapped(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);
QZ_API int qzso_mapSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);
QZ_API int qzso_unmapSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);
QZ_API int qzso_deleteSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);
QZ_API int qzso_revertSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);
QZ_API int qzso_reconcileSnaps(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil* osUtil);

}

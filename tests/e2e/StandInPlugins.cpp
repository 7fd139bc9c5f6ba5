// Stand-in plug-ins for the harness's own tests, built twice:
//  - without HNAS_WITH_MAP_SNAPS: lacks qzso_mapSnaps, which the loader
//    must refuse by name;
//  - with HNAS_THROWING_SNAP: its snap sets a status and a snap UUID on the
//    first descriptor and then throws; the job keeps what was stored.
// Every other operation sets status 1 on every descriptor and returns 0,
// but unprepare, which does nothing. The operations are those of
// QZSO_OPERATIONS, one definition each.
#include <cstring>
#include <stdexcept>

#include "engine/QzSnapEngineHNAS.h"

namespace {

int standIn(const char* entry, QZSO::SnapInfo** snaps, short count) {
    if (std::strcmp(entry, "qzso_unprepareDevices") == 0) return 0;
#ifdef HNAS_THROWING_SNAP
    if (std::strcmp(entry, "qzso_snapDevices") == 0) {
        if (count > 0) {
            snaps[0]->setStatus(5);
            snaps[0]->setSnapUUID("half-done");
        }
        throw std::runtime_error("stand-in plug-in fails");
    }
#endif
    for (short i = 0; i < count; ++i) snaps[i]->setStatus(1);
    return 0;
}

}  // namespace

#ifndef HNAS_WITH_MAP_SNAPS
// Defined under another name, so that the library has no qzso_mapSnaps.
#define qzso_mapSnaps hnasStandInWithoutMapSnaps
#endif

extern "C" {

QZ_API void qzso_version(short* major, short* minor, short* patch) {
    *major = 9;
    *minor = 9;
    *patch = 9;
}
QZ_API int qzso_isSupported(void*, int, void*, void*, short) { return 1; }

#define HNAS_STAND_IN_OPERATION(entry, ...)                                        \
    QZ_API int entry(QZSO::SnapInfo** snaps, short count, QZSO::QZOSUtil*) {      \
        return standIn(#entry, snaps, count);                                     \
    }
QZSO_OPERATIONS(HNAS_STAND_IN_OPERATION)
#undef HNAS_STAND_IN_OPERATION

}

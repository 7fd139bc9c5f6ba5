// Stand-in plug-ins for the harness's own tests, built twice:
//  - without HNAS_WITH_MAP_SNAPS: lacks qzso_mapSnaps, which the loader
//    must refuse by name;
//  - with HNAS_THROWING_SNAP: its snap sets a status and a snap UUID on the
//    first descriptor and then throws; the job keeps what was stored.
// Every other operation sets status 1 on every descriptor and returns 0.
#include <stdexcept>

#include "engine/QzSnapEngineHNAS.h"

namespace {

int markAll(QZSO::SnapInfo** snaps, short count) {
    for (short i = 0; i < count; ++i) snaps[i]->setStatus(1);
    return 0;
}

}  // namespace

extern "C" {

QZ_API void qzso_version(short* major, short* minor, short* patch) {
    *major = 9;
    *minor = 9;
    *patch = 9;
}
QZ_API int qzso_isSupported(void*, int, void*, void*, short) { return 1; }
QZ_API int qzso_prepareDevices(QZSO::SnapInfo** s, short n, QZSO::QZOSUtil*) { return markAll(s, n); }
QZ_API int qzso_unprepareDevices(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return 0; }
QZ_API int qzso_snapDevices(QZSO::SnapInfo** s, short n, QZSO::QZOSUtil*) {
#ifdef HNAS_THROWING_SNAP
    if (n > 0) {
        s[0]->setStatus(5);
        s[0]->setSnapUUID("half-done");
    }
    throw std::runtime_error("stand-in plug-in fails");
#else
    return markAll(s, n);
#endif
}
QZ_API int qzso_isMapped(QZSO::SnapInfo** s, short n, QZSO::QZOSUtil*) { return markAll(s, n); }
#ifdef HNAS_WITH_MAP_SNAPS
QZ_API int qzso_mapSnaps(QZSO::SnapInfo** s, short n, QZSO::QZOSUtil*) { return markAll(s, n); }
#endif
QZ_API int qzso_unmapSnaps(QZSO::SnapInfo** s, short n, QZSO::QZOSUtil*) { return markAll(s, n); }
QZ_API int qzso_deleteSnaps(QZSO::SnapInfo** s, short n, QZSO::QZOSUtil*) { return markAll(s, n); }
QZ_API int qzso_revertSnaps(QZSO::SnapInfo** s, short n, QZSO::QZOSUtil*) { return markAll(s, n); }
QZ_API int qzso_reconcileSnaps(QZSO::SnapInfo** s, short n, QZSO::QZOSUtil*) { return markAll(s, n); }

}

// Entry points of the plug-in.
#include "engine/QzSnapEngineHNAS.h"

#include "host/EvDebug.h"

namespace {
const char kUnprepareContext[] = "QZSnapEngineHNAS::qzso_unprepareDevices";

// The operations are not carried out by this build yet: every descriptor is
// left untouched and the call reports that nothing succeeded.
const int kNothingSucceeded = 1;
}  // namespace

extern "C" {

void qzso_version(short* major, short* minor, short* patch) {
    *major = 1;
    *minor = 0;
    *patch = 0;
}

int qzso_isSupported(void*, int, void*, void*, short) { return 1; }

int qzso_unprepareDevices(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) {
    EvEvent log;
    log.DebugLvl(kUnprepareContext, 0, "%s", "Nothing to be done here.");
    return 0;
}

int qzso_prepareDevices(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return kNothingSucceeded; }
int qzso_snapDevices(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return kNothingSucceeded; }
int qzso_isMapped(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return kNothingSucceeded; }
int qzso_mapSnaps(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return kNothingSucceeded; }
int qzso_unmapSnaps(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return kNothingSucceeded; }
int qzso_deleteSnaps(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return kNothingSucceeded; }
int qzso_revertSnaps(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return kNothingSucceeded; }
int qzso_reconcileSnaps(QZSO::SnapInfo**, short, QZSO::QZOSUtil*) { return kNothingSucceeded; }

}

// The harness resolves the plug-in's entry points by name into function
// pointers of its own types (it may not include engine/). This translation
// unit ties those types to the engine's declarations: a signature changed on
// one side only stops the build here instead of miscalling through dlsym.
#include <type_traits>

#include "engine/QzSnapEngineHNAS.h"
#include "harness/framework/PluginLoader.h"

#define HNAS_SAME_SIGNATURE(function, slot)                                                        \
    static_assert(std::is_same<decltype(&function), decltype(PluginEntryPoints::slot)>::value, \
                  "the harness's type for " #function " differs from the engine's declaration")

HNAS_SAME_SIGNATURE(qzso_version, version);
HNAS_SAME_SIGNATURE(qzso_isSupported, isSupported);
HNAS_SAME_SIGNATURE(qzso_prepareDevices, prepareDevices);
HNAS_SAME_SIGNATURE(qzso_unprepareDevices, unprepareDevices);
HNAS_SAME_SIGNATURE(qzso_snapDevices, snapDevices);
HNAS_SAME_SIGNATURE(qzso_isMapped, isMapped);
HNAS_SAME_SIGNATURE(qzso_mapSnaps, mapSnaps);
HNAS_SAME_SIGNATURE(qzso_unmapSnaps, unmapSnaps);
HNAS_SAME_SIGNATURE(qzso_deleteSnaps, deleteSnaps);
HNAS_SAME_SIGNATURE(qzso_revertSnaps, revertSnaps);
HNAS_SAME_SIGNATURE(qzso_reconcileSnaps, reconcileSnaps);

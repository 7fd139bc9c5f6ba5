// Loads the plug-in with dlopen and resolves its eleven entry points by name.
// A plug-in that lacks one is refused, naming the missing symbol.
#pragma once

#include <string>

#include "host/QzSnapEngineApi.h"

using PluginOperation = QZSO::SnapOperation;

// One function pointer per entry point, named after it, e.g.
// entry.qzso_mapSnaps; the types are those of the declarations.
struct PluginEntryPoints {
#define HNAS_ENTRY_POINT_SLOT(name, result, parameters) decltype(&::name) name = nullptr;
    QZSO_ENTRY_POINTS(HNAS_ENTRY_POINT_SLOT)
#undef HNAS_ENTRY_POINT_SLOT
};

class LoadedPlugin {
public:
    LoadedPlugin() = default;
    ~LoadedPlugin();

    // dlopen `path` (e.g. "out/native/lib/libQzSnapEngineHNAS.so") and
    // resolve every entry point. False with the dlerror() text or
    // "<path> does not export qzso_mapSnaps" when it cannot be used.
    bool load(const std::string& path, std::string& error);
    const PluginEntryPoints& entry() const { return entry_; }
    const std::string& path() const { return path_; }

    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

private:
    void* handle_ = nullptr;
    PluginEntryPoints entry_;
    std::string path_;
};

// The plug-in beside this program: in the installed library directory, else
// in the build tree's <bin>/../lib/libQzSnapEngineHNAS.so.
std::string defaultPluginPath();
// The running program, e.g. "/work/out/native/bin/hnas-host".
std::string programPath();
// Its directory, e.g. "/work/out/native/bin".
std::string programDirectory();

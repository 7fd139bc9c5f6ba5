#include "harness/framework/PluginLoader.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

const char kPluginFile[] = "libQzSnapEngineHNAS.so";

// Resolves `name` into `target`; false with the error naming the symbol.
template <typename Function>
bool resolve(void* handle, const char* name, const std::string& path, Function& target, std::string& error) {
    dlerror();
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        error = path + " does not export " + name;
        return false;
    }
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    target = reinterpret_cast<Function>(symbol);
    return true;
}

}  // namespace

LoadedPlugin::~LoadedPlugin() {
    if (handle_ != nullptr) dlclose(handle_);
}

bool LoadedPlugin::load(const std::string& path, std::string& error) {
    path_ = path;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error = std::string("cannot load the plug-in: ") + (reason != nullptr ? reason : path);
        return false;
    }
    PluginEntryPoints e;
    const bool all = resolve(handle_, "qzso_version", path, e.version, error) &&
                     resolve(handle_, "qzso_isSupported", path, e.isSupported, error) &&
                     resolve(handle_, "qzso_prepareDevices", path, e.prepareDevices, error) &&
                     resolve(handle_, "qzso_unprepareDevices", path, e.unprepareDevices, error) &&
                     resolve(handle_, "qzso_snapDevices", path, e.snapDevices, error) &&
                     resolve(handle_, "qzso_isMapped", path, e.isMapped, error) &&
                     resolve(handle_, "qzso_mapSnaps", path, e.mapSnaps, error) &&
                     resolve(handle_, "qzso_unmapSnaps", path, e.unmapSnaps, error) &&
                     resolve(handle_, "qzso_deleteSnaps", path, e.deleteSnaps, error) &&
                     resolve(handle_, "qzso_revertSnaps", path, e.revertSnaps, error) &&
                     resolve(handle_, "qzso_reconcileSnaps", path, e.reconcileSnaps, error);
    if (!all) {
        dlclose(handle_);
        handle_ = nullptr;
        return false;
    }
    entry_ = e;
    return true;
}

std::string programPath() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    return n <= 0 ? std::string() : std::string(path, static_cast<size_t>(n));
}

std::string programDirectory() {
    const std::string exe = programPath();
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

std::string defaultPluginPath() {
    // Installed, the plug-in sits in the library directory; in the build
    // tree, in <bin>/../lib.
    char resolved[PATH_MAX];
    for (const char* dir : {HNAS_LIBDIR_FROM_BINDIR, "../lib"}) {
        const std::string path = programDirectory() + "/" + dir + "/" + kPluginFile;
        if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    }
    return programDirectory() + "/../lib/" + kPluginFile;
}

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
#define HNAS_RESOLVE_ENTRY_POINT(name, result, parameters) &&resolve(handle_, #name, path, e.name, error)
    const bool all = true QZSO_ENTRY_POINTS(HNAS_RESOLVE_ENTRY_POINT);
#undef HNAS_RESOLVE_ENTRY_POINT
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

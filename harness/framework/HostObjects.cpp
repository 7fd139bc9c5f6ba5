#include "harness/framework/HostObjects.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const int kNotStored = 1;

}  // namespace

hostkit::SizeConvention sizeConventionFromEnvironment() {
    const char* value = std::getenv(kHostSizeWithoutNulVariable);
    return value != nullptr && std::strcmp(value, "1") == 0 ? hostkit::SizeConvention::WithoutTerminator
                                                             : hostkit::SizeConvention::WithTerminator;
}

int HostSnapInfo::stored(int type) {
    HostWrites* writes = job_.writes;
    if (writes == nullptr || writes->store == nullptr) return 0;
    std::string error;
    const bool onPoint =
        std::find(writes->onPoints.begin(), writes->onPoints.end(), device_.id) != writes->onPoints.end();
    const bool ok = onPoint    ? writes->store->savePointState(device_, error)
                    : type < 0 ? writes->store->saveDeviceState(device_, error)
                               : writes->store->saveMetadata(device_.id, type, device_.metadata[type], error);
    if (ok) return 0;
    if (writes->failed++ == 0) writes->firstError = error;
    if (job_.log != nullptr) job_.log->write(2, deviceDisplayName(device_), "hnas-host", "not stored: " + error);
    return kNotStored;
}

int HostSnapInfo::setSnapUUID(const char* uuid) {
    MemSnapInfo::setSnapUUID(uuid);
    return stored();
}

// Attaching changes the device only when a name is known.
int HostSnapInfo::setArrayName(const char* name) {
    const int attached = MemSnapInfo::setArrayName(name);
    if (attached != 0) return attached;
    return stored() == 0 ? 0 : kNotStored;
}

void HostSnapInfo::touched() {
    if (job_.clientFailures != nullptr) job_.clientFailures->deviceTouched(device_.arrayName);
}

int HostSnapInfo::setStatus(int status) {
    touched();
    MemSnapInfo::setStatus(status);
    const int result = stored();
    if (job_.progress != nullptr) job_.progress->statusSet(device_.id, status);
    return result;
}

int HostSnapInfo::setSnapDevice(const char* name) {
    MemSnapInfo::setSnapDevice(name);
    return stored();
}

int HostSnapInfo::setMetadata(short type, const char* text) {
    const int set = MemSnapInfo::setMetadata(type, text);
    if (set != 0) return set;
    return stored(type);
}

int HostSnapInfo::setError(int code, const char* message) {
    touched();
    MemSnapInfo::setError(code, message);
    return stored();
}

void HostSnapInfo::logLine(int level, const char* context, std::string_view text) {
    touched();
    if (job_.log != nullptr) job_.log->write(level, deviceDisplayName(device_), context, std::string(text));
    if (level == QZSO::HostLog::kFailure && job_.failureLines != nullptr)
        (*job_.failureLines)[device_.id] = std::string(text);
}

#include "harness/framework/HostObjects.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "harness/framework/HostBuffers.h"
#include "host/SnapStatus.h"

namespace {

const int kFound = 0;
const int kNotFound = 1;
const char kListSeparator = '|';

std::string formatted(const char* format, va_list args) {
    if (format == nullptr) return std::string();
    va_list copy;
    va_copy(copy, args);
    const int needed = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return std::string();
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

const std::string* configValue(const ArrayRecord* array, const char* name) {
    if (array == nullptr || name == nullptr) return nullptr;
    const auto it = array->configs.find(name);
    return it == array->configs.end() ? nullptr : &it->second;
}

}  // namespace

bool parseConfigInt(const std::string& text, int& value) {
    // strtol would skip leading blanks; a setting is the number alone.
    if (text.empty() || !(text[0] == '-' || text[0] == '+' || (text[0] >= '0' && text[0] <= '9'))) return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX) return false;
    value = static_cast<int>(parsed);
    return true;
}

const ArrayRecord* findArrayByName(const JobContext& job, const std::string& name) {
    for (const ArrayRecord& array : job.arrays)
        if (array.name == name) return &array;
    return nullptr;
}

int HostSnapInfo::stored(int type) {
    HostWrites* writes = job_.writes;
    if (writes == nullptr || writes->store == nullptr) return 0;
    std::string error;
    const bool ok = type < 0 ? writes->store->saveDeviceState(device_, error)
                             : writes->store->saveMetadata(device_.id, type, device_.metadata[type], error);
    if (ok) return 0;
    if (writes->failed++ == 0) writes->firstError = error;
    if (job_.log != nullptr) job_.log->write(2, deviceDisplayName(device_), "hnas-host", "not stored: " + error);
    return 1;
}

const ArrayRecord* HostSnapInfo::attachedArray() const {
    return device_.arrayName.empty() ? nullptr : findArrayByName(job_, device_.arrayName);
}

int HostSnapInfo::getSnapUUID(char* buffer, short* size) { return answerShortRead(device_.snapUUID, buffer, size); }

int HostSnapInfo::setSnapUUID(const char* uuid) {
    device_.snapUUID = uuid != nullptr ? uuid : "";
    return stored();
}

int HostSnapInfo::getArrayInfo(char* buffer, short* size) {
    const ArrayRecord* array = attachedArray();
    if (array == nullptr) return kNotFound;
    return answerShortRead(array->arrayInfo, buffer, size);
}

int HostSnapInfo::setArrayName(const char* name) {
    if (name == nullptr) return kNotFound;
    const std::string list = name;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(kListSeparator, start);
        if (end == std::string::npos) end = list.size();
        const std::string one = list.substr(start, end - start);
        if (!one.empty() && findArrayByName(job_, one) != nullptr) {
            device_.arrayName = one;
            return stored() == 0 ? kFound : kNotFound;
        }
        start = end + 1;
    }
    return kNotFound;
}

QZSO::SnapStatus HostSnapInfo::getStatus() { return static_cast<QZSO::SnapStatus>(device_.status); }

int HostSnapInfo::setStatus(int status) {
    device_.status = status;
    return stored();
}

int HostSnapInfo::getSourceDevice(char* buffer, short* size) {
    return answerShortRead(device_.sourceDevice, buffer, size);
}

int HostSnapInfo::setSnapDevice(const char* name) {
    device_.snapDevice = name != nullptr ? name : "";
    return stored();
}

int HostSnapInfo::getMetadata(short type, char* buffer, short* size) {
    const auto it = device_.metadata.find(type);
    if (it == device_.metadata.end()) return kNotFound;
    return answerShortRead(it->second, buffer, size);
}

int HostSnapInfo::setMetadata(short type, const char* text) {
    if (text == nullptr) return kNotFound;
    device_.metadata[type] = text;
    return stored(type);
}

int HostSnapInfo::setError(int code, const char* message) {
    device_.errorCode = code;
    device_.errorMessage = message != nullptr ? message : "";
    return stored();
}

int HostSnapInfo::getError(int* code, char* message, short size) {
    if (code != nullptr) *code = device_.errorCode;
    if (message != nullptr && size > 0) {
        short capacity = size;
        if (answerShortRead(device_.errorMessage, message, &capacity) != 0) message[0] = '\0';
    }
    return 0;
}

void HostSnapInfo::logMessage(int level, const char* text) {
    if (job_.log != nullptr) job_.log->write(level, deviceDisplayName(device_), "", text != nullptr ? text : "");
}

void HostSnapInfo::logFormatted(int level, const char* context, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = formatted(format, args);
    va_end(args);
    if (job_.log != nullptr)
        job_.log->write(level, deviceDisplayName(device_), context != nullptr ? context : "", text);
}

int HostSnapInfo::getArrayConfigInt(const char* name, int* value) {
    const std::string* text = configValue(attachedArray(), name);
    int parsed = 0;
    if (text == nullptr || value == nullptr || !parseConfigInt(*text, parsed)) return kNotFound;
    *value = parsed;
    return kFound;
}

int HostSnapInfo::getArrayConfigString(const char* name, char* buffer, int* size) {
    const std::string* text = configValue(attachedArray(), name);
    if (text == nullptr) return kNotFound;
    return answerIntRead(*text, buffer, size);
}

int HostSnapInfo::getValueInt(short key, int* value) {
    if (value == nullptr || key != QZSO::GET_VALUE_VOLSNAP_OP_SOURCE || job_.mountRequestSource == 0)
        return kNotFound;
    *value = job_.mountRequestSource;
    return 0;
}

int HostSnapInfo::getValueString(short, char*, short*) { return kNotFound; }

const ArrayRecord* HostOSUtil::arrayByControlHost(int controlHostId) const {
    for (const ArrayRecord& array : job_.arrays)
        if (array.controlHostId == controlHostId) return &array;
    return nullptr;
}

int HostOSUtil::listArrays(const char* vendor, char separator, int size, char* buffer) {
    if (vendor == nullptr) return -1;
    std::string list;
    for (const ArrayRecord& array : job_.arrays) {
        if (array.vendor != vendor) continue;
        if (!list.empty()) list += separator;
        list += array.name;
    }
    return answerSizedRead(list, buffer, size);
}

int HostOSUtil::getArrayInfoByName(const char* name, char* buffer, short* size) {
    const ArrayRecord* array = name != nullptr ? findArrayByName(job_, name) : nullptr;
    if (array == nullptr || size == nullptr) return -1;
    return answerSizedRead(array->arrayInfo, buffer, *size);
}

unsigned long long HostOSUtil::getJobId() const { return job_.jobId; }

int HostOSUtil::getArrayConfigInt(int controlHostId, int, const char* name, int* value) {
    const std::string* text = configValue(arrayByControlHost(controlHostId), name);
    int parsed = 0;
    if (text == nullptr || value == nullptr || !parseConfigInt(*text, parsed)) return kNotFound;
    *value = parsed;
    return kFound;
}

int HostOSUtil::getArrayConfigString(int controlHostId, int, const char* name, char* buffer, short* size) {
    const std::string* text = configValue(arrayByControlHost(controlHostId), name);
    if (text == nullptr) return kNotFound;
    return answerShortRead(*text, buffer, size);
}

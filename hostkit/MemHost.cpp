#include "hostkit/MemHost.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/SnapStatus.h"
#include "hostkit/HostBuffers.h"

namespace hostkit {

namespace {

const int kFound = 0;
const int kNotFound = 1;
const char kListSeparator = '|';

const std::string* configValue(const HostArray* array, const char* name) {
    if (array == nullptr || name == nullptr) return nullptr;
    const auto it = array->configs.find(name);
    return it == array->configs.end() ? nullptr : &it->second;
}

int configInt(const HostArray* array, const char* name, int* value) {
    const std::string* text = configValue(array, name);
    int parsed = 0;
    if (text == nullptr || value == nullptr || !parseConfigInt(*text, parsed)) return kNotFound;
    *value = parsed;
    return kFound;
}

}  // namespace

const HostArray* findArray(const HostArrays& arrays, const std::string& name) {
    for (const HostArray& array : arrays)
        if (array.name == name) return &array;
    return nullptr;
}

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

const HostArray* MemSnapInfo::attachedArray() const {
    return state_->arrayName.empty() ? nullptr : findArray(job_->arrays, state_->arrayName);
}

int MemSnapInfo::getSnapUUID(char* buffer, short* size) { return answerShortRead(state_->snapUUID, buffer, size); }

int MemSnapInfo::setSnapUUID(const char* uuid) {
    state_->snapUUID = uuid != nullptr ? uuid : "";
    return 0;
}

int MemSnapInfo::getArrayInfo(char* buffer, short* size) {
    const HostArray* array = attachedArray();
    if (array == nullptr) return kNotFound;
    return answerShortRead(array->arrayInfo, buffer, size);
}

int MemSnapInfo::setArrayName(const char* name) {
    if (name == nullptr) return kNotFound;
    const std::string list = name;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(kListSeparator, start);
        if (end == std::string::npos) end = list.size();
        const std::string one = list.substr(start, end - start);
        if (!one.empty() && findArray(job_->arrays, one) != nullptr) {
            state_->arrayName = one;
            return kFound;
        }
        start = end + 1;
    }
    return kNotFound;
}

QZSO::SnapStatus MemSnapInfo::getStatus() { return static_cast<QZSO::SnapStatus>(state_->status); }

int MemSnapInfo::setStatus(int status) {
    state_->status = status;
    return 0;
}

int MemSnapInfo::getSourceDevice(char* buffer, short* size) {
    return answerShortRead(state_->sourceDevice, buffer, size);
}

int MemSnapInfo::setSnapDevice(const char* name) {
    state_->snapDevice = name != nullptr ? name : "";
    return 0;
}

int MemSnapInfo::getMetadata(short type, char* buffer, short* size) {
    const auto it = state_->metadata.find(type);
    if (it == state_->metadata.end()) return kNotFound;
    return answerShortRead(it->second, buffer, size);
}

int MemSnapInfo::setMetadata(short type, const char* text) {
    if (text == nullptr) return kNotFound;
    state_->metadata[type] = text;
    return 0;
}

int MemSnapInfo::setError(int code, const char* message) {
    state_->errorCode = code;
    state_->errorMessage = message != nullptr ? message : "";
    return 0;
}

int MemSnapInfo::getError(int* code, char* message, short size) {
    if (code != nullptr) *code = state_->errorCode;
    if (message != nullptr && size > 0) {
        short capacity = size;
        if (answerShortRead(state_->errorMessage, message, &capacity) != 0) message[0] = '\0';
    }
    return 0;
}

void MemSnapInfo::logMessage(int level, const char* text) { logLine(level, "", text != nullptr ? text : ""); }

void MemSnapInfo::logFormatted(int level, const char* context, const char* format, ...) {
    va_list args;
    va_start(args, format);
    logFormattedV(level, context, format, args);
    va_end(args);
}

void MemSnapInfo::logFormattedV(int level, const char* context, const char* format, va_list args) {
    if (context == nullptr) context = "";
    // Most lines fit the stack; a longer one is formatted again at its size.
    char line[512];
    va_list copy;
    va_copy(copy, args);
    const int needed = format != nullptr ? vsnprintf(line, sizeof(line), format, copy) : 0;
    va_end(copy);
    if (needed <= 0) {
        logLine(level, context, std::string_view());
    } else if (static_cast<size_t>(needed) < sizeof(line)) {
        logLine(level, context, std::string_view(line, static_cast<size_t>(needed)));
    } else {
        std::string text(static_cast<size_t>(needed) + 1, '\0');
        vsnprintf(&text[0], text.size(), format, args);
        logLine(level, context, std::string_view(text.data(), static_cast<size_t>(needed)));
    }
}

void MemSnapInfo::logLine(int, const char*, std::string_view) {}

int MemSnapInfo::getArrayConfigInt(const char* name, int* value) { return configInt(attachedArray(), name, value); }

int MemSnapInfo::getArrayConfigString(const char* name, char* buffer, int* size) {
    const std::string* text = configValue(attachedArray(), name);
    if (text == nullptr) return kNotFound;
    return answerIntRead(*text, buffer, size);
}

int MemSnapInfo::getValueInt(short key, int* value) {
    if (value == nullptr || key != QZSO::GET_VALUE_VOLSNAP_OP_SOURCE || job_->mountRequestSource == 0)
        return kNotFound;
    *value = job_->mountRequestSource;
    return 0;
}

int MemSnapInfo::getValueString(short, char*, short*) { return kNotFound; }

const HostArray* MemOSUtil::arrayByControlHost(int controlHostId) const {
    for (const HostArray& array : job_->arrays)
        if (array.controlHostId == controlHostId) return &array;
    return nullptr;
}

int MemOSUtil::listArrays(const char* vendor, char separator, int size, char* buffer) {
    if (vendor == nullptr) return -1;
    std::string list;
    for (const HostArray& array : job_->arrays) {
        if (array.vendor != vendor) continue;
        if (!list.empty()) list += separator;
        list += array.name;
    }
    return answerSizedRead(list, buffer, size);
}

int MemOSUtil::getArrayInfoByName(const char* name, char* buffer, short* size) {
    const HostArray* array = name != nullptr ? findArray(job_->arrays, name) : nullptr;
    if (array == nullptr || size == nullptr) return -1;
    return answerSizedRead(array->arrayInfo, buffer, *size);
}

unsigned long long MemOSUtil::getJobId() const { return job_->jobId; }

int MemOSUtil::getArrayConfigInt(int controlHostId, int, const char* name, int* value) {
    return configInt(arrayByControlHost(controlHostId), name, value);
}

int MemOSUtil::getArrayConfigString(int controlHostId, int, const char* name, char* buffer, short* size) {
    const std::string* text = configValue(arrayByControlHost(controlHostId), name);
    if (text == nullptr) return kNotFound;
    return answerShortRead(*text, buffer, size);
}

}  // namespace hostkit

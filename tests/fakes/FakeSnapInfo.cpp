#include "tests/fakes/FakeSnapInfo.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <sstream>

namespace fakehost {

namespace {

int readShort(FakeHostText& text, char* buffer, short* size) {
    int sizeOut = *size;
    const int status = text.answer(buffer, *size, sizeOut);
    if (status == 2) *size = static_cast<short>(sizeOut);
    return status;
}

}  // namespace

FakeSnapInfo::FakeSnapInfo() { arrayInfo.present = false; }

void FakeSnapInfo::note(const char* operation) {
    calls.push_back(operation);
    if (throwAtCall > 0 && calls.size() == static_cast<size_t>(throwAtCall)) throw std::bad_alloc();
}

std::string FakeSnapInfo::logText() const {
    std::ostringstream out;
    for (const HostLogEntry& e : log) out << e.text << "\n";
    return out.str();
}

int FakeSnapInfo::countCalls(const std::string& name) const {
    int n = 0;
    for (const std::string& c : calls) n += (c == name);
    return n;
}

int FakeSnapInfo::getSnapUUID(char* buffer, short* size) {
    note("getSnapUUID");
    return readShort(snapUUID, buffer, size);
}

int FakeSnapInfo::setSnapUUID(const char* uuid) {
    note("setSnapUUID");
    setSnapUUIDArguments.push_back(uuid);
    snapUUID.value = uuid;
    snapUUID.present = true;
    return 0;
}

int FakeSnapInfo::getArrayInfo(char* buffer, short* size) {
    note("getArrayInfo");
    return readShort(arrayInfo, buffer, size);
}

int FakeSnapInfo::setArrayName(const char* name) {
    note("setArrayName");
    setArrayNameArguments.push_back(name);
    std::string list = name;
    size_t start = 0;
    while (true) {
        const size_t bar = list.find('|', start);
        const std::string one = list.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        auto known = knownArrays.find(one);
        if (known != knownArrays.end()) {
            attachedArray = one;
            arrayInfo.value = known->second;
            arrayInfo.present = true;
            return 0;
        }
        if (bar == std::string::npos) return 1;
        start = bar + 1;
    }
}

QZSO::SnapStatus FakeSnapInfo::getStatus() {
    note("getStatus");
    return static_cast<QZSO::SnapStatus>(status);
}

int FakeSnapInfo::setStatus(int newStatus) {
    note("setStatus");
    status = newStatus;
    return 0;
}

int FakeSnapInfo::getSourceDevice(char* buffer, short* size) {
    note("getSourceDevice");
    return readShort(sourceDevice, buffer, size);
}

int FakeSnapInfo::setSnapDevice(const char* name) {
    note("setSnapDevice");
    snapDevice = name;
    snapDeviceSet = true;
    return 0;
}

int FakeSnapInfo::getMetadata(short type, char* buffer, short* size) {
    note("getMetadata");
    auto it = metadata.find(type);
    if (it == metadata.end()) return 1;
    return readShort(it->second, buffer, size);
}

int FakeSnapInfo::setMetadata(short type, const char* text) {
    note("setMetadata");
    metadataWrites.emplace_back(type, text);
    if (setMetadataResult != 0) return setMetadataResult;
    metadata[type].value = text;
    metadata[type].present = true;
    return 0;
}

int FakeSnapInfo::setError(int code, const char* message) {
    note("setError");
    errorCode = code;
    errorMessage = message;
    return 0;
}

int FakeSnapInfo::getError(int* code, char*, short) {
    note("getError");
    *code = errorCode;
    return 0;
}

void FakeSnapInfo::logMessage(int level, const char* text) {
    note("logMessage");
    log.push_back({level, "", text});
}

void FakeSnapInfo::logFormatted(int level, const char* context, const char* format, ...) {
    note("logFormatted");
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(needed > 0 ? static_cast<size_t>(needed) + 1 : 1, '\0');
    if (needed > 0) vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    text.resize(needed > 0 ? static_cast<size_t>(needed) : 0);
    log.push_back({level, context, text});
}

int FakeSnapInfo::getArrayConfigInt(const char* name, int* value) {
    note("getArrayConfigInt");
    auto it = arrayConfigInts.find(name);
    if (it == arrayConfigInts.end()) return 1;
    *value = it->second;
    return 0;
}

int FakeSnapInfo::getArrayConfigString(const char* name, char* buffer, int* size) {
    note("getArrayConfigString");
    auto it = arrayConfigStrings.find(name);
    if (it == arrayConfigStrings.end()) return 1;
    int sizeOut = *size;
    const int answered = it->second.answer(buffer, *size, sizeOut);
    if (answered == 2) *size = sizeOut;
    return answered;
}

int FakeSnapInfo::getValueInt(short key, int* value) {
    note("getValueInt");
    auto it = valueInts.find(key);
    if (it == valueInts.end()) return 1;
    *value = it->second;
    return 0;
}

int FakeSnapInfo::getValueString(short key, char* buffer, short* size) {
    note("getValueString");
    auto it = valueStrings.find(key);
    if (it == valueStrings.end()) return 1;
    return readShort(it->second, buffer, size);
}

}  // namespace fakehost

#include "tests/fakes/FakeSnapInfo.h"

#include <cstdarg>
#include <new>
#include <sstream>

namespace fakehost {

namespace {

// A read whose size travels as a short: the script's answer, else the
// in-memory host's (`honest`).
template <class Honest>
int readShort(ReadScript& reads, char* buffer, short* size, Honest honest) {
    int sizeOut = *size;
    if (const std::optional<int> status = reads.scripted(buffer, *size, sizeOut)) {
        if (*status == 2) *size = static_cast<short>(sizeOut);
        return *status;
    }
    return honest();
}

// The same for a text the test set outright.
int readShort(FakeHostText& text, char* buffer, short* size) {
    int sizeOut = *size;
    const int status = text.answer(buffer, *size, sizeOut);
    if (status == 2) *size = static_cast<short>(sizeOut);
    return status;
}

}  // namespace

void FakeSnapInfo::knowArray(const std::string& name, const std::string& arrayInfo) {
    for (hostkit::HostArray& array : host.arrays) {
        if (array.name != name) continue;
        array.arrayInfo = arrayInfo;
        return;
    }
    hostkit::HostArray array;
    array.name = name;
    array.arrayInfo = arrayInfo;
    host.arrays.push_back(array);
}

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
    return readShort(snapUUIDReads, buffer, size, [&] { return MemSnapInfo::getSnapUUID(buffer, size); });
}

int FakeSnapInfo::setSnapUUID(const char* uuid) {
    note("setSnapUUID");
    setSnapUUIDArguments.push_back(uuid);
    snapUUIDReads.present = true;
    return MemSnapInfo::setSnapUUID(uuid);
}

int FakeSnapInfo::getArrayInfo(char* buffer, short* size) {
    note("getArrayInfo");
    return readShort(arrayInfoReads, buffer, size, [&] { return MemSnapInfo::getArrayInfo(buffer, size); });
}

int FakeSnapInfo::setArrayName(const char* name) {
    note("setArrayName");
    setArrayNameArguments.push_back(name);
    const int attached = MemSnapInfo::setArrayName(name);
    if (attached == 0) arrayInfoReads.present = true;
    return attached;
}

QZSO::SnapStatus FakeSnapInfo::getStatus() {
    note("getStatus");
    return MemSnapInfo::getStatus();
}

int FakeSnapInfo::setStatus(int newStatus) {
    note("setStatus");
    return MemSnapInfo::setStatus(newStatus);
}

int FakeSnapInfo::getSourceDevice(char* buffer, short* size) {
    note("getSourceDevice");
    return readShort(sourceDeviceReads, buffer, size, [&] { return MemSnapInfo::getSourceDevice(buffer, size); });
}

int FakeSnapInfo::setSnapDevice(const char* name) {
    note("setSnapDevice");
    snapDeviceSet = true;
    return MemSnapInfo::setSnapDevice(name);
}

int FakeSnapInfo::getMetadata(short type, char* buffer, short* size) {
    note("getMetadata");
    if (metadata.count(type) == 0) return 1;
    return readShort(metadataReads[type], buffer, size,
                     [&] { return MemSnapInfo::getMetadata(type, buffer, size); });
}

int FakeSnapInfo::setMetadata(short type, const char* text) {
    note("setMetadata");
    metadataWrites.emplace_back(type, text);
    if (setMetadataResult != 0) return setMetadataResult;
    metadataReads[type].present = true;
    return MemSnapInfo::setMetadata(type, text);
}

int FakeSnapInfo::setError(int code, const char* message) {
    note("setError");
    return MemSnapInfo::setError(code, message);
}

int FakeSnapInfo::getError(int* code, char* message, short size) {
    note("getError");
    return MemSnapInfo::getError(code, message, size);
}

void FakeSnapInfo::logMessage(int level, const char* text) {
    note("logMessage");
    MemSnapInfo::logMessage(level, text);
}

void FakeSnapInfo::logFormatted(int level, const char* context, const char* format, ...) {
    note("logFormatted");
    va_list args;
    va_start(args, format);
    logFormattedV(level, context, format, args);
    va_end(args);
}

void FakeSnapInfo::logLine(int level, const char* context, std::string_view text) {
    log.push_back({level, context, std::string(text)});
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

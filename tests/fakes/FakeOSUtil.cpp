#include "tests/fakes/FakeOSUtil.h"

#include <new>

namespace fakehost {

namespace {

// listArrays and getArrayInfoByName answer "too small" with the size needed
// as a positive result, and anything else as the text being in the buffer.
int answerWithSizeResult(FakeHostText& text, char* buffer, int capacity) {
    int sizeOut = capacity;
    const int status = text.answer(buffer, capacity, sizeOut);
    if (status == 2) return sizeOut;
    return status == 0 ? 0 : -status;
}

}  // namespace

void FakeOSUtil::note(const char* operation) const {
    calls.push_back(operation);
    if (throwAtCall > 0 && calls.size() == static_cast<size_t>(throwAtCall)) throw std::bad_alloc();
}

int FakeOSUtil::countCalls(const std::string& name) const {
    int n = 0;
    for (const std::string& c : calls) n += (c == name);
    return n;
}

int FakeOSUtil::listArrays(const char* vendor, char, int size, char* buffer) {
    note("listArrays");
    listArraysVendors.push_back(vendor);
    return answerWithSizeResult(arrayList, buffer, size);
}

int FakeOSUtil::getArrayInfoByName(const char* name, char* buffer, short* size) {
    note("getArrayInfoByName");
    auto it = arrayInfoByName.find(name);
    if (it == arrayInfoByName.end()) return -1;
    return answerWithSizeResult(it->second, buffer, *size);
}

unsigned long long FakeOSUtil::getJobId() const {
    note("getJobId");
    return MemOSUtil::getJobId();
}

int FakeOSUtil::getArrayConfigInt(int controlHostId, int, const char* name, int* value) {
    note("getArrayConfigInt");
    auto it = configInts.find({controlHostId, name});
    if (it == configInts.end()) return 1;
    *value = it->second;
    return 0;
}

int FakeOSUtil::getArrayConfigString(int controlHostId, int, const char* name, char* buffer,
                                     short* size) {
    note("getArrayConfigString");
    auto it = configStrings.find({controlHostId, name});
    if (it == configStrings.end()) return 1;
    int sizeOut = *size;
    const int status = it->second.answer(buffer, *size, sizeOut);
    if (status == 2) *size = static_cast<short>(sizeOut);
    return status;
}

}  // namespace fakehost

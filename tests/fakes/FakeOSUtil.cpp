#include "tests/fakes/FakeOSUtil.h"

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

int FakeOSUtil::countCalls(const std::string& name) const {
    int n = 0;
    for (const std::string& c : calls) n += (c == name);
    return n;
}

int FakeOSUtil::listArrays(const char* vendor, char, int size, char* buffer) {
    calls.push_back("listArrays");
    listArraysVendors.push_back(vendor);
    return answerWithSizeResult(arrayList, buffer, size);
}

int FakeOSUtil::getArrayInfoByName(const char* name, char* buffer, short* size) {
    calls.push_back("getArrayInfoByName");
    auto it = arrayInfoByName.find(name);
    if (it == arrayInfoByName.end()) return -1;
    return answerWithSizeResult(it->second, buffer, *size);
}

unsigned long long FakeOSUtil::getJobId() const {
    calls.push_back("getJobId");
    return jobId;
}

int FakeOSUtil::getArrayConfigInt(int controlHostId, int, const char* name, int* value) {
    calls.push_back("getArrayConfigInt");
    auto it = configInts.find({controlHostId, name});
    if (it == configInts.end()) return 1;
    *value = it->second;
    return 0;
}

int FakeOSUtil::getArrayConfigString(int controlHostId, int, const char* name, char* buffer,
                                     short* size) {
    calls.push_back("getArrayConfigString");
    auto it = configStrings.find({controlHostId, name});
    if (it == configStrings.end()) return 1;
    int sizeOut = *size;
    const int status = it->second.answer(buffer, *size, sizeOut);
    if (status == 2) *size = static_cast<short>(sizeOut);
    return status;
}

}  // namespace fakehost

// A recording host utility: the array list, array-info texts and per-array
// configuration the host keeps, with scriptable buffer reads.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/QZOSUtil.h"
#include "tests/fakes/FakeHostText.h"

namespace fakehost {

class FakeOSUtil : public QZSO::QZOSUtil {
public:
    explicit FakeOSUtil(unsigned long long id = 42) : jobId(id) {}

    unsigned long long jobId;
    // The array list text answered by listArrays, e.g. "hnas1|hnas2"; its
    // script answers as listArrays does (a status 2 answer returns its size).
    FakeHostText arrayList;
    std::vector<std::string> listArraysVendors;
    std::map<std::string, FakeHostText> arrayInfoByName;
    std::map<std::pair<int, std::string>, int> configInts;          // absent: 1
    std::map<std::pair<int, std::string>, FakeHostText> configStrings;  // absent: 1
    mutable std::vector<std::string> calls;
    // When above 0: the call that makes `calls` this long throws
    // std::bad_alloc, as a host whose own code runs out of memory.
    int throwAtCall = 0;

    int countCalls(const std::string& name) const;

    int listArrays(const char* vendor, char separator, int size, char* buffer) override;
    int getArrayInfoByName(const char* name, char* buffer, short* size) override;
    unsigned long long getJobId() const override;
    int getArrayConfigInt(int controlHostId, int reserved, const char* name, int* value) override;
    int getArrayConfigString(int controlHostId, int reserved, const char* name, char* buffer,
                             short* size) override;

private:
    // Records a call, and throws when it is the one `throwAtCall` names.
    void note(const char* operation) const;
};

}  // namespace fakehost

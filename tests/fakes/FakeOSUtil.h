// A recording host utility: the in-memory utility for the job id, with
// every call logged in order and the array list, array-info texts and
// per-array configuration answered from tables a test sets outright (so
// that it can hand the plug-in lists no well-kept host would).
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "hostkit/MemHost.h"
#include "tests/fakes/FakeHostText.h"

namespace fakehost {

// The job the recording utility answers for: its own, built before the
// utility that reads it.
struct FakeOSUtilRecord {
    hostkit::HostJob job;
};

class FakeOSUtil : private FakeOSUtilRecord, public hostkit::MemOSUtil {
public:
    explicit FakeOSUtil(unsigned long long id = 42) : MemOSUtil(job) { job.jobId = id; }
    FakeOSUtil(const FakeOSUtil&) = delete;
    FakeOSUtil& operator=(const FakeOSUtil&) = delete;

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

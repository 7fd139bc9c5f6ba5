// A recording host snap descriptor: the in-memory descriptor over a state of
// its own, which tests set up and inspect as plain fields, with every call
// logged in order, a script in front of each text read, and tables of
// answers for the reads a test sets outright.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostkit/MemHost.h"
#include "tests/fakes/FakeHostText.h"

namespace fakehost {

struct HostLogEntry {
    int level;
    std::string context;   // empty for logMessage
    std::string text;
};

// What the recording descriptor keeps of its own: its state (the
// SnapState fields) and the arrays its host knows, each descriptor its own
// so that tests vary them one by one.
struct FakeSnapRecord : hostkit::SnapState {
    hostkit::HostJob host;
};

class FakeSnapInfo : public FakeSnapRecord, public hostkit::MemSnapInfo {
public:
    FakeSnapInfo() : MemSnapInfo(*this, host) {}
    FakeSnapInfo(const FakeSnapInfo&) = delete;
    FakeSnapInfo& operator=(const FakeSnapInfo&) = delete;

    // The host knows array `name` with this information (setArrayName finds
    // it, getArrayInfo answers it once attached); replaces what it knew.
    void knowArray(const std::string& name, const std::string& arrayInfo);

    // Scripts in front of the reads of the state's texts.
    ReadScript sourceDeviceReads;
    ReadScript snapUUIDReads;
    ReadScript arrayInfoReads;                     // of the attached array
    std::map<int, ReadScript> metadataReads;       // by type; a type the state lacks fails uncounted

    // Answers the test sets outright.
    std::map<short, FakeHostText> valueStrings;    // by key
    std::map<std::string, FakeHostText> arrayConfigStrings;
    std::map<std::string, int> arrayConfigInts;    // absent names fail with 1
    std::map<short, int> valueInts;                // absent keys fail with 1
    int setMetadataResult = 0;                     // when not 0: setMetadata's answer, nothing stored

    // What the plug-in did, besides the state it changed.
    bool snapDeviceSet = false;
    std::vector<std::string> setArrayNameArguments;
    std::vector<std::string> setSnapUUIDArguments;
    std::vector<std::pair<short, std::string>> metadataWrites;
    std::vector<HostLogEntry> log;
    std::vector<std::string> calls;                // operation names, in order
    // When above 0: the call that makes `calls` this long throws
    // std::bad_alloc, as a host whose own code runs out of memory.
    int throwAtCall = 0;

    // Host log lines joined, one per line, for substring checks.
    std::string logText() const;
    int countCalls(const std::string& name) const;

    int getSnapUUID(char* buffer, short* size) override;
    int setSnapUUID(const char* uuid) override;
    int getArrayInfo(char* buffer, short* size) override;
    int setArrayName(const char* name) override;
    QZSO::SnapStatus getStatus() override;
    int setStatus(int status) override;
    int getSourceDevice(char* buffer, short* size) override;
    int setSnapDevice(const char* name) override;
    int getMetadata(short type, char* buffer, short* size) override;
    int setMetadata(short type, const char* text) override;
    int setError(int code, const char* message) override;
    int getError(int* code, char* message, short size) override;
    void logMessage(int level, const char* text) override;
    void logFormatted(int level, const char* context, const char* format, ...) override
        __attribute__((format(printf, 4, 5)));
    int getArrayConfigInt(const char* name, int* value) override;
    int getArrayConfigString(const char* name, char* buffer, int* size) override;
    int getValueInt(short key, int* value) override;
    int getValueString(short key, char* buffer, short* size) override;

protected:
    void logLine(int level, const char* context, std::string_view text) override;

private:
    // Records a call, and throws when it is the one `throwAtCall` names.
    void note(const char* operation);
};

}  // namespace fakehost

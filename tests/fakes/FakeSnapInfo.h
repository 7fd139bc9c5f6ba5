// A recording host snap descriptor: implements every listed slot over plain
// fields that tests set up and inspect, and logs every call in order.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/SnapInfo.h"
#include "tests/fakes/FakeHostText.h"

namespace fakehost {

struct HostLogEntry {
    int level;
    std::string context;   // empty for logMessage
    std::string text;
};

class FakeSnapInfo : public QZSO::SnapInfo {
public:
    FakeSnapInfo();

    // What the host holds.
    FakeHostText sourceDevice;
    FakeHostText snapUUID;
    FakeHostText arrayInfo;                        // of the attached array
    std::map<short, FakeHostText> metadata;        // by type
    std::map<short, FakeHostText> valueStrings;    // by key
    std::map<std::string, FakeHostText> arrayConfigStrings;
    std::map<std::string, int> arrayConfigInts;    // absent names fail with 1
    std::map<short, int> valueInts;                // absent keys fail with 1
    std::map<std::string, std::string> knownArrays;  // array name -> array-info text

    // What the plug-in reported.
    int status = 0;
    int errorCode = 0;
    std::string errorMessage;
    std::string snapDevice;
    bool snapDeviceSet = false;
    std::string attachedArray;
    std::vector<std::string> setArrayNameArguments;
    std::vector<std::string> setSnapUUIDArguments;
    std::vector<std::pair<short, std::string>> metadataWrites;
    int setMetadataResult = 0;                      // host's answer to setMetadata
    std::vector<HostLogEntry> log;
    std::vector<std::string> calls;                 // operation names, in order
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

private:
    // Records a call, and throws when it is the one `throwAtCall` names.
    void note(const char* operation);
};

}  // namespace fakehost

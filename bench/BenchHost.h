// A lean host snap descriptor for the benchmark: it keeps what a host keeps
// for a snap (source device, snap UUID, metadata, attached array, status,
// error, snap device) and answers the buffer protocol honestly, but records
// no calls and keeps no log lines: it formats each line, as a host writing
// its log would, and drops it. So the memory and cache traffic the
// benchmark sees is the plug-in's, not a recording fake's.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "host/SnapInfo.h"

namespace bench {

class BenchHost : public QZSO::SnapInfo {
public:
    std::string sourceDevice;
    std::string snapUUID;
    std::string arrayName;          // the one array name the host knows, e.g. "filer1"
    std::string arrayInfoText;      // that array's information
    bool attached = false;
    std::map<short, std::string> metadata;
    int status = 0;
    int errorCode = 0;
    std::string errorMessage;
    std::string snapDevice;
    int mountRequestSource = 1;

    int getSnapUUID(char* buffer, short* size) override { return answer(snapUUID, buffer, size); }
    int setSnapUUID(const char* uuid) override {
        snapUUID = uuid;
        return 0;
    }
    int getArrayInfo(char* buffer, short* size) override {
        return attached ? answer(arrayInfoText, buffer, size) : 1;
    }
    int setArrayName(const char* name) override {
        if (arrayName != name) return 1;
        attached = true;
        return 0;
    }
    QZSO::SnapStatus getStatus() override { return static_cast<QZSO::SnapStatus>(status); }
    int setStatus(int value) override {
        status = value;
        return 0;
    }
    int getSourceDevice(char* buffer, short* size) override { return answer(sourceDevice, buffer, size); }
    int setSnapDevice(const char* name) override {
        snapDevice = name;
        return 0;
    }
    int getMetadata(short type, char* buffer, short* size) override {
        const auto found = metadata.find(type);
        return found == metadata.end() ? 1 : answer(found->second, buffer, size);
    }
    int setMetadata(short type, const char* text) override {
        metadata[type] = text;
        return 0;
    }
    int setError(int code, const char* message) override {
        errorCode = code;
        errorMessage = message;
        return 0;
    }
    int getError(int* code, char*, short) override {
        *code = errorCode;
        return 0;
    }
    void logMessage(int, const char* text) override { lastLine_[0] = text[0]; }
    void logFormatted(int, const char*, const char* format, ...) override __attribute__((format(printf, 4, 5))) {
        va_list args;
        va_start(args, format);
        vsnprintf(lastLine_, sizeof(lastLine_), format, args);
        va_end(args);
    }
    int getArrayConfigInt(const char*, int*) override { return 1; }
    int getArrayConfigString(const char*, char*, int*) override { return 1; }
    int getValueInt(short, int* value) override {
        *value = mountRequestSource;
        return 0;
    }
    int getValueString(short, char*, short*) override { return 1; }

private:
    // 0 and the text when it fits the announced size, else 2 and the size needed.
    static int answer(const std::string& text, char* buffer, short* size) {
        const size_t needed = text.size() + 1;
        if (*size < 0 || needed > static_cast<size_t>(*size)) {
            *size = static_cast<short>(needed);
            return 2;
        }
        std::memcpy(buffer, text.c_str(), needed);
        return 0;
    }

    char lastLine_[512] = {0};
};

}  // namespace bench

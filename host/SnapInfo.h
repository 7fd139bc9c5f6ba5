// The host framework's snap descriptor: one per source device, owned by the
// host. Only the virtual operations are used, and their slot order is part of
// the binary interface: the destructor fills slots 0 and 1, every operation the
// plug-in calls sits at its fixed slot, reserved placeholders fill the gaps.
//
// Text reads follow the buffer protocol: the caller passes a buffer and its
// size; 0 means the NUL-terminated text was written, 2 means the buffer was too
// small and the needed size was written back into *size, anything else failed.
#pragma once

#include "host/SnapStatus.h"

namespace QZSO {

// The levels of the host log (logMessage, logFormatted): a higher level is
// more severe, the reverse of EvDebug's scale.
namespace HostLog {
constexpr int kProgress = 0;
constexpr int kDetails = 1;
constexpr int kFailure = 2;
}  // namespace HostLog

class SnapInfo {
public:
    virtual ~SnapInfo() {}                                                   // 0, 1
    virtual int getSnapUUID(char* buffer, short* size) = 0;                  // 2
    virtual int setSnapUUID(const char* uuid) = 0;                           // 3
    virtual int getArrayInfo(char* buffer, short* size) = 0;                 // 4
    // 0 when the host holds array information for the name, or for one of
    // several names joined by "|".
    virtual int setArrayName(const char* name) = 0;                          // 5
    virtual void reserved06() {}
    virtual void reserved07() {}
    virtual void reserved08() {}
    virtual void reserved09() {}
    virtual void reserved10() {}
    virtual void reserved11() {}
    virtual void reserved12() {}
    virtual void reserved13() {}
    virtual SnapStatus getStatus() = 0;                                      // 14
    virtual int setStatus(int status) = 0;                                   // 15
    virtual int getSourceDevice(char* buffer, short* size) = 0;              // 16
    virtual void reserved17() {}
    virtual void reserved18() {}
    virtual int setSnapDevice(const char* name) = 0;                         // 19
    virtual void reserved20() {}
    virtual void reserved21() {}
    virtual int getMetadata(short type, char* buffer, short* size) = 0;      // 22
    virtual int setMetadata(short type, const char* text) = 0;               // 23
    virtual int setError(int code, const char* message) = 0;                 // 24
    // Writes the error code already recorded (0: none). The message buffer
    // and its size may be null and 0.
    virtual int getError(int* code, char* message, short size) = 0;          // 25
    virtual void logMessage(int level, const char* text) = 0;                // 26
    virtual void logFormatted(int level, const char* context, const char* format, ...)
        __attribute__((format(printf, 4, 5))) = 0;                           // 27
    virtual void reserved28() {}
    virtual void reserved29() {}
    virtual void reserved30() {}
    virtual void reserved31() {}
    virtual void reserved32() {}
    virtual void reserved33() {}
    virtual void reserved34() {}
    virtual void reserved35() {}
    virtual void reserved36() {}
    virtual void reserved37() {}
    virtual void reserved38() {}
    virtual int getArrayConfigInt(const char* name, int* value) = 0;         // 39
    virtual void reserved40() {}
    virtual int getArrayConfigString(const char* name, char* buffer, int* size) = 0;  // 41
    virtual void reserved42() {}
    virtual void reserved43() {}
    virtual void reserved44() {}
    virtual int getValueInt(short key, int* value) = 0;                      // 45: 1 = failure
    virtual int getValueString(short key, char* buffer, short* size) = 0;    // 46
};

}  // namespace QZSO

// The host framework's utility object, owned by the host. Slot order is part
// of the binary interface (see SnapInfo.h).
#pragma once

namespace QZSO {

class QZOSUtil {
public:
    virtual ~QZOSUtil() {}                                                   // 0, 1
    virtual void reserved02() {}
    virtual void reserved03() {}
    virtual void reserved04() {}
    // Writes the names of the vendor's arrays, joined by `separator`, into a
    // buffer of `size` bytes. A result above 0 means the buffer is too small
    // and is the size needed.
    virtual int listArrays(const char* vendor, char separator, int size, char* buffer) = 0;  // 5
    virtual void reserved06() {}
    virtual void reserved07() {}
    virtual void reserved08() {}
    virtual void reserved09() {}
    virtual void reserved10() {}
    virtual void reserved11() {}
    virtual void reserved12() {}
    virtual void reserved13() {}
    virtual void reserved14() {}
    virtual void reserved15() {}
    virtual void reserved16() {}
    // Same size convention as listArrays.
    virtual int getArrayInfoByName(const char* name, char* buffer, short* size) = 0;  // 17
    virtual unsigned long long getJobId() const = 0;                                 // 18
    virtual void reserved19() {}
    virtual void reserved20() {}
    virtual void reserved21() {}
    virtual void reserved22() {}
    virtual void reserved23() {}
    virtual void reserved24() {}
    virtual int getArrayConfigInt(int controlHostId, int reserved, const char* name,
                                  int* value) = 0;                                   // 25
    virtual void reserved26() {}
    virtual void reserved27() {}
    virtual void reserved28() {}
    virtual void reserved29() {}
    virtual void reserved30() {}
    virtual int getArrayConfigString(int controlHostId, int reserved, const char* name,
                                     char* buffer, short* size) = 0;                 // 31
};

}  // namespace QZSO

// The host objects' virtual slot numbers are a binary contract with the host
// framework. Under the Itanium C++ ABI a pointer to a virtual member function
// holds 1 + slot * sizeof(void*).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/QZOSUtil.h"
#include "host/SnapInfo.h"

namespace {

template <typename MemberPointer>
long slotOf(MemberPointer member) {
    struct Representation {
        uintptr_t ptr;
        ptrdiff_t adj;
    } rep;
    static_assert(sizeof(member) == sizeof(rep), "unexpected member pointer layout");
    std::memcpy(&rep, &member, sizeof(rep));
    if ((rep.ptr & 1) == 0) return -1;   // not a virtual function
    return static_cast<long>((rep.ptr - 1) / sizeof(void*));
}

TEST(HostSlots, SnapInfoOperationsSitAtTheirSlots) {
    using QZSO::SnapInfo;
    EXPECT_EQ(2, slotOf(&SnapInfo::getSnapUUID));
    EXPECT_EQ(3, slotOf(&SnapInfo::setSnapUUID));
    EXPECT_EQ(4, slotOf(&SnapInfo::getArrayInfo));
    EXPECT_EQ(5, slotOf(&SnapInfo::setArrayName));
    EXPECT_EQ(14, slotOf(&SnapInfo::getStatus));
    EXPECT_EQ(15, slotOf(&SnapInfo::setStatus));
    EXPECT_EQ(16, slotOf(&SnapInfo::getSourceDevice));
    EXPECT_EQ(19, slotOf(&SnapInfo::setSnapDevice));
    EXPECT_EQ(22, slotOf(&SnapInfo::getMetadata));
    EXPECT_EQ(23, slotOf(&SnapInfo::setMetadata));
    EXPECT_EQ(24, slotOf(&SnapInfo::setError));
    EXPECT_EQ(25, slotOf(&SnapInfo::getError));
    EXPECT_EQ(26, slotOf(&SnapInfo::logMessage));
    EXPECT_EQ(27, slotOf(&SnapInfo::logFormatted));
    EXPECT_EQ(39, slotOf(&SnapInfo::getArrayConfigInt));
    EXPECT_EQ(41, slotOf(&SnapInfo::getArrayConfigString));
    EXPECT_EQ(45, slotOf(&SnapInfo::getValueInt));
    EXPECT_EQ(46, slotOf(&SnapInfo::getValueString));
}

TEST(HostSlots, QZOSUtilOperationsSitAtTheirSlots) {
    using QZSO::QZOSUtil;
    EXPECT_EQ(5, slotOf(&QZOSUtil::listArrays));
    EXPECT_EQ(17, slotOf(&QZOSUtil::getArrayInfoByName));
    EXPECT_EQ(18, slotOf(&QZOSUtil::getJobId));
    EXPECT_EQ(25, slotOf(&QZOSUtil::getArrayConfigInt));
    EXPECT_EQ(31, slotOf(&QZOSUtil::getArrayConfigString));
}

}  // namespace

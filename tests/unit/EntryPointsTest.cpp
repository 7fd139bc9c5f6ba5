// The three trivial entry points.
#include <gtest/gtest.h>

#include "engine/QzSnapEngineHNAS.h"
#include "tests/fakes/FakeOSUtil.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/fakes/LogCapture.h"

namespace {

TEST(EntryPoints, VersionIsOneZeroZero) {
    short major = -1, minor = -1, patch = -1;
    qzso_version(&major, &minor, &patch);
    EXPECT_EQ(1, major);
    EXPECT_EQ(0, minor);
    EXPECT_EQ(0, patch);
}

TEST(EntryPoints, IsSupportedWhateverItIsGiven) {
    int dummy = 0;
    EXPECT_EQ(1, qzso_isSupported(nullptr, 0, nullptr, nullptr, 0));
    EXPECT_EQ(1, qzso_isSupported(&dummy, -7, &dummy, &dummy, 32767));
}

TEST(EntryPoints, UnprepareLogsOneLineAndTouchesNothing) {
    fakehost::LogCapture log;
    fakehost::FakeSnapInfo snap;
    fakehost::FakeOSUtil util;
    QZSO::SnapInfo* snaps[] = {&snap};
    EXPECT_EQ(0, qzso_unprepareDevices(snaps, 1, &util));
    ASSERT_EQ(1u, log.lines().size());
    EXPECT_EQ("QZSnapEngineHNAS::qzso_unprepareDevices", log.lines()[0].context);
    EXPECT_EQ(0, log.lines()[0].level);
    EXPECT_EQ("Nothing to be done here.", log.lines()[0].message);
    EXPECT_TRUE(snap.calls.empty());
    EXPECT_TRUE(util.calls.empty());
}

}  // namespace

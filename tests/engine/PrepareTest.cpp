// Prepare through the exported entry point: discovery on the array, the
// metadata stored, statuses, the stop rule and return codes.
#include <gtest/gtest.h>

#include "tests/support/EngineFixture.h"

namespace {

using namespace QZSO;
using testsupport::EngineFixture;
using testsupport::Statuses;

std::string metadataOf(fakehost::FakeSnapInfo& snap, short type) {
    return snap.metadata.count(type) != 0 ? snap.metadata[type] : std::string("<none>");
}

TEST(Prepare, DiscoversEachKindOfDeviceAndStoresItsMetadata) {
    EngineFixture f;
    f.array.requestsInFlight = 1;   // the order of the requests, each made by its device
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2");
    f.addDevice(testsupport::kNative, "u3");
    EXPECT_EQ(0, f.run(qzso_prepareDevices));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_PREPARED), f.statuses());

    const std::string evs = f.hnas1().virtualServers[0].objectId;
    EXPECT_EQ("{FileSystemName:fs1,FileSystemID:" + f.fileSystemId("fs1") + ",Path:\\data,SubDirectory:sub1,"
              "SnapshotObjectID:,VirtualServerID:1,VirtualServerObjectID:" + evs +
                  ",TargetHostName:filer1,FileSystemName:fs1,SnapshotName:}",
              metadataOf(f.snap(0), SM_MDT_SNAP_UUID));
    // Prepare keeps neither the snap UUID nor a native device's raw path yet.
    EXPECT_EQ("{FileSystemName:fs3,FileSystemID:" + f.fileSystemId("fs3") + ",Path:,"
              "SubDirectory:/dir,SnapshotObjectID:,VirtualServerID:1,VirtualServerObjectID:" + evs +
                  ",TargetHostName:filer1,FileSystemName:fs3,SnapshotName:}",
              metadataOf(f.snap(2), SM_MDT_SNAP_UUID));
    // Shares and exports keep their settings and permissions; native paths have none.
    const std::string cifsSettings = metadataOf(f.snap(0), SM_MDT_FS_INFO);
    EXPECT_NE(std::string::npos, cifsSettings.find("MaxConcurrentUsers:40,"));
    EXPECT_NE(std::string::npos, cifsSettings.find("Comment:source share,"));
    EXPECT_NE(std::string::npos, cifsSettings.find("Name:BUILTIN\\Administrators,"));
    EXPECT_NE(std::string::npos, metadataOf(f.snap(1), SM_MDT_FS_INFO).find("AccessConfig:*(rw),"));
    EXPECT_EQ("<none>", metadataOf(f.snap(2), SM_MDT_FS_INFO));
    // Type 16 before type 6 for a share.
    ASSERT_EQ(2u, f.snap(0).metadataWrites.size());
    EXPECT_EQ(SM_MDT_FS_INFO, f.snap(0).metadataWrites[0].first);
    EXPECT_EQ(SM_MDT_SNAP_UUID, f.snap(0).metadataWrites[1].first);

    EXPECT_EQ((std::vector<std::string>{"init", "getVirtualServerInfo", "getFileSystemID", "getFileSystemsInfo",
                                        "getFilesystemShares", "getFileSystemID", "getFileSystemsInfo",
                                        "getFilesystemShares", "getFileSystemID"}),
              f.array.operations());
    EXPECT_EQ("CIFS", f.array.callsOf("getFileSystemID")[0].arguments[2]);
    EXPECT_EQ("NFS", f.array.callsOf("getFileSystemID")[1].arguments[2]);
    EXPECT_TRUE(f.log.has(0, "=================PREPARE PHASE-ARRAY [1]================="));
    EXPECT_TRUE(f.log.has(0, "=================END PREPARE PHASE-DEVICE [3]================="));
    EXPECT_TRUE(f.log.has(0, "=================END PREPARE PHASE-ARRAY [1]================="));
    EXPECT_TRUE(f.log.has(0, "Preparing devices. Snap Engine [HNAS]. Device count[3]"));
}

TEST(Prepare, EachFailingStepStopsTheOperation) {
    struct Case {
        const char* operation;
        int callNumber;
        Statuses statuses;
        int code;
        std::string message;   // empty: none is set on a device
    };
    EngineFixture probe;
    const std::string fs1 = probe.fileSystemId("fs1");
    const Case cases[] = {
        {"getVirtualServerInfo", 1, Statuses(2, SNAP_STATUS_PREPARE_FAILED), 1, ""},
        {"getFileSystemID", 1, Statuses(2, SNAP_STATUS_PREPARE_FAILED), 1,
         "Failed to get File System ID for Share [data]."},
        {"getFileSystemsInfo", 1, Statuses(2, SNAP_STATUS_PREPARE_FAILED), 1,
         "Failed to get File System Info for File System ID [" + fs1 + "]."},
        {"getFilesystemShares", 1, Statuses(2, SNAP_STATUS_PREPARE_FAILED), 1,
         "Failed to get Share Info for Share [data]."},
        {"getFileSystemID", 2, Statuses{SNAP_STATUS_PREPARED, SNAP_STATUS_PREPARE_FAILED}, 2,
         "Failed to get File System ID for FS [fs3]."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " #" + std::to_string(c.callNumber));
        EngineFixture f;
        f.array.requestsInFlight = 1;   // reads made ahead may ask for devices never reached
        f.addDevice(testsupport::kUnc, "u1");
        f.addDevice(testsupport::kNative, "u2");
        f.array.failCall(c.operation, c.callNumber);
        EXPECT_EQ(c.code, f.run(qzso_prepareDevices));
        EXPECT_EQ(c.statuses, f.statuses());
        fakehost::FakeSnapInfo& failed = f.snap(c.statuses[0] == SNAP_STATUS_PREPARED ? 1 : 0);
        if (c.message.empty()) {
            EXPECT_TRUE(f.log.has(-1, "Failed to get the list of all virtual servers for Host [evs1]."));
            EXPECT_EQ(0, f.snap(0).countCalls("setError"));
        } else {
            EXPECT_EQ(ERROR_PREPARE_FAILED, failed.errorCode);
            EXPECT_EQ(c.message, failed.errorMessage);
            EXPECT_TRUE(f.log.has(-1, c.message));
        }
        // Nothing after the failure is asked of the array.
        EXPECT_EQ(c.callNumber, f.array.count(c.operation));
        EXPECT_FALSE(f.log.has(0, "=================END PREPARE PHASE-ARRAY [1]================="));
    }
}

TEST(Prepare, ASuccessWithAnEmptyListIsNoAnswer) {
    struct Case {
        const char* operation;
        std::string message;
    };
    EngineFixture probe;
    const Case cases[] = {
        {"getFileSystemsInfo", "Failed to get File System Info for File System ID [" + probe.fileSystemId("fs1") + "]."},
        {"getFilesystemShares", "Failed to get Share Info for Share [data]."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        EngineFixture f;
        f.addDevice(testsupport::kUnc, "u1");
        f.array.answerEmptyNext(c.operation);
        EXPECT_EQ(1, f.run(qzso_prepareDevices));
        EXPECT_EQ(SNAP_STATUS_PREPARE_FAILED, f.snap(0).status);
        EXPECT_EQ(c.message, f.snap(0).errorMessage);
        EXPECT_TRUE(f.snap(0).metadataWrites.empty());
    }
}

// A host that refuses to store the metadata fails the device: a later job
// would find nothing to work from.
TEST(Prepare, AMetadataWriteTheHostRefusesFailsTheDevice) {
    const struct {
        std::string source;
        short type;   // the device's first write
    } cases[] = {{testsupport::kUnc, SM_MDT_FS_INFO}, {testsupport::kNative, SM_MDT_SNAP_UUID}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        EngineFixture f;
        f.addDevice(c.source, "u1");
        f.addDevice(testsupport::kNfs, "u2");
        f.snap(0).setMetadataResult = 1;
        EXPECT_EQ(1, f.run(qzso_prepareDevices));
        EXPECT_EQ(Statuses(2, SNAP_STATUS_PREPARE_FAILED), f.statuses());
        EXPECT_EQ(ERROR_PREPARE_FAILED, f.snap(0).errorCode);
        EXPECT_EQ("Failed to store the snap metadata of type [" + std::to_string(c.type) + "] for Source Device [" +
                      c.source + "]: the host refused it.",
                  f.snap(0).errorMessage);
        EXPECT_EQ(0, f.snap(1).countCalls("setMetadata"));   // the operation stopped
    }
}

// What a share's values hold never fails a device nor stops the job. Settings
// that cannot be carried whole leave an empty settings text (map then uses
// the live ones); a comment and a share path, which no later job acts on for
// access, are stored cut.
TEST(Prepare, ValuesTheMetadataCannotCarryNeverStopTheJob) {
    const struct {
        const char* name;
        void (*spoil)(arraymodel::Share&);
        bool settingsStored;
        std::string path;   // as stored under "Path"
    } cases[] = {
        {"NFS-style option list", [](arraymodel::Share& s) { s.settings.accessConfig = "10.1.0.0/16(rw,no_root_squash)"; },
         false, "\\data"},
        {"comment with a comma", [](arraymodel::Share& s) { s.settings.comment = "Sales, EMEA"; }, true, "\\data"},
        {"group with a comma",
         [](arraymodel::Share& s) {
             arraymodel::Authentication group;
             group.name = "EXAMPLE\\Sales, EMEA";
             group.encodedName = "e9";
             group.permission = 24;
             group.type = "GROUP";
             s.authentications.push_back(group);
         },
         false, "\\data"},
        {"share path with a comma", [](arraymodel::Share& s) { s.path = "\\Finance, Legal"; }, true, "\\Finance"},
        {"share path with braces", [](arraymodel::Share& s) { s.path = "\\Team {A}"; }, true, "\\Team "},
        {"share path standing in for a key", [](arraymodel::Share& s) { s.path = "\\a,SnapshotObjectID:7"; }, true,
         "\\a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineFixture f;
        f.addDevice(testsupport::kUnc, "u1");
        f.addDevice(testsupport::kNative, "u2");
        c.spoil(f.hnas1().shares[0]);
        EXPECT_EQ(0, f.run(qzso_prepareDevices));
        EXPECT_EQ(Statuses(2, SNAP_STATUS_PREPARED), f.statuses());
        const std::string settings = metadataOf(f.snap(0), SM_MDT_FS_INFO);
        EXPECT_EQ(c.settingsStored, !settings.empty()) << settings;
        const std::string identity = metadataOf(f.snap(0), SM_MDT_SNAP_UUID);
        EXPECT_NE(std::string::npos, identity.find(",Path:" + c.path + ",SubDirectory:sub1,SnapshotObjectID:,"))
            << identity;
        EXPECT_EQ(std::string::npos, identity.find("CutValues")) << identity;
    }
}

// Each file system's ID is asked of the array once per group: by name for
// native paths, by share for shares (a second device below the same share
// asks only for the share's settings), and a label the array reported for a
// share's file system answers a native path on it too.
TEST(Prepare, LooksUpEachFileSystemOncePerGroup) {
    EngineFixture f;
    f.array.requestsInFlight = 1;   // the order of the requests, each made by its device
    f.addDevice(testsupport::kUnc, "u1");                                                        // share on fs1
    f.addDevice(testsupport::kNativeOnFs1, "u2");                                                // fs1, label known
    f.addDevice(testsupport::kNative, "u3");                                                     // fs3
    f.addDevice("{type:native_hnas,path:/__VOLUME__/fs3/b,targethostname:filer1}", "u4");       // fs3 again
    f.addDevice("{type:native_hnas,path:/__VOLUME__/fs2/c,targethostname:filer2}", "u5");       // other group
    f.addDevice("{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\data\\\\sub2,targethostname:filer1}",
                "u6");                                                                          // share data again
    EXPECT_EQ(0, f.run(qzso_prepareDevices));
    EXPECT_EQ((std::vector<std::string>{"init", "getVirtualServerInfo", "getFileSystemID", "getFileSystemsInfo",
                                        "getFilesystemShares", "getFileSystemID", "getFilesystemShares", "init",
                                        "getVirtualServerInfo", "getFileSystemID"}),
              f.array.operations());
    EXPECT_EQ((std::vector<std::string>{"fs3"}), f.array.callsOf("getFileSystemID")[1].arguments);
    // Every device still stores its own file system's ID.
    for (size_t i : {1, 2, 3}) {
        const std::string fs = i == 1 ? "fs1" : "fs3";
        EXPECT_NE(std::string::npos,
                  metadataOf(f.snap(i), SM_MDT_SNAP_UUID).find("FileSystemID:" + f.fileSystemId(fs) + ","))
            << i;
    }
}

// The group's opening line comes before its init, so that whatever init
// logs belongs to that array.
TEST(Prepare, AnnouncesTheArrayBeforeItsInit) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    bool announcedBeforeInit = false;
    f.array.beforeCall = [&](const std::string& operation) {
        if (operation == "init")
            announcedBeforeInit =
                f.log.has(0, "Preparing devices for Array [evs1] Control Host/Management Host [smu1]");
    };
    EXPECT_EQ(0, f.run(qzso_prepareDevices));
    EXPECT_TRUE(announcedBeforeInit);
}

TEST(Prepare, SecondGroupsServerLookupFailing) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice("{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:filer2}", "u2");
    f.array.failCall("getVirtualServerInfo", 2);
    EXPECT_EQ(2, f.run(qzso_prepareDevices));
    EXPECT_EQ((Statuses{SNAP_STATUS_PREPARED, SNAP_STATUS_PREPARE_FAILED}), f.statuses());
    EXPECT_TRUE(f.log.has(-1, "Failed to get the list of all virtual servers for Host [evs2]."));
}

TEST(Prepare, ReturnCodeCountsDescriptorsDroppedByGrouping) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2").sourceDeviceReads.present = false;
    f.addDevice(testsupport::kNative, "u3");
    EXPECT_EQ(2, f.run(qzso_prepareDevices));
    EXPECT_EQ((Statuses{SNAP_STATUS_PREPARED, SNAP_STATUS_PREPARE_FAILED, SNAP_STATUS_PREPARED}), f.statuses());
    EXPECT_TRUE(f.log.has(-1, "preOperation failed."));
}

TEST(Prepare, NothingToGroup) {
    EngineFixture f;
    EXPECT_EQ(1, f.run(qzso_prepareDevices));
    EXPECT_TRUE(f.log.has(0, "Failed to build array-to-device map."));
    EXPECT_EQ(0, qzso_isMapped(nullptr, 0, &f.util));

    f.addDevice(testsupport::kUnc, "u1").sourceDeviceReads.present = false;
    EXPECT_EQ(1, f.run(qzso_prepareDevices));   // every pre-operation failed: no banner at all
    EXPECT_FALSE(f.log.has(0, "=================PREPARE PHASE-ARRAY [1]================="));
    EXPECT_EQ(0, f.array.count("init"));
}

TEST(Grouping, MissingDescriptorsAndUtilityAreSkippedNotFollowed) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    QZSO::SnapInfo* snaps[] = {nullptr, &f.snap(0), nullptr};
    EXPECT_EQ(2, qzso_prepareDevices(snaps, 3, &f.util));
    EXPECT_EQ(SNAP_STATUS_PREPARED, f.snap(0).status);
    EXPECT_EQ(1, qzso_snapDevices(nullptr, 2, &f.util));

    // Without a utility the job id is 0 and a filer the host does not know
    // by name cannot be searched for.
    fakehost::FakeSnapInfo& stranger = f.addDevice(testsupport::kUnc, "u2");
    stranger.host.arrays.clear();
    QZSO::SnapInfo* one[] = {&stranger};
    EXPECT_EQ(1, qzso_prepareDevices(one, 1, nullptr));
    EXPECT_EQ(SNAP_STATUS_PREPARE_FAILED, stranger.status);
}

TEST(Grouping, DevicesFallIntoGroupsByControlHostInOrderOfFirstAppearance) {
    EngineFixture f;
    f.array.requestsInFlight = 1;   // the order of the requests, each made by its device
    f.addDevice(testsupport::kUnc, "u1");                                                         // host 3
    f.addDevice("{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:filer2}", "u2");  // host 4
    f.addDevice(testsupport::kNative, "u3");                                                      // host 3
    EXPECT_EQ(0, f.run(qzso_prepareDevices));
    const auto inits = f.array.callsOf("init");
    ASSERT_EQ(2u, inits.size());
    EXPECT_EQ("smu1", inits[0].arguments[2]);
    EXPECT_EQ("smu2", inits[1].arguments[2]);
    // The first group holds the first and third device, in that order.
    EXPECT_EQ((std::vector<std::string>{"init", "getVirtualServerInfo", "getFileSystemID", "getFileSystemsInfo",
                                        "getFilesystemShares", "getFileSystemID", "init", "getVirtualServerInfo",
                                        "getFileSystemID", "getFileSystemsInfo", "getFilesystemShares"}),
              f.array.operations());
    EXPECT_TRUE(f.log.has(0, "Array already added to array-to-device map structure"));
}

TEST(Grouping, TheControlHostIdAloneDecidesAndTheFirstDeviceNamesTheGroup) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    // Another name for control host 3: different array ID and host name.
    f.addDevice("{type:native_hnas,path:/__VOLUME__/fs3/dir,targethostname:filer3}", "u2")
        .knowArray("filer3", "{arrayId:evsX,hostName:smuX,hostUserName:admin,hostPassword:pw1-Secret,hostid:3}");
    EXPECT_EQ(0, f.run(qzso_prepareDevices));
    const auto inits = f.array.callsOf("init");
    ASSERT_EQ(1u, inits.size());
    EXPECT_EQ("smu1", inits[0].arguments[2]);
    EXPECT_EQ((std::vector<std::string>{"evs1"}), f.array.callsOf("getVirtualServerInfo")[0].arguments);
}

}  // namespace

// Is-mapped, map and unmap through the exported entry points, on snapshots
// made by prepare and snap.
#include <gtest/gtest.h>

#include "arraysim/model/ArraySeed.h"
#include "tests/support/EngineFixture.h"

namespace {

using arraymodel::Protocol;
using namespace QZSO;
using testsupport::EngineFixture;
using testsupport::Statuses;

void prepareAndSnap(EngineFixture& f) {
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    f.array.clearCalls();
}

TEST(Map, CreatesASharePerDeviceOverItsSnapshot) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2");
    f.addDevice(testsupport::kNative, "u3");
    prepareAndSnap(f);
    // The source share changes after prepare: the saved settings still win.
    f.hnas1().shares[0].settings.comment = "changed since prepare";

    EXPECT_EQ(0, f.run(qzso_mapSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_MAPPED), f.statuses());

    const arraymodel::Share* cifs = f.share("QZHNAS-u1-data-sub1-QZShare");
    ASSERT_NE(nullptr, cifs);
    EXPECT_EQ("source share", cifs->settings.comment);
    EXPECT_EQ(40, cifs->settings.maxConcurrentUsers);
    EXPECT_EQ(2u, cifs->authentications.size());
    EXPECT_EQ("{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\UNC-NT_filer1\\\\QZHNAS-u1-data-sub1-QZShare,"
              "targethostname:filer1}",
              f.snap(0).snapDevice);

    ASSERT_NE(nullptr, f.share("/QZHNAS-u2-exp1-QZShare", Protocol::Nfs));
    EXPECT_EQ("{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/QZHNAS-u2-exp1-QZShare,targethostname:filer1}",
              f.snap(1).snapDevice);

    ASSERT_NE(nullptr, f.share("/QZHNAS-u3-fs3", Protocol::Nfs));
    EXPECT_EQ("{type:native_hnas,path:/__VOLUME__/fs3/~snapshot/QZHNAS-u3-fs3/dir,fspath:/__VOLUME__/fs3/~snapshot/"
              "QZHNAS-u3-fs3,targethostname:filer1,exportpath:/QZHNAS-u3-fs3}",
              f.snap(2).snapDevice);

    // A native device makes no share lookup and creates without permissions.
    EXPECT_EQ(2, f.array.count("getFilesystemShares"));
    const auto creates = f.array.callsOf("createFileSystemShare");
    ASSERT_EQ(3u, creates.size());
    EXPECT_EQ("false", creates[2].arguments.back());
    EXPECT_EQ("true", creates[0].arguments.back());
}

// Settings prepare could not carry whole are not stored; map then copies the
// live settings and permissions of the source, never a cut of them, also
// over an earlier prepare's text.
TEST(Map, SettingsNotStoredAtPrepareAreTakenLiveFromTheSource) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2");
    ASSERT_EQ(0, f.run(qzso_prepareDevices));   // an earlier prepare stored settings
    arraymodel::Share& cifsSource = f.hnas1().shares[0];
    cifsSource.settings.comment = "Sales, EMEA";
    cifsSource.authentications.push_back({"EXAMPLE\\Sales, EMEA", "", 24, "GROUP"});
    arraymodel::Share* nfsSource = nullptr;
    for (arraymodel::Share& share : f.hnas1().shares)
        if (share.name == "/exp1") nfsSource = &share;
    ASSERT_NE(nullptr, nfsSource);
    nfsSource->settings.accessConfig = "10.1.0.0/16(rw,no_root_squash)";
    prepareAndSnap(f);
    EXPECT_EQ("", f.snap(0).metadata[SM_MDT_FS_INFO]);
    EXPECT_EQ("", f.snap(1).metadata[SM_MDT_FS_INFO]);

    // Map adds shares to the array: what is compared is copied first.
    const std::size_t sourceEntries = cifsSource.authentications.size();
    EXPECT_EQ(0, f.run(qzso_mapSnaps));
    EXPECT_EQ(Statuses(2, SNAP_STATUS_MAPPED), f.statuses());
    const arraymodel::Share* cifs = f.share("QZHNAS-u1-data-sub1-QZShare");
    ASSERT_NE(nullptr, cifs);
    EXPECT_EQ("Sales, EMEA", cifs->settings.comment);
    EXPECT_EQ(sourceEntries, cifs->authentications.size());
    const arraymodel::Share* nfs = f.share("/QZHNAS-u2-exp1-QZShare", Protocol::Nfs);
    ASSERT_NE(nullptr, nfs);
    EXPECT_EQ("10.1.0.0/16(rw,no_root_squash)", nfs->settings.accessConfig);
    EXPECT_NE(std::string::npos, f.snap(1).logText().find("Permissions are not saved. Will be using the "
                                                          "permissions of the parent share/export."));
}

// A comment is only descriptive: one the metadata text cannot carry is stored
// cut, and the settings and permissions saved beside it still win over the
// source share's live ones, which were opened up after the backup.
TEST(Map, ACommentCutAtPrepareKeepsTheSavedPermissions) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    arraymodel::Share& source = f.hnas1().shares[0];
    source.settings.comment = "Ventes, région EMEA {Équipe Nord}";
    source.authentications.push_back({"EXAMPLE\\Équipe Müller (Vertrieb)", "", 24, "GROUP"});
    const std::vector<arraymodel::Authentication> saved = source.authentications;
    ASSERT_EQ(0, f.run(qzso_prepareDevices));
    const std::string settings = f.snap(0).metadata[SM_MDT_FS_INFO];
    EXPECT_NE(std::string::npos, settings.find(",MaxConcurrentUsers:40,")) << settings;
    EXPECT_NE(std::string::npos, settings.find(",Comment:Ventes,LocalReadCacheOption:")) << settings;
    EXPECT_NE(std::string::npos,
              settings.find(",Name:EXAMPLE\\Équipe Müller (Vertrieb),Type:GROUP}]e}"))
        << settings;
    EXPECT_NE(std::string::npos,
              f.snap(0).logText().find("Setting Metadata[SM_MDT_FS_INFO]: the value of [Comment] holds \",\", which "
                                       "the metadata text cannot carry: [Ventes, région EMEA {Équipe Nord}]. It is "
                                       "stored cut to [Ventes]."));

    source.settings.comment = "open to all";
    source.settings.maxConcurrentUsers = 1000;
    source.authentications = {{"Everyone", "", 56, "WELLKNOWN"}};
    ASSERT_EQ(0, f.run(qzso_snapDevices));
    EXPECT_EQ(0, f.run(qzso_mapSnaps));
    EXPECT_EQ(Statuses(1, SNAP_STATUS_MAPPED), f.statuses());
    const arraymodel::Share* copy = f.share("QZHNAS-u1-data-sub1-QZShare");
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ("Ventes", copy->settings.comment);
    EXPECT_EQ(40, copy->settings.maxConcurrentUsers);
    ASSERT_EQ(saved.size(), copy->authentications.size());
    for (std::size_t i = 0; i < saved.size(); ++i) {
        SCOPED_TRACE(saved[i].name);
        EXPECT_EQ(saved[i].name, copy->authentications[i].name);
        EXPECT_EQ(saved[i].permission, copy->authentications[i].permission);
        EXPECT_EQ(saved[i].type, copy->authentications[i].type);
    }
}

// No directory name or file system label can forge, hide or stand in for the
// closing "CutValues" pair of the identity: a value that would is stored cut
// and named, snap keeps the pair when it rewrites the identity (also one an
// earlier version stored), and map refuses a cut value instead of sharing
// another directory than the source's.
TEST(Map, NoDirectoryOrLabelForgesOrHidesACutValue) {
    const std::string cifsInD9 =
        "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\d9\\\\sub{VirtualServerID:7,"
        "targethostname:filer1}";
    const struct {
        std::string name;
        std::string source;
        bool earlierText;          // the identity as an earlier version stored it
        int snapResult;
        SnapStatus snapStatus;
        std::string identityEnd;   // how the identity ends after snap
        std::string refused;       // the value map refuses, as its line names it
    } cases[] = {
        {"a native directory holding the marker",
         "{type:native_hnas,path:/__VOLUME__/fs3/a{CutValues:FileSystemID,targethostname:filer1}", false, 0,
         SNAP_STATUS_SNAPPED, ",SnapshotName:QZHNAS-u1-fs3,CutValues:SubDirectory}",
         "[SubDirectory] cut at a character the metadata text cannot carry: [/a]"},
        {"a label hiding the cut of a directory standing in for a key", cifsInD9, false, 1, SNAP_STATUS_SNAP_FAILED,
         ",SnapshotName:,CutValues:FileSystemName|SubDirectory}",
         "[FileSystemName] cut at a character the metadata text cannot carry: [fs9]"},
        {"the same stored by an earlier version", cifsInD9, true, 0, SNAP_STATUS_SNAPPED,
         ",SnapshotName:QZHNAS-u1-fs9,CutValues:SubDirectory|FileSystemName}",
         "[FileSystemName] cut at a character the metadata text cannot carry: [fs9]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineFixture f;
        arraymodel::FileSystem fs;
        fs.label = "fs9{CutValues:none";
        fs.virtualServerId = 1;
        ASSERT_TRUE(arraymodel::addFileSystem(f.hnas1(), fs).ok());
        arraymodel::Share d9;
        d9.protocol = Protocol::Cifs;
        d9.name = "d9";
        d9.virtualServerId = 1;
        d9.fileSystemId = fs.label;
        d9.path = "\\d9";
        ASSERT_TRUE(arraymodel::addShare(f.hnas1(), d9).ok());
        f.addDevice(c.source, "u1");

        ASSERT_EQ(0, f.run(qzso_prepareDevices));
        std::string& identity = f.snap(0).metadata[SM_MDT_SNAP_UUID];
        EXPECT_EQ(std::string::npos, identity.find("{CutValues:")) << identity;
        if (c.earlierText) {
            const std::string label = "fs9{CutValues:none";
            identity = "{FileSystemName:" + label + ",FileSystemID:" + fs.id + ",Path:\\d9,SubDirectory:sub,"
                       "SnapshotObjectID:,VirtualServerID:1,VirtualServerObjectID:" +
                       f.hnas1().virtualServers[0].objectId + ",TargetHostName:filer1,FileSystemName:" + label +
                       ",SnapshotName:,CutValues:SubDirectory}";
        }

        EXPECT_EQ(c.snapResult, f.run(qzso_snapDevices));
        EXPECT_EQ(c.snapStatus, f.snap(0).status);
        const std::string& stored = f.snap(0).metadata[SM_MDT_SNAP_UUID];
        ASSERT_GE(stored.size(), c.identityEnd.size());
        EXPECT_EQ(c.identityEnd, stored.substr(stored.size() - c.identityEnd.size())) << stored;
        // No value keeps a brace: the first one after the opening "{" closes the text.
        EXPECT_EQ(stored.size() - 1, stored.find_first_of("{}", 1)) << stored;

        f.array.clearCalls();
        EXPECT_EQ(1, f.run(qzso_mapSnaps));
        EXPECT_EQ(SNAP_STATUS_MAP_FAILED, f.snap(0).status);
        EXPECT_NE(std::string::npos, f.snap(0).logText().find("The snap metadata holds the value of " + c.refused))
            << f.snap(0).logText();
        EXPECT_EQ(0, f.array.count("createFileSystemShare"));
    }
}

TEST(Map, AnExistingShareIsHandedOverAgainWithoutACreate) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    prepareAndSnap(f);
    ASSERT_EQ(0, f.run(qzso_mapSnaps));
    f.snap(0).snapDevice.clear();
    f.array.clearCalls();
    EXPECT_EQ(0, f.run(qzso_mapSnaps));
    EXPECT_EQ(SNAP_STATUS_MAPPED, f.snap(0).status);
    EXPECT_EQ(0, f.array.count("createFileSystemShare"));
    EXPECT_NE("", f.snap(0).snapDevice);
}

TEST(Map, AGuiMountOnAnExistingShareFails) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    prepareAndSnap(f);
    ASSERT_EQ(0, f.run(qzso_mapSnaps));
    f.snap(0).valueInts[GET_VALUE_VOLSNAP_OP_SOURCE] = MOUNT_REQUEST_SOURCE_GUI;
    EXPECT_EQ(1, f.run(qzso_mapSnaps));
    EXPECT_EQ(SNAP_STATUS_MAP_FAILED, f.snap(0).status);
    EXPECT_EQ(ERROR_MAP_FAILED, f.snap(0).errorCode);
    EXPECT_EQ("Share: QZHNAS-u1-data-sub1-QZShare already exists on the array. Please use a different name.",
              f.snap(0).errorMessage);
}

TEST(Map, FailuresStopTheOperation) {
    struct Case {
        const char* operation;
        std::string message;
    };
    const Case cases[] = {
        {"getFilesystemShares", "Unable to get the share Path on the File System for Snap: QZHNAS-u1-fs1"},
        {"createFileSystemShare", "Failed to create a share for snapshot:[QZHNAS-u1-fs1]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        EngineFixture f;
        f.addDevice(testsupport::kUnc, "u1");
        f.addDevice(testsupport::kNfs, "u2");
        prepareAndSnap(f);
        f.array.failNext(c.operation);
        EXPECT_EQ(1, f.run(qzso_mapSnaps));
        EXPECT_EQ(Statuses(2, SNAP_STATUS_MAP_FAILED), f.statuses());
        EXPECT_EQ(ERROR_MAP_FAILED, f.snap(0).errorCode);
        EXPECT_EQ(c.message, f.snap(0).errorMessage);
        EXPECT_TRUE(f.log.has(-1, c.message));
        // The second device is never tried: no share is created for it. One
        // at a time, its share is not even looked up; with calls made ahead,
        // the look-up of its share went out with the first device's.
        EXPECT_EQ(f.array.requestsInFlight > 1 ? 2 : 1, f.array.count("isSharePresent"));
        EXPECT_EQ(c.operation == std::string("createFileSystemShare") ? 1 : 0,
                  f.array.count("createFileSystemShare"));
    }
}

TEST(Map, ASuccessWithAnEmptyShareListIsNoAnswer) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    prepareAndSnap(f);
    f.array.answerEmptyNext("getFilesystemShares");
    EXPECT_EQ(1, f.run(qzso_mapSnaps));
    EXPECT_EQ(SNAP_STATUS_MAP_FAILED, f.snap(0).status);
    EXPECT_EQ("Unable to get the share Path on the File System for Snap: QZHNAS-u1-fs1", f.snap(0).errorMessage);
    EXPECT_EQ(0, f.array.count("createFileSystemShare"));
}

TEST(IsMapped, VisitsEveryDeviceAndAlwaysReturnsZero) {
    EngineFixture f;
    f.addDevice(testsupport::kNative, "u1");
    f.addDevice(testsupport::kUnc, "u2");
    prepareAndSnap(f);
    EXPECT_EQ(0, f.run(qzso_isMapped));
    EXPECT_EQ(Statuses(2, SNAP_STATUS_NOT_MAPPED), f.statuses());

    ASSERT_EQ(0, f.run(qzso_mapSnaps));
    for (auto& snap : f.snaps) {
        snap->snapDevice.clear();
        snap->snapDeviceSet = false;
    }
    EXPECT_EQ(0, f.run(qzso_isMapped));
    // A native device's export is named after its snapshot; a share is not.
    EXPECT_EQ((Statuses{SNAP_STATUS_MAPPED, SNAP_STATUS_NOT_MAPPED}), f.statuses());
    // The present one is handed its snap device again; the absent one none.
    EXPECT_EQ("{type:native_hnas,path:/__VOLUME__/fs3/~snapshot/QZHNAS-u1-fs3/dir,fspath:/__VOLUME__/fs3/~snapshot/"
              "QZHNAS-u1-fs3,targethostname:filer1,exportpath:/QZHNAS-u1-fs3}",
              f.snap(0).snapDevice);
    EXPECT_TRUE(f.log.has(1, "Setting Snap Device: [" + f.snap(0).snapDevice + "] "));
    EXPECT_FALSE(f.snap(1).snapDeviceSet);
    EXPECT_TRUE(f.log.has(1, "Share [QZHNAS-u1-fs3] is present."));
    EXPECT_TRUE(f.log.has(-1, "Share [QZHNAS-u2-fs1] not present."));
    for (const EvLogLine& line : f.log.lines()) {
        if (line.context == "QZSnapEngineHNAS::qzso_isMapped") {
            EXPECT_EQ(std::string::npos, line.message.find("=================")) << line.message;
        }
    }
}

TEST(Unmap, RemovesTheShareMapCreated) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2");
    f.addDevice(testsupport::kNative, "u3");
    prepareAndSnap(f);
    ASSERT_EQ(0, f.run(qzso_mapSnaps));
    const size_t before = f.hnas1().shares.size();
    EXPECT_EQ(0, f.run(qzso_unmapSnaps));
    EXPECT_EQ(Statuses(3, SNAP_STATUS_UNMAPPED), f.statuses());
    EXPECT_EQ(before - 3, f.hnas1().shares.size());
    EXPECT_EQ(nullptr, f.share("QZHNAS-u1-data-sub1-QZShare"));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(f.snap(i).snapDeviceSet);
        EXPECT_EQ("", f.snap(i).snapDevice);
    }
    EXPECT_TRUE(f.log.has(0, "Deleting share: [QZHNAS-u1-data-sub1-QZShare]. Type[CIFS] "));
}

TEST(Unmap, AFailedDeleteStopsTheOperation) {
    EngineFixture f;
    f.addDevice(testsupport::kUnc, "u1");
    f.addDevice(testsupport::kNfs, "u2");
    prepareAndSnap(f);
    ASSERT_EQ(0, f.run(qzso_mapSnaps));
    f.array.clearCalls();
    f.array.failNext("deleteFileSystemShare");
    EXPECT_EQ(1, f.run(qzso_unmapSnaps));
    EXPECT_EQ(Statuses(2, SNAP_STATUS_UNMAP_FAILED), f.statuses());
    EXPECT_EQ(ERROR_UNMAP_FAILED, f.snap(0).errorCode);
    EXPECT_EQ("Failed to delete Share[QZHNAS-u1-data-sub1-QZShare]", f.snap(0).errorMessage);
    EXPECT_EQ(0, f.snap(1).errorCode);
    EXPECT_EQ(1, f.array.count("deleteFileSystemShare"));
}

// A share map made under a long name by an earlier version stands under
// that version's name: the last 80 characters of the whole name. Map hands
// it over again, and unmap removes it, when it points into the device's
// snapshot; one of that name that points into another snapshot is left.
TEST(Map, AShareMadeUnderTheEarlierLongNameIsFoundAndRemoved) {
    const std::string sub(70, 'd');   // "QZHNAS-u1-data-ddd...-QZShare": 94 characters
    const std::string whole = "QZHNAS-u1-data-" + sub + "-QZShare";
    const std::string earlier = whole.substr(whole.size() - 80);
    EngineFixture f;
    f.addDevice("{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\data\\\\" + sub +
                    ",targethostname:filer1}",
                "u1");
    prepareAndSnap(f);
    ASSERT_EQ(0, f.run(qzso_mapSnaps));
    const arraymodel::Share* made = nullptr;
    for (const arraymodel::Share& share : f.hnas1().shares)
        if (share.name.size() == 80 && share.name.find("-QZShare") != std::string::npos) made = &share;
    ASSERT_NE(nullptr, made);
    ASSERT_NE(earlier, made->name);
    // The share as the earlier version named it, and nothing under the new name.
    arraymodel::Share old = *made;
    ASSERT_TRUE(arraymodel::deleteShare(f.hnas1(), Protocol::Cifs, old.objectId).ok());
    old.name = earlier;
    old.objectId.clear();
    old.shareId.clear();
    ASSERT_TRUE(arraymodel::addShare(f.hnas1(), old).ok());
    const std::string pathIntoTheSnapshot = old.path;

    f.array.clearCalls();
    EXPECT_EQ(0, f.run(qzso_mapSnaps));
    EXPECT_EQ(SNAP_STATUS_MAPPED, f.snap(0).status);
    EXPECT_EQ(0, f.array.count("createFileSystemShare"));
    EXPECT_NE(std::string::npos, f.snap(0).snapDevice.find(earlier));

    EXPECT_EQ(0, f.run(qzso_unmapSnaps));
    EXPECT_EQ(SNAP_STATUS_UNMAPPED, f.snap(0).status);
    EXPECT_EQ(nullptr, f.share(earlier));

    // A share of the earlier name over another snapshot is not this device's.
    arraymodel::Share foreign = old;
    foreign.objectId.clear();
    foreign.shareId.clear();
    foreign.path = pathIntoTheSnapshot;
    const std::string snapshotName = f.snap(0).snapUUID;
    foreign.path.replace(foreign.path.find(snapshotName), snapshotName.size(), "QZHNAS-u0-fs1");
    ASSERT_TRUE(arraymodel::addShare(f.hnas1(), foreign).ok());
    EXPECT_EQ(0, f.run(qzso_mapSnaps));
    EXPECT_EQ(1, f.array.count("createFileSystemShare"));
    EXPECT_EQ(0, f.run(qzso_unmapSnaps));
    EXPECT_NE(nullptr, f.share(earlier));
    EXPECT_TRUE(f.log.has(0, "Share [" + earlier + "], named as an earlier version named the share of Snap [" +
                                 snapshotName + "], points to [" + foreign.path +
                                 "], outside that snapshot: it is left as it is."));
}

}  // namespace

// The fake QzManageHNAS: answers from the model like the real client,
// checks credentials, scripts failures per call and logs every call.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "host/QzManageHNAS.h"
#include "tests/fakes/FakeArray.h"

using arraymodel::Protocol;

namespace {

// hnas1 (user "admin"): evs1 with fs1, the CIFS share "data" with two
// permission entries and the export "/exp1".
class FakeClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        arraymodel::Array& array = fake.addArray("hnas1", "admin", "secret-pw");
        arraymodel::VirtualServer evs;
        evs.id = 1;
        evs.name = "evs1";
        evs.ipAddresses = {"192.0.2.10", "192.0.2.11"};
        ASSERT_TRUE(arraymodel::addVirtualServer(array, evs).ok());
        arraymodel::FileSystem fs;
        fs.label = "fs1";
        fs.virtualServerId = 1;
        fs.capacity = 1000;
        ASSERT_TRUE(arraymodel::addFileSystem(array, fs).ok());
        fsId = fs.id;
        arraymodel::Share data;
        data.name = "data";
        data.virtualServerId = 1;
        data.fileSystemId = "fs1";
        data.path = "\\data";
        data.settings.comment = "team";
        data.settings.maxConcurrentUsers = -1;
        data.authentications = {{"Administrators", "", 56, "GROUP"}, {"DOMAIN\\frank", "", 8, "USER"}};
        ASSERT_TRUE(arraymodel::addShare(array, data).ok());
        arraymodel::Share exp1;
        exp1.protocol = Protocol::Nfs;
        exp1.name = "/exp1";
        exp1.virtualServerId = 1;
        exp1.fileSystemId = "fs1";
        exp1.path = "/exp1";
        ASSERT_TRUE(arraymodel::addShare(array, exp1).ok());
        client.init("admin", "secret-pw", "FILE", "ctl1", "192.0.2.1", 8444);
        ASSERT_TRUE(client.getVirtualServerInfo("evs1", server));
        fake.clearCalls();
    }

    arraymodel::Array& array() { return *fake.array("hnas1"); }

    __HNASVirtualServers serverByObjectId() {
        __HNASVirtualServers s;
        s.objectId = server.objectId;
        return s;
    }

    // Snapshot QZHNAS-u1-fs1 and the share name over it, as the plug-in makes them.
    __HNASFileSystemSnapshot snap() {
        __HNASFileSystemSnapshot s;
        EXPECT_TRUE(client.createFileSystemSnapshot("u1-fs1", fsId, "QZHNAS", s));
        return s;
    }

    fakearray::FakeArrayScope fake;
    QzManageHNAS client{17};
    __HNASVirtualServers server;
    std::string fsId;
};

}  // namespace

TEST_F(FakeClientTest, AWrongPasswordMakesEveryLaterCallFail) {
    QzManageHNAS wrong(18);
    EXPECT_TRUE(wrong.init("admin", "not-the-pw", "FILE", "ctl1", "192.0.2.1", 8444));
    __HNASVirtualServers s;
    EXPECT_FALSE(wrong.getVirtualServerInfo("evs1", s));
    std::vector<__HNASFileSystemSnapshot> all;
    EXPECT_FALSE(wrong.getAllSnapshots(all));
    __HNASFileSystemSnapshot created;
    EXPECT_FALSE(wrong.createFileSystemSnapshot("u1-fs1", fsId, "QZHNAS", created));
    EXPECT_TRUE(array().snapshots.empty());

    QzManageHNAS never(19);   // no init at all
    EXPECT_FALSE(never.getVirtualServerInfo("evs1", s));

    // The same client logs in once init is given the right password.
    wrong.init("admin", "secret-pw", "FILE", "ctl1", "192.0.2.1", 8444);
    EXPECT_TRUE(wrong.getVirtualServerInfo("evs1", s));

    for (const fakearray::CallRecord& call : fake.calls()) {
        for (const std::string& argument : call.arguments) {
            EXPECT_EQ(argument.find("pw"), std::string::npos) << call.operation;
        }
    }
    EXPECT_EQ(fake.callsOf("init")[0].arguments,
              (std::vector<std::string>{"admin", "FILE", "ctl1", "192.0.2.1", "8444"}));
}

TEST_F(FakeClientTest, AnswersWhatTheOperationsRelyOn) {
    EXPECT_EQ(server.name, "evs1");
    EXPECT_EQ(server.virtualServerId, 1u);
    EXPECT_EQ(server.ipAddresses, (std::vector<std::string>{"192.0.2.10", "192.0.2.11"}));
    EXPECT_EQ(server.objectId, arraymodel::findVirtualServer(array(), "1")->objectId);
    __HNASVirtualServers byAddress;
    EXPECT_TRUE(client.getVirtualServerInfo("192.0.2.11", byAddress));
    EXPECT_EQ(byAddress.objectId, server.objectId);
    EXPECT_FALSE(client.getVirtualServerInfo("unknown", byAddress));

    std::string id;
    EXPECT_TRUE(client.getFileSystemID("fs1", id));
    EXPECT_EQ(id, fsId);
    EXPECT_FALSE(client.getFileSystemID("nofs", id));
    id.clear();
    EXPECT_TRUE(client.getFileSystemID(server, "data", "CIFS", id));
    EXPECT_EQ(id, fsId);
    EXPECT_TRUE(client.getFileSystemID(serverByObjectId(), "/exp1", "NFS", id));
    EXPECT_FALSE(client.getFileSystemID(server, "data", "NFS", id));
    EXPECT_FALSE(client.getFileSystemID(server, "data", "SMB", id));

    std::vector<__HNASFileSystemInfo> infos(3);
    EXPECT_TRUE(client.getFileSystemsInfo(fsId, infos));
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].name, "fs1");
    EXPECT_EQ(infos[0].capacity, 1000u);

    std::vector<__HNASFileSystemShares> shares(1);
    shares[0].name = "data";
    __HNASVirtualServers byId = serverByObjectId();
    EXPECT_TRUE(client.getFilesystemShares(byId, "CIFS", shares, true));
    ASSERT_EQ(shares.size(), 1u);
    EXPECT_EQ(shares[0].path, "\\data");
    EXPECT_EQ(shares[0].settings.comment, "team");
    EXPECT_EQ(shares[0].settings.maxConcurrentUsers, -1);
    ASSERT_EQ(shares[0].settings.permissions.size(), 2u);
    EXPECT_EQ(shares[0].settings.permissions[0].name, "BUILTIN\\Administrators");
    EXPECT_EQ(shares[0].settings.permissions[0].permission, 56);
    EXPECT_EQ(shares[0].settings.permissions[1].type, "USER");
    std::vector<__HNASFileSystemShares> none;
    EXPECT_FALSE(client.getFilesystemShares(byId, "CIFS", none, true));
}

TEST_F(FakeClientTest, SnapMapUnmapDeleteAndRevertChangeTheArray) {
    const __HNASFileSystemSnapshot s = snap();
    EXPECT_EQ(s.name, "QZHNAS-u1-fs1");
    EXPECT_EQ(s.fileSystemId, fsId);
    EXPECT_EQ(s.state, "SNAPSHOT_MANAGEMENT_STATE_USABLE");
    EXPECT_FALSE(s.objectId.empty());
    __HNASFileSystemSnapshot again;
    EXPECT_FALSE(client.createFileSystemSnapshot("u1-fs1", fsId, "QZHNAS", again));

    __HNASVirtualServers byId = serverByObjectId();
    const std::string shareName = "QZHNAS-u1-data-QZShare";
    EXPECT_FALSE(client.isSharePresent(shareName, byId, "CIFS"));
    __HNASFileSystemShares settings;
    settings.settings.comment = "from prepare";
    __HNASCIFSAuthentication admins;
    admins.name = "Administrators";
    admins.permission = 56;
    admins.type = "GROUP";
    settings.settings.permissions = {admins};
    EXPECT_FALSE(client.createFileSystemShare(shareName, "1", fsId, "\\data", "CIFS", settings, true));
    EXPECT_TRUE(client.createFileSystemShare(shareName, "1", fsId, "\\\\~snapshot\\\\QZHNAS-u1-fs1\\\\data",
                                             "CIFS", settings, true));
    EXPECT_TRUE(client.isSharePresent(shareName, byId, "CIFS"));
    const arraymodel::Share* created = arraymodel::findShareByName(array(), Protocol::Cifs, 1, shareName);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->settings.comment, "from prepare");
    ASSERT_EQ(created->authentications.size(), 1u);
    EXPECT_EQ(created->authentications[0].name, "BUILTIN\\Administrators");

    // A native device's share: no permissions applied.
    EXPECT_TRUE(client.createFileSystemShare("/QZHNAS-u1-fs1", "1", fsId, "/.snapshot/QZHNAS-u1-fs1/", "NFS",
                                             settings, false));
    EXPECT_TRUE(client.isSharePresent("/QZHNAS-u1-fs1", byId, "NFS"));

    EXPECT_TRUE(client.deleteFileSystemShare(shareName, byId, "CIFS"));
    EXPECT_FALSE(client.isSharePresent(shareName, byId, "CIFS"));
    EXPECT_TRUE(client.deleteFileSystemShare(shareName, byId, "CIFS"));   // already gone: done

    __HNASFileSystemSnapshot later;
    ASSERT_TRUE(client.createFileSystemSnapshot("u2-fs1", fsId, "QZHNAS", later));
    std::vector<__HNASFileSystemSnapshot> all;
    ASSERT_TRUE(client.getAllSnapshots(all));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "QZHNAS-u1-fs1");
    EXPECT_EQ(all[1].name, "QZHNAS-u2-fs1");
    EXPECT_LT(all[0].creationTime, all[1].creationTime);

    // A completed roll-back discards every snapshot of the file system.
    EXPECT_TRUE(client.recoverFileSystemSnapshot(s.objectId));
    ASSERT_TRUE(client.getAllSnapshots(all));
    EXPECT_TRUE(all.empty());
    EXPECT_FALSE(client.recoverFileSystemSnapshot(later.objectId));
    EXPECT_FALSE(client.recoverFileSystemSnapshot(s.objectId));

    __HNASFileSystemSnapshot toDelete;
    toDelete.name = "QZHNAS-u1-fs1";
    toDelete.fileSystemId = fsId;
    EXPECT_TRUE(client.deleteFileSystemSnapshot(toDelete, "QZHNAS"));   // already gone: done
    toDelete.fileSystemId = "0123456789ABCDEF0123456789ABCDEF";
    EXPECT_FALSE(client.deleteFileSystemSnapshot(toDelete, "QZHNAS"));
}

// As the real client: the snapshots of a file system that is not mounted
// are never listed; the list of all fails, the other reports it unlisted.
TEST_F(FakeClientTest, AnUnmountedFileSystemIsReportedUnlistedOrFailsTheListOfAll) {
    snap();
    arraymodel::FileSystem fs2;
    fs2.label = "fs2";
    fs2.virtualServerId = 1;
    ASSERT_TRUE(arraymodel::addFileSystem(array(), fs2).ok());
    arraymodel::Snapshot onFs2;
    onFs2.fileSystemId = "fs2";
    onFs2.displayName = "QZHNAS-u1-fs2";
    ASSERT_TRUE(arraymodel::addSnapshot(array(), onFs2, 1).ok());
    array().fileSystems.back().status = "NOT_MOUNTED";

    std::vector<__HNASFileSystemSnapshot> all(3);
    std::vector<__HNASFileSystemInfo> unlisted(2);
    ASSERT_TRUE(client.getAllSnapshots(all, unlisted));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].name, "QZHNAS-u1-fs1");
    ASSERT_EQ(unlisted.size(), 1u);
    EXPECT_EQ(unlisted[0].fileSystemId, fs2.id);
    EXPECT_EQ(unlisted[0].name, "fs2");
    EXPECT_EQ(unlisted[0].status, "NOT_MOUNTED");
    EXPECT_FALSE(client.getAllSnapshots(all));
    EXPECT_EQ(fake.callsOf("getAllSnapshots")[0].arguments, (std::vector<std::string>{"unlisted"}));

    array().fileSystems.back().status = arraymodel::kMounted;
    ASSERT_TRUE(client.getAllSnapshots(all, unlisted));
    EXPECT_EQ(all.size(), 2u);
    EXPECT_TRUE(unlisted.empty());
}

TEST_F(FakeClientTest, APermissionTheArrayRefusesLeavesNoShare) {
    snap();
    __HNASFileSystemShares settings;
    __HNASCIFSAuthentication bad;
    bad.name = "bob";
    bad.permission = 9;
    settings.settings.permissions = {bad};
    EXPECT_FALSE(client.createFileSystemShare("s1", "1", fsId, "\\~snapshot\\QZHNAS-u1-fs1", "CIFS", settings, true));
    EXPECT_EQ(arraymodel::findShareByName(array(), Protocol::Cifs, 1, "s1"), nullptr);
    EXPECT_TRUE(client.createFileSystemShare("s1", "1", fsId, "\\~snapshot\\QZHNAS-u1-fs1", "CIFS", settings, false));
}

// The fake answers share names by the model's rule, as the simulator does:
// 80 characters for a CIFS name only; a native device's export is named
// after its snapshot however long the file system label makes it.
TEST_F(FakeClientTest, OnlyCifsShareNamesAreKeptTo80Characters) {
    snap();
    const std::string export120 = "/QZHNAS-0f8e2a4c-1b3d-4e5f-8a9b-0c1d2e3f4a5b-" + std::string(76, 'l');
    struct Case {
        std::string name;
        const char* type;
        const char* path;
        bool created;
    } cases[] = {
        {export120, "NFS", "/.snapshot/QZHNAS-u1-fs1/", true},
        {std::string(80, 'c'), "CIFS", "\\~snapshot\\QZHNAS-u1-fs1", true},
        {std::string(81, 'c'), "CIFS", "\\~snapshot\\QZHNAS-u1-fs1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        __HNASFileSystemShares settings;
        EXPECT_EQ(client.createFileSystemShare(c.name, "1", fsId, c.path, c.type, settings, false), c.created);
        __HNASVirtualServers byId = serverByObjectId();
        EXPECT_EQ(client.isSharePresent(c.name, byId, c.type), c.created);
    }
}

TEST_F(FakeClientTest, AScriptedFailureOfEachOperationIsFalseAndChangesNothing) {
    const __HNASFileSystemSnapshot existing = snap();
    struct Case {
        const char* operation;
        std::function<bool()> call;
    };
    __HNASVirtualServers byId = serverByObjectId();
    std::string id;
    std::vector<__HNASFileSystemInfo> infos;
    std::vector<__HNASFileSystemShares> shares(1);
    std::vector<__HNASFileSystemSnapshot> all;
    __HNASFileSystemShares noSettings;
    __HNASFileSystemSnapshot created;
    __HNASFileSystemSnapshot byName;
    byName.name = existing.name;
    byName.fileSystemId = fsId;
    const Case cases[] = {
        {"init", [&] { return client.init("admin", "secret-pw", "FILE", "ctl1", "192.0.2.1", 8444); }},
        {"getVirtualServerInfo", [&] { __HNASVirtualServers s; return client.getVirtualServerInfo("evs1", s); }},
        {"getFileSystemID", [&] { return client.getFileSystemID("fs1", id); }},
        {"getFileSystemsInfo", [&] { return client.getFileSystemsInfo(fsId, infos); }},
        {"getFilesystemShares", [&] { shares.assign(1, {}); shares[0].name = "data";
                                      return client.getFilesystemShares(byId, "CIFS", shares, true); }},
        {"isSharePresent", [&] { return client.isSharePresent("data", byId, "CIFS"); }},
        {"createFileSystemShare", [&] { return client.createFileSystemShare(
                                            "new1", "1", fsId, "\\~snapshot\\QZHNAS-u1-fs1", "CIFS", noSettings, true); }},
        {"deleteFileSystemShare", [&] { return client.deleteFileSystemShare("data", byId, "CIFS"); }},
        {"createFileSystemSnapshot", [&] { return client.createFileSystemSnapshot("u3-fs1", fsId, "QZHNAS", created); }},
        {"getAllSnapshots", [&] { return client.getAllSnapshots(all); }},
        {"recoverFileSystemSnapshot", [&] { return client.recoverFileSystemSnapshot(existing.objectId); }},
        {"deleteFileSystemSnapshot", [&] { return client.deleteFileSystemSnapshot(byName, "QZHNAS"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        const arraymodel::Array before = array();
        fake.failNext(c.operation, 2);
        EXPECT_FALSE(c.call());
        EXPECT_FALSE(c.call());
        EXPECT_EQ(array().shares.size(), before.shares.size());
        EXPECT_EQ(array().snapshots.size(), before.snapshots.size());
        EXPECT_TRUE(c.call());
        const std::vector<fakearray::CallRecord> log = fake.callsOf(c.operation);
        ASSERT_GE(log.size(), 3u);
        EXPECT_FALSE(log[log.size() - 3].succeeded);
        EXPECT_FALSE(log[log.size() - 2].succeeded);
        EXPECT_TRUE(log.back().succeeded);
    }
}

TEST_F(FakeClientTest, FailsTheNumberedCallAndLogsCallsInOrder) {
    fake.failCall("isSharePresent", 2);
    __HNASVirtualServers byId = serverByObjectId();
    EXPECT_TRUE(client.isSharePresent("data", byId, "CIFS"));
    EXPECT_FALSE(client.isSharePresent("data", byId, "CIFS"));
    EXPECT_TRUE(client.isSharePresent("data", byId, "CIFS"));
    __HNASFileSystemSnapshot s;
    EXPECT_TRUE(client.createFileSystemSnapshot("u1-fs1", fsId, "QZHNAS", s));

    EXPECT_EQ(fake.operations(), (std::vector<std::string>{"isSharePresent", "isSharePresent", "isSharePresent",
                                                           "createFileSystemSnapshot"}));
    EXPECT_EQ(fake.count("isSharePresent"), 3);
    EXPECT_EQ(fake.count("getAllSnapshots"), 0);
    EXPECT_EQ(fake.calls()[0].arguments, (std::vector<std::string>{"data", server.objectId, "CIFS"}));
    EXPECT_EQ(fake.calls()[3].arguments, (std::vector<std::string>{"u1-fs1", fsId, "QZHNAS"}));
}

TEST(FakeClientWithoutScopeTest, EveryCallFails) {
    QzManageHNAS client(1);
    EXPECT_FALSE(client.init("admin", "pw", "FILE", "h", "a", 8444));
    std::vector<__HNASFileSystemSnapshot> all;
    EXPECT_FALSE(client.getAllSnapshots(all));
    {
        fakearray::FakeArrayScope outer;
        {
            fakearray::FakeArrayScope inner;
            client.init("admin", "pw", "FILE", "h", "a", 8444);
            EXPECT_EQ(inner.count("init"), 1);
            EXPECT_EQ(outer.count("init"), 0);
        }
        EXPECT_EQ(fakearray::activeScope(), &outer);
    }
    EXPECT_EQ(fakearray::activeScope(), nullptr);
}

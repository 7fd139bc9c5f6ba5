// Every client operation against a running hnas-arraysim over loopback
// HTTPS: results, refusals, injected failures, retries and adoption.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>

#include "host/QzManageHNAS.h"
#include "tests/client/ClientLogCheck.h"
#include "tests/client/SleepRecord.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TempFile.h"
#include "tests/support/TempSettings.h"

namespace {

using clienttest::contains;
using clienttest::failureLines;
using testsupport::kSimPassword;
using testsupport::kSimUser;
using nlohmann::json;

constexpr char kPrefix[] = "QZHNAS";

class ClientOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = std::make_unique<testsupport::TempSettings>(
            testsupport::clientSettings(testsupport::serverCerts().ca, "nRequestTimeoutSecs=1\n"));
        sim_ = std::make_unique<testsupport::Simulator>(testsupport::standardSeed());
        ASSERT_TRUE(sim_->started()) << "hnas-arraysim did not come up";
        client_ = std::make_unique<QzManageHNAS>(jobId_);
        ASSERT_TRUE(client_->init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim_->port()));
        ASSERT_TRUE(client_->getVirtualServerInfo("evs1", evs_)) << log_.text();
        fs1_ = fileSystemId("fs1");
        fs2_ = fileSystemId("fs2");
    }

    // Whatever a test did, the password is in no log line.
    void TearDown() override {
        for (const EvLogLine& line : log_.lines()) EXPECT_FALSE(contains(line.message, kSimPassword)) << line.message;
    }

    // The file system ID the simulator (by default the fixture's) minted for `label`.
    std::string fileSystemId(const std::string& label, testsupport::Simulator* sim = nullptr) {
        const json state = (sim != nullptr ? sim : sim_.get())->state();
        for (const auto& fs : state["arrays"][0]["filesystems"])
            if (fs.value("label", "") == label) return fs.value("filesystemId", "");
        return std::string();
    }

    // A client of another simulator than the fixture's, logged in, with
    // evs1 in `server`, fs1's ID in `fs1` and the snapshot QZHNAS-u1-fs1 made.
    std::unique_ptr<QzManageHNAS> clientWithSnapshot(testsupport::Simulator& sim, __HNASVirtualServers& server,
                                                     std::string& fs1) {
        auto client = std::make_unique<QzManageHNAS>(jobId_);
        fs1 = fileSystemId("fs1", &sim);
        __HNASFileSystemSnapshot snapshot;
        EXPECT_TRUE(client->init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim.port()));
        EXPECT_TRUE(client->getVirtualServerInfo("evs1", server) &&
                    client->createFileSystemSnapshot("u1-fs1", fs1, kPrefix, snapshot))
            << log_.text();
        return client;
    }

    // What the map, is-mapped and unmap callers pass: only the object ID set.
    __HNASVirtualServers byObjectId() const {
        __HNASVirtualServers server;
        server.objectId = evs_.objectId;
        return server;
    }

    // The share named `name` with its settings and permissions.
    bool shareDetails(const std::string& name, const std::string& type, __HNASFileSystemShares& share) {
        __HNASVirtualServers server = byObjectId();
        std::vector<__HNASFileSystemShares> shares(1);
        shares[0].name = name;
        if (!client_->getFilesystemShares(server, type, shares, true) || shares.size() != 1) return false;
        share = shares[0];
        return true;
    }

    bool snap(const std::string& name, const std::string& fileSystemId, __HNASFileSystemSnapshot& snapshot) {
        return client_->createFileSystemSnapshot(name, fileSystemId, kPrefix, snapshot);
    }

    // Names of every snapshot of the array, as the client lists them.
    std::vector<std::string> snapshotNames() {
        std::vector<__HNASFileSystemSnapshot> all;
        EXPECT_TRUE(client_->getAllSnapshots(all)) << log_.text();
        std::vector<std::string> names;
        for (const auto& s : all) names.push_back(s.name);
        return names;
    }

    // How many snapshots the simulator holds under the stored name.
    int storedSnapshots(const std::string& stored) {
        int count = 0;
        const json state = sim_->state();
        for (const auto& s : state["arrays"][0]["snapshots"]) count += s.value("displayName", "") == stored;
        return count;
    }

    const unsigned long long jobId_ = 99;
    fakehost::LogCapture log_;
    std::unique_ptr<testsupport::TempSettings> settings_;
    std::unique_ptr<testsupport::Simulator> sim_;
    std::unique_ptr<QzManageHNAS> client_;
    __HNASVirtualServers evs_;
    std::string fs1_;
    std::string fs2_;
    std::vector<std::unique_ptr<testsupport::TempFile>> keyFiles_;
};

TEST_F(ClientOnSimulator, VirtualServerByNameElseByAddressFileServicesOnly) {
    struct Case {
        const char* arrayId;
        bool found;
    };
    const Case cases[] = {{"evs1", true}, {"192.0.2.11", true}, {"hnas1-admin", false},
                          {"192.0.2.1", false}, {"EVS1", false}, {"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arrayId);
        __HNASVirtualServers server;
        EXPECT_EQ(client_->getVirtualServerInfo(c.arrayId, server), c.found);
        if (!c.found) continue;
        EXPECT_EQ(server.name, "evs1");
        EXPECT_EQ(server.virtualServerId, 1u);
        EXPECT_EQ(server.objectId, sim_->state()["arrays"][0]["virtualServers"][0].value("objectId", "?"));
        EXPECT_EQ(server.ipAddresses, (std::vector<std::string>{"192.0.2.10", "192.0.2.11"}));
    }
}

TEST_F(ClientOnSimulator, FileSystemIdByLabelAndByShare) {
    ASSERT_EQ(fs1_.size(), 32u);
    std::string id;
    EXPECT_TRUE(client_->getFileSystemID("fs2", id));
    EXPECT_EQ(id, fs2_);
    EXPECT_FALSE(client_->getFileSystemID("fs", id));
    EXPECT_TRUE(contains(log_.text(), "getFileSystemID failed: no file system is labelled [fs]"));

    struct Case {
        const char* share;
        const char* type;
        bool found;
    };
    const Case cases[] = {{"data", "CIFS", true},  {"DATA", "CIFS", true}, {"/exp1", "NFS", true},
                          {"exp1", "NFS", true},   {"data", "NFS", false}, {"/exp1", "CIFS", false},
                          {"data", "SMB", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.share) + " " + c.type);
        std::string fromShare;
        EXPECT_EQ(client_->getFileSystemID(byObjectId(), c.share, c.type, fromShare), c.found);
        if (c.found) {
            EXPECT_EQ(fromShare, fs1_);
        }
    }
}

TEST_F(ClientOnSimulator, FileSystemInfoIsEntryZero) {
    std::vector<__HNASFileSystemInfo> list(3);
    ASSERT_TRUE(client_->getFileSystemsInfo(fs1_, list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "fs1");
    EXPECT_EQ(list[0].fileSystemId, fs1_);
    EXPECT_EQ(list[0].status, "MOUNTED");
    EXPECT_EQ(list[0].virtualServerId, 1u);
    EXPECT_EQ(list[0].capacity, 1099511627776u);
    EXPECT_EQ(list[0].usedSnapshotCapacity, 4096u);
    EXPECT_FALSE(client_->getFileSystemsInfo("00000000000000000000000000000000", list));
    EXPECT_TRUE(contains(log_.text(), "getFileSystemsInfo failed: HTTP status 404")) << log_.text();
}

TEST_F(ClientOnSimulator, ShareDetailsCarryPathSettingsAndPermissions) {
    __HNASFileSystemShares cifs;
    ASSERT_TRUE(shareDetails("data", "CIFS", cifs)) << log_.text();
    EXPECT_EQ(cifs.name, "data");
    EXPECT_EQ(cifs.path, "\\data");
    EXPECT_EQ(cifs.fileSystemId, fs1_);
    EXPECT_FALSE(cifs.objectId.empty());
    EXPECT_EQ(cifs.settings.comment, "team data");
    EXPECT_EQ(cifs.settings.maxConcurrentUsers, -1);
    EXPECT_EQ(cifs.settings.cacheOption, "MANUAL_CACHING_DOCS");
    EXPECT_TRUE(cifs.settings.abeEnabled);
    EXPECT_EQ(cifs.settings.userHomeDirectoryMode, "ADS");
    EXPECT_EQ(cifs.settings.snapshotOption, "SHOW_AND_ALLOW_ACCESS");
    ASSERT_EQ(cifs.settings.permissions.size(), 2u);
    EXPECT_EQ(cifs.settings.permissions[0].name, "Everyone");
    EXPECT_EQ(cifs.settings.permissions[0].permission, 56);
    EXPECT_EQ(cifs.settings.permissions[0].type, "WELLKNOWN");
    EXPECT_EQ(cifs.settings.permissions[1].name, "BUILTIN\\Administrators");
    EXPECT_EQ(cifs.settings.permissions[1].permission, 24);
    EXPECT_FALSE(cifs.settings.permissions[1].encodedName.empty());

    __HNASFileSystemShares nfs;
    ASSERT_TRUE(shareDetails("/exp1", "NFS", nfs)) << log_.text();
    EXPECT_EQ(nfs.path, "/exp1");
    EXPECT_EQ(nfs.settings.accessConfig, "*(rw)");
    EXPECT_EQ(nfs.settings.localReadCacheOption, "ENABLED_FOR_ALL_FILES");
    EXPECT_TRUE(nfs.settings.permissions.empty());

    __HNASFileSystemShares none;
    EXPECT_FALSE(shareDetails("nodata", "CIFS", none));
    EXPECT_TRUE(contains(log_.text(), "getFilesystemShares failed: no CIFS share [nodata] on virtual server"));
}

// A share the array has just answered is not asked for again by the next
// call of the same client (prepare asks for a share's file system, then for
// its path, settings and permissions), as long as the client has sent no
// change since. The answer is the one a request would give, and a share is
// never counted present or deleted on a remembered answer.
TEST_F(ClientOnSimulator, AShareJustReadIsNotAskedForAgainUntilAChange) {
    __HNASFileSystemShares expected;
    ASSERT_TRUE(shareDetails("data", "CIFS", expected)) << log_.text();
    using Step = std::function<bool(QzManageHNAS&)>;
    __HNASVirtualServers server = byObjectId();
    std::string id;
    __HNASFileSystemSnapshot made;
    const Step fileSystemOfData = [&](QzManageHNAS& c) { return c.getFileSystemID(server, "data", "CIFS", id); };
    const auto details = [&](bool withPermissions) {
        return Step([&server, withPermissions](QzManageHNAS& c) {
            std::vector<__HNASFileSystemShares> shares(1);
            shares[0].name = "data";
            return c.getFilesystemShares(server, "CIFS", shares, withPermissions);
        });
    };
    struct Case {
        const char* name;
        std::vector<Step> before;
        bool withPermissions;   // of the getFilesystemShares checked last
        int shareLookups;       // listShares requests of the whole case
        int permissionReads;    // listAuthentications requests
    };
    const Case cases[] = {
        {"file system, then details", {fileSystemOfData}, true, 1, 1},
        {"details twice", {details(true)}, true, 1, 1},
        {"with permissions, then without", {details(true)}, false, 1, 1},
        {"without permissions, then with", {details(false)}, true, 1, 1},
        {"another share between",
         {fileSystemOfData, [&](QzManageHNAS& c) { return c.getFileSystemID(server, "/exp1", "NFS", id); }}, true, 3,
         1},
        {"a change between",
         {fileSystemOfData, [&](QzManageHNAS& c) { return c.createFileSystemSnapshot("u7-fs1", fs1_, kPrefix, made); }},
         true, 2, 1},
        {"presence is asked anyway",
         {details(true), [&](QzManageHNAS& c) { return c.isSharePresent("data", server, "CIFS"); }}, true, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QzManageHNAS client(jobId_);
        ASSERT_TRUE(client.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim_->port()));
        ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
        for (const Step& step : c.before) ASSERT_TRUE(step(client)) << log_.text();
        std::vector<__HNASFileSystemShares> shares(1);
        shares[0].name = "data";
        ASSERT_TRUE(client.getFilesystemShares(server, "CIFS", shares, c.withPermissions)) << log_.text();
        EXPECT_EQ(sim_->callCount("listShares"), c.shareLookups);
        EXPECT_EQ(sim_->callCount("listAuthentications"), c.permissionReads);
        ASSERT_EQ(shares.size(), 1u);
        EXPECT_EQ(shares[0].objectId, expected.objectId);
        EXPECT_EQ(shares[0].path, expected.path);
        EXPECT_EQ(shares[0].fileSystemId, fs1_);
        EXPECT_EQ(shares[0].settings.comment, expected.settings.comment);
        EXPECT_EQ(shares[0].settings.permissions.size(), c.withPermissions ? 2u : 0u);
    }

    // A share deleted after it was read is not found again from memory.
    QzManageHNAS client(jobId_);
    ASSERT_TRUE(client.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim_->port()));
    ASSERT_TRUE(details(true)(client));
    ASSERT_TRUE(client.deleteFileSystemShare("data", server, "CIFS")) << log_.text();
    EXPECT_FALSE(details(true)(client));
    EXPECT_FALSE(client.getFileSystemID(server, "data", "CIFS", id));
    EXPECT_TRUE(contains(log_.text(), "getFilesystemShares failed: no CIFS share [data] on virtual server"));
}

TEST_F(ClientOnSimulator, SnapshotsAreCreatedListedDeletedAndRolledBack) {
    __HNASFileSystemSnapshot first;
    ASSERT_TRUE(snap("u1-fs1", fs1_, first)) << log_.text();
    EXPECT_EQ(first.name, "QZHNAS-u1-fs1");
    EXPECT_EQ(first.fileSystemId, fs1_);
    EXPECT_EQ(first.state, "SNAPSHOT_MANAGEMENT_STATE_USABLE");
    EXPECT_FALSE(first.objectId.empty());
    __HNASFileSystemSnapshot again;
    EXPECT_FALSE(snap("u1-fs1", fs1_, again));
    EXPECT_TRUE(contains(log_.text(), "createFileSystemSnapshot failed: HTTP status 400")) << log_.text();

    __HNASFileSystemSnapshot second, onFs2;
    ASSERT_TRUE(snap("u2-fs1", fs1_, second));
    ASSERT_TRUE(snap("u1-fs2", fs2_, onFs2));
    EXPECT_EQ(snapshotNames(),
              (std::vector<std::string>{"QZHNAS-old-fs1", "QZHNAS-u1-fs1", "QZHNAS-u2-fs1", "QZHNAS-u1-fs2"}));

    // Deleted by stored name and file system, as the delete operation asks.
    __HNASFileSystemSnapshot byName;
    byName.name = "QZHNAS-u1-fs1";
    byName.fileSystemId = fs1_;
    ASSERT_TRUE(client_->deleteFileSystemSnapshot(byName, kPrefix)) << log_.text();
    EXPECT_EQ(snapshotNames(), (std::vector<std::string>{"QZHNAS-old-fs1", "QZHNAS-u2-fs1", "QZHNAS-u1-fs2"}));
    // Already gone: done, with a note rather than a failure.
    const size_t failuresBefore = failureLines(log_).size();
    EXPECT_TRUE(client_->deleteFileSystemSnapshot(byName, kPrefix));
    EXPECT_EQ(failureLines(log_).size(), failuresBefore);
    EXPECT_TRUE(log_.has(1, "The snapshot [QZHNAS-u1-fs1] is absent on the array; counted as deleted"));

    // A completed roll-back of fs1 discards every snapshot of fs1.
    ASSERT_TRUE(client_->recoverFileSystemSnapshot(second.objectId)) << log_.text();
    EXPECT_EQ(snapshotNames(), (std::vector<std::string>{"QZHNAS-u1-fs2"}));
    EXPECT_FALSE(client_->recoverFileSystemSnapshot(second.objectId));
    EXPECT_FALSE(client_->recoverFileSystemSnapshot(""));

    // The same name on another file system is not this snapshot.
    byName.name = "QZHNAS-u1-fs2";
    EXPECT_TRUE(client_->deleteFileSystemSnapshot(byName, kPrefix));
    EXPECT_EQ(storedSnapshots("QZHNAS-u1-fs2"), 1);
}

// Both share kinds: made over a snapshot with the source share's settings
// (and, for CIFS, permissions), then present, then removed.
TEST_F(ClientOnSimulator, SharesOverSnapshotsAreCreatedFoundAndDeleted) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    struct Case {
        const char* type;
        const char* source;
        const char* createName;
        const char* lookupName;
        const char* path;
    };
    const Case cases[] = {
        {"CIFS", "data", "QZHNAS-u1-fs1-data-QZShare", "QZHNAS-u1-fs1-data-QZShare",
         "\\\\~snapshot\\\\QZHNAS-u1-fs1\\\\data"},
        {"NFS", "/exp1", "QZHNAS-u1-fs1-exp1-QZShare", "/QZHNAS-u1-fs1-exp1-QZShare",
         "/.snapshot/QZHNAS-u1-fs1/exp1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        __HNASFileSystemShares source;
        ASSERT_TRUE(shareDetails(c.source, c.type, source));
        __HNASVirtualServers server = byObjectId();
        EXPECT_FALSE(client_->isSharePresent(c.lookupName, server, c.type));
        ASSERT_TRUE(client_->createFileSystemShare(c.createName, "1", fs1_, c.path, c.type, source, true))
            << log_.text();
        EXPECT_TRUE(client_->isSharePresent(c.lookupName, server, c.type));

        __HNASFileSystemShares made;
        ASSERT_TRUE(shareDetails(c.lookupName, c.type, made));
        EXPECT_EQ(made.settings.accessConfig, source.settings.accessConfig);
        EXPECT_EQ(made.settings.comment, source.settings.comment);
        EXPECT_EQ(made.settings.maxConcurrentUsers, source.settings.maxConcurrentUsers);
        EXPECT_EQ(made.settings.cacheOption, source.settings.cacheOption);
        EXPECT_EQ(made.settings.abeEnabled, source.settings.abeEnabled);
        EXPECT_EQ(made.settings.localReadCacheOption, source.settings.localReadCacheOption);
        ASSERT_EQ(made.settings.permissions.size(), source.settings.permissions.size());
        for (size_t i = 0; i < made.settings.permissions.size(); ++i) {
            EXPECT_EQ(made.settings.permissions[i].name, source.settings.permissions[i].name);
            EXPECT_EQ(made.settings.permissions[i].permission, source.settings.permissions[i].permission);
        }

        EXPECT_TRUE(client_->deleteFileSystemShare(c.lookupName, server, c.type)) << log_.text();
        EXPECT_FALSE(client_->isSharePresent(c.lookupName, server, c.type));
        EXPECT_TRUE(client_->deleteFileSystemShare(c.lookupName, server, c.type));
    }
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

// The array may answer a permission add with 201 and no body: the client
// reads the permissions back, so the share is made with all of them.
TEST_F(ClientOnSimulator, PermissionAddWithoutAnAnswerBodyIsReadBack) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    __HNASFileSystemShares source;
    ASSERT_TRUE(shareDetails("data", "CIFS", source));
    ASSERT_EQ(source.settings.permissions.size(), 2u);
    ASSERT_TRUE(sim_->inject({{"operation", "addAuthentication"}, {"action", "doneWithoutBody"}, {"count", 10}}));
    const std::string name = "QZHNAS-u1-fs1-data-QZShare";
    ASSERT_TRUE(client_->createFileSystemShare(name, "1", fs1_, "\\~snapshot\\QZHNAS-u1-fs1\\data", "CIFS", source,
                                               true))
        << log_.text();
    __HNASFileSystemShares made;
    ASSERT_TRUE(shareDetails(name, "CIFS", made));
    ASSERT_EQ(made.settings.permissions.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(made.settings.permissions[i].name, source.settings.permissions[i].name);
        EXPECT_EQ(made.settings.permissions[i].permission, source.settings.permissions[i].permission);
    }
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

// The standard seed and two more CIFS shares on fs1: the hidden "Payroll$"
// with a user and a group but no Everyone, and "readers" that lets Everyone
// only read.
json seedWithRestrictedShares() {
    json seed = testsupport::standardSeed();
    seed["arrays"][0]["shares"].push_back(
        {{"protocol", "CIFS"}, {"name", "Payroll$"}, {"virtualServerId", 1}, {"filesystem", "fs1"},
         {"path", "\\data"},
         {"authentications", {{{"name", "CORP\\payroll-clerk"}, {"permission", 24}, {"type", "USER"}},
                              {{"name", "CORP\\Finance"}, {"permission", 8}, {"type", "GROUP"}}}}});
    seed["arrays"][0]["shares"].push_back(
        {{"protocol", "CIFS"}, {"name", "readers"}, {"virtualServerId", 1}, {"filesystem", "fs1"},
         {"path", "\\data"},
         {"authentications", {{{"name", "Everyone"}, {"permission", 8}, {"type", "WELLKNOWN"}}}}});
    return seed;
}

// A share's permission entries as "name=permission", in the array's order.
std::vector<std::string> entryTexts(const std::vector<__HNASCIFSAuthentication>& entries) {
    std::vector<std::string> texts;
    for (const auto& entry : entries) texts.push_back(entry.name + "=" + std::to_string(entry.permission));
    return texts;
}

// A copy of a CIFS share over a snapshot carries exactly its source's
// permission entries, never the array's default Everyone entry with full
// control: the create asks for none, and when the array ignores that (a
// simulator started with --ignore-no-default-security) the client removes
// the entry. The copy of a source with Everyone keeps Everyone as the source
// has it.
TEST_F(ClientOnSimulator, AShareCopyCarriesExactlyItsSourcesPermissions) {
    const json seed = seedWithRestrictedShares();
    struct Source {
        const char* name;
        std::vector<std::string> entries;   // of the source, as the array lists them
        bool everyone;                      // the source has an Everyone entry, which replaces the default one
    };
    const Source sources[] = {
        {"Payroll$", {"CORP\\payroll-clerk=24", "CORP\\Finance=8"}, false},
        {"data", {"Everyone=56", "BUILTIN\\Administrators=24"}, true},
        {"readers", {"Everyone=8"}, true},
    };
    for (const bool ignores : {false, true}) {
        SCOPED_TRACE(ignores ? "array ignores noDefaultSecurity" : "array honours noDefaultSecurity");
        std::vector<std::string> options;
        if (ignores) options.push_back("--ignore-no-default-security");
        testsupport::Simulator sim(seed, options);
        ASSERT_TRUE(sim.started());
        __HNASVirtualServers server;
        std::string fs1;
        const auto client = clientWithSnapshot(sim, server, fs1);
        auto details = [&](const std::string& name, __HNASFileSystemShares& share) {
            std::vector<__HNASFileSystemShares> shares(1);
            shares[0].name = name;
            const bool found = client->getFilesystemShares(server, "CIFS", shares, true) && shares.size() == 1;
            if (found) share = shares[0];
            return found;
        };
        int removals = 0;
        for (const Source& source : sources) {
            SCOPED_TRACE(source.name);
            __HNASFileSystemShares original;
            ASSERT_TRUE(details(source.name, original));
            ASSERT_EQ(entryTexts(original.settings.permissions), source.entries);
            const std::string copy = std::string("QZHNAS-u1-") + source.name + "-QZShare";
            fakehost::LogCapture log;
            ASSERT_TRUE(client->createFileSystemShare(copy, "1", fs1, "\\.snapshot\\QZHNAS-u1-fs1\\data", "CIFS",
                                                     original, true))
                << log.text();
            // What the client hands back and what the array holds: the source's entries.
            EXPECT_EQ(entryTexts(original.settings.permissions), source.entries);
            __HNASFileSystemShares made;
            ASSERT_TRUE(details(copy, made));
            EXPECT_EQ(entryTexts(made.settings.permissions), source.entries);
            const bool removed = ignores && !source.everyone;
            removals += removed;
            EXPECT_EQ(log.has(0, "Removing the permission for [Everyone] from the new share [" + copy +
                                     "]: its source share does not have it"),
                      removed)
                << log.text();
            EXPECT_TRUE(failureLines(log).empty()) << log.text();
        }
        EXPECT_EQ(sim.callCount("deleteAuthentication"), removals);
    }
}

// When the entry the source does not have cannot be removed, the create
// fails as when a permission cannot be applied: the new share is deleted.
// So it does when the array answers the removal 404 (counted as removed)
// but still lists the entry: the list read back last must be the source's.
TEST_F(ClientOnSimulator, AnExtraEntryThatCannotBeRemovedFailsTheCreate) {
    testsupport::Simulator sim(seedWithRestrictedShares(), {"--ignore-no-default-security"});
    ASSERT_TRUE(sim.started());
    __HNASVirtualServers server;
    std::string fs1;
    const auto client = clientWithSnapshot(sim, server, fs1);
    std::vector<__HNASFileSystemShares> shares(1);
    shares[0].name = "Payroll$";
    ASSERT_TRUE(client->getFilesystemShares(server, "CIFS", shares, true));
    struct Case {
        int status;   // the answer to every removal
        const char* cause;
    } cases[] = {
        {500, "permission for [Everyone], which the source share does not have, not removed: HTTP status 500"},
        {404, "permission for [Everyone], which the source share does not have, still on the share after removing it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        ASSERT_TRUE(sim.admin("DELETE", "/admin/faults", nullptr));
        ASSERT_TRUE(sim.inject({{"operation", "deleteAuthentication"}, {"status", c.status}, {"count", 5}}));
        const std::string copy = "QZHNAS-u1-Payroll$-QZShare";
        fakehost::LogCapture log;
        EXPECT_FALSE(client->createFileSystemShare(copy, "1", fs1, "\\.snapshot\\QZHNAS-u1-fs1\\data", "CIFS",
                                                   shares[0], true));
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        EXPECT_TRUE(contains(lines[0], std::string("createFileSystemShare failed: ") + c.cause)) << lines[0];
        EXPECT_TRUE(contains(lines[0], "; the new share was removed")) << lines[0];
        __HNASVirtualServers byId;
        byId.objectId = server.objectId;
        EXPECT_FALSE(client->isSharePresent(copy, byId, "CIFS"));
    }
}

TEST_F(ClientOnSimulator, ShareRefusalsAreFailures) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    const std::string inside = "\\.snapshot\\QZHNAS-u1-fs1\\data";
    __HNASFileSystemShares share;
    ASSERT_TRUE(client_->createFileSystemShare("dup", "1", fs1_, inside, "CIFS", share, false));
    struct Case {
        std::string name;
        std::string serverId;
        std::string path;
        const char* cause;
    };
    const Case cases[] = {
        {"dup", "1", inside, "HTTP status 400"},
        {std::string(81, 'n'), "1", inside, "HTTP status 400"},
        {"outside", "1", "\\data", "HTTP status 400"},
        {"missing-snapshot", "1", "\\.snapshot\\QZHNAS-nope\\data", "HTTP status 400"},
        {"bad-server", "evs1", inside, "virtual server ID [evs1] is not a decimal number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakehost::LogCapture log;
        EXPECT_FALSE(client_->createFileSystemShare(c.name, c.serverId, fs1_, c.path, "CIFS", share, false));
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        EXPECT_TRUE(contains(lines[0], "createFileSystemShare failed: ") && contains(lines[0], c.cause)) << lines[0];
    }
}

TEST_F(ClientOnSimulator, WrongPasswordIsRefused) {
    QzManageHNAS wrong(jobId_);
    ASSERT_TRUE(wrong.init(kSimUser, "not-the-password", "FILE", "ctl", "127.0.0.1", sim_->port()));
    __HNASVirtualServers server;
    std::vector<__HNASFileSystemSnapshot> all;
    EXPECT_FALSE(wrong.getVirtualServerInfo("evs1", server));
    EXPECT_FALSE(wrong.getAllSnapshots(all));
    const auto lines = failureLines(log_);
    ASSERT_EQ(lines.size(), 2u) << log_.text();
    for (const auto& line : lines) EXPECT_TRUE(contains(line, "HTTP status 401")) << line;
    EXPECT_FALSE(contains(log_.text(), "not-the-password"));
}

// An injected failure of each array operation makes the client call that
// uses it return false, with one line naming the call and the cause.
TEST_F(ClientOnSimulator, InjectedFailureOfEachOperationIsReported) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    __HNASFileSystemShares source;
    ASSERT_TRUE(shareDetails("data", "CIFS", source));
    const std::string shareName = "QZHNAS-u1-fs1-data-QZShare";
    const std::string path = "\\.snapshot\\QZHNAS-u1-fs1\\data";
    ASSERT_TRUE(client_->createFileSystemShare(shareName, "1", fs1_, path, "CIFS", source, true));
    __HNASFileSystemSnapshot byName;
    byName.name = snapshot.name;
    byName.fileSystemId = fs1_;

    struct Case {
        const char* fault;
        const char* call;
        std::function<bool()> run;
        bool reportsUnlisted = false;   // the getAllSnapshots that fills `unlisted`
    };
    __HNASVirtualServers server = byObjectId();
    std::string id;
    std::vector<__HNASFileSystemInfo> infos;
    std::vector<__HNASFileSystemShares> shares;
    std::vector<__HNASFileSystemSnapshot> all;
    std::vector<__HNASFileSystemInfo> unlisted;
    __HNASFileSystemSnapshot made;
    auto sharesOf = [&](bool withPermissions) {
        shares.assign(1, __HNASFileSystemShares());
        shares[0].name = "data";
        return client_->getFilesystemShares(server, "CIFS", shares, withPermissions);
    };
    const Case cases[] = {
        {"listVirtualServers", "getVirtualServerInfo", [&] { return client_->getVirtualServerInfo("evs1", server); }},
        {"listFileSystems", "getFileSystemID", [&] { return client_->getFileSystemID("fs1", id); }},
        {"listShares", "getFileSystemID", [&] { return client_->getFileSystemID(server, "data", "CIFS", id); }},
        {"getFileSystem", "getFileSystemsInfo", [&] { return client_->getFileSystemsInfo(fs1_, infos); }},
        {"listShares", "getFilesystemShares", [&] { return sharesOf(false); }},
        {"listAuthentications", "getFilesystemShares", [&] { return sharesOf(true); }},
        {"createSnapshot", "createFileSystemSnapshot", [&] { return snap("u9-fs1", fs1_, made); }},
        {"listShares", "isSharePresent", [&] { return client_->isSharePresent(shareName, server, "CIFS"); }},
        {"createShare", "createFileSystemShare",
         [&] { return client_->createFileSystemShare("other", "1", fs1_, path, "CIFS", source, true); }},
        {"listShares", "deleteFileSystemShare", [&] { return client_->deleteFileSystemShare(shareName, server, "CIFS"); }},
        {"deleteShare", "deleteFileSystemShare", [&] { return client_->deleteFileSystemShare(shareName, server, "CIFS"); }},
        {"listSnapshots", "deleteFileSystemSnapshot", [&] { return client_->deleteFileSystemSnapshot(byName, kPrefix); }},
        {"deleteSnapshot", "deleteFileSystemSnapshot", [&] { return client_->deleteFileSystemSnapshot(byName, kPrefix); }},
        {"rollbackSnapshot", "recoverFileSystemSnapshot", [&] { return client_->recoverFileSystemSnapshot(snapshot.objectId); }},
        {"listFileSystems", "getAllSnapshots", [&] { return client_->getAllSnapshots(all); }},
        {"listSnapshots", "getAllSnapshots", [&] { return client_->getAllSnapshots(all); }},
        {"listFileSystems", "getAllSnapshots", [&] { return client_->getAllSnapshots(all, unlisted); }, true},
        {"listSnapshots", "getAllSnapshots", [&] { return client_->getAllSnapshots(all, unlisted); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + " -> " + c.call);
        ASSERT_TRUE(sim_->admin("DELETE", "/admin/faults", nullptr));
        ASSERT_TRUE(sim_->inject({{"operation", c.fault}, {"status", 500}, {"count", 1}}));
        all.assign(2, __HNASFileSystemSnapshot());
        unlisted.assign(1, __HNASFileSystemInfo());
        fakehost::LogCapture log;
        EXPECT_FALSE(c.run());
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        EXPECT_EQ(lines[0].rfind(std::string(c.call) + " failed: HTTP status 500 on ", 0), 0u) << lines[0];
        EXPECT_TRUE(contains(lines[0], "errorMsg [injected fault]")) << lines[0];
        if (std::string(c.call) == "getAllSnapshots") {
            EXPECT_TRUE(all.empty());   // no partial list
            if (c.reportsUnlisted) {
                EXPECT_TRUE(unlisted.empty());
            }
        }
    }
    // Nothing was changed by the failed calls.
    __HNASVirtualServers again = byObjectId();
    EXPECT_TRUE(client_->isSharePresent(shareName, again, "CIFS"));
    EXPECT_EQ(storedSnapshots("QZHNAS-u1-fs1"), 1);
}

// The refusals a real roll-back meets (no licence, too few checkpoints, not
// supported), with the array's message, without a body and with a body that
// is not JSON: each is a failed call naming the status, never a parse error.
TEST_F(ClientOnSimulator, RefusedRollbackIsAFailureWithTheStatus) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    struct Case {
        json fault;
        const char* says;   // expected after the status, "" for nothing more
    } cases[] = {
        {{{"status", 403}, {"message", "rollback is not licensed"}}, "errorMsg [rollback is not licensed]"},
        {{{"status", 400}, {"message", "not enough checkpoints"}}, "errorMsg [not enough checkpoints]"},
        {{{"status", 501}, {"message", "not supported"}}, "errorMsg [not supported]"},
        {{{"status", 400}, {"body", "empty"}}, ""},
        {{{"status", 403}, {"body", "empty"}}, "forbids the call"},
        {{{"status", 501}, {"body", "text"}, {"message", "<html>Not Implemented</html>"}}, "does not support the call"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault.dump());
        json fault = c.fault;
        fault["operation"] = "rollbackSnapshot";
        ASSERT_TRUE(sim_->inject(fault));
        fakehost::LogCapture log;
        EXPECT_FALSE(client_->recoverFileSystemSnapshot(snapshot.objectId));
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        const std::string status = std::to_string(c.fault["status"].get<int>());
        EXPECT_EQ(lines[0].rfind("recoverFileSystemSnapshot failed: HTTP status " + status + " on POST ", 0), 0u)
            << lines[0];
        EXPECT_TRUE(contains(lines[0], c.says)) << lines[0];
        EXPECT_FALSE(contains(lines[0], "parse")) << lines[0];
        EXPECT_FALSE(contains(lines[0], "html")) << lines[0];
        if (c.fault.contains("body")) {
            EXPECT_FALSE(contains(lines[0], "errorMsg")) << lines[0];
        }
    }
    EXPECT_EQ(storedSnapshots("QZHNAS-u1-fs1"), 1);   // no roll-back happened
}

// With sApiKeyFile set the client sends only the key: a read-write key does
// the work, a read-only key reads and every change fails with 403.
TEST_F(ClientOnSimulator, ApiKeyFromTheKeyFileOpensTheArray) {
    const std::string readWrite = "rw-Key-0123456789abcdef", readOnly = "ro-Key-fedcba9876543210";
    json seed = testsupport::standardSeed();
    seed["arrays"][0]["apiKeys"] = {{{"key", readWrite}}, {{"key", readOnly}, {"readOnly", true}}};
    ASSERT_TRUE(sim_->admin("POST", "/admin/seed", seed));
    fs1_ = fileSystemId("fs1");
    auto clientWithKey = [&](const std::string& key, std::unique_ptr<testsupport::TempSettings>& settings) {
        keyFiles_.push_back(std::make_unique<testsupport::TempFile>(key));
        EXPECT_TRUE(keyFiles_.back()->ok());
        settings.reset();
        settings = std::make_unique<testsupport::TempSettings>(testsupport::clientSettings(
            testsupport::serverCerts().ca, "nRequestTimeoutSecs=1\nsApiKeyFile=" + keyFiles_.back()->path() + "\n"));
        auto client = std::make_unique<QzManageHNAS>(jobId_);
        // No user or password travels: wrong ones change nothing.
        EXPECT_TRUE(client->init("nobody", "wrong", "FILE", "ctl", "127.0.0.1", sim_->port()));
        return client;
    };
    std::unique_ptr<testsupport::TempSettings> keySettings;
    auto writer = clientWithKey(readWrite, keySettings);
    __HNASFileSystemSnapshot made;
    ASSERT_TRUE(writer->createFileSystemSnapshot("k1-fs1", fs1_, kPrefix, made)) << log_.text();

    auto reader = clientWithKey(readOnly, keySettings);
    __HNASVirtualServers server;
    ASSERT_TRUE(reader->getVirtualServerInfo("evs1", server)) << log_.text();
    std::vector<__HNASFileSystemSnapshot> all;
    ASSERT_TRUE(reader->getAllSnapshots(all));
    EXPECT_EQ(all.size(), 2u);
    fakehost::LogCapture log;
    EXPECT_FALSE(reader->recoverFileSystemSnapshot(made.objectId));
    __HNASFileSystemSnapshot other;
    EXPECT_FALSE(reader->createFileSystemSnapshot("k2-fs1", fs1_, kPrefix, other));
    const auto lines = failureLines(log);
    ASSERT_EQ(lines.size(), 2u) << log.text();
    for (const std::string& line : lines) {
        EXPECT_TRUE(contains(line, "HTTP status 403")) << line;
        EXPECT_TRUE(contains(line, "errorMsg [the API key is read-only]")) << line;
    }
    EXPECT_EQ(storedSnapshots("QZHNAS-k1-fs1"), 1);
    EXPECT_EQ(storedSnapshots("QZHNAS-k2-fs1"), 0);
    for (const EvLogLine& line : log_.lines()) {
        EXPECT_FALSE(contains(line.message, readWrite)) << line.message;
        EXPECT_FALSE(contains(line.message, readOnly)) << line.message;
    }
}

// The standard seed with fs2 not mounted and holding snapshot QZHNAS-u1-fs2.
json seedWithFs2Unmounted() {
    json seed = testsupport::standardSeed();
    seed["arrays"][0]["filesystems"][1]["status"] = "NOT_MOUNTED";
    seed["arrays"][0]["snapshots"].push_back({{"filesystem", "fs2"}, {"appSearchId", "QZHNAS"}, {"displayName", "QZHNAS-u1-fs2"}});
    return seed;
}

// A file system that is not mounted: getAllSnapshots refuses to give a list
// that would miss its snapshots, and a delete there, which lists by the
// plug-in's appSearchId, fails with the array's refusal.
TEST_F(ClientOnSimulator, AnUnmountedFileSystemFailsTheCallsThatListIt) {
    ASSERT_TRUE(sim_->admin("POST", "/admin/seed", seedWithFs2Unmounted()));
    fs2_ = fileSystemId("fs2");
    fakehost::LogCapture log;
    std::vector<__HNASFileSystemSnapshot> all;
    EXPECT_FALSE(client_->getAllSnapshots(all));
    __HNASFileSystemSnapshot byName;
    byName.name = "QZHNAS-u1-fs2";
    byName.fileSystemId = fs2_;
    EXPECT_FALSE(client_->deleteFileSystemSnapshot(byName, kPrefix));
    const auto lines = failureLines(log);
    ASSERT_EQ(lines.size(), 2u) << log.text();
    EXPECT_TRUE(contains(lines[0], "has status [NOT_MOUNTED], not mounted")) << lines[0];
    EXPECT_TRUE(contains(lines[1], "HTTP status 400")) << lines[1];
    EXPECT_TRUE(contains(lines[1], "errorMsg [file system is not mounted]")) << lines[1];
    EXPECT_EQ(storedSnapshots("QZHNAS-u1-fs2"), 1);
}

// The list that reports unlisted file systems: the snapshots of fs1, fs2
// reported with its ID, label and status, its snapshots never asked for
// (the simulator would answer an empty list), and no failure.
TEST_F(ClientOnSimulator, AnUnmountedFileSystemIsReportedUnlistedAndTheOthersListed) {
    ASSERT_TRUE(sim_->admin("POST", "/admin/seed", seedWithFs2Unmounted()));
    fs1_ = fileSystemId("fs1");
    fs2_ = fileSystemId("fs2");
    ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
    fakehost::LogCapture log;
    std::vector<__HNASFileSystemSnapshot> all(1);
    std::vector<__HNASFileSystemInfo> unlisted(2);
    ASSERT_TRUE(client_->getAllSnapshots(all, unlisted)) << log.text();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].name, "QZHNAS-old-fs1");
    EXPECT_EQ(all[0].fileSystemId, fs1_);
    ASSERT_EQ(unlisted.size(), 1u);
    EXPECT_EQ(unlisted[0].fileSystemId, fs2_);
    EXPECT_EQ(unlisted[0].name, "fs2");
    EXPECT_EQ(unlisted[0].status, "NOT_MOUNTED");
    EXPECT_EQ(sim_->callCount("listSnapshots"), 1);
    EXPECT_TRUE(failureLines(log).empty()) << log.text();
    EXPECT_TRUE(log.has(1, "File system [fs2] has status [NOT_MOUNTED], not mounted: its snapshots are not listed"))
        << log.text();
    EXPECT_EQ(storedSnapshots("QZHNAS-u1-fs2"), 1);
}

// With sApiVersion=v9 the simulator quotes every number: the client reads
// the same values as on v7.
TEST_F(ClientOnSimulator, QuotedNumbersOfV9AreReadAsNumbers) {
    settings_.reset();
    settings_ = std::make_unique<testsupport::TempSettings>(
        testsupport::clientSettings(testsupport::serverCerts().ca, "nRequestTimeoutSecs=1\nsApiVersion=v9\n"));
    QzManageHNAS v9(jobId_);
    ASSERT_TRUE(v9.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim_->port()));
    EXPECT_TRUE(contains(log_.text(), "/v9/storage/]")) << log_.text();
    __HNASVirtualServers server;
    ASSERT_TRUE(v9.getVirtualServerInfo("evs1", server)) << log_.text();
    EXPECT_EQ(server.virtualServerId, evs_.virtualServerId);
    EXPECT_EQ(server.objectId, evs_.objectId);
    std::vector<__HNASFileSystemInfo> info;
    ASSERT_TRUE(v9.getFileSystemsInfo(fs1_, info)) << log_.text();
    EXPECT_EQ(info[0].capacity, 1099511627776u);
    EXPECT_EQ(info[0].usedSnapshotCapacity, 4096u);
    std::vector<__HNASFileSystemShares> shares(1);
    shares[0].name = "data";
    __HNASVirtualServers byId = byObjectId();
    ASSERT_TRUE(v9.getFilesystemShares(byId, "CIFS", shares, true)) << log_.text();
    __HNASFileSystemShares onV7;
    ASSERT_TRUE(shareDetails("data", "CIFS", onV7));
    EXPECT_EQ(shares[0].settings.maxConcurrentUsers, onV7.settings.maxConcurrentUsers);
    ASSERT_EQ(shares[0].settings.permissions.size(), onV7.settings.permissions.size());
    EXPECT_EQ(shares[0].settings.permissions[0].permission, onV7.settings.permissions[0].permission);
    __HNASFileSystemSnapshot made;
    ASSERT_TRUE(v9.createFileSystemSnapshot("q1-fs1", fs1_, kPrefix, made)) << log_.text();
    EXPECT_GT(made.creationTime, 1600000000u);
    std::vector<__HNASFileSystemSnapshot> all;
    ASSERT_TRUE(v9.getAllSnapshots(all)) << log_.text();
    EXPECT_EQ(all.size(), 2u);
}

// A real array keeps a deleted snapshot listed in a delete state for a
// while: the client counts it as gone, in getAllSnapshots and in a delete.
TEST_F(ClientOnSimulator, ASnapshotInADeleteStateIsGone) {
    json seed = testsupport::standardSeed();
    seed["arrays"][0]["deletePendingLists"] = 5;
    ASSERT_TRUE(sim_->admin("POST", "/admin/seed", seed));
    fs1_ = fileSystemId("fs1");
    __HNASFileSystemSnapshot made;
    ASSERT_TRUE(snap("u1-fs1", fs1_, made)) << log_.text();
    __HNASFileSystemSnapshot byName;
    byName.name = made.name;
    byName.fileSystemId = fs1_;
    ASSERT_TRUE(client_->deleteFileSystemSnapshot(byName, kPrefix)) << log_.text();
    ASSERT_EQ(storedSnapshots(made.name), 1);   // still there, going away

    const size_t failuresBefore = failureLines(log_).size();
    EXPECT_EQ(snapshotNames(), (std::vector<std::string>{"QZHNAS-old-fs1"}));
    EXPECT_TRUE(client_->deleteFileSystemSnapshot(byName, kPrefix)) << log_.text();
    EXPECT_EQ(storedSnapshots(made.name), 1);   // the delete met it still listed
    EXPECT_EQ(failureLines(log_).size(), failuresBefore);
    EXPECT_EQ(snapshotNames(), (std::vector<std::string>{"QZHNAS-old-fs1"}));
}

// A share whose permissions cannot all be applied is removed again, so that
// no share over a snapshot stays open to whoever a fresh share admits.
TEST_F(ClientOnSimulator, ShareIsRemovedWhenItsPermissionsFail) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    __HNASFileSystemShares source;
    ASSERT_TRUE(shareDetails("data", "CIFS", source));
    ASSERT_TRUE(sim_->inject({{"operation", "addAuthentication"}, {"after", 1}, {"status", 500}}));
    EXPECT_FALSE(client_->createFileSystemShare("half", "1", fs1_, "\\.snapshot\\QZHNAS-u1-fs1\\data", "CIFS",
                                                source, true));
    const auto lines = failureLines(log_);
    ASSERT_EQ(lines.size(), 1u) << log_.text();
    EXPECT_TRUE(contains(lines[0], "permission for [BUILTIN\\Administrators] not applied: HTTP status 500"))
        << lines[0];
    EXPECT_TRUE(contains(lines[0], "; the new share was removed")) << lines[0];
    __HNASVirtualServers server = byObjectId();
    EXPECT_FALSE(client_->isSharePresent("half", server, "CIFS"));
}

TEST_F(ClientOnSimulator, ClosedConnectionOnAReadIsRetried) {
    ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
    ASSERT_TRUE(sim_->inject({{"operation", "listVirtualServers"}, {"action", "close"}}));
    __HNASVirtualServers server;
    EXPECT_TRUE(client_->getVirtualServerInfo("evs1", server)) << log_.text();
    EXPECT_EQ(sim_->callCount("listVirtualServers"), 2);
    EXPECT_TRUE(failureLines(log_).empty());
}

// A busy array (the simulator's fault table answering 503 or 429, with or
// without Retry-After) is asked again after the wait it asks for, else the
// back-off: a read, and a create, which a busy answer proves was not made
// (so it is sent again without looking for it first).
TEST_F(ClientOnSimulator, ABusyAnswerIsAskedAgainAfterTheWaitItAsks) {
    clienttest::SleepRecord sleeps;
    ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
    ASSERT_TRUE(sim_->inject({{"operation", "createSnapshot"}, {"status", 503}, {"retryAfter", 2}}));
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot)) << log_.text();
    EXPECT_EQ(2, sim_->callCount("createSnapshot"));
    EXPECT_EQ(0, sim_->callCount("listSnapshots"));
    EXPECT_EQ(1, storedSnapshots("QZHNAS-u1-fs1"));
    EXPECT_EQ(std::vector<int>{2000}, sleeps.waits());

    ASSERT_TRUE(sim_->inject({{"operation", "listFileSystems"}, {"status", 429}, {"count", 2}}));
    std::string id;
    EXPECT_TRUE(client_->getFileSystemID("fs2", id)) << log_.text();
    EXPECT_EQ(fs2_, id);
    EXPECT_EQ(3, sim_->callCount("listFileSystems"));
    EXPECT_EQ((std::vector<int>{2000, 10, 20}), sleeps.waits());   // the test settings back off from 10 ms
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

// A file system holds at most 1024 snapshots: the create past them is
// refused with a message that names the file system and the limit, and
// another file system still takes one.
TEST_F(ClientOnSimulator, ASnapshotPastTheFileSystemsLimitIsRefusedNamingBoth) {
    json seed = testsupport::standardSeed();
    for (int i = 0; i < 1022; ++i)
        seed["arrays"][0]["snapshots"].push_back(
            {{"filesystem", "fs1"}, {"displayName", "manual-" + std::to_string(i)}, {"creationTime", 1700000000}});
    testsupport::Simulator sim(seed);
    ASSERT_TRUE(sim.started());
    QzManageHNAS client(jobId_);
    ASSERT_TRUE(client.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim.port()));
    const std::string fs1 = fileSystemId("fs1", &sim);
    const std::string fs2 = fileSystemId("fs2", &sim);
    fakehost::LogCapture log;
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(client.createFileSystemSnapshot("u1-fs1", fs1, kPrefix, snapshot)) << log.text();   // the 1024th
    EXPECT_FALSE(client.createFileSystemSnapshot("u2-fs1", fs1, kPrefix, snapshot));
    const auto failures = failureLines(log);
    ASSERT_EQ(1u, failures.size()) << log.text();
    EXPECT_TRUE(contains(failures[0], "file system [fs1] holds 1024 snapshots, the most a file system can hold"))
        << failures[0];
    EXPECT_TRUE(client.createFileSystemSnapshot("u2-fs2", fs2, kPrefix, snapshot)) << log.text();
}

// A file system's default retention (seeded) covers new snapshots: a delete
// is accepted (done) but the snapshot stays listed, usable, until it
// expires, and the client says so at level 0 with the date. A seeded
// snapshot whose retention has expired and whose delete waited is gone at
// the next list.
TEST_F(ClientOnSimulator, ADeleteHeldByRetentionIsDoneAndTheSnapshotStaysUntilItExpires) {
    json seed = testsupport::standardSeed();
    seed["arrays"][0]["filesystems"][1]["retentionSeconds"] = 86400;   // fs2
    seed["arrays"][0]["snapshots"].push_back({{"filesystem", "fs2"}, {"appSearchId", kPrefix},
                                              {"displayName", "QZHNAS-expired-fs2"}, {"creationTime", 1700000000},
                                              {"retainedUntil", 1700086400}, {"deleteWhenExpired", true}});
    testsupport::Simulator sim(seed);
    ASSERT_TRUE(sim.started());
    QzManageHNAS client(jobId_);
    ASSERT_TRUE(client.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim.port()));
    const std::string fs2 = fileSystemId("fs2", &sim);
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(client.createFileSystemSnapshot("u1-fs2", fs2, kPrefix, snapshot));

    fakehost::LogCapture log;
    __HNASFileSystemSnapshot byName;
    byName.name = "QZHNAS-u1-fs2";
    byName.fileSystemId = fs2;
    EXPECT_TRUE(client.deleteFileSystemSnapshot(byName, kPrefix)) << log.text();
    const json kept = sim.state()["arrays"][0]["snapshots"];
    ASSERT_EQ(2u, kept.size());   // the standard seed's fs1 snapshot, and this one
    EXPECT_EQ("QZHNAS-u1-fs2", kept[1].value("displayName", ""));
    EXPECT_TRUE(kept[1].value("deleteWhenExpired", false));
    const uint64_t until = kept[1].value("retainedUntil", uint64_t{0});
    ASSERT_GT(until, 0u);
    char date[32];
    const std::time_t when = static_cast<std::time_t>(until);
    std::tm parts{};
    ASSERT_NE(nullptr, gmtime_r(&when, &parts));
    ASSERT_GT(std::strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S UTC", &parts), 0u);
    EXPECT_TRUE(log.has(0, "The snapshot [QZHNAS-u1-fs2] is under retention: the array accepted its delete and keeps "
                           "it until the retention expires (" + std::string(date) + "); counted as deleted"))
        << log.text();
    EXPECT_TRUE(failureLines(log).empty()) << log.text();

    // Listed as it is, usable, so that reconcile finds it; a second delete is done again.
    std::vector<__HNASFileSystemSnapshot> all;
    ASSERT_TRUE(client.getAllSnapshots(all));
    std::vector<std::string> names;
    for (const auto& s : all) names.push_back(s.name);
    EXPECT_EQ((std::vector<std::string>{"QZHNAS-old-fs1", "QZHNAS-u1-fs2"}), names);
    EXPECT_TRUE(client.deleteFileSystemSnapshot(byName, kPrefix));
    EXPECT_EQ(2u, sim.state()["arrays"][0]["snapshots"].size());
}

// A look-up whose first try lost its connection, sent again and answered
// "no such share", is a plain no: the first try's cause does not stay
// behind as a failure. A client's first request has no kept-alive
// connection that libcurl would send it again on, so the client sends it
// again itself, as unseen as libcurl would (no retry spent, no line).
TEST_F(ClientOnSimulator, ARetriedLookUpThatFindsNothingIsAPlainNo) {
    QzManageHNAS fresh(jobId_);
    ASSERT_TRUE(fresh.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim_->port()));
    ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
    ASSERT_TRUE(sim_->inject({{"operation", "listShares"}, {"action", "close"}}));
    fakehost::LogCapture log;
    EXPECT_FALSE(fresh.isSharePresent("QZHNAS-u9-data-QZShare", evs_, "CIFS"));
    EXPECT_EQ(2, sim_->callCount("listShares"));
    EXPECT_TRUE(failureLines(log).empty()) << log.text();
    for (const EvLogLine& line : log.lines())
        EXPECT_EQ(std::string::npos, line.message.find("; retry ")) << "no retry is spent: " << line.message;
}

// A create whose answer was lost looks for the stored name before it sends
// again: adopted when the array made it, created when it did not.
TEST_F(ClientOnSimulator, SnapshotCreateAfterALostAnswerAdoptsOrCreatesOnce) {
    struct Case {
        const char* action;
        const char* name;
        int creates;
    };
    const Case cases[] = {{"closeAfter", "u1-fs1", 1}, {"close", "u2-fs1", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
        ASSERT_TRUE(sim_->inject({{"operation", "createSnapshot"}, {"action", c.action}}));
        fakehost::LogCapture log;
        __HNASFileSystemSnapshot snapshot;
        ASSERT_TRUE(snap(c.name, fs1_, snapshot)) << log.text();
        const std::string stored = std::string(kPrefix) + "-" + c.name;
        EXPECT_EQ(snapshot.name, stored);
        EXPECT_FALSE(snapshot.objectId.empty());
        EXPECT_EQ(storedSnapshots(stored), 1);
        EXPECT_EQ(sim_->callCount("createSnapshot"), c.creates);
        EXPECT_EQ(sim_->callCount("listSnapshots"), 1);
        EXPECT_EQ(log.has(0, "The snapshot [" + stored + "] exists already after a lost answer; adopting it"),
                  c.creates == 1);
        EXPECT_TRUE(failureLines(log).empty()) << log.text();
    }
}

TEST_F(ClientOnSimulator, ShareCreateAfterALostAnswerIsAdoptedAndGetsItsPermissions) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    __HNASFileSystemShares source;
    ASSERT_TRUE(shareDetails("data", "CIFS", source));
    ASSERT_TRUE(sim_->inject({{"operation", "createShare"}, {"action", "closeAfter"}}));
    ASSERT_TRUE(client_->createFileSystemShare("adopted", "1", fs1_, "\\.snapshot\\QZHNAS-u1-fs1\\data", "CIFS",
                                               source, true))
        << log_.text();
    EXPECT_EQ(sim_->callCount("createShare"), 1);
    __HNASFileSystemShares made;
    ASSERT_TRUE(shareDetails("adopted", "CIFS", made));
    EXPECT_EQ(made.settings.permissions.size(), 2u);
}

// A create whose answer was lost fails, with the lost answer's cause first,
// when the look after it cannot settle it: the look fails, a share of that
// name stands on another file system (the seed's "data" is on fs1), or every
// send is lost until the retry budget (nRetryCount=2: three sends) is spent.
// The creates never reach the array, so no snapshot is needed under them.
TEST_F(ClientOnSimulator, LostCreateAnswerThatCannotBeSettledFails) {
    const auto createSnapshot = [&] {
        __HNASFileSystemSnapshot made;
        return client_->createFileSystemSnapshot("u2-fs1", fs1_, kPrefix, made);
    };
    const auto createShare = [&](const char* name, const std::string& fileSystemId) {
        return [&, name, fileSystemId] {
            __HNASFileSystemShares made;
            return client_->createFileSystemShare(name, "1", fileSystemId, "\\.snapshot\\QZHNAS-u2-fs1\\data",
                                                  "CIFS", made, false);
        };
    };
    struct Case {
        const char* what;
        std::vector<json> faults;
        std::function<bool()> create;
        const char* creator;   // the simulator operation that creates
        int sends;
        const char* then;      // what follows the lost answer's cause; "" for nothing
    };
    const Case cases[] = {
        {"snapshot look fails",
         {{{"operation", "createSnapshot"}, {"action", "close"}}, {{"operation", "listSnapshots"}, {"status", 500}}},
         createSnapshot, "createSnapshot", 1,
         "; looking for the snapshot then failed: HTTP status 500"},
        {"share look fails",
         {{{"operation", "createShare"}, {"action", "close"}}, {{"operation", "listShares"}, {"status", 500}}},
         createShare("fresh", fs1_), "createShare", 1,
         "; looking for the share then failed: HTTP status 500"},
        {"share name on another file system",
         {{{"operation", "createShare"}, {"action", "close"}}},
         createShare("data", fs2_), "createShare", 1,
         "; a share of that name exists on another file system"},
        {"every send lost",
         {{{"operation", "createSnapshot"}, {"action", "close"}, {"count", 3}}},
         createSnapshot, "createSnapshot", 3, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
        for (const json& fault : c.faults) ASSERT_TRUE(sim_->inject(fault));
        fakehost::LogCapture log;
        EXPECT_FALSE(c.create());
        EXPECT_EQ(sim_->callCount(c.creator), c.sends);
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        const size_t lost = lines[0].find(" failed: connection broken without an answer");
        EXPECT_NE(lost, std::string::npos) << lines[0];
        const size_t then = lines[0].find(c.then);
        EXPECT_TRUE(*c.then == '\0' ? lines[0].find("; ") == std::string::npos : then != std::string::npos && then > lost)
            << lines[0];
    }
    EXPECT_EQ(storedSnapshots("QZHNAS-u2-fs1"), 0);
}

// A rollback that may have reached the array is never sent again.
TEST_F(ClientOnSimulator, RollbackIsNotRepeatedAfterALostAnswer) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    for (const char* action : {"close", "closeAfter"}) {
        SCOPED_TRACE(action);
        ASSERT_TRUE(sim_->admin("DELETE", "/admin/calls", nullptr));
        ASSERT_TRUE(sim_->inject({{"operation", "rollbackSnapshot"}, {"action", action}}));
        fakehost::LogCapture log;
        EXPECT_FALSE(client_->recoverFileSystemSnapshot(snapshot.objectId));
        EXPECT_EQ(sim_->callCount("rollbackSnapshot"), 1);
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        EXPECT_TRUE(contains(lines[0], "recoverFileSystemSnapshot failed: connection broken without an answer"))
            << lines[0];
    }
}

// Deletes are idempotent: a lost answer is retried, and 404 means done.
TEST_F(ClientOnSimulator, DeletesCountAbsentAsDoneAndRetryLostAnswers) {
    __HNASFileSystemSnapshot snapshot;
    ASSERT_TRUE(snap("u1-fs1", fs1_, snapshot));
    __HNASFileSystemShares share;
    const std::string path = "\\.snapshot\\QZHNAS-u1-fs1\\data";
    ASSERT_TRUE(client_->createFileSystemShare("s404", "1", fs1_, path, "CIFS", share, false));
    ASSERT_TRUE(client_->createFileSystemShare("sclose", "1", fs1_, path, "CIFS", share, false));
    __HNASVirtualServers server = byObjectId();

    ASSERT_TRUE(sim_->inject({{"operation", "deleteShare"}, {"status", 404}}));
    EXPECT_TRUE(client_->deleteFileSystemShare("s404", server, "CIFS"));
    EXPECT_TRUE(log_.has(1, "The CIFS share [s404] is absent on the array; counted as deleted")) << log_.text();

    ASSERT_TRUE(sim_->inject({{"operation", "deleteShare"}, {"action", "closeAfter"}}));
    EXPECT_TRUE(client_->deleteFileSystemShare("sclose", server, "CIFS")) << log_.text();
    EXPECT_FALSE(client_->isSharePresent("sclose", server, "CIFS"));

    __HNASFileSystemSnapshot byName;
    byName.name = snapshot.name;
    byName.fileSystemId = fs1_;
    ASSERT_TRUE(sim_->inject({{"operation", "deleteSnapshot"}, {"status", 404}}));
    EXPECT_TRUE(client_->deleteFileSystemSnapshot(byName, kPrefix));
    EXPECT_EQ(storedSnapshots(snapshot.name), 1);   // the fault answered; nothing was deleted
    ASSERT_TRUE(sim_->inject({{"operation", "deleteSnapshot"}, {"action", "close"}}));
    EXPECT_TRUE(client_->deleteFileSystemSnapshot(byName, kPrefix)) << log_.text();
    EXPECT_EQ(storedSnapshots(snapshot.name), 0);
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

TEST_F(ClientOnSimulator, SlowArrayIsCutOffByTheRequestTimeOut) {
    settings_.reset();
    settings_ = std::make_unique<testsupport::TempSettings>(testsupport::clientSettings(
        testsupport::serverCerts().ca, "nRequestTimeoutSecs=1\nnRetryCount=0\n"));
    QzManageHNAS client(jobId_);
    ASSERT_TRUE(client.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", sim_->port()));
    ASSERT_TRUE(sim_->inject({{"operation", "*"}, {"latencyMs", 3000}}));
    const auto start = std::chrono::steady_clock::now();
    std::vector<__HNASFileSystemSnapshot> all;
    EXPECT_FALSE(client.getAllSnapshots(all));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 0.9);
    EXPECT_LT(took, 2.5);
    const auto lines = failureLines(log_);
    ASSERT_EQ(lines.size(), 1u) << log_.text();
    EXPECT_TRUE(contains(lines[0], "getAllSnapshots failed: time-out")) << lines[0];
}

}  // namespace

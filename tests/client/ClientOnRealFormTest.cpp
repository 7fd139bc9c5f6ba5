// The client against an array answering in the real API's form
// (RealFormArray.h): numbers as quoted texts, real object IDs, fields it
// does not read, snapshots being deleted, unmounted file systems, and
// permissions the array stores in its own form.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "host/QzManageHNAS.h"
#include "tests/client/ClientLogCheck.h"
#include "tests/client/LocalArray.h"
#include "tests/client/RealFormArray.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TempSettings.h"

namespace {

using clienttest::contains;
using clienttest::failureLines;
using clienttest::hexOf;
using clienttest::RealFormArray;
using clienttest::RealSnapshot;

constexpr char kPrefix[] = "QZHNAS";
constexpr char kUsable[] = "SNAPSHOT_MANAGEMENT_STATE_USABLE";
const std::string kFs1 = RealFormArray::kFs1;
const std::string kFs2 = RealFormArray::kFs2;

class ClientOnRealForm : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = std::make_unique<QzManageHNAS>(7);
        ASSERT_TRUE(client_->init("supervisor", "pw", "FILE", "ctl", "127.0.0.1", array_.port()));
        ASSERT_TRUE(client_->getVirtualServerInfo("evs1", evs_)) << log_.text();
    }

    RealSnapshot snapshot(const std::string& name, const std::string& state = kUsable,
                          const std::string& fileSystem = kFs1) {
        RealSnapshot s;
        s.displayName = name;
        s.filesystemId = fileSystem;
        s.appSearchId = name.rfind("QZHNAS-", 0) == 0 ? kPrefix : "";
        s.state = state;
        return s;
    }

    std::vector<std::string> listedNames() {
        std::vector<__HNASFileSystemSnapshot> all;
        EXPECT_TRUE(client_->getAllSnapshots(all)) << log_.text();
        std::vector<std::string> names;
        for (const auto& s : all) names.push_back(s.name);
        return names;
    }

    bool deleteByName(const std::string& name) {
        __HNASFileSystemSnapshot byName;
        byName.name = name;
        byName.fileSystemId = kFs1;
        return client_->deleteFileSystemSnapshot(byName, kPrefix);
    }

    // Requests seen since `from`, as "METHOD target".
    std::vector<std::string> requestsSince(size_t from) {
        const auto seen = array_.seen();
        std::vector<std::string> lines;
        for (size_t i = from; i < seen.size(); ++i) lines.push_back(seen[i].method + " " + seen[i].target);
        return lines;
    }

    fakehost::LogCapture log_;
    testsupport::TempSettings settings_{testsupport::clientSettings(testsupport::serverCerts().ca)};
    RealFormArray array_;
    std::unique_ptr<QzManageHNAS> client_;
    __HNASVirtualServers evs_;
};

// Every number the client reads arrives quoted, and fields it does not read
// ("uri", "UUID" absent, ...) change nothing.
TEST_F(ClientOnRealForm, QuotedNumbersAreReadAsNumbers) {
    EXPECT_EQ(evs_.virtualServerId, 1u);
    EXPECT_EQ(evs_.objectId, hexOf("1::::::0:::OID_$#!@%_V"));

    std::vector<__HNASFileSystemInfo> info;
    ASSERT_TRUE(client_->getFileSystemsInfo(kFs1, info)) << log_.text();
    EXPECT_EQ(info[0].capacity, 123456789012u);
    EXPECT_EQ(info[0].virtualServerId, 1u);
    EXPECT_EQ(info[0].freeCapacity, 123456784916u);

    std::vector<__HNASFileSystemShares> shares(1);
    shares[0].name = "data";
    ASSERT_TRUE(client_->getFilesystemShares(evs_, "CIFS", shares, true)) << log_.text();
    EXPECT_EQ(shares[0].virtualServerId, 1u);
    EXPECT_EQ(shares[0].settings.maxConcurrentUsers, -1);
    ASSERT_EQ(shares[0].settings.permissions.size(), 2u);
    EXPECT_EQ(shares[0].settings.permissions[0].permission, 56);
    EXPECT_EQ(shares[0].settings.permissions[1].permission, 24);

    array_.addSnapshot(snapshot("QZHNAS-old-fs1"));
    std::vector<__HNASFileSystemSnapshot> all;
    ASSERT_TRUE(client_->getAllSnapshots(all));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].creationTime, 1765370000u);
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

// Object IDs are taken as the array gives them and sent back unchanged,
// one path segment each, however long or odd; the create answer's "uri"
// and the missing appSearchId change nothing.
TEST_F(ClientOnRealForm, ObjectIdsPassThroughUnchanged) {
    __HNASFileSystemSnapshot made;
    ASSERT_TRUE(client_->createFileSystemSnapshot("u1-fs1", kFs1, kPrefix, made)) << log_.text();
    const std::string realId = hexOf(kFs1 + ":::QZHNAS-u1-fs1::::::0:::OID_$#!@%_V");
    EXPECT_EQ(made.objectId, realId);
    EXPECT_EQ(made.name, "QZHNAS-u1-fs1");
    EXPECT_EQ(made.state, kUsable);

    RealSnapshot odd = snapshot("QZHNAS-odd-fs1");
    odd.objectId = kFs1 + ":::QZHNAS-odd fs1/?#%+&:::";   // not even hex
    array_.addSnapshot(odd);
    std::vector<__HNASFileSystemSnapshot> all;
    ASSERT_TRUE(client_->getAllSnapshots(all));
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].objectId, odd.objectId);

    const size_t from = array_.seen().size();
    ASSERT_TRUE(client_->recoverFileSystemSnapshot(all[1].objectId)) << log_.text();
    EXPECT_EQ(requestsSince(from), (std::vector<std::string>{
                                       "POST /v7/storage/filesystem-snapshots/" + kFs1 +
                                       "%3A%3A%3AQZHNAS-odd%20fs1%2F%3F%23%25%2B%26%3A%3A%3A/rollback"}));
    // The roll-back discarded every snapshot of fs1, the real one too.
    EXPECT_TRUE(listedNames().empty());
    EXPECT_TRUE(deleteByName("QZHNAS-u1-fs1"));
    EXPECT_TRUE(log_.has(1, "The snapshot [QZHNAS-u1-fs1] is absent on the array; counted as deleted"));
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

// A snapshot in any delete state is gone: not listed by the client, and a
// delete of it is done without another DELETE. A deleted snapshot stays
// listed by the array for a while; the client's list no longer has it.
TEST_F(ClientOnRealForm, SnapshotsBeingDeletedCountAsGone) {
    array_.addSnapshot(snapshot("QZHNAS-old-fs1"));
    array_.addSnapshot(snapshot("hourly.2026-12-10_1200"));
    const char* states[] = {"SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING", "SNAPSHOT_MANAGEMENT_STATE_DELETE_ONGOING",
                            "SNAPSHOT_MANAGEMENT_STATE_DELETE_ROOT_ONODE_PASS", "SNAPSHOT_MANAGEMENT_STATE_DEAD"};
    for (const char* state : states) array_.addSnapshot(snapshot(std::string("QZHNAS-") + state, state));
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"QZHNAS-old-fs1", "hourly.2026-12-10_1200"}));

    for (const char* state : states) {
        SCOPED_TRACE(state);
        const size_t from = array_.seen().size();
        EXPECT_TRUE(deleteByName(std::string("QZHNAS-") + state));
        EXPECT_EQ(requestsSince(from),
                  (std::vector<std::string>{"GET /v7/storage/filesystem-snapshots/" + kFs1 + "/QZHNAS"}));
        EXPECT_TRUE(log_.has(1, std::string("The snapshot [QZHNAS-") + state + "] is being deleted on the array (" +
                                    state + "); counted as deleted"))
            << log_.text();
    }

    size_t from = array_.seen().size();
    ASSERT_TRUE(deleteByName("QZHNAS-old-fs1")) << log_.text();
    EXPECT_EQ(requestsSince(from).size(), 2u);   // the look-up and the DELETE
    EXPECT_EQ(array_.stateOf("QZHNAS-old-fs1"), "SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING");
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"hourly.2026-12-10_1200"}));
    from = array_.seen().size();
    EXPECT_TRUE(deleteByName("QZHNAS-old-fs1"));
    EXPECT_EQ(requestsSince(from).size(), 1u);   // found going: no second DELETE
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

// A DELETE the array refuses is done when the snapshot is found going away
// right after, and a failure with the array's message when it is not.
TEST_F(ClientOnRealForm, RefusedDeleteIsDoneOnlyWhenTheSnapshotIsGoingAway) {
    RealSnapshot racing = snapshot("QZHNAS-race-fs1");
    racing.refuseDelete = "Snapshot is being deleted";
    racing.startsDeleting = true;
    array_.addSnapshot(racing);
    RealSnapshot locked = snapshot("QZHNAS-locked-fs1");
    locked.refuseDelete = "Snapshot is locked";
    array_.addSnapshot(locked);

    EXPECT_TRUE(deleteByName("QZHNAS-race-fs1"));
    EXPECT_TRUE(log_.has(1, "The snapshot [QZHNAS-race-fs1] is being deleted on the array "
                            "(SNAPSHOT_MANAGEMENT_STATE_DELETE_ONGOING); counted as deleted"))
        << log_.text();
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();

    EXPECT_FALSE(deleteByName("QZHNAS-locked-fs1"));
    const auto lines = failureLines(log_);
    ASSERT_EQ(lines.size(), 1u) << log_.text();
    EXPECT_EQ(lines[0], "deleteFileSystemSnapshot failed: HTTP status 400 on DELETE filesystem-snapshots/" +
                            hexOf(kFs1 + ":::QZHNAS-locked-fs1::::::0:::OID_$#!@%_V") +
                            ": errorMsg [Snapshot is locked]");
}

// The plug-in's own snapshots are looked up by their appSearchId, so that
// system snapshots are never candidates. The full list fails on a file
// system that is not mounted (the array cannot list its snapshots, and a
// list without them would make reconcile mark them deleted).
TEST_F(ClientOnRealForm, OwnSnapshotsByAppSearchIdAndUnmountedFileSystemsNeverListedAsEmpty) {
    array_.addSnapshot(snapshot("QZHNAS-u1-fs1"));
    array_.addSnapshot(snapshot("QZHNAS-u1-fs2", kUsable, kFs2));
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"QZHNAS-u1-fs1", "QZHNAS-u1-fs2"}));

    array_.setMounted(kFs2, false);
    size_t from = array_.seen().size();
    std::vector<__HNASFileSystemSnapshot> all(1);
    EXPECT_FALSE(client_->getAllSnapshots(all));
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(requestsSince(from), (std::vector<std::string>{"GET /v7/storage/filesystems"}));
    ASSERT_FALSE(failureLines(log_).empty()) << log_.text();
    EXPECT_EQ(failureLines(log_).back(),
              "getAllSnapshots failed: file system [fs2] has status [NOT_MOUNTED], not mounted: its snapshots "
              "cannot be listed");

    from = array_.seen().size();
    EXPECT_TRUE(deleteByName("QZHNAS-u1-fs1"));
    EXPECT_EQ(requestsSince(from).front(), "GET /v7/storage/filesystem-snapshots/" + kFs1 + "/QZHNAS");

    // On the unmounted file system the look-up fails instead of finding
    // nothing: the snapshot is not counted as deleted.
    __HNASFileSystemSnapshot onFs2;
    onFs2.name = "QZHNAS-u1-fs2";
    onFs2.fileSystemId = kFs2;
    EXPECT_FALSE(client_->deleteFileSystemSnapshot(onFs2, kPrefix));
    const auto lines = failureLines(log_);
    ASSERT_EQ(lines.size(), 2u) << log_.text();
    EXPECT_EQ(lines[1], "deleteFileSystemSnapshot failed: HTTP status 400 on GET filesystem-snapshots/" + kFs2 +
                            "/QZHNAS: errorMsg [File system is not mounted]");
}

// Shares are created as the vendor's client creates them, and the
// permissions are read back as the array stored them (its 201 has no body).
TEST_F(ClientOnRealForm, SharesAreCreatedAsTheVendorsClientDoesAndPermissionsReadBack) {
    __HNASFileSystemShares cifs;
    cifs.settings.permissions.resize(2);
    cifs.settings.permissions[0].name = "Everyone";
    cifs.settings.permissions[0].permission = 56;
    cifs.settings.permissions[0].type = "WELLKNOWN";
    cifs.settings.permissions[1].name = "Administrators";
    cifs.settings.permissions[1].permission = 24;
    cifs.settings.permissions[1].type = "GROUP";
    size_t from = array_.seen().size();
    ASSERT_TRUE(client_->createFileSystemShare("QZHNAS-u1-fs1-data-QZShare", "1", kFs1,
                                               "\\.snapshot\\QZHNAS-u1-fs1\\data", "CIFS", cifs, true))
        << log_.text();
    auto seen = array_.seen();
    ASSERT_EQ(seen.size() - from, 4u);   // create, two permissions, read back
    const nlohmann::json created = nlohmann::json::parse(seen[from].body);
    EXPECT_EQ(created["ensurePathExists"], true);
    EXPECT_FALSE(created.contains("ignoreOverlap"));
    EXPECT_EQ(seen[from + 3].method, "GET");
    ASSERT_EQ(cifs.settings.permissions.size(), 2u);
    EXPECT_EQ(cifs.settings.permissions[1].name, "BUILTIN\\Administrators");
    EXPECT_EQ(cifs.settings.permissions[1].type, "ALIAS");
    EXPECT_EQ(cifs.settings.permissions[1].permission, 24);
    EXPECT_EQ(cifs.settings.permissions[1].encodedName, hexOf("BUILTIN\\Administrators"));

    __HNASFileSystemShares nfs;
    from = array_.seen().size();
    ASSERT_TRUE(client_->createFileSystemShare("/QZHNAS-u1-fs1-exp1-QZShare", "1", kFs1,
                                               "/.snapshot/QZHNAS-u1-fs1/exp1", "NFS", nfs, true))
        << log_.text();
    seen = array_.seen();
    ASSERT_EQ(seen.size() - from, 1u);
    const nlohmann::json exported = nlohmann::json::parse(seen[from].body);
    EXPECT_EQ(exported["name"], "QZHNAS-u1-fs1-exp1-QZShare");
    EXPECT_EQ(exported["ensurePathExists"], true);
    EXPECT_EQ(exported["ignoreOverlap"], true);
    __HNASVirtualServers server;
    server.objectId = evs_.objectId;
    from = array_.seen().size();
    EXPECT_TRUE(client_->isSharePresent("/QZHNAS-u1-fs1-exp1-QZShare", server, "NFS"));
    EXPECT_TRUE(contains(requestsSince(from).front(), "/nfs?name=%2FQZHNAS-u1-fs1-exp1-QZShare")) << log_.text();
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

// A permission the array accepted but does not show afterwards leaves no
// share behind.
TEST_F(ClientOnRealForm, PermissionMissingAfterAddingRemovesTheNewShare) {
    array_.dropAddedPermissions();
    __HNASFileSystemShares cifs;
    cifs.settings.permissions.resize(1);
    cifs.settings.permissions[0].name = "Everyone";
    cifs.settings.permissions[0].permission = 56;
    EXPECT_FALSE(client_->createFileSystemShare("half", "1", kFs1, "\\.snapshot\\QZHNAS-u1-fs1\\data", "CIFS", cifs,
                                                true));
    const auto lines = failureLines(log_);
    ASSERT_EQ(lines.size(), 1u) << log_.text();
    EXPECT_EQ(lines[0], "createFileSystemShare failed: permission for [Everyone] not found on the share after adding "
                        "it; the new share was removed");
    __HNASVirtualServers server;
    server.objectId = evs_.objectId;
    EXPECT_FALSE(client_->isSharePresent("half", server, "CIFS"));
    EXPECT_EQ(array_.seen().back().method, "GET");
}

// The REST server's connection cap as the v8 reference names it: the
// object `accessConfig`, read on the v8 path whatever version the client
// uses, alone or as a list filtered on type "rest". The client keeps one
// connection below the cap; an answer without the REST entry, or a refusal,
// leaves the setting and says so at level 0, since the array's limit is
// then unknown.
TEST(ClientConnectionCap, ReadFromTheDocumentedAccessConfigInEitherForm) {
    static const struct {
        const char* name;
        int status;
        const char* body;
        int inFlight;   // what the client then keeps, with 16 asked for
    } cases[] = {
        {"object", 200,
         R"({"accessConfig":{"maxAllowedConnections":"5","maxSupportedConnections":"64","type":"rest","restrictHosts":[]}})",
         4},
        {"object without type", 200, R"({"accessConfig":{"maxAllowedConnections":7}})", 6},
        {"list", 200,
         R"({"accessConfig":[{"type":"ssh","maxAllowedConnections":2},)"
         R"({"type":"REST","maxAllowedConnections":"9","maxSupportedConnections":"64"}]})",
         8},
        {"supported only", 200, R"({"accessConfig":[{"type":"rest","maxSupportedConnections":3}]})", 2},
        {"list without rest", 200, R"({"accessConfig":[{"type":"ssh","maxAllowedConnections":2}]})", 16},
        {"object of another type", 200, R"({"accessConfig":{"type":"ssh","maxAllowedConnections":2}})", 16},
        {"undocumented member", 200, R"({"restAccess":{"maxAllowedConnections":5}})", 16},
        {"refused", 404, R"({"errorMsg":"not found"})", 16},
    };
    testsupport::TempSettings settings(
        testsupport::clientSettings(testsupport::serverCerts().ca, "nRequestsInFlight=16\nsApiVersion=v7\n"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fakehost::LogCapture log;
        clienttest::LocalArray array([&](const clienttest::LocalRequest& request, clienttest::LocalResponse& response) {
            if (request.path == "/v8/storage/file-devices/management-access/rest")
                clienttest::answerJson(response, c.status, c.body);
            else
                clienttest::answerJson(response, 404, "{}");
        });
        QzManageHNAS client(9);
        ASSERT_TRUE(client.init("supervisor", "pw", "FILE", "ctl", "127.0.0.1", array.port()));
        EXPECT_EQ(c.inFlight, client.requestsInFlight());
        const auto seen = array.seen();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ("GET", seen[0].method);
        EXPECT_EQ("/v8/storage/file-devices/management-access/rest", seen[0].target);
        const bool unknown = c.inFlight == 16;
        bool warned = false;
        for (const std::string& line : clienttest::clientLines(log, 0))
            warned |= contains(line, "connection limit could not be read") && contains(line, "[16]");
        EXPECT_EQ(unknown, warned) << log.text();
    }
}

}  // namespace

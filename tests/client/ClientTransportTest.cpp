// The client's transport against small local HTTPS servers: answers the
// simulator never gives (malformed JSON, missing fields, stalls, echoed
// passwords), time-outs, retries, certificates, connection reuse.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>

#include "host/QzManageHNAS.h"
#include "client/BoundedJson.h"
#include "tests/client/ClientLogCheck.h"
#include "tests/client/LocalArray.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/ClosedPort.h"
#include "tests/support/TempFile.h"
#include "tests/support/TempSettings.h"

namespace {

using clienttest::answerJson;
using clienttest::contains;
using clienttest::failureLines;
using clienttest::LocalArray;
using clienttest::LocalRequest;
using clienttest::LocalResponse;
using testsupport::closedPort;
using testsupport::TempFile;

constexpr char kPassword[] = "Pa55-w0rd!x";
constexpr char kServers[] =
    R"J({"virtualServers":[{"virtualServerId":1,"name":"evs1","objectId":"3a3a","UUID":"u-1",)J"
    R"J("ipAddresses":["192.0.2.10"],"isEnabled":true,"status":"ONLINE","type":"File services"}]})J";
constexpr char kFileSystems[] = R"J({"filesystems":[{"filesystemId":"0A1B","label":"fs1"}]})J";

// Answers the virtual-server and file-system lists; anything else 404.
void plainArray(const LocalRequest& request, LocalResponse& response) {
    if (contains(request.path, "/virtual-servers"))
        answerJson(response, 200, kServers);
    else if (contains(request.path, "/filesystems"))
        answerJson(response, 200, kFileSystems);
    else
        answerJson(response, 404, R"J({"errorMsg":"no such object"})J");
}

// Answers 200 with `body` (JSON) sent in pieces of 64 KiB from where it
// lies, so that serving it holds no copy of it.
void streamInPieces(LocalResponse& response, const std::string& body) {
    response.contentType = "application/json";
    response.streamLength = body.size();
    response.stream = [&body](size_t offset, std::string& piece) {
        piece.assign(body, offset, 65536);
        return offset + piece.size() < body.size();
    };
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class ClientTransport : public ::testing::Test {
protected:
    // Settings for the test: the test CA, short time-outs, plus `extra`.
    void useSettings(const std::string& extra = std::string(),
                     const std::string& caFile = testsupport::serverCerts().ca) {
        settings_.reset();
        settings_ = std::make_unique<testsupport::TempSettings>(testsupport::clientSettings(caFile, extra));
    }
    void SetUp() override { useSettings(); }

    std::unique_ptr<QzManageHNAS> clientFor(int port, const std::string& address = "127.0.0.1") {
        auto client = std::make_unique<QzManageHNAS>(jobId_);
        client->init("supervisor", kPassword, "FILE", "ctl-host", address, port);
        return client;
    }

    // Exactly one failure line, naming the operation; returns it.
    std::string onlyFailure(const std::string& operation) {
        const auto lines = failureLines(log_);
        EXPECT_EQ(lines.size(), 1u) << log_.text();
        if (lines.empty()) return std::string();
        EXPECT_EQ(lines[0].rfind(operation + " failed: ", 0), 0u) << lines[0];
        return lines[0];
    }

    const unsigned long long jobId_ = 4711;
    fakehost::LogCapture log_;
    std::unique_ptr<testsupport::TempSettings> settings_;
};

// Every answer the client cannot use fails the call with one line that says why.
TEST_F(ClientTransport, UnusableAnswersFailWithOneLineNamingTheCause) {
    struct Case {
        int status;
        const char* body;
        const char* cause;
    };
    const Case cases[] = {
        {200, "{\"virtualServers\":[{\"virtualServerId\":1,", "malformed JSON"},
        {200, "", "empty answer where JSON was expected"},
        {200, "[1,2]", "not an object"},
        {200, "{}", "missing field [virtualServers] in [answer]"},
        {200, R"J({"virtualServers":{}})J", "field [virtualServers] of [answer] is not a list"},
        {200, R"J({"virtualServers":[{"name":"evs1","objectId":"3a"}]})J",
         "missing field [virtualServerId] in [virtual server]"},
        {200, R"J({"virtualServers":[{"virtualServerId":1,"name":"evs1"}]})J",
         "missing field [objectId] in [virtual server]"},
        {200, R"J({"virtualServers":[{"virtualServerId":-3,"name":"evs1","objectId":"3a"}]})J",
         "field [virtualServerId] of [virtual server] is not a number"},
        {200, R"J({"virtualServers":[{"virtualServerId":1,"name":"evs1","objectId":"3a","ipAddresses":"x"}]})J",
         "field [ipAddresses] of [virtual server] is not a list of texts"},
        {200, R"J({"virtualServers":[{"virtualServerId":1,"name":"other","objectId":"3a"}]})J",
         "no file-services virtual server is named or has the address [evs1] (1 listed)"},
        {400, R"J({"errorMsg":"Bad filter","errorDetail":{"message":"name is\nwrong"}})J",
         "HTTP status 400 on GET virtual-servers: errorMsg [Bad filter] detail [name is?wrong]"},
        {401, "", "HTTP status 401 on GET virtual-servers (the array refused the credentials)"},
        {500, "<html>oops</html>", "HTTP status 500 on GET virtual-servers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        fakehost::LogCapture log;
        LocalArray array([&](const LocalRequest&, LocalResponse& response) {
            answerJson(response, c.status, c.body);
        });
        __HNASVirtualServers server;
        EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        EXPECT_EQ(lines[0].rfind("getVirtualServerInfo failed: ", 0), 0u) << lines[0];
        EXPECT_TRUE(contains(lines[0], c.cause)) << lines[0];
    }
}

// A created snapshot whose answer lacks its object ID is a failure, not a
// snapshot with an empty ID.
TEST_F(ClientTransport, SnapshotAnswerWithoutObjectIdFails) {
    LocalArray array([](const LocalRequest&, LocalResponse& response) {
        answerJson(response, 201, R"J({"snapshot":{"displayName":"QZHNAS-u1-fs1","state":"X"}})J");
    });
    __HNASFileSystemSnapshot snapshot;
    EXPECT_FALSE(clientFor(array.port())->createFileSystemSnapshot("u1-fs1", "0A1B", "QZHNAS", snapshot));
    EXPECT_TRUE(contains(onlyFailure("createFileSystemSnapshot"), "missing field [objectId] in [snapshot]"));
}

TEST_F(ClientTransport, StalledArrayIsCutOffByTheRequestTimeOut) {
    useSettings("nRequestTimeoutSecs=1\nnRetryCount=1\n");
    LocalArray* self = nullptr;
    LocalArray array([&](const LocalRequest&, LocalResponse& response) {
        self->stall();
        answerJson(response, 200, kServers);
    });
    self = &array;
    const auto start = std::chrono::steady_clock::now();
    __HNASVirtualServers server;
    EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
    const double took = secondsSince(start);
    EXPECT_GE(took, 1.9);   // two tries of one second
    EXPECT_LT(took, 4.0);
    EXPECT_EQ(array.seen().size(), 2u);
    const std::string line = onlyFailure("getVirtualServerInfo");
    EXPECT_TRUE(contains(line, "time-out")) << line;
    EXPECT_TRUE(contains(line, "(after 1 retries)")) << line;
}

TEST_F(ClientTransport, ConnectFailureIsRetriedWithDoublingBackoff) {
    useSettings("nRetryBackoffMs=150\n");
    auto client = clientFor(closedPort());
    const auto start = std::chrono::steady_clock::now();
    std::string id;
    EXPECT_FALSE(client->getFileSystemID("fs1", id));
    EXPECT_GE(secondsSince(start), 0.45);   // 150 ms, then 300 ms
    const auto retries = clienttest::clientLines(log_, 1);
    int retryLines = 0;
    for (const std::string& line : retries) retryLines += contains(line, "; retry ") ? 1 : 0;
    EXPECT_EQ(retryLines, 2) << log_.text();
    const std::string line = onlyFailure("getFileSystemID");
    EXPECT_TRUE(contains(line, "cannot connect")) << line;
    EXPECT_TRUE(contains(line, "(after 2 retries)")) << line;
}

TEST_F(ClientTransport, RetrySettingsOutOfRangeAreNotedAndDefaultsKept) {
    useSettings("nRetryCount=99\nnRetryBackoffMs=1\nnRequestTimeoutSecs=0\nsApiVersion=../x\n");
    auto client = clientFor(closedPort());
    std::string id;
    EXPECT_FALSE(client->getFileSystemID("fs1", id));
    EXPECT_TRUE(log_.has(0, "Setting ignored: nRetryCount=99 (allowed 0..10; using 2)")) << log_.text();
    EXPECT_TRUE(log_.has(0, "Setting ignored: nRequestTimeoutSecs=0 (allowed 1..3600; using 60)"));
    EXPECT_TRUE(log_.has(0, "Setting ignored: sApiVersion=../x (using v7)"));
    EXPECT_TRUE(contains(onlyFailure("getFileSystemID"), "(after 2 retries)"));
}

// One kept-alive connection serves all the calls of one client, the requests
// that must never be sent twice included; the credentials travel in their
// headers and never in the request line.
TEST_F(ClientTransport, CallsShareOneConnectionAndCredentialsStayInHeaders) {
    useSettings("sApiVersion=v9\n");
    LocalArray array([](const LocalRequest& request, LocalResponse& response) {
        if (request.method != "POST")
            plainArray(request, response);
        else if (contains(request.path, "/rollback"))
            response.status = 204;
        else
            answerJson(response, 201, R"J({"snapshot":{"objectId":"5e5e","displayName":"QZHNAS-u1-fs1"}})J");
    });
    auto client = clientFor(array.port());
    __HNASVirtualServers server;
    __HNASFileSystemSnapshot snapshot;
    std::string id;
    ASSERT_TRUE(client->getVirtualServerInfo("evs1", server));
    ASSERT_TRUE(client->getFileSystemID("fs1", id));
    ASSERT_TRUE(client->createFileSystemSnapshot("u1-fs1", id, "QZHNAS", snapshot));
    ASSERT_TRUE(client->recoverFileSystemSnapshot(snapshot.objectId));
    ASSERT_TRUE(client->getVirtualServerInfo("192.0.2.10", server));
    EXPECT_EQ(id, "0A1B");
    EXPECT_EQ(server.objectId, "3a3a");
    EXPECT_EQ(server.uuid, "u-1");
    EXPECT_TRUE(server.isEnabled);
    const auto seen = array.seen();
    ASSERT_EQ(seen.size(), 5u);
    for (const auto& request : seen) {
        SCOPED_TRACE(request.target);
        EXPECT_EQ(request.remotePort, seen[0].remotePort);
        EXPECT_EQ(request.target.rfind("/v9/storage/", 0), 0u);
        EXPECT_FALSE(contains(request.target, kPassword));
        EXPECT_FALSE(contains(request.target, "supervisor"));
        EXPECT_EQ(request.header("X-Subsystem-User"), "supervisor");
        EXPECT_EQ(request.header("X-Subsystem-Password"), kPassword);
        EXPECT_EQ(request.header("Accept"), "application/json");
    }
    EXPECT_EQ(seen[1].target, "/v9/storage/filesystems?label=fs1");
    EXPECT_TRUE(contains(seen[2].body, "\"displayName\":\"u1-fs1\"")) << seen[2].body;
    EXPECT_EQ(seen[3].target, "/v9/storage/filesystem-snapshots/5e5e/rollback");
    EXPECT_TRUE(failureLines(log_).empty()) << log_.text();
}

TEST_F(ClientTransport, InitAgainPointsAtTheNextArray) {
    LocalArray first(plainArray);
    LocalArray second(plainArray);
    QzManageHNAS client(jobId_);
    __HNASVirtualServers server;
    ASSERT_TRUE(client.init("supervisor", kPassword, "FILE", "a", "127.0.0.1", first.port()));
    ASSERT_TRUE(client.getVirtualServerInfo("evs1", server));
    ASSERT_TRUE(client.init("other-user", "other-pw", "FILE", "b", "localhost", second.port()));
    ASSERT_TRUE(client.getVirtualServerInfo("evs1", server));
    EXPECT_EQ(first.seen().size(), 1u);
    ASSERT_EQ(second.seen().size(), 1u);
    EXPECT_EQ(second.seen()[0].header("X-Subsystem-User"), "other-user");
}

TEST_F(ClientTransport, IPv6AddressIsBracketed) {
    LocalArray array(plainArray, "::1");
    if (array.port() == 0) GTEST_SKIP() << "no IPv6 loopback here";
    __HNASVirtualServers server;
    EXPECT_TRUE(clientFor(array.port(), "::1")->getVirtualServerInfo("evs1", server)) << log_.text();
}

// An endpoint or credential that cannot be used fails init with one line,
// and every later call of that client fails without a request.
TEST_F(ClientTransport, UnusableEndpointFailsInitAndLaterCalls) {
    struct Case {
        const char* user;
        const char* address;
        int port;
        const char* cause;
    };
    const Case cases[] = {
        {"supervisor", "", 8444, "the array's address is empty"},
        {"supervisor", "evil.example/#", 8444, "holds a character a host name cannot hold"},
        {"supervisor", "user@host", 8444, "holds a character a host name cannot hold"},
        {"supervisor", "127.0.0.1", 0, "port 0 is outside 1..65535"},
        {"supervisor", "127.0.0.1", 70000, "port 70000 is outside 1..65535"},
        {"super\r\nX-Evil: 1", "127.0.0.1", 8444, "holds a line break"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address + std::string(":") + std::to_string(c.port));
        fakehost::LogCapture log;
        QzManageHNAS client(jobId_);
        EXPECT_FALSE(client.init(c.user, kPassword, "FILE", "ctl", c.address, c.port));
        std::string id;
        EXPECT_FALSE(client.getFileSystemID("fs1", id));
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 2u) << log.text();
        EXPECT_TRUE(contains(lines[0], "init failed: ") && contains(lines[0], c.cause)) << lines[0];
        EXPECT_EQ(lines[1], "getFileSystemID failed: no array endpoint (init failed or was not called)");
    }
}

TEST_F(ClientTransport, ServerCertificateFromAnotherCaIsRefused) {
    useSettings(std::string(), testsupport::otherCerts().ca);
    LocalArray array(plainArray);
    __HNASVirtualServers server;
    EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
    EXPECT_TRUE(array.seen().empty());
    const std::string line = onlyFailure("getVirtualServerInfo");
    EXPECT_TRUE(contains(line, "TLS certificate of the array not trusted")) << line;
}

TEST_F(ClientTransport, CaFileFromTheEnvironmentIsUsedWhenTheStoreNamesNone) {
    settings_.reset();
    settings_ = std::make_unique<testsupport::TempSettings>("[~Vorlane/HNASClient]\nnRetryCount=0\n");
    LocalArray array(plainArray);
    __HNASVirtualServers server;
    setenv("HNAS_CA_FILE", testsupport::serverCerts().ca.c_str(), 1);
    EXPECT_TRUE(clientFor(array.port())->getVirtualServerInfo("evs1", server)) << log_.text();
    setenv("HNAS_CA_FILE", "/nonexistent/ca.pem", 1);
    EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
    unsetenv("HNAS_CA_FILE");
    EXPECT_TRUE(contains(onlyFailure("getVirtualServerInfo"), "TLS CA file unusable"));
}

TEST_F(ClientTransport, InsecureSwitchSkipsVerificationAndWarnsOnEveryCall) {
    useSettings("nInsecure=1\n", testsupport::otherCerts().ca);
    LocalArray array(plainArray);
    auto client = clientFor(array.port());
    __HNASVirtualServers server;
    std::string id;
    EXPECT_TRUE(client->getVirtualServerInfo("evs1", server)) << log_.text();
    EXPECT_TRUE(client->getFileSystemID("fs1", id));
    const auto warnings = clienttest::clientLines(log_, 0);
    int count = 0;
    for (const std::string& line : warnings) count += contains(line, "WARNING") ? 1 : 0;
    EXPECT_EQ(count, 2) << log_.text();
    EXPECT_TRUE(log_.has(0, "WARNING: getFileSystemID talks to the array without verifying its TLS "
                            "certificate (insecure setting on)"));
}

// The password never reaches a log line, even when the array echoes it.
TEST_F(ClientTransport, PasswordNeverReachesTheLog) {
    LocalArray array([](const LocalRequest& request, LocalResponse& response) {
        const std::string password = request.header("X-Subsystem-Password");
        answerJson(response, 401, "{\"errorMsg\":\"bad password " + password + "\"}");
    });
    __HNASVirtualServers server;
    EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
    EXPECT_FALSE(clientFor(closedPort())->getVirtualServerInfo("evs1", server));
    useSettings(std::string(), testsupport::otherCerts().ca);
    EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
    const auto lines = log_.lines();
    ASSERT_FALSE(lines.empty());
    for (const EvLogLine& line : lines) EXPECT_FALSE(contains(line.message, kPassword)) << line.message;
    EXPECT_TRUE(contains(log_.text(), "errorMsg [bad password ********]")) << log_.text();
}

// The array's refusals of a roll-back (403 no licence, 400 too few
// checkpoints, 501 not supported), with its message or with no usable body
// at all: one failure line with the status and the message, if any, and
// never a word about JSON.
TEST_F(ClientTransport, RefusalsCarryTheStatusAndTheArraysMessageWithOrWithoutABody) {
    struct Case {
        int status;
        const char* body;
        const char* contentType;
        std::string line;
    };
    const std::string failed = "recoverFileSystemSnapshot failed: HTTP status ";
    const std::string on = " on POST filesystem-snapshots/5e5e/rollback";
    const std::string forbids =
        " (the array forbids the call: a read-only API key, a virtual server out of the key's reach, or a feature "
        "not licensed)";
    const std::string unsupported = " (the array does not support the call)";
    const Case cases[] = {
        {403, R"J({"errorMsg":"The rollback feature is not licensed"})J", "application/json",
         failed + "403" + on + forbids + ": errorMsg [The rollback feature is not licensed]"},
        {400, R"J({"errorMsg":"Not enough checkpoints","errorDetail":{"message":"12 of 128 taken"}})J",
         "application/json", failed + "400" + on + ": errorMsg [Not enough checkpoints] detail [12 of 128 taken]"},
        {501, "", "application/json", failed + "501" + on + unsupported},
        {501, "<html><body>Not Implemented</body></html>", "text/html", failed + "501" + on + unsupported},
        {400, "", "application/json", failed + "400" + on},
        {403, "Forbidden", "text/plain", failed + "403" + on + forbids},
        {500, "{\"errorMsg\":", "application/json", failed + "500" + on},
        {500, "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[", "application/json", failed + "500" + on},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        fakehost::LogCapture log;
        LocalArray array([&](const LocalRequest&, LocalResponse& response) {
            response.status = c.status;
            if (*c.body != '\0') {
                response.body = c.body;
                response.contentType = c.contentType;
            }
        });
        EXPECT_FALSE(clientFor(array.port())->recoverFileSystemSnapshot("5e5e"));
        EXPECT_EQ(array.seen().size(), 1u);   // a refusal is not sent again
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        EXPECT_EQ(lines[0], c.line);
    }
}

constexpr char kApiKey[] = "hnas-4pi-K3y-0123456789abcdef";

// With a key file set, the key travels as X-Api-Key and the user and
// password do not travel at all; the key is never logged, even when the
// array echoes it.
TEST_F(ClientTransport, ApiKeyReplacesUserAndPasswordAndNeverReachesTheLog) {
    TempFile keyFile(std::string(kApiKey) + "\n");
    useSettings("sApiKeyFile=" + keyFile.path() + "\n");
    LocalArray array([](const LocalRequest& request, LocalResponse& response) {
        if (request.method == "GET")
            plainArray(request, response);
        else
            answerJson(response, 403, "{\"errorMsg\":\"key " + request.header("X-Api-Key") +
                                          " is read-only\"}");
    });
    auto client = clientFor(array.port());
    __HNASVirtualServers server;
    ASSERT_TRUE(client->getVirtualServerInfo("evs1", server)) << log_.text();
    EXPECT_FALSE(client->recoverFileSystemSnapshot("5e5e"));
    for (const auto& request : array.seen()) {
        SCOPED_TRACE(request.target);
        EXPECT_EQ(request.header("X-Api-Key"), kApiKey);
        EXPECT_EQ(request.headerCount("X-Subsystem-User"), 0u);
        EXPECT_EQ(request.headerCount("X-Subsystem-Password"), 0u);
    }
    EXPECT_TRUE(contains(onlyFailure("recoverFileSystemSnapshot"), "errorMsg [key ******** is read-only]"));
    EXPECT_FALSE(contains(log_.text(), "is readable by other users"));   // the file's mode is 0600
    chmod(keyFile.path().c_str(), 0644);
    clientFor(array.port());
    EXPECT_TRUE(log_.has(0, "WARNING: the API key file [" + keyFile.path() +
                                "] is readable by other users of this host; limit it to the backup service"));
    EXPECT_TRUE(log_.has(1, "Array endpoint [https://127.0.0.1:" + std::to_string(array.port()) +
                                "/v7/storage/] API key file [" + keyFile.path() + "] CA file [" +
                                testsupport::serverCerts().ca + "]"))
        << log_.text();
    for (const EvLogLine& line : log_.lines()) {
        EXPECT_FALSE(contains(line.message, kApiKey)) << line.message;
        EXPECT_FALSE(contains(line.message, kPassword)) << line.message;
    }
}

// A key file that cannot be used fails init with a line naming the file,
// and every later call fails without a request: the client never falls
// back to the user and password when a key was asked for.
TEST_F(ClientTransport, UnusableApiKeyFileFailsInitAndLaterCalls) {
    TempFile empty("\n");
    const std::string cases[][2] = {
        {"/nonexistent/api.key", "init failed: cannot read the API key file [/nonexistent/api.key]: No such file"},
        {empty.path(), "init failed: the API key file [" + empty.path() + "] holds no key"},
    };
    LocalArray array(plainArray);
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        useSettings("sApiKeyFile=" + c[0] + "\n");
        fakehost::LogCapture log;
        QzManageHNAS client(jobId_);
        EXPECT_FALSE(client.init("supervisor", kPassword, "FILE", "ctl", "127.0.0.1", array.port()));
        __HNASVirtualServers server;
        EXPECT_FALSE(client.getVirtualServerInfo("evs1", server));
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 2u) << log.text();
        EXPECT_EQ(lines[0].rfind(c[1], 0), 0u) << lines[0];
        EXPECT_EQ(lines[1], "getVirtualServerInfo failed: no array endpoint (init failed or was not called)");
    }
    EXPECT_TRUE(array.seen().empty());
}

// An array's own section (control host and port) gives that array its key,
// or none: each init reads the section of the array it is given, so a key
// meant for one array never travels to another, and an array without key
// or user fails init without a request.
TEST_F(ClientTransport, EachArraySendsTheKeyOfItsOwnSection) {
    TempFile keyA("key-of-array-a\n");
    TempFile keyGlobal("key-of-the-host\n");
    LocalArray array(plainArray);
    const std::string port = std::to_string(array.port());
    struct Case {
        const char* what;
        std::string settings;       // after the client's section
        const char* controlHost;
        const char* user;
        const char* key;            // sent as X-Api-Key; null: the user and password are sent
        const char* initFailure;    // null: init succeeds
    };
    const Case cases[] = {
        {"its own key", "[~Vorlane/HNASClient/ctl-a:" + port + "]\nsApiKeyFile=" + keyA.path() + "\n", "ctl-a", "",
         "key-of-array-a", nullptr},
        {"another array's section is not its own",
         "[~Vorlane/HNASClient/ctl-a:" + port + "]\nsApiKeyFile=" + keyA.path() + "\n", "ctl-b", "supervisor",
         nullptr, nullptr},
        {"the port is part of the name", "[~Vorlane/HNASClient/ctl-a:1]\nsApiKeyFile=" + keyA.path() + "\n",
         "ctl-a", "supervisor", nullptr, nullptr},
        {"its own key before the host's",
         "sApiKeyFile=" + keyGlobal.path() + "\n[~Vorlane/HNASClient/ctl-a:" + port + "]\nsApiKeyFile=" +
             keyA.path() + "\n",
         "ctl-a", "", "key-of-array-a", nullptr},
        {"the host's key where it has none", "sApiKeyFile=" + keyGlobal.path() + "\n", "ctl-b", "",
         "key-of-the-host", nullptr},
        {"an empty own key keeps to the user",
         "sApiKeyFile=" + keyGlobal.path() + "\n[~Vorlane/HNASClient/ctl-a:" + port + "]\nsApiKeyFile=\n", "ctl-a",
         "supervisor", nullptr, nullptr},
        {"no key and no user", "", "ctl-a", "", nullptr,
         "init failed: no credentials for control host ctl-a port "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        useSettings(c.settings);
        const size_t before = array.seen().size();
        fakehost::LogCapture log;
        QzManageHNAS client(jobId_);
        __HNASVirtualServers server;
        const bool initialised = client.init(c.user, kPassword, "FILE", c.controlHost, "127.0.0.1", array.port());
        EXPECT_EQ(initialised, c.initFailure == nullptr) << log.text();
        if (c.initFailure != nullptr) {
            const auto lines = failureLines(log);
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines[0].rfind(c.initFailure, 0), 0u) << lines[0];
            EXPECT_EQ(array.seen().size(), before);
            continue;
        }
        ASSERT_TRUE(client.getVirtualServerInfo("evs1", server)) << log.text();
        ASSERT_EQ(array.seen().size(), before + 1);
        const LocalRequest request = array.seen().back();
        if (c.key != nullptr) {
            EXPECT_EQ(request.header("X-Api-Key"), c.key);
            EXPECT_EQ(request.headerCount("X-Subsystem-Password"), 0u);
        } else {
            EXPECT_EQ(request.headerCount("X-Api-Key"), 0u);
            EXPECT_EQ(request.header("X-Subsystem-User"), c.user);
        }
    }
}

// Resident memory in KiB as /proc/self/status tells it ("VmRSS", "VmHWM").
long residentKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// How far resident memory rose above its level before `call` while it ran,
// in MiB: freed memory is handed back first and the peak mark reset, so
// the rise is the call's own.
double peakRiseMiB(const std::function<void()>& call) {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = residentKiB("VmRSS");
    call();
    return static_cast<double>(residentKiB("VmHWM") - before) / 1024.0;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasurable = false;   // the sanitizer's shadow and quarantine
#else
constexpr bool kMemoryMeasurable = true;
#endif

// Answers of 32 MB that a plain parse turns into a tree of many times their
// size: refused while parsing, with memory near the answer's own size; the
// one that only the budget stops stays within answer + budget. A real list
// of that size is read.
TEST_F(ClientTransport, HostileAnswersOf32MBAreRefusedWithinBoundedMemory) {
    useSettings("nRequestTimeoutSecs=60\nnRetryCount=0\n");
    const size_t size = 32000000;
    auto fill = [size](std::string head, const std::string& unit, const std::string& tail) {
        head.reserve(size);
        while (head.size() + unit.size() + tail.size() <= size) head += unit;
        return head + tail;
    };
    struct Case {
        const char* name;
        std::string body;
        const char* cause;
        double boundMiB;   // of the rise in resident memory
    };
    const double answerMiB = size / 1048576.0;
    const char* kLongRun = "the answer holds more than 65536 brackets, commas, blanks or literals in a row";
    const Case cases[] = {
        {"nested lists", std::string(size, '['), kLongRun, 1.5 * answerMiB},
        {"flat zeros", fill("[0", ",0", "]"), "the answer is JSON but not an object", 1.5 * answerMiB},
        {"nested lists in an object", fill("{\"virtualServers\":", "[", ""), kLongRun, 1.5 * answerMiB},
        {"flat zeros in an object", fill("{\"virtualServers\":[0", ",0", "]}"),
         "the answer holds a list whose entries are not all objects or all texts", 1.5 * answerMiB},
        {"nested objects", fill("{", "\"a\":{", ""), "the answer nests deeper than 8 levels", 1.5 * answerMiB},
        {"flat empty objects", fill("{\"virtualServers\":[{}", ",{}", "]}"), kLongRun, 1.5 * answerMiB},
        {"flat tiny objects", fill("{\"virtualServers\":[{\"a\":0}", ",{\"a\":0}", "]}"),
         "the answer would take more than ", (managehnas::kAnswerBudgetFactor + 1.5) * answerMiB},
        {"flat tiny objects under a member the call does not read", fill("{\"junk\":[{\"a\":0}", ",{\"a\":0}", "]}"),
         "missing field [virtualServers] in [answer]", 1.5 * answerMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LE(c.body.size(), size);
        fakehost::LogCapture log;
        const std::string& body = c.body;
        LocalArray array([&](const LocalRequest&, LocalResponse& response) {
            streamInPieces(response, body);
        });
        bool done = true;
        const double rise = peakRiseMiB([&] {
            __HNASVirtualServers server;
            done = clientFor(array.port())->getVirtualServerInfo("evs1", server);
        });
        EXPECT_FALSE(done);
        const auto lines = failureLines(log);
        ASSERT_EQ(lines.size(), 1u) << log.text();
        EXPECT_TRUE(contains(lines[0], c.cause)) << lines[0];
        std::printf("[ measured ] %s: %.1f MB answer, resident memory rose %.1f MiB\n", c.name, size / 1e6, rise);
        if (kMemoryMeasurable) {
            EXPECT_LT(rise, c.boundMiB);
        }
    }

    // A real snapshot list of the same size: read whole.
    std::string list = "{\"snapshots\":[";
    size_t entries = 0;
    const std::string id(200, 'a');
    while (list.size() < size - 1000) {
        if (entries > 0) list += ",";
        list += R"J({"objectId":")J" + id + std::to_string(entries) + R"J(","displayName":"QZHNAS-)J" +
                std::to_string(entries) + R"J(-fs1","filesystemId":"0A1B","state":"SNAPSHOT_MANAGEMENT_STATE_USABLE",)J"
                R"J("creationReason":"SNAPSHOT_CREATED_BY_APPLICATION","creationTime":"1765370000"})J";
        ++entries;
    }
    list += "]}";
    LocalArray array([&](const LocalRequest& request, LocalResponse& response) {
        if (!contains(request.path, "/filesystem-snapshots/")) return plainArray(request, response);
        streamInPieces(response, list);
    });
    std::vector<__HNASFileSystemSnapshot> all;
    bool done = false;
    const double rise = peakRiseMiB([&] { done = clientFor(array.port())->getAllSnapshots(all); });
    EXPECT_TRUE(done) << log_.text();
    EXPECT_EQ(all.size(), entries);
    std::printf("[ measured ] real snapshot list: %.1f MB answer, %zu entries, resident memory rose %.1f MiB\n",
                static_cast<double>(list.size()) / 1e6, entries, rise);
}

}  // namespace

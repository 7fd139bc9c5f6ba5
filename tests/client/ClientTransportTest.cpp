// The client's transport against small local HTTPS servers: answers the
// simulator never gives (malformed JSON, missing fields, stalls, echoed
// passwords), time-outs, retries, certificates, connection reuse.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "host/QzManageHNAS.h"
#include "tests/client/ClientLogCheck.h"
#include "tests/client/LocalArray.h"
#include "tests/client/TestCerts.h"
#include "tests/support/TempSettings.h"

namespace {

using clienttest::answerJson;
using clienttest::contains;
using clienttest::failureLines;
using clienttest::LocalArray;

constexpr char kPassword[] = "Pa55-w0rd!x";
constexpr char kServers[] =
    R"J({"virtualServers":[{"virtualServerId":1,"name":"evs1","objectId":"3a3a","UUID":"u-1",)J"
    R"J("ipAddresses":["192.0.2.10"],"isEnabled":true,"status":"ONLINE","type":"File services"}]})J";
constexpr char kFileSystems[] = R"J({"filesystems":[{"filesystemId":"0A1B","label":"fs1"}]})J";

// Answers the virtual-server and file-system lists; anything else 404.
void plainArray(const httplib::Request& request, httplib::Response& response) {
    if (contains(request.path, "/virtual-servers"))
        answerJson(response, 200, kServers);
    else if (contains(request.path, "/filesystems"))
        answerJson(response, 200, kFileSystems);
    else
        answerJson(response, 404, R"J({"errorMsg":"no such object"})J");
}

// A loopback port with nothing listening on it.
int closedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

std::string header(const httplib::Headers& headers, const char* key) {
    const auto found = headers.find(key);
    return found == headers.end() ? std::string() : found->second;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class ClientTransport : public ::testing::Test {
protected:
    // Settings for the test: the test CA, short time-outs, plus `extra`.
    void useSettings(const std::string& extra = std::string(),
                     const std::string& caFile = clienttest::serverCerts().ca) {
        settings_.reset();
        settings_ = std::make_unique<testsupport::TempSettings>(clienttest::clientSettings(caFile, extra));
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
        LocalArray array([&](const httplib::Request&, httplib::Response& response) {
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
    LocalArray array([](const httplib::Request&, httplib::Response& response) {
        answerJson(response, 201, R"J({"snapshot":{"displayName":"QZHNAS-u1-fs1","state":"X"}})J");
    });
    __HNASFileSystemSnapshot snapshot;
    EXPECT_FALSE(clientFor(array.port())->createFileSystemSnapshot("u1-fs1", "0A1B", "QZHNAS", snapshot));
    EXPECT_TRUE(contains(onlyFailure("createFileSystemSnapshot"), "missing field [objectId] in [snapshot]"));
}

TEST_F(ClientTransport, StalledArrayIsCutOffByTheRequestTimeOut) {
    useSettings("nRequestTimeoutSecs=1\nnRetryCount=1\n");
    LocalArray* self = nullptr;
    LocalArray array([&](const httplib::Request&, httplib::Response& response) {
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
    LocalArray array([](const httplib::Request& request, httplib::Response& response) {
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
        EXPECT_EQ(header(request.headers, "X-Subsystem-User"), "supervisor");
        EXPECT_EQ(header(request.headers, "X-Subsystem-Password"), kPassword);
        EXPECT_EQ(header(request.headers, "Accept"), "application/json");
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
    EXPECT_EQ(header(second.seen()[0].headers, "X-Subsystem-User"), "other-user");
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
    useSettings(std::string(), clienttest::otherCerts().ca);
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
    setenv("HNAS_CA_FILE", clienttest::serverCerts().ca.c_str(), 1);
    EXPECT_TRUE(clientFor(array.port())->getVirtualServerInfo("evs1", server)) << log_.text();
    setenv("HNAS_CA_FILE", "/nonexistent/ca.pem", 1);
    EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
    unsetenv("HNAS_CA_FILE");
    EXPECT_TRUE(contains(onlyFailure("getVirtualServerInfo"), "TLS CA file unusable"));
}

TEST_F(ClientTransport, InsecureSwitchSkipsVerificationAndWarnsOnEveryCall) {
    useSettings("nInsecure=1\n", clienttest::otherCerts().ca);
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
    LocalArray array([](const httplib::Request& request, httplib::Response& response) {
        const std::string password = request.get_header_value("X-Subsystem-Password");
        answerJson(response, 401, "{\"errorMsg\":\"bad password " + password + "\"}");
    });
    __HNASVirtualServers server;
    EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
    EXPECT_FALSE(clientFor(closedPort())->getVirtualServerInfo("evs1", server));
    useSettings(std::string(), clienttest::otherCerts().ca);
    EXPECT_FALSE(clientFor(array.port())->getVirtualServerInfo("evs1", server));
    const auto lines = log_.lines();
    ASSERT_FALSE(lines.empty());
    for (const EvLogLine& line : lines) EXPECT_FALSE(contains(line.message, kPassword)) << line.message;
    EXPECT_TRUE(contains(log_.text(), "errorMsg [bad password ********]")) << log_.text();
}

}  // namespace

// The HTTPS client under transport faults, for every operation the plug-in
// calls: a refused connection, a stalled server, HTTP 500, malformed JSON,
// an answer without its fields, a certificate from another CA, and a
// connection closed half-way through the answer. Each row must end as a
// failed call, with one failure line naming the operation, within the
// time-outs, and without the password in any line. (The transport tests
// cover each fault for one operation; this table covers every operation.)
// A busy array (503 or 429, with or without Retry-After) gets every request
// repeated, changes included, after the wait it asks for or the back-off,
// waited through the platform's sleep, which the test takes over.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/QzManageHNAS.h"
#include "tests/client/ClientLogCheck.h"
#include "tests/client/LocalArray.h"
#include "tests/client/SleepRecord.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/ClosedPort.h"
#include "tests/support/TempSettings.h"

namespace {

using clienttest::contains;
using clienttest::LocalArray;
using testsupport::closedPort;

constexpr char kPassword[] = "Fault-Pa55!word";

struct Operation {
    const char* name;
    std::function<bool(QzManageHNAS&)> call;
    bool readsAnswer;   // false: the call needs no field of a 2xx answer
};

std::vector<Operation> operations() {
    return {
        {"getVirtualServerInfo", [](QzManageHNAS& c) { __HNASVirtualServers s; return c.getVirtualServerInfo("evs1", s); }, true},
        {"getFileSystemID", [](QzManageHNAS& c) { std::string id; return c.getFileSystemID("fs1", id); }, true},
        {"getFileSystemID", [](QzManageHNAS& c) {
             __HNASVirtualServers s;
             s.objectId = "3a3a";
             std::string id;
             return c.getFileSystemID(s, "data", "CIFS", id);
         }, true},
        {"getFileSystemsInfo", [](QzManageHNAS& c) {
             std::vector<__HNASFileSystemInfo> list;
             return c.getFileSystemsInfo("0A1B", list);
         }, true},
        {"getFilesystemShares", [](QzManageHNAS& c) {
             __HNASVirtualServers s;
             s.objectId = "3a3a";
             std::vector<__HNASFileSystemShares> shares(1);
             shares[0].name = "data";
             return c.getFilesystemShares(s, "CIFS", shares, true);
         }, true},
        {"createFileSystemSnapshot", [](QzManageHNAS& c) {
             __HNASFileSystemSnapshot snap;
             return c.createFileSystemSnapshot("u1-fs1", "0A1B", "QZHNAS", snap);
         }, true},
        {"isSharePresent", [](QzManageHNAS& c) {
             __HNASVirtualServers s;
             s.objectId = "3a3a";
             return c.isSharePresent("QZHNAS-u1-fs1", s, "CIFS");
         }, true},
        {"createFileSystemShare", [](QzManageHNAS& c) {
             __HNASFileSystemShares share;
             return c.createFileSystemShare("QZHNAS-u1-QZShare", "1", "0A1B", "\\.snapshot\\QZHNAS-u1-fs1", "CIFS",
                                            share, false);
         }, true},
        {"deleteFileSystemShare", [](QzManageHNAS& c) {
             __HNASVirtualServers s;
             s.objectId = "3a3a";
             return c.deleteFileSystemShare("QZHNAS-u1-QZShare", s, "CIFS");
         }, true},
        {"deleteFileSystemSnapshot", [](QzManageHNAS& c) {
             __HNASFileSystemSnapshot snap;
             snap.fileSystemId = "0A1B";
             snap.name = "QZHNAS-u1-fs1";
             return c.deleteFileSystemSnapshot(snap, "QZHNAS");
         }, true},
        {"recoverFileSystemSnapshot", [](QzManageHNAS& c) { return c.recoverFileSystemSnapshot("51a1"); }, false},
        {"getAllSnapshots", [](QzManageHNAS& c) {
             std::vector<__HNASFileSystemSnapshot> list;
             return c.getAllSnapshots(list);
         }, true},
        {"getAllSnapshots", [](QzManageHNAS& c) {
             std::vector<__HNASFileSystemSnapshot> list;
             std::vector<__HNASFileSystemInfo> unlisted;
             return c.getAllSnapshots(list, unlisted);
         }, true},
    };
}

enum class Fault { Refused, Stalled, Http500, MalformedJson, MissingField, WrongCertificate, ClosedMidAnswer };

const char* faultName(Fault f) {
    switch (f) {
        case Fault::Refused: return "refused";
        case Fault::Stalled: return "stalled";
        case Fault::Http500: return "http500";
        case Fault::MalformedJson: return "malformedJson";
        case Fault::MissingField: return "missingField";
        case Fault::WrongCertificate: return "wrongCertificate";
        case Fault::ClosedMidAnswer: return "closedMidAnswer";
    }
    return "?";
}

// A part of every failure line that tells the cause.
const char* causeOf(Fault f) {
    switch (f) {
        case Fault::Refused: return "cannot connect";
        case Fault::Stalled: return "time-out";
        case Fault::Http500: return "HTTP status 500";
        case Fault::MalformedJson: return "malformed JSON";
        case Fault::MissingField: return "missing field";
        case Fault::WrongCertificate: return "TLS certificate of the array not trusted";
        case Fault::ClosedMidAnswer: return "transfer closed";
    }
    return "";
}

const Fault kFaults[] = {Fault::Refused,      Fault::Stalled,          Fault::Http500,        Fault::MalformedJson,
                         Fault::MissingField, Fault::WrongCertificate, Fault::ClosedMidAnswer};

// One connect time-out and one request time-out of a second, no retries:
// every row ends within a few seconds.
const double kBoundSeconds = 3.5;

TEST(ClientFaultTable, EveryOperationFailsWithinTheTimeOutsUnderEveryFault) {
    for (Fault fault : kFaults) {
        const std::string ca = fault == Fault::WrongCertificate ? testsupport::otherCerts().ca
                                                                : testsupport::serverCerts().ca;
        testsupport::TempSettings settings(
            testsupport::clientSettings(ca, "nConnectTimeoutSecs=1\nnRequestTimeoutSecs=1\nnRetryCount=0\n"));
        for (const Operation& op : operations()) {
            if (!op.readsAnswer && (fault == Fault::MalformedJson || fault == Fault::MissingField)) continue;
            SCOPED_TRACE(std::string(faultName(fault)) + " " + op.name);
            fakehost::LogCapture log;
            LocalArray* self = nullptr;
            LocalArray array([&](const clienttest::LocalRequest&, clienttest::LocalResponse& response) {
                switch (fault) {
                    case Fault::Stalled: self->stall(); clienttest::answerJson(response, 200, "{}"); break;
                    case Fault::Http500: clienttest::answerJson(response, 500, "{\"errorMsg\":\"internal\"}"); break;
                    case Fault::MalformedJson: clienttest::answerJson(response, 200, "{\"virtualServers\":[{\"na"); break;
                    case Fault::MissingField: clienttest::answerJson(response, 200, "{\"unrelated\":1}"); break;
                    case Fault::ClosedMidAnswer:
                        // Announce 4096 bytes, send 12, then drop the connection.
                        response.contentType = "application/json";
                        response.streamLength = 4096;
                        response.stream = [](size_t, std::string& piece) {
                            piece = "{\"snapshots\"";
                            return false;
                        };
                        break;
                    default: clienttest::answerJson(response, 200, "{}"); break;
                }
            });
            self = &array;
            const int port = fault == Fault::Refused ? closedPort() : array.port();
            QzManageHNAS client(4711);
            client.init("supervisor", kPassword, "FILE", "ctl", "127.0.0.1", port);

            const auto start = std::chrono::steady_clock::now();
            const bool done = op.call(client);
            const double took =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            array.release();

            EXPECT_FALSE(done);
            EXPECT_LT(took, kBoundSeconds);
            const auto failures = clienttest::failureLines(log);
            ASSERT_EQ(1u, failures.size()) << log.text();
            EXPECT_EQ(0u, failures[0].rfind(std::string(op.name) + " failed: ", 0)) << failures[0];
            EXPECT_TRUE(contains(failures[0], causeOf(fault))) << failures[0];
            for (const EvLogLine& line : log.lines()) EXPECT_FALSE(contains(line.message, kPassword)) << line.message;
        }
    }
}

TEST(ClientFaultTable, EveryOperationRepeatsABusyAnswerAfterTheWaitItAsks) {
    static const struct {
        const char* name;
        int status;
        const char* retryAfter;   // nullptr: no header
        std::vector<int> waits;   // with nRetryBackoffMs=100 and nRetryCount=2; none: not repeated
    } cases[] = {
        {"503 with Retry-After", 503, "3", {3000, 3000}},
        {"429 without", 429, nullptr, {100, 200}},
        {"503 asking for more than a minute", 503, "86400", {60000, 60000}},
        {"503 with a date", 503, "Wed, 21 Oct 2026 07:28:00 GMT", {100, 200}},
        // Not busy: the array may have handled it, so it never goes again.
        {"500 with Retry-After", 500, "1", {}},
        {"502", 502, nullptr, {}},
    };
    testsupport::TempSettings settings(testsupport::clientSettings(
        testsupport::serverCerts().ca, "nConnectTimeoutSecs=1\nnRequestTimeoutSecs=1\nnRetryCount=2\nnRetryBackoffMs=100\n"));
    for (const auto& c : cases) {
        for (const Operation& op : operations()) {
            SCOPED_TRACE(std::string(c.name) + " " + op.name);
            fakehost::LogCapture log;
            clienttest::SleepRecord sleeps;
            LocalArray array([&](const clienttest::LocalRequest&, clienttest::LocalResponse& response) {
                clienttest::answerJson(response, c.status, "{\"errorMsg\":\"server busy\"}");
                if (c.retryAfter != nullptr) response.headers.emplace_back("Retry-After", c.retryAfter);
            });
            QzManageHNAS client(4711);
            ASSERT_TRUE(client.init("supervisor", kPassword, "FILE", "ctl", "127.0.0.1", array.port()));

            const auto start = std::chrono::steady_clock::now();
            EXPECT_FALSE(op.call(client));
            const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_LT(took, kBoundSeconds);

            // Busy: the first request, sent three times (the array refused
            // it unhandled, so even a change goes again). Otherwise no
            // request goes twice (a failed change may be looked up after).
            const bool busy = !c.waits.empty();
            const auto seen = array.seen();
            ASSERT_FALSE(seen.empty());
            if (busy) {
                EXPECT_EQ(3u, seen.size());
            }
            size_t sameAsFirst = 0;
            for (const auto& request : seen)
                sameAsFirst += request.method == seen[0].method && request.target == seen[0].target &&
                               request.body == seen[0].body;
            EXPECT_EQ(busy ? 3u : 1u, sameAsFirst);
            EXPECT_EQ(c.waits, sleeps.waits());
            const auto failures = clienttest::failureLines(log);
            ASSERT_EQ(1u, failures.size()) << log.text();
            EXPECT_EQ(0u, failures[0].rfind(std::string(op.name) + " failed: ", 0)) << failures[0];
            EXPECT_TRUE(contains(failures[0], "HTTP status " + std::to_string(c.status))) << failures[0];
            EXPECT_TRUE(contains(failures[0], "server busy")) << failures[0];
            EXPECT_EQ(busy, contains(failures[0], "(the array is busy)")) << failures[0];
            EXPECT_EQ(busy, contains(failures[0], "(after 2 retries)")) << failures[0];
            for (const EvLogLine& line : log.lines()) EXPECT_FALSE(contains(line.message, kPassword)) << line.message;
        }
    }
}

}  // namespace

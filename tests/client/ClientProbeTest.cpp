// The client's probe against a running hnas-arraysim (and, for an array that
// never answers, a stalling local server): each phase reported in order with
// its time, the first failure with the client's class and message, and the
// request sent once.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/QzManageHNAS.h"
#include "tests/client/ClientLogCheck.h"
#include "tests/client/LocalArray.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/ClosedPort.h"
#include "tests/support/TempSettings.h"

namespace {

using clienttest::contains;
using clienttest::failureLines;
using testsupport::kSimPassword;
using testsupport::kSimUser;

const std::vector<QzProbeStep> kAllSteps = {
    QzProbeStep::Resolve,    QzProbeStep::Connect,     QzProbeStep::Tls,          QzProbeStep::Http,
    QzProbeStep::ApiVersion, QzProbeStep::Credentials, QzProbeStep::VirtualServer};

enum class Endpoint { Simulator, ClosedPort, Unresolvable, Unusable };
enum class Ca { Simulators, Other, Missing };

struct ProbeCase {
    const char* name;
    Endpoint endpoint;
    Ca ca;
    const char* extraSettings;
    const char* password;
    const char* arrayId;
    // Expected: the last phase reported and how it ended (None: every
    // phase passed), the array's status on it, whether the client repeats
    // such a failure, and a part of its message.
    QzProbeStep last;
    QzProbeFailure failure;
    long status;
    bool retried;
    const char* inMessage;
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

const ProbeCase kCases[] = {
    {"healthy", Endpoint::Simulator, Ca::Simulators, "", kSimPassword, "evs1", QzProbeStep::VirtualServer,
     QzProbeFailure::None, 200, false, "evs1: virtual server evs1 (192.0.2.10, 192.0.2.11)"},
    {"by_address", Endpoint::Simulator, Ca::Simulators, "", kSimPassword, "192.0.2.11", QzProbeStep::VirtualServer,
     QzProbeFailure::None, 200, false, "192.0.2.11: virtual server evs1"},
    {"unresolvable_name", Endpoint::Unresolvable, Ca::Simulators, "", kSimPassword, "evs1", QzProbeStep::Resolve,
     QzProbeFailure::CannotResolve, 0, false, "cannot resolve the array's address"},
    {"closed_port", Endpoint::ClosedPort, Ca::Simulators, "", kSimPassword, "evs1", QzProbeStep::Connect,
     QzProbeFailure::CannotConnect, 0, true, "cannot connect"},
    {"untrusted_ca", Endpoint::Simulator, Ca::Other, "", kSimPassword, "evs1", QzProbeStep::Tls,
     QzProbeFailure::Untrusted, 0, false, "not trusted"},
    {"missing_ca_file", Endpoint::Simulator, Ca::Missing, "", kSimPassword, "evs1", QzProbeStep::Tls,
     QzProbeFailure::CaFileUnusable, 0, false, "CA file unusable"},
    {"insecure_with_untrusted_ca", Endpoint::Simulator, Ca::Other, "nInsecure=1\n", kSimPassword, "evs1",
     QzProbeStep::VirtualServer, QzProbeFailure::None, 200, false, "virtual server evs1"},
    {"version_not_served", Endpoint::Simulator, Ca::Simulators, "sApiVersion=v99\n", kSimPassword, "evs1",
     QzProbeStep::ApiVersion, QzProbeFailure::HttpStatus, 404, false, "HTTP status 404"},
    {"wrong_password", Endpoint::Simulator, Ca::Simulators, "", "Wrong-pw-1", "evs1", QzProbeStep::Credentials,
     QzProbeFailure::HttpStatus, 401, false, "HTTP status 401"},
    {"unknown_array_id", Endpoint::Simulator, Ca::Simulators, "", kSimPassword, "evs9",
     QzProbeStep::VirtualServer, QzProbeFailure::NoVirtualServer, 200, false, "[evs9]"},
    // init refuses the endpoint: the probe reports that in its first record.
    {"unusable_endpoint", Endpoint::Unusable, Ca::Simulators, "", kSimPassword, "evs1", QzProbeStep::Resolve,
     QzProbeFailure::Setup, 0, false, "init failed or was not called"},
};

class ClientProbe : public ::testing::TestWithParam<ProbeCase> {
protected:
    static void SetUpTestSuite() { sim_ = new testsupport::Simulator(testsupport::standardSeed()); }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }

    static testsupport::Simulator* sim_;
    fakehost::LogCapture log_;
};

testsupport::Simulator* ClientProbe::sim_ = nullptr;

std::string caFile(Ca ca) {
    switch (ca) {
        case Ca::Simulators:
            return testsupport::serverCerts().ca;
        case Ca::Other:
            return testsupport::otherCerts().ca;
        case Ca::Missing:
            break;
    }
    return "/nonexistent/hnas-probe-ca.pem";
}

TEST_P(ClientProbe, ReportsEachPhaseUpToTheFirstFailureWithItsClass) {
    const ProbeCase& c = GetParam();
    ASSERT_TRUE(sim_->started()) << "hnas-arraysim did not come up";
    testsupport::TempSettings settings(testsupport::clientSettings(caFile(c.ca), c.extraSettings));
    std::string address = "127.0.0.1";
    int port = sim_->port();
    if (c.endpoint == Endpoint::ClosedPort) port = testsupport::closedPort();
    if (c.endpoint == Endpoint::Unresolvable) address = "no-such-array.invalid";
    if (c.endpoint == Endpoint::Unusable) address = "bad/address";
    QzManageHNAS client(7);
    EXPECT_EQ(c.endpoint != Endpoint::Unusable, client.init(kSimUser, c.password, "FILE", "ctl", address, port));

    std::vector<QzProbePhase> phases;
    const bool passed = client.probe(c.arrayId, phases);

    EXPECT_EQ(c.failure == QzProbeFailure::None, passed);
    ASSERT_EQ(phases.size(), static_cast<size_t>(c.last) + 1) << log_.text();
    for (size_t i = 0; i < phases.size(); ++i) {
        const QzProbePhase& phase = phases[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(phase.step, kAllSteps[i]);
        EXPECT_FALSE(contains(phase.message, c.password)) << phase.message;
        EXPECT_FALSE(phase.message.empty());
        const bool last = i + 1 == phases.size();
        if (!last || c.failure == QzProbeFailure::None) {
            EXPECT_TRUE(phase.passed) << phase.message;
            EXPECT_EQ(phase.failure, QzProbeFailure::None);
        }
        // The transport phases carry libcurl's times; the rest share the answer.
        if (c.failure != QzProbeFailure::Setup) {
            if (phase.step <= QzProbeStep::Http) {
                EXPECT_GE(phase.micros, 0);
            } else {
                EXPECT_EQ(phase.micros, -1);
            }
        }
        if (phase.step == QzProbeStep::Tls && phase.passed) {
            EXPECT_EQ(phase.verified, !contains(c.extraSettings, "nInsecure=1")) << phase.message;
        }
    }
    const QzProbePhase& end = phases.back();
    EXPECT_EQ(end.passed, c.failure == QzProbeFailure::None);
    EXPECT_EQ(end.failure, c.failure);
    EXPECT_EQ(end.httpStatus, c.status);
    EXPECT_EQ(end.retried, c.retried);
    EXPECT_TRUE(contains(end.message, c.inMessage)) << end.message;
    if (c.ca == Ca::Simulators && phases.size() > 2 && phases[2].passed) {
        EXPECT_TRUE(contains(phases[2].message, "trusted by CA file " + caFile(c.ca))) << phases[2].message;
    }

    // A failed probe logs its one failure line like any call, with the same
    // message; init's own line comes first when init failed.
    const auto lines = failureLines(log_);
    const size_t expected = (c.failure == QzProbeFailure::None ? 0u : 1u) + (c.endpoint == Endpoint::Unusable ? 1u : 0u);
    ASSERT_EQ(lines.size(), expected) << log_.text();
    if (expected > 0) {
        EXPECT_TRUE(contains(lines.back(), "probe failed: " + end.message)) << lines.back();
    }
}

INSTANTIATE_TEST_SUITE_P(Setups, ClientProbe, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ProbeCase>& test) { return test.param.name; });

// The probe sends its request once, where a call repeats it; the calls after
// it keep their retries.
TEST(ClientProbeOnce, ProbeTriesOnceAndLaterCallsStillRetry) {
    fakehost::LogCapture log;
    testsupport::TempSettings settings(testsupport::clientSettings(testsupport::serverCerts().ca));
    QzManageHNAS client(7);
    ASSERT_TRUE(client.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", testsupport::closedPort()));
    std::vector<QzProbePhase> phases;
    EXPECT_FALSE(client.probe("evs1", phases));
    const auto retryLines = [&log] {
        int count = 0;
        for (const std::string& line : clienttest::clientLines(log, 1)) count += contains(line, "; retry ") ? 1 : 0;
        return count;
    };
    EXPECT_EQ(retryLines(), 0) << log.text();
    __HNASVirtualServers server;
    EXPECT_FALSE(client.getVirtualServerInfo("evs1", server));
    EXPECT_EQ(retryLines(), 2) << log.text();
}

// An endpoint that takes the connection and the request but never answers
// fails the HTTP phase by the request time-out, after one request.
TEST(ClientProbeOnce, AnArrayThatNeverAnswersFailsTheHttpPhase) {
    fakehost::LogCapture log;
    testsupport::TempSettings settings(
        testsupport::clientSettings(testsupport::serverCerts().ca, "nRequestTimeoutSecs=1\n"));
    clienttest::LocalArray* self = nullptr;
    clienttest::LocalArray array([&](const clienttest::LocalRequest&, clienttest::LocalResponse& response) {
        self->stall();
        response.status = 500;
    });
    self = &array;
    QzManageHNAS client(7);
    ASSERT_TRUE(client.init(kSimUser, kSimPassword, "FILE", "ctl", "127.0.0.1", array.port()));
    std::vector<QzProbePhase> phases;
    EXPECT_FALSE(client.probe("evs1", phases));
    ASSERT_EQ(phases.size(), 4u) << log.text();
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(phases[i].passed) << phases[i].message;
    const QzProbePhase& http = phases[3];
    EXPECT_EQ(http.step, QzProbeStep::Http);
    EXPECT_FALSE(http.passed);
    EXPECT_EQ(http.failure, QzProbeFailure::TimedOut);
    EXPECT_TRUE(http.retried);   // a read whose answer was lost is repeated by the calls
    EXPECT_GE(http.micros, 900000) << http.message;
    EXPECT_TRUE(contains(http.message, "time-out")) << http.message;
    EXPECT_EQ(array.seen().size(), 1u);
}

}  // namespace

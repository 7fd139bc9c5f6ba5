#include "tests/support/SimProcess.h"

#include <signal.h>

#include <cstdio>

#include "tests/support/TestCertificates.h"

namespace testsupport {

simkit::SimOptions simOptions(const std::vector<std::string>& args) {
    const std::string certs = certDir();
    simkit::SimOptions options;
    options.binary = HNAS_ARRAYSIM_BINARY;
    options.certFile = certs + "/server.pem";
    options.keyFile = certs + "/server.key";
    options.caFile = certs + "/ca.pem";
    options.args = args;
    return options;
}

bool startSim(SimProcess& sim, const std::vector<std::string>& args) {
    // A request in flight when the simulator dies must fail, not kill the test.
    signal(SIGPIPE, SIG_IGN);
    if (certDir().empty()) return false;
    std::string error;
    if (sim.start(simOptions(args), error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

int runSimulatorOnce(const std::vector<std::string>& args, std::string& out, std::string& err) {
    return simkit::runSimulatorOnce(HNAS_ARRAYSIM_BINARY, args, out, err);
}

}  // namespace testsupport

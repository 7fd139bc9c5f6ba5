// hnas-arraysim for a test, through the one launcher (simkit/SimProcess.h):
// the built binary with the test certificates (TestCertificates.h) on any
// free loopback port. Starting one makes the test process ignore SIGPIPE, so
// a request cut off by a dying simulator fails instead of killing the test.
#pragma once

#include <string>
#include <vector>

#include "simkit/SimProcess.h"

namespace testsupport {

using SimProcess = simkit::SimProcess;

// The options of a test's simulator: the built binary, the test
// certificates, and `args` after them.
simkit::SimOptions simOptions(const std::vector<std::string>& args = {});
// Starts `sim` with simOptions(args); true once it listens (within 15 s).
bool startSim(SimProcess& sim, const std::vector<std::string>& args);

// Runs the built hnas-arraysim once with exactly `args` (no port or
// certificate added) and waits for it, at most 10 s: its exit status (-1
// when it could not run or had to be killed), with its standard output and
// standard error in `out` and `err`. E.g. runSimulatorOnce({"--help"}, out, err) == 0.
int runSimulatorOnce(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace testsupport

// TLS certificates for the loopback HTTPS tests, made by
// scripts/make-test-cert.sh: ca.pem, and server.pem with server.key signed by
// it, for 127.0.0.1, ::1 and localhost.
#pragma once

#include <string>

namespace testsupport {

// Makes a fresh set in `dir`; false when the script failed.
bool makeTestCertificates(const std::string& dir);

// The directory of the set the simulator and the local test servers use,
// made on first use and kept for the test binary's life; "" when it could
// not be made.
const std::string& certDir();

}  // namespace testsupport

// TLS certificates for the loopback HTTPS tests, made by
// scripts/make-test-cert.sh: ca.pem, and server.pem with server.key signed by
// it, for 127.0.0.1, ::1 and localhost; and the client's settings text that
// trusts a CA.
#pragma once

#include <string>

namespace testsupport {

// Makes a fresh set in `dir`; false when the script failed.
bool makeTestCertificates(const std::string& dir);

// The directory of the set the simulator and the local test servers use,
// made on first use and kept for the test binary's life; "" when it could
// not be made.
const std::string& certDir();

struct CertSet {
    std::string ca;
    std::string cert;
    std::string key;
};

// The set in certDir(): the simulator's, which the local test servers use too.
CertSet serverCerts();
// Certificates of an unrelated CA: a client that trusts only this CA must
// refuse the servers above.
CertSet otherCerts();

// The settings file text for the client's section, trusting `caFile`, with
// short time-outs and back-offs fit for tests plus `extra` lines, e.g.
// "nRetryCount=0\n" (a later line of the same key wins).
std::string clientSettings(const std::string& caFile, const std::string& extra = std::string());

}  // namespace testsupport

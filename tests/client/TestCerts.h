// TLS test certificates for the client tests, made by
// scripts/make-test-cert.sh: a CA and a server certificate it signed, for
// 127.0.0.1, ::1 and localhost.
#pragma once

#include <string>

namespace clienttest {

struct CertSet {
    std::string ca;
    std::string cert;
    std::string key;
};

// The simulator's certificates (tests/support/TestCertificates.h), which the
// local test servers use too.
CertSet serverCerts();
// Certificates of an unrelated CA: a client that trusts only this CA must
// refuse the servers above.
CertSet otherCerts();

// The settings file text for the client's section, with short time-outs and
// back-offs fit for tests plus `extra` lines, e.g. "nRetryCount=0\n" (a later
// line of the same key wins).
std::string clientSettings(const std::string& caFile, const std::string& extra = std::string());

}  // namespace clienttest

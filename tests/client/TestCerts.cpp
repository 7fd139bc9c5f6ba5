#include "tests/client/TestCerts.h"

#include "tests/support/TempDirectory.h"
#include "tests/support/TestCertificates.h"

namespace clienttest {

namespace {

CertSet certsIn(const std::string& dir) {
    return CertSet{dir + "/ca.pem", dir + "/server.pem", dir + "/server.key"};
}

}  // namespace

CertSet serverCerts() { return certsIn(testsupport::certDir()); }

CertSet otherCerts() {
    static testsupport::TempDirectory dir;
    static const bool made = testsupport::makeTestCertificates(dir.path());
    return made ? certsIn(dir.path()) : CertSet();
}

std::string clientSettings(const std::string& caFile, const std::string& extra) {
    return "[~Vorlane/HNASClient]\n"
           "sCAFile=" + caFile + "\n"
           "nConnectTimeoutSecs=1\n"
           "nRequestTimeoutSecs=2\n"
           "nRetryCount=2\n"
           "nRetryBackoffMs=10\n" + extra;
}

}  // namespace clienttest

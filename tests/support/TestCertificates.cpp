#include "tests/support/TestCertificates.h"

#include <cstdlib>

#include "tests/support/TempDirectory.h"

namespace testsupport {

bool makeTestCertificates(const std::string& dir) {
    const std::string command =
        std::string(HNAS_SOURCE_DIR) + "/scripts/make-test-cert.sh '" + dir + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

const std::string& certDir() {
    static TempDirectory dir;
    static const bool made = makeTestCertificates(dir.path());
    static const std::string none;
    return made ? dir.path() : none;
}

namespace {

CertSet certsIn(const std::string& dir) {
    return CertSet{dir + "/ca.pem", dir + "/server.pem", dir + "/server.key"};
}

}  // namespace

CertSet serverCerts() { return certsIn(certDir()); }

CertSet otherCerts() {
    static TempDirectory dir;
    static const bool made = makeTestCertificates(dir.path());
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

}  // namespace testsupport

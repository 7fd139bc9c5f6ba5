#include "tests/client/TestCerts.h"

#include <cstdlib>

#include "tests/array/SimProcess.h"

namespace clienttest {

namespace {

CertSet certsIn(const std::string& dir) {
    return CertSet{dir + "/ca.pem", dir + "/server.pem", dir + "/server.key"};
}

}  // namespace

CertSet serverCerts() { return certsIn(simtest::certDir()); }

CertSet otherCerts() {
    static simtest::TempDir dir;
    static const bool made = [] {
        const std::string command =
            std::string(HNAS_SOURCE_DIR) + "/scripts/make-test-cert.sh '" + dir.path() + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }();
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

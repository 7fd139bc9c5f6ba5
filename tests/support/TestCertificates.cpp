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

}  // namespace testsupport

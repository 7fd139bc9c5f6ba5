#include "tests/client/TestCerts.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace clienttest {

TempDir::TempDir() {
    char name[] = "/tmp/hnas-client-test-XXXXXX";
    if (mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = name;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

struct MadeCerts {
    TempDir dir;
    CertSet set;
};

std::unique_ptr<MadeCerts> makeCerts() {
    auto made = std::make_unique<MadeCerts>();
    const std::string command = std::string(HNAS_SOURCE_DIR) + "/scripts/make-test-cert.sh '" +
                                made->dir.path() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("scripts/make-test-cert.sh failed: " + command);
    made->set = CertSet{made->dir.file("ca.pem"), made->dir.file("server.pem"), made->dir.file("server.key")};
    return made;
}

}  // namespace

const CertSet& serverCerts() {
    static const std::unique_ptr<MadeCerts> made = makeCerts();
    return made->set;
}

const CertSet& otherCerts() {
    static const std::unique_ptr<MadeCerts> made = makeCerts();
    return made->set;
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

// Temporary directories and TLS test certificates for the client tests.
#pragma once

#include <string>

namespace clienttest {

// A directory under /tmp, removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    // path() + "/" + name.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

private:
    std::string path_;
};

// A CA and a server certificate it signed, for 127.0.0.1, ::1 and localhost,
// made by scripts/make-test-cert.sh.
struct CertSet {
    std::string ca;
    std::string cert;
    std::string key;
};

// Made once per test process and removed at its end. `otherCerts` come from
// an unrelated CA: a client that trusts only it must refuse the server.
const CertSet& serverCerts();
const CertSet& otherCerts();

// The settings file text for the client's section, with short time-outs and
// back-offs fit for tests plus `extra` lines, e.g. "nRetryCount=0\n".
std::string clientSettings(const std::string& caFile, const std::string& extra = std::string());

}  // namespace clienttest

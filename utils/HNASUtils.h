// Device strings, paths and settings: parsing of source-device strings,
// clone paths, share names, snap device names, host-name resolution and
// settings lookup. Holds only the job id that tags its log lines.
#pragma once

#include <string>

class HNASUtils {
public:
    explicit HNASUtils(unsigned long long jobId);
    ~HNASUtils();

    // Resolves a host name, e.g. "filer1.example.com", to the dotted form of
    // its first IPv4 address, e.g. "10.0.0.5". `address` is written only on
    // success.
    bool getIPAddressForHost(const std::string& hostName, std::string& address);

    // Reads an integer setting of section "~Vorlane" (subsection null) or
    // "~Vorlane/<subsection>". True when the store delivered a value;
    // otherwise *value keeps the caller's default.
    static bool GetRegInt(const char* subsection, const char* key, int* value);

private:
    unsigned long long jobId;
};

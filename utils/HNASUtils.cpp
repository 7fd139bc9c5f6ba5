// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include "utils/HNASUtils.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

#include "host/EvDebug.h"
#include "host/QZPlatformInfo.h"
#include "host/SettingsKeys.h"
#include "host/WbNetwork.h"

namespace {
const char kIpContext[] = "GetIPAddressForHost";

// The host resolved but gave no usable IPv4 address.
void logNoAddress(EvDebug& log, unsigned long long jobId, const std::string& hostName) {
    const std::string text = "Unable to get IP address for array:[" + hostName + "].";
    log.DebugJob(kIpContext, jobId, "%s", text.c_str());
}
}  // namespace

HNASUtils::HNASUtils(unsigned long long operationJobId) : jobId(operationJobId) {}

HNASUtils::~HNASUtils() {}

bool HNASUtils::getIPAddressForHost(const std::string& hostName, std::string& address) {
    EvDebug log;
    if (hostName.empty()) {
        log.DebugLvl(kIpContext, DebugLevel::kFailure, jobId, "%s", "Invalid argument. Empty hostname!.");
        return false;
    }
    // The host entry lives inside this buffer; keep it aligned for it.
    alignas(struct hostent) char workBuffer[QZ_GETHOSTBYNAME_BUFFER_SIZE];
    std::memset(workBuffer, 0, sizeof(workBuffer));
    struct hostent* entry = _QZ_gethostbyname_(hostName.c_str(), workBuffer, 0);
    if (entry == nullptr) {
        const std::string text = "Unable to get IP address list for host:[" + hostName +
                                 "] the host is not resolvable from this machine, please check DNS "
                                 "settings and make sure that host [" +
                                 hostName + "] is resolvable from this machine";
        log.DebugJob(kIpContext, jobId, "%s", text.c_str());
        return false;
    }
    if (entry->h_addrtype != AF_INET || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr) {
        logNoAddress(log, jobId, hostName);
        return false;
    }
    struct in_addr first;
    std::memcpy(&first, entry->h_addr_list[0], sizeof(first));
    char dotted[INET_ADDRSTRLEN] = {0};
    if (inet_ntop(AF_INET, &first, dotted, sizeof(dotted)) == nullptr) {
        logNoAddress(log, jobId, hostName);
        return false;
    }
    address = dotted;
    log.DebugLvl(kIpContext, DebugLevel::kDetails, jobId, "Using the first Address [%s]:for host [%s].",
                 address.c_str(), hostName.c_str());
    return true;
}

bool HNASUtils::GetRegInt(const char* subsection, const char* key, int* value) {
    std::string section = kSettingsSection;
    if (subsection != nullptr) {
        section += "/";
        section += subsection;
    }
    QZPlatformInfo settings;
    return settings.getRegInt(section.c_str(), key, value);
}

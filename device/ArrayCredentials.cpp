// Tying a device to its array: attaching the array to the snap (through the
// filer's aliases when needed), reading its credentials and its management
// endpoint settings.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include <algorithm>
#include <climits>
#include <functional>
#include <memory>

#include "device/DeviceMessages.h"
#include "device/HNASSnapDevice.h"
#include "device/HostBufferRead.h"
#include "host/ArrayConfigNames.h"
#include "host/EvDebug.h"
#include "host/QzManageHNAS.h"
#include "utils/HNASUtils.h"

namespace {

const char kSetArrayInfoContext[] = "HNASSnapDevice::setArrayInfo";
const char kFilerAliasesContext[] = "HNASSnapDevice::getFilerAliases";
const char kCredentialsContext[] = "HNASSnapDevice::getArrayNameAndCredentials";
const char kConfigValuesContext[] = "HNASSnapDevice::getArrayConfigValues";

// Array lists and array information are read starting from 4096 bytes.
const int kArrayInfoFirstSize = 4096;
// The alias search may regrow its buffer three times in all.
const int kAliasSearchRetries = 3;
// The attached array's information: at most three calls.
const int kArrayInfoRetries = 2;
// The endpoint address is read once into 1024 bytes.
const int kConfigStringSize = 1024;

// Splits "a||b|" into "a", "", "b": adjacent separators give an empty name,
// a trailing separator adds none, an empty list gives no names.
std::vector<std::string> splitArrayList(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < list.size()) {
        const size_t bar = list.find(QZSO::kArrayListSeparator, start);
        if (bar == std::string::npos) {
            names.push_back(list.substr(start));
            break;
        }
        names.push_back(list.substr(start, bar - start));
        start = bar + 1;
    }
    return names;
}

// The alias search's reads share one size and one retry budget: the list
// read and every array's information and endpoint reads.
struct AliasSearch {
    AliasSearch(QZSO::QZOSUtil& host, unsigned long long job) : osUtil(host), jobId(job) {}
    QZSO::QZOSUtil& osUtil;
    unsigned long long jobId;
    int size = kArrayInfoFirstSize;
    int retries = kAliasSearchRetries;
    std::function<void(int)> logRetry() const {
        return [job = jobId](int newSize) {
            EvDebug log;
            log.DebugLvl(kFilerAliasesContext, DebugLevel::kDetails, job, "Going to retry with new size [%d]", newSize);
        };
    }
};

// List read: the names of the host's HNAS arrays.
std::vector<std::string> readArrayNames(AliasSearch& search) {
    const HostTextRead list = readHostText(search.size, search.retries, kIntReadMaxSize, [&](char* buffer, int& told) {
        const int result = search.osUtil.listArrays(QZSO::kHnasVendor, QZSO::kArrayListSeparator, told, buffer);
        if (result > 0) {
            told = result;
            return QZSO::HOST_READ_TOO_SMALL;
        }
        return QZSO::HOST_READ_OK;
    }, search.logRetry());
    std::vector<std::string> names = splitArrayList(list.text);
    EvDebug log;
    log.DebugLvl(kFilerAliasesContext, DebugLevel::kVerbose, search.jobId, "Array list size: [%d] ",
                 static_cast<int>(names.size()));
    return names;
}

// One array of the list as the client reaches it.
struct SearchedArray {
    std::string arrayId, hostName, user, password;
    std::string endpoint;   // the configured management address, else the control host
    int port = QZSO::kDefaultManagementPort;
};

// Endpoint read: the array's information, then its management port and
// address. False when its information cannot be parsed.
bool readSearchedArray(AliasSearch& search, HNASUtils& utils, const std::string& name, SearchedArray& array) {
    // The list's size travels as an int, an information read's as a short:
    // a list longer than a short can hold must not leave every information
    // read refused before the host is asked.
    if (search.size > kShortReadMaxSize) search.size = kShortReadMaxSize;
    // This host call answers with the size it needs rather than a status.
    // A size beyond a short is refused by the reader all the same, so it is
    // handed back as the largest short.
    const HostTextRead info = readShortHostText(search.size, search.retries, [&](char* buffer, short* hostSize) {
        const int needed = search.osUtil.getArrayInfoByName(name.c_str(), buffer, hostSize);
        if (needed <= 0) return QZSO::HOST_READ_OK;
        *hostSize = static_cast<short>(std::min(needed, static_cast<int>(SHRT_MAX)));
        return QZSO::HOST_READ_TOO_SMALL;
    }, search.logRetry());
    int hostId = 0;
    if (!utils.parseArrayInfo(search.jobId, info.text.c_str(), array.arrayId, array.hostName, array.user,
                              array.password, hostId))
        return false;

    if (search.osUtil.getArrayConfigInt(hostId, 0, QZSO::kMetroServerPortConfig, &array.port) != 0 ||
        array.port == 0)
        array.port = QZSO::kDefaultManagementPort;
    const HostTextRead configured = readShortHostText(search.size, search.retries, [&](char* buffer, short* hostSize) {
        return search.osUtil.getArrayConfigString(hostId, 0, QZSO::kMetroServerIpConfig, buffer, hostSize);
    }, search.logRetry());
    array.endpoint = configured.ok() && !configured.text.empty() ? configured.text : array.hostName;
    return true;
}

// Alias build and match: the virtual server's addresses and name, then the
// filer as it was asked for, joined by the list separator, when one of the
// server's addresses or its name is the filer's address.
bool aliasesMatching(const __HNASVirtualServers& server, const std::string& filer, const std::string& address,
                     std::string& aliases) {
    std::vector<std::string> candidates = server.ipAddresses;
    candidates.push_back(server.name);
    if (std::find(candidates.begin(), candidates.end(), address) == candidates.end()) return false;
    aliases.clear();
    for (const std::string& candidate : candidates) aliases += candidate + QZSO::kArrayListSeparator;
    aliases += filer;
    return true;
}

}  // namespace

bool HNASSnapDevice::setArrayInfo(std::string& arrayName) {
    EvDebug log;
    if (snapInfo->setArrayName(arrayName.c_str()) == 0) {
        log.DebugLvl(kSetArrayInfoContext, DebugLevel::kFlow, jobId,
                     "Successfully got the array credentials using the passed in array name [%s]",
                     arrayName.c_str());
        return true;
    }
    log.DebugLvl(kSetArrayInfoContext, DebugLevel::kFlow, jobId,
                 "Unable to get the array credentials using the passed in array name [%s], try "
                 "getting its alternate names/IPs",
                 arrayName.c_str());
    std::string aliases;
    std::string matchedArray;
    if (!getFilerAliases(arrayName, aliases, matchedArray)) {
        log.DebugLvl(kSetArrayInfoContext, DebugLevel::kFailure, jobId,
                     "Error: Failed to get alias list for Filer [%s]", arrayName.c_str());
        return false;
    }
    if (snapInfo->setArrayName(aliases.c_str()) == 0) return true;
    log.DebugLvl(kSetArrayInfoContext, DebugLevel::kFailure, jobId,
                 "Error:Unable to set the login credentials for filer [%s]", arrayName.c_str());
    return false;
}

bool HNASSnapDevice::getFilerAliases(const std::string& filer, std::string& aliasList,
                                     std::string& matchedArrayName) {
    EvDebug log;
    // Without the host utility there is no array list to search.
    if (osUtil == nullptr) return false;
    HNASUtils utils(jobId);
    QzManageHNAS client(jobId);

    std::string address;
    if (!utils.getIPAddressForHost(filer, address) || address.empty()) {
        log.DebugLvl(kFilerAliasesContext, DebugLevel::kFailure, jobId, "Unable to get the IP addrress for Host[%s]",
                     filer.c_str());
        address = filer;
    }
    log.DebugLvl(kFilerAliasesContext, DebugLevel::kFlow, jobId, "[%s] resolves to [%s]", filer.c_str(),
                 address.c_str());

    AliasSearch search(*osUtil, jobId);
    for (const std::string& name : readArrayNames(search)) {
        SearchedArray array;
        if (!readSearchedArray(search, utils, name, array)) {
            const std::string text = std::string(kFilerAliasesContext) + kUnableToParseArrayInfo;
            snapInfo->logFormatted(QZSO::HostLog::kFailure, kFilerAliasesContext, "%s", text.c_str());
            return false;
        }
        client.init(array.user, array.password, kArrayTypeFile, array.hostName, array.endpoint, array.port);
        __HNASVirtualServers server;
        if (!client.getVirtualServerInfo(array.arrayId, server)) {
            log.DebugLvl(kFilerAliasesContext, DebugLevel::kFailure, jobId,
                         "Unable to get the virtual server info for %s. Continuing the search with other "
                         "arrays..",
                         array.arrayId.c_str());
            continue;
        }
        if (server.ipAddresses.empty()) {
            log.DebugLvl(kFilerAliasesContext, DebugLevel::kFailure, jobId,
                         "Array IP's are empty for %s. Continuing the search with other arrays..",
                         array.arrayId.c_str());
            continue;
        }
        std::string aliases;
        if (!aliasesMatching(server, filer, address, aliases)) continue;
        log.DebugLvl(kFilerAliasesContext, DebugLevel::kFlow, jobId, "Found filer:[%s] corresponding to input filer:[%s]",
                     name.c_str(), address.c_str());
        matchedArrayName = name;
        aliasList = aliases;
        return true;
    }
    return false;
}

bool HNASSnapDevice::getArrayNameAndCredentials(const unsigned long long& callerJobId, std::string& arrayId,
                                                std::string& hostName, std::string& hostUserName,
                                                std::string& hostPassword, int& hostId) {
    arrayId.clear();
    hostName.clear();
    hostUserName.clear();
    hostPassword.clear();

    int size = kArrayInfoFirstSize;
    int retries = kArrayInfoRetries;
    const HostTextRead info = readShortHostText(size, retries, [&](char* buffer, short* hostSize) {
        return snapInfo->getArrayInfo(buffer, hostSize);
    });
    if (!info.ok()) {
        const std::string text = std::string(kCredentialsContext) + "Error:Unable to get the login credentials.";
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kCredentialsContext, "%s", text.c_str());
        return false;
    }
    HNASUtils utils(jobId);
    if (!utils.parseArrayInfo(callerJobId, info.text.c_str(), arrayId, hostName, hostUserName, hostPassword,
                              hostId)) {
        const std::string text = std::string(kCredentialsContext) + kUnableToParseArrayInfo;
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kCredentialsContext, "%s", text.c_str());
        return false;
    }
    snapInfo->logFormatted(QZSO::HostLog::kDetails, kCredentialsContext,
                           "ArrayId[%s], ControlHost[%s], ControlHost ID [%d] login[%s]", arrayId.c_str(),
                           hostName.c_str(), hostId, hostUserName.c_str());
    return true;
}

bool HNASSnapDevice::getArrayConfigValues(_HNASArrayConfigs& configs) {
    int port = QZSO::kDefaultManagementPort;
    if (snapInfo->getArrayConfigInt(QZSO::kMetroServerPortConfig, &port) != 0) {
        snapInfo->logFormatted(QZSO::HostLog::kDetails, kConfigValuesContext, "%s",
                               "Unable to get the Metro Server Port from the array config.");
    }
    int size = kConfigStringSize;
    int noRetries = 0;
    const HostTextRead address = readHostText(size, noRetries, kShortReadMaxSize, [&](char* buffer, int& told) {
        return snapInfo->getArrayConfigString(QZSO::kMetroServerIpConfig, buffer, &told);
    });
    if (!address.ok()) {
        snapInfo->logFormatted(QZSO::HostLog::kFailure, kConfigValuesContext, "%s",
                               "Unable to get the Metro Server IP from the array config.");
    }
    configs.metroServerIP = address.text;
    configs.metroServerPort = port;
    if (configs.metroServerIP.empty() || configs.metroServerPort == 0) {
        snapInfo->logFormatted(QZSO::HostLog::kDetails, kConfigValuesContext, "%s",
                               "Metro Server array config values are not entered.");
    } else {
        EvDebug log;
        log.DebugLvl(kConfigValuesContext, DebugLevel::kFlow, jobId, "%s", "Successfully got the array config values");
    }
    return true;
}

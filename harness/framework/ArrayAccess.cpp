#include "harness/framework/ArrayAccess.h"

#include <cstdlib>

#include "harness/framework/ArrayInfoText.h"
#include "harness/framework/ArrayKeys.h"
#include "harness/framework/JobRunner.h"
#include "harness/framework/PrivateFiles.h"
#include "host/ArrayConfigNames.h"
#include "host/EvDebug.h"
#include "host/QzManageHNAS.h"
#include "hostkit/HostState.h"
#include "standins/qzlib/EvDebugSink.h"

const std::string kOwnSnapshotPrefix = std::string(QZSO::kSnapshotPrefix) + "-";
const char kNoOrphans[] = "no orphaned snapshot on any array";

namespace {

const char kSettingsFileVariable[] = "QZ_SETTINGS_FILE";
const char kSettingsFile[] = "/settings.ini";

// SMCONFIG_NAME_METRO_SERVER_IP when set, else the control host.
std::string managementAddress(const ArrayRecord& array) {
    const auto address = array.configs.find(QZSO::kMetroServerIpConfig);
    return address != array.configs.end() && !address->second.empty() ? address->second
                                                                        : arrayInfoValue(array.arrayInfo, "hostName");
}

}  // namespace

bool arrayEndpoint(const ArrayRecord& array, ArrayEndpoint& endpoint, std::string& error) {
    endpoint.arrayId = arrayInfoValue(array.arrayInfo, "arrayId");
    endpoint.controlHost = arrayInfoValue(array.arrayInfo, "hostName");
    endpoint.user = arrayInfoValue(array.arrayInfo, "hostUserName");
    endpoint.password = arrayInfoValue(array.arrayInfo, "hostPassword");
    endpoint.address = managementAddress(array);
    endpoint.port = QZSO::kDefaultManagementPort;
    const auto port = array.configs.find(QZSO::kMetroServerPortConfig);
    if (port != array.configs.end() && !hostkit::parseConfigInt(port->second, endpoint.port)) {
        error = std::string(QZSO::kMetroServerPortConfig) + " of array " + array.name + " is not a number";
        return false;
    }
    return true;
}

hostkit::HostArray arrayForJob(const ArrayRecord& array) {
    hostkit::HostArray answered = array;
    const std::string address = managementAddress(array);
    if (!address.empty()) answered.configs[QZSO::kMetroServerIpConfig] = address;
    answered.configs.emplace(QZSO::kMetroServerPortConfig, std::to_string(QZSO::kDefaultManagementPort));
    return answered;
}

bool useStoreSettings(HostStore& store, std::vector<SettingRecord>& settings, std::string& error) {
    std::vector<ArrayRecord> arrays;
    if (!store.loadSettings(settings, error) || !store.loadArrays(arrays, error)) return false;
    const std::string path = store.directory() + kSettingsFile;
    if (!replaceFileAtomically(path, settingsFileText(settings, arrays), error)) return false;
    setenv(kSettingsFileVariable, path.c_str(), 1);
    unsetenv(kQzLogFileVariable);
    return true;
}

std::string settingValue(const std::vector<SettingRecord>& settings, const std::string& section,
                         const std::string& key, const std::string& fallback) {
    std::string value = fallback;
    for (const SettingRecord& s : settings)
        if (s.section == section && s.key == key) value = s.value;
    return value;
}

ClientFailures::ClientFailures() : last_(std::make_shared<std::string>()) {
    std::shared_ptr<std::string> last = last_;
    EvDebugSetSink([last](const EvLogLine& line) {
        if (line.level == DebugLevel::kFailure) *last = line.message;
    });
}

ClientFailures::~ClientFailures() { EvDebugSetSink(EvLogSink()); }

std::string ClientFailures::take() {
    std::string text;
    text.swap(*last_);
    return text;
}

std::unique_ptr<QzManageHNAS> connectClient(const ArrayEndpoint& endpoint, ClientFailures& failures,
                                            std::string& error) {
    const unsigned long long noJob = 0;
    std::unique_ptr<QzManageHNAS> client(new QzManageHNAS(noJob));
    failures.take();
    if (!client->init(endpoint.user, endpoint.password, kArrayTypeFile, endpoint.controlHost, endpoint.address,
                      endpoint.port)) {
        error = withoutSecret(failures.take(), endpoint.password);
        if (error.empty()) error = "the array client could not be set up";
        return nullptr;
    }
    return client;
}

std::string withoutSecret(std::string text, const std::string& secret) {
    if (secret.empty()) return text;
    for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
        text.replace(at, secret.size(), "***");
    return text;
}

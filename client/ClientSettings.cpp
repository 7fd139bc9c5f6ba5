#include "client/ClientSettings.h"

#include <cstdlib>

#include "host/QZPlatformInfo.h"

namespace managehnas {

namespace {

// One integer key: kept when present and within its range, else the default
// stays and, for a present but unusable value, a note is added.
void readInt(QZPlatformInfo& store, const char* key, int& value, std::vector<std::string>& notes) {
    int low = 0;
    int high = 0;
    for (const ClientIntegerRange& range : kClientIntegerRanges)
        if (std::string(range.key) == key) {
            low = range.low;
            high = range.high;
        }
    std::string text;
    if (!store.getRegString(kClientSection, key, text)) return;
    int parsed = value;
    if (store.getRegInt(kClientSection, key, &parsed) && parsed >= low && parsed <= high) {
        value = parsed;
        return;
    }
    notes.push_back(std::string(key) + "=" + text + " (allowed " + std::to_string(low) + ".." +
                    std::to_string(high) + "; using " + std::to_string(value) + ")");
}

}  // namespace

bool isClientApiVersion(const std::string& text) {
    if (text.size() < 2 || text.size() > 4 || text[0] != 'v') return false;
    for (size_t i = 1; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

ClientSettings readClientSettings(std::vector<std::string>& notes) {
    ClientSettings settings;
    QZPlatformInfo store;
    readInt(store, kConnectTimeoutKey, settings.connectTimeoutSecs, notes);
    readInt(store, kRequestTimeoutKey, settings.requestTimeoutSecs, notes);
    readInt(store, kRetryCountKey, settings.retryCount, notes);
    readInt(store, kRetryBackoffKey, settings.retryBackoffMs, notes);
    readInt(store, kRequestsInFlightKey, settings.requestsInFlight, notes);
    int insecure = 0;
    readInt(store, kInsecureKey, insecure, notes);
    settings.insecure = insecure == 1;

    std::string caFile;
    if (store.getRegString(kClientSection, kCaFileKey, caFile) && !caFile.empty()) {
        settings.caFile = caFile;
    } else if (const char* fromEnvironment = getenv(kCaFileVariable)) {
        settings.caFile = fromEnvironment;
    }

    if (store.getRegString(kClientSection, kApiKeyFileKey, settings.apiKeyFile) && !settings.apiKeyFile.empty())
        settings.apiKeyFileSection = kClientSection;

    std::string version;
    if (store.getRegString(kClientSection, kApiVersionKey, version)) {
        if (isClientApiVersion(version))
            settings.apiVersion = version;
        else
            notes.push_back(std::string(kApiVersionKey) + "=" + version + " (using " +
                            settings.apiVersion + ")");
    }
    return settings;
}

ClientSettings readClientSettings(std::vector<std::string>& notes, const std::string& controlHost, int port) {
    ClientSettings settings = readClientSettings(notes);
    const std::string section = endpointSection(controlHost, port);
    std::string keyFile;
    if (QZPlatformInfo().getRegString(section.c_str(), kApiKeyFileKey, keyFile)) {
        settings.apiKeyFile = keyFile;
        settings.apiKeyFileSection = keyFile.empty() ? std::string() : section;
    }
    return settings;
}

}  // namespace managehnas

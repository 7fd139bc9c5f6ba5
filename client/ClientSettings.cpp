#include "client/ClientSettings.h"

#include <cstdlib>

#include "host/QZPlatformInfo.h"

namespace managehnas {

namespace {

// One integer key: kept when present and within [low, high], else the default
// stays and, for a present but unusable value, a note is added.
void readInt(QZPlatformInfo& store, const char* key, int low, int high, int& value,
             std::vector<std::string>& notes) {
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

// "v" followed by one to three digits, e.g. "v7".
bool isApiVersion(const std::string& text) {
    if (text.size() < 2 || text.size() > 4 || text[0] != 'v') return false;
    for (size_t i = 1; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

}  // namespace

ClientSettings readClientSettings(std::vector<std::string>& notes) {
    ClientSettings settings;
    QZPlatformInfo store;
    readInt(store, kConnectTimeoutKey, 1, 3600, settings.connectTimeoutSecs, notes);
    readInt(store, kRequestTimeoutKey, 1, 3600, settings.requestTimeoutSecs, notes);
    readInt(store, kRetryCountKey, 0, 10, settings.retryCount, notes);
    readInt(store, kRetryBackoffKey, 0, 60000, settings.retryBackoffMs, notes);
    readInt(store, kRequestsInFlightKey, 1, 64, settings.requestsInFlight, notes);
    int insecure = 0;
    readInt(store, kInsecureKey, 0, 1, insecure, notes);
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
        if (isApiVersion(version))
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

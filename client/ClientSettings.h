// The array client's settings: their keys in the platform settings store
// (section "~Vorlane/HNASClient"), their defaults (ClientSettings below, the
// one place they are defined) and the reader the client and hnas-host
// check-array share. The operator's table of them is docs/array-api.md,
// "The client's settings"; a test holds that table and
// packaging/settings.ini.sample to these definitions.
#pragma once

#include <string>
#include <vector>

namespace managehnas {

// Subsection of "~Vorlane" the client's keys live in.
constexpr char kClientSection[] = "~Vorlane/HNASClient";
constexpr char kConnectTimeoutKey[] = "nConnectTimeoutSecs";
constexpr char kRequestTimeoutKey[] = "nRequestTimeoutSecs";
constexpr char kRetryCountKey[] = "nRetryCount";
constexpr char kRetryBackoffKey[] = "nRetryBackoffMs";
constexpr char kCaFileKey[] = "sCAFile";
constexpr char kInsecureKey[] = "nInsecure";
constexpr char kApiVersionKey[] = "sApiVersion";
constexpr char kApiKeyFileKey[] = "sApiKeyFile";
constexpr char kRequestsInFlightKey[] = "nRequestsInFlight";
// An array's own section: the client's section, "/", the array's control
// host, ":" and its management port, e.g. "~Vorlane/HNASClient/hnas1.example:8444".
// Its sApiKeyFile, when present, replaces the client section's for the
// array that init() is given with that control host and port (empty: that
// array uses its user and password). A host with several arrays gives each
// its own key this way; the control host and port are what init() is told
// of the array, so they name it.
constexpr char kEndpointSectionSeparator[] = "/";
inline std::string endpointSection(const std::string& controlHost, int port) {
    return std::string(kClientSection) + kEndpointSectionSeparator + controlHost + ":" + std::to_string(port);
}
// Environment variable naming the CA file when the store names none.
constexpr char kCaFileVariable[] = "HNAS_CA_FILE";

// Every key of the client's section: what hnas-host set-setting accepts there.
constexpr const char* kClientSettingKeys[] = {kConnectTimeoutKey, kRequestTimeoutKey, kRetryCountKey,
                                              kRetryBackoffKey,   kCaFileKey,         kInsecureKey,
                                              kApiVersionKey,     kApiKeyFileKey,     kRequestsInFlightKey};

// The values the client uses of each integer key; one outside keeps the default.
struct ClientIntegerRange {
    const char* key;
    int low;
    int high;
};
constexpr ClientIntegerRange kClientIntegerRanges[] = {
    {kConnectTimeoutKey, 1, 3600}, {kRequestTimeoutKey, 1, 3600},   {kRetryCountKey, 0, 10},
    {kRetryBackoffKey, 0, 60000},  {kRequestsInFlightKey, 1, 64}, {kInsecureKey, 0, 1},
};

// True for an API version the client uses: "v" followed by one to three
// digits, e.g. "v7".
bool isClientApiVersion(const std::string& text);

struct ClientSettings {
    int connectTimeoutSecs = 10;   // TCP and TLS connect
    int requestTimeoutSecs = 60;   // one whole request, connect included
    int retryCount = 2;            // extra tries after a transport failure
    int retryBackoffMs = 200;      // wait before the first retry, doubled each time
    std::string caFile;            // else $HNAS_CA_FILE; empty: the system's CA store
    bool insecure = false;         // true: no certificate verification (warned)
    std::string apiVersion = "v7"; // version segment of the storage paths
    std::string apiKeyFile;        // empty: user and password, else the key in it
    std::string apiKeyFileSection; // the section that named apiKeyFile (the array's own or the client's)
    // Requests an operation may have in flight to one array at once (each on
    // a connection of its own); 1 sends them one after the other.
    int requestsInFlight = 1;
};

// Reads every key. A value out of its range (kClientIntegerRanges; a
// version not accepted by isClientApiVersion) keeps the default, and a note
// on it is appended to `notes` for the caller to log.
// hnas-host links its own copy (hnas_client_settings), so that check-array
// reads the settings as the client does.
ClientSettings readClientSettings(std::vector<std::string>& notes);
// The same for the array init() is given with `controlHost` and `port`
// (e.g. "hnas1.example", 8444): its own section's sApiKeyFile, when
// present, replaces the client section's (endpointSection above).
ClientSettings readClientSettings(std::vector<std::string>& notes, const std::string& controlHost, int port);

}  // namespace managehnas

// The array client's settings, read from the platform settings store,
// section "~Vorlane/HNASClient", with the defaults a backup job can live
// with when a key is absent or out of range:
//   [~Vorlane/HNASClient]
//   nConnectTimeoutSecs=10   ; TCP and TLS connect
//   nRequestTimeoutSecs=60   ; one whole request, connect included
//   nRetryCount=2            ; extra tries after a transport failure
//   nRetryBackoffMs=200      ; wait before the first retry, doubled each time
//   sCAFile=/etc/hnas/ca.pem ; CA file the array's certificate is verified
//                            ; against (else $HNAS_CA_FILE, else the system's)
//   nInsecure=0              ; 1 turns certificate verification off (warned)
//   sApiVersion=v7           ; version segment of the storage paths
//   sApiKeyFile=/etc/hnas/api.key ; file holding an API key (made on the
//                            ; array with apikey-create); when set, the key
//                            ; is sent as X-Api-Key instead of the user and
//                            ; password that init receives
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
// Environment variable naming the CA file when the store names none.
constexpr char kCaFileVariable[] = "HNAS_CA_FILE";

struct ClientSettings {
    int connectTimeoutSecs = 10;
    int requestTimeoutSecs = 60;
    int retryCount = 2;
    int retryBackoffMs = 200;
    std::string caFile;          // empty: the system's CA store
    bool insecure = false;
    std::string apiVersion = "v7";
    std::string apiKeyFile;      // empty: user and password
};

// Reads every key. A value out of its range (time-outs 1..3600 s, retries
// 0..10, back-off 0..60000 ms, a version not of the form "v" + digits) keeps
// the default, and a note on it is appended to `notes` for the caller to log.
ClientSettings readClientSettings(std::vector<std::string>& notes);

}  // namespace managehnas

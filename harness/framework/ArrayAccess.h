// How hnas-host itself reaches an array, outside any job: through the same
// client library the plug-in uses (libQzManageHNAS.so), with the array's
// stored login and endpoint and the store's settings, as a job would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "harness/framework/HostRecords.h"
#include "harness/framework/HostStore.h"
#include "host/QzSnapEngineApi.h"

class QzManageHNAS;

// Prefix of the snapshots the plug-in makes ("QZHNAS-<snap UUID>-<fs>"),
// from QZSO::kSnapshotPrefix.
extern const std::string kOwnSnapshotPrefix;   // "QZHNAS-"
// The prefix argument the client's snapshot calls take.
using QZSO::kSnapshotPrefix;                    // "QZHNAS"
// What `hnas-host orphans` prints when no array holds an orphan; the demo
// reads it in that command's output.
extern const char kNoOrphans[];

// Where and as whom the array is reached.
struct ArrayEndpoint {
    std::string arrayId;       // e.g. "evs1"
    std::string controlHost;   // e.g. "10.0.0.5"
    std::string address;       // SMCONFIG_NAME_METRO_SERVER_IP, else the control host
    int port = 0;              // SMCONFIG_NAME_METRO_SERVER_PORT, else 8444
    std::string user;
    std::string password;      // never printed
};

bool arrayEndpoint(const ArrayRecord& array, ArrayEndpoint& endpoint, std::string& error);

// The array as the host answers for it in a job: its stored configuration
// values, plus the management endpoint the host knows for it where none is
// stored, as arrayEndpoint reaches it: SMCONFIG_NAME_METRO_SERVER_IP -> the
// control host (e.g. "10.0.0.5") and SMCONFIG_NAME_METRO_SERVER_PORT ->
// "8444" for an array added without --address and --port. The plug-in then
// reads the address it would fall back to, instead of a failure.
hostkit::HostArray arrayForJob(const ArrayRecord& array);

// Writes the store's settings file and points $QZ_SETTINGS_FILE at it, as a
// job does; the client logs to no file ($QZ_LOG_FILE is unset).
bool useStoreSettings(HostStore& store, std::vector<SettingRecord>& settings, std::string& error);

// The value of `key` in `section`, or `fallback`.
std::string settingValue(const std::vector<SettingRecord>& settings, const std::string& section,
                         const std::string& key, const std::string& fallback = std::string());

// The client's failure lines (level -1) while the object lives, e.g.
// "getVirtualServerInfo failed: HTTP status 401 on GET virtual-servers ...".
class ClientFailures {
public:
    ClientFailures();
    ~ClientFailures();
    // The last failure line since the last take(), "" when none; clears it.
    std::string take();

    ClientFailures(const ClientFailures&) = delete;
    ClientFailures& operator=(const ClientFailures&) = delete;

private:
    std::shared_ptr<std::string> last_;
};

// A client pointed at the array (init called); null with `error` (the
// client's message) when init fails.
std::unique_ptr<QzManageHNAS> connectClient(const ArrayEndpoint& endpoint, ClientFailures& failures,
                                            std::string& error);

// `text` with every occurrence of `secret` masked, for messages shown to
// the operator.
std::string withoutSecret(std::string text, const std::string& secret);

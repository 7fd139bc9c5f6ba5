#include "harness/cli/CheckArray.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "harness/cli/ArraySnapshots.h"
#include "harness/cli/CliCommand.h"
#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ArrayKeys.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/SettingsCatalog.h"
#include "host/QzManageHNAS.h"
#include "client/ApiKeyFile.h"
#include "client/ClientSettings.h"

namespace {

using managehnas::ClientSettings;

// One printed step: a probe phase (for "API version answers", the HTTP
// phase and the version phase together) with the harness's hint.
struct Step {
    explicit Step(const char* stepName) : name(stepName) {}
    const char* name;
    bool passed = false;
    std::string time;      // e.g. "3.7 ms", or "same request"
    std::string detail;    // what was found, or the client's failure message
    std::string hint;      // on failure: what to do
};

// "  ok    address resolves            0.3 ms  127.0.0.1 -> 127.0.0.1"
bool report(const Step& step, const std::string& password) {
    printf("  %-4s  %-22s %12s  %s\n", step.passed ? "ok" : "FAIL", step.name, step.time.c_str(),
           withoutSecret(step.detail, password).c_str());
    if (!step.passed) printf("\nhint: %s\n", withoutSecret(step.hint, password).c_str());
    fflush(stdout);
    return step.passed;
}

std::string timeText(long long micros) {
    if (micros < 0) return "same request";
    char text[32];
    snprintf(text, sizeof(text), "%.1f ms", static_cast<double>(micros) / 1e3);
    return text;
}

const char* stepName(QzProbeStep step) {
    switch (step) {
        case QzProbeStep::Resolve:
            return "address resolves";
        case QzProbeStep::Connect:
            return "TCP connects";
        case QzProbeStep::Tls:
            return "TLS verifies";
        case QzProbeStep::Http:
        case QzProbeStep::ApiVersion:
            return "API version answers";
        case QzProbeStep::Credentials:
            return "credentials accepted";
        case QzProbeStep::VirtualServer:
            return "virtual server found";
    }
    return "?";
}

// What the operator can do about a failed phase.
std::string hintFor(const QzProbePhase& phase, const std::string& arrayName, const ArrayEndpoint& endpoint,
                    const ClientSettings& settings) {
    const std::string section = std::string("[") + managehnas::kClientSection + "]";
    switch (phase.step) {
        case QzProbeStep::Resolve:
            if (phase.failure == QzProbeFailure::Setup) break;
            return "check the array's address (add-array --address, SMCONFIG_NAME_METRO_SERVER_IP; else its "
                   "control host) and this machine's resolver";
        case QzProbeStep::Connect:
            return "nothing answers there: check the port (add-array --port, SMCONFIG_NAME_METRO_SERVER_PORT, "
                   "default 8444), that the management service runs, and firewalls";
        case QzProbeStep::Tls:
            if (phase.failure == QzProbeFailure::CaFileUnusable)
                return std::string("CA file unusable: set ") + managehnas::kCaFileKey + " in " + section +
                       " to a readable PEM file";
            if (phase.failure == QzProbeFailure::Untrusted)
                return std::string("certificate not trusted: set ") + managehnas::kCaFileKey +
                       " to the CA that signed the array's certificate, e.g. hnas-host set-setting '" +
                       managehnas::kClientSection + "' " + managehnas::kCaFileKey + " /path/to/ca.pem";
            if (phase.failure == QzProbeFailure::TimedOut) break;
            return "the endpoint does not speak TLS as expected: is this the array's management port?";
        case QzProbeStep::Http:
            return std::string("no whole answer came back: is this the array's management port? (") +
                   managehnas::kRequestTimeoutKey + " bounds one request)";
        case QzProbeStep::ApiVersion:
            return "the array does not serve API version " + settings.apiVersion + ": set " +
                   managehnas::kApiVersionKey + " in " + section + " to one it serves";
        case QzProbeStep::Credentials:
            if (!settings.apiKeyFile.empty() && settings.apiKeyFileSection != managehnas::kClientSection)
                return "the array refused the API key in " + settings.apiKeyFile +
                       ": make a new key on the array and name its file with hnas-host update-array " + arrayName +
                       " --api-key-file FILE";
            if (!settings.apiKeyFile.empty())
                return "the array refused the API key in " + settings.apiKeyFile + " (" + managehnas::kApiKeyFileKey +
                       "): make a new key on the array or clear the setting";
            return "the array refused user " + endpoint.user +
                   ": check the user and the password the array was added with";
        case QzProbeStep::VirtualServer:
            if (phase.failure == QzProbeFailure::NoVirtualServer)
                return "no virtual server of the array is named " + endpoint.arrayId +
                       " or has that address: add the array with --array-id naming one";
            return "the array answered but the lookup failed: see the message above";
    }
    return "the array client could not complete a request: see the message above";
}

// Prints what the check is of: the array, its endpoint, the credential its
// client sends, and each setting the client ignores; the client's settings
// for the array, read for its control host and port as its client will.
ClientSettings describeSetup(const ArrayRecord& array, const ArrayEndpoint& endpoint,
                             const std::vector<SettingRecord>& storeSettings) {
    std::vector<std::string> notes;
    const ClientSettings settings = managehnas::readClientSettings(notes, endpoint.controlHost, endpoint.port);
    for (const std::string& line : settingsIgnored(storeSettings)) notes.push_back(line);
    for (const SettingRecord& s : storeSettings)
        if (isKeyForEveryArray(s))
            notes.push_back("[" + s.section + "] " + s.key + "=" + s.value + ": " + kKeyForEveryArrayRefused);

    // With a key file set the client sends the key alone, never the user.
    const std::string credential = settings.apiKeyFile.empty() ? "user " + endpoint.user
                                                               : "API key from " + settings.apiKeyFile;
    std::string key;
    std::string unread;
    bool othersMayRead = false;
    if (!settings.apiKeyFile.empty() && managehnas::readApiKeyFile(settings.apiKeyFile, key, othersMayRead, unread) &&
        othersMayRead)
        warn(readableKeyFileWarning(settings.apiKeyFile, "array " + array.name));
    printf("check-array %s: array ID %s, endpoint %s port %d, %s\n", array.name.c_str(), endpoint.arrayId.c_str(),
           endpoint.address.c_str(), endpoint.port, credential.c_str());
    for (const std::string& note : notes)
        printf("  note  setting ignored: %s\n", withoutSecret(note, endpoint.password).c_str());
    return settings;
}

// Prints a step for each phase the probe went through; false at the first
// that failed.
bool reportPhases(const std::vector<QzProbePhase>& phases, const std::string& arrayName, const ArrayEndpoint& endpoint,
                  const ClientSettings& settings) {
    for (size_t i = 0; i < phases.size(); ++i) {
        const QzProbePhase& phase = phases[i];
        // The HTTP phase and the version phase print as one step: an answer
        // on the version's paths. A passed HTTP phase gives the step its time.
        if (phase.step == QzProbeStep::Http && phase.passed && i + 1 < phases.size()) continue;
        Step step(stepName(phase.step));
        step.passed = phase.passed;
        step.time = timeText(phase.step == QzProbeStep::ApiVersion && i > 0 ? phases[i - 1].micros : phase.micros);
        step.detail = phase.message;
        if (!phase.passed) step.hint = hintFor(phase, arrayName, endpoint, settings);
        if (!report(step, endpoint.password)) return false;
    }
    return true;
}

}  // namespace

int checkArray(HostStore& store, const std::string& arrayName, std::string& error) {
    std::vector<ArrayRecord> arrays;
    if (!store.loadArrays(arrays, error)) return exitCodeForStoreFailure(store.busy());
    const ArrayRecord* array = nullptr;
    for (const ArrayRecord& a : arrays)
        if (a.name == arrayName) array = &a;
    if (array == nullptr) {
        error = unknownArrayMessage(arrayName);
        return kExitBadInput;
    }
    ArrayEndpoint endpoint;
    std::vector<SettingRecord> storeSettings;
    if (!arrayEndpoint(*array, endpoint, error)) return kExitBadInput;
    if (!useStoreSettings(store, storeSettings, error)) return exitCodeForStoreFailure(store.busy());
    const ClientSettings settings = describeSetup(*array, endpoint, storeSettings);
    const std::string& password = endpoint.password;

    ClientFailures failures;
    std::string cause;
    std::unique_ptr<QzManageHNAS> client = connectClient(endpoint, failures, cause);
    if (client == nullptr) {
        Step setup("client set up");
        setup.detail = cause;
        setup.hint = "the array client refused the endpoint or its settings: see the message above";
        report(setup, password);
        return kExitCheckFailed;
    }
    std::vector<QzProbePhase> phases;
    const bool reached = client->probe(endpoint.arrayId, phases);
    if (!reportPhases(phases, array->name, endpoint, settings)) return kExitCheckFailed;
    if (!reached) {
        // A probe cut short before it named a failed phase (the client ran
        // out of memory): its failure line says so.
        error = withoutSecret(failures.take(), password);
        if (error.empty()) error = "the array client could not complete the check";
        return kExitCheckFailed;
    }
    // Reached: a file system near the most snapshots it can hold is told
    // before a snap meets the limit.
    std::vector<__HNASFileSystemSnapshot> snapshots;
    std::vector<QzSnapshotRetention> retention;
    if (!listSnapshots(*client, failures, endpoint, snapshots, retention, cause))
        printf("  note  snapshots not counted: %s\n", cause.c_str());
    for (const FileSystemNearLimit& near : fileSystemsNearLimit(*client, snapshots))
        printf("  note  %s\n", nearLimitText(near).c_str());
    printf("\nall steps passed: the plug-in can reach array %s\n", array->name.c_str());
    return kExitOk;
}

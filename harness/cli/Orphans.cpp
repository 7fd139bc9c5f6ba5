#include "harness/cli/Orphans.h"

#include <time.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>

#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/TextTables.h"
#include "host/QzManageHNAS.h"

namespace {

struct Orphan {
    std::string array;
    std::string fileSystem;   // label, else the ID
    __HNASFileSystemSnapshot snapshot;
};

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string localTime(uint64_t seconds) {
    if (seconds == 0) return "-";
    const time_t when = static_cast<time_t>(seconds);
    struct tm local;
    localtime_r(&when, &local);
    char text[32];
    strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// The orphans of one array; false with the client's message when it could
// not be asked.
bool orphansOf(const ArrayRecord& array, const std::vector<DeviceRecord>& devices, std::vector<Orphan>& orphans,
               std::string& error) {
    ArrayEndpoint endpoint;
    if (!arrayEndpoint(array, endpoint, error)) return false;
    ClientFailures failures;
    std::unique_ptr<QzManageHNAS> client = connectClient(endpoint, failures, error);
    if (client == nullptr) return false;
    std::vector<__HNASFileSystemSnapshot> snapshots;
    if (!client->getAllSnapshots(snapshots)) {
        error = withoutSecret(failures.take(), endpoint.password);
        return false;
    }
    std::map<std::string, std::string> labels;   // file system ID -> label
    for (const __HNASFileSystemSnapshot& s : snapshots) {
        if (!startsWith(s.name, kOwnSnapshotPrefix) || snapshotReferenced(s.name, devices)) continue;
        auto label = labels.find(s.fileSystemId);
        if (label == labels.end()) {
            std::vector<__HNASFileSystemInfo> info;
            const bool named = client->getFileSystemsInfo(s.fileSystemId, info) && !info.empty();
            label = labels.emplace(s.fileSystemId, named ? info[0].name : s.fileSystemId).first;
        }
        orphans.push_back({array.name, label->second, s});
    }
    return true;
}

bool confirm(size_t count) {
    printf("Delete these %zu snapshot(s) from the arrays? Type yes: ", count);
    fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) answer.clear();
    printf("\n");
    return answer == "yes" || answer == "y";
}

}  // namespace

bool snapshotReferenced(const std::string& name, const std::vector<DeviceRecord>& devices) {
    for (const DeviceRecord& d : devices) {
        if (!d.snapUUID.empty() &&
            (name == d.snapUUID || startsWith(name, kOwnSnapshotPrefix + d.snapUUID + "-")))
            return true;
        for (const auto& m : d.metadata)
            if (m.second.find(name) != std::string::npos) return true;
    }
    return false;
}

int findOrphans(HostStore& store, const OrphanOptions& options, std::string& error) {
    std::vector<ArrayRecord> arrays;
    std::vector<DeviceRecord> devices;
    std::vector<SettingRecord> settings;
    if (!store.loadArrays(arrays, error) || !store.loadDevices(devices, error) ||
        !useStoreSettings(store, settings, error))
        return kExitHostError;
    int code = kExitOk;
    std::vector<Orphan> orphans;
    for (const ArrayRecord& array : arrays) {
        std::string cause;
        if (!orphansOf(array, devices, orphans, cause)) {
            printf("array %s: cannot list its snapshots: %s\n", array.name.c_str(), cause.c_str());
            code = kExitCheckFailed;
        }
    }
    if (orphans.empty()) {
        printf("%s%s\n", kNoOrphans, code == kExitOk ? "" : " of those that could be asked");
        return code;
    }
    std::vector<std::vector<std::string>> rows;
    for (const Orphan& o : orphans)
        rows.push_back({o.array, o.fileSystem, o.snapshot.name, localTime(o.snapshot.creationTime), "-"});
    printf("%zu orphaned snapshot(s): made by the plug-in, referred to by no device\n%s", orphans.size(),
           formatTable({"array", "file system", "snapshot", "created", "size"}, rows).c_str());
    if (!options.remove) {
        printf("(size: the array does not report it.) Remove them with: hnas-host orphans --delete\n");
        return code;
    }
    if (!options.confirmed && !confirm(orphans.size())) {
        error = "nothing deleted: not confirmed (--yes skips the question)";
        return kExitHostError;
    }
    // A job may have started since the list was made: look at the devices again.
    if (!store.loadDevices(devices, error)) return kExitHostError;
    for (const ArrayRecord& array : arrays) {
        ArrayEndpoint endpoint;
        std::string cause;
        ClientFailures failures;
        std::unique_ptr<QzManageHNAS> client;
        for (const Orphan& o : orphans) {
            if (o.array != array.name) continue;
            if (snapshotReferenced(o.snapshot.name, devices)) {
                printf("kept %s: a device refers to it now\n", o.snapshot.name.c_str());
                continue;
            }
            if (client == nullptr && arrayEndpoint(array, endpoint, cause))
                client = connectClient(endpoint, failures, cause);
            if (client != nullptr && client->deleteFileSystemSnapshot(o.snapshot, kSnapshotPrefix)) {
                printf("deleted %s (array %s, file system %s)\n", o.snapshot.name.c_str(), o.array.c_str(),
                       o.fileSystem.c_str());
                continue;
            }
            if (client != nullptr) cause = withoutSecret(failures.take(), endpoint.password);
            printf("could not delete %s: %s\n", o.snapshot.name.c_str(), cause.c_str());
            code = kExitCheckFailed;
        }
    }
    return code;
}

// How far a job has come, told from the statuses the plug-in sets as it
// works: every operation but reconcile first presets each device's status
// to the operation's failure status (is-mapped: NOT_MAPPED), then sets each
// device it finishes. A device counts as done once the plug-in sets a status
// other than that preset, or sets one a second time in the job (a failure,
// or "not mapped", confirms the preset). Reconcile presets nothing: any
// status it sets (a snapshot found missing) counts. Revert sets no status on
// a device it reverted, and reconcile none on a snapshot it found, so their
// count shows only the devices they failed or found missing.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

struct JobProgress {
    // Called with the devices done and the job's devices whenever the count
    // changes; may be empty.
    std::function<void(int done, int total)> report;
    int total = 0;
    int presetStatus = 0;                     // 0: the operation presets none
    std::map<long long, int> statusWrites;    // by device id
    std::set<long long> done;

    // Starts counting the `total` devices of a job running `operation`.
    void start(const std::string& operation, int deviceCount);
    // The plug-in set `status` on device `deviceId`.
    void statusSet(long long deviceId, int status);
};

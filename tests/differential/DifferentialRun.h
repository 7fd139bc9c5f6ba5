// Plays a scenario with the plug-in's entry points in this process, the
// recording host (tests/fakes) and the real array client, against
// hnas-arraysim on loopback, at a given number of requests in flight; and
// compares two such plays job by job.
//
// What is compared after every job, per device: status, error code and
// text, both metadata texts (6 and 16), snap UUID and snap device, and the
// host log lines of level 2 written during the job; per job: the return
// code, the plug-in's log lines of levels -1 and 0 (EvDebug, the array
// client's included), the changes the array made (creates, deletes,
// roll-backs and permission calls answered 2xx or not at all, by operation
// and status: nothing that changes the array may be sent ahead of a device
// the operation does not reach) and the objects
// left on the array (file systems, shares and exports with their paths,
// settings and permissions, snapshots). Normalised, because they may differ
// with nothing wrong: a snapshot's creation time and sequence number, and
// the IDs the simulator mints for shares from its counter.
#pragma once

#include <string>
#include <vector>

#include "tests/differential/DifferentialScenario.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDirectory.h"

namespace differential {

struct DeviceState {
    int status = 0;
    int errorCode = 0;
    std::string errorText;
    std::string identity;   // metadata type 6
    std::string settings;   // metadata type 16
    std::string snapUUID;
    std::string snapDevice;
    std::vector<std::string> hostFailures;   // host log lines of level 2 written during the job
};

struct JobRecord {
    int returnCode = 0;
    std::vector<DeviceState> devices;        // every device of the scenario, after the job
    std::vector<std::string> log;            // "<level> <context> <message>", levels -1 and 0
    std::vector<std::string> arrayChanges;   // e.g. "createShare 201 x2", "deleteShare 0 x1", sorted
    std::vector<std::string> arrayObjects;   // one object a line, sorted
};

struct Transcript {
    int inFlight = 1;
    std::vector<JobRecord> jobs;
    std::string error;   // why the scenario could not be played; "" when it was
};

// hnas-arraysim with a state file of its own, for every play of this
// process; each play resets it and seeds the scenario's array.
class DifferentialArray {
public:
    DifferentialArray();

    bool started() const { return sim_.running(); }
    const std::string& error() const { return error_; }
    Transcript play(const Scenario& scenario, int inFlight);

    DifferentialArray(const DifferentialArray&) = delete;
    DifferentialArray& operator=(const DifferentialArray&) = delete;

private:
    testsupport::TempDirectory dir_;
    simkit::SimProcess sim_;
    std::string error_;
};

// What differs after one job.
struct Divergence {
    size_t job = 0;                   // index into Scenario::jobs
    std::vector<std::string> kinds;   // of "return code", "devices", "log", "array changes", "array objects"
    std::string text;                 // a paragraph naming the job, each device and what each side saw
};

// What differs between two plays of one scenario, job by job; empty when
// they agree. A difference a job left and later jobs kept on both sides is
// reported with the job that made it.
std::vector<Divergence> compare(const Scenario& scenario, const Transcript& first, const Transcript& second);

// The report of divergences: how to replay them, the scenario, the paragraphs.
std::string report(const Scenario& scenario, const Transcript& first, const Transcript& second,
                   const std::vector<Divergence>& divergences);

// One line: "job 4 map (devices, log)" for each job that differs.
std::string summary(const Scenario& scenario, const std::vector<Divergence>& divergences);

}  // namespace differential

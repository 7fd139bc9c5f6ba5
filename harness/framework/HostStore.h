// The host store: one directory holding the SQLite database "host.db", a
// "logs" folder with the log files of every job and a "locks" folder
// (StoreLocks.h). The database keeps an array's password inside its
// array-info text, so the directories must be the user's own and private
// (0700; a store directory of another user or writable by others is
// refused) and the database is 0600; an opened database that others can
// read is made private again.
//
// The database runs in WAL mode with full syncs: every write the plug-in
// makes (saveDeviceState, saveMetadata) is its own short transaction, on
// disk when the call returns, so a job that dies keeps everything the
// plug-in was told was stored. Opening the store marks each "running" job
// whose process is gone as "interrupted": a job row holds its process ID,
// start time and view of process IDs (ProcessIdentity.h), which no file
// deletion can fake. A job whose process this one cannot see (another PID
// namespace or host, a /proc that hides it) is running while it holds one
// of its device locks, which the kernel drops when it ends.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "harness/framework/HostRecords.h"

struct sqlite3;

// How long every statement of a store waits for another process's
// transaction: $HNAS_HOST_BUSY_WAIT seconds, 60 when not set or not a
// number. A wait that runs out fails the call with storeBusyMessage() and
// HostStore::busy() tells so.
int storeBusyWaitSeconds();
// "the store is busy: another hnas-host command held it for longer than 60 s
// (HNAS_HOST_BUSY_WAIT); try again".
std::string storeBusyMessage();

// "no array \"hnas9\" in the store (see list-arrays)".
std::string unknownArrayMessage(const std::string& name);

class HostStore {
public:
    HostStore();
    ~HostStore();

    // Creates the directory `dir` (e.g. "/tmp/demo/store") with an empty
    // store in it. Fails when a store is there already.
    bool create(const std::string& dir, std::string& error);
    // Whether `dir` holds a store's database (create refuses it).
    static bool existsIn(const std::string& dir);
    // Opens an existing store.
    bool open(const std::string& dir, std::string& error);

    // The store's directory as an absolute path, e.g. "/home/op/relstore"
    // for a store named "relstore" from /home/op.
    const std::string& directory() const { return dir_; }
    // The store's identity, 12 hex digits made when it was created (or first
    // opened by a version that knows identities), e.g. "5e0c2a7b91d4". Every
    // snap UUID a job of this store hands out ends in it, so the snapshots
    // the store made carry it in their names (SnapshotOwnership.h).
    const std::string& identity() const { return identity_; }
    std::string logDirectory() const;
    // Where a job's log is, from the name its row keeps: "logs/job-7-snap.host.log"
    // gives "<store>/logs/job-7-snap.host.log". Rows of earlier versions
    // kept the path the job wrote to, absolute or relative to the directory
    // it ran in, maybe of the store this one was copied from: only its file
    // name counts, in this store's log directory. "" for a name of no file.
    std::string logPath(const std::string& named) const;
    std::string databasePath() const { return dir_ + "/host.db"; }
    std::string lockDirectory() const { return dir_ + "/locks"; }

    // Arrays. addArray fails on a duplicate name or control host ID.
    bool addArray(const ArrayRecord& array, std::string& error);
    bool loadArrays(std::vector<ArrayRecord>& arrays, std::string& error);
    // Replaces the array of `array.name` (its array-info text, vendor, key
    // file and every configuration value); fails when there is none or when
    // another array has its control host ID.
    bool updateArray(const ArrayRecord& array, std::string& error);
    // Removes the array `name` with its configuration, unless a device is
    // attached to it (DeviceRecord::arrayName): then false, with those
    // devices' names in `referringDevices` and the reason in `error`.
    bool removeArray(const std::string& name, std::vector<std::string>& referringDevices, std::string& error);

    // Devices. addDevice sets `device.id`; a label, when given, is unique.
    bool addDevice(DeviceRecord& device, std::string& error);
    // Adds all of `devices` in one transaction, setting their ids, or none.
    bool addDevices(std::vector<DeviceRecord>& devices, std::string& error);
    // Removes the devices with `ids`, their metadata and their restore points
    // in one transaction, or none. The history keeps their names.
    bool removeDevices(const std::vector<long long>& ids, std::string& error);
    // Every device with its metadata, in id order.
    bool loadDevices(std::vector<DeviceRecord>& devices, std::string& error);

    bool setSetting(const SettingRecord& setting, std::string& error);
    // Removes a setting; `existed` tells whether there was one.
    bool unsetSetting(const std::string& section, const std::string& key, bool& existed, std::string& error);
    bool loadSettings(std::vector<SettingRecord>& settings, std::string& error);

    // One write of the plug-in: the device's status, error, snap UUID, snap
    // device and attached array, or one metadata text. Durable on return.
    bool saveDeviceState(const DeviceRecord& device, std::string& error);
    bool saveMetadata(long long deviceId, int type, const std::string& text, std::string& error);

    // In one transaction: records the start of a job (outcome "running")
    // with this process's ID and start time, sets `job.id` and its log
    // paths, and writes each device's state as the job starts it (errors
    // cleared, a fresh snap UUID) with the job as its last job. Each snap
    // UUID of this store a device holds joins the store's record of the
    // snap UUIDs it handed out, before the plug-in sees it.
    // The devices of `onPoints` act on one of their earlier restore points:
    // their rows keep their state (the job's writes go to the point,
    // savePointState) and only name the job as their last.
    bool beginJob(JobRecord& job, const std::vector<DeviceRecord>& devices, std::string& error,
                  const std::vector<long long>& onPoints = std::vector<long long>());
    // In one transaction: records each device's result, and finishes the job
    // row with `returnCode` and `outcome`, whatever another command concluded
    // about the job meanwhile.
    // `points` says which devices gained a restore point (their state as
    // committed, with the job) and whose restore point went with the
    // snapshot a delete removed, and whose point of their snapshot takes
    // their state as committed.
    bool commitJob(long long jobId, const std::vector<DeviceRecord>& devices, int returnCode,
                   const std::string& outcome, std::string& error,
                   const RestorePointChanges& points = RestorePointChanges());
    // Writes `device`'s status, snap device and metadata into its restore
    // point of the snapshot `device.snapUUID`, if it has one. Durable on return.
    bool savePointState(const DeviceRecord& device, std::string& error);
    // Every restore point, in the order made.
    bool loadRestorePoints(std::vector<RestorePointRecord>& points, std::string& error);
    // The job's outcome as a new reader of the store sees it, after this
    // store's connection was closed and opened again; "" when it cannot be
    // read. After a commit that failed while syncing, SQLite may still find
    // the commit whole in its log when the store is next opened: this tells
    // which way it went.
    std::string outcomeSeenAfresh(long long jobId);
    // Finishes the job row without results (e.g. the plug-in threw).
    bool finishJobOnly(long long jobId, const std::string& outcome, std::string& error);
    bool loadJobs(std::vector<JobRecord>& jobs, std::string& error);
    // Marks the "running" jobs whose process is gone as "interrupted" again
    // (as open does), e.g. once a job holds its device locks: `ownDevices`
    // names the devices whose locks this process holds, which no other job
    // can hold then.
    void refreshInterruptedJobs(const std::vector<long long>& ownDevices);
    bool loadJobResults(long long jobId, std::vector<JobResultRecord>& results, std::string& error);
    // For each job with results, how many of its devices it left in each
    // status: totals[job][status] = devices.
    bool loadJobTotals(std::map<long long, std::map<int, int>>& totals, std::string& error);
    // Every snap UUID the store handed out, e.g.
    // "3f2a9c1e-7b4d-4e21-9a55-5e0c2a7b91d4": what tells its snapshots from
    // those of a copy of it, which carry its identity too. A store made
    // before the record got it filled from its devices and its history.
    bool loadSnapUuids(std::set<std::string>& uuids, std::string& error);

    // Whether the last call that failed did so because the store stayed
    // busy for the whole busy wait: the command may be tried again.
    bool busy() const { return busy_; }

    HostStore(const HostStore&) = delete;
    HostStore& operator=(const HostStore&) = delete;

private:
    bool openDatabase(bool creating, std::string& error);
    bool exec(const char* sql, std::string& error);
    bool addMissingColumns(std::string& error);
    // Reads the identity; `found` false when the store has none yet.
    bool readIdentity(bool& found, std::string& error);
    bool readOrMakeIdentity(std::string& error);
    // Says why the last call on the database failed, as `what: reason`,
    // and notes whether the store was busy.
    bool failed(std::string& error, const std::string& what);
    // Fills a new record of snap UUIDs with those of this store that the
    // devices and the job results hold.
    bool recordEarlierSnapUuids(std::string& error);
    // Marks "running" jobs whose process is gone as "interrupted", with each
    // of their devices' last state as their results. Best effort. A job
    // whose process this one cannot see (ProcessIdentity.h) counts as
    // running while it holds a lock of one of its devices, other than
    // `ownDevices`.
    void markInterruptedJobs(const std::vector<long long>& ownDevices);
    // Whether a process holds the lock of a device whose last job is `jobId`,
    // other than `ownDevices`.
    bool holdsDeviceLocks(long long jobId, const std::vector<long long>& ownDevices);

    std::string dir_;
    std::string identity_;
    sqlite3* db_ = nullptr;
    bool busy_ = false;
};

// The host store: one directory holding the SQLite database "host.db" and a
// "logs" folder with the log files of every job. The database keeps an
// array's password inside its array-info text, so the directory is created
// 0700 and the database 0600, and an opened database that others can read
// is made private again.
//
// Every job commits what the plug-in reported in one transaction (commitJob),
// so a job that crashes leaves only its "running" history row behind.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "harness/HostRecords.h"

struct sqlite3;

class HostStore {
public:
    HostStore();
    ~HostStore();

    // Creates the directory `dir` (e.g. "/tmp/demo/store") with an empty
    // store in it. Fails when a store is there already.
    bool create(const std::string& dir, std::string& error);
    // Opens an existing store.
    bool open(const std::string& dir, std::string& error);

    const std::string& directory() const { return dir_; }
    std::string logDirectory() const { return dir_ + "/logs"; }
    std::string databasePath() const { return dir_ + "/host.db"; }

    // Arrays. addArray fails on a duplicate name or control host ID.
    bool addArray(const ArrayRecord& array, std::string& error);
    bool loadArrays(std::vector<ArrayRecord>& arrays, std::string& error);

    // Devices. addDevice sets `device.id`; a label, when given, is unique.
    bool addDevice(DeviceRecord& device, std::string& error);
    // Every device with its metadata, in id order.
    bool loadDevices(std::vector<DeviceRecord>& devices, std::string& error);

    bool setSetting(const SettingRecord& setting, std::string& error);
    bool loadSettings(std::vector<SettingRecord>& settings, std::string& error);

    // Records the start of a job (outcome "running") and sets `job.id`.
    bool beginJob(JobRecord& job, std::string& error);
    // In one transaction: writes every device back (state, attached array,
    // metadata), records each device's result, and finishes the job row with
    // `returnCode` and `outcome`.
    bool commitJob(long long jobId, const std::vector<DeviceRecord>& devices, int returnCode,
                   const std::string& outcome, std::string& error);
    // Finishes the job row without touching any device (e.g. the plug-in threw).
    bool finishJobOnly(long long jobId, const std::string& outcome, std::string& error);
    bool loadJobs(std::vector<JobRecord>& jobs, std::string& error);
    bool loadJobResults(long long jobId, std::vector<JobResultRecord>& results, std::string& error);

    HostStore(const HostStore&) = delete;
    HostStore& operator=(const HostStore&) = delete;

private:
    bool openDatabase(bool creating, std::string& error);
    bool exec(const char* sql, std::string& error);

    std::string dir_;
    sqlite3* db_ = nullptr;
};

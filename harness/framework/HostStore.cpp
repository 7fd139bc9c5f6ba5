#include "harness/framework/HostStore.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

#include <nlohmann/json.hpp>

#include "harness/framework/PrivateFiles.h"
#include "harness/framework/ProcessIdentity.h"
#include "harness/framework/RandomText.h"
#include "harness/framework/SnapshotOwnership.h"
#include "harness/framework/StoreLocks.h"
#include "harness/framework/TextTables.h"

namespace {

const char kSchema[] = R"SQL(
CREATE TABLE arrays(
  name TEXT PRIMARY KEY,
  vendor TEXT NOT NULL,
  array_info TEXT NOT NULL,
  control_host_id INTEGER NOT NULL UNIQUE,
  api_key_file TEXT NOT NULL DEFAULT '');
CREATE TABLE array_configs(
  array_name TEXT NOT NULL REFERENCES arrays(name) ON DELETE CASCADE,
  name TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(array_name, name));
CREATE TABLE devices(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  label TEXT UNIQUE,
  source_device TEXT NOT NULL,
  status INTEGER NOT NULL DEFAULT 0,
  error_code INTEGER NOT NULL DEFAULT 0,
  error_message TEXT NOT NULL DEFAULT '',
  snap_uuid TEXT NOT NULL DEFAULT '',
  snap_device TEXT NOT NULL DEFAULT '',
  array_name TEXT NOT NULL DEFAULT '',
  last_job INTEGER NOT NULL DEFAULT 0);
CREATE TABLE metadata(
  device_id INTEGER NOT NULL REFERENCES devices(id) ON DELETE CASCADE,
  type INTEGER NOT NULL,
  text TEXT NOT NULL,
  PRIMARY KEY(device_id, type));
CREATE TABLE settings(
  section TEXT NOT NULL,
  key TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(section, key));
CREATE TABLE jobs(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  operation TEXT NOT NULL,
  devices TEXT NOT NULL,
  started TEXT NOT NULL,
  finished TEXT NOT NULL DEFAULT '',
  return_code INTEGER NOT NULL DEFAULT -1,
  outcome TEXT NOT NULL,
  host_log TEXT NOT NULL DEFAULT '',
  plugin_log TEXT NOT NULL DEFAULT '',
  pid INTEGER NOT NULL DEFAULT 0,
  pid_start INTEGER NOT NULL DEFAULT 0,
  pid_view TEXT);
CREATE TABLE job_results(
  job_id INTEGER NOT NULL REFERENCES jobs(id),
  device_id INTEGER NOT NULL,
  device_name TEXT NOT NULL,
  status INTEGER NOT NULL,
  error_code INTEGER NOT NULL,
  error_message TEXT NOT NULL,
  snap_uuid TEXT NOT NULL,
  snap_device TEXT NOT NULL,
  PRIMARY KEY(job_id, device_id));
CREATE TABLE store_identity(id TEXT NOT NULL);
CREATE TABLE restore_points(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  device_id INTEGER NOT NULL,
  device_name TEXT NOT NULL,
  snap_uuid TEXT NOT NULL,
  status INTEGER NOT NULL,
  snap_device TEXT NOT NULL,
  job_id INTEGER NOT NULL,
  created TEXT NOT NULL,
  metadata TEXT NOT NULL);
CREATE TABLE snap_uuids(
  uuid TEXT PRIMARY KEY,
  job_id INTEGER NOT NULL);
)SQL";

// What a store made before identities gets when it is next opened.
const char kIdentityTable[] = "CREATE TABLE IF NOT EXISTS store_identity(id TEXT NOT NULL)";
// What a store made before the record of snap UUIDs gets: job 0 stands for
// its history (recordEarlierSnapUuids).
const char kSnapUuidTable[] = "CREATE TABLE snap_uuids(uuid TEXT PRIMARY KEY, job_id INTEGER NOT NULL)";
// What a store made before restore points gets: none, until its next snap.
const char kRestorePointTable[] =
    "CREATE TABLE IF NOT EXISTS restore_points(id INTEGER PRIMARY KEY AUTOINCREMENT, device_id INTEGER NOT NULL, "
    "device_name TEXT NOT NULL, snap_uuid TEXT NOT NULL, status INTEGER NOT NULL, snap_device TEXT NOT NULL, "
    "job_id INTEGER NOT NULL, "
    "created TEXT NOT NULL, metadata TEXT NOT NULL)";
const char kRecordSnapUuid[] = "INSERT OR IGNORE INTO snap_uuids(uuid, job_id) VALUES(?1, ?2)";

const char kDatabaseFile[] = "/host.db";
// The folder of the job logs; a job row names its logs inside it, e.g.
// "logs/job-7-snap.host.log".
const char kLogsFolder[] = "logs";
const mode_t kPrivateFile = 0600;
// How long any statement waits for another process's transaction on the
// same store before the command gives up (storeBusyWaitSeconds).
const int kDefaultBusyWaitSeconds = 60;
const int kMaxBusyWaitSeconds = 86400;
const char kBusyWaitVariable[] = "HNAS_HOST_BUSY_WAIT";

std::string nowText() {
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char text[32];
    strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// One prepared statement, finalized when it goes.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    bool ok() const { return stmt_ != nullptr; }
    Statement& text(int index, const std::string& value) {
        if (stmt_ != nullptr)
            sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& integer(int index, long long value) {
        if (stmt_ != nullptr) sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    Statement& null(int index) {
        if (stmt_ != nullptr) sqlite3_bind_null(stmt_, index);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return stmt_ == nullptr ? SQLITE_ERROR : sqlite3_step(stmt_); }
    bool run() { return step() == SQLITE_DONE; }
    std::string column(int index) const {
        const unsigned char* value = sqlite3_column_text(stmt_, index);
        const int bytes = sqlite3_column_bytes(stmt_, index);
        return value == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(value), bytes);
    }
    long long columnInt(int index) const { return sqlite3_column_int64(stmt_, index); }
    std::string error() const { return sqlite3_errmsg(db_); }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Whether the last call on `db` failed because another connection held the
// database for longer than the busy wait.
bool busyFailure(sqlite3* db) {
    const int code = db != nullptr ? sqlite3_errcode(db) : SQLITE_OK;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

bool fail(std::string& error, const std::string& what, sqlite3* db) {
    error = what + ": " + (busyFailure(db) ? storeBusyMessage() : db != nullptr ? sqlite3_errmsg(db) : "no database");
    return false;
}

// Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) {
        begun_ = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction() {
        if (begun_ && !done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    bool begun() const { return begun_; }
    bool commit() {
        done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        return done_;
    }

private:
    sqlite3* db_;
    bool begun_ = false;
    bool done_ = false;
};

}  // namespace

namespace {

// `dir` as an absolute path, e.g. "/home/op/relstore" for "relstore" run
// from /home/op: job rows and the logs the jobs name never depend on the
// directory a command runs in.
std::string absolutePath(const std::string& dir) {
    if (!dir.empty() && dir[0] == '/') return dir;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return dir;
    return std::string(cwd) + "/" + dir;
}

}  // namespace

int storeBusyWaitSeconds() {
    const char* text = getenv(kBusyWaitVariable);
    if (text == nullptr || *text == '\0') return kDefaultBusyWaitSeconds;
    char* end = nullptr;
    errno = 0;
    const long seconds = strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || seconds < 0) return kDefaultBusyWaitSeconds;
    return static_cast<int>(std::min<long>(seconds, kMaxBusyWaitSeconds));
}

std::string storeBusyMessage() {
    return "the store is busy: another hnas-host command held it for longer than " +
           std::to_string(storeBusyWaitSeconds()) + " s (" + kBusyWaitVariable + "); try again";
}

std::string unknownArrayMessage(const std::string& name) {
    return "no array \"" + name + "\" in the store (see list-arrays)";
}

std::string deviceDisplayName(const DeviceRecord& device) {
    return device.label.empty() ? "#" + std::to_string(device.id) : device.label;
}

HostStore::HostStore() = default;

bool HostStore::failed(std::string& error, const std::string& what) {
    busy_ = busyFailure(db_);
    return fail(error, what, db_);
}

HostStore::~HostStore() { sqlite3_close(db_); }

bool HostStore::exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    busy_ = busyFailure(db_);
    error = busy_ ? storeBusyMessage() : message != nullptr ? message : "SQLite error";
    sqlite3_free(message);
    return false;
}

bool HostStore::create(const std::string& dir, std::string& error) {
    if (!makePrivateDirectory(dir, error)) return false;
    struct stat info;
    if (lstat((dir + kDatabaseFile).c_str(), &info) == 0) {
        error = "a store exists already in " + dir;
        return false;
    }
    dir_ = absolutePath(dir);
    if (!makePrivateDirectory(logDirectory(), error) || !makePrivateDirectory(lockDirectory(), error)) return false;
    return openDatabase(true, error);
}

bool HostStore::existsIn(const std::string& dir) {
    struct stat info;
    return lstat((dir + kDatabaseFile).c_str(), &info) == 0;
}

bool HostStore::open(const std::string& dir, std::string& error) {
    struct stat info;
    if (lstat((dir + kDatabaseFile).c_str(), &info) != 0) {
        const int why = errno;
        // A directory this user may not enter (another user's private one)
        // hides the database: say whose it is, not that there is none.
        if (why != ENOENT && why != ENOTDIR) {
            if (!checkPrivateDirectory(dir, error)) return false;
            error = "cannot read the store in " + dir + ": " + strerror(why);
            return false;
        }
        error = "no store in " + dir + " (create one with: hnas-host --store " + dir + " init)";
        return false;
    }
    if (info.st_uid != geteuid()) {
        error = "refusing the store database " + dir + kDatabaseFile + ": it belongs to user " +
                std::to_string(info.st_uid) + ", not to you (user " + std::to_string(geteuid()) +
                "); use a store of your own";
        return false;
    }
    dir_ = absolutePath(dir);
    // A store made before the locks existed gets its folder now.
    if (!checkPrivateDirectory(dir, error) || !makePrivateDirectory(logDirectory(), error) ||
        !makePrivateDirectory(lockDirectory(), error) || !openDatabase(false, error))
        return false;
    markInterruptedJobs({});
    return true;
}

bool HostStore::openDatabase(bool creating, std::string& error) {
    const std::string path = databasePath();
    // The database file and SQLite's journal are created private.
    const mode_t previous = umask(077);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | (creating ? SQLITE_OPEN_CREATE : 0);
    const int opened = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    umask(previous);
    if (opened != SQLITE_OK) return failed(error, "cannot open " + path);
    // Others must not read the passwords, whoever loosened the mode.
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && (info.st_mode & 077) != 0 && chmod(path.c_str(), kPrivateFile) != 0) {
        error = "cannot make " + path + " private: " + strerror(errno);
        return false;
    }
    // One busy wait for every statement of this connection: the store's
    // checks at open, every read, every write and every sweep.
    sqlite3_busy_timeout(db_, storeBusyWaitSeconds() * 1000);
    // WAL: readers never wait for a job's write; FULL: each commit is synced.
    if (!exec("PRAGMA foreign_keys = ON", error) || !exec("PRAGMA journal_mode = WAL", error) ||
        !exec("PRAGMA synchronous = FULL", error))
        return false;
    if (creating) {
        Transaction transaction(db_);
        if (!transaction.begun()) return failed(error, "cannot create the store");
        if (!exec(kSchema, error) || !readOrMakeIdentity(error)) return false;
        if (!transaction.commit()) return failed(error, "cannot create the store");
        chmod(path.c_str(), kPrivateFile);
        return true;
    }
    {
        // Finalized before the next transaction: a read left open would
        // make BEGIN IMMEDIATE fail at once, without the busy wait, as soon
        // as another process has written since.
        Statement check(db_, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='jobs'");
        const int step = check.step();
        if (step != SQLITE_ROW && busyFailure(db_)) return failed(error, "cannot read " + path);
        if (step != SQLITE_ROW || check.columnInt(0) != 1) {
            error = path + " is not a host store";
            return false;
        }
    }
    return addMissingColumns(error);
}

bool HostStore::addMissingColumns(std::string& error) {
    const struct {
        const char* probe;
        const char* add;
    } columns[] = {
        {"SELECT last_job FROM devices LIMIT 0", "ALTER TABLE devices ADD COLUMN last_job INTEGER NOT NULL DEFAULT 0"},
        {"SELECT pid FROM jobs LIMIT 0", "ALTER TABLE jobs ADD COLUMN pid INTEGER NOT NULL DEFAULT 0"},
        {"SELECT pid_start FROM jobs LIMIT 0", "ALTER TABLE jobs ADD COLUMN pid_start INTEGER NOT NULL DEFAULT 0"},
        {"SELECT api_key_file FROM arrays LIMIT 0",
         "ALTER TABLE arrays ADD COLUMN api_key_file TEXT NOT NULL DEFAULT ''"},
        // NULL: a job recorded before views, in the view of whoever reads it.
        {"SELECT pid_view FROM jobs LIMIT 0", "ALTER TABLE jobs ADD COLUMN pid_view TEXT"},
    };
    // Whether `sql` compiles: the table or column it names is there. A
    // probe that could not read the schema because the store is busy
    // counts as missing; the transaction below waits and probes again.
    auto present = [this](const char* sql) {
        Statement probe(db_, sql);
        return probe.ok();
    };
    auto upToDate = [&] {
        for (const auto& column : columns)
            if (!present(column.probe)) return false;
        return present("SELECT id FROM store_identity LIMIT 0") && present("SELECT uuid FROM snap_uuids LIMIT 0") &&
               present("SELECT id FROM restore_points LIMIT 0");
    };
    // A store of this version is only read: the commands that look at it
    // never queue for the write lock behind a job.
    if (upToDate()) {
        bool found = false;
        if (!readIdentity(found, error)) return false;
        if (found) return true;
    }
    // An earlier version's store, brought up to date once, by whichever
    // command opens it first; another one waits and finds it done.
    Transaction transaction(db_);
    if (!transaction.begun()) return failed(error, "cannot read the store's identity");
    for (const auto& column : columns)
        if (!present(column.probe) && !exec(column.add, error)) return false;
    if (!exec(kIdentityTable, error) || !readOrMakeIdentity(error) || !exec(kRestorePointTable, error)) return false;
    if (!present("SELECT uuid FROM snap_uuids LIMIT 0") &&
        (!exec(kSnapUuidTable, error) || !recordEarlierSnapUuids(error)))
        return false;
    if (!transaction.commit()) return failed(error, "cannot store the store's identity");
    return true;
}

bool HostStore::recordEarlierSnapUuids(std::string& error) {
    // Every job stored its devices' snap UUIDs with its start, and its
    // results (an interrupted job's too) keep them after the devices moved on.
    std::vector<std::string> uuids;
    {
        Statement query(db_, "SELECT snap_uuid FROM devices UNION SELECT snap_uuid FROM job_results");
        int step;
        while ((step = query.step()) == SQLITE_ROW) uuids.push_back(snapUuidIn(query.column(0)));
        if (step != SQLITE_DONE) return failed(error, "cannot read the snap UUIDs of the history");
    }
    for (const std::string& uuid : uuids) {
        if (!uuidOfStore(uuid, identity_)) continue;
        Statement record(db_, kRecordSnapUuid);
        record.text(1, uuid).integer(2, 0);
        if (!record.run()) return failed(error, "cannot record the snap UUIDs of the history");
    }
    return true;
}

bool HostStore::loadSnapUuids(std::set<std::string>& uuids, std::string& error) {
    uuids.clear();
    Statement query(db_, "SELECT uuid FROM snap_uuids");
    int step;
    while ((step = query.step()) == SQLITE_ROW) uuids.insert(query.column(0));
    if (step != SQLITE_DONE) return failed(error, "cannot read the snap UUIDs the store handed out");
    return true;
}

bool HostStore::readIdentity(bool& found, std::string& error) {
    Statement query(db_, "SELECT id FROM store_identity LIMIT 1");
    const int step = query.step();
    found = step == SQLITE_ROW;
    if (!found) return step == SQLITE_DONE || failed(error, "cannot read the store's identity");
    identity_ = query.column(0);
    if (isStoreIdentity(identity_)) return true;
    error = "the store's identity \"" + identity_ + "\" is not 12 hex digits";
    return false;
}

bool HostStore::readOrMakeIdentity(std::string& error) {
    bool found = false;
    if (!readIdentity(found, error)) return false;
    if (found) return true;
    const RandomBlock bytes = randomBlock();
    identity_ = hexText(bytes.data(), kStoreIdentityBytes);
    Statement insert(db_, "INSERT INTO store_identity(id) VALUES(?1)");
    insert.text(1, identity_);
    if (!insert.run()) return failed(error, "cannot store the store's identity");
    return true;
}

bool HostStore::holdsDeviceLocks(long long jobId, const std::vector<long long>& ownDevices) {
    std::vector<long long> ids;
    {
        Statement query(db_, "SELECT id FROM devices WHERE last_job = ?1");
        query.integer(1, jobId);
        while (query.step() == SQLITE_ROW) ids.push_back(query.columnInt(0));
    }
    for (const long long id : ids) {
        // A lock this process holds, the job does not.
        if (std::find(ownDevices.begin(), ownDevices.end(), id) != ownDevices.end()) continue;
        if (deviceLockHeld(lockDirectory(), id)) return true;
    }
    return false;
}

void HostStore::markInterruptedJobs(const std::vector<long long>& ownDevices) {
    struct Running {
        long long id;
        long long pid;
        unsigned long long start;
        std::string view;
    };
    std::vector<Running> running;
    {
        Statement query(db_, "SELECT id, pid, pid_start, ifnull(pid_view, ?2) FROM jobs WHERE outcome = ?1");
        query.text(1, kJobRunning).text(2, processView());
        while (query.step() == SQLITE_ROW)
            running.push_back({query.columnInt(0), query.columnInt(1),
                               static_cast<unsigned long long>(query.columnInt(2)), query.column(3)});
    }
    for (const Running& job : running) {
        // A job recorded before process identities left a lock file instead.
        const std::string lock = jobLockPath(lockDirectory(), job.id);
        bool alive = false;
        if (job.pid <= 0) {
            alive = !jobLockFree(lock);
        } else {
            // A process this one cannot see is asked through the kernel's
            // locks: the job holds its devices' until its end is recorded.
            const Liveness liveness = processLiveness(job.pid, job.start, job.view);
            alive = liveness == Liveness::Running ||
                    (liveness == Liveness::Unknown && holdsDeviceLocks(job.id, ownDevices));
        }
        if (alive) continue;
        Transaction transaction(db_);
        if (!transaction.begun()) return;
        Statement mark(db_, "UPDATE jobs SET outcome = ?1, finished = ?2 WHERE id = ?3 AND outcome = ?4");
        mark.text(1, kJobInterrupted).text(2, nowText()).integer(3, job.id).text(4, kJobRunning);
        if (!mark.run()) return;
        if (sqlite3_changes(db_) == 1) {
            Statement results(db_,
                              "INSERT OR REPLACE INTO job_results(job_id, device_id, device_name, status, error_code, "
                              "error_message, snap_uuid, snap_device) SELECT ?1, id, ifnull(label, '#' || id), "
                              "status, error_code, error_message, snap_uuid, snap_device FROM devices "
                              "WHERE last_job = ?1");
            results.integer(1, job.id);
            if (!results.run()) return;
        }
        if (!transaction.commit()) return;
        if (job.pid <= 0) unlink(lock.c_str());
    }
}

void HostStore::refreshInterruptedJobs(const std::vector<long long>& ownDevices) {
    markInterruptedJobs(ownDevices);
}

namespace {

bool insertConfigs(sqlite3* db, const ArrayRecord& array, std::string& error) {
    for (const auto& config : array.configs) {
        Statement add(db, "INSERT INTO array_configs(array_name, name, value) VALUES(?1, ?2, ?3)");
        add.text(1, array.name).text(2, config.first).text(3, config.second);
        if (!add.run()) return fail(error, "cannot store the array's configuration", db);
    }
    return true;
}

}  // namespace

bool HostStore::addArray(const ArrayRecord& array, std::string& error) {
    Transaction transaction(db_);
    if (!transaction.begun()) return failed(error, "cannot add the array");
    Statement same(db_, "SELECT name FROM arrays WHERE name = ?1 OR control_host_id = ?2");
    same.text(1, array.name).integer(2, array.controlHostId);
    if (same.step() == SQLITE_ROW) {
        error = "array " + same.column(0) + " has that name or control host ID already";
        return false;
    }
    Statement insert(db_,
                     "INSERT INTO arrays(name, vendor, array_info, control_host_id, api_key_file) "
                     "VALUES(?1, ?2, ?3, ?4, ?5)");
    insert.text(1, array.name).text(2, array.vendor).text(3, array.arrayInfo).integer(4, array.controlHostId);
    insert.text(5, array.apiKeyFile);
    if (!insert.run()) return failed(error, "cannot add the array");
    if (!insertConfigs(db_, array, error)) return false;
    if (!transaction.commit()) return failed(error, "cannot add the array");
    return true;
}

bool HostStore::updateArray(const ArrayRecord& array, std::string& error) {
    Transaction transaction(db_);
    if (!transaction.begun()) return failed(error, "cannot update the array");
    Statement same(db_, "SELECT name FROM arrays WHERE name != ?1 AND control_host_id = ?2");
    same.text(1, array.name).integer(2, array.controlHostId);
    if (same.step() == SQLITE_ROW) {
        error = "array " + same.column(0) + " has control host ID " + std::to_string(array.controlHostId) + " already";
        return false;
    }
    Statement update(db_,
                     "UPDATE arrays SET vendor = ?2, array_info = ?3, control_host_id = ?4, api_key_file = ?5 "
                     "WHERE name = ?1");
    update.text(1, array.name).text(2, array.vendor).text(3, array.arrayInfo).integer(4, array.controlHostId);
    update.text(5, array.apiKeyFile);
    if (!update.run()) return failed(error, "cannot update the array");
    if (sqlite3_changes(db_) != 1) {
        error = unknownArrayMessage(array.name);
        return false;
    }
    Statement clear(db_, "DELETE FROM array_configs WHERE array_name = ?1");
    clear.text(1, array.name);
    if (!clear.run()) return failed(error, "cannot update the array's configuration");
    if (!insertConfigs(db_, array, error)) return false;
    if (!transaction.commit()) return failed(error, "cannot update the array");
    return true;
}

bool HostStore::removeArray(const std::string& name, std::vector<std::string>& referringDevices,
                            std::string& error) {
    referringDevices.clear();
    Transaction transaction(db_);
    if (!transaction.begun()) return failed(error, "cannot remove the array");
    Statement users(db_, "SELECT ifnull(label, '#' || id) FROM devices WHERE array_name = ?1 ORDER BY id");
    users.text(1, name);
    int step;
    while ((step = users.step()) == SQLITE_ROW) referringDevices.push_back(users.column(0));
    if (step != SQLITE_DONE) return failed(error, "cannot read the devices");
    if (!referringDevices.empty()) {
        error = "array " + name + " is attached to " + std::to_string(referringDevices.size()) + " device" +
                (referringDevices.size() == 1 ? "" : "s") + " (" + someNames(referringDevices) +
                "): their snapshots and later jobs need it; remove those devices first (list-devices --array " +
                name + ")";
        return false;
    }
    Statement remove(db_, "DELETE FROM arrays WHERE name = ?1");
    remove.text(1, name);
    if (!remove.run()) return failed(error, "cannot remove the array");
    if (sqlite3_changes(db_) != 1) {
        error = unknownArrayMessage(name);
        return false;
    }
    if (!transaction.commit()) return failed(error, "cannot remove the array");
    return true;
}

bool HostStore::loadArrays(std::vector<ArrayRecord>& arrays, std::string& error) {
    arrays.clear();
    Statement query(db_,
                    "SELECT name, vendor, array_info, control_host_id, api_key_file FROM arrays ORDER BY rowid");
    int step;
    while ((step = query.step()) == SQLITE_ROW) {
        ArrayRecord array;
        array.name = query.column(0);
        array.vendor = query.column(1);
        array.arrayInfo = query.column(2);
        array.controlHostId = static_cast<int>(query.columnInt(3));
        array.apiKeyFile = query.column(4);
        arrays.push_back(array);
    }
    if (step != SQLITE_DONE) return failed(error, "cannot read the arrays");
    for (ArrayRecord& array : arrays) {
        Statement configs(db_, "SELECT name, value FROM array_configs WHERE array_name = ?1 ORDER BY name");
        configs.text(1, array.name);
        while ((step = configs.step()) == SQLITE_ROW) array.configs[configs.column(0)] = configs.column(1);
        if (step != SQLITE_DONE) return failed(error, "cannot read the array configuration");
    }
    return true;
}

bool HostStore::addDevice(DeviceRecord& device, std::string& error) {
    Statement insert(db_, "INSERT INTO devices(label, source_device) VALUES(?1, ?2)");
    if (device.label.empty())
        insert.null(1);
    else
        insert.text(1, device.label);
    insert.text(2, device.sourceDevice);
    if (!insert.run()) return failed(error, "cannot add the device");
    device.id = sqlite3_last_insert_rowid(db_);
    return true;
}

bool HostStore::addDevices(std::vector<DeviceRecord>& devices, std::string& error) {
    Transaction transaction(db_);
    if (!transaction.begun()) return failed(error, "cannot add the devices");
    for (DeviceRecord& d : devices)
        if (!addDevice(d, error)) return false;
    if (!transaction.commit()) return failed(error, "cannot add the devices");
    return true;
}

bool HostStore::removeDevices(const std::vector<long long>& ids, std::string& error) {
    Transaction transaction(db_);
    if (!transaction.begun()) return failed(error, "cannot remove the devices");
    for (const long long id : ids) {
        // Its metadata goes with it (ON DELETE CASCADE); job rows keep the
        // name. Its restore points go too: what they held is an orphan now.
        Statement remove(db_, "DELETE FROM devices WHERE id = ?1");
        remove.integer(1, id);
        if (!remove.run()) return failed(error, "cannot remove device " + std::to_string(id));
        Statement points(db_, "DELETE FROM restore_points WHERE device_id = ?1");
        points.integer(1, id);
        if (!points.run()) return failed(error, "cannot remove the restore points of device " + std::to_string(id));
    }
    if (!transaction.commit()) return failed(error, "cannot remove the devices");
    return true;
}

bool HostStore::loadDevices(std::vector<DeviceRecord>& devices, std::string& error) {
    devices.clear();
    Statement query(db_,
                    "SELECT d.id, ifnull(d.label, ''), d.source_device, d.status, d.error_code, d.error_message, "
                    "d.snap_uuid, d.snap_device, d.array_name, d.last_job, ifnull(j.outcome, '') "
                    "FROM devices d LEFT JOIN jobs j ON j.id = d.last_job ORDER BY d.id");
    int step;
    while ((step = query.step()) == SQLITE_ROW) {
        DeviceRecord d;
        d.id = query.columnInt(0);
        d.label = query.column(1);
        d.sourceDevice = query.column(2);
        d.status = static_cast<int>(query.columnInt(3));
        d.errorCode = static_cast<int>(query.columnInt(4));
        d.errorMessage = query.column(5);
        d.snapUUID = query.column(6);
        d.snapDevice = query.column(7);
        d.arrayName = query.column(8);
        d.lastJobId = query.columnInt(9);
        d.lastJobOutcome = query.column(10);
        devices.push_back(d);
    }
    if (step != SQLITE_DONE) return failed(error, "cannot read the devices");
    for (DeviceRecord& d : devices) {
        Statement metadata(db_, "SELECT type, text FROM metadata WHERE device_id = ?1");
        metadata.integer(1, d.id);
        while ((step = metadata.step()) == SQLITE_ROW)
            d.metadata[static_cast<int>(metadata.columnInt(0))] = metadata.column(1);
        if (step != SQLITE_DONE) return failed(error, "cannot read the metadata");
    }
    return true;
}

bool HostStore::setSetting(const SettingRecord& setting, std::string& error) {
    Statement upsert(db_,
                     "INSERT INTO settings(section, key, value) VALUES(?1, ?2, ?3) "
                     "ON CONFLICT(section, key) DO UPDATE SET value = excluded.value");
    upsert.text(1, setting.section).text(2, setting.key).text(3, setting.value);
    if (!upsert.run()) return failed(error, "cannot store the setting");
    return true;
}

bool HostStore::unsetSetting(const std::string& section, const std::string& key, bool& existed,
                             std::string& error) {
    Statement remove(db_, "DELETE FROM settings WHERE section = ?1 AND key = ?2");
    remove.text(1, section).text(2, key);
    if (!remove.run()) return failed(error, "cannot remove the setting");
    existed = sqlite3_changes(db_) > 0;
    return true;
}

bool HostStore::loadSettings(std::vector<SettingRecord>& settings, std::string& error) {
    settings.clear();
    Statement query(db_, "SELECT section, key, value FROM settings ORDER BY section, key");
    int step;
    while ((step = query.step()) == SQLITE_ROW) settings.push_back({query.column(0), query.column(1), query.column(2)});
    if (step != SQLITE_DONE) return failed(error, "cannot read the settings");
    return true;
}

bool HostStore::saveDeviceState(const DeviceRecord& d, std::string& error) {
    Statement update(db_,
                     "UPDATE devices SET status = ?1, error_code = ?2, error_message = ?3, snap_uuid = ?4, "
                     "snap_device = ?5, array_name = ?6 WHERE id = ?7");
    update.integer(1, d.status).integer(2, d.errorCode).text(3, d.errorMessage).text(4, d.snapUUID);
    update.text(5, d.snapDevice).text(6, d.arrayName).integer(7, d.id);
    if (!update.run()) return failed(error, "cannot write device " + deviceDisplayName(d));
    return true;
}

bool HostStore::saveMetadata(long long deviceId, int type, const std::string& text, std::string& error) {
    Statement upsert(db_,
                     "INSERT INTO metadata(device_id, type, text) VALUES(?1, ?2, ?3) "
                     "ON CONFLICT(device_id, type) DO UPDATE SET text = excluded.text");
    upsert.integer(1, deviceId).integer(2, type).text(3, text);
    if (!upsert.run()) return failed(error, "cannot write the metadata");
    return true;
}

namespace {

// A device's metadata as one text, e.g. {"6":"3f2a...","16":"..."}.
std::string metadataText(const std::map<int, std::string>& metadata) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& m : metadata) object[std::to_string(m.first)] = m.second;
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::map<int, std::string> metadataFromText(const std::string& text) {
    std::map<int, std::string> metadata;
    const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (!object.is_object()) return metadata;
    for (auto m = object.begin(); m != object.end(); ++m)
        if (m.value().is_string()) metadata[std::atoi(m.key().c_str())] = m.value().get<std::string>();
    return metadata;
}

bool contains(const std::vector<long long>& ids, long long id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

}  // namespace

bool HostStore::beginJob(JobRecord& job, const std::vector<DeviceRecord>& devices, std::string& error,
                         const std::vector<long long>& onPoints) {
    job.started = nowText();
    job.outcome = kJobRunning;
    Transaction transaction(db_);
    if (!transaction.begun()) return failed(error, "cannot record the job");
    // The job's process, by its ID and start time: what tells later
    // commands whether the job still runs.
    Statement insert(db_,
                     "INSERT INTO jobs(operation, devices, started, outcome, pid, pid_start, pid_view) "
                     "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.text(1, job.operation).text(2, job.devices).text(3, job.started).text(4, job.outcome);
    insert.integer(5, static_cast<long long>(getpid())).integer(6, static_cast<long long>(ownStartTicks()));
    insert.text(7, processView());
    if (!insert.run()) return failed(error, "cannot record the job");
    job.id = sqlite3_last_insert_rowid(db_);
    // The row names the logs inside the store, so a copy or a move of the
    // store names its own.
    const std::string name = "job-" + std::to_string(job.id) + "-" + job.operation;
    const std::string inStore = std::string(kLogsFolder) + "/" + name;
    job.hostLog = logPath(inStore + ".host.log");
    job.pluginLog = logPath(inStore + ".plugin.log");
    Statement logs(db_, "UPDATE jobs SET host_log = ?1, plugin_log = ?2 WHERE id = ?3");
    logs.text(1, inStore + ".host.log").text(2, inStore + ".plugin.log").integer(3, job.id);
    if (!logs.run()) return failed(error, "cannot record the job");
    for (const DeviceRecord& d : devices) {
        if (!contains(onPoints, d.id) && !saveDeviceState(d, error)) return false;
        Statement mark(db_, "UPDATE devices SET last_job = ?1 WHERE id = ?2");
        mark.integer(1, job.id).integer(2, d.id);
        if (!mark.run()) return failed(error, "cannot record the job");
        const std::string uuid = snapUuidIn(d.snapUUID);
        if (!uuidOfStore(uuid, identity_)) continue;
        Statement record(db_, kRecordSnapUuid);
        record.text(1, uuid).integer(2, job.id);
        if (!record.run()) return failed(error, "cannot record the job's snap UUIDs");
    }
    if (!transaction.commit()) return failed(error, "cannot record the job");
    return true;
}


bool HostStore::commitJob(long long jobId, const std::vector<DeviceRecord>& devices, int returnCode,
                          const std::string& outcome, std::string& error, const RestorePointChanges& points) {
    Transaction transaction(db_);
    if (!transaction.begun()) return failed(error, "cannot commit the job");
    const std::string finished = nowText();
    for (const DeviceRecord& d : devices) {
        if (contains(points.deleted, d.id)) {
            Statement forget(db_, "DELETE FROM restore_points WHERE device_id = ?1 AND snap_uuid = ?2");
            forget.integer(1, d.id).text(2, d.snapUUID);
            if (!forget.run()) return failed(error, "cannot record the job's restore points");
        }
        if (contains(points.made, d.id)) {
            Statement point(db_,
                            "INSERT INTO restore_points(device_id, device_name, snap_uuid, status, snap_device, "
                            "job_id, created, metadata) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
            point.integer(1, d.id).text(2, deviceDisplayName(d)).text(3, d.snapUUID).integer(4, d.status);
            point.text(5, d.snapDevice).integer(6, jobId).text(7, finished).text(8, metadataText(d.metadata));
            if (!point.run()) return failed(error, "cannot record the job's restore points");
        } else if (contains(points.updated, d.id) && !savePointState(d, error)) {
            return false;
        }
    }
    for (const DeviceRecord& d : devices) {
        // Another command may have taken the job for dead meanwhile and
        // stored the devices' state as its results: the job's own end wins.
        Statement result(db_,
                         "INSERT OR REPLACE INTO job_results(job_id, device_id, device_name, status, error_code, "
                         "error_message, snap_uuid, snap_device) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        result.integer(1, jobId).integer(2, d.id).text(3, deviceDisplayName(d)).integer(4, d.status);
        result.integer(5, d.errorCode).text(6, d.errorMessage).text(7, d.snapUUID).text(8, d.snapDevice);
        if (!result.run()) return failed(error, "cannot record the job's results");
    }
    Statement finish(db_, "UPDATE jobs SET finished = ?1, return_code = ?2, outcome = ?3 WHERE id = ?4");
    finish.text(1, finished).integer(2, returnCode).text(3, outcome).integer(4, jobId);
    if (!finish.run()) return failed(error, "cannot finish the job");
    if (!transaction.commit()) return failed(error, "cannot commit the job");
    return true;
}

std::string HostStore::logDirectory() const { return dir_ + "/" + kLogsFolder; }

std::string HostStore::logPath(const std::string& named) const {
    const std::string file = named.substr(named.rfind('/') + 1);
    if (file.empty() || file == "." || file == "..") return std::string();
    return logDirectory() + "/" + file;
}

std::string HostStore::outcomeSeenAfresh(long long jobId) {
    sqlite3_close(db_);
    db_ = nullptr;
    std::string error;
    if (!openDatabase(false, error)) return std::string();
    Statement query(db_, "SELECT outcome FROM jobs WHERE id = ?1");
    query.integer(1, jobId);
    return query.step() == SQLITE_ROW ? query.column(0) : std::string();
}

bool HostStore::finishJobOnly(long long jobId, const std::string& outcome, std::string& error) {
    Statement finish(db_, "UPDATE jobs SET finished = ?1, outcome = ?2 WHERE id = ?3");
    finish.text(1, nowText()).text(2, outcome).integer(3, jobId);
    if (!finish.run()) return failed(error, "cannot finish the job");
    return true;
}

bool HostStore::loadJobs(std::vector<JobRecord>& jobs, std::string& error) {
    jobs.clear();
    Statement query(db_,
                    "SELECT id, operation, devices, started, finished, return_code, outcome, host_log, plugin_log "
                    "FROM jobs ORDER BY id");
    int step;
    while ((step = query.step()) == SQLITE_ROW) {
        JobRecord job;
        job.id = query.columnInt(0);
        job.operation = query.column(1);
        job.devices = query.column(2);
        job.started = query.column(3);
        job.finished = query.column(4);
        job.returnCode = static_cast<int>(query.columnInt(5));
        job.outcome = query.column(6);
        job.hostLog = logPath(query.column(7));
        job.pluginLog = logPath(query.column(8));
        jobs.push_back(job);
    }
    if (step != SQLITE_DONE) return failed(error, "cannot read the history");
    std::map<long long, std::vector<long long>> lastJobOf;
    Statement devices(db_, "SELECT last_job, id FROM devices WHERE last_job != 0 ORDER BY id");
    while ((step = devices.step()) == SQLITE_ROW) lastJobOf[devices.columnInt(0)].push_back(devices.columnInt(1));
    if (step != SQLITE_DONE) return failed(error, "cannot read the history");
    for (JobRecord& job : jobs) job.lastJobOf = lastJobOf[job.id];
    return true;
}

bool HostStore::loadJobResults(long long jobId, std::vector<JobResultRecord>& results, std::string& error) {
    results.clear();
    Statement query(db_,
                    "SELECT device_id, device_name, status, error_code, error_message, snap_uuid, snap_device "
                    "FROM job_results WHERE job_id = ?1 ORDER BY rowid");
    query.integer(1, jobId);
    int step;
    while ((step = query.step()) == SQLITE_ROW) {
        JobResultRecord r;
        r.jobId = jobId;
        r.deviceId = query.columnInt(0);
        r.deviceName = query.column(1);
        r.status = static_cast<int>(query.columnInt(2));
        r.errorCode = static_cast<int>(query.columnInt(3));
        r.errorMessage = query.column(4);
        r.snapUUID = query.column(5);
        r.snapDevice = query.column(6);
        results.push_back(r);
    }
    if (step != SQLITE_DONE) return failed(error, "cannot read the job's results");
    return true;
}

bool HostStore::loadJobTotals(std::map<long long, std::map<int, int>>& totals, std::string& error) {
    totals.clear();
    Statement query(db_, "SELECT job_id, status, count(*) FROM job_results GROUP BY job_id, status");
    int step;
    while ((step = query.step()) == SQLITE_ROW)
        totals[query.columnInt(0)][static_cast<int>(query.columnInt(1))] = static_cast<int>(query.columnInt(2));
    if (step != SQLITE_DONE) return failed(error, "cannot read the job's results");
    return true;
}

bool HostStore::savePointState(const DeviceRecord& d, std::string& error) {
    Statement update(db_,
                     "UPDATE restore_points SET status = ?1, snap_device = ?2, metadata = ?3 "
                     "WHERE device_id = ?4 AND snap_uuid = ?5");
    update.integer(1, d.status).text(2, d.snapDevice).text(3, metadataText(d.metadata));
    update.integer(4, d.id).text(5, d.snapUUID);
    if (!update.run()) return failed(error, "cannot write the restore point of " + deviceDisplayName(d));
    return true;
}

bool HostStore::loadRestorePoints(std::vector<RestorePointRecord>& points, std::string& error) {
    points.clear();
    Statement query(db_,
                    "SELECT id, device_id, device_name, snap_uuid, snap_device, job_id, created, metadata, status "
                    "FROM restore_points ORDER BY id");
    int step;
    while ((step = query.step()) == SQLITE_ROW) {
        RestorePointRecord p;
        p.id = query.columnInt(0);
        p.deviceId = query.columnInt(1);
        p.deviceName = query.column(2);
        p.snapUUID = query.column(3);
        p.snapDevice = query.column(4);
        p.jobId = query.columnInt(5);
        p.created = query.column(6);
        p.metadata = metadataFromText(query.column(7));
        p.status = static_cast<int>(query.columnInt(8));
        points.push_back(p);
    }
    if (step != SQLITE_DONE) return failed(error, "cannot read the restore points");
    return true;
}

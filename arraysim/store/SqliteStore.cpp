#include "arraysim/store/SqliteStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "arraysim/store/PrivatePlace.h"

namespace arraysim {
namespace {

using arraymodel::Array;
using arraymodel::Authentication;
using arraymodel::FileSystem;
using arraymodel::Protocol;
using arraymodel::Share;
using arraymodel::Snapshot;
using arraymodel::VirtualServer;

// The schema's version, kept in PRAGMA user_version. A file of any other
// version is refused, not converted: the state is a test's, and a fresh seed
// rebuilds it (docs/arraysim.md, "The state file").
const int kSchemaVersion = 6;

// The page cache holds up to 64 MiB (SQLite's default is 2 MiB): the file of
// an array with 32767 devices then stays in it. The WAL is copied into the
// file every 16384 pages (64 MiB) instead of every 1000: in a large file the
// pages of 1000 frames hardly repeat, so each copy wrote almost every frame
// and synced, and changes cost twice as much at 32767 devices as at 1024.
const char kSettings[] =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "PRAGMA foreign_keys=ON;"
    "PRAGMA cache_size=-65536;"
    "PRAGMA wal_autocheckpoint=16384;";

// `position` keeps each list's order in memory, so that a restart shows the
// lists as they were. Tables keyed by text are WITHOUT ROWID: the key's
// B-tree holds the row, so a change writes one tree less per table.
const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS arrays("
    "  array_id INTEGER PRIMARY KEY,"
    "  name TEXT NOT NULL UNIQUE,"
    "  user TEXT NOT NULL UNIQUE,"
    "  password TEXT NOT NULL,"
    "  next_serial INTEGER NOT NULL,"
    "  delete_pending_lists INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS api_keys("
    "  array_id INTEGER NOT NULL REFERENCES arrays(array_id) ON DELETE CASCADE,"
    "  position INTEGER NOT NULL, key TEXT NOT NULL UNIQUE, read_only INTEGER NOT NULL,"
    "  PRIMARY KEY(array_id, position)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS virtual_servers("
    "  array_id INTEGER NOT NULL REFERENCES arrays(array_id) ON DELETE CASCADE,"
    "  virtual_server_id INTEGER NOT NULL,"
    "  position INTEGER NOT NULL,"
    "  name TEXT NOT NULL, object_id TEXT NOT NULL, uuid TEXT NOT NULL,"
    "  status TEXT NOT NULL, type TEXT NOT NULL, is_enabled INTEGER NOT NULL,"
    "  PRIMARY KEY(array_id, virtual_server_id)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS virtual_server_addresses("
    "  array_id INTEGER NOT NULL, virtual_server_id INTEGER NOT NULL,"
    "  position INTEGER NOT NULL, address TEXT NOT NULL,"
    "  PRIMARY KEY(array_id, virtual_server_id, position),"
    "  FOREIGN KEY(array_id, virtual_server_id) REFERENCES virtual_servers(array_id, virtual_server_id)"
    "    ON DELETE CASCADE) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS file_systems("
    "  array_id INTEGER NOT NULL REFERENCES arrays(array_id) ON DELETE CASCADE,"
    "  filesystem_id TEXT NOT NULL,"
    "  position INTEGER NOT NULL,"
    "  label TEXT NOT NULL, object_id TEXT NOT NULL, status TEXT NOT NULL,"
    "  virtual_server_id INTEGER NOT NULL,"
    "  capacity INTEGER NOT NULL, used_capacity INTEGER NOT NULL,"
    "  free_capacity INTEGER NOT NULL, used_snapshot_capacity INTEGER NOT NULL,"
    "  retention_seconds INTEGER NOT NULL DEFAULT 0,"
    "  PRIMARY KEY(array_id, filesystem_id),"
    "  UNIQUE(array_id, label),"
    "  FOREIGN KEY(array_id, virtual_server_id) REFERENCES virtual_servers(array_id, virtual_server_id)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS shares("
    "  array_id INTEGER NOT NULL REFERENCES arrays(array_id) ON DELETE CASCADE,"
    "  protocol TEXT NOT NULL CHECK(protocol IN ('CIFS', 'NFS')),"
    "  object_id TEXT NOT NULL,"
    "  position INTEGER NOT NULL,"
    "  share_id TEXT NOT NULL, name TEXT NOT NULL,"
    "  virtual_server_id INTEGER NOT NULL, filesystem_id TEXT NOT NULL, path TEXT NOT NULL,"
    "  access_config TEXT NOT NULL, comment TEXT NOT NULL, user_home_directory_path TEXT NOT NULL,"
    "  cache_option TEXT NOT NULL, snapshot_option TEXT NOT NULL,"
    "  transfer_to_replication_target TEXT NOT NULL, user_home_directory_mode TEXT NOT NULL,"
    "  local_read_cache_option TEXT NOT NULL,"
    "  follow_symbolic_links INTEGER NOT NULL, follow_global_symbolic_links INTEGER NOT NULL,"
    "  abe_enabled INTEGER NOT NULL, force_file_name_to_lowercase INTEGER NOT NULL,"
    "  scan_for_viruses_enabled INTEGER NOT NULL, max_concurrent_users INTEGER NOT NULL,"
    "  PRIMARY KEY(array_id, protocol, object_id),"
    "  FOREIGN KEY(array_id, filesystem_id) REFERENCES file_systems(array_id, filesystem_id)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS shares_by_name ON shares(array_id, protocol, virtual_server_id, name);"
    "CREATE INDEX IF NOT EXISTS shares_by_file_system ON shares(array_id, filesystem_id);"
    "CREATE TABLE IF NOT EXISTS share_permissions("
    "  array_id INTEGER NOT NULL, protocol TEXT NOT NULL, share_object_id TEXT NOT NULL,"
    "  position INTEGER NOT NULL,"
    "  name TEXT NOT NULL, encoded_name TEXT NOT NULL, permission INTEGER NOT NULL, type TEXT NOT NULL,"
    "  PRIMARY KEY(array_id, protocol, share_object_id, position),"
    "  FOREIGN KEY(array_id, protocol, share_object_id) REFERENCES shares(array_id, protocol, object_id)"
    "    ON DELETE CASCADE) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS snapshots("
    "  array_id INTEGER NOT NULL REFERENCES arrays(array_id) ON DELETE CASCADE,"
    "  object_id TEXT NOT NULL,"
    "  position INTEGER NOT NULL,"
    "  display_name TEXT NOT NULL, app_search_id TEXT NOT NULL, filesystem_id TEXT NOT NULL,"
    "  state TEXT NOT NULL, creation_reason TEXT NOT NULL,"
    "  creation_time INTEGER NOT NULL, sequence INTEGER NOT NULL,"
    "  pending_lists INTEGER NOT NULL DEFAULT 0,"
    "  retained_until INTEGER NOT NULL DEFAULT 0, delete_when_expired INTEGER NOT NULL DEFAULT 0,"
    "  PRIMARY KEY(array_id, object_id),"
    "  FOREIGN KEY(array_id, filesystem_id) REFERENCES file_systems(array_id, filesystem_id)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS snapshots_by_file_system ON snapshots(array_id, filesystem_id, sequence);"
    "CREATE TABLE IF NOT EXISTS directories("
    "  array_id INTEGER NOT NULL, filesystem_id TEXT NOT NULL, path TEXT NOT NULL,"
    "  PRIMARY KEY(array_id, filesystem_id, path),"
    "  FOREIGN KEY(array_id, filesystem_id) REFERENCES file_systems(array_id, filesystem_id)"
    "    ON DELETE CASCADE) WITHOUT ROWID;";

const char kInsertArray[] =
    "INSERT INTO arrays(name, user, password, next_serial, delete_pending_lists) VALUES(?1, ?2, ?3, ?4, ?5);";
const char kUpdateSerial[] = "UPDATE arrays SET next_serial = ?2 WHERE array_id = ?1;";
const char kDeleteArray[] = "DELETE FROM arrays WHERE name = ?1;";
const char kInsertApiKey[] = "INSERT INTO api_keys(array_id, position, key, read_only) VALUES(?1, ?2, ?3, ?4);";
const char kSelectApiKeys[] = "SELECT array_id, key, read_only FROM api_keys ORDER BY array_id, position;";
const char kInsertServer[] =
    "INSERT INTO virtual_servers(array_id, virtual_server_id, position, name, object_id, uuid, status, type,"
    " is_enabled) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9);";
const char kInsertAddress[] =
    "INSERT INTO virtual_server_addresses(array_id, virtual_server_id, position, address) VALUES(?1, ?2, ?3, ?4);";
const char kInsertFileSystem[] =
    "INSERT INTO file_systems(array_id, filesystem_id, position, label, object_id, status, virtual_server_id,"
    " capacity, used_capacity, free_capacity, used_snapshot_capacity, retention_seconds)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12);";
const char kInsertShare[] =
    "INSERT INTO shares(array_id, protocol, object_id, position, share_id, name, virtual_server_id, filesystem_id,"
    " path, access_config, comment, user_home_directory_path, cache_option, snapshot_option,"
    " transfer_to_replication_target, user_home_directory_mode, local_read_cache_option, follow_symbolic_links,"
    " follow_global_symbolic_links, abe_enabled, force_file_name_to_lowercase, scan_for_viruses_enabled,"
    " max_concurrent_users)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22,"
    " ?23);";
const char kDeleteShare[] = "DELETE FROM shares WHERE array_id = ?1 AND protocol = ?2 AND object_id = ?3;";
const char kInsertPermission[] =
    "INSERT INTO share_permissions(array_id, protocol, share_object_id, position, name, encoded_name, permission,"
    " type) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8);";
const char kInsertSnapshot[] =
    "INSERT INTO snapshots(array_id, object_id, position, display_name, app_search_id, filesystem_id, state,"
    " creation_reason, creation_time, sequence, pending_lists, retained_until, delete_when_expired)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13);";
const char kInsertDirectory[] =
    "INSERT OR IGNORE INTO directories(array_id, filesystem_id, path) VALUES(?1, ?2, ?3);";
const char kDeleteDirectory[] = "DELETE FROM directories WHERE array_id = ?1 AND filesystem_id = ?2 AND path = ?3;";
const char kDeleteSnapshot[] = "DELETE FROM snapshots WHERE array_id = ?1 AND object_id = ?2;";

const char kSelectArrays[] =
    "SELECT array_id, name, user, password, next_serial, delete_pending_lists FROM arrays ORDER BY array_id;";
const char kSelectServers[] =
    "SELECT array_id, virtual_server_id, name, object_id, uuid, status, type, is_enabled FROM virtual_servers"
    " ORDER BY array_id, position;";
const char kSelectAddresses[] =
    "SELECT array_id, virtual_server_id, address FROM virtual_server_addresses"
    " ORDER BY array_id, virtual_server_id, position;";
const char kSelectFileSystems[] =
    "SELECT array_id, filesystem_id, label, object_id, status, virtual_server_id, capacity, used_capacity,"
    " free_capacity, used_snapshot_capacity, retention_seconds FROM file_systems ORDER BY array_id, position;";
const char kSelectShares[] =
    "SELECT array_id, protocol, object_id, share_id, name, virtual_server_id, filesystem_id, path, access_config,"
    " comment, user_home_directory_path, cache_option, snapshot_option, transfer_to_replication_target,"
    " user_home_directory_mode, local_read_cache_option, follow_symbolic_links, follow_global_symbolic_links,"
    " abe_enabled, force_file_name_to_lowercase, scan_for_viruses_enabled, max_concurrent_users"
    " FROM shares ORDER BY array_id, position;";
const char kSelectPermissions[] =
    "SELECT array_id, protocol, share_object_id, name, encoded_name, permission, type FROM share_permissions"
    " ORDER BY array_id, protocol, share_object_id, position;";
const char kSelectSnapshots[] =
    "SELECT array_id, object_id, display_name, app_search_id, filesystem_id, state, creation_reason,"
    " creation_time, sequence, pending_lists, retained_until, delete_when_expired FROM snapshots"
    " ORDER BY array_id, position;";

const char kSelectDirectories[] =
    "SELECT array_id, filesystem_id, path FROM directories ORDER BY array_id, filesystem_id, path;";

// Whether the file holds any table: a new file holds none and version 0.
const char kAnyTable[] = "SELECT 1 FROM sqlite_master WHERE type = 'table' LIMIT 1;";

std::string lastError(sqlite3* db, const char* what) {
    return std::string(what) + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
}

const char* protocolWord(Protocol protocol) {
    return protocol == Protocol::Cifs ? arraymodel::kCifsWord : arraymodel::kNfsWord;
}

// Binds values in order (?1, ?2, ...) to a prepared statement and runs it.
class Row {
public:
    explicit Row(sqlite3_stmt* stmt) : stmt_(stmt) {}
    Row& text(const std::string& value) {
        if (ok_) ok_ = sqlite3_bind_text(stmt_, ++index_, value.data(), static_cast<int>(value.size()),
                                         SQLITE_TRANSIENT) == SQLITE_OK;
        return *this;
    }
    Row& number(int64_t value) {
        if (ok_) ok_ = sqlite3_bind_int64(stmt_, ++index_, value) == SQLITE_OK;
        return *this;
    }
    Row& unsignedNumber(uint64_t value) { return number(static_cast<int64_t>(value)); }
    // Runs the statement; true when it completed.
    bool run() { return ok_ && sqlite3_step(stmt_) == SQLITE_DONE; }

private:
    sqlite3_stmt* stmt_;
    int index_ = 0;
    bool ok_ = true;
};

// Reads columns in order from the current result row.
class Columns {
public:
    explicit Columns(sqlite3_stmt* stmt) : stmt_(stmt) {}
    std::string text() {
        const unsigned char* value = sqlite3_column_text(stmt_, index_);
        const int size = sqlite3_column_bytes(stmt_, index_++);
        return value == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(value), size);
    }
    int64_t number() { return sqlite3_column_int64(stmt_, index_++); }
    uint64_t unsignedNumber() { return static_cast<uint64_t>(number()); }

private:
    sqlite3_stmt* stmt_;
    int index_ = 0;
};

// Runs `select` and hands each row to `read`; false with `error` when the
// read fails or a row names an array that was not read.
template <typename Read>
bool eachRow(sqlite3_stmt* select, Read read, std::string& error) {
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
        Columns columns(select);
        if (!read(columns)) {
            error = "state file: a row does not fit the tables it refers to";
            return false;
        }
    }
    if (rc != SQLITE_DONE) {
        error = lastError(sqlite3_db_handle(select), "cannot read state file");
        return false;
    }
    return true;
}

// Opens the file with mode 0600 (fixing an older file's mode) and takes an
// exclusive lock on it; the lock goes when the descriptor is closed. SQLite
// gives its -wal and -shm files the mode of the main file.
int lockStateFile(const std::string& path, std::string& error) {
    if (!statePlaceIsPrivate(path, error)) return -1;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot open state file " + path + ": " + std::strerror(errno);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? "state file " + path + " is in use by another hnas-arraysim"
                                     : "cannot lock state file " + path + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    fchmod(fd, 0600);
    for (const char* suffix : {"-wal", "-shm"}) chmod((path + suffix).c_str(), 0600);
    return fd;
}

// One row of each table, read in its columns' order (after the array's row
// ID, which the caller reads first).
VirtualServer virtualServerFrom(Columns& c) {
    VirtualServer v;
    v.id = c.unsignedNumber();
    v.name = c.text();
    v.objectId = c.text();
    v.uuid = c.text();
    v.status = c.text();
    v.type = c.text();
    v.isEnabled = c.number() != 0;
    return v;
}

FileSystem fileSystemFrom(Columns& c) {
    FileSystem f;
    f.id = c.text();
    f.label = c.text();
    f.objectId = c.text();
    f.status = c.text();
    f.virtualServerId = c.unsignedNumber();
    f.capacity = c.unsignedNumber();
    f.usedCapacity = c.unsignedNumber();
    f.freeCapacity = c.unsignedNumber();
    f.usedSnapshotCapacity = c.unsignedNumber();
    f.retentionSeconds = c.unsignedNumber();
    return f;
}

Share shareFrom(Columns& c) {
    Share s;
    s.protocol = c.text() == arraymodel::kNfsWord ? Protocol::Nfs : Protocol::Cifs;
    s.objectId = c.text();
    s.shareId = c.text();
    s.name = c.text();
    s.virtualServerId = c.unsignedNumber();
    s.fileSystemId = c.text();
    s.path = c.text();
    arraymodel::ShareSettings& t = s.settings;
    t.accessConfig = c.text();
    t.comment = c.text();
    t.userHomeDirectoryPath = c.text();
    t.cacheOption = c.text();
    t.snapshotOption = c.text();
    t.transferToReplicationTarget = c.text();
    t.userHomeDirectoryMode = c.text();
    t.localReadCacheOption = c.text();
    t.followSymLinks = c.number() != 0;
    t.followGlobalSymLinks = c.number() != 0;
    t.abeEnabled = c.number() != 0;
    t.forceFileNameToLowercase = c.number() != 0;
    t.scanForVirusesEnabled = c.number() != 0;
    t.maxConcurrentUsers = static_cast<int32_t>(c.number());
    return s;
}

// After the share's protocol and object ID.
Authentication authenticationFrom(Columns& c) {
    Authentication a;
    a.name = c.text();
    a.encodedName = c.text();
    a.permission = static_cast<int32_t>(c.number());
    a.type = c.text();
    return a;
}

Snapshot snapshotFrom(Columns& c) {
    Snapshot s;
    s.objectId = c.text();
    s.displayName = c.text();
    s.appSearchId = c.text();
    s.fileSystemId = c.text();
    s.state = c.text();
    s.creationReason = c.text();
    s.creationTime = c.unsignedNumber();
    s.sequence = c.unsignedNumber();
    s.pendingLists = c.unsignedNumber();
    s.retainedUntil = c.unsignedNumber();
    s.deleteWhenExpired = c.unsignedNumber() != 0;
    return s;
}

// The entry of `list` whose `key` member is `value`; null when none is.
template <typename Item, typename Key>
Item* findIn(std::vector<Item>& list, Key Item::*key, const Key& value) {
    for (Item& item : list) {
        if (item.*key == value) return &item;
    }
    return nullptr;
}

}  // namespace

std::string staleFileMessage(const std::string& path, int version) {
    return "state file " + path + " has schema version " + std::to_string(version) +
           ", this hnas-arraysim reads only version " + std::to_string(kSchemaVersion) +
           "; seed a fresh one: rm " + path + " && hnas-arraysim --state " + path + " --seed SEED.json [other options]";
}

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string& path, std::string& error) {
    const int lockFd = lockStateFile(path, error);
    if (lockFd < 0) return nullptr;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        error = lastError(db, "cannot open state file");
        sqlite3_close(db);
        ::close(lockFd);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    std::unique_ptr<SqliteStore> store(new SqliteStore(db, lockFd));
    if (!store->exec(kSettings, error)) return nullptr;
    sqlite3_stmt* version = store->statement("PRAGMA user_version;", error);
    if (version == nullptr || sqlite3_step(version) != SQLITE_ROW) {
        if (error.empty()) error = lastError(db, "cannot read state file");
        return nullptr;
    }
    const int found = sqlite3_column_int(version, 0);
    sqlite3_reset(version);
    if (found != kSchemaVersion) {
        sqlite3_stmt* anyTable = store->statement(kAnyTable, error);
        if (anyTable == nullptr) return nullptr;
        const bool empty = found == 0 && sqlite3_step(anyTable) == SQLITE_DONE;
        sqlite3_reset(anyTable);
        if (!empty) {
            error = staleFileMessage(path, found);
            return nullptr;
        }
        // A new file: its tables and version in one transaction, so that a
        // start cut short leaves a file that is new again.
        const std::string setVersion = "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
        auto create = [&](std::string& e) { return store->exec(kSchema, e) && store->exec(setVersion.c_str(), e); };
        if (!store->inTransaction(create, error)) {
            return nullptr;
        }
    }
    if (!store->readArrayIds(error)) return nullptr;
    return store;
}

SqliteStore::~SqliteStore() {
    for (auto& s : statements_) sqlite3_finalize(s.second);
    sqlite3_close(db_);
    ::close(lockFd_);
}

bool SqliteStore::exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        error = std::string("state file: ") + (message != nullptr ? message : "error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

sqlite3_stmt* SqliteStore::statement(const char* sql, std::string& error) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) {
        sqlite3_reset(found->second);
        sqlite3_clear_bindings(found->second);
        return found->second;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        error = lastError(db_, "state file");
        sqlite3_finalize(stmt);
        return nullptr;
    }
    statements_.emplace(sql, stmt);
    return stmt;
}

bool SqliteStore::inTransaction(const std::function<bool(std::string&)>& work, std::string& error) {
    if (!exec("BEGIN IMMEDIATE;", error)) return false;
    if (work(error) && exec("COMMIT;", error)) return true;
    std::string ignored;
    exec("ROLLBACK;", ignored);
    // What the failed transaction wrote is gone; forget any array it added.
    readArrayIds(ignored);
    if (error.empty()) error = lastError(db_, "cannot write state file");
    return false;
}

bool SqliteStore::readArrayIds(std::string& error) {
    arrayIds_.clear();
    sqlite3_stmt* select = statement(kSelectArrays, error);
    if (select == nullptr) return false;
    return eachRow(select, [this](Columns& c) {
        const int64_t id = c.number();
        arrayIds_[c.text()] = id;
        return true;
    }, error);
}

bool SqliteStore::insertShare(int64_t arrayId, const Share& s, size_t position, std::string& error) {
    sqlite3_stmt* insert = statement(kInsertShare, error);
    if (insert == nullptr) return false;
    const arraymodel::ShareSettings& t = s.settings;
    if (!Row(insert)
             .number(arrayId).text(protocolWord(s.protocol)).text(s.objectId).unsignedNumber(position)
             .text(s.shareId).text(s.name).unsignedNumber(s.virtualServerId).text(s.fileSystemId).text(s.path)
             .text(t.accessConfig).text(t.comment).text(t.userHomeDirectoryPath).text(t.cacheOption)
             .text(t.snapshotOption).text(t.transferToReplicationTarget).text(t.userHomeDirectoryMode)
             .text(t.localReadCacheOption).number(t.followSymLinks).number(t.followGlobalSymLinks)
             .number(t.abeEnabled).number(t.forceFileNameToLowercase).number(t.scanForVirusesEnabled)
             .number(t.maxConcurrentUsers)
             .run()) {
        return false;
    }
    for (size_t i = 0; i < s.authentications.size(); ++i) {
        const Authentication& a = s.authentications[i];
        sqlite3_stmt* permission = statement(kInsertPermission, error);
        if (permission == nullptr || !Row(permission)
                                          .number(arrayId).text(protocolWord(s.protocol)).text(s.objectId)
                                          .unsignedNumber(i).text(a.name).text(a.encodedName).number(a.permission)
                                          .text(a.type)
                                          .run()) {
            return false;
        }
    }
    return true;
}

bool SqliteStore::insertSnapshot(int64_t arrayId, const Snapshot& s, size_t position, std::string& error) {
    sqlite3_stmt* insert = statement(kInsertSnapshot, error);
    return insert != nullptr && Row(insert)
                                    .number(arrayId).text(s.objectId).unsignedNumber(position).text(s.displayName)
                                    .text(s.appSearchId).text(s.fileSystemId).text(s.state).text(s.creationReason)
                                    .unsignedNumber(s.creationTime).unsignedNumber(s.sequence)
                                    .unsignedNumber(s.pendingLists).unsignedNumber(s.retainedUntil)
                                    .unsignedNumber(s.deleteWhenExpired ? 1 : 0)
                                    .run();
}

bool SqliteStore::deleteShare(int64_t arrayId, const Share& s, std::string& error) {
    sqlite3_stmt* remove = statement(kDeleteShare, error);
    return remove != nullptr && Row(remove).number(arrayId).text(protocolWord(s.protocol)).text(s.objectId).run();
}

bool SqliteStore::deleteSnapshot(int64_t arrayId, const Snapshot& s, std::string& error) {
    sqlite3_stmt* remove = statement(kDeleteSnapshot, error);
    return remove != nullptr && Row(remove).number(arrayId).text(s.objectId).run();
}

bool SqliteStore::insertDirectory(int64_t arrayId, const std::string& fileSystemId, const std::string& directory,
                                  std::string& error) {
    sqlite3_stmt* insert = statement(kInsertDirectory, error);
    return insert != nullptr && Row(insert).number(arrayId).text(fileSystemId).text(directory).run();
}

bool SqliteStore::insertArray(const Array& array, std::string& error) {
    sqlite3_stmt* remove = statement(kDeleteArray, error);
    if (remove == nullptr || !Row(remove).text(array.name).run()) return false;
    sqlite3_stmt* insert = statement(kInsertArray, error);
    if (insert == nullptr ||
        !Row(insert).text(array.name).text(array.user).text(array.password).unsignedNumber(array.nextSerial)
             .unsignedNumber(array.deletePendingLists).run()) {
        return false;
    }
    const int64_t id = sqlite3_last_insert_rowid(db_);
    arrayIds_[array.name] = id;
    for (size_t i = 0; i < array.apiKeys.size(); ++i) {
        sqlite3_stmt* insertKey = statement(kInsertApiKey, error);
        if (insertKey == nullptr ||
            !Row(insertKey).number(id).unsignedNumber(i).text(array.apiKeys[i].key).number(array.apiKeys[i].readOnly).run()) {
            return false;
        }
    }
    for (size_t i = 0; i < array.virtualServers.size(); ++i) {
        const VirtualServer& v = array.virtualServers[i];
        sqlite3_stmt* server = statement(kInsertServer, error);
        if (server == nullptr || !Row(server)
                                      .number(id).unsignedNumber(v.id).unsignedNumber(i).text(v.name)
                                      .text(v.objectId).text(v.uuid).text(v.status).text(v.type).number(v.isEnabled)
                                      .run()) {
            return false;
        }
        for (size_t a = 0; a < v.ipAddresses.size(); ++a) {
            sqlite3_stmt* address = statement(kInsertAddress, error);
            if (address == nullptr ||
                !Row(address).number(id).unsignedNumber(v.id).unsignedNumber(a).text(v.ipAddresses[a]).run()) {
                return false;
            }
        }
    }
    for (size_t i = 0; i < array.fileSystems.size(); ++i) {
        const FileSystem& f = array.fileSystems[i];
        sqlite3_stmt* fs = statement(kInsertFileSystem, error);
        if (fs == nullptr || !Row(fs)
                                  .number(id).text(f.id).unsignedNumber(i).text(f.label).text(f.objectId)
                                  .text(f.status).unsignedNumber(f.virtualServerId).unsignedNumber(f.capacity)
                                  .unsignedNumber(f.usedCapacity).unsignedNumber(f.freeCapacity)
                                  .unsignedNumber(f.usedSnapshotCapacity).unsignedNumber(f.retentionSeconds)
                                  .run()) {
            return false;
        }
        for (const std::string& directory : f.directories) {
            if (!insertDirectory(id, f.id, directory, error)) return false;
        }
    }
    for (size_t i = 0; i < array.shares.size(); ++i) {
        if (!insertShare(id, array.shares[i], i, error)) return false;
    }
    for (size_t i = 0; i < array.snapshots.size(); ++i) {
        if (!insertSnapshot(id, array.snapshots[i], i, error)) return false;
    }
    return true;
}

bool SqliteStore::load(arraymodel::State& state, std::string& error) {
    std::vector<Array> arrays;
    std::map<int64_t, size_t> byId;
    // Rows are read in order; each names its array by row ID.
    auto arrayOf = [&](int64_t id) -> Array* {
        auto found = byId.find(id);
        return found == byId.end() ? nullptr : &arrays[found->second];
    };
    // Each row of `sql` handed to `read` with its array.
    auto eachRowOf = [&](const char* sql, const std::function<bool(Array&, Columns&)>& read) {
        sqlite3_stmt* select = statement(sql, error);
        return select != nullptr && eachRow(select, [&](Columns& c) {
                   Array* a = arrayOf(c.number());
                   return a != nullptr && read(*a, c);
               }, error);
    };
    sqlite3_stmt* select = statement(kSelectArrays, error);
    if (select == nullptr || !eachRow(select, [&](Columns& c) {
            Array a;
            const int64_t id = c.number();
            a.name = c.text();
            a.user = c.text();
            a.password = c.text();
            a.nextSerial = c.unsignedNumber();
            a.deletePendingLists = c.unsignedNumber();
            byId[id] = arrays.size();
            arrays.push_back(std::move(a));
            return true;
        }, error)) {
        return false;
    }
    const bool read =
        eachRowOf(kSelectApiKeys, [](Array& a, Columns& c) {
            arraymodel::ApiKey k;
            k.key = c.text();
            k.readOnly = c.number() != 0;
            a.apiKeys.push_back(std::move(k));
            return true;
        }) &&
        eachRowOf(kSelectServers, [](Array& a, Columns& c) {
            a.virtualServers.push_back(virtualServerFrom(c));
            return true;
        }) &&
        eachRowOf(kSelectAddresses, [](Array& a, Columns& c) {
            VirtualServer* v = findIn(a.virtualServers, &VirtualServer::id, c.unsignedNumber());
            if (v != nullptr) v->ipAddresses.push_back(c.text());
            return v != nullptr;
        }) &&
        eachRowOf(kSelectFileSystems, [](Array& a, Columns& c) {
            a.fileSystems.push_back(fileSystemFrom(c));
            return true;
        }) &&
        eachRowOf(kSelectDirectories, [](Array& a, Columns& c) {
            FileSystem* f = findIn(a.fileSystems, &FileSystem::id, c.text());
            if (f != nullptr) f->directories.push_back(c.text());   // in sorted order
            return f != nullptr;
        }) &&
        eachRowOf(kSelectShares, [](Array& a, Columns& c) {
            a.shares.push_back(shareFrom(c));
            return true;
        });
    if (!read) return false;
    // Shares by (array, protocol, object ID), for their permissions.
    std::map<std::pair<int64_t, std::string>, Share*> shareByKey;
    for (const auto& entry : byId) {
        for (Share& s : arrays[entry.second].shares) {
            shareByKey[{entry.first, std::string(protocolWord(s.protocol)) + ":" + s.objectId}] = &s;
        }
    }
    select = statement(kSelectPermissions, error);
    if (select == nullptr || !eachRow(select, [&](Columns& c) {
            const int64_t id = c.number();
            const std::string protocol = c.text();
            auto share = shareByKey.find({id, protocol + ":" + c.text()});
            if (share == shareByKey.end()) return false;
            share->second->authentications.push_back(authenticationFrom(c));
            return true;
        }, error)) {
        return false;
    }
    if (!eachRowOf(kSelectSnapshots, [](Array& a, Columns& c) {
            a.snapshots.push_back(snapshotFrom(c));
            return true;
        })) {
        return false;
    }
    state.arrays = std::move(arrays);
    return true;
}

bool SqliteStore::saveChanges(const Array& array, const arraymodel::ChangeRecord& record, std::string& error) {
    if (record.empty() && record.nextSerial == array.nextSerial) return true;
    return inTransaction([&](std::string& e) {
        const auto found = arrayIds_.find(array.name);
        if (found == arrayIds_.end()) {
            e = "state file: array " + array.name + " is not stored";
            return false;
        }
        const int64_t id = found->second;
        if (record.nextSerial != array.nextSerial) {
            sqlite3_stmt* update = statement(kUpdateSerial, e);
            if (update == nullptr || !Row(update).number(id).unsignedNumber(array.nextSerial).run()) return false;
        }
        // First every slot's old row goes, then every slot's new row comes:
        // an entry that moved between two slots is deleted and inserted once.
        for (const auto& slot : record.shares) {
            if (slot.second && !deleteShare(id, *slot.second, e)) return false;
        }
        for (const auto& slot : record.snapshots) {
            if (slot.second && !deleteSnapshot(id, *slot.second, e)) return false;
        }
        for (const auto& slot : record.shares) {
            if (slot.first < array.shares.size() && !insertShare(id, array.shares[slot.first], slot.first, e)) {
                return false;
            }
        }
        for (const auto& slot : record.snapshots) {
            if (slot.first < array.snapshots.size() &&
                !insertSnapshot(id, array.snapshots[slot.first], slot.first, e)) {
                return false;
            }
        }
        for (const auto& dropped : record.droppedDirectories) {
            sqlite3_stmt* remove = statement(kDeleteDirectory, e);
            if (remove == nullptr || !Row(remove).number(id).text(dropped.first).text(dropped.second).run()) return false;
        }
        for (const auto& added : record.directories) {
            if (!insertDirectory(id, added.first, added.second, e)) return false;
        }
        return true;
    }, error);
}

bool SqliteStore::saveArrays(const std::vector<Array>& arrays, std::string& error) {
    return inTransaction([&](std::string& e) {
        for (const Array& array : arrays) {
            if (!insertArray(array, e)) return false;
        }
        return true;
    }, error);
}

bool SqliteStore::replaceAll(const arraymodel::State& state, std::string& error) {
    return inTransaction([&](std::string& e) {
        if (!exec("DELETE FROM arrays;", e)) return false;
        arrayIds_.clear();
        for (const Array& array : state.arrays) {
            if (!insertArray(array, e)) return false;
        }
        return true;
    }, error);
}

bool SqliteStore::limitSize(uint64_t bytes, std::string& error) {
    sqlite3_stmt* pageSize = statement("PRAGMA page_size;", error);
    if (pageSize == nullptr || sqlite3_step(pageSize) != SQLITE_ROW) return false;
    // SQLite keeps at least the pages the file has; 0 would only query.
    const uint64_t pages = std::max<uint64_t>(1, bytes / static_cast<uint64_t>(sqlite3_column_int64(pageSize, 0)));
    sqlite3_reset(pageSize);
    return exec(("PRAGMA max_page_count=" + std::to_string(pages) + ";").c_str(), error);
}

}  // namespace arraysim

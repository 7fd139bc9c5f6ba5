// The simulated array's records: plain values that the model's operations
// read and change. One `Array` is everything one set of credentials reaches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace arraymodel {

// The type of the virtual servers that serve files.
inline constexpr char kFileServices[] = "File services";

enum class Protocol { Cifs, Nfs };
// The protocols' words: the plug-in's share types and the seed's "protocol".
inline constexpr char kCifsWord[] = "CIFS";
inline constexpr char kMounted[] = "MOUNTED";
inline constexpr char kSnapshotUsable[] = "SNAPSHOT_MANAGEMENT_STATE_USABLE";
inline constexpr char kSnapshotDeletePending[] = "SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING";
inline constexpr char kNfsWord[] = "NFS";

// One CIFS permission entry, e.g. {"BUILTIN\Administrators", "4255...", 56, "GROUP"}.
struct Authentication {
    std::string name;          // normalised as the array shows it
    std::string encodedName;   // lower-case hex of `name`
    int32_t permission = 0;    // 0 none, 8 read, 24 change, 56 full; 1, 3, 7 denies
    std::string type;          // USER, GROUP, WELLKNOWN, ...
};

// Settings of a share or export, with the array's defaults.
struct ShareSettings {
    std::string accessConfig = "*";
    std::string comment;
    std::string userHomeDirectoryPath;
    std::string cacheOption = "CACHING_OFF";
    std::string snapshotOption = "SHOW_AND_ALLOW_ACCESS";
    std::string transferToReplicationTarget = "DO_NOT_TRANSFER";
    std::string userHomeDirectoryMode = "OFF";
    std::string localReadCacheOption = "DISABLED";
    bool followSymLinks = false;
    bool followGlobalSymLinks = false;
    bool abeEnabled = false;
    bool forceFileNameToLowercase = false;
    bool scanForVirusesEnabled = false;
    int32_t maxConcurrentUsers = 100;
};

struct VirtualServer {
    uint64_t id = 0;                        // numeric EVS ID, e.g. 1
    std::string name;                       // e.g. "evs1"
    std::string objectId;                   // minted
    std::string uuid;                       // minted
    std::string status = "ONLINE";
    std::string type = kFileServices;
    std::vector<std::string> ipAddresses;   // e.g. {"192.0.2.10"}
    bool isEnabled = true;
};

struct FileSystem {
    std::string id;                         // 32 upper-case hex characters
    std::string label;                      // e.g. "fs1"
    std::string objectId;                   // minted
    std::string status = kMounted;
    uint64_t virtualServerId = 0;
    uint64_t capacity = 0;
    uint64_t usedCapacity = 0;
    uint64_t freeCapacity = 0;
    uint64_t usedSnapshotCapacity = 0;
    // The file system's default retention, given to every new snapshot:
    // seconds a snapshot is kept after its creation, 0 = none.
    uint64_t retentionSeconds = 0;
    // Directories known to exist, outside snapshots, in sorted order, e.g.
    // {"/data", "/non-root", "/non-root/ansible"}; the root always exists.
    std::vector<std::string> directories;
};

struct Share {
    Protocol protocol = Protocol::Cifs;
    std::string objectId;                   // minted
    std::string shareId;                    // minted UUID
    std::string name;                       // NFS names begin with "/"
    uint64_t virtualServerId = 0;
    std::string fileSystemId;
    std::string path;                       // e.g. "\data" (CIFS), "/exp1" (NFS)
    ShareSettings settings;
    std::vector<Authentication> authentications;   // CIFS only
};

// The most snapshots one file system holds (the product's snapshot
// administration guide); those in a delete state count until they are gone.
inline constexpr size_t kMaxSnapshotsPerFileSystem = 1024;

struct Snapshot {
    std::string objectId;                   // minted from file system and name
    std::string displayName;                // stored name, e.g. "QZHNAS-u1-fs1"
    std::string appSearchId;                // e.g. "QZHNAS"
    std::string fileSystemId;
    std::string state = kSnapshotUsable;
    std::string creationReason = "SNAPSHOT_CREATED_BY_APPLICATION";
    uint64_t creationTime = 0;              // Unix seconds
    uint64_t sequence = 0;                  // creation order within the array
    uint64_t pendingLists = 0;              // in a delete state: list calls that still show it
    // Kept until then (Unix seconds, 0 = no retention): a delete before it
    // is accepted, and the snapshot stays, usable and listed, until it
    // expires; then the first list that meets it removes it.
    uint64_t retainedUntil = 0;
    bool deleteWhenExpired = false;         // a delete was accepted while it was retained
};

// The lookup tables the model keeps beside an array (ArrayIndex.h). Not
// part of the array's state: a copy starts without them and builds its own.
struct ArrayIndex;
struct ArrayIndexHolder {
    std::shared_ptr<ArrayIndex> table;
    ArrayIndexHolder() = default;
    ArrayIndexHolder(const ArrayIndexHolder&) {}
    ArrayIndexHolder& operator=(const ArrayIndexHolder&) {
        table.reset();
        return *this;
    }
    ArrayIndexHolder(ArrayIndexHolder&&) noexcept = default;
    ArrayIndexHolder& operator=(ArrayIndexHolder&&) noexcept = default;
};

// The recording of changes a request makes (ChangeRecord.h); like the
// tables, not part of the state, and a copy does not record.
struct ChangeRecord;
struct ChangeHook {
    ChangeRecord* record = nullptr;
    ChangeHook() = default;
    ChangeHook(const ChangeHook&) {}
    ChangeHook& operator=(const ChangeHook&) { return *this; }
};

// A key sent as X-Api-Key in place of the user and password; a read-only
// key may only read.
struct ApiKey {
    std::string key;
    bool readOnly = false;
};

struct Array {
    std::string name;                       // admin label, e.g. "hnas1"
    std::string user;                       // unique across arrays
    std::string password;
    std::vector<ApiKey> apiKeys;            // unique across arrays
    uint64_t nextSerial = 1;                // counter that minted IDs come from
    // List calls a deleted snapshot stays listed for, in
    // SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING, before it goes; 0 = at once.
    uint64_t deletePendingLists = 0;
    std::vector<VirtualServer> virtualServers;
    std::vector<FileSystem> fileSystems;
    std::vector<Share> shares;
    std::vector<Snapshot> snapshots;
    mutable ArrayIndexHolder index;
    mutable ChangeHook recording;
};

struct State {
    std::vector<Array> arrays;
};

// How an operation ended; the simulator maps it to an HTTP status.
enum class Outcome { Ok, BadRequest, NotFound, Unauthorized };

struct Result {
    Outcome outcome = Outcome::Ok;
    std::string message;   // why it was refused, e.g. "share name exists"

    bool ok() const { return outcome == Outcome::Ok; }
    static Result success() { return Result{}; }
    static Result refuse(Outcome outcome, std::string message) {
        Result r;
        r.outcome = outcome;
        r.message = std::move(message);
        return r;
    }
};

}  // namespace arraymodel

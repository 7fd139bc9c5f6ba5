// QzManageHNAS for tests: the same declaration as the HTTPS client, answered
// from the in-memory arrays of the active fakearray::FakeArrayScope.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "arraysim/model/ArrayIndex.h"
#include "arraysim/model/ArrayOps.h"
#include "host/QzManageHNAS.h"
#include "tests/fakes/FakeArray.h"

namespace {


std::string flag(bool value) { return value ? "true" : "false"; }

// "CIFS" or "NFS" -> the protocol; false for anything else.
bool protocolOf(const std::string& shareType, arraymodel::Protocol& protocol) {
    if (shareType == arraymodel::kCifsWord) {
        protocol = arraymodel::Protocol::Cifs;
        return true;
    }
    if (shareType == arraymodel::kNfsWord) {
        protocol = arraymodel::Protocol::Nfs;
        return true;
    }
    return false;
}

// The server a record names: by object ID, else by numeric ID.
const arraymodel::VirtualServer* serverOf(const arraymodel::Array& array,
                                          const __HNASVirtualServers& server) {
    const std::string ref =
        server.objectId.empty() ? std::to_string(server.virtualServerId) : server.objectId;
    return arraymodel::findVirtualServer(array, ref);
}

__HNASFileSystemShareSettings toRecord(const arraymodel::ShareSettings& s) {
    __HNASFileSystemShareSettings r;
    r.accessConfig = s.accessConfig;
    r.comment = s.comment;
    r.userHomeDirectoryPath = s.userHomeDirectoryPath;
    r.cacheOption = s.cacheOption;
    r.snapshotOption = s.snapshotOption;
    r.transferToReplicationTarget = s.transferToReplicationTarget;
    r.userHomeDirectoryMode = s.userHomeDirectoryMode;
    r.localReadCacheOption = s.localReadCacheOption;
    r.followSymLinks = s.followSymLinks;
    r.followGlobalSymLinks = s.followGlobalSymLinks;
    r.abeEnabled = s.abeEnabled;
    r.forceFileNameToLowercase = s.forceFileNameToLowercase;
    r.scanForVirusesEnabled = s.scanForVirusesEnabled;
    r.maxConcurrentUsers = s.maxConcurrentUsers;
    return r;
}

arraymodel::ShareSettings fromRecord(const __HNASFileSystemShareSettings& r) {
    arraymodel::ShareSettings s;
    s.accessConfig = r.accessConfig;
    s.comment = r.comment;
    s.userHomeDirectoryPath = r.userHomeDirectoryPath;
    s.cacheOption = r.cacheOption;
    s.snapshotOption = r.snapshotOption;
    s.transferToReplicationTarget = r.transferToReplicationTarget;
    s.userHomeDirectoryMode = r.userHomeDirectoryMode;
    s.localReadCacheOption = r.localReadCacheOption;
    s.followSymLinks = r.followSymLinks;
    s.followGlobalSymLinks = r.followGlobalSymLinks;
    s.abeEnabled = r.abeEnabled;
    s.forceFileNameToLowercase = r.forceFileNameToLowercase;
    s.scanForVirusesEnabled = r.scanForVirusesEnabled;
    s.maxConcurrentUsers = r.maxConcurrentUsers;
    return s;
}

__HNASFileSystemShares toRecord(const arraymodel::Share& share, bool withPermissions) {
    __HNASFileSystemShares r;
    r.objectId = share.objectId;
    r.shareId = share.shareId;
    r.name = share.name;
    r.virtualServerId = share.virtualServerId;
    r.fileSystemId = share.fileSystemId;
    r.path = share.path;
    r.shareType = share.protocol == arraymodel::Protocol::Cifs ? arraymodel::kCifsWord : arraymodel::kNfsWord;
    r.settings = toRecord(share.settings);
    if (withPermissions) {
        for (const arraymodel::Authentication& a : share.authentications) {
            __HNASCIFSAuthentication entry;
            entry.name = a.name;
            entry.encodedName = a.encodedName;
            entry.permission = a.permission;
            entry.type = a.type;
            r.settings.permissions.push_back(entry);
        }
    }
    return r;
}

__HNASFileSystemSnapshot toRecord(const arraymodel::Snapshot& s) {
    __HNASFileSystemSnapshot r;
    r.objectId = s.objectId;
    r.name = s.displayName;
    r.fileSystemId = s.fileSystemId;
    r.state = s.state;
    r.creationReason = s.creationReason;
    r.creationTime = s.creationTime;
    return r;
}

__HNASFileSystemInfo toRecord(const arraymodel::FileSystem& fs) {
    __HNASFileSystemInfo info;
    info.objectId = fs.objectId;
    info.name = fs.label;
    info.fileSystemId = fs.id;
    info.status = fs.status;
    info.virtualServerId = fs.virtualServerId;
    info.capacity = fs.capacity;
    info.usedCapacity = fs.usedCapacity;
    info.freeCapacity = fs.freeCapacity;
    info.usedSnapshotCapacity = fs.usedSnapshotCapacity;
    return info;
}

// Whether the array can list the file system's snapshots: it is mounted
// (or has no status).
bool listable(const arraymodel::FileSystem& fs) { return fs.status.empty() || fs.status == arraymodel::kMounted; }

// The snapshots of the array's listable file systems, file system by file
// system (in the array's order), each in creation order: one sort of the
// snapshots by that pair (a pass per file system made large arrays
// quadratic). A snapshot whose delete waited for its retention is gone once
// `now` has reached its end.
void listSnapshots(const arraymodel::Array& array, uint64_t now, std::vector<__HNASFileSystemSnapshot>& snapshots) {
    std::vector<std::pair<size_t, const arraymodel::Snapshot*>> ordered;
    ordered.reserve(array.snapshots.size());
    for (const arraymodel::Snapshot& s : array.snapshots) {
        if (s.deleteWhenExpired && s.retainedUntil <= now) continue;
        const arraymodel::FileSystem* fs = arraymodel::findFileSystem(array, s.fileSystemId);
        if (fs != nullptr && listable(*fs))
            ordered.emplace_back(static_cast<size_t>(fs - array.fileSystems.data()), &s);
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second->sequence < b.second->sequence;
    });
    snapshots.clear();
    snapshots.reserve(ordered.size());
    for (const auto& entry : ordered) snapshots.push_back(toRecord(*entry.second));
}

// One call of the fake client: logged on construction, marked as succeeded
// by done(); array() is the logged-in array, or null when the call may not
// go on (no scope, a scripted failure, credentials that do not log in).
using Arguments = std::vector<std::string>;

class Call {
public:
    // `makeArguments` gives the call's arguments for the record; it runs only
    // when the scope keeps them, and inside the timed span.
    template <typename MakeArguments>
    Call(const QzManageHNAS::Impl& impl, const char* operation, MakeArguments makeArguments)
        : scope_(fakearray::activeScope()) {
        if (scope_ != nullptr) begin(impl, operation, scope_->keepArguments ? makeArguments() : Arguments());
    }
    ~Call() {
        if (timed_ != nullptr)
            timed_->arraySeconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    arraymodel::Array* array() const { return array_; }
    fakearray::FakeArrayScope* scope() const { return scope_; }
    bool done() {
        if (scope_ != nullptr) scope_->endCall(index_, true);
        return true;
    }

private:
    void begin(const QzManageHNAS::Impl& impl, const char* operation, Arguments arguments);

    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    fakearray::FakeArrayScope* timed_ = fakearray::activeScope();
    fakearray::FakeArrayScope* scope_;
    arraymodel::Array* array_ = nullptr;
    size_t index_ = 0;
};

}  // namespace

struct QzManageHNAS::Impl {
    unsigned long long jobId = 0;
    std::string user;
    std::string password;
    bool initialised = false;
    // A worker of runConcurrently: it only reads, as the real client's do.
    bool worker = false;
};

namespace {

void Call::begin(const QzManageHNAS::Impl& impl, const char* operation, Arguments arguments) {
    if (!scope_->beginCall(operation, std::move(arguments), index_)) {
        scope_ = nullptr;   // scripted failure: nothing may change
        return;
    }
    if (impl.initialised) {
        arraymodel::Array* array = nullptr;
        if (arraymodel::authenticate(scope_->state(), impl.user, impl.password, array).ok()) {
            array_ = array;
        }
    }
}

// The share named `shareName` on `server` for `shareType`, in the call's
// array. False when the call has no array or names no protocol or server;
// `share` is null when the server has no such share.
bool findNamedShare(const Call& call, const __HNASVirtualServers& server, const std::string& shareType,
                    const std::string& shareName, arraymodel::Protocol& protocol,
                    const arraymodel::Share*& share) {
    if (call.array() == nullptr || !protocolOf(shareType, protocol)) return false;
    const arraymodel::VirtualServer* evs = serverOf(*call.array(), server);
    if (evs == nullptr) return false;
    share = arraymodel::findShareByName(*call.array(), protocol, evs->id, shareName);
    return true;
}

}  // namespace

QzManageHNAS::QzManageHNAS(const unsigned long long& jobId) : impl_(new Impl) {
    impl_->jobId = jobId;
}

QzManageHNAS::QzManageHNAS(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

QzManageHNAS::~QzManageHNAS() = default;

bool QzManageHNAS::init(std::string user, std::string password, std::string type,
                        std::string controlHost, std::string address, int port) {
    Call call(*impl_, "init", [&] { return Arguments{user, type, controlHost, address, std::to_string(port)}; });
    if (call.scope() == nullptr) return false;
    impl_->user = user;
    impl_->password = password;
    impl_->initialised = true;
    return call.done();
}

bool QzManageHNAS::getVirtualServerInfo(const std::string& arrayId, __HNASVirtualServers& server) {
    Call call(*impl_, "getVirtualServerInfo", [&] { return Arguments{arrayId}; });
    if (call.array() == nullptr) return false;
    const arraymodel::VirtualServer* found = arraymodel::virtualServerForArrayId(*call.array(), arrayId);
    if (found == nullptr) return false;
    server.clear();
    server.uuid = found->uuid;
    server.status = found->status;
    server.name = found->name;
    server.objectId = found->objectId;
    server.type = found->type;
    server.ipAddresses = found->ipAddresses;
    server.isEnabled = found->isEnabled;
    server.virtualServerId = found->id;
    return call.done();
}

bool QzManageHNAS::getFileSystemID(const std::string& fileSystemName, std::string& fileSystemId) {
    Call call(*impl_, "getFileSystemID", [&] { return Arguments{fileSystemName}; });
    if (call.array() == nullptr) return false;
    const arraymodel::FileSystem* fs = arraymodel::findFileSystemByLabel(*call.array(), fileSystemName);
    if (fs == nullptr) return false;
    fileSystemId = fs->id;
    return call.done();
}

bool QzManageHNAS::getFileSystemID(__HNASVirtualServers server, const std::string& shareName,
                                   const std::string& shareType, std::string& fileSystemId) {
    Call call(*impl_, "getFileSystemID", [&] { return Arguments{server.objectId, shareName, shareType}; });
    arraymodel::Protocol protocol;
    const arraymodel::Share* share = nullptr;
    if (!findNamedShare(call, server, shareType, shareName, protocol, share) || share == nullptr) return false;
    fileSystemId = share->fileSystemId;
    return call.done();
}

bool QzManageHNAS::getFileSystemsInfo(const std::string& fileSystemId,
                                      std::vector<__HNASFileSystemInfo>& fileSystems) {
    Call call(*impl_, "getFileSystemsInfo", [&] { return Arguments{fileSystemId}; });
    if (call.array() == nullptr) return false;
    if (call.scope()->takeEmptyAnswer("getFileSystemsInfo")) {
        fileSystems.clear();
        return call.done();
    }
    const arraymodel::FileSystem* fs = arraymodel::findFileSystem(*call.array(), fileSystemId);
    if (fs == nullptr) return false;
    fileSystems.assign(1, toRecord(*fs));
    return call.done();
}

bool QzManageHNAS::getFilesystemShares(__HNASVirtualServers& server, const std::string& shareType,
                                       std::vector<__HNASFileSystemShares>& shares,
                                       bool withPermissions) {
    const std::string wanted = shares.empty() ? std::string() : shares[0].name;
    Call call(*impl_, "getFilesystemShares",
              [&] { return Arguments{server.objectId, shareType, wanted, flag(withPermissions)}; });
    arraymodel::Protocol protocol;
    if (call.array() == nullptr || shares.empty() || !protocolOf(shareType, protocol)) return false;
    if (call.scope()->takeEmptyAnswer("getFilesystemShares")) {
        shares.clear();
        return call.done();
    }
    const arraymodel::VirtualServer* evs = serverOf(*call.array(), server);
    if (evs == nullptr) return false;
    const arraymodel::Share* share = arraymodel::findShareByName(*call.array(), protocol, evs->id, wanted);
    if (share == nullptr) return false;
    shares[0] = toRecord(*share, withPermissions);
    return call.done();
}

bool QzManageHNAS::createFileSystemSnapshot(const std::string& name, const std::string& fileSystemId,
                                            const std::string& prefix,
                                            __HNASFileSystemSnapshot& snapshot) {
    if (impl_->worker) return false;   // no change runs ahead
    Call call(*impl_, "createFileSystemSnapshot", [&] { return Arguments{name, fileSystemId, prefix}; });
    if (call.array() == nullptr) return false;
    arraymodel::Snapshot created;
    if (!arraymodel::createSnapshot(*call.array(), fileSystemId, name, prefix, call.scope()->now, created)
             .ok()) {
        return false;
    }
    ++call.scope()->now;
    snapshot = toRecord(created);
    return call.done();
}

bool QzManageHNAS::isSharePresent(const std::string& shareName, __HNASVirtualServers& server,
                                  const std::string& shareType) {
    Call call(*impl_, "isSharePresent", [&] { return Arguments{shareName, server.objectId, shareType}; });
    arraymodel::Protocol protocol;
    const arraymodel::Share* share = nullptr;
    if (!findNamedShare(call, server, shareType, shareName, protocol, share) || share == nullptr) return false;
    return call.done();
}

bool QzManageHNAS::createFileSystemShare(const std::string& shareName,
                                         const std::string& virtualServerId,
                                         const std::string& fileSystemId, const std::string& path,
                                         const std::string& shareType, __HNASFileSystemShares& share,
                                         bool applyPermissions) {
    if (impl_->worker) return false;   // no change runs ahead
    Call call(*impl_, "createFileSystemShare",
              [&] { return Arguments{shareName, virtualServerId, fileSystemId, path, shareType, flag(applyPermissions)}; });
    arraymodel::ShareRequest request;
    if (call.array() == nullptr || !protocolOf(shareType, request.protocol)) return false;
    request.virtualServer = virtualServerId;
    request.name = shareName;
    request.fileSystem = fileSystemId;
    request.path = path;
    request.settings = fromRecord(share.settings);
    // As the real client asks; the fake array takes shares only inside
    // snapshots, so that a wrong clone path fails the plug-in's tests.
    request.ensurePathExists = true;
    request.strictSnapshotPaths = true;
    // As the real client does, a CIFS copy with permissions asks for no
    // default access entry, so that it carries exactly the entries given.
    const bool exactPermissions = applyPermissions && request.protocol == arraymodel::Protocol::Cifs;
    request.noDefaultSecurity = exactPermissions;
    // The share and its permissions land together or not at all: a refused
    // permission removes the share again (cheaper than working on a copy of
    // the whole array, which made large batches quadratic).
    arraymodel::Array& array = *call.array();
    arraymodel::Share created;
    if (!arraymodel::createShare(array, request, created).ok()) return false;
    if (exactPermissions) {
        for (const __HNASCIFSAuthentication& p : share.settings.permissions) {
            arraymodel::Authentication entry;
            entry.name = p.name;
            entry.permission = p.permission;
            entry.type = p.type;
            arraymodel::Authentication stored;
            if (!arraymodel::addAuthentication(array, created.objectId, entry, stored).ok()) {
                arraymodel::deleteShare(array, request.protocol, created.objectId);
                return false;
            }
        }
    }
    share.objectId = created.objectId;
    share.shareId = created.shareId;
    share.virtualServerId = created.virtualServerId;
    share.fileSystemId = created.fileSystemId;
    share.shareType = shareType;
    return call.done();
}

bool QzManageHNAS::deleteFileSystemShare(const std::string& shareName, __HNASVirtualServers& server,
                                         const std::string& shareType) {
    if (impl_->worker) return false;   // no change runs ahead
    Call call(*impl_, "deleteFileSystemShare", [&] { return Arguments{shareName, server.objectId, shareType}; });
    arraymodel::Protocol protocol;
    const arraymodel::Share* share = nullptr;
    if (!findNamedShare(call, server, shareType, shareName, protocol, share)) return false;
    // A share that is already gone counts as deleted.
    if (share != nullptr && !arraymodel::deleteShare(*call.array(), protocol, share->objectId).ok()) {
        return false;
    }
    return call.done();
}

bool QzManageHNAS::deleteFileSystemSnapshot(__HNASFileSystemSnapshot snapshot, const std::string& prefix) {
    if (impl_->worker) return false;   // no change runs ahead
    Call call(*impl_, "deleteFileSystemSnapshot",
              [&] { return Arguments{snapshot.name, snapshot.fileSystemId, prefix}; });
    if (call.array() == nullptr) return false;
    const arraymodel::FileSystem* fs = arraymodel::findFileSystem(*call.array(), snapshot.fileSystemId);
    if (fs == nullptr) return false;
    const arraymodel::Snapshot* found = arraymodel::findSnapshotByName(*call.array(), fs->id, snapshot.name);
    // A snapshot that is already gone counts as deleted; one found is
    // removed where it is (a lookup by its object ID would find it again),
    // unless it is retained: then it stays until its retention expires, as
    // on the simulator.
    if (found != nullptr) {
        const size_t position = static_cast<size_t>(found - call.array()->snapshots.data());
        if (found->retainedUntil > call.scope()->now)
            call.array()->snapshots[position].deleteWhenExpired = true;
        else
            arraymodel::removeSnapshotAt(*call.array(), position);
    }
    return call.done();
}

bool QzManageHNAS::recoverFileSystemSnapshot(const std::string& snapshotObjectId) {
    if (impl_->worker) return false;   // no change runs ahead
    Call call(*impl_, "recoverFileSystemSnapshot", [&] { return Arguments{snapshotObjectId}; });
    if (call.array() == nullptr) return false;
    if (!arraymodel::rollbackSnapshot(*call.array(), snapshotObjectId).ok()) return false;
    return call.done();
}

bool QzManageHNAS::getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots) {
    Call call(*impl_, "getAllSnapshots", [&] { return Arguments{}; });
    if (call.array() == nullptr) return false;
    // As the real client: one file system that is not mounted fails the list.
    for (const arraymodel::FileSystem& fs : call.array()->fileSystems)
        if (!listable(fs)) return false;
    listSnapshots(*call.array(), call.scope()->now, snapshots);
    return call.done();
}

bool QzManageHNAS::getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots,
                                   std::vector<__HNASFileSystemInfo>& unlisted) {
    Call call(*impl_, "getAllSnapshots", [&] { return Arguments{"unlisted"}; });
    if (call.array() == nullptr) return false;
    unlisted.clear();
    for (const arraymodel::FileSystem& fs : call.array()->fileSystems)
        if (!listable(fs)) unlisted.push_back(toRecord(fs));
    listSnapshots(*call.array(), call.scope()->now, snapshots);
    return call.done();
}

int QzManageHNAS::requestsInFlight() {
    const fakearray::FakeArrayScope* scope = fakearray::activeScope();
    return scope != nullptr ? scope->requestsInFlight : 1;
}

// Runs the items one by one on a worker of the same credentials, as the
// real client's workers would, and records their calls as one batch (they
// stay in calls(), in the order made).
bool QzManageHNAS::runConcurrently(size_t count, const std::function<void(QzManageHNAS&, size_t)>& work,
                                   std::vector<std::vector<QzLogLine>>& lines) {
    lines.assign(count, std::vector<QzLogLine>());
    fakearray::FakeArrayScope* scope = fakearray::activeScope();
    if (scope == nullptr || count == 0 || impl_->worker || requestsInFlight() <= 1) return false;
    std::unique_ptr<Impl> workerImpl(new Impl(*impl_));
    workerImpl->worker = true;
    QzManageHNAS worker(std::move(workerImpl));
    const size_t before = scope->calls().size();
    for (size_t i = 0; i < count; ++i) {
        try {
            work(worker, i);
        } catch (...) {
            // The item ends; its caller makes the call itself.
        }
    }
    scope->recordBatch(std::vector<fakearray::CallRecord>(scope->calls().begin() + static_cast<long>(before),
                                                          scope->calls().end()));
    return true;
}

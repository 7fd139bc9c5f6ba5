// The array-management client. One object per operation call (or per filer
// alias search); init() points it at one array, and may be called again for
// the next array. Every query returns true when done and its outputs filled.
//
// Two implementations exist behind this one declaration: the HTTPS client in
// libQzManageHNAS.so and, for tests, a fake over the in-memory array model.
// The texts here are a contract with the array client: keep them character
// for character.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/QzExport.h"
#include "records/HNASArrayRecords.h"

// The `type` every init() is given: the arrays are file storage.
constexpr char kArrayTypeFile[] = "FILE";

// The phases of reaching an array, in the order a request meets them.
enum class QzProbeStep {
    Resolve,        // the endpoint's address resolves
    Connect,        // a TCP connection opens (within nConnectTimeoutSecs)
    Tls,            // the TLS handshake, the certificate verified against the CA
    Http,           // the request goes out and an HTTP answer comes back
    ApiVersion,     // the array serves the configured API version (no 404)
    Credentials,    // the array accepts the credentials (no 401)
    VirtualServer   // the virtual server of the array ID is listed
};

// Why a phase failed, in the client's own classes.
enum class QzProbeFailure {
    None,
    Setup,          // the client is not set up: init failed or was not called
    CannotResolve,  // no address for the endpoint's name
    CannotConnect,  // refused or unreachable
    TimedOut,       // no progress within the connect or request time-out
    CaFileUnusable, // the CA file cannot be read or holds no certificate
    Untrusted,      // the certificate, or the name in it, is not trusted
    Handshake,      // the TLS handshake failed otherwise (not TLS, reset)
    NoAnswer,       // the connection broke before a whole answer came
    HttpStatus,     // the array answered with an error status (httpStatus)
    BadAnswer,      // the answer is not what the API sends
    NoVirtualServer,// the answer gives no file-services virtual server for the array
                    // ID: none is named or has that address, or the list is not
                    // one the client can read (the message says which)
    Other           // another transport failure
};

// One phase as probe() reports it.
struct QzProbePhase {
    QzProbeStep step = QzProbeStep::Resolve;
    bool passed = false;
    // False for a phase passed unchecked: TLS with nInsecure=1.
    bool verified = true;
    // The phase's own time in microseconds, from libcurl's phase times; -1
    // for the phases after Http, which are read from the same answer.
    long long micros = -1;
    QzProbeFailure failure = QzProbeFailure::None;
    // The client repeats a failure of this class within nRetryCount (the
    // probe itself tries once).
    bool retried = false;
    long httpStatus = 0;    // the array's status, when one came
    // Passed: what was found, e.g. "127.0.0.1 port 8444". Failed: the
    // client's failure message. Never holds the password or the API key.
    std::string message;
};

// The calls an operation can hand the client ahead of making them (see
// runAhead), one per member of the same name.
enum class QzAheadKind {
    CreateSnapshot,    // createFileSystemSnapshot(name, fileSystemId, prefix, snapshot)
    IsSharePresent,    // isSharePresent(name, server, shareType)
    GetShare,          // getFilesystemShares(server, shareType, {share}, flag)
    CreateShare,       // createFileSystemShare(name, virtualServerId, fileSystemId, path, shareType, share, flag)
    DeleteShare,       // deleteFileSystemShare(name, server, shareType)
    DeleteSnapshot,    // deleteFileSystemSnapshot(snapshot, prefix)
    RecoverSnapshot,   // recoverFileSystemSnapshot(name): name is the snapshot's object ID
    FileSystemIdByLabel,   // getFileSystemID(name, id)
    FileSystemIdOfShare,   // getFileSystemID(server, name, shareType, id)
    FileSystemInfo         // getFileSystemsInfo(fileSystemId, list)
};

// One call made ahead: the member's arguments (only those its kind names),
// and after runAhead what the member would have returned.
struct QzAheadCall {
    QzAheadKind kind = QzAheadKind::CreateSnapshot;
    std::string name;               // snapshot or share name, or the object ID to recover
    std::string fileSystemId;
    std::string prefix;
    std::string shareType;
    std::string virtualServerId;
    std::string path;
    __HNASVirtualServers server;
    __HNASFileSystemShares share;   // GetShare: the share to look up; CreateShare: the share argument
    __HNASFileSystemSnapshot snapshot;   // DeleteSnapshot: the snapshot argument
    bool flag = false;              // GetShare: withPermissions; CreateShare: applyPermissions

    // The outcome. `made` false: the call was not made, because a call
    // before it in the batch failed (its member will make it, if reached).
    bool made = false;
    bool succeeded = false;   // the member's return value
    __HNASFileSystemSnapshot createdSnapshot;          // CreateSnapshot
    std::vector<__HNASFileSystemShares> sharesFound;   // GetShare
    __HNASFileSystemShares shareCreated;               // CreateShare: the share argument as the call left it
    std::string fileSystemIdFound;                     // FileSystemIdByLabel, FileSystemIdOfShare
    std::vector<__HNASFileSystemInfo> fileSystemsFound;   // FileSystemInfo

    // The call each member is, from the member's own arguments: operations
    // build their batches with these, and both clients match a member's
    // call against the batch with them.
    static QzAheadCall createSnapshot(const std::string& name, const std::string& fileSystemId,
                                      const std::string& prefix) {
        QzAheadCall call(QzAheadKind::CreateSnapshot);
        call.name = name;
        call.fileSystemId = fileSystemId;
        call.prefix = prefix;
        return call;
    }
    static QzAheadCall isSharePresent(const std::string& name, const __HNASVirtualServers& server,
                                      const std::string& shareType) {
        return namedOnServer(QzAheadKind::IsSharePresent, name, server, shareType);
    }
    static QzAheadCall getShare(const __HNASVirtualServers& server, const std::string& shareType,
                                const __HNASFileSystemShares& share, bool withPermissions) {
        QzAheadCall call(QzAheadKind::GetShare);
        call.server = server;
        call.shareType = shareType;
        call.share = share;
        call.flag = withPermissions;
        return call;
    }
    static QzAheadCall createShare(const std::string& name, const std::string& virtualServerId,
                                   const std::string& fileSystemId, const std::string& path,
                                   const std::string& shareType, const __HNASFileSystemShares& share,
                                   bool applyPermissions) {
        QzAheadCall call(QzAheadKind::CreateShare);
        call.name = name;
        call.virtualServerId = virtualServerId;
        call.fileSystemId = fileSystemId;
        call.path = path;
        call.shareType = shareType;
        call.share = share;
        call.flag = applyPermissions;
        return call;
    }
    static QzAheadCall deleteShare(const std::string& name, const __HNASVirtualServers& server,
                                   const std::string& shareType) {
        return namedOnServer(QzAheadKind::DeleteShare, name, server, shareType);
    }
    static QzAheadCall deleteSnapshot(const __HNASFileSystemSnapshot& snapshot, const std::string& prefix) {
        QzAheadCall call(QzAheadKind::DeleteSnapshot);
        call.snapshot = snapshot;
        call.prefix = prefix;
        return call;
    }
    static QzAheadCall recoverSnapshot(const std::string& snapshotObjectId) {
        QzAheadCall call(QzAheadKind::RecoverSnapshot);
        call.name = snapshotObjectId;
        return call;
    }
    static QzAheadCall fileSystemIdByLabel(const std::string& label) {
        QzAheadCall call(QzAheadKind::FileSystemIdByLabel);
        call.name = label;
        return call;
    }
    static QzAheadCall fileSystemIdOfShare(const __HNASVirtualServers& server, const std::string& shareName,
                                           const std::string& shareType) {
        return namedOnServer(QzAheadKind::FileSystemIdOfShare, shareName, server, shareType);
    }
    static QzAheadCall fileSystemInfo(const std::string& fileSystemId) {
        QzAheadCall call(QzAheadKind::FileSystemInfo);
        call.fileSystemId = fileSystemId;
        return call;
    }

    QzAheadCall() = default;

private:
    explicit QzAheadCall(QzAheadKind k) : kind(k) {}
    static QzAheadCall namedOnServer(QzAheadKind k, const std::string& name, const __HNASVirtualServers& server,
                                     const std::string& shareType) {
        QzAheadCall call(k);
        call.name = name;
        call.server = server;
        call.shareType = shareType;
        return call;
    }
};

// Names the request a call makes from the arguments its kind reads: two
// calls with the same key send the same request. Both implementations match
// a member call to a call made ahead by it.
inline std::string qzAheadKey(const QzAheadCall& call) {
    std::string key = std::to_string(static_cast<int>(call.kind));
    auto add = [&key](const std::string& part) {
        key += '\n';
        key += part;
    };
    auto addServer = [&add](const __HNASVirtualServers& server) {
        add(server.objectId);
        add(std::to_string(server.virtualServerId));
    };
    switch (call.kind) {
        case QzAheadKind::CreateSnapshot:
            add(call.prefix);
            add(call.name);
            add(call.fileSystemId);
            break;
        case QzAheadKind::IsSharePresent:
        case QzAheadKind::DeleteShare:
            add(call.shareType);
            add(call.name);
            addServer(call.server);
            break;
        case QzAheadKind::GetShare:
            add(call.shareType);
            add(call.share.name);
            addServer(call.server);
            add(call.flag ? "1" : "0");
            break;
        case QzAheadKind::CreateShare:
            add(call.shareType);
            add(call.name);
            add(call.virtualServerId);
            add(call.fileSystemId);
            add(call.path);
            add(call.share.objectId);
            add(call.flag ? "1" : "0");
            break;
        case QzAheadKind::DeleteSnapshot:
            add(call.prefix);
            add(call.snapshot.name);
            add(call.snapshot.fileSystemId);
            break;
        case QzAheadKind::RecoverSnapshot:
        case QzAheadKind::FileSystemIdByLabel:
            add(call.name);
            break;
        case QzAheadKind::FileSystemIdOfShare:
            add(call.shareType);
            add(call.name);
            addServer(call.server);
            break;
        case QzAheadKind::FileSystemInfo:
            add(call.fileSystemId);
            break;
    }
    return key;
}

class QZ_API QzManageHNAS {
public:
    explicit QzManageHNAS(const unsigned long long& jobId);
    ~QzManageHNAS();

    // Keeps the credentials and the endpoint https://address:port for the
    // array whose control host is `controlHost`. `type` is kArrayTypeFile.
    bool init(std::string user, std::string password, std::string type,
              std::string controlHost, std::string address, int port);

    // The virtual server that the array ID names: by name, else by address.
    bool getVirtualServerInfo(const std::string& arrayId, __HNASVirtualServers& server);
    // ID of the file system labelled `fileSystemName`.
    bool getFileSystemID(const std::string& fileSystemName, std::string& fileSystemId);
    // ID of the file system that holds the share or export `shareName`
    // ("CIFS" or "NFS") on the virtual server.
    bool getFileSystemID(__HNASVirtualServers server, const std::string& shareName,
                         const std::string& shareType, std::string& fileSystemId);
    // Entry 0 describes the file system `fileSystemId`.
    bool getFileSystemsInfo(const std::string& fileSystemId,
                            std::vector<__HNASFileSystemInfo>& fileSystems);
    // `shares` holds one record whose name is the share to look up; on
    // success entry 0 describes that share (path, settings, permissions).
    bool getFilesystemShares(__HNASVirtualServers& server, const std::string& shareType,
                             std::vector<__HNASFileSystemShares>& shares, bool withPermissions);
    // Creates the snapshot prefix + "-" + name on the file system.
    bool createFileSystemSnapshot(const std::string& name, const std::string& fileSystemId,
                                  const std::string& prefix, __HNASFileSystemSnapshot& snapshot);
    // True exactly when the share or export exists on the virtual server
    // (only its objectId is read).
    bool isSharePresent(const std::string& shareName, __HNASVirtualServers& server,
                        const std::string& shareType);
    // Creates a share or export over `path` with the settings (and, when
    // `applyPermissions`, the permissions) of `share`.
    bool createFileSystemShare(const std::string& shareName, const std::string& virtualServerId,
                               const std::string& fileSystemId, const std::string& path,
                               const std::string& shareType, __HNASFileSystemShares& share,
                               bool applyPermissions);
    bool deleteFileSystemShare(const std::string& shareName, __HNASVirtualServers& server,
                               const std::string& shareType);
    // Deletes the snapshot named snapshot.name on snapshot.fileSystemId.
    bool deleteFileSystemSnapshot(__HNASFileSystemSnapshot snapshot, const std::string& prefix);
    // Rolls the snapshot's file system back to it.
    bool recoverFileSystemSnapshot(const std::string& snapshotObjectId);
    // Every snapshot of the array. Fails when a file system's snapshots
    // cannot be listed (it is not mounted): a list without them would make
    // them look deleted.
    bool getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots);
    // Every snapshot of the file systems whose snapshots can be listed, and
    // in `unlisted` each file system that the array reports as not mounted
    // (ID, label and status, e.g. {"0A1B...", "fs9", "NOT_MOUNTED"}), whose
    // snapshots are not in `snapshots`. A request that fails fails the call,
    // with both lists empty.
    bool getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots,
                         std::vector<__HNASFileSystemInfo>& unlisted);

    // Every CIFS share and NFS export of every virtual server of the array,
    // with its file system and path (no permissions). A request that fails
    // fails the call, and the list is then empty.
    bool getAllShares(std::vector<__HNASFileSystemShares>& shares);

    // Reaches the array as every call does, with the same settings, and
    // reports each phase: one record per phase, in QzProbeStep order, up to
    // and including the first that failed. True when every phase passed.
    // The request is getVirtualServerInfo's, sent once on a connection of
    // its own. A failure is logged like any call's. Only the HTTPS client
    // has it: the test fake has no network phases to report.
    bool probe(const std::string& arrayId, std::vector<QzProbePhase>& phases);

    // How many requests this client may have in flight to the array it was
    // last pointed at: the setting nRequestsInFlight, kept below the
    // connections the array allows when it says (asked once per init, only
    // when the setting is above 1). 1: every request waits for the one
    // before it, and runAhead is never needed.
    int requestsInFlight();
    // Makes `calls` now, up to requestsInFlight() of them at once, in order,
    // and fills in each one's outcome. Once a call fails (a false that is
    // not a plain "no" of isSharePresent), no later call of the batch is
    // started: the operation stops at the device that needs it, as it would
    // have before ever sending the later ones. Calls in flight by then still
    // complete. Each is made as its member would make it (the
    // same requests, retries and checks, a create never sent twice); its
    // log lines are kept. A later member call with the same arguments (the
    // same qzAheadKey) takes the outcome instead of sending anything, and
    // its log lines are logged then, in the place the call would have
    // logged them; each outcome is taken once. What no call takes by the
    // next init or the client's end is settled then: a snapshot
    // or share it created is deleted again, and the lines of the rest are
    // logged with a note. Calls of one runAhead must not depend on each
    // other. False when none was made (the members will make them).
    bool runAhead(std::vector<QzAheadCall>& calls);

    struct Impl;

    QzManageHNAS(const QzManageHNAS&) = delete;
    QzManageHNAS& operator=(const QzManageHNAS&) = delete;

private:
    std::unique_ptr<Impl> impl_;
};

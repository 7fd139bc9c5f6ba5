// The array-management client. One object per operation call (or per filer
// alias search); init() points it at one array, and may be called again for
// the next array. Every query returns true when done and its outputs filled.
//
// Two implementations exist behind this one declaration: the HTTPS client in
// libQzManageHNAS.so and, for tests, a fake over the in-memory array model.
// The texts here are a contract with the array client: keep them character
// for character.
#pragma once

#include <cstddef>
#include <functional>
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

// What the array tells of a snapshot's retention (no public source shows a
// real array's form; the client reads `retainedUntil` and
// `deleteWhenExpired` of each listed snapshot), e.g. {1797588000, true}: kept
// until that time, and a delete already accepted waits for it.
struct QzSnapshotRetention {
    unsigned long long retainedUntil = 0;   // Unix seconds; 0: the array tells none
    bool deleteWhenExpired = false;
};

// The most snapshots one file system holds (the product's snapshot
// administration guide); a create past them is refused.
constexpr int kMaxSnapshotsPerFileSystem = 1024;

// One request of a tool's check of the array, as sent and as answered (see
// probeRequest), e.g. {"GET", "filesystems/0A1B...", "", 404, "{...}", ""}.
struct QzProbeExchange {
    std::string method;     // "GET", "POST" or "DELETE"
    // Under the storage paths of the configured version, e.g.
    // "filesystem-shares/cifs"; one that starts with "/" is from the
    // endpoint's root, e.g. "/v8/storage/file-devices/management-access/rest".
    std::string resource;
    std::string body;       // the JSON sent ("" none)
    long status = 0;        // the array's HTTP status; 0: no answer came
    std::string answer;     // the answer's body as it came
    std::string message;    // why no answer came (masked); "" when one did
};

// A line the client would have logged, kept instead (see runConcurrently),
// e.g. {-1, "QzManageHNAS::getFilesystemShares", "GET ... failed: ..."}.
struct QzLogLine {
    int level = 0;
    std::string context;
    std::string text;   // the whole line, masked as it would have been logged
};

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

    // The same, with retention[i] telling what the array says of the
    // retention of snapshots[i].
    bool getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots,
                         std::vector<__HNASFileSystemInfo>& unlisted,
                         std::vector<QzSnapshotRetention>& retention);

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

    // Sends exchange.method to exchange.resource with exchange.body, once,
    // with the credentials and settings of every call and no retry, and
    // fills in what came back, whatever its status. For a tool that checks
    // what the array does with a request no other member sends (a field, a
    // path, a name); true when an answer came. Nothing is logged but a
    // failure to send. Only the HTTPS client has it.
    bool probeRequest(QzProbeExchange& exchange);

    // How many requests this client may have in flight to the array it was
    // last pointed at: the setting nRequestsInFlight, kept below the
    // connections the array allows when it says (asked once per init, only
    // when the setting is above 1). 1: every request waits for the one
    // before it, and runConcurrently runs nothing.
    int requestsInFlight();
    // Runs work(worker, i) for every i below `count`, up to
    // requestsInFlight() at once, each on a worker: a client of its own
    // connection to the array of the last init, with the same credentials
    // and settings. Every line a worker logs for item i is kept in lines[i]
    // instead (the host's log may be written from its own thread only), for
    // the caller to log where it uses the item. Workers only read: a member
    // that changes the array fails on a worker, so that no change runs ahead
    // of the device that asks for it. An exception from work(worker, i)
    // ends that item. Returns when every item ran; false, with nothing run,
    // when 1 request is in flight or no worker could be opened.
    bool runConcurrently(size_t count, const std::function<void(QzManageHNAS& worker, size_t item)>& work,
                         std::vector<std::vector<QzLogLine>>& lines);

    struct Impl;

    QzManageHNAS(const QzManageHNAS&) = delete;
    QzManageHNAS& operator=(const QzManageHNAS&) = delete;

private:
    explicit QzManageHNAS(std::unique_ptr<Impl> impl);   // a worker of runConcurrently
    std::unique_ptr<Impl> impl_;
};

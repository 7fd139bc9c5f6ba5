// Reads made ahead. With more than one request in flight allowed, the group
// start of prepare, is-mapped and map makes the array reads its devices will
// make, several at once on the client's workers
// (QzManageHNAS::runConcurrently); each device's work then takes its read's
// outcome where it would have made the read, and logs the read's lines
// there, so that every host call, status and log line of a device keeps its
// place. Each read is built by one of the builders below, which the plan and
// the device work share.
//
// Only reads go ahead. A change (a snapshot or share made or removed, a
// roll-back) is made by the device's own work in the frame's order: made
// ahead, it could run for a device that the stop rule would never reach. A
// read that a change of this call may answer differently (a share of the
// same name, as the array compares names) is dropped when the change is
// made, and the device asks again.
#pragma once

#include <cstddef>
#include <deque>
#include <exception>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/QzManageHNAS.h"
#include "records/HNASArrayRecords.h"

struct OperationState;

enum class ArrayReadKind {
    FileSystemIdByLabel,   // getFileSystemID(name, id)
    FileSystemIdOfShare,   // getFileSystemID(server, name, shareType, id)
    FileSystemInfo,        // getFileSystemsInfo(fileSystemId, list)
    Share,                 // getFilesystemShares(server, shareType, {name}, withPermissions)
    SharePresent           // isSharePresent(name, server, shareType)
};

// One read of the array: its arguments, and once made its outcome and the
// lines the client logged for it.
struct ArrayRead {
    ArrayReadKind kind = ArrayReadKind::FileSystemIdByLabel;
    std::string name;            // a file system's label, or a share's or export's name
    std::string shareType;       // "CIFS" or "NFS"
    __HNASVirtualServers server;
    std::string fileSystemId;    // FileSystemInfo
    bool withPermissions = false;

    bool made = false;
    bool succeeded = false;      // the member's return value
    std::string fileSystemIdFound;
    std::vector<__HNASFileSystemInfo> fileSystems;
    std::vector<__HNASFileSystemShares> shares;   // Share: on success exactly the share
    std::vector<QzLogLine> lines;                 // made ahead: what the client kept for it
    // Made ahead: what the client threw, thrown again to the device that
    // takes the read, as the device's own call would have thrown it.
    std::exception_ptr thrown;

    // e.g. fileSystemIdByLabel("fs1")
    static ArrayRead fileSystemIdByLabel(const std::string& label);
    // e.g. fileSystemIdOfShare(server, "data", "CIFS") or (server, "/exp1", "NFS")
    static ArrayRead fileSystemIdOfShare(const __HNASVirtualServers& server, const std::string& share,
                                         const std::string& shareType);
    static ArrayRead fileSystemInfo(const std::string& fileSystemId);
    static ArrayRead share(const __HNASVirtualServers& server, const std::string& shareType,
                           const std::string& share, bool withPermissions);
    // e.g. sharePresent("QZHNAS-u1-fs1-data-QZShare", server, "CIFS")
    static ArrayRead sharePresent(const std::string& share, const __HNASVirtualServers& server,
                                  const std::string& shareType);

    // The request the read sends: two reads with one key ask the same.
    std::string key() const;
};

// Makes `read` with the client member of its kind; its outcome in `read`.
void makeRead(QzManageHNAS& client, ArrayRead& read);

// True when the client may have more than one request in flight to the
// group's array, so that reads made ahead can overlap.
bool makesReadsAhead(OperationState& state);

// The reads of one array group made ahead, waiting for the devices' work.
class ReadsAhead {
public:
    // Makes `reads` now, several at once, when the client may have more than
    // one request in flight (else none is made), and keeps them for the
    // devices' work; each read's outcome is also left in `reads` (made:
    // whether it was), for a later round to build on. Reads of one round
    // must not depend on each other. `chains`, when given, groups the reads
    // (by index) that are made one after the other on one worker, in the
    // order given, so that a later read finds what the client keeps of an
    // earlier one (a share it looked up); every read is in one chain, and
    // the reads of a chain call different members.
    void make(OperationState& state, std::vector<ArrayRead>& reads, std::vector<std::vector<size_t>> chains = {});
    // Gives `read` its outcome: the first waiting read of the same request,
    // its lines logged now, else one made now with the client.
    void read(OperationState& state, ArrayRead& read);
    // A share of `shareType` named `name` (in the array's form, e.g.
    // "/QZHNAS-u1-fs1-exp1-QZShare") was created or removed, or may have
    // been: every waiting read about a share of that name goes.
    void shareChanged(const std::string& shareType, const std::string& name);
    // Logs what no device took, dropped reads included (their lines at the
    // most verbose level, after a note), and forgets it.
    void settle(OperationState& state, const char* context);

private:
    std::vector<ArrayRead> made_;
    std::vector<char> taken_;   // per read of made_: a device took it
    // Indexes into made_ of the reads a device may still take, by key, in
    // the order made.
    std::unordered_map<std::string, std::deque<size_t>> byKey_;
};

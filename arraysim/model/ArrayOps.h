// What the simulated array answers and how it changes: lookups and the
// changing operations, with the refusals a real array makes. Every function
// works on one Array (the one the caller's credentials reach) and never throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "arraysim/model/ArrayTypes.h"

namespace arraymodel {

// Longest CIFS share name, in characters: the SMB (Windows) share-name limit.
constexpr size_t kMaxShareNameLength = 80;
// Longest stored snapshot name (appSearchId + "-" + displayName), in bytes:
// room for the longest the plug-in builds ("QZHNAS-" + a snap UUID of up to
// 32 KiB from the host + "-" + the file system label), and no more.
constexpr size_t kMaxSnapshotNameBytes = 65536;
// Longest NFS export name, in bytes, not counting its leading "/". The SMB
// limit does not apply to exports; a native device exports its snapshot as
// "/" + the stored snapshot name, so every snapshot name taken fits.
constexpr size_t kMaxExportNameBytes = kMaxSnapshotNameBytes;

// The virtual server `ref` names: its numeric ID ("1") or its object ID.
const VirtualServer* findVirtualServer(const Array& array, const std::string& ref);
// The file-services virtual server whose name equals `arrayId`, else the
// first one whose addresses hold it; e.g. "evs1" or "192.0.2.10".
const VirtualServer* virtualServerForArrayId(const Array& array, const std::string& arrayId);
// The file system `ref` names: its 32-hex ID (any case) or its object ID.
const FileSystem* findFileSystem(const Array& array, const std::string& ref);
const FileSystem* findFileSystemByLabel(const Array& array, const std::string& label);

// An export name as stored: "exp1" and "/exp1" both give "/exp1".
std::string exportName(const std::string& name);
// The share or export `name` on virtual server `virtualServerId`; CIFS names
// compare case-insensitively, export names exactly (a missing "/" is added).
const Share* findShareByName(const Array& array, Protocol protocol, uint64_t virtualServerId,
                             const std::string& name);
const Share* findShareByObjectId(const Array& array, Protocol protocol,
                                 const std::string& objectId);

const Snapshot* findSnapshot(const Array& array, const std::string& objectId);
// The snapshot stored as `storedName` (e.g. "QZHNAS-u1-fs1") on the file system.
const Snapshot* findSnapshotByName(const Array& array, const std::string& fileSystemId,
                                   const std::string& storedName);
// Snapshots of one file system in creation order; an empty `appSearchId` means all.
std::vector<Snapshot> snapshotsOf(const Array& array, const std::string& fileSystemId,
                                  const std::string& appSearchId);
// What a list call answers: snapshotsOf, and each deleted snapshot shown uses
// up one of its pending lists, going once it has none left; a snapshot whose
// delete waited for its retention goes once `now` (Unix seconds) has reached
// its end. Sets `changed` when it counted or removed any.
std::vector<Snapshot> listSnapshots(Array& array, const std::string& fileSystemId, const std::string& appSearchId,
                                    bool& changed, uint64_t now = 0);
// SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING, _DELETE_ONGOING or _DELETE_ROOT_ONODE_PASS.
bool isDeleteState(const std::string& state);

// Why a share name is refused, or success: empty; a CIFS name over
// kMaxShareNameLength characters, or an export name (its "/" not counted)
// over kMaxExportNameBytes bytes; or (CIFS) a character Windows forbids in
// share names. E.g. "QZHNAS-1234-data-QZShare$" is fine, and so is
// "/QZHNAS-<36-character UUID>-<a 60-character label>".
Result checkShareName(Protocol protocol, const std::string& name);
// Whether the text holds a byte below 0x20 (NUL included) or 0x7F: no name
// the simulator stores may.
bool hasControlCharacter(const std::string& text);
// Why a stored snapshot name is refused, or success: empty, over
// kMaxSnapshotNameBytes, or holding a control character, "/" or "\" (which
// would break the paths into the snapshot). E.g. "QZHNAS-u1-fs1" is fine.
Result checkSnapshotName(const std::string& storedName);
// A principal as the array shows it: "Administrators" -> "BUILTIN\Administrators".
std::string normalisedPrincipal(const std::string& name);
// The type the array stores for a principal already normalised: a built-in
// group ("BUILTIN\...") sent as "GROUP" (or without a type) is an "ALIAS",
// as the reference example shows; any other type is kept.
std::string normalisedPrincipalType(const std::string& normalisedName, const std::string& type);

// The access entry a new CIFS share gets unless its create opts out, as the
// array lists it: "Everyone", type "WELLKNOWN", permission 56 (full control).
Authentication defaultShareAccess();

struct ShareRequest {
    Protocol protocol = Protocol::Cifs;
    std::string virtualServer;   // numeric ID or object ID
    std::string name;            // e.g. "QZHNAS-1234-data-QZShare", "/QZHNAS-1234-exp1-QZShare"
    std::string fileSystem;      // file system ID or object ID
    std::string path;            // e.g. "\\~snapshot\\QZHNAS-1234-fs1\\data"
    ShareSettings settings;
    bool ensurePathExists = false;       // create the directory when it is missing
    bool strictSnapshotPaths = false;    // refuse any path not inside a snapshot
    bool noDefaultSecurity = false;      // CIFS: no default access entry
};

// Creates a share over a directory of the file system. A CIFS share starts
// with the one entry defaultShareAccess() gives, or with none when the
// request sets noDefaultSecurity; an export never has permission entries.
// The path must be well formed (wellFormedSharePath). A path inside a
// snapshot ("\.snapshot\<name>\...") needs that snapshot; with
// ensurePathExists false, the directory it names must also exist in the file
// system. Any other path is taken with ensurePathExists true, and its
// directory recorded as existing (its parents exist through it); with false
// it must exist already. With
// strictSnapshotPaths only paths inside a snapshot are taken. Refused:
// unknown server or file system (NotFound); bad or existing name, file system
// on another server, a path the rules above refuse (BadRequest).
Result createShare(Array& array, const ShareRequest& request, Share& created);
// True when `directory` ("/a/b", as directoryOf gives it) exists in the file
// system outside its snapshots: the root, a recorded directory or a parent
// of one.
bool directoryExists(const FileSystem& fileSystem, const std::string& directory);
// Records `directory` as an existing directory of `fileSystem` (which
// belongs to `array`), unless it exists already. One record per directory,
// its parents implied: the cost is linear in the path, however deep.
void recordDirectory(Array& array, FileSystem& fileSystem, const std::string& directory);
// Deletes the share. Its directory's record, when it has one, goes with it
// unless another share of the file system lies in or below it; the deepest
// share directory above it is then recorded instead. So deleted shares leave
// no records behind (a real array keeps the directories; the simulator
// keeps only those a share needs, or a seed named).
Result deleteShare(Array& array, Protocol protocol, const std::string& objectId);
// Adds a permission entry to a CIFS share, or replaces the entry of the same
// (normalised) name; `stored` receives the entry as kept. Refused: unknown
// share (NotFound); empty name, control characters, unknown permission (BadRequest).
Result addAuthentication(Array& array, const std::string& shareObjectId,
                         const Authentication& entry, Authentication& stored);
Result deleteAuthentication(Array& array, const std::string& shareObjectId,
                            const std::string& encodedName);

// Creates the snapshot appSearchId + "-" + displayName (just displayName when
// appSearchId is empty) at time `now`. Refused: unknown file system
// (NotFound); a stored name checkSnapshotName refuses or that exists on it
// (BadRequest).
Result createSnapshot(Array& array, const std::string& fileSystem, const std::string& displayName,
                      const std::string& appSearchId, uint64_t now, Snapshot& created);
// `now` in Unix seconds: a snapshot retained past it is kept, marked to be
// deleted when its retention expires (the delete is accepted all the same).
Result deleteSnapshot(Array& array, const std::string& objectId, uint64_t now = 0);
// Rolls the snapshot's file system back. As the product does, a completed
// roll-back discards every snapshot of that file system, the one rolled back
// to included.
Result rollbackSnapshot(Array& array, const std::string& objectId);

}  // namespace arraymodel

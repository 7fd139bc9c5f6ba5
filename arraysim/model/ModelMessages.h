// Why the simulated array refuses a request: the texts of Result::message,
// which the simulator sends as errorMsg.
#pragma once

namespace arraymodel {
namespace msg {

inline constexpr char kNoServer[] = "no such virtual server";
inline constexpr char kNotFileServices[] = "virtual server does not offer file services";
inline constexpr char kNoFileSystem[] = "no such file system";
inline constexpr char kNoShare[] = "no such share";
inline constexpr char kNoSnapshot[] = "no such snapshot";
inline constexpr char kNoAuthentication[] = "no such permission entry";
inline constexpr char kEmptyShareName[] = "share name is empty";
inline constexpr char kLongShareName[] = "share name is longer than 80 characters";
inline constexpr char kLongExportName[] = "export name is longer than 65536 bytes";
inline constexpr char kBadShareName[] = "share name holds a character that is not allowed";
inline constexpr char kShareExists[] = "share name exists";
inline constexpr char kOtherServer[] = "file system is not on this virtual server";
inline constexpr char kNotInSnapshot[] = "path is not inside a snapshot of this file system";
inline constexpr char kBadSharePath[] =
    "path must begin with \"/\" or \"\\\", without control characters or \".\" or \"..\" pieces";
inline constexpr char kNoSuchDirectory[] =
    "path names a directory that does not exist (ensurePathExists true creates it)";
inline constexpr char kEmptySnapshotName[] = "snapshot name is empty";
inline constexpr char kLongSnapshotName[] = "snapshot name is longer than 65536 bytes";
inline constexpr char kBadSnapshotName[] = "snapshot name holds a character that is not allowed";
inline constexpr char kControlInName[] = "a name holds a control character";
inline constexpr char kEmptyPassword[] = "array password is empty";
inline constexpr char kSnapshotExists[] = "snapshot name exists on this file system";
// A create on a file system that holds kMaxSnapshotsPerFileSystem snapshots:
// its label, then the limit, e.g. "file system [fs1] holds 1024 snapshots,
// the most a file system can hold".
inline constexpr char kTooManySnapshotsBefore[] = "file system [";
inline constexpr char kTooManySnapshotsAfter[] = " snapshots, the most a file system can hold";
inline constexpr char kEmptyPrincipal[] = "permission entry has no name";
inline constexpr char kBadPermission[] = "permission value is not one the array knows";
inline constexpr char kBadServerId[] = "virtual server ID must be a positive number";
inline constexpr char kServerTaken[] = "virtual server ID exists";
inline constexpr char kEmptyLabel[] = "file system label is empty";
inline constexpr char kLabelTaken[] = "file system label exists";
inline constexpr char kBadFileSystemId[] = "file system ID must be 32 hex digits";
inline constexpr char kFileSystemIdTaken[] = "file system ID exists";
inline constexpr char kBadLogin[] = "wrong user name or password";
inline constexpr char kEmptyArrayName[] = "array name is empty";
inline constexpr char kEmptyUser[] = "array user is empty";
inline constexpr char kNameTwice[] = "array name given twice";
inline constexpr char kUserTaken[] = "array user is used by another array";
inline constexpr char kNotMounted[] = "file system is not mounted";
inline constexpr char kBadApiKey[] = "wrong API key";
inline constexpr char kReadOnlyApiKey[] = "the API key is read-only";
inline constexpr char kEmptyApiKey[] = "API key is empty or holds a control character";
inline constexpr char kApiKeyTaken[] = "API key is used twice";

}  // namespace msg
}  // namespace arraymodel

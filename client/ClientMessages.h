// Fixed texts of the array client's log lines. Every value goes in through
// "%s" after loggable() has masked the password and control characters.
#pragma once

namespace managehnas {

// Prefix of every log context, followed by the operation, e.g.
// "QzManageHNAS::createFileSystemSnapshot".
constexpr char kContextPrefix[] = "QzManageHNAS::";

// The one line of a failed call (level -1): operation, cause.
constexpr char kOperationFailed[] = "%s failed: %s";
// A transport failure or a busy answer that will be retried (level 1):
// operation, cause, retry number, retries allowed, wait in milliseconds.
constexpr char kRetrying[] = "%s: %s; retry %d of %d in %d ms";
// Verification off (level 0): operation.
constexpr char kInsecureWarning[] =
    "WARNING: %s talks to the array without verifying its TLS certificate (insecure setting on)";
// A settings value not taken (level 0): key=value and what is used instead.
constexpr char kSettingIgnored[] = "Setting ignored: %s";
// Where the client points after init (level 1): endpoint, user, CA file.
constexpr char kInitialised[] = "Array endpoint [%s] user [%s] CA file [%s]";
// The same with an API key (level 1): endpoint, key file, CA file.
constexpr char kInitialisedWithKey[] = "Array endpoint [%s] API key file [%s] CA file [%s]";
// An API key file that other users of the host may read (level 0): path.
constexpr char kKeyFileReadable[] =
    "WARNING: the API key file [%s] is readable by other users of this host; limit it to the backup service";
// A snapshot or share created before the connection broke (level 0): what,
// name.
constexpr char kAdopted[] = "The %s [%s] exists already after a lost answer; adopting it";
// Something to delete that the array reports absent (level 1): what, name.
constexpr char kAlreadyAbsent[] = "The %s [%s] is absent on the array; counted as deleted";
// A snapshot to delete that the array is deleting already (level 1): name,
// state.
constexpr char kBeingDeleted[] = "The snapshot [%s] is being deleted on the array (%s); counted as deleted";
// A permission entry on a new share copy that its source does not have,
// e.g. the array's default Everyone entry (level 0): entry name, share name.
constexpr char kExtraPermissionRemoved[] =
    "Removing the permission for [%s] from the new share [%s]: its source share does not have it";
// A snapshot the array keeps under retention after accepting its delete
// (level 0): name, when it expires, e.g. "2026-12-18 10:00:00 UTC".
constexpr char kKeptUntilExpiry[] =
    "The snapshot [%s] is under retention: the array accepted its delete and keeps it until the retention "
    "expires (%s); counted as deleted";
// A file system whose snapshots are not listed (level 1): label, status.
constexpr char kSnapshotsNotListed[] =
    "File system [%s] has status [%s], not mounted: its snapshots are not listed";
// A share looked up and not found (level 1): share type, name.
constexpr char kShareAbsent[] = "%s share [%s] is not present";

// The array's connection limit and the requests in flight it leaves (level
// 1): connections allowed, connections supported, requests in flight.
constexpr char kConnectionLimit[] =
    "The array allows [%s] management connections (supports [%s]): up to [%s] requests in flight";
// The limit could not be read while more than one request in flight was
// asked for (level 0: nothing then keeps the setting within what the array
// allows): cause, requests in flight.
constexpr char kConnectionLimitUnknown[] =
    "WARNING: the array's connection limit could not be read (%s): up to [%s] requests in flight, as set, "
    "against a limit that is unknown; keep nRequestsInFlight below the array's maxAllowedConnections";

}  // namespace managehnas

#include "client/ArrayOperations.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <functional>

#include "client/ClientMessages.h"
#include "client/EndpointText.h"
#include "client/Workers.h"
#include "client/WireRecords.h"

namespace managehnas {

namespace {

// The virtual server type that serves file systems; others are never chosen.
constexpr char kFileServices[] = "File services";
// The snapshot list filter meaning "any appSearchId"; it also lists the
// snapshots the array makes itself.
constexpr char kAnyAppSearchId[] = "null";
// The status of a file system whose snapshots can be listed.
constexpr char kMounted[] = "MOUNTED";
constexpr char kSnapshot[] = "snapshot";
constexpr char kNoShareName[] = "no share name given";
// The create member asking the array not to give a new CIFS share its
// default access entry (Everyone, full control). Public scripts send it;
// an array that does not know it ignores it, and the client removes the
// entry itself.
constexpr char kNoDefaultSecurity[] = "noDefaultSecurity";

// What each call reads from its answer: the member and its kind. Every
// other member of an answer (e.g. the "uri" beside a created object) is
// skipped unread.
constexpr AnswerShape kVirtualServersAnswer{"virtualServers", AnswerKind::List};
constexpr AnswerShape kFileSystemsAnswer{"filesystems", AnswerKind::List};
constexpr AnswerShape kFileSystemAnswer{"filesystem", AnswerKind::Object};
constexpr AnswerShape kSharesAnswer{"filesystemShares", AnswerKind::List};
constexpr AnswerShape kShareAnswer{"filesystemShare", AnswerKind::Object};
constexpr AnswerShape kPermissionsAnswer{"cifsAuthentications", AnswerKind::List};
constexpr AnswerShape kSnapshotsAnswer{"snapshots", AnswerKind::List};
constexpr AnswerShape kSnapshotAnswer{"snapshot", AnswerKind::Object};
// The management access of one kind of connection (REST, SSH, ...): one
// object, or a list of them, one per type.
constexpr AnswerShape kAccessConfigAnswer{"accessConfig", AnswerKind::ObjectOrList};

// Resources, relative to https://address:port/v7/storage/.
constexpr char kVirtualServers[] = "virtual-servers";
constexpr char kFileSystems[] = "filesystems";
constexpr char kSnapshots[] = "filesystem-snapshots";
// The REST server's management access, documented in v8 only: asked on the
// v8 path whatever version the other calls use.
constexpr char kRestAccessResource[] = "/v8/storage/file-devices/management-access/rest";
// The management access type of the REST server.
constexpr char kRestAccessType[] = "rest";

// "virtual-servers/{ref}/cifs?name=data".
std::string sharesNamed(const std::string& ref, ShareProtocol protocol, const std::string& name) {
    return std::string(kVirtualServers) + "/" + percentEncode(ref) + "/" + protocolSegment(protocol) +
           "?name=" + percentEncode(name);
}

// "virtual-servers/{ref}/cifs": every share of the server.
std::string sharesOf(const std::string& ref, ShareProtocol protocol) {
    return std::string(kVirtualServers) + "/" + percentEncode(ref) + "/" + protocolSegment(protocol);
}

// "filesystem-shares/cifs", or with an object ID "filesystem-shares/cifs/{id}".
std::string shareResource(ShareProtocol protocol, const std::string& objectId = std::string()) {
    std::string resource = std::string("filesystem-shares/") + protocolSegment(protocol);
    return objectId.empty() ? resource : resource + "/" + percentEncode(objectId);
}

// "filesystem-snapshots/{id}", e.g. of one snapshot.
std::string snapshotResource(const std::string& id) { return std::string(kSnapshots) + "/" + percentEncode(id); }

// "filesystem-snapshots/{fs}/QZHNAS": the snapshots made with that
// appSearchId; with an empty one "filesystem-snapshots/{fs}/null", every
// snapshot of the file system.
std::string snapshotsOf(const std::string& fileSystemId, const std::string& appSearchId) {
    return snapshotResource(fileSystemId) + "/" + (appSearchId.empty() ? kAnyAppSearchId : percentEncode(appSearchId));
}

std::string noSuchShare(ShareProtocol protocol, const std::string& name, const std::string& ref) {
    return std::string("no ") + protocolName(protocol) + " share [" + name + "] on virtual server [" + ref + "]";
}

// How a virtual server is named in a path: its object ID, else its numeric
// ID (the array takes either).
bool serverRef(const __HNASVirtualServers& server, std::string& ref, std::string& cause) {
    if (!server.objectId.empty()) {
        ref = server.objectId;
        return true;
    }
    if (server.virtualServerId != 0) {
        ref = std::to_string(server.virtualServerId);
        return true;
    }
    cause = "the virtual server record has neither an object ID nor a numeric ID";
    return false;
}

bool protocolFor(const std::string& shareType, ShareProtocol& protocol, std::string& cause) {
    if (protocolOf(shareType, protocol)) return true;
    cause = "share type [" + shareType + "] is neither CIFS nor NFS";
    return false;
}

// Exports are looked up with a leading "/": "exp1" -> "/exp1".
std::string lookupName(const std::string& name, ShareProtocol protocol) {
    if (protocol == ShareProtocol::Nfs && (name.empty() || name[0] != '/')) return "/" + name;
    return name;
}

// Exports are created without it, as arrays with the old path bug need:
// "/exp1" -> "exp1".
std::string createName(const std::string& name, ShareProtocol protocol) {
    if (protocol == ShareProtocol::Nfs && !name.empty() && name[0] == '/') return name.substr(1);
    return name;
}

// CIFS share names compare without regard to case, as the array does.
bool sameShareName(const std::string& listed, const std::string& wanted, ShareProtocol protocol) {
    if (protocol == ShareProtocol::Cifs) return strcasecmp(listed.c_str(), wanted.c_str()) == 0;
    return lookupName(listed, protocol) == lookupName(wanted, protocol);
}

bool parseDecimal(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    value = n;
    return true;
}

// GET virtual-servers/{ref}/{cifs|nfs}?name=N: the share named N, when there.
// An exact name match wins over one that differs only in case.
bool findShare(ArraySession& session, const std::string& ref, ShareProtocol protocol,
               const std::string& name, __HNASFileSystemShares& share, bool& found,
               std::string& cause) {
    found = false;
    const std::string wanted = lookupName(name, protocol);
    Reply reply;
    if (!session.request(HttpMethod::Get, sharesNamed(ref, protocol, wanted), nullptr, Repeat::Idempotent,
                         &kSharesAnswer, reply, cause))
        return false;
    const Json* list = nullptr;
    if (!listOf(reply.body, kSharesAnswer.key, list, cause)) return false;
    const Json* match = nullptr;
    for (const Json& entry : *list) {
        std::string listed;
        if (!readText(entry, "name", true, listed, "share", cause)) return false;
        if (listed == wanted) {
            match = &entry;
            break;
        }
        if (match == nullptr && sameShareName(listed, wanted, protocol)) match = &entry;
    }
    if (match == nullptr) return true;
    if (!shareFromWire(*match, protocol, share, cause)) return false;
    found = true;
    return true;
}

// GET virtual-servers/{ref}/{cifs|nfs}?name=N, as findShare, for the share
// named N of `server` with the type given as text ("CIFS", "NFS"); checks
// the type, the server record and the name first. `protocol` gets the type.
bool findServerShare(ArraySession& session, const __HNASVirtualServers& server, const std::string& shareType,
                     const std::string& shareName, ShareProtocol& protocol, __HNASFileSystemShares& share,
                     bool& found, std::string& cause) {
    std::string ref;
    if (!protocolFor(shareType, protocol, cause) || !serverRef(server, ref, cause)) return false;
    if (shareName.empty()) {
        cause = kNoShareName;
        return false;
    }
    return findShare(session, ref, protocol, shareName, share, found, cause);
}

// What a look for a snapshot by name found.
enum class Listed { Absent, Going, Present };

// What the array tells of a snapshot's retention (the simulator's form; no
// public source shows a real array's): kept until `until` (Unix seconds, 0:
// not told), and whether a delete already waits for that.
struct Retention {
    uint64_t until = 0;
    bool deleteWaits = false;
};

bool retentionFromWire(const Json& entry, Retention& retention, std::string& cause) {
    retention = Retention();
    return readUnsigned(entry, "retainedUntil", false, retention.until, kSnapshot, cause) &&
           readFlag(entry, "deleteWhenExpired", false, retention.deleteWaits, kSnapshot, cause);
}

// "2026-12-18 10:00:00 UTC" for Unix seconds.
std::string utcText(uint64_t seconds) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (gmtime_r(&when, &parts) == nullptr) return std::to_string(seconds);
    char text[32];
    if (std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &parts) == 0) return std::to_string(seconds);
    return text;
}

// GET filesystem-snapshots/{fs}/{appSearchId}: the snapshot whose stored name
// is one of `names`. Present when one is listed in a usable state; Going
// when the only ones listed are being deleted (`snapshot` then holds one).
bool findSnapshot(ArraySession& session, const std::string& fileSystemId, const std::string& appSearchId,
                  const std::vector<std::string>& names, __HNASFileSystemSnapshot& snapshot, Listed& listed,
                  std::string& cause, Retention* retention = nullptr) {
    listed = Listed::Absent;
    Reply reply;
    if (!session.request(HttpMethod::Get, snapshotsOf(fileSystemId, appSearchId), nullptr, Repeat::Idempotent,
                         &kSnapshotsAnswer, reply, cause))
        return false;
    const Json* list = nullptr;
    if (!listOf(reply.body, kSnapshotsAnswer.key, list, cause)) return false;
    for (const Json& entry : *list) {
        std::string stored;
        if (!readText(entry, "displayName", true, stored, kSnapshot, cause)) return false;
        if (std::find(names.begin(), names.end(), stored) == names.end()) continue;
        __HNASFileSystemSnapshot candidate;
        if (!snapshotFromWire(entry, candidate, cause)) return false;
        if (candidate.fileSystemId.empty()) candidate.fileSystemId = fileSystemId;
        snapshot = candidate;
        if (!isGoingState(candidate.state)) {
            listed = Listed::Present;
            return retention == nullptr || retentionFromWire(entry, *retention, cause);
        }
        listed = Listed::Going;
    }
    return true;
}

// GET filesystems: every file system of the array, optionally filtered by label.
bool listFileSystems(ArraySession& session, const std::string& label,
                     std::vector<__HNASFileSystemInfo>& fileSystems, std::string& cause) {
    Reply reply;
    const std::string resource =
        label.empty() ? std::string(kFileSystems) : std::string(kFileSystems) + "?label=" + percentEncode(label);
    if (!session.request(HttpMethod::Get, resource, nullptr, Repeat::Idempotent, &kFileSystemsAnswer, reply, cause))
        return false;
    const Json* list = nullptr;
    if (!listOf(reply.body, kFileSystemsAnswer.key, list, cause)) return false;
    fileSystems.clear();
    for (const Json& entry : *list) {
        __HNASFileSystemInfo info;
        if (!fileSystemFromWire(entry, info, cause)) return false;
        fileSystems.push_back(info);
    }
    return true;
}

// GET {share}/authentications, e.g. of "filesystem-shares/cifs/{id}": the
// share's permission entries as the array stores them.
bool readPermissions(ArraySession& session, const std::string& share,
                     std::vector<__HNASCIFSAuthentication>& permissions, std::string& cause) {
    Reply reply;
    if (!session.request(HttpMethod::Get, share + "/authentications", nullptr, Repeat::Idempotent,
                         &kPermissionsAnswer, reply, cause))
        return false;
    const Json* list = nullptr;
    if (!listOf(reply.body, kPermissionsAnswer.key, list, cause)) return false;
    std::vector<__HNASCIFSAuthentication> read;
    for (const Json& entry : *list) {
        __HNASCIFSAuthentication permission;
        if (!authenticationFromWire(entry, permission, cause)) return false;
        read.push_back(permission);
    }
    permissions.swap(read);
    return true;
}

// "CIFS\n{ref}\n{name as looked up}": what a remembered share answers.
std::string memoKey(ShareProtocol protocol, const std::string& ref, const std::string& wanted) {
    return std::string(protocolName(protocol)) + "\n" + ref + "\n" + wanted;
}

// The share named N of the server `ref`, with its permissions when
// `withPermissions` (CIFS only): taken from `memo` when it holds that share
// (with its permissions, if asked) and the session has sent no change since;
// otherwise GET virtual-servers/{ref}/{cifs|nfs}?name=N and, when asked, GET
// filesystem-shares/cifs/{share}/authentications, and the share is
// remembered. A share that is not there is a failure naming it; it is never
// remembered.
bool findRememberedShare(ArraySession& session, ShareMemo& memo, const std::string& ref, ShareProtocol protocol,
                         const std::string& name, bool withPermissions, __HNASFileSystemShares& share,
                         std::string& cause) {
    const std::string key = memoKey(protocol, ref, lookupName(name, protocol));
    const bool current = memo.held && memo.changes == session.changesSent() && memo.key == key;
    if (current && (memo.withPermissions || !withPermissions)) {
        share = memo.share;
        // The same record a request would give: permissions only when asked.
        if (!withPermissions) share.settings.permissions.clear();
        return true;
    }
    if (current) {
        share = memo.share;
    } else {
        bool found = false;
        if (!findShare(session, ref, protocol, name, share, found, cause)) return false;
        if (!found) {
            cause = noSuchShare(protocol, name, ref);
            return false;
        }
    }
    if (withPermissions &&
        !readPermissions(session, shareResource(protocol, share.objectId), share.settings.permissions, cause))
        return false;
    memo.held = true;
    memo.changes = session.changesSent();
    memo.key = key;
    memo.withPermissions = withPermissions;
    memo.share = share;
    return true;
}

// The array stores account names in its own form: "Administrators" comes
// back as "BUILTIN\Administrators". Equal without regard to case, or the
// stored name's part after its last "\" equals a name given without one.
bool sameAccount(const std::string& stored, const std::string& given) {
    if (strcasecmp(stored.c_str(), given.c_str()) == 0) return true;
    const size_t slash = stored.rfind('\\');
    return slash != std::string::npos && given.find('\\') == std::string::npos &&
           strcasecmp(stored.c_str() + slash + 1, given.c_str()) == 0;
}

// Whether `entry`, as the array stores it, is `given` as it was asked for:
// the same permission for the same account.
bool sameEntry(const __HNASCIFSAuthentication& entry, const __HNASCIFSAuthentication& given) {
    return entry.permission == given.permission && sameAccount(entry.name, given.name);
}

// Whether the stored `entry` is one of `wanted`.
bool asked(const __HNASCIFSAuthentication& entry, const std::vector<__HNASCIFSAuthentication>& wanted) {
    return std::any_of(wanted.begin(), wanted.end(),
                       [&](const __HNASCIFSAuthentication& given) { return sameEntry(entry, given); });
}

// The first entry of `stored` that is none of `wanted` (e.g. the array's
// default Everyone entry on a copy of a share without it), or null.
const __HNASCIFSAuthentication* extraIn(const std::vector<__HNASCIFSAuthentication>& stored,
                                        const std::vector<__HNASCIFSAuthentication>& wanted) {
    for (const __HNASCIFSAuthentication& entry : stored) {
        if (!asked(entry, wanted)) return &entry;
    }
    return nullptr;
}

// The first entry of `wanted` that `stored` lacks, or null.
const __HNASCIFSAuthentication* missingFrom(const std::vector<__HNASCIFSAuthentication>& stored,
                                            const std::vector<__HNASCIFSAuthentication>& wanted) {
    for (const __HNASCIFSAuthentication& given : wanted) {
        if (std::none_of(stored.begin(), stored.end(),
                         [&](const __HNASCIFSAuthentication& entry) { return sameEntry(entry, given); }))
            return &given;
    }
    return nullptr;
}

// "permission for [Everyone], which the source share does not have," as a
// cause begins when such an entry stays on a copy.
std::string notOnSource(const __HNASCIFSAuthentication& entry) {
    return "permission for [" + entry.name + "], which the source share does not have,";
}

// DELETE of a share just made whose permissions are not as asked: `why`
// becomes the cause, with what became of the share.
bool removeNewShare(ArraySession& session, const std::string& share, const std::string& why, std::string& cause) {
    Reply removed;
    if (session.request(HttpMethod::Delete, share, nullptr, Repeat::Idempotent, nullptr, removed, cause) ||
        removed.status == 404)
        cause = why + "; the new share was removed";
    else
        cause = why + "; removing the new share failed too: " + cause;
    return false;
}

// DELETE `resource`; 404 counts as done. `status` gets the HTTP status of a
// refusal (0 when no answer came).
bool deleteByObjectId(ArraySession& session, const std::string& resource, const char* what,
                      const std::string& name, long& status, std::string& cause) {
    Reply reply;
    status = 0;
    if (session.request(HttpMethod::Delete, resource, nullptr, Repeat::Idempotent, nullptr, reply, cause))
        return true;
    status = reply.status;
    if (reply.status != 404) return false;
    session.note(1, kAlreadyAbsent, what, name);
    cause.clear();
    return true;
}

// DELETE {share}/authentications/{encodedName}; 404 counts as done. The
// encoded name is the one the array listed: it is never built here.
bool removePermission(ArraySession& session, const std::string& share, const __HNASCIFSAuthentication& entry,
                      std::string& cause) {
    if (entry.encodedName.empty()) {
        cause = "the array lists it without an encodedName";
        return false;
    }
    long status = 0;
    return deleteByObjectId(session, share + "/authentications/" + percentEncode(entry.encodedName), "permission",
                            entry.name, status, cause);
}

// DELETE filesystem-snapshots/{id}; when the array refuses it, GET
// filesystem-snapshots/{id} tells whether the snapshot is going away anyway
// (absent, or in a delete state): then the delete is done.
bool deleteSnapshotById(ArraySession& session, const std::string& objectId, const std::string& label,
                        std::string& cause) {
    long status = 0;
    if (deleteByObjectId(session, snapshotResource(objectId), kSnapshot, label, status, cause)) return true;
    if (status == 0) return false;
    Reply reply;
    std::string lookCause;
    if (!session.request(HttpMethod::Get, snapshotResource(objectId), nullptr, Repeat::Idempotent,
                         &kSnapshotAnswer, reply, lookCause)) {
        if (reply.status != 404) return false;
        session.note(1, kAlreadyAbsent, kSnapshot, label);
        cause.clear();
        return true;
    }
    const Json* object = nullptr;
    __HNASFileSystemSnapshot snapshot;
    if (!objectOf(reply.body, kSnapshotAnswer.key, object, lookCause) ||
        !snapshotFromWire(*object, snapshot, lookCause) ||
        !isGoingState(snapshot.state))
        return false;
    session.note(1, kBeingDeleted, label, snapshot.state);
    cause.clear();
    return true;
}

// Whether the object a create makes is on the array, looked for after the
// create's answer was lost: true when the look could tell (`made`), false
// with `why` when it cannot settle the create (the look failed, or what it
// found is not this create's object).
using LookForMade = std::function<bool(bool& made, std::string& why)>;

// POST `body` to `resource`: a create, never sent twice unasked. True when
// the array answered 2xx (`reply.body` holds the member `answer` names), or
// when the answer was lost after the request may have reached the array and
// `lookUp` then finds the object made (`adopted`: logged as adopted, with
// `kind` and `name`, and `reply` holds no answer). When the look finds
// none, the create is sent again within the retry budget. Otherwise false
// with the cause: the request's own, or the lost answer's followed by the
// look's `why`.
bool createOnce(ArraySession& session, const std::string& resource, const Json& body, const AnswerShape& answer,
                const std::string& kind, const std::string& name, const LookForMade& lookUp, Reply& reply,
                bool& adopted, std::string& cause) {
    adopted = false;
    for (;;) {
        if (session.request(HttpMethod::Post, resource, &body, Repeat::OnlyIfNotSent, &answer, reply, cause))
            return true;
        if (reply.failure != TransportFailure::MaybeSent) return false;
        const std::string lost = cause;
        bool made = false;
        if (!lookUp(made, cause)) {
            cause = lost + "; " + cause;
            return false;
        }
        if (made) {
            session.note(0, kAdopted, kind, name);
            adopted = true;
            return true;
        }
        if (!session.takeRetry(lost)) {
            cause = lost;
            return false;
        }
    }
}

}  // namespace

// GET virtual-servers. The file-services virtual server named arrayId, else
// the first whose addresses hold it.
bool getVirtualServerInfo(ArraySession& session, const std::string& arrayId,
                          __HNASVirtualServers& server, std::string& cause) {
    Reply reply;
    if (!session.request(HttpMethod::Get, kVirtualServers, nullptr, Repeat::Idempotent, &kVirtualServersAnswer,
                         reply, cause))
        return false;
    const Json* list = nullptr;
    if (!listOf(reply.body, kVirtualServersAnswer.key, list, cause)) return false;
    std::vector<__HNASVirtualServers> servers;
    for (const Json& entry : *list) {
        __HNASVirtualServers listed;
        if (!virtualServerFromWire(entry, listed, cause)) return false;
        // A server without a type is taken as a file-services one.
        if (listed.type.empty() || listed.type == kFileServices) servers.push_back(listed);
    }
    for (const __HNASVirtualServers& candidate : servers) {
        if (candidate.name == arrayId) {
            server = candidate;
            return true;
        }
    }
    for (const __HNASVirtualServers& candidate : servers) {
        const auto& addresses = candidate.ipAddresses;
        if (std::find(addresses.begin(), addresses.end(), arrayId) != addresses.end()) {
            server = candidate;
            return true;
        }
    }
    cause = "no file-services virtual server is named or has the address [" + arrayId + "] (" +
            std::to_string(servers.size()) + " listed)";
    return false;
}

// GET filesystems?label=L; the label must match exactly.
bool getFileSystemIdByLabel(ArraySession& session, const std::string& fileSystemName,
                            std::string& fileSystemId, std::string& cause) {
    if (fileSystemName.empty()) {
        cause = "no file system name given";
        return false;
    }
    std::vector<__HNASFileSystemInfo> fileSystems;
    if (!listFileSystems(session, fileSystemName, fileSystems, cause)) return false;
    for (const __HNASFileSystemInfo& info : fileSystems) {
        if (info.name == fileSystemName) {
            fileSystemId = info.fileSystemId;
            return true;
        }
    }
    cause = "no file system is labelled [" + fileSystemName + "]";
    return false;
}

// GET virtual-servers/{evs}/{cifs|nfs}?name=N, unless `memo` holds that
// share; the share found is remembered.
bool getFileSystemIdOfShare(ArraySession& session, ShareMemo& memo, const __HNASVirtualServers& server,
                            const std::string& shareName, const std::string& shareType,
                            std::string& fileSystemId, std::string& cause) {
    ShareProtocol protocol;
    std::string ref;
    if (!protocolFor(shareType, protocol, cause) || !serverRef(server, ref, cause)) return false;
    __HNASFileSystemShares share;
    if (!findRememberedShare(session, memo, ref, protocol, shareName, false, share, cause)) return false;
    fileSystemId = share.fileSystemId;
    return true;
}

// GET filesystems/{id}.
bool getFileSystemsInfo(ArraySession& session, const std::string& fileSystemId,
                        std::vector<__HNASFileSystemInfo>& fileSystems, std::string& cause) {
    if (fileSystemId.empty()) {
        cause = "no file system ID given";
        return false;
    }
    Reply reply;
    if (!session.request(HttpMethod::Get, std::string(kFileSystems) + "/" + percentEncode(fileSystemId), nullptr,
                         Repeat::Idempotent, &kFileSystemAnswer, reply, cause))
        return false;
    const Json* object = nullptr;
    __HNASFileSystemInfo info;
    if (!objectOf(reply.body, kFileSystemAnswer.key, object, cause) || !fileSystemFromWire(*object, info, cause))
        return false;
    fileSystems.assign(1, info);
    return true;
}

// GET virtual-servers/{evs}/{cifs|nfs}?name=N, then for CIFS with
// permissions GET filesystem-shares/cifs/{share}/authentications; either is
// left out when `memo` holds its answer. The share found is remembered.
bool getFilesystemShares(ArraySession& session, ShareMemo& memo, const __HNASVirtualServers& server,
                         const std::string& shareType, std::vector<__HNASFileSystemShares>& shares,
                         bool withPermissions, std::string& cause) {
    if (shares.empty() || shares[0].name.empty()) {
        cause = "no share name given in entry 0";
        return false;
    }
    const std::string name = shares[0].name;
    ShareProtocol protocol;
    std::string ref;
    if (!protocolFor(shareType, protocol, cause) || !serverRef(server, ref, cause)) return false;
    __HNASFileSystemShares share;
    if (!findRememberedShare(session, memo, ref, protocol, name, withPermissions && protocol == ShareProtocol::Cifs,
                             share, cause))
        return false;
    shares.assign(1, share);
    return true;
}

// POST filesystem-snapshots {filesystemId, displayName, appSearchId}. When the
// answer is lost after the request went out, GET
// filesystem-snapshots/{fs}/{prefix} looks for the stored name: found usable,
// it is adopted; absent (or only one being deleted), the create is sent
// again (within the retry budget). Fields of the answer beside the snapshot
// (its "uri") are not read.
bool createFileSystemSnapshot(ArraySession& session, const std::string& name,
                              const std::string& fileSystemId, const std::string& prefix,
                              __HNASFileSystemSnapshot& snapshot, std::string& cause) {
    if (name.empty() || fileSystemId.empty()) {
        cause = "a snapshot needs a name and a file system ID";
        return false;
    }
    const std::string stored = prefix.empty() ? name : prefix + "-" + name;
    const Json body = {{"filesystemId", fileSystemId}, {"displayName", name}, {"appSearchId", prefix}};
    __HNASFileSystemSnapshot listed;
    const auto lookUp = [&](bool& made, std::string& why) {
        Listed found = Listed::Absent;
        if (!findSnapshot(session, fileSystemId, prefix, {stored}, listed, found, why)) {
            why = "looking for the snapshot then failed: " + why;
            return false;
        }
        made = found == Listed::Present;
        return true;
    };
    Reply created;
    bool adopted = false;
    if (!createOnce(session, kSnapshots, body, kSnapshotAnswer, kSnapshot, stored, lookUp, created, adopted, cause))
        return false;
    if (adopted) {
        snapshot = listed;
        return true;
    }
    const Json* object = nullptr;
    if (!objectOf(created.body, kSnapshotAnswer.key, object, cause) || !snapshotFromWire(*object, snapshot, cause))
        return false;
    if (snapshot.fileSystemId.empty()) snapshot.fileSystemId = fileSystemId;
    return true;
}

// GET virtual-servers/{evs}/{cifs|nfs}?name=N.
bool isSharePresent(ArraySession& session, const std::string& shareName,
                    const __HNASVirtualServers& server, const std::string& shareType,
                    std::string& cause) {
    ShareProtocol protocol;
    __HNASFileSystemShares share;
    bool found = false;
    if (!findServerShare(session, server, shareType, shareName, protocol, share, found, cause)) return false;
    if (!found) session.note(1, kShareAbsent, protocolName(protocol), shareName);
    return found;
}

namespace {

// POST .../authentications for each entry of `permissions` on the share
// just made (`madeShare`, its resource), then GET them back: an entry the
// array added by itself (Everyone, on an array that does not know
// noDefaultSecurity) is removed, and the share ends with exactly the
// entries asked, which `permissions` then holds as the array stored them.
// Any failure removes the new share.
bool applyExactPermissions(ArraySession& session, const std::string& madeShare, const std::string& name,
                           std::vector<__HNASCIFSAuthentication>& permissions, std::string& cause) {
    const std::vector<__HNASCIFSAuthentication>& wanted = permissions;
    for (const __HNASCIFSAuthentication& permission : wanted) {
        const Json add = {{"cifsAuthentications", Json::array({authenticationToWire(permission)})}};
        Reply reply;
        if (!session.request(HttpMethod::Post, madeShare + "/authentications", &add, Repeat::OnlyIfNotSent,
                             nullptr, reply, cause))
            return removeNewShare(session, madeShare, "permission for [" + permission.name + "] not applied: " + cause,
                                  cause);
    }
    std::vector<__HNASCIFSAuthentication> stored;
    if (!readPermissions(session, madeShare, stored, cause))
        return removeNewShare(session, madeShare, "reading the permissions back failed: " + cause, cause);
    if (const __HNASCIFSAuthentication* missing = missingFrom(stored, wanted))
        return removeNewShare(session, madeShare,
                              "permission for [" + missing->name + "] not found on the share after adding it", cause);
    if (extraIn(stored, wanted) != nullptr) {
        for (const __HNASCIFSAuthentication& entry : stored) {
            if (asked(entry, wanted)) continue;
            session.note(0, kExtraPermissionRemoved, entry.name, name);
            if (!removePermission(session, madeShare, entry, cause))
                return removeNewShare(session, madeShare, notOnSource(entry) + " not removed: " + cause, cause);
        }
        if (!readPermissions(session, madeShare, stored, cause))
            return removeNewShare(session, madeShare, "reading the permissions back failed: " + cause, cause);
        if (const __HNASCIFSAuthentication* missing = missingFrom(stored, wanted))
            return removeNewShare(session, madeShare,
                                  "permission for [" + missing->name + "] not found on the share after removing others",
                                  cause);
        if (const __HNASCIFSAuthentication* extra = extraIn(stored, wanted))
            return removeNewShare(session, madeShare, notOnSource(*extra) + " still on the share after removing it",
                                  cause);
    }
    permissions.swap(stored);
    return true;
}

}  // namespace

// POST filesystem-shares/{cifs|nfs} with ensurePathExists (and, for NFS,
// ignoreOverlap) as the vendor's own client sends them, and an export name
// without its leading "/". A lost answer to the create is settled like a
// snapshot's (look the name up, adopt or send again).
//
// A CIFS copy with permissions gets exactly the entries of
// share.settings.permissions, never more: an array gives a new share a
// default entry (Everyone, full control), so the create asks for none
// (noDefaultSecurity), and then one POST filesystem-shares/cifs/{share}/
// authentications per entry and a GET of the same read back what the array
// stored (it rewrites names and types, and its 201 answer may have no
// body). Every stored entry that is not one asked for (the default entry of
// an array that ignored noDefaultSecurity) is removed with DELETE
// .../authentications/{encodedName}, and the list is read back once more.
// share.settings.permissions becomes the list read last. When a permission
// cannot be applied or removed, or the list read back is not exactly the
// one asked for, the new share is deleted again, so that no share over a
// snapshot is left open to more than its source admits.
bool createFileSystemShare(ArraySession& session, const std::string& shareName,
                           const std::string& virtualServerId, const std::string& fileSystemId,
                           const std::string& path, const std::string& shareType,
                           __HNASFileSystemShares& share, bool applyPermissions,
                           std::string& cause) {
    ShareProtocol protocol;
    if (!protocolFor(shareType, protocol, cause)) return false;
    const std::string name = createName(shareName, protocol);
    if (name.empty() || fileSystemId.empty() || path.empty()) {
        cause = "a share needs a name, a file system ID and a path";
        return false;
    }
    uint64_t serverId = 0;
    if (!parseDecimal(virtualServerId, serverId)) {
        cause = "virtual server ID [" + virtualServerId + "] is not a decimal number";
        return false;
    }
    const bool exactPermissions = applyPermissions && protocol == ShareProtocol::Cifs;
    Json body = {{"virtualServerId", serverId},
                 {"name", name},
                 {"filesystemId", fileSystemId},
                 {"filesystemPath", path},
                 {"ensurePathExists", true},
                 {"settings", settingsToWire(share.settings, protocol)}};
    if (protocol == ShareProtocol::Nfs) body["ignoreOverlap"] = true;
    if (exactPermissions) body[kNoDefaultSecurity] = true;
    __HNASFileSystemShares existing;
    const auto lookUp = [&](bool& made, std::string& why) {
        if (!findShare(session, std::to_string(serverId), protocol, name, existing, made, why)) {
            why = "looking for the share then failed: " + why;
            return false;
        }
        if (made && existing.fileSystemId != fileSystemId) {
            why = "a share of that name exists on another file system";
            return false;
        }
        return true;
    };
    const std::string kind = std::string(protocolName(protocol)) + " share";
    Reply created;
    bool adopted = false;
    if (!createOnce(session, shareResource(protocol), body, kShareAnswer, kind, name, lookUp, created, adopted, cause))
        return false;
    std::string objectId;
    std::string shareId;
    const Json* object = nullptr;
    if (adopted) {
        objectId = existing.objectId;
        shareId = existing.shareId;
    } else if (!objectOf(created.body, kShareAnswer.key, object, cause) ||
               !readText(*object, "objectId", true, objectId, "share", cause) ||
               !readText(*object, "shareId", false, shareId, "share", cause)) {
        return false;
    }
    share.objectId = objectId;
    share.shareId = shareId;
    if (!exactPermissions) return true;

    return applyExactPermissions(session, shareResource(protocol, objectId), name, share.settings.permissions, cause);
}

// GET virtual-servers/{evs}/{cifs|nfs}?name=N, then DELETE
// filesystem-shares/{cifs|nfs}/{share}. Absent or 404: done.
bool deleteFileSystemShare(ArraySession& session, const std::string& shareName,
                           const __HNASVirtualServers& server, const std::string& shareType,
                           std::string& cause) {
    ShareProtocol protocol;
    __HNASFileSystemShares share;
    bool found = false;
    if (!findServerShare(session, server, shareType, shareName, protocol, share, found, cause)) return false;
    const std::string kind = std::string(protocolName(protocol)) + " share";
    if (!found) {
        session.note(1, kAlreadyAbsent, kind, shareName);
        return true;
    }
    long status = 0;
    return deleteByObjectId(session, shareResource(protocol, share.objectId), kind.c_str(), shareName, status,
                            cause);
}

// With an object ID: DELETE filesystem-snapshots/{id}. Otherwise GET
// filesystem-snapshots/{fs}/{prefix} finds the snapshot whose stored name is
// snapshot.name (or prefix + "-" + snapshot.name when the name lacks the
// prefix) and deletes that. Absent, 404, or being deleted already (listed
// in a delete state, or found so after the array refused the delete): done.
bool deleteFileSystemSnapshot(ArraySession& session, const __HNASFileSystemSnapshot& snapshot,
                              const std::string& prefix, std::string& cause) {
    std::string objectId = snapshot.objectId;
    const std::string label = snapshot.name.empty() ? snapshot.objectId : snapshot.name;
    if (objectId.empty()) {
        if (snapshot.name.empty() || snapshot.fileSystemId.empty()) {
            cause = "the snapshot to delete needs a name and a file system ID, or an object ID";
            return false;
        }
        std::vector<std::string> names{snapshot.name};
        const std::string prefixed = prefix + "-";
        if (!prefix.empty() && snapshot.name.compare(0, prefixed.size(), prefixed) != 0)
            names.push_back(prefixed + snapshot.name);
        __HNASFileSystemSnapshot listed;
        Listed found = Listed::Absent;
        Retention retention;
        if (!findSnapshot(session, snapshot.fileSystemId, prefix, names, listed, found, cause, &retention))
            return false;
        if (found == Listed::Absent) {
            session.note(1, kAlreadyAbsent, kSnapshot, label);
            return true;
        }
        if (found == Listed::Going) {
            session.note(1, kBeingDeleted, label, listed.state);
            return true;
        }
        if (!deleteSnapshotById(session, listed.objectId, label, cause)) return false;
        // Accepted, and so done; but a snapshot under retention stays until
        // it expires, which the operator should know.
        const bool retained = retention.deleteWaits ||
                              retention.until > static_cast<uint64_t>(std::time(nullptr));
        if (retained)
            session.note(0, kKeptUntilExpiry, label,
                         retention.until != 0 ? utcText(retention.until) : std::string("a date the array does not give"));
        return true;
    }
    return deleteSnapshotById(session, objectId, label, cause);
}

// POST filesystem-snapshots/{id}/rollback. Never sent twice once it may have
// reached the array: a second rollback could discard newer data.
bool recoverFileSystemSnapshot(ArraySession& session, const std::string& snapshotObjectId,
                               std::string& cause) {
    if (snapshotObjectId.empty()) {
        cause = "no snapshot object ID given";
        return false;
    }
    Reply reply;
    return session.request(HttpMethod::Post, snapshotResource(snapshotObjectId) + "/rollback",
                           nullptr, Repeat::OnlyIfNotSent, nullptr, reply, cause);
}

// GET filesystems: the file systems whose snapshots can be listed in
// `listable`, those the array reports as not mounted in `unlisted`. The
// array cannot list the snapshots of a file system that is not mounted (it
// may answer an empty list), so such a one is never asked. One without a
// status is listable.
bool sortFileSystems(ArraySession& session, std::vector<__HNASFileSystemInfo>& listable,
                     std::vector<__HNASFileSystemInfo>& unlisted, std::string& cause) {
    std::vector<__HNASFileSystemInfo> fileSystems;
    if (!listFileSystems(session, std::string(), fileSystems, cause)) return false;
    listable.clear();
    unlisted.clear();
    for (const __HNASFileSystemInfo& fileSystem : fileSystems) {
        if (fileSystem.status.empty() || fileSystem.status == kMounted)
            listable.push_back(fileSystem);
        else
            unlisted.push_back(fileSystem);
    }
    return true;
}

// GET filesystem-snapshots/{fs}/null for each of `fileSystems`: every
// snapshot, whoever made it, appended to `snapshots`. Snapshots in a delete
// state are left out: they are gone.
// With `retention`, each snapshot's retention is appended to it alike.
bool snapshotsOfEach(ArraySession& session, const std::vector<__HNASFileSystemInfo>& fileSystems,
                     std::vector<__HNASFileSystemSnapshot>& snapshots, std::string& cause,
                     std::vector<QzSnapshotRetention>* retention = nullptr) {
    for (const __HNASFileSystemInfo& fileSystem : fileSystems) {
        Reply reply;
        if (!session.request(HttpMethod::Get, snapshotsOf(fileSystem.fileSystemId, std::string()), nullptr,
                             Repeat::Idempotent, &kSnapshotsAnswer, reply, cause))
            return false;
        const Json* list = nullptr;
        if (!listOf(reply.body, kSnapshotsAnswer.key, list, cause)) return false;
        for (const Json& entry : *list) {
            __HNASFileSystemSnapshot snapshot;
            if (!snapshotFromWire(entry, snapshot, cause)) return false;
            if (isGoingState(snapshot.state)) continue;
            if (snapshot.fileSystemId.empty()) snapshot.fileSystemId = fileSystem.fileSystemId;
            if (retention != nullptr) {
                Retention told;
                if (!retentionFromWire(entry, told, cause)) return false;
                QzSnapshotRetention kept;
                kept.retainedUntil = told.until;
                kept.deleteWhenExpired = told.deleteWaits;
                retention->push_back(kept);
            }
            snapshots.push_back(snapshot);
        }
    }
    return true;
}

bool getAllShares(ArraySession& session, std::vector<__HNASFileSystemShares>& shares, std::string& cause) {
    shares.clear();
    Reply servers;
    if (!session.request(HttpMethod::Get, kVirtualServers, nullptr, Repeat::Idempotent, &kVirtualServersAnswer,
                         servers, cause))
        return false;
    const Json* serverList = nullptr;
    if (!listOf(servers.body, kVirtualServersAnswer.key, serverList, cause)) return false;
    std::vector<__HNASFileSystemShares> all;
    for (const Json& entry : *serverList) {
        __HNASVirtualServers server;
        std::string ref;
        if (!virtualServerFromWire(entry, server, cause) || !serverRef(server, ref, cause)) return false;
        for (const ShareProtocol protocol : {ShareProtocol::Cifs, ShareProtocol::Nfs}) {
            Reply reply;
            if (!session.request(HttpMethod::Get, sharesOf(ref, protocol), nullptr, Repeat::Idempotent,
                                 &kSharesAnswer, reply, cause))
                return false;
            const Json* list = nullptr;
            if (!listOf(reply.body, kSharesAnswer.key, list, cause)) return false;
            for (const Json& listed : *list) {
                __HNASFileSystemShares share;
                if (!shareFromWire(listed, protocol, share, cause)) return false;
                all.push_back(share);
            }
        }
    }
    shares.swap(all);
    return true;
}

// GET filesystems, then GET filesystem-snapshots/{fs}/null for each one, as
// the caller is promised every snapshot. A file system that is not mounted
// fails the whole list before any snapshot is asked for, naming it: a list
// without its snapshots would make them look deleted.
bool getAllSnapshots(ArraySession& session, std::vector<__HNASFileSystemSnapshot>& snapshots,
                     std::string& cause) {
    snapshots.clear();
    std::vector<__HNASFileSystemInfo> listable;
    std::vector<__HNASFileSystemInfo> unlisted;
    if (!sortFileSystems(session, listable, unlisted, cause)) return false;
    if (!unlisted.empty()) {
        cause = "file system [" + unlisted[0].name + "] has status [" + unlisted[0].status +
                "], not mounted: its snapshots cannot be listed";
        return false;
    }
    std::vector<__HNASFileSystemSnapshot> all;
    if (!snapshotsOfEach(session, listable, all, cause)) return false;
    snapshots.swap(all);
    return true;
}

// GET filesystems, then GET filesystem-snapshots/{fs}/null for each file
// system that is mounted (or has no status); the others go to `unlisted`,
// each noted in the log, and are never asked for their snapshots.
bool getAllSnapshots(ArraySession& session, std::vector<__HNASFileSystemSnapshot>& snapshots,
                     std::vector<__HNASFileSystemInfo>& unlisted, std::string& cause,
                     const std::vector<ArraySession*>& helpers, std::vector<QzSnapshotRetention>* retention) {
    snapshots.clear();
    unlisted.clear();
    if (retention != nullptr) retention->clear();
    std::vector<QzSnapshotRetention> allRetention;
    std::vector<QzSnapshotRetention>* keep = retention != nullptr ? &allRetention : nullptr;
    std::vector<__HNASFileSystemInfo> listable;
    std::vector<__HNASFileSystemInfo> notMounted;
    if (!sortFileSystems(session, listable, notMounted, cause)) return false;
    std::vector<__HNASFileSystemSnapshot> all;
    if (helpers.size() > 1 && listable.size() > 1) {
        // The file systems' lists several at once, the helpers spending the
        // operation's one retry budget as one session would; joined in
        // file-system order, their lines logged here in that order, the
        // first failure failing the call.
        std::vector<std::vector<__HNASFileSystemSnapshot>> each(listable.size());
        std::vector<std::vector<QzSnapshotRetention>> eachRetention(listable.size());
        std::vector<std::string> causes(listable.size());
        std::vector<std::vector<KeptLine>> lines;
        std::vector<char> done;
        std::atomic<int> retries{session.retriesUsed()};
        runOnWorkers(
            helpers, listable.size(),
            [&](ArraySession& helper, size_t i) {
                helper.beginOperation("getAllSnapshots");
                helper.shareRetries(&retries);
                return snapshotsOfEach(helper, {listable[i]}, each[i], causes[i],
                                       keep != nullptr ? &eachRetention[i] : nullptr);
            },
            lines, done);
        session.setRetriesUsed(retries.load());
        for (size_t i = 0; i < listable.size(); ++i) {
            for (const KeptLine& line : lines[i]) session.replay(line);
            if (!done[i]) continue;
            if (!causes[i].empty()) {
                cause = causes[i];
                return false;
            }
            all.insert(all.end(), each[i].begin(), each[i].end());
            allRetention.insert(allRetention.end(), eachRetention[i].begin(), eachRetention[i].end());
        }
        for (char ran : done)
            if (!ran) {
                cause = "a file system's snapshots were not listed";
                return false;
            }
    } else if (!snapshotsOfEach(session, listable, all, cause, keep)) {
        return false;
    }
    for (const __HNASFileSystemInfo& fileSystem : notMounted)
        session.note(1, kSnapshotsNotListed, fileSystem.name, fileSystem.status);
    snapshots.swap(all);
    if (retention != nullptr) retention->swap(allRetention);
    unlisted.swap(notMounted);
    return true;
}

// GET /v8/storage/file-devices/management-access/rest: the REST server's
// connection limits, both optional, from {"accessConfig":{...}} or from the
// entry of type "rest" of {"accessConfig":[{...}, ...]}. An object whose type
// is given and is another is not the REST server's.
bool getConnectionLimit(ArraySession& session, uint64_t& allowed, uint64_t& supported, std::string& cause) {
    allowed = 0;
    supported = 0;
    Reply reply;
    if (!session.request(HttpMethod::Get, kRestAccessResource, nullptr, Repeat::Idempotent, &kAccessConfigAnswer,
                         reply, cause))
        return false;
    const auto access = reply.body.find(kAccessConfigAnswer.key);
    if (access == reply.body.end() || access->is_null()) {
        cause = std::string("missing field [") + kAccessConfigAnswer.key + "] in [answer]";
        return false;
    }
    const Json* rest = nullptr;
    const size_t entries = access->is_array() ? access->size() : 1;
    for (size_t i = 0; i < entries && rest == nullptr; ++i) {
        const Json& entry = access->is_array() ? (*access)[i] : *access;
        std::string type;
        if (!readText(entry, "type", false, type, kAccessConfigAnswer.key, cause)) return false;
        if (type.empty() ? !access->is_array() : strcasecmp(type.c_str(), kRestAccessType) == 0) rest = &entry;
    }
    if (rest == nullptr) {
        cause = std::string("no [") + kAccessConfigAnswer.key + "] of type [" + kRestAccessType + "] in the answer";
        return false;
    }
    return readUnsigned(*rest, "maxAllowedConnections", false, allowed, kAccessConfigAnswer.key, cause) &&
           readUnsigned(*rest, "maxSupportedConnections", false, supported, kAccessConfigAnswer.key, cause);
}

}  // namespace managehnas

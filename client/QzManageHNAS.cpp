// QzManageHNAS over HTTPS: every member starts one operation on the session,
// runs it, and logs its failure once. No exception leaves a member: one from
// a library (a failed allocation) ends the call as a failure.
#include "host/QzManageHNAS.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "client/AheadCalls.h"
#include "client/ArrayOperations.h"
#include "client/ClientMessages.h"
#include "client/ArrayProbe.h"
#include "client/ArraySession.h"

// A call made ahead, with the lines it would have logged.
struct AheadEntry {
    QzAheadCall call;
    std::vector<managehnas::KeptLine> lines;
    bool taken = false;
    // The share a look-up read, and the changes the client had sent when it
    // was read: taken with the outcome, it answers the next read of that
    // share as the look-up made by the member would have.
    managehnas::ShareMemo memo;
    unsigned long long changes = 0;
};

struct QzManageHNAS::Impl {
    explicit Impl(unsigned long long id) : jobId(id), session(id) {}
    unsigned long long jobId;
    managehnas::ArraySession session;
    std::string address;   // as init got it, for the probe's report
    managehnas::ShareMemo shareMemo;
    // Requests in flight for the current endpoint; 0 until worked out.
    int inFlight = 0;
    // Sessions of their own connection for the calls made ahead, kept for
    // the next runAhead to the same endpoint.
    std::vector<std::unique_ptr<managehnas::ArraySession>> workers;
    std::vector<AheadEntry> ahead;
    std::unordered_map<std::string, std::deque<size_t>> aheadByKey;   // untaken, by qzAheadKey
};

namespace {

// Runs `body(cause)` as the operation `name`. A false with a cause is logged
// as the operation's one failure line; a false without one is a plain "no".
template <typename Body>
bool run(QzManageHNAS::Impl* impl, const char* name, Body&& body) noexcept {
    if (impl == nullptr) return false;
    try {
        impl->session.beginOperation(name);
        std::string cause;
        if (body(cause)) return true;
        if (!cause.empty()) impl->session.fail(cause);
    } catch (...) {
        try {
            impl->session.fail("internal error (out of memory?)");
        } catch (...) {
        }
    }
    return false;
}

bool changesArray(QzAheadKind kind) {
    switch (kind) {
        case QzAheadKind::CreateSnapshot:
        case QzAheadKind::CreateShare:
        case QzAheadKind::DeleteShare:
        case QzAheadKind::DeleteSnapshot:
        case QzAheadKind::RecoverSnapshot: return true;
        default: return false;
    }
}

// "QZHNAS-u1-fs1 on 0A1B..." and its kin: what a note names of a call.
std::string aheadSubject(const QzAheadCall& call) {
    switch (call.kind) {
        case QzAheadKind::GetShare: return call.shareType + " share " + call.share.name;
        case QzAheadKind::DeleteSnapshot: return call.snapshot.name + " on " + call.snapshot.fileSystemId;
        case QzAheadKind::CreateSnapshot: return call.prefix + "-" + call.name + " on " + call.fileSystemId;
        case QzAheadKind::RecoverSnapshot:
        case QzAheadKind::FileSystemIdByLabel: return call.name;
        case QzAheadKind::FileSystemInfo: return call.fileSystemId;
        default: return call.shareType + " share " + call.name;
    }
}

// Undoes a create made ahead that no device took: without a device to
// record it, the snapshot or share would stay on the array unknown.
void undoAheadCreate(QzManageHNAS::Impl& impl, const QzAheadCall& call) {
    managehnas::ArraySession& session = impl.session;
    std::string cause;
    if (call.kind == QzAheadKind::CreateSnapshot) {
        session.beginOperation("deleteFileSystemSnapshot");
        __HNASFileSystemSnapshot snapshot = call.createdSnapshot;
        snapshot.fileSystemId = call.fileSystemId;
        if (!managehnas::deleteFileSystemSnapshot(session, snapshot, call.prefix, cause)) session.fail(cause);
    } else if (call.kind == QzAheadKind::CreateShare) {
        session.beginOperation("deleteFileSystemShare");
        __HNASVirtualServers server;
        try {
            server.virtualServerId = std::stoull(call.virtualServerId);
        } catch (...) {
        }
        if (!managehnas::deleteFileSystemShare(session, call.name, server, call.shareType, cause)) session.fail(cause);
    }
}

// Settles every call made ahead that no device took: its lines are logged
// after a note saying so, and what it created is deleted again.
void settleAhead(QzManageHNAS::Impl& impl) noexcept {
    try {
        for (AheadEntry& entry : impl.ahead) {
            if (entry.taken) continue;
            entry.taken = true;
            impl.session.beginOperation(managehnas::aheadOperationName(entry.call.kind));
            impl.session.note(0, managehnas::kAheadNotTaken, managehnas::aheadOperationName(entry.call.kind),
                              aheadSubject(entry.call));
            for (const managehnas::KeptLine& line : entry.lines) impl.session.replay(line);
            if (entry.call.succeeded) undoAheadCreate(impl, entry.call);
        }
    } catch (...) {
    }
    impl.ahead.clear();
    impl.aheadByKey.clear();
}

// Up to `wanted` sessions of their own connection to the client's endpoint,
// opened on this thread (none when they cannot be).
std::vector<managehnas::ArraySession*> workersFor(QzManageHNAS::Impl& impl, size_t wanted) {
    while (impl.workers.size() < wanted) {
        std::unique_ptr<managehnas::ArraySession> worker(new managehnas::ArraySession(impl.jobId));
        std::string cause;
        if (!worker->openLike(impl.session, cause)) break;
        impl.workers.push_back(std::move(worker));
    }
    std::vector<managehnas::ArraySession*> used;
    for (size_t i = 0; i < impl.workers.size() && i < wanted; ++i) used.push_back(impl.workers[i].get());
    return used;
}

// The outcome of the call made ahead that `asked` describes, its lines
// logged now; null when none waits (the member then makes the call).
const QzAheadCall* takeAhead(QzManageHNAS::Impl* impl, const QzAheadCall& asked) {
    if (impl == nullptr || impl->aheadByKey.empty()) return nullptr;
    const auto found = impl->aheadByKey.find(qzAheadKey(asked));
    if (found == impl->aheadByKey.end()) return nullptr;
    AheadEntry& entry = impl->ahead[found->second.front()];
    found->second.pop_front();
    if (found->second.empty()) impl->aheadByKey.erase(found);
    entry.taken = true;
    for (const managehnas::KeptLine& line : entry.lines) impl->session.replay(line);
    if (entry.memo.held && entry.changes == impl->session.changesSent()) {
        impl->shareMemo = entry.memo;
        impl->shareMemo.changes = entry.changes;
    }
    return &entry.call;
}

}  // namespace

// Without memory for its state the client stays empty and every call fails.
QzManageHNAS::QzManageHNAS(const unsigned long long& jobId) {
    try {
        impl_.reset(new Impl(jobId));
    } catch (...) {
        impl_.reset();
    }
}

QzManageHNAS::~QzManageHNAS() {
    if (impl_) settleAhead(*impl_);
}

// Points the client at https://address:port; a later init points it at the
// next array and drops the connection to the previous one. The array type
// ("FILE") and the control host are the caller's; the endpoint alone says
// where the management API answers.
bool QzManageHNAS::init(std::string user, std::string password, std::string /*type*/,
                        std::string controlHost, std::string address, int port) {
    if (impl_) {
        settleAhead(*impl_);
        impl_->inFlight = 0;
        impl_->workers.clear();
    }
    return run(impl_.get(), "init", [&](std::string&) {
        impl_->address = address;
        return impl_->session.open(user, password, controlHost, address, port);
    });
}

// False when no file-services virtual server is named, or has the address,
// `arrayId` (e.g. "evs1", "192.0.2.10"), and when the array cannot be asked.
bool QzManageHNAS::getVirtualServerInfo(const std::string& arrayId, __HNASVirtualServers& server) {
    return run(impl_.get(), "getVirtualServerInfo", [&](std::string& cause) {
        return managehnas::getVirtualServerInfo(impl_->session, arrayId, server, cause);
    });
}

// fileSystemName e.g. "fs1"; false when no file system has exactly that label.
bool QzManageHNAS::getFileSystemID(const std::string& fileSystemName, std::string& fileSystemId) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::fileSystemIdByLabel(fileSystemName))) {
        if (done->succeeded) fileSystemId = done->fileSystemIdFound;
        return done->succeeded;
    }
    return run(impl_.get(), "getFileSystemID", [&](std::string& cause) {
        return managehnas::getFileSystemIdByLabel(impl_->session, fileSystemName, fileSystemId, cause);
    });
}

// shareName e.g. "data" (CIFS) or "/exp1" (NFS).
bool QzManageHNAS::getFileSystemID(__HNASVirtualServers server, const std::string& shareName,
                                   const std::string& shareType, std::string& fileSystemId) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::fileSystemIdOfShare(server, shareName, shareType))) {
        if (done->succeeded) fileSystemId = done->fileSystemIdFound;
        return done->succeeded;
    }
    return run(impl_.get(), "getFileSystemID", [&](std::string& cause) {
        return managehnas::getFileSystemIdOfShare(impl_->session, impl_->shareMemo, server, shareName, shareType,
                                                  fileSystemId, cause);
    });
}

// On success the list holds exactly one entry, the file system asked for.
bool QzManageHNAS::getFileSystemsInfo(const std::string& fileSystemId,
                                      std::vector<__HNASFileSystemInfo>& fileSystems) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::fileSystemInfo(fileSystemId))) {
        if (done->succeeded) fileSystems = done->fileSystemsFound;
        return done->succeeded;
    }
    return run(impl_.get(), "getFileSystemsInfo", [&](std::string& cause) {
        return managehnas::getFileSystemsInfo(impl_->session, fileSystemId, fileSystems, cause);
    });
}

// shares[0].name e.g. "data"; on success `shares` holds exactly that share;
// on failure it is left as it was.
bool QzManageHNAS::getFilesystemShares(__HNASVirtualServers& server, const std::string& shareType,
                                       std::vector<__HNASFileSystemShares>& shares, bool withPermissions) {
    if (shares.size() == 1) {
        if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::getShare(server, shareType, shares.front(), withPermissions))) {
            if (done->succeeded) shares = done->sharesFound;
            return done->succeeded;
        }
    }
    return run(impl_.get(), "getFilesystemShares", [&](std::string& cause) {
        return managehnas::getFilesystemShares(impl_->session, impl_->shareMemo, server, shareType, shares,
                                               withPermissions, cause);
    });
}

// name e.g. "u1-fs1", prefix "QZHNAS": on success snapshot.name is
// "QZHNAS-u1-fs1". False means no snapshot of that name is known to exist:
// either the array refused it, or it could not be reached and a look for the
// name after a lost answer did not find it.
bool QzManageHNAS::createFileSystemSnapshot(const std::string& name, const std::string& fileSystemId,
                                            const std::string& prefix, __HNASFileSystemSnapshot& snapshot) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::createSnapshot(name, fileSystemId, prefix))) {
        if (done->succeeded) snapshot = done->createdSnapshot;
        return done->succeeded;
    }
    return run(impl_.get(), "createFileSystemSnapshot", [&](std::string& cause) {
        return managehnas::createFileSystemSnapshot(impl_->session, name, fileSystemId, prefix, snapshot,
                                                    cause);
    });
}

// shareName e.g. "QZHNAS-u1-fs1-data-QZShare" (CIFS) or "/QZHNAS-u1-fs1-exp1-QZShare"
// (NFS). True exactly when the array lists that share. False also when the
// array could not be asked (then with a failure line in the log): a caller
// that goes on to create the share finds out from the create.
bool QzManageHNAS::isSharePresent(const std::string& shareName, __HNASVirtualServers& server,
                                  const std::string& shareType) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::isSharePresent(shareName, server, shareType)))
        return done->succeeded;
    return run(impl_.get(), "isSharePresent", [&](std::string& cause) {
        return managehnas::isSharePresent(impl_->session, shareName, server, shareType, cause);
    });
}

// shareName e.g. "QZHNAS-u1-fs1-data-QZShare"; path e.g.
// "\\.snapshot\\QZHNAS-u1-fs1\\data"; virtualServerId decimal, e.g. "1".
// On success with permissions applied, share.settings.permissions holds
// them as the array stored them. False means no share was left behind by
// this call, except when removing a half-made share failed too (said in the
// log line).
bool QzManageHNAS::createFileSystemShare(const std::string& shareName, const std::string& virtualServerId,
                                         const std::string& fileSystemId, const std::string& path,
                                         const std::string& shareType, __HNASFileSystemShares& share,
                                         bool applyPermissions) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::createShare(shareName, virtualServerId, fileSystemId, path, shareType, share, applyPermissions))) {
        share = done->shareCreated;
        return done->succeeded;
    }
    return run(impl_.get(), "createFileSystemShare", [&](std::string& cause) {
        return managehnas::createFileSystemShare(impl_->session, shareName, virtualServerId, fileSystemId,
                                                 path, shareType, share, applyPermissions, cause);
    });
}

// True also when the share is already absent; false means it may still exist.
bool QzManageHNAS::deleteFileSystemShare(const std::string& shareName, __HNASVirtualServers& server,
                                         const std::string& shareType) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::deleteShare(shareName, server, shareType)))
        return done->succeeded;
    return run(impl_.get(), "deleteFileSystemShare", [&](std::string& cause) {
        return managehnas::deleteFileSystemShare(impl_->session, shareName, server, shareType, cause);
    });
}

// snapshot.name e.g. "QZHNAS-u1-fs1" with its fileSystemId. True also when the
// snapshot is already absent or being deleted by the array; false means it
// may still exist.
bool QzManageHNAS::deleteFileSystemSnapshot(__HNASFileSystemSnapshot snapshot, const std::string& prefix) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::deleteSnapshot(snapshot, prefix)))
        return done->succeeded;
    return run(impl_.get(), "deleteFileSystemSnapshot", [&](std::string& cause) {
        return managehnas::deleteFileSystemSnapshot(impl_->session, snapshot, prefix, cause);
    });
}

// False means the rollback is not known to have happened (it may have, when
// the answer was lost).
bool QzManageHNAS::recoverFileSystemSnapshot(const std::string& snapshotObjectId) {
    if (const QzAheadCall* done = takeAhead(impl_.get(), QzAheadCall::recoverSnapshot(snapshotObjectId)))
        return done->succeeded;
    return run(impl_.get(), "recoverFileSystemSnapshot", [&](std::string& cause) {
        return managehnas::recoverFileSystemSnapshot(impl_->session, snapshotObjectId, cause);
    });
}

// Every snapshot of every file system, those being deleted left out. The
// array cannot list the snapshots of a file system that is not mounted, so
// one such file system fails the call, naming it. On failure the list is
// empty (never a partial list that would make present snapshots look deleted).
bool QzManageHNAS::getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots) {
    return run(impl_.get(), "getAllSnapshots", [&](std::string& cause) {
        return managehnas::getAllSnapshots(impl_->session, snapshots, cause);
    });
}

// The snapshots of every file system that can be listed, those being
// deleted left out; each file system the array reports as not mounted goes
// to `unlisted` instead, e.g. {"0A1B...", "fs9", "NOT_MOUNTED"}. A request
// that fails (transport, HTTP status, answer) fails the call, and both lists
// are then empty: a partial list would make present snapshots look deleted.
bool QzManageHNAS::getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots,
                                   std::vector<__HNASFileSystemInfo>& unlisted) {
    // With requests in flight, the file systems' lists go several at once.
    std::vector<managehnas::ArraySession*> helpers;
    const int inFlight = requestsInFlight();
    if (inFlight > 1 && impl_) {
        try {
            helpers = workersFor(*impl_, static_cast<size_t>(inFlight));
        } catch (...) {
            helpers.clear();
        }
    }
    return run(impl_.get(), "getAllSnapshots", [&](std::string& cause) {
        return managehnas::getAllSnapshots(impl_->session, snapshots, unlisted, cause, helpers);
    });
}

// Every share and export, e.g. for a tool that must know whether one points
// into a snapshot before deleting it.
bool QzManageHNAS::getAllShares(std::vector<__HNASFileSystemShares>& shares) {
    return run(impl_.get(), "getAllShares", [&](std::string& cause) {
        return managehnas::getAllShares(impl_->session, shares, cause);
    });
}

// arrayId e.g. "evs1": the request is getVirtualServerInfo's, so a probe that
// passes means the calls of a job reach the array the same way.
bool QzManageHNAS::probe(const std::string& arrayId, std::vector<QzProbePhase>& phases) {
    phases.clear();
    return run(impl_.get(), "probe", [&](std::string& cause) {
        return managehnas::probeArray(impl_->session, impl_->address, arrayId, phases, cause);
    });
}

// The setting, kept one below the connections the array allows (this
// client's own connection stays open beside those of the calls made ahead).
int QzManageHNAS::requestsInFlight() {
    Impl* impl = impl_.get();
    if (impl == nullptr || !impl->session.isOpen()) return 1;
    if (impl->inFlight > 0) return impl->inFlight;
    const int wanted = impl->session.settings().requestsInFlight;
    impl->inFlight = 1;
    if (wanted <= 1) return 1;
    impl->inFlight = wanted;
    run(impl, "requestsInFlight", [&](std::string&) {
        uint64_t allowed = 0;
        uint64_t supported = 0;
        std::string cause;
        if (!managehnas::getConnectionLimit(impl->session, allowed, supported, cause)) {
            impl->session.note(1, managehnas::kConnectionLimitUnknown, cause, std::to_string(wanted));
            return true;
        }
        uint64_t limit = allowed != 0 ? allowed : supported;
        if (supported != 0 && limit > supported) limit = supported;
        if (limit != 0) {
            const uint64_t beside = limit > 1 ? limit - 1 : 1;
            if (beside < static_cast<uint64_t>(wanted)) impl->inFlight = static_cast<int>(beside);
        }
        impl->session.note(1, managehnas::kConnectionLimit, allowed != 0 ? std::to_string(allowed) : "?",
                           supported != 0 ? std::to_string(supported) : "?", std::to_string(impl->inFlight));
        return true;
    });
    return impl->inFlight;
}

bool QzManageHNAS::runAhead(std::vector<QzAheadCall>& calls) {
    Impl* impl = impl_.get();
    if (impl == nullptr || calls.empty()) return false;
    const int inFlight = requestsInFlight();
    if (inFlight <= 1) return false;
    try {
        const std::vector<managehnas::ArraySession*> used =
            workersFor(*impl, std::min(calls.size(), static_cast<size_t>(inFlight)));
        if (used.empty()) return false;
        std::vector<std::vector<managehnas::KeptLine>> lines;
        std::vector<managehnas::ShareMemo> memos;
        managehnas::makeAheadCalls(used, calls, lines, memos);
        for (size_t i = 0; i < calls.size(); ++i) {
            if (!calls[i].made) continue;
            if (changesArray(calls[i].kind)) impl->session.countChanges(1);
        }
        for (size_t i = 0; i < calls.size(); ++i) {
            if (!calls[i].made) continue;
            impl->aheadByKey[qzAheadKey(calls[i])].push_back(impl->ahead.size());
            impl->ahead.push_back(
                AheadEntry{calls[i], std::move(lines[i]), false, memos[i], impl->session.changesSent()});
        }
        return true;
    } catch (...) {
        return false;
    }
}

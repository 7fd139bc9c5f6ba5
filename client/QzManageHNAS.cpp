// QzManageHNAS over HTTPS: every member starts one operation on the session,
// runs it, and logs its failure once. No exception leaves a member: one from
// a library (a failed allocation) ends the call as a failure.
#include "host/QzManageHNAS.h"

#include <algorithm>

#include "client/Workers.h"
#include "client/ArrayOperations.h"
#include "client/ClientMessages.h"
#include "client/ArrayProbe.h"
#include "client/ArraySession.h"

struct QzManageHNAS::Impl {
    explicit Impl(unsigned long long id) : jobId(id), session(id) { session.shareWindow(&window); }
    unsigned long long jobId;
    managehnas::ArraySession session;
    std::string address;   // as init got it, for the probe's report
    managehnas::ShareMemo shareMemo;
    // Requests in flight for the current endpoint; 0 until worked out.
    int inFlight = 0;
    // Up to inFlight, narrowed while the array answers busy: shared by the
    // sessions of this client, the helpers' and the workers' included.
    managehnas::InFlightWindow window;
    // A worker of runConcurrently: it only reads.
    bool worker = false;
    // Sessions of their own connection for getAllSnapshots' lists, kept for
    // the next call to the same endpoint.
    std::vector<std::unique_ptr<managehnas::ArraySession>> helpers;
    // The workers of runConcurrently, kept likewise.
    std::vector<std::unique_ptr<QzManageHNAS>> workers;
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

// A change asked of a worker of runConcurrently: refused, so that no change
// runs ahead of the device that asks for it.
bool refusedOnWorker(QzManageHNAS::Impl* impl, const char* name) noexcept {
    if (impl == nullptr || !impl->worker) return false;
    return !run(impl, name, [](std::string& cause) {
        cause = "a change is not made ahead of the device that asks for it";
        return false;
    });
}

// Up to `wanted` sessions of their own connection to the client's endpoint,
// opened on this thread (none when they cannot be).
std::vector<managehnas::ArraySession*> helpersFor(QzManageHNAS::Impl& impl, size_t wanted) {
    while (impl.helpers.size() < wanted) {
        std::unique_ptr<managehnas::ArraySession> helper(new managehnas::ArraySession(impl.jobId));
        std::string cause;
        if (!helper->openLike(impl.session, cause)) break;
        helper->shareWindow(&impl.window);
        impl.helpers.push_back(std::move(helper));
    }
    std::vector<managehnas::ArraySession*> used;
    for (size_t i = 0; i < impl.helpers.size() && i < wanted; ++i) used.push_back(impl.helpers[i].get());
    return used;
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

QzManageHNAS::QzManageHNAS(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

QzManageHNAS::~QzManageHNAS() = default;

// Points the client at https://address:port; a later init points it at the
// next array and drops the connection to the previous one. The array type
// ("FILE") and the control host are the caller's; the endpoint alone says
// where the management API answers.
bool QzManageHNAS::init(std::string user, std::string password, std::string /*type*/,
                        std::string controlHost, std::string address, int port) {
    if (impl_) {
        impl_->inFlight = 0;
        impl_->helpers.clear();
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
    return run(impl_.get(), "getFileSystemID", [&](std::string& cause) {
        return managehnas::getFileSystemIdByLabel(impl_->session, fileSystemName, fileSystemId, cause);
    });
}

// shareName e.g. "data" (CIFS) or "/exp1" (NFS).
bool QzManageHNAS::getFileSystemID(__HNASVirtualServers server, const std::string& shareName,
                                   const std::string& shareType, std::string& fileSystemId) {
    return run(impl_.get(), "getFileSystemID", [&](std::string& cause) {
        return managehnas::getFileSystemIdOfShare(impl_->session, impl_->shareMemo, server, shareName, shareType,
                                                  fileSystemId, cause);
    });
}

// On success the list holds exactly one entry, the file system asked for.
bool QzManageHNAS::getFileSystemsInfo(const std::string& fileSystemId,
                                      std::vector<__HNASFileSystemInfo>& fileSystems) {
    return run(impl_.get(), "getFileSystemsInfo", [&](std::string& cause) {
        return managehnas::getFileSystemsInfo(impl_->session, fileSystemId, fileSystems, cause);
    });
}

// shares[0].name e.g. "data"; on success `shares` holds exactly that share;
// on failure it is left as it was.
bool QzManageHNAS::getFilesystemShares(__HNASVirtualServers& server, const std::string& shareType,
                                       std::vector<__HNASFileSystemShares>& shares, bool withPermissions) {
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
    if (refusedOnWorker(impl_.get(), "createFileSystemSnapshot")) return false;
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
    if (refusedOnWorker(impl_.get(), "createFileSystemShare")) return false;
    return run(impl_.get(), "createFileSystemShare", [&](std::string& cause) {
        return managehnas::createFileSystemShare(impl_->session, shareName, virtualServerId, fileSystemId,
                                                 path, shareType, share, applyPermissions, cause);
    });
}

// True also when the share is already absent; false means it may still exist.
bool QzManageHNAS::deleteFileSystemShare(const std::string& shareName, __HNASVirtualServers& server,
                                         const std::string& shareType) {
    if (refusedOnWorker(impl_.get(), "deleteFileSystemShare")) return false;
    return run(impl_.get(), "deleteFileSystemShare", [&](std::string& cause) {
        return managehnas::deleteFileSystemShare(impl_->session, shareName, server, shareType, cause);
    });
}

// snapshot.name e.g. "QZHNAS-u1-fs1" with its fileSystemId. True also when the
// snapshot is already absent or being deleted by the array; false means it
// may still exist.
bool QzManageHNAS::deleteFileSystemSnapshot(__HNASFileSystemSnapshot snapshot, const std::string& prefix) {
    if (refusedOnWorker(impl_.get(), "deleteFileSystemSnapshot")) return false;
    return run(impl_.get(), "deleteFileSystemSnapshot", [&](std::string& cause) {
        return managehnas::deleteFileSystemSnapshot(impl_->session, snapshot, prefix, cause);
    });
}

// False means the rollback is not known to have happened (it may have, when
// the answer was lost).
bool QzManageHNAS::recoverFileSystemSnapshot(const std::string& snapshotObjectId) {
    if (refusedOnWorker(impl_.get(), "recoverFileSystemSnapshot")) return false;
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
            helpers = helpersFor(*impl_, static_cast<size_t>(inFlight));
        } catch (...) {
            helpers.clear();
        }
    }
    return run(impl_.get(), "getAllSnapshots", [&](std::string& cause) {
        return managehnas::getAllSnapshots(impl_->session, snapshots, unlisted, cause, helpers);
    });
}

bool QzManageHNAS::getAllSnapshots(std::vector<__HNASFileSystemSnapshot>& snapshots,
                                   std::vector<__HNASFileSystemInfo>& unlisted,
                                   std::vector<QzSnapshotRetention>& retention) {
    return run(impl_.get(), "getAllSnapshots", [&](std::string& cause) {
        return managehnas::getAllSnapshots(impl_->session, snapshots, unlisted, cause, {}, &retention);
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

// One request as a tool asks it, e.g. a share's create with a field whose
// effect the tool then reads back; sent once, never repeated.
bool QzManageHNAS::probeRequest(QzProbeExchange& exchange) {
    exchange.status = 0;
    exchange.answer.clear();
    exchange.message.clear();
    return run(impl_.get(), "probeRequest", [&](std::string& cause) {
        managehnas::HttpMethod method = managehnas::HttpMethod::Get;
        if (exchange.method == "POST")
            method = managehnas::HttpMethod::Post;
        else if (exchange.method == "DELETE")
            method = managehnas::HttpMethod::Delete;
        else if (exchange.method != "GET") {
            cause = "method [" + exchange.method + "] is not one the client sends";
            exchange.message = cause;
            return false;
        }
        if (impl_->worker && method != managehnas::HttpMethod::Get) {
            cause = "a worker only reads";
            exchange.message = cause;
            return false;
        }
        managehnas::HttpAnswer answer;
        if (!impl_->session.exchange(method, exchange.resource, exchange.body, answer, cause)) {
            exchange.message = impl_->session.masked(cause);
            return false;
        }
        exchange.status = answer.status;
        exchange.answer = impl_->session.masked(answer.body);
        return true;
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
    impl->window.reset(1);
    if (wanted <= 1) return 1;
    impl->inFlight = wanted;
    run(impl, "requestsInFlight", [&](std::string&) {
        uint64_t allowed = 0;
        uint64_t supported = 0;
        std::string cause;
        // Asked on a connection of the helpers, which requests in flight open
        // anyway: the client's own connection then meets the operation's
        // first request as it does with 1 in flight (a kept-alive connection
        // that drops is resent by libcurl unseen, a fresh one by the client,
        // and its failure line counts that retry).
        const std::vector<managehnas::ArraySession*> asker = helpersFor(*impl, 1);
        managehnas::ArraySession& on = asker.empty() ? impl->session : *asker.front();
        if (&on != &impl->session) on.beginOperation("requestsInFlight");
        if (!managehnas::getConnectionLimit(on, allowed, supported, cause)) {
            impl->session.note(0, managehnas::kConnectionLimitUnknown, cause, std::to_string(wanted));
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
    impl->window.reset(impl->inFlight);
    return impl->inFlight;
}

bool QzManageHNAS::runConcurrently(size_t count, const std::function<void(QzManageHNAS&, size_t)>& work,
                                   std::vector<std::vector<QzLogLine>>& lines) {
    Impl* impl = impl_.get();
    try {
        lines.assign(count, std::vector<QzLogLine>());
        if (impl == nullptr || impl->worker || count == 0) return false;
        const size_t inFlight = static_cast<size_t>(requestsInFlight());
        if (inFlight <= 1) return false;
        // Workers opened on this thread, each a client of its own connection.
        const size_t wanted = std::min(count, inFlight);
        while (impl->workers.size() < wanted) {
            std::unique_ptr<Impl> workerImpl(new Impl(impl->jobId));
            workerImpl->worker = true;
            workerImpl->inFlight = 1;
            std::string cause;
            if (!workerImpl->session.openLike(impl->session, cause)) break;
            workerImpl->session.shareWindow(&impl->window);
            impl->workers.push_back(std::unique_ptr<QzManageHNAS>(new QzManageHNAS(std::move(workerImpl))));
        }
        if (impl->workers.empty()) return false;
        std::vector<managehnas::ArraySession*> sessions;
        for (size_t i = 0; i < impl->workers.size() && i < wanted; ++i)
            sessions.push_back(&impl->workers[i]->impl_->session);
        std::vector<std::vector<managehnas::KeptLine>> kept;
        std::vector<char> done;
        managehnas::runOnWorkers(
            sessions, count,
            [&](managehnas::ArraySession& session, size_t item) {
                for (const std::unique_ptr<QzManageHNAS>& worker : impl->workers)
                    if (&worker->impl_->session == &session) work(*worker, item);
                return true;
            },
            kept, done, false);
        for (size_t i = 0; i < count; ++i)
            for (managehnas::KeptLine& line : kept[i])
                lines[i].push_back(QzLogLine{line.level, std::move(line.context), std::move(line.text)});
        return true;
    } catch (...) {
        return false;
    }
}

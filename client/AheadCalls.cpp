#include "client/AheadCalls.h"

#include <atomic>
#include <functional>
#include <thread>


namespace managehnas {

const char* aheadOperationName(QzAheadKind kind) {
    switch (kind) {
        case QzAheadKind::CreateSnapshot: return "createFileSystemSnapshot";
        case QzAheadKind::IsSharePresent: return "isSharePresent";
        case QzAheadKind::GetShare: return "getFilesystemShares";
        case QzAheadKind::CreateShare: return "createFileSystemShare";
        case QzAheadKind::DeleteShare: return "deleteFileSystemShare";
        case QzAheadKind::DeleteSnapshot: return "deleteFileSystemSnapshot";
        case QzAheadKind::RecoverSnapshot: return "recoverFileSystemSnapshot";
        case QzAheadKind::FileSystemIdByLabel:
        case QzAheadKind::FileSystemIdOfShare: return "getFileSystemID";
        case QzAheadKind::FileSystemInfo: return "getFileSystemsInfo";
    }
    return "runAhead";
}

namespace {

bool make(ArraySession& session, QzAheadCall& call, ShareMemo& memo, std::string& cause) {
    switch (call.kind) {
        case QzAheadKind::CreateSnapshot:
            return createFileSystemSnapshot(session, call.name, call.fileSystemId, call.prefix,
                                            call.createdSnapshot, cause);
        case QzAheadKind::IsSharePresent:
            return isSharePresent(session, call.name, call.server, call.shareType, cause);
        case QzAheadKind::GetShare: {
            // A memo of its own: nothing read before this call answers it.
            memo = ShareMemo();
            call.sharesFound.assign(1, call.share);
            if (getFilesystemShares(session, memo, call.server, call.shareType, call.sharesFound, call.flag, cause))
                return true;
            call.sharesFound.assign(1, call.share);   // as the member leaves the list on failure
            return false;
        }
        case QzAheadKind::CreateShare:
            call.shareCreated = call.share;
            return createFileSystemShare(session, call.name, call.virtualServerId, call.fileSystemId, call.path,
                                         call.shareType, call.shareCreated, call.flag, cause);
        case QzAheadKind::DeleteShare:
            return deleteFileSystemShare(session, call.name, call.server, call.shareType, cause);
        case QzAheadKind::DeleteSnapshot:
            return deleteFileSystemSnapshot(session, call.snapshot, call.prefix, cause);
        case QzAheadKind::RecoverSnapshot:
            return recoverFileSystemSnapshot(session, call.name, cause);
        case QzAheadKind::FileSystemIdByLabel:
            return getFileSystemIdByLabel(session, call.name, call.fileSystemIdFound, cause);
        case QzAheadKind::FileSystemIdOfShare:
            memo = ShareMemo();
            return getFileSystemIdOfShare(session, memo, call.server, call.name, call.shareType,
                                          call.fileSystemIdFound, cause);
        case QzAheadKind::FileSystemInfo:
            return getFileSystemsInfo(session, call.fileSystemId, call.fileSystemsFound, cause);
    }
    cause = "unknown call";
    return false;
}

}  // namespace

bool stopsBatch(const QzAheadCall& call) { return !call.succeeded && call.kind != QzAheadKind::IsSharePresent; }

void makeAheadCall(ArraySession& session, QzAheadCall& call, ShareMemo& memo) noexcept {
    call.succeeded = false;
    try {
        session.beginOperation(aheadOperationName(call.kind));
        std::string cause;
        call.succeeded = make(session, call, memo, cause);
        if (!call.succeeded && !cause.empty()) session.fail(cause);
    } catch (...) {
        call.succeeded = false;
        try {
            session.fail("internal error (out of memory?)");
        } catch (...) {
        }
    }
}

void runOnWorkers(const std::vector<ArraySession*>& workers, size_t count,
                  const std::function<bool(ArraySession&, size_t)>& work,
                  std::vector<std::vector<KeptLine>>& lines, std::vector<char>& done) {
    lines.assign(count, std::vector<KeptLine>());
    done.assign(count, 0);
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto loop = [&](ArraySession& session) {
        for (size_t i = next++; i < count && !failed; i = next++) {
            session.keepLinesIn(&lines[i]);
            bool ok = false;
            try {
                ok = work(session, i);
            } catch (...) {
                ok = false;
            }
            done[i] = 1;
            if (!ok) failed = true;
        }
        session.keepLinesIn(nullptr);
    };
    std::vector<std::thread> threads;
    threads.reserve(workers.size());
    try {
        for (size_t w = 1; w < workers.size(); ++w) threads.emplace_back(loop, std::ref(*workers[w]));
    } catch (...) {
        // No thread to be had: the threads started and this one do the work.
    }
    loop(*workers[0]);
    for (std::thread& thread : threads) thread.join();
}

void makeAheadCalls(const std::vector<ArraySession*>& workers, std::vector<QzAheadCall>& calls,
                    std::vector<std::vector<KeptLine>>& lines, std::vector<ShareMemo>& memos) {
    memos.assign(calls.size(), ShareMemo());
    for (QzAheadCall& call : calls) call.made = false;
    std::vector<char> done;
    runOnWorkers(
        workers, calls.size(),
        [&](ArraySession& session, size_t i) {
            makeAheadCall(session, calls[i], memos[i]);
            calls[i].made = true;
            return !stopsBatch(calls[i]);
        },
        lines, done);
}

}  // namespace managehnas

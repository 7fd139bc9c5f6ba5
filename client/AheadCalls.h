// Calls made ahead (QzManageHNAS::runAhead): each on a session of its own
// connection, several at once, their log lines kept for the host's thread.
#pragma once

#include <functional>
#include <vector>

#include "client/ArrayOperations.h"
#include "client/ArraySession.h"
#include "host/QzManageHNAS.h"

namespace managehnas {

// The member name of a kind, e.g. "createFileSystemSnapshot".
const char* aheadOperationName(QzAheadKind kind);

// Makes `call` on `session` as its member makes it: the operation begun
// (a fresh retry budget), the same requests, and on failure the one failure
// line. Throws nothing: an exception ends the call as a failure.
// `memo`: the share a look-up read, for the caller to keep.
void makeAheadCall(ArraySession& session, QzAheadCall& call, ShareMemo& memo) noexcept;

// True when the outcome of `call` stops its batch (a failure).
bool stopsBatch(const QzAheadCall& call);

// Makes `calls` on the `workers` (each on its own thread, as many at once
// as there are workers, taking the next call as one ends, and starting none
// after a call that stopsBatch), every line of
// calls[i] kept in lines[i]. Returns when all are made. The workers must be
// open (openLike); they log nothing while they run.
// memos[i] is the share calls[i] read, if any.
void makeAheadCalls(const std::vector<ArraySession*>& workers, std::vector<QzAheadCall>& calls,
                    std::vector<std::vector<KeptLine>>& lines, std::vector<ShareMemo>& memos);

// Runs work(session, i) for i in [0, count) on the `workers`, as
// makeAheadCalls does (lines of item i kept in lines[i]; none started after
// one returned false). done[i] tells whether item i ran.
void runOnWorkers(const std::vector<ArraySession*>& workers, size_t count,
                  const std::function<bool(ArraySession&, size_t)>& work,
                  std::vector<std::vector<KeptLine>>& lines, std::vector<char>& done);

}  // namespace managehnas

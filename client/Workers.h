// Work spread over sessions of their own connection, several at once: the
// file systems' snapshot lists of getAllSnapshots, and the items of
// QzManageHNAS::runConcurrently. Lines are kept per item for the host's
// thread to log.
#pragma once

#include <functional>
#include <vector>

#include "client/ArraySession.h"

namespace managehnas {

// Runs work(session, i) for i in [0, count) on the `workers`, each on its
// own thread (the first on this one), as many at once as there are workers,
// taking the next item as one ends. Every line of item i is kept in
// lines[i]. `stopOnFalse`: no item is started after one returned false
// (those in flight still end). done[i] tells whether item i ran. The workers
// must be open (openLike); an exception ends its item as a false.
void runOnWorkers(const std::vector<ArraySession*>& workers, size_t count,
                  const std::function<bool(ArraySession&, size_t)>& work,
                  std::vector<std::vector<KeptLine>>& lines, std::vector<char>& done, bool stopOnFalse = true);

}  // namespace managehnas

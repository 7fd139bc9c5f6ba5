// A lean host snap descriptor for the benchmark: the in-memory descriptor
// over a state of its own and the one job every descriptor of a run shares.
// It records no calls and keeps no log lines: it formats each line, as a
// host writing its log would, and drops it. So the memory and cache traffic
// the benchmark sees is the plug-in's, not a recording fake's.
#pragma once

#include "hostkit/MemHost.h"

namespace bench {

class BenchHost : public hostkit::SnapState, public hostkit::MemSnapInfo {
public:
    // `job` (the arrays the host knows, e.g. "filer1"; the mount request
    // source) must outlive the descriptor.
    explicit BenchHost(const hostkit::HostJob& job) : MemSnapInfo(*this, job) {}
    BenchHost(const BenchHost&) = delete;
    BenchHost& operator=(const BenchHost&) = delete;
};

}  // namespace bench

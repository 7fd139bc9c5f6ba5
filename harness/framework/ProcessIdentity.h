// Whether a process still runs, told by what a file deletion cannot fake:
// its process ID with its start time. A process ID alone could meanwhile
// have been given to another process; a lock file can be removed by an
// operator clearing "stale" locks or by a temporary-file cleaner.
//
// A process ID means something only to a process that shares its view: the
// same boot of the same machine and the same PID namespace. A job started in
// a container of its own, on another host sharing the store, or where /proc
// hides other processes cannot be told alive or dead from /proc: its
// liveness is then unknown, never taken for its end.
#pragma once

#include <string>

enum class Liveness {
    Running,   // the process runs, with the start time recorded
    Ended,     // this process sees for certain that it does not
    Unknown,   // this process cannot tell
};

// The start time of this process in clock ticks since boot (field 22 of
// /proc/self/stat); 0 when /proc cannot tell.
unsigned long long ownStartTicks();

// This process's view of process IDs: the boot ID and the PID namespace,
// e.g. "b6509f8d-cce4-49d6-814d-1c0bb6631b4f pid:[4026531836]"; "" when
// /proc cannot tell.
std::string processView();

// Whether process `pid`, started at `ticks` and recorded in `view` (what
// ownStartTicks and processView said in it), still runs, as far as this
// process can tell. Unknown when `view` is not this process's (or either
// is ""), when `ticks` is 0, or when the process exists but /proc does not
// show its start time.
Liveness processLiveness(long long pid, unsigned long long ticks, const std::string& view);

// Whether a process still runs, told by what a file deletion cannot fake:
// its process ID with its start time. A process ID alone could meanwhile
// have been given to another process; a lock file can be removed by an
// operator clearing "stale" locks or by a temporary-file cleaner.
#pragma once

// The start time of process `pid` in clock ticks since boot (field 22 of
// /proc/<pid>/stat); false when no such process runs (gone, or a zombie
// that only waits to be reaped).
bool processStartTicks(long long pid, unsigned long long& ticks);

// The start time of this process; 0 when /proc cannot tell.
unsigned long long ownStartTicks();

// True when process `pid` runs and started at `ticks`.
bool sameProcessRuns(long long pid, unsigned long long ticks);

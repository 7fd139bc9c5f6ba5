// `hnas-host conformance ARRAY --file-system FS --directory DIR [--json]`:
// what only a real array can settle, checked on one: each assumption of the
// client that no public source confirms (array-api.md) is tried in turn,
// with objects of its own inside a scratch directory of a file system the
// operator names, and reported as confirmed, contradicted or unknown, with
// the setting or fallback that applies either way.
//
// It creates only objects whose names carry the conformance prefix
// ("QZCONF-<8 hex>-..."; snapshots with the appSearchId "QZCONF"), keeps a
// list of them, and removes them all at the end, also after a failure or a
// SIGINT or SIGTERM (the request under way ends first); then it looks for
// any that remain and lists them. It never changes another object, makes no
// directory (shares point at DIR, which must exist), and refuses a file
// system that is not mounted, has no free space or no room for two more
// snapshots, or holds a snapshot a live device of the store refers to.
#pragma once

#include <string>

#include "harness/framework/HostStore.h"

struct ConformanceOptions {
    std::string array;
    std::string fileSystem;   // label
    std::string directory;    // e.g. "\scratch" or "/scratch"
    bool json = false;
};

// kExitOk when every row is confirmed and nothing remains; kExitCheckFailed
// when a row is not, or an object could not be removed (listed);
// kExitBadInput (with `error`) for an unknown array or a file system it
// refuses; kExitHostError (with `error`) when the array cannot be reached.
int runConformance(HostStore& store, const ConformanceOptions& options, std::string& error);

// Looking at and changing what the simulated arrays hold, through the
// simulator's admin interface (GET /admin/state, POST /admin/seed).
#pragma once

#include <string>
#include <vector>

#include "simkit/SimProcess.h"

// A snapshot on a simulated array.
struct SimSnapshot {
    std::string array;        // simulator array name, e.g. "hnas1"
    std::string storedName;   // e.g. "QZHNAS-3f2a...-fs1"
    std::string fileSystem;   // label or ID as the state shows it
};

// A share or export on a simulated array.
struct SimShare {
    std::string array;
    std::string protocol;     // "CIFS" or "NFS"
    std::string name;         // e.g. "QZHNAS-3f2a...-data-projects-q3-QZShare", "/exp1"
    std::string path;
};

bool listSimSnapshots(const simkit::SimProcess& simulator, std::vector<SimSnapshot>& snapshots,
                      std::string& error);
bool listSimShares(const simkit::SimProcess& simulator, std::vector<SimShare>& shares, std::string& error);

// Removes the snapshot stored as `storedName` (e.g. "QZHNAS-3f2a...-fs2")
// from whichever array holds it, as an administrator would behind the
// plug-in's back: the array's state is read, the snapshot dropped, and the
// array seeded again with everything else as it was.
bool removeSimSnapshot(const simkit::SimProcess& simulator, const std::string& storedName, std::string& error);

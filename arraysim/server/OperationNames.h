// Names of the storage operations, as the admin interface's faults and call
// record use them (docs/arraysim.md), e.g. "rollbackSnapshot": each is given
// once, with its route, in StorageRoutes.cpp.
#pragma once

#include <string>

namespace arraysim {

// In a fault: every operation.
inline constexpr char kAnyOperation[] = "*";

// Whether `name` is a storage operation's, e.g. true for "listShares".
bool isStorageOperation(const std::string& name);

}  // namespace arraysim

// The admin interface's seed and state form of the arrays
// (docs/arraysim.md): the wire objects (WireJson.h) with what the state
// keeps beside them. Reading never throws: a malformed value is refused with
// a message naming it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "arraysim/model/ArrayTypes.h"
#include "arraysim/server/JsonValues.h"

namespace arraysim {

// {"arrays":[...]}.
Json stateToJson(const arraymodel::State& state);
Json arrayToJson(const arraymodel::Array& array);
// Builds arrays from a seed or saved state (missing IDs minted, creation
// times defaulting to `now`); refuses, with `error`, on the first bad value.
bool arraysFromJson(const Json& seed, uint64_t now, std::vector<arraymodel::Array>& arrays,
                    std::string& error);

}  // namespace arraysim

// The model in JSON: the wire forms of the storage API (docs/array-api.md)
// and the seed/state form of the admin interface and the state file
// (docs/arraysim.md). Reading never throws: a malformed value is refused
// with a message naming it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "arraysim/model/ArrayTypes.h"

namespace arraysim {

using Json = nlohmann::json;

// Wire forms.
Json settingsToJson(const arraymodel::ShareSettings& settings);
// Reads the wire keys present in `object` over `settings`; false (with
// `error` naming the key) when one has the wrong type.
bool settingsFromJson(const Json& object, arraymodel::ShareSettings& settings, std::string& error);
Json virtualServerToJson(const arraymodel::VirtualServer& server);
Json fileSystemToJson(const arraymodel::FileSystem& fileSystem);
Json shareToJson(const arraymodel::Share& share);
Json authenticationToJson(const arraymodel::Authentication& entry);
Json snapshotToJson(const arraymodel::Snapshot& snapshot);

// Seed/state form: {"arrays":[...]}.
Json stateToJson(const arraymodel::State& state);
Json arrayToJson(const arraymodel::Array& array);
// Builds arrays from a seed or saved state (missing IDs minted, creation
// times defaulting to `now`); refuses, with `error`, on the first bad value.
bool arraysFromJson(const Json& seed, uint64_t now, std::vector<arraymodel::Array>& arrays,
                    std::string& error);

// Readers of one member of a JSON object. A missing member leaves `out`
// unchanged and returns true unless `required`; a wrong type returns false.
bool readText(const Json& object, const char* key, std::string& out, bool required);
// Accepts a non-negative number or a decimal string ("1" or 1).
bool readUnsigned(const Json& object, const char* key, uint64_t& out, bool required);

// Serialises without throwing (bytes that are not UTF-8 are replaced).
std::string dumpJson(const Json& value);
// Deepest nesting of arrays and objects parseJson accepts.
constexpr size_t kMaxJsonDepth = 400;
// Parses without throwing; false for malformed text or text nested deeper
// than kMaxJsonDepth (deep nesting would cost a stack frame per level in
// the library's copies and comparisons).
bool parseJson(const std::string& text, Json& value);
// Whether `text` nests arrays and objects at most `most` deep (strings
// skipped); e.g. "[[1]]" nests 2 deep.
bool nestingWithin(const std::string& text, size_t most);

}  // namespace arraysim

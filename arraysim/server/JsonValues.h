// JSON for the simulator's HTTP interfaces: parsing and serialising without
// throwing, and readers of one member of an object that tell a missing
// member from one of the wrong type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace arraysim {

using Json = nlohmann::json;

// Readers of one member of a JSON object. A missing member leaves `out`
// unchanged and returns true unless `required`; a wrong type returns false.
bool readText(const Json& object, const char* key, std::string& out, bool required);
// Accepts a non-negative number or a decimal string ("1" or 1).
bool readUnsigned(const Json& object, const char* key, uint64_t& out, bool required);
// Optional members: missing leaves `out` unchanged and returns true.
bool readBool(const Json& object, const char* key, bool& out);
bool readInt32(const Json& object, const char* key, int32_t& out);
bool readTextList(const Json& object, const char* key, std::vector<std::string>& out);

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

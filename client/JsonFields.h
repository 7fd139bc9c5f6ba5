// Typed reads of the fields of one JSON object from the array, none of which
// throws. A field that is absent or null is "missing": an error when the
// field is required, else the output keeps its value. A field of the wrong
// type is always an error. `what` names the object in the cause, e.g.
// readText(snapshot, "objectId", true, out, "snapshot", cause) on {} gives
// the cause "missing field [objectId] in [snapshot]".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/BoundedJson.h"

namespace managehnas {

bool readText(const Json& object, const char* key, bool required, std::string& out,
              const char* what, std::string& cause);
// Numbers come as JSON numbers or, from v8 on, as quoted decimal texts
// ("123456789012", "-1"); both are read. A text that is not a plain decimal
// of the range ("1.5", " 1", "+1", "0x10", "") is refused like a wrong type.
// A non-negative integer.
bool readUnsigned(const Json& object, const char* key, bool required, uint64_t& out,
                  const char* what, std::string& cause);
bool readInt32(const Json& object, const char* key, bool required, int32_t& out,
               const char* what, std::string& cause);
bool readFlag(const Json& object, const char* key, bool required, bool& out, const char* what,
              std::string& cause);
// A list of texts, e.g. "ipAddresses": ["192.0.2.10"].
bool readTextList(const Json& object, const char* key, bool required,
                  std::vector<std::string>& out, const char* what, std::string& cause);

// The list under `key` of an answer, e.g. {"snapshots":[{...}]}; every entry
// must be an object.
bool listOf(const Json& answer, const char* key, const Json*& list, std::string& cause);
// The object under `key` of an answer, e.g. {"snapshot":{...}}.
bool objectOf(const Json& answer, const char* key, const Json*& object, std::string& cause);

// Parses an answer body into an object, without exceptions and within the
// bounds of BoundedJson.h; false with the cause for malformed JSON, a body
// that is not an object, or one that breaks the bounds.
bool parseObject(const std::string& text, Json& object, std::string& cause);
// Serialises a request body; false when a text in it is not valid UTF-8.
bool serialise(const Json& value, std::string& text, std::string& cause);

}  // namespace managehnas

#include "arraysim/server/JsonValues.h"

#include <limits>

namespace arraysim {

bool readText(const Json& object, const char* key, std::string& out, bool required) {
    auto it = object.find(key);
    if (it == object.end()) return !required;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool readUnsigned(const Json& object, const char* key, uint64_t& out, bool required) {
    auto it = object.find(key);
    if (it == object.end()) return !required;
    if (it->is_number_unsigned()) {
        out = it->get<uint64_t>();
        return true;
    }
    if (!it->is_string()) return false;
    const std::string text = it->get<std::string>();
    if (text.empty() || text.size() > 19) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    out = value;
    return true;
}

bool readBool(const Json& object, const char* key, bool& out) {
    auto it = object.find(key);
    if (it == object.end()) return true;
    if (!it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}

bool readInt32(const Json& object, const char* key, int32_t& out) {
    auto it = object.find(key);
    if (it == object.end()) return true;
    if (!it->is_number_integer()) return false;
    const int64_t value = it->get<int64_t>();
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

bool readTextList(const Json& object, const char* key, std::vector<std::string>& out) {
    auto it = object.find(key);
    if (it == object.end()) return true;
    if (!it->is_array()) return false;
    std::vector<std::string> values;
    for (const Json& item : *it) {
        if (!item.is_string()) return false;
        values.push_back(item.get<std::string>());
    }
    out = values;
    return true;
}

std::string dumpJson(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool nestingWithin(const std::string& text, size_t most) {
    size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > most) return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

bool parseJson(const std::string& text, Json& value) {
    if (!nestingWithin(text, kMaxJsonDepth)) return false;
    Json parsed = Json::parse(text, nullptr, false);
    if (parsed.is_discarded()) return false;
    value = std::move(parsed);
    return true;
}

}  // namespace arraysim

#include "client/JsonFields.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace managehnas {

namespace {

// The field, or nullptr when it is absent or null.
const Json* field(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

bool missing(bool required, const char* key, const char* what, std::string& cause) {
    if (!required) return true;
    cause = std::string("missing field [") + key + "] in [" + what + "]";
    return false;
}

bool wrongType(const char* key, const char* what, const char* expected, std::string& cause) {
    cause = std::string("field [") + key + "] of [" + what + "] is not " + expected;
    return false;
}

bool decimal(const std::string& text, uint64_t& out) {
    if (text.empty() || text.size() > 20) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    errno = 0;
    const unsigned long long value = strtoull(text.c_str(), nullptr, 10);
    if (errno != 0) return false;
    out = value;
    return true;
}

// "-12" -> -12; false for anything but an optional "-" and 1..19 digits.
bool signedDecimal(const std::string& text, int64_t& out) {
    const bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    const std::string digits = negative ? text.substr(1) : text;
    if (digits.size() > 19 || !decimal(digits, magnitude)) return false;
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    out = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

}  // namespace

bool readText(const Json& object, const char* key, bool required, std::string& out,
              const char* what, std::string& cause) {
    const Json* value = field(object, key);
    if (value == nullptr) return missing(required, key, what, cause);
    if (!value->is_string()) return wrongType(key, what, "a text", cause);
    out = value->get_ref<const std::string&>();
    return true;
}

bool readUnsigned(const Json& object, const char* key, bool required, uint64_t& out,
                  const char* what, std::string& cause) {
    const Json* value = field(object, key);
    if (value == nullptr) return missing(required, key, what, cause);
    if (value->is_number_unsigned()) {
        out = value->get<uint64_t>();
        return true;
    }
    if (value->is_number_integer() && value->get<int64_t>() >= 0) {
        out = static_cast<uint64_t>(value->get<int64_t>());
        return true;
    }
    if (value->is_string() && decimal(value->get_ref<const std::string&>(), out)) return true;
    return wrongType(key, what, "a number of 0 or more", cause);
}

bool readInt32(const Json& object, const char* key, bool required, int32_t& out,
               const char* what, std::string& cause) {
    const Json* value = field(object, key);
    if (value == nullptr) return missing(required, key, what, cause);
    int64_t n = 0;
    bool isInteger = false;
    if (value->is_number_unsigned()) {
        const uint64_t u = value->get<uint64_t>();
        isInteger = u <= static_cast<uint64_t>(INT32_MAX);
        n = isInteger ? static_cast<int64_t>(u) : 0;
    } else if (value->is_number_integer()) {
        n = value->get<int64_t>();
        isInteger = true;
    } else if (value->is_string()) {
        isInteger = signedDecimal(value->get_ref<const std::string&>(), n);
    }
    if (isInteger && n >= INT32_MIN && n <= INT32_MAX) {
        out = static_cast<int32_t>(n);
        return true;
    }
    return wrongType(key, what, "a 32-bit integer", cause);
}

bool readFlag(const Json& object, const char* key, bool required, bool& out, const char* what,
              std::string& cause) {
    const Json* value = field(object, key);
    if (value == nullptr) return missing(required, key, what, cause);
    if (!value->is_boolean()) return wrongType(key, what, "true or false", cause);
    out = value->get<bool>();
    return true;
}

bool readTextList(const Json& object, const char* key, bool required,
                  std::vector<std::string>& out, const char* what, std::string& cause) {
    const Json* value = field(object, key);
    if (value == nullptr) return missing(required, key, what, cause);
    if (!value->is_array()) return wrongType(key, what, "a list of texts", cause);
    std::vector<std::string> texts;
    for (const Json& entry : *value) {
        if (!entry.is_string()) return wrongType(key, what, "a list of texts", cause);
        texts.push_back(entry.get_ref<const std::string&>());
    }
    out.swap(texts);
    return true;
}

bool listOf(const Json& answer, const char* key, const Json*& list, std::string& cause) {
    const Json* value = field(answer, key);
    if (value == nullptr) return missing(true, key, "answer", cause);
    if (!value->is_array()) return wrongType(key, "answer", "a list", cause);
    for (const Json& entry : *value)
        if (!entry.is_object()) return wrongType(key, "answer", "a list of objects", cause);
    list = value;
    return true;
}

bool objectOf(const Json& answer, const char* key, const Json*& object, std::string& cause) {
    const Json* value = field(answer, key);
    if (value == nullptr) return missing(true, key, "answer", cause);
    if (!value->is_object()) return wrongType(key, "answer", "an object", cause);
    object = value;
    return true;
}

bool parseObject(const std::string& text, Json& object, std::string& cause) {
    return parseBounded(text, nullptr, object, cause);
}

bool serialise(const Json& value, std::string& text, std::string& cause) {
    try {
        text = value.dump();
    } catch (const Json::exception&) {
        cause = "a text of the request is not valid UTF-8";
        return false;
    }
    return true;
}

}  // namespace managehnas

#include "harness/framework/ArrayInfoText.h"

namespace {

// Characters that end or open a key/value pair in the text.
const char kUnsafeCharacters[] = "{},";

bool checkValue(const char* what, const std::string& value, bool secret, std::string& error,
                bool mayBeEmpty = false) {
    if (value.empty() && mayBeEmpty) return true;
    if (value.empty()) {
        error = std::string("the ") + what + " is empty";
        return false;
    }
    if (value.find_first_of(kUnsafeCharacters) != std::string::npos) {
        error = std::string("the ") + what + (secret ? "" : " \"" + value + "\"") +
                " contains one of { } , which the array-info text cannot carry";
        return false;
    }
    return true;
}

}  // namespace

bool composeArrayInfo(const ArrayLogin& login, std::string& text, std::string& error) {
    if (!checkValue("array ID", login.arrayId, false, error) ||
        !checkValue("control host", login.controlHost, false, error) ||
        !checkValue("user name", login.user, false, error, !login.apiKeyFile.empty()) ||
        !checkValue("password", login.password, true, error, !login.apiKeyFile.empty())) {
        return false;
    }
    text = "{arrayId:" + login.arrayId + ",hostName:" + login.controlHost + ",hostUserName:" + login.user +
           ",hostPassword:" + login.password + ",hostid:" + std::to_string(login.controlHostId) + "}";
    return true;
}

std::string arrayInfoValue(const std::string& text, const std::string& key) {
    for (const char opener : {'{', ','}) {
        const std::string marker = std::string(1, opener) + key + ":";
        const size_t at = text.find(marker);
        if (at == std::string::npos) continue;
        const size_t start = at + marker.size();
        size_t end = text.find_first_of(",}", start);
        if (end == std::string::npos) end = text.size();
        return text.substr(start, end - start);
    }
    return std::string();
}

bool makeArrayRecord(const std::string& name, const std::string& vendor, const ArrayLogin& login,
                     const std::map<std::string, std::string>& configs, ArrayRecord& record, std::string& error) {
    if (name.empty() || name.find('|') != std::string::npos) {
        error = "an array name must be non-empty and without \"|\"";
        return false;
    }
    if (vendor.empty()) {
        error = "the vendor is empty";
        return false;
    }
    record = ArrayRecord();
    record.name = name;
    record.vendor = vendor;
    record.controlHostId = login.controlHostId;
    record.configs = configs;
    record.apiKeyFile = login.apiKeyFile;
    return composeArrayInfo(login, record.arrayInfo, error);
}

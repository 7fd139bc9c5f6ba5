#include "harness/framework/JsonOutput.h"

#include "harness/framework/ArrayInfoText.h"
#include "harness/framework/HostOperations.h"
#include "harness/framework/LogPruning.h"

namespace {

// The store keeps the devices of a job as their names joined by ",".
JsonValue splitNames(const std::string& joined) {
    JsonValue names = JsonValue::array();
    size_t start = 0;
    while (start < joined.size()) {
        size_t end = joined.find(',', start);
        if (end == std::string::npos) end = joined.size();
        names.push_back(joined.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

JsonValue logPath(const std::string& path) { return logFilePresent(path) ? JsonValue(path) : JsonValue(); }

}  // namespace

JsonValue jsonDocument(const std::string& command) {
    JsonValue document = JsonValue::object();
    document["format"] = kJsonFormat;
    document["command"] = command;
    return document;
}

std::string jsonText(const JsonValue& document) {
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

JsonValue textOrNull(const std::string& text) { return text.empty() ? JsonValue() : JsonValue(text); }

void addStatus(JsonValue& object, int status) {
    object["status"] = status;
    object["statusName"] = snapStatusName(status);
}

JsonValue deviceStateJson(const DeviceRecord& device) {
    JsonValue d = deviceJson(device);
    d["arrayName"] = textOrNull(device.arrayName);
    addStatus(d, device.status);
    d["errorCode"] = device.errorCode;
    d["errorMessage"] = device.errorMessage;
    d["snapUUID"] = textOrNull(device.snapUUID);
    d["snapDevice"] = textOrNull(device.snapDevice);
    if (device.lastJobId == 0) {
        d["lastJob"] = nullptr;
    } else {
        d["lastJob"] = {{"id", device.lastJobId}, {"outcome", device.lastJobOutcome}};
    }
    JsonValue metadata = JsonValue::array();
    for (const auto& m : device.metadata) metadata.push_back({{"type", m.first}, {"text", m.second}});
    d["metadata"] = metadata;
    return d;
}

JsonValue deviceJson(const DeviceRecord& device) {
    JsonValue d = JsonValue::object();
    d["id"] = device.id;
    d["label"] = textOrNull(device.label);
    d["name"] = deviceDisplayName(device);
    d["sourceDevice"] = device.sourceDevice;
    return d;
}

JsonValue jobJson(const JobRecord& job) {
    JsonValue j = JsonValue::object();
    j["id"] = job.id;
    j["operation"] = job.operation;
    j["devices"] = splitNames(job.devices);
    j["started"] = job.started;
    j["finished"] = textOrNull(job.finished);
    j["pluginResult"] = job.returnCode < 0 ? JsonValue() : JsonValue(job.returnCode);
    j["outcome"] = job.outcome;
    j["hostLog"] = logPath(job.hostLog);
    j["pluginLog"] = logPath(job.pluginLog);
    j["logsGone"] = !logFilePresent(job.hostLog) && !logFilePresent(job.pluginLog);
    return j;
}

JsonValue jobResultJson(const JobResultRecord& result) {
    JsonValue r = JsonValue::object();
    r["deviceId"] = result.deviceId;
    r["name"] = result.deviceName;
    addStatus(r, result.status);
    r["errorCode"] = result.errorCode;
    r["errorMessage"] = result.errorMessage;
    r["snapUUID"] = textOrNull(result.snapUUID);
    r["snapDevice"] = textOrNull(result.snapDevice);
    return r;
}

JsonValue arrayJson(const ArrayRecord& array) {
    JsonValue a = JsonValue::object();
    a["name"] = array.name;
    a["vendor"] = array.vendor;
    a["controlHostId"] = array.controlHostId;
    a["arrayId"] = arrayInfoValue(array.arrayInfo, "arrayId");
    a["controlHost"] = arrayInfoValue(array.arrayInfo, "hostName");
    a["user"] = textOrNull(arrayInfoValue(array.arrayInfo, "hostUserName"));
    a["credential"] = array.apiKeyFile.empty() ? "password" : "apiKey";
    a["apiKeyFile"] = textOrNull(array.apiKeyFile);
    JsonValue configs = JsonValue::object();
    for (const auto& c : array.configs) configs[c.first] = c.second;
    a["configs"] = configs;
    return a;
}

JsonValue settingJson(const SettingRecord& setting) {
    return {{"section", setting.section}, {"key", setting.key}, {"value", setting.value}};
}

// The machine-readable output of hnas-host (--json): one JSON document per
// command on standard output, shaped as docs/json-output.md describes.
// Every document opens with "format" (the shape's version, bumped only when
// a key changes meaning or goes away) and "command". Keys are camelCase, in
// a fixed order. Text is UTF-8: quotes, backslashes and control characters
// are escaped, and a byte that is not part of valid UTF-8 becomes U+FFFD
// (the tables show such bytes as they are stored).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "harness/framework/HostRecords.h"

using JsonValue = nlohmann::ordered_json;

constexpr int kJsonFormat = 1;

// {"format": 1, "command": <command>}, to which the command adds its keys.
JsonValue jsonDocument(const std::string& command);

// The document as printed: indented by two, ending in a line break.
std::string jsonText(const JsonValue& document);

// A device as `state` shows it: names, source device, attached array,
// status (number and name), error, snap UUID and device, last job,
// metadata.
JsonValue deviceStateJson(const DeviceRecord& device);

// A device as `list-devices` shows it: id, label, name, source device.
JsonValue deviceJson(const DeviceRecord& device);

// A job of the history, with its log files: a path while the file is
// there, null once it was removed ("logsGone": true).
JsonValue jobJson(const JobRecord& job);

// A device's result in one job (`history --job N`, `run`).
JsonValue jobResultJson(const JobResultRecord& result);

// An array without its password: names, IDs, user, the kind of credential,
// configuration values.
JsonValue arrayJson(const ArrayRecord& array);

// One setting: section, key, value.
JsonValue settingJson(const SettingRecord& setting);

// A status by number and by name, e.g. 12 and "MAPPED".
void addStatus(JsonValue& object, int status);

// `text`, or null when it is empty.
JsonValue textOrNull(const std::string& text);

// Prints {"format": 1, "command": <command>, <key>: [each item as
// `toJson` makes it]} on standard output; returns 0, the exit code.
template <typename Item>
int printListJson(const std::string& command, const char* key, const std::vector<Item>& items,
                  JsonValue (*toJson)(const Item&)) {
    JsonValue document = jsonDocument(command);
    JsonValue list = JsonValue::array();
    for (const Item& item : items) list.push_back(toJson(item));
    document[key] = list;
    printf("%s", jsonText(document).c_str());
    return 0;
}

// The API key files of arrays: checked, as the array client reads them, when
// an array is added or updated, and handed to the client of each job through
// the settings file, one section per array (the client's section, "/", the
// array's control host, ":" and its management port), so that a key reaches
// the array it was given for and no other. An array reached with its user
// and password gets an empty key in its section, so that no key reaches it.
// The plug-in and the array-info text it reads know nothing of it.
#pragma once

#include <string>
#include <vector>

#include "harness/framework/HostRecords.h"

// The management port the plug-in hands the client for `array`:
// SMCONFIG_NAME_METRO_SERVER_PORT when it is a positive number, else 8444.
int managementPort(const ArrayRecord& array);

// The section the client reads `array`'s key file from, e.g.
// "~Vorlane/HNASClient/hnas1.example:8444".
std::string arrayKeySection(const ArrayRecord& array);

// The sApiKeyFile of each array's own section, in the order of `arrays`:
// the path of its key file, or "" for an array reached with its user and
// password, which the client then sends whatever key its section names.
// An array whose control host cannot name a section gets none.
std::vector<SettingRecord> arrayKeySettings(const std::vector<ArrayRecord>& arrays);

// True for the client section's sApiKeyFile, a key for every array. Each
// array hnas-host knows has a credential of its own, so set-setting refuses
// it with kKeyForEveryArrayRefused, and one a store holds from an earlier
// version reaches no array: each array's own section comes first.
bool isKeyForEveryArray(const SettingRecord& setting);
extern const char kKeyForEveryArrayRefused[];

// The settings file of a job or of a command that reaches an array: the
// store's settings, then every array's key section (a later line wins, so a
// section set by hand cannot override an array's key). The client section's
// key is left out while an array has no section of its own.
std::string settingsFileText(const std::vector<SettingRecord>& settings, const std::vector<ArrayRecord>& arrays);

// Checks the key file the operator names (e.g. "hnas1.key") as the client
// will read it: a regular file, not a link or FIFO, of at most 4096 bytes,
// holding one key. `absolute` is the path made absolute against the current
// directory (a job runs elsewhere); `othersMayRead` tells whether its mode
// lets the group or others read it. False with the reason (never the key).
bool checkApiKeyFile(const std::string& path, std::string& absolute, bool& othersMayRead, std::string& error);

// "the API key file [/k] of array hnas1 is readable by other users of this
// host; limit it to the backup service (chmod 600 /k)"; `whose` e.g.
// "array hnas1".
std::string readableKeyFileWarning(const std::string& path, const std::string& whose);

// The warning above for every key file a job's client may read that others
// may read: each array's, and the one of the client's section.
std::vector<std::string> readableKeyFileWarnings(const std::vector<ArrayRecord>& arrays,
                                                 const std::vector<SettingRecord>& settings);

// False with the reason when the array `candidate` (being added or updated)
// cannot have a section of its own: its control host holds a character a
// section name cannot (a blank, "[", "]", a control character), or another
// array of `arrays` has the same control host and port with another key file
// (or none while it has one). The client tells arrays apart by control host
// and port alone.
bool checkArrayKeySection(const std::vector<ArrayRecord>& arrays, const ArrayRecord& candidate, std::string& error);

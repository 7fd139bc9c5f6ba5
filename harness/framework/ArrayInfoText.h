// The array-info text the host hands the plug-in for an array: keys and
// values in braces, without quoting, e.g.
//   {arrayId:evs1,hostName:10.0.0.5,hostUserName:supervisor,hostPassword:pw,hostid:1}
// A value holding "{", "," or "}" could not be read back whole (or could
// shadow another key), so such values are refused when an array is added.
#pragma once

#include <map>
#include <string>

#include "harness/framework/HostRecords.h"

struct ArrayLogin {
    std::string arrayId;       // the virtual server's name or address, e.g. "evs1"
    std::string controlHost;   // e.g. "10.0.0.5"
    std::string user;          // may be empty with an API key file
    std::string password;      // empty with an API key file
    int controlHostId = 0;
    std::string apiKeyFile;    // e.g. "/etc/hnas/hnas1.key"; "" = user and password
};

// Builds the text; false with the reason (never the password itself) when a
// value cannot be carried. With an API key file the user and password may be
// empty: the plug-in reads "hostUserName:" and "hostPassword:" with empty
// values as present, and hands them to the client, which sends the key.
bool composeArrayInfo(const ArrayLogin& login, std::string& text, std::string& error);

// The value of `key` in an array-info text, "" when absent; for showing the
// array without its password (e.g. key "arrayId").
std::string arrayInfoValue(const std::string& text, const std::string& key);

// The record the store keeps for an array registered under `name` (e.g.
// "hnas1"; "|" is refused, as it separates names in the host's lists),
// with its configuration values (e.g. SMCONFIG_NAME_METRO_SERVER_PORT -> "8444").
bool makeArrayRecord(const std::string& name, const std::string& vendor, const ArrayLogin& login,
                     const std::map<std::string, std::string>& configs, ArrayRecord& record, std::string& error);

// Names under which the host keeps array information and configuration.
// These names are a contract with the host's settings and array
// configuration: keep them character for character.
#pragma once

namespace QZSO {

// Vendor name of HNAS arrays in the host's array list.
constexpr char kHnasVendor[] = "Hitachi NAS";
// Separator of the host's array lists and of a several-name setArrayName.
constexpr char kArrayListSeparator = '|';
// Per-array configuration: the management endpoint's port and address.
constexpr char kMetroServerPortConfig[] = "SMCONFIG_NAME_METRO_SERVER_PORT";
constexpr char kMetroServerIpConfig[] = "SMCONFIG_NAME_METRO_SERVER_IP";
// Port of the management endpoint when none is configured.
constexpr int kDefaultManagementPort = 8444;

}  // namespace QZSO

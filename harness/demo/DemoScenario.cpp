#include "harness/demo/DemoScenario.h"

#include <nlohmann/json.hpp>

#include "harness/framework/ArrayInfoText.h"
#include "host/ArrayConfigNames.h"
#include "host/SettingsKeys.h"
#include "client/ClientSettings.h"

const char kDemoArray1[] = "hnas1";
const char kDemoArray2[] = "hnas2";
const char kDemoHostArray1[] = "hnas1";
const char kDemoHostArray2[] = "evs2";
const char kDemoUser1[] = "hnas1-supervisor";
const char kDemoUser2[] = "hnas2-supervisor";

namespace {

const char kLoopback[] = "127.0.0.1";

// The world without passwords; every value avoids "," so that it travels
// whole through the plug-in's metadata texts.
const char kSeedTemplate[] = R"JSON({
  "arrays": [
    {
      "name": "hnas1",
      "virtualServers": [
        {"virtualServerId": 1, "name": "evs1", "ipAddresses": ["127.0.1.10"]}
      ],
      "filesystems": [
        {"label": "fs1", "virtualServerId": 1, "capacity": 1099511627776, "usedCapacity": 107374182400,
         "freeCapacity": 992137445376},
        {"label": "fs2", "virtualServerId": 1, "capacity": 549755813888, "usedCapacity": 53687091200,
         "freeCapacity": 496068722688}
      ],
      "shares": [
        {"protocol": "CIFS", "name": "data", "virtualServerId": 1, "filesystem": "fs1", "path": "\\data",
         "settings": {"comment": "team data", "maxConcurrentUsers": 50, "isABEEnabled": true},
         "authentications": [
           {"name": "Everyone", "permission": 56, "type": "WELLKNOWN"},
           {"name": "Administrators", "permission": 7, "type": "ALIAS"}
         ]},
        {"protocol": "CIFS", "name": "scratch", "virtualServerId": 1, "filesystem": "fs1", "path": "\\scratch"},
        {"protocol": "NFS", "name": "/exp1", "virtualServerId": 1, "filesystem": "fs2", "path": "/exp1",
         "settings": {"accessConfig": "127.0.0.0/8(rw) *(ro)", "comment": "builds"}}
      ]
    },
    {
      "name": "hnas2",
      "virtualServers": [
        {"virtualServerId": 2, "name": "evs2", "ipAddresses": ["127.0.2.10", "127.0.2.11"]}
      ],
      "filesystems": [
        {"label": "fs3", "virtualServerId": 2, "capacity": 2199023255552, "usedCapacity": 219902325555,
         "freeCapacity": 1979120929997}
      ],
      "shares": [
        {"protocol": "NFS", "name": "/exp3", "virtualServerId": 2, "filesystem": "fs3", "path": "/exp3",
         "settings": {"accessConfig": "*(rw)"}},
        {"protocol": "CIFS", "name": "home", "virtualServerId": 2, "filesystem": "fs3", "path": "\\home",
         "authentications": [{"name": "Users", "permission": 56, "type": "ALIAS"}]}
      ]
    }
  ]
})JSON";

}  // namespace

std::string demoSeedJson(const DemoPasswords& passwords) {
    nlohmann::json seed = nlohmann::json::parse(kSeedTemplate, nullptr, false);
    if (seed.is_discarded()) return std::string();
    seed["arrays"][0]["user"] = kDemoUser1;
    seed["arrays"][0]["password"] = passwords.hnas1;
    seed["arrays"][1]["user"] = kDemoUser2;
    seed["arrays"][1]["password"] = passwords.hnas2;
    return seed.dump(2);
}

const std::vector<DemoDevice>& demoDevices() {
    static const std::vector<DemoDevice> devices = {
        {"cifs-data", R"({vortype:,vendor:Hitachi HNAS,type:unc,lunuuid:\\hnas1\\data\\projects\\q3,targethostname:hnas1})",
         "CIFS share data on hnas1, sub-directory projects\\q3"},
        {"nfs-exp1", R"({vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\/exp1,targethostname:hnas1})",
         "NFS export /exp1 on hnas1"},
        {"native-home", R"({type:native_hnas,path:/__VOLUME__/fs3/home,targethostname:127.0.2.11})",
         "native path fs3/home on hnas2, filer named by address"},
        {"nfs-exp3", R"({vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\/exp3,targethostname:127.0.2.11})",
         "NFS export /exp3 on hnas2, same file system fs3"},
    };
    return devices;
}

bool registerDemoArrays(HostStore& store, int port, const DemoPasswords& passwords, std::string& error) {
    const std::map<std::string, std::string> configs = {
        {QZSO::kMetroServerIpConfig, kLoopback},
        {QZSO::kMetroServerPortConfig, std::to_string(port)},
    };
    struct Entry {
        const char* hostName;
        const char* arrayId;
        const char* user;
        const std::string& password;
        int controlHostId;
    };
    const Entry entries[] = {
        {kDemoHostArray1, "evs1", kDemoUser1, passwords.hnas1, 1},
        {kDemoHostArray2, "evs2", kDemoUser2, passwords.hnas2, 2},
    };
    for (const Entry& e : entries) {
        ArrayLogin login;
        login.arrayId = e.arrayId;
        login.controlHost = kLoopback;
        login.user = e.user;
        login.password = e.password;
        login.controlHostId = e.controlHostId;
        ArrayRecord record;
        if (!makeArrayRecord(e.hostName, QZSO::kHnasVendor, login, configs, record, error) ||
            !store.addArray(record, error)) {
            return false;
        }
    }
    return true;
}

bool addDemoDevices(HostStore& store, std::string& error) {
    for (const DemoDevice& d : demoDevices()) {
        DeviceRecord device;
        device.label = d.label;
        device.sourceDevice = d.sourceDevice;
        if (!store.addDevice(device, error)) return false;
    }
    return true;
}

bool storeDemoSettings(HostStore& store, const std::string& caFile, int revertWaitSecs, std::string& error) {
    const SettingRecord settings[] = {
        {kSettingsSection, kRevertMountPathRefreshWait, std::to_string(revertWaitSecs)},
        {managehnas::kClientSection, managehnas::kCaFileKey, caFile},
        {managehnas::kClientSection, managehnas::kConnectTimeoutKey, "5"},
        {managehnas::kClientSection, managehnas::kRequestTimeoutKey, "10"},
    };
    for (const SettingRecord& s : settings)
        if (!store.setSetting(s, error)) return false;
    return true;
}

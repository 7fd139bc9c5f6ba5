// Metadata written by the device reads back as written: the input fills a
// record (fields separated by "\n"), the device stores type 6 and type 16
// through the recording host, and whatever it agreed to store must read
// back field for field (a comment up to its first reserved character).
// Refused records store nothing.
#include "device/HNASSnapDevice.h"
#include "fuzz/FuzzInput.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "utils/HNASUtils.h"

namespace {

// Input layout: 9 identity texts, 8 settings texts, a flags byte, a number,
// then permission entries of four texts each (permission, encoded name,
// name, type).
const std::size_t kIdentityFields = 9;
const std::size_t kSettingsFields = 8;
const std::size_t kFixedFields = kIdentityFields + kSettingsFields + 2;
const std::size_t kMaxEntries = 3;

void fill(const std::vector<std::string>& in, _HNASDeviceInfo& info) {
    std::size_t i = 0;
    info.fileSystemName = in[i++];
    info.fileSystemId = in[i++];
    info.sharePath = in[i++];
    info.path = in[i++];
    info.subDirectory = in[i++];
    info.snapshotObjectId = in[i++];
    info.virtualServerId = in[i++];
    info.virtualServerObjectId = in[i++];
    info.snapUUID = in[i++];
    __HNASFileSystemShareSettings& s = info.shareSettings;
    s.accessConfig = in[i++];
    s.cacheOption = in[i++];
    s.comment = in[i++];
    s.localReadCacheOption = in[i++];
    s.snapshotOption = in[i++];
    s.transferToReplicationTarget = in[i++];
    s.userHomeDirectoryMode = in[i++];
    s.userHomeDirectoryPath = in[i++];
    const std::string& flags = in[i++];
    const unsigned bits = flags.empty() ? 0u : static_cast<unsigned char>(flags[0]);
    s.abeEnabled = bits & 1u;
    s.followGlobalSymLinks = bits & 2u;
    s.followSymLinks = bits & 4u;
    s.forceFileNameToLowercase = bits & 8u;
    s.scanForVirusesEnabled = bits & 16u;
    int32_t number = 0;
    for (const char c : in[i++]) number = static_cast<int32_t>(static_cast<uint32_t>(number) * 31u + static_cast<unsigned char>(c));
    s.maxConcurrentUsers = number;
    for (std::size_t e = 0; e < kMaxEntries && i + 4 <= in.size(); ++e) {
        __HNASCIFSAuthentication entry;
        int32_t permission = 0;
        for (const char c : in[i++]) permission = static_cast<int32_t>(static_cast<uint32_t>(permission) * 7u + static_cast<unsigned char>(c));
        entry.permission = permission;
        entry.encodedName = in[i++];
        entry.name = in[i++];
        entry.type = in[i++];
        if (entry.encodedName.empty() && entry.name.empty() && entry.type.empty()) break;
        s.permissions.push_back(entry);
    }
}

bool sameEntries(const std::vector<__HNASCIFSAuthentication>& a,
                 const std::vector<__HNASCIFSAuthentication>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].permission != b[i].permission || a[i].encodedName != b[i].encodedName ||
            a[i].name != b[i].name || a[i].type != b[i].type) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::vector<std::string> in =
        fuzzinput::fields(data, size, kFixedFields + 4 * kMaxEntries);
    _HNASDeviceInfo written;
    fill(in, written);
    HNASUtils utils(1);

    {
        fakehost::FakeSnapInfo host;
        HNASSnapDevice device(&host, nullptr, HNAS_SNAP_OP_PREPARE);
        const bool stored = device.setMetadata(written, SM_MDT_SNAP_UUID);
        fuzzinput::require(stored == !host.metadataWrites.empty());
        if (stored) {
            _HNASDeviceInfo read;
            fuzzinput::require(utils.parseMetaData(SM_MDT_SNAP_UUID,
                                                   host.metadataWrites.back().second.c_str(), read));
            const std::string& path = written.sharePath.empty() ? written.path : written.sharePath;
            fuzzinput::require(read.fileSystemName == written.fileSystemName);
            fuzzinput::require(read.fileSystemId == written.fileSystemId);
            fuzzinput::require(read.sharePath == path);
            fuzzinput::require(read.subDirectory == written.subDirectory);
            fuzzinput::require(read.snapshotObjectId == written.snapshotObjectId);
            fuzzinput::require(read.virtualServerId == written.virtualServerId);
            fuzzinput::require(read.virtualServerObjectId == written.virtualServerObjectId);
        }
    }
    {
        fakehost::FakeSnapInfo host;
        HNASSnapDevice device(&host, nullptr, HNAS_SNAP_OP_PREPARE);
        const bool stored = device.setMetadata(written, SM_MDT_FS_INFO);
        fuzzinput::require(stored == !host.metadataWrites.empty());
        if (stored) {
            _HNASDeviceInfo read;
            fuzzinput::require(utils.parseMetaData(SM_MDT_FS_INFO,
                                                   host.metadataWrites.back().second.c_str(), read));
            const __HNASFileSystemShareSettings& w = written.shareSettings;
            const __HNASFileSystemShareSettings& r = read.shareSettings;
            fuzzinput::require(r.abeEnabled == w.abeEnabled);
            fuzzinput::require(r.followGlobalSymLinks == w.followGlobalSymLinks);
            fuzzinput::require(r.followSymLinks == w.followSymLinks);
            fuzzinput::require(r.forceFileNameToLowercase == w.forceFileNameToLowercase);
            fuzzinput::require(r.scanForVirusesEnabled == w.scanForVirusesEnabled);
            fuzzinput::require(r.maxConcurrentUsers == w.maxConcurrentUsers);
            fuzzinput::require(r.accessConfig == w.accessConfig);
            fuzzinput::require(r.cacheOption == w.cacheOption);
            // The free-text comment is stored up to its first reserved character.
            fuzzinput::require(r.comment == w.comment.substr(0, w.comment.find_first_of(std::string(",{}\0", 4))));
            fuzzinput::require(r.localReadCacheOption == w.localReadCacheOption);
            fuzzinput::require(r.snapshotOption == w.snapshotOption);
            fuzzinput::require(r.transferToReplicationTarget == w.transferToReplicationTarget);
            fuzzinput::require(r.userHomeDirectoryMode == w.userHomeDirectoryMode);
            fuzzinput::require(r.userHomeDirectoryPath == w.userHomeDirectoryPath);
            fuzzinput::require(sameEntries(r.permissions, w.permissions));
        }
    }
    return 0;
}

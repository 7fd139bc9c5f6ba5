// Metadata written by the device reads back as written: the input fills a
// record (fields separated by "\n"), the device stores type 6 and type 16
// through the recording host. Type 6 is always stored: each value reads back
// whole, or (the share path always, any other value only when it is named
// under "CutValues") up to its first reserved character, and no value is
// named that was not cut. Type 16 is stored field for field (the comment up
// to its first reserved character), or as an empty text.
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

// A value up to its first reserved character: how a cut value is stored.
std::string cut(const std::string& value) {
    return value.substr(0, value.find_first_of(std::string(",{}\0", 4)));
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
        fuzzinput::require(device.setMetadata(written, SM_MDT_SNAP_UUID));
        fuzzinput::require(host.metadataWrites.size() == 1);
        _HNASDeviceInfo read;
        fuzzinput::require(utils.parseMetaData(SM_MDT_SNAP_UUID, host.metadataWrites.back().second.c_str(), read));
        const std::string& path = written.sharePath.empty() ? written.path : written.sharePath;
        fuzzinput::require(read.sharePath == cut(path));
        // Entry i of kMdActedOnKeys, bit i of cutMetadataValues.
        const std::string* actedOn[] = {&written.fileSystemName,   &written.fileSystemId,
                                        &written.subDirectory,     &written.snapshotObjectId,
                                        &written.virtualServerId,  &written.virtualServerObjectId};
        const std::string* readBack[] = {&read.fileSystemName,  &read.fileSystemId,    &read.subDirectory,
                                         &read.snapshotObjectId, &read.virtualServerId, &read.virtualServerObjectId};
        for (std::size_t i = 0; i < 6; ++i) {
            const bool wasCut = (read.cutMetadataValues & (1u << i)) != 0;
            fuzzinput::require(*readBack[i] == (wasCut ? cut(*actedOn[i]) : *actedOn[i]));
            fuzzinput::require(!wasCut || cut(*actedOn[i]) != *actedOn[i]);
        }
    }
    {
        fakehost::FakeSnapInfo host;
        HNASSnapDevice device(&host, nullptr, HNAS_SNAP_OP_PREPARE);
        fuzzinput::require(device.setMetadata(written, SM_MDT_FS_INFO));
        fuzzinput::require(host.metadataWrites.size() == 1);
        const std::string& text = host.metadataWrites.back().second;
        if (!text.empty()) {
            _HNASDeviceInfo read;
            fuzzinput::require(utils.parseMetaData(SM_MDT_FS_INFO, text.c_str(), read));
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
            fuzzinput::require(r.comment == cut(w.comment));
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

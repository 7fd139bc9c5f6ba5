#include "tests/support/EngineFixture.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

void seedArray(arraymodel::Array& a, const std::string& evsName, const std::string& address) {
    arraymodel::VirtualServer evs;
    evs.id = 1;
    evs.name = evsName;
    evs.ipAddresses = {address};
    ASSERT_TRUE(arraymodel::addVirtualServer(a, evs).ok());
    for (const char* label : {"fs1", "fs2", "fs3"}) {
        arraymodel::FileSystem fs;
        fs.label = label;
        fs.virtualServerId = 1;
        ASSERT_TRUE(arraymodel::addFileSystem(a, fs).ok());
    }
    arraymodel::Share data;
    data.protocol = arraymodel::Protocol::Cifs;
    data.name = "data";
    data.virtualServerId = 1;
    data.fileSystemId = "fs1";
    data.path = "\\data";
    data.settings.comment = "source share";
    data.settings.maxConcurrentUsers = 40;
    data.authentications.push_back({"Administrators", "", 56, "GROUP"});
    data.authentications.push_back({"Everyone", "", 8, "WELLKNOWN"});
    ASSERT_TRUE(arraymodel::addShare(a, data).ok());
    arraymodel::Share exp;
    exp.protocol = arraymodel::Protocol::Nfs;
    exp.name = "/exp1";
    exp.virtualServerId = 1;
    exp.fileSystemId = "fs2";
    exp.path = "/exp1";
    exp.settings.accessConfig = "*(rw)";
    ASSERT_TRUE(arraymodel::addShare(a, exp).ok());
}

}  // namespace

EngineFixture::EngineFixture() {
    seedArray(array.addArray("hnas1", "admin", "pw1-Secret"), "evs1", "192.0.2.10");
    seedArray(array.addArray("hnas2", "admin2", "pw2-Secret"), "evs2", "192.0.2.20");
}

fakehost::FakeSnapInfo& EngineFixture::addDevice(const std::string& source, const std::string& uuid) {
    snaps.emplace_back(new fakehost::FakeSnapInfo);
    fakehost::FakeSnapInfo& snap = *snaps.back();
    snap.sourceDevice = source;
    snap.snapUUID = uuid;
    snap.knowArray("filer1", kInfo1);
    snap.knowArray("filer2", kInfo2);
    snap.knowArray("filer1b", kInfo1b);
    snap.valueInts[QZSO::GET_VALUE_VOLSNAP_OP_SOURCE] = 1;
    return snap;
}

int EngineFixture::run(EntryPoint entry) {
    std::vector<QZSO::SnapInfo*> pointers;
    for (auto& s : snaps) pointers.push_back(s.get());
    return entry(pointers.data(), static_cast<short>(pointers.size()), &util);
}

Statuses EngineFixture::statuses() const {
    Statuses all;
    for (const auto& s : snaps) all.push_back(static_cast<QZSO::SnapStatus>(s->status));
    return all;
}

std::string EngineFixture::fileSystemId(const std::string& label, const std::string& arrayName) {
    const arraymodel::FileSystem* fs = arraymodel::findFileSystemByLabel(*array.array(arrayName), label);
    return fs != nullptr ? fs->id : std::string();
}

const arraymodel::Share* EngineFixture::share(const std::string& name, arraymodel::Protocol protocol) {
    return arraymodel::findShareByName(hnas1(), protocol, 1, name);
}

std::vector<std::string> EngineFixture::snapshotNames(const std::string& arrayName) {
    std::vector<std::string> names;
    for (const arraymodel::Snapshot& s : array.array(arrayName)->snapshots) names.push_back(s.displayName);
    return names;
}

}  // namespace testsupport

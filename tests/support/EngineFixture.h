// A host with descriptors kept across jobs, and an array behind the fake
// client, for driving the exported entry points as a backup framework does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "arraysim/model/ArraySeed.h"
#include "engine/QzSnapEngineHNAS.h"
#include "records/HNASDeviceRecords.h"
#include "tests/fakes/FakeArray.h"
#include "tests/fakes/FakeOSUtil.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/fakes/LogCapture.h"
#include "tests/support/SnapStatusNames.h"

namespace testsupport {

using EntryPoint = int (*)(QZSO::SnapInfo**, short, QZSO::QZOSUtil*);

// Source devices on filer1 (array hnas1): a CIFS share with a sub-directory,
// an NFS export, native paths on fs3 and fs1.
const std::string kUnc =
    "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\data\\\\sub1,targethostname:filer1}";
const std::string kNfs = "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:filer1}";
const std::string kNative = "{type:native_hnas,path:/__VOLUME__/fs3/dir,targethostname:filer1}";
const std::string kNativeOnFs1 = "{type:native_hnas,path:/__VOLUME__/fs1/other,targethostname:filer1}";

// The host's array information: filer1 is served by control host 3 (array
// hnas1), filer2 by control host 4 (array hnas2), and filer1b reaches hnas1
// through another control host, 5.
const std::string kInfo1 = "{arrayId:evs1,hostName:smu1,hostUserName:admin,hostPassword:pw1-Secret,hostid:3}";
const std::string kInfo2 = "{arrayId:evs2,hostName:smu2,hostUserName:admin2,hostPassword:pw2-Secret,hostid:4}";
const std::string kInfo1b = "{arrayId:evs1,hostName:smu1b,hostUserName:admin,hostPassword:pw1-Secret,hostid:5}";

class EngineFixture {
public:
    EngineFixture();

    fakearray::FakeArrayScope array;
    fakehost::LogCapture log;
    fakehost::FakeOSUtil util{900};
    std::vector<std::unique_ptr<fakehost::FakeSnapInfo>> snaps;

    // A descriptor for `source` with snap UUID `uuid`; the host knows the
    // filers' arrays and the mount request source is 1 (not the GUI).
    fakehost::FakeSnapInfo& addDevice(const std::string& source, const std::string& uuid);
    // Calls the entry point with every descriptor, as one job.
    int run(EntryPoint entry);
    fakehost::FakeSnapInfo& snap(size_t i) { return *snaps.at(i); }
    // Every descriptor's status, in order.
    Statuses statuses() const;

    arraymodel::Array& hnas1() { return *array.array("hnas1"); }
    std::string fileSystemId(const std::string& label, const std::string& arrayName = "hnas1");
    const arraymodel::Share* share(const std::string& name, arraymodel::Protocol protocol = arraymodel::Protocol::Cifs);
    std::vector<std::string> snapshotNames(const std::string& arrayName = "hnas1");
};

}  // namespace testsupport

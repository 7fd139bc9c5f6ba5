// A snap descriptor and host utility set up as the host keeps them for one
// device, with texts that tests vary.
#pragma once

#include <memory>
#include <string>

#include "device/HNASSnapDevice.h"
#include "host/ArrayConfigNames.h"
#include "tests/fakes/FakeOSUtil.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/fakes/LogCapture.h"

namespace devicetest {

// Source-device strings of the three kinds, on filer "filer1".
// (In these literals "\\\\" is the two-backslash separator of UNC paths.)
const std::string kUncSource =
    "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\data\\\\sub,targethostname:filer1}";
const std::string kNfsSource = "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/exp1,targethostname:filer1}";
const std::string kNativeSource = "{type:native_hnas,path:/__VOLUME__/fs1/d1/d2,targethostname:filer1}";

// The name the host attached the device's array under, by prepare.
const std::string kAttachedArray = "attached-array";
const std::string kArrayInfo = "{arrayId:hnas1,hostName:smu1,hostUserName:admin,hostPassword:pw-Secret9,hostid:3}";

// Type-6 metadata as prepare and snap store it.
const std::string kIdentityMetadata =
    "{FileSystemName:fsMeta,FileSystemID:0A1B,Path:\\data,SubDirectory:metaSub,SnapshotObjectID:obj-1,"
    "VirtualServerID:1,VirtualServerObjectID:vs-obj,TargetHostName:filer1,FileSystemName:fsMeta,"
    "SnapshotName:QZHNAS-u1-fsMeta}";

struct DeviceFixture {
    fakehost::FakeSnapInfo snap;
    fakehost::FakeOSUtil util{4711};
    fakehost::LogCapture log;

    // The host knows filer1 as an array name, and the descriptor holds a
    // source device and, after prepare, the attached array and metadata.
    void knowFiler(const std::string& name = "filer1") { snap.knowArray(name, kArrayInfo); }
    // The array a prepare attached the device to, with this information.
    void attachArray(const std::string& arrayInfo = kArrayInfo) {
        snap.knowArray(kAttachedArray, arrayInfo);
        snap.arrayName = kAttachedArray;
    }
    void storeIdentity(const std::string& metadata = kIdentityMetadata, const std::string& uuid = "QZHNAS-u1-fsMeta") {
        snap.metadata[SM_MDT_SNAP_UUID] = metadata;
        snap.snapUUID = uuid;
    }
    std::unique_ptr<HNASSnapDevice> device(_HNASSnapOpType op) {
        return std::unique_ptr<HNASSnapDevice>(new HNASSnapDevice(&snap, &util, op));
    }
    // True when some host log line has exactly this text at this level.
    bool hostLogged(int level, const std::string& text) const {
        for (const auto& e : snap.log)
            if (e.level == level && e.text == text) return true;
        return false;
    }
};

}  // namespace devicetest

// Source-device strings of any kind and any bytes. A CIFS share that parses
// has a filer and a share; a native path that parses has a file system.
#include "fuzz/FuzzInput.h"
#include "utils/HNASUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string device(reinterpret_cast<const char*>(data), size);
    const std::string original = device;
    HNASUtils utils(1);
    _HNASDeviceIdentifier id;
    const bool parsed = utils.getDeviceInfo(device, id);
    fuzzinput::require(device == original);
    if (!parsed) return 0;
    const bool nfs = device.find("type:nfs") != std::string::npos;
    const bool unc = !nfs && device.find("type:unc") != std::string::npos;
    if (unc) fuzzinput::require(!id.filer.empty() && !id.share.empty());
    if (!nfs && !unc) fuzzinput::require(!id.fileSystem.empty());
    return 0;
}

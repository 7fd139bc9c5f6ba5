// Unique share names: input "type\nsnapUUID\nfileSystemName\nshare\nsubDirectory".
// Share and export names end in "-QZShare" and hold at most 80 (UTF-8) characters;
// map and unmap compute the same name.
#include "fuzz/FuzzInput.h"
#include "utils/HNASUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::vector<std::string> in = fuzzinput::fields(data, size, 5);
    _HNASDeviceInfo info;
    info.deviceType = in[0];
    info.snapUUID = in[1];
    info.fileSystemName = in[2];
    info.share = in[3];
    info.subDirectory = in[4];
    HNASUtils utils(1);
    const std::string name = utils.getUniqueShareForPath(info, true, HNAS_SNAP_OP_MAP);
    fuzzinput::require(name == utils.getUniqueShareForPath(info, false, HNAS_SNAP_OP_UNMAP));

    const std::string suffix = "-QZShare";
    if (info.deviceType == "unc" || info.deviceType == "nfs") {
        // At most 80 characters, counted in UTF-8 (a byte 10xxxxxx continues one).
        std::size_t characters = 0;
        for (const unsigned char c : name) characters += (c & 0xC0) != 0x80;
        fuzzinput::require(characters <= 80 && name.size() >= suffix.size());
        fuzzinput::require(name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0);
    } else if (info.deviceType == "native_hnas") {
        fuzzinput::require(name == info.snapUUID);
    } else {
        fuzzinput::require(name.empty());
    }
    return 0;
}

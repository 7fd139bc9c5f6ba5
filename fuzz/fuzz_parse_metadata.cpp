// Metadata texts of any bytes, read as type 6 and as type 16.
#include "fuzz/FuzzInput.h"
#include "utils/HNASUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    HNASUtils utils(1);
    for (const int type : {static_cast<int>(SM_MDT_SNAP_UUID), static_cast<int>(SM_MDT_FS_INFO)}) {
        _HNASDeviceInfo info;
        utils.parseMetaData(type, text.c_str(), info);
    }
    return 0;
}

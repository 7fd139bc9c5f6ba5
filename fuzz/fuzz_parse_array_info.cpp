// Array-info texts of any bytes: the control host ID changes only when the
// whole text reads.
#include "fuzz/FuzzInput.h"
#include "utils/HNASUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    HNASUtils utils(1);
    std::string arrayId, hostName, hostUserName, hostPassword;
    const int untouched = -12345;
    int hostId = untouched;
    if (!utils.parseArrayInfo(0, text.c_str(), arrayId, hostName, hostUserName, hostPassword,
                              hostId)) {
        fuzzinput::require(hostId == untouched);
    }
    return 0;
}

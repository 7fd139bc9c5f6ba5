// Permission blocks of any bytes: only an empty block fails, and a block
// never yields more entries than it has "|"-separated pieces.
#include <algorithm>

#include "fuzz/FuzzInput.h"
#include "utils/HNASUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string block(reinterpret_cast<const char*>(data), size);
    HNASUtils utils(1);
    std::vector<__HNASCIFSAuthentication> entries;
    const bool parsed = utils.parsePermissionsMetaData(block, entries);
    fuzzinput::require(parsed == !block.empty());
    const auto pieces = static_cast<std::size_t>(std::count(block.begin(), block.end(), '|')) + 1;
    fuzzinput::require(entries.size() <= pieces);
    return 0;
}

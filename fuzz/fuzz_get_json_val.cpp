// Key lookup: input "key\ntext". A found value never holds a "," and is a
// part of the text right after "{key:" or ",key:"; a missing one leaves the
// output alone.
#include "fuzz/FuzzInput.h"
#include "utils/HNASUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::vector<std::string> in = fuzzinput::fields(data, size, 2);
    const std::string& key = in[0];
    const std::string& text = in[1];
    HNASUtils utils(1);
    const std::string untouched = "\x01untouched";
    std::string value = untouched;
    if (!utils.getJsonVal(text, key, value)) {
        fuzzinput::require(value == untouched);
        return 0;
    }
    fuzzinput::require(value.find(',') == std::string::npos);
    const bool opens = text.find("{" + key + ":" + value) != std::string::npos;
    const bool follows = text.find("," + key + ":" + value) != std::string::npos;
    fuzzinput::require(opens || follows);
    return 0;
}

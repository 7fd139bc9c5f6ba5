// Clone paths: input "type\nsnapshot\nsharePath\nsubDirectory\nmountPath".
// The inputs stay unchanged and a built path starts inside the snapshot.
#include "fuzz/FuzzInput.h"
#include "utils/HNASUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> in = fuzzinput::fields(data, size, 5);
    const std::vector<std::string> original = in;
    HNASUtils utils(1);
    std::string clonePath;
    const bool built = utils.getClonePath(in[0], in[1], in[2], in[3], in[4], clonePath);
    fuzzinput::require(in == original);
    if (!built) return 0;
    const std::string prefix = in[0] == "unc" ? "\\\\~snapshot\\\\" + in[1]
                                              : "/.snapshot/" + in[1];
    fuzzinput::require(clonePath.compare(0, prefix.size(), prefix) == 0);
    return 0;
}

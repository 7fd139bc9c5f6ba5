// UNC paths: a path that parses is rebuilt exactly from its server, share
// and sub-directory.
#include "fuzz/FuzzInput.h"
#include "utils/HNASUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    HNASUtils utils(1);
    std::string server = "x", share = "x", subDirectory = "x";
    if (!utils.parseUNCPath(path, server, share, subDirectory)) return 0;
    fuzzinput::require(!server.empty() && !share.empty());

    const std::string separator = "\\\\";
    const std::string marker = "UNC-NT_";
    const bool hadMarker = path.compare(2, marker.size(), marker) == 0;
    std::string rebuilt = separator + (hadMarker ? marker : "") + server + separator + share;
    if (!subDirectory.empty()) rebuilt += separator + subDirectory;
    // An empty sub-directory may still have had its separator.
    fuzzinput::require(path == rebuilt || path == rebuilt + separator);
    return 0;
}

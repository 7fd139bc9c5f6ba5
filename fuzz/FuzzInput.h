// Splitting one fuzz input into text fields: fields are separated by "\n",
// so that the seed files stay readable ("fs1\nsnap1\n\\dir1").
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzzinput {

// The input as text, split at every "\n" into at least `count` fields; the
// last field takes the rest, "\n" included.
inline std::vector<std::string> fields(const uint8_t* data, std::size_t size, std::size_t count) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> result;
    std::size_t start = 0;
    while (result.size() + 1 < count) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    result.push_back(start <= text.size() ? text.substr(start) : std::string());
    while (result.size() < count) result.push_back(std::string());
    return result;
}

// A finding: libFuzzer reports the abort with the input that caused it.
inline void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace fuzzinput

// Each target is one source file that includes this header once. The runs
// write no log file and read no settings file, whatever the caller's
// environment holds.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    unsetenv("QZ_LOG_FILE");
    unsetenv("QZ_SETTINGS_FILE");
    return 0;
}

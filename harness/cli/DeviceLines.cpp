#include "harness/cli/DeviceLines.h"

#include "sourcecheck/SourceDeviceCheck.h"

namespace {

const char kBlanks[] = " \t";

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A control character a terminal acts on: C0 (NUL, ESC, a line break ...),
// DEL, or C1 (U+0080 to U+009F, "\xc2\x9b" is the CSI of an escape sequence).
bool holdsControlCharacter(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c < 0x20 || c == 0x7f || (c == 0xc2 && next >= 0x80 && next <= 0x9f)) return true;
    }
    return false;
}

}  // namespace

std::string labelProblem(const std::string& label) {
    // The problem never quotes the label: the terminal would act on it.
    if (label.find_first_of(" ,") != std::string::npos || holdsControlCharacter(label) ||
        label.find_first_not_of("#0123456789") == std::string::npos)
        return "a label has no blanks, commas or control characters and is not a number";
    return std::string();
}

std::string sourceDeviceProblem(const std::string& sourceDevice) {
    // The plug-in reads the string the host hands it up to its first NUL.
    if (sourceDevice.find('\0') != std::string::npos)
        return "the source device holds a NUL byte: the plug-in would read it cut there";
    std::string reason;
    if (sourceDeviceParses(sourceDevice, reason)) return std::string();
    return "the plug-in cannot parse source device \"" + sourceDevice + "\": " + reason;
}

void splitDeviceLines(const std::string& text, std::vector<DeviceLine>& lines, std::vector<std::string>& problems) {
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        DeviceLine device;
        device.number = number;
        if (line[0] == '{') {
            device.sourceDevice = line;
        } else {
            const size_t blank = line.find_first_of(kBlanks);
            device.label = line.substr(0, blank);
            device.sourceDevice = blank == std::string::npos ? std::string() : trimmed(line.substr(blank));
            if (device.sourceDevice.empty() || device.sourceDevice[0] != '{') {
                problems.push_back("line " + std::to_string(number) +
                                   ": not [LABEL ]SOURCE-DEVICE (a source device string starts with \"{\")");
                continue;
            }
        }
        lines.push_back(device);
    }
}

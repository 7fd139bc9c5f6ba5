#include "harness/cli/DeviceLines.h"

#include "sourcecheck/SourceDeviceCheck.h"

namespace {

const char kBlanks[] = " \t";

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

std::string labelProblem(const std::string& label) {
    if (label.find_first_of(" ,\t\n") != std::string::npos ||
        label.find_first_not_of("#0123456789") == std::string::npos)
        return "a label has no blanks or commas and is not a number";
    return std::string();
}

std::string sourceDeviceProblem(const std::string& sourceDevice) {
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

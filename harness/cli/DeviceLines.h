// The devices of `hnas-host add-device`: a label's rules, and the lines of
// an `add-device --from FILE`, one device a line, "[LABEL ]SOURCE-DEVICE"
// (a source device string starts with "{"), blank lines and lines starting
// with "#" skipped.
#pragma once

#include <string>
#include <vector>

struct DeviceLine {
    int number = 0;            // 1 for the file's first line
    std::string label;         // "" when the line gives none
    std::string sourceDevice;
};

// What is wrong with `label` ("" when nothing): a label has no blanks,
// commas or control characters (tables print it to a terminal, which would
// act on an ESC) and is not a number (which would read as a device id).
std::string labelProblem(const std::string& label);

// Why no job could read `sourceDevice` ("" when one could): it holds a NUL
// byte (the plug-in reads it cut there), or the plug-in could never parse
// it, in the plug-in's own words.
std::string sourceDeviceProblem(const std::string& sourceDevice);

// Splits `text` into device lines. Each line that does not have the form is
// described in `problems` ("line 4: ..."); lines are not validated further.
void splitDeviceLines(const std::string& text, std::vector<DeviceLine>& lines, std::vector<std::string>& problems);

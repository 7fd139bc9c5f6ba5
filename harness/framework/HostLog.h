// The host log of one job: the lines the plug-in sends through a
// descriptor's logMessage and logFormatted, one per line, with the level by
// name, e.g.
//   2026-01-31 12:00:00.123 job=7 device=cifs-data ERROR [HNASSnapDevice::preOperationCommon] Unable to ...
// Levels: 2 failure ("ERROR"), 1 details ("DETAIL"), 0 progress ("INFO").
#pragma once

#include <cstdio>
#include <string>

// The name of a host log level, e.g. "ERROR" for 2, "LEVEL7" for 7.
std::string hostLogLevelName(int level);

class HostLog {
public:
    HostLog() = default;
    ~HostLog();

    // Creates the new file `path` (0600; never through a link, never over a
    // file that is there already). False with `error` when it cannot.
    bool open(const std::string& path, unsigned long long jobId, std::string& error);
    // One line; the text is written as it stands. `context` may be empty.
    void write(int level, const std::string& device, const std::string& context, const std::string& text);

    HostLog(const HostLog&) = delete;
    HostLog& operator=(const HostLog&) = delete;

private:
    FILE* file_ = nullptr;
    unsigned long long jobId_ = 0;
};

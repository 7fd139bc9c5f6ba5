// A settings file for one test: written to a temporary path and named in
// $QZ_SETTINGS_FILE while the object lives.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/qzlib/SettingsFile.h"

namespace testsupport {

class TempSettings {
public:
    explicit TempSettings(const std::string& contents) {
        char name[] = "/tmp/hnas-settings-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path_ = name;
        std::ofstream(path_) << contents;
        setenv(kQzSettingsFileVariable, path_.c_str(), 1);
    }
    ~TempSettings() {
        unsetenv(kQzSettingsFileVariable);
        std::remove(path_.c_str());
    }
    const std::string& path() const { return path_; }

    TempSettings(const TempSettings&) = delete;
    TempSettings& operator=(const TempSettings&) = delete;

private:
    std::string path_;
};

}  // namespace testsupport

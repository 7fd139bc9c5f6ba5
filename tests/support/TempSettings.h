// A settings file for one test: written to a temporary path and named in
// $QZ_SETTINGS_FILE while the object lives.
#pragma once

#include <cstdlib>
#include <string>

#include "standins/qzlib/SettingsFile.h"
#include "tests/support/TempFile.h"

namespace testsupport {

class TempSettings {
public:
    explicit TempSettings(const std::string& contents) : file_(contents) {
        setenv(kQzSettingsFileVariable, file_.path().c_str(), 1);
    }
    ~TempSettings() { unsetenv(kQzSettingsFileVariable); }
    const std::string& path() const { return file_.path(); }

    TempSettings(const TempSettings&) = delete;
    TempSettings& operator=(const TempSettings&) = delete;

private:
    TempFile file_;
};

}  // namespace testsupport

#include "sourcecheck/SourceDeviceCheck.h"

#include <memory>

#include "device/DeviceMessages.h"
#include "device/DeviceTypes.h"
#include "device/HostBufferRead.h"
#include "host/EvDebug.h"
#include "standins/qzlib/EvDebugSink.h"
#include "utils/HNASUtils.h"

namespace {

// No job: the parsers tag their log lines with 0.
const unsigned long long kNoJob = 0;

// The last failure line logged while the object lives.
class LastFailureLine {
public:
    LastFailureLine() : last_(std::make_shared<std::string>()) {
        std::shared_ptr<std::string> last = last_;
        EvDebugSetSink([last](const EvLogLine& line) {
            if (line.level == DebugLevel::kFailure) *last = line.message;
        });
    }
    ~LastFailureLine() { EvDebugSetSink(EvLogSink()); }
    const std::string& text() const { return *last_; }

    LastFailureLine(const LastFailureLine&) = delete;
    LastFailureLine& operator=(const LastFailureLine&) = delete;

private:
    std::shared_ptr<std::string> last_;
};

}  // namespace

bool sourceDeviceParses(const std::string& sourceDevice, std::string& reason) {
    // The plug-in reads the string from the host through a buffer whose size
    // travels as a short; a host that counts the terminating NUL in the size
    // it asks for needs one byte more.
    const size_t longest = static_cast<size_t>(kShortReadMaxSize) - 1;
    if (sourceDevice.size() > longest) {
        reason = "longer than the " + std::to_string(longest) + " bytes the plug-in reads from its host";
        return false;
    }
    std::string text = sourceDevice;
    _HNASDeviceIdentifier id;
    bool parsed = false;
    {
        LastFailureLine failure;
        HNASUtils utils(kNoJob);
        parsed = utils.getDeviceInfo(text, id);
        reason = failure.text();
    }
    if (!parsed) {
        if (reason.empty()) reason = kNoFilerInfoFromSource;
        return false;
    }
    // Prepare goes on only with a device type it knows.
    _HNASDeviceType type = HNAS_DEVICE_NONE;
    if (!deviceTypeFromText(id.deviceType, type)) {
        reason = std::string(kDeviceTypeNotSupported) + " [" + id.deviceType + "]";
        return false;
    }
    reason.clear();
    return true;
}

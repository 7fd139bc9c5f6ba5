#include "device/DeviceTypes.h"

bool deviceTypeFromText(const std::string& text, _HNASDeviceType& type) {
    if (text == kDeviceTypeUnc) {
        type = HNAS_DEVICE_UNC;
    } else if (text == kDeviceTypeNfs) {
        type = HNAS_DEVICE_NFS;
    } else if (text == kDeviceTypeNative) {
        type = HNAS_DEVICE_NATIVE;
    } else {
        return false;
    }
    return true;
}

#include "platform/sim/driver.h"

#include <cstdio>
#include <cstring>

#include "platform/sim/machine.h"
#include "platform/sim/names.h"

namespace sim {

namespace {


}  // namespace

void ControlDriver::SetPresent(bool present) {
    std::lock_guard lock(mutex_);
    present_ = present;
}

bool ControlDriver::Present() const {
    std::lock_guard lock(mutex_);
    return present_;
}

void ControlDriver::SetRejectError(DWORD error) {
    std::lock_guard lock(mutex_);
    rejectError_ = error;
}

std::vector<DeviceControl> ControlDriver::Controls() const {
    std::lock_guard lock(mutex_);
    return controls_;
}

DWORD ControlDriver::Region() const {
    std::lock_guard lock(mutex_);
    return region_;
}

std::shared_ptr<Object> ControlDriver::OpenDevice(const std::string& name, DWORD* error) {
    std::lock_guard lock(mutex_);
    // "\\.\KVControl" is the same device by its other prefix.
    const bool ours = SameNameNoCase(name, kDeviceName) || SameNameNoCase(name, "\\\\.\\KVControl");
    if (ours && !present_) machine_.transcript().Add("driver", "open " + name + " failed (2): the driver is absent");
    if (!ours || !present_) {
        if (error) *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (error) *error = ERROR_SUCCESS;
    return std::make_shared<DeviceObject>(kDeviceName, openCount_);
}

DWORD ControlDriver::Control(DeviceObject&, DWORD code, const void* input, DWORD inputSize, void*, DWORD,
                             DWORD* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    DeviceControl control;
    control.code = code;
    if (input && inputSize) {
        const BYTE* bytes = static_cast<const BYTE*>(input);
        control.input.assign(bytes, bytes + inputSize);
    }
    std::lock_guard lock(mutex_);
    if (rejectError_) {
        control.error = rejectError_;
    } else if (code != kIoctlSetRegion) {
        control.error = ERROR_INVALID_FUNCTION;
    } else if (control.input.size() != 4) {
        control.error = ERROR_INVALID_PARAMETER;
    } else {
        std::memcpy(&region_, control.input.data(), 4);  // little-endian on both sides
    }
    char text[32];
    std::snprintf(text, sizeof text, "ioctl 0x%08X in=", static_cast<unsigned>(code));
    std::string line = text;
    for (std::size_t i = 0; i < control.input.size(); ++i) {
        std::snprintf(text, sizeof text, i ? " %02X" : "%02X", control.input[i]);
        line += text;
    }
    if (control.error) line += " failed (" + std::to_string(control.error) + ")";
    machine_.transcript().Add("driver", line);
    controls_.push_back(control);
    return control.error;
}

}  // namespace sim

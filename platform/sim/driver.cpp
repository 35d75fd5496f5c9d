#include "platform/sim/driver.h"

namespace sim {

std::shared_ptr<Object> ControlDriver::OpenDevice(const std::string&, DWORD* error) {
    if (error) *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}

}  // namespace sim

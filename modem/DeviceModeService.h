// The device-mode service that both device-service sinks pick out of the completions.
#pragma once

#include <string>

inline constexpr char kDeviceModeServiceId[] = "{613a2c9f-7579-4be2-bf30-94dc8fe47b1c}";

// The id names the device-mode service; ASCII letters compare without case.
bool IsDeviceModeServiceId(const std::string& id);

// Time conversions of the zip layer. DOS date-times and FILETIMEs convert as
// calendar times, without any zone change; the caller decides the zone.
#pragma once

#include <cstdint>

#include "platform/types.h"

FILETIME DosDateTimeToFileTime(WORD date, WORD time);
// Seconds since 1970-01-01 UTC to a FILETIME.
FILETIME TimeTToFileTime(std::int32_t seconds);
std::int64_t FileTimeToTimeT(const FILETIME& time);
// Date in the high half, time in the low half.
DWORD FileTimeToDosDateTime(const FILETIME& time);

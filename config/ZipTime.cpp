#include "config/ZipTime.h"

#include "platform/file_info.h"

FILETIME DosDateTimeToFileTime(WORD date, WORD time) {
    SYSTEMTIME calendar{};
    calendar.wYear = static_cast<WORD>((date >> 9) + 1980);
    calendar.wMonth = static_cast<WORD>((date >> 5) & 0x0F);
    calendar.wDay = static_cast<WORD>(date & 0x1F);
    calendar.wHour = static_cast<WORD>((time >> 11) & 0x1F);
    calendar.wMinute = static_cast<WORD>((time >> 5) & 0x3F);
    calendar.wSecond = static_cast<WORD>((time & 0x1F) * 2);
    FILETIME result{};
    if (!SystemTimeToFileTime(&calendar, &result)) result = FILETIME{};  // an impossible date stays zero
    return result;
}

FILETIME TimeTToFileTime(std::int32_t seconds) {
    std::uint64_t ticks = static_cast<std::uint64_t>(static_cast<std::int64_t>(seconds) + 11644473600LL) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::int64_t FileTimeToTimeT(const FILETIME& time) {
    std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (static_cast<std::int64_t>(ticks) - 116444736000000000LL) / 10000000LL;
}

DWORD FileTimeToDosDateTime(const FILETIME& time) {
    SYSTEMTIME calendar{};
    if (!FileTimeToSystemTime(&time, &calendar)) return 0;
    DWORD date = ((static_cast<DWORD>(calendar.wYear) - 1980) & 0x7F) << 9 | static_cast<DWORD>(calendar.wMonth) << 5 |
                 calendar.wDay;
    DWORD clock = static_cast<DWORD>(calendar.wHour) << 11 | static_cast<DWORD>(calendar.wMinute) << 5 |
                  calendar.wSecond / 2;
    return date << 16 | clock;
}

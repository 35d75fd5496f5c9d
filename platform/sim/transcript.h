// The ordered record of everything the system did to the outside world.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/hidden.h"

namespace sim {

struct TranscriptEntry {
    std::int64_t time;   // virtual milliseconds
    std::string party;   // "service", "registry", "driver", "modem", "event", ...
    std::string text;
};

class Transcript {
public:
    using ClockFn = std::int64_t (*)(const void*);

    void Add(std::string party, std::string text);
    // "file: wrote <n> bytes to <path>"; writes that follow each other on one file add up in one line.
    void AddFileWrite(const std::string& windowsPath, std::size_t bytes);
    std::vector<TranscriptEntry> Entries() const;
    // "[  12.345] party: text", one per entry.
    std::vector<std::string> Lines() const;
    std::vector<std::string> Lines(std::string_view party) const;
    bool Contains(std::string_view party, std::string_view fragment) const;
    std::size_t Count(std::string_view party, std::string_view fragment) const;
    void Print(std::FILE* out) const;
    void Clear();

    static std::string Format(const TranscriptEntry& entry);

    // The transcript stamps each entry with the machine's virtual time.
    void SetClock(ClockFn clock, const void* context);

private:
    mutable HiddenMutex mutex_;
    std::vector<TranscriptEntry> entries_;
    ClockFn clock_ = nullptr;
    const void* clockContext_ = nullptr;
    // The entry the last file write went into, while it is still the last entry.
    std::size_t writeEntry_ = 0;
    std::string writePath_;
    std::size_t writeBytes_ = 0;
};

}  // namespace sim

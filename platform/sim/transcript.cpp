#include "platform/sim/transcript.h"

namespace sim {

void Transcript::SetClock(ClockFn clock, const void* context) {
    std::lock_guard lock(mutex_);
    clock_ = clock;
    clockContext_ = context;
}

void Transcript::Add(std::string party, std::string text) {
    std::int64_t now = clock_ ? clock_(clockContext_) : 0;
    std::lock_guard lock(mutex_);
    entries_.push_back({now, std::move(party), std::move(text)});
}

void Transcript::AddFileWrite(const std::string& windowsPath, std::size_t bytes) {
    std::int64_t now = clock_ ? clock_(clockContext_) : 0;
    std::lock_guard lock(mutex_);
    if (!entries_.empty() && writeEntry_ == entries_.size() - 1 && writePath_ == windowsPath) {
        writeBytes_ += bytes;
    } else {
        entries_.push_back({now, "file", ""});
        writeEntry_ = entries_.size() - 1;
        writePath_ = windowsPath;
        writeBytes_ = bytes;
    }
    entries_[writeEntry_].text = "wrote " + std::to_string(writeBytes_) + " bytes to " + windowsPath;
}

std::vector<TranscriptEntry> Transcript::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::string Transcript::Format(const TranscriptEntry& entry) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "[%6lld.%03lld] ", static_cast<long long>(entry.time / 1000),
                  static_cast<long long>(entry.time % 1000));
    return stamp + entry.party + ": " + entry.text;
}

std::vector<std::string> Transcript::Lines() const {
    std::vector<std::string> lines;
    for (const auto& entry : Entries()) lines.push_back(Format(entry));
    return lines;
}

std::vector<std::string> Transcript::Lines(std::string_view party) const {
    std::vector<std::string> lines;
    for (const auto& entry : Entries())
        if (entry.party == party) lines.push_back(entry.text);
    return lines;
}

bool Transcript::Contains(std::string_view party, std::string_view fragment) const {
    return Count(party, fragment) > 0;
}

std::size_t Transcript::Count(std::string_view party, std::string_view fragment) const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& entry : entries_)
        if ((party.empty() || entry.party == party) && entry.text.find(fragment) != std::string::npos) ++count;
    return count;
}

void Transcript::Print(std::FILE* out) const {
    for (const auto& line : Lines()) std::fprintf(out, "%s\n", line.c_str());
}

void Transcript::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    entries_.shrink_to_fit();
    writePath_.clear();
}

}  // namespace sim

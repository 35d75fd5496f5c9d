#include "cfgmgr/SarTableVersions.h"

#include <array>

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

void SarTableVersions::Parse(const std::string& reply) {
    // The reply reaches us without blanks, so the labels have none either.
    static const std::array<const char*, 5> kLabels = {"DPRver:", "TAS_FCCver:", "TAS_ISEDver:", "ANT_GPOver:",
                                                        "ANT_MIPIver:"};
    std::array<std::string*, 5> fields = {&DprVer, &TasFccVer, &TasIsedVer, &AntGpoVer, &AntMipiVer};

    for (std::size_t i = 0; i < kLabels.size(); ++i) {
        std::string& field = *fields[i];
        field.clear();
        std::size_t label = reply.find(kLabels[i]);
        if (label == std::string::npos) continue;
        std::size_t start = label + std::string(kLabels[i]).size();
        std::size_t lineEnd = reply.find("\r\n", start);
        if (lineEnd == std::string::npos) lineEnd = reply.size();

        std::size_t end = lineEnd;
        if (i + 1 < kLabels.size()) {
            // One separator stands between a version and the next label.
            std::size_t next = reply.find(kLabels[i + 1], start);
            if (next == std::string::npos || next > lineEnd || next < start + 1) continue;
            end = next - 1;
        }
        field = Lower(reply.substr(start, end - start));
    }
}

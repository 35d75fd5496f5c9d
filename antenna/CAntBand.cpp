#include "antenna/CAntBand.h"

#include <algorithm>

namespace {

const char* const kIniOrder[CAntBand::kBands] = {
    "B1",  "B2",  "B3",  "B4",   "B5",   "B7",  "B8",  "B12", "B13", "B14", "B17", "B18", "B19", "B20", "B21",
    "B25", "B26", "B28A", "B28B", "B30", "B38", "B39", "B40", "B41", "B42", "B66", "B34", "B43", "B48", "B71",
};

const char* const kAscendingOrder[CAntBand::kBands] = {
    "B1",  "B2",  "B3",  "B4",   "B5",   "B7",  "B8",  "B12", "B13", "B14", "B17", "B18", "B19", "B20", "B21",
    "B25", "B26", "B28A", "B28B", "B30", "B34", "B38", "B39", "B40", "B41", "B42", "B43", "B48", "B66", "B71",
};

}  // namespace

std::vector<std::string> CAntBand::BandNames(AntBandOrder order) {
    const char* const* names = order == AntBandOrder::Ini ? kIniOrder : kAscendingOrder;
    return std::vector<std::string>(names, names + kBands);
}

void CAntBand::FillBandIndex(AntBandOrder order, std::map<std::string, std::string>& bandIndex, std::size_t bands) {
    bandIndex.clear();
    const std::vector<std::string> names = BandNames(order);
    bands = std::min(bands, names.size());
    for (std::size_t n = 0; n < bands; ++n) {
        bandIndex[names[n] + "_0"] = std::to_string(2 * n);
        bandIndex[names[n] + "_1"] = std::to_string(2 * n + 1);
    }
}

void CAntBand::FillIndexList(std::vector<std::string>& indexes, std::size_t count) {
    indexes.clear();
    for (std::size_t i = 0; i < count; ++i) {
        indexes.push_back(std::to_string(i));
    }
}

void CAntBand::MapToIndex(const std::map<std::string, std::string>& bandIndex,
                          const std::map<std::string, std::string>& values,
                          std::map<std::string, std::string>& indexValue) {
    indexValue.clear();
    for (const auto& [key, index] : bandIndex) {
        auto value = values.find(key);
        if (value != values.end()) {
            indexValue[index] = value->second;
        }
    }
}

std::string CAntBand::PairArgument(const std::string& prefix, const std::vector<std::string>& indexes,
                                   const std::map<std::string, std::string>& indexValue) {
    std::string argument = prefix;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        auto value = indexValue.find(indexes[i]);
        if (value == indexValue.end()) {
            continue;
        }
        argument += indexes[i] + "," + value->second;
        if (i + 1 < indexes.size()) {
            argument += ",";
        }
    }
    return argument;
}

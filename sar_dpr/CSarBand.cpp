#include "sar_dpr/CSarBand.h"

#include <algorithm>

namespace {

const int kWcdmaBandList[] = {1, 2, 4, 5, 8};
const int kLteBandList[] = {1,  2,  3,  4,  5,  7,  8,  11, 12, 13, 14, 17, 18, 19, 20, 21, 25,
                            26, 28, 29, 30, 32, 34, 38, 39, 40, 41, 42, 43, 46, 48, 66, 71};
const int kReducedOut[] = {34, 43, 48, 71};

}  // namespace

std::vector<int> CSarBand::WcdmaBands() {
    return std::vector<int>(std::begin(kWcdmaBandList), std::end(kWcdmaBandList));
}

std::vector<int> CSarBand::LteBands(SarBandSet set) {
    std::vector<int> bands;
    for (int band : kLteBandList) {
        if (set == SarBandSet::Reduced && std::find(std::begin(kReducedOut), std::end(kReducedOut), band) !=
                                              std::end(kReducedOut)) {
            continue;
        }
        bands.push_back(band);
    }
    return bands;
}

std::string CSarBand::Mask(int band) {
    if (band < 1) {
        return std::string();
    }
    // 2^(band-1) in hex is one digit 1, 2, 4 or 8 followed by zeros.
    const int bit = band - 1;
    std::string mask = "0x";
    mask += "1248"[bit % 4];
    mask.append(static_cast<std::size_t>(bit / 4), '0');
    return mask;
}

std::string CSarBand::WcdmaName(int band) {
    return "WCDMA_B" + std::to_string(band);
}

std::string CSarBand::LteName(int band) {
    return "LTE_B" + std::to_string(band);
}

void CSarBand::AddBandKeys(SarBandSet set, const std::string& prefix, std::vector<std::string>& wcdmaKeys,
                           std::vector<std::string>& lteKeys, std::map<std::string, std::string>& keyMask) {
    for (int band : WcdmaBands()) {
        std::string key = prefix + WcdmaName(band);
        keyMask[key] = Mask(band);
        wcdmaKeys.push_back(key);
    }
    for (int band : LteBands(set)) {
        std::string key = prefix + LteName(band);
        keyMask[key] = Mask(band);
        lteKeys.push_back(key);
    }
}

void CSarBand::Group(const std::map<std::string, std::string>& values, const std::vector<std::string>& keys,
                     const std::map<std::string, std::string>& keyMask, std::map<std::string, std::string>& group) {
    group.clear();
    for (const auto& [key, value] : values) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            continue;
        }
        auto mask = keyMask.find(key);
        if (mask != keyMask.end()) {
            group.emplace(mask->second, value);
        }
    }
}

std::string CSarBand::Prefix(int technology) {
    return std::to_string(technology) + ",";
}

std::string CSarBand::PairText(const std::string& value, const std::string& mask) {
    return value + ",\"" + mask + "\"";
}

std::string CSarBand::CheckText(int technology, const std::string& value, const std::string& mask) {
    return std::to_string(technology) + "," + PairText(value, mask);
}

std::string CSarBand::Argument(int technology, const std::map<std::string, std::string>& group) {
    std::string argument = Prefix(technology);
    bool first = true;
    for (const auto& [mask, value] : group) {
        if (!first) {
            argument += ",";
        }
        argument += PairText(value, mask);
        first = false;
    }
    return argument;
}

std::string CSarBand::ChangedArgument(int technology, const std::map<std::string, std::string>& group,
                                      const std::string& current) {
    bool held = true;
    for (const auto& [mask, value] : group) {
        if (current.find(CheckText(technology, value, mask)) == std::string::npos) {
            held = false;
            break;
        }
    }
    if (held || group.empty()) {
        return std::string();
    }
    return Argument(technology, group);
}

void CSarBand::ParseQuotedPairList(const std::string& text, std::map<std::string, std::string>& pairs) {
    pairs.clear();
    std::size_t first = text.find(',');
    if (first == std::string::npos) {
        return;
    }
    std::size_t pos = first + 1;
    for (;;) {
        std::size_t comma = text.find(',', pos);
        if (comma == std::string::npos) {
            return;
        }
        std::size_t open = text.find('"', comma + 1);
        if (open == std::string::npos) {
            return;
        }
        std::size_t close = text.find('"', open + 1);
        if (close == std::string::npos) {
            return;
        }
        std::string value = text.substr(pos, comma - pos);
        std::string mask = text.substr(open + 1, close - open - 1);
        if (!value.empty() && !mask.empty()) {
            pairs[mask] = value;
        }
        std::size_t next = text.find(',', close + 1);
        if (next == std::string::npos) {
            return;
        }
        pos = next + 1;
    }
}

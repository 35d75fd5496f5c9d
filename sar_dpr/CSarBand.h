// The radio bands of the SAR tables (body SAR and TA SAR), shared by every
// SAR writer: the band sets, the key forms, the band masks, the grouping of a
// table's values by technology and the encoding of a group into the band
// argument of "AT+BODYSAR=%s\r\n" / "AT+GTTAS=%s\r\n".
//
// Masks stay text from start to end: bands 66 and 71 need more than 64 bits.
// A group is an ordered map from mask text to value, so an argument lists its
// bands in the byte-wise order of their masks ("0x1" < "0x10" < "0x2").
#pragma once

#include <map>
#include <string>
#include <vector>

enum class SarBandSet {
    Full,     // 5 WCDMA bands, 33 LTE bands
    Reduced,  // the full LTE list without 34, 43, 48 and 71 (29 bands)
};

class CSarBand {
public:
    // Technology numbers; each opens its band argument ("1," or "2,").
    static constexpr int kWcdma = 1;
    static constexpr int kLte = 2;

    static std::vector<int> WcdmaBands();
    static std::vector<int> LteBands(SarBandSet set);

    // "0x" and the lower-case hex digits of 2^(band-1): 5 gives "0x10".
    static std::string Mask(int band);
    static std::string WcdmaName(int band);  // "WCDMA_B1"
    static std::string LteName(int band);    // "LTE_B66"

    // Appends to the lists the keys prefix + band name of each technology
    // ("T0_" or "T1_" for the INI tables, "" for the XML band names) and maps
    // each key to its band's mask.
    static void AddBandKeys(SarBandSet set, const std::string& prefix, std::vector<std::string>& wcdmaKeys,
                            std::vector<std::string>& lteKeys, std::map<std::string, std::string>& keyMask);

    // Clears the group and fills it with mask -> value for every entry of
    // `values` whose key is one of `keys` (compared exactly). Values are taken
    // as written; an empty value counts.
    static void Group(const std::map<std::string, std::string>& values, const std::vector<std::string>& keys,
                      const std::map<std::string, std::string>& keyMask, std::map<std::string, std::string>& group);

    static std::string Prefix(int technology);  // "1," or "2,"
    // value,"mask"
    static std::string PairText(const std::string& value, const std::string& mask);
    // technology,value,"mask": what the modem's reply holds for a pair.
    static std::string CheckText(int technology, const std::string& value, const std::string& mask);
    // Prefix followed by the group's pair texts joined by commas; a group
    // without entries gives the bare prefix.
    static std::string Argument(int technology, const std::map<std::string, std::string>& group);
    // The INI writers' change test: the group's argument, reduced to nothing
    // when every check text occurs in `current` (the modem's reply to its table
    // query) and when the group has no entries; otherwise every pair.
    static std::string ChangedArgument(int technology, const std::map<std::string, std::string>& group,
                                       const std::string& current);

    // Reads an argument back into mask -> value; pairs with an empty value or
    // mask are dropped.
    static void ParseQuotedPairList(const std::string& text, std::map<std::string, std::string>& pairs);
};

// The antenna band keys of the GPO and MIPI tuner tables: thirty band names,
// each with "_0" and "_1" appended ("B28A_0", "B28A_1"), every key mapped to
// an index text "0" to "59". Two numberings exist: the GPO INI writer's own
// band order and the ascending order of the XML writers; nine bands stand at
// other indexes in the two. Keys compare byte by byte: "b1_0" is no key.
//
// A table argument is a prefix ("0," for GPO table 0, "1,0,2," for MIPI tuner
// 1 of table 2) followed by "index,value" pairs in numeric index order, each
// pair followed by a comma except one for the last index of the list.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

enum class AntBandOrder {
    Ini,        // the GPO INI writer: B66 before B34, B43, B48, B71
    Ascending,  // the XML writers (GPO and MIPI tuner)
};

class CAntBand {
public:
    static constexpr std::size_t kBands = 30;
    static constexpr std::size_t kKeys = 2 * kBands;
    // The GPO INI writer's board-product variant knows only the first 26
    // bands of its order (B1 to B66): 52 keys.
    static constexpr std::size_t kBoardProductBands = 26;

    // The band names in the order's sequence.
    static std::vector<std::string> BandNames(AntBandOrder order);
    // Clears and fills `bandIndex` with the keys of the first `bands` bands of
    // the order: the "_0" key of band n takes 2n, its "_1" key 2n + 1.
    static void FillBandIndex(AntBandOrder order, std::map<std::string, std::string>& bandIndex,
                              std::size_t bands = kBands);
    // Clears and fills `indexes` with "0", "1", ... up to count - 1.
    static void FillIndexList(std::vector<std::string>& indexes, std::size_t count = kKeys);

    // Clears `indexValue` and enters index text -> value for every key of
    // `values` that is a band key of `bandIndex`; other keys are dropped.
    static void MapToIndex(const std::map<std::string, std::string>& bandIndex,
                           const std::map<std::string, std::string>& values,
                           std::map<std::string, std::string>& indexValue);
    // `prefix` followed by the pairs of `indexValue` in the order of
    // `indexes`; no comma follows the pair of the list's last index. Index
    // texts without a value add nothing, so a table without values gives the
    // bare prefix.
    static std::string PairArgument(const std::string& prefix, const std::vector<std::string>& indexes,
                                    const std::map<std::string, std::string>& indexValue);
};

// The board- and MCC-specific name of a per-product table file. A writer
// builds exactly one name from its arguments and requires that file; there is
// no fall-back from one form to another.
#pragma once

#include <string>

class CTableFilePath {
public:
    // With an MCC: run folder, board product, "_", MCC, "_", file name.
    // Without: run folder, board product, "_", file name.
    static std::string Build(const std::string& runPath, const std::string& boardProduct, const std::string& mcc,
                             const std::string& fileName);
    // The file exists and its path fits the 259 characters every writer
    // formats it into; a longer path counts as missing rather than being cut
    // to the name of some other file.
    static bool Exists(const std::string& path);

    static constexpr std::size_t kMaxPath = 259;
};

// Questions about the notebook (board product, BIOS values, WWAN device
// configuration ID) and the values the XML table writers leave in the
// registry. Registry operations give 0 on success, 1 on failure.
#pragma once

#include <string>

class CSysHelper {
public:
    // Key path and value name of the board product ([GENERAL] "BOARDIDPATH",
    // upper-cased, or the default location); always 1.
    int GetBoardIdRegPath(std::string& valueName, std::string& keyPath);
    // The board product trimmed of blanks at both ends; `valueName` is set to
    // the value name used.
    int GetBoardProduct(std::string& valueName, std::string& boardProduct);
    int GetBiosValue(const std::string& valueName, std::string& value);
    int GetWwanDeviceConfigId(std::string& configId);
    int GetModuleId();
    // A REG_SZ value under the service's own key, created when missing; the
    // non-zero result of the write on failure.
    int SetServiceRegValue(const std::string& valueName, const std::string& value);
    bool IsFwPackUniversalEnabled();
    bool IsConfigNonSecureEnabled();
    void DeleteFlsDataFolder();
    void BackupLogFiles();

    // Registry texts are read into 125 bytes: at most 124 characters.
    static constexpr unsigned kRegTextSize = 125;
};

// The time-averaged SAR writer of one region (FCC, CE or ISED) from its XML
// table file. The three regional writers are one design; a TasSarRegion says
// where they part: file, MCC lists, version slots, algorithm, registry tag and
// SAR index offset.
//
// Everything the writer will send is read and checked before its first
// command, "AT+BODYSAREN=0": its version and, when the version differs from
// the modem's, the parameters and nine tables; when it equals the modem's,
// the posture's "Enable" entry. A file that fails sends nothing, so the modem
// never ends up with body SAR off and TA SAR never switched on or half
// written. A posture table that cannot be sent is skipped like a missing one
// (CSarPostureTable).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "config/CXmlCfgReader.h"
#include "sar_dpr/CSarXmlProfiles.h"

struct TasSarRegion {
    const char* fileName;                  // "SAR_TAS_CE_PV.xml"
    std::array<const char*, 2> mccLists;   // [GENERAL] keys of "SrvConfig.ini"; nullptr for none
    bool appliesInList;                    // true: the MCC must occur in a list; false: in none of them
    bool byNetworkMcc;                     // without an MCC in effect, the network MCC decides
    bool registryBoardWithMcc;             // the file named with the MCC takes the registry board product
    int zeroSlot;                          // OEM table slot that gets the zero version first
    int fileSlot;                          // slot that records the file's version
    const char* algorithmCmd;              // "AT+GTTASALGO=1\r\n"
    const char* regulatoryId;              // "TAS_CE"
    int indexOffset;                       // "SARIndex" = table number + offset, for tables 1 to 8
};

class CTasSarXml {
public:
    explicit CTasSarXml(const TasSarRegion& region);

    // 0 when everything was sent or nothing applied, else the result of the
    // first command that failed. Sets *changed once tables and version are in
    // the modem; never clears it.
    int SetTasSarXml(std::string mcc, std::string netMcc, std::string boardProduct, std::string modemVersion,
                     bool* changed);

    bool SelectXmlFile(std::string mcc, std::string netMcc, std::string boardProduct);
    // false also when the file's version cannot be read; `read` tells
    // whether it could.
    bool IsXmlVersionChanged(std::string modemVersion, bool* read = nullptr);
    // false unless all four "Param" values are there and may be sent; the
    // line that says why is logged.
    bool ReadTasCfgParam();
    // false at the first of the nine tables that cannot be read or holds a
    // value that may not be sent, with the line that says why.
    bool ReadTasTables();
    // The reader's result: whether the file holds "Enable" entries. The table
    // stays empty when none names the posture.
    bool GetProfileByDeviceMode(std::string& table);
    // As GetProfileByDeviceMode; a table text that cannot be sent is emptied
    // and its refusal logged.
    bool GetSendableProfile(std::string& table);
    void BuildTasSarCmd();
    void InitBandTable();

    const std::string& XmlPath() const { return m_strXmlPath; }

    // The table number of a "Table" text: empty, or not beginning with a
    // number, gives 0; a number that does not fit gives nothing.
    static std::optional<long long> ParseTableNumber(const std::string& table);
    // "DeviceMode" and "SARIndex" for a table text: "0" and "0" for table 0,
    // n and n + offset for 1 to 8, two empty texts otherwise.
    static std::array<std::string, 2> IndexValues(const std::string& table, int indexOffset);

    static constexpr int kProfiles = 9;

private:
    std::string Candidate(const std::string& mcc, const std::string& netMcc, const std::string& boardProduct,
                          const std::string& registryBoard) const;
    void WriteRegistryValues(const std::string& table) const;
    std::vector<std::string> TableCommands() const;
    // Sends the commands in order; stops at the first that fails and returns
    // its result, else 0.
    static int SendAll(const std::vector<std::string>& commands);

    CXmlCfgReader m_reader;
    const TasSarRegion& m_region;
    std::string m_strXmlPath;
    std::string m_strXmlVer;
    CSarXmlProfiles m_profiles{kProfiles};
    std::string m_strTasParamCmd;
};

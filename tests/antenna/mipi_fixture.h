// The MIPI antenna-tuner writers' notebook: the board product in the
// registry, the modem's replies, and a generator of the nine MIPI XML table
// files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "modem/CMbnDeviceServiceMgr.h"
#include "platform/sim/registry_store.h"
#include "tests/antenna/ant_fixture.h"

namespace mipitest {

inline constexpr const char* kBoardKey = "HKLM\\SYSTEM\\HardwareConfig\\Current";

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct MipiTuner {
    std::string id, usid, pmTrigger, startupTime, payload;
};

// One "AntmipiConfigTable_Table<n>.xml". Empty `version` leaves "XmlVer" out.
struct MipiXmlTable {
    std::string version = "1.0";
    Pairs enable = {{"flat", "3"}, {"tablet", "6"}};
    std::vector<std::string> params = {"1", "2", "0"};
    std::vector<MipiTuner> tuners = {{"0", "12", "3", "40", "0x1C"},
                                     {"1", "13", "4", "41", "0x1D"},
                                     {"2", "14", "5", "42", "0x1E"},
                                     {"3", "15", "6", "43", "0x1F"}};
    // Band items per tuner: name and GD value.
    std::vector<Pairs> bands;
};

inline std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '"': out += "&quot;"; break;
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            default: out += c;
        }
    }
    return out;
}

inline std::string MipiXml(const MipiXmlTable& table) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<AntmipiConfigTable>\n";
    if (!table.version.empty()) xml += "  <XmlVer>" + Escape(table.version) + "</XmlVer>\n";
    xml += "  <ModeCfg>\n";
    for (const auto& [mode, profile] : table.enable)
        xml += "    <Enable Mode=\"" + Escape(mode) + "\" Table=\"" + Escape(profile) + "\"/>\n";
    xml += "  </ModeCfg>\n  <Param>\n";
    const char* names[] = {"AntTuningEnable", "AntCtrlMode", "AntTuneMode"};
    for (std::size_t i = 0; i < table.params.size() && i < 3; ++i)
        xml += std::string("    <Item name=\"") + names[i] + "\" value=\"" + Escape(table.params[i]) + "\"/>\n";
    xml += "  </Param>\n  <Antenna_Tuner_Type/>\n  <Antenna_Tuner_Cfg>\n";
    for (const MipiTuner& t : table.tuners)
        xml += "    <Tuner TunerId=\"" + t.id + "\" TunerUsid=\"" + Escape(t.usid) + "\" PmTrigger=\"" +
               Escape(t.pmTrigger) + "\" StartupTime=\"" + Escape(t.startupTime) + "\" PayloadRegisterAddress=\"" +
               t.payload + "\"/>\n";
    xml += "  </Antenna_Tuner_Cfg>\n  <Antenna_Tuner_Data>\n";
    for (std::size_t t = 0; t < table.bands.size(); ++t) {
        xml += "    <Tuner" + std::to_string(t) + ">\n";
        for (const auto& [name, value] : table.bands[t])
            xml += "      <Band name=\"" + Escape(name) + "\" GD=\"" + Escape(value) + "\"/>\n";
        xml += "    </Tuner" + std::to_string(t) + ">\n";
    }
    xml += "  </Antenna_Tuner_Data>\n</AntmipiConfigTable>\n";
    return xml;
}

// Table n, tuner t holds "B2_0" = n and "B71_1" = t: the argument of its
// band command is "t,0,n,2,n,59,t".
inline MipiXmlTable DefaultTable(int n) {
    MipiXmlTable table;
    for (int t = 0; t < 4; ++t) table.bands.push_back({{"B71_1", std::to_string(t)}, {"B2_0", std::to_string(n)}});
    return table;
}

inline std::string MipiFileName(int n) { return "AntmipiConfigTable_Table" + std::to_string(n) + ".xml"; }

class MipiTest : public kvtest::AntennaTest {
protected:
    // The device-mode channel lives for the process; it must not outlive the machine.
    void TearDown() override {
        CMbnDeviceServiceMgr::GetInstance()->Release();
        AntennaTest::TearDown();
    }

    void Board(const std::string& board) {
        ASSERT_EQ(machine().registry().SetString(kBoardKey, "BaseBoardProduct", board), "");
    }
    // `command` as the writer formats it; the channel appends another "\r\n".
    void Reply(const std::string& command, const std::string& reply) {
        modem().SetReply(command + "\r\n", sim::ModemReply::Text(reply));
    }
    void Fail(const std::string& command) { modem().SetReply(command + "\r\n", sim::ModemReply::Error()); }

    // The nine files "<prefix>AntmipiConfigTable_Table<n>.xml" in the run folder.
    void WriteMipiFiles(const std::string& prefix, const std::array<MipiXmlTable, 9>& tables) {
        for (int n = 0; n < 9; ++n) WriteRunFile(prefix + MipiFileName(n), MipiXml(tables[n]));
    }
    static std::array<MipiXmlTable, 9> DefaultTables() {
        std::array<MipiXmlTable, 9> tables;
        for (int n = 0; n < 9; ++n) tables[n] = DefaultTable(n);
        return tables;
    }

    // Later Sent and SentTimes start here.
    void MarkHere() {
        mark_ = Mark();
        machine().transcript().Clear();
    }
    std::vector<std::string> Sent() { return AtCommands(mark_); }
    // Virtual time of every AT command, in order. Each exchange itself takes
    // some virtual time too: a pause shows as the gap beyond that of two
    // commands sent back to back.
    std::vector<std::int64_t> SentTimes() {
        std::vector<std::int64_t> times;
        for (const sim::TranscriptEntry& entry : machine().transcript().Entries())
            if (entry.party == "modem" && entry.text.find(sim::kAtServiceId) != std::string::npos &&
                entry.text.rfind("SetCommand", 0) == 0)
                times.push_back(entry.time);
        return times;
    }

    std::size_t mark_ = 0;
};

}  // namespace mipitest

// Shared fixture of the mapping-table and registry-value tests: a fresh machine
// with the log open at the installation's log path.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "config/CXmlTableReader.h"
#include "tests/support/sim_test.h"

namespace xmltable {

inline const char kLogPath[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
inline const char kSettingsPath[] = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";
inline const char kRegionTable[] = "C:\\Kavrion\\KvConfigService\\RegionMappingTable.xml";
inline const char kDeviceTable[] = "C:\\Kavrion\\KvConfigService\\DeviceModeToScenarioIndexMappingTable.xml";
inline const char kControlKey[] = "SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";
inline const char kControlKeyFull[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";

struct LogLine {
    int type = 0;  // 1 error, 4 detail
    std::string text;
    bool operator==(const LogLine&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const LogLine& line) {
    return out << "(" << line.type << ") \"" << line.text << "\"";
}

class XmlTableTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        CLog::GetInstance()->SetPathAndRotate(kLogPath);
        CLog::GetInstance()->Enable(true);
    }
    void TearDown() override {
        CLog::GetInstance()->Close();
        SimTest::TearDown();
    }

    // The log's messages in order, with their types (the tag, then "MM-DD hh:mm:ss:mmm: ").
    std::vector<LogLine> Log() const {
        static const std::vector<std::pair<std::string, int>> tags = {
            {"[ERROR]  ", 1}, {"[WARNING]  ", 2}, {"[DETAIL] ", 4}};
        constexpr std::size_t kStampSize = 20;
        std::vector<LogLine> lines;
        std::stringstream content(ReadText(kLogPath));
        std::string text;
        while (std::getline(content, text))
            for (const auto& [tag, type] : tags)
                if (text.rfind(tag, 0) == 0 && text.size() >= tag.size() + kStampSize &&
                    text.compare(tag.size() + kStampSize - 2, 2, ": ") == 0) {
                    lines.push_back({type, text.substr(tag.size() + kStampSize)});
                    break;
                }
        return lines;
    }
    // The message `back` places before the last one (0: the last), or a failure and an
    // empty line when the log holds fewer.
    LogLine LineFromEnd(std::size_t back = 0) const {
        const std::vector<LogLine> lines = Log();
        if (lines.size() <= back) {
            ADD_FAILURE() << "the log holds " << lines.size() << " messages";
            return {};
        }
        return lines[lines.size() - 1 - back];
    }
    LogLine FirstLine() const {
        const std::vector<LogLine> lines = Log();
        if (lines.empty()) {
            ADD_FAILURE() << "the log is empty";
            return {};
        }
        return lines.front();
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const LogLine& line : Log()) texts.push_back(line.text);
        return texts;
    }
    bool Logged(const std::string& text) const {
        for (const LogLine& line : Log())
            if (line.text == text) return true;
        return false;
    }
    int TypeOf(const std::string& text) const {
        for (const LogLine& line : Log())
            if (line.text == text) return line.type;
        return 0;
    }

    void SetSarMapType(const std::string& value) {
        WriteFile(kSettingsPath, "[Setting]\r\nCustomizationSolutionType=3\r\nSarMapType=" + value + "\r\n");
    }

    CXmlTableReader reader;
};

}  // namespace xmltable

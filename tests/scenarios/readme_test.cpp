// examples/README.md run through kvsim: each notebook it describes, made from its own blocks and
// edits, prints what it says.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/scenarios/kvsim_command.h"
#include "tests/support/service_run.h"
#include "tests/support/zip_bytes.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// The code block of the README that follows a marker text, or, for a marker that begins with "<",
// the block that holds it.
std::string ReadmeBlock(const std::string& readme, const std::string& marker) {
    std::size_t at = readme.find(marker);
    if (at == std::string::npos) return "";
    std::size_t open = readme.find("```", at);
    open = readme.find('\n', open) + 1;
    if (marker.rfind("<", 0) == 0) open = readme.rfind("```", at), open = readme.find('\n', open) + 1;
    return readme.substr(open, readme.find("```", open) - open);
}

// A notebook folder made from the README: its small notebook or a copy of an example, then edited as
// the README says.
class ReadmeNotebook {
public:
    ReadmeNotebook(std::string readme, fs::path folder) : readme_(std::move(readme)), folder_(std::move(folder)) {}

    std::string Block(const std::string& marker) const {
        std::string block = ReadmeBlock(readme_, marker);
        if (block.empty()) ADD_FAILURE() << "no block after: " << marker;
        return block;
    }
    // The `code` that follows `marker` at once.
    std::string CodeAfter(const std::string& marker) const {
        for (std::size_t at = readme_.find(marker); at != std::string::npos; at = readme_.find(marker, at + 1)) {
            const std::size_t open = at + marker.size();
            if (readme_.compare(open, 1, "`") == 0) return readme_.substr(open + 1, readme_.find('`', open + 1) - open - 1);
        }
        ADD_FAILURE() << "no code after: " << marker;
        return "";
    }
    const fs::path& Folder() const { return folder_; }

    void Write(const std::string& relative, const std::string& text) const {
        fs::create_directories((folder_ / relative).parent_path());
        std::ofstream(folder_ / relative, std::ios::binary) << text;
    }
    void Edit(const std::string& relative, const std::string& text, const std::string& replacement) const {
        std::string content = kvtest::ReadAll(folder_ / relative);
        std::size_t at = content.find(text);
        if (at == std::string::npos) {
            ADD_FAILURE() << relative << " holds no " << text;
            return;
        }
        Write(relative, content.replace(at, text.size(), replacement));
    }
    void CopyExample(const char* name) const {
        fs::copy(fs::path(KV_SOURCE_DIR) / "examples" / name, folder_, fs::copy_options::recursive);
    }
    void AddPackage() const {
        Write("drives/C/Kavrion/Firmware/KavrConfigFiles.flz",
              ziptest::BuildZip({ziptest::RawItem("SrvConfig.ini", "[GENERAL]\n")}));
    }

    // The README's small notebook, with the modem file of the block after `modemMarker`.
    void Small(const std::string& modemMarker = "\n`modem.txt`:") const {
        Write(kTables + "RegionMappingTable.xml", Block("<RegionMappingTable>"));
        Write(kTables + "DeviceModeToScenarioIndexMappingTable.xml", Block("<DeviceModeToScenarioIndexMappingTable>"));
        Write(kSettings, Block("files, and `kvwwanConfig.ini`:"));
        Write("registry.reg", Block("\n`registry.reg`:"));
        Write("modem.txt", Block(modemMarker));
        Write("scenario.txt", Block("\n`scenario.txt`:"));
    }

    static inline const std::string kTables = "drives/C/Kavrion/KvConfigService/";
    static inline const std::string kSettings = kTables + "kvwwanConfig.ini";
    static inline const std::string kMap = kTables + "DeviceModeToScenarioIndexMappingTable.xml";
    static inline const std::string kTasIni = "drives/C/Kavrion/KvCfgService/KavrConfigFiles/520/KVNB02_SAR_TAS_PV.ini";

private:
    std::string readme_;
    fs::path folder_;
};

// Whether the listed lines stand in the output in order, each right after the one before, or anywhere
// later after a line "..." (the first anywhere).
::testing::AssertionResult PrintsListed(const Lines& listed, const Lines& output) {
    std::vector<Lines> runs(1);
    for (const std::string& line : listed) {
        if (line == "...")
            runs.emplace_back();
        else
            runs.back().push_back(line);
    }
    std::size_t at = 0;
    for (const Lines& run : runs) {
        std::size_t i = at;
        auto matches = [&](std::size_t from) {
            for (std::size_t k = 0; k < run.size(); ++k)
                if (from + k >= output.size() || output[from + k] != run[k]) return false;
            return true;
        };
        while (i + run.size() <= output.size() && !matches(i)) ++i;
        if (i + run.size() > output.size()) {
            ::testing::AssertionResult failure = ::testing::AssertionFailure();
            failure << "not printed in order, from line " << at << ":\n";
            for (const std::string& line : run) failure << "  " << line << "\n";
            failure << "output:\n";
            for (const std::string& line : output) failure << line << "\n";
            return failure;
        }
        at = i + run.size();
    }
    return ::testing::AssertionSuccess();
}

// A transcript line of the modem's AT service, as kvsim prints it (texts escaped).
std::string ModemLine(const std::string& time, const std::string& command, const std::string& reply) {
    return "[" + time + "] modem: SetCommand {ffffffff-abca-4b11-a4e2-f2fc87f94488} 1 \"" + command + "\\r\\n\" -> \"" +
           reply + "\"";
}

const char kOk[] = "\\r\\nOK\\r\\n";
const char kSarOn[] = "\\r\\n+BODYSAREN: 1\\r\\n\\r\\nOK\\r\\n";
const char kSarSoft[] = "\\r\\n+BODYSARMODE: 1\\r\\n\\r\\nOK\\r\\n";
const char kTunerOn[] = "\\r\\n+GTANTTUNINGEN: 1\\r\\n\\r\\nOK\\r\\n";
const char kTunerSoft[] = "\\r\\n+GTANTCTRLMODE: 1\\r\\n\\r\\nOK\\r\\n";
const char kFlagWrite[] = "[     0.000] registry: set HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl\\NewPackageFlag = dword:0";

class KvsimReadme : public KvsimCommandTest {
protected:
    std::string Out() const { return out_.str(); }
    // The commands of the transcript that begin with one of the prefixes: "<time>\"<command>".
    Lines Sent(const Lines& prefixes) const {
        Lines sent;
        std::istringstream lines(Out());
        for (std::string line; std::getline(lines, line);)
            for (const std::string& prefix : prefixes)
                if (std::size_t at = line.find(" 1 \"" + prefix); at != std::string::npos)
                    sent.push_back(line.substr(1, line.find(']') - 1) + line.substr(at + 3, line.find("\\r") - at - 3));
        return sent;
    }
    // The commands other than queries that the transcript shows, by the second they were sent in.
    std::map<int, Lines> IndexCommandsBySecond() const {
        std::map<int, Lines> bySecond;
        for (const std::string& line : kvtest::SplitLines(Out())) {
            std::size_t at = line.find("] modem: SetCommand ");
            std::size_t open = line.find(" 1 \"", at);
            if (at == std::string::npos || open == std::string::npos) continue;
            std::string command = line.substr(open + 4, line.find("\\r", open) - open - 4);
            if (!command.empty() && command.back() != '?') bySecond[std::stoi(line.substr(1, at - 1))].push_back(command);
        }
        return bySecond;
    }
    // What the README's sentence beginning with `marker` says is sent: the quoted commands before each
    // "at start" (0) or "at <n> s", by that second. The sentence ends at a full stop outside quotes.
    std::map<int, Lines> ListedBySecond(const std::string& marker) const {
        std::map<int, Lines> bySecond;
        std::size_t at = readme_.find(marker);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no sentence: " << marker;
            return bySecond;
        }
        Lines pending;
        std::string outside;
        auto take = [&] {
            std::string words;
            for (char c : outside) words += c == '\n' ? ' ' : c;
            std::size_t time = words.find(" at ");
            if (time == std::string::npos) return;
            std::string rest = words.substr(time + 4);
            if (rest.rfind("start", 0) == 0) {
                bySecond[0] = pending;
                pending.clear();
            } else if (!rest.empty() && std::isdigit(static_cast<unsigned char>(rest[0])) &&
                       rest.find(" s") == rest.find_first_not_of("0123456789")) {
                bySecond[std::stoi(rest)] = pending;
                pending.clear();
            }
        };
        for (std::size_t i = at + marker.size(); i < readme_.size(); ++i) {
            if (readme_[i] == '"') {
                take();
                outside.clear();
                std::size_t close = readme_.find('"', i + 1);
                if (close == std::string::npos) break;
                pending.push_back(readme_.substr(i + 1, close - i - 1));
                i = close;
            } else if (readme_[i] == '.' && (i + 1 == readme_.size() || std::isspace(static_cast<unsigned char>(readme_[i + 1])))) {
                break;
            } else {
                outside += readme_[i];
            }
        }
        take();
        return bySecond;
    }

    const std::string readme_ = kvtest::ReadAll(fs::path(KV_SOURCE_DIR) / "examples/README.md");
    const ReadmeNotebook notebook_{readme_, temp_.path() / "nb"};
};

TEST_F(KvsimReadme, TheReadmesOwnNotebookRunsAsItSays) {
    notebook_.Small();
    EXPECT_EQ(Run({"run", "--transcript", Folder()}), 0) << err_.str();
    EXPECT_EQ(Sent({"at+bodysaron=", "AT+GTANTPROFILE="}),
              (Lines{"     0.300\"at+bodysaron=1,1", "     0.600\"AT+GTANTPROFILE=1",
                     "     2.300\"at+bodysaron=1,2", "     2.600\"AT+GTANTPROFILE=4",
                     "     4.300\"at+bodysaron=1,6", "     4.600\"AT+GTANTPROFILE=4"}));
    EXPECT_EQ(kvtest::SplitLines(Out()).back(), "3 of 3 events played; service STOPPED at 6.000 s");
    // The sentence that tells the run lists every index command of each second.
    EXPECT_EQ(ListedBySecond("\n`kvsim run` sends "), IndexCommandsBySecond());
}

TEST_F(KvsimReadme, TheReadmesTaSarModemSelectsTheTriggerIndexAndNoProfile) {
    notebook_.Small("TA-SAR queries; this one also shows");
    notebook_.Edit(ReadmeNotebook::kSettings, "SarType=1", "SarType=2");
    EXPECT_EQ(Run({"run", Folder()}), 0) << err_.str();
    EXPECT_EQ(Sent({"AT+gttasen?", "AT+gttasmode?", "AT+GTTASTRIGIDX=", "AT+GTANTPROFILE=", "at+bodysaron"}),
              (Lines{"     0.100\"AT+gttasen?", "     0.200\"AT+gttasmode?", "     0.300\"AT+GTTASTRIGIDX=1",
                     "     2.100\"AT+gttasen?", "     2.200\"AT+gttasmode?", "     2.300\"AT+GTTASTRIGIDX=2",
                     "     4.100\"AT+gttasen?", "     4.200\"AT+gttasmode?", "     4.300\"AT+GTTASTRIGIDX=6"}));
    EXPECT_EQ(kvtest::CountOf(Out(), ": AntTunerTable HW mode,stop config AntTurnerMapTable!\n"), 3u);
    EXPECT_EQ(kvtest::CountOf(Out(), ": TASar SW mode!Start to config SarIndex!\n"), 3u);
    EXPECT_EQ(ListedBySecond("`kvsim run` then sends "), IndexCommandsBySecond());
}

// A notebook the README describes, the kvsim command it runs, and the lines the README lists for it
// (the block after `listedAfter`), or, where the README says it in words alone, the lines here.
struct ReadmeRun {
    const char* name;
    const char* command;
    std::function<void(const ReadmeNotebook&)> make;
    const char* listedAfter;
    Lines lines;
};

void PrintTo(const ReadmeRun& c, std::ostream* out) { *out << c.name; }

class KvsimReadmeRun : public KvsimReadme, public ::testing::WithParamInterface<ReadmeRun> {};

TEST_P(KvsimReadmeRun, PrintsTheLinesTheReadmeLists) {
    const ReadmeRun& c = GetParam();
    c.make(notebook_);
    const int exitCode = Run({c.command, Folder()});
    if (std::string(c.command) == "run") {
        EXPECT_EQ(exitCode, 0) << err_.str();
    }
    EXPECT_NE(exitCode, 2) << err_.str();
    const Lines listed = c.listedAfter ? kvtest::SplitLines(notebook_.Block(c.listedAfter)) : c.lines;
    ASSERT_FALSE(listed.empty());
    EXPECT_TRUE(PrintsListed(listed, kvtest::SplitLines(Out())));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KvsimReadmeRun,
    ::testing::Values(
        ReadmeRun{"FlashSarByATSendAtStartAndOnARegistration", "run",
                  [](const ReadmeNotebook& nb) {
                      nb.Small();
                      nb.Edit(ReadmeNotebook::kSettings, "SarMapType=MapType_2\n",
                              "SarMapType=MapType_2\nSarDownloadType=2\n");
                  },
                  "`SarDownloadType=2` added to `kvwwanConfig.ini`", {}},
        ReadmeRun{"AControlValueOfAnotherTypeKeepsTheLastRead", "run",
                  [](const ReadmeNotebook& nb) {
                      nb.Small();
                      nb.Edit("scenario.txt", "DeviceMode  dword 2", "DeviceMode  sz 2");
                  },
                  "The scenario's 2 s line ending in `sz 2`", {}},
        ReadmeRun{"SearchTriesTheProductIdsInByteOrder", "run",
                  [](const ReadmeNotebook& nb) {
                      nb.Small();
                      std::string search = nb.Block("<CustProductNamePathToUniqueSkuID CombineMode=\"Search\"");
                      search.erase(0, search.find('<'));
                      std::string table = kvtest::ReadAll(nb.Folder() / ReadmeNotebook::kMap);
                      const std::string end = "</UniqueSkuIDToWwanDeviceConfigureIDMappingTable>\n";
                      const std::size_t from = table.find("<CustProductNamePathToUniqueSkuID");
                      const std::size_t to = table.find(end);
                      ASSERT_NE(to, std::string::npos);
                      nb.Write(ReadmeNotebook::kMap, table.replace(from, to + end.size() - from, search));
                      nb.Edit("registry.reg", "\"SystemSKU\"=\"MY-SKU-1\"\n",
                              "\"SystemSKU\"=\"MY-SKU-1\"\n" + nb.CodeAfter("\nand ") + "\n");
                  },
                  "written first, equals the two\nvalues joined:", {}},
        ReadmeRun{"AFailedFirstQueryFailsBeforeItsZeroAndTheAntennaStepGoesOn", "run",
                  [](const ReadmeNotebook& nb) { nb.Small("The small notebook above with this modem"); },
                  "`kvsim run` then asks at start no", {}},
        ReadmeRun{"APackageAtStartWakesAnIndexPassBeforeTheRegion", "run",
                  [](const ReadmeNotebook& nb) {
                      nb.CopyExample("notebook-region");
                      nb.AddPackage();
                      nb.Edit("registry.reg", "\"NewPackageFlag\"=dword:00000000", "\"NewPackageFlag\"=dword:00000001");
                  },
                  "`notebook-region/` with a configuration package", {}},
        ReadmeRun{"APackageAtStartOfType3SelectsNoSarIndexBeforeTheRegion", "run",
                  [](const ReadmeNotebook& nb) {
                      nb.Small();
                      nb.AddPackage();
                      nb.Edit("registry.reg", "\"DeviceMode\"", "\"NewPackageFlag\"=dword:00000001\n\"DeviceMode\"");
                  },
                  nullptr,
                  {kFlagWrite, ModemLine("     0.100", "AT+bodysaren?", kSarOn),
                   ModemLine("     0.200", "AT+BODYSARMODE?", kSarSoft), ModemLine("     0.300", "AT+GTANTTUNINGEN?", kTunerOn),
                   ModemLine("     0.400", "AT+GTANTCTRLMODE?", kTunerSoft), ModemLine("     0.500", "AT+GTANTPROFILE=1", kOk),
                   ModemLine("     0.600", "AT+bodysaren?", kSarOn), ModemLine("     0.700", "AT+BODYSARMODE?", kSarSoft),
                   ModemLine("     0.800", "at+bodysaron=1,1", kOk), "...",
                   "[ERROR]  12-08 19:36:16:200: regmcc is null", "...",
                   "[DETAIL] 12-08 19:36:16:500: region find, region=FCC"}},
        ReadmeRun{"NoIdStillSelectsTheAntennaProfile", "run",
                  [](const ReadmeNotebook& nb) {
                      nb.Small();
                      nb.Edit("registry.reg", "\"SystemSKU\"=\"MY-SKU-1\"", "\"SystemSKU\"=\"OTHER-SKU\"");
                  },
                  nullptr,
                  {ModemLine("     0.200", "AT+BODYSARMODE?", kSarSoft), ModemLine("     0.300", "AT+GTANTTUNINGEN?", kTunerOn),
                   ModemLine("     0.400", "AT+GTANTCTRLMODE?", kTunerSoft), ModemLine("     0.500", "AT+GTANTPROFILE=1", kOk),
                   "...", "[ERROR]  12-08 19:36:16:200: Get WwanDeviceConfigID error"}},
        ReadmeRun{"TheIniWriterSendsTheParametersOnlyWhole", "flash",
                  [](const ReadmeNotebook& nb) {
                      nb.CopyExample("tables-ini");
                      nb.Edit(ReadmeNotebook::kTasIni, nb.CodeAfter("`tables-ini/` with the line ") + "\n", "");
                  },
                  "`tables-ini/` with the line `TAS_ROLL_PERIOD=60` removed", {}},
        ReadmeRun{"AFailingCommandIsSentFiveTimes", "flash",
                  [](const ReadmeNotebook& nb) {
                      nb.CopyExample("tables-ini");
                      std::ofstream(nb.Folder() / "modem.txt", std::ios::app)
                          << nb.CodeAfter("`tables-ini/` with ") << "\n";
                  },
                  "`tables-ini/` with `reply ", {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

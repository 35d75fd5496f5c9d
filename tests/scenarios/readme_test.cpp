// examples/README.md run through kvsim: each notebook it describes, made from its own blocks and
// edits, prints what it says.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/scenarios/kvsim_command.h"
#include "tests/support/service_run.h"

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

private:
    std::string readme_;
    fs::path folder_;
};

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

}  // namespace

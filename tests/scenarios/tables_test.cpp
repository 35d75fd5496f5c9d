// `kvsim flash`: its command line, its input errors and its report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sim_test.h"
#include "tools/kvsim/flash.h"
#include "tools/kvsim/run.h"

namespace fs = std::filesystem;

namespace {

// A notebook folder made for the case.
class KvsimFlash : public ::testing::Test {
protected:
    void Write(const std::string& relative, const std::string& text) {
        fs::path file = temp_.path() / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    int Run(std::vector<std::string> args) {
        out_.str("");
        err_.str("");
        return kvsim::Main(args, out_, err_);
    }
    std::string Folder() const { return (temp_.path() / "nb").string(); }

    kvtest::TempDir temp_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(KvsimFlash, HelpExplainsTheCommandAndItsOutput) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(out_.str().find("kvsim flash <notebook folder>"), std::string::npos);
    EXPECT_EQ(Run({"flash", "--help"}), 0);
    for (const char* part : {"== AT commands ==", "== changed flags ==", "== reset request ==", "ProjectType",
                             "SrvConfig.ini", "kvconfig.ini", "Exit codes"})
        EXPECT_NE(out_.str().find(part), std::string::npos) << part;
    EXPECT_EQ(Run({"flash"}), 2);
    EXPECT_NE(err_.str().find("flash takes one notebook folder"), std::string::npos);
}

TEST_F(KvsimFlash, BadInputIsAnErrorNamingFileAndLineWithExit2) {
    std::string missing = (temp_.path() / "nowhere").string();
    EXPECT_EQ(Run({"flash", missing}), 2);
    EXPECT_EQ(err_.str(), "kvsim: " + missing + ": no such notebook folder\n");

    Write("nb/modem.txt", "interface\n");
    EXPECT_EQ(Run({"flash", Folder()}), 2);
    EXPECT_NE(err_.str().find("drives"), std::string::npos) << err_.str();

    Write("nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini", "[Setting]\nProjectType=3\n");
    Write("nb/modem.txt", "interface\n  provider \"310410\"\nreply \"AT\" sometimes\n");
    EXPECT_EQ(Run({"flash", Folder()}), 2);
    EXPECT_NE(err_.str().find((fs::path(Folder()) / "modem.txt").string() + ":3:"), std::string::npos) << err_.str();
    EXPECT_EQ(out_.str(), "");

    Write("nb/modem.txt", "interface\n");
    Write("nb/registry.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=dword:zz\n");
    EXPECT_EQ(Run({"flash", Folder()}), 2);
    EXPECT_NE(err_.str().find((fs::path(Folder()) / "registry.reg").string() + ":4:"), std::string::npos)
        << err_.str();
}

TEST_F(KvsimFlash, PrintsTheFourPartsEvenWhenNothingIsListed) {
    Write("nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini", "[Setting]\nProjectType=3\n");
    Write("nb/modem.txt", "interface\n  provider \"310410\"\n");
    EXPECT_EQ(Run({"flash", Folder()}), 0) << err_.str();
    std::string out = out_.str();
    std::size_t parts[] = {out.find("== AT commands ==\n"), out.find("== changed flags ==\n(no XML writer ran)\n"),
                           out.find("== reset request ==\n\"ResetMoudle\" not set\n"),
                           out.find("== log C:\\Kavrion\\KvConfigService\\KvConfigService.log ==\n")};
    for (std::size_t i = 0; i < std::size(parts); ++i) {
        ASSERT_NE(parts[i], std::string::npos) << i << "\n" << out;
        if (i > 0) {
            EXPECT_LT(parts[i - 1], parts[i]);
        }
    }
    EXPECT_NE(out.find("GetCfgInfo no need set cfg info****"), std::string::npos);
    EXPECT_NE(out.find("mcc:310"), std::string::npos);
}

}  // namespace

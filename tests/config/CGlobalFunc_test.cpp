#include "config/CGlobalFunc.h"

#include <string>
#include <vector>

#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;
using Commands = std::vector<std::string>;

class GlobalFuncTest : public SimTest {
protected:
    CGlobalFunc global;
};

TEST_F(GlobalFuncTest, ModuleDirIsTheExecutablesFolder) {
    machine().SetExecutablePath("C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
    std::string folder = "stale";
    global.GetModuleDir(folder);
    EXPECT_EQ(folder, "C:\\Kavrion\\KvCfgService\\");
    machine().SetExecutablePath("KvCfgService.exe");
    global.GetModuleDir(folder);
    EXPECT_EQ(folder, "");
}

TEST_F(GlobalFuncTest, SplitKeyValueLowerCasesAndSplitsAtTheFirstEquals) {
    struct Case {
        const char* entry;
        int result;
        const char* key;
        const char* value;
    } cases[] = {
        {"AT0=1,2,A", 1, "at0", "1,2,a"},
        {"a=b=c", 1, "a", "b=c"},
        {"=v", 1, "", "v"},
        {"K=", 1, "k", ""},
        {"none", 0, "untouched", "untouched"},
    };
    for (const auto& c : cases) {
        std::string key = "untouched";
        std::string value = "untouched";
        EXPECT_EQ(global.SplitKeyValue(c.entry, key, value), c.result) << c.entry;
        EXPECT_EQ(key, c.key) << c.entry;
        EXPECT_EQ(value, c.value) << c.entry;
    }
}

TEST_F(GlobalFuncTest, ParameterCommandsByKind) {
    const std::string path = "C:\\Product\\board.ini";
    WriteFile(path, "[Parameter]\nAt0=1,2,X\nAT1=3\nnoequals\nat2=Y\n");
    Commands tas;
    global.LoadParameterCmds(0, path, tas);
    EXPECT_EQ(tas, (Commands{"AT+GTTASCFG=1,2,x\r\n", "AT+GTTAS=3\r\n", "AT+GTTAS=y\r\n"}));
    Commands body;
    global.LoadParameterCmds(1, path, body);
    EXPECT_EQ(body, (Commands{"AT+BODYSAR=1,2,x\r\n", "AT+BODYSAR=3\r\n", "AT+BODYSAR=y\r\n"}));
}

TEST_F(GlobalFuncTest, ParameterCommandsOfAMissingFileAreNone) {
    Commands commands;
    global.LoadParameterCmds(0, "C:\\Product\\none.ini", commands);
    EXPECT_TRUE(commands.empty());
}

}  // namespace

#include "config/CGetSuplXmlInfo.h"

#include <map>
#include <string>

#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;
using Map = std::map<std::string, std::string>;

class GetSuplXmlInfoTest : public SimTest {};

TEST_F(GetSuplXmlInfoTest, GeneralSectionBesideTheExecutable) {
    machine().SetExecutablePath("C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
    WriteFile("C:\\Kavrion\\KvCfgService\\supl.ini",
              "[General]\nServer=SUPL.Example.COM\nPort=7275\nserver=second\nnoequals\n");
    CGetSuplXmlInfo info;
    Map entries;
    info.LoadGeneralSection(entries, "supl.ini");
    EXPECT_EQ(entries, (Map{{"server", "supl.example.com"}, {"port", "7275"}}));
    EXPECT_EQ(info.AlwaysZero(), 0);
}

}  // namespace

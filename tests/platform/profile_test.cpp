#include <string>
#include <vector>

#include "platform/profile.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;

constexpr const char* kIni = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";

const char kSettings[] =
    "; settings\r\n"
    "[Setting]\r\n"
    "CustomizationSolutionType=2\r\n"
    "  SarType  =   1   \r\n"
    "SarMapType = \"Map A\"\r\n"
    "Single='quoted'\r\n"
    "Inner=a \"b\" c\r\n"
    "Half=\"open\r\n"
    "Bare\r\n"
    "Empty=\r\n"
    "Dup=first\r\n"
    "dup=second\r\n"
    ";Commented=1\r\n"
    "Inline=5 ; not a comment\r\n"
    "Long=0123456789\r\n"
    "[ other ]\r\n"
    "Key = other value\r\n"
    "[setting]\r\n"
    "Later=in the second [Setting]\r\n";

class ProfileTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        WriteFile(kIni, kSettings);
    }
    std::string String(const char* section, const char* key, const char* fallback, DWORD size = 260,
                       const char* file = kIni, DWORD* result = nullptr) {
        std::vector<char> buffer(size + 1, '#');
        DWORD got = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file);
        if (result) *result = got;
        EXPECT_EQ(buffer[got], '\0');
        return std::string(buffer.data(), got);
    }
};

TEST_F(ProfileTest, StringReadsAsWindowsDoes) {
    struct Case {
        const char* section;
        const char* key;
        const char* fallback;
        const char* expected;
    } cases[] = {
        {"Setting", "CustomizationSolutionType", "x", "2"},
        {"SETTING", "customizationsolutiontype", "x", "2"},  // names ignore letter case
        {" Setting ", " SarType ", "x", "1"},                // blanks around names and values
        {"Setting", "SarMapType", "", "Map A"},              // one pair of quotes goes
        {"Setting", "Single", "", "quoted"},
        {"Setting", "Inner", "", "a \"b\" c"},
        {"Setting", "Half", "", "\"open"},
        {"Setting", "Bare", "dflt", "dflt"},  // a line without "=" is no value
        {"Setting", "Empty", "dflt", ""},
        {"Setting", "Dup", "", "first"},  // the first key wins
        {"Setting", "Commented", "dflt", "dflt"},
        {"Setting", "Inline", "", "5 ; not a comment"},
        {"Setting", "Later", "dflt", "dflt"},  // only the first section of a name counts
        {"Other", "key", "", "other value"},
        {"Setting", "Missing", "dflt", "dflt"},
        {"Setting", "Missing", "trailing   ", "trailing"},
        {"Setting", "Missing", nullptr, ""},
        {"Missing", "Key", "dflt", "dflt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        DWORD result = 0;
        EXPECT_EQ(String(c.section, c.key, c.fallback, 260, kIni, &result), c.expected);
        EXPECT_EQ(result, std::string(c.expected).size());
    }
}

TEST_F(ProfileTest, MissingFileGivesTheDefault) {
    EXPECT_EQ(String("Setting", "SarType", "7", 260, "C:\\Nowhere\\none.ini"), "7");
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetPrivateProfileIntA("Setting", "SarType", -1, "C:\\Nowhere\\none.ini"), static_cast<UINT>(-1));
}

TEST_F(ProfileTest, FileNameIgnoresLetterCase) {
    EXPECT_EQ(String("Setting", "SarType", "", 260, "c:\\KAVRION\\kvconfigservice\\KVWWANCONFIG.INI"), "1");
    EXPECT_EQ(GetPrivateProfileIntA("Setting", "CustomizationSolutionType", 1,
                                    "C:\\Kavrion\\KvCfgService\\..\\KvConfigService\\kvwwanConfig.ini"),
              2u);
}

TEST_F(ProfileTest, StringIsCutToSizeMinusOne) {
    struct Case {
        DWORD size;
        const char* expected;
    } cases[] = {{11, "0123456789"}, {10, "012345678"}, {4, "012"}, {2, "0"}, {1, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        DWORD result = 99;
        EXPECT_EQ(String("Setting", "Long", "", c.size, kIni, &result), c.expected);
        EXPECT_EQ(result, c.size - 1);
    }
    DWORD result = 99;
    EXPECT_EQ(String("Setting", "Missing", "defaultvalue", 5, kIni, &result), "defa");
    EXPECT_EQ(result, 4u);
    char untouched = '#';
    EXPECT_EQ(GetPrivateProfileStringA("Setting", "Long", "", &untouched, 0, kIni), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST_F(ProfileTest, A300CharacterValueArrivesCutTo259) {
    WriteFile("C:\\t\\long.ini", "[S]\nK=" + std::string(300, 'v') + "\n");
    DWORD result = 0;
    EXPECT_EQ(String("S", "K", "", 260, "C:\\t\\long.ini", &result), std::string(259, 'v'));
    EXPECT_EQ(result, 259u);
}

TEST_F(ProfileTest, IntegerReadsLeadingDigits) {
    std::string ini = "[N]\n";
    struct Case {
        const char* text;  // null: key absent
        UINT expected;
    } cases[] = {
        {"12", 12},       {"12abc", 12},     {"abc", 0},        {"  42  ", 42},          {"-5", static_cast<UINT>(-5)},
        {"+7", 7},        {"0x1F", 31},      {"0X10", 0},       {"0xZ", 0},              {"\"3\"", 3},
        {"", 99},         {nullptr, 99},     {"007", 7},        {"4294967295", 4294967295u}, {"1.5", 1},
    };
    int index = 0;
    for (const auto& c : cases) {
        if (c.text) ini += "K" + std::to_string(index) + "=" + c.text + "\n";
        ++index;
    }
    WriteFile("C:\\t\\n.ini", ini);
    index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(absent)");
        EXPECT_EQ(GetPrivateProfileIntA("N", ("k" + std::to_string(index)).c_str(), 99, "C:\\t\\n.ini"), c.expected);
        ++index;
    }
    EXPECT_EQ(GetPrivateProfileIntA("Missing", "K0", -1, "C:\\t\\n.ini"), static_cast<UINT>(-1));
}

std::string Section(const char* section, DWORD size, const char* file, DWORD* result) {
    std::vector<char> buffer(size, '#');
    *result = GetPrivateProfileSectionA(section, buffer.data(), size, file);
    // Up to and with the two zeros that end the list.
    std::string all(buffer.data(), size);
    auto end = all.find(std::string("\0\0", 2));
    return end == std::string::npos ? all : all.substr(0, end + 2);
}

TEST_F(ProfileTest, SectionListsEntriesWithDoubleZeroEnd) {
    WriteFile("C:\\t\\s.ini",
              "[Other]\nx=1\n[Band]\n; comment\n LTE_B1 = 0x1 \n\nLTE_B2=\"q\"\nno equals here\n=v\nLTE_B1=dup\n"
              "[band]\nlater=1\n");
    DWORD result = 0;
    const char expected[] = "LTE_B1=0x1\0LTE_B2=\"q\"\0no equals here\0=v\0LTE_B1=dup\0";
    EXPECT_EQ(Section("band", 100, "C:\\t\\s.ini", &result), std::string(expected, sizeof expected));
    EXPECT_EQ(result, sizeof expected - 1);

    EXPECT_EQ(Section("Missing", 100, "C:\\t\\s.ini", &result), std::string("\0\0", 2));
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Section("Band", 100, "C:\\t\\none.ini", &result), std::string("\0\0", 2));
    EXPECT_EQ(result, 0u);
}

TEST_F(ProfileTest, SectionTooBigIsCutAsWindowsCutsIt) {
    WriteFile("C:\\t\\s.ini", "[S]\nab=123456\ncd=7\n");
    struct Case {
        DWORD size;
        std::string text;  // the buffer up to the result and two more bytes
        DWORD result;
    } cases[] = {
        {20, std::string("ab=123456\0cd=7\0\0", 16), 15},
        {16, std::string("ab=123456\0cd=7\0\0", 16), 14},  // exactly full still counts as cut
        {12, std::string("ab=123456\0\0", 11), 10},
        {8, std::string("ab=123\0\0", 8), 6},
        {4, std::string("ab\0\0", 4), 2},
        {3, std::string("a\0\0", 3), 1},
        {2, std::string("\0\0", 2), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        DWORD result = 0;
        EXPECT_EQ(Section("S", c.size, "C:\\t\\s.ini", &result), c.text);
        EXPECT_EQ(result, c.result);
    }
}

}  // namespace

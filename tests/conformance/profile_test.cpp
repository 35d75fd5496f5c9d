// The profile calls as Windows reads an INI file: quotes, blanks, comments,
// truncation, section forms, leading digits, line ends, files held open, and
// the encodings a file may come in.
#include <string>
#include <vector>

#include "platform/windows.h"
#include "tests/conformance/host.h"

namespace conformance {
namespace {

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
    "[ Other ]\r\n"
    "Key = other value\r\n"
    "[Tail] ; after the header\r\n"
    "Key=tail\r\n"
    "[setting]\r\n"
    "Later=in the second [Setting]\r\n";

class ProfileTest : public ConformanceTest {
protected:
    void SetUp() override {
        ConformanceTest::SetUp();
        m_ini = PathOf("kvwwanConfig.ini");
        Write(m_ini, std::string(kSettings, sizeof kSettings - 1));
    }
    void Write(const std::string& path, const std::string& content) { WriteWhole(path, content); }
    std::string String(const char* section, const char* key, const char* fallback, DWORD size = 260,
                       const std::string* file = nullptr, DWORD* result = nullptr) {
        std::vector<char> buffer(size + 1, '#');
        DWORD got = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size,
                                             (file ? *file : m_ini).c_str());
        if (result) *result = got;
        EXPECT_EQ(buffer[got], '\0');
        return std::string(buffer.data(), got);
    }
    // The section's list up to and with the two zeros that end it.
    std::string Section(const char* section, DWORD size, const std::string& file, DWORD* result) {
        std::vector<char> buffer(size, '#');
        *result = GetPrivateProfileSectionA(section, buffer.data(), size, file.c_str());
        std::string all(buffer.data(), size);
        auto end = all.find(std::string("\0\0", 2));
        return end == std::string::npos ? all : all.substr(0, end + 2);
    }

    std::string m_ini;
};

TEST_F(ProfileTest, StringReadsQuotesBlanksAndComments) {
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
        {"Other", "key", "", "other value"},  // blanks inside the brackets
        {"Tail", "Key", "", "tail"},          // text after the closing bracket
        {"Setting", "Missing", "dflt", "dflt"},
        {"Setting", "Missing", "trailing   ", "trailing"},
        {"Setting", "Missing", nullptr, ""},
        {"Missing", "Key", "dflt", "dflt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        DWORD result = 0;
        EXPECT_EQ(String(c.section, c.key, c.fallback, 260, nullptr, &result), c.expected);
        EXPECT_EQ(result, std::string(c.expected).size());
    }
}

TEST_F(ProfileTest, StringIsCutToTheBufferLessOne) {
    struct Case {
        DWORD size;
        const char* expected;
    } cases[] = {{11, "0123456789"}, {10, "012345678"}, {4, "012"}, {2, "0"}, {1, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        DWORD result = 99;
        EXPECT_EQ(String("Setting", "Long", "", c.size, nullptr, &result), c.expected);
        EXPECT_EQ(result, c.size - 1);
    }
    DWORD result = 99;
    EXPECT_EQ(String("Setting", "Missing", "defaultvalue", 5, nullptr, &result), "defa");
    EXPECT_EQ(result, 4u);
    char untouched = '#';
    EXPECT_EQ(GetPrivateProfileStringA("Setting", "Long", "", &untouched, 0, m_ini.c_str()), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST_F(ProfileTest, A300CharacterValueArrivesCutTo259) {
    const std::string file = PathOf("long.ini");
    Write(file, "[S]\r\nK=" + std::string(300, 'v') + "\r\n");
    DWORD result = 0;
    EXPECT_EQ(String("S", "K", "", 260, &file, &result), std::string(259, 'v'));
    EXPECT_EQ(result, 259u);
}

TEST_F(ProfileTest, AMissingFileGivesTheDefault) {
    const std::string none = PathOf("none.ini");
    EXPECT_EQ(String("Setting", "SarType", "7", 260, &none), "7");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetPrivateProfileIntA("Setting", "SarType", -1, none.c_str()), static_cast<UINT>(-1));
}

TEST_F(ProfileTest, TheFileNameIgnoresLetterCase) {
    const std::string upper = PathOf("KVWWANCONFIG.INI");
    EXPECT_EQ(String("Setting", "SarType", "", 260, &upper), "1");
    ASSERT_TRUE(CreateDirectoryA(PathOf("Sub").c_str(), nullptr));
    const std::string dotted = PathOf("SUB\\..\\kvwwanconfig.ini");
    EXPECT_EQ(GetPrivateProfileIntA("Setting", "CustomizationSolutionType", 1, dotted.c_str()), 2u);
}

TEST_F(ProfileTest, IntegerReadsLeadingDigits) {
    std::string ini = "[N]\r\n";
    struct Case {
        const char* text;  // null: key absent
        UINT expected;
    } cases[] = {
        {"12", 12},      {"12abc", 12},  {"abc", 0},          {"  42  ", 42},
        {"-5", static_cast<UINT>(-5)},   {"+7", 7},           {"0x1F", 31},
        {"0X10", 0},     {"0b101", 5},   {"0o17", 15},        {"\"3\"", 3},
        {"", 99},        {nullptr, 99},  {"007", 7},          {"1.5", 1},
        {"4294967295", 4294967295u},     {"4294967297", 1},   {"42A94967297", 42},
        {"B42", 0},      {"0xZ", 0},
    };
    int index = 0;
    for (const auto& c : cases) {
        if (c.text) ini += "K" + std::to_string(index) + "=" + c.text + "\r\n";
        ++index;
    }
    const std::string file = PathOf("n.ini");
    Write(file, ini);
    index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(absent)");
        EXPECT_EQ(GetPrivateProfileIntA("N", ("k" + std::to_string(index)).c_str(), 99, file.c_str()), c.expected);
        ++index;
    }
    EXPECT_EQ(GetPrivateProfileIntA("Missing", "K0", -1, file.c_str()), static_cast<UINT>(-1));
}

TEST_F(ProfileTest, LinesEndInCrLfLfOrCrAlone) {
    for (const char* end : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(end == std::string("\r") ? "CR" : end == std::string("\n") ? "LF" : "CRLF");
        const std::string file = PathOf("ends.ini");
        const std::string e = end;
        Write(file, "[Setting]" + e + "SarType=3" + e + "SarMapType=2" + e + "[Next]" + e + "SarType=9" + e);
        EXPECT_EQ(GetPrivateProfileIntA("Setting", "SarType", 1, file.c_str()), 3u);
        EXPECT_EQ(GetPrivateProfileIntA("Setting", "SarMapType", 1, file.c_str()), 2u);
        EXPECT_EQ(GetPrivateProfileIntA("Next", "SarType", 1, file.c_str()), 9u);
        DWORD result = 0;
        const char expected[] = "SarType=3\0SarMapType=2\0";
        EXPECT_EQ(Section("Setting", 100, file, &result), std::string(expected, sizeof expected));
        EXPECT_EQ(result, sizeof expected - 1);
    }
}

TEST_F(ProfileTest, SectionListsEntriesWithADoubleZeroEnd) {
    const std::string file = PathOf("s.ini");
    Write(file,
          "[Other]\r\nx=1\r\n[Band]\r\n; comment\r\n LTE_B1 = 0x1 \r\n\r\nLTE_B2=\"q\"\r\nno equals here\r\n=v\r\n"
          "LTE_B1=dup\r\n[Empty]\r\n[band]\r\nlater=1\r\n");
    DWORD result = 0;
    SetLastError(12345);
    const char expected[] = "LTE_B1=0x1\0LTE_B2=\"q\"\0no equals here\0=v\0LTE_B1=dup\0";
    EXPECT_EQ(Section("band", 100, file, &result), std::string(expected, sizeof expected));
    EXPECT_EQ(result, sizeof expected - 1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    SetLastError(12345);
    EXPECT_EQ(Section("Empty", 100, file, &result), std::string("\0\0", 2));
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    EXPECT_EQ(Section("Missing", 100, file, &result), std::string("\0\0", 2));
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Section("Band", 100, PathOf("none.ini"), &result), std::string("\0\0", 2));
    EXPECT_EQ(result, 0u);
}

TEST_F(ProfileTest, SectionWithoutANameOrBufferIsAnInvalidParameter) {
    char buffer[16];
    SetLastError(0);
    EXPECT_EQ(GetPrivateProfileSectionA(nullptr, buffer, sizeof buffer, m_ini.c_str()), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(GetPrivateProfileSectionA("Setting", nullptr, 0, m_ini.c_str()), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ProfileTest, SectionTooBigIsCutToTheBufferLessTwo) {
    const std::string file = PathOf("cut.ini");
    Write(file, "[section1]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n");
    DWORD result = 0;
    const char whole[] = "name1=val1\0name2=\0name3\0name4=val4\0";
    EXPECT_EQ(Section("section1", 100, file, &result), std::string(whole, sizeof whole));
    EXPECT_EQ(result, sizeof whole - 1);
    const char cut[] = "name1=val1\0name2=\0name\0";
    EXPECT_EQ(Section("section1", 24, file, &result), std::string(cut, sizeof cut));
    EXPECT_EQ(result, 22u);
}

TEST_F(ProfileTest, SectionTooBigIsCutAtEverySize) {
    const std::string file = PathOf("sizes.ini");
    Write(file, "[S]\r\nab=123456\r\ncd=7\r\n");
    struct Case {
        DWORD size;
        std::string text;  // the buffer up to the two zeros that end it
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
        EXPECT_EQ(Section("S", c.size, file, &result), c.text);
        EXPECT_EQ(result, c.result);
    }
}

TEST_F(ProfileTest, AZeroByteAtTheEndIsNoEntry) {
    const std::string file = PathOf("zero.ini");
    Write(file, std::string("[S]\r\na=1\r\nb=2\r\n\0", 16));
    DWORD result = 0;
    const char expected[] = "a=1\0b=2\0";
    EXPECT_EQ(Section("S", 100, file, &result), std::string(expected, sizeof expected));
    EXPECT_EQ(result, sizeof expected - 1);
    EXPECT_EQ(GetPrivateProfileIntA("S", "b", 0, file.c_str()), 2u);
}

TEST_F(ProfileTest, AZeroCharacterEndsANameOrAValue) {
    const std::string file = PathOf("zeros.ini");
    Write(file, std::string("[S]\r\nK\0x=1\r\n\0J=2\r\nL=3\0tail\r\n[T\0U]\r\nM=4\r\n", 40));
    EXPECT_EQ(GetPrivateProfileIntA("S", "K", 9, file.c_str()), 1u);
    EXPECT_EQ(GetPrivateProfileIntA("S", "J", 9, file.c_str()), 9u);
    DWORD result = 0;
    EXPECT_EQ(String("S", "L", "", 260, &file, &result), "3");
    EXPECT_EQ(result, 1u);
    EXPECT_EQ(GetPrivateProfileIntA("T", "M", 9, file.c_str()), 4u);
}

TEST_F(ProfileTest, AFileHeldWithoutReadSharingGivesTheDefaults) {
    struct Case {
        DWORD access;
        DWORD share;
        bool readable;
    } cases[] = {
        {GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_READ, FILE_SHARE_WRITE, false},
        {GENERIC_WRITE, FILE_SHARE_READ, true},
        {GENERIC_READ | GENERIC_WRITE, 0, false},
        {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.access << "/" << c.share);
        HANDLE held =
            CreateFileA(m_ini.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetPrivateProfileIntA("Setting", "CustomizationSolutionType", 1, m_ini.c_str()),
                  c.readable ? 2u : 1u);
        EXPECT_EQ(String("Setting", "SarMapType", "dflt"), c.readable ? "Map A" : "dflt");
        DWORD result = 0;
        EXPECT_EQ(Section("Other", 100, m_ini, &result),
                  c.readable ? std::string("Key=other value\0\0", 17) : std::string("\0\0", 2));
        CloseHandle(held);
    }
}

// A file's bytes in UTF-16, little or big end first, with the byte-order mark or without.
std::string Utf16(const std::u16string& text, bool littleEnd, bool mark) {
    std::string bytes;
    for (char16_t unit : (mark ? u"\uFEFF" : u"") + text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += littleEnd ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

// The text an 'A' function gives for `text`: in the ANSI code page.
std::string Ansi(const std::u16string& text) {
    const auto* wide = reinterpret_cast<LPCWSTR>(text.c_str());
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

const std::u16string kUnicodeSettings =
    u"[Setting]\r\nCustomizationSolutionType=3\r\nSarMapType=caf\u00E9 \u4E2D\r\n[Other]\r\nKey=2\r\n";

struct EncodingCase {
    const char* name;
    std::string bytes;
    UINT type;            // [Setting] CustomizationSolutionType, 1 when not read
    const char* mapType;  // [Setting] SarMapType, null: the ANSI form of the file's own
    UINT other;           // [Other] Key, 1 when not read
};

TEST_F(ProfileTest, AFileWithTheUtf16ByteOrderMarkIsReadAsUtf16IntoTheAnsiCodePage) {
    const std::string ansiMapType = Ansi(u"caf\u00E9 \u4E2D");
    const EncodingCase cases[] = {
        {"UTF-16LE with its mark", Utf16(kUnicodeSettings, true, true), 3, nullptr, 2},
        // Only the mark makes a file Unicode; without it the zero bytes end every name.
        {"UTF-16LE without a mark", Utf16(kUnicodeSettings, true, false), 1, "dflt", 1},
        // An odd last byte is no character.
        {"UTF-16LE with an odd last byte", Utf16(kUnicodeSettings, true, true) + "x", 3, nullptr, 2},
        // A UTF-8 mark before a first line that is no header takes nothing away.
        {"UTF-8 with its mark and a comment first", "\xEF\xBB\xBF; settings\r\n[Setting]\r\n"
            "CustomizationSolutionType=3\r\nSarMapType=Map\r\n[Other]\r\nKey=2\r\n", 3, "Map", 2},
    };
    for (const EncodingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = PathOf("unicode.ini");
        Write(file, c.bytes);
        EXPECT_EQ(GetPrivateProfileIntA("Setting", "CustomizationSolutionType", 1, file.c_str()), c.type);
        EXPECT_EQ(String("setting", "sarmaptype", "dflt", 260, &file), c.mapType ? c.mapType : ansiMapType);
        EXPECT_EQ(GetPrivateProfileIntA("Other", "Key", 1, file.c_str()), c.other);
    }
}

TEST_F(ProfileTest, AUtf16FileIsListedAndCutInAnsiCharacters) {
    const std::string file = PathOf("unicode.ini");
    Write(file, Utf16(kUnicodeSettings, true, true));
    DWORD result = 0;
    const std::string listed = "CustomizationSolutionType=3" + std::string(1, '\0') + "SarMapType=" +
                               Ansi(u"caf\u00E9 \u4E2D") + std::string(2, '\0');
    EXPECT_EQ(Section("Setting", 100, file, &result), listed);
    EXPECT_EQ(result, listed.size() - 1);
    EXPECT_EQ(String("Setting", "SarMapType", "", 5, &file, &result), Ansi(u"caf\u00E9"));
    EXPECT_EQ(result, 4u);
}

TEST_F(ProfileTest, AUtf8MarkIsPartOfTheFirstLine) {
    KV_SKIP_UNDER_WINE("a UTF-8 byte-order mark is read as the mark of a UTF-8 file");
    const std::string file = PathOf("utf8.ini");
    Write(file, "\xEF\xBB\xBF[Setting]\r\nCustomizationSolutionType=3\r\n[Other]\r\nKey=caf\xC3\xA9\r\n");
    // The mark's three characters break the header on its line; the bytes after it are ANSI text.
    EXPECT_EQ(GetPrivateProfileIntA("Setting", "CustomizationSolutionType", 1, file.c_str()), 1u);
    EXPECT_EQ(String("Other", "Key", "", 260, &file), "caf\xC3\xA9");
}

TEST_F(ProfileTest, AUtf16BigEndFirstFileIsNotRead) {
    KV_SKIP_UNDER_WINE("a UTF-16 file with the big-end-first byte-order mark is read");
    const std::string file = PathOf("utf16be.ini");
    Write(file, Utf16(kUnicodeSettings, false, true));
    EXPECT_EQ(GetPrivateProfileIntA("Setting", "CustomizationSolutionType", 1, file.c_str()), 1u);
    EXPECT_EQ(GetPrivateProfileIntA("Other", "Key", 1, file.c_str()), 1u);
}

}  // namespace
}  // namespace conformance

// The C runtime's streams as Windows' runtime gives them: a mode without "b" is text mode, which
// writes each line feed as CR LF and reads CR LF as a line feed, up to a CTRL+Z; positions told
// and sought are the file's; "a+" takes one CTRL+Z off the end.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/crt.h"
#include "platform/windows.h"
#include "tests/conformance/host.h"

namespace conformance {
namespace {

struct WriteCase {
    const char* mode;
    const char* before;  // the file's bytes before, or none
    const char* written;
    const char* after;
};

class CrtTest : public ConformanceTest {
protected:
    // Each case's file after `written` went through a stream of its mode.
    template <std::size_t N>
    void ExpectWrites(const WriteCase (&cases)[N]) {
        for (const WriteCase& c : cases) {
            SCOPED_TRACE(std::string(c.mode) + " after " + (c.before ? c.before : "(none)"));
            const std::string path = PathOf("written.txt");
            DeleteFileA(path.c_str());
            if (c.before) WriteWhole(path, c.before);
            std::FILE* file = _fsopen(path.c_str(), c.mode, _SH_DENYNO);
            ASSERT_NE(file, nullptr);
            std::fputs(c.written, file);
            std::fclose(file);
            EXPECT_EQ(ReadWhole(path), c.after);
        }
    }
};

TEST_F(CrtTest, TextModeWritesEachLineFeedAsCarriageReturnLineFeed) {
    const WriteCase cases[] = {
        {"w", nullptr, "a\nb\n", "a\r\nb\r\n"},
        {"wt", nullptr, "\n\n", "\r\n\r\n"},
        {"a+", "x\r\n", "line\n", "x\r\nline\r\n"},
        {"a", nullptr, "a\rb\r\n", "a\rb\r\r\n"},
        {"wb", nullptr, "a\nb\n", "a\nb\n"},
        {"ab", "x\n", "y\n", "x\ny\n"},
        // A CTRL+Z stays where it is not the last byte, or without reading in text mode.
        {"a+", "x\x1Ay", "z", "x\x1Ayz"},
        {"a", "x\x1A", "y\n", "x\x1Ay\r\n"},
        {"a+b", "x\x1A", "y\n", "x\x1Ay\n"},
    };
    ExpectWrites(cases);
}

TEST_F(CrtTest, ReadingAndAppendingInTextModeTakesOneControlZOffTheEnd) {
    KV_SKIP_UNDER_WINE("\"a+\" in text mode keeps a CTRL+Z at the end of the file");
    const WriteCase cases[] = {
        {"a+", "x\r\n\x1A", "y\n", "x\r\ny\r\n"},
        {"a+", "x\x1A\x1A", "y\n", "x\x1Ay\r\n"},
        {"a+t", "x\x1A", "", "x"},  // at the opening
    };
    ExpectWrites(cases);
}

struct ReadCase {
    const char* mode;
    const char* raw;
    const char* read;
};

TEST_F(CrtTest, TextModeReadsCarriageReturnLineFeedAsALineFeedUpToControlZ) {
    const ReadCase cases[] = {
        {"r", "a\r\nb\r\n\r\nc", "a\nb\n\nc"},
        {"rt", "a\rb\r", "a\rb\r"},
        {"r", "a\r\n\x1A" "b\r\n", "a\n"},
        {"rb", "a\r\n\x1A" "b", "a\r\n\x1A" "b"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.raw);
        const std::string path = PathOf("read.txt");
        WriteWhole(path, c.raw);
        std::FILE* file = _fsopen(path.c_str(), c.mode, _SH_DENYNO);
        ASSERT_NE(file, nullptr);
        std::string content;
        for (int ch; (ch = std::fgetc(file)) != EOF;) content.push_back(static_cast<char>(ch));
        std::fclose(file);
        EXPECT_EQ(content, c.read);
    }
}

// Every character of a text stream read from the start, each with the position told before it.
std::vector<std::pair<long, int>> ReadTold(std::FILE* file) {
    std::vector<std::pair<long, int>> read;
    for (;;) {
        const long at = std::ftell(file);
        const int ch = std::fgetc(file);
        read.emplace_back(at, ch);
        if (ch == EOF) return read;
    }
}

TEST_F(CrtTest, TextModeTellsTheFilePositionOfEachCharacter) {
    const std::string path = PathOf("told.txt");
    WriteWhole(path, "a\r\nb\r\n\r\nc\rd");
    std::FILE* file = _fsopen(path.c_str(), "r", _SH_DENYNO);
    ASSERT_NE(file, nullptr);
    const std::vector<std::pair<long, int>> expected = {
        {0, 'a'}, {1, '\n'}, {3, 'b'}, {4, '\n'}, {6, '\n'}, {8, 'c'}, {9, '\r'}, {10, 'd'}, {11, EOF}};
    EXPECT_EQ(ReadTold(file), expected);
    std::fclose(file);
}

TEST_F(CrtTest, TextModeSeeksBackToEveryToldPosition) {
    // Lines of every length, an empty one first, and a CR LF where the runtime's buffer of the
    // simulation ends.
    std::string content = "\r\n";
    for (int n = 0; content.size() < 8100; n = (n + 7) % 61) content += std::string(static_cast<std::size_t>(n), 'x') + "\r\n";
    content += std::string(8192 - content.size(), 'y') + "\r\n\r\nz\r\n";
    for (int n = 0; n < 40; ++n) content += "line " + std::to_string(n) + "\r\n";
    const std::string path = PathOf("sought.txt");
    WriteWhole(path, content);
    std::FILE* file = _fsopen(path.c_str(), "r", _SH_DENYNO);
    ASSERT_NE(file, nullptr);
    const std::vector<std::pair<long, int>> read = ReadTold(file);
    for (std::size_t i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(read[i].first);
        ASSERT_EQ(std::fseek(file, read[i].first, SEEK_SET), 0);
        ASSERT_EQ(std::ftell(file), read[i].first);
        // The same character, and the characters after it as before.
        for (std::size_t k = i; k < read.size() && k < i + 3; ++k) ASSERT_EQ(std::fgetc(file), read[k].second);
    }
    EXPECT_EQ(std::fseek(file, 0, SEEK_END), 0);
    EXPECT_EQ(std::ftell(file), static_cast<long>(content.size()));
    std::fclose(file);
}

TEST_F(CrtTest, TextModeTellsWrittenLineFeedsAsTwoBytes) {
    const std::string path = PathOf("written.txt");
    std::FILE* file = _fsopen(path.c_str(), "w", _SH_DENYNO);
    ASSERT_NE(file, nullptr);
    std::fputs("a\nb", file);
    EXPECT_EQ(std::ftell(file), 4);
    std::fflush(file);
    EXPECT_EQ(std::ftell(file), 4);
    std::fputs("\n\n", file);
    EXPECT_EQ(std::ftell(file), 8);
    std::fclose(file);
    EXPECT_EQ(ReadWhole(path), "a\r\nb\r\n\r\n");
}

}  // namespace
}  // namespace conformance

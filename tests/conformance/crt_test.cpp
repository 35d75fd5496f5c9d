// The C runtime's streams as Windows' runtime gives them: a mode without "b" is text mode, which
// writes each line feed as CR LF and reads CR LF as a line feed, up to a CTRL+Z.
#include <cstdio>
#include <string>

#include "platform/crt.h"
#include "platform/windows.h"
#include "tests/conformance/host.h"

namespace conformance {
namespace {

using CrtTest = ConformanceTest;

struct WriteCase {
    const char* mode;
    const char* before;  // the file's bytes before, or none
    const char* written;
    const char* after;
};

TEST_F(CrtTest, TextModeWritesEachLineFeedAsCarriageReturnLineFeed) {
    const WriteCase cases[] = {
        {"w", nullptr, "a\nb\n", "a\r\nb\r\n"},
        {"wt", nullptr, "\n\n", "\r\n\r\n"},
        {"a+", "x\r\n", "line\n", "x\r\nline\r\n"},
        {"a", nullptr, "a\rb\r\n", "a\rb\r\r\n"},
        {"wb", nullptr, "a\nb\n", "a\nb\n"},
        {"ab", "x\n", "y\n", "x\ny\n"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.mode);
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

}  // namespace
}  // namespace conformance

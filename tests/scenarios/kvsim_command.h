// kvsim's command line, run as a process of its own (the system's singletons live for a process,
// so one run per process), on a notebook folder made for the case.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sim_test.h"
#include "tools/kvsim/flash.h"
#include "tools/kvsim/run.h"

namespace kvtest {

struct KvsimOutput {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The kvsim program with these arguments; its output goes through files in `scratch`.
inline KvsimOutput RunKvsim(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    const std::filesystem::path out = scratch / "kvsim.out";
    const std::filesystem::path err = scratch / "kvsim.err";
    const std::filesystem::path code = scratch / "kvsim.code";
    std::string command = Quoted(KV_BINARY_DIR "/tools/kvsim/kvsim");
    for (const std::string& arg : args) command += " " + Quoted(arg);
    command += " >" + Quoted(out.string()) + " 2>" + Quoted(err.string()) + "; echo $? >" + Quoted(code.string());
    KvsimOutput result;
    if (std::system(command.c_str()) != 0) return result;
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    std::ifstream(code) >> result.exitCode;
    return result;
}

inline std::string ErrorOf(const KvsimOutput& output) {
    std::string error = output.err.rfind("kvsim: ", 0) == 0 ? output.err.substr(7) : output.err;
    if (std::size_t end = error.find('\n'); end != std::string::npos) error.resize(end);
    return error;
}

// `kvsim <command> <folder>` in a process of its own: its exit code and error into the report, and
// its output's lines.
template <typename Report>
std::vector<std::string> RunAlone(const char* command, const std::filesystem::path& folder, Report& report) {
    TempDir scratch;
    KvsimOutput output = RunKvsim({command, folder.string()}, scratch.path());
    report.exitCode = output.exitCode;
    report.error = ErrorOf(output);
    return SplitLines(output.out);
}

// `kvsim run <folder>` in a process of its own, read back into its report.
inline kvsim::RunReport RunNotebookAlone(const std::filesystem::path& folder) {
    kvsim::RunReport report;
    const std::vector<std::string> lines = RunAlone("run", folder, report);
    std::size_t i = 0;
    if (i < lines.size() && lines[i] == "== transcript ==") ++i;
    for (; i < lines.size() && lines[i].rfind("== log ", 0) != 0; ++i) report.transcript.push_back(lines[i]);
    for (++i; i + 1 < lines.size(); ++i) report.log += lines[i] + "\n";
    if (!lines.empty()) {
        const std::string& closing = lines.back();
        std::size_t at = closing.rfind(" at ");
        if (at != std::string::npos) report.endTimeMs = std::llround(std::stod(closing.substr(at + 4)) * 1000);
    }
    return report;
}

// `kvsim flash <folder>` in a process of its own, read back into its report.
inline kvsim::FlashReport FlashNotebookAlone(const std::filesystem::path& folder) {
    kvsim::FlashReport report;
    const std::vector<std::string> lines = RunAlone("flash", folder, report);
    std::string part;
    for (const std::string& line : lines) {
        if (line.rfind("== ", 0) == 0 && (part != "log" || line.rfind("== log ", 0) == 0)) {
            part = line.rfind("== AT commands", 0) == 0     ? "commands"
                   : line.rfind("== changed flags", 0) == 0 ? "flags"
                   : line.rfind("== reset request", 0) == 0 ? "reset"
                                                            : "log";
            continue;
        }
        if (part == "commands") report.commands.push_back(line);
        if (part == "flags" && line != "(no XML writer ran)") report.changedFlags.push_back(line);
        if (part == "reset") report.resetRequested = line.find("not set") == std::string::npos;
        if (part == "log") report.log += line + "\n";
    }
    return report;
}

}  // namespace kvtest


class KvsimCommandTest : public ::testing::Test {
protected:
    void Write(const std::string& relative, const std::string& text) {
        std::filesystem::path file = temp_.path() / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    int Run(const std::vector<std::string>& args) {
        kvtest::KvsimOutput output = kvtest::RunKvsim(args, temp_.path());
        out_.str(output.out);
        err_.str(output.err);
        return output.exitCode;
    }
    static std::string ReadAll(const std::filesystem::path& file) { return kvtest::ReadAll(file); }
    std::string Folder() const { return (temp_.path() / "nb").string(); }

    kvtest::TempDir temp_;
    std::ostringstream out_;
    std::ostringstream err_;
};

// kvsim's command line, run as a process of its own (the system's singletons live for a process,
// so one run per process), on a notebook folder made for the case.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sim_test.h"
#include "tools/kvsim/run.h"

class KvsimCommandTest : public ::testing::Test {
protected:
    void Write(const std::string& relative, const std::string& text) {
        std::filesystem::path file = temp_.path() / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    int Run(const std::vector<std::string>& args) {
        const std::filesystem::path out = temp_.path() / "kvsim.out";
        const std::filesystem::path err = temp_.path() / "kvsim.err";
        const std::filesystem::path code = temp_.path() / "kvsim.code";
        std::string command = Quoted(KV_BINARY_DIR "/tools/kvsim/kvsim");
        for (const std::string& arg : args) command += " " + Quoted(arg);
        command += " >" + Quoted(out.string()) + " 2>" + Quoted(err.string()) + "; echo $? >" + Quoted(code.string());
        std::system(command.c_str());
        out_.str(ReadAll(out));
        err_.str(ReadAll(err));
        int exitCode = -1;
        std::ifstream(code) >> exitCode;
        return exitCode;
    }
    static std::string Quoted(const std::string& text) {
        std::string quoted = "'";
        for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }
    static std::string ReadAll(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Folder() const { return (temp_.path() / "nb").string(); }

    kvtest::TempDir temp_;
    std::ostringstream out_;
    std::ostringstream err_;
};

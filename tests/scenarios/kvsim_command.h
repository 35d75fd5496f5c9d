// kvsim's command line run in-process on a notebook folder made for the case.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
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

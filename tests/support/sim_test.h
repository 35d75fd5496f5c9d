// A fresh simulated machine in a fresh temporary folder for every test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

namespace kvtest {

// A temporary folder removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Writes `content` to the host file under the machine's drive folder that the
// Windows path names ("C:\\a\\b.ini" -> <drives>/C/a/b.ini), creating folders.
void WriteHostFile(const std::filesystem::path& driveRoot, const std::string& windowsPath, const std::string& content);
std::string ReadHostFile(const std::filesystem::path& driveRoot, const std::string& windowsPath);
// A file the system wrote in text mode (a log), each CR LF read as a line feed.
std::string ReadHostText(const std::filesystem::path& driveRoot, const std::string& windowsPath);
std::filesystem::path HostPath(const std::filesystem::path& driveRoot, const std::string& windowsPath);
// A host file's whole content; empty when it cannot be read.
std::string ReadAll(const std::filesystem::path& file);
// The text's lines, without their line ends.
std::vector<std::string> SplitLines(const std::string& text);

// How the tests' machines run their threads: concurrently when the environment's
// KV_SIM_THREADS is "concurrent" (the ThreadSanitizer run), else one at a time.
sim::Threads TestThreads();

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    sim::Machine& machine() { return *machine_; }
    const std::filesystem::path& drives() const { return drives_; }
    void WriteFile(const std::string& windowsPath, const std::string& content) {
        WriteHostFile(drives_, windowsPath, content);
    }
    std::string ReadFile(const std::string& windowsPath) const { return ReadHostFile(drives_, windowsPath); }
    std::string ReadText(const std::string& windowsPath) const { return ReadHostText(drives_, windowsPath); }

    TempDir temp_;
    std::filesystem::path drives_;
    std::unique_ptr<sim::Machine> machine_;
};

}  // namespace kvtest

#include "tests/support/sim_test.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "common/ProcessSingleton.h"
#include "platform/sim/file_system.h"
#include "tools/kvsim/notebook.h"

namespace kvtest {

TempDir::TempDir() {
    std::random_device device;
    std::mt19937_64 random(device());
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("kvtest-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path HostPath(const std::filesystem::path& driveRoot, const std::string& windowsPath) {
    // Through the machine's own mapping when it serves this drive folder, so that
    // "C:\A\x" and "C:\a\y" land in one folder as they would on Windows.
    if (sim::Machine* machine = sim::Machine::Current(); machine && machine->files().Root() == driveRoot)
        if (auto resolved = machine->files().Resolve(windowsPath)) return *resolved;
    std::filesystem::path host = driveRoot;
    std::string part;
    std::string path = windowsPath;
    if (path.size() >= 2 && path[1] == ':') {
        host /= std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
        path = path.substr(2);
    }
    std::stringstream parts(path);
    while (std::getline(parts, part, '\\'))
        if (!part.empty()) host /= part;
    return host;
}

void WriteHostFile(const std::filesystem::path& driveRoot, const std::string& windowsPath, const std::string& content) {
    auto host = HostPath(driveRoot, windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary);
    out << content;
}

std::string ReadHostFile(const std::filesystem::path& driveRoot, const std::string& windowsPath) {
    return ReadAll(HostPath(driveRoot, windowsPath));
}

std::string ReadHostText(const std::filesystem::path& driveRoot, const std::string& windowsPath) {
    return kvsim::ReadWrittenText(HostPath(driveRoot, windowsPath));
}

std::string ReadAll(const std::filesystem::path& file) { return kvsim::ReadText(file).value_or(""); }

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

sim::Threads TestThreads() {
    const char* threads = std::getenv("KV_SIM_THREADS");
    return threads && std::string(threads) == "concurrent" ? sim::Threads::Concurrent : sim::Threads::OneTurn;
}

void SimTest::SetUp() {
    // Every test is a process of its own, also when the test program runs them all in one.
    CProcessSingletons::EndAll();
    drives_ = temp_.path() / "drives";
    std::filesystem::create_directories(drives_ / "C");
    machine_ = std::make_unique<sim::Machine>(drives_, TestThreads());
}

void SimTest::TearDown() {
    // Its threads end before the pointer to it is cleared: a delivery of the test may still read it.
    if (machine_) machine_->Shutdown();
    machine_.reset();
    CProcessSingletons::EndAll();
}

}  // namespace kvtest

#include "bench/bench_support.h"

#include <spawn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "common/CLog.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"

extern char** environ;

namespace kvbench {

double ProcessCpuUs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

ChildUsage RunChild(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ChildUsage usage;
    if (error != 0) return usage;

    int status = 0;
    rusage used{};
    if (wait4(pid, &status, 0, &used) != pid) return usage;
    usage.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usage.cpuUs = static_cast<double>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) * 1e6 +
                  static_cast<double>(used.ru_utime.tv_usec + used.ru_stime.tv_usec);
    usage.peakResidentKiB = used.ru_maxrss;
    return usage;
}

Scratch::Scratch() {
    std::random_device device;
    std::mt19937_64 random(device());
    for (;;) {
        path_ = std::filesystem::temp_directory_path() / ("kvbench-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

Scratch::~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

Notebook::Notebook(const std::string& name) {
    const std::filesystem::path folder = std::filesystem::path(KV_SOURCE_DIR) / "examples" / name;
    drives_ = scratch_.path() / "drives";
    std::filesystem::copy(folder / "drives", drives_, std::filesystem::copy_options::recursive);
    machine_ = std::make_unique<sim::Machine>(drives_);
    machine_->SetExecutablePath("C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
    std::string problem = machine_->registry().LoadRegText(ReadText(folder / "registry.reg"), "registry.reg");
    if (problem.empty()) problem = machine_->modem().LoadModemText(ReadText(folder / "modem.txt"), "modem.txt");
    if (!problem.empty()) throw std::runtime_error(problem);
}

Notebook::~Notebook() {
    CLog::GetInstance()->Close();
    machine_->Shutdown();
    machine_.reset();
}

}  // namespace kvbench

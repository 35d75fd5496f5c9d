#include "bench/bench_support.h"

#include <spawn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <ctime>
#include <stdexcept>

#include "common/CLog.h"
#include "tools/kvsim/run.h"

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

Notebook::Notebook(const std::string& name) {
    kvsim::Notebook notebook;
    kvsim::InputError error;
    if (!kvsim::ReadNotebook(std::filesystem::path(KV_SOURCE_DIR) / "examples" / name, notebook, error))
        throw std::runtime_error(error.Text());
    drives_ = scratch_.path() / "drives";
    std::string problem = kvsim::CopyDrives(notebook, drives_);
    if (!problem.empty()) throw std::runtime_error(problem);
    machine_ = std::make_unique<sim::Machine>(drives_);
    machine_->SetExecutablePath(kvsim::kExecutablePath);
    problem = kvsim::LoadMachine(*machine_, notebook);
    if (!problem.empty()) throw std::runtime_error(problem);
}

Notebook::~Notebook() {
    CLog::GetInstance()->Close();
    machine_->Shutdown();
    machine_.reset();
}

}  // namespace kvbench

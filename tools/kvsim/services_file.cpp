#include "tools/kvsim/services_file.h"

#include <cctype>
#include <sstream>

#include "tools/kvsim/scenario.h"

namespace kvsim {

namespace {

const char kUsage[] =
    "expected: \"<service name>\" \"<executable>\" stops-after <n> | stopped | refuses-stop | hangs-stopping";

// "C:\..." or "c:/...": a service's executable is named by its full path; a relative one names no file.
bool IsDrivePath(const std::string& path) {
    return path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

}  // namespace

std::optional<std::vector<InstalledService>> ParseServices(const std::string& text, const std::string& fileName,
                                                           InputError& error, DriverSetting* driver) {
    std::vector<InstalledService> services;
    DriverSetting ignored;
    if (!driver) driver = &ignored;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    auto fail = [&](std::string message) {
        error = {fileName, number, std::move(message)};
        return std::nullopt;
    };
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> tokens;
        std::string problem;
        if (!Tokenize(line, tokens, problem)) return fail(problem);
        if (tokens.empty()) continue;
        if (tokens[0] == "driver" && tokens.size() >= 2 &&
            (tokens[1] == "absent" || tokens[1] == "refuses" || tokens[1] == "present")) {
            if (driver->line)
                return fail("a second driver line (the first is line " + std::to_string(driver->line) + ")");
            driver->line = number;
            driver->present = tokens[1] != "absent";
            std::size_t expected = 2;
            if (tokens[1] == "refuses") {
                driver->rejectError = 31;  // ERROR_GEN_FAILURE
                if (tokens.size() == 3) {
                    const std::string& code = tokens[2];
                    if (!AllDigits(code) || code.size() > 9 || std::stoul(code) == 0)
                        return fail("driver refuses takes the Windows error number its controls fail with (1 or more)");
                    driver->rejectError = static_cast<DWORD>(std::stoul(code));
                    expected = 3;
                }
            }
            if (tokens.size() != expected) return fail("expected: driver absent | driver refuses [<error>] | driver present");
            continue;
        }
        if (tokens.size() < 3 || tokens[0].empty()) return fail(kUsage);

        InstalledService service;
        service.line = number;
        service.name = tokens[0];
        service.binaryPath = tokens[1];
        if (!IsDrivePath(service.binaryPath))
            return fail("the executable '" + service.binaryPath +
                        "' is not a full Windows path (a drive letter, a colon and a backslash, as C:\\Kavrion\\x.exe)");
        const std::string& answer = tokens[2];
        std::size_t expected = 3;
        if (answer == "stops-after") {
            expected = 4;
            const std::string polls = tokens.size() > 3 ? tokens[3] : "";
            if (!AllDigits(polls) || polls.size() > 4) return fail("stops-after needs the number of status queries that still show STOP_PENDING");
            service.behaviour = sim::ServiceBehaviour::StopsAfterPolls;
            service.pendingPolls = std::stoi(polls);
        } else if (answer == "stopped") {
            service.behaviour = sim::ServiceBehaviour::Stopped;
        } else if (answer == "refuses-stop") {
            service.behaviour = sim::ServiceBehaviour::RefusesStop;
        } else if (answer == "hangs-stopping") {
            service.behaviour = sim::ServiceBehaviour::HangsStopping;
        } else {
            return fail("unknown answer to a stop '" + answer +
                        "' (known: stops-after <n>, stopped, refuses-stop, hangs-stopping)");
        }
        if (tokens.size() != expected) return fail(kUsage);
        services.push_back(std::move(service));
    }
    return services;
}

}  // namespace kvsim

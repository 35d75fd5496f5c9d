#include "tools/kvsim/services_file.h"

#include <cctype>
#include <sstream>

#include "tools/kvsim/scenario.h"

namespace kvsim {

namespace {

const char kUsage[] =
    "expected: \"<service name>\" \"<executable>\" stops-after <n> | stopped | refuses-stop | hangs-stopping";

}  // namespace

std::optional<std::vector<InstalledService>> ParseServices(const std::string& text, const std::string& fileName,
                                                           InputError& error) {
    std::vector<InstalledService> services;
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
        if (tokens.size() < 3 || tokens[0].empty()) return fail(kUsage);

        InstalledService service;
        service.line = number;
        service.name = tokens[0];
        service.binaryPath = tokens[1];
        const std::string& answer = tokens[2];
        std::size_t expected = 3;
        if (answer == "stops-after") {
            expected = 4;
            const std::string polls = tokens.size() > 3 ? tokens[3] : "";
            bool digits = !polls.empty() && polls.size() <= 4;
            for (char c : polls) digits = digits && std::isdigit(static_cast<unsigned char>(c));
            if (!digits) return fail("stops-after needs the number of status queries that still show STOP_PENDING");
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

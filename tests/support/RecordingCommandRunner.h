#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/CommandRunner.h"

namespace quillfen::test {

// Records commands instead of running them. Each gets the outcome scripted for the first of its
// arguments that has one ("daemon-reload", "enable", ...), else a clean exit.
struct RecordingCommandRunner final : CommandRunner {
    std::vector<std::vector<std::string>> calls;  // the executable, then the arguments
    std::map<std::string, CommandOutcome> outcomes;

    CommandOutcome run(const std::string& executable, const std::vector<std::string>& arguments) override {
        calls.push_back({executable});
        calls.back().insert(calls.back().end(), arguments.begin(), arguments.end());
        for (const auto& argument : arguments) {
            if (auto it = outcomes.find(argument); it != outcomes.end()) return it->second;
        }
        return {true, 0, {}};
    }
    std::optional<std::string> launchDetached(const std::string& executable,
                                              const std::vector<std::string>& arguments) override {
        run(executable, arguments);
        return std::nullopt;
    }
};

}  // namespace quillfen::test

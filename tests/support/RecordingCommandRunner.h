#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/CommandRunner.h"

namespace quillfen::test {

// Records every command instead of running it. Each answers with the outcome scripted for the
// first argument that has one ("daemon-reload", "enable", ...), else a clean exit.
class RecordingCommandRunner final : public CommandRunner {
public:
    struct Call {
        std::string executable;
        std::vector<std::string> arguments;
        bool detached = false;
        bool operator==(const Call&) const = default;
    };

    std::vector<Call> calls;
    std::map<std::string, CommandOutcome> outcomes;
    std::optional<std::string> launchError;

    CommandOutcome run(const std::string& executable, const std::vector<std::string>& arguments) override {
        calls.push_back({executable, arguments, false});
        for (const auto& argument : arguments) {
            if (auto it = outcomes.find(argument); it != outcomes.end()) return it->second;
        }
        return {true, 0, {}};
    }

    std::optional<std::string> launchDetached(const std::string& executable,
                                              const std::vector<std::string>& arguments) override {
        calls.push_back({executable, arguments, true});
        return launchError;
    }
};

}  // namespace quillfen::test

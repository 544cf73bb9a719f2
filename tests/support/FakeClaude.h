#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/Hold.h"

namespace quillfen::test {

// A stand-in for the user's `claude` tool: a shell script at ~/.local/bin/claude of the given
// home that records its arguments and prints whatever reply the test scripted.
class FakeClaude {
public:
    explicit FakeClaude(const std::filesystem::path& home);

    const std::filesystem::path& path() const { return path_; }
    void reply(const std::string& stdoutText, int exitCode = 0, const std::string& stderrText = {});
    // Sleeps instead of answering, as a hung tool does.
    void sleepFor(double seconds);
    // Answers as scripted, but only after this long, as a slow tool does.
    void delayFor(double seconds);
    // Hangs until the test lets go of `hold()`, then answers as scripted.
    void hangs(bool hung = true);
    const ShellHold& hold() const { return hold_; }
    // The arguments of the latest run, each as given; empty when it never ran.
    std::vector<std::string> lastArguments() const;
    int runs() const;

private:
    void writeScript();

    std::filesystem::path path_;
    std::filesystem::path dir_;
    double sleepSeconds_ = 0;
    double delaySeconds_ = 0;
    bool hung_ = false;
    ShellHold hold_;
};

}  // namespace quillfen::test

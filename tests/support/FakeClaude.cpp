#include "support/FakeClaude.h"

#include <fstream>
#include <sstream>

#include "support/TestEnvironment.h"

namespace quillfen::test {

FakeClaude::FakeClaude(const std::filesystem::path& home)
    : path_(home / ".local/bin/claude"), dir_(home / ".fake-claude") {
    std::filesystem::create_directories(dir_);
    reply("{}");
}

void FakeClaude::reply(const std::string& stdoutText, int exitCode, const std::string& stderrText) {
    writeFile(dir_ / "stdout", stdoutText);
    writeFile(dir_ / "stderr", stderrText);
    writeFile(dir_ / "code", std::to_string(exitCode));
    writeScript();
}

void FakeClaude::sleepFor(double seconds) {
    sleepSeconds_ = seconds;
    writeScript();
}

void FakeClaude::delayFor(double seconds) {
    delaySeconds_ = seconds;
    writeScript();
}

void FakeClaude::hangs(bool hung) {
    hung_ = hung;
    writeScript();
}

void FakeClaude::writeScript() {
    const std::string d = dir_.string();
    std::ostringstream script;
    script << "#!/bin/sh\n"
           << "printf '%s\\0' \"$@\" > '" << d << "/args'\n"
           << "echo run >> '" << d << "/runs'\n";
    if (sleepSeconds_ > 0) script << "exec sleep " << sleepSeconds_ << "\n";
    if (delaySeconds_ > 0) script << "sleep " << delaySeconds_ << "\n";
    if (hung_) script << hold_.command() << "\n";
    script << "cat '" << d << "/stdout'\n"
           << "cat '" << d << "/stderr' >&2\n"
           << "exit $(cat '" << d << "/code')\n";
    writeFile(path_, script.str());
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
}

std::vector<std::string> FakeClaude::lastArguments() const {
    std::string all = readFile(dir_ / "args");
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == '\0') {
            args.push_back(all.substr(start, i - start));
            start = i + 1;
        }
    }
    return args;
}

int FakeClaude::runs() const {
    std::ifstream in(dir_ / "runs");
    int count = 0;
    std::string line;
    while (std::getline(in, line))
        ++count;
    return count;
}

}  // namespace quillfen::test

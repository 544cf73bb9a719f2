#include "ClaudeFaceInstaller.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "ClaudeFaceScripts.h"
#include "Signals/PromptCadence.h"
#include "Support/Text.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Outcome = ClaudeFaceInstaller::SettingsOutcome;

std::optional<std::string> scripts(std::string_view name) {
    return "#!/bin/bash\n# " + std::string(name) + "\n";
}

unsigned modeOf(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

struct Install {
    test::TestHome home;
    fs::path settings = home.path() / ".claude/settings.json";
    fs::path backup = home.path() / ".claude/settings.json.bak-tavryn-stone";
    std::string hook = "bash " + (home.path() / ".ostrel/prompt-cadence-hook.sh").string();
    std::string statusLine = "bash " + (home.path() / ".ostrel/statusline-mirror.sh").string();

    ClaudeFaceInstaller::Report run() { return ClaudeFaceInstaller::install(home.path(), scripts); }
    nlohmann::json written() const { return nlohmann::json::parse(test::readFile(settings)); }
    nlohmann::json hookEntry() const {
        return {{"hooks", {{{"type", "command"}, {"command", hook}, {"timeout", 5}}}}};
    }
};

TEST(ClaudeFaceInstaller, MergesTheHookAndTheStatusLineIntoTheUsersSettingsOnce) {
    const std::string other = R"({"type":"command","command":"other-tool"})";
    const struct {
        std::string name;
        std::string before;
        std::vector<std::string> hooksAfter;  // compact entries; "ours" is the one installed
    } cases[] = {
        {"another key", R"({"model":"opus"})", {"ours"}},
        {"another tool's hook stays first", R"({"hooks":{"UserPromptSubmit":[{"hooks":[)" + other + "]}]}}",
         {R"({"hooks":[)" + other + "]}", "ours"}},
        {"the hook moved elsewhere by hand counts",
         R"({"hooks":{"UserPromptSubmit":[{"hooks":[{"command":"bash /opt/x/prompt-cadence-hook.sh"}]}]}})",
         {R"({"hooks":[{"command":"bash /opt/x/prompt-cadence-hook.sh"}]})"}},
        {"the user's own status line is replaced", R"({"statusLine":{"type":"command","command":"mine"}})", {"ours"}},
    };
    for (const auto& c : cases) {
        Install install;
        test::writeFile(install.settings, c.before);
        ::chmod(install.settings.c_str(), 0640);
        for (int run = 0; run < 2; ++run) {
            const auto report = install.run();
            EXPECT_EQ(report.settings, Outcome::written) << c.name;
            EXPECT_EQ(report.scripts, (std::vector<std::string>{"prompt-cadence-hook", "statusline-mirror"}));
        }
        const auto after = install.written();
        nlohmann::json hooks = nlohmann::json::array();
        for (const auto& entry : c.hooksAfter) hooks.push_back(entry == "ours" ? install.hookEntry() : nlohmann::json::parse(entry));
        nlohmann::json expected = nlohmann::json::parse(c.before);
        expected["hooks"]["UserPromptSubmit"] = hooks;
        expected["statusLine"] = {{"type", "command"}, {"command", install.statusLine}};
        EXPECT_EQ(after, expected) << c.name;
        EXPECT_EQ(test::readFile(install.backup), c.before) << c.name;
        EXPECT_EQ(modeOf(install.settings), 0640u) << "the file keeps its mode: " << c.name;
        for (const char* script : {"prompt-cadence-hook.sh", "statusline-mirror.sh"})
            EXPECT_EQ(modeOf(install.home.path() / ".ostrel" / script), 0755u);
    }
}

TEST(ClaudeFaceInstaller, LeavesSettingsItCannotReadAsClaudeCodeDoesExactlyAsTheyAre) {
    const std::pair<std::string, Outcome> cases[] = {
        {"{\"model\": \"opus\",", Outcome::notAnObject},
        {"[1, 2]", Outcome::notAnObject},
        {R"({"hooks": ["UserPromptSubmit"]})", Outcome::hooksNotAnObject},
        {R"({"hooks": {"UserPromptSubmit": {"hooks": []}}})", Outcome::promptHooksNotAList},
        {R"({"hooks": {"UserPromptSubmit": ["bash x.sh"]}})", Outcome::promptHooksNotAList},
        {std::string(5000, '[') + std::string(5000, ']'), Outcome::unreadable},
    };
    for (const auto& [before, outcome] : cases) {
        Install install;
        test::writeFile(install.settings, before);
        const auto report = install.run();
        EXPECT_EQ(report.settings, outcome) << before.substr(0, 40);
        EXPECT_FALSE(ClaudeFaceInstaller::note(outcome).empty());
        EXPECT_EQ(test::readFile(install.settings), before);
        EXPECT_FALSE(fs::exists(install.backup));
        EXPECT_EQ(report.scripts.size(), 2u) << "the scripts are installed all the same";
        EXPECT_EQ(std::distance(fs::directory_iterator(install.settings.parent_path()), fs::directory_iterator()), 1)
            << "no temporary file is left beside it";
    }
}

TEST(ClaudeFaceInstaller, APathThatNeedsQuotingIsSingleQuotedInTheCommands) {
    EXPECT_EQ(Text::shellWord("/home/ada/.ostrel/x.sh"), "/home/ada/.ostrel/x.sh");
    EXPECT_EQ(Text::shellWord("/home/$USER/`x`.sh"), "'/home/$USER/`x`.sh'");

    // The quoted command runs the installed hook from such a home, and the moment it keeps
    // is one the prompt cadence reads.
    test::TestHome outer;
    const fs::path home = outer.path() / "Ada o'Byron";
    test::ScopedEnv env("HOME", home.string());
    ASSERT_EQ(ClaudeFaceInstaller::install(home, ClaudeFaceScripts::bundled).settings, Outcome::written);
    const auto settings = nlohmann::json::parse(test::readFile(home / ".claude/settings.json"));
    const std::string command = settings["hooks"]["UserPromptSubmit"][0]["hooks"][0]["command"];
    EXPECT_EQ(command, "bash '" + outer.path().string() + "/Ada o'\\''Byron/.ostrel/prompt-cadence-hook.sh'");
    ASSERT_EQ(std::system(("echo '{\"prompt\":\"secret\"}' | " + command).c_str()), 0);
    const auto cadence = PromptCadence::read(home / ".ostrel/prompt-cadence.jsonl");
    EXPECT_EQ(cadence.count(600, std::chrono::system_clock::now()), 1);
    EXPECT_EQ(test::readFile(home / ".ostrel/prompt-cadence.jsonl").find("secret"), std::string::npos);
}

}  // namespace
}  // namespace quillfen

#include "ClaudeFaceInstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stop_token>
#include <thread>

#include <nlohmann/json.hpp>

#include "ClaudeFaceScripts.h"
#include "Signals/PromptCadence.h"
#include "Support/Text.h"
#include "support/CapturedSystemLog.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using SettingsOutcome = ClaudeFaceInstaller::SettingsOutcome;

std::optional<std::string> scripts(std::string_view name) {
    return "#!/bin/bash\n# " + std::string(name) + "\n";
}

// How long a script Claude Code runs is given, from its start: a script held by a pipe is held for
// good, and a busy machine takes seconds to start bash.
const std::string kScriptPatience = "20";

// A bundled script as Claude Code runs it: details on standard input, given up if it hangs. What it
// printed, or nothing when it failed or was given up on.
struct Script {
    explicit Script(std::string_view name) {
        test::writeFile(path, ClaudeFaceScripts::bundled(name).value_or(""));
    }
    std::optional<std::string> run() const {
        const auto command = "echo '{}' | timeout " + kScriptPatience + " bash " +
                             Text::shellWord(path.string()) + " >" + Text::shellWord(out.string());
        if (std::system(command.c_str()) != 0) return std::nullopt;
        return test::readFile(out);
    }
    test::TempDir dir;
    fs::path path = dir.path() / "script.sh";
    fs::path out = dir.path() / "out";
};

struct Install {
    test::TestHome home;
    fs::path settings = home.path() / ".claude/settings.json";
    fs::path backup = home.path() / ".claude/settings.json.bak-tavryn-stone";
    std::string hook = "bash " + (home.path() / ".ostrel/prompt-cadence-hook.sh").string();
    std::string statusLine = "bash " + (home.path() / ".ostrel/statusline-mirror.sh").string();

    TimePoint now = test::at("2026-01-05T14:00:00Z");

    ClaudeFaceInstaller::Report run() { return ClaudeFaceInstaller::install(home.path(), scripts, now); }
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
            EXPECT_EQ(report.settings, SettingsOutcome::written) << c.name;
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
        EXPECT_EQ(test::modeOf(install.settings), 0640u) << "the file keeps its mode: " << c.name;
        for (const char* script : {"prompt-cadence-hook.sh", "statusline-mirror.sh"})
            EXPECT_EQ(test::modeOf(install.home.path() / ".ostrel" / script), 0755u);
    }
}

TEST(ClaudeFaceInstaller, LeavesSettingsItCannotReadAsClaudeCodeDoesExactlyAsTheyAre) {
    const std::pair<std::string, SettingsOutcome> cases[] = {
        {"{\"model\": \"opus\",", SettingsOutcome::notAnObject},
        {"[1, 2]", SettingsOutcome::notAnObject},
        {R"({"hooks": ["UserPromptSubmit"]})", SettingsOutcome::hooksNotAnObject},
        {R"({"hooks": {"UserPromptSubmit": {"hooks": []}}})", SettingsOutcome::promptHooksNotAList},
        {R"({"hooks": {"UserPromptSubmit": ["bash x.sh"]}})", SettingsOutcome::promptHooksNotAList},
        {std::string(5000, '[') + std::string(5000, ']'), SettingsOutcome::unreadable},
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

// Every install that would replace a status line of the user's keeps the file as it was first,
// in a copy of its own beside the first install's, which is never touched.
TEST(ClaudeFaceInstaller, ALaterInstallKeepsAStatusLineTheUserSetMeanwhileInANewBackup) {
    Install install;
    const std::string first = R"({"model":"opus"})";
    test::writeFile(install.settings, first);
    ASSERT_EQ(install.run().settings, SettingsOutcome::written);
    const auto userSets = [&](const std::string& command) {
        auto settings = install.written();
        settings["statusLine"] = {{"type", "command"}, {"command", command}};
        test::writeFile(install.settings, settings.dump());
        return settings.dump();
    };
    const std::string stamped = install.backup.string() + ".2026-01-05T14:00:00Z";
    // The name a later copy takes is already a link to a file elsewhere: it is passed over.
    test::TempDir elsewhere;
    fs::create_symlink(elsewhere.path() / "target", stamped + "-2");

    const std::string mine = userSets("my-status");
    ASSERT_EQ(install.run().settings, SettingsOutcome::written);
    const std::string mineAgain = userSets("my-other-status");
    ASSERT_EQ(install.run().settings, SettingsOutcome::written);
    ASSERT_EQ(install.run().settings, SettingsOutcome::written);  // the status line is ours: no copy

    EXPECT_EQ(test::readFile(install.backup), first);
    EXPECT_EQ(test::readFile(stamped), mine);
    EXPECT_EQ(test::readFile(stamped + "-3"), mineAgain);
    EXPECT_FALSE(fs::exists(elsewhere.path() / "target"));
    EXPECT_EQ(std::distance(fs::directory_iterator(install.settings.parent_path()), fs::directory_iterator()), 5);
    EXPECT_EQ(install.written()["statusLine"]["command"], install.statusLine);
}

TEST(ClaudeFaceInstaller, SettingsTheUserMadeReadOnlyAreLeftAndTheWindowSaysWhy) {
    Install install;
    const std::string before = R"({"statusLine":{"type":"command","command":"mine"}})";
    test::writeFile(install.settings, before);
    ::chmod(install.settings.c_str(), 0444);
    const auto report = install.run();
    EXPECT_EQ(report.settings, SettingsOutcome::readOnly);
    EXPECT_EQ(ClaudeFaceInstaller::note(report.settings),
              "left your Claude Code settings as they were: ~/.claude/settings.json is read-only");
    EXPECT_EQ(test::readFile(install.settings), before);
    EXPECT_EQ(test::modeOf(install.settings), 0444u);
}

// ~/.claude holds Claude Code's hooks: made here, it is the user's alone under any umask. The
// scripts are files of ours: another user's link at a script's place is replaced, its target left
// alone; the user's own link (a dotfiles folder) leads the script to the file it names.
TEST(ClaudeFaceInstaller, MakesClaudesFolderPrivateAndWritesAScriptOnlyThroughTheUsersOwnLink) {
    for (const bool theUsersLink : {false, true}) {
        SCOPED_TRACE(theUsersLink ? "the user's link" : "another user's link");
        Install install;
        test::TempDir elsewhere;
        const auto outside = elsewhere.path() / "theirs.sh";
        test::writeFile(outside, "their own\n");
        const auto script = install.home.familyDirectory() / "statusline-mirror.sh";
        fs::create_directories(install.home.familyDirectory());
        fs::create_symlink(outside, script);
        if (!theUsersLink && !test::giveToAnotherUser(script)) continue;
        const mode_t previous = ::umask(0);
        const auto report = install.run();
        ::umask(previous);
        EXPECT_EQ(report.settings, SettingsOutcome::written);
        EXPECT_EQ(test::modeOf(install.home.path() / ".claude"), 0700u);
        EXPECT_EQ(fs::is_symlink(script), theUsersLink);
        EXPECT_EQ(test::readFile(outside), theUsersLink ? *scripts("statusline-mirror") : "their own\n");
        EXPECT_EQ(test::readFile(script), *scripts("statusline-mirror"));
        EXPECT_EQ(test::modeOf(theUsersLink ? outside : script), 0755u);
    }
}

// A settings file kept elsewhere (a dotfiles folder) is the user's own link to the user's own
// file, and its target is what gets replaced; a link someone else placed is never followed.
TEST(ClaudeFaceInstaller, FollowsOnlyTheUsersOwnLinkToTheirSettings) {
    if (::getuid() != 0) GTEST_SKIP() << "a link of another owner needs root to make";
    const struct {
        const char* name;
        uid_t linkOwner;
        uid_t targetOwner;
        bool written;
    } cases[] = {
        {"the user's link to the user's file", ::getuid(), ::getuid(), true},
        {"another's link", 65534, ::getuid(), false},
        {"a link to another's file", ::getuid(), 65534, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Install install;
        test::TempDir dotfiles;
        const auto target = dotfiles.path() / "claude-settings.json";
        test::writeFile(target, R"({"model":"opus"})");
        ASSERT_EQ(::chown(target.c_str(), c.targetOwner, c.targetOwner), 0);
        fs::create_directories(install.settings.parent_path());
        fs::create_symlink(target, install.settings);
        ASSERT_EQ(::lchown(install.settings.c_str(), c.linkOwner, c.linkOwner), 0);

        const auto report = install.run();
        EXPECT_EQ(report.settings, c.written ? SettingsOutcome::written : SettingsOutcome::notWritten);
        EXPECT_TRUE(fs::is_symlink(install.settings));
        EXPECT_EQ(nlohmann::json::parse(test::readFile(target)).contains("statusLine"), c.written);
    }
}

// In a home others may add to, another user made ~/.ostrel first: their folder, or their link to
// one. A script there would be theirs to rewrite, and Claude Code would run it as the user.
TEST(ClaudeFaceInstaller, PutsNoScriptAndNoHookInAFamilyFolderThatIsNotTheUsers) {
    if (::getuid() != 0) GTEST_SKIP() << "only root can give a folder or a link to another user";
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "their link" : "their folder");
        Install install;
        ::chmod(install.home.path().c_str(), 01777);
        test::TempDir elsewhere;
        const auto family = install.home.path() / ".ostrel";
        const auto theirs = link ? elsewhere.path() : family;
        fs::create_directories(theirs);
        ::chmod(theirs.c_str(), 0777);
        ASSERT_EQ(::chown(theirs.c_str(), test::kAnotherUser, test::kAnotherUser), 0);
        if (link) {
            fs::create_directory_symlink(theirs, family);
            ASSERT_TRUE(test::giveToAnotherUser(family));
        }
        const auto report = install.run();
        EXPECT_EQ(report.settings, SettingsOutcome::familyFolderRefused);
        EXPECT_EQ(ClaudeFaceInstaller::note(report.settings),
                  "left your Claude Code settings as they were: ~/.ostrel is not a folder of yours alone");
        EXPECT_TRUE(report.scripts.empty());
        EXPECT_TRUE(fs::is_empty(theirs));
        EXPECT_FALSE(fs::exists(install.settings));
    }
}

// ~/.claude is open to another user, who placed settings.json as their link to a file of the
// user's that only the user may reach. Neither an install nor an uninstall reads
// through it, so nothing of that file lands in a backup others could read; and a backup made
// in an ordinary home is the user's alone, whatever the settings' mode.
TEST(ClaudeFaceInstaller, ReadsNothingThroughAnotherUsersLinkAndKeepsEveryBackupPrivate) {
    for (const bool uninstall : {false, true}) {
        SCOPED_TRACE(uninstall ? "uninstall" : "install");
        Install install;
        test::TempDir privateFolder;
        const auto secret = privateFolder.path() / "secret.json";
        const std::string secretText = R"({"statusLine":{"command":"bash statusline-mirror.sh"},"token":"s3cret"})";
        test::writeFile(secret, secretText);
        ::chmod(secret.c_str(), 0644);
        fs::create_directories(install.settings.parent_path());
        ::chmod(install.settings.parent_path().c_str(), 0777);
        fs::create_symlink(secret, install.settings);
        if (!test::giveToAnotherUser(install.settings)) continue;

        const auto outcome = uninstall ? ClaudeFaceInstaller::uninstall(install.home.path(), install.now).settings
                                       : install.run().settings;
        EXPECT_EQ(outcome, SettingsOutcome::notWritten);
        EXPECT_EQ(std::distance(fs::directory_iterator(install.settings.parent_path()), fs::directory_iterator()), 1)
            << "no backup beside the link";
        EXPECT_TRUE(fs::is_symlink(install.settings));
        EXPECT_EQ(test::readFile(secret), secretText);
    }

    Install install;
    test::writeFile(install.settings, R"({"statusLine":{"type":"command","command":"mine"}})");
    ::chmod(install.settings.c_str(), 0644);
    ASSERT_EQ(install.run().settings, SettingsOutcome::written);
    test::writeFile(install.settings, R"({"statusLine":{"type":"command","command":"mine again"}})");
    ASSERT_EQ(install.run().settings, SettingsOutcome::written);
    EXPECT_EQ(test::modeOf(install.backup), 0600u);
    EXPECT_EQ(test::modeOf(install.backup.string() + ".2026-01-05T14:00:00Z"), 0600u);
    EXPECT_EQ(test::modeOf(install.settings), 0644u);
}

// Claude Code runs the scripts later by their paths, with no walk of ours: where someone else
// could change a folder on the way, they could put their own program there for it to run.
TEST(ClaudeFaceInstaller, WritesNothingWhereOthersCouldChangeTheWayToTheScripts) {
    const struct {
        const char* what;
        bool theirs;
        mode_t mode;
        const char* why;
    } cases[] = {
        {"another user's folder", true, 0755, " is a folder of another user"},
        {"a folder anyone may write, without the sticky bit", false, 0777, "others may change "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestHome outer;
        const fs::path way = outer.path() / "way";
        const fs::path home = way / "home";
        fs::create_directories(home);
        ::chmod(way.c_str(), c.mode);
        if (c.theirs && !test::giveToAnotherUser(way)) continue;

        test::CapturedSystemLog log;
        const auto report = ClaudeFaceInstaller::install(home, scripts, test::at("2026-01-05T14:00:00Z"));
        EXPECT_EQ(report.settings, SettingsOutcome::othersCouldChangeScripts);
        EXPECT_EQ(ClaudeFaceInstaller::note(report.settings),
                  "left your Claude Code settings as they were: others could change a folder on the way to ~/.ostrel");
        EXPECT_TRUE(report.scripts.empty());
        // The family folder is the user's own, as every start makes it; nothing goes into it.
        EXPECT_TRUE(fs::is_empty(home / ".ostrel"));
        EXPECT_FALSE(fs::exists(home / ".claude"));
        const bool logged = std::any_of(log.lines.begin(), log.lines.end(), [&](const std::string& line) {
            return line.find(c.why) != std::string::npos && line.find(way.string()) != std::string::npos;
        });
        EXPECT_TRUE(logged) << testing::PrintToString(log.lines);
    }
}

// The hook appends only to a journal of the user's in a folder of the user's: not into a folder
// another user made first in a home others may add to, nor through their link at the folder's or
// the journal's name, whatever it leads to. The user's own link (a dotfiles folder) is followed.
TEST(ClaudeFaceInstaller, TheHookAppendsOnlyToTheUsersOwnJournal) {
    if (::getuid() != 0) GTEST_SKIP() << "only root can give a folder or a link to another user";
    enum class Link { none, journal, folder };
    const struct {
        const char* what;
        bool theirFolder;
        Link link;
        bool theirLink;
        bool theirTarget;
        bool appended;
    } cases[] = {
        {"another user's folder", true, Link::none, false, false, false},
        {"another user's link to their file", false, Link::journal, true, true, false},
        {"the user's own link to their file", false, Link::journal, false, false, true},
        {"another user's link to the user's file", false, Link::journal, true, false, false},
        {"another user's link for the folder, to a folder of the user's", false, Link::folder, true, false, false},
        {"the user's own link for the folder", false, Link::folder, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestHome home;
        ::chmod(home.path().c_str(), 01777);
        test::TempDir elsewhere;
        const auto script = elsewhere.path() / "hook.sh";
        test::writeFile(script, ClaudeFaceScripts::bundled(ClaudeFaceInstaller::kHookScript).value_or(""));
        const auto family = home.familyDirectory();
        const auto victim = elsewhere.path() / "victim";
        fs::create_directories(victim);
        ::chmod(victim.c_str(), 0700);
        const auto give = [](const fs::path& path, bool theirs) { return !theirs || test::giveToAnotherUser(path); };
        if (c.link == Link::folder) {
            fs::create_directory_symlink(victim, family);
            ASSERT_TRUE(give(family, c.theirLink));
        } else {
            fs::create_directories(family);
            ::chmod(family.c_str(), 0777);
            ASSERT_TRUE(give(family, c.theirFolder));
        }
        auto target = (c.link == Link::folder ? victim : family) / "prompt-cadence.jsonl";
        if (c.link == Link::journal) {
            target = elsewhere.path() / "team.jsonl";
            test::writeFile(target, "");
            fs::create_symlink(target, family / "prompt-cadence.jsonl");
            ASSERT_TRUE(give(target, c.theirTarget) && give(family / "prompt-cadence.jsonl", c.theirLink));
        }
        ASSERT_EQ(std::system(("echo '{}' | bash " + Text::shellWord(script.string())).c_str()), 0);
        EXPECT_EQ(fs::exists(target) && !test::readFile(target).empty(), c.appended);
        if (c.link == Link::none) {
            EXPECT_TRUE(fs::is_empty(family));
        }
        if (c.link == Link::folder && !c.appended) {
            EXPECT_TRUE(fs::is_empty(victim));
        }
    }
}

// Claude Code waits for its status line: a pipe where the decisions journal should be is passed over.
TEST(ClaudeFaceInstaller, TheStatusLineIsNotHeldByAPipeAtTheJournal) {
    test::TestHome home;
    test::TempDir elsewhere;
    const auto script = elsewhere.path() / "statusline.sh";
    test::writeFile(script, ClaudeFaceScripts::bundled(ClaudeFaceInstaller::kStatusLineScript).value_or(""));
    fs::create_directories(home.familyDirectory());
    ASSERT_EQ(::mkfifo((home.familyDirectory() / "decisions-log.jsonl").c_str(), 0600), 0);
    const auto output = elsewhere.path() / "out";
    const auto command = "timeout " + kScriptPatience + " bash " + Text::shellWord(script.string()) +
                         " </dev/null >" + Text::shellWord(output.string());
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(test::readFile(output), "the stone \xc2\xb7 quiet\n");
}

// Claude Code runs its status line for every line it draws: the journal is read only as a regular
// file of the user's in a folder of the user's, through nobody else's link, and only as far as its
// size counts. A file under /proc says it holds nothing and never ends.
TEST(ClaudeFaceInstaller, TheStatusLineReadsOnlyTheUsersOwnJournalAndOnlyWhatItsSizeCounts) {
    const struct {
        const char* what;
        bool folderLinked;      // ~/.ostrel a link to the folder of the user's journal
        const char* journalTo;  // else the journal a link to this (the user's journal when empty)
        bool theirs;            // the link another user's
        const char* face;
    } cases[] = {
        {"the user's journal", false, nullptr, false, "calm"},
        {"the user's own link to /proc/self/pagemap", false, "/proc/self/pagemap", false, "quiet"},
        {"another user's link to /proc/self/pagemap", false, "/proc/self/pagemap", true, "quiet"},
        {"another user's link to the user's journal", false, "", true, "quiet"},
        {"the user's own link for the folder", true, nullptr, false, "calm"},
        {"another user's link for the folder, to the user's", true, nullptr, true, "quiet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestHome home;
        test::TempDir elsewhere;
        const auto script = elsewhere.path() / "statusline.sh";
        test::writeFile(script, ClaudeFaceScripts::bundled(ClaudeFaceInstaller::kStatusLineScript).value_or(""));
        const auto kept = elsewhere.path() / "kept/decisions-log.jsonl";
        test::writeFile(kept, "{\"kind\":\"face\",\"detail\":\"neutral to calm\"}\n{\"kind\":\"update\"}\n");
        const auto family = home.familyDirectory();
        fs::path link = family;
        if (c.folderLinked) {
            fs::create_directory_symlink(kept.parent_path(), family);
        } else if (!c.journalTo) {
            fs::copy(kept.parent_path(), family);
        } else {
            link = family / kept.filename();
            fs::create_directories(family);
            fs::create_symlink(*c.journalTo ? fs::path(c.journalTo) : kept, link);
        }
        if (c.theirs && !test::giveToAnotherUser(link)) continue;
        const auto output = elsewhere.path() / "out";
        const auto command = "timeout " + kScriptPatience + " bash " + Text::shellWord(script.string()) +
                             " </dev/null >" + Text::shellWord(output.string());
        EXPECT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(test::readFile(output), "the stone \xc2\xb7 " + std::string(c.face) + "\n");
    }
}

// The scripts use the family folder only where nobody else may write it: one of the user's that
// others may is narrowed first, as the application narrows it; one the hook makes is the user's
// alone, whatever default access list the home carries; and the way there goes through no link
// of anyone else's, not even inside the target of the user's own, so no such link picks the
// folder that is narrowed.
TEST(ClaudeFaceInstaller, TheScriptsUseTheFamilyFolderOnlyWhereNobodyElseMayWriteIt) {
    enum class Way { openToAll, throughTheirLink, defaultAccessListOnTheHome };
    const struct {
        const char* what;
        std::string_view script;
        Way way;
        bool used;
    } cases[] = {
        {"the hook, in the user's folder open to all", ClaudeFaceInstaller::kHookScript, Way::openToAll,
         true},
        {"the status line, in the user's folder open to all", ClaudeFaceInstaller::kStatusLineScript,
         Way::openToAll, true},
        {"the user's link for the folder, by way of another user's link", ClaudeFaceInstaller::kHookScript,
         Way::throughTheirLink, false},
        {"the hook, making the folder in a home with a default access list", ClaudeFaceInstaller::kHookScript,
         Way::defaultAccessListOnTheHome, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestHome home;
        test::TempDir elsewhere;
        const Script script(c.script);
        const bool hook = c.script == ClaudeFaceInstaller::kHookScript;
        const auto folder =
            c.way == Way::throughTheirLink ? elsewhere.path() / "dotfiles" : home.familyDirectory();
        const auto journal = folder / (hook ? "prompt-cadence.jsonl" : "decisions-log.jsonl");
        if (c.way == Way::openToAll) {
            fs::create_directories(folder);
            ::chmod(folder.c_str(), 0777);
        } else if (c.way == Way::throughTheirLink) {
            const test::DotfilesLayout throughTheirLink{"the folder linked through another user's link", true,
                                                        true, true};
            if (!test::layOut(throughTheirLink, folder, home.familyDirectory() / "journal")) continue;
            ::chmod(folder.c_str(), 0755);
        } else if (!test::letAnotherUserWrite(home.path(), true)) {
            GTEST_SKIP() << "this file system keeps no access lists";
        }
        if (!hook) test::writeFile(journal, "{\"kind\":\"face\",\"detail\":\"neutral to calm\"}\n");

        const auto printed = script.run();
        ASSERT_TRUE(printed);
        if (!c.used) {
            EXPECT_EQ(test::modeOf(folder), 0755u);
            EXPECT_TRUE(fs::is_empty(folder));
            continue;
        }
        // With an access list the group bits are its mask: 0700 lets nobody it names do anything.
        EXPECT_EQ(test::modeOf(folder), 0700u);
        EXPECT_EQ(*printed, hook ? "" : "the stone \xc2\xb7 calm\n");
        EXPECT_FALSE(test::readFile(journal).empty());
        if (hook) {
            EXPECT_EQ(test::modeOf(journal), 0600u);
        }
    }
}

// Another user races their link in at the journal's name while the user types: to their pipe, put
// in and taken away in the user's folder open to all, where it would hold the hook until Claude
// Code gives up; or to a private file of the user's, swapped with the journal in a team's folder
// that the user's link leads to, where the line would land in that file. Every prompt ends at
// once, and nothing goes through the link.
TEST(ClaudeFaceInstaller, ALinkRacedInAtTheJournalsNameNeitherHoldsTheHookNorTakesItsLine) {
    for (const bool pipe : {true, false}) {
        SCOPED_TRACE(pipe ? "a link to a pipe" : "a link to a private file, in a team's folder");
        test::TestHome home;
        test::TempDir elsewhere;
        const Script hook(ClaudeFaceInstaller::kHookScript);
        const auto folder = pipe ? home.familyDirectory() : elsewhere.path() / "team";
        const auto journal = folder / "prompt-cadence.jsonl";
        const auto theirs = folder / "theirs";
        const auto target = elsewhere.path() / (pipe ? "pipe" : "private/file");
        fs::create_directories(folder);
        if (pipe) {
            ::chmod(folder.c_str(), 0777);
            ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
        } else {
            fs::create_directory_symlink(folder, home.familyDirectory());
            test::writeFile(target, "kept\n");
            ::chmod(target.c_str(), 0600);
            test::writeFile(journal, "");
            fs::create_symlink(target, theirs);
            if (!test::giveToAnotherUser(theirs)) continue;
            ASSERT_EQ(::chown(folder.c_str(), ::geteuid(), test::kAnotherUser), 0);
            ::chmod(folder.c_str(), 02770);
        }
        std::jthread racer([&](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
                if (!pipe) {
                    ::renameat2(AT_FDCWD, journal.c_str(), AT_FDCWD, theirs.c_str(), RENAME_EXCHANGE);
                } else {
                    if (::symlink(target.c_str(), journal.c_str()) == 0 && ::geteuid() == 0)
                        ::lchown(journal.c_str(), test::kAnotherUser, test::kAnotherUser);
                    ::unlink(journal.c_str());
                }
            }
        });
        int prompts = 0;
        while (prompts < 20 && hook.run())
            ++prompts;
        EXPECT_EQ(prompts, 20) << "a prompt was held";
        racer.request_stop();
        racer.join();
        if (!pipe) {
            EXPECT_EQ(test::readFile(target), "kept\n");
        }
    }
}

// The user's own hook and status line may name our scripts (a copy kept aside, a status line of
// their own): only the commands an install writes are taken out. What goes is copied first,
// beside the first install's backup.
TEST(ClaudeFaceInstaller, AnUninstallTakesOutOnlyTheCommandsAnInstallWritesAfterACopy) {
    Install install;
    const nlohmann::json theirHook = {
        {"hooks", {{{"type", "command"}, {"command", "~/bin/prompt-cadence-hook.sh.orig --team"}}}}};
    const nlohmann::json theirLine = {{"type", "command"}, {"command", "~/bin/my-statusline-mirror.sh"}};
    const nlohmann::json ourLine = {{"type", "command"}, {"command", install.statusLine}};
    const auto hooks = [](nlohmann::json entries) { return nlohmann::json{{"UserPromptSubmit", std::move(entries)}}; };
    const auto theirs = nlohmann::json::array({theirHook});
    const struct {
        const char* what;
        nlohmann::json before;
        nlohmann::json after;
    } cases[] = {
        {"theirs alone", {{"hooks", hooks(theirs)}, {"statusLine", theirLine}},
         {{"hooks", hooks(theirs)}, {"statusLine", theirLine}}},
        {"ours beside theirs",
         {{"model", "opus"}, {"hooks", hooks(nlohmann::json::array({theirHook, install.hookEntry()}))},
          {"statusLine", ourLine}},
         {{"model", "opus"}, {"hooks", hooks(theirs)}}},
    };
    const std::string copy = install.backup.string() + ".2026-01-05T14:00:00Z";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string before = c.before.dump(2);
        test::writeFile(install.settings, before);
        test::writeFile(install.backup, "{}");
        fs::remove(copy);

        const auto removal = ClaudeFaceInstaller::uninstall(install.home.path(), install.now);
        EXPECT_EQ(removal.settings, SettingsOutcome::written);
        EXPECT_EQ(removal.settingsChanged, c.before != c.after);
        EXPECT_EQ(install.written(), c.after);
        EXPECT_EQ(test::readFile(install.backup), "{}");
        if (c.before == c.after) {
            EXPECT_EQ(test::readFile(install.settings), before);
            EXPECT_FALSE(fs::exists(copy));
        } else {
            EXPECT_EQ(fs::exists(copy) ? test::readFile(copy) : "", before);
        }
    }
}

// Our status line gives way to the one the first install replaced, in the very text its backup
// holds it in; a status line the user set since stays, and a backup with none of theirs gives
// nothing back.
TEST(ClaudeFaceInstaller, AnUninstallPutsBackTheUsersStatusLineThatTheFirstInstallReplaced) {
    Install install;
    const std::string theirs = "{\n    \"type\": \"command\",\n    \"command\": \"~\\/bin\\/caf\\u00e9.sh\",\n"
                               "    \"padding\": 1.50\n  }";
    const std::string ours = nlohmann::json{{"type", "command"}, {"command", install.statusLine}}.dump();
    const std::string newer = R"({"type":"command","command":"my-newer-line"})";
    const std::string backup = "{\"model\": \"opus\",\n  \"statusLine\": " + theirs + "\n}\n";
    const struct {
        const char* what;
        std::string backup;
        std::string current;  // the status line at the uninstall
        std::optional<std::string> after;
        // In a ~/.claude that others may add to (1777), the file at the backup's name is another
        // user's, put there before the first install, which kept its own backup under another name.
        bool anotherUsers = false;
    } cases[] = {
        {"theirs comes back as written", backup, ours, theirs},
        {"one they set since stays", backup, newer, newer},
        {"ours in the backup", "{\"statusLine\": " + ours + "}", ours, std::nullopt},
        {"a backup cut short", backup.substr(0, backup.size() - 3), ours, std::nullopt},
        {"another user's file at the backup's name", R"({"statusLine":{"type":"command","command":"curl x | sh"}})",
         ours, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::writeFile(install.settings, "{\"model\":\"opus\",\"statusLine\":" + c.current + "}");
        test::writeFile(install.backup, c.backup);
        if (c.anotherUsers) {
            ::chmod(install.settings.parent_path().c_str(), 01777);
            if (!test::giveToAnotherUser(install.backup)) continue;
        }

        test::CapturedSystemLog log;
        const auto removal = ClaudeFaceInstaller::uninstall(install.home.path(), install.now);
        if (c.anotherUsers) {
            EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                                "claude-face: left " + install.backup.string() +
                                    " as it is, status line and all: it is another user's file"),
                      log.lines.end());
        }
        EXPECT_EQ(removal.settings, SettingsOutcome::written);
        const bool back = c.after && c.current == ours;
        EXPECT_EQ(removal.statusLineBack, back);
        nlohmann::json expected = {{"model", "opus"}};
        if (c.after) expected["statusLine"] = nlohmann::json::parse(*c.after);
        EXPECT_EQ(install.written(), expected);
        if (back) {
            EXPECT_NE(test::readFile(install.settings).find("\"statusLine\": " + theirs), std::string::npos);
        }
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
    ASSERT_EQ(ClaudeFaceInstaller::install(home, ClaudeFaceScripts::bundled, std::chrono::system_clock::now()).settings,
              SettingsOutcome::written);
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

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "LoginItem.h"
#include "support/CapturedSystemLog.h"
#include "support/MemoryUserDefaults.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using LoginItem::State;

const fs::path kExecutable = "/opt/org.quillfen.Quillfen/bin/quillfen";

// The Exec line's first argument read back as a desktop reads it: the key file's escapes,
// then the double-quoted argument, then the doubled field-code sign.
std::string execArgument(const std::string& entry) {
    const auto at = entry.find("\nExec=");
    const auto value = entry.substr(at + 6, entry.find('\n', at + 1) - at - 6);
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i)
        unescaped += value[i] == '\\' ? value[++i] : value[i];
    std::string argument;
    for (std::size_t i = 1; i + 1 < unescaped.size(); ++i) {
        if (unescaped[i] == '\\' || (unescaped[i] == '%' && unescaped[i + 1] == '%')) ++i;
        argument += unescaped[i];
    }
    return argument;
}

TEST(LoginItem, TurnsItselfOnOnceAtTheFirstLaunchThatFindsNoEntry) {
    const struct {
        const char* label;
        std::optional<bool> flag;
        std::function<void()> arrange;
        State result;
        std::optional<bool> flagAfter;
        std::vector<std::string> logged;
    } cases[] = {
        {"first launch", std::nullopt, [] {}, State::enabled, true,
         {"login-item: auto-enabling login item once (start on desktop start)",
          "login-item: registered as a login item"}},
        {"already enabled", std::nullopt, [] { test::writeFile(LoginItem::autostartFile(), "[Desktop Entry]\n"); },
         State::enabled, std::nullopt, {}},
        {"removed by the user after the automatic enable", true, [] {}, State::notRegistered, true, {}},
        {"not available", std::nullopt, [] { fs::create_directories(LoginItem::autostartFile()); },
         State::unavailable, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        test::TestHome home;
        test::MemoryUserDefaults defaults;
        if (c.flag) defaults.setBoolean("loginItemAutoEnabledOnce", *c.flag);
        c.arrange();
        test::CapturedSystemLog log;
        EXPECT_EQ(LoginItem::enableOnceIfNeeded(defaults, kExecutable), c.result) << c.label;
        EXPECT_EQ(defaults.boolean("loginItemAutoEnabledOnce"), c.flagAfter) << c.label;
        EXPECT_EQ(log.lines(), c.logged) << c.label;
        EXPECT_EQ(LoginItem::state(), c.result) << c.label;
    }
}

TEST(LoginItem, TheEntryStartsTheExecutableItNamesAndIsPrivate) {
    test::TestHome home;
    const fs::path awkward = "/home/bob/My \"Apps\" $HOME `x` 100% \\ it's/bin/quillfen";
    EXPECT_EQ(LoginItem::enable(awkward), State::enabled);
    const auto file = home.path() / ".config/autostart/org.quillfen.Quillfen.desktop";
    ASSERT_EQ(LoginItem::autostartFile(), file);
    const auto entry = test::readFile(file);
    EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << entry;
    EXPECT_EQ(execArgument(entry), awkward.string());
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(LoginItem, ARegistrationThatFailsIsLoggedAndReportsTheStateReadAfterwards) {
    const std::pair<const char*, std::function<fs::path(const test::TestHome&)>> cases[] = {
        {"no room for the entry",
         [](const test::TestHome& h) {
             test::writeFile(h.path() / ".config/autostart", "a file where the folder goes");
             return kExecutable;
         }},
        {"a path no Exec line can hold", [](const test::TestHome&) { return fs::path("/opt/q\nuit/quillfen"); }},
    };
    for (const auto& [label, arrange] : cases) {
        test::TestHome home;
        const auto executable = arrange(home);
        test::CapturedSystemLog log;
        const auto state = LoginItem::enable(executable);
        EXPECT_NE(state, State::enabled) << label;
        EXPECT_EQ(state, LoginItem::state()) << label;
        ASSERT_EQ(log.lines().size(), 1u) << label;
        EXPECT_EQ(log.lines()[0].rfind("login-item: login-item registration deferred: ", 0), 0u) << log.lines()[0];
    }
}

TEST(LoginItem, TurningItOffRemovesOnlyAnEnabledEntry) {
    test::TestHome home;
    test::CapturedSystemLog log;
    LoginItem::disableIfRegistered();
    fs::create_directories(LoginItem::autostartFile());
    LoginItem::disableIfRegistered();
    EXPECT_TRUE(fs::is_directory(LoginItem::autostartFile()));
    EXPECT_TRUE(log.lines().empty());

    fs::remove(LoginItem::autostartFile());
    ASSERT_EQ(LoginItem::enable(kExecutable), State::enabled);
    log.clear();
    LoginItem::disableIfRegistered();
    EXPECT_EQ(LoginItem::state(), State::notRegistered);
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "login-item: retired the SMAppService login item (LaunchAgent is now sole always-on)"});
}

}  // namespace
}  // namespace quillfen

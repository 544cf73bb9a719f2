#include <gtest/gtest.h>

#include <QImage>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "ClaudeFaceInstaller.h"
#include "ClaudeFaceScripts.h"
#include "DesktopEntry.h"
#include "LaunchAgent.h"
#include "LoginItem.h"
#include "support/ChildProcess.h"
#include "support/FixedClock.h"
#include "support/RecordingCommandRunner.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

// Every entry below a folder, relative to it: a link with its target, a folder with a slash.
std::set<std::string> listing(const fs::path& root, bool withFolders = true) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        auto name = entry.path().lexically_relative(root).string();
        if (entry.is_symlink()) name += " -> " + fs::read_symlink(entry.path()).string();
        if (entry.is_directory() && !entry.is_symlink()) name += "/";
        if (withFolders || name.back() != '/') entries.insert(name);
    }
    return entries;
}

// With no session bus or runtime folder through which it could reach the machine's own services.
int run(const std::map<std::string, std::string>& variables, const std::vector<std::string>& command) {
    test::TempDir runtime;
    std::vector<std::string> arguments{"-u", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR=" + runtime.path().string()};
    for (const auto& [name, value] : variables) arguments.push_back(name + "=" + value);
    arguments.insert(arguments.end(), command.begin(), command.end());
    return makeCommandRunner()->run("/usr/bin/env", arguments).status;
}

const std::string kUninstall = QUILLFEN_SOURCE_DIR "/scripts/uninstall.sh";

TEST(Install, PutsEveryFileWhereTheFreedesktopLayoutHasItAndUninstallingLeavesThePrefixAsItWas) {
    test::TestHome home;
    test::TempDir stage;
    const auto installation = RunningCopy::recorded();
    const fs::path root = stage.path() / installation.prefix.relative_path();
    // What the prefix held already: another program's entry, and an icon folder left empty.
    test::writeFile(root / "share/applications/other.desktop", "[Desktop Entry]\n");
    fs::create_directories(root / "share/icons/hicolor/16x16/apps");
    const auto before = listing(stage.path());
    fs::remove(QUILLFEN_BUILD_DIR "/install_folders.txt");
    const std::map<std::string, std::string> staged{{"DESTDIR", stage.path().string()}};

    // Installed anywhere else, the program would not know its installed copy.
    EXPECT_NE(run(staged, {CMAKE_COMMAND, "--install", QUILLFEN_BUILD_DIR, "--prefix", "/elsewhere"}), 0);
    EXPECT_EQ(listing(stage.path()), before);
    ASSERT_EQ(run(staged, {CMAKE_COMMAND, "--install", QUILLFEN_BUILD_DIR}), 0);

    std::set<std::string> expected{"share/applications/other.desktop", "share/applications/org.quillfen.Quillfen.desktop",
                                   "share/icons/hicolor/scalable/apps/org.quillfen.Quillfen.svg",
                                   "lib/org.quillfen.Quillfen/build-info.json"};
#ifdef QUILLFEN_APP_EXECUTABLE
    expected.insert({"lib/org.quillfen.Quillfen/bin/quillfen", "bin/quillfen -> ../lib/org.quillfen.Quillfen/bin/quillfen"});
#endif
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const auto icon = "share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) +
                          "/apps/org.quillfen.Quillfen.png";
        expected.insert(icon);
        const QImage image(QString::fromStdString((root / icon).string()));
        EXPECT_EQ(image.size(), QSize(size, size)) << icon;
        // The stone in the middle, nothing in the corners.
        EXPECT_TRUE(qAlpha(image.pixel(size / 2, size / 2)) == 255 && qAlpha(image.pixel(0, 0)) == 0) << icon;
    }
    EXPECT_EQ(listing(root, false), expected);
    EXPECT_NE(test::readFile(root / "share/icons/hicolor/scalable/apps/org.quillfen.Quillfen.svg").find("<path"),
              std::string::npos);
    const auto entry = root / "share/applications/org.quillfen.Quillfen.desktop";
    EXPECT_EQ(test::readFile(entry), DesktopEntry::text(installation.launcher()));
    EXPECT_EQ(run({}, {"/usr/bin/desktop-file-validate", entry.string()}), 0);
#ifdef QUILLFEN_APP_EXECUTABLE
    {
        // Started as its menu entry starts it, by the launcher (staged here), it comes up and
        // stays up past its first tick. No bus answers it.
        test::VirtualDisplay display;
        test::TempDir runtime;
        test::ChildProcess app({(root / "bin/quillfen").string()},
                               {{"DISPLAY", display.name()}, {"XDG_RUNTIME_DIR", runtime.path().string()},
                                {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (runtime.path() / "none").string()}});
        EXPECT_TRUE(test::waitUntil([&] { return fs::exists(home.dataDirectory() / "heartbeat.json"); }));
        EXPECT_TRUE(app.running());
    }
#endif

    EXPECT_EQ(run(staged, {"/bin/bash", kUninstall, QUILLFEN_BUILD_DIR}), 0);
    EXPECT_EQ(listing(stage.path()), before);
}

TEST(Install, UninstallingEndsTheInstalledCopyAndRemovesWhatItWroteForTheUserButNotTheirData) {
    test::TestHome home;
    test::TempDir build;
    const RunningCopy::Installation installed{home.path() / "Bob's \"Apps\" $HOME `x` 100% \\ it"};
    test::writeFile(build.path() / "CMakeCache.txt", "CMAKE_INSTALL_PREFIX:PATH=" + installed.prefix.string() + "\n");
    test::writeFile(build.path() / "install_manifest.txt", "");
    // The installed copy at work (a stand-in that sleeps), and what it wrote.
    fs::create_directories(installed.build() / "bin");
    fs::copy_file("/bin/sleep", installed.build() / "bin/quillfen");
    test::ChildProcess running({(installed.build() / "bin/quillfen").string(), "30"});
    test::RecordingCommandRunner systemctl;
    ASSERT_TRUE(LaunchAgent::install(systemctl, installed));
    ASSERT_EQ(LoginItem::enable(installed), LoginItem::State::enabled);
    ASSERT_TRUE(DesktopEntry::refresh(installed));
    test::writeFile(home.path() / ".cache/org.quillfen.Quillfen/updates/previous/bin/quillfen", "");
    test::writeFile(home.dataDirectory() / "signal-log.json", "[]");
    test::writeFile(home.path() / ".config/autostart/other.desktop", "[Desktop Entry]\nExec=other\n");
    // The face in Claude Code beside the user's own settings and hooks, one of them added later
    // to the entry of ours; the journal the hook kept.
    const auto claude = home.path() / ".claude/settings.json";
    const auto mine = nlohmann::json::parse(
        R"({"model":"opus","hooks":{"UserPromptSubmit":[{"hooks":[{"type":"command","command":"my-prompt-hook"}]}],)"
        R"("Stop":[{"hooks":[{"type":"command","command":"my-stop-hook"}]}]}})");
    test::writeFile(claude, mine.dump());
    ASSERT_EQ(ClaudeFaceInstaller::install(home.path(), ClaudeFaceScripts::bundled, test::at("2026-01-05T14:00:00Z"))
                  .settings,
              ClaudeFaceInstaller::SettingsOutcome::written);
    auto face = nlohmann::json::parse(test::readFile(claude));
    const nlohmann::json later = {{"type", "command"}, {"command", "my-later-hook"}};
    face["hooks"]["UserPromptSubmit"][1]["hooks"].push_back(later);
    test::writeFile(claude, face.dump());
    test::writeFile(home.familyDirectory() / "prompt-cadence.jsonl", "{\"ts\":\"2026-01-05T13:00:00Z\"}\n");
    // The desktop's choices as xdg-mime and gio write them, around the user's own.
    const auto choices = home.path() / ".config/mimeapps.list";
    test::writeFile(choices,
                    "[Default Applications]\ntext/html=firefox.desktop\n"
                    "x-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop\n\n"
                    "[Added Associations]\nx-scheme-handler/tavryn-stone=other.desktop;org.quillfen.Quillfen.desktop;\n"
                    "x-scheme-handler/mailto=thunderbird.desktop;\n\n"
                    "[Removed Associations]\nx-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop;\n");
    // The build folder of this very build holds the program that takes them out.
    fs::create_directories(build.path() / "app");
    fs::create_symlink(QUILLFEN_UNREGISTER, build.path() / "app/quillfen_unregister");

    EXPECT_EQ(run({}, {"/bin/bash", kUninstall, build.path().string()}), 0);
    EXPECT_TRUE(test::waitUntil([&] { return !running.running(); }));
    EXPECT_EQ(listing(home.path(), false),
              (std::set<std::string>{".config/autostart/other.desktop", ".config/mimeapps.list",
                                     ".claude/settings.json", ".claude/settings.json.bak-tavryn-stone",
                                     ".ostrel/prompt-cadence.jsonl",
                                     ".local/share/org.quillfen.Quillfen/signal-log.json"}));
    nlohmann::json left = mine;
    left["hooks"]["UserPromptSubmit"].push_back({{"hooks", nlohmann::json::array({later})}});
    EXPECT_EQ(nlohmann::json::parse(test::readFile(claude)), left);
    EXPECT_EQ(test::readFile(choices),
              "[Default Applications]\ntext/html=firefox.desktop\n\n"
              "[Added Associations]\nx-scheme-handler/tavryn-stone=other.desktop;\n"
              "x-scheme-handler/mailto=thunderbird.desktop;\n\n"
              "[Removed Associations]\nx-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop;\n");
}

}  // namespace
}  // namespace quillfen

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "ClaudeFaceInstaller.h"
#include "ClaudeFaceScripts.h"
#include "DesktopEntry.h"
#include "LaunchAgent.h"
#include "LoginItem.h"
#include "SingleInstance.h"
#include "Support/PathWalk.h"
#include "Support/Text.h"
#include "UrlSchemeRegistration.h"
#include "platform/UserDefaults.h"
#include "support/ChildProcess.h"
#include "support/DesktopEntryValidation.h"
#include "support/EscapedNames.h"
#include "support/FixedClock.h"
#include "support/RecordingCommandRunner.h"
#include "support/WrappedAccounts.h"

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

// A text with each {name} in it replaced by the path given for that name.
std::string filledIn(std::string text, const std::map<std::string, fs::path>& paths) {
    for (const auto& [name, path] : paths) {
        const auto mark = "{" + name + "}";
        for (auto at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + path.string().size()))
            text.replace(at, mark.size(), path.string());
    }
    return text;
}

// The program that takes an install out (this very build's), copied where every user may run it:
// the build may lie below a folder only its owner may enter (root's home).
const fs::path& unregisterProgram() {
    static const test::TempDir folder;
    static const fs::path program = [] {
        ::chmod(folder.path().c_str(), 0755);
        fs::copy_file(QUILLFEN_UNREGISTER, folder.path() / "quillfen_unregister");
        return folder.path() / "quillfen_unregister";
    }();
    return program;
}

// A build folder as the uninstall reads it: made for `prefix`, its manifest, and that program.
void makeBuildFolder(const fs::path& build, const fs::path& prefix, const std::string& manifest = "") {
    test::writeFile(build / "CMakeCache.txt", "CMAKE_INSTALL_PREFIX:PATH=" + prefix.string() + "\n");
    test::writeFile(build / "install_manifest.txt", manifest);
    fs::create_directories(build / "app");
    fs::create_symlink(unregisterProgram(), build / "app/quillfen_unregister");
}

// Runs scripts/uninstall.sh on what this build installed, as a checkout of its own whose build folder
// holds this build's lists and its uninstall program: the scripts take a folder outside a
// checkout's build/ for a prefix, and this build's folder may be anywhere. The lists go with it.
int uninstallThisBuild(std::map<std::string, std::string> variables);

// Through sudo a build has no session and no runtime folder: drawing the icon and the menu entry
// keeps one in the build folder, and leaves nothing in the temporary folder.
TEST(Install, TheAssetsAreDrawnWithoutASessionLeavingNothingOutsideTheBuildFolder) {
    test::TempDir output, temporary;
    EXPECT_EQ(makeCommandRunner()
                  ->run("/usr/bin/env", {"-u", "XDG_RUNTIME_DIR", "TMPDIR=" + temporary.path().string(),
                                         QUILLFEN_INSTALL_ASSETS, output.path().string(), "/opt/q/bin/quillfen", "16"})
                  .status,
              0);
    EXPECT_TRUE(fs::exists(output.path() / DesktopEntry::kFileName));
    EXPECT_EQ(listing(temporary.path()), std::set<std::string>{});
}

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
    for (const char* extension : {"quillfen-focus@quillfen.org", "quillfen-focus-43@quillfen.org"}) {
        for (const char* file : {"extension.js", "metadata.json"})
            expected.insert(std::string("share/gnome-shell/extensions/") + extension + "/" + file);
    }
#ifdef QUILLFEN_APP_EXECUTABLE
    expected.insert({"lib/org.quillfen.Quillfen/bin/quillfen",
                     "lib/org.quillfen.Quillfen/bin/quillfen_keepalive",
                     "bin/quillfen -> ../lib/org.quillfen.Quillfen/bin/quillfen"});
    // The keep-alive runs its wait from the build, whoever installed it.
    EXPECT_EQ(fs::status(root / "lib/org.quillfen.Quillfen/bin/quillfen_keepalive").permissions(),
              fs::perms(0755));
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
    // What a menu entry read outside the prefix names.
    EXPECT_TRUE(fs::exists(stage.path() / installation.icon().relative_path()));
    // Every user who may start the program reads which build it is, whoever installed it.
    EXPECT_EQ(fs::status(root / "lib/org.quillfen.Quillfen/build-info.json").permissions(), fs::perms(0644));
    EXPECT_NE(test::readFile(root / "share/icons/hicolor/scalable/apps/org.quillfen.Quillfen.svg").find("<path"),
              std::string::npos);
    const auto entry = root / "share/applications/org.quillfen.Quillfen.desktop";
    EXPECT_EQ(test::readFile(entry), DesktopEntry::text(installation.launcher()));
    EXPECT_EQ(test::desktopEntryComplaints(entry), "");
    EXPECT_NE(test::readFile(entry).find("\nActions=settings;quit;\n"), std::string::npos);
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

    EXPECT_EQ(uninstallThisBuild(staged), 0);
    EXPECT_EQ(listing(stage.path()), before);
}

// A copy of the scripts and what they read beside them, run with a PATH on which cmake, ctest,
// apt-get, apt-cache, dpkg-query and sudo are stand-ins that note each call in a file, as does the
// application a build would have made; dpkg-query answers that every package is installed unless
// MISSING is set, and apt-cache that the archive has each but those UNKNOWN names. Every other
// program of the system is on that PATH, but sudo when the bench is to be without it.
class ScriptBench {
public:
    explicit ScriptBench(bool withoutSudo = false) {
        // Readable for the other user a case may run as.
        fs::permissions(root_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
        fs::create_directories(checkout());
        fs::copy(QUILLFEN_SOURCE_DIR "/scripts", checkout() / "scripts", fs::copy_options::recursive);
        fs::copy_file(QUILLFEN_SOURCE_DIR "/CMakePresets.json", checkout() / "CMakePresets.json");
        const std::string note = "#!/bin/sh\nprintf '%s %s\\n' \"${0##*/}\" \"$*\" >>\"$CALLS\"\n";
        for (const char* tool : {"cmake", "ctest", "apt-get", "sudo"})
            if (!withoutSudo || tool != std::string_view("sudo")) stub(tools() / tool, note);
        stub(tools() / "dpkg-query", note + "[ -n \"$MISSING\" ] || for package; do case $package in -*) ;; *) "
                                            "echo \"install ok installed $package\" ;; esac; done\n");
        // Root's runs as another account would make an account, and a Debian 13 tree.
        stub(checkout() / "scripts/test-as-contributor.sh", note);
        // The archive has every package but those named in UNKNOWN.
        stub(tools() / "apt-cache", note + "case \" $UNKNOWN \" in *\" $3 \"*) ;; *) echo \"  Candidate: 1.0\" ;; esac\n");
        // Debian's own awk, whatever this machine's awk is: mawk takes an interval such as {9} for
        // the characters.
        if (fs::exists("/usr/bin/mawk")) fs::create_symlink("/usr/bin/mawk", tools() / "awk");
        const auto all = presets();
        for (const auto& preset : all["configurePresets"]) {
            auto folder = preset.value("binaryDir", std::string());
            folder.replace(0, std::string("${sourceDir}").size(), checkout().string());
            stub(fs::path(folder) / "app/quillfen", note);
        }
        // Where the system has sudo, its other programs are linked in one by one instead.
        const char* const system[] = {"/usr/bin", "/bin", "/usr/sbin", "/sbin"};
        if (!withoutSudo || std::none_of(std::begin(system), std::end(system),
                                         [](fs::path folder) { return fs::exists(folder / "sudo"); })) {
            for (const char* folder : system)
                path_ += std::string(":") + folder;
        } else {
            for (const char* folder : system) {
                for (const auto& program : fs::directory_iterator(folder)) {
                    const auto name = program.path().filename();
                    if (name != "sudo" && !fs::exists(fs::symlink_status(tools() / name)))
                        fs::create_symlink(program.path(), tools() / name);
                }
            }
        }
        writable(calls());
    }

    fs::path checkout() const { return checkout_; }
    // The scripts run from another checkout from now on (a clone of this one).
    void useCheckout(const fs::path& checkout) { checkout_ = checkout; }
    fs::path tools() const { return root_.path() / "tools"; }
    fs::path calls() const { return root_.path() / "calls"; }
    fs::path home() const { return root_.path() / "home"; }

    // cmake as a stand-in that compiles nothing and notes who ran it ("cmake UID ARGUMENTS"): the
    // configure names the prefix in the build folder's cache, the build makes the application and
    // the keep-alive's wait and links the uninstall program, and the install puts the build below
    // the prefix and writes its lists into the build folder in place, as cmake --install does.
    void standInBuild() {
        stub(tools() / "cmake", R"sh(#!/bin/sh
printf 'cmake %s %s\n' "$(id -u)" "$*" >>"$CALLS"
build=build/install
case $1$2$3 in --preset*-B) build=$4 ;; --build--preset* | --install--preset*) ;; --build* | --install*) build=$2 ;; esac
case $1 in
--preset)
    mkdir -p "$build/app" && printf 'CMAKE_INSTALL_PREFIX:PATH=%s\n' "${5#-DCMAKE_INSTALL_PREFIX=}" >"$build/CMakeCache.txt"
    printf '{"build": 0, "version": "0.1.0", "sha": "unstamped"}' >"$build/app/build-info.json" ;;
--build)
    for program in quillfen quillfen_keepalive; do printf '#!/bin/sh\n' >"$build/app/$program" && chmod 755 "$build/app/$program"; done
    ln -sf "$UNREGISTER" "$build/app/quillfen_unregister" ;;
--install)
    prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt") lib=$prefix/lib/org.quillfen.Quillfen
    for folder in "$prefix" "$prefix/bin" "$prefix/lib" "$lib" "$lib/bin"; do [ -d "$folder" ] || echo "$folder"; done >"$build/install_folders.txt"
    mkdir -p "$lib/bin" "$prefix/bin" && cp "$build/app/quillfen" "$build/app/quillfen_keepalive" "$lib/bin/"
    cp "$build/app/build-info.json" "$lib/" && ln -s ../lib/org.quillfen.Quillfen/bin/quillfen "$prefix/bin/quillfen"
    printf '%s\n%s\n%s\n%s' "$lib/bin/quillfen" "$lib/bin/quillfen_keepalive" "$lib/build-info.json" "$prefix/bin/quillfen" \
        >"$build/install_manifest.txt" ;;
esac
)sh");
    }

    nlohmann::json presets() const {
        return nlohmann::json::parse(test::readFile(checkout() / "CMakePresets.json"));
    }

    // The preset of that kind and name.
    nlohmann::json preset(const char* kind, const std::string& name) const {
        const auto all = presets();
        for (const auto& preset : all[kind])
            if (preset["name"] == name) return preset;
        return nullptr;
    }

    struct Outcome {
        int status = -1;
        std::string output;
    };

    // Runs the script from the copy, in a home of its own, as `uid` when one is given (which
    // only root may do; status -1 otherwise), under the umask UMASK when that is among the
    // variables. Where root's run makes the tests' account, it makes `account()`.
    Outcome run(const std::vector<std::string>& arguments, std::map<std::string, std::string> variables = {},
                std::optional<unsigned> uid = std::nullopt) {
        fs::create_directories(home());
        if (uid && ::chown(home().c_str(), *uid, *uid) != 0) return {};
        const auto output = root_.path() / "output";
        writable(output);
        variables.insert({{"PATH", path_}, {"HOME", home().string()}, {"CALLS", calls().string()},
                          {"QUILLFEN_TESTS_ACCOUNT", account_}});
        // The system's menu and settings folders are the test's own, as its home is: a copy
        // installed on this machine answers nothing, whatever the session that runs the tests says.
        for (const char* name : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
            variables.insert({name, (root_.path() / "system" / name).string()});
        std::vector<std::string> command{"-i"};
        for (const auto& [name, value] : variables)
            command.push_back(name + "=" + value);
        command.insert(command.end(), {"/bin/sh", "-c", "[ -z \"$UMASK\" ] || umask \"$UMASK\"; exec \"$@\" >\"$0\" 2>&1",
                                       output.string(),
                                       (checkout() / arguments.front()).string()});
        command.insert(command.end(), arguments.begin() + 1, arguments.end());
        auto body = [&] { return makeCommandRunner()->run("/usr/bin/env", command).status; };
        const int status = uid ? test::asUser(*uid, body) : body();
        return {status, test::readFile(output)};
    }

    // The noted calls, one a line, each split into words.
    std::vector<std::vector<std::string>> noted() const {
        std::vector<std::vector<std::string>> lines;
        std::istringstream text(test::readFile(calls()));
        for (std::string line; std::getline(text, line);) {
            std::istringstream words(line);
            lines.emplace_back(std::istream_iterator<std::string>(words),
                               std::istream_iterator<std::string>());
        }
        return lines;
    }

    std::vector<std::vector<std::string>> noted(const std::string& program) const {
        std::vector<std::vector<std::string>> of;
        for (auto& call : noted())
            if (call.front() == program) of.push_back(call);
        return of;
    }

    // The account root's run makes, named for the case: never the real runs' account.
    void useAccount(std::string name) { account_ = std::move(name); }

    static void stub(const fs::path& file, const std::string& text) {
        test::writeFile(file, text);
        fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }

private:
    // An empty file that anyone may write.
    static void writable(const fs::path& file) {
        test::writeFile(file, "");
        fs::permissions(
            file, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    }

    test::TempDir root_;
    fs::path checkout_ = root_.path() / "checkout";
    std::string path_ = tools().string();
    std::string account_ = "quillfen-bench";
};

// The home this process has (a test's), with the system's folders it has, for a script run with an
// environment of its own.
std::map<std::string, std::string> homeVariables() {
    std::map<std::string, std::string> variables;
    for (const char* name :
         {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
        if (const char* value = std::getenv(name)) variables[name] = value;
    return variables;
}

int uninstallThisBuild(std::map<std::string, std::string> variables) {
    ScriptBench bench;
    const auto build = bench.checkout() / "build/install";
    makeBuildFolder(build, RunningCopy::recorded().prefix);
    for (const char* list : {"install_manifest.txt", "install_folders.txt"}) {
        const auto made = fs::path(QUILLFEN_BUILD_DIR) / list;
        if (!fs::exists(made)) continue;
        fs::copy_file(made, build / list, fs::copy_options::overwrite_existing);
        fs::remove(made);
    }
    variables.merge(homeVariables());
    const auto outcome = bench.run({"scripts/uninstall.sh", build.string()}, variables);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    return outcome.status;
}

TEST(Install, UninstallingEndsTheInstalledCopyAndRemovesWhatItWroteForTheUserButNotTheirData) {
    test::TestHome home;
    ScriptBench bench;
    const auto build = bench.checkout() / "build/install";
    const RunningCopy::Installation installed{home.path() / "Bob's \"Apps\" $HOME `x` 100% \\ it"};
    makeBuildFolder(build, installed.prefix);
    // The installed copy at work (a stand-in that sleeps), and what it wrote.
    fs::create_directories(installed.build() / "bin");
    fs::copy_file("/bin/sleep", installed.build() / "bin/quillfen");
    test::writeFile(installed.build() / "build-info.json", R"({"build": 0, "version": "1.0.0", "sha": "unstamped"})");
    test::ChildProcess running({(installed.build() / "bin/quillfen").string(), "30"});
    test::RecordingCommandRunner systemctl;
    ASSERT_TRUE(LaunchAgent::install(systemctl, installed));
    // Its autostart entry as an earlier version wrote it, before it marked its start as no person's
    // choice: the next start would have written it again.
    test::writeFile(LoginItem::autostartFile(),
                    *LoginItem::desktopEntry(installed.launcher(), LoginItem::Form::unmarked));
    ASSERT_TRUE(DesktopEntry::refresh(installed));
    ASSERT_EQ(UrlSchemeRegistration::updateDatabase(*makeCommandRunner(10)),
              UrlSchemeRegistration::DatabaseUpdate::updated);
    const auto handlers = DesktopEntry::userFile().parent_path() / "mimeinfo.cache";
    ASSERT_NE(test::readFile(handlers).find("tavryn-stone"), std::string::npos);
    const auto cache = home.path() / ".cache/org.quillfen.Quillfen";
    test::writeFile(cache / "updates/previous/bin/quillfen", "");
    test::writeFile(cache / "singleton.lock", "");
    // The cache and the updater's work folder are the user's alone.
    for (const auto& folder : {cache, cache / "updates"})
        fs::permissions(folder, fs::perms::owner_all);
    test::writeFile(home.dataDirectory() / "signal-log.json", "[]");
    test::writeFile(home.path() / ".config/autostart/other.desktop", "[Desktop Entry]\nExec=other\n");
    // The face in Claude Code beside the user's own settings and hooks, one of them added later
    // to the entry of ours, in place of their own status line; the journal the hook kept.
    const auto claude = home.path() / ".claude/settings.json";
    const auto mine = nlohmann::json::parse(
        R"({"model":"opus","hooks":{"UserPromptSubmit":[{"hooks":[{"type":"command","command":"my-prompt-hook"}]}],)"
        R"("Stop":[{"hooks":[{"type":"command","command":"my-stop-hook"}]}]},)"
        R"("statusLine":{"type":"command","command":"my-status-line"}})");
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

    const auto outcome = bench.run({"scripts/uninstall.sh", build.string()}, homeVariables());
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_TRUE(test::waitUntil([&] { return !running.running(); }));
    // The settings as they were before the edit, in a copy beside the first install's backup.
    auto left = listing(home.path(), false);
    const auto copy = std::find_if(left.begin(), left.end(), [](const std::string& name) {
        return name.starts_with(".claude/settings.json.bak-tavryn-stone.");
    });
    ASSERT_NE(copy, left.end());
    EXPECT_EQ(nlohmann::json::parse(test::readFile(home.path() / *copy)), face);
    left.erase(copy);
    EXPECT_EQ(left, (std::set<std::string>{".config/autostart/other.desktop", ".config/mimeapps.list",
                                           ".claude/settings.json", ".claude/settings.json.bak-tavryn-stone",
                                           ".ostrel/prompt-cadence.jsonl",
                                           ".local/share/org.quillfen.Quillfen/signal-log.json"}));
    EXPECT_FALSE(fs::exists(cache));
    // The menu folder held only our entry: the cache its refresh left names nothing, and both go.
    EXPECT_FALSE(fs::exists(handlers.parent_path()));
    nlohmann::json kept = mine;
    kept["hooks"]["UserPromptSubmit"].push_back({{"hooks", nlohmann::json::array({later})}});
    EXPECT_EQ(nlohmann::json::parse(test::readFile(claude)), kept);
    EXPECT_EQ(test::readFile(choices),
              "[Default Applications]\ntext/html=firefox.desktop\n\n"
              "[Added Associations]\nx-scheme-handler/tavryn-stone=other.desktop;\n"
              "x-scheme-handler/mailto=thunderbird.desktop;\n\n"
              "[Removed Associations]\nx-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop;\n");
}

// An install below ~/.local puts its menu entry in the user's own menu folder; a start wrote it
// again (the person had changed it) and brought the folder's MIME cache up to date. The uninstall
// takes that entry out with the installed files, and the cache names it no longer. The GNOME Shell
// extension the person turned on is off before its files go; their other extensions stay on.
TEST(Install, UninstallingAfterAStartRewroteTheEntryLeavesNoLineOfOursInTheMimeCacheAndTheExtensionOff) {
    const fs::path schemas = "/usr/share/glib-2.0/schemas";
    if (!fs::exists(schemas / "org.gnome.shell.gschema.xml"))
        GTEST_SKIP() << "GNOME Shell's settings are missing";
    test::TestHome home;
    const RunningCopy::Installation installed{home.path() / ".local"};
    const auto entry = DesktopEntry::userFile();
    ASSERT_EQ(entry.parent_path(), installed.prefix / "share/applications");
    test::writeFile(entry, *DesktopEntry::text(installed.launcher()) + "X-Changed=by the person\n");
    ASSERT_TRUE(UrlSchemeRegistration::ensure(installed, *makeCommandRunner(10)).databaseUpdated);
    const auto handlers = entry.parent_path() / "mimeinfo.cache";
    ASSERT_NE(test::readFile(handlers).find(DesktopEntry::kFileName), std::string::npos);
    // GNOME's settings in a file of the home, as the desktop's would be in its database.
    std::map<std::string, std::string> variables{{"GSETTINGS_BACKEND", "keyfile"},
                                                 {"GSETTINGS_SCHEMA_DIR", schemas.string()}};
    variables.merge(homeVariables());
    const auto gsettings = [&variables](const std::string& value) {
        std::vector<std::string> command;
        for (const auto& [name, setting] : variables)
            command.push_back(name + "=" + setting);
        command.insert(command.end(),
                       {"/usr/bin/gsettings", "set", "org.gnome.shell", "enabled-extensions", value});
        return makeCommandRunner(10)->run("/usr/bin/env", command).status;
    };
    ASSERT_EQ(
        gsettings("['other@example.org', 'quillfen-focus-43@quillfen.org', 'quillfen-focus@quillfen.org']"),
        0);

    ScriptBench bench;
    const auto build = bench.checkout() / "build/install";
    makeBuildFolder(build, installed.prefix, entry.string() + "\n");
    const auto outcome = bench.run({"scripts/uninstall.sh", build.string()}, variables);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(!fs::exists(handlers) ||
                test::readFile(handlers).find(DesktopEntry::kFileName) == std::string::npos)
        << test::readFile(handlers);
    const auto settings = fs::path(std::getenv("XDG_CONFIG_HOME")) / "glib-2.0/settings/keyfile";
    EXPECT_NE(test::readFile(settings).find("enabled-extensions=['other@example.org']\n"), std::string::npos)
        << test::readFile(settings);
}

// In a home others may add to, another user made a folder on the way first, with their link at the
// name of a folder the uninstall removes from, leading to a folder of the user's that holds what
// the uninstall would remove there. Nothing of the user's is deleted through it.
TEST(Install, UninstallingDeletesNothingThroughAnotherUsersLinkOnTheWay) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder or a link to another user";
    test::TempDir prefixes;
    const RunningCopy::Installation installed{prefixes.path() / "prefix"};
    const struct {
        const char* what;
        const char* theirFolder;  // what the other user made first, in the home
        const char* theirLink;    // their link, to ~/papers
        const char* kept;         // the user's file in ~/papers, as the uninstall would find it
        std::string text;
    } cases[] = {
        {"the cache folder", ".cache", ".cache/org.quillfen.Quillfen", "updates/draft.txt", "a draft\n"},
        {"the data folder", ".local", ".local/share/org.quillfen.Quillfen", "keepalive-wrapper.sh",
         LaunchAgent::wrapperScript(installed.build(), installed.launcher())},
        {"the autostart folder", ".config", ".config/autostart", "org.quillfen.Quillfen.desktop",
         LoginItem::desktopEntry(installed.launcher()).value_or("")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestHome home;
        ::chmod(home.path().c_str(), 01777);
        const auto papers = home.path() / "papers";
        test::writeFile(papers / c.kept, c.text);
        const auto link = home.path() / c.theirLink;
        fs::remove_all(home.path() / c.theirFolder);
        fs::create_directories(link.parent_path());
        fs::create_directory_symlink(papers, link);
        for (auto theirs = link; theirs != home.path(); theirs = theirs.parent_path())
            ASSERT_TRUE(test::giveToAnotherUser(theirs));
        ScriptBench bench;
        const auto build = bench.checkout() / "build/install";
        makeBuildFolder(build, installed.prefix);

        const auto before = listing(papers);
        EXPECT_EQ(bench.run({"scripts/uninstall.sh", build.string()}, homeVariables()).status, 0);
        EXPECT_EQ(listing(papers), before);
        EXPECT_EQ(test::readFile(papers / c.kept), c.text);
    }
}

// The packages a list names.
std::set<std::string> packagesOf(const fs::path& list) {
    std::set<std::string> packages;
    std::istringstream text(test::readFile(list));
    for (std::string line; std::getline(text, line);)
        if (!line.empty() && line.front() != '#') packages.insert(line);
    return packages;
}

TEST(Install, TheApplicationsScriptsBuildAndInstallNothingThatOnlyTheTestsNeed) {
    const fs::path scripts = QUILLFEN_SOURCE_DIR "/scripts";
    const auto application = packagesOf(scripts / "packages.txt");
    auto everything = packagesOf(scripts / "test-packages.txt");
    everything.insert(application.begin(), application.end());
    test::TempDir prefix;
    struct Case {
        std::vector<std::string> command;
        std::set<std::string> packages;
        // Whether every configuration it makes leaves the tests and the benchmarks out.
        bool applicationOnly;
        // The one target it builds and then starts, when it starts one.
        const char* starts;
        // Whether a warning stops its builds: only the developers' and CI's.
        bool warningsStop;
    };
    const Case cases[] = {
        {{"scripts/run.sh", "--an-argument"}, application, true, "quillfen", false},
        {{"scripts/install.sh", prefix.path().string()}, application, true, nullptr, false},
        {{"scripts/test.sh"}, everything, false, nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.front());
        ScriptBench bench;
        const auto outcome = bench.run(c.command);
        ASSERT_EQ(outcome.status, 0) << outcome.output;

        std::set<std::string> asked;
        for (const auto& call : bench.noted("dpkg-query"))
            asked.insert(std::find(call.begin(), call.end(), "--") + 1, call.end());
        EXPECT_EQ(asked, c.packages);
        EXPECT_TRUE(bench.noted("apt-get").empty());

        std::optional<std::string> configured;
        for (const auto& call : bench.noted("cmake")) {
            if (call[1] == "--preset") {
                configured = call[2];
                const auto variables = bench.preset("configurePresets", call[2])["cacheVariables"];
                EXPECT_EQ(variables.value("QUILLFEN_WARNINGS_AS_ERRORS", "OFF") == "ON", c.warningsStop) << call[2];
                if (c.applicationOnly) {
                    EXPECT_EQ(variables.value("QUILLFEN_BUILD_TESTS", ""), "OFF") << call[2];
                    EXPECT_EQ(variables.value("QUILLFEN_BUILD_BENCH", ""), "OFF") << call[2];
                }
            }
            if (call[1] == "--build" && c.starts) {
                // Named on the command line, else by the build preset; none is all of them.
                std::vector<std::string> targets;
                const auto named = std::find(call.begin(), call.end(), "--target");
                if (named != call.end()) {
                    targets.assign(named + 1, call.end());
                } else {
                    for (const auto& target :
                         bench.preset("buildPresets", call[3]).value("targets", nlohmann::json::array()))
                        targets.push_back(target);
                }
                EXPECT_EQ(targets, std::vector<std::string>{c.starts});
            }
        }
        ASSERT_TRUE(configured);
        if (c.starts) {
            const auto started = bench.noted(c.starts);
            ASSERT_EQ(started.size(), 1u);
            EXPECT_EQ(started.front(), (std::vector<std::string>{c.starts, "--an-argument"}));
            auto folder = bench.preset("configurePresets", *configured)["binaryDir"].get<std::string>();
            EXPECT_NE(folder, bench.preset("configurePresets", "default")["binaryDir"].get<std::string>())
                << "a developer's build with tests would lose them";
        }
    }
}

// A stage whose tests fail ends the run with ctest's status and, after ctest's own list, what each
// failing test said of its failure: its failure lines where it has them, else its last lines. A
// passing test's output stays out, whatever it says.
TEST(Install, ARunWithFailingTestsEndsWithWhatEachOfThemSaid) {
    ScriptBench bench;
    // ctest's log of the run: a failing assertion, a crash, and a test that passes though its
    // output has a failure's words.
    std::string log = "Start testing: Dec 11 00:56 UTC\n";
    const auto entry = [&](int number, const std::string& name, const std::string& output) {
        log += "----------------------------------------------------------\n" + std::to_string(number) +
               "/9 Testing: " + name + "\n" + std::to_string(number) + "/9 Test: " + name +
               "\nCommand: \"tests\"\nOutput:\n----------------------------------------------------------\n" +
               output + "<end of output>\nTest time =   1.00 sec\n";
    };
    entry(3, "Idle.OnKWin",
          "[ RUN      ] Idle.OnKWin\nIdleTest.cpp:245: Failure\nExpected: (connection) != (nullptr)\n\n"
          "IdleTest.cpp:250: Failure\nValue of: seen\n[  FAILED  ] Idle.OnKWin (1289 ms)\n");
    std::string crash = "[ RUN      ] Main.Crashes\n";
    for (int line = 1; line <= 12; ++line)
        crash += "frame " + std::to_string(line) + "\n";
    entry(5, "Main.Crashes", crash);
    entry(7, "Log.Passes", "Log.cpp:1: Failure\nas the case expects\n[       OK ] Log.Passes\n");
    const auto temporary = bench.checkout() / "build/sanitize/Testing/Temporary";
    fs::create_directories(temporary);
    test::writeFile(temporary / "prepared.log", log);
    ScriptBench::stub(
        bench.tools() / "ctest",
        "#!/bin/sh\nmv build/sanitize/Testing/Temporary/prepared.log "
        "build/sanitize/Testing/Temporary/LastTest.log\n"
        "printf '3:Idle.OnKWin\\n5:Main.Crashes\\n' >build/sanitize/Testing/Temporary/LastTestsFailed.log\n"
        "echo 'The following tests FAILED:'\nexit 8\n");

    const auto outcome = bench.run({"scripts/test.sh", "sanitize"});
    EXPECT_EQ(outcome.status, 8);
    const auto tail =
        outcome.output.substr(std::min(outcome.output.size(), outcome.output.rfind("The following")));
    EXPECT_EQ(tail,
              "The following tests FAILED:\n== what the failing tests said\n"
              "-- Idle.OnKWin\n   IdleTest.cpp:245: Failure\n   Expected: (connection) != (nullptr)\n"
              "   IdleTest.cpp:250: Failure\n   Value of: seen\n"
              "-- Main.Crashes\n   frame 5\n   frame 6\n   frame 7\n   frame 8\n   frame 9\n   frame 10\n"
              "   frame 11\n   frame 12\n");
}

// The account that a test has root's run make, removed with its home when the test ends.
struct MadeAccount {
    std::string name;
    ~MadeAccount() { makeCommandRunner()->run("/usr/sbin/userdel", {"--remove", name}); }
    std::optional<uid_t> uid() const {
        const passwd* entry = ::getpwnam(name.c_str());
        return entry ? std::optional(entry->pw_uid) : std::nullopt;
    }
};

// Whether a process runs as `uid`, or with `mark` in its environment.
bool anyRunning(std::optional<uid_t> uid, const std::string& mark) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        struct stat info {};
        if (!std::isdigit(entry.path().filename().string()[0]) || ::stat(entry.path().c_str(), &info) != 0) continue;
        if ((uid && info.st_uid == *uid) || test::readFile(entry.path() / "environ").find(mark) != std::string::npos)
            return true;
    }
    return false;
}

// Root's whole test run, started from a terminal as a person starts it (script(1) gives it one),
// with the real scripts but for the tests that the account runs: those try to type a command into
// that terminal (TIOCSTI, which echoes what it types) and to retitle it, leave a process running,
// and end, or sleep until the top script is killed.
TEST(Install, RootsTestRunEndsEverythingItStartedAndNoTestReachesTheTerminalItWasStartedFrom) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root's run acts as the tests' account";
    const MadeAccount account{"quillfen-bench-run"};
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed while a test sleeps" : "ended well");
        ScriptBench bench;
        bench.useAccount(account.name);
        const auto scripts = bench.checkout() / "scripts";
        fs::rename(scripts / "test.sh", scripts / "roots-test.sh");
        fs::copy_file(QUILLFEN_SOURCE_DIR "/scripts/test-as-contributor.sh", scripts / "test-as-contributor.sh",
                      fs::copy_options::overwrite_existing);
        ScriptBench::stub(scripts / "test.sh", std::string(R"sh(#!/bin/sh
[ "$(id -u)" != 0 ] || exec "${0%/*}/roots-test.sh" "$@"
python3 -c 'import fcntl, os, termios
for target in (0, 1, 2, "/dev/tty"):
    try: [fcntl.ioctl(os.open(target, os.O_RDWR) if target == "/dev/tty" else target, termios.TIOCSTI, bytes([c])) for c in b"whoami\n"]
    except OSError: pass'
printf 'typed \033]0;renamed\007\n'
sleep 600 &
)sh") + (killed ? "echo sleeping\nexec sleep 600\n" : ""));
        const auto shown = bench.home() / "shown";
        // The terminal's end, at the end of script(1), would hang up what the run left on it.
        auto run = "trap '' HUP; " + (scripts / "test.sh").string() + " default >" + shown.string() + " 2>&1";
        if (killed)
            run += " & for i in $(seq 200); do grep -qs sleeping " + shown.string() + " && break; sleep 0.1; done; kill -KILL $!";
        const auto outcome = bench.run({"/usr/bin/script", "-qec", run, "/dev/null"});
        EXPECT_TRUE(killed || outcome.status == 0) << test::readFile(shown);
        EXPECT_EQ(outcome.output.find("whoami"), std::string::npos) << outcome.output;
        EXPECT_NE(test::readFile(shown).find("typed \\x1b]0;renamed\\x07\n"), std::string::npos) << test::readFile(shown);
        EXPECT_TRUE(test::waitUntil([&] { return !anyRunning(account.uid(), "CALLS=" + bench.calls().string()); },
                                    std::chrono::seconds(5)));
    }
}

// Debian 13's run in a stand-in tree, this machine's programs through an overlay: with accounts of
// its own only, where useradd would give the next account the uid that this machine's www-data
// holds. Its account has the machine account's numbers; where another account of the tree holds
// them, nothing runs.
TEST(Install, RootsDebian13RunGivesItsAccountNumbersThatNoOtherAccountHasOnTheMachineOrInTheTree) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root makes accounts and trees";
    ScriptBench bench;
    const MadeAccount account{"quillfen-bench-tree"};
    bench.useAccount(account.name);
    fs::copy_file(QUILLFEN_SOURCE_DIR "/scripts/test-as-contributor.sh", bench.checkout() / "scripts/test-as-contributor.sh",
                  fs::copy_options::overwrite_existing);
    ScriptBench::stub(bench.checkout() / "scripts/test.sh", "#!/bin/sh\necho the tests ran\n");
    // The second case takes the numbers that the first gave the account.
    for (const char* another : {"", "someone:x:{uid}:{uid}::/:/bin/sh\n"}) {
        SCOPED_TRACE(another);
        test::TempDir layers;
        const auto accounts = "root:x:0:0:root:/root:/bin/bash\n" +
                              std::regex_replace(another, std::regex("\\{uid\\}"), std::to_string(account.uid().value_or(0)));
        for (const auto& [file, text] : std::map<std::string, std::string>{
                 {"etc/passwd", accounts}, {"etc/group", "root:x:0:\n"}, {"etc/shadow", "root:*:1::::::\n"},
                 {"etc/gshadow", "root:*::\n"}, {"etc/login.defs", "UID_MIN 33\nUID_MAX 33\nGID_MIN 33\nGID_MAX 33\n"},
                 {".quillfen-tree", ""}, {".quillfen-tree-made", ""}})
            test::writeFile(layers.path() / "upper" / file, text);
        for (const char* folder : {"work", "tree"})
            fs::create_directories(layers.path() / folder);
        const auto outcome = bench.run(
            {"/usr/bin/unshare", "--mount", "--", "/bin/sh", "-c",
             "mount -t overlay overlay -o lowerdir=/,upperdir=$0/upper,workdir=$0/work $0/tree || exit 77; exec \"$@\"",
             layers.path().string(), (bench.checkout() / "scripts/test-as-contributor.sh").string(), "debian13"},
            {{"QUILLFEN_DEBIAN13_TREE", (layers.path() / "tree").string()}});
        if (outcome.status == 77 || outcome.output.find("skipped") != std::string::npos)
            GTEST_SKIP() << "no stand-in tree here: " << outcome.output;
        const auto uid = account.uid();
        ASSERT_TRUE(uid) << outcome.output;
        EXPECT_EQ(outcome.output.find("the tests ran") == std::string::npos, *another != 0) << outcome.output;
        if (*another) {
            EXPECT_NE(outcome.output.find("uid " + std::to_string(*uid) + " is someone's"), std::string::npos);
            continue;
        }
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        const passwd* machine = ::getpwuid(*uid);
        EXPECT_EQ(machine->pw_name, account.name);
        EXPECT_LT(*uid, 1000u);
        const auto tree = account.name + ":x:" + std::to_string(*uid) + ":" + std::to_string(machine->pw_gid) + ":";
        EXPECT_NE(test::readFile(layers.path() / "upper/etc/passwd").find("\n" + tree), std::string::npos);
        for (const auto& home : {fs::path(machine->pw_dir), layers.path() / "upper/var/lib" / account.name})
            EXPECT_EQ(test::modeOf(home), 0700u) << home;
    }
}

// A Debian user's umask is 002; what the install makes is all the same the user's alone to change.
// CMake's list of the files it installed gives way to how to start the application: from the menu
// where the desktop reads the prefix's menu folder, else by its path, and how the menu comes to
// show it.
TEST(Install, TheInstallMakesItsFolders0755UnderAnyUmaskAndEndsBySayingHowToStartIt) {
    ScriptBench bench;
    // As the real one does: it makes the folders it needs under the umask, and lists each file.
    const auto cmake = bench.tools() / "cmake";
    test::writeFile(cmake, "#!/bin/sh\nprintf '%s %s\\n' cmake \"$*\" >>\"$CALLS\"\n"
                           "[ \"$1\" != --install ] || { mkdir -p \"$MADE\" && echo \"-- Installing: $MADE/x\"; }\n");
    fs::permissions(cmake, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    const struct {
        const char* what;
        const char* prefix;   // below the bench's home
        const char* dataDirs;  // {prefix} stands for the prefix
        bool inTheMenu;
    } cases[] = {
        {"a prefix the desktop reads", "opt/q", "/usr/share:{prefix}/share/", true},
        {"the user's own ~/.local", ".local", "/usr/share", true},
        {"a prefix the desktop does not read", "opt/q", "/usr/share:{prefix}/share/more", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto prefix = bench.home() / c.prefix;
        fs::remove_all(bench.home());
        const auto made = prefix / "share/applications";
        const mode_t previous = ::umask(002);
        const auto outcome = bench.run({"scripts/install.sh", prefix.string()},
                                       {{"MADE", made.string()},
                                        {"XDG_DATA_DIRS", filledIn(c.dataDirs, {{"prefix", prefix}})}});
        ::umask(previous);
        ASSERT_EQ(outcome.status, 0) << outcome.output;
        for (const auto& folder : {made.parent_path(), made})
            EXPECT_EQ(fs::status(folder).permissions(), fs::perms(0755)) << folder;
        EXPECT_EQ(outcome.output.find("Installing:"), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find("\n    " + (prefix / "bin/quillfen").string() + "\n"), std::string::npos)
            << outcome.output;
        EXPECT_EQ(outcome.output.find("application menu (\"Quillfen\")") != std::string::npos, c.inTheMenu)
            << outcome.output;
        EXPECT_EQ(outcome.output.find("export XDG_DATA_DIRS=\"" + (prefix / "share").string() + ":") != std::string::npos,
                  !c.inTheMenu)
            << outcome.output;
    }
}

TEST(Install, WithoutSudoAPlaceTheUserCannotWriteIsNamedWithWhatToDoBeforeAnythingIsBuilt) {
    const bool root = ::geteuid() == 0;
    if (root && test::asUser(test::kAnotherUser, [] { return 0; }) != 0)
        GTEST_SKIP() << "this run cannot act as another user, and root may write anywhere";
    ScriptBench bench(true);
    // Read-only: root's own when the cases run as another user, else the user's.
    const auto prefix = bench.checkout() / "locked";
    test::writeFile(prefix / "bin/quillfen", "");
    const auto build = bench.checkout() / "build/installed";
    test::writeFile(build / "CMakeCache.txt", "CMAKE_INSTALL_PREFIX:PATH=" + prefix.string() + "\n");
    test::writeFile(build / "install_manifest.txt", (prefix / "bin/quillfen").string());
    fs::permissions(prefix, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    struct Case {
        std::vector<std::string> command;
        std::map<std::string, std::string> variables;
        // What the message must name, beside its advice to get sudo or act as root.
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {{"scripts/install.sh", prefix.string()}, {}, {prefix.string(), "~/.local"}},
        {{"scripts/uninstall.sh", build.string()}, {}, {prefix.string()}},
        {{"scripts/install-deps.sh"}, {{"MISSING", "1"}}, {"libicu-dev", "apt-get install"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.front());
        const auto outcome = bench.run(c.command, c.variables,
                                       root ? std::optional<unsigned>(test::kAnotherUser) : std::nullopt);
        EXPECT_EQ(outcome.status, 1) << outcome.output;
        for (const auto& name : c.names)
            EXPECT_NE(outcome.output.find(name), std::string::npos) << name;
        EXPECT_NE(outcome.output.find("no sudo here"), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find("install sudo"), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find("as root"), std::string::npos) << outcome.output;
        EXPECT_TRUE(bench.noted("cmake").empty() && bench.noted("apt-get").empty());
    }
    EXPECT_TRUE(fs::exists(prefix / "bin/quillfen"));
    fs::permissions(prefix, fs::perms::owner_write, fs::perm_options::add);
}

// A release whose archive lacks a name on the lists (a compiler of one version, say) still gets every
// package it has; the ones it lacks are named before anything is built.
TEST(Install, APackageTheArchiveLacksIsNamedAndTheOthersInstalledBeforeAnythingIsBuilt) {
    ScriptBench bench;
    const auto outcome = bench.run({"scripts/run.sh"}, {{"MISSING", "1"}, {"UNKNOWN", "libicu-dev qt6-base-dev"}});
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_NE(outcome.output.find("no package named: libicu-dev qt6-base-dev\n"), std::string::npos) << outcome.output;
    // As root apt-get is run itself, otherwise through sudo.
    std::vector<std::string> installed;
    for (const auto& call : bench.noted()) {
        const auto install = std::find(call.begin(), call.end(), "install");
        if (install != call.end() && (call.front() == "apt-get" || call.front() == "sudo"))
            installed.assign(install + 1, call.end());
    }
    EXPECT_NE(std::find(installed.begin(), installed.end(), "cmake"), installed.end());
    for (const char* lacking : {"libicu-dev", "qt6-base-dev"})
        EXPECT_EQ(std::find(installed.begin(), installed.end(), lacking), installed.end()) << lacking;
    EXPECT_TRUE(bench.noted("cmake").empty());
}

// sudo is asked once, before anything is built or taken out, and only where nobody else may write
// the build folder: whoever else may would choose what root runs and removes, and the scripts then
// say which folder that is and stop before sudo. A person who may not use sudo hears so at once,
// with the ways on, rather than after minutes of building, and keeps the copy whole.
TEST(Install, TheScriptsAskSudoFirstAndOnlyWhenNobodyElseMayWriteTheBuildFolder) {
    const bool root = ::geteuid() == 0;
    if (root && test::asUser(test::kAnotherUser, [] { return 0; }) != 0)
        GTEST_SKIP() << "this run cannot act as another user, and root needs no sudo";
    ScriptBench bench;
    // Read-only: root's own when the cases run as another user, else the user's.
    const auto prefix = bench.checkout() / "locked";
    fs::create_directories(prefix);
    fs::permissions(prefix, fs::perms(0555));
    // The uninstall program notes each call, as the stand-in sudo does: the keep-alive it would take
    // out first among them.
    const auto sudo = bench.tools() / "sudo";
    const auto allowing = test::readFile(sudo);
    const auto uninstalling = bench.checkout() / "build/uninstall";
    makeBuildFolder(uninstalling, prefix, (prefix / "bin/quillfen").string());
    const auto unregister = uninstalling / "app/quillfen_unregister";
    fs::remove(unregister);
    fs::copy_file(sudo, unregister);
    const struct {
        std::vector<std::string> command;
        fs::path build;
        std::string asRoot;             // what sudo runs once it lets the person use it
        std::vector<std::string> says;  // what its refusal names
    } cases[] = {
        {{"scripts/install.sh", prefix.string()}, bench.checkout() / "build/install", "cmake",
         {prefix.string(), "scripts/install.sh ~/.local", "whoever looks after this machine"}},
        {{"scripts/uninstall.sh", uninstalling.string()}, uninstalling, fs::canonical(unregister).string(),
         {prefix.string(), "nothing was removed", "whoever looks after this machine"}},
    };
    // A checkout once refused stays refused: the build folders others may write come last.
    enum State { refuses, allows, sharedBuild };
    const char* const named[] = {"sudo refuses", "sudo allows", "others may write the build folder"};
    for (const State state : {refuses, allows, sharedBuild}) {
        test::writeFile(sudo, allowing + (state == refuses ? "echo \"Sorry, user $(id -un) may not run sudo on this "
                                                             "host.\" >&2\nexit 1\n"
                                                           : ""));
        for (const auto& c : cases) {
            SCOPED_TRACE(c.command.front() + ", " + named[state]);
            fs::permissions(c.build, state == sharedBuild ? fs::perms::all : fs::perms(0755));
            const auto before = bench.noted().size();
            const auto outcome =
                bench.run(c.command, {}, root ? std::optional<unsigned>(test::kAnotherUser) : std::nullopt);
            // Every call the run made; where sudo refuses, nothing may follow it.
            auto noted = bench.noted();
            noted.erase(noted.begin(), noted.begin() + static_cast<std::ptrdiff_t>(before));
            if (state != refuses) std::erase_if(noted, [](const auto& call) { return call.front() != "sudo"; });
            if (state == sharedBuild) {
                EXPECT_EQ(outcome.status, 1) << outcome.output;
                EXPECT_NE(outcome.output.find("others may change " + c.build.string() + ","), std::string::npos)
                    << outcome.output;
                EXPECT_EQ(noted, std::vector<std::vector<std::string>>{});
            } else if (state == refuses) {
                EXPECT_EQ(outcome.status, 1) << outcome.output;
                EXPECT_EQ(noted, (std::vector<std::vector<std::string>>{{"sudo", "-v"}})) << outcome.output;
                for (const auto& said : c.says)
                    EXPECT_NE(outcome.output.find(said), std::string::npos) << outcome.output;
            } else {
                EXPECT_EQ(outcome.status, 0) << outcome.output;
                ASSERT_EQ(noted.size(), 2u);
                EXPECT_EQ(noted[0], (std::vector<std::string>{"sudo", "-v"}));
                EXPECT_EQ(noted[1].at(1), c.asRoot);
            }
            fs::permissions(c.build, fs::perms(0755));
        }
    }
    fs::permissions(prefix, fs::perms(0755));
}

// Another member of a group that may write the prefix's lib (Debian's staff in /usr/local) renames a
// folder of root's there to the installed build's name, with their link at the program's name to
// another program that runs; another user adds a file of root's to the manifest of a build folder
// they may write; a line of the manifest names a file of root's outside the prefix. Root's
// uninstall removes none of it, ends no process, and says why.
TEST(Install, RootsUninstallRemovesNothingThroughAFolderOthersMayWriteNorOutsideThePrefix) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root's uninstall acts as root";
    const struct {
        const char* what;
        mode_t lib;               // of root and group 50
        mode_t build;             // of root
        bool listsRootsFile;      // the manifest names a file of root's outside the install
        const char* says;         // {lib}, {build}, {prefix} and {kept} stand for those places
        const char* programSays;  // the program itself, run as root without the script
    } cases[] = {
        {"a lib others may write", 02775, 0700, false,
         "Left {lib}/org.quillfen.Quillfen: others may change {lib}.", nullptr},
        {"a build folder others may write", 0755, 0777, true, "others may change {build}, and root would act",
         "Removed nothing, as root takes only lists that nobody else could have written: others may change "
         "{build}."},
        {"a folder of root's at the build's name", 0755, 0700, false,
         "Left {lib}/org.quillfen.Quillfen: it holds no build-info.json of an installed build.", nullptr},
        {"a manifest that names a file outside the prefix", 0755, 0700, true,
         "Left {kept}: it is not below {prefix}, where this copy was installed.", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir places;
        const auto prefix = places.path() / "prefix";
        const auto lib = prefix / "lib";
        const auto kept = places.path() / "outside/kept";
        test::writeFile(lib / "another-program/data", "theirs\n");
        test::writeFile(kept, "root's\n");
        const auto other = places.path() / "other/sleep";
        fs::create_directories(other.parent_path());
        fs::copy_file("/bin/sleep", other);
        test::ChildProcess running({other.string(), "30"});
        fs::create_directories(lib / "another-program/bin");
        fs::create_symlink(other, lib / "another-program/bin/quillfen");
        ASSERT_TRUE(test::giveToAnotherUser(lib / "another-program/bin/quillfen"));
        ASSERT_EQ(::chown(lib.c_str(), 0, 50), 0);
        ASSERT_EQ(::chmod(lib.c_str(), c.lib), 0);
        fs::rename(lib / "another-program", RunningCopy::Installation{prefix}.build());
        ScriptBench bench;
        const auto build = bench.checkout() / "build/install";
        makeBuildFolder(build, prefix, c.listsRootsFile ? kept.string() : "");
        ASSERT_EQ(::chmod(build.c_str(), c.build), 0);
        const auto before = listing(places.path());

        const auto outcome = bench.run({"scripts/uninstall.sh", build.string()});
        const std::map<std::string, fs::path> named{{"lib", lib}, {"build", build}, {"prefix", prefix}, {"kept", kept}};
        EXPECT_NE(outcome.output.find(filledIn(c.says, named)), std::string::npos) << outcome.output;
        if (c.programSays) {
            EXPECT_EQ(outcome.status, 1);
            const auto program = bench.run({QUILLFEN_UNREGISTER, "--installed", prefix.string(), build.string()});
            EXPECT_EQ(program.status, 1);
            EXPECT_NE(program.output.find(filledIn(c.programSays, named)), std::string::npos) << program.output;
        }
        EXPECT_EQ(listing(places.path()), before);
        EXPECT_TRUE(running.running());
    }
}

// Under sudo, root acts for the user who ran it: the lists in their build folder are theirs to have
// written. Run as root by root, a build folder of another user's is someone else's.
TEST(Install, RootTakesTheListsOfABuildFolderOfTheUserWhoRanSudoOnly) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root's uninstall acts as root";
    for (const bool sudo : {true, false}) {
        SCOPED_TRACE(sudo ? "run through sudo by its owner" : "run as root");
        test::TempDir places;
        fs::permissions(places.path(), fs::perms(0755));
        const auto prefix = places.path() / "prefix";
        const auto installed = prefix / "bin/quillfen";
        test::writeFile(installed, "");
        const auto build = places.path() / "build";
        makeBuildFolder(build, prefix, installed.string());
        ASSERT_TRUE(test::giveToAnotherUser(build));

        std::map<std::string, std::string> variables;
        if (sudo) variables["SUDO_UID"] = std::to_string(test::kAnotherUser);
        const auto outcome =
            ScriptBench().run({QUILLFEN_UNREGISTER, "--installed", prefix.string(), build.string()}, variables);
        EXPECT_EQ(outcome.status, sudo ? 0 : 1) << outcome.output;
        EXPECT_EQ(fs::exists(installed), !sudo);
        if (!sudo) {
            EXPECT_NE(outcome.output.find("Removed nothing, as root takes only lists that nobody else could have "
                                          "written: " + build.string() + " is a folder of another user."),
                      std::string::npos)
                << outcome.output;
        }
    }
}

// Root's uninstall acts for the person who asked: through sudo the copies of the user who ran it
// end, run by root itself root's own. Another user's copy goes on until they quit it, as a package
// manager leaves it, and the uninstall says how many run and whose.
TEST(Install, RootsUninstallEndsTheCopiesOfThePersonWhoAskedOnlyAndSaysWhoseStillRun) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may end another user's process";
    for (const auto sudo : {std::optional<unsigned>(test::kThirdUser), std::optional<unsigned>()}) {
        SCOPED_TRACE(sudo ? "through sudo" : "as root");
        test::TempDir places;
        fs::permissions(places.path(), fs::perms(0755));
        const RunningCopy::Installation installed{places.path() / "prefix"};
        const auto program = installed.build() / "bin/quillfen";
        fs::create_directories(program.parent_path());
        fs::copy_file("/bin/sleep", program);
        test::writeFile(installed.build() / "build-info.json", R"({"build": 0, "version": "1.0.0", "sha": "unstamped"})");
        makeBuildFolder(places.path() / "build", installed.prefix);
        std::map<unsigned, std::unique_ptr<test::ChildProcess>> copies;
        for (const unsigned user : {0u, test::kThirdUser, test::kAnotherUser}) {
            const auto id = std::to_string(user);
            auto& copy = copies[user] = std::make_unique<test::ChildProcess>(std::vector<std::string>{
                "/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", program.string(), "30"});
            ASSERT_TRUE(test::waitUntil([&] {
                std::error_code ec;
                return fs::equivalent("/proc/" + std::to_string(copy->pid()) + "/exe", program, ec);
            }));
        }

        std::map<std::string, std::string> variables;
        if (sudo) variables["SUDO_UID"] = std::to_string(*sudo);
        const auto outcome = ScriptBench().run(
            {QUILLFEN_UNREGISTER, "--installed", installed.prefix.string(), (places.path() / "build").string()},
            variables);
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        std::string others;
        for (const auto& [user, copy] : copies) {
            if (user == sudo.value_or(0)) {
                EXPECT_TRUE(test::waitUntil([&] { return !copy->running(); }));
                continue;
            }
            EXPECT_TRUE(copy->running()) << user;
            others += (others.empty() ? "1 copy of " : ", 1 copy of ") +
                      PathWalk::accountName(user).value_or("user " + std::to_string(user)) + "'s";
        }
        EXPECT_NE(outcome.output.find("Left other users' copies running until they quit them: " + others + ".\n"),
                  std::string::npos)
            << outcome.output;
    }
}

// Whether this run can give a child accounts of the test's own.
bool canWrapAccounts() {
    void* wrapper = ::dlopen("libnss_wrapper.so", RTLD_LAZY | RTLD_LOCAL);
    if (wrapper != nullptr) ::dlclose(wrapper);
    return wrapper != nullptr;
}

// dana, whom only the test's own account files know (nss_wrapper), with Debian's umask 002 and a
// group of her own (or, with `ownGroup` false, a primary group crew that erin is in too): her
// checkout, and what a script run as her, or through sudo for her, has in its environment.
class Dana {
public:
    static constexpr unsigned kUid = test::kThirdUser;

    explicit Dana(bool ownGroup = true) {
        const std::string id = std::to_string(kUid);
        ::chmod(accounts_.path().c_str(), 0755);
        test::writeFile(accounts_.path() / "passwd", "root:x:0:0:root:/root:/bin/sh\ndana:x:" + id + ":" + id +
                                                         ":dana:" + home().string() + ":/bin/sh\n");
        test::writeFile(accounts_.path() / "group",
                        "root:x:0:\n" + std::string(ownGroup ? "dana:x:" + id + ":\n" : "crew:x:" + id + ":erin\n"));
    }

    fs::path home() const { return accounts_.path(); }

    // Gives her the checkout, her group writing it as her umask has it.
    static void takeOver(const fs::path& checkout) {
        for (const auto& entry : fs::recursive_directory_iterator(checkout)) {
            if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::group_write, fs::perm_options::add);
            ASSERT_EQ(::lchown(entry.path().c_str(), kUid, kUid), 0);
        }
        ASSERT_EQ(::chown(checkout.c_str(), kUid, kUid), 0);
        fs::permissions(checkout, fs::perms::group_write, fs::perm_options::add);
    }

    // The uninstall program of a sanitizer build runs with the accounts' library loaded first.
    std::map<std::string, std::string> environment(bool throughSudo) const {
        const char* asan = std::getenv("ASAN_OPTIONS");
        std::map<std::string, std::string> variables{
            {"LD_PRELOAD", "libnss_wrapper.so"}, {"NSS_WRAPPER_PASSWD", (accounts_.path() / "passwd").string()},
            {"NSS_WRAPPER_GROUP", (accounts_.path() / "group").string()}, {"UNREGISTER", unregisterProgram().string()},
            {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}, {"UMASK", "002"}};
        if (throughSudo) {
            const std::string id = std::to_string(kUid);
            variables.insert({{"SUDO_UID", id}, {"SUDO_GID", id}, {"SUDO_USER", "dana"}});
        }
        return variables;
    }

private:
    test::TempDir accounts_;
};

// `sudo scripts/install.sh /usr/local` by a user whose checkout was made under Debian's umask 002
// and private group: root judges the checkout it builds and installs; the configure and the build
// are the user's, and nothing of root's is left in their checkout, the lists of the install
// included; its uninstall through sudo takes what the copy wrote for the user out of their home.
// The stand-in compiles nothing.
TEST(Install, ThroughSudoTheUserBuildsAndRootInstallsLeavingNothingOfRootsInTheCheckout) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root acts for the user who ran sudo";
    if (!canWrapAccounts()) GTEST_SKIP() << "libnss-wrapper is missing";
    const Dana dana;
    const std::string id = std::to_string(Dana::kUid);
    ScriptBench bench;
    bench.standInBuild();
    Dana::takeOver(bench.checkout());
    test::TempDir prefix;

    const auto sudo = dana.environment(true);
    const auto outcome = bench.run({"scripts/install.sh", prefix.path().string()}, sudo);
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    std::vector<std::string> asWhom;
    for (const auto& call : bench.noted("cmake"))
        asWhom.push_back(call.at(1) + " " + call.at(2));
    EXPECT_EQ(asWhom, (std::vector<std::string>{id + " --preset", id + " --build", "0 --install"}));

    // Removed through sudo again: what the copy wrote for the user is looked for in their home, not
    // in root's.
    const auto autostart = dana.home() / ".config/autostart" / LoginItem::autostartFile().filename();
    test::writeFile(autostart, *LoginItem::desktopEntry(RunningCopy::Installation{prefix.path()}.launcher()));
    for (const auto& made : {autostart.parent_path().parent_path(), autostart.parent_path(), autostart})
        ASSERT_EQ(::chown(made.c_str(), Dana::kUid, Dana::kUid), 0);
    const auto removed = bench.run({"scripts/uninstall.sh", prefix.path().string()}, sudo);
    EXPECT_EQ(removed.status, 0) << removed.output;
    EXPECT_FALSE(fs::exists(autostart)) << removed.output;
    EXPECT_FALSE(fs::exists(prefix.path() / "bin/quillfen"));
    for (const auto& entry : fs::recursive_directory_iterator(bench.checkout())) {
        struct stat info {};
        EXPECT_TRUE(::lstat(entry.path().c_str(), &info) == 0 && info.st_uid != 0) << entry.path();
    }
}

// A refusal is a list of places and a way on, shown on a terminal as it is: no line of it may be a
// command over what others can write (a chmod or setfacl undoes nothing they already wrote, a
// chmod -R or rm -rf over a tree they can rename in goes where they send it), and nothing in it
// but its own line ends may be a control character, whatever names the others chose.
void expectShownSafely(const std::string& output) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto words = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        for (const char* command : {"chmod", "setfacl", "chown", "rm ", "sudo"})
            EXPECT_FALSE(words.starts_with(command) || line.find(std::string(" ") + command + " ") != std::string::npos)
                << line;
    }
    EXPECT_TRUE(std::none_of(output.begin(), output.end(),
                             [](unsigned char c) { return (c < 0x20 && c != '\n') || c == 0x7f; }))
        << output;
}

// The clean clone a refusal sends the person to, as they must make it.
constexpr const char* kCleanClone = "    1. Clone the project again, from where you got it, into a folder that only you may write.\n";
constexpr const char* kUmaskFirst = "       Run umask 022 first: as things are, others could write the new clone.\n";

// Root runs and installs what is built from the user's checkout: where someone else could change
// any of it, root runs nothing, whether the user calls sudo or the script does. One refusal names
// every place in the way and who could change it, and sends her to a clean clone: no command over
// what the others could have written makes the checkout safe again.
TEST(Install, ACheckoutOthersCouldChangeIsRefusedBeforeAnythingRunsAndSentToACleanClone) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    if (!canWrapAccounts()) GTEST_SKIP() << "libnss-wrapper is missing";
    // Terminal codes that would erase the line, return to its start, conceal and ring.
    const std::string rewritten = "\x1b[2K\r    curl example.org | sh\x1b[8m\a\nrest\x7f";
    const struct {
        const char* what;
        // Lays out the checkout in its team's folder; the first place the refusal names.
        std::function<fs::path(const fs::path& team, const fs::path& checkout)> layOut;
        std::string who;
        bool rootRan;  // through sudo, root has run what the place holds or leads to (its scripts)
    } cases[] = {
        // Root's, its group staff may write, setgid: everything in it is staff's and, under umask
        // 002, group-writable.
        {"a checkout in a team's folder",
         [](const fs::path& team, const fs::path& checkout) {
             EXPECT_EQ(::chown(team.c_str(), 0, 50), 0);
             ::chmod(team.c_str(), 02775);
             for (const auto& entry : fs::recursive_directory_iterator(checkout))
                 EXPECT_EQ(::lchown(entry.path().c_str(), Dana::kUid, 50), 0);
             EXPECT_EQ(::chown(checkout.c_str(), Dana::kUid, 50), 0);
             return team;
         },
         "may write it, and it is not a group of dana's alone.", true},
        {"another user's header in a folder open to all",
         [](const fs::path&, const fs::path& checkout) {
             const auto open = checkout / "app/Unregister/Support";
             test::writeFile(open / "PathWalk.h", "#include_next <Support/PathWalk.h>\n");
             EXPECT_EQ(::chown(open.c_str(), Dana::kUid, Dana::kUid), 0);
             ::chmod(open.c_str(), 01777);
             test::giveToAnotherUser(open / "PathWalk.h");
             return open;
         },
         "Every user may write it.", false},
        // Its cache would name a compiler launcher of theirs.
        {"another user's build folder in a checkout open to all",
         [](const fs::path&, const fs::path& checkout) {
             fs::remove_all(checkout / "build/install");
             test::writeFile(checkout / "build/install/CMakeCache.txt",
                             "CMAKE_CXX_COMPILER_LAUNCHER:STRING=/tmp/theirs.sh\n");
             for (const auto& theirs : {checkout / "build/install/CMakeCache.txt", checkout / "build/install"})
                 test::giveToAnotherUser(theirs);
             ::chmod(checkout.c_str(), 0777);
             return checkout;
         },
         "Every user may write it.", true},
        {"an access list on the script that installs the packages",
         [](const fs::path&, const fs::path& checkout) {
             test::letAnotherUserWrite(checkout / "scripts/install-deps.sh");
             return checkout / "scripts/install-deps.sh";
         },
         "An access list lets others write it.", true},
        {"an access list on a folder deep in the tree",
         [](const fs::path&, const fs::path& checkout) {
             const auto deep = checkout / "core/Support/deep/er";
             fs::create_directories(deep);
             for (const auto& made : {deep.parent_path(), deep})
                 EXPECT_EQ(::chown(made.c_str(), Dana::kUid, Dana::kUid), 0);
             test::letAnotherUserWrite(deep);
             return deep;
         },
         "An access list lets others write it.", false},
        // Whoever makes that name first chooses what the build finds there.
        {"a link to a name not made yet in a folder open to all",
         [](const fs::path& team, const fs::path& checkout) {
             const auto shared = team / "shared";
             fs::create_directories(shared);
             ::chmod(shared.c_str(), 01777);
             fs::create_symlink(shared / "later", checkout / "core/Support/later");
             EXPECT_EQ(::lchown((checkout / "core/Support/later").c_str(), Dana::kUid, Dana::kUid), 0);
             return checkout / "core/Support/later";
         },
         "It is missing, and anyone who may write " + (fs::path("{team}") / "shared").string() + " could make it first.",
         false},
        {"a file others may write",
         [](const fs::path&, const fs::path& checkout) {
             ::chmod((checkout / "CMakePresets.json").c_str(), 0666);
             return checkout / "CMakePresets.json";
         },
         "Every user may write it.", false},
        {"another user's file named in terminal codes, in a folder open to all",
         [&rewritten](const fs::path&, const fs::path& checkout) {
             const auto open = checkout / "core/Support";
             ::chmod(open.c_str(), 0777);
             test::writeFile(open / rewritten, "");
             test::giveToAnotherUser(open / rewritten);
             return open;
         },
         "\\x1b[2K\\r    curl example.org | sh\\x1b[8m\\x07\\nrest\\x7f: It is", false},
    };
    const Dana dana;
    test::TempDir prefix;
    ::chmod(prefix.path().c_str(), 0755);
    if (!test::letAnotherUserWrite(prefix.path())) GTEST_SKIP() << "this file system keeps no access lists";
    ::removexattr(prefix.path().c_str(), "system.posix_acl_access");
    for (const auto& c : cases) {
        for (const bool throughSudo : {true, false}) {
            SCOPED_TRACE(std::string(c.what) + (throughSudo ? ", through sudo" : ", calling sudo"));
            ScriptBench bench;
            bench.standInBuild();
            fs::create_directories(bench.checkout() / "core/Support");
            Dana::takeOver(bench.checkout());
            const auto team = bench.checkout().parent_path();
            const auto place = c.layOut(team, bench.checkout());
            const auto refused = bench.run({"scripts/install.sh", prefix.path().string()},
                                           dana.environment(throughSudo),
                                           throughSudo ? std::nullopt : std::optional<unsigned>(Dana::kUid));
            EXPECT_EQ(refused.status, 1);
            for (const std::string& said : {"others may change " + place.string() + ",", filledIn(c.who, {{"team", team}})})
                EXPECT_NE(refused.output.find(said), std::string::npos) << said << "\n" << refused.output;
            EXPECT_TRUE(refused.output.ends_with(std::string(kCleanClone) + "    2. Run the same command in the new clone.\n"))
                << refused.output;
            // A script cannot judge itself before it runs: where root has run what others could
            // change, the refusal says so and asks that whoever looks after the machine know.
            EXPECT_EQ(refused.output.starts_with("Stopped before root acted: "), !(throughSudo && c.rootRan))
                << refused.output;
            EXPECT_EQ(refused.output.find("Whoever looks after this machine should know.") != std::string::npos,
                      throughSudo && c.rootRan)
                << refused.output;
            expectShownSafely(refused.output);
            EXPECT_EQ(bench.noted(), std::vector<std::vector<std::string>>{});
        }
    }
}

// A clean clone of the same commit, made as the refusal says into a folder of the user's alone,
// installs: under Debian's umask 002 with a group of her own as it stands, and with a primary group
// she shares only after the umask 022 the refusal then asks for. Whether she calls sudo or the
// script does, the advice is the same.
TEST(Install, ACleanCloneMadeAsTheRefusalSaysInstalls) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root acts for the user who ran sudo";
    if (!canWrapAccounts()) GTEST_SKIP() << "libnss-wrapper is missing";
    if (!fs::exists("/usr/bin/git")) GTEST_SKIP() << "git is missing";
    test::TempDir prefix;
    ::chmod(prefix.path().c_str(), 0755);
    for (const bool ownGroup : {true, false}) {
        for (const bool throughSudo : {true, false}) {
            SCOPED_TRACE(std::string(ownGroup ? "a group of her own" : "a shared primary group") +
                         (throughSudo ? ", through sudo" : ", calling sudo"));
            const Dana dana(ownGroup);
            ScriptBench bench;
            bench.standInBuild();
            const auto git = [](const fs::path& home, std::vector<std::string> arguments) {
                arguments.insert(arguments.begin(), {"HOME=" + home.string(), "GIT_CONFIG_NOSYSTEM=1", "/usr/bin/git",
                                                     "-c", "user.name=dana", "-c", "user.email=dana@localhost"});
                return makeCommandRunner()->run("/usr/bin/env", arguments).status;
            };
            test::TempDir gitHome;
            const auto origin = bench.checkout().string();
            for (const auto& step : {std::vector<std::string>{"init", "-q", origin},
                                     std::vector<std::string>{"-C", origin, "add", "-A"},
                                     std::vector<std::string>{"-C", origin, "commit", "-q", "-m", "as cloned"}})
                ASSERT_EQ(git(gitHome.path(), step), 0);
            Dana::takeOver(bench.checkout());
            ::chmod((bench.checkout() / "CMakePresets.json").c_str(), 0666);
            const auto install = [&] {
                return bench.run({"scripts/install.sh", prefix.path().string()}, dana.environment(throughSudo),
                                 throughSudo ? std::nullopt : std::optional<unsigned>(Dana::kUid));
            };
            const auto refused = install();
            ASSERT_EQ(refused.status, 1) << refused.output;
            const bool umaskFirst = refused.output.find(kUmaskFirst) != std::string::npos;
            EXPECT_EQ(umaskFirst, !ownGroup) << refused.output;

            test::TempDir mine;
            ASSERT_EQ(::chown(mine.path().c_str(), Dana::kUid, Dana::kUid), 0);
            ::chmod(mine.path().c_str(), 0755);
            const auto clone = mine.path() / "quillfen";
            ASSERT_EQ(test::asUser(Dana::kUid,
                                   [&] {
                                       ::umask(umaskFirst ? 022 : 002);
                                       return git(mine.path(), {"clone", "-q", "--no-hardlinks", origin, clone.string()});
                                   }),
                      0);
            bench.useCheckout(clone);
            const auto installed = install();
            EXPECT_EQ(installed.status, 0) << installed.output;
        }
    }
}

// Another user's build folders in her open build/, their caches naming prefixes in words and codes
// of theirs, with no uninstall program: through sudo, root judges the whole checkout before it reads
// one, and the refusal holds no command and no word of theirs, the prefix named only as she typed
// it. Run by her, without root, the copies she is asked to choose from are shown escaped.
TEST(Install, TheUninstallThroughSudoJudgesTheCheckoutBeforeItReadsOrShowsABuildFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    if (!canWrapAccounts()) GTEST_SKIP() << "libnss-wrapper is missing";
    const std::string codes = "\x1b[1A\x1b[2K\rUninstalled from /usr/local (first: sudo chmod -R a+w /usr/local)\a";
    const Dana dana;
    ScriptBench bench;
    fs::create_directories(bench.checkout() / "build");
    Dana::takeOver(bench.checkout());
    ::chmod((bench.checkout() / "build").c_str(), 0777);
    for (const char* copy : {"7", "8"}) {
        const auto build = bench.checkout() / ("build/install-" + std::string(copy));
        test::writeFile(build / "install_manifest.txt", "/usr/local/bin/quillfen\n");
        test::writeFile(build / "CMakeCache.txt", "CMAKE_INSTALL_PREFIX:PATH=/opt/" + std::string(copy) + codes + "\n");
        for (const auto& made : {build / "install_manifest.txt", build / "CMakeCache.txt", build})
            test::giveToAnotherUser(made);
    }
    for (const auto& [typed, into] : {std::pair<std::string, std::string>{"", "the prefix you installed it into"},
                                      std::pair<std::string, std::string>{"/usr/local", "/usr/local"}}) {
        std::vector<std::string> command{"scripts/uninstall.sh"};
        if (!typed.empty()) command.push_back(typed);
        const auto refused = bench.run(command, dana.environment(true));
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(refused.output.starts_with("Stopped before root acted: others may change " +
                                               (bench.checkout() / "build").string() + ", "))
            << refused.output;
        EXPECT_TRUE(refused.output.ends_with("2. In the new clone, install it again into " + into +
                                             ", then uninstall it from there.\n"))
            << refused.output;
        for (const char* word : {"cmake", "/opt/", "Uninstalled"})
            EXPECT_EQ(refused.output.find(word), std::string::npos) << word << "\n" << refused.output;
        expectShownSafely(refused.output);
    }
    EXPECT_EQ(bench.noted(), std::vector<std::vector<std::string>>{});
    const auto listed = bench.run({"scripts/uninstall.sh"}, {}, Dana::kUid);
    EXPECT_NE(listed.output.find("    scripts/uninstall.sh /opt/8\\x1b[1A\\x1b[2K\\rUninstalled from /usr/local "
                                 "(first: sudo chmod -R a+w /usr/local)\\x07\n"),
              std::string::npos)
        << listed.output;
    EXPECT_TRUE(std::none_of(listed.output.begin(), listed.output.end(), [](char c) { return c == '\x1b'; }));
}

// A checkout refused once, its modes then put right: the next run from it, through sudo or calling
// sudo, is refused again with the same way on. Where what root runs first was open, root has now run
// it, and says so. The refusal is kept in her state folder, hers alone, never through another
// user's link; a clean clone is another checkout, and installs.
TEST(Install, ACheckoutRefusedOnceIsRefusedAgainWhateverItsModesAreThen) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root acts for the user who ran sudo";
    if (!canWrapAccounts()) GTEST_SKIP() << "libnss-wrapper is missing";
    const std::string before = "this checkout was refused before, when others could change";
    const struct {
        const char* opened;  // open to all, then put right
        bool theirLink;      // her ~/.local is another user's link to a folder of hers
        std::string again;   // how the second refusal through sudo begins; empty: it installs
    } cases[] = {
        {"CMakePresets.json", false, "Stopped before root acted: " + before + " it.\n"},
        {"scripts/install.sh", false, "Stopped, but root has already run code others could have changed: " + before +
                                          " what root runs from it.\nWhoever looks after this machine should know.\n"},
        {"CMakePresets.json", true, ""},
    };
    test::TempDir prefix;
    ::chmod(prefix.path().c_str(), 0755);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.opened) + (c.theirLink ? ", her ~/.local another user's link" : ""));
        const Dana dana;
        ASSERT_EQ(::chown(dana.home().c_str(), Dana::kUid, Dana::kUid), 0);
        const auto elsewhere = dana.home() / "elsewhere";
        if (c.theirLink) {
            fs::create_directories(elsewhere);
            ASSERT_EQ(::chown(elsewhere.c_str(), Dana::kUid, Dana::kUid), 0);
            fs::create_directory_symlink(elsewhere, dana.home() / ".local");
            test::giveToAnotherUser(dana.home() / ".local");
        }
        ScriptBench bench;
        bench.standInBuild();
        Dana::takeOver(bench.checkout());
        const auto install = [&](bool throughSudo) {
            auto variables = dana.environment(throughSudo);
            variables["HOME"] = dana.home().string();
            return bench.run({"scripts/install.sh", prefix.path().string()}, variables,
                             throughSudo ? std::nullopt : std::optional<unsigned>(Dana::kUid));
        };
        const auto opened = bench.checkout() / c.opened;
        fs::permissions(opened, fs::perms::others_write, fs::perm_options::add);
        ASSERT_EQ(install(true).status, 1);
        fs::permissions(opened, fs::perms::others_write, fs::perm_options::remove);

        const auto again = install(true), calling = install(false);
        if (c.again.empty()) {
            EXPECT_EQ(again.status, 0) << again.output;
            EXPECT_EQ(listing(elsewhere), std::set<std::string>{});
            continue;
        }
        EXPECT_TRUE(again.output.starts_with(c.again)) << again.output;
        EXPECT_TRUE(calling.output.starts_with("Stopped before root acted: " + before + " it.\n")) << calling.output;
        for (const auto& outcome : {again, calling})
            EXPECT_TRUE(outcome.output.ends_with(std::string(kCleanClone) + "    2. Run the same command in the new clone.\n"))
                << outcome.output;
        EXPECT_EQ(bench.noted(), std::vector<std::vector<std::string>>{});
        const auto state = dana.home() / ".local/state/org.quillfen.Quillfen";
        for (const auto& [made, mode] : {std::pair{state, 0700u}, std::pair{state / "refused-checkouts", 0600u}}) {
            struct stat info {};
            EXPECT_TRUE(::lstat(made.c_str(), &info) == 0 && info.st_uid == Dana::kUid && (info.st_mode & 07777) == mode)
                << made;
        }
        const auto clone = bench.checkout().parent_path() / "clone";
        fs::copy(bench.checkout(), clone, fs::copy_options::recursive);
        Dana::takeOver(clone);
        bench.useCheckout(clone);
        EXPECT_EQ(install(true).status, 0);
    }
}

// The scripts show a name someone else chose as the programs do, byte for byte, from one table, in
// a UTF-8 locale (which sudo keeps) and in C, with Debian's awk on the PATH.
TEST(Install, TheScriptsShowNamesOthersChoseAsTheProgramsDo) {
    test::TempDir tools;
    std::string path = "/usr/bin:/bin";
    if (fs::exists("/usr/bin/mawk")) {
        fs::create_symlink("/usr/bin/mawk", tools.path() / "awk");
        path = tools.path().string() + ":" + path;
    }
    for (const char* locale : {"C.UTF-8", "C"}) {
        SCOPED_TRACE(locale);
        std::vector<std::string> command{"/usr/bin/env", "-i", "LANG=" + std::string(locale), "PATH=" + path,
                                         "/bin/bash", "-c",
                                         "source \"$0\"; for name; do _handoff_shown \"$name\"; "
                                         "printf '%s\\0' \"$_handoff_said\" >&3; done",
                                         QUILLFEN_SOURCE_DIR "/scripts/handoff.sh"};
        for (const auto& c : test::kEscapedNames)
            command.emplace_back(c.name);
        test::ChildProcess shell(command, {}, 3);
        std::istringstream said(shell.readRest());
        for (const auto& c : test::kEscapedNames) {
            std::string shown;
            std::getline(said, shown, '\0');
            EXPECT_EQ(shown, c.shown);
            EXPECT_EQ(shown, Text::controlsEscaped(c.name));
        }
    }
}

// What the uninstall's own program says names what others could have chosen: a line of an install
// list in a build folder another user could have written, the entry of another copy in a menu
// folder of the system's. Each name stays on its line, shown with its control characters escaped.
TEST(Install, TheUninstallShowsNamesOthersChoseWithTheirControlCharactersEscaped) {
    test::TestHome home;
    ScriptBench bench;
    test::TempDir elsewhere, system;
    const std::string codes = "\x1b]0;owned\a\x1b[2K\r";
    const RunningCopy::Installation leaving{elsewhere.path() / "opt"}, staying{elsewhere.path() / "usr"};
    makeBuildFolder(bench.checkout() / "build/install", leaving.prefix, "/elsewhere/" + codes + "lib.so");
    const auto menu = system.path() / ("share" + codes) / "applications" / DesktopEntry::kFileName;
    test::writeFile(menu, *DesktopEntry::text(staying.launcher()));
    // What the copies share, which the uninstall leaves and says why.
    fs::create_directories(home.path() / ".cache/org.quillfen.Quillfen");
    auto variables = homeVariables();
    variables["XDG_DATA_DIRS"] = menu.parent_path().parent_path().string();

    const auto outcome = bench.run({"scripts/uninstall.sh", leaving.prefix.string()}, variables);
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    for (const auto& shown : {"Left /elsewhere/\\x1b]0;owned\\x07\\x1b[2K\\rlib.so: it is not below",
                              "share\\x1b]0;owned\\x07\\x1b[2K\\r/applications/"})
        EXPECT_NE(outcome.output.find(shown), std::string::npos) << shown << "\n" << outcome.output;
    expectShownSafely(outcome.output);
}

// A folder outside the checkout that looks like one of its build folders (a cache, the lists, a
// program at the uninstall program's name), named as the place to remove: it is a prefix's name,
// where this checkout installed nothing, and nothing of it runs.
TEST(Install, AFolderOutsideTheCheckoutIsAPrefixToTheUninstallWhateverItHolds) {
    ScriptBench bench;
    test::TempDir elsewhere;
    const auto lookalike = elsewhere.path() / "apps";
    const auto ran = elsewhere.path() / "ran";
    test::writeFile(lookalike / "CMakeCache.txt", "CMAKE_INSTALL_PREFIX:PATH=" + lookalike.string() + "\n");
    test::writeFile(lookalike / "install_manifest.txt", (lookalike / "bin/quillfen").string());
    test::writeFile(lookalike / "app/quillfen_unregister", "#!/bin/sh\ntouch '" + ran.string() + "'\n");
    fs::permissions(lookalike / "app/quillfen_unregister", fs::perms::owner_all);

    const auto outcome = bench.run({"scripts/uninstall.sh", lookalike.string()});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.output.find("Nothing to uninstall: this checkout has installed no copy in " + lookalike.string()),
              std::string::npos)
        << outcome.output;
    EXPECT_FALSE(fs::exists(ran));
}

// Root with no sudo caller builds the checkout itself, and a line anyone else could add there would
// run as root at the configure: every file of it is judged before root runs anything, and the
// refusal says where and who could change it, and sends root to a clean clone of its own.
TEST(Install, RootAloneRefusesACheckoutOthersCouldChangeBeforeItRunsAnything) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root's install builds as root";
    const auto nobody = PathWalk::accountName(test::kAnotherUser).value_or(std::to_string(test::kAnotherUser));
    const auto staff = PathWalk::groupName(50).value_or("50");
    const struct {
        const char* place;  // a folder of another user's, or the list of packages
        uid_t owner;
        gid_t group;
        std::string who;
    } cases[] = {
        {"core/theirs", test::kAnotherUser, 0, "It is " + nobody + "'s"},
        {"scripts/packages.txt", 0, 50, "The group " + staff + " may write it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.place);
        ScriptBench bench;
        const auto place = bench.checkout() / c.place;
        fs::create_directories(bench.checkout() / "core/theirs");
        ASSERT_EQ(::chown(place.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod(place.c_str(), 0775), 0);
        const auto prefix = bench.checkout() / "prefix";
        makeBuildFolder(bench.checkout() / "build/install", prefix, (prefix / "bin/quillfen").string());
        // The uninstall, too, takes over a copy only through a clean clone's install into its prefix.
        const std::pair<const char*, std::string> steps[] = {
            {"scripts/install.sh", "Run the same command in the new clone.\n"},
            {"scripts/uninstall.sh", "In the new clone, install it again into " + prefix.string() +
                                         ", then uninstall it from there.\n"},
        };
        for (const auto& [script, then] : steps) {
            const auto outcome = bench.run({script, prefix.string()});
            EXPECT_EQ(outcome.status, 1);
            for (const std::string& said : {"others may change " + place.string() + ",", c.who,
                                            "into a folder that only root may write.\n    2. " + then})
                EXPECT_NE(outcome.output.find(said), std::string::npos) << said << "\n" << outcome.output;
            expectShownSafely(outcome.output);
        }
        EXPECT_EQ(bench.noted(), std::vector<std::vector<std::string>>{});
    }
}

// Another user's folder on the way in the prefix, with their link at the name of the menu folder:
// cmake --install itself writes nothing, there or anywhere, and says where, and to choose another
// prefix: no change of modes undoes what another user could already have put there.
TEST(Install, APrefixOthersCouldChangeOnTheWayIsRefusedBeforeAnythingIsInstalled) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    test::TestHome home;
    test::TempDir stage;
    const fs::path share = stage.path() / RunningCopy::recorded().prefix.relative_path() / "share";
    fs::create_directories(stage.path() / "chosen");
    fs::create_directories(share);
    fs::create_directory_symlink(stage.path() / "chosen", share / "applications");
    ASSERT_TRUE(test::giveToAnotherUser(share / "applications") && test::giveToAnotherUser(share));
    const auto before = listing(stage.path());

    const auto outcome = ScriptBench().run({CMAKE_COMMAND, "--install", QUILLFEN_BUILD_DIR},
                                           {{"DESTDIR", stage.path().string()}});
    EXPECT_NE(outcome.status, 0);
    EXPECT_EQ(listing(stage.path()), before);
    // CMake wraps a long message at its spaces, wherever the test's folders are.
    const auto output = std::regex_replace(outcome.output, std::regex("\\s+"), " ");
    for (const auto& said : {"Nothing was installed: " + share.string(), std::string("Choose another prefix")})
        EXPECT_NE(output.find(said), std::string::npos) << outcome.output;
    expectShownSafely(outcome.output);
}

// Two copies of one user installed from one checkout by the stand-in build: hers in ~/.local,
// whose menu folder is hers, and one elsewhere.
struct TwoCopies {
    test::TestHome home;
    test::TempDir elsewhere;
    const RunningCopy::Installation local{home.path() / ".local"};
    const RunningCopy::Installation other{elsewhere.path() / "opt"};
    ScriptBench bench;
    std::map<std::string, std::string> variables = homeVariables();

    TwoCopies() {
        bench.standInBuild();
        variables["UNREGISTER"] = unregisterProgram().string();
    }

    // Both, and what hers wrote for her when it started: the keep-alive and the autostart entry.
    void install() {
        for (const auto& installation : {local, other})
            ASSERT_EQ(bench.run({"scripts/install.sh", installation.prefix.string()}, variables).status, 0);
        test::RecordingCommandRunner systemctl;
        ASSERT_TRUE(LaunchAgent::install(systemctl, local));
        ASSERT_EQ(LoginItem::enable(local), LoginItem::State::enabled);
    }

    ScriptBench::Outcome uninstall(const std::vector<std::string>& prefix = {}) {
        std::vector<std::string> command{"scripts/uninstall.sh"};
        command.insert(command.end(), prefix.begin(), prefix.end());
        return bench.run(command, variables);
    }
};

// Named by its prefix, the copy elsewhere goes and everything of hers stays; then hers is the only
// one, and goes with everything it wrote and every folder left empty so.
TEST(Install, TwoPrefixesFromOneCheckoutAreEachRemovedWithTheUsersEntriesOfTheirOwnCopyOnly) {
    TwoCopies copies;
    const auto& home = copies.home;
    const auto homeBefore = listing(home.path());
    ASSERT_NO_FATAL_FAILURE(copies.install());
    ASSERT_TRUE(DesktopEntry::refresh(copies.local));
    test::writeFile(home.path() / ".config/mimeapps.list",
                    "[Default Applications]\nx-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop\n");
    const auto localInstalled = listing(home.path());

    const auto named = copies.uninstall();
    EXPECT_EQ(named.status, 1);
    for (const auto& installation : {copies.local, copies.other})
        EXPECT_NE(named.output.find("scripts/uninstall.sh " + installation.prefix.string() + "\n"), std::string::npos)
            << named.output;
    EXPECT_EQ(listing(home.path()), localInstalled);

    EXPECT_EQ(copies.uninstall({copies.other.prefix.string()}).status, 0);
    EXPECT_FALSE(fs::exists(copies.other.prefix));
    EXPECT_EQ(listing(home.path()), localInstalled);

    const auto last = copies.uninstall();
    EXPECT_EQ(last.status, 0) << last.output;
    // The data folder stays: the keep-alive wrapper was all it held.
    auto left = homeBefore;
    left.insert(".local/share/org.quillfen.Quillfen/");
    EXPECT_EQ(listing(home.path()), left);
}

// Start at login on, the copy it starts removed while another stays: the entry then starts the
// copy that stays, wherever the session names that one, and reads on at its next start. With the
// last copy gone too, the entry goes, and the first start of the next install turns it on again as
// the first start did: an entry an uninstall took out is no choice of the user's.
TEST(Install, RemovingTheCopyThatStartsAtLoginLeavesStartAtLoginOnForTheCopyThatStays) {
    for (const bool runs : {false, true}) {
        SCOPED_TRACE(runs ? "it runs and holds the lock" : "the menu entry the desktop finds first starts it");
        TwoCopies copies;
        ASSERT_NO_FATAL_FAILURE(copies.install());
        // As the first start left it.
        makeUserDefaults()->setBoolean(LoginItem::kAutoEnabledOnceKey, true);
        std::optional<test::ChildProcess> running;
        const auto cache = copies.home.path() / ".cache/org.quillfen.Quillfen";
        if (runs) {
            fs::copy_file(QUILLFEN_STAND_IN, copies.other.build() / "bin/quillfen", fs::copy_options::overwrite_existing);
            fs::create_directories(cache);
            fs::permissions(cache, fs::perms::owner_all);
            running.emplace(std::vector<std::string>{(copies.other.build() / "bin/quillfen").string(), "30"},
                            std::map<std::string, std::string>{{"QUILLFEN_STAND_IN_LOCK", cache / "singleton.lock"}});
            ASSERT_TRUE(test::waitUntil([&] { return SingleInstance::isHeld(cache); }));
        } else {
            // Hers first, in her own menu folder, as the desktop finds them.
            test::writeFile(DesktopEntry::userFile(), *DesktopEntry::text(copies.local.launcher()));
            test::writeFile(copies.home.path() / "system/share/applications" / DesktopEntry::kFileName,
                            *DesktopEntry::text(copies.other.launcher()));
        }
        const auto entry = LoginItem::autostartFile();

        const auto first = copies.uninstall({copies.local.prefix.string()});
        EXPECT_NE(first.output.find("now starts the copy in " + copies.other.prefix.string() + ", which stays."),
                  std::string::npos)
            << first.output;
        EXPECT_EQ(test::readFile(entry), LoginItem::desktopEntry(copies.other.launcher()));
        EXPECT_EQ(LoginItem::enableOnceIfNeeded(*makeUserDefaults(), copies.other), LoginItem::State::enabled);

        EXPECT_EQ(copies.uninstall({copies.other.prefix.string()}).status, 0);
        EXPECT_FALSE(fs::exists(entry));
        ASSERT_EQ(copies.bench.run({"scripts/install.sh", copies.local.prefix.string()}, copies.variables).status, 0);
        EXPECT_EQ(LoginItem::enableOnceIfNeeded(*makeUserDefaults(), copies.local), LoginItem::State::enabled);
    }
}

// GNOME's and KDE's startup settings turn an autostart entry off in the file. Turned off, it is the
// user's choice: the uninstall leaves it as it is, and the mark of the one automatic enable with it,
// and so does the next start of a copy, for which Start at login reads off until the user turns it
// on in the settings.
TEST(Install, AnAutostartEntryTheUserTurnedOffStaysOffThroughAnUninstallAndAStart) {
    const struct {
        const char* desktop;
        std::function<std::string(std::string)> turnOff;
    } cases[] = {
        {"GNOME",
         [](std::string entry) {
             return std::regex_replace(entry, std::regex("enabled=true"), "enabled=false");
         }},
        {"KDE", [](std::string entry) { return entry + "Hidden=true\n"; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.desktop);
        test::TestHome home;
        ScriptBench bench;
        const RunningCopy::Installation installed{home.path() / ".local"};
        const auto build = bench.checkout() / "build/install";
        makeBuildFolder(build, installed.prefix);
        const auto entry = LoginItem::autostartFile();
        const auto off = c.turnOff(*LoginItem::desktopEntry(installed.launcher()));
        test::writeFile(entry, off);
        makeUserDefaults()->setBoolean(LoginItem::kAutoEnabledOnceKey, true);

        const auto outcome = bench.run({"scripts/uninstall.sh", build.string()}, homeVariables());
        EXPECT_NE(outcome.output.find("Left the autostart entry " + entry.string() + " as it is"),
                  std::string::npos)
            << outcome.output;
        EXPECT_EQ(test::readFile(entry), off);
        EXPECT_EQ(makeUserDefaults()->boolean(LoginItem::kAutoEnabledOnceKey), true);

        EXPECT_EQ(LoginItem::enableOnceIfNeeded(*makeUserDefaults(), installed), LoginItem::State::notRegistered);
        EXPECT_EQ(test::readFile(entry), off);
        EXPECT_EQ(LoginItem::enable(installed), LoginItem::State::enabled);
        EXPECT_EQ(test::readFile(entry), LoginItem::desktopEntry(installed.launcher()));
    }
}

// Removing a copy while another stays (the one the keep-alive starts) names what every copy shares,
// and what stays of the user's own, only where the home holds it.
TEST(Install, TheUninstallNamesWhatItLeavesOnlyWhereTheHomeHoldsIt) {
    const std::vector<std::string> named{
        ".cache/org.quillfen.Quillfen with its single-instance lock",
        "the stone's status line and prompt hook in Claude Code with their two scripts",
        "Left for you: your data in", "the journals in ~/.ostrel", "your settings in"};
    for (const bool holdsThem : {false, true}) {
        SCOPED_TRACE(holdsThem ? "a user with all of it" : "a user who never ran a copy nor added the face");
        test::TestHome home;
        test::TempDir elsewhere;
        ScriptBench bench;
        const RunningCopy::Installation leaving{elsewhere.path() / "opt"}, stays{home.path() / ".local"};
        const auto build = bench.checkout() / "build/install";
        makeBuildFolder(build, leaving.prefix);
        test::RecordingCommandRunner systemctl;
        ASSERT_TRUE(LaunchAgent::install(systemctl, stays));
        if (holdsThem) {
            fs::create_directories(home.path() / ".cache/org.quillfen.Quillfen");
            ASSERT_EQ(ClaudeFaceInstaller::install(home.path(), ClaudeFaceScripts::bundled,
                                                   test::at("2026-01-05T14:00:00Z"))
                          .settings,
                      ClaudeFaceInstaller::SettingsOutcome::written);
            test::writeFile(home.dataDirectory() / "signal-log.json", "[]");
            test::writeFile(home.familyDirectory() / "decisions-log.jsonl", "");
            makeUserDefaults()->setBoolean(LoginItem::kAutoEnabledOnceKey, true);
        }

        const auto outcome = bench.run({"scripts/uninstall.sh", build.string()}, homeVariables());
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        for (const auto& words : named)
            EXPECT_EQ(outcome.output.find(words) != std::string::npos, holdsThem) << words << "\n"
                                                                                  << outcome.output;
    }
}

// As the user, seeing the test's accounts: whether each of the paths after the first holds by the
// program's judge, then by the scripts' (the first path, a copy of scripts/handoff.sh), as
// "held" or "refused", a line each.
[[maybe_unused]] const bool kJudgedTwice =
    test::registerChildStep("judge-twice", [](const std::vector<std::string>& arguments) {
        const auto verdict = [](bool held) { return held ? "held" : "refused"; };
        std::string said;
        for (auto path = arguments.begin() + 1; path != arguments.end(); ++path) {
            test::ChildProcess shell({"/bin/bash", "-c",
                                      "source \"$1\"; _handoff_local_accounts=$NSS_WRAPPER_PASSWD "
                                      "handoff_gid=$(_handoff_own_group); handoff_judge \"$2\"",
                                      "judge", arguments.front(), *path},
                                     {{"SUDO_UID", ""}});
            const auto status = shell.waitForExit(test::kPatience);
            said += std::string(verdict(PathWalk::whyOthersCouldChange(*path).empty())) + " " +
                    verdict(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) + "\n";
        }
        return said;
    });

// What the install asks of a prefix (the program's judge) and what the scripts ask of a checkout
// and a build folder (the shell's) is one question: on every layout both give one answer, the
// stricter where they once differed.
TEST(Install, TheProgramsJudgeAndTheScriptsJudgeGiveOneVerdictOnEveryLayout) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can lay out folders of other users and groups";
    constexpr unsigned ada = test::kThirdUser, bob = test::kAnotherUser;
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const auto root = dir.path();
    const auto made = [](const fs::path& folder, unsigned owner, unsigned group, mode_t mode) {
        fs::create_directories(folder);
        EXPECT_EQ(::chown(folder.c_str(), owner, group), 0);
        ::chmod(folder.c_str(), mode);
        return folder;
    };
    // Her home and its bin, 0775 of her own group (umask 002).
    const auto home = made(root / "home", ada, ada, 0775);
    const auto bin = made(home / "bin", ada, ada, 0775);
    const auto sticky = made(root / "sticky", 0, 0, 01777);
    made(sticky / "hers", ada, ada, 0755);
    made(root / "team", 0, 2002, 0775);
    const auto listed = made(home / "listed", ada, ada, 0755);
    if (!test::letAnotherUserWrite(listed)) GTEST_SKIP() << "this file system keeps no access lists";
    const auto link = [](const fs::path& target, const fs::path& at, unsigned owner) {
        fs::create_symlink(target, at);
        EXPECT_EQ(::lchown(at.c_str(), owner, owner), 0);
        return at;
    };
    const struct {
        const char* what;
        fs::path path;
        bool held;
    } cases[] = {
        {"the user's own 0775 private group on the way", bin / "quillfen", true},
        {"a sticky folder open to everyone as the place itself", sticky, false},
        {"a sticky folder open to everyone on the way", sticky / "hers/quillfen", true},
        {"a folder whose group has another member", root / "team/quillfen", false},
        {"a folder of the user's own group with an access list", listed / "quillfen", false},
        {"another user's link in a sticky folder", link(bin, sticky / "bobs", bob) / "quillfen", false},
        {"another user's link in a folder of the user's alone", link(bin, home / "bobs", bob) / "quillfen", true},
        {"a link to a name not made yet in a sticky folder", link(sticky / "later", home / "later", ada), false},
        {"a link to a name not made yet in a folder of the user's", link(bin / "later", home / "soon", ada), true},
        {"a name in a folder the user may not enter", made(root / "locked", 0, 0, 0700) / "quillfen", false},
    };
    std::vector<std::string> arguments{(root / "handoff.sh").string()};
    fs::copy_file(QUILLFEN_SOURCE_DIR "/scripts/handoff.sh", arguments.front());
    for (const auto& c : cases)
        arguments.push_back(c.path.string());
    const test::WrappedAccounts accounts("root:x:0:0::/root:/bin/sh\nada:x:65533:65533::/home/ada:/bin/sh\n"
                                         "bob:x:65534:65534::/home/bob:/bin/sh\n",
                                         "root:x:0:\nada:x:65533:\nbob:x:65534:\nteam:x:2002:ada,bob\n");
    const auto said = accounts.run("judge-twice", ada, ada, arguments);
    ASSERT_TRUE(said) << "the child could not judge: is libnss-wrapper installed?";
    std::istringstream lines(*said);
    for (const auto& c : cases) {
        std::string line;
        std::getline(lines, line);
        const std::string verdict = c.held ? "held" : "refused";
        EXPECT_EQ(line, verdict + " " + verdict) << c.what;
    }
}

#ifdef QUILLFEN_APP_EXECUTABLE
// Two copies of one user: one installed elsewhere, and her own in ~/.local, which wrote the
// keep-alive and autostart entries when it started last and runs now. Removing the other leaves
// what both share (the cache with the lock the running copy holds, the face in Claude Code and its
// scripts), and a second start of the copy that stays still ends at once; removing that one, the
// last, takes the rest.
TEST(Install, RemovingOneCopyLeavesWhatTheCopyThatStaysSharesWithItUntilTheLastGoes) {
    TwoCopies copies;
    const auto& home = copies.home;
    const auto& stays = copies.local;
    ASSERT_NO_FATAL_FAILURE(copies.install());
    fs::copy_file(QUILLFEN_BINARY, stays.build() / "bin/quillfen", fs::copy_options::overwrite_existing);
    test::writeFile(DesktopEntry::userFile(), *DesktopEntry::text(stays.launcher()));
    ASSERT_EQ(ClaudeFaceInstaller::install(home.path(), ClaudeFaceScripts::bundled, test::at("2026-01-05T14:00:00Z"))
                  .settings,
              ClaudeFaceInstaller::SettingsOutcome::written);
    test::VirtualDisplay display;
    test::TempDir runtime;
    const std::map<std::string, std::string> desktop{
        {"DISPLAY", display.name()}, {"XDG_RUNTIME_DIR", runtime.path().string()},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (runtime.path() / "none").string()}};
    test::ChildProcess running({stays.launcher().string()}, desktop);
    const auto cache = home.path() / ".cache/org.quillfen.Quillfen";
    ASSERT_TRUE(test::waitUntil([&] { return SingleInstance::isHeld(cache); }));
    const auto settings = test::readFile(home.path() / ".claude/settings.json");

    const auto first = copies.uninstall({copies.other.prefix.string()});
    EXPECT_EQ(first.status, 0) << first.output;
    EXPECT_NE(first.output.find("another stays (" + LaunchAgent::wrapperFile().string() + " starts another copy)"),
              std::string::npos)
        << first.output;
    EXPECT_TRUE(SingleInstance::isHeld(cache));
    const char* const scripts[] = {"prompt-cadence-hook.sh", "statusline-mirror.sh"};
    for (const auto& script : scripts)
        EXPECT_TRUE(fs::exists(home.familyDirectory() / script)) << script;
    EXPECT_EQ(test::readFile(home.path() / ".claude/settings.json"), settings);
    test::ChildProcess second({stays.launcher().string()}, desktop);
    const auto ended = second.waitForExit(test::kPatience);
    EXPECT_TRUE(ended && WIFEXITED(*ended) && WEXITSTATUS(*ended) == 0);
    EXPECT_TRUE(running.running());

    const auto last = copies.uninstall({stays.prefix.string()});
    EXPECT_EQ(last.status, 0) << last.output;
    EXPECT_FALSE(running.running());
    EXPECT_FALSE(fs::exists(cache));
    for (const auto& script : scripts)
        EXPECT_FALSE(fs::exists(home.familyDirectory() / script)) << script;
}
#endif

}  // namespace
}  // namespace quillfen

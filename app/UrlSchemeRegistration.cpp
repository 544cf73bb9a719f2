#include "UrlSchemeRegistration.h"

#include <unistd.h>

#include <sstream>

#include "DesktopEntry.h"
#include "Log/FileLogStore.h"
#include "RunningCopy.h"
#include "Support/Paths.h"
#include "Support/SystemLog.h"
#include "Support/Text.h"

namespace quillfen::UrlSchemeRegistration {

namespace {

constexpr const char* kCategory = "desktop-entry";

bool runs(const std::string& tool) {
    return ::access(tool.c_str(), X_OK) == 0;
}

bool succeeded(const CommandOutcome& outcome) {
    return outcome.started && outcome.status == 0;
}

}  // namespace

bool namesUsAsDefault(const std::string& mimeappsList) {
    std::istringstream lines(mimeappsList);
    std::string line;
    bool inDefaults = false;
    const std::string key = std::string(kMimeType) + "=";
    while (std::getline(lines, line)) {
        const std::string trimmed(Text::trimmed(line));
        if (!trimmed.empty() && trimmed.front() == '[') {
            inDefaults = trimmed == "[Default Applications]";
            continue;
        }
        if (!inDefaults || trimmed.rfind(key, 0) != 0) continue;
        const std::string value = trimmed.substr(key.size());
        return value.substr(0, value.find(';')) == DesktopEntry::kFileName;
    }
    return false;
}

Outcome ensure(const std::filesystem::path& launcher, CommandRunner& runner, const std::string& updateDesktopDatabase,
               const std::string& xdgMime) {
    Outcome outcome;
    const auto wanted = DesktopEntry::text(launcher);
    if (!wanted) {
        SystemLog::notice(kCategory, "no desktop entry can start " + launcher.string());
        return outcome;
    }
    const auto file = DesktopEntry::userFile();
    if (FileLogStore(file).read() != *wanted) {
        std::error_code error = Paths::createPrivateFolders(file.parent_path());
        if (!error) error = FileLogStore(file).write(*wanted);
        if (error) {
            SystemLog::notice(kCategory, "could not write " + file.string() + ": " + error.message());
            return outcome;
        }
        outcome.entryWritten = true;
        SystemLog::info(kCategory, "desktop entry written: " + file.string());
    }
    // The desktop finds a new handler through the folder's cache; an entry just written is not
    // in it yet.
    if (outcome.entryWritten && runs(updateDesktopDatabase)) {
        outcome.databaseUpdated = succeeded(runner.run(updateDesktopDatabase, {file.parent_path().string()}));
    }
    const auto choices = FileLogStore(Paths::configHome() / "mimeapps.list").read().value_or("");
    if (!namesUsAsDefault(choices) && runs(xdgMime)) {
        outcome.defaultSet = succeeded(runner.run(xdgMime, {"default", DesktopEntry::kFileName, kMimeType}));
        if (!outcome.defaultSet) SystemLog::notice(kCategory, "xdg-mime could not make the entry the handoff's handler");
    }
    return outcome;
}

void ensureForRunningCopy() {
    const auto installed = RunningCopy::installedBuildFolder();
    if (!RunningCopy::isInstalled(RunningCopy::executable(), installed)) {
        SystemLog::notice(kCategory, "desktop entry not written: this copy does not run from the installed build (" +
                                         installed.string() + ")");
        return;
    }
    auto runner = makeCommandRunner();
    ensure(installed / "bin" / RunningCopy::kExecutableName, *runner);
}

}  // namespace quillfen::UrlSchemeRegistration

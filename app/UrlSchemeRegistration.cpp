#include "UrlSchemeRegistration.h"

#include <unistd.h>

#include <sstream>

#include "DesktopEntry.h"
#include "Log/FileLogStore.h"
#include "RunningCopy.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"
#include "Support/Text.h"

namespace quillfen::UrlSchemeRegistration {

namespace {

constexpr const char* kCategory = "desktop-entry";
// The desktop's default applications, a list of lines.
constexpr std::size_t kMaxChoicesBytes = 1 << 20;

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

Outcome ensure(const std::optional<RunningCopy::Installation>& installed, CommandRunner& runner,
               const std::string& updateDesktopDatabase, const std::string& xdgMime) {
    Outcome outcome;
    const auto file = DesktopEntry::userFile();
    const auto before = FileLogStore(file).read();
    if (!DesktopEntry::refresh(installed)) return outcome;
    outcome.entryWritten = FileLogStore(file).read() != before;
    // The desktop finds a new handler through the folder's cache; an entry just written is not
    // in it yet.
    if (outcome.entryWritten && runs(updateDesktopDatabase)) {
        outcome.databaseUpdated = succeeded(runner.run(updateDesktopDatabase, {file.parent_path().string()}));
    }
    const auto choices =
        SafeFile::readWhole(Paths::configHome() / "mimeapps.list", kMaxChoicesBytes, SafeFile::Links::follow)
            .value_or("");
    if (!namesUsAsDefault(choices) && runs(xdgMime)) {
        outcome.defaultSet = succeeded(runner.run(xdgMime, {"default", DesktopEntry::kFileName, kMimeType}));
        if (!outcome.defaultSet) SystemLog::notice(kCategory, "xdg-mime could not make the entry the handoff's handler");
    }
    return outcome;
}

void ensureForRunningCopy() {
    auto runner = makeCommandRunner();
    ensure(RunningCopy::installed(), *runner);
}

}  // namespace quillfen::UrlSchemeRegistration

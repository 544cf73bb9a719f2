#include "UrlSchemeRegistration.h"

#include <unistd.h>

#include <optional>
#include <sstream>
#include <vector>

#include "DesktopEntry.h"
#include "Log/FileLogStore.h"
#include "RunningCopy.h"
#include "Signals/AgentLogFiles.h"
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

// The line without our entry, its line end kept; nothing when the line named only us, and the
// line itself when it is not ours to change.
std::optional<std::string> lineWithoutUs(const std::string& line) {
    const auto equals = line.find('=');
    if (equals == std::string::npos || Text::trimmed(std::string_view(line).substr(0, equals)) != kMimeType)
        return line;
    const auto end = line.find_last_not_of("\r\n");
    const std::string value = Text::trimmed(std::string_view(line).substr(equals + 1, end - equals));
    std::vector<std::string> others;
    bool ours = false;
    std::istringstream entries(value);
    for (std::string entry; std::getline(entries, entry, ';');) {
        if (Text::trimmed(entry) == DesktopEntry::kFileName) {
            ours = true;
        } else if (!Text::trimmed(entry).empty()) {
            others.push_back(entry);
        }
    }
    if (!ours) return line;
    if (others.empty()) return std::nullopt;
    std::string kept = line.substr(0, equals + 1);
    for (std::size_t i = 0; i < others.size(); ++i)
        kept += (i > 0 ? ";" : "") + others[i];
    if (!value.empty() && value.back() == ';') kept += ';';
    return kept + line.substr(end + 1);
}

// Whether a mimeapps.list text holds nothing but group headers and blank lines.
bool holdsNoChoice(const std::string& mimeappsList) {
    bool none = true;
    AgentLogFiles::forEachLine(mimeappsList, [&none](std::string_view line) {
        const auto trimmed = Text::trimmed(line);
        if (!trimmed.empty() && trimmed.front() != '[') none = false;
    });
    return none;
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

std::filesystem::path choicesFile() {
    return Paths::configHome() / "mimeapps.list";
}

std::string withoutUs(const std::string& mimeappsList) {
    std::string kept;
    bool ours = false;
    for (std::size_t start = 0; start < mimeappsList.size();) {
        const auto lineFeed = mimeappsList.find('\n', start);
        const auto next = lineFeed == std::string::npos ? mimeappsList.size() : lineFeed + 1;
        const std::string line = mimeappsList.substr(start, next - start);
        start = next;
        const std::string trimmed = Text::trimmed(line);
        if (!trimmed.empty() && trimmed.front() == '[') {
            ours = trimmed == "[Default Applications]" || trimmed == "[Added Associations]";
        } else if (ours) {
            kept += lineWithoutUs(line).value_or("");
            continue;
        }
        kept += line;
    }
    return kept;
}

Removal removeFromChoices() {
    const auto file = choicesFile();
    auto read = SafeFile::read(file, kMaxChoicesBytes);
    if (read.status == SafeFile::Contents::Status::missing) return Removal::absent;
    if (!read.wasRead()) return Removal::leftAsItWas;
    const std::string& text = read.bytes;
    const std::string kept = withoutUs(text);
    if (kept == text) return Removal::absent;
    // Emptied so, it goes; but one that the user's own link leads to is part of their layout and stays.
    if (holdsNoChoice(kept) && !SafeFile::ownPlace(file, SafeFile::Kind::file).followed) {
        if (auto error = SafeFile::remove(file)) {
            SystemLog::error(kCategory, "could not remove " + file.string() + ": " + error.message());
            return Removal::leftAsItWas;
        }
        SystemLog::info(kCategory, file.string() + " held nothing but the handoff's handler and is gone");
        return Removal::fileRemoved;
    }
    if (auto error = SafeFile::replace(file, kept, read.mode)) {
        SystemLog::error(kCategory, "could not rewrite " + file.string() + ": " + error.message());
        return Removal::leftAsItWas;
    }
    SystemLog::info(kCategory, "the handoff's handler is out of " + file.string());
    return Removal::removed;
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
    if (outcome.entryWritten)
        outcome.databaseUpdated = updateDatabase(runner, updateDesktopDatabase) == DatabaseUpdate::updated;
    const auto choices = SafeFile::readWhole(choicesFile(), kMaxChoicesBytes, SafeFile::Links::follow).value_or("");
    if (!namesUsAsDefault(choices) && runs(xdgMime)) {
        outcome.defaultSet = succeeded(runner.run(xdgMime, {"default", DesktopEntry::kFileName, kMimeType}));
        if (!outcome.defaultSet) SystemLog::notice(kCategory, "xdg-mime could not make the entry the handoff's handler");
    }
    return outcome;
}

DatabaseUpdate updateDatabase(CommandRunner& runner, const std::string& updateDesktopDatabase) {
    if (!runs(updateDesktopDatabase)) return DatabaseUpdate::noTool;
    const auto folder = DesktopEntry::userFile().parent_path();
    if (succeeded(runner.run(updateDesktopDatabase, {folder.string()}))) return DatabaseUpdate::updated;
    SystemLog::notice(kCategory, "update-desktop-database could not bring " + folder.string() + " up to date");
    return DatabaseUpdate::failed;
}

void ensureForRunningCopy() {
    auto runner = makeCommandRunner();
    ensure(RunningCopy::installed(), *runner);
}

std::string removeFromChoicesFor(const RunningCopy::Installation& leaving) {
    if (DesktopEntry::entryOfAnotherCopy(leaving)) return {};
    const auto choices = choicesFile().string();
    switch (removeFromChoices()) {
        case Removal::removed:
            return "took the application out of " + choices + " as the handler of tavryn-stone: addresses.";
        case Removal::fileRemoved:
            return "removed " + choices + ": it held nothing but the application as the handler of tavryn-stone: "
                   "addresses.";
        case Removal::leftAsItWas:
            return "left " + choices + " as it was: it could not be read or rewritten, and may still name the "
                   "removed application as the handler of tavryn-stone: addresses.";
        case Removal::absent:
            break;
    }
    return {};
}

}  // namespace quillfen::UrlSchemeRegistration

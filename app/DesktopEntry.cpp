#include "DesktopEntry.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "Log/FileLogStore.h"
#include "StartRequest.h"
#include "Stone/StoneHandoff.h"
#include "Support/PathWalk.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"

namespace quillfen::DesktopEntry {

namespace {

constexpr const char* kCategory = "desktop-entry";
constexpr std::string_view kTryExec = "TryExec=";

// Notifications name the entry by the application's id (their "desktop-entry" hint); an entry
// of another name would leave them tied to nothing.
static_assert(std::string_view(kFileName).starts_with(Paths::kAppId) &&
              std::string_view(kFileName).substr(std::string_view(Paths::kAppId).size()) == ".desktop");

// Every backslash escaped, which is all a string value of a key file takes (control characters are
// refused before).
std::string keyFileString(std::string_view text) {
    std::string value;
    for (char c : text) {
        if (c == '\\') value += '\\';
        value += c;
    }
    return value;
}

// A folder as a list of folders names it, and as realpath -s makes it: a trailing slash is none.
std::filesystem::path plain(const std::filesystem::path& folder) {
    auto path = folder.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

// The system's data folders, in the order the desktop prefers them: $XDG_DATA_DIRS, or its
// default where it is unset or empty.
std::vector<std::filesystem::path> dataFolders() {
    std::vector<std::filesystem::path> folders;
    const char* value = std::getenv("XDG_DATA_DIRS");
    std::string_view dirs = value != nullptr && value[0] != '\0' ? value : "/usr/local/share/:/usr/share/";
    while (!dirs.empty()) {
        const auto end = dirs.find(':');
        const std::filesystem::path dir(dirs.substr(0, end));
        // As with XDG_DATA_HOME, a relative entry is invalid and ignored.
        if (dir.is_absolute()) folders.push_back(dir);
        dirs = end == std::string_view::npos ? std::string_view() : dirs.substr(end + 1);
    }
    return folders;
}

// Where the desktop looks for application entries, in the order it prefers them.
std::vector<std::filesystem::path> applicationFolders() {
    std::vector<std::filesystem::path> folders{userFile().parent_path()};
    for (const auto& dir : dataFolders())
        folders.push_back(dir / "applications");
    return folders;
}

struct FoundEntry {
    std::filesystem::path file;
    std::string text;
};

// The entry of our name the desktop finds first, passing over any of ours that starts
// `passedOver`. The system's folders may hold a link of the distribution's.
std::optional<FoundEntry> firstEntry(const std::optional<std::filesystem::path>& passedOver = std::nullopt) {
    for (const auto& folder : applicationFolders()) {
        const auto file = folder / kFileName;
        auto found = SafeFile::readWhole(file, kMaxEntryBytes, SafeFile::Links::follow);
        if (found && !(passedOver && isEntryFor(*found, *passedOver))) return FoundEntry{file, std::move(*found)};
    }
    return std::nullopt;
}

std::optional<std::string> execLine(const std::filesystem::path& launcher, std::string_view arguments) {
    // The Exec line's own quoting (a double-quoted argument in which ", `, $ and \ take a
    // backslash, "%" doubled as a field code), then the key file's escaping of every backslash.
    std::string argument = "\"";
    for (unsigned char c : launcher.string()) {
        if (c < 0x20 || c == 0x7f) return std::nullopt;
        if (c == '"' || c == '`' || c == '$' || c == '\\') argument += '\\';
        if (c == '%') argument += '%';
        argument += static_cast<char>(c);
    }
    argument += '"';
    return "Exec=" + keyFileString(argument) + std::string(arguments) + "\n";
}

}  // namespace

std::optional<std::string> startLines(const std::filesystem::path& launcher, std::string_view arguments) {
    auto exec = execLine(launcher, arguments);
    if (!exec) return std::nullopt;
    // An entry a copy since removed left behind, in any home, is hidden and starts nothing.
    return std::string(kTryExec) + keyFileString(launcher.string()) + "\n" + *exec;
}

Icon iconFor(const RunningCopy::Installation& installed) {
    std::vector<std::filesystem::path> read = dataFolders();
    read.push_back(Paths::dataDirectory().parent_path());
    read.push_back(Paths::home() / ".local/share");
    const auto share = plain(installed.prefix / "share");
    const bool readThere =
        std::any_of(read.begin(), read.end(), [&share](const auto& folder) { return plain(folder) == share; });
    return readThere ? Icon::byName : Icon::byPath;
}

std::optional<std::string> text(const std::filesystem::path& launcher, Icon icon, Form form) {
    // %u: a handoff address opened anywhere on the desktop arrives as the one argument.
    auto start = startLines(launcher, " %u");
    if (!start) return std::nullopt;
    const RunningCopy::Installation installed{launcher.parent_path().parent_path()};
    std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Quillfen\n"
        "Comment=A quiet desktop companion that lives in the tray\n"
        "Icon=" +
        (icon == Icon::byName ? std::string(Paths::kAppId) : keyFileString(installed.icon().string())) +
        "\n" + *start +
        "Terminal=false\n"
        "Categories=Utility;\n"
        "MimeType=x-scheme-handler/" +
        std::string(StoneHandoff::scheme) + ";\n";
    if (form == Form::beforeActions) return entry;
    // One main window: GNOME then offers no "New Window" for it.
    if (form == Form::now)
        entry += "StartupWMClass=" + std::string(kWindowClass) + "\nSingleMainWindow=true\n";
    // The desktop shows them on a right click on the entry (GNOME's dash and grid, KDE's
    // launcher): where no tray shows the stone, they are the way to the settings and the quit.
    std::string groups;
    entry += "Actions=";
    for (const auto& action : StartRequest::kActions) {
        entry += std::string(action.name) + ";";
        groups += "\n[Desktop Action " + std::string(action.name) + "]\nName=" + std::string(action.label) +
                  "\n" + *execLine(launcher, " " + std::string(action.argument));
    }
    return entry + "\n" + groups;
}

std::optional<std::string_view> value(std::string_view entry, std::string_view key) {
    std::string_view group;
    while (!entry.empty()) {
        const auto end = entry.find('\n');
        std::string_view line = entry.substr(0, end);
        entry = end == std::string_view::npos ? std::string_view() : entry.substr(end + 1);
        if (line.starts_with('[')) group = line;
        if (group != "[Desktop Entry]" || !line.starts_with(key)) continue;
        // Spaces may stand around the "=", as the key file allows.
        line.remove_prefix(key.size());
        line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
        if (!line.starts_with('=')) continue;
        line.remove_prefix(1);
        return line.substr(std::min(line.find_first_not_of(' '), line.size()));
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> program(std::string_view entry) {
    const auto value = DesktopEntry::value(entry, "Exec");
    if (!value) return std::nullopt;
    // The key file's escapes first, then the Exec line's own quoting, as startLines writes them.
    std::string unescaped;
    for (std::size_t i = 0; i < value->size(); ++i) {
        char c = (*value)[i];
        if (c == '\\') {
            constexpr std::string_view kEscaped = "sntr\\", kMeant = " \n\t\r\\";
            const auto escape = ++i < value->size() ? kEscaped.find((*value)[i]) : std::string_view::npos;
            if (escape == std::string_view::npos) return std::nullopt;
            c = kMeant[escape];
        }
        unescaped += c;
    }
    std::string argument;
    if (unescaped.starts_with('"')) {
        std::size_t i = 1;
        for (; i < unescaped.size() && unescaped[i] != '"'; ++i) {
            if (unescaped[i] == '\\' && i + 1 < unescaped.size()) ++i;
            argument += unescaped[i];
        }
        if (i == unescaped.size()) return std::nullopt;
    } else {
        argument = unescaped.substr(0, unescaped.find(' '));
    }
    for (auto at = argument.find("%%"); at != std::string::npos; at = argument.find("%%", at + 1))
        argument.erase(at, 1);
    if (argument.empty()) return std::nullopt;
    return argument;
}

bool sameEntry(std::string_view found, const std::optional<std::string>& written) {
    if (!written) return false;
    if (found == *written) return true;
    const auto at = written->find("\n" + std::string(kTryExec));
    if (at == std::string::npos) return false;
    const auto end = written->find('\n', at + 1);
    std::string earlier = *written;
    earlier.erase(at, end - at);
    return found == earlier;
}

bool isEntryFor(std::string_view found, const std::filesystem::path& launcher) {
    for (const Icon icon : {Icon::byName, Icon::byPath})
        for (const Form form : {Form::now, Form::beforeWindowClass, Form::beforeActions})
            if (sameEntry(found, text(launcher, icon, form))) return true;
    return false;
}

std::filesystem::path userFile() {
    return Paths::dataDirectory().parent_path() / "applications" / kFileName;
}

bool refresh() {
    return refresh(RunningCopy::installed());
}

bool refresh(const std::optional<RunningCopy::Installation>& installed) {
    if (!installed) {
        SystemLog::notice(kCategory, "desktop entry not written: " + RunningCopy::notInstalled());
        return false;
    }
    auto wanted = text(installed->launcher(), iconFor(*installed));
    if (!wanted) {
        SystemLog::notice(kCategory, "desktop entry not written: no Exec line holds " + installed->launcher().string());
        return false;
    }
    const auto file = userFile();
    const auto first = firstEntry();
    // The menu folder of the install below ~/.local is the user's: what that install put there
    // starts that copy, and its uninstall takes it out again.
    const RunningCopy::Installation owner{file.parent_path().parent_path().parent_path()};
    // An install's entry stays as that install wrote it; one a copy wrote before entries named
    // their program in TryExec, or with its icon in the other form, is written again, so that it
    // does nothing once the copy is gone and shows the icon.
    if (first && isEntryFor(first->text, installed->launcher()) &&
        (first->text == *wanted || first->file != file || owner == *installed))
        return true;
    if (first && first->file == file && isEntryFor(first->text, owner.launcher())) {
        SystemLog::notice(kCategory, "desktop entry not written: " + file.string() +
                                         " is the one the install below " + owner.prefix.string() + " put there");
        return false;
    }
    // The desktop starts the launcher by its name whenever the entry is chosen: named only where
    // nobody else could put a program of theirs in the way.
    if (auto why = PathWalk::whyOthersCouldChange(installed->launcher(), PathWalk::When::later); !why.empty()) {
        SystemLog::notice(kCategory, "desktop entry not written: " + why);
        return false;
    }
    std::string why;
    if (auto unmade = SafeFile::makeFolders(file.parent_path())) {
        why = unmade.why;
    } else if (auto error = FileLogStore(file).write(*wanted)) {
        why = error.message();
    }
    if (!why.empty()) {
        SystemLog::notice(kCategory, "could not write the desktop entry: " + why);
        return false;
    }
    SystemLog::info(kCategory, "desktop entry written: " + file.string());
    return true;
}

std::optional<std::filesystem::path> entryOfAnotherCopy(const RunningCopy::Installation& leaving) {
    const auto other = firstEntry(leaving.launcher());
    if (!other) return std::nullopt;
    return other->file;
}

std::optional<RunningCopy::Installation> copyOfAnotherEntry(const RunningCopy::Installation& leaving) {
    const auto other = firstEntry(leaving.launcher());
    const auto started = other ? program(other->text) : std::nullopt;
    const auto copy = started ? RunningCopy::installationOf(*started) : std::nullopt;
    if (!copy || !isEntryFor(other->text, copy->launcher())) return std::nullopt;
    return copy;
}

}  // namespace quillfen::DesktopEntry

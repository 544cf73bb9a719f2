#include "ClaudeFaceInstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "Support/Iso8601.h"
#include "Support/JsonLines.h"
#include "Support/JsonText.h"
#include "Support/Text.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/SystemLog.h"

namespace quillfen::ClaudeFaceInstaller {

namespace {

constexpr const char* kCategory = "claude-face";

using Json = nlohmann::json;

std::string scriptPath(const std::filesystem::path& familyFolder, std::string_view name) {
    return (familyFolder / (std::string(name) + ".sh")).string();
}

// Whose file is replaced. The user's settings keep their mode; a link to them stays a link, but
// only the user's own link to a file of theirs (a dotfiles folder) is followed: one that someone
// else placed is neither followed nor replaced. A script of ours goes where files of ours go.
enum class Owner { user, us };

// Replaces the file whole: a temporary file beside it, renamed over it, so a reader (Claude
// Code itself) never sees half of it and a failure leaves it as it was.
bool replaceFile(const std::filesystem::path& file, std::string_view bytes, mode_t newFileMode, Owner owner) {
    mode_t mode = newFileMode;
    if (owner == Owner::user) {
        const auto place = SafeFile::ownPlace(file, SafeFile::Kind::file);
        if (place.refused()) {
            SystemLog::notice(kCategory, "refusing to write through the link at " + file.string() + ": " +
                                             place.refusal);
            return false;
        }
        struct stat info {};
        if (::stat(place.path.c_str(), &info) == 0) mode = info.st_mode & 07777;
    }
    return !SafeFile::replace(file, bytes, mode);
}

struct SettingsRead {
    bool present = false;
    std::optional<std::string> text;  // none for a file present but unreadable
    mode_t mode = 0600;
};

SettingsRead readSettings(const std::filesystem::path& file) {
    SettingsRead read;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        read.present = errno != ENOENT;
        return read;
    }
    read.present = true;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > kMaxSettingsBytes) {
        ::close(fd);
        return read;
    }
    read.mode = info.st_mode & 07777;
    std::string text;
    char buffer[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return read;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxSettingsBytes) {
            ::close(fd);
            return read;
        }
    }
    ::close(fd);
    read.text = std::move(text);
    return read;
}

// A copy of the settings beside them under a name no earlier copy has: the time, and a count
// when that is taken too. Its path, or nothing when none could be made.
std::optional<std::filesystem::path> backUpAgain(const std::filesystem::path& settingsFile, const std::string& text,
                                                 mode_t mode, TimePoint now) {
    const std::string stem = settingsFile.string() + kBackupSuffix + "." + Iso8601::format(now);
    for (int n = 1; n <= 100; ++n) {
        const std::filesystem::path backup = n == 1 ? stem : stem + "-" + std::to_string(n);
        const auto error = SafeFile::create(backup, text, mode);
        if (!error) return backup;
        if (error != std::errc::file_exists) return std::nullopt;
    }
    return std::nullopt;
}

Json statusLine(const std::filesystem::path& familyFolder) {
    return {{"type", "command"}, {"command", statusLineCommand(familyFolder)}};
}

}  // namespace

std::string note(SettingsOutcome outcome) {
    const std::string left = "left your Claude Code settings as they were: ";
    switch (outcome) {
        case SettingsOutcome::written:
            return {};
        case SettingsOutcome::familyFolderRefused:
            return left + "~/.ostrel is not a folder of yours alone";
        case SettingsOutcome::unreadable:
            return left + "~/.claude/settings.json could not be read";
        case SettingsOutcome::readOnly:
            return left + "~/.claude/settings.json is read-only";
        case SettingsOutcome::notAnObject:
            return left + "~/.claude/settings.json is not a JSON object";
        case SettingsOutcome::hooksNotAnObject:
            return left + "its \"hooks\" is not an object";
        case SettingsOutcome::promptHooksNotAList:
            return left + "its \"UserPromptSubmit\" hooks are not a list of objects";
        case SettingsOutcome::notWritten:
            return "could not write ~/.claude/settings.json; it is as it was";
    }
    return {};
}

std::string hookCommand(const std::filesystem::path& familyFolder) {
    return "bash " + Text::shellWord(scriptPath(familyFolder, kHookScript));
}

std::string statusLineCommand(const std::filesystem::path& familyFolder) {
    return "bash " + Text::shellWord(scriptPath(familyFolder, kStatusLineScript));
}

bool replacesOthers(const std::string& current, const std::filesystem::path& familyFolder) {
    const auto root = JsonText::decode(current);
    if (!root || !root->is_object()) return false;
    // Hooks are only ever added to; the status line is the one thing an install replaces.
    const auto it = root->find("statusLine");
    return it != root->end() && *it != statusLine(familyFolder);
}

std::variant<std::string, SettingsOutcome> editedSettings(const std::optional<std::string>& current,
                                                          const std::filesystem::path& familyFolder) {
    Json root = Json::object();
    if (current) {
        if (JsonLines::nestsDeeperThan(*current, kMaxSettingsDepth)) return SettingsOutcome::unreadable;
        auto parsed = JsonText::decode(*current);
        if (!parsed || !parsed->is_object()) return SettingsOutcome::notAnObject;
        root = std::move(*parsed);
    }

    Json hooks = Json::object();
    if (auto it = root.find("hooks"); it != root.end()) {
        if (!it->is_object()) return SettingsOutcome::hooksNotAnObject;
        hooks = *it;
    }
    Json promptHooks = Json::array();
    if (auto it = hooks.find("UserPromptSubmit"); it != hooks.end()) {
        if (!it->is_array() || !std::all_of(it->begin(), it->end(), [](const Json& e) { return e.is_object(); }))
            return SettingsOutcome::promptHooksNotAList;
        promptHooks = *it;
    }

    // Wherever the hook was put, and however its entry looks, it counts: a hook moved to
    // another folder by hand stays where the user moved it.
    const bool installed = std::any_of(promptHooks.begin(), promptHooks.end(), [](const Json& entry) {
        auto text = JsonText::encode(entry);
        return text && text->find(kHookMarker) != std::string::npos;
    });
    if (!installed) {
        Json hook = {{"type", "command"}, {"command", hookCommand(familyFolder)}, {"timeout", kHookTimeoutSeconds}};
        promptHooks.push_back(Json{{"hooks", Json::array({hook})}});
    }
    hooks["UserPromptSubmit"] = std::move(promptHooks);
    root["hooks"] = std::move(hooks);
    root["statusLine"] = statusLine(familyFolder);

    // A number the reader took as infinite would come back as null: better not to write at all.
    if (JsonText::hasNonFiniteNumber(root)) return SettingsOutcome::notWritten;
    try {
        return root.dump(2, ' ', false, Json::error_handler_t::strict) + "\n";
    } catch (const Json::exception&) {
        return SettingsOutcome::notWritten;
    }
}

Report install(const std::filesystem::path& home, const Resources& resources, TimePoint now) {
    Report report;
    const auto family = home / ".ostrel";
    // A script in a folder someone else can change would be theirs to rewrite, and Claude Code
    // would run it as the user at the next prompt.
    if (auto error = SafeFile::makePrivateFolder(family)) {
        report.settings = SettingsOutcome::familyFolderRefused;
        SystemLog::notice(kCategory, "the family folder could not be made: " + error.message() + "; " +
                                         note(report.settings));
        return report;
    }

    for (std::string_view name : {kHookScript, kStatusLineScript}) {
        auto text = resources ? resources(name) : std::nullopt;
        if (!text) {
            SystemLog::error(kCategory, "the bundle holds no " + std::string(name) + " script");
            continue;
        }
        const std::filesystem::path target = scriptPath(family, name);
        if (replaceFile(target, *text, 0755, Owner::us)) {
            report.scripts.emplace_back(name);
        } else {
            SystemLog::error(kCategory, "could not put " + target.string() + " in place");
        }
    }

    const auto settingsFile = home / ".claude" / "settings.json";
    // Claude Code's folder holds its hooks: one made here is the user's alone, whatever the umask.
    if (auto error = SafeFile::makeFolders(settingsFile.parent_path())) {
        report.settings = SettingsOutcome::notWritten;
        SystemLog::notice(kCategory, "~/.claude could not be made: " + error.why);
        return report;
    }
    const SettingsRead read = readSettings(settingsFile);
    std::variant<std::string, SettingsOutcome> edited = SettingsOutcome::unreadable;
    if (read.text && !(read.mode & S_IWUSR)) {
        // Made read-only by the user: a rename would replace it all the same.
        edited = SettingsOutcome::readOnly;
    } else if (!read.present || read.text) {
        edited = editedSettings(read.text, family);
    }
    if (auto* refusal = std::get_if<SettingsOutcome>(&edited)) {
        report.settings = *refusal;
        SystemLog::notice(kCategory, note(*refusal));
        return report;
    }

    if (read.text) {
        // The file as it was before the first install, byte for byte; that copy is never
        // replaced. A later install that would replace the user's own status line keeps the file
        // as it was once more, in a copy of its own.
        const auto backup = settingsFile.string() + kBackupSuffix;
        const bool replacing = replacesOthers(*read.text, family);
        struct stat info {};
        bool kept = true;
        if (::lstat(backup.c_str(), &info) != 0 && errno == ENOENT) {
            kept = !SafeFile::create(backup, *read.text, read.mode);
        } else if (replacing) {
            kept = backUpAgain(settingsFile, *read.text, read.mode, now).has_value();
        }
        if (!kept) SystemLog::notice(kCategory, "could not back up " + settingsFile.string());
        if (!kept && replacing) {
            // Without its copy the user's own status line is not replaced.
            report.settings = SettingsOutcome::notWritten;
            SystemLog::error(kCategory, note(report.settings));
            return report;
        }
    }
    if (!replaceFile(settingsFile, std::get<std::string>(edited), 0600, Owner::user)) {
        report.settings = SettingsOutcome::notWritten;
        SystemLog::error(kCategory, note(report.settings));
        return report;
    }
    SystemLog::info(kCategory, "the prompt hook and the status line are in " + settingsFile.string());
    return report;
}

}  // namespace quillfen::ClaudeFaceInstaller

#include "ClaudeFaceInstaller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "Support/JsonLines.h"
#include "Support/JsonText.h"
#include "Support/Text.h"
#include "Support/Paths.h"
#include "Support/SystemLog.h"

namespace quillfen::ClaudeFaceInstaller {

namespace {

constexpr const char* kCategory = "claude-face";

using Json = nlohmann::json;

std::string scriptPath(const std::filesystem::path& familyFolder, std::string_view name) {
    return (familyFolder / (std::string(name) + ".sh")).string();
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Replaces the file whole: a temporary file beside it, renamed over it, so a reader (Claude
// Code itself) never sees half of it and a failure leaves it as it was. The file keeps its
// mode; a link to it (a dotfiles folder) stays a link and its target is replaced.
bool replaceFile(const std::filesystem::path& file, std::string_view bytes, mode_t newFileMode) {
    std::filesystem::path target = file;
    std::error_code ec;
    if (std::filesystem::is_symlink(file, ec)) {
        auto resolved = std::filesystem::canonical(file, ec);
        if (!ec) target = resolved;
    }
    mode_t mode = newFileMode;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) mode = info.st_mode & 07777;

    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temporary.c_str(), target.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

// A new file only: an existing one, or anything else at the path, is never touched.
bool createFile(const std::filesystem::path& file, std::string_view bytes, mode_t mode) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    if (!ok) ::unlink(file.c_str());
    return ok;
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

}  // namespace

std::string note(SettingsOutcome outcome) {
    const std::string left = "left your Claude Code settings as they were: ";
    switch (outcome) {
        case SettingsOutcome::written:
            return {};
        case SettingsOutcome::unreadable:
            return left + "~/.claude/settings.json could not be read";
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
    root["statusLine"] = {{"type", "command"}, {"command", statusLineCommand(familyFolder)}};

    // A number the reader took as infinite would come back as null: better not to write at all.
    if (JsonText::hasNonFiniteNumber(root)) return SettingsOutcome::notWritten;
    try {
        return root.dump(2, ' ', false, Json::error_handler_t::strict) + "\n";
    } catch (const Json::exception&) {
        return SettingsOutcome::notWritten;
    }
}

Report install(const std::filesystem::path& home, const Resources& resources) {
    Report report;
    const auto family = home / ".ostrel";
    if (auto error = Paths::createPrivateFolders(family))
        SystemLog::notice(kCategory, "the family folder could not be made: " + error.message());

    for (std::string_view name : {kHookScript, kStatusLineScript}) {
        auto text = resources ? resources(name) : std::nullopt;
        if (!text) {
            SystemLog::error(kCategory, "the bundle holds no " + std::string(name) + " script");
            continue;
        }
        const std::filesystem::path target = scriptPath(family, name);
        // Whatever stands there goes first: a link there must not lead the new text elsewhere.
        std::error_code ec;
        std::filesystem::remove(target, ec);
        if (replaceFile(target, *text, 0755)) {
            report.scripts.emplace_back(name);
        } else {
            SystemLog::error(kCategory, "could not put " + target.string() + " in place");
        }
    }

    const auto settingsFile = home / ".claude" / "settings.json";
    std::error_code ec;
    std::filesystem::create_directories(settingsFile.parent_path(), ec);
    const SettingsRead read = readSettings(settingsFile);
    std::variant<std::string, SettingsOutcome> edited =
        read.present && !read.text ? SettingsOutcome::unreadable : editedSettings(read.text, family);
    if (auto* refusal = std::get_if<SettingsOutcome>(&edited)) {
        report.settings = *refusal;
        SystemLog::notice(kCategory, note(*refusal));
        return report;
    }

    if (read.text) {
        // Once: the file as it was before the first install, byte for byte.
        const auto backup = settingsFile.string() + kBackupSuffix;
        struct stat info {};
        if (::lstat(backup.c_str(), &info) != 0 && errno == ENOENT && !createFile(backup, *read.text, read.mode))
            SystemLog::notice(kCategory, "could not back up " + settingsFile.string());
    }
    if (!replaceFile(settingsFile, std::get<std::string>(edited), 0600)) {
        report.settings = SettingsOutcome::notWritten;
        SystemLog::error(kCategory, note(report.settings));
        return report;
    }
    SystemLog::info(kCategory, "the prompt hook and the status line are in " + settingsFile.string());
    return report;
}

}  // namespace quillfen::ClaudeFaceInstaller

#include "ClaudeFaceInstaller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "Support/Iso8601.h"
#include "Support/JsonLines.h"
#include "Support/JsonScanner.h"
#include "Support/JsonText.h"
#include "Support/PathWalk.h"
#include "Support/SafeFile.h"
#include "Support/Text.h"
#include "Support/SystemLog.h"

namespace quillfen::ClaudeFaceInstaller {

namespace {

constexpr const char* kCategory = "claude-face";

using Json = nlohmann::json;

std::string scriptPath(const std::filesystem::path& familyFolder, std::string_view name) {
    return (familyFolder / (std::string(name) + ".sh")).string();
}

constexpr std::string_view kScripts[] = {kHookScript, kStatusLineScript};

struct SettingsRead {
    // `refused`: another user's link, or a link to another user's file, is where the settings
    // should be; nothing is read through it, nor copied anywhere.
    enum class Status { missing, read, unreadable, refused };
    Status status = Status::missing;
    std::string text;
    mode_t mode = 0600;
    uid_t owner = 0;
};

// The settings as an install and an uninstall edit them: through the walk, following only the
// user's own link (a dotfiles folder), never blocking on a pipe, and only up to the cap.
SettingsRead readSettings(const std::filesystem::path& file) {
    SettingsRead read;
    const auto place = SafeFile::ownPlace(file, SafeFile::Kind::file);
    if (place.refused()) {
        read.status = SettingsRead::Status::refused;
        SystemLog::notice(kCategory, "refusing to read through the link at " + file.string() + ": " + place.refusal);
        return read;
    }
    auto contents = SafeFile::read(file, kMaxSettingsBytes);
    if (contents.status == SafeFile::Contents::Status::missing) return read;
    if (!contents.wasRead()) {
        read.status = SettingsRead::Status::unreadable;
        return read;
    }
    read.status = SettingsRead::Status::read;
    read.text = std::move(contents.bytes);
    read.mode = static_cast<mode_t>(contents.mode);
    read.owner = static_cast<uid_t>(contents.owner);
    return read;
}

// Whether a settings text names either of our scripts.
bool namesOurs(const std::string& text) {
    return text.find(kHookMarker) != std::string::npos || text.find(kStatusLineMarker) != std::string::npos;
}

// Why settings read so must stay exactly as they are; nothing when they may be edited.
std::optional<SettingsOutcome> whyLeftAlone(const SettingsRead& read) {
    switch (read.status) {
        case SettingsRead::Status::refused:
            return SettingsOutcome::notWritten;
        case SettingsRead::Status::unreadable:
            return SettingsOutcome::unreadable;
        case SettingsRead::Status::read:
            // Made read-only by the user: a rename would replace it all the same.
            if (!(read.mode & S_IWUSR)) return SettingsOutcome::readOnly;
            return std::nullopt;
        case SettingsRead::Status::missing:
            return std::nullopt;
    }
    return std::nullopt;
}

// The settings object, when it is one in the shape Claude Code reads: "hooks" an object, and
// its "UserPromptSubmit" a list of objects.
std::variant<Json, SettingsOutcome> parsedSettings(const std::string& text) {
    if (JsonLines::nestsDeeperThan(text, kMaxSettingsDepth)) return SettingsOutcome::unreadable;
    auto root = JsonText::decode(text);
    if (!root || !root->is_object()) return SettingsOutcome::notAnObject;
    const auto hooks = root->find("hooks");
    if (hooks == root->end()) return std::move(*root);
    if (!hooks->is_object()) return SettingsOutcome::hooksNotAnObject;
    const auto prompt = hooks->find("UserPromptSubmit");
    const auto isObject = [](const Json& entry) { return entry.is_object(); };
    if (prompt != hooks->end() && (!prompt->is_array() || !std::all_of(prompt->begin(), prompt->end(), isObject)))
        return SettingsOutcome::promptHooksNotAList;
    return std::move(*root);
}

std::variant<std::string, SettingsOutcome> serialised(const Json& root) {
    // A number the reader took as infinite would come back as null: better not to write at all.
    if (JsonText::hasNonFiniteNumber(root)) return SettingsOutcome::notWritten;
    try {
        return root.dump(2, ' ', false, Json::error_handler_t::strict) + "\n";
    } catch (const Json::exception&) {
        return SettingsOutcome::notWritten;
    }
}

// A status line or a hook whose command is the one an install writes. One that merely names our
// script (the user's own copy of it, a wrapper around it) is the user's.
bool runs(const Json& command, const std::string& ours) {
    if (!command.is_object()) return false;
    const auto it = command.find("command");
    return it != command.end() && it->is_string() && it->get_ref<const std::string&>() == ours;
}

// The settings text with `line` as their status line, written there as the text it is, not as
// a parser would take it back: the user's own, key order, numbers and escapes as they wrote them.
std::variant<std::string, SettingsOutcome> serialisedWith(Json root, const std::string& line) {
    root["statusLine"] = nullptr;
    auto text = serialised(root);
    auto* written = std::get_if<std::string>(&text);
    if (!written) return text;
    // Only a member of the top level begins a line two spaces in: whatever is nested is indented
    // further, and no string holds a line feed.
    const std::string member = "\n  \"statusLine\": ";
    const auto at = written->find(member + "null");
    if (at == std::string::npos) return SettingsOutcome::notWritten;
    written->replace(at + member.size(), std::string_view("null").size(), line);
    return text;
}

// The status line the first install replaced, as its backup writes it, when that is the user's:
// nothing when the backup cannot be read (read as the settings are), is not a JSON object, or
// holds no status line or ours. In a ~/.claude that others may add to, another user may have put
// a file of theirs at the backup's name before the first install, which then kept its own backup
// under another: their status line would run as the user.
std::optional<std::string> replacedStatusLine(const std::filesystem::path& settingsFile) {
    const std::filesystem::path file = settingsFile.string() + kBackupSuffix;
    const SettingsRead backup = readSettings(file);
    if (backup.status != SettingsRead::Status::read) return std::nullopt;
    if (backup.owner != ::geteuid()) {
        SystemLog::notice(kCategory, "left " + file.string() + " as it is, status line and all: it is another user's file");
        return std::nullopt;
    }
    const std::string_view text = backup.text;
    if (!JsonLines::isValidUtf8(text) || JsonLines::nestsDeeperThan(text, kMaxSettingsDepth)) return std::nullopt;
    JsonScanner scanner(text);
    scanner.byteOrderMark();
    scanner.ws();
    if (scanner.atEnd() || scanner.peek() != '{') return std::nullopt;
    std::optional<std::string_view> line;
    const bool whole = scanner.object([&](std::string_view key) {
        // The key's text may not outlast the scan of its value.
        const bool wanted = key == "statusLine";
        const char* start = scanner.position();
        if (!scanner.skipValue()) return false;
        // A repeated key counts as parsers take it: the last one.
        if (wanted) line = std::string_view(start, static_cast<std::size_t>(scanner.position() - start));
        return true;
    });
    scanner.ws();
    if (!whole || !scanner.atEnd() || !line || line->find(kStatusLineMarker) != std::string_view::npos)
        return std::nullopt;
    return std::string(*line);
}

struct Edit {
    // Empty when nothing of ours is in the settings.
    std::string text;
    bool statusLineBack = false;
};

// The settings text without our status line and hooks (an entry or a list that this leaves
// empty goes too), the status line the first install replaced back in place of ours when there is
// one to put back; or why the file must stay as it is.
std::variant<Edit, SettingsOutcome> settingsWithoutOurs(const std::string& current,
                                                        const std::filesystem::path& familyFolder,
                                                        const std::filesystem::path& settingsFile) {
    auto parsed = parsedSettings(current);
    if (auto* refusal = std::get_if<SettingsOutcome>(&parsed)) return *refusal;
    Json& root = std::get<Json>(parsed);
    bool changed = false;
    const std::string ourHook = hookCommand(familyFolder);
    if (auto hooks = root.find("hooks"); hooks != root.end()) {
        if (auto prompt = hooks->find("UserPromptSubmit"); prompt != hooks->end()) {
            // Only our own hook goes: another hook the user put in the same entry stays there.
            Json kept = Json::array();
            for (Json entry : *prompt) {
                const auto list = entry.find("hooks");
                if (list != entry.end() && list->is_array()) {
                    Json others = Json::array();
                    for (const Json& hook : *list) {
                        if (!runs(hook, ourHook)) others.push_back(hook);
                    }
                    if (others.size() != list->size()) {
                        changed = true;
                        if (others.empty()) continue;
                        *list = std::move(others);
                    }
                }
                kept.push_back(std::move(entry));
            }
            if (changed) {
                if (kept.empty()) {
                    hooks->erase(prompt);
                } else {
                    *prompt = std::move(kept);
                }
                if (hooks->empty()) root.erase(hooks);
            }
        }
    }
    Edit edit;
    std::optional<std::string> replaced;
    if (auto line = root.find("statusLine"); line != root.end() && runs(*line, statusLineCommand(familyFolder))) {
        root.erase(line);
        changed = true;
        replaced = replacedStatusLine(settingsFile);
        edit.statusLineBack = replaced.has_value();
    }
    if (!changed) return edit;
    auto text = replaced ? serialisedWith(std::move(root), *replaced) : serialised(root);
    if (auto* refusal = std::get_if<SettingsOutcome>(&text)) return *refusal;
    edit.text = std::move(std::get<std::string>(text));
    return edit;
}

// A copy of the settings beside them under a name no earlier copy has: the time, and a count
// when that is taken too. Its path, or nothing when none could be made.
std::optional<std::filesystem::path> backUpAgain(const std::filesystem::path& settingsFile, const std::string& text,
                                                 TimePoint now) {
    const std::string stem = settingsFile.string() + kBackupSuffix + "." + Iso8601::format(now);
    for (int n = 1; n <= 100; ++n) {
        const std::filesystem::path backup = n == 1 ? stem : stem + "-" + std::to_string(n);
        const auto error = SafeFile::create(backup, text, 0600);
        if (!error) return backup;
        if (error != std::errc::file_exists) return std::nullopt;
    }
    return std::nullopt;
}

// The file as it was before the first edit, byte for byte, in a copy that is never replaced;
// before an edit that replaces something of the user's, once more in a copy of its own. A copy
// is the user's alone whatever the settings' mode: whoever may read the settings now is not
// owed what they held before.
bool backUp(const std::filesystem::path& settingsFile, const std::string& text, bool replacing, TimePoint now) {
    const auto error = SafeFile::create(settingsFile.string() + kBackupSuffix, text, 0600);
    if (!error) return true;
    if (error != std::errc::file_exists) return false;
    return !replacing || backUpAgain(settingsFile, text, now).has_value();
}

// The settings are replaced whole, keeping their mode: a temporary file beside them, renamed over
// them, so a reader (Claude Code itself) never sees half of them and a failure leaves them as they
// were. A link to them stays a link, and only the user's own link is followed: one that someone
// else placed is neither followed nor replaced.
bool replaceSettings(const std::filesystem::path& file, std::string_view bytes, mode_t mode) {
    const auto place = SafeFile::ownPlace(file, SafeFile::Kind::file);
    if (place.refused()) {
        SystemLog::notice(kCategory, "refusing to write through the link at " + file.string() + ": " + place.refusal);
        return false;
    }
    return !SafeFile::replace(file, bytes, mode);
}

// The edited text in place of the settings read, after the backups.
SettingsOutcome putInPlace(const std::filesystem::path& file, const SettingsRead& read, const std::string& text,
                           bool replacing, TimePoint now) {
    if (read.status == SettingsRead::Status::read && !backUp(file, read.text, replacing, now)) {
        SystemLog::notice(kCategory, "could not back up " + file.string());
        // Without its copy the user's own status line is not replaced.
        if (replacing) {
            SystemLog::error(kCategory, note(SettingsOutcome::notWritten));
            return SettingsOutcome::notWritten;
        }
    }
    if (!replaceSettings(file, text, read.mode)) {
        SystemLog::error(kCategory, note(SettingsOutcome::notWritten));
        return SettingsOutcome::notWritten;
    }
    return SettingsOutcome::written;
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
        case SettingsOutcome::othersCouldChangeScripts:
            return left + "others could change a folder on the way to ~/.ostrel";
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
        auto parsed = parsedSettings(*current);
        if (auto* refusal = std::get_if<SettingsOutcome>(&parsed)) return *refusal;
        root = std::move(std::get<Json>(parsed));
    }
    Json hooks = root.value("hooks", Json::object());
    Json promptHooks = hooks.value("UserPromptSubmit", Json::array());

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
    return serialised(root);
}

Report install(const std::filesystem::path& home, const Resources& resources, TimePoint now) {
    Report report;
    const auto refused = [&report](SettingsOutcome outcome, const std::string& why) {
        report.settings = outcome;
        SystemLog::notice(kCategory, why + "; " + note(outcome));
        return report;
    };
    const auto family = home / ".ostrel";
    // A script in a folder someone else can change would be theirs to rewrite, and Claude Code
    // would run it as the user at the next prompt. Claude Code finds it later by its path, with
    // no walk of ours: a folder on the way that others may change could lead it to their program.
    if (const auto place = SafeFile::ownPlace(family, SafeFile::Kind::folder); place.refused())
        return refused(SettingsOutcome::familyFolderRefused, "the family folder is refused: " + place.refusal);
    if (auto error = SafeFile::makePrivateFolder(family))
        return refused(SettingsOutcome::familyFolderRefused,
                       "the family folder could not be made: " + error.message());
    // The user's own link at a script's place leads Claude Code on, where the same holds.
    for (std::string_view name : kScripts) {
        const auto script = scriptPath(family, name);
        if (const auto why = PathWalk::whyOthersCouldChange(script, PathWalk::When::later); !why.empty())
            return refused(SettingsOutcome::othersCouldChangeScripts, "Claude Code is not given " + script + ": " + why);
    }

    for (std::string_view name : kScripts) {
        auto text = resources ? resources(name) : std::nullopt;
        if (!text) {
            SystemLog::error(kCategory, "the bundle holds no " + std::string(name) + " script");
            continue;
        }
        const std::filesystem::path target = scriptPath(family, name);
        if (!SafeFile::replace(target, *text, SafeFile::kScriptMode)) {
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
    const auto current = read.status == SettingsRead::Status::read ? std::optional(read.text) : std::nullopt;
    const auto why = whyLeftAlone(read);
    const auto edited = why ? std::variant<std::string, SettingsOutcome>(*why) : editedSettings(current, family);
    if (const auto* refusal = std::get_if<SettingsOutcome>(&edited)) {
        report.settings = *refusal;
        SystemLog::notice(kCategory, note(*refusal));
        return report;
    }
    // The status line is the one thing of the user's an install replaces.
    const bool replacing = read.status == SettingsRead::Status::read && replacesOthers(read.text, family);
    report.settings = putInPlace(settingsFile, read, std::get<std::string>(edited), replacing, now);
    if (report.settings == SettingsOutcome::written)
        SystemLog::info(kCategory, "the prompt hook and the status line are in " + settingsFile.string());
    return report;
}

bool namedInSettings(const std::filesystem::path& home) {
    const SettingsRead read = readSettings(home / ".claude" / "settings.json");
    return read.status == SettingsRead::Status::read && namesOurs(read.text);
}

Removal uninstall(const std::filesystem::path& home, TimePoint now, std::string_view why) {
    Removal removal;
    const auto settingsFile = home / ".claude" / "settings.json";
    const SettingsRead read = readSettings(settingsFile);
    // Settings that never name our scripts are none of the uninstall's business, in whatever
    // shape; those it could not read might.
    const bool mayNameOurs = read.status != SettingsRead::Status::read || namesOurs(read.text);
    std::variant<Edit, SettingsOutcome> edited = Edit{};
    if (mayNameOurs) {
        if (auto why = whyLeftAlone(read)) {
            edited = *why;
        } else if (read.status == SettingsRead::Status::read) {
            edited = settingsWithoutOurs(read.text, home / ".ostrel", settingsFile);
        }
    }
    if (auto* refusal = std::get_if<SettingsOutcome>(&edited)) {
        removal.settings = *refusal;
        SystemLog::notice(kCategory, note(*refusal));
    } else if (const auto& edit = std::get<Edit>(edited); !edit.text.empty()) {
        // What goes is copied first, as an install copies a status line it replaces.
        removal.settings = putInPlace(settingsFile, read, edit.text, true, now);
        removal.settingsChanged = removal.settings == SettingsOutcome::written;
        removal.statusLineBack = removal.settingsChanged && edit.statusLineBack;
        if (removal.settingsChanged)
            SystemLog::info(kCategory, std::string("the prompt hook and the status line are out of ") +
                                           settingsFile.string() +
                                           (removal.statusLineBack ? ", and the user's own status line is back" : "") +
                                           (why.empty() ? "" : ": " + std::string(why)));
    }

    for (std::string_view name : kScripts) {
        const std::filesystem::path script = scriptPath(home / ".ostrel", name);
        std::error_code ec;
        // Only to tell what went: the removal itself goes through the walk.
        const bool there =
            std::filesystem::symlink_status(script, ec).type() != std::filesystem::file_type::not_found;
        if (auto error = SafeFile::remove(script)) {
            SystemLog::error(kCategory, "could not remove " + script.string() + ": " + error.message());
        } else if (there && !ec) {
            removal.scripts.emplace_back(name);
        }
    }
    return removal;
}

}  // namespace quillfen::ClaudeFaceInstaller
